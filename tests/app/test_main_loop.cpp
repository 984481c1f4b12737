#include "app/app_entry.h"
#include "app/app_loop.h"
#include "app/app_settings.h"
#include "app/app_window.h"
#include "core/timer.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_tick.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/input/input_state.h"
#include "platform/impl/d3d8_gl.h"
#include "platform/impl/d3d8_seams.h"
#include "platform/impl/dinput_seams.h"
#include "platform/impl/test_seams.h"
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
    void TearDown() override
    {
        destroy_hidden_game_window();
        d3d8_seam_reset();
    }

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
    StartedGame game;
    ASSERT_EQ(game.start(), S_OK) << g_error_text;
    app_restore_device_objects();
    ASSERT_NE(d3d8_device_backend(*g_d3d_device), nullptr);
    g_app_active = 1;
    for (int frame = 0; frame < 5; ++frame)
        ASSERT_EQ(app_run_frame(), S_OK);
    EXPECT_GE(d3d8_call_counts(*g_d3d_device).presents, 5u);
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

// However many ticks a frame holds, it polls the input once (on its first whole tick), draws and
// presents once, and a press counts for one whole tick only.
TEST_F(FramePass, AFrameRunsItsTicksWithOnePollAndOnePresent)
{
    const struct {
        const char* name;
        std::int64_t counts;
        std::uint32_t steps;
        float last_step;
        float carried; // the accumulator after the frame
        bool polled;
        bool press_kept;
    } cases[] = {
        {"one tick", k_tick, 1, 1.0f, 0.0f, true, true},
        {"two and a half ticks", 5 * k_tick / 2, 3, 0.5f, 0.5f, true, false},
        {"half a tick", k_tick / 2, 1, 0.5f, 0.5f, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start_frame_from_rest();
        const std::uint32_t ring_before = g_input_ring.current;
        const D3DCallCounts before = d3d8_call_counts(*g_d3d_device);
        run_frame(c.counts);
        const D3DCallCounts& after = d3d8_call_counts(*g_d3d_device);
        EXPECT_EQ(g_tick_index, c.steps);
        EXPECT_FLOAT_EQ(g_frame_step, c.last_step);
        EXPECT_FLOAT_EQ(g_tick_accum, c.carried);
        EXPECT_EQ(after.scenes - before.scenes, 1u);
        EXPECT_EQ(after.presents - before.presents, 1u);
        // An even number of polls would leave the ring where it was; three would have read the release.
        EXPECT_EQ(g_input_ring.current != ring_before, c.polled);
        EXPECT_EQ((current_record().held & INPUT_ACTION) != 0, c.polled);
        EXPECT_EQ((current_record().pressed & INPUT_ACTION) != 0, c.press_kept);
    }
}

// Frames shorter than a tick each run one step; only the frame in which the accumulated steps
// pass a whole tick marks it and polls the input.
TEST_F(FramePass, ShortFramesMarkAWholeTickOnlyWhenTheAccumulatorPassesOne)
{
    const bool whole_tick[] = {false, false, false, true, false, false, true};
    for (std::size_t frame = 0; frame < std::size(whole_tick); ++frame) {
        SCOPED_TRACE(frame);
        const std::uint32_t ring_before = g_input_ring.current;
        run_frame(3 * k_tick / 10);
        EXPECT_EQ(g_tick_index, 1u);
        EXPECT_EQ(g_whole_tick != 0, whole_tick[frame]);
        EXPECT_EQ(g_input_ring.current != ring_before, whole_tick[frame]);
    }
    EXPECT_NEAR(g_tick_accum, 0.1f, 1e-5f);
}

// Alt+Enter only asks for the mode switch; the pass that handles the key resets the device in
// place of a frame, and the pass after it runs a frame again.
TEST_F(FramePass, AltEnterMakesThePassADeviceResetInsteadOfAFrame)
{
    const D3DCallCounts start = d3d8_call_counts(*g_d3d_device);
    run_pass(k_tick);
    const D3DCallCounts framed = d3d8_call_counts(*g_d3d_device);
    EXPECT_EQ(framed.presents, start.presents + 1);

    PostMessageA(g_hwnd, WM_SYSKEYDOWN, VK_RETURN, 0);
    run_pass(k_tick);
    const D3DCallCounts reset = d3d8_call_counts(*g_d3d_device);
    EXPECT_EQ(reset.resets, framed.resets + 1);
    EXPECT_EQ(reset.presents, framed.presents);
    EXPECT_EQ(g_app_request, 0u);
    EXPECT_EQ(g_app_windowed, 0);
    EXPECT_FALSE(g_device_settings.present.Windowed);

    run_pass(k_tick);
    const D3DCallCounts after = d3d8_call_counts(*g_d3d_device);
    EXPECT_EQ(after.resets, reset.resets);
    EXPECT_EQ(after.presents, reset.presents + 1);
}

// The stats' "Showoff" window closes once the play time has passed its start by more than a
// second, counted in milliseconds in 64 bits, so also after days of play.
TEST_F(FramePass, TheShowoffWindowClosesOnceTheStartIsASecondPast)
{
    const struct {
        const char* name;
        std::int32_t play_frames;
        std::int32_t start_ms; // the play time one second before the window may close
    } cases[] = {
        {"ten seconds into the game", 540, 9000},
        {"after nine days", 47'000'000, 783'333'333},
    };
    std::int32_t* flags = g_play_state.game_flags;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        flags[GF_PLAY_FRAMES] = c.play_frames;
        flags[GF_SHOWOFF_COUNT] = 3;
        flags[GF_SHOWOFF_START] = c.start_ms;
        for (int frame = 0; frame < 60; ++frame)
            run_frame(k_tick);
        EXPECT_EQ(flags[GF_PLAY_FRAMES], c.play_frames + 60);
        EXPECT_EQ(flags[GF_SHOWOFF_COUNT], 3);
        EXPECT_EQ(flags[GF_SHOWOFF_START], c.start_ms);
        run_frame(k_tick);
        EXPECT_EQ(flags[GF_SHOWOFF_COUNT], 0);
        EXPECT_EQ(flags[GF_SHOWOFF_START], 0);
    }
    // With no window open the start is left alone.
    flags[GF_SHOWOFF_START] = 5;
    run_frame(k_tick);
    EXPECT_EQ(flags[GF_SHOWOFF_START], 5);
    flags[GF_SHOWOFF_START] = flags[GF_PLAY_FRAMES] = 0;
}
