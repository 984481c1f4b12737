#include "app/app_entry.h"
#include "app/app_loop.h"
#include "app/app_settings.h"
#include "app/app_window.h"
#include "core/sys.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/input/input_state.h"
#include "platform/d3d8_gl.h"
#include "platform/d3d8_seams.h"
#include "platform/dinput_seams.h"
#include "platform/win_crt.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// The game in this process, on the demo data beside the test program, for a fixed number of
// frames; a helper thread plays the player who clicks the maximise box once the window is up.
class MainLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "kro_win";
        char* arguments[] = {name};
        crt_set_arguments(1, arguments);
        GameInstall::write_text(m_user.user_folder() / "kro_win.ini", demo_game_ini());
    }
    void TearDown() override { d3d8_seam_reset(); }

    GameUser m_user;
};

} // namespace

TEST_F(MainLoop, RunsFramesThroughALostDeviceAndAModeSwitchAndEndsCleanly)
{
    d3d8_seam_script_cooperative(
        {D3D_OK, D3D_OK, D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET});
    d3d8_seam_close_after_presents(40);
    std::thread player([] {
        if (HWND window = GameProcess::wait_for_window()) PostMessageA(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    });
    // The close comes only after 40 presented frames, so returning at all proves the loop ran them.
    EXPECT_EQ(app_main(nullptr), 0);
    player.join();
    EXPECT_STREQ(g_error_text, "");
    EXPECT_TRUE(g_game_ran);
    EXPECT_EQ(g_app_windowed, 0); // the maximise box switched to full screen
    std::string ini = read_host_file(m_user.user_folder() / "kro_win.ini");
    EXPECT_NE(ini.find("[game]"), std::string::npos) << ini;
}

TEST_F(MainLoop, PollsTheScriptedKeyboardIntoTheInputRecord)
{
    dinput_seam_script_input(true);
    dinput_seam_queue_keys({44, 72}); // Z (attack/decide by default) and the up arrow, held throughout
    d3d8_seam_close_after_presents(10);
    EXPECT_EQ(app_main(nullptr), 0);
    const InputRecord& record = g_input_ring.records[g_input_ring.current];
    EXPECT_TRUE(record.held & 0x1) << std::hex << record.held;
    EXPECT_EQ(record.direction, 8u);
    dinput_seam_reset();
}

// The started game's frames go through the OpenGL backend: the presented frame reads back black
// from the window (nothing is queued yet to draw over it).
TEST_F(MainLoop, PresentedFramesReachTheWindowThroughOpenGl)
{
    g_hinstance = nullptr;
    sys_startup(APP_WORK_BLOCK_SIZE);
    struct ShutdownAtEnd {
        ~ShutdownAtEnd() { app_shutdown(); }
    } shutdown_at_end;
    ASSERT_EQ(app_startup(g_error_text), S_OK) << g_error_text;
    app_restore_device_objects();
    ASSERT_NE(g_d3d_device->backend(), nullptr);
    g_app_active = 1;
    for (int frame = 0; frame < 5; ++frame)
        ASSERT_EQ(app_run_frame(), S_OK);
    EXPECT_GE(g_d3d_device->call_counts().presents, 5u);
    std::optional<DWORD> shown = d3d8_gl_seam_window_pixel(*g_d3d_device, 320, 240);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(*shown & 0xFFFFFF, 0u);
}

// An end-to-end run's input script: keys, the mouse and a virtual SDL joystick, as the player's
// devices would give them.
TEST_F(MainLoop, PollsAScriptedKeyboardMouseAndJoystick)
{
    TempFolder folder;
    GameInstall::write_text(folder.path() / "input.txt",
                            "pad 2 8 1\npoll keys=44 mouse=12,0,0 stick=0,-32767 pad=1\n");
    EnvOverride script("KRO_INPUT_SCRIPT", folder.host("input.txt"));
    d3d8_seam_close_after_presents(10);
    EXPECT_EQ(app_main(nullptr), 0);
    const InputRecord& record = g_input_ring.records[g_input_ring.current];
    EXPECT_TRUE(record.held & 0x1) << std::hex << record.held;
    EXPECT_LT(record.stick_y, 0); // pushed up
    EXPECT_EQ(record.stick_x, 0);
    dinput_seam_reset();
}
