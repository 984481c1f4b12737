#include "core/errors.h"
#include "locus_sword_fixture.h"
#include "scenegraph/queued_items.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numbers>

namespace {

using ::testing::HasSubstr;

constexpr float k_pi = std::numbers::pi_v<float>;

void expect_near(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected, float tolerance = 1e-4f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

D3DXVECTOR3 vec(const D3DVECTOR& v)
{
    return {v.x, v.y, v.z};
}

int updates_until_dead(GoLocusSword& trail, int limit = 100)
{
    for (int n = 1; n <= limit; ++n) {
        trail.Update();
        if (trail.flags & GO_FLAG_DEAD) return n;
    }
    return -1;
}

} // namespace

TEST_F(TrailTest, LoadsTheSixCurves)
{
    for (int n = 0; n < SWORD_TRAIL_CURVES; ++n) {
        EXPECT_EQ(g_sword_trail_curves[n].header.frame_count, TRAIL_TEST_FRAMES) << n;
        EXPECT_EQ(g_sword_trail_curves[n].segments.size(), TRAIL_TEST_SEGMENTS) << n;
    }
}

TEST_F(TrailTest, AMissingCurveEndsTheStartWithItsTextAndPath)
{
    std::vector<ArchiveSource> files = trail_test_files();
    std::erase_if(files, [](const ArchiveSource& file) { return file.path == "data\\effect\\sword3.sl2"; });
    mount(files);
    try {
        gfx_load_sword_trails();
        FAIL() << "no error";
    } catch (const RuntimeError& error) {
        EXPECT_THAT(error.text, HasSubstr("data\\effect\\sword3.sl2"));
        EXPECT_THAT(error.text, HasSubstr("g_gfx(36)"));
        EXPECT_THAT(error.text, HasSubstr("80ff0009h"));
    }
}

// The script value chooses curve, segment and texture by the owner's cast.
TEST_F(TrailTest, CastAndValueChooseCurveSegmentAndTexture)
{
    struct Case {
        std::int32_t cast, value, curve, first_frame;
        int image;
    };
    for (int entry : {16, 17, 22})
        g_texture_handles[entry] =
            reinterpret_cast<IDirect3DTexture8*>(static_cast<std::uintptr_t>(0x1000 + entry));
    const Case cases[] = {
        {20, 256, 0, 0, 16},
        {20, 256 + TRAIL_SEGMENT_SHORT, 0, 3, 16},
        {80, 300 + TRAIL_SEGMENT_SHORT, 1, 3, 17},
        {13, 269, 0, 0, 22},
        {13, 270, 0, 0, 22},
        {13, 268, 0, 0, 16},
    };
    for (const Case& c : cases) {
        m_owner->cast = c.cast;
        GoLocusSword* trail = start(c.value);
        ASSERT_NE(trail, nullptr) << c.cast << " " << c.value;
        EXPECT_EQ(trail->curve, c.curve) << c.cast << " " << c.value;
        EXPECT_EQ(trail->frame_time, static_cast<float>(c.first_frame)) << c.value;
        EXPECT_EQ(trail->texture, g_texture_handles[c.image]) << c.cast << " " << c.value;
        EXPECT_EQ(trail->reaction_id, 7u);
        go_kill(*trail);
    }
    for (int entry : {16, 17, 22})
        g_texture_handles[entry] = nullptr;
}

TEST_F(TrailTest, ASegmentOutsideTheCurveMakesNone)
{
    for (std::int32_t value : {255, 256 + static_cast<std::int32_t>(TRAIL_TEST_SEGMENTS), 100000}) {
        EXPECT_EQ(actor_spawn_sword_trail(request(value), *m_owner), nullptr) << value;
    }
    m_owner->cast = ACTOR_CAST_OWN_TRAIL;
    EXPECT_EQ(actor_spawn_sword_trail(request(299), *m_owner), nullptr);
    EXPECT_EQ(g_pool_locus_sword.count, 0);
    EXPECT_EQ(m_owner->ref_count, 0u);
}

TEST_F(TrailTest, AFullPoolMakesNone)
{
    while (g_pool_locus_sword.count < g_pool_locus_sword.capacity)
        ASSERT_NE(start(), nullptr);
    EXPECT_EQ(actor_spawn_sword_trail(request(256), *m_owner), nullptr);
}

// The attack: lifetime 0 holds 15 ticks and a strength of 0 lasts the lifetime; the three
// spheres are chained, on the owner's side.
TEST_F(TrailTest, AttachArmsTheChainedAttack)
{
    m_owner->attack_id = 0x01000042;
    GoLocusSword* trail = start();
    EXPECT_EQ(m_owner->ref_count, 1u);
    const AttackDesc& attack = trail->attack;
    EXPECT_EQ(attack.shape.hold, LOCUS_SWORD_DEFAULT_LIFETIME);
    EXPECT_EQ(attack.active_ticks, LOCUS_SWORD_DEFAULT_LIFETIME);
    EXPECT_EQ(attack.shape.attack_id, 0x01000042u);
    EXPECT_EQ(attack.shape.radius, LOCUS_SWORD_RADIUS);
    EXPECT_EQ(attack.shape.class_bits, ATTACK_ENEMY_CLASS);
    EXPECT_EQ(attack.element, ATTACK_ELEMENT_NONE);
    EXPECT_FLOAT_EQ(attack.attack_bonus, 3.0f);
    EXPECT_FLOAT_EQ(attack.attack_factor, 1.5f);
    EXPECT_EQ(trail->side, static_cast<std::uint32_t>(COMBAT_SIDE_ENEMY));
    EXPECT_EQ(attack.shape.next, &trail->hit_shapes[0]);
    EXPECT_EQ(trail->hit_shapes[0].next, &trail->hit_shapes[1]);
    EXPECT_EQ(trail->hit_shapes[1].next, nullptr);

    AniSwordTrailRequest timed = request(256);
    timed.lifetime = 30;
    timed.strength = 4;
    GoLocusSword* other = actor_spawn_sword_trail(timed, *m_owner);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->attack.shape.hold, 30);
    EXPECT_EQ(other->attack.active_ticks, 4);
    EXPECT_EQ(m_owner->ref_count, 2u);
}

