#include "platform/impl/test_seams.h"
#include "platform/impl/window_internal.h"
#include "platform/win_user.h"
#include "window_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

using ::testing::ElementsAre;

namespace {

constexpr DWORD k_windowed = 0x10CB0000;

RECT windowed_rect(int x, int y)
{
    RECT rect{0, 0, 640, 480};
    AdjustWindowRect(&rect, k_windowed & ~WS_VISIBLE, FALSE);
    return {x, y, x + rect.right - rect.left, y + rect.bottom - rect.top};
}

POINT point_of(LPARAM lparam)
{
    return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

bool is_key_message(UINT message)
{
    return message >= WM_KEYDOWN && message <= WM_SYSKEYUP && message != WM_CHAR;
}

} // namespace

TEST_F(WindowTest, ClassRegistersOnceAndCannotGoWhileItsWindowsLive)
{
    WNDCLASSEXA again{};
    again.cbSize = sizeof again;
    again.lpfnWndProc = recording_proc;
    again.lpszClassName = "kROtEST";
    EXPECT_EQ(RegisterClassExA(&again), 0);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);

    HWND window = create();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(UnregisterClassA("KroTest", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("KroTest", nullptr));
    EXPECT_FALSE(UnregisterClassA("KroTest", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(WindowTest, VisibleWindowIsMadeForOpenGlAndBecomesTheActiveWindow)
{
    std::string created_title;
    g_answer = [&](HWND, UINT message, WPARAM, LPARAM lparam) -> std::optional<LRESULT> {
        if (message == WM_CREATE) created_title = reinterpret_cast<const CREATESTRUCTA*>(lparam)->lpszName;
        return std::nullopt;
    };
    RECT rect = windowed_rect(100, 50);
    HWND window = create(k_windowed, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    ASSERT_NE(window, nullptr);

    std::vector<UINT> creation;
    for (UINT message : seen_sequence())
        if (message != WM_SETCURSOR && message != WM_ERASEBKGND && message != WM_PAINT)
            creation.push_back(message);
    EXPECT_THAT(creation, ElementsAre(WM_NCCREATE, WM_CREATE, WM_MOVE, WM_SIZE, WM_SHOWWINDOW, WM_ACTIVATEAPP,
                                      WM_ACTIVATE));
    EXPECT_EQ(seen_of(WM_ACTIVATEAPP)[0].wparam, TRUE);
    EXPECT_EQ(created_title, "Test window");
    EXPECT_EQ(GetActiveWindow(), window);
    EXPECT_EQ(GetForegroundWindow(), window);
    EXPECT_EQ(FindWindowA("kroTEST", nullptr), window);
    EXPECT_EQ(FindWindowA(nullptr, "test WINDOW"), window);

    HostWindowState host{};
    ASSERT_TRUE(seam_host_window_state(window, host));
    EXPECT_TRUE(host.opengl);
    EXPECT_TRUE(host.visible);
    EXPECT_TRUE(host.bordered);
}

TEST_F(WindowTest, ClientAreaFollowsTheFrameOfTheStyle)
{
    RECT rect = windowed_rect(100, 50);
    HWND window = create(k_windowed, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    RECT client{};
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    POINT origin{0, 0};
    ASSERT_TRUE(ClientToScreen(window, &origin));
    EXPECT_EQ(origin.x, 100 + METRIC_FIXED_FRAME);
    EXPECT_EQ(origin.y, 50 + METRIC_FIXED_FRAME + METRIC_CAPTION);
    HostWindowState host{};
    ASSERT_TRUE(seam_host_window_state(window, host));
    EXPECT_EQ(host.x, origin.x);
    EXPECT_EQ(host.y, origin.y);
    EXPECT_EQ(host.width, 640);

    // The style switch of full screen: the frame goes, the client area fills the window.
    g_seen.clear();
    EXPECT_EQ(SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(0x90000000)),
              static_cast<LONG>(k_windowed));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), 0x90000000u);
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, rect.right - rect.left);
    ASSERT_FALSE(seen_of(WM_SIZE).empty());

    g_seen.clear();
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 800, 600, SWP_NOZORDER));
    ASSERT_EQ(seen_of(WM_MOVE).size(), 1u);
    EXPECT_EQ(point_of(seen_of(WM_MOVE)[0].lparam).x, 0);
    ASSERT_EQ(seen_of(WM_SIZE).size(), 1u);
    EXPECT_EQ(seen_of(WM_SIZE)[0].lparam, MAKELPARAM(800, 600));
    ASSERT_TRUE(seam_host_window_state(window, host));
    EXPECT_EQ(host.x, 0);
    EXPECT_EQ(host.width, 800);
    EXPECT_EQ(host.height, 600);
    EXPECT_EQ(GetWindowLongA(window, 12345), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
}

TEST_F(WindowTest, MinimisedWindowReportsTheIconicPlacementAndComesBack)
{
    HWND window = create();
    POINT normal{0, 0};
    ClientToScreen(window, &normal);
    g_seen.clear();

    EXPECT_TRUE(ShowWindow(window, SW_MINIMIZE));
    EXPECT_TRUE(IsIconic(window));
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(origin.x, -32000);
    EXPECT_EQ(origin.y, -32000);
    ASSERT_FALSE(seen_of(WM_MOVE).empty());
    EXPECT_EQ(point_of(seen_of(WM_MOVE).back().lparam).x, -32000);
    ASSERT_FALSE(seen_of(WM_SIZE).empty());
    EXPECT_EQ(seen_of(WM_SIZE).back().wparam, SIZE_MINIMIZED);
    ASSERT_EQ(seen_of(WM_ACTIVATEAPP).size(), 1u);
    EXPECT_EQ(seen_of(WM_ACTIVATEAPP)[0].wparam, FALSE);
    EXPECT_EQ(GetActiveWindow(), nullptr);

    g_seen.clear();
    EXPECT_TRUE(ShowWindow(window, SW_RESTORE));
    EXPECT_FALSE(IsIconic(window));
    origin = {0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(origin.x, normal.x);
    EXPECT_EQ(origin.y, normal.y);
    EXPECT_EQ(seen_of(WM_SIZE).back().wparam, SIZE_RESTORED);
    ASSERT_EQ(seen_of(WM_ACTIVATEAPP).size(), 1u);
    EXPECT_EQ(seen_of(WM_ACTIVATEAPP)[0].wparam, TRUE);
}

TEST_F(WindowTest, HostKeysBecomeKeyMessagesWithRepeatAndAltBits)
{
    HWND window = create();
    drain();
    g_seen.clear();
    struct Press {
        BYTE key;
        bool down;
        bool repeat;
    };
    const Press presses[] = {
        {'A', true, false},        {'A', true, true},          {'A', false, false},
        {VK_MENU, true, false},    {VK_RETURN, true, false},   {VK_RETURN, true, true},
        {VK_RETURN, false, false}, {VK_MENU, false, false},    {VK_F10, true, false},
        {VK_F10, false, false},    {VK_SNAPSHOT, true, false}, {VK_SNAPSHOT, false, false},
    };
    for (const Press& press : presses)
        seam_host_key(window, press.key, press.down, press.repeat, press.key == VK_SNAPSHOT);
    drain();

    struct Expected {
        UINT message;
        WPARAM key;
        DWORD data;
    };
    const Expected expected[] = {
        {WM_KEYDOWN, 'A', 0x001E0001},
        {WM_KEYDOWN, 'A', 0x401E0001}, // auto-repeat: bit 30
        {WM_KEYUP, 'A', 0xC01E0001},
        {WM_SYSKEYDOWN, VK_MENU, 0x20380001}, // Alt: bit 29
        {WM_SYSKEYDOWN, VK_RETURN, 0x201C0001},
        {WM_SYSKEYDOWN, VK_RETURN, 0x601C0001}, // Alt+Enter, held
        {WM_SYSKEYUP, VK_RETURN, 0xE01C0001},
        {WM_KEYUP, VK_MENU, 0xC0380001},
        {WM_SYSKEYDOWN, VK_F10, 0x00440001},
        {WM_SYSKEYUP, VK_F10, 0xC0440001},
        {WM_KEYUP, VK_SNAPSHOT, 0xC1370001}, // Print Screen: the release only
    };
    std::vector<SeenMessage> keys;
    for (const SeenMessage& seen : g_seen)
        if (is_key_message(seen.message)) keys.push_back(seen);
    ASSERT_EQ(keys.size(), std::size(expected));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(keys[i].message, expected[i].message);
        EXPECT_EQ(keys[i].wparam, expected[i].key);
        EXPECT_EQ(static_cast<DWORD>(keys[i].lparam), expected[i].data);
    }
    EXPECT_TRUE(seen_of(WM_CHAR).empty()); // Alt+Enter is a system key: no character
}

TEST_F(WindowTest, KeyStateFollowsTheMessagesTakenFromTheQueue)
{
    HWND window = create();
    drain();
    seam_host_key(window, VK_SHIFT, true);
    EXPECT_GE(GetKeyState(VK_SHIFT), 0); // not taken from the queue yet
    drain();
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    EXPECT_LT(GetKeyState(VK_LSHIFT), 0);
    EXPECT_GE(GetKeyState(VK_RSHIFT), 0);
    seam_host_key(window, VK_SHIFT, false);
    drain();
    EXPECT_GE(GetKeyState(VK_SHIFT), 0);

    int lock_before = GetKeyState(VK_CAPITAL) & 1;
    seam_host_key(window, VK_CAPITAL, true);
    seam_host_key(window, VK_CAPITAL, false);
    drain();
    EXPECT_NE(GetKeyState(VK_CAPITAL) & 1, lock_before);
}

TEST_F(WindowTest, NumLockSequenceOfKeybdEventTurnsTheKeypadIntoCursorKeys)
{
    HWND window = create();
    drain();
    auto press = [](BYTE key) {
        BYTE scan = static_cast<BYTE>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
        keybd_event(key, scan, 0, 0);
        keybd_event(key, scan, KEYEVENTF_KEYUP, 0);
    };
    if (!(GetKeyState(VK_NUMLOCK) & 1)) {
        press(VK_NUMLOCK);
        drain();
    }
    ASSERT_TRUE(GetKeyState(VK_NUMLOCK) & 1);
    EXPECT_EQ(MapVirtualKeyA(VK_MENU, MAPVK_VK_TO_VSC), 0x38u);
    EXPECT_EQ(MapVirtualKeyA(VK_NUMLOCK, MAPVK_VK_TO_VSC), 0x45u);
    EXPECT_EQ(MapVirtualKeyA(0x1E, MAPVK_VSC_TO_VK), static_cast<UINT>('A'));

    g_seen.clear();
    seam_host_key(window, VK_NUMPAD1, true);
    seam_host_key(window, VK_NUMPAD1, false);
    // Alt down, NumLock down and up, Alt up: NumLock goes off.
    keybd_event(VK_MENU, 0x38, 0, 0);
    press(VK_NUMLOCK);
    keybd_event(VK_MENU, 0x38, KEYEVENTF_KEYUP, 0);
    drain();
    EXPECT_FALSE(GetKeyState(VK_NUMLOCK) & 1);
    seam_host_key(window, VK_NUMPAD1, true);
    seam_host_key(window, VK_NUMPAD1, false);
    drain();

    std::vector<std::pair<UINT, WPARAM>> keys;
    for (const SeenMessage& seen : g_seen)
        if (is_key_message(seen.message)) keys.emplace_back(seen.message, seen.wparam);
    EXPECT_THAT(
        keys,
        ElementsAre(std::pair{WM_KEYDOWN, WPARAM{VK_NUMPAD1}}, std::pair{WM_KEYUP, WPARAM{VK_NUMPAD1}},
                    std::pair{WM_SYSKEYDOWN, WPARAM{VK_MENU}}, std::pair{WM_SYSKEYDOWN, WPARAM{VK_NUMLOCK}},
                    std::pair{WM_SYSKEYUP, WPARAM{VK_NUMLOCK}}, std::pair{WM_KEYUP, WPARAM{VK_MENU}},
                    std::pair{WM_KEYDOWN, WPARAM{VK_END}}, std::pair{WM_KEYUP, WPARAM{VK_END}}));
}

TEST_F(WindowTest, TypedTextArrivesAsShiftJisCharacters)
{
    HWND window = create();
    drain();
    g_seen.clear();
    seam_host_text(window, "a\xE3\x82\xBD"); // "a" and KATAKANA SO, whose Shift-JIS trail byte is 0x5C
    seam_host_key(window, VK_RETURN, true);
    drain();
    std::vector<WPARAM> characters;
    for (const SeenMessage& seen : seen_of(WM_CHAR))
        characters.push_back(seen.wparam);
    EXPECT_THAT(characters, ElementsAre(WPARAM{'a'}, WPARAM{0x83}, WPARAM{0x5C}, WPARAM{'\r'}));
}

TEST_F(WindowTest, HostFocusActivatesAndDeactivatesTheApplication)
{
    HWND window = create();
    drain();
    g_seen.clear();
    seam_host_window_event(window, HostWindowEvent::focus_lost);
    drain();
    ASSERT_EQ(seen_of(WM_ACTIVATEAPP).size(), 1u);
    EXPECT_EQ(seen_of(WM_ACTIVATEAPP)[0].wparam, FALSE);
    EXPECT_EQ(GetActiveWindow(), nullptr);

    g_seen.clear();
    seam_host_window_event(window, HostWindowEvent::focus_gained);
    drain();
    ASSERT_EQ(seen_of(WM_ACTIVATEAPP).size(), 1u);
    EXPECT_EQ(seen_of(WM_ACTIVATEAPP)[0].wparam, TRUE);
    EXPECT_EQ(GetActiveWindow(), window);

    // The focus moving between two windows of the program leaves the program active.
    HWND second = create();
    drain();
    EXPECT_EQ(GetActiveWindow(), second);
    g_seen.clear();
    seam_host_window_event(second, HostWindowEvent::focus_lost);
    seam_host_window_event(window, HostWindowEvent::focus_gained);
    drain();
    EXPECT_TRUE(seen_of(WM_ACTIVATEAPP).empty());
    EXPECT_EQ(GetActiveWindow(), window);
}

TEST_F(WindowTest, HostMaximiseIsAskedForAndUndoneWhenTheProcedureDeclines)
{
    HWND window = create();
    drain();
    g_answer = [](HWND, UINT message, WPARAM wparam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_MAXIMIZE) return 0;
        return std::nullopt;
    };
    g_seen.clear();
    seam_host_window_event(window, HostWindowEvent::maximized);
    drain();
    ASSERT_EQ(seen_of(WM_SYSCOMMAND).size(), 1u);
    EXPECT_EQ(seen_of(WM_SYSCOMMAND)[0].wparam, SC_MAXIMIZE);
    EXPECT_TRUE(seen_of(WM_SIZE).empty());

