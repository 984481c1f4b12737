#include "game/g_game.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "lib/demo_scenes.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddemo.h"
#include "platform/impl/d3d8_gl.h"
#include "platform/steam_api.h"
#include "platform/win_window.h"

#include "scene_road_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using SceneRoad = SceneRoadPass;

TEST_F(SceneRoad, RunsFromTheLogoThroughTheTitleIntoBothMaps)
{
    ASSERT_EQ(g_play_state.requested_scene_id, DEMO_LOGO_SCENE);
    run_frame(k_tick);
    EXPECT_EQ(g_play_state.scene_id, DEMO_LOGO_SCENE);
    EXPECT_EQ(g_play_state.requested_scene_id, DEMO_TITLE_SCENE) << "the logo hands over at once";

    ASSERT_TRUE(run_until_scene(DEMO_TITLE_SCENE, 2));
    EXPECT_EQ(g_pool_wnddemo.count, 1);
    EXPECT_EQ(g_title_demo_active, 1);
    EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(DEMO_TITLE_MUSIC));
    EXPECT_EQ(g_player, nullptr);

    // The title's "Normal" entry starts the game so; the fade then leads into the first map.
    title_start_game();
    ASSERT_TRUE(run_until_scene(DEMO_FIRST_MAP_SCENE, 300));
    EXPECT_EQ(g_pool_wnddemo.count, 0);
    EXPECT_EQ(g_play_state.game_flags[DEMO_MAP_ENTERED_FLAG], 1) << "the start script ran";
    EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(DEMO_MAP_MUSIC));
    ASSERT_NE(g_player, nullptr);
    EXPECT_EQ(g_camera_focus, g_player);
    EXPECT_EQ(g_player->key, ACTOR_KEY_PLAYER);

    // The map's script goes on to the second map once its flag is raised.
    run_frame(k_tick);
    EXPECT_EQ(g_play_state.scene_id, DEMO_FIRST_MAP_SCENE);
    g_play_state.game_flags[DEMO_NEXT_MAP_FLAG] = 1;
    ASSERT_TRUE(run_until_scene(DEMO_SECOND_MAP_SCENE, 300));
    EXPECT_EQ(g_play_state.game_flags[DEMO_MAP_ENTERED_FLAG], 2);
    EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(DEMO_ROOM_MUSIC));
    EXPECT_NE(g_player, nullptr);
}

// The room stands: its meshes, sky, save point and light are loaded, the player stands on the
// floor, the camera tours the ramp and comes back, and the presented frame shows a lit scene.
TEST_F(SceneRoad, TheFirstMapIsARoomThatTheCameraToursAndTheFrameShows)
{
    enter_first_map();
    EXPECT_EQ(g_pool_mesh.count, 5) << "the room, the bucket, the save point, the pillar and the platform";
    EXPECT_EQ(g_pool_skybox.count, 1);
    ASSERT_NE(g_player, nullptr);
    EXPECT_NEAR(actor_position(*g_player).y - g_player->foot_offset, 0.0f, 1e-3f) << "on the floor";

    const D3DXVECTOR3 start_eye = g_camera_state.eye;
    float farthest = 0.0f;
    for (int frame = 0; frame < 120; ++frame) {
        run_frame(k_tick);
        const D3DXVECTOR3 moved = g_camera_state.eye - start_eye;
        farthest = std::max(farthest, D3DXVec3Length(&moved));
    }
    EXPECT_GT(farthest, 1.0f) << "the tour moves the camera";

    // Sample the window on a grid: sky, walls, floor, shadow and light give many colours.
    std::set<DWORD> colours;
    for (int y = 20; y < 480; y += 40)
        for (int x = 20; x < 640; x += 40)
            if (auto pixel = d3d8_gl_seam_window_pixel(*g_d3d_device, x, y))
                colours.insert(*pixel & 0xFFFFFF);
    EXPECT_GE(colours.size(), 6u);
}

std::string store_file_text(const GameUser& user, const char* name)
{
    return read_host_file(user.data_home() / "kro_store" / name);
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// A few seconds into the first map its ring script fires the jade ring's event and makes a
// person known: the store shows the unlock once and keeps it with the raised stats, until the
// program's reset switch locks everything again.
TEST_F(SceneRoad, TheFirstMapsRingEventUnlocksItsAchievementOnceUntilAReset)
{
    enter_first_map();
    testing::internal::CaptureStderr();
    for (int frame = 0; frame < 240; ++frame)
        run_frame(k_tick);
    const std::string notices = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(notices, "Achievement unlocked: Oblivious or Insensitive?\n"), 1u) << notices;

    m_game.shut_down();
    const GameUser& user = m_game.user();
    EXPECT_NE(store_file_text(user, "achievements").find("Oblivious or Insensitive?\t1\n"),
              std::string::npos);
    const std::string stats = store_file_text(user, "stats");
    EXPECT_NE(stats.find("Social Butterfly Stat\t1\n"), std::string::npos) << stats;
    EXPECT_NE(stats.find("Overachiever Stat\t"), std::string::npos) << stats;

    GameInstall install;
    GameProcess reset(install, "-R2");
    HWND window = GameProcess::wait_for_window();
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(reset.finish(), 0) << reset.output();
    EXPECT_EQ(store_file_text(user, "achievements").find("Oblivious or Insensitive?\t1"), std::string::npos);
}

} // namespace
