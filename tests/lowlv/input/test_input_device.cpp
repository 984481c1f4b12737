#include "input_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using ::testing::ElementsAre;

namespace {

constexpr std::uint32_t k_all_devices =
    INPUT_DEVICE_KEYBOARD | INPUT_DEVICE_MOUSE | INPUT_DEVICE_GAME_CONTROLLER;

std::vector<std::string> enumerations()
{
    std::vector<std::string> found;
    for (const std::string& line : seam_log())
        if (line.starts_with("IDirectInput8::EnumDevices")) found.push_back(line);
    return found;
}

std::vector<std::string> effect_calls()
{
    std::vector<std::string> found;
    for (const std::string& line : seam_log())
        if (line.starts_with("IDirectInputEffect::")) found.push_back(line.substr(20));
    return found;
}

// A second device on the same hardware, exclusive in the foreground: it cannot be acquired
// while the engine's device holds the hardware exclusively.
HRESULT acquire_second_exclusive(const GUID& instance, const DIDATAFORMAT& format, HWND window)
{
    IDirectInputDevice8A* other = nullptr;
    if (FAILED(g_dinput->CreateDevice(instance, &other, nullptr))) return E_FAIL;
    other->SetDataFormat(&format);
    other->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    HRESULT hr = other->Acquire();
    other->Release();
    return hr;
}

} // namespace

TEST_F(InputTest, CreatesTheDevicesTheFlagsAsk)
{
    attach_pad();
    const struct {
        std::uint32_t flags;
        bool keyboard, mouse, controller;
    } cases[] = {
        {0, false, false, false},
        {INPUT_DEVICE_KEYBOARD, true, false, false},
        {INPUT_DEVICE_MOUSE, false, true, false},
        {INPUT_DEVICE_GAME_CONTROLLER, false, false, true},
        {k_all_devices | INPUT_DEVICE_RESERVED, true, true, true},
    };
    for (const auto& c : cases) {
        create_devices(c.flags);
        EXPECT_EQ(g_input_keyboard != nullptr, c.keyboard) << c.flags;
        EXPECT_EQ(g_input_mouse != nullptr, c.mouse) << c.flags;
        EXPECT_EQ(g_input_controller != nullptr, c.controller) << c.flags;
        input_release_devices();
        EXPECT_EQ(g_dinput, nullptr);
        EXPECT_EQ(g_input_keyboard, nullptr);
        EXPECT_EQ(g_input_mouse, nullptr);
        EXPECT_EQ(g_input_controller, nullptr);
    }
}

TEST_F(InputTest, ExclusiveFlagsHoldKeyboardAndMouseAlone)
{
    create_devices(INPUT_DEVICE_KEYBOARD | INPUT_DEVICE_MOUSE | INPUT_DEVICE_KEYBOARD_EXCLUSIVE);
    EXPECT_EQ(acquire_second_exclusive(GUID_SysKeyboard, c_dfDIKeyboard, m_window), DIERR_OTHERAPPHASPRIO);
    EXPECT_EQ(acquire_second_exclusive(GUID_SysMouse, c_dfDIMouse, m_window), DI_OK);
    input_release_devices();
    create_devices(INPUT_DEVICE_KEYBOARD | INPUT_DEVICE_MOUSE | INPUT_DEVICE_MOUSE_EXCLUSIVE);
    EXPECT_EQ(acquire_second_exclusive(GUID_SysKeyboard, c_dfDIKeyboard, m_window), DI_OK);
    EXPECT_EQ(acquire_second_exclusive(GUID_SysMouse, c_dfDIMouse, m_window), DIERR_OTHERAPPHASPRIO);
}

TEST_F(InputTest, DeviceWhoseSetUpFailsIsGivenBack)
{
    attach_pad();
    for (const char* call : {"SetDataFormat", "SetCooperativeLevel"}) {
        dinput_seam_fail(call, DIERR_GENERIC);
        create_devices(INPUT_DEVICE_KEYBOARD);
        EXPECT_EQ(g_input_keyboard, nullptr) << call;
        input_release_devices();
        dinput_seam_fail(call, DIERR_GENERIC);
        create_devices(INPUT_DEVICE_MOUSE);
        EXPECT_EQ(g_input_mouse, nullptr) << call;
        input_release_devices();
        dinput_seam_fail(call, DIERR_GENERIC);
        create_devices(INPUT_DEVICE_GAME_CONTROLLER);
        EXPECT_EQ(g_input_controller, nullptr) << call;
        input_release_devices();
    }
    // The devices that work are still made.
    dinput_seam_fail("CreateDevice", DIERR_GENERIC);
    create_devices(k_all_devices);
    EXPECT_EQ(g_input_mouse, nullptr);
    EXPECT_NE(g_input_controller, nullptr);
    EXPECT_NE(g_input_keyboard, nullptr);
}

