#include "gfx/g_ripple.h"

#include "core/timer.h"
#include "game/g_image_table.h"
#include "game/g_tick.h"
#include "gl_device_fixture.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "scenegraph/renderer_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr UINT k_size = 128;
constexpr DWORD k_ring_ink = 0xFF0000; // the picture's upper half
constexpr DWORD k_wake_ink = 0x00FF00; // its lower half

// The renderer on a device with the OpenGL backend, a four-row picture as image 29 (two red rows
// over two green ones) and the pools made.
class RipplePixelTest : public RendererTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(start_gl(k_size, k_size));
        if (IsSkipped()) return;
        ASSERT_EQ(obj_create_pools(), S_OK);
        ASSERT_EQ(g_d3d_device->CreateTexture(1, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_picture),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(m_picture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int row = 0; row < 4; ++row)
            *reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + row * locked.Pitch) =
                0xFF000000 | (row < 2 ? k_ring_ink : k_wake_ink);
        m_picture->UnlockRect(0);
        g_texture_handles[RIPPLE_IMAGE] = m_picture;
        // Ripples are fogged; this fog lies far behind them.
        d3d_set_fog_range(1000.0f, 2000.0f);
        g_draw_frame = 1;
        g_frame_step = 0.0f;
    }
    void TearDown() override
    {
        obj_destroy_all();
        obj_destroy_pools();
        g_texture_handles[RIPPLE_IMAGE] = nullptr;
        if (m_picture) m_picture->Release();
        g_draw_frame = 0;
        g_frame_step = 1.0f;
        g_fog_near = g_fog_far = 0.0f;
        g_fog_vs_constants[0] = g_fog_vs_constants[1] = 0.0f;
        RendererTest::TearDown();
    }

    std::vector<DWORD> draw_frame()
    {
        renderer_reset_frame_state();
        renderer_set_frame_constants();
        renderer_begin_frame(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        ripple_update();
        renderer_draw_frame();
        return back_buffer_pixels(*g_d3d_device, k_size, k_size);
    }

    IDirect3DTexture8* m_picture = nullptr;
};

} // namespace

// A ring and a wake on the water plane leave the ink of their halves of the picture where their
// centres project, added over the cleared frame; away from them the frame stays clear.
TEST_F(RipplePixelTest, RipplesLeaveTheirInkWhereTheyLie)
{
    const D3DXVECTOR3 ring_at(-2.5f, 0.0f, 0.0f);
    const D3DXVECTOR3 wake_at(2.5f, 0.0f, 0.0f);
    ASSERT_NE(ripple_spawn_ring(ring_at, 4.0f), nullptr);
    ASSERT_NE(ripple_spawn_wake(wake_at, 4.0f, 0.0f, 256), nullptr);
    const std::vector<DWORD> pixels = draw_frame();
    EXPECT_TRUE(near_color(projected_pixel(pixels, k_size, k_size, ring_at) | 0xFF000000,
                           0xFF000000 | k_ring_ink, 8));
    EXPECT_TRUE(near_color(projected_pixel(pixels, k_size, k_size, wake_at) | 0xFF000000,
                           0xFF000000 | k_wake_ink, 8));
    EXPECT_TRUE(near_color(
        projected_pixel(pixels, k_size, k_size, D3DXVECTOR3(0.0f, 0.0f, 6.0f)) | 0xFF000000, 0xFF000000, 8));
}
