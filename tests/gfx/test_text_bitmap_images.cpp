#include "gfx/text_bitmap_widths.h"
#include "lib/emotion_image_writer.h"
#include "lib/font_image_writer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr std::uint32_t k_opaque_white = 0xFFFFFFFF;

std::uint32_t pixel(const DdsPixels& image, int x, int y)
{
    return image.argb[static_cast<std::size_t>(y) * image.width + static_cast<std::size_t>(x)];
}

std::uint16_t file_word(const std::vector<std::uint8_t>& file, std::size_t offset)
{
    return static_cast<std::uint16_t>(file[offset] | file[offset + 1] << 8);
}

std::uint32_t file_u32(const std::vector<std::uint8_t>& file, std::size_t offset)
{
    std::uint32_t value = 0;
    std::memcpy(&value, &file[offset], sizeof value);
    return value;
}

const FontImage k_fonts[] = {FontImage::Tiny, FontImage::Middle, FontImage::Large};

} // namespace

// Known glyphs' rectangles: the tiny font's is its width + 1 wide, the middle font's starts one
// texel into the cell after the glyph's, the large font's 21 to a row.
TEST(FontImageWriter, GlyphRectanglesLieWhereTheGameLooks)
{
    const struct {
        FontImage font;
        int glyph;
        FontGlyphRect rect;
    } cases[] = {
        {FontImage::Tiny, 'A' - 32, {8, 24, FONT_TINY_WIDTHS['A' - 32] + 1, 12}},
        {FontImage::Tiny, 0xB1 + 64, {8, 180, FONT_TINY_WIDTHS[0xB1 + 64] + 1, 12}},
        {FontImage::Middle, 0, {17, 0, 7, 16}},
        {FontImage::Middle, '0' - 33, {1, 17, 11, 16}},
        {FontImage::Large, '0' - 33, {360, 0, 15, 23}},
        {FontImage::Large, '9' - 33, {72, 24, 13, 23}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.glyph);
        const FontGlyphRect rect = font_image_glyph_rect(c.font, c.glyph);
        EXPECT_EQ(rect.left, c.rect.left);
        EXPECT_EQ(rect.top, c.rect.top);
        EXPECT_EQ(rect.width, c.rect.width);
        EXPECT_EQ(rect.height, c.rect.height);
    }
    EXPECT_EQ(font_image_glyph_count(FontImage::Tiny), 320);
    EXPECT_EQ(font_image_glyph_count(FontImage::Middle), 99);
}

// Block mode fills exactly the glyphs' rectangles: every pixel of each is opaque white and the
// white pixels add up to their areas, so none overlap and nothing lies outside them.
TEST(FontImageWriter, BlocksFillEachGlyphRectangleAndNothingElse)
{
    const unsigned sizes[][2] = {{128, 256}, {256, 128}, {512, 128}};
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        const FontImage font = k_fonts[f];
        const DdsPixels image = font_image_pixels(font, FontImageMode::Blocks);
        ASSERT_EQ(image.width, sizes[f][0]);
        ASSERT_EQ(image.height, sizes[f][1]);
        std::size_t area = 0;
        for (int glyph = 0; glyph < font_image_glyph_count(font); ++glyph) {
            const FontGlyphRect rect = font_image_glyph_rect(font, glyph);
            if (rect.width <= (font == FontImage::Tiny ? 1 : 0)) continue;
            area += static_cast<std::size_t>(rect.width * rect.height);
            for (int y = rect.top; y < rect.top + rect.height; ++y)
                for (int x = rect.left; x < rect.left + rect.width; ++x)
                    ASSERT_EQ(pixel(image, x, y), k_opaque_white) << glyph << " at " << x << ", " << y;
        }
        std::size_t white = 0;
        for (std::uint32_t argb : image.argb)
            white += argb == k_opaque_white;
        EXPECT_EQ(white, area);
    }
}

