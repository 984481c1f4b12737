#include "app/app_entry.h"
#include "app/app_icon.h"
#include "app/app_loop.h"
#include "app/app_settings.h"
#include "app/app_window.h"
#include "core/timer.h"
#include "lowlv/input/input_state.h"
#include "platform/impl/window_seams.h"
#include "platform/win_kernel.h"
#include "platform/win_user.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

namespace {

constexpr LPARAM k_repeat = LPARAM{1} << 30;

// The game's window, created as the start-up chain creates it, in a runtime folder of its own.
class GameWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hinstance = GetModuleHandleA(nullptr);
        app_register_resources();
        app_reset_settings();
        g_app_windowed = 1;
        g_app_active = 0;
        g_app_request = 0;
        IniFile ini("kro_win.ini");
        ASSERT_EQ(app_create_window(ini), S_OK);
        // Without a window manager a shown window is active at once; tests start inactive.
        drain_messages();
        send(WM_ACTIVATEAPP, 0);
        seam_message_boxes_clear();
    }
    void TearDown() override
    {
        if (IsWindow(g_hwnd)) DestroyWindow(g_hwnd);
        app_destroy_window();
        drain_messages();
    }

    static LRESULT send(UINT message, WPARAM wparam, LPARAM lparam = 0)
    {
        return app_window_proc(g_hwnd, message, wparam, lparam);
    }
    static void drain_messages()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }

    GameUser m_user;
};

} // namespace

TEST_F(GameWindow, CreatesAVisibleWindowOfTheGameClassWithIcon)
{
    EXPECT_EQ(FindWindowA(APP_WINDOW_CLASS, nullptr), g_hwnd);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(g_hwnd, GWL_STYLE)), APP_STYLE_WINDOWED);
    RECT client{};
    GetClientRect(g_hwnd, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_NE(LoadIconA(g_hinstance, MAKEINTRESOURCEA(APP_ICON_RESOURCE)), nullptr);
}

TEST_F(GameWindow, ActivationKeepsItsBookkeeping)
{
    g_frame_counter = 7;
    g_skip_step = 0;
    EXPECT_EQ(send(WM_ACTIVATEAPP, 1), 0);
    EXPECT_EQ(g_app_active, 1);
    EXPECT_EQ(g_skip_step, 1);
    EXPECT_EQ(g_frame_counter, 0u);
    g_skip_step = 0;
    g_frame_counter = 3;
    g_app_windowed = 0;
    send(WM_ACTIVATEAPP, 0);
    EXPECT_EQ(g_app_active, 0);
    EXPECT_EQ(g_skip_step, 0); // only activation skips a frame
    EXPECT_EQ(g_frame_counter, 0u);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(g_hwnd, GWL_STYLE)), APP_STYLE_FULL_SCREEN_ACTIVE);
}

TEST_F(GameWindow, AltEnterHeldTogglesOnce)
{
    send(WM_ACTIVATEAPP, 1);
    send(WM_SYSKEYDOWN, VK_RETURN);
    EXPECT_EQ(g_app_windowed, 0);
    EXPECT_EQ(g_app_request, APP_REQUEST_RESET);
    send(WM_SYSKEYDOWN, VK_RETURN, k_repeat);
    send(WM_SYSKEYDOWN, VK_RETURN, k_repeat);
    EXPECT_EQ(g_app_windowed, 0);
}

TEST_F(GameWindow, AltEnterWhileInactiveDoesNothing)
{
    send(WM_SYSKEYDOWN, VK_RETURN);
    EXPECT_EQ(g_app_windowed, 1);
    EXPECT_EQ(g_app_request, 0u);
}

TEST_F(GameWindow, MaximiseAsksForFullScreen)
{
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_MAXIMIZE | 2), 0);
    EXPECT_EQ(g_app_windowed, 0);
    EXPECT_EQ(g_app_request, APP_REQUEST_RESET);
    EXPECT_TRUE(IsWindow(g_hwnd));
}

TEST_F(GameWindow, CloseWhileInactiveAsksAndCancelKeepsTheGame)
{
    seam_message_box_answer(IDCANCEL);
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_CLOSE), 0);
    ASSERT_EQ(seam_message_boxes().size(), 1u);
    EXPECT_EQ(seam_message_boxes()[0].text, "Exit game?");
    EXPECT_EQ(seam_message_boxes()[0].owner, nullptr);
    EXPECT_EQ(seam_message_boxes()[0].type, MB_OKCANCEL);
    EXPECT_TRUE(IsWindow(g_hwnd));
    EXPECT_EQ(g_app_request, 0u);

    seam_message_box_answer(IDOK);
    send(WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_FALSE(IsWindow(g_hwnd));
    EXPECT_EQ(g_app_request, APP_REQUEST_RESET);
}

TEST_F(GameWindow, CloseWhileActiveClosesWithoutAsking)
{
    send(WM_ACTIVATEAPP, 1);
    send(WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_TRUE(seam_message_boxes().empty());
    EXPECT_FALSE(IsWindow(g_hwnd));
    MSG message;
    bool quit = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        quit = quit || message.message == WM_QUIT;
    EXPECT_TRUE(quit);
}

TEST_F(GameWindow, ShiftF1CyclesTheFrameRateDisplay)
{
    seam_host_key(g_hwnd, VK_SHIFT, true);
    drain_messages();
    ASSERT_LT(GetKeyState(VK_SHIFT), 0);
    g_show_fps = 0;
    for (std::uint8_t expected : {1, 2, 0}) {
        send(WM_KEYDOWN, VK_F1);
        EXPECT_EQ(g_show_fps, expected);
    }
    send(WM_KEYDOWN, VK_F1, k_repeat); // auto-repeat is ignored
    EXPECT_EQ(g_show_fps, 0);
    seam_host_key(g_hwnd, VK_SHIFT, false);
    drain_messages();
    send(WM_KEYDOWN, VK_F1);
    EXPECT_EQ(g_show_fps, 0); // F1 alone is the No-Fall switch, not the display
}

TEST_F(GameWindow, SmallRowsAnswerAsTheTableSays)
{
    send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)));
    EXPECT_EQ(g_input_wheel, -240);
    EXPECT_EQ(send(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND), 1);
    EXPECT_EQ(send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND), 1);
    EXPECT_EQ(send(WM_POWERBROADCAST, 4), 0);
    EXPECT_EQ(send(WM_DEVICECHANGE, 7), 0);
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_KEYMENU), 1);
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_SCREENSAVE), 1);
    g_skip_step = 0;
    send(WM_ENTERSIZEMOVE, 0);
    EXPECT_EQ(g_skip_step, 1);
}
