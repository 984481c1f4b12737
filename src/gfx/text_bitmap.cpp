#include "gfx/text_bitmap.h"

#include "core/text.h"
#include "game/g_image_table.h"
#include "gfx/text_bitmap_widths.h"

#include <algorithm>
#include <span>

BitmapFont g_font_middle{};
BitmapFont g_font_large{};
ScreenVertex g_text_scratch[TEXT_SCRATCH_VERTICES];

static_assert(FONT_WIDE_GLYPH_COUNT == BITMAP_FONT_GLYPHS);

namespace {

constexpr MaterialFlags k_text_material = 1u | MAT_ALPHA_BLEND; // 65: the texture's alpha over the frame
constexpr int k_image_tiny = 4;
constexpr int k_image_middle = 5;
constexpr int k_image_large = 6;
constexpr int k_highest_glyph_char = BITMAP_FONT_FIRST_CHAR + BITMAP_FONT_GLYPHS - 1;
constexpr char k_escape = '#';
constexpr int k_hex_colour_digits = 8;
constexpr int k_tiny_line = 12;
constexpr int k_tiny_blank = 5;
constexpr unsigned char k_tiny_alternate_set = 0x9F;
constexpr unsigned char k_tiny_normal_set = 0x9E;
constexpr int k_tiny_index_base = 32;   // glyph c - 32, and so in the alternate set
constexpr int k_tiny_high_bytes = 128;  // the set switch applies from here on
constexpr int k_tiny_normal_shift = 64; // a high byte's glyph in the normal set is c + 64

// A glyph's quad on the virtual screen (or in world units) and its texture rectangle.
struct GlyphQuad {
    float x0, y0, x1, y1;
    float u0, v0, u1, v1;
    D3DCOLOR colour;
};

BitmapGlyph glyph_of(const BitmapFontGeometry& geometry, int cell, int width, int extra)
{
    const float tw = static_cast<float>(geometry.texture_width);
    const float th = static_cast<float>(geometry.texture_height);
    const float left =
        static_cast<float>(cell % geometry.per_row * geometry.cell_width + geometry.inset) / tw;
    const float top = static_cast<float>(cell / geometry.per_row * geometry.cell_height) / th;
    return {static_cast<float>(width), left, top, left + static_cast<float>(width + extra) / tw,
            top + static_cast<float>(geometry.glyph_height) / th};
}

void build_font(BitmapFont& font, const BitmapFontGeometry& geometry, std::span<const std::int8_t> widths,
                int image)
{
    for (int g = 0; g < BITMAP_FONT_GLYPHS; ++g)
        font.glyphs[g] = glyph_of(geometry, g + geometry.first_cell, widths[static_cast<std::size_t>(g)], 0);
    font.line_height = static_cast<float>(geometry.cell_height);
    font.cell_width = static_cast<float>(geometry.cell_width);
    font.third_size = static_cast<float>(geometry.glyph_height);
    font.texture = g_texture_handles[image];
}

void stretch(GlyphQuad& quad)
{
    if (!g_screen_scale.stretched) return;
    quad.x0 *= g_screen_scale.sx;
    quad.x1 *= g_screen_scale.sx;
    quad.y0 *= g_screen_scale.sy;
    quad.y1 *= g_screen_scale.sy;
}

void set_corner(ScreenVertex& out, float x, float y, D3DCOLOR colour, float u, float v)
{
    out = {x, y, 0.0f, 1.0f, colour, u, v};
}

void set_corner(BatchVertex& out, float x, float y, D3DCOLOR colour, float u, float v)
{
    out = {x, y, 0.0f, colour, u, v};
}

// Two triangles: top left, top right, bottom left, then bottom left, top right, bottom right.
template <typename Vertex> void write_quad(const GlyphQuad& q, Vertex* out)
{
    set_corner(out[0], q.x0, q.y0, q.colour, q.u0, q.v0);
    set_corner(out[1], q.x1, q.y0, q.colour, q.u1, q.v0);
    set_corner(out[2], q.x0, q.y1, q.colour, q.u0, q.v1);
    out[3] = out[2];
    out[4] = out[1];
    set_corner(out[5], q.x1, q.y1, q.colour, q.u1, q.v1);
}

// The pen of one text and the extent it has covered: the widest line and the lines' height.
struct TextPen {
    float start_x, x, y;
    float widest = 0.0f;
    float height;

