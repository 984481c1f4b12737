#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_scene_map.h"
#include "lib/demo_room.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/go_mesh.h"
#include "platform/impl/d3d8_gl.h"

#include "scene_road_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// The first map's show script on the running game: the room's light, the pillar and platform,
// the zoom blur, and the road to the second map and back. The in-process game runs with sound
// effects off; the sound rows' own tests hear them.
class DemoShow : public SceneRoadPass {
protected:
    // A grid over the presented frame. Each pixel is a read-back, so the test reads only the
    // frames it compares.
    static std::vector<DWORD> frame_grid()
    {
        std::vector<DWORD> grid;
        for (int y = 20; y < 480; y += 20)
            for (int x = 20; x < 640; x += 20)
                grid.push_back(d3d8_gl_seam_window_pixel(*g_d3d_device, x, y).value_or(0));
        return grid;
    }

    // Grid pixels that changed by more than a rounding in some channel.
    static int changed_pixels(const std::vector<DWORD>& before, const std::vector<DWORD>& after)
    {
        int changed = 0;
        for (std::size_t i = 0; i < before.size(); ++i)
            for (int shift = 0; shift < 24; shift += 8)
                if (std::abs(static_cast<int>(before[i] >> shift & 0xFF) -
                             static_cast<int>(after[i] >> shift & 0xFF)) > 8) {
                    ++changed;
                    break;
                }
        return changed;
    }
};

TEST_F(DemoShow, LightsTurnsRaisesSoundsBlursAndLeadsThroughBothRooms)
{
    ASSERT_NO_FATAL_FAILURE(enter_first_map());
    GoMesh* pillar = scene_find_mesh("pillar");
    GoMesh* platform = scene_find_mesh("platform");
    ASSERT_NE(pillar, nullptr);
    ASSERT_NE(platform, nullptr);
    const float floor_y = platform->world._42;
    const D3DXVECTOR4 first_light = g_scene_lighting.light_colors[0];

    // The tour first; the show waits for it, so the frame before the light is the room's own.
    std::vector<DWORD> before;
    D3DXVECTOR3 eye_before;
    int frames = 0;
    for (; frames < 200 && g_scene_lighting.light_colors[0] == first_light; ++frames) {
        if (frames >= 130) {
            before = frame_grid();
            eye_before = g_camera_state.eye;
        }
        run_frame(k_tick);
    }
    ASSERT_NE(g_scene_lighting.light_colors[0], first_light) << "the show lights the room";
    EXPECT_GE(frames, 140) << "after the tour";
    float colour[4];
    renderer_color_from_argb(0xFFFF8040, colour);
    EXPECT_EQ(g_scene_lighting.light_colors[0], D3DXVECTOR4(colour[0], colour[1], colour[2], colour[3]));
    run_frame(k_tick);
    const D3DXVECTOR3 eye_moved = g_camera_state.eye - eye_before;
    ASSERT_LT(D3DXVec3Length(&eye_moved), 0.01f) << "the camera has settled";
    EXPECT_GT(changed_pixels(before, frame_grid()), 8) << "the lit room shows the new light";

    float highest = floor_y, zoom_peak = 0.0f;
    bool zoom_ended = false;
    for (int frame = 0; frame < 400 && g_play_state.requested_scene_id == 0; ++frame) {
        run_frame(k_tick);
        highest = std::max(highest, platform->world._42);
        zoom_peak = std::max(zoom_peak, g_play_state.zoom_blur_alpha);
        zoom_ended = zoom_peak > 0.0f && g_play_state.zoom_blur_alpha == 0.0f;
    }
    EXPECT_NEAR(highest, floor_y + DEMO_PLATFORM_RISE, 0.25f) << "the platform rose";
    EXPECT_NEAR(platform->world._42, floor_y, 0.25f) << "and came back down";
    EXPECT_NE(pillar->spin_angles.y, 0.0f) << "the pillar turns";
    EXPECT_GT(zoom_peak, 0.5f);
    EXPECT_TRUE(zoom_ended) << "the blur swelled and faded out";

    EXPECT_TRUE(run_until_scene(DEMO_SECOND_MAP_SCENE, 200)) << "on to the second map once the ring is found";
    EXPECT_EQ(g_play_state.game_flags[DEMO_MAP_ENTERED_FLAG], 2);
    EXPECT_TRUE(run_until_scene(DEMO_FIRST_MAP_SCENE, 500)) << "and back after a few seconds";
    EXPECT_EQ(g_play_state.game_flags[DEMO_MAP_ENTERED_FLAG], 1);
}

} // namespace
