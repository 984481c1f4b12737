#include "object/object_fixture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>

namespace {

constexpr std::uint32_t ATTACK_ID = 0x01000042;
constexpr std::uint32_t ENEMY_BODY = HIT_ENEMY | HIT_ACTIVE;
constexpr std::uint32_t HERO_BODY = HIT_PLAYER_BODY | HIT_ACTIVE;
constexpr std::uint32_t NEUTRAL_BODY = HIT_NEUTRAL | HIT_ACTIVE;
constexpr std::uint32_t OBJECT_BODY = HIT_OBJECT | HIT_ACTIVE;

HitShape sphere(float x, float y, float z, float radius)
{
    HitShape shape{};
    shape.radius = radius;
    shape.centre = {x, y, z};
    return shape;
}

HitShape cylinder(float x, float y, float z, float radius, float half_height)
{
    HitShape shape = sphere(x, y, z, radius);
    shape.cylinder = 1;
    shape.half_height = half_height;
    return shape;
}

// A body of radius 0.5 at the point, alive, with its own hit-once list.
template <typename T> void give_body(T& object, std::uint32_t class_bits, const D3DXVECTOR3& at)
{
    object.hit_shape = sphere(at.x, at.y, at.z, 0.5f);
    object.hit_shape.class_bits = class_bits;
    object.status.hp = 100.0f;
    object.hit_once = object.hit_once_entries;
    object.hit_once_count = std::size(object.hit_once_entries);
}

class CombatApply : public ObjectTest {
protected:
    GoActor& actor(std::uint32_t class_bits, const D3DXVECTOR3& at)
    {
        GoActor& actor = *spawn(g_pool_actor);
        give_body(actor, class_bits, at);
        return actor;
    }
    GoMesh& mesh(std::uint32_t class_bits, const D3DXVECTOR3& at)
    {
        GoMesh& mesh = *spawn(g_pool_mesh);
        give_body(mesh, class_bits, at);
        return mesh;
    }
    // An actor at the origin armed with an attack sphere of radius 0.5 round its position.
    GoActor& attacker(std::int32_t side, std::int32_t active_ticks, std::int32_t hold,
                      std::uint32_t body = ENEMY_BODY)
    {
        GoActor& attacker = actor(body, {0, 0, 0});
        D3DXMatrixIdentity(&attacker.world);
        combat_init_attack(attacker, active_ticks, side, hold, 0.0f, 1.0f, 0.5f, ATTACK_ID, 0, 0, 0xFF);
        return attacker;
    }
    static bool recorded(const GoBase& target)
    {
        for (std::uint32_t i = 0; i < target.hit_once_count; ++i)
            if (target.hit_once[i].attack_id == ATTACK_ID && target.hit_once[i].ticks_left != 0) return true;
        return false;
    }
};

using CombatShapes = ::testing::Test;

} // namespace

