#include "test_hit_fixture.h"

#include "scenegraph/coll_sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using WorldQuery = WorldTest;

constexpr float kNear = 1e-4f;

std::vector<QcoTriangle> marked(std::vector<QcoTriangle> triangles, std::uint8_t mark)
{
    for (QcoTriangle& triangle : triangles)
        triangle.attributes[0] = mark;
    return triangles;
}

void expect_near(const D3DXVECTOR3& got, const D3DXVECTOR3& want, float tolerance = kNear)
{
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
}

void expect_near(const Vec3& got, const D3DXVECTOR3& want, float tolerance = kNear)
{
    expect_near(D3DXVECTOR3(got.x, got.y, got.z), want, tolerance);
}

HitSegment segment(const D3DXVECTOR3& start, const D3DXVECTOR3& delta)
{
    HitSegment record;
    hit_segment_query_init(start, delta, record);
    return record;
}

HitSphere sphere(const D3DXVECTOR3& centre, const D3DXVECTOR3& target, float radius)
{
    HitSphere record;
    hit_sphere_init(centre, target, radius, record);
    return record;
}

} // namespace

// The nearest hit wins whichever mesh holds it; on equal distances the earlier mesh keeps it,
// also when the later one sits at the identity and the earlier one is moved there.
TEST_F(WorldQuery, SegmentTakesTheNearestHitAndTiesGoToTheFirstMesh)
{
    add_mesh(marked(floor_at(0.0f), 1), "C");
    add_mesh(marked(floor_at(0.0f), 2), "C", {.position = {0.0f, 2.0f, 0.0f}});
    add_mesh(marked(floor_at(2.0f), 3), "C");

    const struct {
        float from;
        std::int32_t mesh;
        float ground;
        std::uint8_t mark;
    } cases[] = {{10.0f, 1, 2.0f, 2}, {1.0f, 0, 0.0f, 1}};
    for (const auto& c : cases) {
        HitSegment record = segment({1.0f, c.from, -3.0f}, {0.0f, -20.0f, 0.0f});
        ASSERT_TRUE(hit_segment_meshes_c(record)) << c.from;
        EXPECT_EQ(record.mesh_index, c.mesh);
        expect_near(record.hit_point, {1.0f, c.ground, -3.0f});
        EXPECT_FLOAT_EQ(record.distance, c.from - c.ground);
        EXPECT_EQ(record.triangle.attributes[0], c.mark);
        ASSERT_NE(record.hit_triangle, nullptr);
        EXPECT_EQ(record.hit_triangle->attributes[0], c.mark);
    }
}

// A floor turned on end, doubled and moved answers in world coordinates: the point, the corners,
// a unit normal with its plane, the area and every attribute byte the file gave.
TEST_F(WorldQuery, RotatedAndScaledMeshAnswersInWorldSpace)
{
    std::vector<QcoTriangle> triangles = floor_at(0.0f, 1.0f);
    for (QcoTriangle& triangle : triangles)
        for (std::size_t i = 0; i < triangle.attributes.size(); ++i)
            triangle.attributes[i] = static_cast<std::uint8_t>(i + 1);
    const float quarter_turn = std::numbers::pi_v<float> / 2.0f;
    add_mesh(triangles, "A",
             {.position = {5.0f, 0.0f, 0.0f}, .angles = {0.0f, 0.0f, quarter_turn}, .scale = 2.0f});

    HitSegment record = segment({0.0f, 0.5f, 0.3f}, {10.0f, 0.0f, 0.0f});
    ASSERT_TRUE(hit_segment_meshes_a(record));
    EXPECT_EQ(record.mesh_index, 0);
    expect_near(record.hit_point, {5.0f, 0.5f, 0.3f});
    EXPECT_NEAR(record.distance, 5.0f, kNear);

    const CollisionTriangle& world = record.triangle;
    expect_near(world.normal, {-1.0f, 0.0f, 0.0f});
    EXPECT_NEAR(vec3_length(world.normal), 1.0f, 1e-6f);
    EXPECT_NEAR(world.d, 5.0f, kNear);
    EXPECT_NEAR(world.cross_length, record.hit_triangle->cross_length * 4.0f, kNear);
    for (const Vec3* corner : {&world.a, &world.b, &world.c, &world.centroid}) {
        EXPECT_NEAR(corner->x, 5.0f, kNear);
        EXPECT_LE(std::fabs(corner->y), 2.0f + kNear);
        EXPECT_LE(std::fabs(corner->z), 2.0f + kNear);
    }
    for (std::size_t i = 0; i < sizeof(world.attributes); ++i) {
        if (i == COLL_ATTR_COLLECTED) continue;
        EXPECT_EQ(world.attributes[i], i + 1) << "byte " << i;
    }
}

