#include "game/g_tf.h"

#include "core/errors.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Double-byte characters (Shift-JIS hiragana).
const std::string A = "\x82\xA0";
const std::string B = "\x82\xA2";
const std::string C = "\x82\xA4";
const std::string D = "\x82\xA6";

std::string repeat(const std::string& text, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

class TextFilter : public ::testing::Test {
protected:
    void TearDown() override { tf_clear(); }

    void Load(const std::string& dictionary, const char* delimiters = " \t")
    {
        write_host_file(m_temp.path() / "dict.txt", dictionary);
        tf_load(m_temp.host("dict.txt").c_str(), delimiters);
    }
    // The text filtered in a buffer of exactly `size` bytes, so a read or write past it shows.
    static std::string Filter(const std::string& text, std::size_t size = 64)
    {
        std::vector<char> buffer(size, '\x7F');
        std::memcpy(buffer.data(), text.c_str(), std::min(text.size() + 1, size));
        EXPECT_TRUE(tf_filter_text(buffer.data(), size));
        return std::string(buffer.data(), strnlen(buffer.data(), size));
    }
    static std::vector<std::string> Keys()
    {
        std::vector<std::string> keys;
        for (const TfEntry& entry : g_tf.entries)
            keys.emplace_back(entry.key, entry.key_length);
        return keys;
    }

    TempFolder m_temp;
};

TEST_F(TextFilter, ReplacesKeysAtDoubleByteCharactersLongestFirst)
{
    Load(A + B + " 1\n" + A + B + C + " 2\n" + B + "\n" + "ab Z\n" + C + " \t 3 ignored\n" + "#" + D +
         " 4\n");
    struct Case {
        std::string text, expected;
    };
    const Case cases[] = {
        {A + B + C + D, "2" + D},         // the longer key wins
        {A + B + D, "1" + D},             // the shorter one where the longer does not match
        {"x" + B + "y" + B, "xy"},        // a key without value deletes its text
        {"ab", "ab"},                     // single-byte text is never replaced
        {C, "3"},                         // runs of delimiters are one, further tokens ignored
        {A, A},                           // a key longer than the rest does not match
        {"\x81\x82\xA2", "\x81\x82\xA2"}, // B's bytes here are a trail byte and a single byte
    };
    for (const Case& c : cases)
        EXPECT_EQ(Filter(c.text), c.expected) << c.text;
    EXPECT_EQ(g_tf.entries.size(), 5u); // the comment is no entry
}

TEST_F(TextFilter, KeepsEntriesByDescendingKeyLengthInOneBlock)
{
    Load(B + " 1\n" + A + B + C + " 2\n" + C + D + " 3\n");
    EXPECT_EQ(Keys(), (std::vector<std::string>{A + B + C, C + D, B}));
    const char* block = g_tf.texts.get();
    EXPECT_EQ(g_tf.entries[0].key, block);
    EXPECT_EQ(g_tf.entries[0].value, block + 7);
    EXPECT_STREQ(g_tf.entries[2].value, "1");
}

TEST_F(TextFilter, AcceptsEveryLineEnding)
{
    for (const char* ending : {"\n", "\r", "\r\n", "\n\r\n"}) {
        Load(A + " 1" + ending + ending + B + " 2" + ending + C + " 3");
        EXPECT_EQ(g_tf.entries.size(), 3u) << ending;
        EXPECT_EQ(Filter(A + B + C), "123") << ending;
    }
}

TEST_F(TextFilter, SplitsAtTheGivenDelimitersOnlyBetweenCharacters)
{
    // 0x83 0x40 ends in '@', which is a delimiter only as a character of its own.
    const std::string katakana = "\x83\x40";
    Load(A + "=1\n" + B + ",,2\n" + C + " x=3\n" + katakana + "@4\n", "=,@");
    EXPECT_EQ(Filter(A + B + C + " x" + katakana), "1234");
}

TEST_F(TextFilter, CountsOnlyTheFirst98BytesOfALine)
{
    struct Case {
        std::string line, key, value;
    };
    const Case cases[] = {
        {repeat(A, 48) + " 12", repeat(A, 48), "1"},
        {repeat(A, 49) + " 1", repeat(A, 49), ""},
        {repeat(A, 48) + "x" + B + " 1", repeat(A, 48) + "x", ""}, // B would end at byte 99
        {A + "\x82", A, ""},                                       // a lead byte alone
    };
    for (const Case& c : cases) {
        Load(c.line + "\r\n");
        ASSERT_EQ(g_tf.entries.size(), 1u) << c.line;
        EXPECT_EQ(Keys()[0], c.key) << c.line;
        EXPECT_STREQ(g_tf.entries[0].value, c.value.c_str()) << c.line;
    }
}

TEST_F(TextFilter, DropsWhatDoesNotFitTheBuffer)
{
    Load(A + " LONGVALUE\n");
    struct Case {
        std::string text;
        std::size_t size;
        std::string expected;
    };
    const Case cases[] = {
        {A, 10, "LONGVALUE"}, {A, 9, ""},
        {"x" + A, 10, "x"},   {A + "x", 10, "LONGVALUE"},
        {C + C, 4, C},        {C + "x" + C, 4, C + "x"},
        {A + C, 5, C},        {A + "xy", 11, "LONGVALUEx"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Filter(c.text, c.size), c.expected) << c.text << " in " << c.size;
}

TEST_F(TextFilter, WritesNothingOutsideTinyBuffers)
{
    Load(A + " 1\n");
    std::array<char, 4> buffer = {'\x82', '\xA0', '\0', '\x7F'};
    EXPECT_TRUE(tf_filter_text(buffer.data(), 0));
    EXPECT_EQ(buffer, (std::array<char, 4>{'\x82', '\xA0', '\0', '\x7F'}));
    EXPECT_TRUE(tf_filter_text(buffer.data(), 1));
    EXPECT_EQ(buffer, (std::array<char, 4>{'\0', '\xA0', '\0', '\x7F'}));
}

TEST_F(TextFilter, StopsAtALeadByteWithoutItsTrailByte)
{
    Load(A + B + " 1\n" + C + " 2\n");
    EXPECT_EQ(Filter(C + "x\x82"), "2x");
    EXPECT_EQ(Filter(A + "\x82"), A); // the start of A B does not match past the end
    // An unterminated text filling its buffer: nothing past the buffer is read.
    std::vector<char> buffer = {'x', C[0], C[1], '\x82'};
    EXPECT_TRUE(tf_filter_text(buffer.data(), buffer.size()));
    EXPECT_STREQ(buffer.data(), "x2");
}

TEST_F(TextFilter, IsOffWithoutEntries)
{
    const std::string text = A + "x";
    auto filter_off = [&] {
        std::string buffer = text;
        EXPECT_FALSE(tf_filter_text(buffer.data(), buffer.size() + 1));
        EXPECT_EQ(buffer, text);
    };
    filter_off();
    tf_load("", " \t");
    EXPECT_FALSE(g_tf.on);
    filter_off();
    Load("# " + A + " 1\r\n\r\n \t \n");
    EXPECT_FALSE(g_tf.on);
    EXPECT_TRUE(g_tf.entries.empty());
    filter_off();
}

TEST_F(TextFilter, MissingDictionaryThrowsNamingTheFile)
{
    const std::string name = m_temp.host("no_such_dictionary.txt");
    try {
        tf_load(name.c_str(), " \t");
        FAIL() << "no error";
    } catch (const RuntimeError& error) {
        EXPECT_NE(std::strstr(error.text, "(80ff0009h)"), nullptr) << error.text;
        EXPECT_NE(std::strstr(error.text, name.c_str()), nullptr) << error.text;
    }
    EXPECT_FALSE(g_tf.on);
}

} // namespace
