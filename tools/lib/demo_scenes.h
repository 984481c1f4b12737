// The demo's scenes and music. The game starts in "demo6\", whose window hands over to
// "title\"; the title's "Normal" start leads on to the first map "s_11\s_1112\". Both maps
// stand in the demo room (demo_room.h): their start scripts load the map files and mark the
// entry. The first map's tours the camera over the ramp and back and goes on to the second map
// "s_10\s_1010\" when a flag is set; its show script lights the room, turns the pillar, raises
// and lowers the platform, sounds, blurs, and leads on to the second map once the ring is found.
// The second map returns to the first after a few seconds. Each scene plays music of its own,
// and the game over's piece is there too.
#pragma once

#include "lib/scene_set_writer.h"

inline constexpr int DEMO_TITLE_SCENE = 1;
inline constexpr int DEMO_LOGO_SCENE = 7; // "demo6\"
inline constexpr int DEMO_SECOND_MAP_SCENE = 8;
inline constexpr int DEMO_FIRST_MAP_SCENE = 9;

inline constexpr std::uint32_t DEMO_MAP_MUSIC = 1;
inline constexpr std::uint32_t DEMO_TITLE_MUSIC = 2;
inline constexpr std::uint32_t DEMO_ROOM_MUSIC = 3;
inline constexpr std::uint32_t DEMO_GAMEOVER_MUSIC = 14;

// A map's start script sets this game flag to the map's number, 1 or 2.
inline constexpr int DEMO_MAP_ENTERED_FLAG = 201;
// The first map goes on to the second once this game flag is 1.
inline constexpr int DEMO_NEXT_MAP_FLAG = 202;

SceneSet demo_scene_set();
