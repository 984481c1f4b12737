#include "gfx/eft_draw.h"

#include "game/g_image_table.h"
#include "gl_device_fixture.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/obj_manager.h"
#include "scenegraph/renderer_fixture.h"
#include "test_particle_draw_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr UINT k_size = 128;
constexpr int k_texture_number = 3;
constexpr DWORD k_ink = 0xFF2040; // the picture's colour

// The renderer on a device with the OpenGL backend, a one-colour picture as effect texture 3
// and the pools made.
class ParticlePixelTest : public RendererTest, protected ParticleMaker {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(start_gl(k_size, k_size));
        if (IsSkipped()) return;
        ASSERT_EQ(obj_create_pools(), S_OK);
        ASSERT_EQ(g_d3d_device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_picture),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(m_picture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < 2; ++column)
                reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + row * locked.Pitch)[column] =
                    0xFF000000 | k_ink;
        m_picture->UnlockRect(0);
        g_texture_handles[IMAGE_TABLE_EFFECT_FIRST + k_texture_number] = m_picture;
    }
    void TearDown() override
    {
        if (g_pools_ready) {
            obj_destroy_all();
            obj_destroy_pools();
        }
        g_texture_handles[IMAGE_TABLE_EFFECT_FIRST + k_texture_number] = nullptr;
        if (m_picture) m_picture->Release();
        RendererTest::TearDown();
    }

    std::vector<DWORD> draw_frame(GoParticle& particle)
    {
        renderer_reset_frame_state();
        renderer_set_frame_constants();
        renderer_begin_frame(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        eft_particle_draw_step(particle);
        renderer_draw_frame();
        return back_buffer_pixels(*g_d3d_device, k_size, k_size);
    }

    IDirect3DTexture8* m_picture = nullptr;
};

} // namespace

// A textured camera-facing particle leaves its picture's ink where its position projects; away
// from it the frame stays clear.
TEST_F(ParticlePixelTest, ATexturedParticleLeavesItsInkWhereItProjects)
{
    EffectEmitterDef& def = this->def(EFFECT_DEF_CAMERA_FACING);
    def.ring_material = 1; // the texture times the vertex colour, no blending, no depth test
    def.frame_count = 1;
    def.frame_textures[0] = k_texture_number;
    def.frame_uv[0] = {0.0f, 0.0f, 1.0f, 1.0f};
    const D3DXVECTOR3 at(-2.5f, 0.5f, 0.0f);
    GoParticle& particle = this->particle(def, at);
    particle.state.base_scale = D3DXVECTOR3(2.0f, 2.0f, 2.0f);
    particle.state.rotation.z = 0.3f;

    const std::vector<DWORD> pixels = draw_frame(particle);
    EXPECT_TRUE(near_color(projected_pixel(pixels, k_size, k_size, at) | 0xFF000000, 0xFF000000 | k_ink, 8));
    EXPECT_TRUE(near_color(
        projected_pixel(pixels, k_size, k_size, D3DXVECTOR3(2.5f, 0.5f, 0.0f)) | 0xFF000000, 0xFF000000, 8));
}