TEST_F(TrailTest, ASegmentWhoseFirstFrameIsItsLastDiesOnTheFirstUpdate)
{
    GoLocusSword* trail = start(256 + TRAIL_SEGMENT_SHORT);
    EXPECT_EQ(updates_until_dead(*trail), 1);
    EXPECT_FALSE(trail->attack.shape.class_bits & HIT_ACTIVE);
}

TEST_F(TrailTest, PlaysItsSegmentToTheEnd)
{
    GoLocusSword* trail = start();
    // Frames 0 .. 39 at speed 1: the end frame is 39.
    EXPECT_EQ(updates_until_dead(*trail), 39);
}

TEST_F(TrailTest, ADyingOwnerFadesItOutInAboutSevenTicks)
{
    GoLocusSword* trail = start();
    m_owner->status.hp = 0.5f;
    trail->Update();
    EXPECT_EQ(trail->fade_rate, LOCUS_SWORD_DYING_FADE);
    EXPECT_EQ(trail->fade, 1.0f);
    EXPECT_EQ(updates_until_dead(*trail), 7);
}

TEST_F(TrailTest, HoldStandsTheFrameForWholeTicks)
{
    GoLocusSword* trail = start();
    trail->hold = 2;
    set_steps(false, false, 0.5f);
    trail->Update();
    EXPECT_EQ(trail->hold, 2);
    set_steps(true, false);
    trail->Update();
    trail->Update();
    EXPECT_EQ(trail->frame_time, 0.0f);
    trail->Update();
    EXPECT_EQ(trail->frame_time, 1.0f);
}