    g_answer = nullptr;
    g_seen.clear();
    seam_host_window_event(window, HostWindowEvent::maximized);
    drain();
    ASSERT_FALSE(seen_of(WM_SIZE).empty());
    EXPECT_EQ(seen_of(WM_SIZE).back().wparam, SIZE_MAXIMIZED);

    g_seen.clear();
    seam_host_window_event(window, HostWindowEvent::restored);
    drain();
    ASSERT_EQ(seen_of(WM_SYSCOMMAND).size(), 1u);
    EXPECT_EQ(seen_of(WM_SYSCOMMAND)[0].wparam, SC_RESTORE);
    EXPECT_EQ(seen_of(WM_SIZE).back().wparam, SIZE_RESTORED);
    EXPECT_EQ(seen_of(WM_SIZE).back().lparam, MAKELPARAM(640, 480));
}

TEST_F(WindowTest, HostMoveAndResizeAreReported)
{
    HWND window = create();
    drain();
    g_seen.clear();
    seam_host_window_event(window, HostWindowEvent::moved, 300, 200);
    seam_host_window_event(window, HostWindowEvent::size_changed, 320, 240);
    drain();
    ASSERT_EQ(seen_of(WM_MOVE).size(), 1u);
    EXPECT_EQ(seen_of(WM_MOVE)[0].lparam, MAKELPARAM(300, 200));
    ASSERT_EQ(seen_of(WM_SIZE).size(), 1u);
    EXPECT_EQ(seen_of(WM_SIZE)[0].lparam, MAKELPARAM(320, 240));
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 300 - METRIC_FIXED_FRAME);
    EXPECT_EQ(rect.right - rect.left, 320 + 2 * METRIC_FIXED_FRAME);
}

