// The glyph widths and cell layout of the three bitmap fonts. The game builds its glyph
// rectangles from them and tools/ draws the font images from them, so the two cannot disagree.
// The widths are font units (texels at scale 1), fixed once from the demo face (IPA P Gothic at
// each font's glyph height); nothing measures a font at run time.
#pragma once

#include <cstdint>

// Where the glyphs lie in a font texture. Glyph g sits in cell g + first_cell, column
// cell % per_row and row cell / per_row; its rectangle starts `inset` texels into the cell and is
// glyph_height texels high.
struct BitmapFontGeometry {
    int texture_width, texture_height;
    int cell_width, cell_height;
    int per_row;
    int first_cell;
    int inset;
    int glyph_height;
};

inline constexpr BitmapFontGeometry FONT_TINY_GEOMETRY{128, 256, 8, 12, 16, 0, 0, 12};
inline constexpr BitmapFontGeometry FONT_MIDDLE_GEOMETRY{256, 128, 16, 17, 16, 1, 1, 16};
inline constexpr BitmapFontGeometry FONT_LARGE_GEOMETRY{512, 128, 24, 24, 21, 0, 0, 23};

// The tiny font, by glyph index: byte c is glyph c - 32 below 128; from 128 on it is c + 64 in
// the normal set and c - 32 in the alternate one. Its quads are one texel wider than the width.
// ASCII 33-126 and the half-width katakana 0xA1-0xDF of the normal set have ink.
inline constexpr int FONT_TINY_GLYPH_COUNT = 320;
// clang-format off
// Sixteen to a row, as the cells lie in the tiny texture.
inline constexpr std::int8_t FONT_TINY_WIDTHS[FONT_TINY_GLYPH_COUNT] = {
    0, 3, 4, 7, 7, 7, 7, 2, 4, 4, 4, 7, 3, 4, 3, 6,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 4, 4, 7, 7, 7, 6,
    7, 7, 7, 7, 7, 7, 6, 7, 7, 3, 4, 7, 6, 7, 7, 7,
    7, 7, 7, 6, 7, 7, 7, 7, 7, 7, 7, 3, 7, 3, 6, 6,
    6, 6, 7, 6, 7, 6, 3, 6, 7, 3, 3, 6, 3, 7, 7, 7,
    7, 7, 4, 5, 4, 7, 5, 7, 5, 5, 5, 4, 2, 4, 6, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

// The middle and large fonts, by glyph index (character - 33); ASCII 33-126 have ink.
inline constexpr int FONT_WIDE_GLYPH_COUNT = 99;
inline constexpr std::int8_t FONT_MIDDLE_WIDTHS[FONT_WIDE_GLYPH_COUNT] = {
    7, 11, 12, 11, 15, 16, 6, 8, 8, 10,
    11, 6, 7, 6, 10, 11, 11, 11, 11, 11,
    11, 11, 11, 11, 11, 7, 7, 11, 11, 11,
    10, 15, 12, 12, 13, 13, 11, 11, 13, 13,
    6, 8, 12, 10, 16, 13, 14, 11, 14, 12,
    11, 11, 13, 12, 16, 12, 11, 12, 7, 11,
    7, 10, 10, 10, 10, 11, 10, 11, 11, 7,
    10, 11, 6, 6, 10, 6, 15, 11, 11, 11,
    11, 8, 9, 7, 11, 9, 13, 9, 9, 9,
    7, 5, 7, 10, 0, 0, 0, 0, 0,
};
inline constexpr std::int8_t FONT_LARGE_WIDTHS[FONT_WIDE_GLYPH_COUNT] = {
    9, 9, 15, 15, 20, 18, 6, 12, 12, 12,
    15, 8, 10, 8, 13, 15, 10, 13, 14, 14,
    14, 14, 14, 14, 13, 9, 9, 15, 15, 15,
    14, 21, 15, 16, 17, 18, 15, 14, 18, 18,
    8, 10, 16, 13, 21, 18, 19, 15, 19, 16,
    14, 15, 18, 15, 22, 16, 15, 15, 8, 15,
    8, 13, 13, 13, 14, 15, 13, 15, 14, 8,
    14, 15, 8, 8, 13, 8, 20, 15, 15, 15,
    15, 10, 12, 9, 15, 12, 18, 12, 12, 12,
    9, 6, 9, 13, 0, 0, 0, 0, 0,
};
// clang-format on
