// Glyph outlines of the GDI stand-in: a glyph's outline (from FreeType or the synthetic test
// font) goes through the caller's matrix and FreeType's rasteriser into gray levels.
#include "platform/gdi_font.h"

#include "platform/impl/gdi_font_internal.h"
#include "platform/impl/sjis.h"
#include "platform/impl/win_handles.h"

#include FT_OUTLINE_H

#include <unordered_map>
#include <vector>

namespace {

constexpr FT_Pos k_pixel = 64; // FreeType's 26.6 unit
// Bitmaps larger than this on either side are refused rather than allocated.
constexpr int k_max_bitmap_side = 4096;

// The matrix FreeType uses to slant a face that has no italic (about 12 degrees).
constexpr FT_Matrix k_oblique = {0x10000, 0x0366A, 0, 0x10000};

// One glyph on its way to a bitmap: the outline (FreeType's glyph slot, or the synthetic
// rectangle kept here) and the advance, both in 26.6 pixels.
struct Glyph {
    FT_Outline* outline = nullptr;
    FT_Vector advance{0, 0};
    FT_Vector rect_points[4]{};
    char rect_tags[4]{FT_CURVE_TAG_ON, FT_CURVE_TAG_ON, FT_CURVE_TAG_ON, FT_CURVE_TAG_ON};
    short rect_end = 3;
    FT_Outline rect{};
};

// The black box in whole pixels; empty for a glyph without ink.
struct GlyphBox {
    int left = 0;
    int bottom = 0;
    int width = 0;
    int rows = 0;
    bool blank() const { return width <= 0 || rows <= 0; }
    DWORD pitch() const { return static_cast<DWORD>((width + 3) & ~3); }
};

std::unordered_map<UINT, FT_ULong> g_unicode_of; // Shift-JIS code -> Unicode (0: none)

// The first code point of UTF-8 text when it is the only one; 0 otherwise.
FT_ULong single_code_point(const std::string& utf8)
{
    if (utf8.empty()) return 0;
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    unsigned char lead = byte(0);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (utf8.size() != length) return 0;
    if (length == 1) return lead;
    FT_ULong value = lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length; ++i)
        value = value << 6 | (byte(i) & 0x3F);
    return value == 0xFFFD ? 0 : value;
}

FT_ULong unicode_of(UINT code)
{
    if (code < 0x80) return code;
    if (code > 0xFFFF) return 0;
    auto known = g_unicode_of.find(code);
    if (known != g_unicode_of.end()) return known->second;
    std::string bytes;
    if (code > 0xFF) bytes += static_cast<char>(code >> 8);
    bytes += static_cast<char>(code & 0xFF);
    FT_ULong value = single_code_point(sjis_to_utf8(bytes));
    g_unicode_of[code] = value;
    return value;
}

void set_rect(Glyph& glyph, int x0, int y0, int x1, int y1)
{
    // Clockwise with y up, as TrueType fills.
    glyph.rect_points[0] = {x0 * k_pixel, y0 * k_pixel};
    glyph.rect_points[1] = {x0 * k_pixel, y1 * k_pixel};
    glyph.rect_points[2] = {x1 * k_pixel, y1 * k_pixel};
    glyph.rect_points[3] = {x1 * k_pixel, y0 * k_pixel};
    glyph.rect.n_points = 4;
    glyph.rect.n_contours = 1;
}

void load_synthetic(const FontTag& font, UINT code, Glyph& glyph)
{
    int h = font.synthetic_height;
    int ascent = font.metrics.tmAscent;
    int descent = font.metrics.tmDescent;
    glyph.rect.points = glyph.rect_points;
    glyph.rect.tags = glyph.rect_tags;
    glyph.rect.contours = &glyph.rect_end;
    glyph.outline = &glyph.rect;
    if (code == 0x20) {
        glyph.advance.x = h / 4 * k_pixel;
    } else if (code == 0x8140) {
        glyph.advance.x = h * k_pixel;
    } else if (code <= 0xFF) {
        set_rect(glyph, 1, 0, h / 2 - 1, ascent);
        glyph.advance.x = h / 2 * k_pixel;
    } else {
        set_rect(glyph, 1, 1 - descent, h - 1, ascent - 1);
        glyph.advance.x = h * k_pixel;
    }
}

bool load_face_glyph(const FontTag& font, UINT code, bool glyph_index, Glyph& glyph)
{
    FT_Face face = font.face;
    if (glyph_index && code >= static_cast<UINT>(face->num_glyphs)) return false;
    FT_UInt index = glyph_index ? code : FT_Get_Char_Index(face, unicode_of(code));
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP) != 0 || face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return false;
    glyph.outline = &face->glyph->outline;
    glyph.advance = face->glyph->advance;
    if (font.embolden) {
        FT_Pos strength = FT_MulFix(face->units_per_EM, face->size->metrics.y_scale) / 24;
        FT_Outline_EmboldenXY(glyph.outline, strength, 0);
        glyph.advance.x += strength;
    }
    if (font.oblique) FT_Outline_Transform(glyph.outline, &k_oblique);
    return true;
}

FT_Fixed fixed_value(const FIXED& value)
{
    return static_cast<FT_Fixed>(value.value) * 0x10000 + value.fract;
}