TEST_F(WindowTest, HostCloseAndAltF4RunTheCloseChainToTheQuitMessage)
{
    g_answer = [](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message != WM_DESTROY) return std::nullopt;
        PostQuitMessage(0);
        return 0;
    };
    const std::function<void(HWND)> closers[] = {
        [](HWND window) { seam_host_window_event(window, HostWindowEvent::close); },
        [](HWND window) {
            seam_host_key(window, VK_MENU, true);
            seam_host_key(window, VK_F4, true);
        },
    };
    for (const auto& close : closers) {
        HWND window = create();
        drain();
        g_seen.clear();
        close(window);
        MSG message;
        BOOL got;
        while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0)
            DispatchMessageA(&message);
        EXPECT_EQ(got, 0);
        EXPECT_EQ(message.message, WM_QUIT);
        EXPECT_FALSE(IsWindow(window));
        std::vector<UINT> chain;
        for (const SeenMessage& seen : g_seen)
            if ((seen.message == WM_SYSCOMMAND && seen.wparam == SC_CLOSE) || seen.message == WM_CLOSE ||
                seen.message == WM_DESTROY || seen.message == WM_NCDESTROY)
                chain.push_back(seen.message);
        EXPECT_THAT(chain, ElementsAre(WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY));
    }
    // Keys held when the program was deactivated do not stay down.
    EXPECT_GE(GetKeyState(VK_MENU), 0);
}

