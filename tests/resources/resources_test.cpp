// Reads the program's own resources back through the ANSI functions under code page 932.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include "resource.h"

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

TEST(Resources, ManifestAsksForCommonControlsSixAsInvoker)
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, found);
    DWORD size = SizeofResource(NULL, found);
    const char *data = static_cast<const char *>(LockResource(LoadResource(NULL, found)));
    ASSERT_NE(nullptr, data);
    std::string text(data, size);
    EXPECT_NE(std::string::npos, text.find("Microsoft.Windows.Common-Controls"));
    EXPECT_NE(std::string::npos, text.find("version=\"6.0.0.0\""));
    EXPECT_NE(std::string::npos, text.find("level=\"asInvoker\""));
}
