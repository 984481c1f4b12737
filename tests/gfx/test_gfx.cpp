#include "gfx/g_gfx.h"
#include "scenegraph/renderer_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool registers_hold(const D3DDeviceState& state, DWORD reg, const D3DXMATRIX& transposed)
{
    return std::memcmp(state.vs_constants[reg], &transposed, sizeof transposed) == 0;
}

class GfxHooks : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        gfx_install_renderer_hooks();
    }
    void TearDown() override
    {
        g_renderer_before_batches = g_renderer_after_batches = nullptr;
        RendererTest::TearDown();
    }
};

TEST_F(GfxHooks, BatchesDrawWithTheBiasedProjectionAndTheFrameEndsWithTheCameraAgain)
{
    for (std::uint32_t i = 0; i < 3; ++i)
        g_tri_batches[0].vertices[i] = {static_cast<float>(i), 0.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.0f};
    g_tri_batches[0].count = 1;
    renderer_draw_frame();

    const CameraState& cam = g_camera_state;
    ASSERT_EQ(draws().size(), 1u);
    const D3DDeviceState& batch = draws()[0].state;
    EXPECT_TRUE(registers_hold(batch, VSC_PROJECTION, cam.biased_proj_t));
    EXPECT_TRUE(registers_hold(batch, VSC_WORLD_VIEW_PROJ, cam.biased_view_proj_t));
    EXPECT_TRUE(registers_hold(batch, VSC_WORLD_VIEW, cam.view_t));
    EXPECT_TRUE(registers_hold(state(), VSC_PROJECTION, cam.proj_t));
    EXPECT_TRUE(registers_hold(state(), VSC_WORLD_VIEW_PROJ, cam.view_proj_t));
}

} // namespace

// Each of the four slots takes its light whole; any other slot lies outside the block and the
// call changes nothing at all.
TEST(GfxPointLight, WritesSlotsZeroToThreeAndIgnoresAnyOther)
{
    g_frame_effects = {};
    for (int slot = 0; slot < RENDERER_POINT_LIGHTS; ++slot) {
        SCOPED_TRACE(slot);
        const float n = static_cast<float>(slot + 1);
        gfx_set_point_light(slot, D3DXVECTOR3(n, 2.0f * n, -n), D3DXVECTOR4(0.1f * n, 0.2f, 0.3f, 0.0f),
                            10.0f * n, 5.0f);
        const PointLight& light = g_frame_effects.point_lights[slot];
        EXPECT_TRUE(light.position == D3DXVECTOR3(n, 2.0f * n, -n));
        EXPECT_TRUE(light.color == D3DXVECTOR4(0.1f * n, 0.2f, 0.3f, 0.0f));
        EXPECT_EQ(light.params[0], 10.0f * n);
        EXPECT_EQ(light.params[1], 5.0f);
    }
    const FrameEffects before = g_frame_effects;
    for (int slot : {-1, 4, 1000}) {
        SCOPED_TRACE(slot);
        gfx_set_point_light(slot, D3DXVECTOR3(9.0f, 9.0f, 9.0f), D3DXVECTOR4(1.0f, 1.0f, 1.0f, 1.0f), 1.0f,
                            1.0f);
        for (int i = 0; i < RENDERER_POINT_LIGHTS; ++i) {
            const PointLight& light = g_frame_effects.point_lights[i];
            const PointLight& kept = before.point_lights[i];
            EXPECT_TRUE(light.position == kept.position && light.color == kept.color) << i;
            EXPECT_TRUE(light.params[0] == kept.params[0] && light.params[1] == kept.params[1]) << i;
        }
        // Slot -1 would have written over the fields before the block.
        EXPECT_EQ(g_frame_effects.cover_texture, before.cover_texture);
        EXPECT_EQ(g_frame_effects.cover_model_bits, before.cover_model_bits);
    }
    g_frame_effects = {};
}
