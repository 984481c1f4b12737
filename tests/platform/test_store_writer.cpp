#include "lib/store_writer.h"

#include "platform/impl/steam_api_seams.h"
#include "platform/steam_api.h"

#include "steam_delivery.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A store folder written by the tools, opened by the store.
class StoreWriter : public ::testing::Test {
protected:
    void TearDown() override
    {
        SteamAPI_Shutdown();
        seam_set_store_folder("");
    }

    void Open()
    {
        seam_set_store_folder(m_temp.host("store"));
        ASSERT_TRUE(SteamAPI_Init());
        m_stats = SteamUserStats();
    }
    SteamLeaderboard_t Find(const char* name)
    {
        auto found = deliver<LeaderboardFindResult_t>(m_stats->FindLeaderboard(name));
        EXPECT_EQ(found.record.m_bLeaderboardFound, 1);
        return found.record.m_hSteamLeaderboard;
    }
    // Every entry of a board, best first, with its first detail word.
    std::vector<StoreBoardRow> Download(const char* name)
    {
        auto downloaded = deliver<LeaderboardScoresDownloaded_t>(
            m_stats->DownloadLeaderboardEntries(Find(name), k_ELeaderboardDataRequestGlobal, 1, 100));
        std::vector<StoreBoardRow> rows;
        for (int i = 0; i < downloaded.record.m_cEntryCount; ++i) {
            LeaderboardEntry_t entry{};
            std::int32_t detail = -1;
            EXPECT_TRUE(m_stats->GetDownloadedLeaderboardEntry(downloaded.record.m_hSteamLeaderboardEntries,
                                                               i, &entry, &detail, 1));
            EXPECT_EQ(entry.m_nGlobalRank, i + 1);
            rows.push_back({entry.m_steamIDUser.ConvertToUint64(), entry.m_nScore, {detail}, {}});
        }
        return rows;
    }

    TempFolder m_temp;
    ISteamUserStats* m_stats = nullptr;
};

bool same_rows(const std::vector<StoreBoardRow>& a, const std::vector<StoreBoardRow>& b)
{
    return std::ranges::equal(a, b, [](const StoreBoardRow& x, const StoreBoardRow& y) {
        return x.user == y.user && x.score == y.score && x.details == y.details;
    });
}

TEST_F(StoreWriter, TheStoreReadsWhatTheWriterWrote)
{
    const std::uint64_t ann = store_other_user(11);
    const std::uint64_t bo = store_other_user(12);
    const std::uint64_t cy = store_other_user(13);
    StoreImage image;
    image.stats = {{"Maids Stat", 50}, {"Deaths Stat", -3}};
    image.achievements = {{"Maids", 1}, {"Futility", 0}};
    image.boards = {
        {"Story Mode - Normal",
         false,
         {{ann, 9000, {1}, "Ann"}, {bo, 7000, {2}, "Bo"}, {cy, 8000, {3}, "Cy"}}},
        {"Highest First", true, {{ann, 5, {4}, ""}, {bo, 50, {5, 6}, ""}}},
    };
    ASSERT_TRUE(store_write(m_temp.path() / "store", image));
    Open();

    std::int32_t value = 0;
    ASSERT_TRUE(m_stats->GetStat("Maids Stat", &value));
    EXPECT_EQ(value, 50);
    ASSERT_TRUE(m_stats->GetStat("Deaths Stat", &value));
    EXPECT_EQ(value, -3);
    bool achieved = false;
    ASSERT_TRUE(m_stats->GetAchievement("Maids", &achieved));
    EXPECT_TRUE(achieved);
    ASSERT_TRUE(m_stats->GetAchievement("Futility", &achieved));
    EXPECT_FALSE(achieved);

    EXPECT_TRUE(same_rows(Download("Story Mode - Normal"),
                          {{bo, 7000, {2}, {}}, {cy, 8000, {3}, {}}, {ann, 9000, {1}, {}}}));
    EXPECT_TRUE(same_rows(Download("Highest First"), {{bo, 50, {5}, {}}, {ann, 5, {4}, {}}}));
    EXPECT_EQ(m_stats->GetLeaderboardEntryCount(Find("Story Mode - Normal")), 3);
}