TEST_F(CombatShapes, ShapeTestFindsTheOverlapsOfSpheresAndCylinders)
{
    const struct {
        const char* name;
        HitShape a;
        HitShape b;
        bool overlap;
        float distance;
    } cases[] = {
        {"spheres that just touch", sphere(0, 0, 0, 0.5f), sphere(1, 0, 0, 0.5f), true, 1.0f},
        {"spheres in 3-D", sphere(0, 0, 0, 1.0f), sphere(1, 1, 1, 1.0f), true, 3.0f},
        {"spheres apart", sphere(0, 0, 0, 0.5f), sphere(1.0f, 0.25f, 0, 0.5f), false, FLT_MAX},
        {"cylinders side by side", cylinder(0, 0, 0, 0.5f, 1), cylinder(1, 2, 0, 0.5f, 1), true, 0.0f},
        {"cylinders one above", cylinder(0, 0, 0, 0.5f, 1), cylinder(0, 2.5f, 0, 0.5f, 1), false, FLT_MAX},
        {"cylinders too far", cylinder(0, 0, 0, 0.5f, 1), cylinder(1.25f, 0, 0, 0.5f, 1), false, FLT_MAX},
        {"sphere within the height", cylinder(0, 0, 0, 0.5f, 1), sphere(0.75f, 0.5f, 0, 0.5f), true, 0.0f},
        {"sphere on the end plane", cylinder(0, 0, 0, 0.5f, 1), sphere(1, 1, 0, 0.5f), true, 0.0f},
        {"sphere on the end plane, out of reach", cylinder(0, 0, 0, 0.5f, 1), sphere(1.25f, 1, 0, 0.5f),
         false, FLT_MAX},
        // 0.3 past the end a sphere of 0.5 reaches 0.4 sideways: 0.9 from the axis.
        {"sphere past the end, within its cut", cylinder(0, 0, 0, 0.5f, 1), sphere(0.85f, 1.3f, 0, 0.5f),
         true, 0.0f},
        {"sphere past the end, beyond its cut", cylinder(0, 0, 0, 0.5f, 1), sphere(0.95f, 1.3f, 0, 0.5f),
         false, FLT_MAX},
        {"sphere past the end, below", cylinder(0, 0, 0, 0.5f, 1), sphere(0.85f, -1.3f, 0, 0.5f), true, 0.0f},
        {"sphere too far past the end", cylinder(0, 0, 0, 0.5f, 1), sphere(0, 1.75f, 0, 0.5f), false,
         FLT_MAX},
        {"sphere first, cylinder second", sphere(0.85f, 1.3f, 0, 0.5f), cylinder(0, 0, 0, 0.5f, 1), true,
         0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HitResult result{};
        EXPECT_EQ(combat_test_hit_shapes(result, c.a, c.b), c.overlap);
        EXPECT_FLOAT_EQ(result.distance, c.distance);
        EXPECT_EQ(result.first, &c.a);
        EXPECT_EQ(result.second, &c.b);
    }
}

// The test walks both chains and reports the first overlapping pair, from the first chain's
// shape toward the second's.
TEST_F(CombatShapes, ShapeTestTakesTheFirstOverlappingPairOfTheChains)
{
    HitShape far_b = sphere(0, 0, -1, 0.25f);
    HitShape near_b = sphere(10, 0, 1, 0.25f);
    HitShape head_b = sphere(50, 0, 0, 0.25f);
    head_b.next = &near_b;
    near_b.next = &far_b;
    HitShape second_a = sphere(10, 0, 0, 1.0f);
    HitShape head_a = sphere(0, 0, 0, 1.0f);
    head_a.next = &second_a;

    HitResult result{};
    ASSERT_TRUE(combat_test_hit_shapes(result, head_a, head_b));
    // head_a meets far_b first (head_a's links come first), straight down the z axis.
    EXPECT_FLOAT_EQ(result.distance, 1.0f);
    EXPECT_FLOAT_EQ(result.angle, -std::numbers::pi_v<float> / 2);
    EXPECT_EQ(result.first, &head_a);
    EXPECT_EQ(result.second, &head_b);

    far_b.centre.x = 5.0f;
    ASSERT_TRUE(combat_test_hit_shapes(result, head_a, head_b));
    EXPECT_FLOAT_EQ(result.angle, std::numbers::pi_v<float> / 2); // second_a toward near_b
}

TEST_F(CombatApply, HitOnceHoldsAnAttackIdForItsHold)
{
    GoActor& target = actor(ENEMY_BODY, {0, 0, 0});
    HitShape attack{};
    attack.attack_id = ATTACK_ID;
    attack.hold = 2;
    target.hit_once_entries[0] = {7, 5}; // another attack's live entry stays
    EXPECT_FALSE(combat_hit_once_check(target, attack));
    EXPECT_EQ(target.hit_once_entries[1].attack_id, ATTACK_ID);
    EXPECT_EQ(target.hit_once_entries[1].ticks_left, 2);
    EXPECT_TRUE(combat_hit_once_check(target, attack));
    combat_tick_hit_once_list(target);
    EXPECT_TRUE(combat_hit_once_check(target, attack));
    combat_tick_hit_once_list(target);
    EXPECT_FALSE(combat_hit_once_check(target, attack)) << "the hold has run out";
    EXPECT_EQ(target.hit_once_entries[0].attack_id, 7u);

    attack.attack_id = ATTACK_ID + 1;
    attack.hold = 0; // records an entry that is never live
    EXPECT_FALSE(combat_hit_once_check(target, attack));
    EXPECT_FALSE(combat_hit_once_check(target, attack));
}

TEST_F(CombatApply, HitOnceWithAFullOrMissingListLetsEveryHitThrough)
{
    GoActor& target = actor(ENEMY_BODY, {0, 0, 0});
    for (std::uint32_t i = 0; i < ACTOR_HIT_ONCE_ENTRIES; ++i)
        target.hit_once_entries[i] = {100 + i, 9};
    HitShape attack{};
    attack.attack_id = ATTACK_ID;
    attack.hold = 30;
    EXPECT_FALSE(combat_hit_once_check(target, attack));
    EXPECT_FALSE(combat_hit_once_check(target, attack)) << "nothing was recorded";
    EXPECT_FALSE(recorded(target));
    attack.attack_id = 105;
    EXPECT_TRUE(combat_hit_once_check(target, attack));

    GoMesh& bare = *spawn(g_pool_mesh); // count 0, no list
    EXPECT_FALSE(combat_hit_once_check(bare, attack));
    bare.hit_once_count = 4; // a count without storage is no list either
    EXPECT_FALSE(combat_hit_once_check(bare, attack));
}

// Hold 0 keeps the target hittable, so each application that happens shows as a hit.
TEST_F(CombatApply, ActiveTicksCountTheApplications)
{
    const struct {
        std::int32_t active_ticks;
        int hits;
        std::int32_t left;
    } cases[] = {{0, 0, 0}, {1, 1, 0}, {3, 3, 0}, {-1, 5, -1}, {-7, 5, -7}};
    GoActor* source = nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.active_ticks);
        obj_destroy_all();
        actor(ENEMY_BODY, {0.5f, 0, 0});
        source = &attacker(COMBAT_SIDE_PLAYER, c.active_ticks, 0, HERO_BODY);
        int hits = 0;
        for (int i = 0; i < 5; ++i)
            hits += combat_apply_attack(nullptr, COMBAT_SIDE_PLAYER, *source, 0.0f) ? 1 : 0;
        EXPECT_EQ(hits, c.hits);
        EXPECT_EQ(source->attack.active_ticks, c.left);
    }
    source->attack.active_ticks = 0; // the endless one, disarmed by its owner
    EXPECT_FALSE(combat_apply_attack(nullptr, COMBAT_SIDE_PLAYER, *source, 0.0f));
}

