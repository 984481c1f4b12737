// The game over: the player fell, and the world waits for the retry or the way to the title.
#pragma once

#include <cstdint>

extern std::uint8_t g_game_over;    // a game over has started; cleared at scene entry
extern std::uint8_t g_world_frozen; // the world classes pause until the scene changes
