#include "core/timer.h"
#include "game/g_tick.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/object_fixture.h"
#include "scenegraph/queued_items.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;

// Phases ending at 5 and 14 of a 20-tick life; alpha keys of the burst, scale keys 1 to 4.
SpriteParticleParams recipe()
{
    SpriteParticleParams p{};
    p.texture = reinterpret_cast<IDirect3DTexture8*>(std::uintptr_t{0x5150});
    p.material = 0x46C1;
    p.row = 11;
    p.colour = 0xFF204060;
    p.lifetime = 20.0f;
    p.phase1_end = 5.0f;
    p.phase2_end = 14.0f;
    const float alpha[4] = {0.5f, 1.0f, 0.5f, 0.0f};
    const float scale[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    std::copy(std::begin(alpha), std::end(alpha), p.alpha_keys);
    std::copy(std::begin(scale), std::end(scale), p.scale_keys);
    return p;
}

class SpriteParticleTest : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        ASSERT_TRUE(rq_create_rows(RQ_GAME_ROWS));
        step(true, false);
    }
    void TearDown() override
    {
        ObjectTest::TearDown();
        rq_free_rows();
        std::fill(std::begin(g_goxx_live_count), std::end(g_goxx_live_count), 0);
        g_paused = 0;
        step(false, false);
    }

    static void step(bool whole, bool drawn, float length = 1.0f)
    {
        g_whole_tick = whole;
        g_draw_frame = drawn;
        g_frame_step = length;
    }

    static GoXx& make(const SpriteParticleParams& params)
    {
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        EXPECT_NE(object, nullptr);
        goxx_init_sprite_particle(params, *object);
        return *object;
    }
};

} // namespace

