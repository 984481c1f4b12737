// What the game tick steps besides the objects: the screen effects and the camera shake, the
// wind, the player's lamp, the clouds and the scene light. Their state lives in the play state,
// so it is saved with the game; each step hands the renderer its part of the frame.
#pragma once

#include <cstdint>

// Afterimage, zoom blur, fire blur, the camera shake and the countdown, the screen texture and
// the effect time. The world is not paused.
void game_step_screen_effects();
// Shakes the camera for `ticks` whole ticks with these amplitudes, replacing any shake; 0 ticks
// end a shake at once.
void camera_set_shake(std::int32_t ticks, float amplitude_x, float amplitude_y, float amplitude_z);
// The wind's sway, advanced while it blows and the world is not paused.
void game_step_wind();
// The player's lamp as point light 3 in the scenes lit by it, and the darkness overlay queued
// where the lamp does not light the scene. The draw step.
void game_step_lamp();
// The cloud layer's scroll, with the cloud shader only. The draw step.
void game_step_clouds();
// The scene's light into the renderer's constants, its direction normalised. The draw step.
void game_apply_scene_light();
