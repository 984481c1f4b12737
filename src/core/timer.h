// The frame timer. The game's logic runs in ticks of 1/60 s: once per frame timer_frame
// measures the real time since the previous frame in ticks and bounds it, then timer_next_tick
// hands it out as steps of at most one tick, the last one fractional. Main thread only.
#pragma once

#include "platform/win_types.h"

#include <cstdint>

extern float g_fixed_step; // 0 = free-running; else the frame is a whole multiple of it (full-screen VSync)
extern float g_step_max;   // 60 / minimum frame rate
extern float g_step_min;   // 60 / maximum frame rate
extern std::int32_t g_skip_step;   // non-zero: the next frame is a single step of 1.0 with cleared input
extern float g_steps_left;         // what the frame still has to hand out
extern float g_frame_step;         // the current step, every object's time step
extern std::uint32_t g_tick_index; // timer_next_tick calls in this frame
extern std::int32_t g_fps;         // frames presented in the last full second
extern std::int32_t g_fps_frames;  // frames presented in the current second; the main loop counts them

// What a stall clears: the input state. The input module hands it over at its start-up.
void timer_set_stall_handler(void (*clear_input)());

// Starts the timer with the frame-rate bounds ("ClampInternalFrameRateMax" and "...Min"); a
// minimum of 0 or below counts as the default 5. Returns the first timer_frame's result.
bool timer_init(std::int32_t max_fps, std::int32_t min_fps);
// Once per frame, before its steps: true when the frame became a single 1.0 skip step (the
// caller then clears the input state).
bool timer_frame();
// The next step of the frame into g_frame_step; false when the frame is used up. Every frame
// has at least one step.
bool timer_next_tick();
// The performance counter's (else the system's) millisecond clock; only differences mean anything.
DWORD timer_elapsed_ms();
// The millisecond clock as timer_frame read it for this frame: every step of a frame sees one time.
DWORD timer_frame_ms();

// Defined by the game program (app/app_engine.cpp), since it reads the device's mode, which lies
// above core. The fixed step: 60 / refresh rate in full screen with "WaitVSync" and a known rate,
// else 0 (free-running). Set at start-up and after every device reset.
void timer_set_refresh_step(bool windowed);
