// One logic step of the world and the flags every object reads during it.
#pragma once

#include <cstdint>

class GoMesh;

extern std::uint8_t g_draw_frame;  // the frame's first step: the world queues its drawing
extern std::uint8_t g_whole_tick;  // a whole 1/60 s passed during this step
extern std::uint8_t g_tick_active; // g_draw_frame or g_whole_tick
extern std::uint8_t g_paused;      // the camp menu or shop is open: objects skip simulation
extern std::uint8_t g_ai_paused;   // as g_paused, and also while an event holds the world
extern float g_hud_alpha;          // the HUD's fade, 0..1
extern std::uint32_t g_hud_color;  // g_hud_alpha in the top byte over white, for the HUD pass

// The step as the frame runs it: the input record is the same before and after, whatever
// objects change in it.
void game_run_tick();
// Sets the step's flags, advances the play clock, the time-attack clocks and the screen state,
// and updates every object class in its fixed order.
void game_tick();
// Moves a mesh toward its move target and spins it by its angular speeds; nothing while the
// world is paused.
void game_step_mesh_move(GoMesh& mesh);
