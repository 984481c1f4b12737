#include "gfx/eft_draw.h"

#include "game/test_hit_fixture.h"
#include "lowlv/d3d/renderer_frame.h"
#include "scenegraph/renderer.h"
#include "test_particle_draw_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <utility>

namespace {

constexpr std::uint32_t k_capacity = 64;

// Light spots of particles over a floor of set A (20 across at height 0), into small batches of
// the test's own (the renderer's are put back afterwards); no player and the eye at the origin
// unless a test moves them.
class ParticleLightTest : public WorldTest, protected ParticleMaker {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        for (int i = 0; i < TRI_BATCH_COUNT; ++i) {
            m_saved[i] = std::move(g_tri_batches[i]);
            g_tri_batches[i] = {std::make_unique<BatchVertex[]>(k_capacity * 3), k_capacity, 0, 0, nullptr};
        }
        m_camera = g_camera_state;
        g_camera_state.eye = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        g_player = nullptr;
    }
    void TearDown() override
    {
        g_player = nullptr;
        g_camera_state = m_camera;
        for (int i = 0; i < TRI_BATCH_COUNT; ++i)
            g_tri_batches[i] = std::move(m_saved[i]);
        WorldTest::TearDown();
    }

    // A light-casting quad particle of alpha 0x80 at the position.
    GoParticle& light(std::uint32_t colour, std::uint8_t mode, const D3DXVECTOR3& at, float size = 1.0f)
    {
        EffectEmitterDef& def = this->def(EFFECT_DEF_NO_DRAW);
        def.light_colour = colour;
        def.light_mode = mode;
        def.light_size = size;
        GoParticle& made = particle(def, at);
        ParticleMaker::colour(made, 0x80FFFFFF);
        return made;
    }

    static std::uint32_t triangles(int batch) { return g_tri_batches[batch].count; }
    static void empty_batches()
    {
        for (TriangleBatch& batch : g_tri_batches)
            batch.count = 0;
    }
    // The largest distance of the batch's corners from the point across the ground.
    static float reach(int batch, const D3DXVECTOR3& from)
    {
        float most = 0.0f;
        for (std::uint32_t i = 0; i < 3 * triangles(batch); ++i) {
            const BatchVertex& v = g_tri_batches[batch].vertices[i];
            most = std::max({most, std::fabs(v.x - from.x), std::fabs(v.z - from.z)});
        }
        return most;
    }

private:
    std::array<TriangleBatch, TRI_BATCH_COUNT> m_saved;
    CameraState m_camera;
};

} // namespace

// A light whose colour word is exactly 0xFF000000 darkens through batch 3; every other colour,
// opaque black with any colour bit included, lights through batch 9. Its alpha is the particle's
// alpha weighed by the colour's own, over the colour's RGB.
TEST_F(ParticleLightTest, ExactlyOpaqueBlackGoesToBatchThreeOthersToBatchNine)
{
    add_mesh(floor_at(0.0f), "A");
    const struct {
        std::uint32_t colour;
        int batch;
        std::uint32_t packed_rgb;
    } cases[] = {
        {0xFF000000, PARTICLE_LIGHT_BATCH_DARK, 0},
        {0xFF000001, PARTICLE_LIGHT_BATCH, 0x000001},
        {0x80FF8000, PARTICLE_LIGHT_BATCH, 0xFF8000},
        {0x00000000, PARTICLE_LIGHT_BATCH, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour);
        empty_batches();
        for (std::uint8_t mode : {0, 1}) {
            eft_particle_draw_step(light(c.colour, mode, D3DXVECTOR3(0.0f, 1.0f, 0.0f)));
            const int other =
                c.batch == PARTICLE_LIGHT_BATCH ? PARTICLE_LIGHT_BATCH_DARK : PARTICLE_LIGHT_BATCH;
            EXPECT_EQ(triangles(other), 0u) << int(mode);
        }
        ASSERT_GT(triangles(c.batch), 0u);
        const BatchVertex& corner = g_tri_batches[c.batch].vertices[0];
        EXPECT_EQ(corner.diffuse & 0xFFFFFF, c.packed_rgb);
    }
}

