#include "game/g_gameover.h"

#include "core/errors.h"
#include "core/sys.h"
#include "game/g_game.h"
#include "game/g_scn_data.h"
#include "game/g_sound.h"
#include "game_font_fixture.h"
#include "input_records.h"
#include "lib/packed_writer.h"
#include "lib/table_writer.h"
#include "lowlv/input/input_state.h"
#include "platform/impl/gdi_font_seams.h"
#include "scenegraph/resrc_mgr.h"
#include "tick_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr DWORD k_now_ms = 2'000'000;
constexpr std::int32_t k_title_scene = 1;
constexpr std::int32_t k_map_scene = 2;
constexpr std::int32_t k_game_over_music = 14;
constexpr std::int32_t k_scene_music = 5;
constexpr std::uint32_t k_scene_colour = 0x123456;

GoWndDialog* only_dialog()
{
    return g_pool_wnddialog.count == 1 ? static_cast<GoWndDialog*>(g_pool_wnddialog.active[0]) : nullptr;
}

// The game over on the tick's device: the game font from the synthetic font, a scene list of the
// first scene, the title and a map (the player in the map, fallen), and the game-over music in
// the music table with the music switch off, so the table alone decides what plays.
class GameOverTest : public TickTest {
protected:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempFolder>();
        std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
        const std::vector<SceneListRecord> scenes = {
            {"demo6\\", "Logo"}, {"title\\", "Title"}, {"s_11\\s_1112\\", "Map"}};
        files.push_back({SCN_SCENE_LIST_PATH, packed_build(scene_list_build(scenes))});
        ASSERT_TRUE(archive_write_set(s_folder->path(), files, {}));
        vfs::Startup((s_folder->windows() + "\\").c_str());
    }

    void SetUp() override
    {
        seam_font_use_synthetic(true);
        TickTest::SetUp();
        ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]);
        seam_set_clock([] { return k_now_ms; });
        timer_frame();
        game_font_start();
        if (HasFatalFailure()) return;
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        scn_data_load_scene_list();
        ASSERT_EQ(g_scene_list.size(), 3u);
        m_saved_title_scene = g_title_scene;
        g_title_scene = k_title_scene;
        m_saved_play_bgm = g_play_bgm;
        g_play_bgm = 0;
        g_bgm_table[0] = {"scene", static_cast<std::uint32_t>(k_scene_music)};
        g_bgm_table[1] = {"gameover", static_cast<std::uint32_t>(k_game_over_music)};
        g_bgm_count = 2;
        g_bgm_playing = k_scene_music;
        g_scene_pending = 0;
        g_scene_change_busy = 0;
        g_input_ring = {};
        g_play_state.scene_id = k_map_scene;
        g_play_state.status.hp = 0.0f;
        g_fade.rate = 0.05f;
    }

    void TearDown() override
    {
        obj_destroy_all();
        ResrcMgr::Shutdown();
        game_font_stop();
        scn_data_free();
        g_work_block = m_saved_block;
        g_bgm_count = 0;
        g_bgm_playing = 0;
        g_play_bgm = m_saved_play_bgm;
        g_title_scene = m_saved_title_scene;
        g_scene_pending = 0;
        g_scene_change_busy = 0;
        g_input_ring = {};
        TickTest::TearDown();
        seam_font_use_synthetic(false);
    }

    // One whole tick of the game with this input in the current record.
    void tick_with(const InputRecord& input = {})
    {
        current_record() = input;
        step(2);
    }

    // The dialog's choice, made with the keys once it takes them: the cursor moves down to the
    // row, then decide.
    void choose(std::int32_t row)
    {
        GoWndDialog* dialog = only_dialog();
        ASSERT_NE(dialog, nullptr);
        for (int i = 0; i < 100 && !(dialog->title_shown && dialog->armed); ++i)
            tick_with();
        ASSERT_TRUE(dialog->title_shown && dialog->armed);
        for (std::int32_t r = dialog->cursor; r < row; ++r)
            tick_with(keys(0, 0, 1));
        ASSERT_EQ(dialog->cursor, row);
        m_value_before_choice = g_fade.value;
        tick_with(keys(INPUT_DECIDE, INPUT_DECIDE));
        ASSERT_EQ(dialog->decided, 1);
    }

    // Whole ticks until the fade's pending scene has been requested; false when it never is.
    bool until_requested()
    {
        for (int i = 0; i < 400; ++i) {
            tick_with();
            if (g_fade.pending_scene == 0) return true;
        }
        return false;
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 16); // unpacks the scene list
    WorkBlock m_saved_block{};
    float m_value_before_choice = 0.0f;
    std::int32_t m_saved_title_scene = 0;
    std::uint8_t m_saved_play_bgm = 0;
};

} // namespace

