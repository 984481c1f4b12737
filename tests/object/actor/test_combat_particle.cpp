#include "gfx/test_particle_fixture.h"
#include "object/object_fixture.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

namespace {

constexpr std::uint32_t ATTACK_ID = 0x09000042;
constexpr std::int32_t HOLD = 3;

// A player-side effect at the origin whose one particle carries an endless attack of radius 1,
// and an enemy of radius 0.5 half a unit away.
class CombatParticle : public ParticleTest {
protected:
    GoParticle& attacker(std::uint8_t attacking)
    {
        EftStartState start;
        start.life = 100;
        EftDefinition def = plain_def();
        def.attacking = attacking;
        def.attack_radius = 1.0f;
        def.attack_active = -1;
        def.hit_hold = HOLD;
        def.collision = EFFECT_FADE_ON_STOP;
        eft_fixture_put(1, eft_fixture_single(emitter(def, start)));
        GoEffect& effect = make_effect(1);
        effect.side = COMBAT_SIDE_PLAYER;
        effect.attack_id = ATTACK_ID;
        return *start_one(effect);
    }
    static GoActor& enemy()
    {
        GoActor& actor = *spawn(g_pool_actor);
        actor.hit_shape.class_bits = HIT_ENEMY | HIT_ACTIVE;
        actor.hit_shape.radius = 0.5f;
        actor.hit_shape.centre = {0.5f, 0.0f, 0.0f};
        actor.status.hp = 100.0f;
        actor.hit_once = actor.hit_once_entries;
        actor.hit_once_count = std::size(actor.hit_once_entries);
        return actor;
    }

    // The ticks (1-based) on which the particle hit the enemy: a hit writes the attack's id with
    // its full hold, which the enemy's own tick then counts down.
    static std::vector<int> hits(GoActor& target, int ticks)
    {
        std::vector<int> hit_ticks;
        for (int tick = 1; tick <= ticks; ++tick) {
            step();
            for (const HitOnceEntry& entry : target.hit_once_entries)
                if (entry.attack_id == ATTACK_ID && entry.ticks_left == HOLD) hit_ticks.push_back(tick);
            combat_tick_hit_once_list(target);
        }
        return hit_ticks;
    }
};

} // namespace

TEST_F(CombatParticle, PlayerSideParticleHitsAnEnemyOncePerAttackIdWhileHeld)
{
    GoParticle& particle = attacker(1);
    GoActor& target = enemy();
    EXPECT_EQ(hits(target, 8), (std::vector<int>{1, 4, 7}));
    EXPECT_EQ(particle.state.fading, 0) << "an attack that does not end on impact keeps going";
    EXPECT_EQ(particle.attack.active_ticks, -1);
    EXPECT_NE(particle.attack_record, nullptr);
    EXPECT_EQ(particle.effect.get()->stop_request, 0);
}

// Its hit is its impact: the particle fades, its effect is asked to stop with the particle's fade
// step, and the attack is over.
TEST_F(CombatParticle, ParticleThatEndsOnImpactEndsAtItsHit)
{
    GoParticle& particle = attacker(2);
    GoActor& target = enemy();
    EXPECT_EQ(hits(target, 1), std::vector<int>{1});
    EXPECT_EQ(particle.state.fading, 1);
    EXPECT_EQ(particle.attack.active_ticks, 0);
    const GoEffect& effect = *particle.effect.get();
    EXPECT_EQ(effect.stop_request, 1);
    EXPECT_EQ(effect.fade_step, EFFECT_DEFAULT_FADE_STEP);
    EXPECT_TRUE(hits(target, 8).empty());
    EXPECT_EQ(particle.attack_record, nullptr) << "a fading particle gives its record back";
}

TEST_F(CombatParticle, ParticleAttacksOnlyWhileTheWorldRuns)
{
    attacker(1);
    GoActor& target = enemy();
    g_whole_tick = 1;
    g_ai_paused = 1;
    for (int i = 0; i < 3; ++i)
        static_cast<GoParticle*>(g_pool_particle.active[0])->Update();
    for (const HitOnceEntry& entry : target.hit_once_entries)
        EXPECT_EQ(entry.ticks_left, 0);
}

TEST_F(CombatParticle, FullRecordPoolLeavesAParticleThatNeverAttacks)
{
    for (int i = 0; i < PARTICLE_ATTACK_PLAYER_RECORDS; ++i)
        ASSERT_NE(g_pool_attack_player.Alloc(), nullptr);
    GoParticle& particle = attacker(1);
    GoActor& target = enemy();
    EXPECT_EQ(particle.attack_record, nullptr);
    EXPECT_TRUE(hits(target, 8).empty());
}
