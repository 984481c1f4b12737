// The demo's sprites and sounds: the hero's script set 12 with its walk, run, stand, jump and
// defeat actions, the image archives that scene entry preloads (6-17) drawn as a simple figure
// in eight directions, and the two sound tables with the effects they name.
#pragma once

#include "lib/archive_writer.h"

#include <string>
#include <vector>

inline constexpr int DEMO_HERO_SCRIPT_SET = 12;
inline constexpr int DEMO_HERO_IMAGES = 13;
inline constexpr int DEMO_FIRST_PRELOADED_IMAGES = 6;
inline constexpr int DEMO_LAST_PRELOADED_IMAGES = 17;
inline constexpr int DEMO_LEVEL_UP_SOUND = 5;
// The first map's show script rings a bell at the raised platform and then sounds a chord.
inline constexpr int DEMO_SHOW_POINT_SOUND = 8;
inline constexpr int DEMO_SHOW_SOUND = 9;

// The script set, the image archives, the effect table and its WAV files, as the archive holds them.
std::vector<ArchiveSource> demo_sprite_files();
std::vector<ArchiveSource> demo_sound_files();
// "release\music\bgmdef.txt": the demo's music table (demo_scenes.h), the ids its scenes play.
std::string demo_music_table();

// The demo room's event scripts: "data\map\demo\fade.xso" takes a lock, fades to a dusk colour,
// waits for game flag 200 and fades back; "data\map\demo\flag.xso" sets the flag after a while.
inline constexpr int DEMO_EVENT_FLAG = 200;
std::vector<ArchiveSource> demo_event_files();
