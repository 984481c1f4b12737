// The game from its start on the demo data, with the start-up's request of the logo scene still
// pending as the main loop's first frame finds it, and the road from the title into the maps.
#pragma once

#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "lib/demo_scenes.h"
#include "object/wnd/go_wnddemo.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>

class SceneRoadPass : public FramePass {
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

    // From the start to the first map, as the title's "Normal" entry leads there.
    void enter_first_map()
    {
        ASSERT_TRUE(run_until_scene(DEMO_TITLE_SCENE, 3));
        title_start_game();
        ASSERT_TRUE(run_until_scene(DEMO_FIRST_MAP_SCENE, 300));
    }
};
