#include "lowlv/input/input_state.h"

InputRing g_input_ring{};
InputDeviceState g_input_device_states[2]{};
std::int32_t g_input_repeat_count = 0;

void input_reset()
{
    for (InputDeviceState& state : g_input_device_states)
        state = InputDeviceState{};
    for (InputRecord& record : g_input_ring.records)
        record = InputRecord{};
    g_input_repeat_count = 0;
}
