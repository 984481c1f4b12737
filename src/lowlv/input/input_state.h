// The input state of the engine: the raw device states of each poll, the two-record ring of
// InputRecords that every game object reads, and what the poll keeps between polls. Main thread
// only.
#pragma once

#include "lowlv/input/input_settings.h"
#include "platform/dinput.h"

#include <cstdint>

// The snapshot of one input poll.
struct InputRecord {
    std::int32_t cursor_x; // on the 640x480 virtual screen; may lie outside it
    std::int32_t cursor_y;
    std::int32_t wheel;      // signed wheel delta since the previous poll (multiples of 120)
    std::int32_t stick_x;    // -1024..1024, 0 inside the circular dead zone
    std::int32_t stick_y;    // positive is down
    std::uint32_t direction; // INPUT_DIR_* bits; diagonals are sums
    float angle;             // radians counter-clockwise from right
    float magnitude;         // 0 none, 1.0 digital, up to about 1.41 for the stick
    std::uint32_t held;      // action bits held at this poll
    std::uint32_t pressed;   // action bits held now and not at the previous poll
    std::int32_t step_x;     // menu cursor step: -1 left, +1 right
    std::int32_t step_y;     // -1 up, +1 down
};
static_assert(sizeof(InputRecord) == 48);

// Direction bits.
constexpr std::uint32_t INPUT_DIR_DOWN = 0x1;
constexpr std::uint32_t INPUT_DIR_LEFT = 0x2;
constexpr std::uint32_t INPUT_DIR_RIGHT = 0x4;
constexpr std::uint32_t INPUT_DIR_UP = 0x8;

// Action bits of held and pressed. Slot j of each button group sets bit 1 << j.
constexpr std::uint32_t INPUT_ACTION = 0x1;
constexpr std::uint32_t INPUT_JUMP = 0x2;
constexpr std::uint32_t INPUT_SHOT = 0x4;
constexpr std::uint32_t INPUT_USE = 0x8;
constexpr std::uint32_t INPUT_MENU = 0x10; // also the Esc key
constexpr std::uint32_t INPUT_WALK = 0x20;
constexpr std::uint32_t INPUT_SWORD_REVD = 0x40;
constexpr std::uint32_t INPUT_SWORD_REVU = 0x80;
constexpr std::uint32_t INPUT_SWORD0 = 0x100;
constexpr std::uint32_t INPUT_SWORD1 = 0x200;
constexpr std::uint32_t INPUT_SWORD2 = 0x400;
constexpr std::uint32_t INPUT_DOUBLE_CLICK = 0x800; // pressed word only
constexpr std::uint32_t INPUT_MOUSE_DIR = 0x1000;
constexpr std::uint32_t INPUT_DECIDE = 0x2000; // first slot of a group, by key or controller button
constexpr std::uint32_t INPUT_CANCEL = 0x4000; // second slot of a group
constexpr std::uint32_t INPUT_CLICK = 0x10000; // first slot of a group, by mouse button

// A poll writes the other record and makes it current, so the previous one stays readable.
struct InputRing {
    InputRecord records[2];
    std::uint32_t current;
};

// The raw state block of one poll, in the devices' standard data formats.
struct InputDeviceState {
    BYTE keys[256]; // by scan code; bit 0x80 = down
    DIMOUSESTATE mouse;
    DIJOYSTATE controller;
};
static_assert(sizeof(InputDeviceState) == 352);

extern InputRing g_input_ring;
extern InputDeviceState g_input_device_states[2]; // one per ring entry
extern std::int32_t g_input_repeat_count;         // polls a direction has been held (menu repeat)

// Applied settings (input_apply_settings).
extern KeyAssignTable g_input_keys;             // codes without a key name are -1
extern float g_input_dead_zone;                 // in axis units (0..1024)
extern std::int32_t g_input_dead_zone_sq;       // its integer square
extern float g_input_dead_zone_scale;           // 1 / (1024 - dead zone); 1 when that is 0
extern std::int32_t g_input_double_click_limit; // polls between two presses of a double click
extern float g_input_run_walk_threshold;        // kept for the player's control
extern std::uint8_t g_input_mouse_ok_cancel;    // mouse buttons always decide / cancel
extern std::uint8_t g_input_pad_analog;         // the stick behaves like an eight-way pad
extern std::uint8_t g_input_swap_buttons;       // the system swaps the mouse buttons

// The game's [input] "GamePad" and "ForceFeedback", copied in by the game's settings.
extern std::uint8_t g_input_game_pad;
extern std::uint8_t g_input_force_feedback;

// The wheel delta of the last WM_MOUSEWHEEL (the window procedure stores it; the poll takes it).
extern std::int32_t g_input_wheel;
// Bit 0: up was held alone; bit 1: left was held alone. The later pressed of two opposites wins.
extern std::uint32_t g_input_direction_memory;
extern std::int32_t g_input_double_click_count; // polls since the last press of MOUSE_DIR

// Zeroes both device state blocks, both records and the repeat counter.
void input_reset();
