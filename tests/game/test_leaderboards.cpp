#include "game/g_leaderboards.h"

#include "lib/store_writer.h"
#include "platform/impl/steam_api_seams.h"
#include "platform/steam_delivery.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Instance 0, so never the local user (instance 1).
constexpr std::uint64_t k_other_user = 0x0110000000000000ull;

class Leaderboards : public ::testing::Test {
protected:
    void SetUp() override
    {
        seam_set_store_folder(m_temp.host("store"));
        ASSERT_TRUE(SteamAPI_Init());
        m_boards = std::make_unique<CSteamLeaderboards>();
    }
    void TearDown() override
    {
        m_boards.reset();
        SteamAPI_Shutdown();
        seam_set_store_folder("");
    }

    void FindStage(const char* name)
    {
        m_boards->FindStageBoard(name);
        SteamAPI_RunCallbacks();
    }
    // Other users' times on a board, user i with detail word 100 + i.
    void PutOthers(const char* board, const std::vector<std::int32_t>& scores)
    {
        for (std::size_t i = 0; i < scores.size(); ++i) {
            const std::array<std::int32_t, 1> detail{static_cast<std::int32_t>(100 + i)};
            ASSERT_TRUE(seam_put_leaderboard_entry(board, k_other_user + i + 1, scores[i], detail));
        }
    }
    // A board file of `count` other players, player i with time (i + 1) x 100 and detail 100 + i.
    void WriteBoard(const char* board, int count)
    {
        StoreBoardImage image{board, false, {}};
        for (int i = 0; i < count; ++i)
            image.rows.push_back(
                {store_other_user(static_cast<std::uint32_t>(i + 1)), (i + 1) * 100, {100 + i}, ""});
        ASSERT_TRUE(store_write_board(m_temp.path() / "store", image));
    }
    void ExpectRanks(int count, int first_rank)
    {
        ASSERT_EQ(m_boards->m_downloaded_count, count);
        for (int i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            const LeaderboardRow& row = m_boards->m_rows[i];
            ASSERT_EQ(row.global_rank, first_rank + i);
            ASSERT_EQ(row.score, row.global_rank * 100);
            ASSERT_EQ(row.detail, 99 + row.global_rank);
        }
        ExpectRowsUnknownFrom(count);
    }
    void Upload(std::int32_t score, std::int32_t detail = 0)
    {
        ASSERT_TRUE(m_boards->UploadStageScore(score, detail));
        SteamAPI_RunCallbacks();
    }
    void Download(ELeaderboardDataRequest kind, std::int32_t first)
    {
        ASSERT_TRUE(m_boards->DownloadEntries(kind, first));
        SteamAPI_RunCallbacks();
    }
    // Every board file of the store becomes bytes no board has.
    void SpoilBoardFiles()
    {
        for (const std::string& name : folder_names(m_temp.path() / "store/boards"))
            write_host_file(m_temp.path() / "store/boards" / name, "not a board");
    }
    void ExpectRowsUnknownFrom(int first)
    {
        const std::uint64_t nobody = 0x0040000000000000ull; // account type 4, all else 0
        for (int i = first; i < LEADERBOARD_ROW_COUNT; ++i) {
            SCOPED_TRACE(i);
            const LeaderboardRow& row = m_boards->m_rows[i];
            ASSERT_EQ(row.user_id, nobody);
            ASSERT_STREQ(row.name, "UNKNOWN");
            ASSERT_EQ(row.global_rank, 0);
            ASSERT_EQ(row.score, 0);
            ASSERT_EQ(row.detail, 0);
        }
    }

    TempFolder m_temp;
    std::unique_ptr<CSteamLeaderboards> m_boards;
};

bool is_local_user(std::uint64_t id)
{
    return id >> 56 == k_EUniversePublic && (id >> 52 & 0xF) == k_EAccountTypeIndividual &&
           (id >> 32 & 0xFFFFF) == k_unSteamUserDesktopInstance;
}

TEST_F(Leaderboards, StartsIdleAndResetEmptiesEveryRow)
{
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_OK);
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_NONE);
    EXPECT_EQ(m_boards->m_rows_ready, 0);
    ExpectRowsUnknownFrom(0);

    FindStage("Story Mode - Normal");
    Upload(61000, 5);
    Download(k_ELeaderboardDataRequestGlobal, 1);
    ASSERT_EQ(m_boards->m_rows[0].score, 61000);
    m_boards->ResetEntries();
    ExpectRowsUnknownFrom(0);
}