// The light's strength: the particle's alpha byte times the colour's alpha byte / 255. A quad
// (far from the eye) shows it with the fade 1 of a light on the ground, taken twice by the quad.
TEST_F(ParticleLightTest, LightAlphaIsTheParticlesWeighedByTheColours)
{
    add_mesh(floor_at(0.0f), "A");
    g_camera_state.eye = D3DXVECTOR3(0.0f, 0.0f, 100.0f);
    eft_particle_draw_step(light(0x80FF8000, 1, D3DXVECTOR3(0.0f, 1.35f, 0.0f)));
    ASSERT_EQ(triangles(PARTICLE_LIGHT_BATCH), 2u);
    // 0x80 x 0x80 / 255 = 64; the quad: floor(64/255 x 64/255 x 256) = 16.
    EXPECT_EQ(g_tri_batches[PARTICLE_LIGHT_BATCH].vertices[0].diffuse, 0x10FF8000u);
}

// Mode 0 projects straight down from 0.35 below the particle; any other mode looks 10 units down
// for a surface facing up and projects there near the eye (35) or the player (10), else lays a
// quad of the light's size, base scale x light size x scale factor x effect scale.
TEST_F(ParticleLightTest, CastLightsProjectNearTheViewerAndLayAQuadBeyond)
{
    add_mesh(floor_at(0.0f), "A");
    const float size = 2.0f * 0.5f * 1.5f * 2.0f;
    effect().scale = D3DXVECTOR3(2.0f, 7.0f, 7.0f);
    const struct {
        D3DXVECTOR3 eye;
        bool player;
        D3DXVECTOR3 player_at;
        bool projected;
    } cases[] = {
        {{0.0f, 0.0f, 20.0f}, false, {}, true},
        {{0.0f, 0.0f, 40.0f}, false, {}, false},
        {{0.0f, 0.0f, 0.0f}, true, {0.0f, 0.0f, 12.0f}, false}, // the player rules, not the eye
        {{0.0f, 0.0f, 90.0f}, true, {0.0f, 0.0f, 5.0f}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.eye.z << " " << c.player << " " << c.player_at.z);
        empty_batches();
        g_camera_state.eye = c.eye;
        GoActor* player = c.player ? spawn(g_pool_actor) : nullptr;
        if (player) D3DXMatrixTranslation(&player->world, c.player_at.x, c.player_at.y, c.player_at.z);
        g_player = player;
        GoParticle& particle = light(0x80FFFFFF, 2, D3DXVECTOR3(0.0f, 4.0f, 0.0f), 0.5f);
        particle.state.base_scale.x = 2.0f;
        particle.state.scale_factors.x = 1.5f;
        eft_particle_draw_step(particle);
        ASSERT_EQ(triangles(PARTICLE_LIGHT_BATCH), 2u);
        if (c.projected)
            EXPECT_FLOAT_EQ(reach(PARTICLE_LIGHT_BATCH, D3DXVECTOR3(0.0f, 0.0f, 0.0f)), 10.0f)
                << "the floor's own triangles";
        else
            EXPECT_FLOAT_EQ(reach(PARTICLE_LIGHT_BATCH, D3DXVECTOR3(0.0f, 0.0f, 0.0f)), size) << "a quad";
        g_player = nullptr;
        if (player) kill(*player);
    }
}

// A cast light needs an upward surface within 10 units below its centre; mode 0 projects onto
// whatever lies in the decal's window. A hidden particle casts nothing.
TEST_F(ParticleLightTest, CastLightsNeedAnUpwardSurfaceBelowAndHiddenParticlesCastNone)
{
    add_mesh(floor_at(0.0f), "A");
    const struct {
        std::uint8_t mode;
        float height;
        bool lit;
    } cases[] = {
        {1, 10.3f, true},                                      // centre 9.95 above the floor
        {1, 10.4f, false},                                     // 10.05 above it
        {3, 10.3f, true},  {0, 1.0f, true}, {1, -1.0f, false}, // nothing below
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.mode) << " at " << c.height);
        empty_batches();
        eft_particle_draw_step(light(0x80FFFFFF, c.mode, D3DXVECTOR3(0.0f, c.height, 0.0f)));
        EXPECT_EQ(triangles(PARTICLE_LIGHT_BATCH) > 0, c.lit);
    }

    empty_batches();
    GoParticle& hidden = light(0x80FFFFFF, 0, D3DXVECTOR3(0.0f, 1.0f, 0.0f));
    hidden.state.hidden = 1;
    eft_particle_draw_step(hidden);
    EXPECT_EQ(triangles(PARTICLE_LIGHT_BATCH), 0u);
}
