// The INI text read and written as code page 932 bytes: the look-up rules the profile functions
// had, where changes land in the file, and real files through wide paths.
#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "base/ini_file.h"

static IniText TextOf(const std::string &bytes)
{
    IniText ini = {};
    ini.bytes = (char *)malloc(bytes.size() + 1);
    memcpy(ini.bytes, bytes.c_str(), bytes.size() + 1);
    ini.length = bytes.size();
    ini.capacity = bytes.size() + 1;
    return ini;
}

TEST(IniFile, FindsValuesAsTheProfileFunctionsDid)
{
    IniText ini = TextOf("; comment\r\n[setup]\r\n  MinAdjust = 250 \r\nQuoted=\"  spaced  \"\r\n"
                         "Single='x'\r\nEmpty=\r\nDup=first\r\nDup=second\n[FONT]\r\n"
                         "Name=\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E\r\n"
                         "[SETUP]\r\nLate=1\r\n");
    struct Row { const char *section, *key; size_t size; int found; const char *value; } rows[] = {
        {"SETUP", "minadjust", 64, 1, "250"},
        {"SETUP", "Quoted", 64, 1, "  spaced  "},
        {"SETUP", "Single", 64, 1, "x"},
        {"SETUP", "Empty", 64, 1, ""},
        {"SETUP", "Dup", 64, 1, "first"},
        {"FONT", "Name", 64, 1, "\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E"},
        {"FONT", "Name", 5, 1, "\x82\x6C\x82\x72"},
        {"SETUP", "Late", 64, 0, ""},
        {"WINDOW", "Top", 64, 0, ""},
    };
    for (const Row &row : rows) {
        char value[64] = "junk";
        EXPECT_EQ(row.found, IniValue(&ini, row.section, row.key, value, row.size)) << row.key;
        EXPECT_STREQ(row.value, value) << row.key;
    }
    FreeIniText(&ini);
}

TEST(IniFile, ChangesLandWhereAnEditorWouldPutThem)
{
    struct Row { const char *before, *section, *key, *value, *after; } rows[] = {
        {"[A]\r\nk=1\r\nj=2\r\n", "a", "K", "33", "[A]\r\nk=33\r\nj=2\r\n"},
        {"[A]\r\nk=1\r\n\r\n[B]\r\n", "A", "n", "2", "[A]\r\nk=1\r\nn=2\r\n\r\n[B]\r\n"},
        {"[A]\r\nk=1", "B", "x", "y", "[A]\r\nk=1\r\n[B]\r\nx=y\r\n"},
        {"[A]", "A", "k", "v", "[A]\r\nk=v\r\n"},
        {"", "A", "k", "v", "[A]\r\nk=v\r\n"},
        {"[S]\r\na=1\r\n;c\r\nb=2\r\n[T]\r\nc=3\r\n", "S", nullptr, nullptr, "[S]\r\n;c\r\n[T]\r\nc=3\r\n"},
    };
    for (const Row &row : rows) {
        IniText ini = TextOf(row.before);
        if (row.key)
            SetIniValue(&ini, row.section, row.key, row.value);
        else
            ClearIniSection(&ini, row.section);
        EXPECT_EQ(row.after, std::string(ini.bytes, ini.length)) << row.before;
        FreeIniText(&ini);
    }
}

// A folder whose name code page 932 cannot write; a file an editor saved as UTF-16.
TEST(IniFile, ReadsAndWritesRealFilesThroughWidePaths)
{
    WCHAR folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    wcscat(folder, L"vm-ini-Zo\u00EB \u6642\u8A08");
    CreateDirectoryW(folder, NULL);
    _snwprintf(path, MAX_PATH, L"%ls\\vellmarin.ini", folder);
    DeleteFileW(path);

    IniText ini = {};
    EXPECT_EQ(0, LoadIniText(path, &ini));
    EXPECT_EQ(0u, ini.length);
    SetIniValue(&ini, "FONT", "Name", "\x82\x6C\x82\x72");
    EXPECT_EQ(0, SaveIniText(path, &ini));
    FreeIniText(&ini);
    ASSERT_EQ(0, LoadIniText(path, &ini));
    EXPECT_EQ("[FONT]\r\nName=\x82\x6C\x82\x72\r\n", std::string(ini.bytes, ini.length));
    FreeIniText(&ini);

    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    const WCHAR unicode[] = L"\uFEFF[FONT]\r\nName=\uFF2D\uFF33\r\n";
    DWORD written = 0;
    WriteFile(file, unicode, sizeof unicode - sizeof(WCHAR), &written, NULL);
    CloseHandle(file);
    ASSERT_EQ(0, LoadIniText(path, &ini));
    char value[16];
    EXPECT_EQ(1, IniValue(&ini, "FONT", "Name", value, sizeof value));
    EXPECT_STREQ("\x82\x6C\x82\x72", value);
    FreeIniText(&ini);

    DeleteFileW(path);
    RemoveDirectoryW(folder);
    wcscat(folder, L"\\missing\\vellmarin.ini");
    EXPECT_EQ(-1, SaveIniText(folder, &ini));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
}
