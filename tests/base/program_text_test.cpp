// The bounded copy of code page 932 texts that every module uses to cut names and messages.
#include <gtest/gtest.h>
#include <string.h>

#include "base/program.h"
#include "base/wide_text.h"

// "あ" is 0x82 0xA0 in code page 932; "\x82" alone is a lead byte without its trail.
TEST(WholeCharacters, CutsOnlyBetweenCharacters)
{
    struct Row { const char *text; size_t limit; size_t length; } rows[] = {
        {"abc", 10, 3},
        {"abc", 2, 2},
        {"", 5, 0},
        {"aあ", 3, 3},          // the pair fits exactly
        {"aあ", 2, 1},          // the pair would straddle the limit
        {"ああ", 3, 2},
        {"a\x82", 5, 2},        // a lone lead byte at the end is kept as one byte
        {"a\x82", 2, 1},        // but not when it is the last byte before the limit
        {"abc", 0, 0},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.length, WholeCharacterLength(row.text, row.limit)) << row.text << " " << row.limit;
}

TEST(WholeCharacters, NeverReadsAtOrPastTheLimit)
{
    // An unterminated field: the byte at the limit is a lead byte followed by garbage.
    const char field[6] = {'a', 'b', 'c', 'd', '\x82', '\xA0'};
    EXPECT_EQ(4u, WholeCharacterLength(field, 4));
    EXPECT_EQ(4u, WholeCharacterLength(field, 5));
}

TEST(WholeCharacters, CopyTerminatesAndMayWorkInPlace)
{
    char out[4];
    memset(out, 'x', sizeof out);
    CopyWholeCharacters(out, sizeof out, "abあ");
    EXPECT_STREQ("ab", out);

    char text[8] = "abcdef";
    CopyWholeCharacters(text, 4, text);
    EXPECT_STREQ("abc", text);

    CopyWholeCharacters(out, sizeof out, nullptr);
    EXPECT_STREQ("", out);
}

// Every kind of code page 932 character through UTF-16 and back, whatever the system's code page:
// single bytes, half-width katakana, kanji whose trail byte is 0x5C, the NEC special row, the NEC
// and IBM extensions (the NEC-selected copy of an IBM kanji comes back as the IBM one, as
// Windows' own table maps it), the user-defined area, a lone lead byte at the end, nothing.
TEST(WideText, CarriesEveryKindOf932Character)
{
    struct Row { const char *text; const wchar_t *wide; const char *back; } rows[] = {
        {"", L"", ""},
        {"time.example 123", L"time.example 123", "time.example 123"},
        {"\xB4\xD7\xB0", L"\uFF74\uFF97\uFF70", "\xB4\xD7\xB0"},
        {"\x95\x5C\x8E\xA6\x83\x5C", L"\u8868\u793A\u30BD", "\x95\x5C\x8E\xA6\x83\x5C"},
        {"\x87\x40\x87\x5F", L"\u2460\u3349", "\x87\x40\x87\x5F"},
        {"\xFA\x40\xFA\x5C", L"\u2170\u7E8A", "\xFA\x40\xFA\x5C"},
        {"\xED\x40", L"\u7E8A", "\xFA\x5C"},
        {"\xF0\x40", L"\uE000", "\xF0\x40"},
        {"a\x82", L"a", "a"},
    };
    for (const Row &row : rows) {
        WCHAR wide[32];
        char back[32];
        EXPECT_STREQ(row.wide, TextToWide(row.text, wide, 32)) << row.text;
        EXPECT_STREQ(row.back, WideToText(wide, back, sizeof back)) << row.text;
    }
}

// Characters code page 932 lacks become '?', not a look-alike letter; cuts fall between whole
// characters on both sides.
TEST(WideText, MarksMissingCharactersAndCutsWhole)
{
    char text[32];
    EXPECT_STREQ("Zo? \x8E\x9E\x8C\x76 ?", WideToText(L"Zo\u00EB \u6642\u8A08 \uD55C", text, sizeof text));
    EXPECT_STREQ("a", WideToText(L"a\u3042", text, 3));
    EXPECT_STREQ("a\x82\xA0", WideToText(L"a\u3042\u3044", text, 4));
    WCHAR wide[3];
    EXPECT_STREQ(L"\u3042\u3044", TextToWide("\x82\xA0\x82\xA2\x82\xA4", wide, 3));
    EXPECT_STREQ(L"", TextToWide(nullptr, wide, 3));
}

// A box shows the text and caption as written, whatever the system's code page: read back wide
// from another thread, which then presses OK.
static WCHAR BoxText[64], BoxCaption[64];

static DWORD WINAPI ReadBoxAndPressOk(LPVOID)
{
    for (int tries = 0; tries < 500; ++tries) {
        HWND box = FindWindowW(L"#32770", NULL);
        if (box && GetDlgItemTextW(box, 0xFFFF, BoxText, 64) > 0) {
            GetWindowTextW(box, BoxCaption, 64);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(10);
    }
    return 1;
}

TEST(WideText, BoxShowsTextAndCaptionAsWritten)
{
    HANDLE reader = CreateThread(NULL, 0, ReadBoxAndPressOk, NULL, 0, NULL);
    ASSERT_NE(nullptr, reader);
    EXPECT_EQ(IDOK, MessageBox932(NULL, "\x8E\x9E\x8C\x76\x82\xF0\x95\xCF\x8D\x58", "\x83\x47\x83\x89\x81\x5B",
                                  MB_OK));
    WaitForSingleObject(reader, 10000);
    CloseHandle(reader);
    EXPECT_STREQ(L"\u6642\u8A08\u3092\u5909\u66F4", BoxText);
    EXPECT_STREQ(L"\u30A8\u30E9\u30FC", BoxCaption);
}
