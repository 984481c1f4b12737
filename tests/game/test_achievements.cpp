#include "game/g_achievements.h"

#include "achv_fixture.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint64_t k_hour_ms = 3600000;
const std::string k_overachiever_stat = "Overachiever Stat";

std::int32_t& flag(int index)
{
    return g_play_state.game_flags[index];
}

void know_people()
{
    know_topics(ACHV_PEOPLE_TOPICS);
}

void know_enemies()
{
    know_topics(ACHV_ENEMY_TOPICS);
}

// The first 18 items owned at upgrade level 2, but for `short_of` of them left at level 1.
void forge_items(int short_of)
{
    for (int item = 0; item < 18; ++item) {
        flag(item) = 1;
        g_play_state.equip_levels[item] = item < short_of ? 1 : 2;
    }
}

// A counted achievement's unlock from locked: asked, set, recounted with it alone unlocked.
StoreCalls unlock_alone(int index)
{
    StoreCalls calls{get_achievement(index, false), set_achievement(index)};
    append(calls, recount_calls({index}, 0));
    return calls;
}

// A stat raised from `before` to `after`, then the rule's unlock when `unlocks`.
StoreCalls raise_then(int index, const std::string& stat, std::int32_t before, std::int32_t after,
                      bool unlocks)
{
    StoreCalls calls{get_achievement(index, false), get_stat(stat, before)};
    if (after > before) calls.push_back(set_stat(stat, after));
    if (unlocks) append(calls, unlock_alone(index));
    return calls;
}

struct Case {
    const char* name;
    StorePreset preset;
    std::function<void()> setup; // the play state before the event
    std::function<void()> event;
    StoreCalls calls;
    std::vector<int> unlocked_after;
    std::vector<std::pair<int, std::int32_t>> flags_after;
};

