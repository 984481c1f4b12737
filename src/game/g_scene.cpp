#include "game/g_scene.h"

std::int32_t g_timeattack_stage_ticks;
std::int32_t g_timeattack_total_ticks;
std::int32_t g_timeattack_after_ticks;
