#include "core/maths.h"
#include "core/timer.h"
#include "game/g_tick.h"
#include "game/test_hit_fixture.h"
#include "lowlv/d3d/renderer_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

class StreakSparkTest : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        math_rand_seed();
        step(true);
    }
    void TearDown() override
    {
        WorldTest::TearDown();
        std::fill(std::begin(g_goxx_live_count), std::end(g_goxx_live_count), 0);
        g_paused = 0;
        step(false);
        math_rand_seed();
    }

    static void step(bool whole, float length = 1.0f)
    {
        g_whole_tick = whole;
        g_draw_frame = 0;
        g_frame_step = length;
    }

    static GoXx& make(const D3DXVECTOR3& at, const D3DXVECTOR3& velocity, std::uint32_t delay = 0)
    {
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        EXPECT_NE(object, nullptr);
        StreakParams params{};
        params.material = STREAK_MATERIAL;
        params.colour = 0xFFFFFFFF;
        params.start_delay = delay;
        params.position = at;
        params.velocity = &velocity;
        params.width = 0.2f;
        params.lifetime = 100.0f;
        goxx_init_streak_spark(params, *object);
        return *object;
    }

    static D3DXVECTOR3 velocity(const GoXx& object)
    {
        return {object.rotation._41, object.rotation._42, object.rotation._43};
    }
};

} // namespace

