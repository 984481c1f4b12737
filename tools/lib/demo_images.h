// The demo's window pictures: the title picture, the dialog skin, the menus' cursor bar and the
// game-over picture, each in the format the game asks for it, with the three bitmap fonts and
// the emotion icons; and the water ripples' image.
#pragma once

#include "lib/archive_writer.h"

#include <vector>

// The title picture fills 640 x 480 of its 1024 x 512 texture, as the title draws it.
inline constexpr unsigned DEMO_TITLE_PICTURE_WIDTH = 640;
inline constexpr unsigned DEMO_TITLE_PICTURE_HEIGHT = 480;

// "data\image\title_000.dds", "dialog0.dds", "menucursor.dds", "gameover.dds", "f_mini.dds",
// "f_middle.dds", "f_geo20.dds" and "emotion.dds".
std::vector<ArchiveSource> demo_window_images();

// "data\image\ripple.dds": a ring in its top half, a wake's V in its bottom half.
ArchiveSource demo_ripple_image();