TEST_F(SpriteParticleTest, InitCopiesTheRecord)
{
    SpriteParticleParams p = recipe();
    const float rect[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    p.texture_rect = rect;
    p.position = {1.0f, 2.0f, 3.0f};
    p.velocity = {0.1f, 0.2f, 0.3f};
    GoXx& object = make(p);
    EXPECT_EQ(object.role, GOXX_SPRITE_PARTICLE);
    EXPECT_EQ(g_goxx_live_count[GOXX_SPRITE_PARTICLE], 1);
    const SpriteParticle& particle = object.area<SpriteParticle>();
    EXPECT_EQ(particle.rgb, 0x204060u);
    EXPECT_FLOAT_EQ(particle.alpha_keys[0], 127.5f);
    EXPECT_EQ(matrix_position(object.world), D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(object.rotation._42, 0.2f);
    const float uv[4][2] = {{0.25f, 0.5f}, {0.25f, 1.0f}, {0.75f, 0.5f}, {0.75f, 1.0f}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(particle.quad[i].u, uv[i][0]) << i;
        EXPECT_EQ(particle.quad[i].v, uv[i][1]) << i;
    }
}

TEST_F(SpriteParticleTest, KeysFollowThePhases)
{
    struct Case {
        float age, alpha, scale;
    };
    const Case cases[] = {
        {0.0f, 127.5f, 1.0f},  {2.5f, 191.25f, 1.5f}, {5.0f, 255.0f, 2.0f},
        {9.5f, 191.25f, 2.5f}, {14.0f, 127.5f, 3.0f}, {17.0f, 63.75f, 3.5f},
    };
    GoXx& object = make(recipe());
    SpriteParticle& particle = object.area<SpriteParticle>();
    for (const Case& c : cases) {
        particle.age = c.age;
        const SpriteKeys keys = goxx_sprite_particle_keys(particle);
        EXPECT_FLOAT_EQ(keys.alpha, c.alpha) << c.age;
        EXPECT_FLOAT_EQ(keys.scale, c.scale) << c.age;
    }
}

// A record against the ordering rule still gives its keys: a phase without length is over.
TEST_F(SpriteParticleTest, APhaseOfNoLengthTakesItsEndKey)
{
    SpriteParticleParams p = recipe();
    p.phase1_end = p.phase2_end = p.lifetime = 6.0f;
    GoXx& object = make(p);
    SpriteParticle& particle = object.area<SpriteParticle>();
    particle.age = 6.0f;
    const SpriteKeys keys = goxx_sprite_particle_keys(particle);
    EXPECT_FLOAT_EQ(keys.alpha, 0.0f);
    EXPECT_FLOAT_EQ(keys.scale, 4.0f);
}

// Corners (n - c, c + n), (-c - n, n - c), (c + n, c - n), (c - n, -c - n) with c = cos x scale and
// n = sin x scale; the alpha is floored into the colour's top byte.
TEST_F(SpriteParticleTest, QuadCornersTurnWithTheAngle)
{
    for (float angle : {0.0f, k_pi / 2.0f, k_pi / 4.0f}) {
        SpriteParticleParams p = recipe();
        p.angle = angle;
        GoXx& object = make(p);
        goxx_sprite_quad(object, 200.9f, 2.0f);
        const SpriteParticle& particle = object.area<SpriteParticle>();
        const int step = math_heading_index(angle);
        const float c = math_table_cos(step) * 2.0f, n = math_table_sin(step) * 2.0f;
        const float corners[4][2] = {{n - c, c + n}, {-c - n, n - c}, {c + n, c - n}, {c - n, -c - n}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(particle.quad[i].x, corners[i][0]) << angle << " " << i;
            EXPECT_FLOAT_EQ(particle.quad[i].y, corners[i][1]) << angle << " " << i;
            EXPECT_EQ(particle.quad[i].diffuse, 0xC8204060u);
        }
    }
}

TEST_F(SpriteParticleTest, QueuesInItsRowKeyedByTexture)
{
    g_camera_state.eye = {0.0f, 0.0f, 0.0f};
    for (std::uint32_t row : {9u, 11u}) {
        SpriteParticleParams p = recipe();
        p.row = row;
        p.position = {3.7f, -2.2f, 0.5f};
        GoXx& object = make(p);
        step(false, true, 0.0f);
        object.Update();
        auto items = queued_items<RqCallbackItem>(static_cast<int>(row), RQ_TYPE_CALLBACK);
        ASSERT_EQ(items.size(), 1u) << row;
        EXPECT_EQ(items[0]->callback, &goxx_draw_sprite_particle);
        EXPECT_EQ(items[0]->header.key0, 0x5150u);
        EXPECT_EQ(items[0]->header.key1, (3 * 3 + 2 * 2) * 10000) << "whole units per axis";
    }
}

TEST_F(SpriteParticleTest, AStartDelayHoldsAndHides)
{
    SpriteParticleParams p = recipe();
    p.start_delay = 2;
    p.velocity = {1.0f, 0.0f, 0.0f};
    GoXx& object = make(p);
    const SpriteParticle& particle = object.area<SpriteParticle>();
    step(false, true, 0.5f);
    object.Update();
    g_paused = 1;
    step(true, true);
    object.Update();
    EXPECT_EQ(particle.start_delay, 2) << "neither part ticks nor paused ones count";
    g_paused = 0;
    object.Update();
    object.Update();
    EXPECT_EQ(particle.start_delay, 0);
    EXPECT_EQ(particle.age, 0.0f);
    EXPECT_EQ(matrix_position(object.world).x, 0.0f);
    EXPECT_TRUE(queued_items<RqCallbackItem>(11, RQ_TYPE_CALLBACK).empty());
    object.Update();
    EXPECT_EQ(particle.age, 1.0f);
    EXPECT_EQ(queued_items<RqCallbackItem>(11, RQ_TYPE_CALLBACK).size(), 1u);
}

TEST_F(SpriteParticleTest, DiesAtItsLifetime)
{
    SpriteParticleParams p = recipe();
    p.lifetime = 3.0f;
    GoXx& object = make(p);
    object.Update();
    object.Update();
    EXPECT_FALSE(object.flags & GO_FLAG_DEAD);
    object.Update();
    EXPECT_TRUE(object.flags & GO_FLAG_DEAD);
}

TEST_F(SpriteParticleTest, MovesEveryStepDampsOnWholeTicks)
{
    SpriteParticleParams p = recipe();
    p.velocity = {1.0f, 0.0f, 0.0f};
    p.damping = 0.5f;
    GoXx& object = make(p);
    step(false, false, 0.5f);
    object.Update();
    EXPECT_FLOAT_EQ(matrix_position(object.world).x, 0.5f);
    EXPECT_FLOAT_EQ(object.rotation._41, 1.0f);
    step(true, false, 0.5f);
    object.Update();
    EXPECT_FLOAT_EQ(matrix_position(object.world).x, 1.0f);
    EXPECT_FLOAT_EQ(object.rotation._41, 0.5f);
    g_paused = 1;
    object.Update();
    EXPECT_FLOAT_EQ(object.rotation._41, 0.5f);
    EXPECT_FLOAT_EQ(object.area<SpriteParticle>().age, 1.0f);
}

TEST_F(SpriteParticleTest, LiveCountReturnsAfterAWorldClear)
{
    for (int i = 0; i < 5; ++i)
        make(recipe());
    EXPECT_EQ(g_goxx_live_count[GOXX_SPRITE_PARTICLE], 5);
    obj_destroy_all();
    EXPECT_EQ(g_goxx_live_count[GOXX_SPRITE_PARTICLE], 0);
}
