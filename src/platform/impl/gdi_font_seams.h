// Seams through which tests steer the GDI font stand-in. Game code never calls these.
#pragma once

#include "platform/gdi_font.h"

#include <string>

// While on, CreateFontA makes fonts of the synthetic test font whatever the face, so pixel
// tests are exact on any machine. With H the cell height (|height|, 16 for 0), ascent
// A = H * 3 / 4 and descent D = H - A, its glyphs are filled rectangles in pixels, y up from
// the baseline, before the glyph matrix:
// - 0x20: no ink, advance H / 4; 0x8140: no ink, advance H;
// - other single-byte codes: x from 1 to H / 2 - 1, y from 0 to A; advance H / 2;
// - other double-byte codes (above 0xFF): x from 1 to H - 1, y from 1 - D to A - 1; advance H.
// Fonts made before the switch keep their kind.
void seam_font_use_synthetic(bool on);

// GetGlyphOutlineA fails (GDI_ERROR) when asked to write the bitmap of this character code,
// while size queries and metrics still succeed; 0 ends the failure.
void seam_font_fail_bitmap(UINT code);

// The host path of the font file behind a font and its family name; false for an unknown font
// or the synthetic one.
bool seam_font_describe(HFONT font, std::string& file, std::string& family);

// What a font was created with, as CreateFontA was called.
struct FontCreation {
    std::string face; // as given, Shift-JIS
    int height = 0;
    DWORD clip_precision = 0;
};
// False for a font that does not exist (never made, or deleted).
bool seam_font_creation(HFONT font, FontCreation& creation);
