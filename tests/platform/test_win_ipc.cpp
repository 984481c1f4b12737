// Windows, messages and atoms between processes. The other process is this test program run
// again as a helper (IpcHelper.DISABLED_Serve) that owns a window of class "ClassKroConfig" and
// writes what its window procedure sees into a file.
#include "platform/impl/runtime_dir.h"
#include "platform/win_atom.h"
#include "platform/win_window.h"
#include "window_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr UINT k_text_message = WM_USER + 1;     // wParam: atom, lParam: length + 1 -> 0x5A5A
constexpr UINT k_ask_back_message = WM_USER + 5; // wParam: a window to ask WM_USER + 6 of -> its answer + 1
constexpr UINT k_asked_message = WM_USER + 6;

// ---- The helper's side ----

std::string g_helper_out;

void helper_write(const std::string& line)
{
    std::ofstream(g_helper_out, std::ios::app) << line << '\n';
}

LRESULT helper_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case k_text_message: {
        std::string text(static_cast<std::size_t>(lparam) + 1, '\0');
        UINT length =
            GlobalGetAtomNameA(static_cast<ATOM>(wparam), text.data(), static_cast<int>(lparam) + 1);
        text.resize(length);
        helper_write("text:" + text + "|" + std::to_string(lparam));
        return 0x5A5A;
    }
    case k_ask_back_message:
        return SendMessageA(reinterpret_cast<HWND>(wparam), k_asked_message, 0, 0) + 1;
    case WM_SIZE:
        helper_write("size:" + std::to_string(wparam));
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// ---- The test's side ----

bool wait_until(const std::function<bool()>& done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Runs the helper in this test's runtime folder; the helper's window is found by class.
class CrossProcess : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (m_helper > 0) {
            kill(m_helper, SIGKILL);
            waitpid(m_helper, nullptr, 0);
        }
    }

    HWND start_helper(bool minimized = false)
    {
        m_out = m_runtime.path() + "/helper.out";
        char filter[] = "--gtest_filter=IpcHelper.DISABLED_Serve";
        char disabled[] = "--gtest_also_run_disabled_tests";
        char* argv[] = {m_self, filter, disabled, nullptr};
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        EnvOverride helper("KRO_IPC_HELPER", "1");
        EnvOverride out("KRO_IPC_HELPER_OUT", m_out);
        EnvOverride minimize("KRO_IPC_HELPER_MINIMIZE", minimized ? "1" : "0");
        // The test entry gives every test program the shared runtime folder: pass on this test's own.
        EnvOverride runtime("KRO_IPC_HELPER_RUNTIME", m_runtime.path());
        int error = posix_spawn(&m_helper, "/proc/self/exe", &quiet, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&quiet);
        if (error) return nullptr;
        HWND found = nullptr;
        wait_until([&] { return (found = FindWindowA("ClassKroConfig", nullptr)) != nullptr; });
        return found;
    }

    // Waits for the helper to end by itself; its exit status.
    int helper_exit()
    {
        int status = -1;
        waitpid(m_helper, &status, 0);
        m_helper = 0;
        return status;
    }

    RuntimeFolder m_runtime;
    pid_t m_helper = 0;
    std::string m_out;
    char m_self[16] = "platform_tests";
};

} // namespace