// Drawn glyphs are white with 4-bit coverage, inside their own width (less the one-texel margins
// of the middle and large fonts); every character of the demo fonts has ink.
TEST(FontImageWriter, GlyphsAreWhiteCoverageWithinTheirWidths)
{
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        const FontImage font = k_fonts[f];
        const int margin = font == FontImage::Tiny ? 0 : 1;
        const DdsPixels image = font_image_pixels(font, FontImageMode::Glyphs);
        std::vector<bool> owned(image.argb.size());
        for (int glyph = 0; glyph < font_image_glyph_count(font); ++glyph) {
            FontGlyphRect ink = font_image_glyph_rect(font, glyph);
            const int width = ink.width - (font == FontImage::Tiny ? 1 : 0);
            if (width <= 0) continue;
            ink.left += margin;
            ink.width = width - 2 * margin;
            int inked = 0;
            for (int y = ink.top; y < ink.top + ink.height; ++y)
                for (int x = ink.left; x < ink.left + ink.width; ++x) {
                    owned[static_cast<std::size_t>(y) * image.width + static_cast<std::size_t>(x)] = true;
                    inked += pixel(image, x, y) != 0;
                }
            EXPECT_GT(inked, 0) << "glyph " << glyph << " has no ink";
        }
        for (std::size_t i = 0; i < image.argb.size(); ++i) {
            const std::uint32_t argb = image.argb[i];
            if (argb == 0) continue;
            ASSERT_TRUE(owned[i]) << "ink outside every glyph at " << i % image.width << ", "
                                  << i / image.width;
            EXPECT_EQ(argb & 0xFFFFFF, 0xFFFFFFu);
            EXPECT_EQ((argb >> 24) % 0x11, 0u) << std::hex << argb;
        }
    }
}

// The files are A4R4G4B4 at the fonts' sizes, as the image table loads them.
TEST(FontImageWriter, WritesA4R4G4B4Files)
{
    const std::vector<std::uint8_t> file = font_image_build(FontImage::Middle, FontImageMode::Blocks);
    ASSERT_EQ(file.size(), DDS_AT_DATA + 256u * 128u * 2u);
    EXPECT_EQ(file_u32(file, DDS_AT_WIDTH), 256u);
    EXPECT_EQ(file_u32(file, DDS_AT_HEIGHT), 128u);
    EXPECT_EQ(file_u32(file, DDS_AT_RGB_BITS), 16u);
    EXPECT_EQ(file_u32(file, DDS_AT_MASKS + 12), 0xF000u);
    // The middle font's '!' starts at texel 17 of the first row; texel 16 is clear.
    EXPECT_EQ(file_word(file, DDS_AT_DATA + 2 * 17), 0xFFFF);
    EXPECT_EQ(file_word(file, DDS_AT_DATA + 2 * 16), 0x0000);
}

// Sixteen flat marks, each in its cell with its number as the red level, exact in 4 bits; the
// cells' rims are clear.
TEST(EmotionImageWriter, EachCellCarriesItsNumber)
{
    const DdsPixels image = emotion_image_pixels();
    ASSERT_EQ(image.width, 256u);
    ASSERT_EQ(image.height, 64u);
    const std::vector<std::uint8_t> file = emotion_image_build();
    ASSERT_EQ(file.size(), DDS_AT_DATA + 256u * 64u * 2u);
    for (unsigned cell = 0; cell < 16; ++cell) {
        SCOPED_TRACE(cell);
        const int left = static_cast<int>(cell % 8 * 32), top = static_cast<int>(cell / 8 * 32);
        EXPECT_EQ(emotion_cell_of(emotion_cell_color(cell)), cell);
        for (int offset : {4, 16, 27}) {
            EXPECT_EQ(pixel(image, left + offset, top + 16), emotion_cell_color(cell));
            EXPECT_EQ(pixel(image, left + 16, top + offset), emotion_cell_color(cell));
        }
        for (int offset : {0, 3, 28, 31}) {
            EXPECT_EQ(pixel(image, left + offset, top + 16), 0u);
            EXPECT_EQ(pixel(image, left + 16, top + offset), 0u);
        }
        const std::size_t centre = DDS_AT_DATA + 2 * static_cast<std::size_t>((top + 16) * 256 + left + 16);
        EXPECT_EQ(file_word(file, centre), 0xF00F | cell << 8 | (15 - cell) << 4);
    }
}