TEST_F(WindowTest, MouseEventsBecomeCursorWheelButtonAndNonClientMessages)
{
    HWND window = create();
    drain();
    g_seen.clear();
    seam_host_mouse_motion(window, 10, 20);
    seam_host_mouse_wheel(window, 1);
    seam_host_mouse_wheel(window, -2);
    seam_host_mouse_button(window, 3, true, 5, 6);
    seam_host_window_event(window, HostWindowEvent::mouse_left);
    drain();

    auto cursors = seen_of(WM_SETCURSOR);
    ASSERT_EQ(cursors.size(), 2u);
    EXPECT_EQ(cursors[0].lparam, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(cursors[1].lparam, MAKELPARAM(HTCLIENT, WM_RBUTTONDOWN));
    ASSERT_EQ(seen_of(WM_MOUSEMOVE).size(), 1u);
    EXPECT_EQ(seen_of(WM_MOUSEMOVE)[0].lparam, MAKELPARAM(10, 20));
    auto wheels = seen_of(WM_MOUSEWHEEL);
    ASSERT_EQ(wheels.size(), 2u);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(wheels[0].wparam), 120);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(wheels[1].wparam), -240);
    ASSERT_EQ(seen_of(WM_RBUTTONDOWN).size(), 1u);
    EXPECT_EQ(LOWORD(seen_of(WM_RBUTTONDOWN)[0].wparam), MK_RBUTTON);
    EXPECT_EQ(seen_of(WM_NCMOUSEMOVE).size(), 1u);
}