void transform(Glyph& glyph, const MAT2& matrix)
{
    FT_Matrix m{fixed_value(matrix.eM11), fixed_value(matrix.eM21), fixed_value(matrix.eM12),
                fixed_value(matrix.eM22)};
    if (m.xx == 0x10000 && m.xy == 0 && m.yx == 0 && m.yy == 0x10000) return;
    FT_Outline_Transform(glyph.outline, &m);
    FT_Vector_Transform(&glyph.advance, &m);
}

GlyphBox box_of(const FT_Outline& outline)
{
    GlyphBox box;
    if (outline.n_points == 0) return box;
    FT_BBox cbox;
    FT_Outline_Get_CBox(&outline, &cbox);
    FT_Pos left = cbox.xMin & -k_pixel;
    FT_Pos bottom = cbox.yMin & -k_pixel;
    box.left = static_cast<int>(left / k_pixel);
    box.bottom = static_cast<int>(bottom / k_pixel);
    box.width = static_cast<int>((((cbox.xMax + k_pixel - 1) & -k_pixel) - left) / k_pixel);
    box.rows = static_cast<int>((((cbox.yMax + k_pixel - 1) & -k_pixel) - bottom) / k_pixel);
    return box;
}

short round_pixels(FT_Pos value)
{
    return static_cast<short>(((value + k_pixel / 2) & -k_pixel) / k_pixel);
}

void fill_metrics(const Glyph& glyph, const GlyphBox& box, GLYPHMETRICS& metrics)
{
    metrics.gmCellIncX = round_pixels(glyph.advance.x);
    metrics.gmCellIncY = round_pixels(glyph.advance.y);
    if (box.blank()) {
        // The platform answers a glyph without ink with a one-pixel box at the pen.
        metrics.gmBlackBoxX = metrics.gmBlackBoxY = 1;
        metrics.gmptGlyphOrigin = {0, 0};
        return;
    }
    metrics.gmBlackBoxX = static_cast<UINT>(box.width);
    metrics.gmBlackBoxY = static_cast<UINT>(box.rows);
    metrics.gmptGlyphOrigin = {box.left, box.bottom + box.rows};
}

// Rasterises the outline into `out` as levels 0..max_level, rows top-down at the box's pitch.
bool rasterise(Glyph& glyph, const GlyphBox& box, int max_level, BYTE* out)
{
    std::vector<unsigned char> coverage(static_cast<std::size_t>(box.width) * box.rows);
    FT_Bitmap bitmap{};
    bitmap.rows = static_cast<unsigned>(box.rows);
    bitmap.width = static_cast<unsigned>(box.width);
    bitmap.pitch = box.width;
    bitmap.buffer = coverage.data();
    bitmap.num_grays = 256;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    FT_Outline_Translate(glyph.outline, -box.left * k_pixel, -box.bottom * k_pixel);
    if (FT_Outline_Get_Bitmap(font_library(), glyph.outline, &bitmap) != 0) return false;
    DWORD pitch = box.pitch();
    for (int y = 0; y < box.rows; ++y) {
        BYTE* row = out + static_cast<std::size_t>(y) * pitch;
        std::fill(row, row + pitch, BYTE{0});
        for (int x = 0; x < box.width; ++x) {
            int level = coverage[static_cast<std::size_t>(y) * box.width + x];
            row[x] = static_cast<BYTE>((level * max_level + 127) / 255);
        }
    }
    return true;
}

int max_level_of(UINT kind)
{
    switch (kind) {
    case GGO_GRAY2_BITMAP:
        return 4;
    case GGO_GRAY4_BITMAP:
        return 16;
    case GGO_GRAY8_BITMAP:
        return 64;
    default:
        return 0;
    }
}

DWORD glyph_error(DWORD error)
{
    SetLastError(error);
    return GDI_ERROR;
}

} // namespace

DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD buffer_size, void* buffer,
                       const MAT2* matrix)
{
    UINT kind = format & ~GGO_GLYPH_INDEX;
    int max_level = max_level_of(kind);
    if (!metrics || !matrix || (kind != GGO_METRICS && max_level == 0))
        return glyph_error(ERROR_INVALID_PARAMETER);

    std::lock_guard lock(font_lock());
    const FontTag* font = font_of_context(dc);
    if (!font) return glyph_error(ERROR_INVALID_HANDLE);
    Glyph glyph;
    if (font->face) {
        if (!load_face_glyph(*font, code, format & GGO_GLYPH_INDEX, glyph))
            return glyph_error(ERROR_INVALID_PARAMETER);
    } else {
        load_synthetic(*font, code, glyph);
    }
    transform(glyph, *matrix);
    GlyphBox box = box_of(*glyph.outline);
    fill_metrics(glyph, box, *metrics);
    if (kind == GGO_METRICS) return 1;

    if (box.width > k_max_bitmap_side || box.rows > k_max_bitmap_side)
        return glyph_error(ERROR_NOT_ENOUGH_MEMORY);
    DWORD size = box.blank() ? 0 : box.pitch() * static_cast<DWORD>(box.rows);
    if (!buffer || buffer_size == 0 || size == 0) return size;
    if (buffer_size < size) return glyph_error(ERROR_INSUFFICIENT_BUFFER);
    if (code == font_failing_bitmap()) return glyph_error(ERROR_INVALID_PARAMETER);
    if (!rasterise(glyph, box, max_level, static_cast<BYTE*>(buffer)))
        return glyph_error(ERROR_NOT_ENOUGH_MEMORY);
    return size;
}
