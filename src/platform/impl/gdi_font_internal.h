// What the sources of the GDI font stand-in share: the font object, the lock and FreeType.
#pragma once

#include "platform/gdi_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <mutex>
#include <string>

// A created font: a FreeType face at the asked size, or the synthetic test font.
struct FontTag {
    FontTag() = default;
    FontTag(const FontTag&) = delete;
    FontTag& operator=(const FontTag&) = delete;
    ~FontTag();

    FT_Face face = nullptr; // null for the synthetic font
    std::string file;       // the host path of the face's file
    int synthetic_height = 0;
    bool embolden = false; // bold asked of a family without a bold face
    bool oblique = false;  // italic asked of a family without an italic face
    TEXTMETRICA metrics{};
    int created_height = 0; // as asked of CreateFontA
    DWORD created_clip = 0;
    std::string created_face;
};

// Every call of the stand-in holds this lock: FreeType faces are not shared between threads.
std::mutex& font_lock();
// The process's FreeType library, started on first use; null when it cannot start.
FT_Library font_library();
// The font selected into a context made by CreateCompatibleDC, or null for any other context.
// The caller holds the lock.
FontTag* font_of_context(HDC dc);
// The code GetGlyphOutlineA is told to fail with, 0 for none. The caller holds the lock.
UINT font_failing_bitmap();
