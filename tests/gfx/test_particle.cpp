#include "test_particle_fixture.h"

#include "object/actor/go_actor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr float PI = std::numbers::pi_v<float>;

// The triangular value the generator's next draw gives: its high 15 bits less its low 15.
std::int32_t next_triangular()
{
    const std::uint32_t r = math_rand_u32();
    return static_cast<std::int32_t>(r >> 17) - static_cast<std::int32_t>(r & 0x7FFF);
}

float angle_between(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return std::acos(
        std::clamp(D3DXVec3Dot(&a, &b) / (D3DXVec3Length(&a) * D3DXVec3Length(&b)), -1.0f, 1.0f));
}

} // namespace

// ---- Random helpers and creation -------------------------------------------------------------------

TEST(ParticleRandom, TriangularValuesAndFactorsComeFromOneDrawEach)
{
    math_rand_seed();
    const std::int32_t first = next_triangular();
    const std::int32_t second = next_triangular();
    math_rand_seed();
    EXPECT_EQ(eft_rand_triangular(), static_cast<float>(first) / 32767.0f);
    EXPECT_EQ(eft_rand_factor(0.0f), 1.0f) << "no spread draws nothing";
    EXPECT_FLOAT_EQ(eft_rand_factor(0.5f), 1.0f + 0.5f * static_cast<float>(second) / 32767.0f);

    // A spread that takes the sum below 0 gives its reciprocal.
    for (int i = 0; i < 64; ++i) {
        math_rand_seed();
        math_rand_discard(static_cast<std::uint32_t>(i));
        const float u = static_cast<float>(next_triangular()) / 32767.0f;
        if (u > -0.5f) continue;
        math_rand_seed();
        math_rand_discard(static_cast<std::uint32_t>(i));
        const float r = 1.0f + 4.0f * u;
        EXPECT_FLOAT_EQ(eft_rand_factor(4.0f), 1.0f / r);
        return;
    }
    FAIL() << "no draw below -0.5 in the first 64";
}

TEST_F(ParticleTest, CreationCopiesTheStartAndHoldsItsEffect)
{
    EftStartState start;
    start.life = 12;
    start.velocity = {0, 0, 2};
    start.position = {1, 0, 0};
    EftDefinition def = plain_def();
    eft_fixture_put(5, eft_fixture_single(emitter(def, start)));
    GoEffect& effect = make_effect(5, {3, 4, 5});
    effect.render_row = EFFECT_ROW_IN_WATER;
    GoParticle* particle = start_one(effect, 0, 7);
    ASSERT_NE(particle, nullptr);

    EXPECT_EQ(particle->effect.get(), &effect);
    EXPECT_EQ(particle->def, &g_effect_list[5].defs[0]);
    EXPECT_EQ(particle->vertices, particle->state.vertices);
    EXPECT_EQ(particle->state.delay, 7);
    EXPECT_EQ(particle->state.render_row, EFFECT_ROW_IN_WATER);
    EXPECT_EQ(particle->state.life, 12);
    EXPECT_EQ(particle->state.total_life, 12);
    EXPECT_EQ(particle->state.speed_spread, 1.0f);
    expect_near(matrix_position(particle->matrix), {3, 4, 5});
    expect_near(particle->state.position, {1, 0, 0});
    EXPECT_EQ(particle->attack_record, nullptr);
    EXPECT_EQ(effect.ref_count, 1u);
    EXPECT_EQ(go_particle_find_by_emitter(effect), particle);

    go_kill(*particle);
    obj_sweep_dead();
    EXPECT_EQ(g_pool_particle.count, 0);
    EXPECT_EQ(effect.ref_count, 0u);
    EXPECT_EQ(effect.live_particles, 0);
    EXPECT_EQ(go_particle_find_by_emitter(effect), nullptr);
}

