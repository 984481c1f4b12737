// Scene change and scene entry.
#pragma once

#include <cstdint>

// The time-attack clocks in ticks, counted by the game tick while a battle runs.
extern std::int32_t g_timeattack_stage_ticks; // this stage's fight
extern std::int32_t g_timeattack_total_ticks; // the whole boss rush
extern std::int32_t g_timeattack_after_ticks; // since the stage's battle ended
