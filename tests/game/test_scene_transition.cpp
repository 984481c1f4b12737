#include "game/g_scene.h"

#include "game/g_play_state.h"
#include "game/g_rules.h"
#include "object/actor/go_actor.h"
#include "scene_fixture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>

namespace {

constexpr int k_any_flag = 400; // a game flag no entry touches

class SceneTransition : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        mount(scene_test_set());
        play_state_init();
    }

    // The transition as the scene step runs it, with the arrival tag set after the request.
    void enter_with_tag(std::int32_t scene_id, const char* tag)
    {
        ASSERT_EQ(scene_request_change(scene_id, true), 0);
        std::strcpy(g_play_state.arrival.tag, tag);
        game_scene_step();
    }
};

// The retry restores the snapshot but the failure counter, counts the retry after the restore and
// enters the snapshot's scene at the saved position.
TEST_F(SceneTransition, ContinueRestoresTheSnapshotAndArrivesAtTheSavedPosition)
{
    PlayState& ps = g_play_state;
    ps.scene_id = SCENE_TEST_ROOM;
    ps.saved_position[0] = 4.0f;
    ps.saved_position[1] = 0.0f;
    ps.saved_position[2] = -6.0f;
    ps.saved_facing = 0.5f;
    ps.game_flags[GF_RETRY_COUNT] = 2;
    ps.game_flags[k_any_flag] = 5;
    ps.game_flags[GF_BOSS_DEATHS] = 1;
    save_store_snapshot();

    ps.game_flags[k_any_flag] = 99;
    ps.game_flags[GF_BOSS_DEATHS] = 3;
    ps.game_flags[GF_RETRY_COUNT] = 0;
    ps.continue_counter = 8.0f;
    ps.scene_id = SCENE_TEST_QUICK_SAVE;
    enter_with_tag(SCENE_TEST_QUICK_SAVE, "Continue");

    EXPECT_EQ(ps.scene_id, SCENE_TEST_ROOM) << "the scene the snapshot was stored in";
    EXPECT_EQ(ps.game_flags[k_any_flag], 5);
    EXPECT_EQ(ps.game_flags[GF_BOSS_DEATHS], 3) << "the failure counter survives the retry";
    EXPECT_EQ(ps.game_flags[GF_RETRY_COUNT], 3);
    EXPECT_EQ(ps.game_flags[SCENE_TEST_ENTRY_FLAG], 1);
    EXPECT_EQ(ps.continue_counter, 0.0f);
    ASSERT_NE(g_player, nullptr);
    EXPECT_EQ(g_player->world._41, 4.0f);
    EXPECT_EQ(g_player->world._43, -6.0f);
    EXPECT_EQ(g_player->facing, 0.5f);
    EXPECT_STREQ(ps.arrival.tag, "") << "the arrival is over once the scene stands";
    EXPECT_EQ(ps.previous_scene_id, 0);
}

