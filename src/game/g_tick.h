// One logic step of the world and the flags every object reads during it.
#pragma once

#include <cstdint>

extern std::uint8_t g_draw_frame;  // the frame's first step: the world queues its drawing
extern std::uint8_t g_whole_tick;  // a whole 1/60 s passed during this step
extern std::uint8_t g_tick_active; // g_draw_frame or g_whole_tick
extern std::uint8_t g_paused;      // the camp menu or shop is open: objects skip simulation
extern std::uint8_t g_ai_paused;   // as g_paused, and also while an event holds the world

// The step as the frame runs it: the input record is the same before and after, whatever
// objects change in it.
void game_run_tick();
void game_tick();
