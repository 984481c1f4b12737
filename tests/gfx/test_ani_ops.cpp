#include "gfx/ani_ops.h"

#include "core/maths.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "game/sound_fixture.h"
#include "lib/sound_table_writer.h"
#include "lib/wav_writer.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/object_fixture.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace {

using Op = void (*)(AniCall&);

ScriptWord f(float value)
{
    return std::bit_cast<ScriptWord>(value);
}

ScriptWord n(std::int32_t value)
{
    return static_cast<ScriptWord>(value);
}

void run(Op op, GoActor* owner, AniScript& script, const std::vector<ScriptWord>& words)
{
    AniCall call{script, owner, words};
    op(call);
}

void run(Op op, GoActor& owner, std::initializer_list<ScriptWord> words)
{
    run(op, &owner, owner.script, std::vector<ScriptWord>(words));
}

D3DXVECTOR3 at_heading(float heading, float distance, float height)
{
    return {std::cos(heading) * distance, height, std::sin(heading) * distance};
}

void expect_near(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-6f);
    EXPECT_NEAR(actual.y, expected.y, 1e-6f);
    EXPECT_NEAR(actual.z, expected.z, 1e-6f);
}

GoActor& make_actor(std::int32_t cast, const D3DXVECTOR3& at)
{
    GoActor& actor = *spawn(g_pool_actor);
    actor.cast = cast;
    actor.world._41 = at.x;
    actor.world._42 = at.y;
    actor.world._43 = at.z;
    return actor;
}

// Actors on fresh pools, with a clean play state, camera and generator.
class AniOps : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        Reset();
    }
    void TearDown() override
    {
        Reset();
        ObjectTest::TearDown();
    }

    static void Reset()
    {
        g_play_state = {};
        g_player = nullptr;
        g_camera_heading = 0.0f;
        g_enemyinfo.clear();
        math_rand_seed();
    }

    static GoActor& Actor(std::int32_t cast, const D3DXVECTOR3& at = {}) { return make_actor(cast, at); }

    static std::vector<GoXx*> ObjectsOf(GoXxSubtype subtype)
    {
        std::vector<GoXx*> found;
        for (GoBase* object : pool_objects(g_pool_xx))
            if (object->role == subtype) found.push_back(static_cast<GoXx*>(object));
        return found;
    }

    static void FillPoolLeaving(std::int32_t free)
    {
        while (g_pool_xx.capacity - g_pool_xx.count > free)
            ASSERT_NE(obj_create<GoXx>(g_pool_xx), nullptr);
    }
};

} // namespace

// ---- The owner's attack -----------------------------------------------------------------------------