TEST_F(SceneTransition, OtherTagsResetTheRetryCountAndTimeAttackInitTheClocks)
{
    const struct {
        const char* tag;
        bool clocks_zeroed;
    } cases[] = {{"", false}, {"load", false}, {"timeattack_init", true}, {"TimeAttack_Init", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        g_play_state.game_flags[GF_RETRY_COUNT] = 4;
        g_timeattack_total_ticks = 500;
        enter_with_tag(SCENE_TEST_LOCKED, c.tag);
        EXPECT_EQ(g_play_state.game_flags[GF_RETRY_COUNT], 0);
        EXPECT_EQ(g_timeattack_total_ticks, c.clocks_zeroed ? 0 : 500);
        EXPECT_EQ(g_timeattack_stage_ticks, 0) << "every entry starts the stage clock";
    }
}

// After a load the snapshot is the record as the new scene left it, to be re-entered.
TEST_F(SceneTransition, LoadStoresASnapshotOfTheEnteredScene)
{
    g_play_state.game_flags[k_any_flag] = 42;
    enter_with_tag(SCENE_TEST_ROOM, "load");
    ASSERT_NE(g_player, nullptr);

    PlayState expected = g_play_state;
    expected.requested_scene_id = SCENE_TEST_ROOM;
    g_play_state.game_flags[k_any_flag] = 0;
    play_restore_retry_snapshot();
    EXPECT_EQ(std::memcmp(&g_play_state, &expected, sizeof expected), 0);
    EXPECT_EQ(g_play_state.game_flags[k_any_flag], 42);
    EXPECT_EQ(g_play_state.saved_position[0], g_player->world._41);
    EXPECT_EQ(g_play_state.saved_facing, g_player->attack_facing);
}

TEST_F(SceneTransition, NoSnapshotIsStoredWhileTheArrivalIsALoad)
{
    std::strcpy(g_play_state.arrival.tag, "LOAD");
    std::memset(g_retry_snapshot, 0xA5, sizeof g_retry_snapshot);
    save_store_snapshot();
    for (std::uint8_t byte : g_retry_snapshot)
        ASSERT_EQ(byte, 0xA5);
}

TEST_F(SceneTransition, ResetsThePerSceneValuesAndCapsByTheClampedDifficulty)
{
    const struct {
        std::int32_t difficulty;
        float damage_factor;
    } cases[] = {{0, 1.0f}, {1, 1.5f}, {2, 2.0f}, {7, 2.0f}, {-3, 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.difficulty);
        PlayState& ps = g_play_state;
        ps.game_flags[GF_DIFFICULTY] = c.difficulty;
        std::fill(ps.game_flags, ps.game_flags + GF_ITEM_COUNT_END + 1, 50);
        std::fill(std::begin(ps.equip_levels), std::end(ps.equip_levels), 3);
        ps.equip_levels[0] = 1;
        ps.screen_tint = 0;
        ps.shake_ticks = ps.sky_scroll_on = ps.scene_word_432 = 9;
        ps.dark_scene = ps.wind_on = ps.prepass_request = ps.countdown = 1;
        ps.sky_scroll[0] = ps.sky_scroll_speed[0] = 3.0f;
        ps.area_min_x = ps.area_max_z = 0.0f;
        ps.game_flags[GF_AI_FROZEN] = ps.game_flags[GF_HUD_SHOWN] = 0;
        enter_with_tag(SCENE_TEST_LOCKED, "");

        EXPECT_EQ(ps.enemy_damage_factor, c.damage_factor);
        EXPECT_EQ(ps.game_flags[0], 9);
        EXPECT_EQ(ps.game_flags[GF_ITEM_COUNT_END - 1], 9);
        EXPECT_EQ(ps.game_flags[GF_ITEM_COUNT_END], 50) << "entry 90 is no item count";
        EXPECT_EQ(ps.equip_levels[0], 1);
        EXPECT_EQ(ps.equip_levels[17], 2);
        EXPECT_EQ(ps.screen_tint, 0x30FF9000u);
        EXPECT_EQ(ps.shake_ticks + ps.sky_scroll_on + ps.scene_word_432, 0);
        EXPECT_EQ(ps.dark_scene + ps.wind_on + ps.prepass_request + ps.countdown, 0);
        EXPECT_EQ(ps.sky_scroll[0], 0.0f);
        EXPECT_EQ(ps.sky_scroll_speed[0], 0.0005f);
        EXPECT_EQ(ps.sky_scroll_speed[1], 0.00015f);
        EXPECT_EQ(ps.area_min_x, -FLT_MAX);
        EXPECT_EQ(ps.area_max_z, FLT_MAX);
        EXPECT_EQ(ps.game_flags[GF_AI_FROZEN], 0);
        EXPECT_EQ(ps.game_flags[GF_HUD_SHOWN], 1);
        obj_destroy_all();
        std::fill(std::begin(g_event_lock_count), std::end(g_event_lock_count), 0);
    }
}

TEST_F(SceneTransition, TheQuickSaveIsAllowedInItsScenesInVeryEasyOnly)
{
    const struct {
        std::int32_t very_easy;
        std::int32_t scene;
        std::int32_t allowed;
    } cases[] = {
        {1, SCENE_TEST_QUICK_SAVE, 1},
        {1, SCENE_TEST_ROOM, 0},
        {0, SCENE_TEST_QUICK_SAVE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        g_play_state.game_flags[GF_VERY_EASY] = c.very_easy;
        g_play_state.game_flags[GF_QUICK_SAVE_OK] = 1 - c.allowed;
        enter_with_tag(c.scene, "");
        EXPECT_EQ(g_play_state.game_flags[GF_QUICK_SAVE_OK], c.allowed);
    }
}

TEST_F(SceneTransition, HitPointsBelowOneAreRefilledOnEntry)
{
    const StatusBlock full = g_play_state.status;
    ASSERT_GT(full.max_hp, 1.0f);
    ASSERT_GT(full.max_mp, 3.0f);
    const struct {
        float hp;
        bool refilled;
    } cases[] = {{0.5f, true}, {1.0f, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hp);
        g_play_state.status.hp = c.hp;
        g_play_state.status.mp = 3.0f;
        g_game_over = g_world_frozen = 1;
        enter_with_tag(SCENE_TEST_LOCKED, "");
        EXPECT_EQ(g_play_state.status.hp, c.refilled ? full.max_hp : 1.0f);
        EXPECT_EQ(g_play_state.status.mp, c.refilled ? full.max_mp : 3.0f);
        EXPECT_EQ(g_game_over + g_world_frozen, 0);
        obj_destroy_all();
        std::fill(std::begin(g_event_lock_count), std::end(g_event_lock_count), 0);
    }
}

} // namespace
