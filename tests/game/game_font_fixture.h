// The game font as the windows draw with it, made on the synthetic font that tests switch on
// before the device starts, with the glyph cache of a 640 x 480 back buffer.
#pragma once

#include "game/g_game.h"
#include "platform/gdi_font.h"
#include "scenegraph/text_glyph.h"

#include <gtest/gtest.h>

inline void game_font_start()
{
    g_game_font = CreateFontA(20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_TT_PRECIS,
                              CLIP_DEFAULT_PRECIS, PROOF_QUALITY, VARIABLE_PITCH | FF_MODERN, "MS PGothic");
    ASSERT_EQ(glyph_cache_start(640, 480), S_OK);
}

inline void game_font_stop()
{
    glyph_cache_shutdown();
    DeleteObject(g_game_font);
    g_game_font = nullptr;
}
