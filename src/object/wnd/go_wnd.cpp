#include "object/wnd/go_wnd.h"

#include "game/g_achievements.h"
#include "game/g_gameover.h"
#include "game/g_leaderboards.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_settings.h"
#include "game/g_ta.h"

#include <cstdint>
#include <iterator>

namespace {

constexpr std::int32_t k_boss_rush_arena = 0; // the title's arena index of the boss rush
constexpr std::int32_t k_last_stage = 15;

// The record of a difficulty and a stage, or null when either lies outside the table: both come
// from the play state, which a save file fills.
TimeAttackEntry* record_entry(std::int32_t difficulty, std::int32_t stage)
{
    if (difficulty < 0 || difficulty >= TA_DIFFICULTY_COUNT || stage < 0 || stage >= TA_BOSS_COUNT)
        return nullptr;
    return &g_ta_records.entries[ta_index(difficulty, stage)];
}

void keep_time(TimeAttackEntry* entry, std::uint32_t time_ms)
{
    if (entry && ta_keep_time(entry->best_ms, time_ms)) entry->new_record = 1;
}

std::uint32_t clock_ms(std::int32_t ticks)
{
    return ta_stage_time_ms(static_cast<std::uint32_t>(ticks));
}

// The boss rush's clear achievements of Normal, Hard and Nightmare; the play state's difficulty
// comes from a save file, so other values unlock nothing.
void unlock_boss_rush_clear(std::int32_t difficulty)
{
    constexpr AchievementId k_clears[] = {ACHV_SUBORDINATE_CRAWL, ACHV_HARDER_THAN_HARDCORE,
                                          ACHV_ALL_CRUSHER};
    if (difficulty >= 0 && difficulty < static_cast<std::int32_t>(std::size(k_clears)))
        achv_unlock(k_clears[difficulty]);
}

} // namespace

void timeattack_stage_end()
{
    if (g_game_over) return;
    timeattack_record_stage_time();
    const std::int32_t* flags = g_play_state.game_flags;
    if (g_title_time_attack_index == k_boss_rush_arena && flags[GF_TA_STAGE] == k_last_stage)
        timeattack_record_boss_rush();
    ta_write_records();
}

void timeattack_record_stage_time()
{
    if (g_timeattack_stage_ticks == 0) return;
    const std::uint32_t time_ms = clock_ms(g_timeattack_stage_ticks);
    if (g_leaderboards) g_leaderboards->UploadStageScore(static_cast<std::int32_t>(time_ms), 0);
    const std::int32_t* flags = g_play_state.game_flags;
    keep_time(record_entry(flags[GF_DIFFICULTY], flags[GF_TA_STAGE]), time_ms);
}

void timeattack_record_boss_rush()
{
    if (g_timeattack_total_ticks == 0) return;
    unlock_boss_rush_clear(g_play_state.game_flags[GF_DIFFICULTY]);
    const std::uint32_t time_ms = clock_ms(g_timeattack_total_ticks);
    if (g_leaderboards) g_leaderboards->UploadBossRushScore(static_cast<std::int32_t>(time_ms), 0);
    keep_time(record_entry(g_play_state.game_flags[GF_DIFFICULTY], k_boss_rush_arena), time_ms);
}