    void new_line(float line_height)
    {
        widest = std::max(widest, x - start_x);
        x = start_x;
        y += line_height;
        height += line_height;
    }
    D3DXVECTOR2 extent() const { return {std::max(widest, x - start_x), height}; }
};

// The walk shared by the layouts, the draw and the measure of the middle and large fonts: hands
// every glyph's quad, unstretched, to `emit`. An empty text has no extent at all.
template <typename Emit>
D3DXVECTOR2 walk_large(const char* text, float x, float y, D3DCOLOR colour, const BitmapFont& font,
                       float scale, Emit&& emit)
{
    if (!text || !*text) return {0.0f, 0.0f};
    const D3DCOLOR default_colour = colour;
    TextPen pen{x - 0.5f, x - 0.5f, y - 0.5f, 0.0f, font.line_height * scale};
    for (const char* cursor = text;;) {
        if (text_parse_escape(cursor, colour, pen.x, default_colour)) continue;
        const auto c = static_cast<unsigned char>(*cursor);
        if (c == '\0') break;
        ++cursor;
        if (c == ' ' || c == '\t') {
            pen.x += font.cell_width / 2.0f * scale;
        } else if (c == '\n') {
            pen.new_line(font.line_height * scale);
        } else if (c >= BITMAP_FONT_FIRST_CHAR) {
            const int index = c > k_highest_glyph_char ? BITMAP_FONT_STAR_GLYPH : c - BITMAP_FONT_FIRST_CHAR;
            const BitmapGlyph& glyph = font.glyphs[index];
            emit(GlyphQuad{pen.x, pen.y, pen.x + glyph.advance * scale,
                           pen.y + (font.line_height - 1.0f) * scale, glyph.u0, glyph.v0, glyph.u1, glyph.v1,
                           colour});
            pen.x += (glyph.advance - 2.0f) * scale;
        }
    }
    return pen.extent();
}

// The tiny font's glyph index of a high byte depends on the set selected last.
int tiny_glyph_index(unsigned char c, bool alternate)
{
    if (c < k_tiny_high_bytes || alternate) return c - k_tiny_index_base;
    return c + k_tiny_normal_shift;
}

template <typename Emit>
D3DXVECTOR2 walk_tiny(const char* text, float x, float y, D3DCOLOR colour, Emit&& emit)
{
    if (!text || !*text) return {0.0f, 0.0f};
    TextPen pen{x - 0.5f, x - 0.5f, y - 0.5f, 0.0f, k_tiny_line};
    bool alternate = false;
    for (const char* cursor = text; *cursor; ++cursor) {
        const auto c = static_cast<unsigned char>(*cursor);
        if (c == ' ' || c == '\t') {
            pen.x += k_tiny_blank;
        } else if (c == '\n') {
            pen.new_line(k_tiny_line);
        } else if (c == k_tiny_alternate_set || c == k_tiny_normal_set) {
            alternate = c == k_tiny_alternate_set;
        } else if (c >= BITMAP_FONT_FIRST_CHAR) {
            const int index = tiny_glyph_index(c, alternate);
            const int width = FONT_TINY_WIDTHS[static_cast<std::size_t>(index)];
            const BitmapGlyph glyph = glyph_of(FONT_TINY_GEOMETRY, index, width, 1);
            emit(GlyphQuad{pen.x, pen.y, pen.x + glyph.advance + 1.0f, pen.y + k_tiny_line, glyph.u0,
                           glyph.v0, glyph.u1, glyph.v1, colour});
            pen.x += glyph.advance;
        }
    }
    return pen.extent();
}

template <typename Vertex>
std::uint32_t layout_quads(Vertex* dest, const char* text, float x, float y, D3DCOLOR colour,
                           const BitmapFont& font, D3DXVECTOR2* size, bool stretched, float scale)
{
    std::uint32_t glyphs = 0;
    const D3DXVECTOR2 extent = walk_large(text, x, y, colour, font, scale, [&](GlyphQuad quad) {
        if (stretched) stretch(quad);
        write_quad(quad, dest + 6 * glyphs++);
    });
    if (size) *size = extent;
    return 2 * glyphs;
}

// Collects glyphs in the scratch vertices and draws them whenever it is full and at the end,
// so a text of any length is drawn whole without a block of its own.
class ScratchDraw {
public:
    explicit ScratchDraw(IDirect3DTexture8* texture)
    {
        if (k_text_material != g_current_material) renderer_set_material_state(k_text_material);
        d3d_set_texture_cached(0, texture);
        m_buffer = &renderer_use_vb_rhw_tex();
        m_per_upload = std::min<UINT>(TEXT_SCRATCH_GLYPHS, m_buffer->capacity / 6);
    }
    ScratchDraw(const ScratchDraw&) = delete;
    ScratchDraw& operator=(const ScratchDraw&) = delete;
    ~ScratchDraw() { flush(); }

