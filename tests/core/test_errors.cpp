#include "core/errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string code_text(HRESULT code, const char* message, std::size_t size = 300)
{
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    char* end = err_hresult_text(code, message, buffer, size);
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(end, buffer + std::strlen(buffer));
    return buffer;
}

} // namespace

TEST(ErrorText, NamesCodesFromTheTables)
{
    struct Case {
        HRESULT code;
        const char* message;
        const char* expected;
    };
    const Case cases[] = {
        {ERR_OPEN_FILE, "data\\misc\\castinfo.dat.z",
         "Couldn't open file.(80ff0009h)\r\n->data\\misc\\castinfo.dat.z"},
        {E_FAIL, nullptr, "E_FAIL(80004005h)"},
        {S_OK, "note", "ok.(00000000h)\r\n->note"},
        {E_OUTOFMEMORY, nullptr, "E_OUTOFMEMORY(8007000eh)"},
        {E_ACCESSDENIED, nullptr, "E_ACCESSDENIED(80070005h)"},
        {E_NOINTERFACE, nullptr, "E_NOINTERFACE(80004002h)"},
        {D3DERR_DEVICELOST, nullptr, "D3DERR_DEVICELOST(88760868h)"},
        {D3DERR_OUTOFVIDEOMEMORY, nullptr, "D3DERR_OUTOFVIDEOMEMORY(8876017ch)"},
        {ERR_UNKNOWN_FORMAT, nullptr, "Unknown format.(80ff0001h)"},
        {ERR_NEED_DX81, nullptr, "Need DirectX8.1.(80ff0010h)"},
        {ERR_D3D_CREATE, nullptr, "(80ff0011h)"},
        {make_hresult(0x80FF0000), nullptr, "(80ff0000h)"},
        {make_hresult(0x12345678), "x", "(12345678h)\r\n->x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(code_text(c.code, c.message), c.expected) << c.expected;
}

TEST(ErrorText, CutsToTheBufferWithoutSplittingADoubleByteCharacter)
{
    EXPECT_EQ(code_text(E_FAIL, nullptr, 1), "");
    EXPECT_EQ(code_text(E_FAIL, nullptr, 7), "E_FAIL");
    // "E_FAIL(80004005h)\r\n->" is 21 bytes; the double-byte character needs two more.
    EXPECT_EQ(code_text(E_FAIL, "\x88\x9f", 22), "E_FAIL(80004005h)\r\n->");
    EXPECT_EQ(code_text(E_FAIL, "\x88\x9f", 23), "E_FAIL(80004005h)\r\n->");
    EXPECT_EQ(code_text(E_FAIL, "\x88\x9f", 24), "E_FAIL(80004005h)\r\n->\x88\x9f");
    // A lead byte with the terminator as its trail ends the text.
    EXPECT_EQ(code_text(E_FAIL, "a\x88", 100), "E_FAIL(80004005h)\r\n->a");
}

TEST(ErrorText, SizeZeroWritesNothing)
{
    char buffer[4] = "xyz";
    EXPECT_EQ(err_hresult_text(E_FAIL, nullptr, buffer, 0), buffer);
    EXPECT_STREQ(buffer, "xyz");
}

TEST(RuntimeErrorText, HasMessageLineThenFileNameWithLine)
{
    struct Case {
        const char* file;
        const char* message;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\src\\game\\go_script.cpp", "boom", "boom\ngo_script.cpp(76)\n"},
        {"/home/build/src/object/go_script.cpp", "boom", "boom\ngo_script.cpp(76)\n"},
        {"go_script.cpp", "boom", "boom\ngo_script.cpp(76)\n"},
        {nullptr, "boom", "boom\n"},
        {"app_entry", nullptr, "app_entry(76)\n"},
    };
    for (const Case& c : cases) {
        char out[RUNTIME_ERROR_SIZE];
        EXPECT_STREQ(err_build_message_ret(c.message, 76, out, c.file), c.expected);
    }
}

TEST(RuntimeErrorText, LongMessagesAreCutToTheRecord)
{
    std::string long_message(2000, 'a');
    char out[RUNTIME_ERROR_SIZE];
    err_build_message(out, "f.cpp", 1, long_message.c_str());
    EXPECT_EQ(std::strlen(out), RUNTIME_ERROR_SIZE - 1);
}

TEST(RuntimeErrorText, RaisedCodeCarriesCodeDetailAndSite)
{
    try {
        err_raise_code(ERR_OPEN_FILE, "data\\misc\\castinfo.dat.z", "src/object/go_script.cpp", 76);
        FAIL();
    } catch (const RuntimeError& error) {
        EXPECT_STREQ(error.text,
                     "Couldn't open file.(80ff0009h)\r\n->data\\misc\\castinfo.dat.z\ngo_script.cpp(76)\n");
    }
}
