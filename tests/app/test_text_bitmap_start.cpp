#include "game/g_image_table.h"
#include "gfx/text_bitmap.h"
#include "gfx/text_bitmap_widths.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

namespace {

// The game's start on the demo data loads the three font images and the emotion icons, and builds
// the middle and large fonts from their tables on their images.
TEST(GameStart, BuildsTheBitmapFontsOnTheDemoImages)
{
    StartedGame game;
    ASSERT_EQ(game.start(), S_OK) << g_error_text;
    for (int image : {4, 5, 6, 13})
        EXPECT_NE(g_texture_handles[image], nullptr) << "image " << image;
    EXPECT_EQ(g_font_middle.texture, g_texture_handles[5]);
    EXPECT_EQ(g_font_large.texture, g_texture_handles[6]);
    for (int glyph = 0; glyph < BITMAP_FONT_GLYPHS; ++glyph) {
        EXPECT_EQ(g_font_middle.glyphs[glyph].advance, FONT_MIDDLE_WIDTHS[glyph]) << glyph;
        EXPECT_EQ(g_font_large.glyphs[glyph].advance, FONT_LARGE_WIDTHS[glyph]) << glyph;
    }
    EXPECT_EQ(g_font_middle.line_height, 17.0f);
    EXPECT_EQ(g_font_large.line_height, 24.0f);
}

} // namespace