// Every randomised value of the start, replayed from the seeded generator.
TEST_F(ParticleTest, CreationRandomisesLifeDelayAndScaleFromTheGenerator)
{
    EftStartState start;
    start.life = 30;
    start.base_scale = {2, 2, 2};
    EftDefinition def = plain_def();
    def.life_jitter = 7;
    def.extra_delay = 10;
    def.scale_spread = {0.5f, 0.25f, -1.0f};
    eft_fixture_put(1, eft_fixture_single(emitter(def, start)));

    math_rand_seed();
    const std::int32_t life = 30 + next_triangular() % 7;
    const std::uint32_t delay = 3 + math_rand_u32() % 10;
    const float fx = 1.0f + 0.5f * static_cast<float>(next_triangular()) / 32767.0f;
    const float fy = 1.0f + 0.25f * static_cast<float>(next_triangular()) / 32767.0f;
    math_rand_seed();
    GoParticle* particle = start_one(make_effect(1), 0, 3);
    ASSERT_NE(particle, nullptr);
    EXPECT_EQ(particle->state.life, life);
    EXPECT_EQ(particle->state.total_life, life);
    EXPECT_EQ(particle->state.delay, delay);
    EXPECT_FLOAT_EQ(particle->state.base_scale.x, 2 * fx);
    EXPECT_FLOAT_EQ(particle->state.base_scale.y, 2 * fy);
    EXPECT_FLOAT_EQ(particle->state.base_scale.z, 2 * fy) << "a negative z spread takes the y factor";
}

TEST_F(ParticleTest, CreationTurnsAndOffsetsWithinTheirSpreads)
{
    struct Case {
        const char* what;
        D3DXVECTOR3 spawn_spread;
        float offset_min, offset_max;
        float velocity_jitter;
        float speed_spread;
    };
    const Case cases[] = {
        {"offset straight along z", {0, 0, 0}, 1.0f, 2.0f, 0.0f, 0.0f},
        {"offset turned about z only lies in the x-y plane", {0, 0, PI}, 1.0f, 2.0f, 0.0f, 0.0f},
        {"offset within a cone about z", {0.5f, 0.5f, 0}, 1.0f, 2.0f, 0.0f, 0.0f},
        {"velocity jitter keeps the speed", {0, 0, 0}, 0.0f, 0.0f, 0.3f, 0.0f},
        {"speed spread", {0, 0, 0}, 0.0f, 0.0f, 0.0f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EftStartState start;
        start.velocity = {0, 0, 3};
        start.speed_spread = c.speed_spread;
        EftDefinition def = plain_def();
        def.spawn_spread = {c.spawn_spread.x, c.spawn_spread.y, c.spawn_spread.z};
        def.offset_min = c.offset_min;
        def.offset_max = c.offset_max;
        def.velocity_jitter = {c.velocity_jitter, c.velocity_jitter};
        eft_fixture_put(1, eft_fixture_single(emitter(def, start)));
        for (int i = 0; i < 20; ++i) {
            const GoParticle& p = *start_one(make_effect(1));
            const float offset = D3DXVec3Length(&p.state.position);
            if (c.offset_max != 0.0f) {
                EXPECT_GE(offset, c.offset_min - 1e-5f);
                EXPECT_LT(offset, c.offset_max + 1e-5f);
            }
            if (c.spawn_spread == D3DXVECTOR3(0, 0, 0)) {
                EXPECT_NEAR(p.state.position.z, offset, 1e-5f);
            } else if (c.spawn_spread.z != 0.0f) {
                EXPECT_NEAR(p.state.position.z, 0.0f, 1e-5f);
            } else {
                EXPECT_LE(angle_between(p.state.position, {0, 0, 1}), 0.5f);
            }
            EXPECT_NEAR(D3DXVec3Length(&p.state.velocity), 3.0f, 1e-4f);
            EXPECT_LE(angle_between(p.state.velocity, {0, 0, 1}),
                      c.velocity_jitter * std::sqrt(2.0f) + 1e-3f);
            EXPECT_GT(p.state.speed_spread, 1.0f - c.speed_spread - 1e-6f);
            EXPECT_LT(p.state.speed_spread, 1.0f + c.speed_spread + 1e-6f);
        }
        obj_destroy_all();
    }
}

// n + 1 pairs round the axis, the upper edge at the upper radius, u counting segments from the
// frame's left edge.
TEST_F(ParticleTest, RingEmittersBuildTheirOwnVertices)
{
    EftDefinition def = plain_def(EFFECT_DEF_LINEAR | EFFECT_DEF_RING);
    def.ring_segments = 4;
    def.ring_lower_radius = 1.0f;
    def.ring_upper_radius = 2.0f;
    def.ring_height = 1.0f;
    def.frames = {{0, 0.25f, 0.0f, 0.75f, 1.0f}};
    GoParticle& p = put_and_start(1, {emitter(def)});
    ASSERT_EQ(p.ring.size(), 10u);
    EXPECT_EQ(p.vertices, p.ring.data());
    const struct {
        std::size_t index;
        D3DXVECTOR3 position;
        float u, v;
    } expected[] = {
        {0, {2, 0.5f, 2}, 0.25f, 0.0f},    {1, {1, -0.5f, 1}, 0.25f, 1.0f}, {2, {-2, 0.5f, 2}, 1.25f, 0.0f},
        {5, {-1, -0.5f, -1}, 2.25f, 1.0f}, {8, {2, 0.5f, 2}, 4.25f, 0.0f},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.index);
        expect_near(p.ring[e.index].position, e.position);
        EXPECT_FLOAT_EQ(p.ring[e.index].u, e.u);
        EXPECT_FLOAT_EQ(p.ring[e.index].v, e.v);
        EXPECT_EQ(p.ring[e.index].colour1, 0xFFFFFFFFu);
        EXPECT_EQ(p.ring[e.index].colour2, 0u);
    }
}