TEST_F(Leaderboards, LookupMakesAnUnknownBoardAndAnswersOnlyThroughTheDispatch)
{
    m_boards->FindStageBoard("Time Attack - Hard - Gorgon");
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_FINDING);
    EXPECT_EQ(folder_names(m_temp.path() / "store/boards").size(), 1u);
    EXPECT_FALSE(m_boards->UploadStageScore(30000, 0)); // no handle before the dispatch

    SteamAPI_RunCallbacks();
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_OK);
    ASSERT_TRUE(m_boards->UploadStageScore(30000, 0));
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_UPLOADING);
    SteamAPI_RunCallbacks();
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_NEW_BEST);
}

TEST_F(Leaderboards, UploadKeepsTheBestTime)
{
    struct Step {
        std::int32_t score;
        LeaderboardOperation operation;
    };
    const Step steps[] = {
        {50000, LEADERBOARD_OP_NEW_BEST},
        {60000, LEADERBOARD_OP_NO_NEW_BEST}, // slower
        {50000, LEADERBOARD_OP_NO_NEW_BEST}, // only as fast
        {40000, LEADERBOARD_OP_NEW_BEST},
    };
    FindStage("Time Attack - Normal - Gorgon");
    for (const Step& step : steps) {
        SCOPED_TRACE(step.score);
        Upload(step.score);
        EXPECT_EQ(m_boards->m_operation, step.operation);
        EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_OK);
    }
    Download(k_ELeaderboardDataRequestGlobal, 1);
    ASSERT_EQ(m_boards->m_downloaded_count, 1);
    EXPECT_EQ(m_boards->m_rows[0].score, 40000);
    EXPECT_EQ(m_boards->m_rows[0].global_rank, 1);
}

TEST_F(Leaderboards, DownloadFillsRowsWithRanksScoresAndDetails)
{
    const char* board = "Time Attack - Nightmare - Gorgon";
    std::vector<std::int32_t> others;
    for (int i = 1; i <= 20; ++i)
        others.push_back(i * 1000);
    PutOthers(board, others);
    FindStage(board);
    Upload(4500, 7);

    Download(k_ELeaderboardDataRequestGlobal, 1);
    EXPECT_EQ(m_boards->m_rows_ready, 1);
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_OK);
    EXPECT_EQ(m_boards->m_total_entries, 21);
    ASSERT_EQ(m_boards->m_downloaded_count, 16); // ranks 1 to 16
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE(i);
        const LeaderboardRow& row = m_boards->m_rows[i];
        EXPECT_EQ(row.global_rank, i + 1);
        EXPECT_STREQ(row.name, "UNKNOWN");
        if (i == 4) {
            EXPECT_TRUE(is_local_user(row.user_id));
            EXPECT_EQ(row.score, 4500);
            EXPECT_EQ(row.detail, 7);
        } else {
            int other = i < 4 ? i : i - 1;
            EXPECT_EQ(row.user_id, k_other_user + other + 1);
            EXPECT_EQ(row.score, (other + 1) * 1000);
            EXPECT_EQ(row.detail, 100 + other);
        }
        EXPECT_EQ(m_boards->m_entries[i].m_nScore, row.score);
        EXPECT_EQ(m_boards->m_details[i], row.detail);
    }
    ExpectRowsUnknownFrom(16);

    // A shorter page leaves every row after it empty.
    Download(k_ELeaderboardDataRequestGlobal, 17);
    ASSERT_EQ(m_boards->m_downloaded_count, 5);
    EXPECT_EQ(m_boards->m_rows[0].global_rank, 17);
    EXPECT_EQ(m_boards->m_rows[4].global_rank, 21);
    ExpectRowsUnknownFrom(5);

    // Around the user and friends: the user's own entry.
    for (ELeaderboardDataRequest kind :
         {k_ELeaderboardDataRequestGlobalAroundUser, k_ELeaderboardDataRequestFriends}) {
        SCOPED_TRACE(kind);
        Download(kind, 1);
        ASSERT_EQ(m_boards->m_downloaded_count, 1);
        EXPECT_TRUE(is_local_user(m_boards->m_rows[0].user_id));
        EXPECT_EQ(m_boards->m_rows[0].global_rank, 5);
        ExpectRowsUnknownFrom(1);
    }
}