TEST_F(InputTest, MouseWithoutItsAxisModeIsAcquiredByTheFirstRead)
{
    dinput_seam_fail("SetProperty", DIERR_GENERIC);
    create_devices(INPUT_DEVICE_MOUSE);
    ASSERT_NE(g_input_mouse, nullptr);
    DIMOUSESTATE state{};
    EXPECT_EQ(g_input_mouse->GetDeviceState(sizeof state, &state), DIERR_NOTACQUIRED);
    dinput_seam_queue_mouse({7, 0, 0, {}});
    InputDeviceState block{};
    EXPECT_EQ(input_read_mouse(block), DI_OK);
    EXPECT_EQ(block.mouse.lX, 7);
}

TEST_F(InputTest, ForceFeedbackControllerIsChosenFirst)
{
    attach_pad(false, "Plain");
    int force = attach_pad(true, "Force");
    seam_log_enable(true);
    create_devices(INPUT_DEVICE_GAME_CONTROLLER);
    EXPECT_THAT(enumerations(), ElementsAre("IDirectInput8::EnumDevices 4 257"));
    ASSERT_NE(g_input_controller, nullptr);
    EXPECT_EQ(g_input_controller_ff, 1);
    EXPECT_EQ(g_input_controller_caps.dwSize, sizeof(DIDEVCAPS));
    EXPECT_TRUE(g_input_controller_caps.dwFlags & DIDC_FORCEFEEDBACK);
    EXPECT_EQ(g_input_ff_axes, 2u);
    for (const ForceEffectSlot& slot : g_input_force_slots) {
        EXPECT_NE(slot.interface, nullptr);
        EXPECT_EQ(slot.effect.cAxes, 2u);
        EXPECT_EQ(slot.effect.lpvTypeSpecificParams, &slot.periodic);
    }
    EXPECT_EQ(g_input_force_slots[3].periodic.dwMagnitude, 10000u);
    EXPECT_EQ(g_input_force_slots[4].effect.dwDuration, 1000000u);
    DIJOYSTATE state{};
    EXPECT_EQ(g_input_controller->GetDeviceState(sizeof state, &state), DI_OK) << "acquired with its effects";
    EXPECT_TRUE(dinput_seam_pad_effects(force).empty()) << "effects are sent by their first start";
}

TEST_F(InputTest, PlainControllerIsFoundBySecondEnumerationAndAcquiredByItsFirstRead)
{
    attach_pad(false, "Plain");
    seam_log_enable(true);
    create_devices(INPUT_DEVICE_GAME_CONTROLLER);
    EXPECT_THAT(enumerations(),
                ElementsAre("IDirectInput8::EnumDevices 4 257", "IDirectInput8::EnumDevices 4 1"));
    ASSERT_NE(g_input_controller, nullptr);
    EXPECT_EQ(g_input_controller_ff, 0);
    EXPECT_EQ(g_input_force_slots[0].interface, nullptr);
    DIJOYSTATE state{};
    EXPECT_EQ(g_input_controller->GetDeviceState(sizeof state, &state), DIERR_NOTACQUIRED);
    DIJOYSTATE pushed{};
    pushed.lX = 300;
    pushed.lY = -200;
    dinput_seam_queue_pad(m_pad, pushed);
    InputDeviceState block{};
    EXPECT_EQ(input_read_controller(block), DI_OK);
    EXPECT_EQ(block.controller.lX, 300);
    EXPECT_EQ(block.controller.lY, -200);
}

TEST_F(InputTest, WithoutAControllerTheOtherDevicesStillWork)
{
    seam_log_enable(true);
    create_devices(k_all_devices);
    EXPECT_EQ(enumerations().size(), 2u);
    EXPECT_EQ(g_input_controller, nullptr);
    dinput_seam_queue_keys({DIK_X});
    dinput_seam_queue_mouse(mouse_buttons({0}));
    input_poll();
    const InputRecord& record = g_input_ring.records[g_input_ring.current];
    EXPECT_EQ(record.held, INPUT_JUMP | INPUT_CANCEL | INPUT_CLICK | INPUT_MOUSE_DIR);
    input_play_force(2);
    EXPECT_EQ(g_input_last_force, 2);
}

