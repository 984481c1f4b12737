#include "platform/impl/steam_api_seams.h"
#include "platform/steam_api.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

class SteamStats : public ::testing::Test {
protected:
    void SetUp() override
    {
        seam_set_store_folder(m_temp.host("store"));
        Open();
    }
    void TearDown() override
    {
        seam_set_store_writes_fail(false);
        SteamAPI_Shutdown();
        seam_set_store_folder("");
    }

    void Open()
    {
        ASSERT_TRUE(SteamAPI_Init());
        m_stats = SteamUserStats();
        ASSERT_NE(m_stats, nullptr);
    }
    void Restart()
    {
        SteamAPI_Shutdown();
        Open();
    }

    std::int32_t Stat(const char* name)
    {
        std::int32_t value = -1;
        EXPECT_TRUE(m_stats->GetStat(name, &value));
        return value;
    }
    bool Unlocked(const char* name)
    {
        bool achieved = true;
        EXPECT_TRUE(m_stats->GetAchievement(name, &achieved));
        return achieved;
    }
    std::string StoreFile(const char* name) { return read_host_file(m_temp.path() / "store" / name); }

    TempFolder m_temp;
    ISteamUserStats* m_stats = nullptr;
};

TEST_F(SteamStats, NamesNeverSetReadZeroAndLockedUntilTheirFirstSet)
{
    EXPECT_EQ(Stat("Futility Stat"), 0);
    EXPECT_FALSE(Unlocked("Futility"));
    EXPECT_TRUE(m_stats->SetStat("Futility Stat", -7));
    EXPECT_TRUE(m_stats->SetAchievement("Futility"));
    EXPECT_EQ(Stat("Futility Stat"), -7);
    EXPECT_TRUE(Unlocked("Futility"));
    EXPECT_EQ(Stat("futility stat"), 0) << "names keep their case";
}

TEST_F(SteamStats, StoredAndUnstoredValuesSurviveARestart)
{
    ASSERT_TRUE(m_stats->SetStat("Maids Stat", 50));
    ASSERT_TRUE(m_stats->SetAchievement("Maids"));
    ASSERT_TRUE(m_stats->StoreStats());
    EXPECT_EQ(StoreFile("stats"), "Maids Stat\t50\n");
    EXPECT_EQ(StoreFile("achievements"), "Maids\t1\n");
    ASSERT_TRUE(m_stats->SetStat("Maids Stat", 51)); // left for the shutdown to write
    ASSERT_TRUE(m_stats->SetStat("Deaths Stat", INT32_MIN));
    Restart();
    EXPECT_EQ(Stat("Maids Stat"), 51);
    EXPECT_EQ(Stat("Deaths Stat"), INT32_MIN);
    EXPECT_TRUE(Unlocked("Maids"));
    EXPECT_FALSE(Unlocked("Futility"));
}

TEST_F(SteamStats, ResetClearsStatsAndOnlyWhenAskedAchievementsAtOnce)
{
    ASSERT_TRUE(m_stats->SetStat("Futility Stat", 3));
    ASSERT_TRUE(m_stats->SetAchievement("Futility"));
    ASSERT_TRUE(m_stats->StoreStats());

    EXPECT_TRUE(m_stats->ResetAllStats(false));
    EXPECT_EQ(Stat("Futility Stat"), 0);
    EXPECT_TRUE(Unlocked("Futility"));
    Restart();
    EXPECT_EQ(Stat("Futility Stat"), 0) << "the file went with the memory";
    EXPECT_TRUE(Unlocked("Futility"));

    EXPECT_TRUE(m_stats->ResetAllStats(true));
    EXPECT_FALSE(Unlocked("Futility"));
    Restart();
    EXPECT_FALSE(Unlocked("Futility"));
}

TEST_F(SteamStats, LinesThatCannotBeReadAreSkipped)
{
    SteamAPI_Shutdown();
    write_host_file(m_temp.path() / "store" / "stats", "Good\t12\n"
                                                       "no tab here\n"
                                                       "\t5\n"
                                                       "Word\ttwelve\n"
                                                       "Trailing\t7x\n"
                                                       "Huge\t2147483648\n"
                                                       "\n"
                                                       "Last\t-3");
    write_host_file(m_temp.path() / "store" / "achievements", "Two\t2\nOne\t1\nZero\t0\nMinus\t-1\n");
    Open();
    EXPECT_EQ(Stat("Good"), 12);
    EXPECT_EQ(Stat("Last"), -3) << "a last line without its end still reads";
    for (const char* name : {"no tab here", "Word", "Trailing", "Huge"})
        EXPECT_EQ(Stat(name), 0) << name;
    EXPECT_TRUE(Unlocked("One"));
    for (const char* name : {"Two", "Zero", "Minus"})
        EXPECT_FALSE(Unlocked(name)) << name;
    ASSERT_TRUE(m_stats->StoreStats());
    EXPECT_EQ(StoreFile("stats"), "Good\t12\nLast\t-3\n");
    EXPECT_EQ(StoreFile("achievements"), "One\t1\nZero\t0\n");
}