// Headings half a table step past a whole step, so the step they read is not in doubt: the
// heading's step is truncated toward zero, and -64.5 steps reads step -64.
TEST_F(CombatApply, OrbitPlacesTheSphereAtTheFacing)
{
    constexpr float step = 2.0f * std::numbers::pi_v<float> / 256.0f;
    const struct {
        float orbit_steps;
        float facing_steps;
        float x;
        float z;
    } cases[] = {
        {0, 0.5f, 3, 3},   {0, 64.5f, 1, 5},       {128.5f, 0, -1, 3},
        {0, -64.5f, 1, 1}, {32.25f, 32.25f, 1, 5}, {-0.5f, 0, 3, 3},
    };
    GoActor& source = attacker(COMBAT_SIDE_PLAYER, -1, 0);
    const D3DXVECTOR3 position(1, 2, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.orbit_steps << " + " << c.facing_steps);
        source.attack.orbit_angle = c.orbit_steps * step;
        source.attack.orbit_radius = 2.0f;
        source.attack.orbit_height = 0.5f;
        combat_apply_attack(&position, COMBAT_SIDE_PLAYER, source, c.facing_steps * step);
        EXPECT_NEAR(source.attack.shape.centre.x, c.x, 1e-5f);
        EXPECT_FLOAT_EQ(source.attack.shape.centre.y, 2.5f);
        EXPECT_NEAR(source.attack.shape.centre.z, c.z, 1e-5f);
    }
    source.attack.shape.centre = {7, 8, 9};
    combat_apply_attack(nullptr, COMBAT_SIDE_PLAYER, source, 1.0f);
    EXPECT_EQ(D3DXVECTOR3(source.attack.shape.centre), D3DXVECTOR3(7, 8, 9));
}

