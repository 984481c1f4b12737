// The game's moments that reach the achievements: a level rise, a new game from the title and a
// boss rush's record.
#include "game/g_achievements.h"

#include "achv_fixture.h"
#include "core/userdir.h"
#include "game/g_game_flags.h"
#include "game/g_gameover.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_ta.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnd.h"
#include "object/wnd/go_wnddemo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string k_stop_now_stat = "You Can Stop Now Stat";

// The rules' callers with the object pools, a title of no choices and records in the user folder
// below a temporary working folder.
class AchievementWiring : public AchievementStore {
protected:
    void SetUp() override
    {
        AchievementStore::SetUp();
        ASSERT_EQ(obj_create_pools(), S_OK);
        std::filesystem::current_path(m_temp.path());
        m_saved_profile_here = g_user_profile_here;
        g_user_profile_here = 1;
        g_gameinfo = {};
        g_gameinfo.player_exp_step = {100.0f, 690.0f};
        reset_globals();
    }
    void TearDown() override
    {
        reset_globals();
        g_gameinfo = {};
        g_user_profile_here = m_saved_profile_here;
        obj_destroy_all();
        obj_destroy_pools();
        AchievementStore::TearDown();
    }

    static void reset_globals()
    {
        g_title_game_difficulty = 0;
        g_title_easy = g_title_very_easy = g_title_inferno = 0;
        g_title_time_attack_index = 0;
        g_game_over = 0;
        g_timeattack_stage_ticks = g_timeattack_total_ticks = g_timeattack_after_ticks = 0;
    }

    // A living player at `level` given `exp` experience, then the status update.
    static void gain_exp(std::int32_t level, float exp)
    {
        play_compute_exp_totals(level);
        g_play_state.status.hp = 1.0f;
        g_play_state.status.exp = exp;
        g_play_state.recompute_bits |= PLAY_RECOMPUTE_LEVEL_UP;
        play_update_status();
    }

    WorkingDirectoryGuard m_working_directory;
    std::uint8_t m_saved_profile_here = 0;
};

// The experience of the first `steps` level steps (100 rising by 10 a level).
float exp_sum(int steps)
{
    float sum = 0.0f;
    for (int k = 1; k <= steps; ++k)
        sum += 100.0f + 10.0f * static_cast<float>(k - 1);
    return sum;
}

} // namespace

// Each level gained reaches "You Can Stop Now" in turn; level 60 unlocks it.
TEST_F(AchievementWiring, LevelRisesRaiseTheStopNowStatAndSixtyUnlocks)
{
    const struct {
        const char* name;
        std::int32_t level;
        float exp;
        std::int32_t stat;
        bool unlocked;
    } cases[] = {
        {"no rise", 5, exp_sum(4), 0, false},
        {"two levels", 5, exp_sum(6) + 1.0f, 7, false},
        {"58 to 60", 58, exp_sum(59) + 1.0f, 60, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Preset({});
        g_play_state = {};
        gain_exp(c.level, c.exp);
        if (c.stat == 0) {
            EXPECT_TRUE(seam_stats_call_log().empty());
        }
        EXPECT_EQ(Stat(k_stop_now_stat), c.stat);
        EXPECT_EQ(Unlocked(ACHV_YOU_CAN_STOP_NOW), c.unlocked);
    }
}

TEST_F(AchievementWiring, ANewGameInVeryEasyUnlocksBramTheYellow)
{
    const struct {
        const char* name;
        std::uint8_t level, easy, very_easy, inferno;
        bool unlocked;
    } cases[] = {
        {"Very Easy", 0, 1, 1, 0, true},     {"Easy", 0, 1, 0, 0, false},
        {"Normal", 0, 0, 0, 0, false},       {"Very Easy without Easy", 0, 0, 1, 0, false},
        {"with Inferno", 0, 1, 1, 1, false}, {"on Hard", 1, 1, 1, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Preset({});
        g_title_game_difficulty = c.level;
        g_title_easy = c.easy;
        g_title_very_easy = c.very_easy;
        g_title_inferno = c.inferno;
        title_start_game();
        EXPECT_EQ(g_play_state.new_game, 1);
        EXPECT_EQ(UnlockedList(), c.unlocked ? std::vector<int>{ACHV_BRAM_THE_YELLOW} : std::vector<int>{});
    }
}

// The boss rush's last arena recorded in Normal, Hard or Nightmare unlocks that difficulty's
// achievement; a run the game over ended, or one without a run time, records nothing and unlocks
// nothing.
TEST_F(AchievementWiring, ABossRushRecordUnlocksItsDifficultysAchievement)
{
    const struct {
        const char* name;
        std::int32_t difficulty;
        std::int32_t total_ticks;
        std::uint8_t game_over;
        std::vector<int> unlocked;
    } cases[] = {
        {"Normal", 0, 36000, 0, {ACHV_SUBORDINATE_CRAWL}},
        {"Hard", 1, 36000, 0, {ACHV_HARDER_THAN_HARDCORE}},
        {"Nightmare", 2, 36000, 0, {ACHV_ALL_CRUSHER}},
        {"a game over", 1, 36000, 1, {}},
        {"no run time", 1, 0, 0, {}},
        {"a difficulty outside the table", 3, 36000, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Preset({});
        g_play_state = {};
        g_title_time_attack_index = 0; // the boss rush
        g_play_state.game_flags[GF_DIFFICULTY] = c.difficulty;
        g_play_state.game_flags[GF_TA_STAGE] = 15;
        g_timeattack_stage_ticks = 1200;
        g_timeattack_total_ticks = c.total_ticks;
        g_game_over = c.game_over;
        timeattack_stage_end();
        EXPECT_EQ(UnlockedList(), c.unlocked);
        const bool recorded = c.total_ticks != 0 && c.game_over == 0 && c.difficulty <= 2;
        if (recorded) {
            EXPECT_EQ(g_ta_records.entries[ta_index(c.difficulty, 0)].best_ms, 600000u);
        }
        g_ta_records = {};
    }
}
