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
