#include "app/app_entry.h"
#include "app/app_loop.h"
#include "game/g_fade.h"
#include "game/g_game.h"
#include "game/g_play_state.h"
#include "game/g_pointer.h"
#include "game/g_scn_data.h"
#include "game/g_sound.h"
#include "lib/demo_writer.h"
#include "lowlv/d3d/d3d_core.h"
#include "lib/packed_writer.h"
#include "lib/table_writer.h"
#include "platform/impl/d3d8_gl.h"
#include "platform/impl/gdi_font_seams.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(GameStart, LoadsTheTablesAndMakesTheGameFontOnItsOwnFace)
{
    StartedGame game(game_ini_with_sound(false, true));
    ASSERT_EQ(game.start(), S_OK) << g_error_text;
    EXPECT_EQ(g_castinfo.size(), 18u);
    // The marked effect is loaded at start; the others wait for their first play.
    EXPECT_EQ(g_sound_count, 10);
    EXPECT_TRUE(g_sound_table[0].flags & SOUND_GROUP_LOADED);
    EXPECT_FALSE(g_sound_table[5].flags & SOUND_GROUP_LOADED);
    EXPECT_EQ(g_scene_list.size(), 10u);
    FontCreation font;
    ASSERT_TRUE(seam_font_creation(g_game_font, font));
    EXPECT_EQ(font.face, "Tarvolen");
    EXPECT_EQ(font.clip_precision, CLIP_EMBEDDED);
    EXPECT_EQ(font.height, 20);

    // The first frame takes up the start-up's request of the logo scene, whose movie window
    // hands over to the title at once; the next frame enters the title.
    EXPECT_EQ(g_scene_pending, SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER);
    EXPECT_EQ(g_play_state.requested_scene_id, g_first_scene);
    app_restore_device_objects();
    g_app_active = 1;
    ASSERT_EQ(app_run_frame(), S_OK);
    EXPECT_EQ(g_play_state.scene_id, g_first_scene);
    EXPECT_EQ(g_scene_pending, SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER);
    EXPECT_EQ(g_play_state.requested_scene_id, g_title_scene);
    ASSERT_EQ(app_run_frame(), S_OK);
    EXPECT_EQ(g_play_state.scene_id, g_title_scene);
    EXPECT_EQ(g_scene_pending, 0u);
}

TEST(Program, ATruncatedCastTableEndsStartUpWithItsText)
{
    GameUser user;
    GameInstall install;
    std::vector<ArchiveSource> files = demo_archive_files(shader_file_names());
    for (ArchiveSource& file : files) {
        if (file.path != SCN_CASTINFO_PATH) continue;
        std::vector<std::uint8_t> casts = cast_table_build(std::vector<CastRecord>(14));
        casts.resize(casts.size() - 512);
        file.bytes = packed_build(casts);
    }
    ASSERT_TRUE(archive_write_set(install.data_folder() / "release", files, {}));
    GameProcess game(install, "");
    EXPECT_EQ(game.finish(), 0);
    EXPECT_NE(game.output().find("Broken data."), std::string::npos) << game.output();
    EXPECT_NE(game.output().find(SCN_CASTINFO_PATH), std::string::npos) << game.output();
}

// Dragging with the left button fades the game's own pointer in at the cursor; its white arrow
// shows in the presented frame, and the world around it stays black.
TEST_F(FramePass, ADragWithTheLeftButtonFadesThePointerIn)
{
    DIMOUSESTATE left_held{};
    left_held.rgbButtons[0] = 0x80;
    const std::int32_t y = 200;
    std::int32_t x = 200;
    for (int frame = 0; frame < 12; ++frame, x += 4) {
        input_set_cursor(x, y);
        dinput_seam_queue_mouse(left_held);
        run_frame(k_tick);
    }
    EXPECT_EQ(g_mouse_pointer.pointer_fade, 1.0f);
    EXPECT_EQ(g_pointer_in_use, 1);
    // The arrow fills the upper left of its 23-pixel square, which reaches 15 pixels up and left
    // of the cursor. The window's rows count from its bottom.
    RECT client{};
    ASSERT_TRUE(GetClientRect(g_hwnd, &client));
    const auto window_pixel = [&](int px, int py) {
        return d3d8_gl_seam_window_pixel(*g_d3d_device, px, client.bottom - 1 - py);
    };
    const int cursor_x = x - 4;
    const std::optional<DWORD> arrow = window_pixel(cursor_x - 12, y - 12);
    const std::optional<DWORD> beside = window_pixel(cursor_x + 6, y + 6);
    ASSERT_TRUE(arrow.has_value() && beside.has_value());
    EXPECT_EQ(*arrow & 0xFFFFFF, 0xFFFFFFu) << std::hex << *arrow;
    EXPECT_EQ(*beside & 0xFFFFFF, 0u) << std::hex << *beside;
}

// The game starts under the fade, which clears in 20 ticks at its rate of 0.05. The fade is
// made white so that the cover shows over the black frame; the frames clear to black as those of
// the first scene, a demo, do.
TEST_F(FramePass, TheGameBeginsCoveredAndFadesIn)
{
    EXPECT_EQ(g_fade.value, 1.0f);
    EXPECT_EQ(g_fade.target, 0.0f);
    fade_set_colors(0xFFFFFF, 0);
    g_play_state.title_demo = 1;
    RECT client{};
    ASSERT_TRUE(GetClientRect(g_hwnd, &client));
    const auto window_pixel = [&](int px, int py) {
        return d3d8_gl_seam_window_pixel(*g_d3d_device, px, client.bottom - 1 - py);
    };
    const int x = client.right / 2, y = client.bottom / 2;

    run_frame(k_tick);
    EXPECT_FLOAT_EQ(g_fade.value, 0.95f);
    const std::optional<DWORD> covered = window_pixel(x, y);
    ASSERT_TRUE(covered.has_value());
    EXPECT_EQ(*covered & 0xFFFFFF, 0xF3F3F3u) << std::hex << *covered << ": white at alpha 243 over black";
    const std::optional<DWORD> corner = window_pixel(0, 0);
    ASSERT_TRUE(corner.has_value());
    EXPECT_EQ(*corner & 0xFFFFFF, 0xF3F3F3u) << std::hex << *corner;

    for (int frame = 0; frame < 20; ++frame)
        run_frame(k_tick);
    EXPECT_EQ(g_fade.value, 0.0f);
    const std::optional<DWORD> clear = window_pixel(x, y);
    ASSERT_TRUE(clear.has_value());
    EXPECT_EQ(*clear & 0xFFFFFF, 0u) << std::hex << *clear;
}

} // namespace