// The attack takes the effect's values and a record of its side; its size follows the mean of
// the emitter's base scale.
TEST_F(ParticleTest, AttackingEmittersArmFromTheirEffect)
{
    EftStartState start;
    start.base_scale = {1, 2, 3};
    EftDefinition def = plain_def();
    def.attacking = 1;
    def.collision = EFFECT_COLLIDE_MAP;
    def.attack_radius = 0.5f;
    def.attack_height = 0.25f;
    def.attack_half_height = 2.0f;
    def.attack_active = 9;
    def.hit_hold = 12;
    eft_fixture_put(1, eft_fixture_single(emitter(def, start)));
    GoEffect& effect = make_effect(1);
    effect.side = COMBAT_SIDE_ENEMY;
    effect.attack_id = 0x0900002A;
    effect.power_a = 3.0f;
    effect.element = 2;
    effect.status.atk = 77.0f;
    const GoParticle& p = *start_one(effect);

    ASSERT_NE(p.attack_record, nullptr);
    EXPECT_EQ(g_pool_attack_enemy.count, 1);
    EXPECT_EQ(p.attack_record->particle.get(), &p);
    EXPECT_EQ(p.attack_record->side, COMBAT_SIDE_ENEMY);
    EXPECT_EQ(p.status.atk, 77.0f);
    EXPECT_EQ(p.collision_on, 1);
    EXPECT_EQ(p.collision_radius, 0.0f);
    EXPECT_EQ(p.attack.active_ticks, 9);
    EXPECT_EQ(p.attack.shape.hold, 12);
    EXPECT_EQ(p.attack.shape.attack_id, 0x0900002Au);
    EXPECT_EQ(p.attack.shape.class_bits, ATTACK_ENEMY_CLASS);
    EXPECT_EQ(p.attack.attack_bonus, 3.0f);
    EXPECT_EQ(p.attack.element, 2);
    EXPECT_FLOAT_EQ(p.attack.shape.radius, 1.0f);
    EXPECT_FLOAT_EQ(p.attack.orbit_height, 0.5f);
    EXPECT_EQ(p.attack.shape.cylinder, 1);
    EXPECT_FLOAT_EQ(p.attack.shape.half_height, 4.0f);

    obj_destroy_all();
    EXPECT_EQ(g_pool_attack_enemy.count, 0) << "the record goes back with the particle";
}

// ---- Life, delay and fading --------------------------------------------------------------------

TEST_F(ParticleTest, DelayFiveStartsOnTheSixthWholeTick)
{
    EftStartState start;
    start.life = 10;
    start.velocity = {0, 0, 1};
    eft_fixture_put(1, eft_fixture_single(emitter(plain_def(), start)));
    GoParticle& p = *start_one(make_effect(1), 0, 5);
    for (int tick = 1; tick <= 5; ++tick) {
        step({.whole = false, .drawn = true});
        step();
        EXPECT_EQ(p.state.delay, 5 - tick);
        EXPECT_EQ(p.state.life, 10);
        EXPECT_EQ(p.state.position.z, 0.0f);
    }
    step();
    EXPECT_EQ(p.state.life, 9);
    EXPECT_NEAR(p.state.position.z, 1.0f, 1e-5f);
    EXPECT_NEAR(p.world._43, 1.0f, 1e-5f);
}