TEST_F(WindowTest, PostedMessagesComeInOrderThenQuitThenPaint)
{
    HWND window = create();
    PostMessageA(window, WM_USER + 1, 1, 0);
    PostMessageA(window, WM_USER + 2, 2, 0);
    PostMessageA(nullptr, WM_USER + 3, 3, 0);
    PostQuitMessage(7);

    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    EXPECT_EQ(message.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&message, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, WM_USER + 3);
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), 1);
    EXPECT_EQ(message.message, WM_USER + 1);
    EXPECT_EQ(message.hwnd, window);
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), 1);
    EXPECT_EQ(message.message, WM_USER + 3);
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.wParam, 7u);

    // WM_PAINT stays until the window is validated.
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_PAINT);
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_PAINT);
    DispatchMessageA(&message);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessageA(&message, reinterpret_cast<HWND>(0x1234), 0, 0), -1);
}

TEST_F(WindowTest, SendFromAnotherThreadRunsOnTheOwningThread)
{
    HWND window = create();
    drain();
    DWORD ran_on = 0;
    g_answer = [&](HWND, UINT message, WPARAM wparam, LPARAM) -> std::optional<LRESULT> {
        if (message != WM_USER + 10) return std::nullopt;
        ran_on = GetCurrentThreadId();
        return static_cast<LRESULT>(wparam * 2);
    };
    LRESULT result = 0;
    std::thread sender([&] {
        result = SendMessageA(window, WM_USER + 10, 21, 0);
        PostMessageA(window, WM_USER + 11, 0, 0);
    });
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0 && message.message != WM_USER + 11)
        DispatchMessageA(&message);
    sender.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(ran_on, GetCurrentThreadId());
}