TEST_F(AniOps, AttackArmsTheOwnersAttackForItsSide)
{
    struct Case {
        const char* what;
        std::int32_t cast;
        bool is_player;
        std::int32_t ends_on_hit_word;
        std::uint32_t class_bits;
        std::uint32_t mask;
        std::uint8_t element;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {"the hero in its magic action 270", ACTOR_CAST_HERO, true, 1, 0x82, 0x38, 1, ATTACK_ENDS_ON_HIT},
        {"an ally of cast 100", 100, false, 1, 0x82, 0x38, 0xFF, ATTACK_ENDS_ON_HIT},
        {"an enemy", 20, false, 0, 0x90, 0x07, 0xFF, 0},
        {"cast 166, just past the allies", 166, false, 7, 0x90, 0x07, 0xFF, ATTACK_ENDS_ON_HIT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GoActor& owner = Actor(c.cast, {1.0f, 2.0f, 3.0f});
        g_player = c.is_player ? &owner : nullptr;
        owner.script.current_action = 270;
        owner.attack_id = 0x01000042;
        owner.attack.damage_minimum = 1.0f;
        owner.attack.flags = 0x100;
        run(ani_op_set_attack, owner,
            {n(1), f(0.6f), f(1.25f), f(90.0f), f(0.5f), f(0.8f), n(12), n(9), n(c.ends_on_hit_word), n(2),
             n(5), f(1.5f), f(2.5f)});

        const AttackDesc& attack = owner.attack;
        EXPECT_EQ(attack.shape.class_bits, c.class_bits);
        EXPECT_EQ(attack.shape.target_mask, c.mask);
        EXPECT_EQ(attack.shape.radius, 0.6f);
        EXPECT_EQ(D3DXVECTOR3(attack.shape.centre), D3DXVECTOR3(1, 2, 3));
        EXPECT_EQ(attack.shape.half_height, 0.8f);
        EXPECT_EQ(attack.shape.cylinder, 1);
        EXPECT_EQ(attack.shape.attack_id, 0x01000042u);
        EXPECT_EQ(attack.shape.hold, 9);
        EXPECT_EQ(attack.shape.next, nullptr);
        EXPECT_EQ(attack.attack_bonus, 1.5f);
        EXPECT_EQ(attack.damage_minimum, 1.0f);
        EXPECT_EQ(attack.attack_factor, 2.5f);
        EXPECT_EQ(attack.strength, 2);
        EXPECT_EQ(attack.element, c.element);
        EXPECT_EQ(attack.ailments, 5);
        EXPECT_EQ(attack.orbit_angle, 90.0f * MATH_DEGREE);
        EXPECT_EQ(attack.orbit_radius, 1.25f);
        EXPECT_EQ(attack.orbit_height, 0.5f);
        EXPECT_EQ(attack.active_ticks, 12);
        EXPECT_EQ(attack.flags, c.flags);
    }
}

// The hero's element comes from the player's action, so a hero that is not the player has none.
TEST_F(AniOps, AHeroWithoutAPlayerAttacksWithoutElement)
{
    GoActor& hero = Actor(ACTOR_CAST_HERO);
    hero.script.current_action = 269;
    run(ani_op_set_attack, hero, {n(0), f(0.5f)});
    EXPECT_EQ(hero.attack.element, ATTACK_ELEMENT_NONE);
    EXPECT_EQ(hero.attack.shape.class_bits, 0x82u);
}

// ---- Motion -----------------------------------------------------------------------------------------

TEST_F(AniOps, JumpTakesOffOnlyFromTheGround)
{
    struct Case {
        const char* what;
        std::uint8_t on_ground;
        float asked;
        float speed; // 0: no jump
    };
    const Case cases[] = {
        {"0 takes the cast's speed", 1, 0.0f, 0.3f},
        {"-0 counts as 0", 1, -0.0f, 0.3f},
        {"a given speed", 1, 0.45f, 0.45f},
        {"in the air nothing happens", 0, 0.45f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GoActor& owner = Actor(20, {0.0f, 1.0f, 0.0f});
        owner.on_ground = c.on_ground;
        owner.jump_speed = 0.3f;
        owner.vertical_speed = -0.02f;
        run(ani_op_jump, owner, {f(c.asked)});

        const bool jumped = c.speed != 0.0f;
        EXPECT_EQ(owner.vertical_speed, jumped ? c.speed : -0.02f);
        EXPECT_EQ(owner.jump_start_speed, c.speed);
        EXPECT_EQ(owner.world._42, 1.0f + c.speed);
        EXPECT_EQ(owner.on_ground, 0);
        EXPECT_EQ(owner.script.switches[ANI_SWITCH_JUMPED], jumped ? 1 : 0);
    }
}

// The player's facing is kept relative to the camera; everybody else's is a world heading.
TEST_F(AniOps, PushDrivesAlongTheFacing)
{
    g_camera_heading = 0.5f;
    for (bool is_player : {true, false}) {
        SCOPED_TRACE(is_player ? "the player" : "another actor");
        GoActor& owner = Actor(is_player ? ACTOR_CAST_HERO : 90);
        g_player = is_player ? &owner : nullptr;
        owner.facing = 1.25f;
        owner.push_velocity = {9.0f, 0.7f, 9.0f};
        run(ani_op_push, owner, {f(0.2f)});

        const float heading = is_player ? 1.25f - 0.5f : 1.25f;
        EXPECT_EQ(owner.push_velocity, D3DXVECTOR3(std::cos(heading) * 0.2f, 0.7f, std::sin(heading) * 0.2f));
    }
}

TEST_F(AniOps, BoostGrowsByFourFifthsWhileItsPowerUpRuns)
{
    struct Case {
        std::uint32_t powerups;
        float gauge;
        float added;
        float result;
    };
    const Case cases[] = {
        {0x20, 29990.0f, 100.0f, 30000.0f}, {0x20, 29900.0f, 125.0f, 30000.0f},
        {0x21, 100.0f, 50.0f, 140.0f},      {0x20, 29999.0f, -10.0f, 29991.0f},
        {0x1F, 500.0f, 100.0f, 500.0f},     {0, 29990.0f, 100.0f, 29990.0f},
    };
    GoActor& owner = Actor(ACTOR_CAST_HERO);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bits " << c.powerups << " gauge " << c.gauge << " + " << c.added);
        g_play_state.powerup_bits = c.powerups;
        g_play_state.boost_gauge = c.gauge;
        run(ani_op_boost_add, owner, {f(c.added)});
        EXPECT_EQ(g_play_state.boost_gauge, c.result);
    }
}

// ---- Presentation and the owner's state ----------------------------------------------------------------

TEST_F(AniOps, ColourBlendsRunFromPToQ)
{
    for (Op op : {ani_op_color_a, ani_op_color_b}) {
        const bool a = op == ani_op_color_a;
        SCOPED_TRACE(a ? "blend A" : "blend B");
        GoActor& owner = Actor(20);
        owner.colour_blend_a.progress = owner.colour_blend_b.progress = 0.7f;
        run(op, owner, {f(0.1f), f(0.2f), f(0.3f), f(0.4f), f(0.5f), f(0.6f), f(0.05f), n(3)});

        const ActorColourBlend& blend = a ? owner.colour_blend_a : owner.colour_blend_b;
        const ActorColourBlend& other = a ? owner.colour_blend_b : owner.colour_blend_a;
        EXPECT_EQ(blend.from[0], 0.4f);
        EXPECT_EQ(blend.from[1], 0.5f);
        EXPECT_EQ(blend.from[2], 0.6f);
        EXPECT_EQ(blend.to[0], 0.1f);
        EXPECT_EQ(blend.to[1], 0.2f);
        EXPECT_EQ(blend.to[2], 0.3f);
        EXPECT_EQ(blend.progress, 0.0f);
        EXPECT_EQ(blend.rate, 0.05f);
        EXPECT_EQ(blend.repeats, 3);
        EXPECT_EQ(other.progress, 0.7f);
        EXPECT_EQ(other.rate, 0.0f);
    }
}

TEST_F(AniOps, LandingAndTheRegistersReadTheOwner)
{
    for (std::uint8_t on_ground : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "on ground " << int(on_ground));
        GoActor& owner = Actor(20);
        owner.on_ground = on_ground;
        owner.event_bits = 0x20;
        owner.ai_byte = static_cast<std::uint8_t>(200 + on_ground);
        owner.script.reg = -5;
        run(ani_op_land_event, owner, {});
        EXPECT_EQ(owner.event_bits, on_ground ? 0x21u : 0x20u);
        run(ani_op_reg_on_ground, owner, {});
        EXPECT_EQ(owner.script.reg, on_ground);
        run(ani_op_reg_ai_byte, owner, {});
        EXPECT_EQ(owner.script.reg, 200 + on_ground);
    }
}