TEST_F(Leaderboards, FailedLookupSetsStatusOneAndStopsUploadsAndDownloads)
{
    const std::string too_long(k_cchLeaderboardNameMax, 'n');
    FindStage(too_long.c_str());
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_NOT_FOUND);
    EXPECT_FALSE(m_boards->UploadStageScore(1000, 0));
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_NOT_FOUND);
    EXPECT_FALSE(m_boards->DownloadEntries(k_ELeaderboardDataRequestGlobal, 1));
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_NOT_FOUND);

    m_boards->FindBossRushBoard(too_long.c_str());
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_OK); // a new lookup starts clean
    SteamAPI_RunCallbacks();
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_NOT_FOUND);
    EXPECT_FALSE(m_boards->UploadBossRushScore(1000, 0));

    // A board file the store cannot read fails the lookup too.
    FindStage("Boss Rush - Hard");
    ASSERT_EQ(m_boards->m_status, LEADERBOARD_STATUS_OK);
    SpoilBoardFiles();
    CSteamLeaderboards fresh;
    fresh.FindStageBoard("Boss Rush - Hard");
    SteamAPI_RunCallbacks();
    EXPECT_EQ(fresh.m_status, LEADERBOARD_STATUS_NOT_FOUND);
    EXPECT_FALSE(fresh.UploadStageScore(1000, 0));
}

TEST_F(Leaderboards, UploadAndDownloadNeedABoardHandle)
{
    EXPECT_FALSE(m_boards->UploadStageScore(1000, 0));
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_UPLOADING);
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_OK);
    EXPECT_FALSE(m_boards->UploadBossRushScore(1000, 0));
    EXPECT_FALSE(m_boards->DownloadEntries(k_ELeaderboardDataRequestGlobal, 1));

    FindStage("Story Mode - Easy"); // the stage board alone gives the boss rush no handle
    EXPECT_FALSE(m_boards->UploadBossRushScore(1000, 0));
    EXPECT_TRUE(m_boards->UploadStageScore(1000, 0));
}

TEST_F(Leaderboards, FailedUploadAndDownloadSetTheirStatusAndKeepTheRows)
{
    FindStage("Time Attack - Hard - Wyrm");
    Upload(12000, 3);
    Download(k_ELeaderboardDataRequestGlobal, 1);
    ASSERT_EQ(m_boards->m_rows[0].score, 12000);
    SpoilBoardFiles();

    Upload(11000);
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_UPLOAD_FAILED);
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_NO_NEW_BEST);

    Download(k_ELeaderboardDataRequestGlobal, 1);
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_DOWNLOAD_FAILED);
    EXPECT_EQ(m_boards->m_rows_ready, 0);
    EXPECT_EQ(m_boards->m_downloaded_count, 1);
    EXPECT_EQ(m_boards->m_rows[0].score, 12000);
    EXPECT_EQ(m_boards->m_rows[0].detail, 3);
}

TEST_F(Leaderboards, NewStageLookupForgetsTheDownloadAndIgnoresTheOldBoardsResult)
{
    PutOthers("Time Attack - Normal - Wyrm", {1000, 2000, 3000});
    FindStage("Time Attack - Normal - Wyrm");
    Download(k_ELeaderboardDataRequestGlobal, 1);
    ASSERT_EQ(m_boards->m_downloaded_count, 3);

    ASSERT_TRUE(m_boards->DownloadEntries(k_ELeaderboardDataRequestGlobal, 1)); // still waiting...
    m_boards->FindStageBoard("Time Attack - Normal - Gorgon");                  // ...when the scene changes
    EXPECT_EQ(m_boards->m_downloaded_count, 0);
    EXPECT_EQ(m_boards->m_rows_ready, 0);
    for (int i = 0; i < LEADERBOARD_PAGE_ROWS; ++i)
        EXPECT_EQ(m_boards->m_entries[i].m_nScore, 0);
    EXPECT_FALSE(m_boards->UploadStageScore(1000, 0));

    SteamAPI_RunCallbacks();
    EXPECT_EQ(m_boards->m_rows_ready, 0);
    EXPECT_EQ(m_boards->m_downloaded_count, 0);
    EXPECT_EQ(m_boards->m_rows[2].score, 3000); // the old board's rows stay untouched
    EXPECT_TRUE(m_boards->UploadStageScore(1000, 0));
}

