#include "game/g_hud.h"
#include "game/g_image_table.h"
#include "game/g_settings.h"
#include "game/g_tick.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/actor/go_actor.h"
#include "platform/impl/d3d8_gl.h"
#include "platform/impl/window_seams.h"

#include "scene_road_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// Pixels of the presented frame over a rectangle of the 640x480 screen, every `step` units.
std::vector<DWORD> read_screen(float left, float top, float right, float bottom, float step)
{
    RECT client{};
    EXPECT_TRUE(GetClientRect(g_hwnd, &client));
    const float sx = static_cast<float>(client.right) / 640.0f;
    const float sy = static_cast<float>(client.bottom) / 480.0f;
    std::vector<DWORD> pixels;
    for (float y = top; y < bottom; y += step)
        for (float x = left; x < right; x += step) {
            // The window's rows count from its bottom.
            const int px = static_cast<int>(x * sx);
            const int py = client.bottom - 1 - static_cast<int>(y * sy);
            pixels.push_back(d3d8_gl_seam_window_pixel(*g_d3d_device, px, py).value_or(0));
        }
    return pixels;
}

// The pixels that differ by more than a small step in any channel.
int changed_pixels(const std::vector<DWORD>& with, const std::vector<DWORD>& without)
{
    int changed = 0;
    for (std::size_t i = 0; i < with.size(); ++i) {
        int largest = 0;
        for (int shift : {0, 8, 16})
            largest = std::max(largest, std::abs(static_cast<int>(with[i] >> shift & 0xFF) -
                                                 static_cast<int>(without[i] >> shift & 0xFF)));
        changed += largest > 24;
    }
    return changed;
}

class DemoHud : public SceneRoadPass {
protected:
    void run_frames(int frames)
    {
        for (int i = 0; i < frames; ++i)
            run_frame(k_tick);
    }

    // Shift+F1 as the window receives it.
    static void press_shift_f1()
    {
        seam_host_key(g_hwnd, VK_SHIFT, true);
        seam_host_key(g_hwnd, VK_F1, true);
        seam_host_key(g_hwnd, VK_F1, false);
        seam_host_key(g_hwnd, VK_SHIFT, false);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
};

} // namespace

// Once the hero has arrived in the first map the HUD fades in over the view: its status frame
// and bars ink the frame's lower left. Shift+F1 adds the frame-rate line and the play time at the
// top left.
TEST_F(DemoHud, TheHudInksTheFrameOnceTheHeroArrivesAndShiftF1ShowsTheFrameRate)
{
    EXPECT_NE(g_texture_handles[IMAGE_TABLE_HUD_STATUS], nullptr) << "status_new.dds";
    EXPECT_NE(g_texture_handles[IMAGE_TABLE_HUD_ENEMY], nullptr) << "hp2.dds";
    ASSERT_NO_FATAL_FAILURE(enter_first_map());
    ASSERT_NE(g_player, nullptr);
    run_frames(20);
    EXPECT_TRUE(hud_gauge_active(HUD_GAUGE_HP));
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].owner, g_player->object_id);
    EXPECT_EQ(g_hud_alpha, 1.0f);

    const auto status_area = [] { return read_screen(0.0f, 424.0f, 200.0f, 480.0f, 4.0f); };
    const auto fps_area = [] { return read_screen(0.0f, 0.0f, 160.0f, 10.0f, 1.0f); };
    const std::vector<DWORD> with_hud = status_area();
    const std::vector<DWORD> no_fps = fps_area();

    ASSERT_EQ(g_show_fps, 0);
    press_shift_f1();
    EXPECT_EQ(g_show_fps, 1);
    run_frames(1);
    EXPECT_GE(changed_pixels(fps_area(), no_fps), 20) << "the frame-rate line and the play time";

    hud_hide_now();
    g_play_state.game_flags[GF_HUD_SHOWN] = 0;
    run_frames(2);
    EXPECT_GE(changed_pixels(with_hud, status_area()), 40) << "the status frame and bars";
}
