// The bounded copy of code page 932 texts that every module uses to cut names and messages.
#include <gtest/gtest.h>
#include <string.h>

#include "base/program.h"

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
