#include "core/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(Text, LeadByteTableCoversBothRanges)
{
    for (int c = 0; c < 256; ++c) {
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFB);
        EXPECT_EQ(sys_is_lead_byte(static_cast<char>(c)), lead) << c;
    }
}

TEST(Text, CopyKeepsDoubleByteCharactersWhole)
{
    struct Case {
        const char* source;
        std::size_t size;
        const char* expected;
    };
    const Case cases[] = {
        {"ab\x88\x9f", 4, "ab"}, {"ab\x88\x9f", 5, "ab\x88\x9f"}, {"abc", 1, ""},
        {"a\x88", 10, "a"},      {"\x95\x5c\x5c", 3, "\x95\x5c"},
    };
    for (const Case& c : cases) {
        char out[16];
        sys_copy_string(out, c.source, c.size);
        EXPECT_STREQ(out, c.expected);
    }
}

TEST(Text, PrefixCompareFoldsOnlyAsciiLetters)
{
    EXPECT_EQ(sys_prefix_compare_nocase("Release\\data.no", "release\\"), 0);
    EXPECT_EQ(sys_prefix_compare_nocase("rel", "release"), -1);
    EXPECT_EQ(sys_prefix_compare_nocase("rezease", "release"), 1);
    EXPECT_EQ(sys_prefix_compare_nocase("\x81\x60", "\x81\x40"), 1);
    EXPECT_EQ(sys_prefix_compare_nocase("anything", ""), 0);
}

TEST(Text, HexDigitValues)
{
    EXPECT_EQ(sys_hex_digit_value('0'), 0);
    EXPECT_EQ(sys_hex_digit_value('9'), 9);
    EXPECT_EQ(sys_hex_digit_value('a'), 10);
    EXPECT_EQ(sys_hex_digit_value('F'), 15);
    EXPECT_EQ(sys_hex_digit_value('g'), -1);
    EXPECT_EQ(sys_hex_digit_value(' '), -1);
}

TEST(Text, ParseNumbers)
{
    struct Case {
        const char* text;
        int count;
        std::int32_t first, second;
    };
    const Case cases[] = {
        {"12, 0x1F", 2, 12, 31},
        {"-1.5", 1, -98304, 0},
        {"", 0, 0, 0},
        {"3;4", -1, 0, 0},
        {"012", 1, 0, 0},
        {"0.5", 1, 32768, 0},
        {"0b101,+7", 2, 5, 7},
        {"\x81\x40 - 3 , 4", 2, -3, 4},
        {"abc", 1, 0, 0},
        {"1,2,3", 2, 1, 2},
        {"  ", 0, 0, 0},
        {"99999.5", 1, 2147483647, 0}, // beyond 16.16: saturates
        {"-99999.5", 1, -2147483647, 0},
    };
    for (const Case& c : cases) {
        std::int32_t results[2] = {99, 99};
        int count = sys_parse_numbers(c.text, results);
        EXPECT_EQ(count, c.count) << c.text;
        if (count >= 0) {
            EXPECT_EQ(results[0], c.first) << c.text;
            EXPECT_EQ(results[1], c.second) << c.text;
        }
    }
}

TEST(Text, ParseNumbersKeepsAtMost39TokenCharacters)
{
    std::string text = "1" + std::string(60, '0');
    std::int32_t results[2];
    EXPECT_EQ(sys_parse_numbers(text.c_str(), results), 1);
}

TEST(Paths, MakeDirNormalisesAndEndsWithOneBackslash)
{
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"release/music", "release\\music\\"},
        {"", ""},
        {"release\\", "release\\"},
        {"a\x95\x5c", "a\x95\x5c\\"}, // the trail byte 0x5C is not a backslash
    };
    for (const Case& c : cases) {
        char path[32];
        sys_copy_string(path, c.path, sizeof path);
        path_make_dir(path, sizeof path);
        EXPECT_STREQ(path, c.expected);
    }
}

TEST(Paths, SlashesInsideDoubleByteCharactersStay)
{
    char path[] = "a/\x81/b";
    path_to_backslashes(path);
    EXPECT_STREQ(path, "a\\\x81/b");
}

TEST(Paths, InsertNamePrefixAfterTheLastRealBackslash)
{
    char out[64];
    path_insert_name_prefix(out, sizeof out, "_c_", "%s\\%s", "data\\tex", "a.dds");
    EXPECT_STREQ(out, "data\\tex\\_c_a.dds");
    path_insert_name_prefix(out, sizeof out, "_c_", "a.dds");
    EXPECT_STREQ(out, "a.dds");
    path_insert_name_prefix(out, sizeof out, nullptr, "data\\a.dds");
    EXPECT_STREQ(out, "data\\a.dds");
    path_insert_name_prefix(out, sizeof out, "_c_", "data\\\x95\x5c.dds");
    EXPECT_STREQ(out, "data\\_c_\x95\x5c.dds");
}

TEST(Paths, FileNameAfterEitherSlash)
{
    EXPECT_STREQ(path_file_name("a\\b/c.cpp"), "c.cpp");
    EXPECT_STREQ(path_file_name("a/b\\c.cpp"), "c.cpp");
    EXPECT_STREQ(path_file_name("c.cpp"), "c.cpp");
    EXPECT_STREQ(path_file_name("x\\\x95\x5c"), "\x95\x5c");
}

TEST(Text, StripBlanksKeepsDoubleByteCharacters)
{
    char text[] = "Key Name\t\x81\x40 x";
    sys_strip_blanks(text);
    EXPECT_STREQ(text, "KeyName\x81\x40x");
}
