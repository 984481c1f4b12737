// Popups and emotion icons under the real game tick: the tick fixture with the large font built,
// a stand-in object to follow, and readers of what row 13 holds and of what a draw read.
#pragma once

#include "game/g_image_table.h"
#include "game/tick_fixture.h"
#include "gfx/go_emotion.h"
#include "gfx/go_popup.h"
#include "gfx/text_bitmap.h"
#include "gl_device_fixture.h"
#include "scenegraph/queued_items.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

class OverlayTickTest : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        text_build_large_font();
        m_actor = spawn(g_pool_actor);
        ASSERT_NE(m_actor, nullptr);
        place(*m_actor, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    }
    void TearDown() override
    {
        g_font_large = {};
        TickTest::TearDown();
    }

    static void place(GoBase& object, const D3DXVECTOR3& at)
    {
        object.world._41 = at.x;
        object.world._42 = at.y;
        object.world._43 = at.z;
    }
    static D3DXVECTOR3 position(const GoBase& object)
    {
        return {object.world._41, object.world._42, object.world._43};
    }

    static std::vector<const RqCallbackItem*> queued_popups()
    {
        std::vector<const RqCallbackItem*> popups;
        for (const RqCallbackItem* item : queued_items<RqCallbackItem>(POPUP_ROW, RQ_TYPE_CALLBACK))
            if (item->callback == popup_draw_cb) popups.push_back(item);
        return popups;
    }
    static std::vector<const RqQuadItem*> queued_quads()
    {
        return queued_items<RqQuadItem>(EMOTION_ROW, RQ_TYPE_QUAD);
    }

    // The camera's billboard matrix at a position.
    static D3DXMATRIX billboard_at(const D3DXVECTOR3& at)
    {
        D3DXMATRIX matrix = g_camera_state.billboard;
        matrix._41 = at.x;
        matrix._42 = at.y;
        matrix._43 = at.z;
        return matrix;
    }
    static bool same_matrix(const D3DXMATRIX& a, const D3DXMATRIX& b)
    {
        return std::memcmp(&a, &b, sizeof a) == 0;
    }

    // The pause of the camp menu and shop as objects see it, yet drawn: no tick runs this way,
    // so the update is called by hand.
    static void update_paused_and_drawn(GoBase& object)
    {
        renderer_reset_frame_state();
        g_paused = 1;
        g_draw_frame = 1;
        g_whole_tick = 1;
        g_frame_step = 1.0f;
        object.Update();
        g_paused = 0;
    }

    GoActor* m_actor = nullptr; // a stand-in owner and target
};

// The same tick and the queue's drawing on a 640 x 480 device that draws for real (OpenGL);
// skipped without an OpenGL video driver. The images a test puts in the image table with
// `own_image` are released when it ends.
class GlOverlayTickTest : public OverlayTickTest {
protected:
    static constexpr UINT k_width = 640;
    static constexpr UINT k_height = 480;

    void SetUp() override
    {
        OverlayTickTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(start_gl(k_width, k_height));
        if (IsSkipped()) return;
        g_d3d_device->EndScene(); // the tick begins the frame's scene itself
    }
    void TearDown() override
    {
        for (int entry : m_images) {
            if (g_texture_handles[entry]) g_texture_handles[entry]->Release();
            g_texture_handles[entry] = nullptr;
        }
        OverlayTickTest::TearDown();
    }

    IDirect3DTexture8*& own_image(int entry)
    {
        m_images.push_back(entry);
        return g_texture_handles[entry];
    }

    // One frame as the main loop runs it: its first step, the queue drawn, the dead swept.
    std::vector<DWORD> draw_frame()
    {
        g_tick_index = 1;
        g_whole_tick = 1;
        g_frame_step = 1.0f;
        game_run_tick();
        renderer_draw_frame();
        obj_sweep_dead();
        g_d3d_device->EndScene();
        return back_buffer_pixels(*g_d3d_device, k_width, k_height);
    }

    std::vector<int> m_images;
};
