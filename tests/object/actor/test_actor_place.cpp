#include "object/actor/actor_setup_fixture.h"

#include "core/maths.h"
#include "lib/qco_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace {

constexpr std::int32_t k_plain_cast = 100; // a person without a row of the per-cast table
constexpr float k_foot_offset = 0.5f;      // the test record's foot height 0.425 + 0.075
// A hit along a long probe is as exact as the probe's length allows.
constexpr float k_probe_precision = 1e-5f;

// A level square of 10 x 10 round the origin, facing up.
std::vector<QcoTriangle> level_at(float y)
{
    return qco_quad({-5.0f, y, -5.0f}, {-5.0f, y, 5.0f}, {5.0f, y, 5.0f}, {5.0f, y, -5.0f});
}

std::vector<QcoTriangle> levels_at(std::initializer_list<float> heights)
{
    std::vector<QcoTriangle> triangles;
    for (float y : heights) {
        const std::vector<QcoTriangle> level = level_at(y);
        triangles.insert(triangles.end(), level.begin(), level.end());
    }
    return triangles;
}

void load_set(CollisionModel& model, std::uint8_t& present, const std::vector<QcoTriangle>& triangles)
{
    if (triangles.empty()) return;
    ASSERT_EQ(coll_model_parse(model, qco_bytes(qco_image(triangles))), S_OK);
    present = 1;
}

// A map mesh at the origin with the ground (set C) and water (set B) surfaces; an empty list
// leaves the set out.
GoMesh& add_mesh(const std::vector<QcoTriangle>& ground, const std::vector<QcoTriangle>& water = {})
{
    GoMesh* mesh = obj_create<GoMesh>(g_pool_mesh);
    EXPECT_NE(mesh, nullptr);
    mesh->enabled = 1;
    load_set(mesh->collision_c, mesh->has_collision_c, ground);
    load_set(mesh->collision_b, mesh->has_collision_b, water);
    mesh->UpdateWorldMatrix();
    return *mesh;
}

class ActorPlaceTest : public ActorSetupTest {
protected:
    static GoActor& placed_at(float y, std::int32_t spawn_type = ACTOR_SPAWN_FRIEND, float hover = 0.0f)
    {
        g_castinfo[k_plain_cast].hover_height = hover;
        GoActor& actor = set_up(k_plain_cast, spawn_type);
        actor_set_position(D3DXVECTOR3(1.0f, y, 2.0f), actor, 0.0f);
        return actor;
    }
};

} // namespace

// ---- The ground below the point ---------------------------------------------------------------------

