#include "game/g_achievements.h"

#include "core/errors.h"
#include "game/g_play_state.h"
#include "object/go_script.h"
#include "platform/steam_api.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <limits>
#include <span>
#include <string>
#include <string_view>

namespace {

constexpr const char* k_names[ACHV_COUNT] = {
    "Social Butterfly",
    "Beast Master",
    "More Like \"Bram the Yellow\"!",
    "Bad At Platformers",
    "Hollow Victory",
    "Mildly Manly",
    "Gods Beater",
    "Hardcore Hero",
    "Wulfe Who?",
    "Bearer of the Biggest Sword",
    "More Like \"Subordinate Crawl\"!",
    "Harder Than Hardcore",
    "Bram the All-Crusher",
    "Forever Alone",
    "That's the Last Time, Kid",
    "Showoff",
    "Consult an FAQ Already",
    "Bedazzled",
    "You Can Stop Now",
    "Like a Boss",
    "Never Smelled the Roses",
    "Wanderer From Ek",
    "A Talent For Forgery",
    "Proficient Plunderer",
    "Savior of Swine",
    "Oblivious or Insensitive?",
    "Master of Futility",
    "The Exterminator",
    "28 Maids Later",
    "Pravo Laid Bare",
    "Tastes Like Chicken",
    "Legacy Pervert",
    "Overachiever",
};

constexpr std::array<int, 32> k_people_topics = {
    86,  89,  87,  98,  96,  103, 114, 115, 105, 111, 101, 102, 113, 112, 99,  100,
    107, 106, 108, 109, 110, 97,  104, 130, 126, 127, 128, 129, 131, 132, 116, 91,
};
constexpr std::array<int, 64> k_enemy_topics = {
    63,  172, 14, 15, 17,  16,  22, 28, 27, 24, 25, 29,  70, 26, 65,  32,  66, 31, 33,  61,  30, 58,
    175, 18,  19, 20, 21,  23,  67, 56, 37, 34, 39, 173, 35, 38, 40,  42,  59, 57, 36,  41,  46, 52,
    51,  47,  68, 69, 166, 167, 43, 45, 44, 53, 50, 49,  48, 60, 170, 168, 54, 55, 169, 171,
};
static_assert(std::ranges::max(k_people_topics) < PLAY_TOPIC_COUNT);
static_assert(std::ranges::max(k_enemy_topics) < PLAY_TOPIC_COUNT);

constexpr std::int32_t k_ms_per_hour = 3600000;
constexpr std::int32_t k_wanderer_hours = 20;
constexpr std::int32_t k_fast_clear_hours = 5;
constexpr std::int32_t k_overachiever_count = 32;
constexpr std::uint32_t k_all_difficulty_bits = 0x3F;
constexpr int k_difficulty_bit_count = 6;
constexpr std::int32_t k_futility_goal = 50;
constexpr std::int32_t k_exterminator_goal = 1500;
constexpr std::int32_t k_exterminator_progress_step = 200;
constexpr std::int32_t k_exterminator_progress_max = 2000;
constexpr std::int32_t k_maids_goal = 1000;
constexpr std::int32_t k_maids_progress_step = 50;
constexpr std::int32_t k_maids_progress_max = 500;
constexpr std::int32_t k_showoff_goal = 5;
constexpr std::int32_t k_stop_now_level = 60;
constexpr std::int32_t k_faq_goal = 10;
constexpr std::int32_t k_jewel_cap = 3;
constexpr std::int32_t k_bedazzled_above = 8;
constexpr int k_forgery_items = 18;
constexpr std::int32_t k_forgery_level = 2;

constexpr const char* k_source = "g_achievements";
constexpr std::int32_t FUNCID_EVENT = 0;
constexpr std::int32_t FUNCID_TOPIC_KNOWN = 296;

// ---- The platform, fetched anew for every operation --------------------------------------------
bool platform_present()
{
    return SteamUserStats() != nullptr;
}

std::string stat_name(int index)
{
    return std::string(k_names[index]) + " Stat";
}

std::string tracking_name(int index)
{
    return std::string(k_names[index]) + " Tracking";
}

// A failing call reads as locked.
bool unlocked(int index)
{
    bool achieved = false;
    if (ISteamUserStats* stats = SteamUserStats()) stats->GetAchievement(k_names[index], &achieved);
    return achieved;
}

void set_achievement(int index)
{
    if (ISteamUserStats* stats = SteamUserStats()) stats->SetAchievement(k_names[index]);
}

// A failing call reads as 0.
std::int32_t get_stat(const std::string& name)
{
    std::int32_t value = 0;
    if (ISteamUserStats* stats = SteamUserStats()) stats->GetStat(name.c_str(), &value);
    return value;
}

void set_stat(const std::string& name, std::int32_t value)
{
    if (ISteamUserStats* stats = SteamUserStats()) stats->SetStat(name.c_str(), value);
}

void store_stats()
{
    if (ISteamUserStats* stats = SteamUserStats()) stats->StoreStats();
}

void indicate_progress(int index, std::int32_t value, std::int32_t max)
{
    if (ISteamUserStats* stats = SteamUserStats())
        stats->IndicateAchievementProgress(k_names[index], static_cast<std::uint32_t>(value),
                                           static_cast<std::uint32_t>(max));
}

// True when the stored value was lower and has been raised.
bool raise_stat(const std::string& name, std::int32_t value)
{
    if (get_stat(name) >= value) return false;
    set_stat(name, value);
    return true;
}

// The stat one higher; a stored maximum stays where it is.
std::int32_t count_stat(int index)
{
    const std::string name = stat_name(index);
    const std::int32_t value = get_stat(name);
    const std::int32_t next = value == std::numeric_limits<std::int32_t>::max() ? value : value + 1;
    set_stat(name, next);
    return next;
}

// The unlock of a rule that has just found its achievement locked.
void set_and_recount(int index)
{
    set_achievement(index);
    achv_recount(false);
}

// The rules' common start: a platform, and the rule's own achievement still locked.
bool rule_open(int index)
{
    return platform_present() && !unlocked(index);
}

std::int32_t& game_flag(int index)
{
    return g_play_state.game_flags[index];
}

std::int32_t count_known(std::span<const int> casts)
{
    return static_cast<std::int32_t>(std::count_if(
        casts.begin(), casts.end(), [](int cast) { return g_play_state.topics[cast].known != 0; }));
}

// Difficulty bit n (1-6) into the tracking word; the stat is the word's bits among the six.
void track_difficulty(int index, int n)
{
    if (!rule_open(index)) return;
    const std::uint32_t bit = n >= 1 && n <= k_difficulty_bit_count ? 1u << (n - 1) : 0u;
    const std::string tracking = tracking_name(index);
    std::uint32_t word = static_cast<std::uint32_t>(get_stat(tracking));
    if ((word & bit) != bit) {
        word |= bit;
        set_stat(tracking, static_cast<std::int32_t>(word));
    }
    const int bits = std::popcount(word & k_all_difficulty_bits);
    raise_stat(stat_name(index), bits);
    if (bits == k_difficulty_bit_count) set_and_recount(index);
}

// A defeat counted toward a goal, with progress shown at each step below the progress maximum.
void count_with_progress(int index, std::int32_t step, std::int32_t progress_max, std::int32_t goal)
{
    if (!rule_open(index)) return;
    const std::int32_t value = count_stat(index);
    if (value % step == 0 && value > 0 && value < progress_max) indicate_progress(index, value, progress_max);
    if (value >= goal) achv_unlock(index);
}

// ---- Script rows --------------------------------------------------------------------------------
// The difficulty's bit number in the two tracking words.
int difficulty_bit_number()
{
    if (game_flag(GF_VERY_EASY) != 0) return 1;
    if (game_flag(GF_EASY) != 0) return 2;
    if (game_flag(GF_INFERNO) != 0) return 6;
    switch (game_flag(GF_DIFFICULTY)) {
    case 0:
        return 3;
    case 1:
        return 4;
    case 2:
        return 5;
    default:
        return 0;
    }
}

void check_morthane_hurt()
{
    if (game_flag(GF_DAMAGE_TAKEN) == 0) achv_unlock(ACHV_LIKE_A_BOSS);
}

struct NamedEvent {
    std::string_view name;
    void (*run)();
};

// Compared case-sensitively in this order; the first match acts.
constexpr NamedEvent k_named_events[] = {
    {"GameEnd", [] {}},
    {"LiskQuest", [] { achv_unlock(ACHV_PROFICIENT_PLUNDERER); }},
    {"GubblerQuest", [] { achv_unlock(ACHV_SAVIOR_OF_SWINE); }},
    {"JadeRing", [] { achv_unlock(ACHV_OBLIVIOUS_OR_INSENSITIVE); }},
    {"BeatCastovin", [] { achv_unlock(ACHV_PRAVO_LAID_BARE); }},
    {"BeatBlackGubbler", [] { achv_unlock(ACHV_TASTES_LIKE_CHICKEN); }},
    {"EscortTorin", [] { achv_track_last_time_kid(difficulty_bit_number()); }},
    {"EscortMirel", [] { achv_track_forever_alone(difficulty_bit_number()); }},
    {"ResetMorthaneHurt", [] { game_flag(GF_DAMAGE_TAKEN) = 0; }},
    {"CheckMorthaneHurt", &check_morthane_hurt},
    {"JewelCheck", &achv_update_bedazzled},
    {"ResetBossDeaths", [] {}},
};

ScriptFlow cmd_event(ScriptCall& call)
{
    const char* name = call.text(0);
    if (!name) return SCRIPT_NEXT;
    const auto event = std::find_if(std::begin(k_named_events), std::end(k_named_events),
                                    [name](const NamedEvent& named) { return named.name == name; });
    if (event != std::end(k_named_events)) event->run();
    return SCRIPT_NEXT;
}

ScriptFlow cmd_topic_known(ScriptCall& call)
{
    const std::int32_t n = call.arg(0);
    if (n < 0 || n >= PLAY_TOPIC_COUNT) {
        char detail[ERR_DETAIL_SIZE];
        std::snprintf(detail, sizeof detail, "Topic number out of range: %d (script %s)", static_cast<int>(n),
                      call.script.name);
        err_raise_code(E_FAIL, detail, k_source, __LINE__);
    }
    g_play_state.topics[n].known = 1;
    achv_update_collections();
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_commands[] = {
    {FUNCID_EVENT, &cmd_event},
    {FUNCID_TOPIC_KNOWN, &cmd_topic_known},
};

} // namespace

const char* achv_name(int index)
{
    return index >= 0 && index < ACHV_COUNT ? k_names[index] : "";
}

void achv_unlock(int index)
{
    if (!platform_present() || index < 0 || index >= ACHV_COUNT) return;
    if (unlocked(index)) {
        achv_recount(false);
        return;
    }
    set_achievement(index);
    achv_recount(index == ACHV_OVERACHIEVER);
}

// "Overachiever" is unlocked here only while it reads locked: once it counts itself, unlocking
// it again would recount without end.
void achv_recount(bool suppress)
{
    if (!platform_present()) return;
    std::int32_t count = 0;
    bool overachiever = false;
    for (int index = 0; index < ACHV_COUNT; ++index) {
        const bool achieved = unlocked(index);
        count += achieved ? 1 : 0;
        if (index == ACHV_OVERACHIEVER) overachiever = achieved;
    }
    raise_stat(stat_name(ACHV_OVERACHIEVER), count);
    if (count >= k_overachiever_count && !suppress && !overachiever) achv_unlock(ACHV_OVERACHIEVER);
    store_stats();
}

void achv_update_collections()
{
    if (!platform_present()) return;
    bool raised = false;
    if (!unlocked(ACHV_SOCIAL_BUTTERFLY)) {
        const std::int32_t known = count_known(k_people_topics);
        raised = raise_stat(stat_name(ACHV_SOCIAL_BUTTERFLY), known);
        if (known >= static_cast<std::int32_t>(k_people_topics.size()))
            set_and_recount(ACHV_SOCIAL_BUTTERFLY);
    }
    if (!unlocked(ACHV_BEAST_MASTER)) {
        const std::int32_t known = count_known(k_enemy_topics);
        raised = raise_stat(stat_name(ACHV_BEAST_MASTER), known) || raised;
        if (known >= static_cast<std::int32_t>(k_enemy_topics.size())) {
            set_and_recount(ACHV_BEAST_MASTER);
            store_stats();
            return;
        }
    }
    if (raised) store_stats();
}

void achv_update_play_time(std::uint64_t play_ms)
{
    if (!rule_open(ACHV_WANDERER_FROM_EK)) return;
    const std::uint64_t hours = play_ms / k_ms_per_hour;
    raise_stat(stat_name(ACHV_WANDERER_FROM_EK), static_cast<std::int32_t>(std::min<std::uint64_t>(
                                                     hours, std::numeric_limits<std::int32_t>::max())));
    if (hours >= k_wanderer_hours) achv_unlock(ACHV_WANDERER_FROM_EK);
}

void achv_check_fast_clear(std::uint64_t play_ms)
{
    if (!rule_open(ACHV_NEVER_SMELLED_THE_ROSES)) return;
    if (play_ms / k_ms_per_hour < k_fast_clear_hours) achv_unlock(ACHV_NEVER_SMELLED_THE_ROSES);
}

void achv_track_last_time_kid(int n)
{
    track_difficulty(ACHV_LAST_TIME_KID, n);
}

void achv_track_forever_alone(int n)
{
    track_difficulty(ACHV_FOREVER_ALONE, n);
}

void achv_count_futility()
{
    if (!rule_open(ACHV_MASTER_OF_FUTILITY)) return;
    if (count_stat(ACHV_MASTER_OF_FUTILITY) >= k_futility_goal) achv_unlock(ACHV_MASTER_OF_FUTILITY);
}

// The window opens at the first defeat and the main loop closes it once the play time has moved
// more than a second past its start.
void achv_count_showoff()
{
    if (!rule_open(ACHV_SHOWOFF)) return;
    std::int32_t& count = game_flag(GF_SHOWOFF_COUNT);
    if (count == 0) {
        const std::uint64_t ticks = static_cast<std::uint32_t>(game_flag(GF_PLAY_FRAMES));
        game_flag(GF_SHOWOFF_START) = static_cast<std::int32_t>(ticks * 1000 / 60);
    }
    ++count;
    raise_stat(stat_name(ACHV_SHOWOFF), count);
    if (count >= k_showoff_goal) achv_unlock(ACHV_SHOWOFF);
}

void achv_count_exterminator()
{
    count_with_progress(ACHV_EXTERMINATOR, k_exterminator_progress_step, k_exterminator_progress_max,
                        k_exterminator_goal);
}

void achv_count_maids()
{
    count_with_progress(ACHV_MAIDS_LATER, k_maids_progress_step, k_maids_progress_max, k_maids_goal);
}

void achv_count_stop_now(int level)
{
    if (!rule_open(ACHV_YOU_CAN_STOP_NOW)) return;
    raise_stat(stat_name(ACHV_YOU_CAN_STOP_NOW), level);
    if (level >= k_stop_now_level) achv_unlock(ACHV_YOU_CAN_STOP_NOW);
}

void achv_count_faq()
{
    if (!rule_open(ACHV_CONSULT_AN_FAQ)) return;
    if (game_flag(GF_BATTLE) < 1) return;
    const std::int32_t deaths = ++game_flag(GF_BOSS_DEATHS);
    raise_stat(stat_name(ACHV_CONSULT_AN_FAQ), deaths);
    if (deaths >= k_faq_goal) achv_unlock(ACHV_CONSULT_AN_FAQ);
}

void achv_update_bedazzled()
{
    if (!rule_open(ACHV_BEDAZZLED)) return;
    std::int32_t sum = 0;
    for (int flag : {GF_MAGIC_LEVEL_0, GF_MAGIC_LEVEL_1, GF_MAGIC_LEVEL_2})
        sum += std::min(game_flag(flag), k_jewel_cap);
    raise_stat(stat_name(ACHV_BEDAZZLED), sum);
    if (sum > k_bedazzled_above) achv_unlock(ACHV_BEDAZZLED);
}

void achv_update_forgery()
{
    if (!rule_open(ACHV_TALENT_FOR_FORGERY)) return;
    std::int32_t forged = 0;
    for (int item = 0; item < k_forgery_items; ++item)
        forged += game_flag(item) > 0 && g_play_state.equip_levels[item] == k_forgery_level ? 1 : 0;
    raise_stat(stat_name(ACHV_TALENT_FOR_FORGERY), forged);
    if (forged == k_forgery_items) set_and_recount(ACHV_TALENT_FOR_FORGERY);
}

std::span<const ScriptCommandRow> achv_script_commands()
{
    return k_commands;
}