TEST(IpcHelper, DISABLED_Serve)
{
    if (!std::getenv("KRO_IPC_HELPER")) GTEST_SKIP() << "run by the cross-process tests";
    g_helper_out = std::getenv("KRO_IPC_HELPER_OUT");
    setenv("XDG_RUNTIME_DIR", std::getenv("KRO_IPC_HELPER_RUNTIME"), 1);
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = helper_proc;
    window_class.lpszClassName = "ClassKroConfig";
    ASSERT_NE(RegisterClassExA(&window_class), 0);
    HWND window = CreateWindowExA(0, "ClassKroConfig", "Kro Settings", WS_POPUP | WS_VISIBLE, 0, 0, 390, 600,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    if (std::string(std::getenv("KRO_IPC_HELPER_MINIMIZE")) == "1") ShowWindow(window, SW_MINIMIZE);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    UnregisterClassA("ClassKroConfig", nullptr);
}

TEST_F(CrossProcess, FindsTheWindowOfAnotherProcessByClassInAnyCase)
{
    HWND remote = start_helper();
    ASSERT_NE(remote, nullptr);
    EXPECT_EQ(FindWindowA("classkroconfig", nullptr), remote);
    EXPECT_EQ(FindWindowA("ClassKroConfig", "kro settings"), remote);
    EXPECT_EQ(FindWindowA("ClassKroConfig", "Other title"), nullptr);
    EXPECT_EQ(FindWindowA("Corvan", nullptr), nullptr);
    EXPECT_TRUE(IsWindow(remote));
    DWORD process = 0;
    EXPECT_NE(GetWindowThreadProcessId(remote, &process), 0u);
    EXPECT_EQ(process, static_cast<DWORD>(m_helper));

    // Closing it ends the other program, and the window is gone for good.
    EXPECT_TRUE(PostMessageA(remote, WM_CLOSE, 0, 0));
    EXPECT_EQ(helper_exit(), 0);
    EXPECT_FALSE(IsWindow(remote));
    EXPECT_EQ(FindWindowA("ClassKroConfig", nullptr), nullptr);
    EXPECT_FALSE(PostMessageA(remote, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(CrossProcess, SentMessageCarriesAnAtomTheReceiverReadsAndReturnsItsResult)
{
    HWND remote = start_helper();
    ASSERT_NE(remote, nullptr);
    // Shift-JIS with a trail byte 0x5C, blanks and a line break: the error text's hand-over.
    std::string text = "failed: Subsys D3D::Initialize\r\n\x83\x5C end";
    ATOM atom = GlobalAddAtomA(text.c_str());
    ASSERT_NE(atom, 0);
    EXPECT_EQ(SendMessageA(remote, k_text_message, atom, static_cast<LPARAM>(text.size() + 1)), 0x5A5A);
    EXPECT_EQ(GlobalDeleteAtom(atom), 0);
    EXPECT_THAT(read_host_file(m_out),
                ::testing::HasSubstr("text:" + text + "|" + std::to_string(text.size() + 1) + "\n"));
    char name[8];
    EXPECT_EQ(GlobalGetAtomNameA(atom, name, sizeof name), 0u);

    // Messages whose parameters would be pointers do not cross.
    EXPECT_EQ(SendMessageA(remote, WM_CREATE, 0, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(CrossProcess, SenderServesMessagesSentBackWhileItWaits)
{
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = [](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
        return message == k_asked_message ? 41 : DefWindowProcA(window, message, wparam, lparam);
    };
    window_class.lpszClassName = "KroAsker";
    ASSERT_NE(RegisterClassExA(&window_class), 0);
    HWND own = CreateWindowExA(0, "KroAsker", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(own, nullptr);
    HWND remote = start_helper();
    ASSERT_NE(remote, nullptr);
    EXPECT_EQ(SendMessageA(remote, k_ask_back_message, reinterpret_cast<WPARAM>(own), 0), 42);
    DestroyWindow(own);
    UnregisterClassA("KroAsker", nullptr);
}

TEST_F(CrossProcess, RestoresAMinimisedWindowOfAnotherProcess)
{
    HWND remote = start_helper(true);
    ASSERT_NE(remote, nullptr);
    ASSERT_TRUE(wait_until([&] { return IsIconic(remote) != FALSE; }));
    ShowWindow(remote, SW_RESTORE);
    EXPECT_TRUE(wait_until([&] { return !IsIconic(remote); }));
    EXPECT_TRUE(wait_until([&] { return read_host_file(m_out).ends_with("size:0\n"); }))
        << read_host_file(m_out);
}

TEST_F(CrossProcess, ForegroundHandOverReachesTheOtherProcess)
{
    HWND remote = start_helper();
    ASSERT_NE(remote, nullptr);
    // Nothing of this process is active: the foreground becomes the helper's once it shows it.
    HWND foreground = nullptr;
    EXPECT_TRUE(wait_until([&] { return (foreground = GetForegroundWindow()) == remote; }));
    DWORD foreground_thread = GetWindowThreadProcessId(foreground, nullptr);
    ASSERT_NE(foreground_thread, 0u);
    DWORD self = GetCurrentThreadId();
    EXPECT_TRUE(AttachThreadInput(self, foreground_thread, TRUE));
    DWORD timeout = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    EXPECT_TRUE(SetForegroundWindow(remote));
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(std::uintptr_t{timeout}),
                          0);
    EXPECT_TRUE(AttachThreadInput(self, foreground_thread, FALSE));
}

TEST_F(CrossProcess, WindowOfAKilledProcessIsNotFound)
{
    HWND remote = start_helper();
    ASSERT_NE(remote, nullptr);
    kill(m_helper, SIGKILL);
    helper_exit();
    EXPECT_EQ(FindWindowA("ClassKroConfig", nullptr), nullptr);
    EXPECT_FALSE(IsWindow(remote));
    EXPECT_EQ(SendMessageA(remote, k_text_message, 0, 0), 0);
    // Its socket is cleared away.
    std::string folder = m_runtime.path();
    EXPECT_TRUE(wait_until([&] {
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().filename().string().starts_with("kro.window.")) return false;
        return true;
    }));
}

TEST_F(CrossProcess, AnotherRuntimeFolderSeesNoneOfTheWindows)
{
    HWND remote = start_helper();
    ASSERT_NE(remote, nullptr);
    {
        RuntimeFolder other;
        EXPECT_EQ(FindWindowA("ClassKroConfig", nullptr), nullptr);
    }
    EXPECT_EQ(FindWindowA("ClassKroConfig", nullptr), remote);
}

TEST(GlobalAtoms, CountUsesAndCompareWithoutCase)
{
    RuntimeFolder folder;
    ATOM atom = GlobalAddAtomA("Hello World");
    ASSERT_GE(atom, 0xC000);
    EXPECT_EQ(GlobalAddAtomA("HELLO world"), atom);
    EXPECT_NE(GlobalAddAtomA("Other"), atom);
    char name[64];
    EXPECT_EQ(GlobalGetAtomNameA(atom, name, sizeof name), 11u);
    EXPECT_STREQ(name, "Hello World");
    EXPECT_EQ(GlobalDeleteAtom(atom), 0);
    EXPECT_EQ(GlobalGetAtomNameA(atom, name, sizeof name), 11u); // one use left
    EXPECT_EQ(GlobalDeleteAtom(atom), 0);
    EXPECT_EQ(GlobalGetAtomNameA(atom, name, sizeof name), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GlobalDeleteAtom(atom), atom);
}

TEST(GlobalAtoms, LimitsAndIntegerAtoms)
{
    RuntimeFolder folder;
    struct Case {
        std::string name;
        ATOM expected; // 0: refused
    };
    const Case cases[] = {
        {std::string(255, 'x'), 0xC000},
        {std::string(256, 'x'), 0},
        {"", 0},
        {"#123", 123},
        {"#0", 0},
        {"#49152", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.size() > 10 ? std::to_string(c.name.size()) + " bytes" : c.name);
        ATOM atom = GlobalAddAtomA(c.name.c_str());
        if (c.expected == 0) {
            EXPECT_EQ(atom, 0);
            EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        } else {
            EXPECT_EQ(atom, c.expected);
        }
    }
    EXPECT_EQ(GlobalAddAtomA(MAKEINTATOM(5)), 5);
    char name[16];
    EXPECT_EQ(GlobalGetAtomNameA(123, name, sizeof name), 4u);
    EXPECT_STREQ(name, "#123");
}

TEST(GlobalAtoms, ShortBufferCutsBeforeADoubleByteCharacter)
{
    RuntimeFolder folder;
    ATOM atom = GlobalAddAtomA("ab\x83\x5C");
    ASSERT_NE(atom, 0);
    char name[4];
    EXPECT_EQ(GlobalGetAtomNameA(atom, name, sizeof name), 2u);
    EXPECT_STREQ(name, "ab");
    char whole[5];
    EXPECT_EQ(GlobalGetAtomNameA(atom, whole, sizeof whole), 4u);
    EXPECT_EQ(GlobalGetAtomNameA(atom, whole, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(GlobalAtoms, DamagedTableTailIsDropped)
{
    RuntimeFolder folder;
    ATOM kept = GlobalAddAtomA("kept");
    ASSERT_NE(kept, 0);
    {
        std::ofstream table(runtime_object_path("table", "atoms"), std::ios::app | std::ios::binary);
        table.write("\x01\xC0\x01\x00\xFF\x00xx", 8); // claims 255 bytes, holds 2
    }
    char name[16];
    EXPECT_EQ(GlobalGetAtomNameA(kept, name, sizeof name), 4u);
    ATOM next = GlobalAddAtomA("next");
    EXPECT_NE(next, 0);
    EXPECT_NE(next, kept);
}