// The blade point (2, 0, 0) turned by -(facing) - pi/2 - camera heading from the owner's feet:
// 2.5 radii short of the tip, 0.2 short of it, and their midpoint.
TEST_F(TrailTest, SpheresLieAlongTheBlade)
{
    struct Case {
        float facing, camera_heading;
        D3DXVECTOR3 blade;
    };
    const Case cases[] = {
        {-k_pi / 2.0f, 0.0f, {2.0f, 0.0f, 0.0f}},
        {0.0f, 0.0f, {0.0f, 0.0f, 2.0f}},
        {0.0f, -k_pi / 2.0f, {2.0f, 0.0f, 0.0f}},
    };
    const D3DXVECTOR3 position(1.0f, 3.0f, -2.0f);
    m_owner->foot_offset = 0.5f;
    matrix_set_position(m_owner->world, position);
    for (const Case& c : cases) {
        m_owner->facing = c.facing;
        g_camera_heading = c.camera_heading;
        GoLocusSword* trail = start();
        trail->Update();
        const D3DXVECTOR3 feet = position - D3DXVECTOR3(0.0f, 0.5f, 0.0f);
        const float k = 0.45f / 2.0f;
        const D3DXVECTOR3 near_centre = feet + c.blade * (1.0f - 2.5f * k);
        const D3DXVECTOR3 tip = feet + c.blade * (1.0f - 0.2f * k);
        expect_near(vec(trail->attack.shape.centre), near_centre);
        expect_near(vec(trail->hit_shapes[0].centre), (near_centre + tip) * 0.5f);
        expect_near(vec(trail->hit_shapes[1].centre), tip);
        go_kill(*trail);
    }
}

TEST_F(TrailTest, ABladeOfNoLengthLeavesTheSpheresInPlace)
{
    matrix_set_position(m_owner->world, D3DXVECTOR3(4.0f, 1.0f, 2.0f));
    GoLocusSword* trail = obj_create<GoLocusSword>(g_pool_locus_sword);
    ASSERT_NE(trail, nullptr);
    ASSERT_TRUE(trail->Attach(*m_owner, 16, 1, 0, 0, 0, 40, 0, 0, -1, TRAIL_ZERO_BLADE_CURVE, 0));
    matrix_set_position(m_owner->world, D3DXVECTOR3(9.0f, 9.0f, 9.0f));
    trail->Update();
    expect_near(vec(trail->attack.shape.centre), {4.0f, 1.0f, 2.0f});
    expect_near(vec(trail->hit_shapes[1].centre), {4.0f, 1.0f, 2.0f});
    EXPECT_FALSE(trail->flags & GO_FLAG_DEAD);
}

// The blade along +x cuts a wall at x = 1.5 facing -x: two sparks in the cone round the
// reflected direction, and one push of the owner away from the wall it faces.
TEST_F(TrailTest, AWallCutThrowsTwoSparksAndPushesOnce)
{
    add_mesh(wall_x(1.5f), "A");
    g_camera_heading = -k_pi / 2.0f; // facing 0 swings the blade along +x
    GoLocusSword* trail = start();
    trail->Update();

    const std::vector<GoXx*> sparks = objects_of(GOXX_STREAK_SPARK);
    ASSERT_EQ(sparks.size(), 2u);
    EXPECT_EQ(g_goxx_live_count[GOXX_STREAK_SPARK], 2);
    for (std::size_t i = 0; i < sparks.size(); ++i) {
        const StreakSpark& spark = sparks[i]->area<StreakSpark>();
        EXPECT_EQ(spark.start_delay, i);
        EXPECT_GE(spark.lifetime, 35.0f);
        EXPECT_LE(spark.lifetime, 55.0f);
        EXPECT_FLOAT_EQ(spark.half_width, 0.055f);
        EXPECT_EQ(spark.material, STREAK_MATERIAL);
        expect_near(matrix_position(sparks[i]->world), {1.5f, 0.0f, 0.0f});
        const D3DXVECTOR3 v = velocity(*sparks[i]);
        const float speed = D3DXVec3Length(&v);
        EXPECT_GE(speed, 0.04f);
        EXPECT_LT(speed, 0.155f);
        EXPECT_GT(-v.x / speed, std::cos(0.2617994f) - 1e-3f) << "within the cone round -x";
    }
    expect_near(matrix_position(m_owner->world), {-0.09f, 0.0f, 0.0f});
    EXPECT_EQ(trail->impact_done, 1u);

    trail->Update();
    EXPECT_EQ(objects_of(GOXX_STREAK_SPARK).size(), 4u);
    expect_near(matrix_position(m_owner->world), {-0.09f, 0.0f, 0.0f});
}

