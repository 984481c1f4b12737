#include "core/cpu.h"
#include "core/maths.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

constexpr float PI = 3.14159265f;
constexpr float TWO_PI = 6.28318531f;

void expect_vec_near(const Vec3& actual, const Vec3& expected, float tolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class MathRand : public ::testing::Test {
protected:
    void SetUp() override { math_rand_seed(); }
    void TearDown() override { math_rand_seed(); }
};

} // namespace

TEST_F(MathRand, MatchesTheReferenceGeneratorForSeed5489)
{
    const std::uint32_t first[] = {4013899583u, 1879581045u, 3673615093u, 706127422u, 2743081796u};
    for (std::uint32_t expected : first)
        EXPECT_EQ(math_rand_u32(), expected);
    for (int i = 5; i < 9999; ++i)
        math_rand_u32();
    EXPECT_EQ(math_rand_u32(), 3809585648u); // the 10000th, after many regenerations
}

TEST_F(MathRand, DiscardUsesOnlyTheLowTenBitsOfTheCount)
{
    math_rand_discard(1024 + 3);
    std::uint32_t after_discard = math_rand_u32();
    math_rand_seed();
    for (int i = 0; i < 3; ++i)
        math_rand_u32();
    EXPECT_EQ(after_discard, math_rand_u32());

    math_rand_seed();
    math_rand_discard(1024);
    EXPECT_EQ(math_rand_u32(), 4013899583u);
}

TEST_F(MathRand, FloatsTakeTheLow23BitsAsAMantissa)
{
    // 4013899583 = 0xEF3F3F3F; 1879581045 = 0x70082175.
    EXPECT_FLOAT_EQ(math_rand_float(10.0f), 0x3F3F3F / 8388608.0f * 10.0f);
    EXPECT_FLOAT_EQ(math_rand_range(-2.0f, 6.0f), -2.0f + 8.0f * (0x082175 / 8388608.0f));
}

TEST_F(MathRand, FloatsStayInTheirRange)
{
    for (int i = 0; i < 10000; ++i) {
        float f = math_rand_float(3.0f);
        ASSERT_GE(f, 0.0f);
        ASSERT_LT(f, 3.0f);
        float r = math_rand_range(5.0f, 1.0f); // between them when lo > hi
        ASSERT_LE(r, 5.0f);
        ASSERT_GT(r, 1.0f);
    }
}

TEST(MathSqrtFast, StaysCloseToTheExactRootOverEveryNormalExponent)
{
    float worst = 0.0f;
    for (std::uint32_t bits = 0x00800000; bits < 0x7F800000; bits += 0x1F3F) {
        float x = std::bit_cast<float>(bits);
        float exact = std::sqrt(x);
        float relative = std::fabs(math_sqrt_fast(x) - exact) / exact;
        worst = std::max(worst, relative);
    }
    EXPECT_LT(worst, 1e-6f);
}

TEST(MathSqrtFast, HandlesTheEdgesOfItsDomain)
{
    EXPECT_NEAR(math_sqrt_fast(4.0f), 2.0f, 1e-6f);
    EXPECT_FLOAT_EQ(math_sqrt_fast(1.0f), 1.0f);
    EXPECT_NEAR(math_sqrt_fast(0.25f), 0.5f, 1e-6f);

    float zero_root = math_sqrt_fast(0.0f);
    EXPECT_GT(zero_root, 0.0f);
    EXPECT_LT(zero_root, 1e-38f);
    // Negative inputs (a rounding error below zero, or -0.0) count as zero.
    EXPECT_EQ(math_sqrt_fast(-0.0f), zero_root);
    EXPECT_EQ(math_sqrt_fast(-1e-7f), zero_root);
    EXPECT_EQ(math_sqrt_fast(-1e30f), zero_root);
    // Subnormals come out near zero.
    EXPECT_LT(math_sqrt_fast(1e-40f), 1e-38f);
    EXPECT_TRUE(std::isinf(math_sqrt_fast(INFINITY)));
}

