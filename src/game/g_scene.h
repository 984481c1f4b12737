// Scene change and scene entry.
#pragma once

#include <cstdint>

extern std::uint8_t g_time_attack_mode; // 1 while the title's Time Attack choice is in force
extern std::uint8_t g_no_fall;          // Easy mode's No-Fall: 0 off, 1 on, 2 a fall was caught

// The time-attack clocks in ticks, counted by the game tick while a battle runs.
extern std::int32_t g_timeattack_stage_ticks; // this stage's fight
extern std::int32_t g_timeattack_total_ticks; // the whole boss rush
extern std::int32_t g_timeattack_after_ticks; // since the stage's battle ended