TEST_F(WindowTest, WaitMessageReturnsOnlyWithAMessageAndWakesOnAnotherThreadsPost)
{
    HWND window = create();
    drain();
    std::thread poster([window] {
        Sleep(50);
        PostMessageA(window, WM_USER + 12, 0, 0);
    });
    for (;;) {
        ASSERT_TRUE(WaitMessage());
        MSG message;
        ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
        if (message.message == WM_USER + 12) break;
        DispatchMessageA(&message);
    }
    poster.join();
}

TEST_F(WindowTest, PaintingValidatesAndTheBlackFillIsDrawn)
{
    seam_log_enable(true);
    seam_log_clear();
    HWND window = create();
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    EXPECT_EQ(message.hwnd, window);
    PAINTSTRUCT paint;
    ASSERT_NE(BeginPaint(window, &paint), nullptr);
    EXPECT_EQ(paint.rcPaint.right, 640);
    EXPECT_EQ(paint.rcPaint.bottom, 480);
    EXPECT_TRUE(EndPaint(window, &paint));
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));

    HDC dc = GetDC(window);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_TRUE(FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    EXPECT_TRUE(FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))));
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_FALSE(FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    std::vector<std::string> fills;
    for (const std::string& line : seam_log())
        if (line.starts_with("FillRect")) fills.push_back(line);
    EXPECT_THAT(fills, ElementsAre("FillRect 0,0,640,480 #000000"));
    seam_log_enable(false);
    seam_log_clear();
}

TEST_F(WindowTest, ShowCursorKeepsARealDisplayCount)
{
    create();
    drain();
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    SetCursor(arrow);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_FALSE(seam_host_cursor_visible());
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_FALSE(seam_host_cursor_visible());
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_TRUE(seam_host_cursor_visible());
    EXPECT_EQ(SetCursor(nullptr), arrow);
    EXPECT_FALSE(seam_host_cursor_visible());
    EXPECT_EQ(SetCursor(arrow), nullptr);
    EXPECT_TRUE(seam_host_cursor_visible());
    EXPECT_EQ(LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(108)), nullptr);
}