// One target at a time within reach of a player-side attack.
TEST_F(CombatApply, PlayerSideAttackHitsOnlyLivingActiveTargetsOfItsMask)
{
    const struct {
        const char* name;
        bool is_mesh;
        std::uint32_t class_bits;
        float hp;
        bool hit;
    } cases[] = {
        {"enemy actor", false, ENEMY_BODY, 100, true},
        {"enemy actor at exactly 1.0", false, ENEMY_BODY, 1.0f, true},
        {"enemy actor below 1.0", false, ENEMY_BODY, 0.99f, false},
        {"enemy actor, inactive shape", false, HIT_ENEMY, 100, false},
        {"the player", false, HERO_BODY, 100, false},
        {"a neutral actor", false, NEUTRAL_BODY, 100, false},
        {"hittable mesh", true, OBJECT_BODY, 100, true},
        {"mesh, inactive shape", true, HIT_OBJECT, 100, false},
        {"mesh below 1.0", true, OBJECT_BODY, 0.5f, false},
        {"mesh of a class outside the mask", true, HERO_BODY, 100, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        obj_destroy_all();
        GoBase& target = c.is_mesh ? static_cast<GoBase&>(mesh(c.class_bits, {0.75f, 0, 0}))
                                   : static_cast<GoBase&>(actor(c.class_bits, {0.75f, 0, 0}));
        target.status.hp = c.hp;
        GoActor& source = attacker(COMBAT_SIDE_PLAYER, 1, 30, HERO_BODY);
        EXPECT_EQ(combat_apply_attack(nullptr, COMBAT_SIDE_PLAYER, source, 0.0f), c.hit);
        EXPECT_EQ(recorded(target), c.hit);
    }
}

TEST_F(CombatApply, PlayerSideAttackHitsATargetOncePerAttackIdAndNeverItsAttacker)
{
    GoActor& enemy = actor(ENEMY_BODY, {0.75f, 0, 0});
    GoActor& far_enemy = actor(ENEMY_BODY, {3, 0, 0});
    GoActor& source = attacker(COMBAT_SIDE_PLAYER, -1, 2); // its own body is in the mask, at the centre
    const auto apply = [&] { return combat_apply_attack(nullptr, COMBAT_SIDE_PLAYER, source, 0.0f); };

    EXPECT_TRUE(apply());
    EXPECT_FALSE(recorded(source));
    EXPECT_FALSE(recorded(far_enemy));
    EXPECT_FALSE(apply()) << "the entry is held";
    combat_tick_hit_once_list(enemy);
    EXPECT_FALSE(apply());
    combat_tick_hit_once_list(enemy);
    EXPECT_TRUE(apply()) << "the hold ran out";

    source.attack.shape.attack_id = ATTACK_ID + 1; // the next swing
    EXPECT_TRUE(apply());
    EXPECT_FALSE(apply());
}

// An enemy attack takes its candidates from the player and the companions alone: the enemies,
// the neutral actor and the mesh in reach are passed by, whatever the attack's mask.
TEST_F(CombatApply, EnemyAttackTestsOnlyThePlayerAndTheCompanions)
{
    actor(ENEMY_BODY, {0.5f, 0, 0});
    actor(NEUTRAL_BODY, {0, 0, 0.5f});
    mesh(OBJECT_BODY, {0, 0.5f, 0});
    GoActor& source = attacker(COMBAT_SIDE_ENEMY, -1, 30);
    source.attack.shape.target_mask = 0xFF;
    EXPECT_FALSE(combat_apply_attack(nullptr, COMBAT_SIDE_ENEMY, source, 0.0f));

    GoActor& companion = actor(HERO_BODY, {-0.5f, 0, 0});
    g_ally_actors[2] = &companion;
    EXPECT_TRUE(combat_apply_attack(nullptr, COMBAT_SIDE_ENEMY, source, 0.0f));
    EXPECT_TRUE(recorded(companion));
    for (const GoBase* other : pool_objects(g_pool_actor))
        EXPECT_EQ(recorded(*other), other == &companion) << other->object_id;
    EXPECT_FALSE(recorded(*pool_objects(g_pool_mesh)[0]));
}

// The player and each companion in reach of an enemy attack, one protection at a time.
TEST_F(CombatApply, EnemyAttackPassesProtectedTargets)
{
    const struct {
        const char* name;
        bool is_player;
        std::int32_t invulnerability_ticks;
        bool no_hit_switch;
        float hp;
        std::uint32_t class_bits;
        bool hit;
    } cases[] = {
        {"player", true, 0, false, 100, HERO_BODY, true},
        {"player with invulnerability ticks", true, 3, false, 100, HERO_BODY, false},
        {"player that cannot be hit", true, 0, true, 100, HERO_BODY, false},
        {"player below 1.0", true, 0, false, 0.5f, HERO_BODY, false},
        {"player, inactive shape", true, 0, false, 100, HIT_PLAYER_BODY, false},
        {"companion", false, 0, false, 100, HERO_BODY, true},
        {"companion with ticks of its own", false, 3, false, 100, HERO_BODY, true},
        {"companion that cannot be hit", false, 0, true, 100, HERO_BODY, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        obj_destroy_all();
        GoActor& target = actor(c.class_bits, {0, 0.75f, 0});
        target.cast = c.is_player ? ACTOR_CAST_HERO : 87;
        target.invulnerability_ticks = c.invulnerability_ticks;
        target.script.switches[ANI_SWITCH_NO_HIT] = c.no_hit_switch ? 1 : 0;
        target.status.hp = c.hp;
        (c.is_player ? g_player : g_ally_actors[0]) = &target;
        GoActor& source = attacker(COMBAT_SIDE_ENEMY, 1, 30);
        EXPECT_EQ(combat_apply_attack(nullptr, COMBAT_SIDE_ENEMY, source, 0.0f), c.hit);
        EXPECT_EQ(recorded(target), c.hit);
    }
}

// Every candidate is tried whatever the earlier ones gave, each recording the attack.
TEST_F(CombatApply, EveryCandidateInReachIsHitInOneApplication)
{
    GoActor& player = actor(HERO_BODY, {0.5f, 0, 0});
    player.cast = ACTOR_CAST_HERO;
    g_player = &player;
    GoActor& first = actor(HERO_BODY, {0, 0, 0.5f});
    GoActor& third = actor(HERO_BODY, {0, 0, -0.5f});
    g_ally_actors[0] = &first;
    g_ally_actors[2] = &third;
    GoActor& enemy_source = attacker(COMBAT_SIDE_ENEMY, 1, 30);
    EXPECT_TRUE(combat_apply_attack(nullptr, COMBAT_SIDE_ENEMY, enemy_source, 0.0f));
    EXPECT_TRUE(recorded(player) && recorded(first) && recorded(third));

    obj_destroy_all();
    GoActor& enemy = actor(ENEMY_BODY, {0.5f, 0, 0});
    GoMesh& part = mesh(OBJECT_BODY, {-0.5f, 0, 0});
    GoActor& player_source = attacker(COMBAT_SIDE_PLAYER, 1, 30, HERO_BODY);
    EXPECT_TRUE(combat_apply_attack(nullptr, COMBAT_SIDE_PLAYER, player_source, 0.0f));
    EXPECT_TRUE(recorded(enemy));
    EXPECT_TRUE(recorded(part));
}
