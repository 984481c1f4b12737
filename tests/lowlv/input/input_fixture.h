// The engine's input devices over the DirectInput stand-in with scripted states, in a window of
// their own that holds the focus.
#pragma once

#include "core/sys.h"
#include "lowlv/input/input_device.h"
#include "lowlv/input/input_poll.h"
#include "platform/impl/dinput_seams.h"
#include "platform/impl/test_seams.h"
#include "platform/window_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <utility>
#include <vector>

inline DIMOUSESTATE mouse_buttons(std::initializer_list<int> down)
{
    DIMOUSESTATE state{};
    for (int button : down)
        state.rgbButtons[button] = 0x80;
    return state;
}

// What the devices report at one poll: PollInput().keys({DIK_Z}).stick(0, -1024).
struct PollInput {
    std::vector<BYTE> key_codes;
    DIMOUSESTATE mouse_state{};
    LONG stick_x = 0;
    LONG stick_y = 0;
    std::vector<int> pad_buttons;

    PollInput& keys(std::vector<BYTE> down)
    {
        key_codes = std::move(down);
        return *this;
    }
    PollInput& mouse(const DIMOUSESTATE& state)
    {
        mouse_state = state;
        return *this;
    }
    PollInput& stick(LONG x, LONG y)
    {
        stick_x = x;
        stick_y = y;
        return *this;
    }
    PollInput& pad(std::vector<int> down)
    {
        pad_buttons = std::move(down);
        return *this;
    }
};

class InputTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        dinput_seam_reset();
        dinput_seam_show_host_pads(false);
        dinput_seam_script_input(true);
        m_window = create();
        drain();
        ASSERT_EQ(GetActiveWindow(), m_window);
        g_input_ring = InputRing{};
        input_reset();
        input_apply_settings(InputSettings{});
        g_input_direction_memory = 0;
        g_input_double_click_count = INT32_MAX; // long after any earlier press
        g_input_wheel = 0;
        g_input_game_pad = 1;
        g_input_force_feedback = 1;
        g_input_last_force = -1;
        use_screen(m_window, 640, 480);
    }

    void TearDown() override
    {
        input_release_devices();
        dinput_seam_reset();
        seam_log_enable(false);
        seam_log_clear();
        g_window_origin = WindowOrigin{};
        WindowTest::TearDown();
    }

    // A scripted controller to be found by create_devices.
    int attach_pad(bool force_feedback = false, const char* name = "Scripted Pad")
    {
        DinputSeamPad pad;
        pad.name = name;
        pad.force_feedback = force_feedback;
        m_pad = dinput_seam_attach_pad(pad);
        return m_pad;
    }

    void create_devices(std::uint32_t flags = INPUT_DEVICE_KEYBOARD | INPUT_DEVICE_MOUSE |
                                              INPUT_DEVICE_GAME_CONTROLLER)
    {
        ASSERT_EQ(input_dinput_create(), DI_OK);
        ASSERT_EQ(input_create_devices(flags, m_window, {DISCL_FOREGROUND, g_input_force_table}), S_OK);
    }

    // The window's client area is the mouse's screen, with this back-buffer size.
    static void use_screen(HWND window, int width, int height)
    {
        g_window_origin = WindowOrigin{};
        g_window_origin.window = window;
        g_window_origin.windowed = true;
        g_window_origin.back_buffer_width = width;
        g_window_origin.back_buffer_height = height;
        input_update_client_origin(window);
    }

    const InputRecord& poll() { return poll(PollInput()); }
    const InputRecord& poll(const PollInput& input)
    {
        queue(input);
        input_poll();
        return g_input_ring.records[g_input_ring.current];
    }

    void queue(const PollInput& input)
    {
        dinput_seam_queue_keys(input.key_codes);
        dinput_seam_queue_mouse(input.mouse_state);
        if (m_pad < 0) return;
        DIJOYSTATE pad{};
        pad.lX = input.stick_x;
        pad.lY = input.stick_y;
        for (DWORD& pov : pad.rgdwPOV)
            pov = 0xFFFFFFFF;
        for (int button : input.pad_buttons)
            pad.rgbButtons[button] = 0x80;
        dinput_seam_queue_pad(m_pad, pad);
    }

    HWND m_window = nullptr;
    int m_pad = -1;
};