TEST_F(TrailTest, NoSparksOutsideTheAttackWindowOrOnPartTicks)
{
    add_mesh(wall_x(1.5f), "A");
    g_camera_heading = -k_pi / 2.0f;
    AniSwordTrailRequest late = request(256);
    late.attack_from = 5;
    late.attack_to = 6;
    GoLocusSword* trail = actor_spawn_sword_trail(late, *m_owner);
    ASSERT_NE(trail, nullptr);
    trail->Update();
    set_steps(false, false, 1.0f);
    trail->Update();
    EXPECT_TRUE(objects_of(GOXX_STREAK_SPARK).empty());
    expect_near(matrix_position(m_owner->world), {0.0f, 0.0f, 0.0f});
}

// The strong player's swing sprays four particles along the blade, one every other tick.
TEST_F(TrailTest, TheStrengthPowerUpSpraysABurst)
{
    struct Case {
        std::int32_t cast;
        bool submerged;
        int image;
        float peak; // the second scale key over the size
        std::uint32_t row;
    };
    g_texture_handles[428] = reinterpret_cast<IDirect3DTexture8*>(std::uintptr_t{0x428});
    g_texture_handles[23] = reinterpret_cast<IDirect3DTexture8*>(std::uintptr_t{0x23});
    const Case cases[] = {{13, false, 428, 5.0f, 11}, {13, true, 428, 5.0f, 9}, {80, false, 23, 2.5f, 11}};
    for (const Case& c : cases) {
        m_owner->cast = c.cast;
        m_owner->submerged = c.submerged;
        g_player = c.cast == 13 ? m_owner : nullptr;
        g_play_state.powerup_bits = 0x1;
        g_play_state.game_flags[GF_ARENA_SETUP] = 2;
        GoLocusSword* trail = start(c.cast == 80 ? 300 : 256);
        math_rand_seed();
        trail->Update();
        EXPECT_EQ(trail->reaction_id, LOCUS_SWORD_BURST_REACTION);
        EXPECT_EQ(trail->reaction_values[0], 0.0f);
        EXPECT_EQ(trail->reaction_values[1], 500.0f);
        const D3DXVECTOR3 b(0.0f, 0.0f, 2.0f); // facing 0
        const D3DXVECTOR3 tip = b * (1.0f - 0.2f * 0.225f);
        expect_near(vec(trail->burst_point), tip - b * 0.22f);

        const std::vector<GoXx*> particles = objects_of(GOXX_SPRITE_PARTICLE);
        ASSERT_EQ(particles.size(), 4u);
        math_rand_seed();
        for (std::size_t k = 0; k < particles.size(); ++k) {
            // The generator replayed: the spread, the size, the distance from the centre, the life.
            const float share = static_cast<float>(k) / 4.0f;
            const float spread =
                1.0f + 0.2f * std::sin(static_cast<float>(k) * k_pi / 4.0f) + math_rand_float(0.1f);
            const float drawn_size = math_rand_float(0.25f) + 0.05f;
            const float r = math_rand_range(0.0f, 0.18f);
            const float life = static_cast<float>(20 + (math_rand_u32() / 2) % 3);
            const int step = math_heading_index(static_cast<float>(k) * k_pi / 3.0f);
            const D3DXVECTOR3 centre = (tip - b * 0.22f) * share * spread;
            expect_near(matrix_position(particles[k]->world),
                        centre + D3DXVECTOR3(math_table_cos(step), 0.0f, math_table_sin(step)) * r, 1e-5f);
            const SpriteParticle& p = particles[k]->area<SpriteParticle>();
            EXPECT_FLOAT_EQ(p.scale_keys[0], 0.5f * drawn_size);
            EXPECT_EQ(p.lifetime, life);
            EXPECT_EQ(p.start_delay, static_cast<std::int32_t>(2 * k));
            EXPECT_EQ(p.texture, g_texture_handles[c.image]);
            EXPECT_EQ(p.material, 0x46C1u);
            EXPECT_EQ(p.row, c.row);
            EXPECT_EQ(p.rgb, 0xFFFFFFu);
            EXPECT_GE(p.lifetime, 20.0f);
            EXPECT_LE(p.lifetime, 22.0f);
            EXPECT_EQ(p.phase1_end, 5.0f);
            EXPECT_EQ(p.phase2_end, 14.0f);
            EXPECT_FLOAT_EQ(p.alpha_keys[0], 127.5f);
            EXPECT_FLOAT_EQ(p.alpha_keys[1], 255.0f);
            EXPECT_FLOAT_EQ(p.alpha_keys[3], 0.0f);
            const float size = p.scale_keys[0] / 0.5f;
            EXPECT_GE(size, 0.05f);
            EXPECT_LT(size, 0.3f);
            EXPECT_NEAR(p.scale_keys[1], c.peak * size, 1e-5f);
            EXPECT_NEAR(p.camera_offset, -0.25f * size, 1e-5f);
            const D3DXVECTOR3 v = velocity(*particles[k]);
            EXPECT_FLOAT_EQ(v.y, 0.02f);
            EXPECT_NEAR(std::hypot(v.x, v.z), 0.005f, 1e-6f);
        }
        obj_destroy_all();
        m_owner = spawn(g_pool_actor);
        ASSERT_NE(m_owner, nullptr);
        D3DXMatrixIdentity(&m_owner->world);
        D3DXMatrixIdentity(&m_owner->billboard_matrix);
        m_owner->status.hp = 100.0f;
    }
    g_texture_handles[428] = g_texture_handles[23] = nullptr;
}