std::vector<Case> rule_cases()
{
    const std::vector<int> all = achievement_range(0, 32);
    std::vector<int> all_but_5_and_32 = achievement_range(0, 31);
    all_but_5_and_32.erase(all_but_5_and_32.begin() + 5);
    std::vector<int> all_but_32 = achievement_range(0, 31);
    std::vector<int> thirty_one_and_32 = achievement_range(0, 30);
    thirty_one_and_32.push_back(32);
    std::vector<Case> cases;

    // achv_unlock and achv_recount
    {
        StoreCalls calls{get_achievement(5, true)};
        append(calls, recount_calls({5}, 1));
        cases.push_back({"an unlocked achievement still recounts and stores",
                         {{{k_overachiever_stat, 1}}, {5}},
                         {},
                         [] { achv_unlock(5); },
                         calls,
                         {5},
                         {}});
    }
    {
        StoreCalls calls{get_achievement(32, false), set_achievement(32)};
        append(calls, recount_calls(thirty_one_and_32, 31));
        cases.push_back({"unlocking Overachiever directly does not try it again",
                         {{{k_overachiever_stat, 31}}, achievement_range(0, 30)},
                         {},
                         [] { achv_unlock(32); },
                         calls,
                         thirty_one_and_32,
                         {}});
    }
    {
        StoreCalls calls{get_achievement(5, true)};
        append(calls, recount_calls(all, 33));
        cases.push_back({"with all 33 unlocked another unlock stores once and ends",
                         {{{k_overachiever_stat, 33}}, all},
                         {},
                         [] { achv_unlock(5); },
                         calls,
                         all,
                         {}});
    }
    {
        StoreCalls calls{get_achievement(5, false), set_achievement(5)};
        StoreCalls first_count = recount_calls(all_but_32, 31);
        first_count.pop_back(); // its store follows the nested unlock
        append(calls, first_count);
        append(calls, {get_achievement(32, false), set_achievement(32)});
        append(calls, recount_calls(all, 32));
        calls.push_back(store_stats());
        cases.push_back({"the 32nd unlock unlocks Overachiever once",
                         {{{k_overachiever_stat, 31}}, all_but_5_and_32},
                         {},
                         [] { achv_unlock(5); },
                         calls,
                         all,
                         {}});
    }

    // The tracking words
    const std::string kid_tracking = "That's the Last Time, Kid Tracking";
    const std::string kid_stat = "That's the Last Time, Kid Stat";
    cases.push_back({"track 0 sets no bit and still counts the six",
                     {{{kid_tracking, 5}, {kid_stat, 1}}, {}},
                     {},
                     [] { achv_track_last_time_kid(0); },
                     {get_achievement(14, false), get_stat(kid_tracking, 5), get_stat(kid_stat, 1),
                      set_stat(kid_stat, 2)},
                     {},
                     {}});
    cases.push_back({"a bit already in the word is not set again",
                     {{{kid_tracking, 5}, {kid_stat, 2}}, {}},
                     {},
                     [] { achv_track_last_time_kid(3); },
                     {get_achievement(14, false), get_stat(kid_tracking, 5), get_stat(kid_stat, 2)},
                     {},
                     {}});
    cases.push_back({"track 7 sets no bit",
                     {{{kid_tracking, 0x40}}, {}},
                     {},
                     [] { achv_track_last_time_kid(7); },
                     {get_achievement(14, false), get_stat(kid_tracking, 0x40), get_stat(kid_stat, 0)},
                     {},
                     {}});
    {
        const std::string tracking = "Forever Alone Tracking";
        const std::string stat = "Forever Alone Stat";
        StoreCalls calls{get_achievement(13, false), get_stat(tracking, 0x1F), set_stat(tracking, 0x3F),
                         get_stat(stat, 5),          set_stat(stat, 6),        set_achievement(13)};
        append(calls, recount_calls({13}, 0));
        cases.push_back({"the sixth bit unlocks Forever Alone",
                         {{{tracking, 0x1F}, {stat, 5}}, {}},
                         {},
                         [] { achv_track_forever_alone(6); },
                         calls,
                         {13},
                         {}});
    }
    cases.push_back({"an unlocked tracking achievement asks nothing more",
                     {{{kid_tracking, 0}}, {14}},
                     {},
                     [] { achv_track_last_time_kid(1); },
                     {get_achievement(14, true)},
                     {14},
                     {}});

    // The counted defeats
    const std::string exterminator = "The Exterminator Stat";
    cases.push_back({"the 200th defeat shows progress 200/2000",
                     {{{exterminator, 199}}, {}},
                     {},
                     [] { achv_count_exterminator(); },
                     {get_achievement(27, false), get_stat(exterminator, 199), set_stat(exterminator, 200),
                      progress(27, 200, 2000)},
                     {},
                     {}});
    cases.push_back({"the 1500th defeat unlocks The Exterminator without progress",
                     {{{exterminator, 1499}}, {}},
                     {},
                     [] { achv_count_exterminator(); },
                     [&] {
                         StoreCalls calls{get_achievement(27, false), get_stat(exterminator, 1499),
                                          set_stat(exterminator, 1500)};
                         append(calls, unlock_alone(27));
                         return calls;
                     }(),
                     {27},
                     {}});
    cases.push_back({"the 2000th defeat shows no progress",
                     {{{exterminator, 1999}}, {}},
                     {},
                     [] { achv_count_exterminator(); },
                     [&] {
                         StoreCalls calls{get_achievement(27, false), get_stat(exterminator, 1999),
                                          set_stat(exterminator, 2000)};
                         append(calls, unlock_alone(27));
                         return calls;
                     }(),
                     {27},
                     {}});
    cases.push_back({"an unlocked Exterminator counts no more",
                     {{{exterminator, 1500}}, {27}},
                     {},
                     [] { achv_count_exterminator(); },
                     {get_achievement(27, true)},
                     {27},
                     {}});
    const std::string maids = "28 Maids Later Stat";
    cases.push_back(
        {"the 50th maid shows progress 50/500",
         {{{maids, 49}}, {}},
         {},
         [] { achv_count_maids(); },
         {get_achievement(28, false), get_stat(maids, 49), set_stat(maids, 50), progress(28, 50, 500)},
         {},
         {}});
    cases.push_back({"the 500th maid shows none",
                     {{{maids, 499}}, {}},
                     {},
                     [] { achv_count_maids(); },
                     {get_achievement(28, false), get_stat(maids, 499), set_stat(maids, 500)},
                     {},
                     {}});
    cases.push_back(
        {"the 1000th maid unlocks",
         {{{maids, 999}}, {}},
         {},
         [] { achv_count_maids(); },
         [&] {
             StoreCalls calls{get_achievement(28, false), get_stat(maids, 999), set_stat(maids, 1000)};
             append(calls, unlock_alone(28));
             return calls;
         }(),
         {28},
         {}});
    const std::string futility = "Master of Futility Stat";
    cases.push_back(
        {"the 50th futile defeat unlocks",
         {{{futility, 49}}, {}},
         {},
         [] { achv_count_futility(); },
         [&] {
             StoreCalls calls{get_achievement(26, false), get_stat(futility, 49), set_stat(futility, 50)};
             append(calls, unlock_alone(26));
             return calls;
         }(),
         {26},
         {}});
    cases.push_back({"a count at the stat's maximum stays there",
                     {{{futility, INT32_MAX}}, {}},
                     {},
                     [] { achv_count_futility(); },
                     [&] {
                         StoreCalls calls{get_achievement(26, false), get_stat(futility, INT32_MAX),
                                          set_stat(futility, INT32_MAX)};
                         append(calls, unlock_alone(26));
                         return calls;
                     }(),
                     {26},
                     {}});

    // Showoff's window
    const std::string showoff = "Showoff Stat";
    cases.push_back({"the first defeat opens the window at the play time in ms",
                     {{{showoff, 3}}, {}},
                     [] { flag(GF_PLAY_FRAMES) = 601; },
                     [] { achv_count_showoff(); },
                     {get_achievement(15, false), get_stat(showoff, 3)},
                     {},
                     {{GF_SHOWOFF_COUNT, 1}, {GF_SHOWOFF_START, 10016}}});
    cases.push_back({"the fifth defeat in the window unlocks Showoff",
                     {{{showoff, 4}}, {}},
                     [] {
                         flag(GF_SHOWOFF_COUNT) = 4;
                         flag(GF_SHOWOFF_START) = 9000;
                         flag(GF_PLAY_FRAMES) = 600;
                     },
                     [] { achv_count_showoff(); },
                     raise_then(15, showoff, 4, 5, true),
                     {15},
                     {{GF_SHOWOFF_COUNT, 5}, {GF_SHOWOFF_START, 9000}}});

    // Deaths in boss battles
    const std::string faq = "Consult an FAQ Already Stat";
    cases.push_back({"a death outside a boss battle does not count",
                     {{{faq, 9}}, {}},
                     [] { flag(GF_BOSS_DEATHS) = 9; },
                     [] { achv_count_faq(); },
                     {get_achievement(16, false)},
                     {},
                     {{GF_BOSS_DEATHS, 9}}});
    cases.push_back({"the tenth death in boss battles unlocks",
                     {{{faq, 9}}, {}},
                     [] {
                         flag(GF_BATTLE) = 1;
                         flag(GF_BOSS_DEATHS) = 9;
                     },
                     [] { achv_count_faq(); },
                     raise_then(16, faq, 9, 10, true),
                     {16},
                     {{GF_BOSS_DEATHS, 10}}});

    // Jewels, forgery, levels, play time
    const std::string bedazzled = "Bedazzled Stat";
    cases.push_back({"jewels capped at 3 summing to 8 do not unlock",
                     {},
                     [] {
                         flag(GF_MAGIC_LEVEL_0) = 5;
                         flag(GF_MAGIC_LEVEL_1) = 4;
                         flag(GF_MAGIC_LEVEL_2) = 2;
                     },
                     [] { achv_update_bedazzled(); },
                     raise_then(17, bedazzled, 0, 8, false),
                     {},
                     {}});
    cases.push_back({"jewels above 8 unlock Bedazzled",
                     {},
                     [] {
                         flag(GF_MAGIC_LEVEL_0) = 3;
                         flag(GF_MAGIC_LEVEL_1) = 3;
                         flag(GF_MAGIC_LEVEL_2) = 7;
                     },
                     [] { achv_update_bedazzled(); },
                     raise_then(17, bedazzled, 0, 9, true),
                     {17},
                     {}});
    const std::string forgery = "A Talent For Forgery Stat";
    cases.push_back({"17 forged items do not unlock",
                     {{{forgery, 17}}, {}},
                     [] { forge_items(1); },
                     [] { achv_update_forgery(); },
                     raise_then(22, forgery, 17, 17, false),
                     {},
                     {}});
    cases.push_back({"an item not owned does not count",
                     {},
                     [] {
                         forge_items(0);
                         flag(4) = 0;
                     },
                     [] { achv_update_forgery(); },
                     raise_then(22, forgery, 0, 17, false),
                     {},
                     {}});
    {
        StoreCalls calls{get_achievement(22, false), get_stat(forgery, 3), set_stat(forgery, 18),
                         set_achievement(22)};
        append(calls, recount_calls({22}, 0));
        cases.push_back({"18 forged items unlock A Talent For Forgery",
                         {{{forgery, 3}}, {}},
                         [] { forge_items(0); },
                         [] { achv_update_forgery(); },
                         calls,
                         {22},
                         {}});
    }
    const std::string stop_now = "You Can Stop Now Stat";
    cases.push_back({"level 59 raises the stat only",
                     {{{stop_now, 12}}, {}},
                     {},
                     [] { achv_count_stop_now(59); },
                     raise_then(18, stop_now, 12, 59, false),
                     {},
                     {}});
    cases.push_back({"level 60 unlocks",
                     {{{stop_now, 59}}, {}},
                     {},
                     [] { achv_count_stop_now(60); },
                     raise_then(18, stop_now, 59, 60, true),
                     {18},
                     {}});
    const std::string wanderer = "Wanderer From Ek Stat";
    cases.push_back({"19 hours and 59 minutes of play count 19",
                     {},
                     {},
                     [] { achv_update_play_time(20 * k_hour_ms - 60000); },
                     raise_then(21, wanderer, 0, 19, false),
                     {},
                     {}});
    cases.push_back({"20 hours of play unlock Wanderer From Ek",
                     {{{wanderer, 19}}, {}},
                     {},
                     [] { achv_update_play_time(20 * k_hour_ms); },
                     raise_then(21, wanderer, 19, 20, true),
                     {21},
                     {}});
    {
        StoreCalls calls{get_achievement(20, false)};
        append(calls, unlock_alone(20));
        cases.push_back({"a clear under 5 hours unlocks Never Smelled the Roses",
                         {},
                         {},
                         [] { achv_check_fast_clear(5 * k_hour_ms - 1); },
                         calls,
                         {20},
                         {}});
    }
    cases.push_back({"a clear of 5 hours does not",
                     {},
                     {},
                     [] { achv_check_fast_clear(5 * k_hour_ms); },
                     {get_achievement(20, false)},
                     {},
                     {}});

    // The topic collections
    const std::string people = "Social Butterfly Stat";
    const std::string enemies = "Beast Master Stat";
    {
        StoreCalls calls{get_achievement(0, false), get_stat(people, 31), set_stat(people, 32),
                         set_achievement(0)};
        append(calls, recount_calls({0}, 0));
        append(calls, {get_achievement(1, false), get_stat(enemies, 0), store_stats()});
        cases.push_back({"all people known unlock Social Butterfly and store",
                         {{{people, 31}}, {}},
                         know_people,
                         achv_update_collections,
                         calls,
                         {0},
                         {}});
    }
    {
        StoreCalls calls{get_achievement(0, true), get_achievement(1, false), get_stat(enemies, 63),
                         set_stat(enemies, 64), set_achievement(1)};
        append(calls, recount_calls({0, 1}, 1));
        calls.push_back(store_stats());
        cases.push_back({"all enemies known unlock Beast Master and store twice",
                         {{{enemies, 63}, {k_overachiever_stat, 1}}, {0}},
                         know_enemies,
                         achv_update_collections,
                         calls,
                         {0, 1},
                         {}});
    }
    cases.push_back(
        {"collections that raise nothing store nothing",
         {{{people, 1}}, {}},
         [] { g_play_state.topics[86].known = 1; },
         achv_update_collections,
         {get_achievement(0, false), get_stat(people, 1), get_achievement(1, false), get_stat(enemies, 0)},
         {},
         {}});
    return cases;
}

} // namespace

