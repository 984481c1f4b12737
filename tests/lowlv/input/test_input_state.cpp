#include "lowlv/input/input_state.h"

#include "core/timer.h"
#include "platform/impl/test_seams.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void fill_input_state()
{
    std::memset(g_input_device_states, 0x80, sizeof g_input_device_states);
    std::memset(g_input_ring.records, 0x11, sizeof g_input_ring.records);
    g_input_ring.current = 1;
    g_input_repeat_count = 27;
}

bool input_state_is_zero()
{
    static const InputDeviceState zero_state{};
    static const InputRecord zero_record{};
    for (const InputDeviceState& state : g_input_device_states)
        if (std::memcmp(&state, &zero_state, sizeof state) != 0) return false;
    for (const InputRecord& record : g_input_ring.records)
        if (std::memcmp(&record, &zero_record, sizeof record) != 0) return false;
    return g_input_repeat_count == 0;
}

TEST(InputState, ResetZeroesBlocksRecordsAndRepeatCounter)
{
    fill_input_state();
    input_reset();
    EXPECT_TRUE(input_state_is_zero());
    EXPECT_EQ(g_input_ring.current, 1u) << "the ring keeps its current entry";
}

// The frame timer drops held input after a stall once the input module hands it input_reset.
TEST(InputState, FrameTimerStallClearsIt)
{
    std::int64_t counter = 3600 * 60000;
    seam_set_counter([&counter] { return counter; }, 60000); // 1000 counts per tick
    timer_set_stall_handler(input_reset);
    timer_init(10000, 5);
    while (timer_next_tick()) {
    }
    fill_input_state();
    counter += 20 * 1000;
    EXPECT_TRUE(timer_frame());
    EXPECT_TRUE(input_state_is_zero());
    timer_set_stall_handler(nullptr);
    seam_set_counter(nullptr, 0);
}

} // namespace
