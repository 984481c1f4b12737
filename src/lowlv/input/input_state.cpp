#include "lowlv/input/input_state.h"

InputRing g_input_ring{};
InputDeviceState g_input_device_states[2]{};
std::int32_t g_input_repeat_count = 0;

KeyAssignTable g_input_keys{};
float g_input_dead_zone = 0.0f;
std::int32_t g_input_dead_zone_sq = 0;
float g_input_dead_zone_scale = 1.0f / 1024.0f;
std::int32_t g_input_double_click_limit = 0;
float g_input_run_walk_threshold = 0.0f;
std::uint8_t g_input_mouse_ok_cancel = 0;
std::uint8_t g_input_pad_analog = 0;
std::uint8_t g_input_swap_buttons = 0;

std::uint8_t g_input_game_pad = 1;
std::uint8_t g_input_force_feedback = 1;

std::int32_t g_input_wheel = 0;
std::uint32_t g_input_direction_memory = 0;
std::int32_t g_input_double_click_count = 0;

void input_reset()
{
    for (InputDeviceState& state : g_input_device_states)
        state = InputDeviceState{};
    for (InputRecord& record : g_input_ring.records)
        record = InputRecord{};
    g_input_repeat_count = 0;
}
