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

// One table for both forms of the name rule: `equal` for sys_names_equal(a, b), `prefix` for
// sys_prefix_compare_nocase(a, b).
TEST(Text, NamesFoldAsciiLettersAndKeepDoubleByteCharactersWhole)
{
    struct Case {
        const char* what;
        const char* a;
        const char* b;
        bool equal;
        int prefix;
    };
    const Case cases[] = {
        {"same text", "data\\tex", "data\\tex", true, 0},
        {"ASCII case", "Release\\Data.No", "rELEASE\\dATA.nO", true, 0},
        {"letters only fold", "a@[`{", "A@[`{", true, 0},
        {"0x40 and 0x60 stay apart", "@", "`", false, 1},
        {"trail byte 0x61 vs 0x41", "\x83\x61", "\x83\x41", false, 1},
        {"trail byte 0x7A vs 0x5A", "x\x83\x7a", "X\x83\x5a", false, 1},
        {"trail byte in a path", "s_10\\\x83\x61\\", "S_10\\\x83\x41\\", false, 1},
        {"same double-byte, other ASCII case",
         "\x83\x61"
         "Ab",
         "\x83\x61"
         "aB",
         true, 0},
        {"lead byte against a letter", "\x83\x41", "aA", false, 1},
        {"a lead byte before the end ends the name", "L\xf6", "L", true, 0},
        {"lead byte at the end on both sides", "L\x83", "l\x83", true, 0},
        {"lead byte at the end against a character", "L\x83", "L\x83\x41", false, -1},
        {"prefix", "Release\\data.no", "release\\", false, 0},
        {"text ends first", "rel", "release", false, -1},
        {"differs", "rezease", "release", false, 1},
        {"prefix of double-byte characters", "\x83\x41\x83\x42", "\x83\x41", false, 0},
        {"prefix ends in a lead byte", "ab\x83\x41", "AB\x83", false, 0},
        {"empty prefix", "anything", "", false, 0},
        {"empty text", "", "a", false, -1},
        {"both empty", "", "", true, 0},
        {"a lone lead byte is empty", "\x83", "", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(sys_names_equal(c.a, c.b), c.equal);
        EXPECT_EQ(sys_names_equal(c.b, c.a), c.equal);
        EXPECT_EQ(sys_prefix_compare_nocase(c.a, c.b), c.prefix);
    }
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
