// The game's whole-run set-up and tear-down around the main loop, and the scene step that starts
// every frame: what is loaded once (tables, scene list, images, the game font, the text filter)
// and how a pending scene change clears the world.
#pragma once

#include "platform/gdi_font.h"
#include "scenegraph/text_glyph.h"

#include <cstdint>

// g_scene_pending bits.
constexpr std::uint32_t SCENE_PENDING_ENTER = 1; // enter the requested scene
constexpr std::uint32_t SCENE_PENDING_CLEAR = 2; // clear the world first

inline constexpr const char* GAME_TITLE_SCENE = "title\\";
inline constexpr const char* GAME_FIRST_SCENE = "demo6\\";

extern std::uint32_t g_scene_pending;
extern std::int32_t g_title_scene; // the scene id of "title\"
extern std::int32_t g_first_scene; // the scene id of "demo6\", which the game starts with
extern HFONT g_game_font;
extern TextSurface g_game_text_surface; // 512 x 30, for texts in the game font

// Loads everything the game keeps for its whole run. A broken table, a scene list without the
// title or the first scene, or a named text-filter dictionary that cannot be read throws
// RuntimeError.
void game_init();
// Frees what game_init loaded, the animation data and every object.
void game_shutdown();
// At the start of every frame: carries out a pending world clear and scene entry. Returns 0.
int game_scene_step();
