#include "core/sstp.h"

#include "platform/impl/test_seams.h"
#include "platform/win_kernel.h"
#include "platform/win_sync.h"

#include "tcp_listener.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string script_of(const std::string& text)
{
    char script[SSTP_SCRIPT_SIZE];
    sstp_build_script(text.c_str(), script);
    return script;
}

std::string request_with(const std::string& script)
{
    return "SEND SSTP/1.1\r\nSender: Kro_win\r\nScript: " + script + "\\e\r\nCharset: SJIS\r\n\r\n";
}

// The script part of a captured request.
std::string script_in(const std::string& request)
{
    const std::string start = "Script: ", end = "\\e\r\n";
    std::size_t from = request.find(start);
    std::size_t to = request.find(end, from);
    if (from == std::string::npos || to == std::string::npos) return "";
    return request.substr(from + start.size(), to - from - start.size());
}

TEST(SstpScript, EscapesCharacterByCharacter)
{
    struct Case {
        std::string text, script;
    };
    const Case cases[] = {
        {"", "\\h\\s0"},
        {"a\\b", "\\h\\s0a\\\\b"},
        {"line\r\nnext\tcol", "\\h\\s0line\\r\\nnext\\tcol"},
        // A double-byte character whose trail byte is '\' (or 'n') goes as it is.
        {"\x95\x5C\x8E\x5C", "\\h\\s0\x95\x5C\x8E\x5C"},
        {"\x95\x5C\\", "\\h\\s0\x95\x5C\\\\"},
        {"\x82\x6E", "\\h\\s0\x82\x6E"},
        {"\xB1\\", "\\h\\s0\xB1\\\\"}, // half-width kana are single bytes
        {"ab\x95", "\\h\\s0ab"},       // a lead byte without its trail byte ends the text
    };
    for (const Case& c : cases)
        EXPECT_EQ(script_of(c.text), c.script) << c.text;
}

TEST(SstpScript, CutNeverSplitsAnEscapeOrACharacter)
{
    struct Case {
        std::string name, text;
        std::size_t length;
        std::string tail;
    };
    const Case cases[] = {
        {"single bytes", std::string(2000, 'a'), 1023, "aa"},
        {"escapes", "a" + std::string(2000, '\\'), 1022, "a" + std::string(1016, '\\')},
        {"double-byte",
         "a" +
             [] {
                 std::string pairs;
                 for (int i = 0; i < 1000; ++i)
                     pairs += "\x95\x5C";
                 return pairs;
             }(),
         1022, "\x95\x5C"},
    };
    for (const Case& c : cases) {
        std::string script = script_of(c.text);
        EXPECT_EQ(script.size(), c.length) << c.name;
        EXPECT_EQ(script.substr(script.size() - c.tail.size()), c.tail) << c.name;
    }
}

// A runtime folder of the test's own, where a "mascot" mutex may be made, and the sender's
// port pointed at a listener of the test's.
class SstpSender : public ::testing::Test {
protected:
    TempFolder folder;
    EnvOverride runtime{"XDG_RUNTIME_DIR", folder.host()};

    void TearDown() override { seam_redirect_local_port(0, 0); }
    void listen_at(std::uint16_t port) { seam_redirect_local_port(SSTP_PORT, port); }
};

TEST_F(SstpSender, SendsOneRequestWhenAMascotRuns)
{
    for (const char* mascot : {"sakura", "ssp"}) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, mascot);
        TcpListener listener(TcpListener::Reply::answer);
        listen_at(listener.port());
        EXPECT_EQ(sstp_send_message("a\\b"), S_OK) << mascot;
        EXPECT_EQ(listener.finish(), request_with("\\h\\s0a\\\\b")) << mascot;
        CloseHandle(mutex);
    }
}

TEST_F(SstpSender, WithoutAMascotNothingIsSent)
{
    TcpListener listener(TcpListener::Reply::answer);
    listen_at(listener.port());
    EXPECT_EQ(sstp_send_message("Unsupported"), E_FAIL);
    listener.finish();
    EXPECT_FALSE(listener.accepted());
}

TEST_F(SstpSender, LongTextIsCutOnTheWire)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "sakura");
    TcpListener listener(TcpListener::Reply::answer);
    listen_at(listener.port());
    EXPECT_EQ(sstp_send_message(std::string(2000, 'x').c_str()), S_OK);
    std::string script = script_in(listener.finish());
    EXPECT_EQ(script, "\\h\\s0" + std::string(1018, 'x'));
    CloseHandle(mutex);
}

TEST_F(SstpSender, NobodyListeningIsAFailure)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "ssp");
    listen_at(TcpListener::closed_port());
    EXPECT_EQ(sstp_send_message("text"), E_FAIL);
    CloseHandle(mutex);
}

// The request went out, so it counts as delivered even though no reply ever comes.
TEST_F(SstpSender, SilentListenerDoesNotHoldTheSenderUp)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "sakura");
    TcpListener listener(TcpListener::Reply::silent);
    listen_at(listener.port());
    EXPECT_EQ(sstp_send_message("still there?"), S_OK);
    EXPECT_EQ(listener.finish(), request_with("\\h\\s0still there?"));
    CloseHandle(mutex);
}

} // namespace
