// Input records as a poll leaves them in the ring, and the window the pointer maps through, for
// tests that drive objects by input.
#pragma once

#include "core/sys.h"
#include "lowlv/input/input_state.h"

#include <cstdint>

// The record the tick reads.
inline InputRecord& current_record()
{
    return g_input_ring.records[g_input_ring.current];
}

// Buttons held and pressed, and a step of the cursor keys.
inline InputRecord keys(std::uint32_t held, std::uint32_t pressed = 0, std::int32_t step_y = 0)
{
    InputRecord record{};
    record.held = held;
    record.pressed = pressed;
    record.step_y = step_y;
    return record;
}

// The pointer here, with the buttons pressed this poll (and held).
inline InputRecord pointer_at(std::int32_t x, std::int32_t y, std::uint32_t pressed = 0)
{
    InputRecord record = keys(pressed, pressed);
    record.cursor_x = x;
    record.cursor_y = y;
    return record;
}

// A 640x480 back buffer centred at (320, 240) while it lives; the window found is put back.
class StandardWindowOrigin {
public:
    StandardWindowOrigin() : m_kept(g_window_origin)
    {
        g_window_origin = {};
        g_window_origin.back_buffer_width = 640;
        g_window_origin.back_buffer_height = 480;
        g_window_origin.centre_x = 320;
        g_window_origin.centre_y = 240;
    }
    ~StandardWindowOrigin() { g_window_origin = m_kept; }
    StandardWindowOrigin(const StandardWindowOrigin&) = delete;
    StandardWindowOrigin& operator=(const StandardWindowOrigin&) = delete;

private:
    WindowOrigin m_kept;
};