TEST_F(AniOps, EveryOwnerFunctionLeavesAMissingOwnerAlone)
{
    const Op ops[] = {ani_op_color_b,         ani_op_color_a,     ani_op_jump,          ani_op_push,
                      ani_op_spawn_xx,        ani_op_land_event,  ani_op_reg_on_ground, ani_op_boost_add,
                      ani_op_set_attack,      ani_op_sword_trail, ani_op_effect,        ani_op_drop_items,
                      ani_op_drop_items_long, ani_op_sound,       ani_op_footstep,      ani_op_spawn_shot,
                      ani_op_reg_ai_byte};
    g_play_state.powerup_bits = 0x20;
    const std::vector<ScriptWord> words = {n(1), f(1.0f), n(1), n(1), n(1), n(1), n(1), n(1), n(1), n(1)};
    AniScript script{};
    script.reg = 77;
    for (Op op : ops)
        run(op, nullptr, script, words);
    EXPECT_EQ(script.reg, 77);
    EXPECT_EQ(script.switches[ANI_SWITCH_JUMPED], 0);
    EXPECT_EQ(g_play_state.boost_gauge, 0.0f);
    EXPECT_EQ(g_pool_xx.count, 0);
}

// ---- Effects and sword trails ----------------------------------------------------------------------------

TEST_F(AniOps, EffectsArePlacedBesideTheOwnerOrAttachedToIt)
{
    const std::vector<ScriptWord> placed = {n(150), f(2.0f), f(45.0f), f(0.5f),  f(1.5f),
                                            n(0),   n(2),    n(3),     f(1.25f), f(0.5f)};
    GoActor& hero = Actor(ACTOR_CAST_HERO, {1.0f, 2.0f, 3.0f});
    g_player = &hero;
    hero.script.current_action = 272;
    hero.attack_facing = 0.3f;
    hero.facing = 1.1f;
    hero.submerged = 1;
    AniEffectRequest request = ani_effect_request({hero.script, &hero, placed}, hero);

    const float angle = 45.0f * MATH_DEGREE;
    EXPECT_EQ(request.effect_id, 150);
    EXPECT_EQ(request.position, D3DXVECTOR3(1, 2, 3) + at_heading(angle + 0.3f, 2.0f, 0.5f));
    EXPECT_EQ(request.rotation, D3DXVECTOR3(0.0f, angle - (0.3f + 1.5707964f), 0.0f));
    EXPECT_EQ(request.scale, D3DXVECTOR3(1.5f, 1.5f, 1.5f));
    EXPECT_EQ(request.in_water, 1);
    EXPECT_EQ(request.side, COMBAT_SIDE_PLAYER);
    EXPECT_EQ(request.status, &hero.status);
    EXPECT_EQ(request.power_a, 1.25f);
    EXPECT_EQ(request.power_b, 0.5f);
    EXPECT_EQ(request.strength, 2);
    EXPECT_EQ(request.ailments, 3);
    EXPECT_EQ(request.element, 4);
    EXPECT_EQ(request.attach_mode, 0);
    EXPECT_EQ(request.attach_offset, D3DXVECTOR3());
    EXPECT_EQ(request.attach_rotation, D3DXVECTOR3());

    std::vector<ScriptWord> attached = placed;
    attached[5] = n(2);
    GoActor& enemy = Actor(30, {1.0f, 2.0f, 3.0f});
    request = ani_effect_request({enemy.script, &enemy, attached}, enemy);
    EXPECT_EQ(request.position, D3DXVECTOR3());
    EXPECT_EQ(request.rotation, D3DXVECTOR3());
    EXPECT_EQ(request.scale, D3DXVECTOR3(1.5f, 1.5f, 1.5f));
    EXPECT_EQ(request.attach_mode, 2);
    EXPECT_EQ(request.attach_offset, D3DXVECTOR3(0.0f, 0.5f, -2.0f));
    EXPECT_EQ(request.attach_rotation, D3DXVECTOR3(0.0f, angle, 0.0f));
    EXPECT_EQ(request.side, COMBAT_SIDE_ENEMY);
    EXPECT_EQ(request.element, ATTACK_ELEMENT_NONE);
    EXPECT_EQ(request.in_water, 0);
}

