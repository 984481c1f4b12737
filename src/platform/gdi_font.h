// GDI fonts, memory device contexts, font resources and glyph outlines, as the programs call them.
//
// Fonts are TrueType/OpenType faces found through fontconfig by their face name (any of the
// names a font file gives its family, in any language); a face that is not installed is served
// by a Japanese-capable font, so Japanese and Latin text always draw. Character codes of the
// "A" calls are Shift-JIS: a double-byte character is passed as lead byte << 8 | trail byte.
// Font handles work with SelectObject and DeleteObject like the window layer's brushes.
#pragma once

#include "platform/win_window.h"

#include <cstdint>

using HFONT = struct FontTag*;

// ---- Memory device contexts -------------------------------------------------------------------
// A context compatible with the given one (null: the screen). Null with ERROR_INVALID_HANDLE
// for a context neither this layer nor the window layer gave out. A new context holds the
// system font.
HDC CreateCompatibleDC(HDC dc);
// Only for contexts made by CreateCompatibleDC (else FALSE with ERROR_INVALID_HANDLE).
BOOL DeleteDC(HDC dc);

// ---- Fonts ------------------------------------------------------------------------------------
constexpr int LF_FACESIZE = 32;

constexpr int FW_DONTCARE = 0;
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;

constexpr DWORD ANSI_CHARSET = 0;
constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD SHIFTJIS_CHARSET = 128;

constexpr DWORD OUT_DEFAULT_PRECIS = 0;
constexpr DWORD OUT_TT_PRECIS = 4;
constexpr DWORD OUT_TT_ONLY_PRECIS = 7;
constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
constexpr DWORD CLIP_EMBEDDED = 0x80;
constexpr DWORD DEFAULT_QUALITY = 0;
constexpr DWORD PROOF_QUALITY = 2;
constexpr DWORD ANTIALIASED_QUALITY = 4;
constexpr DWORD DEFAULT_PITCH = 0;
constexpr DWORD FIXED_PITCH = 1;
constexpr DWORD VARIABLE_PITCH = 2;
constexpr DWORD FF_DONTCARE = 0x00;
constexpr DWORD FF_ROMAN = 0x10;
constexpr DWORD FF_SWISS = 0x20;
constexpr DWORD FF_MODERN = 0x30;

// height > 0: the cell height (ascent + descent) in pixels; < 0: the character height (the em);
// 0: 16 pixels. width 0 keeps the face's proportions, else it is the average character width.
// weight 600 or more asks for a bold face (emboldened when the family has none); italic slants
// it when the family has no italic face. Escapement, orientation, underline, strike-out,
// precisions, quality and pitch do not change glyph outlines and are kept only. Null with
// ERROR_FILE_NOT_FOUND when no font file at all can be found.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision, DWORD clip_precision,
                  DWORD quality, DWORD pitch_and_family, const char* face);

// Selects the font into a memory context; returns the font it replaces, or null (with
// ERROR_INVALID_HANDLE) for an unknown context or font.
HFONT SelectObject(HDC dc, HFONT font);
// A font still selected into a context lives on there until it is replaced; its handle is
// invalid at once. FALSE with ERROR_INVALID_HANDLE for an unknown font.
BOOL DeleteObject(HFONT font);

struct TEXTMETRICA {
    LONG tmHeight; // tmAscent + tmDescent
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

constexpr BYTE TMPF_FIXED_PITCH = 0x01; // set for proportional fonts, as on the platform
constexpr BYTE TMPF_VECTOR = 0x02;
constexpr BYTE TMPF_TRUETYPE = 0x04;

// Metrics of the context's selected font.
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);

// ---- Glyph outlines ---------------------------------------------------------------------------
struct FIXED {
    WORD fract;
    short value;
};

// x' = eM11 x + eM21 y, y' = eM12 x + eM22 y, in the glyph's y-up space.
struct MAT2 {
    FIXED eM11;
    FIXED eM12;
    FIXED eM21;
    FIXED eM22;
};

struct GLYPHMETRICS {
    UINT gmBlackBoxX;
    UINT gmBlackBoxY;
    POINT gmptGlyphOrigin; // the black box's upper-left corner from the pen, y up
    short gmCellIncX;
    short gmCellIncY;
};

constexpr UINT GGO_METRICS = 0;
constexpr UINT GGO_GRAY2_BITMAP = 4; // levels 0..4
constexpr UINT GGO_GRAY4_BITMAP = 5; // levels 0..16
constexpr UINT GGO_GRAY8_BITMAP = 6; // levels 0..64
constexpr UINT GGO_GLYPH_INDEX = 0x80;
constexpr DWORD GDI_ERROR = 0xFFFFFFFF;

// The glyph of a character (Shift-JIS code) or, with GGO_GLYPH_INDEX, of a glyph index in the
// selected font, under the matrix. The gray formats write one byte per pixel, rows top-down and
// padded to 4 bytes, and return the byte size; with a zero size or a null buffer they only
// return the size. A glyph without ink has size 0 and a 1 x 1 black box, its advance intact.
// GGO_METRICS fills the metrics alone and returns 1. GDI_ERROR for a bad context, a null
// matrix or metrics, a buffer smaller than the bitmap, a bitmap over 4096 pixels on a side,
// or another format.
DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD buffer_size, void* buffer,
                       const MAT2* matrix);

// ---- Font resources ---------------------------------------------------------------------------
// Writes the font resource file `resource_file` naming the font file: `font_file` inside
// `current_path` when a path is given, else `font_file` itself. FALSE with ERROR_FILE_EXISTS
// when the resource file exists already, ERROR_FILE_NOT_FOUND when the font file does not,
// ERROR_INVALID_PARAMETER when it holds no font, or the write's error.
BOOL CreateScalableFontResourceA(DWORD hidden, const char* resource_file, const char* font_file,
                                 const char* current_path);
// Makes the fonts of a font file, or of the font file a resource file names, available to
// CreateFontA by their face names for the rest of the process. Returns how many fonts the
// file holds; 0 when it cannot be read or holds none.
int AddFontResourceA(const char* file);
