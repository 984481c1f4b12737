// Proportional Shift-JIS text through GDI glyph outlines: 17-level gray glyph bitmaps, coloured
// and blitted into a 16-bit A4R4G4B4 texture (the text surface) that the renderer draws as a
// screen quad. A cache of 256 cells keeps recent glyph bitmaps, keyed by code and transform.
//
// Markup inside the text, each tag written <name:n> or <name:n,m> (names without regard to case;
// numbers in decimal, 0x hex, 0b binary, or 16.16 with a '.'):
//   <x:n> <y:n>        move the pen (640x480 units on a scaled surface)
//   <color:argb>       text colour; <color> alone returns to the request's colour
//   <rot:deg>          rotate the glyphs
//   <scale:n>          glyph scale: 1-255 whole factors, 256 and above 16.16 (65536 = 1)
//   <stpos> <ldpos>    remember the pen, return to it
//   <code:n>           draw the character code n (1-0xFFFF)
//   <font:i>           the request's font i
//   <ruby:dx,dy> ... <endruby>   half-scale uncounted annotation above the last glyph
//   <count> <nocount>  whether the following glyphs count for the typewriter reveal
// A '<' without a '>' after it, or written "<<", is an ordinary character.
#pragma once

#include "core/image.h"
#include "platform/d3d8.h"
#include "platform/d3dx8.h"
#include "platform/gdi_font.h"

#include <cstdint>

// One text texture with its drawing context. All zero when new.
struct TextSurface {
    IDirect3DTexture8* texture = nullptr; // A4R4G4B4, one level, managed
    HFONT default_font = nullptr;         // used when the text selects none
    std::int32_t width = 0;               // powers of two
    std::int32_t height = 0;
    Rect bounds{};                 // the texture's rectangle; glyph blits are clipped to it
    std::uint8_t done = 0;         // a copy of the last render's done flag
    std::uint8_t scaled = 0;       // sizes and positions are in 640x480 units
    HDC dc = nullptr;              // a memory context
    HFONT font = nullptr;          // the font selected into it
    TEXTMETRICA metrics{};         // of that font
    std::int32_t wide_space = 0;   // advance of 0x8140 under the current transform
    std::int32_t space = 0;        // advance of 0x20
    std::int32_t extent_width = 0; // of the last render, pixels
    std::int32_t extent_height = 0;
    std::int32_t last_full_glyph = 0; // index of the last fully drawn counted glyph
};

// A caller's request to measure or render a text.
struct TextRequest {
    std::int32_t width = 0; // out: the laid-out text in pixels
    std::int32_t height = 0;
    std::int32_t virtual_width = 0; // out: in 640x480 units on a scaled surface, else pixels
    std::int32_t virtual_height = 0;
    // text_measure: the counted glyphs in 16.16; text_render: set to 1 as its done flag.
    std::int32_t counted = 0;
    const char* text = nullptr;    // Shift-JIS with markup
    std::int32_t line_spacing = 0; // extra pixels between lines (640x480 units when scaled)
    const HFONT* fonts = nullptr;  // for the font tag
    std::int32_t font_count = 0;
    std::int32_t visible = 0; // 16.16: glyphs shown; the fraction fades the next one in
    std::uint32_t color = 0;  // ARGB
    std::int32_t clear = 0;   // clear the texture before drawing
    std::uint8_t unused[4]{};
    std::int32_t y_offset = 0; // pixels added to every glyph
    std::int32_t reserved = 0; // text_render sets it to 0
};

// One glyph-cache record: the bitmap of `code` under `matrix` from `font`, in `cell`.
struct GlyphRecord {
    GLYPHMETRICS metrics;
    MAT2 matrix;
    std::uint16_t code; // 0 = free
    std::uint16_t age;  // lookups since last used, up to 0xFFFF
    std::uint32_t hash;
    std::uint32_t size; // bitmap bytes
    std::uint8_t* cell;
    HFONT font;
};

constexpr int GLYPH_CACHE_RECORDS = 256;

// ---- Glyph cache ------------------------------------------------------------------------------
// Cells of cell_width x cell_height bytes, all records free, no glyph too large yet.
// E_OUTOFMEMORY when the cells cannot be had.
HRESULT glyph_cache_init(std::int32_t cell_width, std::int32_t cell_height);
// The engine start-up step after the renderer: cells of width x 21 / 640 by height x 21 / 480
// of the back buffer (21 x 21 at 640x480).
HRESULT glyph_cache_start(std::uint32_t back_buffer_width, std::uint32_t back_buffer_height);
// Frees the cells and records; safe when never started.
void glyph_cache_shutdown();

