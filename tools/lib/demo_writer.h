// The demo data folder: the smallest game data that exercises what the engine runs today.
// `scripts/play` starts the game on it, and end-to-end tests install the game beside it.
#pragma once

#include "lib/archive_writer.h"

#include <filesystem>
#include <span>
#include <string>
#include <vector>

// Writes "release\" with the archive pair and its overlay into the folder, with a minimal
// vertex-shader object for each of the names, the sound effect "data\wave\effect\demo.wav",
// the game's tables, scene set (demo_scenes.h) with its music table and looping music in
// "release\music\", images and item icons, the demo room's map files (demo_room.h), the title map
// as a loose file under "data\map\", and the game's font file "release\im02.dt"; false on
// failure.
bool demo_write_data(const std::filesystem::path& folder, std::span<const std::string> vertex_shaders);

// What the main archive of the demo holds.
std::vector<ArchiveSource> demo_archive_files(std::span<const std::string> vertex_shaders);

// A minimal vertex-shader object for each name, stored where the engine loads it from.
std::vector<ArchiveSource> demo_shader_files(std::span<const std::string> names);

// "common.ini" for a program folder: the data folder as BaseDir, save data in the user folder.
std::string demo_common_ini(const std::filesystem::path& data_folder);
// A first "kro_win.ini" of the current version, windowed.
std::string demo_game_ini();
