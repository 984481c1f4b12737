#include "core/userdir.h"
#include "game/g_gameover.h"
#include "game/g_leaderboards.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_settings.h"
#include "game/g_ta.h"
#include "object/wnd/go_wnd.h"
#include "platform/impl/steam_api_seams.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

namespace {

constexpr const char* k_stage_board = "Time Attack - Hard - Arena";
constexpr const char* k_boss_rush_board = "Boss Rush - Hard";

// A time attack's end on records in the user folder below a temporary working folder, with a
// store of its own whose boards are looked up as scene entry looks them up.
class StageEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::current_path(m_temp.path());
        m_saved_profile_here = g_user_profile_here;
        g_user_profile_here = 1;
        seam_set_store_folder(m_temp.host("store"));
        ASSERT_TRUE(SteamAPI_Init());
        g_leaderboards = std::make_unique<CSteamLeaderboards>();
        g_leaderboards->FindStageBoard(k_stage_board);
        g_leaderboards->FindBossRushBoard(k_boss_rush_board);
        SteamAPI_RunCallbacks();
        ta_read_records();
        reset_fight();
    }
    void TearDown() override
    {
        reset_fight();
        g_leaderboards.reset();
        SteamAPI_Shutdown();
        seam_set_store_folder("");
        g_user_profile_here = m_saved_profile_here;
    }

    static void reset_fight()
    {
        g_play_state = {};
        g_game_over = 0;
        g_timeattack_stage_ticks = g_timeattack_total_ticks = g_timeattack_after_ticks = 0;
        g_title_time_attack_index = 0;
    }
    // A fight of the given stage, on Hard, chosen from the title's arena list (0 the boss rush).
    static void fought(std::int32_t arena, std::int32_t stage, std::int32_t stage_ticks,
                       std::int32_t total_ticks)
    {
        g_title_time_attack_index = static_cast<std::uint8_t>(arena);
        g_play_state.game_flags[GF_DIFFICULTY] = 1;
        g_play_state.game_flags[GF_TA_STAGE] = stage;
        g_timeattack_stage_ticks = stage_ticks;
        g_timeattack_total_ticks = total_ticks;
    }
    static void end_stage()
    {
        timeattack_stage_end();
        SteamAPI_RunCallbacks();
    }
    // The best times as the records file holds them.
    static std::uint32_t stored_best(int entry)
    {
        std::memset(&g_ta_records, 0x5A, sizeof g_ta_records);
        ta_read_records();
        return g_ta_records.entries[entry].best_ms;
    }
    // The local user's score on a board; 0 when the board holds none.
    static std::int32_t board_score(const char* board)
    {
        CSteamLeaderboards reader;
        reader.FindStageBoard(board);
        SteamAPI_RunCallbacks();
        EXPECT_TRUE(reader.DownloadEntries(k_ELeaderboardDataRequestGlobal, 1));
        SteamAPI_RunCallbacks();
        return reader.m_downloaded_count > 0 ? reader.m_rows[0].score : 0;
    }

    TempFolder m_temp;
    WorkingDirectoryGuard m_working_directory;
    std::uint8_t m_saved_profile_here = 0;
};

} // namespace

// A stage's ticks become milliseconds at 60 a second, rounded down, under the entry of the
// difficulty and the stage, marked new, written and uploaded; a stage of 0 ticks leaves no trace.
TEST_F(StageEnd, RecordsTheStageTimeInMilliseconds)
{
    const struct {
        std::int32_t ticks;
        std::uint32_t expected_ms;
    } cases[] = {{3600, 60000}, {1, 16}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        std::filesystem::remove_all(m_temp.path() / "user");
        ta_read_records();
        fought(7, 7, c.ticks, c.ticks);
        end_stage();
        const TimeAttackEntry& entry = g_ta_records.entries[ta_index(1, 7)];
        EXPECT_EQ(entry.best_ms, c.expected_ms);
        EXPECT_EQ(entry.new_record, c.expected_ms ? 1 : 0);
        EXPECT_EQ(stored_best(ta_index(1, 7)), c.expected_ms);
    }
    EXPECT_EQ(board_score(k_stage_board), 16);
    EXPECT_EQ(board_score(k_boss_rush_board), 0);
}

// Only a faster time replaces the best, and only a replaced best is marked new.
TEST_F(StageEnd, AnEqualTimeDoesNotReplaceTheBest)
{
    const struct {
        std::int32_t ticks;
        std::uint32_t best_ms;
        std::uint8_t marked;
    } fights[] = {{3600, 60000, 1}, {3600, 60000, 0}, {3660, 60000, 0}, {3000, 50000, 1}};
    for (const auto& f : fights) {
        SCOPED_TRACE(f.ticks);
        for (TimeAttackEntry& entry : g_ta_records.entries)
            entry.new_record = 0;
        fought(4, 4, f.ticks, f.ticks);
        end_stage();
        EXPECT_EQ(g_ta_records.entries[ta_index(1, 4)].best_ms, f.best_ms);
        EXPECT_EQ(g_ta_records.entries[ta_index(1, 4)].new_record, f.marked);
    }
    EXPECT_EQ(stored_best(ta_index(1, 4)), 50000u);
}

// When the player fell during the fight, its time counts for nothing.
TEST_F(StageEnd, AFightTheGameOverEndedRecordsNothing)
{
    fought(0, 15, 3600, 36000);
    g_game_over = 1;
    end_stage();
    for (int entry : {ta_index(1, 15), ta_index(1, 0)}) {
        EXPECT_EQ(g_ta_records.entries[entry].best_ms, 0u);
        EXPECT_EQ(stored_best(entry), 0u);
    }
    EXPECT_EQ(board_score(k_stage_board), 0);
    EXPECT_EQ(board_score(k_boss_rush_board), 0);
}

// The boss rush's last arena records its own stage, and the whole run under the difficulty's
// boss-rush entry and board; an earlier arena, or the last one fought alone, records the stage only.
TEST_F(StageEnd, TheBossRushsLastArenaAlsoRecordsTheWholeRun)
{
    const struct {
        const char* name;
        std::int32_t arena;
        std::int32_t stage;
        bool whole_run;
    } cases[] = {
        {"an earlier arena of the rush", 0, 14, false},
        {"the last arena alone", 15, 15, false},
        {"the rush's last arena", 0, 15, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fought(c.arena, c.stage, 1200, 36000);
        end_stage();
        EXPECT_EQ(stored_best(ta_index(1, c.stage)), 20000u);
        EXPECT_EQ(stored_best(ta_index(1, 0)), c.whole_run ? 600000u : 0u);
        EXPECT_EQ(board_score(k_boss_rush_board), c.whole_run ? 600000 : 0);
    }
    EXPECT_EQ(board_score(k_stage_board), 20000);
}

// The difficulty and the stage come from the play state, which a save file fills: values outside
// the table record nothing and touch no other entry.
TEST_F(StageEnd, ADifficultyOrStageOutsideTheTableRecordsNothing)
{
    const struct {
        std::int32_t difficulty;
        std::int32_t stage;
    } cases[] = {{3, 5}, {-1, 5}, {1, 16}, {1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.difficulty * 100 + c.stage);
        fought(5, c.stage, 600, 600);
        g_play_state.game_flags[GF_DIFFICULTY] = c.difficulty;
        end_stage();
        for (const TimeAttackEntry& entry : g_ta_records.entries)
            EXPECT_EQ(entry.best_ms, 0u);
    }
}
