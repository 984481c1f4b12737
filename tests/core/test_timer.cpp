#include "core/timer.h"

#include "platform/impl/test_seams.h"
#include "platform/win_kernel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The fake performance counter runs at 60000 counts per second: 1000 counts are one tick and
// 60 counts one millisecond, so every step below is exact.
constexpr std::int64_t k_frequency = 60000;
constexpr std::int64_t k_tick = 1000;
constexpr int k_drain_all = -1;

int g_input_clears = 0;
void count_input_clear()
{
    ++g_input_clears;
}

class FrameTimerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Each test starts an hour after the last, far from any earlier stall.
        s_epoch += 3600 * k_frequency;
        m_counter = s_epoch;
        seam_set_counter([this] { return m_counter; }, k_frequency);
        g_input_clears = 0;
        timer_set_stall_handler(count_input_clear);
        g_fixed_step = 0.0f;
        g_skip_step = 0;
        g_fps_frames = 0;
        timer_init(10000, 5);
        drain(k_drain_all);
    }
    void TearDown() override
    {
        seam_set_counter(nullptr, 0);
        timer_set_stall_handler(nullptr);
        g_fixed_step = 0.0f;
    }

    // Lets `counts` pass, runs a frame and returns its result.
    bool frame(std::int64_t counts)
    {
        m_counter += counts;
        return timer_frame();
    }
    // The steps the frame hands out, `limit` of them at most (all for k_drain_all).
    static std::vector<float> drain(int limit)
    {
        std::vector<float> steps;
        while ((limit == k_drain_all || static_cast<int>(steps.size()) < limit) && timer_next_tick())
            steps.push_back(g_frame_step);
        return steps;
    }

    std::int64_t m_counter = 0;
    static inline std::int64_t s_epoch = 0;
};

struct FrameCase {
    std::int64_t counts;      // time since the previous frame
    int steps_taken;          // how many steps the caller runs (k_drain_all: until false)
    bool skip;                // timer_frame's result
    std::vector<float> steps; // the steps handed out
    int clears;               // input clears so far
};

struct TimerCase {
    std::string name;
    float fixed_step;
    std::vector<FrameCase> frames;
};

void PrintTo(const TimerCase& c, std::ostream* out)
{
    *out << c.name;
}

class FrameTimerCases : public FrameTimerTest, public ::testing::WithParamInterface<TimerCase> {};

TEST_P(FrameTimerCases, HandsOutTheFrameAsBoundedSteps)
{
    const TimerCase& c = GetParam();
    g_fixed_step = c.fixed_step;
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
        const FrameCase& f = c.frames[i];
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(frame(f.counts), f.skip);
        std::vector<float> steps = drain(f.steps_taken);
        ASSERT_EQ(steps.size(), f.steps.size());
        for (std::size_t s = 0; s < steps.size(); ++s)
            EXPECT_FLOAT_EQ(steps[s], f.steps[s]) << "step " << s;
        EXPECT_EQ(g_input_clears, f.clears);
    }
}

const std::vector<float> k_twelve(12, 1.0f);