TEST_F(StoreWriter, SeedGivesTheGamesBoardsOtherPlayersAndKeepsBoardsThatExist)
{
    const auto seeded = store_seed(m_temp.path() / "store");
    ASSERT_TRUE(seeded);
    EXPECT_EQ(*seeded, (std::vector<std::string>{"Story Mode - Normal", "Time Attack - Normal - Brisanne",
                                                 "Boss Rush - Normal"}));
    Open();
    for (const StoreBoardImage& board : store_seed_boards()) {
        SCOPED_TRACE(board.name);
        std::vector<StoreBoardRow> rows = Download(board.name.c_str());
        ASSERT_GE(rows.size(), 3u);
        EXPECT_TRUE(same_rows(rows, board.rows)) << "the seed is written best first";
    }

    // The player's own time joins the seeded ones, and a second seeding leaves it there.
    const std::int32_t detail = 0;
    auto uploaded = deliver<LeaderboardScoreUploaded_t>(m_stats->UploadLeaderboardScore(
        Find("Boss Rush - Normal"), k_ELeaderboardUploadScoreMethodKeepBest, 1'500'000, &detail, 1));
    EXPECT_EQ(uploaded.record.m_nGlobalRankNew, 2);
    EXPECT_EQ(store_seed(m_temp.path() / "store"), std::vector<std::string>{});
    EXPECT_EQ(m_stats->GetLeaderboardEntryCount(Find("Boss Rush - Normal")), 4);
}

TEST_F(StoreWriter, ListingShowsValuesAndBoardsInRankOrder)
{
    StoreImage image;
    image.stats = {{"Maids Stat", 50}};
    image.achievements = {{"Maids", 1}, {"Futility", 0}};
    image.boards = {{"Boss Rush - Hard",
                     false,
                     {{store_other_user(2), 3'723'456, {0}, "Bo"}, {store_other_user(1), 61'000, {}, ""}}}};
    const std::filesystem::path store = m_temp.path() / "store";
    ASSERT_TRUE(store_write(store, image));
    write_host_file(store / "stats", "Maids Stat\t50\nno value\n");
    write_host_file(store / "boards" / "zz", "KRB1");

    EXPECT_EQ(store_listing(store),
              "stats:\n"
              "  Maids Stat = 50\n"
              "  line 2 cannot be read\n"
              "achievements:\n"
              "  Maids: unlocked\n"
              "  Futility: locked\n"
              "boards:\n"
              "  \"Boss Rush - Hard\": ascending, 2 entries\n"
              "      1.       61000 ms  0:01:01.000     user 0110000000000001  (no name)\n"
              "      2.     3723456 ms  1:02:03.456     user 0110000000000002  Bo\n"
              "  file zz is no board\n");
    EXPECT_EQ(store_listing(m_temp.path() / "nothing"), "stats: none\nachievements: none\nboards: none\n");
}

TEST_F(StoreWriter, ListingReadsWhatTheStoreWrote)
{
    Open();
    ASSERT_TRUE(m_stats->SetStat("Futility Stat", 7));
    ASSERT_TRUE(m_stats->SetAchievement("Futility"));
    ASSERT_TRUE(m_stats->StoreStats());
    const std::int32_t detail = 0;
    deliver<LeaderboardScoreUploaded_t>(m_stats->UploadLeaderboardScore(
        Find("Story Mode - Easy"), k_ELeaderboardUploadScoreMethodKeepBest, 42'000, &detail, 1));

    const std::string listing = store_listing(m_temp.path() / "store");
    EXPECT_NE(listing.find("stats:\n  Futility Stat = 7\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("achievements:\n  Futility: unlocked\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\"Story Mode - Easy\": ascending, 1 entry\n      1.       42000 ms  0:00:42.000"),
              std::string::npos)
        << listing;
}

} // namespace
