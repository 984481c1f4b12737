// The best times of the time-attack stages, the boss rush and the story mode, kept between
// runs in "record.ta" and "record.ta2": a 40-byte header, then the table behind its CRC-32,
// both scrambled with the byte keystream. The files live in remote storage when it is
// available, else in the user folder. A read never fails (any problem gives the defaults)
// and a write reports nothing.
#pragma once

#include <cstdint>

constexpr int TA_DIFFICULTY_COUNT = 3;
constexpr int TA_BOSS_COUNT = 16; // boss index 0 is the boss rush, 1-15 the stages
constexpr int TA_ENTRY_COUNT = TA_DIFFICULTY_COUNT * TA_BOSS_COUNT;
constexpr int TA_STORY_COUNT = 6; // one a story difficulty level

struct TimeAttackEntry {
    std::uint32_t best_ms; // 0: no record
    std::int32_t reserved_word;
    std::uint8_t reserved_byte;
    std::uint8_t unused_9;
    std::uint8_t new_record; // 1 when the time was set in this run
    std::uint8_t unused_11;
};
static_assert(sizeof(TimeAttackEntry) == 12);

struct TimeAttackTable {
    TimeAttackEntry entries[TA_ENTRY_COUNT];
};
static_assert(sizeof(TimeAttackTable) == 576);

struct StoryTimeEntry {
    std::uint32_t best_ms; // 0: no record
    std::uint32_t kept;    // kept as read, even when the defaults are set
};
static_assert(sizeof(StoryTimeEntry) == 8);

struct StoryTimeTable {
    StoryTimeEntry entries[TA_STORY_COUNT];
};
static_assert(sizeof(StoryTimeTable) == 48);

extern TimeAttackTable g_ta_records;    // "record.ta"
extern StoryTimeTable g_ta_story_times; // "record.ta2"

constexpr int ta_index(int difficulty, int boss)
{
    return difficulty * TA_BOSS_COUNT + boss;
}

// Fill the table from its file or set the defaults; "record.ta" leaves no new-record flag set.
void ta_read_records();
void ta_read_records2();
void ta_write_records();
void ta_write_records2();

// A stage's frames at 60 a second, in milliseconds.
std::uint32_t ta_stage_time_ms(std::uint64_t frames);
// The time becomes the best when there is none yet or it is smaller; true when it did.
bool ta_keep_time(std::uint32_t& best_ms, std::uint32_t time_ms);
