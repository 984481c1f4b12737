// The HUD's images as flat shapes at the rectangles the HUD draws from: "status_new.dds" (the
// status frame, bars, timers, digits, bracelet icons and slot frames, addressed in texels of its
// 256 x 256) and "hp2.dds" (the enemy gauge's frame, bar and trail rows, addressed in texture
// coordinates).
#pragma once

#include "lib/archive_writer.h"
#include "lib/dds_writer.h"

#include <vector>

DdsPixels hud_status_image();
DdsPixels hud_enemy_gauge_image();
// Both images under "data\image\", A4R4G4B4 as the game loads them.
std::vector<ArchiveSource> hud_image_files();
