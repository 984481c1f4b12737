#include "game/g_game.h"
#include "game/g_leaderboards.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "platform/impl/steam_api_seams.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t k_scene_count = 230; // ids 0-229: the last boss's scene is the last entry
constexpr HRESULT k_refused = E_FAIL;

// A scene list of plain entries, each numbered by its index; the request reads only the count.
void fill_scene_list()
{
    g_scene_list.assign(k_scene_count, SceneEntry{});
    for (std::int32_t i = 0; i < k_scene_count; ++i) {
        g_scene_list[i].number = static_cast<std::uint16_t>(i);
        std::snprintf(g_scene_list[i].path, sizeof g_scene_list[i].path, "s_%02d\\s_%04d\\", i / 100, i);
    }
}

void reset_request_state()
{
    g_play_state = {};
    g_scene_pending = 0;
    g_scene_change_busy = 0;
    g_time_attack_mode = 0;
}

// The store open in a folder of the test's own with the leaderboard object made, and a scene list.
class SceneRequest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_request_state();
        fill_scene_list();
        seam_set_store_folder(m_temp.host("store"));
        ASSERT_TRUE(SteamAPI_Init());
        ASSERT_NE(game_create_leaderboards(), nullptr);
    }
    void TearDown() override
    {
        game_destroy_leaderboards();
        SteamAPI_Shutdown();
        seam_set_store_folder("");
        g_scene_list.clear();
        reset_request_state();
    }

    // The boards the store has made so far, by name (the store names their files in hex).
    std::set<std::string> boards() const
    {
        std::set<std::string> names;
        const std::filesystem::path folder = m_temp.path() / "store" / "boards";
        if (!std::filesystem::exists(folder)) return names;
        for (const std::string& file : folder_names(folder)) {
            std::string name;
            for (std::size_t i = 0; i + 1 < file.size(); i += 2)
                name += static_cast<char>(std::stoi(file.substr(i, 2), nullptr, 16));
            names.insert(name);
        }
        return names;
    }
    std::uintmax_t board_size(const std::string& name) const
    {
        std::string file;
        for (unsigned char c : name) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", c);
            file += hex;
        }
        return std::filesystem::file_size(m_temp.path() / "store" / "boards" / file);
    }

    TempFolder m_temp;
};

struct RequestCase {
    const char* what;
    std::int32_t pending; // the requested id before; 0 none
    std::int32_t id;
    bool force;
    HRESULT result;
};

// A refused request changes nothing: not the requested id, the pending bits, the busy byte or
// the arrival tag, and it looks up no board.
TEST_F(SceneRequest, AcceptsOrRefusesAndARefusalChangesNothing)
{
    const RequestCase cases[] = {
        {"nothing pending", 0, 12, false, 0},
        {"the last entry", 0, k_scene_count - 1, false, 0},
        {"one pending", 40, 12, false, k_refused},
        {"one pending, forced: replaced", 40, 12, true, 0},
        {"id 0 means none", 0, 0, true, k_refused},
        {"a negative id", 0, -1, true, k_refused},
        {"past the list", 0, k_scene_count, true, k_refused},
        {"far past the list, while one is pending", 40, 5000, true, k_refused},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.what);
        reset_request_state();
        g_play_state.requested_scene_id = c.pending;
        std::strcpy(g_play_state.arrival.tag, "continue");
        const std::set<std::string> boards_before = boards();

        EXPECT_EQ(scene_request_change(c.id, c.force), c.result);
        if (c.result == 0) {
            EXPECT_EQ(g_play_state.requested_scene_id, c.id);
            EXPECT_EQ(g_scene_pending, SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER);
            EXPECT_EQ(g_scene_change_busy, 1);
            EXPECT_STREQ(g_play_state.arrival.tag, "");
        } else {
            EXPECT_EQ(g_play_state.requested_scene_id, c.pending);
            EXPECT_EQ(g_scene_pending, 0u);
            EXPECT_EQ(g_scene_change_busy, 0);
            EXPECT_STREQ(g_play_state.arrival.tag, "continue");
            EXPECT_EQ(boards(), boards_before);
        }
    }
}

struct BoardCase {
    const char* what;
    std::uint8_t time_attack;
    std::int32_t difficulty;
    std::int32_t flag; // a mode flag set to 1, or -1
    std::int32_t id;
    std::set<std::string> boards;
};

