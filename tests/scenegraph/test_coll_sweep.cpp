#include "coll_fixture.h"

#include "lib/le_bytes.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

// Walls of 20 x 20 through the origin, each as two triangles sharing the diagonal a-c.
std::vector<QcoTriangle> wall_x0() // x = 0, facing +x
{
    return qco_quad({0, -10, -10}, {0, 10, -10}, {0, 10, 10}, {0, -10, 10});
}
std::vector<QcoTriangle> floor_y0() // y = 0, facing up
{
    return qco_quad({-10, 0, -10}, {-10, 0, 10}, {10, 0, 10}, {10, 0, -10});
}
std::vector<QcoTriangle> wall_z0() // z = 0, facing +z
{
    return qco_quad({-10, -10, 0}, {10, -10, 0}, {10, 10, 0}, {-10, 10, 0});
}

std::vector<QcoTriangle> joined(std::initializer_list<std::vector<QcoTriangle>> parts)
{
    std::vector<QcoTriangle> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

bool finite(const Vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

void expect_near(const Vec3& actual, const Vec3& expected, float tolerance = 1e-4f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

struct SweepResult {
    Vec3 position;
    Vec3 motion;
};

class SweepTest : public CollisionTest {
protected:
    // All triangles in one leaf, whose box holds every start and end of the tests.
    void scene(std::vector<QcoTriangle> triangles)
    {
        QcoImage image = qco_image(std::move(triangles), 0);
        image.root.min = {-50, -50, -50};
        image.root.max = {50, 50, 50};
        parse(image);
    }

    // Collects the touched leaves and sweeps, as the world queries do.
    SweepResult sweep(const Vec3& start, const Vec3& motion, const Vec3& radii)
    {
        g_coll_work_list.clear();
        SweepRecord record = sweep_of(start, motion);
        coll_query_swept(root(), record, radii.x);
        SweepResult result;
        coll_sweep_ellipsoid(result.position, result.motion, record, radii);
        return result;
    }
    SweepResult sweep(const Vec3& start, const Vec3& motion, float radius)
    {
        return sweep(start, motion, {radius, radius, radius});
    }
};

} // namespace

TEST_F(SweepTest, AnEmptyListMovesTheWholeMotion)
{
    SweepResult result = sweep({1, 2, 3}, {4, -5, 6}, 0.5f);
    expect_near(result.position, {5, -3, 9}, 0);
    expect_near(result.motion, {4, -5, 6}, 0);
}

TEST_F(SweepTest, ATinyMotionOrBadInputLeavesTheBodyWhereItIs)
{
    scene(wall_x0());
    struct Case {
        const char* name;
        Vec3 motion;
        Vec3 radii;
    };
    const Case cases[] = {
        {"motion below 0.00001", {0.000009f, 0, 0}, {1, 1, 1}},
        {"zero radius", {-2, 0, 0}, {0, 1, 1}},
        {"negative radius", {-2, 0, 0}, {1, -1, 1}},
        {"radius NaN", {-2, 0, 0}, {1, 1, NaN}},
        {"infinite radius", {-2, 0, 0}, {INFINITY, 1, 1}},
        {"motion NaN", {NaN, 0, 0}, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SweepResult result = sweep({3, 0, 0}, c.motion, c.radii);
        expect_near(result.position, {3, 0, 0}, 0);
        EXPECT_EQ(result.motion.y, c.motion.y);
    }
}

TEST_F(SweepTest, SlidesAlongAWallWithTheWholeMotion)
{
    scene(wall_x0());
    // Contact after a quarter of the motion, at z = 0.25; then the whole motion less its part
    // into the wall.
    SweepResult result = sweep({1, 0, 0}, {-2, 0, 1}, 0.5f);
    expect_near(result.position, {0.5f, 0, 1.25f});
    expect_near(result.motion, {0, 0, 1});
}

TEST_F(SweepTest, SlidesAlongTheCreaseOfTwoPlanes)
{
    scene(joined({floor_y0(), wall_x0()}));
    SweepResult result = sweep({1, 1, 0}, {-2, -2, 1}, 0.5f);
    expect_near(result.position, {0.5f, 0.5f, 1.25f});
    expect_near(result.motion, {0, 0, 1});
}

TEST_F(SweepTest, StopsInAConcaveCornerOfThreePlanes)
{
    scene(joined({floor_y0(), wall_x0(), wall_z0()}));
    SweepResult result = sweep({1, 1, 1}, {-2, -2, -2}, 0.5f);
    expect_near(result.position, {0.5f, 0.5f, 0.5f});
    expect_near(result.motion, {0, 0, 0});
}

TEST_F(SweepTest, PushesABodyOutOfAWallBeforeItMoves)
{
    scene(wall_x0());
    struct Case {
        const char* name;
        Vec3 motion;
        Vec3 end;
    };
    const Case cases[] = {
        {"along the wall", {0, 0, 1}, {0.5f, 0, 1}},
        {"into the wall", {-1, 0, 0}, {0.5f, 0, 0}},
        {"away from the wall", {1, 0, 0}, {1.5f, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SweepResult result = sweep({0.4f, 0, 0}, c.motion, 0.5f);
        expect_near(result.position, c.end);
    }
}

TEST_F(SweepTest, TwoContactsInOnePlaneCountOnce)
{
    // The motion meets the wall on the diagonal that its two triangles share: two face contacts
    // at one time in one plane. Counted twice they would make a crease of nothing, which sends
    // the motion straight up.
    scene(wall_x0());
    SweepResult result = sweep({1, 0, 0}, {-2, 0, 0}, 0.5f);
    expect_near(result.position, {0.5f, 0, 0});
    expect_near(result.motion, {0, 0, 0});
}

TEST_F(SweepTest, MeetsTheEdgesAndVerticesOfATriangle)
{
    // Corners (0, 0, 0), (0, 1, 0) and (0, 0, 1) in the plane x = 0, facing +x. The sphere
    // comes head-on along -x beside the triangle, touches an edge or a vertex, and slides the
    // whole motion on the contact plane, whose normal points from the touch point to the centre.
    scene({{{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {}}});
    constexpr float R = 0.5f;
    const Vec3 motion{-2, 0, 0};
    auto expected_end = [&](const Vec3& start, const Vec3& touch) {
        Vec3 off{0, start.y - touch.y, start.z - touch.z};
        Vec3 centre{std::sqrt(R * R - off.y * off.y - off.z * off.z), start.y, start.z};
        Vec3 n{centre.x / R, off.y / R, off.z / R};
        float into = n.x * motion.x;
        return Vec3{centre.x + motion.x - n.x * into, centre.y - n.y * into, centre.z - n.z * into};
    };
    struct Case {
        const char* name;
        Vec3 start;
        Vec3 touch;
    };
    const Case cases[] = {
        {"the edge on the z axis", {1.5f, -0.25f, 0.5f}, {0, 0, 0.5f}},
        {"the edge on the y axis", {1.5f, 0.5f, -0.3f}, {0, 0.5f, 0}},
        {"the vertex at the origin", {1.5f, -0.3f, -0.3f}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expect_near(sweep(c.start, motion, R).position, expected_end(c.start, c.touch), 1e-3f);
    }
    // Farther than the radius from the edge the sphere passes by untouched.
    expect_near(sweep({1.5f, -0.6f, 0.5f}, motion, R).position, {-0.5f, -0.6f, 0.5f});
}

TEST_F(SweepTest, ABodyRestingOnAFaceDoesNotSinkAtAGlancingAngle)
{
    // Half a millionth inside the wall, as slides leave bodies after rounding: the hit of the
    // glancing motion lies far behind the start, yet the body rests on the face and slides.
    scene(wall_x0());
    SweepResult result = sweep({0.4999995f, 0, 0}, {-0.01f, 0, 1}, 0.5f);
    EXPECT_GE(result.position.x, 0.4999f);
    EXPECT_NEAR(result.position.z, 1, 1e-4f);
}

TEST_F(SweepTest, ABodyRestingOnATiledWallMovesFreelyAcrossItsSeams)
{
    // The wall x = -5 of 5 x 5 tiles with seams at -3, -1, 1 and 3; the body rests a rounding error deep
    // on it, just beside the seam z = 1, as slides leave bodies. Pushes of nothing must not
    // hold it, and passing over seams and tile corners must not restart its slide.
    scene(qco_quad({-5, -5, -5}, {-5, 5, -5}, {-5, 5, 5}, {-5, -5, 5}, 5));
    const Vec3 start{-4.50000048f, 2.85013747f, 1.00055575f};
    struct Case {
        const char* name;
        Vec3 motion;
    };
    const Case cases[] = {
        {"away", {1, 0, 0}},
        {"along y over a seam", {0, 1, 0}},
        {"along z", {0, 0, 1}},
        {"away at a slant", {0.438119441f, -0.618416369f, 0.809723735f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SweepResult result = sweep(start, c.motion, 0.5f);
        expect_near(result.position, {start.x + c.motion.x, start.y + c.motion.y, start.z + c.motion.z},
                    1e-5f);
    }
}

TEST_F(SweepTest, AnEdgePassedBeforeTheStartDoesNotPullTheBodyBack)
{
    // Beside the edge on the z axis of a triangle in the plane x = 0, moving away from it: the
    // sphere touched the edge's line only before the start.
    scene({{{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {}}});
    SweepResult result = sweep({0.3f, -0.45f, 0.5f}, {0.05f, -1, 0}, 0.5f);
    expect_near(result.position, {0.35f, -1.45f, 0.5f});
}

TEST_F(SweepTest, DegenerateTrianglesAndInputsNeverYieldNaN)
{
    std::vector<QcoTriangle> triangles = qco_box_room({-5, -5, -5}, {5, 5, 5});
    triangles.push_back({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {}});     // a point
    triangles.push_back({{-1, 0, 0}, {0, 0, 0}, {1, 0, 0}, {}});    // a line
    triangles.push_back({{0, 0, 0}, {1, 0, 0}, {2, 1e-7f, 0}, {}}); // a sliver
    triangles.push_back({{0, 1, 0}, {1, 1, 0}, {0, 1, 1}, {}});     // normal zeroed below
    triangles.push_back({{0, -1, 0}, {1, -1, 0}, {0, -1, 1}, {}});  // corner NaN below
    std::vector<std::uint8_t> bytes = qco_bytes(qco_image(triangles, 0));
    const std::size_t zeroed = QCO_HEADER_SIZE + 15 * QCO_TRIANGLE_SIZE;
    for (std::size_t offset = 0x24; offset < 0x30; offset += 4)
        le_patch_u32(bytes, zeroed + offset, 0);
    le_patch_u32(bytes, QCO_HEADER_SIZE + 16 * QCO_TRIANGLE_SIZE, 0x7FC00000);
    ASSERT_EQ(coll_model_parse(m_model, bytes), S_OK);

    const Vec3 starts[] = {{0, 0, 0}, {0, 0.5f, 0}, {-1, 0, 0}, {4.5f, 4.5f, 4.5f}, {0, 1, 0}};
    const Vec3 motions[] = {{0, 0, 0}, {1e-4f, 0, 0}, {3, 3, 3}, {0, -20, 0}, {1, 0, 0}, {0, 0.5f, 0.5f}};
    const Vec3 radii[] = {{0.5f, 0.5f, 0.5f}, {0.5f, 1, 0.25f}, {1e-3f, 1e-3f, 1e-3f}};
    for (const Vec3& start : starts)
        for (const Vec3& motion : motions)
            for (const Vec3& r : radii) {
                SweepResult result = sweep(start, motion, r);
                ASSERT_TRUE(finite(result.position) && finite(result.motion))
                    << start.x << " " << start.y << " " << start.z << " moving " << motion.x << " "
                    << motion.y << " " << motion.z << " radius " << r.x;
            }
}

TEST_F(SweepTest, RandomSweepsInAClosedRoomNeverLeaveIt)
{
    // The swept query looks at the two end points only, and a slide goes on with the whole
    // motion, so a body may travel about twice its motion: every motion stays below half the
    // smallest octree leaf (10 / 2^3 = 1.25).
    constexpr float HALF = 5.0f;
    constexpr float RADIUS = 0.5f;
    constexpr float DEPTH_ALLOWED = 0.005f;
    parse(qco_image(qco_box_room({-HALF, -HALF, -HALF}, {HALF, HALF, HALF}, 2), 3, 4));
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_real_distribution<float> reach(0.0f, 0.6f);
    Vec3 position{0, 0, 0};
    for (int step = 0; step < 20000; ++step) {
        Vec3 direction{unit(random), unit(random), unit(random)};
        float length =
            std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
        if (length < 1e-3f) continue;
        float scale = reach(random) / length;
        SweepResult result =
            sweep(position, {direction.x * scale, direction.y * scale, direction.z * scale}, RADIUS);
        ASSERT_TRUE(finite(result.position) && finite(result.motion)) << "step " << step;
        for (float c : {result.position.x, result.position.y, result.position.z})
            ASSERT_LT(std::fabs(c), HALF - RADIUS + DEPTH_ALLOWED) << "step " << step;
        position = result.position;
    }
}

TEST(CollisionRay, TheVerticalRayHitsUpFacingTrianglesAboveAndBelow)
{
    const Vec3 a{0, 0, 0}, b{0, 0, 1}, c{1, 0, 0}; // (b - a) x (c - a) points up
    struct Case {
        const char* name;
        Vec3 point;
        bool swapped;
        bool hit;
        float t;
    };
    const Case cases[] = {
        {"above", {0.25f, 1, 0.5f}, false, true, 1 / 510.0f},
        {"below", {0.25f, -2, 0.5f}, false, true, -2 / 510.0f},
        {"beside", {1, 1, 1}, false, false, 0},
        {"facing down", {0.25f, 1, 0.5f}, true, false, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        float t = -99, u = -99, v = -99;
        bool hit = k.swapped ? math_vertical_ray_triangle(k.point, a, c, b, t, u, v)
                             : math_vertical_ray_triangle(k.point, a, b, c, t, u, v);
        EXPECT_EQ(hit, k.hit);
        if (!k.hit) continue;
        EXPECT_NEAR(t, k.t, 1e-7f);
        EXPECT_NEAR(u, 0.5f, 1e-6f);  // along b - a (z)
        EXPECT_NEAR(v, 0.25f, 1e-6f); // along c - a (x)
    }
}

TEST_F(SweepTest, TheSegmentFindsTheNearestCrossedTriangleOnEitherSide)
{
    // x = 1 facing -x (triangles 0, 1) and x = 2 facing +x (triangles 2, 3).
    scene(joined({qco_quad({1, -10, -10}, {1, -10, 10}, {1, 10, 10}, {1, 10, -10}),
                  qco_quad({2, -10, -10}, {2, 10, -10}, {2, 10, 10}, {2, -10, 10})}));
    struct Case {
        const char* name;
        Vec3 start, end;
        float distance;
        float hit_x;
        int wall; // -1 none
    };
    const Case cases[] = {
        {"forward", {0, 0.3f, 0.1f}, {3, 0.3f, 0.1f}, 1, 1, 0},
        {"backward", {3, 0.3f, 0.1f}, {0, 0.3f, 0.1f}, 1, 2, 1},
        {"ending on the plane", {0, 0.3f, 0.1f}, {1, 0.3f, 0.1f}, 1, 1, 0},
        {"starting on the plane", {1, 0.3f, 0.1f}, {3, 0.3f, 0.1f}, 1, 2, 1},
        {"stopping short", {0, 0.3f, 0.1f}, {0.5f, 0.3f, 0.1f}, FLT_MAX, 0, -1},
        {"parallel", {1.5f, 0, -20}, {1.5f, 0, 20}, FLT_MAX, 0, -1},
        {"a point", {1.5f, 0, 0}, {1.5f, 0, 0}, FLT_MAX, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_coll_work_list.clear();
        SweepRecord segment =
            sweep_of(c.start, {c.end.x - c.start.x, c.end.y - c.start.y, c.end.z - c.start.z});
        coll_query_segment(root(), segment);
        Vec3 point{-99, -99, -99};
        float distance = 0;
        CollisionTriangle* triangle = &m_model.triangles[0];
        coll_segment_nearest_hit(point, distance, triangle, segment);
        EXPECT_FLOAT_EQ(distance, c.distance);
        if (c.wall < 0) {
            EXPECT_EQ(triangle, nullptr);
            continue;
        }
        ASSERT_NE(triangle, nullptr);
        EXPECT_EQ((triangle - m_model.triangles.data()) / 2, c.wall);
        expect_near(point, {c.hit_x, 0.3f, 0.1f}, 1e-5f);
    }
}