TEST_F(InputTest, ControllerAxesAreSetToPlusMinus1024)
{
    int virtual_pad = dinput_seam_attach_virtual_pad(2, 10, 0);
    ASSERT_GE(virtual_pad, 0);
    create_devices(k_all_devices);
    ASSERT_NE(g_input_controller, nullptr);
    dinput_seam_queue_virtual_pad(virtual_pad, {{32767, -32768}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, {}});
    input_poll();
    const InputRecord& record = g_input_ring.records[g_input_ring.current];
    EXPECT_EQ(record.stick_x, 1024);
    EXPECT_EQ(record.stick_y, -1024);
    EXPECT_EQ(record.direction, 12u);
    EXPECT_NEAR(record.magnitude, 1.41421f, 1e-4f);
    EXPECT_EQ(record.held, INPUT_MENU) << "button 10 is the camp menu";
}

TEST_F(InputTest, PlayForceStopsTheLastEffectBeforeStartingTheNext)
{
    int pad = attach_pad(true);
    create_devices(k_all_devices);
    seam_log_enable(true);

    input_play_force(3);
    input_play_force(3);
    EXPECT_THAT(effect_calls(), ElementsAre("Start 3", "Stop 3", "Start 3"));
    auto effects = dinput_seam_pad_effects(pad);
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(effects[0].magnitude, 10000u);
    EXPECT_EQ(effects[0].duration_us, 400000u);
    EXPECT_EQ(effects[0].period_us, 50000u);
    EXPECT_TRUE(effects[0].playing);
    EXPECT_EQ(effects[0].iterations, 1u);

    seam_log_clear();
    g_input_force_feedback = 0;
    input_play_force(0);
    EXPECT_THAT(effect_calls(), ElementsAre("Stop 3")) << "off: the running effect still stops";
    EXPECT_EQ(g_input_last_force, 0);
    EXPECT_FALSE(dinput_seam_pad_effects(pad)[0].playing);

    seam_log_clear();
    g_input_force_feedback = 1;
    input_play_force(6);
    input_play_force(-1);
    input_play_force(4);
    EXPECT_THAT(effect_calls(), ElementsAre("Stop 0", "Start 4")) << "numbers outside 0..5 start nothing";
    EXPECT_EQ(dinput_seam_pad_effects(pad)[1].magnitude, 5000u);
    EXPECT_EQ(dinput_seam_pad_effects(pad)[1].duration_us, 1000000u);

    seam_log_clear();
    g_input_game_pad = 0;
    input_play_force(5);
    EXPECT_THAT(effect_calls(), ElementsAre("Stop 4"));
}

TEST_F(InputTest, SettingsProgramLevelsReadInTheBackground)
{
    attach_pad(true);
    ASSERT_EQ(input_dinput_create(), DI_OK);
    input_create_devices(k_all_devices, m_window, {DISCL_BACKGROUND, g_input_force_defaults});
    ASSERT_NE(g_input_controller, nullptr);
    EXPECT_EQ(g_input_force_slots[5].effect.dwDuration, 500000u);
    seam_host_window_event(m_window, HostWindowEvent::focus_lost);
    drain();
    ASSERT_EQ(GetActiveWindow(), nullptr);
    dinput_seam_queue_keys({DIK_ESCAPE});
    InputDeviceState block{};
    EXPECT_EQ(input_read_controller(block), DI_OK);
    EXPECT_EQ(input_read_keyboard(block), DI_OK);
    EXPECT_EQ(input_read_mouse(block), DI_OK);
    EXPECT_EQ(block.keys[DIK_ESCAPE], 0x80);
    seam_log_enable(true);
    g_input_force_slots[5].interface->Start(1, 0);
    EXPECT_THAT(effect_calls(), ElementsAre("Start 5"));
}

TEST_F(InputTest, DevicesStepFailsOnlyWithoutDirectInput)
{
    InputSettings settings{};
    settings.devices = INPUT_DEVICE_KEYBOARD | INPUT_DEVICE_MOUSE;
    EngineParams params{};
    params.window = m_window;
    params.input_settings = &settings;
    SysInitContext context{params, SUBSYS_DINPUT, 0};
    dinput_seam_fail("DirectInput8Create", DIERR_OUTOFMEMORY);
    EXPECT_EQ(input_init_devices(context), DIERR_OUTOFMEMORY);
    EXPECT_EQ(g_dinput, nullptr);
    EXPECT_STREQ(INPUT_TEXT_DINPUT, "failed: Subsys DInput::Initialize");

    dinput_seam_fail("CreateDevice", DIERR_GENERIC, 2);
    EXPECT_EQ(input_init_devices(context), S_OK) << "missing devices are no failure";
    EXPECT_EQ(g_input_keyboard, nullptr);
    input_release_devices();
    EXPECT_EQ(input_init_devices(context), S_OK);
    EXPECT_NE(g_input_keyboard, nullptr);
    EXPECT_NE(g_input_mouse, nullptr);
    EXPECT_EQ(g_input_controller, nullptr);
}
