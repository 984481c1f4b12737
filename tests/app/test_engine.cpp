#include "app/app_engine.h"
#include "app/app_entry.h"
#include "app/app_window.h"
#include "core/sys.h"
#include "core/timer.h"
#include "core/vfs.h"
#include "lowlv/audio/audio_dsound.h"
#include "lowlv/audio/audio_mgr.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/input/input_device.h"
#include "platform/impl/d3d8_seams.h"
#include "platform/impl/test_seams.h"
#include "platform/impl/window_seams.h"
#include "platform/win_crt.h"
#include "scenegraph/text_glyph.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

constexpr const char* k_d3d_failure = "failed: Subsys D3D::Initialize";

// The engine's real step list, started by the game in this process. No settings program can
// be started, so a fatal text ends in the message box, where the test reads it.
class EngineStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        seam_message_boxes_clear();
        seam_set_program_folder(m_no_programs.host());
    }
    void TearDown() override
    {
        seam_set_program_folder("");
        d3d8_seam_reset();
        destroy_hidden_game_window();
    }

    TempFolder m_no_programs;
};

// What the steps before the failing one leave behind, and that none after it ran.
void expect_stopped_at_direct3d()
{
    EXPECT_EQ(g_window_origin.window, g_hwnd);
    EXPECT_NE(vfs_find("data\\demo\\overlay.txt"), nullptr);
    EXPECT_EQ(g_d3d_device, nullptr);
    EXPECT_EQ(g_dinput, nullptr);
    EXPECT_EQ(g_ds, nullptr);
    EXPECT_FALSE(audio_thread_running());
}

void expect_shut_down()
{
    EXPECT_EQ(g_d3d, nullptr);
    EXPECT_EQ(g_hwnd, nullptr);
    EXPECT_EQ(g_work_block.memory, nullptr);
    EXPECT_EQ(seam_timer_periods(), 0);
    EXPECT_EQ(g_instance_mutex, nullptr);
}

} // namespace

TEST(RefreshStep, IsFixedOnlyInFullScreenWithVSyncAndAKnownRate)
{
    const struct {
        bool windowed;
        std::uint8_t wait_vsync;
        UINT refresh_hz;
        float step;
    } cases[] = {
        {false, 1, 60, 1.0f}, {false, 1, 75, 0.8f}, {false, 1, 120, 0.5f},
        {true, 1, 60, 0.0f},  {false, 0, 60, 0.0f}, {false, 1, 0, 0.0f},
    };
    const DeviceSettings saved = g_device_settings;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "windowed " << c.windowed << ", vsync " << int{c.wait_vsync}
                                        << ", " << c.refresh_hz << " Hz");
        g_device_settings.settings.wait_vsync = c.wait_vsync;
        g_device_settings.present.FullScreen_RefreshRateInHz = c.refresh_hz;
        g_fixed_step = -1.0f;
        timer_set_refresh_step(c.windowed);
        EXPECT_FLOAT_EQ(g_fixed_step, c.step);
    }
    g_device_settings = saved;
    g_fixed_step = 0.0f;
}

// Direct3D that cannot be made, or a machine without an adapter: the start-up stops at the
// device's step with its text, and the shutdown takes down what the earlier steps brought up.
TEST_F(EngineStart, ADirect3DFailureStopsTheStepsThereAndTheShutdownUndoesTheRest)
{
    const struct {
        const char* name;
        std::function<void()> break_direct3d;
    } cases[] = {
        {"Direct3D cannot be created", [] { d3d8_seam_fail(D3D8Call::Create, E_FAIL); }},
        {"no adapter", [] { d3d8_seam_set_machine(D3D8Machine{}); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.break_direct3d();
        StartedGame game;
        EXPECT_TRUE(FAILED(game.start()));
        EXPECT_STREQ(g_error_text, k_d3d_failure);
        expect_stopped_at_direct3d();
        game.shut_down();
        expect_shut_down();
        d3d8_seam_reset();
    }
}

TEST_F(EngineStart, TheDirect3DFailureReachesTheErrorDisplayAfterTheShutdown)
{
    GameUser user;
    GameInstall::write_text(user.user_folder() / "kro_win.ini", demo_game_ini());
    char name[] = "kro_win";
    char* arguments[] = {name};
    crt_set_arguments(1, arguments);
    d3d8_seam_fail(D3D8Call::Create, E_FAIL);
    EXPECT_EQ(app_main(nullptr), 0);
    EXPECT_FALSE(g_game_ran);
    expect_shut_down();
    ASSERT_EQ(seam_message_boxes().size(), 1u);
    const std::string shown = seam_message_boxes()[0].text;
    EXPECT_EQ(shown.rfind(std::string(k_d3d_failure) + "\napp_entry(", 0), 0u) << shown;
}

// With music and effects both off neither DirectSound nor the audio manager starts, and the
// steps after them still bring the engine up to its last one.
TEST_F(EngineStart, SoundStartsOnlyWhenMusicOrEffectsArePlayed)
{
    const struct {
        bool play_bgm;
        bool play_effect;
        bool sound;
    } cases[] = {{false, false, false}, {true, false, true}, {false, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "PlayBgm " << c.play_bgm << ", PlayEffect " << c.play_effect);
        StartedGame game(game_ini_with_sound(c.play_bgm, c.play_effect));
        ASSERT_EQ(game.start(), S_OK) << g_error_text;
        EXPECT_EQ(g_ds != nullptr, c.sound);
        EXPECT_EQ(audio_thread_running(), c.sound);
        EXPECT_EQ(audio_stream(0) != nullptr, c.sound);
        EXPECT_NE(g_d3d_device, nullptr);
        EXPECT_NE(g_dinput, nullptr);
        EXPECT_EQ(glyph_cache_cell_width(), 21);
    }
}
