// The 33 achievements and their progress stats on the store platform. Each rule is called at
// the moment its event happens; it reads the platform's state, raises a stat only when the new
// value is higher, and unlocks when the threshold is reached. The platform keeps the values;
// the game keeps a few counters of its own in GameFlags. Without the platform every rule does
// nothing.
#pragma once

#include <cstdint>
#include <span>

struct ScriptCommandRow;

constexpr int ACHV_COUNT = 33;

enum AchievementId : int {
    ACHV_SOCIAL_BUTTERFLY = 0,
    ACHV_BEAST_MASTER = 1,
    ACHV_BRAM_THE_YELLOW = 2,
    ACHV_BAD_AT_PLATFORMERS = 3,
    ACHV_HOLLOW_VICTORY = 4,
    ACHV_MILDLY_MANLY = 5,
    ACHV_GODS_BEATER = 6,
    ACHV_HARDCORE_HERO = 7,
    ACHV_WULFE_WHO = 8,
    ACHV_BIGGEST_SWORD = 9,
    ACHV_SUBORDINATE_CRAWL = 10,
    ACHV_HARDER_THAN_HARDCORE = 11,
    ACHV_ALL_CRUSHER = 12,
    ACHV_FOREVER_ALONE = 13,
    ACHV_LAST_TIME_KID = 14,
    ACHV_SHOWOFF = 15,
    ACHV_CONSULT_AN_FAQ = 16,
    ACHV_BEDAZZLED = 17,
    ACHV_YOU_CAN_STOP_NOW = 18,
    ACHV_LIKE_A_BOSS = 19,
    ACHV_NEVER_SMELLED_THE_ROSES = 20,
    ACHV_WANDERER_FROM_EK = 21,
    ACHV_TALENT_FOR_FORGERY = 22,
    ACHV_PROFICIENT_PLUNDERER = 23,
    ACHV_SAVIOR_OF_SWINE = 24,
    ACHV_OBLIVIOUS_OR_INSENSITIVE = 25,
    ACHV_MASTER_OF_FUTILITY = 26,
    ACHV_EXTERMINATOR = 27,
    ACHV_MAIDS_LATER = 28,
    ACHV_PRAVO_LAID_BARE = 29,
    ACHV_TASTES_LIKE_CHICKEN = 30,
    ACHV_LEGACY_PERVERT = 31,
    ACHV_OVERACHIEVER = 32,
};

// The platform's name of achievement `index` (0..ACHV_COUNT - 1).
const char* achv_name(int index);

void achv_unlock(int index);
// Counts the unlocked achievements, keeps "Overachiever" current (unless `suppress`) and
// stores the stats.
void achv_recount(bool suppress);
// The people and enemy topic collections.
void achv_update_collections();
void achv_update_play_time(std::uint64_t play_ms);
void achv_check_fast_clear(std::uint64_t play_ms);
// Difficulty bit n (1-6) of the two tracking words; other n add no bit.
void achv_track_last_time_kid(int n);
void achv_track_forever_alone(int n);
// One counted defeat each.
void achv_count_futility();
void achv_count_showoff();
void achv_count_exterminator();
void achv_count_maids();
void achv_count_stop_now(int level);
// One player death; counted only during a boss battle.
void achv_count_faq();
void achv_update_bedazzled();
void achv_update_forgery();

// The event-script rows of the named game events (FUNCID_EVENT) and of a topic becoming known
// (FUNCID_TOPIC_KNOWN).
std::span<const ScriptCommandRow> achv_script_commands();
