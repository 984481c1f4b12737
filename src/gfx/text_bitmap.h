// The three bitmap fonts of numbers, labels and short texts: the tiny font of its own routine,
// and the middle and large fonts that share one layout with an escape language for colours and
// kerning. Glyphs are quads on the 640x480 virtual screen, or in the world for popups.
#pragma once

#include "platform/d3d8.h"
#include "scenegraph/renderer.h"

#include <cstdint>

constexpr int BITMAP_FONT_FIRST_CHAR = 33;
constexpr int BITMAP_FONT_GLYPHS = 99;    // characters 33 to 131
constexpr int BITMAP_FONT_STAR_GLYPH = 9; // '*', drawn for any character above 131

struct BitmapGlyph {
    float advance; // the glyph's width in font units
    float u0, v0, u1, v1;
};
static_assert(sizeof(BitmapGlyph) == 20);

struct BitmapFont {
    BitmapGlyph glyphs[BITMAP_FONT_GLYPHS];
    float line_height;
    float cell_width; // a blank advances half of it
    float third_size; // the glyph rectangle's height
    IDirect3DTexture8* texture;
};

// Built at game initialisation from the image table's entries 5 ("f_middle") and 6 ("f_geo20").
extern BitmapFont g_font_middle;
extern BitmapFont g_font_large;

void text_build_small_font(); // the middle font, 16 x 17 cells
void text_build_large_font(); // the large font, 24 x 24 cells

// The escape at *cursor, which points at the current character: true when one was consumed
// (the cursor then points past it). Otherwise the cursor points at the character to handle as an
// ordinary one: unmoved without a '#', else past the dropped '#' and whatever of the escape was
// read (a partial colour's digits are kept). Never reads past the terminator.
bool text_parse_escape(const char*& cursor, D3DCOLOR& colour, float& pen_x, D3DCOLOR default_colour);

// Every draw lays its glyphs out in these scratch vertices, made once with the module, and
// uploads them a full scratch at a time: 85 glyphs fill the screen textured buffer's 512 vertices.
constexpr int TEXT_SCRATCH_GLYPHS = 85;
constexpr int TEXT_SCRATCH_VERTICES = 6 * TEXT_SCRATCH_GLYPHS;
extern ScreenVertex g_text_scratch[TEXT_SCRATCH_VERTICES];

// Lays the text out from (x, y), six vertices a glyph (top left, top right, bottom left, bottom
// left, top right, bottom right), into `dest`, which holds six vertices for every byte of the
// text; returns the number of triangles. `size`, when given, receives the widest line and the
// height, one line height x scale per line (0 x 0 for an empty text). Stretches to the back
// buffer when asked; the world form (popups) is the same layout with z 0.
std::uint32_t text_layout_quads(ScreenVertex* dest, const char* text, float x, float y, D3DCOLOR colour,
                                const BitmapFont& font, D3DXVECTOR2* size, bool stretch, float scale);
std::uint32_t text_layout_quads(BatchVertex* dest, const char* text, float x, float y, D3DCOLOR colour,
                                const BitmapFont& font, D3DXVECTOR2* size, bool stretch, float scale);

// Draws during the frame's drawing (a render-queue callback), stretched to the back buffer, with
// material 65 and the font's texture: all glyphs in one upload and one draw when they fit the
// scratch vertices, else in as many as it takes. A failed lock skips that part.
void text_draw_large(float x, float y, D3DCOLOR colour, const BitmapFont& font, float scale,
                     const char* text);
// The extent at scale 1: the widest line and one line height per line; 0 x 0 when empty.
void text_measure_large(const char* text, float& width, float& height, const BitmapFont& font);
// The tiny font ("f_mini", image 4), drawn like the others; 0x9F selects its alternate set for
// the bytes from 128 on and 0x9E the normal one, each call starting normal.
void text_draw_small(const char* text, float x, float y, D3DCOLOR colour);
// The widest line and 12 per line; 0 x 0 when empty.
void text_measure_small(const char* text, float& width, float& height);