TEST_F(SceneRequest, LooksUpTheBoardsOfTheDestinationByTheModeAndDifficulty)
{
    const BoardCase cases[] = {
        {"time attack", 1, 1, -1, 67, {"Boss Rush - Hard", "Time Attack - Hard - Brisanne"}},
        {"time attack, the last boss",
         1,
         2,
         -1,
         229,
         {"Boss Rush - Nightmare", "Time Attack - Nightmare - Morthane"}},
        {"time attack, no boss there",
         1,
         0,
         -1,
         70,
         {"Boss Rush - Normal", "Time Attack - Normal - Unknown"}},
        {"time attack, a difficulty a save made up",
         1,
         7,
         -1,
         67,
         {"Boss Rush - Unknown", "Time Attack - Unknown - Brisanne"}},
        {"story, Very Easy first", 0, 2, GF_VERY_EASY, 12, {"Story Mode - Very Easy"}},
        {"story, Easy", 0, 1, GF_EASY, 12, {"Story Mode - Easy"}},
        {"story, Inferno", 0, 2, GF_INFERNO, 12, {"Story Mode - Inferno"}},
        {"story, by difficulty", 0, 1, -1, 12, {"Story Mode - Hard"}},
        {"story, difficulty out of range", 0, -1, -1, 12, {"Story Mode - Unknown"}},
        {"scene 1", 1, 1, -1, 1, {}},
        {"scene 5", 0, 0, -1, 5, {}},
        {"scene 7", 0, 0, -1, 7, {}},
        {"scene 41", 1, 0, -1, 41, {}},
    };
    for (const BoardCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_temp.path() / "store" / "boards");
        std::filesystem::create_directories(m_temp.path() / "store" / "boards");
        reset_request_state();
        g_time_attack_mode = c.time_attack;
        g_play_state.game_flags[GF_DIFFICULTY] = c.difficulty;
        if (c.flag >= 0) g_play_state.game_flags[c.flag] = 1;

        ASSERT_EQ(scene_request_change(c.id, false), 0);
        SteamAPI_RunCallbacks();
        EXPECT_EQ(boards(), c.boards);
    }
}

// The stage board found for the scene being entered stays the one scores go to: a second
// request, refused while the first is pending, looks nothing up.
TEST_F(SceneRequest, ARefusedRequestLeavesTheStageBoardAsItWas)
{
    g_time_attack_mode = 1;
    g_play_state.game_flags[GF_DIFFICULTY] = 1;
    ASSERT_EQ(scene_request_change(67, false), 0);
    SteamAPI_RunCallbacks();
    const LeaderboardOperation operation = g_leaderboards->m_operation;
    const std::uintmax_t empty_size = board_size("Time Attack - Hard - Brisanne");

    EXPECT_EQ(scene_request_change(69, false), k_refused);
    EXPECT_EQ(scene_request_change(0, true), k_refused);
    SteamAPI_RunCallbacks();
    EXPECT_EQ(g_leaderboards->m_operation, operation);
    EXPECT_EQ(boards().count("Time Attack - Hard - Pomrel 1"), 0u);

    ASSERT_TRUE(g_leaderboards->UploadStageScore(61000, 3));
    SteamAPI_RunCallbacks();
    EXPECT_GT(board_size("Time Attack - Hard - Brisanne"), empty_size) << "the score went to the first board";
}

// Storing the stats comes before the pending test, so a request refused for that stores them
// too; an id outside the list is refused before anything.
TEST_F(SceneRequest, StoresTheStatsWhileTheStoreIsOpen)
{
    const std::int32_t before = seam_stats_stored_count();
    ASSERT_EQ(scene_request_change(12, false), 0);
    EXPECT_EQ(seam_stats_stored_count(), before + 1);
    EXPECT_EQ(scene_request_change(13, false), k_refused);
    EXPECT_EQ(seam_stats_stored_count(), before + 2);
    EXPECT_EQ(scene_request_change(0, true), k_refused);
    EXPECT_EQ(seam_stats_stored_count(), before + 2);

    game_destroy_leaderboards();
    SteamAPI_Shutdown();
    EXPECT_FALSE(SteamUserStats());
    reset_request_state();
    EXPECT_EQ(scene_request_change(12, false), 0) << "the request stands without the store";
    EXPECT_EQ(seam_stats_stored_count(), before + 2);
}

} // namespace