// Distances are compared in world space: a mesh scaled by 4 whose wall lies nearer in its own
// space must not beat a nearer wall of another mesh.
TEST_F(WorldQuery, ScaledMeshDistanceIsMeasuredInTheWorld)
{
    GoMesh* scaled = add_mesh(wall_x(1.5f, 2.0f), "C", {.scale = 4.0f});
    GoMesh* plain = add_mesh(wall_x(4.0f), "C");

    const struct {
        bool plain_on;
        std::int32_t mesh;
        float distance;
    } cases[] = {{true, 1, 4.0f}, {false, 0, 6.0f}};
    for (const auto& c : cases) {
        plain->enabled = c.plain_on;
        HitSegment record = segment({0.0f, 0.0f, 0.0f}, {10.0f, 0.0f, 0.0f});
        ASSERT_TRUE(hit_segment_meshes_c(record));
        EXPECT_EQ(record.mesh_index, c.mesh);
        EXPECT_NEAR(record.distance, c.distance, kNear);
        expect_near(record.hit_point, {c.distance, 0.0f, 0.0f});
    }
    EXPECT_EQ(scaled->identity, 0);
}

// Only the asked set of enabled meshes counts; a miss leaves the record's results as they came.
TEST_F(WorldQuery, SegmentTestsOnlyEnabledMeshesWithTheSet)
{
    using Query = bool (*)(HitSegment&);
    const struct {
        const char* sets;
        bool enabled;
        Query query;
        bool hit;
    } cases[] = {
        {"A", true, hit_segment_meshes_c, false},  {"C", false, hit_segment_meshes_c, false},
        {"C", true, hit_segment_meshes_c, true},   {"B", true, hit_segment_meshes_b, true},
        {"BC", true, hit_segment_meshes_a, false}, {"A", true, hit_segment_meshes_a, true},
    };
    for (const auto& c : cases) {
        GoMesh* mesh = add_mesh(floor_at(0.0f), c.sets);
        mesh->enabled = c.enabled;
        HitSegment record = segment({0.0f, 5.0f, 0.0f}, {0.0f, -10.0f, 0.0f});
        record.distance = 42.0f;
        EXPECT_EQ(c.query(record), c.hit) << c.sets << " enabled " << c.enabled;
        EXPECT_EQ(record.distance, c.hit ? 5.0f : 42.0f);
        EXPECT_EQ(record.mesh_index, c.hit ? 0 : -1);
        EXPECT_EQ(record.hit_triangle != nullptr, c.hit);
        obj_destroy_all();
    }
}

TEST_F(WorldQuery, WithoutMeshesSegmentsMissAndSpheresMoveFreely)
{
    HitSegment record = segment({1.0f, 2.0f, 3.0f}, {0.0f, -4.0f, 0.5f});
    expect_near(record.world_end, {1.0f, -2.0f, 3.5f}, 0.0f);
    expect_near(record.hit_point, {1.0f, 2.0f, 3.0f}, 0.0f);
    EXPECT_EQ(record.distance, FLT_MAX);
    EXPECT_EQ(record.mesh_index, -1);
    record.distance = 7.0f;
    EXPECT_FALSE(hit_segment_meshes_a(record));
    EXPECT_EQ(record.distance, 7.0f);

    HitSphere ball = sphere({0.0f, 1.0f, 0.0f}, {3.0f, 1.0f, 0.0f}, 0.5f);
    EXPECT_TRUE(hit_sphere_meshes_c(ball));
    EXPECT_TRUE(hit_sphere_meshes_a(ball));
    expect_near(ball.resolved, {3.0f, 1.0f, 0.0f}, 0.0f);
    expect_near(ball.correction, {0.0f, 0.0f, 0.0f}, 0.0f);
}

// A wall in the second mesh, moved into place, blocks the sphere; the first mesh lies far off.
// Moves that touch nothing keep their target exactly. (The engine collects the leaves around
// the two ends of a move, so moves are a tick's worth.)
TEST_F(WorldQuery, SphereStopsAtAWallOfALaterMesh)
{
    add_mesh(floor_at(-50.0f, 1.0f), "AC");
    add_mesh(wall_x(0.0f), "C", {.position = {5.0f, 0.0f, 0.0f}});

    HitSphere ball = sphere({3.8f, 0.0f, 0.0f}, {5.3f, 0.0f, 0.0f}, 0.5f);
    EXPECT_FALSE(hit_sphere_meshes_c(ball));
    expect_near(ball.resolved, {4.5f, 0.0f, 0.0f}, 1e-3f);
    expect_near(ball.correction, ball.resolved - ball.target, 0.0f);

    HitSphere short_move = sphere({3.0f, 0.0f, 0.0f}, {4.4f, 0.0f, 1.0f}, 0.5f);
    EXPECT_TRUE(hit_sphere_meshes_c(short_move));
    expect_near(short_move.resolved, {4.4f, 0.0f, 1.0f}, 0.0f);

    HitSphere other_set = sphere({3.8f, 0.0f, 0.0f}, {5.3f, 0.0f, 0.0f}, 0.5f);
    EXPECT_TRUE(hit_sphere_meshes_a(other_set));
}

