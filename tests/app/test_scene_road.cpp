#include "game/g_game.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "lib/demo_scenes.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddemo.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

namespace {

// The game from its start on the demo data, with the start-up's request of the logo scene still
// pending as the main loop's first frame finds it.
class SceneRoad : public FramePass {
protected:
    void SetUp() override
    {
        FramePass::SetUp();
        g_scene_pending = SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER;
    }

    // Runs frames of one tick each until the scene is entered; false when it is not within
    // `frames`.
    bool run_until_scene(std::int32_t scene_id, int frames)
    {
        for (int i = 0; i < frames; ++i) {
            run_frame(k_tick);
            if (g_play_state.scene_id == scene_id && g_scene_pending == 0) return true;
        }
        return false;
    }
};

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

} // namespace