TEST_F(AniOps, ASwordTrailRequestTakesTheWordsInOrder)
{
    const std::vector<ScriptWord> words = {n(302), n(142),  n(-1),    n(500), n(3),
                                           n(9),   f(1.5f), f(0.25f), n(2),   n(20)};
    GoActor& owner = Actor(80);
    const AniSwordTrailRequest request = ani_sword_trail_request({owner.script, &owner, words});
    EXPECT_EQ(request.value, 302);
    EXPECT_EQ(request.reaction_id, 142u);
    EXPECT_EQ(request.reaction_values[0], 4294967296.0f);
    EXPECT_EQ(request.reaction_values[1], 500.0f);
    EXPECT_EQ(request.attack_from, 3);
    EXPECT_EQ(request.attack_to, 9);
    EXPECT_EQ(request.attack_values[0], 1.5f);
    EXPECT_EQ(request.attack_values[1], 0.25f);
    EXPECT_EQ(request.strength, 2);
    EXPECT_EQ(request.lifetime, 20);
}

// Until effects and trails are objects of their own, both functions make nothing.
TEST_F(AniOps, EffectAndSwordTrailMakeNoObject)
{
    GoActor& owner = Actor(ACTOR_CAST_HERO);
    run(ani_op_effect, owner, {n(150), f(2.0f), f(45.0f), f(0.5f), f(1.5f), n(1)});
    run(ani_op_sword_trail, owner, {n(256), n(0), n(0), n(0), n(1), n(5)});
    EXPECT_EQ(g_pool_effect.count, 0);
    EXPECT_EQ(g_pool_locus_sword.count, 0);
    EXPECT_EQ(g_pool_xx.count, 0);
}

// ---- Shots
// -------------------------------------------------------------------------------------------------