// The names the store knows them by, where quotes and punctuation are easy to get wrong; the
// rule table below checks the others through the calls.
TEST(AchievementNames, AreThePlatformsNamesInIndexOrder)
{
    const struct {
        int index;
        const char* name;
    } cases[] = {
        {ACHV_SOCIAL_BUTTERFLY, "Social Butterfly"},
        {ACHV_BRAM_THE_YELLOW, "More Like \"Bram the Yellow\"!"},
        {ACHV_SUBORDINATE_CRAWL, "More Like \"Subordinate Crawl\"!"},
        {ACHV_LAST_TIME_KID, "That's the Last Time, Kid"},
        {ACHV_OBLIVIOUS_OR_INSENSITIVE, "Oblivious or Insensitive?"},
        {ACHV_MAIDS_LATER, "28 Maids Later"},
        {ACHV_OVERACHIEVER, "Overachiever"},
        {-1, ""},
        {ACHV_COUNT, ""},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(achv_name(c.index), c.name) << c.index;
}

// Each event over a preset store: the platform calls in their order, then the achievements
// unlocked and the game's own counters.
TEST_F(AchievementStore, EveryRuleMakesItsCallsInOrder)
{
    for (const Case& c : rule_cases()) {
        SCOPED_TRACE(c.name);
        Preset(c.preset);
        g_play_state = {};
        if (c.setup) c.setup();
        c.event();
        EXPECT_EQ(seam_stats_call_log(), c.calls);
        EXPECT_EQ(UnlockedList(), c.unlocked_after);
        for (const auto& [index, value] : c.flags_after)
            EXPECT_EQ(flag(index), value) << "game flag " << index;
    }
}

// Stats the rules set reach the store's files with the recount's StoreStats.
TEST_F(AchievementStore, AnUnlockIsStoredAtOnce)
{
    Preset({{{"Master of Futility Stat", 49}}, {}});
    achv_count_futility();
    SteamAPI_Shutdown();
    ASSERT_TRUE(SteamAPI_Init());
    EXPECT_TRUE(Unlocked(ACHV_MASTER_OF_FUTILITY));
    EXPECT_EQ(Stat("Master of Futility Stat"), 50);
    EXPECT_EQ(Stat("Overachiever Stat"), 1);
}

// Without the platform no rule calls through, and the game's own counters stay as they were.
TEST_F(AchievementStore, WithoutThePlatformEveryRuleDoesNothing)
{
    SteamAPI_Shutdown();
    ASSERT_EQ(SteamUserStats(), nullptr);
    know_people();
    know_enemies();
    forge_items(0);
    flag(GF_BATTLE) = 1;
    flag(GF_BOSS_DEATHS) = 9;
    flag(GF_SHOWOFF_COUNT) = 4;
    flag(GF_PLAY_FRAMES) = 700;
    flag(GF_MAGIC_LEVEL_0) = flag(GF_MAGIC_LEVEL_1) = flag(GF_MAGIC_LEVEL_2) = 3;
    const PlayState before = g_play_state;
    const std::function<void()> rules[] = {
        [] { achv_unlock(ACHV_GODS_BEATER); },
        [] { achv_recount(false); },
        achv_update_collections,
        [] { achv_update_play_time(30 * k_hour_ms); },
        [] { achv_check_fast_clear(0); },
        [] { achv_track_last_time_kid(1); },
        [] { achv_track_forever_alone(2); },
        achv_count_futility,
        achv_count_showoff,
        achv_count_exterminator,
        achv_count_maids,
        [] { achv_count_stop_now(60); },
        achv_count_faq,
        achv_update_bedazzled,
        achv_update_forgery,
    };
    for (const auto& rule : rules)
        rule();
    EXPECT_EQ(std::memcmp(&before, &g_play_state, sizeof before), 0);

    ASSERT_TRUE(SteamAPI_Init());
    EXPECT_TRUE(UnlockedList().empty());
    EXPECT_EQ(Stat("Showoff Stat"), 0);
    EXPECT_EQ(Stat("Overachiever Stat"), 0);
}

// An index outside the table names no achievement: nothing is asked or set.
TEST_F(AchievementStore, AnUnlockOutsideTheTableDoesNothing)
{
    for (int index : {-1, ACHV_COUNT, 1000})
        achv_unlock(index);
    EXPECT_TRUE(seam_stats_call_log().empty());
}
