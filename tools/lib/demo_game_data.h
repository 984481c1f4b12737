// The demo's game data: the five data tables, the scene set (its list and start scripts), the
// fixed images the game draws with, the window pictures, the demo room's maps, the effect data,
// the item icons, and the game's font file. Small, but every table is complete, so the game
// starts on it as on a full data set.
#pragma once

#include "lib/archive_writer.h"

#include <filesystem>
#include <vector>

inline constexpr int DEMO_ITEM_COUNT = 90;
inline constexpr int DEMO_HERO_CAST = 13;
inline constexpr int DEMO_FIRST_ENEMY_CAST = 14;

// The tables, the scene list and start scripts, the images, the demo room's files, the effect
// data and the item icons, as the archive holds them.
std::vector<ArchiveSource> demo_game_files();
// Copies the proportional Japanese gothic font, found through fontconfig by its family, to
// "release\im02.dt" in the folder; false when it is not installed or cannot be copied.
bool demo_copy_game_font(const std::filesystem::path& folder);