TEST_F(TrailTest, NoBurstWithoutThePowerUp)
{
    m_owner->cast = 13;
    g_player = m_owner;
    GoLocusSword* trail = start();
    trail->Update();
    EXPECT_TRUE(objects_of(GOXX_SPRITE_PARTICLE).empty());
    EXPECT_EQ(trail->reaction_id, 7u);
    m_owner->cast = 80;
    g_play_state.game_flags[GF_ARENA_SETUP] = 1;
    trail->Update();
    EXPECT_TRUE(objects_of(GOXX_SPRITE_PARTICLE).empty());
}

TEST_F(TrailTest, AFullPoolEndsTheBurst)
{
    m_owner->cast = 13;
    g_player = m_owner;
    g_play_state.powerup_bits = 0x1;
    GoLocusSword* trail = start();
    while (g_pool_xx.capacity - g_pool_xx.count > 2)
        ASSERT_NE(obj_create<GoXx>(g_pool_xx), nullptr);
    trail->Update();
    EXPECT_EQ(g_goxx_live_count[GOXX_SPRITE_PARTICLE], 2);
    EXPECT_EQ(g_pool_xx.count, g_pool_xx.capacity);
    EXPECT_NE(vec(trail->burst_point), D3DXVECTOR3(0.0f, 0.0f, 0.0f)) << "the burst point moves on";
}