TEST(Icons, DeclaredIconLoadsSharedAtTheAskedSizes)
{
    IconImage image{32, 32, std::vector<std::uint32_t>(32 * 32, 0xFF0000FF)};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            image.argb[y * 32 + x] = 0xFFFF0000;
    resource_add_icon(4242, {image});
    HINSTANCE self = GetModuleHandleA(nullptr);

    HICON large = LoadIconA(self, MAKEINTRESOURCEA(4242));
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCEA(4242)), large);
    EXPECT_EQ(LoadImageA(self, MAKEINTRESOURCEA(4242), IMAGE_ICON, 0, 0, 0), large);
    auto small = static_cast<HICON>(LoadImageA(self, MAKEINTRESOURCEA(4242), IMAGE_ICON, 16, 16, 0));
    ASSERT_NE(small, nullptr);
    EXPECT_NE(small, large);
    int width = 0, height = 0;
    const std::uint32_t* argb = nullptr;
    ASSERT_TRUE(icon_pixels(small, width, height, argb));
    EXPECT_EQ(width, 16);
    EXPECT_EQ(argb[0], 0xFFFF0000u);
    EXPECT_EQ(argb[15], 0xFF0000FFu);
    EXPECT_EQ(argb[15 * 16], 0xFF0000FFu);

    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCEA(4243)), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(LoadImageA(self, MAKEINTRESOURCEA(4242), IMAGE_BITMAP, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
}

TEST(MessageBox, ScriptedAnswersAreTakenInOrderAndEveryCallIsRecorded)
{
    seam_message_boxes_clear();
    seam_message_box_answer(IDCANCEL);
    seam_message_box_answer(IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Exit game?", "Kro", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "Exit game?", "Kro", MB_OKCANCEL), IDOK);

    // Nothing scripted and no display: the text goes to standard error, the first button answers.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "boom", "Kro", MB_YESNO), IDYES);
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), ::testing::HasSubstr("Kro: boom"));

    auto calls = seam_message_boxes();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].text, "Exit game?");
    EXPECT_EQ(calls[0].caption, "Kro");
    EXPECT_EQ(calls[0].type, MB_OKCANCEL);
    EXPECT_EQ(calls[2].type, MB_YESNO);
    seam_message_boxes_clear();
}

TEST(SystemMetrics, ScreenSizeMatchesTheScreenContextAndButtonsAreNotSwapped)
{
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_EQ(GetDeviceCaps(screen, HORZRES), GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(GetDeviceCaps(screen, VERTRES), GetSystemMetrics(SM_CYSCREEN));
    EXPECT_GE(GetDeviceCaps(screen, BITSPIXEL), 24);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(GetSystemMetrics(SM_SWAPBUTTON), 0);

    DWORD timeout = 0;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0));
    EXPECT_EQ(timeout, 200000u);
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0));
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    EXPECT_EQ(timeout, 0u);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(std::uintptr_t{200000}),
                          0);
    EXPECT_FALSE(SystemParametersInfoA(0x1234, 0, nullptr, 0));
}

TEST(ThreadInput, AttachNeedsTwoLiveThreadsAndDetachAnAttachment)
{
    std::promise<void> finished;
    std::promise<DWORD> started;
    std::thread other([&] {
        started.set_value(GetCurrentThreadId());
        finished.get_future().wait();
    });
    DWORD other_id = started.get_future().get();
    DWORD self = GetCurrentThreadId();
    EXPECT_FALSE(AttachThreadInput(self, self, TRUE));
    EXPECT_FALSE(AttachThreadInput(self, 0, TRUE));
    EXPECT_FALSE(AttachThreadInput(self, other_id, FALSE));
    EXPECT_TRUE(AttachThreadInput(self, other_id, TRUE));
    EXPECT_TRUE(AttachThreadInput(self, other_id, FALSE));
    finished.set_value();
    other.join();
}
