// The achievements on a store of their own in a temporary folder: store states preset through
// the platform's interface, and the calls the rules make read back from the store's call log.
#pragma once

#include "game/g_achievements.h"
#include "game/g_play_state.h"
#include "platform/impl/steam_api_seams.h"
#include "platform/steam_api.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

using StoreCalls = std::vector<StoreStatsCall>;

// A store state: stat values and unlocked achievements.
struct StorePreset {
    std::vector<std::pair<std::string, std::int32_t>> stats;
    std::vector<int> unlocked;
};

// The casts of the people and the enemy topics.
inline const std::vector<int> ACHV_PEOPLE_TOPICS = {86,  89,  87,  98,  96,  103, 114, 115, 105, 111, 101,
                                                    102, 113, 112, 99,  100, 107, 106, 108, 109, 110, 97,
                                                    104, 130, 126, 127, 128, 129, 131, 132, 116, 91};
inline const std::vector<int> ACHV_ENEMY_TOPICS = {
    63,  172, 14, 15, 17,  16,  22, 28, 27, 24, 25, 29,  70, 26, 65,  32,  66, 31, 33,  61, 30, 58,
    175, 18,  19, 20, 21,  23,  67, 56, 37, 34, 39, 173, 35, 38, 40,  42,  59, 57, 36,  41, 46, 52,
    51,  47,  68, 69, 166, 167, 43, 45, 44, 53, 50, 49,  48, 60, 170, 168, 54, 55, 169, 171};

inline void know_topics(std::span<const int> casts)
{
    for (int cast : casts)
        g_play_state.topics[cast].known = 1;
}

// ---- The calls a rule is expected to make -------------------------------------------------------
inline StoreStatsCall get_achievement(int index, bool achieved)
{
    return {"GetAchievement", achv_name(index), achieved ? 1 : 0};
}
inline StoreStatsCall set_achievement(int index)
{
    return {"SetAchievement", achv_name(index), 1};
}
inline StoreStatsCall get_stat(const std::string& name, std::int32_t value)
{
    return {"GetStat", name, value};
}
inline StoreStatsCall set_stat(const std::string& name, std::int32_t value)
{
    return {"SetStat", name, value};
}
inline StoreStatsCall progress(int index, std::int32_t value, std::int32_t max)
{
    return {"IndicateAchievementProgress", achv_name(index), value, max};
}
inline StoreStatsCall store_stats()
{
    return {"StoreStats", "", 0};
}

inline void append(StoreCalls& calls, std::initializer_list<StoreStatsCall> more)
{
    calls.insert(calls.end(), more);
}
inline void append(StoreCalls& calls, const StoreCalls& more)
{
    calls.insert(calls.end(), more.begin(), more.end());
}

// A recount that finds `unlocked` and does not go on to unlock "Overachiever": every
// achievement asked in order, its stat raised from `stat_before` when lower, then stored.
inline StoreCalls recount_calls(const std::vector<int>& unlocked, std::int32_t stat_before)
{
    StoreCalls calls;
    for (int index = 0; index < ACHV_COUNT; ++index) {
        bool achieved = false;
        for (int u : unlocked)
            achieved = achieved || u == index;
        calls.push_back(get_achievement(index, achieved));
    }
    const auto count = static_cast<std::int32_t>(unlocked.size());
    calls.push_back(get_stat("Overachiever Stat", stat_before));
    if (count > stat_before) calls.push_back(set_stat("Overachiever Stat", count));
    calls.push_back(store_stats());
    return calls;
}

// Indices first..last.
inline std::vector<int> achievement_range(int first, int last)
{
    std::vector<int> indices;
    for (int index = first; index <= last; ++index)
        indices.push_back(index);
    return indices;
}

class AchievementStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_play_state = {};
        seam_set_store_folder(m_temp.host("store"));
        ASSERT_TRUE(SteamAPI_Init());
    }
    void TearDown() override
    {
        SteamAPI_Shutdown();
        seam_set_store_folder("");
        g_play_state = {};
    }

    // The store as `preset` has it, with nothing else set; the call log then starts empty.
    void Preset(const StorePreset& preset)
    {
        ISteamUserStats* stats = SteamUserStats();
        ASSERT_NE(stats, nullptr);
        ASSERT_TRUE(stats->ResetAllStats(true));
        for (const auto& [name, value] : preset.stats)
            ASSERT_TRUE(stats->SetStat(name.c_str(), value));
        for (int index : preset.unlocked)
            ASSERT_TRUE(stats->SetAchievement(achv_name(index)));
        ASSERT_TRUE(stats->StoreStats());
        SteamAPI_Shutdown();
        ASSERT_TRUE(SteamAPI_Init());
        ASSERT_TRUE(seam_stats_call_log().empty());
    }

    // Read through the interface after the rule ran, so these calls follow the rule's in the log.
    static std::int32_t Stat(const std::string& name)
    {
        std::int32_t value = 0;
        EXPECT_TRUE(SteamUserStats()->GetStat(name.c_str(), &value));
        return value;
    }
    static bool Unlocked(int index)
    {
        bool achieved = false;
        EXPECT_TRUE(SteamUserStats()->GetAchievement(achv_name(index), &achieved));
        return achieved;
    }
    static std::vector<int> UnlockedList()
    {
        std::vector<int> unlocked;
        for (int index = 0; index < ACHV_COUNT; ++index)
            if (Unlocked(index)) unlocked.push_back(index);
        return unlocked;
    }

    TempFolder m_temp;
};