    void add(GlyphQuad quad)
    {
        if (m_per_upload == 0) return;
        stretch(quad);
        write_quad(quad, g_text_scratch + 6 * m_glyphs);
        if (++m_glyphs == m_per_upload) flush();
    }

private:
    void flush()
    {
        if (m_glyphs == 0) return;
        UINT start = 0;
        if (renderer_vb_upload(6 * m_glyphs, *m_buffer, g_text_scratch, start))
            d3d_draw_primitive(D3DPT_TRIANGLELIST, start, 2 * m_glyphs);
        m_glyphs = 0;
    }

    DynamicBuffer* m_buffer;
    UINT m_per_upload;
    UINT m_glyphs = 0;
};

} // namespace

void text_build_small_font()
{
    build_font(g_font_middle, FONT_MIDDLE_GEOMETRY, FONT_MIDDLE_WIDTHS, k_image_middle);
}

void text_build_large_font()
{
    build_font(g_font_large, FONT_LARGE_GEOMETRY, FONT_LARGE_WIDTHS, k_image_large);
}

bool text_parse_escape(const char*& cursor, D3DCOLOR& colour, float& pen_x, D3DCOLOR default_colour)
{
    if (*cursor != k_escape) return false;
    const char kind = cursor[1];
    ++cursor; // the '#' is gone whatever follows
    if (kind == '$') {
        ++cursor;
        if (*cursor == '-') {
            colour = default_colour;
            ++cursor;
            return true;
        }
        D3DCOLOR value = 0;
        for (int digits = 0; digits < k_hex_colour_digits; ++digits, ++cursor) {
            const int digit = sys_hex_digit_value(static_cast<unsigned char>(*cursor));
            if (digit < 0) {
                if (digits > 0) colour = value;
                return false;
            }
            value = value << 4 | static_cast<D3DCOLOR>(digit);
        }
        colour = value;
        return true;
    }
    if (kind == '<' || kind == '>') {
        ++cursor;
        const int digit = sys_hex_digit_value(static_cast<unsigned char>(*cursor));
        if (digit < 0) return false;
        pen_x += kind == '<' ? -static_cast<float>(digit) : static_cast<float>(digit);
        ++cursor;
        return true;
    }
    return false;
}

std::uint32_t text_layout_quads(ScreenVertex* dest, const char* text, float x, float y, D3DCOLOR colour,
                                const BitmapFont& font, D3DXVECTOR2* size, bool stretched, float scale)
{
    return layout_quads(dest, text, x, y, colour, font, size, stretched, scale);
}

std::uint32_t text_layout_quads(BatchVertex* dest, const char* text, float x, float y, D3DCOLOR colour,
                                const BitmapFont& font, D3DXVECTOR2* size, bool stretched, float scale)
{
    return layout_quads(dest, text, x, y, colour, font, size, stretched, scale);
}

void text_draw_large(float x, float y, D3DCOLOR colour, const BitmapFont& font, float scale, const char* text)
{
    ScratchDraw draw(font.texture);
    walk_large(text, x, y, colour, font, scale, [&](const GlyphQuad& quad) { draw.add(quad); });
}

void text_measure_large(const char* text, float& width, float& height, const BitmapFont& font)
{
    const D3DXVECTOR2 extent = walk_large(text, 0.0f, 0.0f, 0, font, 1.0f, [](const GlyphQuad&) {});
    width = extent.x;
    height = extent.y;
}

void text_draw_small(const char* text, float x, float y, D3DCOLOR colour)
{
    ScratchDraw draw(g_texture_handles[k_image_tiny]);
    walk_tiny(text, x, y, colour, [&](const GlyphQuad& quad) { draw.add(quad); });
}

void text_measure_small(const char* text, float& width, float& height)
{
    const D3DXVECTOR2 extent = walk_tiny(text, 0.0f, 0.0f, 0, [](const GlyphQuad&) {});
    width = extent.x;
    height = extent.y;
}