std::int32_t glyph_cache_cell_width();
std::int32_t glyph_cache_cell_height();
// The used records, sorted by hash.
std::int32_t glyph_cache_used();
const GlyphRecord& glyph_cache_record(std::int32_t index);
// The byte size of the last glyph that did not fit a cell; -1 after none, or after a glyph
// that could not be rendered.
std::int32_t glyph_cache_too_large();

// The key of a code under a matrix.
std::uint32_t glyph_hash(const MAT2& matrix, std::uint32_t code);
// The record of the code under the matrix in the context's font `font`, made on a miss; null
// when the glyph is too large for a cell (glyph_cache_too_large() >= 0: draw it uncached) or
// cannot be rendered (glyph_cache_too_large() == -1: draw nothing).
const GlyphRecord* glyph_cache_get(const MAT2& matrix, HDC dc, HFONT font, std::uint32_t code);

// ---- Surfaces -----------------------------------------------------------------------------------
// With `scaled` the size is scaled from 640x480 to the back buffer; each side becomes the
// smallest power of two not below it. Creates the texture (the device's code on failure, the
// surface then has none), clears it and makes the memory context.
HRESULT text_create_surface(bool scaled, std::int32_t width, TextSurface& surface, HFONT font,
                            std::int32_t height);
// Releases the texture and the memory context; the surface is all zero again.
void text_release_surface(TextSurface& surface);
// Zeroes every row of the texture.
void text_clear_surface(TextSurface& surface);
// When the font differs from the selected one: select it, read its metrics, measure the spaces.
void text_select_font(HFONT font, TextSurface& surface, const MAT2& matrix);
// The advances of 0x8140 and 0x20 under the matrix.
void text_measure_spaces(TextSurface& surface, const MAT2& matrix);

// ---- Markup -------------------------------------------------------------------------------------
enum TextTag {
    TEXT_TAG_NONE = -1,
    TEXT_TAG_X,
    TEXT_TAG_Y,
    TEXT_TAG_COLOR,
    TEXT_TAG_ROT,
    TEXT_TAG_SCALE,
    TEXT_TAG_STPOS,
    TEXT_TAG_LDPOS,
    TEXT_TAG_CODE,
    TEXT_TAG_FONT,
    TEXT_TAG_RUBY,
    TEXT_TAG_ENDRUBY,
    TEXT_TAG_COUNT,
    TEXT_TAG_NOCOUNT,
};

// Rotation 0 is a pure scale; else the 256-step table's cosine and sine of the angle times the
// 16.16 scale.
void text_make_matrix(std::int32_t degrees, std::int32_t scale, MAT2& matrix);
// 0 or less: 1.0; 1-255: whole factors; 256 and above: already 16.16.
std::int32_t text_parse_scale(std::int32_t value);
// The tag of a tag's text (what stands between '<' and '>'), with its numbers (0 when not
// given) and how many were given; TEXT_TAG_NONE for an unknown name or unreadable numbers.
int text_parse_tag(const char* tag, std::int32_t numbers[2], int& count);

// ---- Measuring and rendering ------------------------------------------------------------------
// Writes level w (2..16) of the 17-level glyph bitmap as ((w - 1) x alpha / 15) << 12 | rgb of
// the A4R4G4B4 colour at (x, y) of the image, clipped to it; levels 0 and 1 leave pixels as
// they are.
void glyph_blit4(Image16& image, const Image8& glyph, std::uint16_t color, std::int32_t x, std::int32_t y);
// Lays the text out without drawing: the extents and the counted glyphs (16.16) into the request.
void text_measure(TextSurface& surface, TextRequest& request);
// Renders the text into the surface up to the request's visible count. The request's done
// flag (`counted`) becomes 1 when the text ended with every counted glyph fully drawn, or
// when the reveal stopped on the text's last character; it is never cleared here.
void text_render(TextSurface& surface, TextRequest& request);

// ---- Drawing --------------------------------------------------------------------------------------
// Draws the surface's top-left size (at most the texture) as a screen quad at the position, with
// a drop shadow one offset to the left and below, during the frame's drawing. A surface made
// at back-buffer resolution is placed at the scaled position; another is stretched with the
// 640x480 virtual screen. The game's offset is (1, 1).
void text_draw(const D3DXVECTOR2& position, const D3DXVECTOR2& size, const D3DXVECTOR2& offset,
               const TextSurface& surface, D3DCOLOR shadow_color, D3DCOLOR text_color);
