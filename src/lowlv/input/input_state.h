// The input state of the engine: the raw device states of each poll and the two-record ring of
// InputRecords that every game object reads. Main thread only.
#pragma once

#include <cstdint>

// The snapshot of one input poll.
struct InputRecord {
    std::int32_t cursor_x; // on the 640x480 virtual screen; may lie outside it
    std::int32_t cursor_y;
    std::int32_t wheel;      // signed wheel delta since the previous poll (multiples of 120)
    std::int32_t stick_x;    // -1024..1024, 0 inside the circular dead zone
    std::int32_t stick_y;    // positive is down
    std::uint32_t direction; // 1 down, 2 left, 4 right, 8 up; diagonals are sums
    float angle;             // radians counter-clockwise from right
    float magnitude;         // 0 none, 1.0 digital, up to about 1.41 for the stick
    std::uint32_t held;      // action bits held at this poll
    std::uint32_t pressed;   // action bits held now and not at the previous poll
    std::int32_t step_x;     // menu cursor step: -1 left, +1 right
    std::int32_t step_y;     // -1 up, +1 down
};
static_assert(sizeof(InputRecord) == 48);

// A poll writes the other record and makes it current, so the previous one stays readable.
struct InputRing {
    InputRecord records[2];
    std::uint32_t current;
};

// The raw state block of one poll, laid out as the device layer's standard data formats fill it.
struct InputDeviceState {
    std::uint8_t keys[256]; // by scan code; bit 0x80 = down
    struct Mouse {
        std::int32_t x, y, wheel; // movement since the previous read
        std::uint8_t buttons[4];
    } mouse;
    struct Controller {
        std::int32_t x, y, z, rx, ry, rz;
        std::int32_t sliders[2];
        std::uint32_t pov[4];
        std::uint8_t buttons[32];
    } controller;
};
static_assert(sizeof(InputDeviceState::Mouse) == 16 && sizeof(InputDeviceState::Controller) == 80);
static_assert(sizeof(InputDeviceState) == 352);

extern InputRing g_input_ring;
extern InputDeviceState g_input_device_states[2]; // one per ring entry
extern std::int32_t g_input_repeat_count;         // polls a direction has been held (menu repeat)

// Zeroes both device state blocks, both records and the repeat counter.
void input_reset();
