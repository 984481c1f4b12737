// Scene change and scene entry.
#pragma once

#include "platform/win_types.h"

#include <cstdint>

extern std::uint8_t g_time_attack_mode; // 1 while the title's Time Attack choice is in force
extern std::uint8_t g_no_fall;          // Easy mode's No-Fall: 0 off, 1 on, 2 a fall was caught
// Set by a scene request, cleared when the scene has changed: no event script runs meanwhile.
extern std::uint8_t g_scene_change_busy;

// The time-attack clocks in ticks, counted by the game tick while a battle runs.
extern std::int32_t g_timeattack_stage_ticks; // this stage's fight
extern std::int32_t g_timeattack_total_ticks; // the whole boss rush
extern std::int32_t g_timeattack_after_ticks; // since the stage's battle ended

// Asks for a change to `scene_id` at the start of the next frame, with an empty arrival tag.
// E_FAIL, changing nothing, when a request is pending and `force` is false; a forced request
// replaces a pending one. 0 when the request stands.
HRESULT scene_request_change(std::int32_t scene_id, bool force);