TEST_F(AniOps, ShotsFlyAlongTheirDirectionOrTheirHeading)
{
    struct Case {
        const char* what;
        std::int32_t motion;
        std::int32_t effect;
        std::int32_t difficulty;
        D3DXVECTOR3 given;
        D3DXVECTOR3 dir; // before normalising
        bool jitter;
    };
    const float attack_facing = 0.2f;
    const float heading = 30.0f * MATH_DEGREE + attack_facing;
    const D3DXVECTOR3 along_heading(std::cos(heading), 0.0f, std::sin(heading));
    const D3DXVECTOR3 along_facing(std::cos(attack_facing), 0.0f, std::sin(attack_facing));
    const Case cases[] = {
        {"a given direction", 3, 20, 0, {0, 3, 4}, {0, 0.6f, 0.8f}, false},
        {"no direction: the heading", 3, 20, 0, {}, along_heading, false},
        {"motion 27 along the attack facing", 27, 20, 0, {0, 3, 4}, along_facing, false},
        {"body effect 11 above Normal", 3, 11, 1, {}, along_heading, true},
        {"body effect 11 on Normal", 3, 11, 0, {}, along_heading, false},
        {"another effect above Normal", 3, 12, 2, {}, along_heading, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        obj_destroy_all();
        g_play_state.game_flags[GF_DIFFICULTY] = c.difficulty;
        GoActor& owner = Actor(20, {1.0f, 2.0f, 3.0f});
        owner.attack_facing = attack_facing;
        owner.facing = 2.5f;
        math_rand_seed();
        const float jitter = c.jitter ? math_rand_range(0.0f, 0.03f) : 0.0f;
        const std::uint32_t next_draw = math_rand_u32();
        math_rand_seed();
        run(ani_op_spawn_shot, owner,
            {n(c.motion),  n(c.effect), f(1.5f),  f(0.25f),  f(30.0f), f(c.given.x), f(c.given.y),
             f(c.given.z), f(0.3f),     f(0.01f), f(0.004f), f(2.0f),  f(1.25f),     n(73),
             n(6),         n(4),        f(90.0f), f(1.0f),   f(2.0f),  f(3.0f),      f(4.0f)});

        const std::vector<GoXx*> shots = ObjectsOf(GOXX_SHOT);
        ASSERT_EQ(shots.size(), 1u);
        const ShotParams& shot = shots[0]->area<ShotParams>();
        EXPECT_EQ(shot.owner.get(), &owner);
        EXPECT_EQ(shot.motion, c.motion);
        EXPECT_EQ(shot.effect_id, c.effect);
        EXPECT_EQ(shot.pos, D3DXVECTOR3(1, 2, 3) + at_heading(heading, 1.5f, 0.25f));
        expect_near(shot.dir, c.dir);
        EXPECT_EQ(shot.speed, 0.3f);
        EXPECT_EQ(shot.accel, 0.01f + jitter);
        EXPECT_EQ(shot.drop, 0.004f);
        EXPECT_EQ(shot.effect_time, 2.0f);
        EXPECT_EQ(shot.effect_speed, 1.25f);
        EXPECT_EQ(shot.trail_effect_id, 73);
        EXPECT_EQ(shot.trail_period, 6);
        EXPECT_EQ(shot.homing_period, 4);
        EXPECT_EQ(shot.turn_rate, 90.0f * MATH_DEGREE);
        EXPECT_EQ(shot.motion_a, 1.0f);
        EXPECT_EQ(shot.motion_b, 2.0f);
        EXPECT_EQ(shot.motion_c, 3.0f);
        EXPECT_EQ(shot.motion_d, 4.0f);
        EXPECT_EQ(shot.ticks, 0u);
        EXPECT_EQ(shot.target, nullptr);
        EXPECT_EQ(math_rand_u32(), next_draw) << "one draw for the jitter, none otherwise";
    }
}

TEST_F(AniOps, AShotFromAFullPoolIsNotFired)
{
    GoActor& owner = Actor(20);
    FillPoolLeaving(0);
    run(ani_op_spawn_shot, owner, {n(3), n(20)});
    EXPECT_TRUE(ObjectsOf(GOXX_SHOT).empty());
}

// ---- Multi-purpose attack objects ----------------------------------------------------------------------

class AniOpsSpawnXx : public AniOps {
protected:
    void SetUp() override
    {
        AniOps::SetUp();
        g_camera_heading = 0.2f;
        m_owner = &Actor(20, {1.0f, 2.0f, 3.0f});
        m_owner->facing = 0.5f;
    }

    // The id the next attack or actor would take; taking it moves the counter on.
    static std::uint32_t TakeNextId() { return go_next_object_id(GO_CLASS_ACTOR); }

    GoActor* m_owner = nullptr;
};

TEST_F(AniOpsSpawnXx, AWaveTakesItsRecordWordForWord)
{
    const std::uint32_t before = TakeNextId();
    run(ani_op_spawn_xx, *m_owner, {n(1), f(4.0f), f(5.0f), f(1.5f), n(6), n(88), f(0.3f), n(4)});

    const std::vector<GoXx*> waves = ObjectsOf(GOXX_SCRIPT_ATTACK_WAVE);
    ASSERT_EQ(waves.size(), 1u);
    const WaveParams& wave = waves[0]->area<WaveParams>();
    EXPECT_EQ(wave.position, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(wave.speed, 0.3f);
    EXPECT_EQ(wave.heading, 0.5f - 0.2f);
    EXPECT_EQ(wave.effect_time, 4.0f);
    EXPECT_EQ(wave.unread_6, 5.0f);
    EXPECT_EQ(wave.size, 1.5f);
    EXPECT_EQ(wave.source.get(), m_owner);
    EXPECT_EQ(static_cast<std::uint32_t>(wave.puff_value), before + 1);
    EXPECT_EQ(wave.puff_count, 6u);
    EXPECT_EQ(wave.puff_effect_id, 88);
    EXPECT_EQ(wave.puff_period, 4u);
    EXPECT_EQ(m_owner->facing, 0.5f);
}

TEST_F(AniOpsSpawnXx, RibbonsTakeTheirRecordWordForWord)
{
    for (std::int32_t ground : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "ground " << ground);
        obj_destroy_all();
        m_owner = &Actor(20, {1.0f, 2.0f, 3.0f});
        m_owner->facing = 0.5f;
        const std::uint32_t before = TakeNextId();
        run(ani_op_spawn_xx, *m_owner, {n(2), f(-2.0f), f(7.0f), n(5), n(ground), n(12)});

        const std::vector<GoXx*> ribbons = ObjectsOf(GOXX_SCRIPT_ATTACK_RIBBONS);
        ASSERT_EQ(ribbons.size(), 1u);
        const RibbonAttack& state = ribbons[0]->area<RibbonAttack>();
        const RibbonAttackParams& record = state.params;
        EXPECT_EQ(record.position, D3DXVECTOR3(1, 2, 3) + at_heading(0.5f, ground ? 1.5f : 0.0f, 0.0f));
        EXPECT_EQ(record.unread_3, 0.45f);
        EXPECT_EQ(record.heading, 0.5f);
        EXPECT_EQ(record.attack_bonus, -2.0f);
        EXPECT_EQ(record.unread_6, 7.0f);
        EXPECT_EQ(record.source.get(), m_owner);
        EXPECT_EQ(record.attack_id, before + 1);
        EXPECT_EQ(record.value, 5);
        EXPECT_EQ(record.single, 0);
        EXPECT_EQ(record.ground, ground);
        EXPECT_EQ(record.start_delay, 12u);
        EXPECT_EQ(record.lane, 0);
        // No target is chosen before the attack's own set-up, so the owner keeps its facing.
        EXPECT_EQ(state.target_count, 0u);
        EXPECT_EQ(m_owner->facing, 0.5f);
    }
}

TEST_F(AniOpsSpawnXx, AnAttachedObjectHoldsItsOwner)
{
    const std::uint32_t before = TakeNextId();
    run(ani_op_spawn_xx, *m_owner, {n(3)});

    const std::vector<GoXx*> attached = ObjectsOf(GOXX_SCRIPT_ATTACK_ATTACHED);
    ASSERT_EQ(attached.size(), 1u);
    EXPECT_EQ(attached[0]->area<AttachedAttackParams>().actor.get(), m_owner);
    EXPECT_EQ(TakeNextId(), before + 2) << "the attack id is drawn for every kind";
}

// Neither a full pool nor an unknown kind takes an attack id.
TEST_F(AniOpsSpawnXx, AFullPoolOrAnUnknownKindMakesNothing)
{
    for (std::int32_t kind : {0, 4, -1}) {
        const std::uint32_t before = TakeNextId();
        run(ani_op_spawn_xx, *m_owner, {n(kind)});
        EXPECT_EQ(g_pool_xx.count, 0) << kind;
        EXPECT_EQ(TakeNextId(), before + 1) << kind;
    }
    FillPoolLeaving(0);
    for (std::int32_t kind : {1, 2, 3}) {
        const std::uint32_t before = TakeNextId();
        run(ani_op_spawn_xx, *m_owner, {n(kind)});
        EXPECT_EQ(TakeNextId(), before + 1) << kind;
    }
    EXPECT_TRUE(ObjectsOf(GOXX_SCRIPT_ATTACK_WAVE).empty());
    EXPECT_TRUE(ObjectsOf(GOXX_SCRIPT_ATTACK_RIBBONS).empty());
    EXPECT_TRUE(ObjectsOf(GOXX_SCRIPT_ATTACK_ATTACHED).empty());
}

// ---- Item drops ----------------------------------------------------------------------------------------

class AniOpsDrops : public AniOps {
protected:
    void SetUp() override
    {
        AniOps::SetUp();
        // Rows 0-80 cover the enemy casts 14-83 (rows 0-69) and 166-176 (rows 70-80).
        g_enemyinfo.assign(81, EnemyInfo{});
        for (std::size_t row = 0; row < g_enemyinfo.size(); ++row)
            g_enemyinfo[row].blood_colour = 0x00100000 | static_cast<std::uint32_t>(row);
        g_enemyinfo[30 - 14].blood_colour = 0;
        g_enemyinfo[83 - 14].blood_colour = 0x7F203040;
    }

    // Drops a list of {11, 12} twice from an actor of the cast; the drops made.
    std::vector<GoXx*> Drop(std::int32_t cast, Op op = ani_op_drop_items)
    {
        obj_destroy_all();
        GoActor& owner = Actor(cast, {4.0f, 5.0f, 6.0f});
        run(op, owner, {n(2), n(1), n(0), n(3), n(99), n(99), n(99), n(11), n(12)});
        return ObjectsOf(GOXX_ITEM_DROP);
    }
};

TEST_F(AniOpsDrops, DebrisTakesTheEnemysBloodColour)
{
    struct Case {
        std::int32_t cast;
        std::uint32_t colour;
    };
    const Case cases[] = {
        {14, 0xFF100000},       {83, 0xFF203040},  {166, 0xFF100000 | 70},
        {176, 0xFF100000 | 80}, {30, 0},           {ACTOR_CAST_HERO, 0xFF550A00},
        {100, 0xFF550A00},      {177, 0xFF550A00}, {1, 0xFF550A00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cast " << c.cast);
        const std::vector<GoXx*> drops = Drop(c.cast);
        ASSERT_EQ(drops.size(), 2u);
        for (GoXx* drop : drops) {
            const DropParams& params = drop->area<DropParams>();
            EXPECT_EQ(params.decal_colour, c.colour);
            EXPECT_EQ(params.texture, DROP_TEXTURES_DEBRIS + params.item_id);
            EXPECT_EQ(params.position, D3DXVECTOR3(4, 5, 6));
            EXPECT_EQ(params.spin_speed, 0.45f);
            EXPECT_EQ(params.flags, DROP_AT_REST);
        }
        EXPECT_NE(drops[0]->area<DropParams>().item_id, drops[1]->area<DropParams>().item_id);
        for (GoXx* drop : drops)
            EXPECT_TRUE(drop->area<DropParams>().item_id == 11 || drop->area<DropParams>().item_id == 12);
    }
}

TEST_F(AniOpsDrops, TwoCastsDropOnlyWithTheirRing)
{
    for (std::int32_t cast : {54, 55}) {
        SCOPED_TRACE(cast);
        g_play_state.equip_bonus.accessory_bits = ~0x8000u;
        EXPECT_TRUE(Drop(cast).empty());
        g_play_state.equip_bonus.accessory_bits = 0x8000;
        EXPECT_EQ(Drop(cast).size(), 2u);
        g_play_state.equip_bonus.accessory_bits = 0;
        EXPECT_EQ(Drop(cast, ani_op_drop_items_long).size(), 2u) << "the long drops know no such rule";
    }
}

TEST_F(AniOpsDrops, LongDropsArePickUpsAtTheOwner)
{
    const std::vector<GoXx*> drops = Drop(20, ani_op_drop_items_long);
    ASSERT_EQ(drops.size(), 2u);
    for (GoXx* drop : drops) {
        const DropParams& params = drop->area<DropParams>();
        EXPECT_EQ(params.texture, DROP_TEXTURES_PICKUP + params.item_id);
        EXPECT_EQ(params.flags, DROP_GROUND_C | DROP_PICKUP | DROP_AT_REST);
        EXPECT_EQ(params.decal_colour, 0u);
        EXPECT_EQ(params.spin_speed, 0.45f);
        EXPECT_EQ(params.position, D3DXVECTOR3(4, 5, 6));
    }
}

// The list is what follows the seventh word: none at all drops nothing.
TEST_F(AniOpsDrops, WithoutAListNothingDrops)
{
    GoActor& owner = Actor(20);
    for (Op op : {ani_op_drop_items, ani_op_drop_items_long}) {
        run(op, owner, {n(5), n(1), n(0), n(0), n(9), n(9), n(9)});
        run(op, owner, {n(5)});
    }
    EXPECT_EQ(g_pool_xx.count, 0);
}

// ---- Sounds
// ------------------------------------------------------------------------------------------------

namespace {

const WavFormat k_mono{1, 22050, 16};

// The audio manager on its loopback device with an effect table of 3-D "tap" effects (ids 3 and
// the footsteps used here) and two flat ones, 4 (looping) and 5; and the object pools.
class AniOpsSound : public SoundTableTest {
protected:
    void SetUp() override
    {
        SoundTableTest::SetUp();
        fake_ogg::register_vorbisfile();
        AudioParams params = Params();
        params.sound_groups = 80;
        Start(params);
        SoundTableWriter table;
        for (std::uint32_t id : {3, 24, 28, 44, 45, 46, 47, 48, 49, 64})
            table.Effect({.id = id, .name = "tap", .is_3d = true});
        table.Effect({.id = 4, .name = "hum", .loop = true}).Effect({.id = 5, .name = "beep"});
        const std::vector<std::uint8_t> wav = wav_build_pcm(k_mono, wav_tone(k_mono, 2205, 440.0));
        LoadEffects(table, {{"data\\wave\\effect\\tap.wav", wav},
                            {"data\\wave\\effect\\hum.wav", wav},
                            {"data\\wave\\effect\\beep.wav", wav}});
        ASSERT_EQ(obj_create_pools(), S_OK);
        g_play_state = {};
        g_player = nullptr;
        math_rand_seed();
    }
    void TearDown() override
    {
        obj_destroy_all();
        obj_destroy_pools();
        g_play_state = {};
        math_rand_seed();
        SoundTableTest::TearDown();
    }

    static GoActor& Actor(std::int32_t cast, const D3DXVECTOR3& at = {}) { return make_actor(cast, at); }

    static bool Loaded(std::int32_t id) { return (g_sound_table[id].flags & SOUND_GROUP_LOADED) != 0; }
};

} // namespace

// A positional effect is pulled toward the player by a tenth of the way per step of the flag,
// which is kept within 0-10; a muted actor or one out of view makes no sound and leaves the flag.
TEST_F(AniOpsSound, PositionalSoundsPlayAtTheOwnerPulledTowardThePlayer)
{
    struct Case {
        const char* what;
        std::int32_t pull;
        bool with_player;
        bool muted;
        bool out_of_view;
        std::int32_t pull_after;
        float x; // where it plays; NAN: not at all
    };
    const Case cases[] = {
        {"no pull", 0, true, false, false, 0, 2.0f},
        {"three tenths of the way", 3, true, false, false, 3, 5.0f},
        {"a pull past 10 is cut to 10", 25, true, false, false, 10, 12.0f},
        {"a negative pull is cut to 0", -4, true, false, false, 0, 2.0f},
        {"no player, nothing to pull toward", 5, false, false, false, 5, 2.0f},
        {"muted", 25, true, true, false, 25, NAN},
        {"out of view", 25, true, false, true, 25, NAN},
    };
    GoActor& player = Actor(ACTOR_CAST_HERO, {12.0f, 1.0f, 0.0f});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GoActor& owner = Actor(20, {2.0f, 1.0f, 0.0f});
        owner.mute = c.muted;
        owner.out_of_view = c.out_of_view;
        g_player = c.with_player ? &player : nullptr;
        g_play_state.game_flags[GF_ACTOR_SOUND_PULL] = c.pull;
        const std::size_t before = posted_commands().size();
        run(ani_op_sound, owner, {n(3), n(99)});

        EXPECT_EQ(g_play_state.game_flags[GF_ACTOR_SOUND_PULL], c.pull_after);
        const std::vector<AudioCommand> posted = posted_commands();
        if (std::isnan(c.x)) {
            EXPECT_EQ(posted.size(), before);
            continue;
        }
        ASSERT_EQ(posted.size(), before + 1);
        const AudioCommand& command = posted.back();
        EXPECT_EQ(command.type, AUDIO_CMD_PLAY_AT);
        EXPECT_EQ(command.target, 3u);
        EXPECT_EQ(command.param1, 0);
        EXPECT_FLOAT_EQ(command.position[0], c.x);
        EXPECT_EQ(command.position[1], 1.0f);
        EXPECT_EQ(command.position[2], 0.0f);
    }
}

// A flat effect plays at full volume when loaded, or when effects are on and it loads now.
TEST_F(AniOpsSound, FlatSoundsPlayWhenLoadedOrLoadable)
{
    GoActor& owner = Actor(20);
    ASSERT_EQ(sound_load_effect(4), S_OK);
    g_play_effect = 0;
    run(ani_op_sound, owner, {n(4)});
    run(ani_op_sound, owner, {n(5)});
    EXPECT_FALSE(Loaded(5)) << "effects are off";
    for (std::int32_t id : {-1, 80, 300, 512})
        run(ani_op_sound, owner, {n(id)});
    std::vector<AudioCommand> posted = posted_commands();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].type, AUDIO_CMD_PLAY);
    EXPECT_EQ(posted[0].target, 4u);
    EXPECT_EQ(posted[0].param1, 1) << "it loops";
    EXPECT_EQ(posted[0].param2, 1024);

    g_play_effect = 1;
    run(ani_op_sound, owner, {n(5)});
    EXPECT_TRUE(Loaded(5));
    posted = posted_commands();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].type, AUDIO_CMD_PLAY);
    EXPECT_EQ(posted[1].target, 5u);
    EXPECT_EQ(posted[1].param1, 0);
    EXPECT_EQ(posted[1].param2, 1024);
}