// The screen dims to a third in black; the picture (held, centred) and the dialog appear, the
// dialog activated now with its two choices at (320, 320); the game-over music plays.
TEST_F(GameOverTest, OpensThePictureTheDialogAndTheMusic)
{
    gameover_open();
    EXPECT_EQ(g_game_over, 1);
    EXPECT_FLOAT_EQ(g_fade.rate, 0.01f);
    EXPECT_FLOAT_EQ(g_fade.target, 0.3333333f);
    EXPECT_EQ(g_fade.color, 0u);
    EXPECT_EQ(g_fade.second_color, 0u);
    EXPECT_EQ(g_world_frozen, 0) << "the world stops only with a choice";

    ASSERT_EQ(g_pool_xx.count, 1);
    auto& picture = *static_cast<GoXx*>(g_pool_xx.active[0]);
    EXPECT_EQ(picture.role, GOXX_PICTURE_OVERLAY);
    EXPECT_EQ(picture.area<PictureOverlay>().hold, 1);
    EXPECT_EQ(picture.area<PictureOverlay>().centred, 1);

    GoWndDialog* dialog = only_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_STREQ(dialog->items[0].label, " ");
    EXPECT_EQ(dialog->count, 3);
    EXPECT_STREQ(dialog->items[1].label, "Retry");
    EXPECT_STREQ(dialog->items[2].label, "Return to Title");
    EXPECT_EQ(dialog->items[1].callback, &gameover_cb_retry);
    EXPECT_EQ(dialog->items[2].callback, &gameover_cb_title);
    EXPECT_EQ(dialog->position.x, 320.0f);
    EXPECT_EQ(dialog->position.y, 320.0f);
    EXPECT_NE(dialog->surfaces[2].texture, nullptr) << "laid out";
    EXPECT_EQ(dialog->active, 1);
    EXPECT_EQ(dialog->show_time, k_now_ms);

    EXPECT_EQ(g_bgm_playing, k_game_over_music);
}

// A second defeat signal changes nothing: no second dialog, picture or fade.
TEST_F(GameOverTest, ASecondOpenDoesNothing)
{
    gameover_open();
    g_fade.target = 0.75f;
    g_fade.rate = 0.5f;
    g_bgm_playing = k_scene_music;
    gameover_open();
    EXPECT_EQ(g_fade.target, 0.75f);
    EXPECT_EQ(g_fade.rate, 0.5f);
    EXPECT_EQ(g_pool_xx.count, 1);
    EXPECT_EQ(g_pool_wnddialog.count, 1);
    EXPECT_EQ(g_bgm_playing, k_scene_music);
}

// In time attack the dialog opens alone: no picture, and the stage's music goes on.
TEST_F(GameOverTest, TimeAttackShowsNoPictureAndKeepsTheMusic)
{
    g_play_state.game_flags[GF_TIME_ATTACK] = 1;
    gameover_open();
    EXPECT_EQ(g_pool_xx.count, 0);
    ASSERT_NE(only_dialog(), nullptr);
    EXPECT_EQ(only_dialog()->active, 1);
    EXPECT_EQ(g_bgm_playing, k_scene_music);
    EXPECT_FLOAT_EQ(g_fade.target, 0.3333333f);
}

