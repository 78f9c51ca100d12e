// Reads the program's own resources back through the ANSI functions under code page 932.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <string>
#include "resource.h"
#include "vellmarin_version.h"

TEST(Resources, RunsUnderJapaneseCodePage)
{
    EXPECT_EQ(932u, GetACP());
}

TEST(Resources, StringTableHoldsTitleAndClassName)
{
    struct Row { UINT id; const char *text; } rows[] = {
        {IDS_TITLE, "vellmarin"},
        {IDS_CLASS, "VELLMARIN"},
    };
    for (const Row &row : rows) {
        char buffer[100] = {0};
        ASSERT_GT(LoadStringA(GetModuleHandleA(NULL), row.id, buffer, sizeof buffer), 0) << row.id;
        EXPECT_STREQ(row.text, buffer) << row.id;
    }
}

static std::string ResourceBytes(LPCSTR name, LPCSTR type)
{
    HRSRC found = FindResourceA(NULL, name, type);
    const char *data = found ? static_cast<const char *>(LockResource(LoadResource(NULL, found))) : NULL;
    return data ? std::string(data, SizeofResource(NULL, found)) : std::string();
}

TEST(Resources, ManifestAsksForCommonControlsSixAsInvokerDpiAwareOnVistaToEleven)
{
    std::string text = ResourceBytes(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    for (const char *part : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "level=\"asInvoker\"",
                             "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", ">true</dpiAware>",
                             ">PerMonitorV2, System</dpiAwareness>"})
        EXPECT_NE(std::string::npos, text.find(part)) << part;
}

// The version block as Explorer's properties read it: Japanese, code page 932, the project's version.
TEST(Resources, VersionInformationInJapanese)
{
    char path[MAX_PATH] = "";
    ASSERT_GT(GetModuleFileNameA(NULL, path, sizeof path), 0u);
    DWORD size = GetFileVersionInfoSizeA(path, NULL);
    ASSERT_GT(size, sizeof(VS_FIXEDFILEINFO));
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, &block[0]));
    struct Row { const char *path; const char *text; } rows[] = {
        {"\\StringFileInfo\\041103a4\\FileVersion", VM_VERSION_TEXT},
        {"\\StringFileInfo\\041103a4\\ProductVersion", VM_VERSION_TEXT},
        {"\\StringFileInfo\\041103a4\\ProductName", "vellmarin"},
        {"\\StringFileInfo\\041103a4\\FileDescription", "SNTP 時刻合わせ時計"},
    };
    for (const Row &row : rows) {
        char *value = NULL;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(&block[0], row.path, reinterpret_cast<void **>(&value), &length)) << row.path;
        EXPECT_STREQ(row.text, value) << row.path;
    }
    WORD *translation = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(&block[0], "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0411, translation[0]);
    EXPECT_EQ(932, translation[1]);
    VS_FIXEDFILEINFO *fixed = NULL;
    ASSERT_TRUE(VerQueryValueA(&block[0], "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(MAKELONG(VM_VERSION_MINOR, VM_VERSION_MAJOR), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(VM_VERSION_MINOR, VM_VERSION_MAJOR), fixed->dwProductVersionMS);
}