INSTANTIATE_TEST_SUITE_P(
    FrameTimer, FrameTimerCases,
    ::testing::Values(
        TimerCase{"ExactlyOneTickIsOneStep", 0.0f, {{k_tick, k_drain_all, false, {1.0f}, 0}}},
        TimerCase{"TwoAndAHalfTicks", 0.0f, {{2500, k_drain_all, false, {1.0f, 1.0f, 0.5f}, 0}}},
        TimerCase{"TinyFrameRaisedToMinimum", 0.0f, {{1, k_drain_all, false, {0.006f}, 0}}},
        TimerCase{"StallAfterUsedUpFrameSkipsAndClearsInput",
                  0.0f,
                  {{20 * k_tick, k_drain_all, true, {1.0f}, 1}, {k_tick, k_drain_all, false, {1.0f}, 1}}},
        TimerCase{"SecondStallWithinThreeSecondsKeepsInput",
                  0.0f,
                  {{20 * k_tick, k_drain_all, true, {1.0f}, 1},
                   {20 * k_tick, k_drain_all, true, {1.0f}, 1},
                   {200 * k_tick, k_drain_all, true, {1.0f}, 2}}},
        TimerCase{"LongFrameAfterUnfinishedFrameIsOnlyClamped",
                  0.0f,
                  {{5 * k_tick, 1, false, {1.0f}, 0}, {20 * k_tick, k_drain_all, false, k_twelve, 0}}},
        TimerCase{"FixedStepCarriesTheRest",
                  1.0f,
                  {{900, k_drain_all, false, {0.006f}, 0}, {900, k_drain_all, false, {1.0f}, 0}}},
        TimerCase{"FixedStepTakesWholeMultiples",
                  0.5f,
                  {{1200, k_drain_all, false, {1.0f}, 0}, {1300, k_drain_all, false, {1.0f, 0.5f}, 0}}},
        // A pause of days: the frame is a stall like any other and the next frame is normal.
        TimerCase{
            "FixedStepAfterLongPause",
            1.0f,
            {{std::int64_t{1} << 35, k_drain_all, true, {1.0f}, 1}, {k_tick, k_drain_all, false, {1.0f}, 1}}},
        TimerCase{"FixedStepOfUnevenRefreshAfterLongPause",
                  0.8f,
                  {{std::int64_t{1} << 35, k_drain_all, true, {1.0f}, 1},
                   {1600, k_drain_all, false, {1.0f, 0.6f}, 1}}},
        TimerCase{"FreeRunningAfterLongPause",
                  0.0f,
                  {{std::int64_t{1} << 35, k_drain_all, true, {1.0f}, 1},
                   {k_tick, k_drain_all, false, {1.0f}, 1}}}),
    [](const auto& info) { return info.param.name; });

TEST_F(FrameTimerTest, DefaultClampsAreTwelveAndTheMinimumStep)
{
    EXPECT_FLOAT_EQ(g_step_max, 12.0f);
    EXPECT_FLOAT_EQ(g_step_min, 0.006f);
}

TEST_F(FrameTimerTest, FrameRateBoundsSetTheStepBounds)
{
    struct Case {
        std::int32_t max_fps, min_fps;
        float step_min, step_max;
    };
    const Case cases[] = {
        {60, 30, 1.0f, 2.0f},
        {10000, 0, 0.006f, 12.0f},   // no minimum: the default 5
        {10000, -20, 0.006f, 12.0f}, // a negative minimum would make every frame a stall
    };
    for (const Case& c : cases) {
        timer_init(c.max_fps, c.min_fps);
        EXPECT_FLOAT_EQ(g_step_min, c.step_min) << c.max_fps;
        EXPECT_FLOAT_EQ(g_step_max, c.step_max) << c.min_fps;
    }
}

TEST_F(FrameTimerTest, NegativeMinimumFrameRateDoesNotTurnFramesIntoStalls)
{
    timer_init(10000, -20);
    drain(k_drain_all);
    EXPECT_FALSE(frame(3 * k_tick));
    EXPECT_EQ(drain(k_drain_all).size(), 3u);
    EXPECT_EQ(g_input_clears, 0);
}

TEST_F(FrameTimerTest, SkipRequestMakesTheNextFrameOneStep)
{
    g_skip_step = 1;
    EXPECT_TRUE(frame(3 * k_tick));
    EXPECT_EQ(drain(k_drain_all), std::vector<float>{1.0f});
    EXPECT_FALSE(frame(3 * k_tick));
    EXPECT_EQ(drain(k_drain_all).size(), 3u);
    EXPECT_EQ(g_input_clears, 0);
}

TEST_F(FrameTimerTest, CountsFramesPerSecond)
{
    frame(60 * k_tick); // opens a fresh one-second window
    drain(k_drain_all);
    for (int i = 0; i < 42; ++i) {
        ++g_fps_frames;
        frame(k_tick);
        drain(k_drain_all);
    }
    EXPECT_EQ(g_fps, 0); // 42 ticks = 700 ms: the window is still open
    frame(18 * k_tick);  // 1000 ms
    EXPECT_EQ(g_fps, 42);
    EXPECT_EQ(g_fps_frames, 0);
}

TEST_F(FrameTimerTest, ElapsedMillisecondsFollowTheCounter)
{
    DWORD before = timer_elapsed_ms();
    m_counter += 90 * k_tick; // 1.5 s
    EXPECT_EQ(timer_elapsed_ms() - before, 1500u);
    EXPECT_EQ(timeGetTime(), timer_elapsed_ms());
}

} // namespace