// A full object pool leaves the picture out; a full dialog pool leaves out the rest.
TEST_F(GameOverTest, FullPoolsLeaveOutWhatTheyCannotHold)
{
    while (obj_create<GoXx>(g_pool_xx)) {
    }
    gameover_open();
    EXPECT_EQ(g_pool_xx.count, g_pool_xx.capacity);
    for (int i = 0; i < g_pool_xx.count; ++i)
        EXPECT_NE(static_cast<GoXx*>(g_pool_xx.active[i])->role, GOXX_PICTURE_OVERLAY);
    ASSERT_NE(only_dialog(), nullptr);
    EXPECT_EQ(g_bgm_playing, k_game_over_music);

    obj_destroy_all();
    g_game_over = 0;
    g_bgm_playing = k_scene_music;
    while (obj_create<GoWndDialog>(g_pool_wnddialog)) {
    }
    gameover_open();
    EXPECT_EQ(g_game_over, 1);
    EXPECT_FLOAT_EQ(g_fade.target, 0.3333333f);
    EXPECT_EQ(g_bgm_playing, k_scene_music) << "nothing more after the dialog pool was full";
}

// A dialog whose text surface cannot be made is fatal, and its slot is free again before the
// error leaves.
TEST_F(GameOverTest, ADialogThatCannotBeLaidOutGoesBackToItsPool)
{
    g_play_state.game_flags[GF_TIME_ATTACK] = 1; // no picture: the dialog makes the first texture
    d3d8_seam_fail(D3D8Call::CreateTexture, D3DERR_OUTOFVIDEOMEMORY, 1);
    try {
        gameover_open();
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& error) {
        EXPECT_NE(std::strstr(error.text, "\ngo_wnddialog(206)\n"), nullptr) << error.text;
    }
    EXPECT_EQ(g_pool_wnddialog.count, 0);
}

// "Retry" clears the screen and covers it again; at full cover the fallen player's own scene is
// requested to be entered from the retry snapshot, since the world is frozen.
TEST_F(GameOverTest, RetryFadesToBlackAndRequestsTheSceneToContinue)
{
    gameover_open();
    choose(1);
    EXPECT_FLOAT_EQ(g_fade.value, 0.01f) << "from clear, one step into the fade";
    EXPECT_EQ(g_fade.target, 1.0f);
    EXPECT_EQ(g_fade.color, 0u);
    EXPECT_EQ(g_fade.pending_scene, k_map_scene);
    EXPECT_STREQ(g_fade.arrival.tag, "continue");
    EXPECT_EQ(g_world_frozen, 1);
    EXPECT_EQ(g_play_state.requested_scene_id, 0);

    ASSERT_TRUE(until_requested());
    EXPECT_EQ(g_fade.value, 1.0f);
    EXPECT_EQ(g_play_state.status.hp, 0.0f);
    EXPECT_EQ(g_play_state.requested_scene_id, k_map_scene);
    EXPECT_STREQ(g_play_state.arrival.tag, "continue");
    EXPECT_NE(g_scene_pending & SCENE_PENDING_ENTER, 0u);
}

// "Return to Title" fades on from where the dimming stands, black, to the title with an empty
// arrival; the time-attack clocks stop.
TEST_F(GameOverTest, ReturnToTitleFadesFromTheCurrentValueAndZeroesTheClocks)
{
    g_timeattack_stage_ticks = 1234;
    g_timeattack_total_ticks = 5678;
    gameover_open();
    fade_set_colors(k_scene_colour, k_scene_colour);
    std::strcpy(g_fade.arrival.tag, "stale");
    choose(2);
    ASSERT_GT(m_value_before_choice, 0.0f);
    EXPECT_FLOAT_EQ(g_fade.value, m_value_before_choice + 0.01f);
    EXPECT_EQ(g_fade.target, 1.0f);
    EXPECT_EQ(g_fade.color, 0u);
    EXPECT_EQ(g_fade.second_color, 0u);
    EXPECT_EQ(g_fade.pending_scene, k_title_scene);
    EXPECT_STREQ(g_fade.arrival.tag, "");
    EXPECT_EQ(g_timeattack_stage_ticks, 0);
    EXPECT_EQ(g_timeattack_total_ticks, 0);
    EXPECT_EQ(g_world_frozen, 1);

    ASSERT_TRUE(until_requested());
    EXPECT_EQ(g_play_state.requested_scene_id, k_title_scene);
    EXPECT_STREQ(g_play_state.arrival.tag, "");
}