// The ground of set C found below the point is taken when it lies within 1.5 of the given height
// (0.25 for an enemy); otherwise the actor keeps the given height. The probe starts at the
// position the actor would have, so a hovering actor finds a floor above the given point too.
TEST_F(ActorPlaceTest, TheGroundNearTheGivenHeightIsTaken)
{
    struct Case {
        const char* what;
        float floor, given;
        std::int32_t spawn_type;
        float hover;
        float ground;
    };
    const Case cases[] = {
        {"1.0 above the floor", 0.0f, 1.0f, ACTOR_SPAWN_FRIEND, 0.0f, 0.0f},
        {"1.5 above the floor", 0.0f, 1.5f, ACTOR_SPAWN_FRIEND, 0.0f, 0.0f},
        {"2.0 above the floor", 0.0f, 2.0f, ACTOR_SPAWN_FRIEND, 0.0f, 2.0f},
        {"a floor between the point and the feet", 0.4f, 0.0f, ACTOR_SPAWN_FRIEND, 0.0f, 0.4f},
        {"a floor above the feet", 1.0f, 0.0f, ACTOR_SPAWN_FRIEND, 0.0f, 0.0f},
        {"a floor above the feet, hovering", 1.0f, 0.0f, ACTOR_SPAWN_FRIEND, 1.0f, 1.0f},
        {"an enemy 0.2 above the floor", 0.0f, 0.2f, ACTOR_SPAWN_ENEMY, 0.0f, 0.0f},
        {"an enemy 0.3 above the floor", 0.0f, 0.3f, ACTOR_SPAWN_ENEMY, 0.0f, 0.3f},
        {"a friend 0.3 above the floor", 0.0f, 0.3f, ACTOR_SPAWN_FRIEND, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        add_mesh(level_at(c.floor));
        const GoActor& actor = placed_at(c.given, c.spawn_type, c.hover);
        EXPECT_FLOAT_EQ(actor.ground_height, c.ground);
        EXPECT_EQ(actor.placement_ground, c.given);
        const D3DXVECTOR3 placed(1.0f, c.ground + c.hover + k_foot_offset, 2.0f);
        EXPECT_EQ(actor_position(actor), placed);
        EXPECT_EQ(actor.home_point, placed);
        EXPECT_EQ(D3DXVECTOR3(actor.hit_shape.centre), placed);
        EXPECT_FLOAT_EQ(actor.camera_height, c.ground + k_foot_offset);
        EXPECT_FLOAT_EQ(actor.camera_height_goal, c.ground + k_foot_offset);
        obj_destroy_all();
    }
}

// The nearest ground below counts, and only set C: a floor of set B alone is no ground.
TEST_F(ActorPlaceTest, OnlyTheNearestGroundOfSetCCounts)
{
    add_mesh(levels_at({-3.0f, 0.5f}));
    EXPECT_FLOAT_EQ(placed_at(1.0f).ground_height, 0.5f);
    obj_destroy_all();

    add_mesh({}, level_at(0.5f));
    EXPECT_EQ(placed_at(1.0f).ground_height, 1.0f);
}

// ---- Water ------------------------------------------------------------------------------------------

// A water surface of set B between the position and 0.05 below the ground makes the actor wade;
// the surface nearest below 50 above the position is then the water height, and it is submerged.
TEST_F(ActorPlaceTest, WaterBelowThePositionSetsWadingSubmergedAndTheHeight)
{
    struct Case {
        const char* what;
        std::vector<QcoTriangle> water;
        bool wet;
        float water_height;
    };
    const Case cases[] = {
        {"no water", {}, false, 0.0f},
        {"water at the shins", level_at(0.3f), true, 0.3f},
        {"water just below the ground", level_at(-0.03f), true, -0.03f},
        {"water well below the ground", level_at(-0.1f), false, 0.0f},
        {"water only above the position", level_at(2.0f), false, 0.0f},
        {"a second surface above", levels_at({0.3f, 3.0f}), true, 3.0f},
        {"a second surface out of reach", levels_at({0.3f, 51.0f}), true, 0.3f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        add_mesh(level_at(0.0f), c.water);
        const GoActor& actor = placed_at(0.0f);
        ASSERT_EQ(actor.ground_height, 0.0f);
        EXPECT_EQ(actor.wading, c.wet);
        EXPECT_EQ(actor.submerged, c.wet);
        EXPECT_NEAR(actor.water_height, c.water_height, k_probe_precision);
        obj_destroy_all();
    }
}

// The probe for water starts at the snapped position and ends below the snapped ground.
TEST_F(ActorPlaceTest, TheWaterProbeFollowsTheSnappedGround)
{
    add_mesh(level_at(-1.0f), level_at(-0.8f));
    const GoActor& actor = placed_at(0.0f);
    EXPECT_EQ(actor.ground_height, -1.0f);
    EXPECT_TRUE(actor.wading);
    EXPECT_NEAR(actor.water_height, -0.8f, k_probe_precision);
}

// ---- Waypoints --------------------------------------------------------------------------------------

// The given points are copied, at most 8; the start point follows them when fewer than 7 were
// given. A negative count copies none.
TEST_F(ActorPlaceTest, WaypointsTakeUpToEightAndTheStartBelowSeven)
{
    D3DXVECTOR3 points[9];
    for (int i = 0; i < 9; ++i)
        points[i] = D3DXVECTOR3(static_cast<float>(i), 0.0f, static_cast<float>(-i));
    const D3DXVECTOR3 start(50.0f, 1.0f, 50.0f);
    struct Case {
        std::int32_t count;
        bool with_start;
        std::uint32_t stored;
        bool start_appended;
    };
    const Case cases[] = {
        {-1, true, 1, true},  {0, true, 1, true},  {0, false, 0, false},
        {3, false, 3, false}, {6, true, 7, true},  {7, true, 7, false},
        {8, true, 8, false},  {9, true, 8, false}, {9, false, 8, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << (c.with_start ? " with start" : ""));
        GoActor& actor = set_up(k_plain_cast, ACTOR_SPAWN_FRIEND);
        actor_set_waypoints(c.count, points, actor, c.with_start ? &start : nullptr);
        ASSERT_EQ(actor.waypoint_count, c.stored);
        const std::uint32_t copied = c.start_appended ? c.stored - 1 : c.stored;
        for (std::uint32_t i = 0; i < copied; ++i)
            EXPECT_EQ(actor.waypoints[i], points[i]) << i;
        if (c.start_appended) {
            EXPECT_EQ(actor.waypoints[copied], start);
        }
    }
}

// Without waypoints there is none to pick; a single one is always picked and made current.
TEST_F(ActorPlaceTest, PickingFromNoneOrOneWaypoint)
{
    GoActor& actor = set_up(k_plain_cast, ACTOR_SPAWN_FRIEND);
    EXPECT_EQ(actor_pick_random_waypoint(actor), nullptr);

    const D3DXVECTOR3 only(3.0f, 0.0f, 4.0f);
    actor_set_waypoints(1, &only, actor, nullptr);
    actor.current_waypoint = 5;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(actor_pick_random_waypoint(actor), &actor.waypoints[0]);
        EXPECT_EQ(actor.current_waypoint, 0);
    }
}

// Among several, the game's generator draws (value >> 17) modulo the count until the index differs
// from the current one: a seeded run picks the same waypoints and never the current one again.
TEST_F(ActorPlaceTest, ARandomPickNeverRepeatsTheCurrentWaypoint)
{
    for (std::uint32_t count : {2u, 3u, 8u}) {
        SCOPED_TRACE(testing::Message() << count << " waypoints");
        const std::vector<D3DXVECTOR3> points(count, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        GoActor& actor = set_up(k_plain_cast, ACTOR_SPAWN_FRIEND);
        actor_set_waypoints(static_cast<std::int32_t>(count), points.data(), actor, nullptr);

        math_rand_seed();
        std::vector<std::uint32_t> expected;
        std::uint32_t current = 0;
        for (int pick = 0; pick < 200; ++pick) {
            std::uint32_t index;
            do
                index = (math_rand_u32() >> 17) % count;
            while (index == current);
            expected.push_back(current = index);
        }

        math_rand_seed();
        std::vector<std::uint32_t> picked;
        std::vector<bool> seen(count, false);
        for (int pick = 0; pick < 200; ++pick) {
            const std::uint32_t before = actor.current_waypoint;
            const D3DXVECTOR3* waypoint = actor_pick_random_waypoint(actor);
            ASSERT_NE(waypoint, nullptr);
            EXPECT_NE(actor.current_waypoint, before);
            EXPECT_EQ(waypoint, &actor.waypoints[actor.current_waypoint]);
            picked.push_back(actor.current_waypoint);
            seen[actor.current_waypoint] = true;
        }
        EXPECT_EQ(picked, expected);
        EXPECT_EQ(seen, std::vector<bool>(count, true));
    }
}