// Two meshes make a corner: the sphere ends outside both walls, while either wall alone gives
// the engine's own sweep against that mesh, sliding along it past where the other wall stands.
TEST_F(WorldQuery, SphereStopsInTheCornerOfTwoMeshes)
{
    GoMesh* x_wall = add_mesh(wall_x(5.0f), "C");
    GoMesh* z_wall = add_mesh(wall_z(0.0f), "C", {.position = {0.0f, 0.0f, 5.0f}});
    const D3DXVECTOR3 centre{3.6f, 0.0f, 4.0f};
    const D3DXVECTOR3 target{5.2f, 0.0f, 5.1f};
    const float radius = 0.5f;

    HitSphere both = sphere(centre, target, radius);
    EXPECT_FALSE(hit_sphere_meshes_c(both));
    EXPECT_LE(both.resolved.x, 4.5f + 1e-3f);
    EXPECT_LE(both.resolved.z, 4.5f + 1e-3f);
    expect_near(both.correction, both.resolved - target, 0.0f);

    for (GoMesh* alone : {x_wall, z_wall}) {
        x_wall->enabled = alone == x_wall;
        z_wall->enabled = alone == z_wall;
        SweepRecord sweep;
        const D3DXVECTOR3 local_centre = centre - alone->position;
        const D3DXVECTOR3 local_target = target - alone->position;
        coll_sweep_set(sweep, {local_centre.x, local_centre.y, local_centre.z},
                       {local_target.x - local_centre.x, local_target.y - local_centre.y,
                        local_target.z - local_centre.z});
        g_coll_work_list.clear();
        coll_query_swept(alone->collision_c.tree.root, sweep, radius);
        Vec3 engine{};
        Vec3 motion{};
        coll_sweep_ellipsoid(engine, motion, sweep, {radius, radius, radius});

        HitSphere one = sphere(centre, target, radius);
        EXPECT_FALSE(hit_sphere_meshes_c(one));
        expect_near(one.resolved, D3DXVECTOR3(engine.x, engine.y, engine.z) + alone->position);
        expect_near(one.correction, one.resolved - target, 0.0f);
        const float past = alone == x_wall ? one.resolved.z : one.resolved.x;
        EXPECT_GT(past, 4.6f);
    }
}

// Meshes after the first are skipped when their bounds cannot reach the sphere; the first never.
TEST_F(WorldQuery, FarMeshesAfterTheFirstAreCulled)
{
    Model model{};
    model.meshes.resize(1);
    const struct {
        bool wall_first;
        float bound;
        bool blocked;
    } cases[] = {{false, 1.0f, false}, {false, 100.0f, true}, {true, 1.0f, true}};
    for (const auto& c : cases) {
        model.meshes[0].radius = c.bound;
        if (!c.wall_first) add_mesh(floor_at(-50.0f, 1.0f), "C");
        GoMesh* wall = add_mesh(wall_x(5.0f), "C");
        // The wall's geometry sits at the identity, but its mesh claims to stand far away.
        wall->position = {100.0f, 0.0f, 0.0f};
        wall->model = &model;
        HitSphere ball = sphere({3.8f, 0.0f, 0.0f}, {5.3f, 0.0f, 0.0f}, 0.5f);
        EXPECT_EQ(!hit_sphere_meshes_c(ball), c.blocked) << c.wall_first << " " << c.bound;
        wall->model = nullptr;
        obj_destroy_all();
    }
}

TEST_F(WorldQuery, TriangleHelpersRecomputeThePlaneAndBringResultsToTheWorld)
{
    CollisionTriangle degenerate{};
    degenerate.a = {1.0f, 2.0f, 3.0f};
    degenerate.b = {1.0f, 2.0f, 3.0f};
    degenerate.c = {4.0f, 2.0f, 0.0f};
    coll_triangle_plane(degenerate);
    expect_near(degenerate.normal, {0.0f, 1.0f, 0.0f}, 0.0f);
    EXPECT_EQ(degenerate.cross_length, 0.0f);
    EXPECT_EQ(degenerate.d, -2.0f);
    coll_triangle_centroid(degenerate);
    expect_near(degenerate.centroid, {2.0f, 2.0f, 2.0f});

    D3DXMATRIX scale;
    D3DXMATRIX move;
    D3DXMatrixScaling(&scale, 2.0f, 2.0f, 2.0f);
    D3DXMatrixTranslation(&move, 5.0f, 0.0f, 0.0f);
    const D3DXMATRIX world = scale * move;
    HitSphere ball{};
    ball.resolved = {1.0f, 0.0f, 0.0f};
    ball.correction = {0.0f, 1.0f, 0.0f};
    coll_sphere_result_to_world(ball, world);
    expect_near(ball.resolved, {7.0f, 0.0f, 0.0f});
    expect_near(ball.correction, {0.0f, 2.0f, 0.0f});
}
