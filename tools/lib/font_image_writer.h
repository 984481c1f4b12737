// The bitmap fonts' images "f_mini.dds", "f_middle.dds" and "f_geo20.dds", drawn from the game's
// own width tables and cell layout (gfx/text_bitmap_widths.h) so that every glyph lies where the
// game's rectangles look for it. Glyphs are rasterised through the GDI glyph outlines from the
// Japanese gothic face that scripts/setup installs, at each font's glyph height.
#pragma once

#include "lib/dds_writer.h"

#include <cstdint>
#include <vector>

enum class FontImage { Tiny, Middle, Large };

enum class FontImageMode {
    // Each glyph white, its coverage as the alpha, its ink fitted within the glyph's width (the
    // middle and large fonts keep one clear texel on either side, where neighbours overlap).
    Glyphs,
    // Each glyph's whole quad rectangle opaque white, so pixel tests know exactly where ink lies.
    Blocks,
};

// A glyph's quad rectangle in texels: the tiny font's is one texel wider than its width.
struct FontGlyphRect {
    int left, top, width, height;
};
FontGlyphRect font_image_glyph_rect(FontImage font, int glyph);
// The number of glyph indices of the font (320 tiny, 99 middle and large).
int font_image_glyph_count(FontImage font);

DdsPixels font_image_pixels(FontImage font, FontImageMode mode);
// The file, in A4R4G4B4 as the image table loads the fonts.
std::vector<std::uint8_t> font_image_build(FontImage font, FontImageMode mode);
