#include "game/g_gameover.h"

std::uint8_t g_game_over;
std::uint8_t g_world_frozen;