TEST_F(Leaderboards, ANewLookupDropsTheOneStillWaiting)
{
    const std::string too_long(k_cchLeaderboardNameMax, 'n');
    m_boards->FindStageBoard(too_long.c_str()); // would set status 1 if it were delivered
    m_boards->FindStageBoard("Story Mode - Inferno");
    SteamAPI_RunCallbacks();
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_OK);
    EXPECT_TRUE(m_boards->UploadStageScore(1000, 0));
}

TEST_F(Leaderboards, BossRushUploadsGoToItsOwnBoard)
{
    m_boards->FindStageBoard("Time Attack - Hard - Gorgon");
    m_boards->FindBossRushBoard("Boss Rush - Hard");
    SteamAPI_RunCallbacks();

    ASSERT_TRUE(m_boards->UploadBossRushScore(3000, 0));
    SteamAPI_RunCallbacks();
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_NEW_BEST);

    Download(k_ELeaderboardDataRequestGlobal, 1);
    EXPECT_EQ(m_boards->m_total_entries, 0);
    EXPECT_EQ(m_boards->m_downloaded_count, 0);
    Upload(9000); // a first time on the stage board, slower than the boss rush's
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_NEW_BEST);
}

TEST_F(Leaderboards, GlobalPagesTakeTheInclusiveRanksFirstToFirstPlusFifteen)
{
    WriteBoard("Time Attack - Normal - Brisanne", 40);
    WriteBoard("Time Attack - Normal - Tormol", 10);
    struct Case {
        const char* board;
        std::int32_t first;
        int rows;
        int first_rank;
    };
    const Case cases[] = {
        {"Time Attack - Normal - Brisanne", 0, 15, 1},   // the store's ranks count from 1
        {"Time Attack - Normal - Brisanne", 15, 16, 15}, // rank 15 is on both pages
        {"Time Attack - Normal - Brisanne", 30, 11, 30},
        {"Time Attack - Normal - Tormol", 1, 10, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.board << " from " << c.first);
        FindStage(c.board);
        Download(k_ELeaderboardDataRequestGlobal, c.first);
        EXPECT_EQ(m_boards->m_rows_ready, 1);
        ExpectRanks(c.rows, c.first_rank);
    }
}

TEST_F(Leaderboards, AResultOfMoreEntriesThanRowsFillsEveryRowAndNoMore)
{
    const char* name = "Boss Rush - Nightmare";
    WriteBoard(name, 400);
    FindStage(name);
    // The store answers a page at most; a result of 400 entries is scripted from a download
    // of the whole board.
    ISteamUserStats* stats = SteamUserStats();
    auto found = deliver<LeaderboardFindResult_t>(stats->FindLeaderboard(name));
    auto whole = deliver<LeaderboardScoresDownloaded_t>(stats->DownloadLeaderboardEntries(
        found.record.m_hSteamLeaderboard, k_ELeaderboardDataRequestGlobal, 1, 400));
    ASSERT_EQ(whole.record.m_cEntryCount, 400);
    seam_script_next_result(whole.record);

    Download(k_ELeaderboardDataRequestGlobal, 0);
    EXPECT_EQ(m_boards->m_total_entries, 400);
    EXPECT_EQ(m_boards->m_rows_ready, 1);
    ExpectRanks(LEADERBOARD_ROW_COUNT, 1);
}

