#include "app/app_entry.h"
#include "app/app_error.h"
#include "app/app_settings.h"
#include "platform/impl/test_seams.h"
#include "platform/impl/window_seams.h"
#include "platform/win_atom.h"
#include "platform/win_kernel.h"
#include "platform/win_sync.h"
#include "platform/win_user.h"

#include "app_fixture.h"
#include "tcp_listener.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

namespace {

struct ReceivedText {
    WPARAM atom;
    std::string text;
    LPARAM length;
};
std::vector<ReceivedText> g_received;

// The settings program's window as the game sees it: it reads the atom while the message lasts.
LRESULT config_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == APP_MSG_ERROR_TEXT) {
        char text[256] = "";
        GlobalGetAtomNameA(static_cast<ATOM>(wparam), text, sizeof text);
        g_received.push_back({wparam, text, lparam});
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

class ErrorDisplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_received.clear();
        seam_message_boxes_clear();
        seam_set_program_folder(m_programs.host());
        g_sstp_target = SstpTarget{};
    }
    void TearDown() override
    {
        seam_set_program_folder("");
        seam_redirect_local_port(0, 0);
        g_sstp_target = SstpTarget{};
    }

    HWND open_config_window()
    {
        WNDCLASSEXA window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = config_window_proc;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "ClassKroConfig";
        RegisterClassExA(&window_class);
        return CreateWindowExA(0, "ClassKroConfig", "Kro Settings", 0, 0, 0, 100, 100, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }

    // A stand-in settings program that writes down its arguments, each followed by '|'.
    void install_config_program()
    {
        GameInstall::write_text(m_programs.path() / "config",
                                "#!/bin/sh\nfor a in \"$@\"; do printf '%s|' \"$a\"; done > '" +
                                    arguments_record().string() + "'\n");
        chmod((m_programs.path() / "config").c_str(), 0755);
    }
    // What the stand-in was started with, once it has written it down.
    std::string config_arguments() const
    {
        for (int tries = 0; tries < 200 && !std::filesystem::exists(arguments_record()); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return read_host_file(arguments_record());
    }
    std::filesystem::path arguments_record() const { return m_programs.path() / "arguments"; }

    GameUser m_user;
    TempFolder m_programs;
};

} // namespace

TEST_F(ErrorDisplay, AnEmptyTextShowsNothing)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "sakura");
    TcpListener listener(TcpListener::Reply::answer);
    seam_redirect_local_port(9801, listener.port());
    std::snprintf(g_sstp_target.host, sizeof g_sstp_target.host, "127.0.0.1");
    HWND window = open_config_window();
    app_show_error("");
    EXPECT_EQ(listener.finish(), "");
    EXPECT_TRUE(g_received.empty());
    EXPECT_TRUE(seam_message_boxes().empty());
    DestroyWindow(window);
    UnregisterClassA("ClassKroConfig", GetModuleHandleA(nullptr));
    CloseHandle(mutex);
}

TEST_F(ErrorDisplay, AMascotGetsTheTextFirst)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "sakura");
    TcpListener listener(TcpListener::Reply::answer);
    seam_redirect_local_port(9801, listener.port());
    std::snprintf(g_sstp_target.host, sizeof g_sstp_target.host, "127.0.0.1");
    app_show_error("boom\n");
    EXPECT_EQ(listener.finish(),
              "SEND SSTP/1.1\r\nSender: Kro_win\r\nScript: \\h\\s0boom\\n\\e\r\nCharset: SJIS\r\n\r\n");
    EXPECT_TRUE(seam_message_boxes().empty());
    CloseHandle(mutex);
}

TEST_F(ErrorDisplay, TheSettingsWindowGetsOneMessageWithTheAtom)
{
    HWND window = open_config_window();
    app_show_error("boom\n");
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].text, "boom\n");
    EXPECT_EQ(g_received[0].length, 6);
    EXPECT_EQ(GlobalGetAtomNameA(static_cast<ATOM>(g_received[0].atom), nullptr, 0), 0u); // deleted after
    EXPECT_TRUE(seam_message_boxes().empty());
    DestroyWindow(window);
    UnregisterClassA("ClassKroConfig", GetModuleHandleA(nullptr));
}

TEST_F(ErrorDisplay, ALongTextIsCutForTheAtomAtACharacterBoundary)
{
    HWND window = open_config_window();
    std::string text = std::string(254, 'a') + "\x88\x9f" + "tail";
    app_show_error(text.c_str());
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].text, std::string(254, 'a'));
    EXPECT_EQ(g_received[0].length, 255);
    DestroyWindow(window);
    UnregisterClassA("ClassKroConfig", GetModuleHandleA(nullptr));
}

TEST_F(ErrorDisplay, WithoutAWindowTheSettingsProgramIsStartedWithTheText)
{
    install_config_program();
    app_show_error("bad \"thing\"");
    EXPECT_EQ(config_arguments(), "-o|-vbad thing|");
    EXPECT_TRUE(seam_message_boxes().empty());
}

// The command line "config.exe -o -v"<text>"" holds 255 characters: the text is cut to the 237
// that leave room for the closing quote, so its blanks stay inside the one argument.
TEST_F(ErrorDisplay, ALongTextIsCutForTheCommandLineBeforeTheClosingQuote)
{
    install_config_program();
    const std::string text = std::string(200, 'a') + " " + std::string(300, 'b');
    app_show_error(text.c_str());
    EXPECT_EQ(config_arguments(), "-o|-v" + text.substr(0, 237) + "|");
    EXPECT_TRUE(seam_message_boxes().empty());
}

TEST_F(ErrorDisplay, NothingElseReachableShowsAMessageBox)
{
    app_show_error("boom\n");
    ASSERT_EQ(seam_message_boxes().size(), 1u);
    EXPECT_EQ(seam_message_boxes()[0].text, "boom\n");
    EXPECT_EQ(seam_message_boxes()[0].caption, APP_TITLE);
    EXPECT_EQ(seam_message_boxes()[0].type, MB_OK);
}
