#include "lib/font_image_writer.h"

#include "gfx/text_bitmap_widths.h"
#include "platform/gdi_font.h"

#include <algorithm>
#include <span>

namespace {

constexpr const char* k_face = "IPAPGothic";
constexpr std::uint32_t k_white = 0x00FFFFFF;
constexpr int k_gray_levels = 16; // GGO_GRAY4_BITMAP's full coverage
constexpr int k_alpha_levels = 15;
constexpr int k_tiny_index_base = 32;   // glyph c - 32 below 128
constexpr int k_tiny_high_glyphs = 192; // glyph c + 64 of the normal set's bytes from 128 on
constexpr int k_tiny_normal_shift = 64;
constexpr int k_wide_index_base = 33;
constexpr int k_fixed_one = 65536;

struct FontSpec {
    const BitmapFontGeometry& geometry;
    std::span<const std::int8_t> widths;
    int extra;  // quad texels beyond the width
    int margin; // clear texels on either side of the ink
};

FontSpec spec_of(FontImage font)
{
    switch (font) {
    case FontImage::Tiny:
        return {FONT_TINY_GEOMETRY, FONT_TINY_WIDTHS, 1, 0};
    case FontImage::Middle:
        return {FONT_MIDDLE_GEOMETRY, FONT_MIDDLE_WIDTHS, 0, 1};
    case FontImage::Large:
        break;
    }
    return {FONT_LARGE_GEOMETRY, FONT_LARGE_WIDTHS, 0, 1};
}

// The byte a glyph draws in the normal set; the tiny font's alternate set has no ink of its own.
int char_of(FontImage font, int glyph)
{
    if (font != FontImage::Tiny) return glyph + k_wide_index_base;
    if (glyph >= k_tiny_high_glyphs) return glyph - k_tiny_normal_shift;
    return glyph + k_tiny_index_base;
}

std::uint32_t alpha_of(int level)
{
    const int alpha = (std::min(level, k_gray_levels) * k_alpha_levels + k_gray_levels / 2) / k_gray_levels;
    return static_cast<std::uint32_t>(alpha * 0x11) << 24;
}

void put(DdsPixels& image, int x, int y, std::uint32_t argb)
{
    if (x < 0 || y < 0 || x >= static_cast<int>(image.width) || y >= static_cast<int>(image.height)) return;
    image.argb[static_cast<std::size_t>(y) * image.width + static_cast<std::size_t>(x)] = argb;
}

// The demo face at one pixel height in a memory context of its own.
class GlyphSource {
public:
    explicit GlyphSource(int height)
        : m_dc(CreateCompatibleDC(nullptr)),
          m_font(CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, PROOF_QUALITY, VARIABLE_PITCH | FF_MODERN, k_face))
    {
        TEXTMETRICA metrics{};
        if (m_dc && m_font && SelectObject(m_dc, m_font) && GetTextMetricsA(m_dc, &metrics))
            m_ascent = static_cast<int>(metrics.tmAscent);
    }
    ~GlyphSource()
    {
        if (m_dc) DeleteDC(m_dc);
        if (m_font) DeleteObject(m_font);
    }
    GlyphSource(const GlyphSource&) = delete;
    GlyphSource& operator=(const GlyphSource&) = delete;

    // Draws the character into the box (x, y, width, height), squeezed across when its ink is
    // wider than the box, with the baseline at the face's ascent below the box's top.
    void draw(DdsPixels& image, int code, const FontGlyphRect& box) const
    {
        MAT2 matrix{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        GLYPHMETRICS metrics{};
        if (!m_ascent || box.width <= 0 ||
            GetGlyphOutlineA(m_dc, static_cast<UINT>(code), GGO_METRICS, &metrics, 0, nullptr, &matrix) ==
                GDI_ERROR)
            return;
        if (static_cast<int>(metrics.gmBlackBoxX) > box.width) {
            const int squeeze = box.width * k_fixed_one / static_cast<int>(metrics.gmBlackBoxX);
            matrix.eM11 = {static_cast<WORD>(squeeze), 0};
        }
        const DWORD size =
            GetGlyphOutlineA(m_dc, static_cast<UINT>(code), GGO_GRAY4_BITMAP, &metrics, 0, nullptr, &matrix);
        if (size == 0 || size == GDI_ERROR) return;
        std::vector<BYTE> bits(size);
        if (GetGlyphOutlineA(m_dc, static_cast<UINT>(code), GGO_GRAY4_BITMAP, &metrics, size, bits.data(),
                             &matrix) != size)
            return;
        const int columns = static_cast<int>(metrics.gmBlackBoxX);
        const int pitch = (columns + 3) & ~3;
        const int left = box.left + std::clamp(static_cast<int>(metrics.gmptGlyphOrigin.x), 0,
                                               std::max(0, box.width - columns));
        const int top = box.top + m_ascent - static_cast<int>(metrics.gmptGlyphOrigin.y);
        for (int row = 0; row < static_cast<int>(metrics.gmBlackBoxY); ++row) {
            for (int column = 0; column < columns; ++column) {
                const int level = bits[static_cast<std::size_t>(row * pitch + column)];
                const int x = left + column, y = top + row;
                if (level == 0 || x >= box.left + box.width || y < box.top || y >= box.top + box.height)
                    continue;
                put(image, x, y, alpha_of(level) | k_white);
            }
        }
    }

private:
    HDC m_dc;
    HFONT m_font;
    int m_ascent = 0;
};

} // namespace

int font_image_glyph_count(FontImage font)
{
    return static_cast<int>(spec_of(font).widths.size());
}

FontGlyphRect font_image_glyph_rect(FontImage font, int glyph)
{
    const FontSpec spec = spec_of(font);
    const BitmapFontGeometry& g = spec.geometry;
    const int cell = glyph + g.first_cell;
    return {cell % g.per_row * g.cell_width + g.inset, cell / g.per_row * g.cell_height,
            spec.widths[static_cast<std::size_t>(glyph)] + spec.extra, g.glyph_height};
}

DdsPixels font_image_pixels(FontImage font, FontImageMode mode)
{
    const FontSpec spec = spec_of(font);
    DdsPixels image = dds_solid(static_cast<std::uint32_t>(spec.geometry.texture_width),
                                static_cast<std::uint32_t>(spec.geometry.texture_height), 0);
    const GlyphSource source(spec.geometry.glyph_height);
    for (int glyph = 0; glyph < font_image_glyph_count(font); ++glyph) {
        const int width = spec.widths[static_cast<std::size_t>(glyph)];
        if (width <= 0) continue;
        const FontGlyphRect rect = font_image_glyph_rect(font, glyph);
        if (mode == FontImageMode::Blocks) {
            for (int y = rect.top; y < rect.top + rect.height; ++y)
                for (int x = rect.left; x < rect.left + rect.width; ++x)
                    put(image, x, y, 0xFF000000 | k_white);
            continue;
        }
        const FontGlyphRect ink{rect.left + spec.margin, rect.top, width - 2 * spec.margin, rect.height};
        source.draw(image, char_of(font, glyph), ink);
    }
    return image;
}

std::vector<std::uint8_t> font_image_build(FontImage font, FontImageMode mode)
{
    const DdsPixels pixels = font_image_pixels(font, mode);
    return dds_build(DdsFormat::A4R4G4B4, std::span(&pixels, 1));
}