TEST_F(SteamStats, AFailingStoreWriteKeepsThePreviousFiles)
{
    ASSERT_TRUE(m_stats->SetStat("Showoff Stat", 1));
    ASSERT_TRUE(m_stats->StoreStats());
    seam_set_store_writes_fail(true);
    ASSERT_TRUE(m_stats->SetStat("Showoff Stat", 2));
    ASSERT_TRUE(m_stats->SetAchievement("Showoff"));
    EXPECT_FALSE(m_stats->StoreStats());
    Restart(); // the shutdown's write fails too
    EXPECT_EQ(Stat("Showoff Stat"), 1);
    EXPECT_FALSE(Unlocked("Showoff"));
    EXPECT_EQ(folder_names(m_temp.path() / "store" / "tmp"), std::vector<std::string>{});
}

TEST_F(SteamStats, NoticesShowEachUnlockOnceAndProgressOfLockedOnly)
{
    testing::internal::CaptureStderr();
    EXPECT_TRUE(m_stats->IndicateAchievementProgress("Exterminator", 200, 2000));
    EXPECT_TRUE(m_stats->SetAchievement("Exterminator"));
    EXPECT_TRUE(m_stats->SetAchievement("Exterminator")); // already unlocked: no second notice
    EXPECT_FALSE(m_stats->IndicateAchievementProgress("Exterminator", 400, 2000));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Achievement progress: Exterminator 200/2000\n"
                                                      "Achievement unlocked: Exterminator\n");
}

TEST_F(SteamStats, CallLogKeepsOperationsNamesAndValuesInOrder)
{
    std::int32_t value = 0;
    bool achieved = false;
    m_stats->SetStat("Maids Stat", 49);
    m_stats->GetStat("Maids Stat", &value);
    m_stats->GetAchievement("Maids", &achieved);
    m_stats->IndicateAchievementProgress("Maids", 50, 500);
    m_stats->SetAchievement("Maids");
    m_stats->GetAchievement("Maids", &achieved);
    m_stats->StoreStats();
    m_stats->ResetAllStats(true);
    m_stats->RequestCurrentStats();
    const std::vector<StoreStatsCall> expected = {
        {"SetStat", "Maids Stat", 49},  {"GetStat", "Maids Stat", 49},
        {"GetAchievement", "Maids", 0}, {"IndicateAchievementProgress", "Maids", 50, 500},
        {"SetAchievement", "Maids", 1}, {"GetAchievement", "Maids", 1},
        {"StoreStats", "", 0},          {"ResetAllStats", "", 1},
        {"RequestCurrentStats", "", 0},
    };
    EXPECT_EQ(seam_stats_call_log(), expected);
    Restart();
    EXPECT_TRUE(seam_stats_call_log().empty()) << "each opening starts a new log";
}

TEST_F(SteamStats, FailingCallsLeaveNothingYetInTheirOutputs)
{
    ASSERT_TRUE(m_stats->SetStat("Kept", 9));
    ASSERT_TRUE(m_stats->SetAchievement("Kept"));
    struct Case {
        const char* what;
        const char* name;
    };
    const Case cases[] = {{"no name", nullptr}, {"empty name", ""}, {"tab in the name", "Ke\tpt"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::int32_t value = 9;
        bool achieved = true;
        EXPECT_FALSE(m_stats->GetStat(c.name, &value));
        EXPECT_EQ(value, 0);
        EXPECT_FALSE(m_stats->GetAchievement(c.name, &achieved));
        EXPECT_FALSE(achieved);
        EXPECT_FALSE(m_stats->SetStat(c.name, 1));
        EXPECT_FALSE(m_stats->SetAchievement(c.name));
        EXPECT_FALSE(m_stats->IndicateAchievementProgress(c.name, 1, 2));
    }
    EXPECT_FALSE(m_stats->GetStat("Kept", nullptr));
    EXPECT_FALSE(m_stats->GetAchievement("Kept", nullptr));
    ASSERT_TRUE(m_stats->StoreStats());
    EXPECT_EQ(StoreFile("stats"), "Kept\t9\n") << "refused names never reach the files";
}

TEST_F(SteamStats, AClosedStoreRefusesEveryStatsCall)
{
    ASSERT_TRUE(m_stats->SetStat("Kept", 9));
    ASSERT_TRUE(m_stats->SetAchievement("Kept"));
    SteamAPI_Shutdown();
    EXPECT_EQ(SteamUserStats(), nullptr);
    // The interface a caller kept from before the shutdown is the only way left to reach it.
    std::int32_t value = 9;
    bool achieved = true;
    EXPECT_FALSE(m_stats->GetStat("Kept", &value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(m_stats->GetAchievement("Kept", &achieved));
    EXPECT_FALSE(achieved);
    EXPECT_FALSE(m_stats->SetStat("Kept", 1));
    EXPECT_FALSE(m_stats->SetAchievement("Other"));
    EXPECT_FALSE(m_stats->IndicateAchievementProgress("Other", 1, 2));
    EXPECT_FALSE(m_stats->StoreStats());
    EXPECT_FALSE(m_stats->ResetAllStats(true));
    Open();
    EXPECT_EQ(Stat("Kept"), 9) << "the shutdown stored what was unstored";
    EXPECT_TRUE(Unlocked("Kept"));
    EXPECT_FALSE(Unlocked("Other"));
}

} // namespace