// The surface picks the sound and the variation counter its variant; the action picks the wait
// until the next step.
TEST_F(AniOpsSound, FootstepsSoundByTheSurface)
{
    struct Case {
        const char* what;
        std::int32_t cast;
        std::int32_t action;
        std::uint8_t standing;
        std::uint8_t wading;
        std::int32_t word;
        std::uint8_t variation;
        std::int32_t sound; // 0: none
        std::uint8_t repeat;
        std::uint32_t extra; // the surface's random extra
    };
    const Case cases[] = {
        {"stone, first variant, walking", 20, 1, 1, 0, 0, 0, 44, 13, 0},
        {"stone, third variant", 20, 0, 1, 0, 0, 2, 46, 20, 0},
        {"stone, the variant wraps in the mask", 20, 1, 1, 0, 0, 7, 47, 13, 0},
        {"a silent surface only waits", 20, 0, 0, 0, 0, 4, 0, 10, 0},
        {"the word overrides the surface", 20, 1, 1, 0, 5, 0, 24, 13, 0},
        {"a word past the surfaces is silent", 20, 1, 1, 0, 20, 0, 0, 10, 0},
        {"a negative word is silent", 20, 1, 1, 0, -3, 0, 0, 10, 0},
        {"wading in the second liquid", 20, 1, 14, 1, 5, 0, 64, 13, 0},
        {"wading anywhere else", 20, 0, 2, 1, 5, 1, 49, 20, 2},
        {"a surface with a random extra", 20, 1, 2, 0, 0, 0, 28, 13, 1},
        {"the hero dashing steps twice as fast", ACTOR_CAST_HERO, 266, 1, 0, 0, 0, 44, 6, 0},
        {"cast 80's second walk", ACTOR_CAST_OWN_TRAIL, 267, 1, 0, 0, 0, 44, 13, 0},
        {"another cast in action 267", 21, 267, 1, 0, 0, 0, 44, 20, 0},
        {"another cast in action 266", 21, 266, 1, 0, 0, 0, 44, 20, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GoActor& owner = Actor(c.cast, {1.0f, 0.0f, 1.0f});
        owner.on_ground = 1;
        owner.script.current_action = c.action;
        owner.standing_surface = c.standing;
        owner.wading = c.wading;
        owner.variation_counter = c.variation;
        math_rand_seed();
        const std::uint8_t extra = c.extra ? static_cast<std::uint8_t>((math_rand_u32() >> 26) % c.extra) : 0;
        const std::uint32_t next_draw = math_rand_u32();
        math_rand_seed();
        const std::size_t before = posted_commands().size();
        run(ani_op_footstep, owner, {n(c.word)});

        const std::vector<AudioCommand> posted = posted_commands();
        EXPECT_EQ(owner.footstep_repeat_counter, c.repeat + extra);
        EXPECT_EQ(math_rand_u32(), next_draw) << "a draw only for a surface with a random extra";
        if (c.sound == 0) {
            EXPECT_EQ(posted.size(), before);
            EXPECT_EQ(owner.variation_counter, c.variation);
            continue;
        }
        ASSERT_EQ(posted.size(), before + 1);
        EXPECT_EQ(posted.back().type, AUDIO_CMD_PLAY_AT);
        EXPECT_EQ(posted.back().target, static_cast<std::uint32_t>(c.sound));
        EXPECT_EQ(owner.variation_counter, c.variation + 1);
    }
}

TEST_F(AniOpsSound, NoFootstepsOffTheGroundOrUnderWater)
{
    struct Case {
        const char* what;
        std::uint8_t on_ground, flying, submerged, out_of_view;
    };
    const Case cases[] = {
        {"in the air", 0, 0, 0, 0},
        {"flying", 1, 1, 0, 0},
        {"submerged", 1, 0, 1, 0},
        {"out of view", 1, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GoActor& owner = Actor(20);
        owner.standing_surface = 1;
        owner.on_ground = c.on_ground;
        owner.flying = c.flying;
        owner.submerged = c.submerged;
        owner.out_of_view = c.out_of_view;
        owner.footstep_repeat_counter = 3;
        run(ani_op_footstep, owner, {n(0)});
        EXPECT_EQ(owner.footstep_repeat_counter, 3);
        EXPECT_EQ(owner.variation_counter, 0);
    }
    EXPECT_TRUE(posted_commands().empty());
}