// Row 11 by depth; while the second collision set is loaded also row 10, last.
TEST_F(TrailTest, QueuesRowElevenAndRowTen)
{
    g_camera_state.eye = D3DXVECTOR3(0.0f, 0.0f, -10.0f);
    g_camera_state.billboard._33 = 1.0f; // looking along +z
    GoLocusSword* trail = start();
    set_steps(true, true);
    trail->Update();
    auto row11 = queued_items<RqCallbackItem>(LOCUS_SWORD_ROW, RQ_TYPE_CALLBACK);
    ASSERT_EQ(row11.size(), 1u);
    EXPECT_EQ(row11[0]->callback, &GoLocusSword::Draw);
    EXPECT_EQ(row11[0]->user, trail);
    EXPECT_EQ(row11[0]->header.key1, rq_depth_key(9.75f * 9.75f));
    EXPECT_TRUE(queued_items<RqCallbackItem>(LOCUS_SWORD_MASK_ROW, RQ_TYPE_CALLBACK).empty());

    g_play_state.water_mode = 1;
    trail->Update();
    auto row10 = queued_items<RqCallbackItem>(LOCUS_SWORD_MASK_ROW, RQ_TYPE_CALLBACK);
    ASSERT_EQ(row10.size(), 1u);
    EXPECT_EQ(row10[0]->header.key1, INT_MAX);
    EXPECT_EQ(queued_items<RqCallbackItem>(LOCUS_SWORD_ROW, RQ_TYPE_CALLBACK).size(), 2u);

    m_owner->hidden = 1;
    trail->Update();
    EXPECT_EQ(queued_items<RqCallbackItem>(LOCUS_SWORD_ROW, RQ_TYPE_CALLBACK).size(), 2u);
}

TEST_F(TrailTest, AFrozenWorldStopsItTheCampMenuDoesNot)
{
    GoLocusSword* trail = start();
    g_world_frozen = 1;
    trail->Update();
    EXPECT_EQ(trail->frame_time, 0.0f);
    g_world_frozen = 0;
    g_paused = 1;
    trail->Update();
    EXPECT_EQ(trail->frame_time, 1.0f);
}

// The owner is kept from the sweep while the trail lives; a world clear deletes the actors
// first and the trail's deletion leaves the freed owner alone.
TEST_F(TrailTest, TheOwnerOutlivesTheTrailAndAWorldClearRunsClean)
{
    GoLocusSword* trail = start();
    go_kill(*m_owner);
    obj_sweep_dead();
    EXPECT_EQ(g_pool_actor.count, 1);
    EXPECT_EQ(m_owner->ref_count, 1u);
    trail->Update();
    go_kill(*trail);
    obj_sweep_dead();
    EXPECT_EQ(g_pool_locus_sword.count, 0);
    obj_sweep_dead();
    EXPECT_EQ(g_pool_actor.count, 0);

    m_owner = spawn(g_pool_actor);
    ASSERT_NE(m_owner, nullptr);
    start();
    obj_destroy_all();
    EXPECT_EQ(g_pool_locus_sword.count, 0);
    EXPECT_EQ(g_pool_actor.count, 0);
}

// Should the owner be deleted under a live trail after all, the trail ends at its next update and
// its deletion leaves the freed slot alone.
TEST_F(TrailTest, AnOwnerGoneEndsTheTrail)
{
    GoLocusSword* trail = start();
    go_kill(*m_owner);
    m_owner->ref_count = 0;
    obj_sweep_dead();
    ASSERT_EQ(g_pool_actor.count, 0);
    trail->Update();
    EXPECT_TRUE(trail->flags & GO_FLAG_DEAD);
    EXPECT_FALSE(trail->attack.shape.class_bits & HIT_ACTIVE);
    obj_sweep_dead();
    EXPECT_EQ(g_pool_locus_sword.count, 0);
}