TEST_F(Leaderboards, FailedCallsOfEachKindSetTheirStatus)
{
    const char* name = "Story Mode - Normal";
    PutOthers(name, {1000, 2000});
    FindStage(name);
    Download(k_ELeaderboardDataRequestGlobal, 0);
    ASSERT_EQ(m_boards->m_downloaded_count, 2);

    seam_set_calls_fail(LeaderboardScoreUploaded_t::k_iCallback, true);
    Upload(500);
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_UPLOAD_FAILED);
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_NO_NEW_BEST);
    seam_set_calls_fail(LeaderboardScoreUploaded_t::k_iCallback, false);

    seam_set_calls_fail(LeaderboardScoresDownloaded_t::k_iCallback, true);
    Download(k_ELeaderboardDataRequestGlobal, 0);
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_DOWNLOAD_FAILED);
    EXPECT_EQ(m_boards->m_rows_ready, 0);
    EXPECT_EQ(m_boards->m_downloaded_count, 2);
    EXPECT_EQ(m_boards->m_rows[1].score, 2000) << "a failed download keeps the rows";
    seam_set_calls_fail(LeaderboardScoresDownloaded_t::k_iCallback, false);

    seam_set_calls_fail(LeaderboardFindResult_t::k_iCallback, true);
    FindStage(name);
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_NOT_FOUND);
    EXPECT_FALSE(m_boards->UploadStageScore(500, 0));
    m_boards->FindBossRushBoard("Boss Rush - Normal");
    SteamAPI_RunCallbacks();
    EXPECT_EQ(m_boards->m_status, LEADERBOARD_STATUS_NOT_FOUND);
    EXPECT_FALSE(m_boards->UploadBossRushScore(500, 0));
}

TEST_F(Leaderboards, ResultsChangeTheObjectOnlyInTheDispatchThatDeliversThem)
{
    const char* name = "Time Attack - Hard - Vestrel";
    PutOthers(name, {1000});
    seam_set_results_held(2);
    m_boards->FindStageBoard(name);
    for (int dispatch = 0; dispatch < 2; ++dispatch) {
        SteamAPI_RunCallbacks();
        EXPECT_FALSE(m_boards->UploadStageScore(500, 0)) << "no handle yet";
    }
    SteamAPI_RunCallbacks();
    ASSERT_TRUE(m_boards->UploadStageScore(500, 0));
    ASSERT_TRUE(m_boards->DownloadEntries(k_ELeaderboardDataRequestGlobal, 0));
    for (int dispatch = 0; dispatch < 2; ++dispatch) {
        SteamAPI_RunCallbacks();
        EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_UPLOADING);
        EXPECT_EQ(m_boards->m_rows_ready, 0);
    }
    SteamAPI_RunCallbacks();
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_NEW_BEST);
    EXPECT_EQ(m_boards->m_rows_ready, 1);
    EXPECT_EQ(m_boards->m_downloaded_count, 2);
}

TEST_F(Leaderboards, ANewCallDropsTheResultOfTheOneStillWaiting)
{
    const char* name = "Time Attack - Hard - Tormol";
    WriteBoard(name, 20);
    FindStage(name);
    ASSERT_TRUE(m_boards->DownloadEntries(k_ELeaderboardDataRequestGlobal, 0));
    ASSERT_TRUE(m_boards->DownloadEntries(k_ELeaderboardDataRequestGlobal, 16));
    SteamAPI_RunCallbacks();
    ExpectRanks(5, 16);

    // The first upload makes a new best, but its answer comes a dispatch after the second's.
    seam_set_results_held(1);
    ASSERT_TRUE(m_boards->UploadStageScore(50, 0));
    seam_set_results_held(0);
    Upload(9000);
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_NO_NEW_BEST);
    SteamAPI_RunCallbacks();
    EXPECT_EQ(m_boards->m_operation, LEADERBOARD_OP_NO_NEW_BEST);
}

TEST(LeaderboardsLife, CreatedOnlyWhileTheStoreIsOpen)
{
    TempFolder temp;
    seam_set_store_folder(temp.host("store"));
    EXPECT_EQ(game_create_leaderboards(), nullptr);
    EXPECT_EQ(g_leaderboards, nullptr);

    ASSERT_TRUE(SteamAPI_Init());
    CSteamLeaderboards* boards = game_create_leaderboards();
    ASSERT_NE(boards, nullptr);
    EXPECT_EQ(g_leaderboards.get(), boards);
    boards->FindStageBoard("Story Mode - Hard"); // waiting while the object goes
    game_destroy_leaderboards();
    EXPECT_EQ(g_leaderboards, nullptr);
    SteamAPI_RunCallbacks(); // delivers to nobody

    SteamAPI_Shutdown();
    EXPECT_EQ(game_create_leaderboards(), nullptr);
    seam_set_store_folder("");
}

} // namespace
