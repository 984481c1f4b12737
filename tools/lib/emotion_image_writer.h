// The emotion icons' picture "emotion.dds": 8 x 2 cells of 32 texels in 256 x 64, cell n at
// column n % 8 and row n / 8. Each cell holds one flat square mark whose colour carries the
// cell's number, so a test that reads a pixel of a drawn icon knows which cell it shows.
#pragma once

#include "lib/dds_writer.h"

#include <cstdint>
#include <vector>

inline constexpr unsigned EMOTION_CELL_SIZE = 32;
inline constexpr unsigned EMOTION_COLUMNS = 8;
inline constexpr unsigned EMOTION_ROWS = 2;
// The mark leaves this many clear texels on every side of its cell.
inline constexpr unsigned EMOTION_MARK_MARGIN = 4;

// Opaque, blue at full, the cell number (0-15) as the red level and 15 minus it as the green
// level, each level n stored as n x 0x11: exact in the 4-bit channels of the image.
std::uint32_t emotion_cell_color(unsigned cell);
// The cell number a drawn mark's colour carries: its red level.
unsigned emotion_cell_of(std::uint32_t argb);

DdsPixels emotion_image_pixels();
// The file, in A4R4G4B4 as the image table loads it.
std::vector<std::uint8_t> emotion_image_build();