TEST(MathVec3, LengthAndNormalize)
{
    EXPECT_NEAR(vec3_length({3.0f, 4.0f, 12.0f}), 13.0f, 1e-5f);

    Vec3 out{};
    EXPECT_NEAR(vec3_normalize(out, {0.0f, -3.0f, 4.0f}), 5.0f, 1e-5f);
    expect_vec_near(out, {0.0f, -0.6f, 0.8f}, 1e-6f);

    // In place.
    Vec3 v{2.0f, 0.0f, 0.0f};
    vec3_normalize(v, v);
    expect_vec_near(v, {1.0f, 0.0f, 0.0f}, 1e-6f);

    out = {9.0f, 9.0f, 9.0f};
    EXPECT_EQ(vec3_normalize(out, {0.0f, 0.0f, 0.0f}), 0.0f);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);
}

TEST(MathRcpSqrt, IsExactAndZeroForZero)
{
    EXPECT_EQ(math_rcp_sqrt(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(math_rcp_sqrt(4.0f), 0.5f);
    EXPECT_FLOAT_EQ(math_rcp_sqrt(0.01f), 10.0f);
}

TEST(MathSqrtDispatch, ChoosesTheImplementationOnFirstUse)
{
    const CpuInfo saved = g_cpu_info;

    g_cpu_info.sse = 1;
    g_math_sqrt = math_sqrt_choose;
    g_math_rcp_sqrt = math_rcp_sqrt_choose;
    EXPECT_NEAR(math_sqrt(16.0f), 4.0f, 4.0f / 2048); // the processor's 12-bit estimate
    EXPECT_NEAR(math_rsqrt(16.0f), 0.25f, 0.25f / 2048);
    EXPECT_EQ(g_math_sqrt, &math_sqrt_sse);
    EXPECT_EQ(g_math_rcp_sqrt, &math_rcp_sqrt_sse);
    EXPECT_EQ(math_sqrt(0.0f), 0.0f);

    g_cpu_info.sse = 0;
    g_math_sqrt = math_sqrt_choose;
    g_math_rcp_sqrt = math_rcp_sqrt_choose;
    EXPECT_EQ(math_sqrt(2.0f), std::sqrt(2.0f));
    EXPECT_EQ(math_rsqrt(0.0f), 0.0f);
    EXPECT_EQ(g_math_sqrt, &math_sqrt_x87);
    EXPECT_EQ(g_math_rcp_sqrt, &math_rcp_sqrt);

    g_cpu_info = saved;
    g_math_sqrt = math_sqrt_choose;
    g_math_rcp_sqrt = math_rcp_sqrt_choose;
}

TEST(MathCosTable, HoldsTheCosineOfEachStep)
{
    for (int k = 0; k < 256; ++k)
        EXPECT_NEAR(g_cos_table_256[k], std::cos(2.0 * std::numbers::pi * k / 256.0), 1e-7) << k;
    EXPECT_EQ(g_cos_table_256[0], 1.0f);
    EXPECT_EQ(g_cos_table_256[128], -1.0f);
}

TEST(MathCosTable, HeadingsIndexItTruncatedAndWrapped)
{
    struct Case {
        float heading;
        int index;
    };
    const Case cases[] = {
        {0.0f, 0}, {0.1f, 4}, {-0.1f, -4}, {PI / 2, 63}, {PI, 127}, {-PI, -127}, {TWO_PI + 0.1f, 260},
    };
    for (const Case& c : cases)
        EXPECT_EQ(math_heading_index(c.heading), c.index) << c.heading;

    // A quarter turn lands one step short: the direction is not exactly (0, 1).
    int quarter = math_heading_index(PI / 2);
    EXPECT_NEAR(math_table_cos(quarter), 0.024541f, 1e-6f);
    EXPECT_NEAR(math_table_sin(quarter), 0.999699f, 1e-6f);
    // Negative steps wrap to the far end of the table.
    EXPECT_EQ(math_table_cos(-4), g_cos_table_256[252]);
    EXPECT_NEAR(math_table_sin(-64), -1.0f, 1e-7f);
}

TEST(MathAngles, WrapInto0To2Pi)
{
    struct Case {
        float in, out;
    };
    const Case cases[] = {
        {1.0f, 1.0f},
        {0.0f, 0.0f},
        {7.0f, 7.0f - TWO_PI},
        {-1.0f, TWO_PI - 1.0f},
        {20.0f, 20.0f - 3 * TWO_PI},
        {-7.0f, 2 * TWO_PI - 7.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(math_wrap_2pi(c.in), c.out, 1e-5f) << c.in;
}

TEST(MathAngles, DifferenceTakesTheShortWayRound)
{
    struct Case {
        float a, b, diff;
    };
    const Case cases[] = {
        {0.1f, 6.2f, 6.1f - TWO_PI},  {6.2f, 0.1f, TWO_PI - 6.1f}, {1.0f, 2.0f, 1.0f},
        {-3.0f, 3.0f, 6.0f - TWO_PI}, {0.0f, 7.0f, 7.0f - TWO_PI},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(math_angle_diff(c.a, c.b), c.diff, 1e-5f) << c.a << " " << c.b;
    EXPECT_NEAR(math_angle_diff(0.1f, 6.2f), -0.183f, 1e-3f);
}

TEST(MathAngles, TurnTowardStepsOrArrives)
{
    struct Case {
        float step, current, target, result;
    };
    const Case cases[] = {
        {0.1f, 0.0f, 1.0f, 0.1f},            // plain step up
        {0.1f, 1.0f, 0.0f, 0.9f},            // plain step down
        {0.3f, 0.0f, 0.5f, 0.5f},            // close enough: arrives
        {0.1f, 3.1f, -2.9f, 3.2f - TWO_PI},  // across the seam at pi
        {0.1f, -3.1f, 2.9f, -3.2f + TWO_PI}, // the other way across it
        {PI, 0.0f, 2.0f, 2.0f},              // a step of half a turn arrives at once
        {4.0f, 0.0f, 4.0f, 4.0f - TWO_PI},   // the target comes back wrapped
        {0.1f, 0.5f, 0.5f, 0.5f},            // already there
    };
    for (const Case& c : cases)
        EXPECT_NEAR(math_turn_toward(c.step, c.current, c.target), c.result, 1e-5f)
            << c.step << " " << c.current << " " << c.target;
}

TEST(MathAngles, FixedTurnDecidesOnFourteenBitAngles)
{
    struct Case {
        float step, current, target, result;
    };
    const Case cases[] = {
        {0.0f, 0.7f, 2.0f, 0.7f},           // no step: stays
        {0.1f, 0.0f, 1.0f, 0.1f},           // step up
        {0.1f, 1.0f, 0.0f, 0.9f},           // step down
        {0.1f, 0.0f, 0.05f, 0.05f},         // within a step: arrives
        {0.1f, 3.1f, -3.0f, 3.2f - TWO_PI}, // across the seam
        {0.1f, 0.0f, -PI + 0.001f, -0.1f},  // nearly opposite: the short way is down
    };
    for (const Case& c : cases)
        EXPECT_NEAR(math_turn_toward_fixed(c.step, c.current, c.target), c.result, 1e-5f)
            << c.step << " " << c.current << " " << c.target;
}

TEST(MathAngles, FixedTurnAddsTheStepOnlyForTheOneOppositePair)
{
    // Current at fixed angle 0 and target at 8192: the step is added, although the general
    // rule would subtract it.
    EXPECT_NEAR(math_turn_toward_fixed(0.1f, -3.1415f, 0.0002f), -3.1415f + 0.1f, 1e-5f);
    // The mirrored pair (current at 8192, target at 0) follows the general rule.
    EXPECT_NEAR(math_turn_toward_fixed(0.1f, 0.0002f, -3.1415f), 0.0002f - 0.1f, 1e-5f);
}

TEST(MathApproach, MovesByTheStepAndStopsOnTheTarget)
{
    struct Case {
        float value, target, step, result;
        bool arrived;
    };
    const Case cases[] = {
        {9.5f, 10.0f, 1.0f, 10.0f, true}, {0.0f, 10.0f, 1.0f, 1.0f, false}, {10.0f, 0.0f, 3.0f, 7.0f, false},
        {0.5f, 0.0f, 1.0f, 0.0f, true},   {4.0f, 4.0f, 1.0f, 4.0f, true},   {3.0f, 4.0f, 1.0f, 4.0f, true},
    };
    for (const Case& c : cases) {
        float value = c.value;
        EXPECT_EQ(math_approach(value, c.target, c.step), c.arrived) << c.value << " " << c.target;
        EXPECT_EQ(value, c.result);
    }
}

TEST(MathBoxes, NormalizeSwapsReversedAxes)
{
    Box3 box{{1.0f, -1.0f, 5.0f}, {-1.0f, 2.0f, 3.0f}};
    math_box_normalize(box);
    expect_vec_near(box.min, {-1.0f, -1.0f, 3.0f}, 0.0f);
    expect_vec_near(box.max, {1.0f, 2.0f, 5.0f}, 0.0f);
}

TEST(MathBoxes, ContainsPointSortsTheCornersAndCountsTheFaces)
{
    const Vec3 low{-1.0f, 0.0f, -2.0f};
    const Vec3 high{1.0f, 3.0f, 2.0f};
    const Vec3 mixed1{1.0f, 0.0f, 2.0f}; // the same box from the other two corners
    const Vec3 mixed2{-1.0f, 3.0f, -2.0f};
    struct Case {
        Vec3 point;
        bool inside;
    };
    const Case cases[] = {
        {{0.0f, 1.0f, 0.0f}, true},    {{1.0f, 1.0f, 0.0f}, true},     // on the x face
        {{-1.0f, 3.0f, -2.0f}, true},  {{0.0f, 0.0f, 2.0f}, true},     // a corner, an edge
        {{1.001f, 1.0f, 0.0f}, false}, {{0.0f, -0.001f, 0.0f}, false}, // just past a face
        {{0.0f, 1.0f, -2.5f}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(math_box_contains_point(c.point, low, high), c.inside) << c.point.x << " " << c.point.y;
        EXPECT_EQ(math_box_contains_point(c.point, high, low), c.inside);
        EXPECT_EQ(math_box_contains_point(c.point, mixed1, mixed2), c.inside);
    }
    EXPECT_TRUE(math_box_contains_point(low, low, low)); // a box of one point holds it
}

TEST(MathBoxes, ClampReportsPointsOutsideAndKeepsTheFaces)
{
    const Box3 box{{-1.0f, 0.0f, -2.0f}, {1.0f, 3.0f, 2.0f}};
    struct Case {
        Vec3 point, clamped;
        bool outside;
    };
    const Case cases[] = {
        {{0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, false},
        {{1.0f, 3.0f, -2.0f}, {1.0f, 3.0f, -2.0f}, false}, // on the corner: inside
        {{5.0f, -1.0f, 0.5f}, {1.0f, 0.0f, 0.5f}, true},
        {{0.0f, 1.0f, -9.0f}, {0.0f, 1.0f, -2.0f}, true},
    };
    for (const Case& c : cases) {
        Vec3 out{};
        EXPECT_EQ(math_clamp_to_box(box, out, c.point), c.outside);
        expect_vec_near(out, c.clamped, 0.0f);
    }
}

TEST(MathBoxes, RotatedBoxTurnsThePointByTheHeadingStep)
{
    const Box3 box{{-1.0f, 0.0f, -2.0f}, {1.0f, 3.0f, 2.0f}};
    const float quarter = 64.5f / 40.743664f; // table step 64: x' = -z, z' = x
    EXPECT_TRUE(math_point_in_rotated_box({0.0f, 1.0f, 1.5f}, box, 0.0f));
    EXPECT_FALSE(math_point_in_rotated_box({0.0f, 1.0f, 1.5f}, box, quarter));
    EXPECT_TRUE(math_point_in_rotated_box({1.5f, 1.0f, 0.0f}, box, quarter));
    EXPECT_FALSE(math_point_in_rotated_box({1.5f, 1.0f, 0.0f}, box, 0.0f));
    EXPECT_FALSE(math_point_in_rotated_box({1.5f, 4.0f, 0.0f}, box, quarter)); // y is not turned
}

TEST(MathBoxes, ClampToRotatedBoxWorksInTheTurnedFrame)
{
    const Box3 box{{-1.0f, 0.0f, -2.0f}, {1.0f, 3.0f, 2.0f}};
    const float quarter = 64.5f / 40.743664f;
    Vec3 out{};
    EXPECT_TRUE(math_clamp_to_rotated_box({0.0f, 1.0f, 1.5f}, out, box, quarter));
    expect_vec_near(out, {0.0f, 1.0f, 1.0f}, 1e-6f);

    EXPECT_FALSE(math_clamp_to_rotated_box({1.5f, 1.0f, 0.0f}, out, box, quarter));
    expect_vec_near(out, {1.5f, 1.0f, 0.0f}, 1e-6f);

    EXPECT_FALSE(math_clamp_to_rotated_box({0.0f, 1.0f, 1.5f}, out, box, 0.0f));
    expect_vec_near(out, {0.0f, 1.0f, 1.5f}, 0.0f);
    EXPECT_TRUE(math_clamp_to_rotated_box({3.0f, 1.0f, 0.0f}, out, box, 0.0f));
    expect_vec_near(out, {1.0f, 1.0f, 0.0f}, 0.0f);
}

TEST(MathRaySphere, FindsTheFirstHitOrAMiss)
{
    const Vec3 centre{0.0f, 0.0f, 0.0f};
    const Vec3 forward{0.0f, 0.0f, 1.0f};
    struct Case {
        Vec3 origin;
        bool hit;
        Vec3 point;
    };
    const Case cases[] = {
        {{0.0f, 0.0f, -5.0f}, true, {0.0f, 0.0f, -1.0f}}, // from outside: the near side
        {{0.0f, 0.0f, 0.0f}, true, {0.0f, 0.0f, 1.0f}},   // from inside: on the way out
        {{0.0f, 0.6f, -5.0f}, true, {0.0f, 0.6f, -0.8f}}, // off-centre
        {{0.0f, 0.0f, 5.0f}, false, {}},                  // sphere behind the ray
        {{2.0f, 0.0f, -5.0f}, false, {}},                 // passes beside it
    };
    for (const Case& c : cases) {
        Vec3 out{7.0f, 7.0f, 7.0f};
        EXPECT_EQ(math_ray_sphere(c.origin, forward, &out, centre, 1.0f), c.hit);
        if (c.hit) expect_vec_near(out, c.point, 1e-5f);
    }
    EXPECT_TRUE(math_ray_sphere({0.0f, 0.0f, -5.0f}, forward, nullptr, centre, 1.0f));
}

TEST_F(MathRand, RandomConeDirectionIsAUnitVectorFromOneDraw)
{
    Vec3 out{};
    math_random_cone_dir(out, {0.0f, 1.0f, 0.0f}, 0.0f);
    expect_vec_near(out, {0.0f, 1.0f, 0.0f}, 1e-6f); // no angle: no turn
    EXPECT_EQ(math_rand_u32(), 1879581045u);         // exactly one value was drawn

    for (int i = 0; i < 100; ++i) {
        math_random_cone_dir(out, {0.0f, 0.0f, 1.0f}, 0.5f);
        EXPECT_NEAR(vec3_length(out), 1.0f, 1e-5f);
        EXPECT_GT(out.z, 0.5f); // still roughly along the direction
    }
}