// The stop request fades the fade-on-stop particles: by their own step, else the effect's, else 6
// a tick, ending once the amount would pass 255.
TEST_F(ParticleTest, StopRequestFadesByTheFirstStepGiven)
{
    const struct {
        std::int32_t own_step;
        std::int32_t effect_step;
        int ticks;
    } cases[] = {{0, 0, 43}, {6, 0, 43}, {0, 20, 13}, {30, 20, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.own_step << " " << c.effect_step);
        EftStartState start;
        start.life = 1000;
        start.fade_step = c.own_step;
        EftDefinition def = plain_def();
        def.collision = EFFECT_FADE_ON_STOP;
        eft_fixture_put(1, eft_fixture_single(emitter(def, start)));
        GoEffect& effect = make_effect(1);
        effect.fade_step = c.effect_step;
        GoParticle& p = *start_one(effect);
        step();
        effect.stop_request = 1;
        step();
        const std::int32_t step_taken = c.own_step ? c.own_step : c.effect_step ? c.effect_step : 6;
        EXPECT_EQ(p.state.fading, 1);
        EXPECT_EQ(alpha(p), 255u - static_cast<std::uint32_t>(step_taken));
        int ticks = 1;
        while (g_pool_particle.count > 0 && ticks < 100) {
            step();
            ++ticks;
        }
        EXPECT_EQ(ticks, c.ticks);
        obj_destroy_all();
    }
}

TEST_F(ParticleTest, StopRequestLeavesParticlesWithoutTheBit)
{
    EftStartState start;
    start.life = 20;
    GoParticle& p = put_and_start(1, {emitter(plain_def(), start)});
    p.effect.get()->stop_request = 1;
    steps(5);
    EXPECT_EQ(p.state.fading, 0);
    EXPECT_EQ(p.state.life, 15);
    eft_particle_stop(p);
    EXPECT_EQ(p.state.fading, 1);
    EXPECT_EQ(p.state.fade_step, EFFECT_DEFAULT_FADE_STEP);
}

TEST_F(ParticleTest, EndlessLifeRestartsUntilTheEffectStopsIt)
{
    EftStartState start;
    start.life = 5;
    EftDefinition def = plain_def(EFFECT_DEF_LINEAR | EFFECT_DEF_CULLED_ENDLESS);
    def.collision = EFFECT_FADE_ON_STOP;
    GoParticle& p = put_and_start(1, {emitter(def, start)});
    steps(4);
    EXPECT_EQ(p.state.life, 1);
    step();
    EXPECT_EQ(p.state.life, 5) << "restarted at the total on its last tick";
    steps(17);
    EXPECT_EQ(p.state.life, 3);
    EXPECT_TRUE(alive(p));
    p.effect.get()->stop_request = 1;
    steps(42);
    EXPECT_EQ(g_pool_particle.count, 1);
    step();
    EXPECT_EQ(g_pool_particle.count, 0);
}

// ---- Curves and motion ---------------------------------------------------------------------------

