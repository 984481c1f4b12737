#include "core/timer.h"

#include "platform/win_kernel.h"

#include <cstdlib>

float g_fixed_step = 0.0f;
float g_step_max = 12.0f;
float g_step_min = 0.006f;
std::int32_t g_skip_step = 0;
float g_steps_left = 1.0f;
float g_frame_step = 1.0f;
std::uint32_t g_tick_index = 0;
std::int32_t g_fps = 0;
std::int32_t g_fps_frames = 0;

namespace {

constexpr std::int32_t k_default_min_fps = 5;
constexpr std::int64_t k_fps_window_ms = 1000;
constexpr std::int64_t k_input_clear_interval_ms = 3000;

struct FrameTimer {
    bool counter_available = false;
    double frequency = 0.0;
    std::int64_t last_counter = 0;
    DWORD last_frame_ms = 0;
    DWORD fps_window_start = 0;
    float accumulator = 0.0f; // the part of the fixed-step mode's time not yet handed out
    DWORD last_stall_ms = 0;
};

FrameTimer g_timer;
void (*g_clear_input)() = nullptr;

// The distance between two readings of the wrapping millisecond clock.
std::int64_t ms_apart(DWORD a, DWORD b)
{
    return std::llabs(static_cast<std::int32_t>(a - b));
}

float raw_ticks(DWORD elapsed_ms)
{
    if (!g_timer.counter_available) return static_cast<float>(elapsed_ms) * 0.06f;
    std::int64_t counter = 0;
    QueryPerformanceCounter(&counter);
    double ticks = static_cast<double>(counter - g_timer.last_counter) * 60.0 / g_timer.frequency;
    g_timer.last_counter = counter;
    return static_cast<float>(ticks);
}

// Whole multiples of the fixed step, the rest carried. Anything beyond the largest step the
// frame may take is dropped first: the frame is clamped to that step anyway, and after a long
// pause the float accumulator would otherwise grow until subtracting a step no longer changes it.
float take_fixed_steps(float ticks)
{
    const float step_size = g_fixed_step;
    if (ticks > g_step_max + step_size) ticks = g_step_max + step_size;
    g_timer.accumulator += ticks;
    float step = 0.0f;
    while (g_timer.accumulator >= step_size) {
        g_timer.accumulator -= step_size;
        step += step_size;
    }
    return step;
}

// A frame longer than the slowest allowed one right after a frame that used up its steps: the
// next frame runs as one skip step, and held input is dropped unless a stall did that recently.
void note_stall(DWORD now)
{
    if (g_steps_left > 2.0f) return;
    g_skip_step = 1;
    if (ms_apart(now, g_timer.last_stall_ms) <= k_input_clear_interval_ms) return;
    g_timer.last_stall_ms = now;
    if (g_clear_input) g_clear_input();
}

} // namespace

void timer_set_stall_handler(void (*clear_input)())
{
    g_clear_input = clear_input;
}

bool timer_init(std::int32_t max_fps, std::int32_t min_fps)
{
    std::int64_t frequency = 0;
    g_timer.counter_available = QueryPerformanceFrequency(&frequency) && frequency > 0;
    g_timer.frequency = g_timer.counter_available ? static_cast<double>(frequency) : 0.0;
    g_timer.last_counter = 0;
    g_timer.accumulator = 0.0f;
    if (g_timer.counter_available) QueryPerformanceCounter(&g_timer.last_counter);

    // A negative minimum would turn into a huge unsigned divisor and make every frame a stall.
    if (min_fps <= 0) min_fps = k_default_min_fps;
    g_step_max = 60.0f / static_cast<float>(static_cast<std::uint32_t>(min_fps));
    if (max_fps != 0) g_step_min = 60.0f / static_cast<float>(static_cast<std::uint32_t>(max_fps));
    return timer_frame();
}

bool timer_frame()
{
    DWORD now = timeGetTime();
    DWORD elapsed_ms = now - g_timer.last_frame_ms;
    g_timer.last_frame_ms = now;
    if (ms_apart(now, g_timer.fps_window_start) >= k_fps_window_ms) {
        g_timer.fps_window_start = now;
        g_fps = g_fps_frames < 0 ? 0 : g_fps_frames;
        g_fps_frames = 0;
    }

    float ticks = raw_ticks(elapsed_ms);
    float step = g_fixed_step > 0.0f ? take_fixed_steps(ticks) : ticks;
    if (step > g_step_max) {
        note_stall(now);
        step = g_step_max;
    }
    if (step < g_step_min) step = g_step_min;
    bool skipped = g_skip_step != 0;
    if (skipped) {
        --g_skip_step;
        step = 1.0f;
    }
    g_steps_left = step;
    g_frame_step = step;
    g_tick_index = 0;
    return skipped;
}

bool timer_next_tick()
{
    if (g_steps_left == 0.0f && g_tick_index > 0) return false;
    ++g_tick_index;
    if (g_steps_left > 1.0f) {
        g_frame_step = 1.0f;
        g_steps_left -= 1.0f;
    } else {
        g_frame_step = g_steps_left;
        g_steps_left = 0.0f;
    }
    return true;
}

DWORD timer_elapsed_ms()
{
    if (!g_timer.counter_available) return timeGetTime();
    std::int64_t counter = 0;
    QueryPerformanceCounter(&counter);
    double ms = static_cast<double>(counter) / g_timer.frequency * 1000.0;
    return static_cast<DWORD>(static_cast<std::int64_t>(ms));
}

DWORD timer_frame_ms()
{
    return g_timer.last_frame_ms;
}
