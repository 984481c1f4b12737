#include "game/g_scene.h"

std::uint8_t g_time_attack_mode = 0;
std::uint8_t g_no_fall = 0;

std::int32_t g_timeattack_stage_ticks;
std::int32_t g_timeattack_total_ticks;
std::int32_t g_timeattack_after_ticks;