// Alpha keys 0, 1, 0 at ages 0, 0.5, 1 read at age 0.5; spin and scale curves at their top.
TEST_F(ParticleTest, CurveModesDriveColourSpinAndScale)
{
    const struct {
        const char* what;
        std::uint16_t flags;
        std::uint32_t alpha;
        std::uint32_t colour2;
        float spin; // rotation x after five ticks
        float scale_x;
        float matrix_11; // the matrix's x scale (no rotation about z or y)
    } cases[] = {
        {"keyframed", EFFECT_DEF_KEYFRAMED, 255, 0xFFFFFF, 5 * 0.62831855f, 6.0f, 12.0f},
        {"linear between the first two keys", EFFECT_DEF_LINEAR, 128, 0xFFFFFF, 5 * 0.62831855f, 6.0f, 12.0f},
        {"simple: lines, no spin, a translation", EFFECT_DEF_SIMPLE, 128, 0xFFFFFF, 0.0f, 6.0f, 1.0f},
        {"no curve mode: the start's colours", 0, 255, 0, 0.0f, 1.0f, 2.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EftStartState start;
        start.life = 10;
        start.base_scale = {2, 2, 2};
        EftDefinition def = plain_def(c.flags);
        def.curves[EFFECT_CURVE_ALPHA] = {{0.0f, 0.0f}, {0.5f, 1.0f}, {1.0f, 0.0f}};
        def.curves[EFFECT_CURVE_SPIN] = eft_constant(1.0f);
        def.curves[EFFECT_CURVE_SCALE] = eft_constant(1.0f);
        GoParticle& p = put_and_start(1, {emitter(def, start)});
        steps(5);
        EXPECT_EQ(alpha(p), c.alpha);
        EXPECT_EQ(p.state.vertices[3].colour1 & 0xFFFFFF, 0xFFFFFFu);
        EXPECT_EQ(p.state.vertices[3].colour2, c.colour2);
        EXPECT_NEAR(p.state.rotation.x, c.spin, 1e-5f);
        EXPECT_FLOAT_EQ(p.state.scale_factors.x, c.scale_x);
        EXPECT_NEAR(p.matrix._11, c.matrix_11, 1e-5f);
        obj_destroy_all();
    }
}

TEST_F(ParticleTest, MotionScalesBySpeedCurveAndSpreadAndFallsWithGrowingGravity)
{
    EftStartState start;
    start.velocity = {1, 0, 0};
    EftDefinition def = plain_def();
    def.curves[EFFECT_CURVE_SPEED] = eft_constant(1.0f); // factor 6
    def.gravity = 0.1f;
    def.gravity_growth = 0.01f;
    GoParticle& p = put_and_start(1, {emitter(def, start)}, {0, 5, 0});
    p.state.speed_spread = 0.5f;
    steps(2);
    expect_near(p.state.position, {6.0f, -0.23f, 0.0f});
    expect_near(matrix_position(p.world), {6.0f, 4.77f, 0.0f});
    step({.paused = true});
    expect_near(p.state.position, {6.0f, -0.23f, 0.0f});
    g_frame_step = 0.5f;
    step({.whole = false});
    expect_near(p.state.position, {7.5f, -0.23f - 0.5f * 0.12f, 0.0f});
}

// The kick angle, drawn within its range, is cut to the clamp; the mask picks the ticks.
TEST_F(ParticleTest, KicksTurnTheVelocityOnTheMaskedTicks)
{
    for (const std::uint8_t mask : {std::uint8_t{0xFF}, std::uint8_t{0}}) {
        SCOPED_TRACE(int{mask});
        EftStartState start;
        start.velocity = {0, 0, 1};
        EftDefinition def = plain_def();
        def.curves[EFFECT_CURVE_SPEED] = eft_constant(0.5f);
        def.kick_chance = 255;
        def.kick_mask = mask;
        def.kick_min = {0, 0.5f, 0};
        def.kick_max = {0, 0.5f, 0};
        def.kick_clamp = {0, 0.25f, 0};
        GoParticle& p = put_and_start(1, {emitter(def, start)});
        step();
        EXPECT_NEAR(angle_between(p.state.velocity, {0, 0, 1}), mask ? 0.25f : 0.0f, 1e-3f);
        EXPECT_NEAR(p.state.velocity.y, 0.0f, 1e-5f);
        obj_destroy_all();
    }
}

TEST_F(ParticleTest, MeshTimeWrapsOrHoldsAndFramesLoopOrStop)
{
    for (const bool loop : {true, false}) {
        SCOPED_TRACE(loop);
        EftStartState start;
        start.mesh_time = 1.0f;
        EftDefinition def = plain_def(EFFECT_DEF_LINEAR | EFFECT_DEF_MESH);
        def.mesh_anim_rate = 0.5f;
        def.mesh_anim_start = 1.0f;
        def.mesh_anim_end = 3.0f;
        def.mesh_wrap = loop;
        def.scroll_speed = {0.1f, 0.2f};
        def.frames = {{}, {}, {}};
        def.ticks_per_frame = 2;
        def.frames_loop = loop;
        GoParticle& p = put_and_start(1, {emitter(def, start)});
        std::vector<int> frames;
        std::vector<float> times;
        for (int tick = 1; tick <= 6; ++tick) {
            step();
            frames.push_back(p.state.frame_index);
            times.push_back(p.state.mesh_time);
        }
        EXPECT_EQ(frames, (std::vector<int>{0, 1, 1, 2, 2, loop ? 0 : 2}));
        const std::vector<float> wrapped{1.5f, 2.0f, 2.5f, 1.0f, 1.5f, 2.0f};
        const std::vector<float> held{1.5f, 2.0f, 2.5f, 3.0f, 3.0f, 3.0f};
        EXPECT_EQ(times, loop ? wrapped : held);
        EXPECT_NEAR(p.state.uv_scroll[0], 0.6f, 1e-5f);
        EXPECT_NEAR(p.state.uv_scroll[1], 1.2f, 1e-5f);
        obj_destroy_all();
    }
}

// ---- Parents -------------------------------------------------------------------------------------

// A parent at (1, 2, 3) moving up by 1 a tick, turned a quarter about y, half transparent, in an
// effect at (10, 0, 0); its child starts after the parent's first tick.
TEST_F(ParticleTest, ParentLinksOfByte61)
{
    const struct {
        const char* what;
        std::uint8_t links;
        D3DXVECTOR3 position;
        D3DXVECTOR3 velocity;
    } cases[] = {
        {"none", 0, {0, 0, 0}, {1, 0, 0}},
        {"the parent's position", EFFECT_LINK_PARENT_POSITION, {1, 3, 3}, {1, 0, 0}},
        {"the parent's world position",
         EFFECT_LINK_PARENT_POSITION | EFFECT_LINK_WORLD_SPACE,
         {11, 3, 3},
         {1, 0, 0}},
        {"the parent's velocity", EFFECT_LINK_PARENT_VELOCITY, {0, 0, 0}, {1, 1, 0}},
        {"turned by the parent's rotation", EFFECT_LINK_PARENT_ROTATION, {0, 0, 0}, {0, 0, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EftStartState parent_start;
        parent_start.position = {1, 2, 3};
        parent_start.velocity = {0, 1, 0};
        parent_start.rotation = {0, PI / 2, 0};
        EftDefinition parent_def = plain_def();
        parent_def.curves[EFFECT_CURVE_ALPHA] = eft_constant(0.5f);
        EftStartState child_start;
        child_start.velocity = {1, 0, 0};
        EftDefinition child_def = plain_def();
        child_def.parent_links = c.links;
        eft_fixture_put(1, {{{0, 0}}, {emitter(parent_def, parent_start), emitter(child_def, child_start)}});
        GoEffect& effect = make_effect(1, {10, 0, 0});
        GoParticle& parent = *start_one(effect);
        step();
        GoParticle& child = *start_one(effect, 1, 0, &parent);
        EXPECT_EQ(child.parent.get(), &parent);
        EXPECT_EQ(parent.ref_count, 1u);
        expect_near(child.state.position, c.position);
        expect_near(child.state.velocity, c.velocity);
        obj_destroy_all();
    }
}

TEST_F(ParticleTest, ChildrenTakeTheParentsAlphaAndMayStandInTheWorld)
{
    EftDefinition parent_def = plain_def();
    parent_def.curves[EFFECT_CURVE_ALPHA] = eft_constant(0.5f);
    EftDefinition child_def = plain_def();
    child_def.parent_links = EFFECT_LINK_PARENT_ALPHA | EFFECT_LINK_WORLD_SPACE;
    EftStartState child_start;
    child_start.position = {1, 0, 0};
    eft_fixture_put(1, {{{0, 0}}, {emitter(parent_def), emitter(child_def, child_start)}});
    GoEffect& effect = make_effect(1, {10, 0, 0});
    GoParticle& parent = *start_one(effect);
    GoParticle& child = *start_one(effect, 1, 0, &parent);
    step();
    EXPECT_EQ(alpha(parent), 128u);
    EXPECT_EQ(alpha(child), 128u);
    expect_near(matrix_position(child.matrix), {1, 0, 0});
    expect_near(matrix_position(parent.matrix), {10, 0, 0});
}

// A parent at (0, 1, 0) in an effect at (10, 0, 0), turned a quarter about y; its follower starts
// at (1, 0, 0). The parent ends after five ticks, and the follower with it.
TEST_F(ParticleTest, FollowModesPlaceByTheParentAndEndWithIt)
{
    const struct {
        EffectFollow follow;
        D3DXVECTOR3 at;
    } cases[] = {
        {EFFECT_FOLLOW_PARENT, {10, 1, -1}},
        {EFFECT_FOLLOW_PARENT_POSITION, {11, 1, 0}},
        {EFFECT_FOLLOW_PLAYER_POSITION, {10, 0, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.follow});
        EftStartState parent_start;
        parent_start.life = 5;
        parent_start.position = {0, 1, 0};
        parent_start.rotation = {0, PI / 2, 0};
        EftStartState child_start;
        child_start.life = 100;
        child_start.follow = c.follow;
        child_start.position = {1, 0, 0};
        eft_fixture_put(1,
                        {{{0, 0}},
                         {emitter(plain_def(), parent_start),
                          emitter(plain_def(EFFECT_DEF_LINEAR | EFFECT_DEF_CULLED_ENDLESS), child_start)}});
        GoEffect& effect = make_effect(1, {10, 0, 0});
        GoParticle& parent = *start_one(effect);
        GoParticle& child = *start_one(effect, 1, 0, &parent);
        step();
        expect_near(matrix_position(child.world), c.at);
        steps(3);
        EXPECT_TRUE(alive(child));
        step();
        // Even an endless follower ends with its parent, and lets go of it at once.
        EXPECT_EQ(g_pool_particle.count, 0);
        obj_destroy_all();
    }
}

TEST_F(ParticleTest, FollowersFadeWithTheirParentByItsStep)
{
    EftStartState parent_start;
    parent_start.life = 100;
    parent_start.fade_step = 10;
    EftDefinition parent_def = plain_def();
    parent_def.collision = EFFECT_FADE_ON_STOP;
    EftStartState child_start;
    child_start.life = 100;
    child_start.follow = EFFECT_FOLLOW_PARENT_POSITION;
    eft_fixture_put(1, {{{0, 0}}, {emitter(parent_def, parent_start), emitter(plain_def(), child_start)}});
    GoEffect& effect = make_effect(1);
    GoParticle& parent = *start_one(effect);
    GoParticle& child = *start_one(effect, 1, 0, &parent);
    step();
    effect.stop_request = 1;
    step();
    EXPECT_EQ(parent.state.fading, 1);
    EXPECT_EQ(child.state.fading, 1);
    EXPECT_EQ(child.state.fade_step, 10);
    steps(27);
    EXPECT_EQ(g_pool_particle.count, 0);
}

// A child at the origin moving along x at 1, homing on its parent at (0, 0, 10).
TEST_F(ParticleTest, HomingModesTurnOrPullTowardTheParent)
{
    D3DXVECTOR3 toward(-1, 0, 10);
    D3DXVec3Normalize(&toward, &toward);
    D3DXVECTOR3 blend = toward * 0.1f + D3DXVECTOR3(1, 0, 0) * 0.9f;
    D3DXVec3Normalize(&blend, &blend);
    const struct {
        std::uint8_t mode;
        std::int32_t delay;
        D3DXVECTOR3 position;
        D3DXVECTOR3 velocity;
    } cases[] = {
        {1, 0, {1, 0, 0}, toward},
        {2, 0, D3DXVECTOR3(1, 0, 0) + toward * 2.0f, {1, 0, 0}},
        {3, 0, {1, 0, 0}, blend},
        {1, 3, {1, 0, 0}, {1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.mode} << " delay " << c.delay);
        EftStartState parent_start;
        parent_start.position = {0, 0, 10};
        EftStartState child_start;
        child_start.life = 10;
        child_start.velocity = {1, 0, 0};
        EftDefinition child_def = plain_def();
        child_def.homing_mode = c.mode;
        child_def.homing_period = 1;
        child_def.homing_chance = 255;
        child_def.homing_strength = 1.0f;
        child_def.homing_delay = c.delay;
        eft_fixture_put(1, {{{0, 0}}, {emitter(plain_def(), parent_start), emitter(child_def, child_start)}});
        GoEffect& effect = make_effect(1);
        GoParticle& parent = *start_one(effect);
        GoParticle& child = *start_one(effect, 1, 0, &parent);
        step();
        expect_near(child.state.position, c.position);
        expect_near(child.state.velocity, c.velocity);
        obj_destroy_all();
    }
}

// Children start through the effect's own start of emitters.
TEST_F(ParticleTest, ChildrenStartByTheirTrigger)
{
    const struct {
        const char* what;
        std::uint8_t trigger;
        std::int32_t period;
        std::vector<int> ticks;
    } cases[] = {
        {"the parent's first tick", 0, 0, {1}},
        {"the parent's last tick", 1, 0, {10}},
        {"once at the period", 2, 4, {4}},
        {"the first tick and every period", 3, 3, {1, 4, 7, 10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        put_parent_and_child(1, c.trigger, c.period);
        std::vector<int> started;
        std::int32_t children = 0;
        for (int tick = 1; tick <= 12; ++tick) {
            step();
            const std::int32_t now = count_of_second_emitter(1);
            if (now > children) started.push_back(tick);
            children = now;
        }
        EXPECT_EQ(started, c.ticks);
        obj_destroy_all();
    }
}

// ---- Lifetimes -------------------------------------------------------------------------------------

// The effect dies at the end of its line but stays until its last particle has let go of it.
TEST_F(ParticleTest, AnEffectThatEndedItsMotionIsSweptAfterItsLastParticle)
{
    EftStartState start;
    start.life = 6;
    GoParticle& p = put_and_start(1, {emitter(plain_def(), start)});
    GoEffect& effect = *p.effect.get();
    eft_set_motion(effect, {0, 0, 0}, {4, 0, 0}, 0.5f);
    steps(2);
    EXPECT_EQ(effect.flags & GO_FLAG_DEAD, GO_FLAG_DEAD);
    EXPECT_EQ(g_pool_effect.count, 1);
    steps(3);
    EXPECT_EQ(p.effect.get(), &effect);
    EXPECT_EQ(g_pool_effect.count, 1);
    step();
    EXPECT_EQ(g_pool_particle.count, 0);
    EXPECT_EQ(g_pool_effect.count, 1) << "the sweep reaches effects before particles";
    obj_sweep_dead();
    EXPECT_EQ(g_pool_effect.count, 0);
}

// A world clear deletes effects before particles and parents before children, whatever holds
// them: the destructors find them gone through their handles.
TEST_F(ParticleTest, WorldClearWithLiveParticlesAndChildrenTouchesNothingDeleted)
{
    EftDefinition attacking = plain_def();
    attacking.attacking = 1;
    eft_fixture_put(1, {{{0, 0}}, {emitter(attacking), emitter(plain_def())}});
    GoEffect& effect = make_effect(1);
    GoParticle& parent = *start_one(effect);
    GoParticle& child = *start_one(effect, 1, 0, &parent);
    start_one(effect, 1, 0, &child);
    step();
    EXPECT_EQ(effect.ref_count, 3u);
    EXPECT_EQ(g_pool_attack_player.count, 1);
    obj_destroy_all();
    EXPECT_EQ(g_pool_particle.count, 0);
    EXPECT_EQ(g_pool_effect.count, 0);
    EXPECT_EQ(g_pool_attack_player.count, 0);
}

TEST_F(ParticleTest, FindByEmitterIncludesTheDeadNotYetSwept)
{
    eft_fixture_put(1, eft_fixture_single(emitter(plain_def())));
    eft_fixture_put(2, eft_fixture_single(emitter(plain_def())));
    GoEffect& first = make_effect(1);
    GoEffect& second = make_effect(2);
    start_one(first);
    GoParticle& mine = *start_one(second);
    start_one(second);
    go_kill(mine);
    EXPECT_EQ(go_particle_find_by_emitter(second), &mine);
    obj_sweep_dead();
    EXPECT_NE(go_particle_find_by_emitter(second), nullptr);
    EXPECT_NE(go_particle_find_by_emitter(second), go_particle_find_by_emitter(first));
}