TEST_F(StreakSparkTest, InitFromHeadingAndSpeeds)
{
    GoXx* object = obj_create<GoXx>(g_pool_xx);
    ASSERT_NE(object, nullptr);
    StreakParams params{};
    params.heading = 0.0f;
    params.horizontal_speed = 0.3f;
    params.vertical_speed = 0.1f;
    params.position = {1.0f, 2.0f, 3.0f};
    params.width = 0.5f;
    goxx_init_streak_spark(params, *object);
    EXPECT_EQ(object->role, GOXX_STREAK_SPARK);
    EXPECT_EQ(g_goxx_live_count[GOXX_STREAK_SPARK], 1);
    EXPECT_EQ(velocity(*object), D3DXVECTOR3(0.3f, 0.1f, 0.0f));
    const StreakSpark& spark = object->area<StreakSpark>();
    EXPECT_FLOAT_EQ(spark.half_width, 0.25f);
    for (const D3DXVECTOR3& point : spark.history)
        EXPECT_EQ(point, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
}

// The two sparks of one cut fly on consecutive ticks.
TEST_F(StreakSparkTest, SparksAtFlyOnConsecutiveTicks)
{
    goxx_spawn_streak_sparks_at({0.0f, 1.0f, 0.0f}, 0.11f, {0.0f, 1.0f, 0.0f}, 0.26f, 0.04f, 0.155f);
    std::vector<GoXx*> sparks;
    for (GoBase* object : pool_objects(g_pool_xx))
        sparks.push_back(static_cast<GoXx*>(object));
    ASSERT_EQ(sparks.size(), 2u);
    for (GoXx* spark : sparks)
        spark->Update();
    EXPECT_EQ(sparks[0]->area<StreakSpark>().age, 1.0f);
    EXPECT_EQ(sparks[1]->area<StreakSpark>().age, 0.0f);
    for (GoXx* spark : sparks)
        spark->Update();
    EXPECT_EQ(sparks[1]->area<StreakSpark>().age, 1.0f);
}

TEST_F(StreakSparkTest, AFullPoolShortensTheRun)
{
    while (g_pool_xx.capacity - g_pool_xx.count > 1)
        ASSERT_NE(obj_create<GoXx>(g_pool_xx), nullptr);
    goxx_spawn_streak_sparks_at({0.0f, 1.0f, 0.0f}, 0.11f, {0.0f, 1.0f, 0.0f}, 0.26f, 0.04f, 0.155f);
    EXPECT_EQ(g_goxx_live_count[GOXX_STREAK_SPARK], 1);
}

// Falling from 0.5 at 0.3 a tick and gathering speed, the spark passes the floor between its third probe's
// ends: it is put back just above the floor, its fall mirrored and slowed by 0.55-0.75, its horizontal speed
// by 0.8 times that on a floor.
TEST_F(StreakSparkTest, BouncesOffAFloor)
{
    add_mesh(floor_at(0.0f), "A");
    GoXx& spark = make({0.0f, 0.5f, 0.0f}, {0.1f, -0.3f, 0.0f});
    spark.Update();
    spark.Update();
    EXPECT_LT(velocity(spark).y, 0.0f);
    spark.Update();
    const D3DXVECTOR3 v = velocity(spark);
    ASSERT_GT(v.y, 0.0f);
    const float factor = (v.y + 0.0075f) / 0.315f; // the fall had reached 0.315
    EXPECT_GE(factor, 0.55f - 1e-4f);
    EXPECT_LT(factor, 0.75f + 1e-4f);
    EXPECT_NEAR(v.x, 0.1f * 0.8f * factor, 1e-5f);
    const StreakSpark& record = spark.area<StreakSpark>();
    EXPECT_NEAR(record.previous.y, 0.2f * 0.005f, 1e-5f);
    EXPECT_GT(matrix_position(spark.world).y, 0.0f);
}

// Many live sparks probe on every second (above 12) or third (above 20) whole tick only, so a
// spark crossing the floor on a tick without a probe falls through it.
TEST_F(StreakSparkTest, ProbesThinOutAmongManySparks)
{
    struct Case {
        int others;
        float height; // the floor is crossed on tick 2 from 0.25, on tick 3 from 0.5
        bool bounces;
    };
    const Case cases[] = {
        {0, 0.25f, true},
        {12, 0.25f, false},
        {12, 0.5f, true},
        {20, 0.5f, false},
    };
    for (const Case& c : cases) {
        add_mesh(floor_at(0.0f), "A");
        for (int i = 0; i < c.others; ++i)
            make({50.0f, 50.0f, 50.0f}, {0.0f, 0.0f, 0.0f}, 1000);
        GoXx& spark = make({0.0f, c.height, 0.0f}, {0.0f, -0.3f, 0.0f});
        for (int tick = 0; tick < 4; ++tick)
            spark.Update();
        EXPECT_EQ(velocity(spark).y > 0.0f, c.bounces) << c.others << " " << c.height;
        obj_destroy_all();
    }
}

TEST_F(StreakSparkTest, HistoryTakesTheWholeTickPositions)
{
    GoXx& spark = make({0.0f, 5.0f, 0.0f}, {1.0f, 0.0f, 0.0f});
    step(false, 0.5f);
    spark.Update();
    EXPECT_EQ(spark.area<StreakSpark>().history[0].x, 0.0f);
    step(true, 0.5f);
    spark.Update();
    spark.Update();
    const StreakSpark& record = spark.area<StreakSpark>();
    EXPECT_FLOAT_EQ(record.history[0].x, 1.0f);
    EXPECT_FLOAT_EQ(record.history[1].x, 0.5f);
    EXPECT_FLOAT_EQ(record.history[2].x, 0.0f);
}

TEST_F(StreakSparkTest, DiesAtItsLifetimeAndTheCountReturns)
{
    GoXx& spark = make({0.0f, 5.0f, 0.0f}, {0.0f, 0.0f, 0.0f});
    spark.area<StreakSpark>().lifetime = 2.0f;
    make({0.0f, 5.0f, 0.0f}, {0.0f, 0.0f, 0.0f});
    spark.Update();
    EXPECT_FALSE(spark.flags & GO_FLAG_DEAD);
    spark.Update();
    EXPECT_TRUE(spark.flags & GO_FLAG_DEAD);
    EXPECT_EQ(g_goxx_live_count[GOXX_STREAK_SPARK], 2);
    obj_destroy_all();
    EXPECT_EQ(g_goxx_live_count[GOXX_STREAK_SPARK], 0);
}
