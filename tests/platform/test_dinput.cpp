#include "platform/dinput.h"
#include "platform/impl/dinput_seams.h"
#include "platform/impl/test_seams.h"
#include "window_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using ::testing::ElementsAre;

namespace {

// SDL's hat bits.
constexpr int k_hat_centred = 0;
constexpr int k_hat_up = 1;
constexpr int k_hat_right = 2;

DIPROPDWORD property_dword(DWORD value, DWORD how = DIPH_DEVICE, DWORD object = 0)
{
    return {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), object, how}, value};
}

DIPROPRANGE property_range(LONG min, LONG max, DWORD how = DIPH_DEVICE, DWORD object = 0)
{
    return {{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), object, how}, min, max};
}

std::vector<DIDEVICEINSTANCEA> enumerate(IDirectInput8A* input, DWORD type, DWORD flags, int stop_after = 0)
{
    struct Context {
        std::vector<DIDEVICEINSTANCEA> seen;
        int stop_after;
    } context{{}, stop_after};
    HRESULT hr = input->EnumDevices(
        type,
        [](const DIDEVICEINSTANCEA* instance, void* data) -> BOOL {
            auto* context = static_cast<Context*>(data);
            context->seen.push_back(*instance);
            return int(context->seen.size()) == context->stop_after ? DIENUM_STOP : DIENUM_CONTINUE;
        },
        &context, flags);
    EXPECT_EQ(hr, DI_OK);
    return context.seen;
}

std::vector<DIDEVICEOBJECTINSTANCEA> objects_of(IDirectInputDevice8A* device, DWORD flags)
{
    std::vector<DIDEVICEOBJECTINSTANCEA> seen;
    EXPECT_EQ(device->EnumObjects(
                  [](const DIDEVICEOBJECTINSTANCEA* object, void* data) -> BOOL {
                      static_cast<std::vector<DIDEVICEOBJECTINSTANCEA>*>(data)->push_back(*object);
                      return DIENUM_CONTINUE;
                  },
                  &seen, flags),
              DI_OK);
    return seen;
}

// A sine effect as the engine prepares them: offsets of X and Y, cartesian, a DIPERIODIC.
struct SineEffect {
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG directions[2] = {0, 0};
    DIPERIODIC periodic{10000, 0, 0, 50000};
    DIEFFECT effect{};

    SineEffect(DWORD magnitude = 10000, DWORD duration = 400000, DWORD gain = DI_FFNOMINALMAX)
    {
        periodic.dwMagnitude = magnitude;
        effect.dwSize = sizeof(DIEFFECT);
        effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
        effect.dwDuration = duration;
        effect.dwGain = gain;
        effect.dwTriggerButton = DIEB_NOTRIGGER;
        effect.cAxes = 2;
        effect.rgdwAxes = axes;
        effect.rglDirection = directions;
        effect.cbTypeSpecificParams = sizeof(DIPERIODIC);
        effect.lpvTypeSpecificParams = &periodic;
    }
    SineEffect(const SineEffect&) = delete;
};

class DinputTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        dinput_seam_reset();
        dinput_seam_show_host_pads(false);
        m_window = create();
        drain();
        ASSERT_EQ(GetActiveWindow(), m_window);
        ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                     reinterpret_cast<void**>(&m_input), nullptr),
                  DI_OK);
    }

    void TearDown() override
    {
        for (IDirectInputDevice8A* device : m_devices)
            device->Release();
        if (m_input) m_input->Release();
        dinput_seam_reset();
        seam_log_enable(false);
        seam_log_clear();
        WindowTest::TearDown();
    }

    IDirectInputDevice8A* device(const GUID& instance)
    {
        IDirectInputDevice8A* made = nullptr;
        EXPECT_EQ(m_input->CreateDevice(instance, &made, nullptr), DI_OK);
        if (made) m_devices.push_back(made);
        return made;
    }

    // A device with its data format and level, acquired.
    IDirectInputDevice8A* acquired(const GUID& instance, const DIDATAFORMAT& format,
                                   DWORD level = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND)
    {
        IDirectInputDevice8A* made = device(instance);
        if (!made) return nullptr;
        EXPECT_EQ(made->SetDataFormat(&format), DI_OK);
        EXPECT_EQ(made->SetCooperativeLevel(m_window, level), DI_OK);
        EXPECT_EQ(made->Acquire(), DI_OK);
        return made;
    }

    GUID pad_guid(DWORD flags = DIEDFL_ATTACHEDONLY, std::size_t index = 0)
    {
        auto pads = enumerate(m_input, DI8DEVCLASS_GAMECTRL, flags);
        EXPECT_GT(pads.size(), index);
        return pads.size() > index ? pads[index].guidInstance : GUID{};
    }

    HWND m_window = nullptr;
    IDirectInput8A* m_input = nullptr;
    std::vector<IDirectInputDevice8A*> m_devices;
};

} // namespace

TEST_F(DinputTest, CreateChecksVersionInterfaceAndAggregation)
{
    int outer = 0;
    struct Case {
        DWORD version;
        const GUID* iid;
        void* outer;
        HRESULT expected;
    } cases[] = {
        {0x0700, &IID_IDirectInput8A, nullptr, DIERR_OLDDIRECTINPUTVERSION},
        {0x0900, &IID_IDirectInput8A, nullptr, DIERR_BETADIRECTINPUTVERSION},
        {0x0800, &GUID_SysMouse, nullptr, DIERR_NOINTERFACE},
        {0x0800, &IID_IDirectInput8A, &outer, DIERR_NOAGGREGATION},
    };
    for (const Case& c : cases) {
        void* object = &outer;
        EXPECT_EQ(DirectInput8Create(nullptr, c.version, *c.iid, &object, c.outer), c.expected) << c.version;
        EXPECT_EQ(object, nullptr);
    }
    dinput_seam_fail("DirectInput8Create", DIERR_OUTOFMEMORY);
    void* object = nullptr;
    EXPECT_EQ(DirectInput8Create(nullptr, 0x0800, IID_IDirectInput8A, &object, nullptr), DIERR_OUTOFMEMORY);
    EXPECT_EQ(DirectInput8Create(nullptr, 0x0800, IID_IDirectInput8A, &object, nullptr), DI_OK);
    static_cast<IDirectInput8A*>(object)->Release();
}

TEST_F(DinputTest, EnumeratesKeyboardMouseThenControllersByClassAndFlags)
{
    int virtual_pad = dinput_seam_attach_virtual_pad(2, 4, 0);
    ASSERT_GE(virtual_pad, 0);
    dinput_seam_attach_pad({"Plain Pad"});
    DinputSeamPad force_pad{"Force Pad"};
    force_pad.force_feedback = true;
    dinput_seam_attach_pad(force_pad);

    auto names = [](const std::vector<DIDEVICEINSTANCEA>& list) {
        std::vector<std::string> result;
        for (const DIDEVICEINSTANCEA& instance : list)
            result.push_back(GET_DIDEVICE_TYPE(instance.dwDevType) == DI8DEVTYPE_KEYBOARD ? "keyboard"
                             : GET_DIDEVICE_TYPE(instance.dwDevType) == DI8DEVTYPE_MOUSE
                                 ? "mouse"
                                 : instance.tszProductName);
        return result;
    };
    auto all = enumerate(m_input, DI8DEVCLASS_ALL, DIEDFL_ATTACHEDONLY);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_TRUE(IsEqualGUID(all[0].guidInstance, GUID_SysKeyboard));
    EXPECT_TRUE(IsEqualGUID(all[1].guidInstance, GUID_SysMouse));
    std::vector<std::string> all_names = names(all);
    EXPECT_THAT(std::vector<std::string>(all_names.begin() + 3, all_names.end()),
                ElementsAre("Plain Pad", "Force Pad"));
    EXPECT_EQ(enumerate(m_input, DI8DEVCLASS_GAMECTRL, DIEDFL_ATTACHEDONLY).size(), 3u);
    EXPECT_THAT(names(enumerate(m_input, DI8DEVCLASS_GAMECTRL, DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK)),
                ElementsAre("Force Pad"));
    EXPECT_THAT(names(enumerate(m_input, DI8DEVCLASS_KEYBOARD, 0)), ElementsAre("keyboard"));
    EXPECT_THAT(names(enumerate(m_input, DI8DEVCLASS_POINTER, 0)), ElementsAre("mouse"));
    EXPECT_THAT(names(enumerate(m_input, DI8DEVTYPE_GAMEPAD, 0)), ::testing::SizeIs(3));
    EXPECT_EQ(enumerate(m_input, DI8DEVCLASS_ALL, 0, 1).size(), 1u) << "DIENUM_STOP ends the enumeration";

    auto ignore = [](const DIDEVICEINSTANCEA*, void*) -> BOOL { return DIENUM_CONTINUE; };
    EXPECT_EQ(m_input->EnumDevices(DI8DEVCLASS_ALL, ignore, nullptr, 0x2), DIERR_INVALIDPARAM);
    EXPECT_EQ(m_input->EnumDevices(DI8DEVCLASS_ALL, nullptr, nullptr, 0), DIERR_INVALIDPARAM);
    EXPECT_EQ(m_input->EnumDevices(0x30, ignore, nullptr, 0), DIERR_INVALIDPARAM);
}

TEST_F(DinputTest, CreateDeviceFindsOnlyAttachedDevices)
{
    int pad = dinput_seam_attach_pad({});
    GUID instance = pad_guid();
    IDirectInputDevice8A* made = nullptr;
    EXPECT_EQ(m_input->CreateDevice(GUID_Sine, &made, nullptr), DIERR_DEVICENOTREG);
    EXPECT_EQ(made, nullptr);
    int outer = 0;
    EXPECT_EQ(m_input->CreateDevice(GUID_SysKeyboard, &made, &outer), DIERR_NOAGGREGATION);
    dinput_seam_fail("CreateDevice", DIERR_OUTOFMEMORY);
    EXPECT_EQ(m_input->CreateDevice(instance, &made, nullptr), DIERR_OUTOFMEMORY);
    EXPECT_NE(device(instance), nullptr);
    dinput_seam_detach_pad(pad);
    EXPECT_EQ(m_input->CreateDevice(instance, &made, nullptr), DIERR_DEVICENOTREG);
}

TEST_F(DinputTest, CooperativeLevelsFollowThePlatformRules)
{
    dinput_seam_attach_pad({});
    struct Case {
        DWORD flags;
        HRESULT keyboard, mouse, pad;
    } cases[] = {
        {DISCL_EXCLUSIVE | DISCL_FOREGROUND, DI_OK, DI_OK, DI_OK},
        {DISCL_NONEXCLUSIVE | DISCL_BACKGROUND, DI_OK, DI_OK, DI_OK},
        {DISCL_EXCLUSIVE | DISCL_BACKGROUND, DIERR_UNSUPPORTED, DIERR_UNSUPPORTED, DI_OK},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY, DI_OK, DIERR_INVALIDPARAM,
         DIERR_INVALIDPARAM},
        {DISCL_EXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY, DIERR_INVALIDPARAM, DIERR_INVALIDPARAM,
         DIERR_INVALIDPARAM},
        {DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, DIERR_INVALIDPARAM, DIERR_INVALIDPARAM,
         DIERR_INVALIDPARAM},
        {DISCL_FOREGROUND, DIERR_INVALIDPARAM, DIERR_INVALIDPARAM, DIERR_INVALIDPARAM},
        {DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | 0x100, DIERR_INVALIDPARAM, DIERR_INVALIDPARAM,
         DIERR_INVALIDPARAM},
    };
    IDirectInputDevice8A* keyboard = device(GUID_SysKeyboard);
    IDirectInputDevice8A* mouse = device(GUID_SysMouse);
    IDirectInputDevice8A* pad = device(pad_guid());
    for (const Case& c : cases) {
        EXPECT_EQ(keyboard->SetCooperativeLevel(m_window, c.flags), c.keyboard) << c.flags;
        EXPECT_EQ(mouse->SetCooperativeLevel(m_window, c.flags), c.mouse) << c.flags;
        EXPECT_EQ(pad->SetCooperativeLevel(m_window, c.flags), c.pad) << c.flags;
    }
    EXPECT_EQ(keyboard->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), E_HANDLE);
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->SetCooperativeLevel(m_window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DIERR_ACQUIRED);
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);
}

TEST_F(DinputTest, DataFormatMustMatchTheDevice)
{
    IDirectInputDevice8A* keyboard = device(GUID_SysKeyboard);
    EXPECT_EQ(keyboard->Acquire(), DIERR_INVALIDPARAM) << "no data format yet";
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIMouse), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->SetDataFormat(nullptr), DIERR_INVALIDPARAM);
    DIDATAFORMAT copy = c_dfDIKeyboard;
    EXPECT_EQ(keyboard->SetDataFormat(&copy), DI_OK);
    EXPECT_EQ(keyboard->Acquire(), DI_OK) << "a non-exclusive background level by default";
    EXPECT_EQ(keyboard->Acquire(), DI_NOEFFECT);
    BYTE keys[256];
    EXPECT_EQ(keyboard->GetDeviceState(sizeof(DIMOUSESTATE), keys), DIERR_INVALIDPARAM);
    EXPECT_EQ(keyboard->Poll(), DI_NOEFFECT);
    EXPECT_EQ(keyboard->Unacquire(), DI_OK);
    EXPECT_EQ(keyboard->Unacquire(), DI_NOEFFECT);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
}

TEST_F(DinputTest, ScriptedKeyboardAndMouseReportOneStatePerRead)
{
    dinput_seam_script_input(true);
    IDirectInputDevice8A* keyboard = acquired(GUID_SysKeyboard, c_dfDIKeyboard);
    IDirectInputDevice8A* mouse = acquired(GUID_SysMouse, c_dfDIMouse);
    dinput_seam_queue_keys({DIK_Z, DIK_UP});
    dinput_seam_queue_keys({});
    dinput_seam_queue_mouse({5, -3, 120, {0x80, 0, 0, 0}});
    dinput_seam_queue_mouse({1, 1, 0, {0, 0x80, 0, 0}});

    BYTE keys[256];
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(keys[code], code == DIK_Z || code == DIK_UP ? 0x80 : 0) << code;
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[DIK_Z], 0);

    struct Expected {
        LONG x, y, z;
        BYTE left, right;
    } expected[] = {{5, -3, 120, 0x80, 0}, {1, 1, 0, 0, 0x80}, {0, 0, 0, 0, 0x80}};
    for (const Expected& e : expected) {
        DIMOUSESTATE state{};
        ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
        EXPECT_EQ(state.lX, e.x);
        EXPECT_EQ(state.lY, e.y);
        EXPECT_EQ(state.lZ, e.z);
        EXPECT_EQ(state.rgbButtons[0], e.left);
        EXPECT_EQ(state.rgbButtons[1], e.right);
    }

    // Absolute mode reports where the movement has added up to.
    DIPROPDWORD absolute = property_dword(DIPROPAXISMODE_ABS);
    EXPECT_EQ(mouse->SetProperty(DIPROP_AXISMODE, &absolute.diph), DIERR_ACQUIRED);
    mouse->Unacquire();
    EXPECT_EQ(mouse->SetProperty(DIPROP_AXISMODE, &absolute.diph), DI_OK);
    mouse->Acquire();
    dinput_seam_queue_mouse({4, 4, 0, {}});
    DIMOUSESTATE state{};
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 10);
    EXPECT_EQ(state.lY, 2);
    EXPECT_EQ(state.lZ, 120);
}

TEST_F(DinputTest, HostWheelIsCountedIn120sPerNotch)
{
    IDirectInputDevice8A* mouse = acquired(GUID_SysMouse, c_dfDIMouse);
    seam_host_mouse_wheel(m_window, 2);
    seam_host_mouse_wheel(m_window, -0.5f);
    drain();
    DIMOUSESTATE state{};
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lZ, 180);
    ASSERT_EQ(mouse->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lZ, 0);
}

TEST_F(DinputTest, ForegroundDevicesLoseTheirAcquisitionWithTheFocus)
{
    dinput_seam_script_input(true);
    dinput_seam_attach_pad({});
    IDirectInputDevice8A* keyboard = acquired(GUID_SysKeyboard, c_dfDIKeyboard);
    IDirectInputDevice8A* pad = acquired(pad_guid(), c_dfDIJoystick, DISCL_EXCLUSIVE | DISCL_BACKGROUND);
    BYTE keys[256];
    DIJOYSTATE state;

    seam_host_window_event(m_window, HostWindowEvent::focus_lost);
    drain();
    ASSERT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
    EXPECT_EQ(pad->Poll(), DI_OK) << "a background device keeps reading";
    EXPECT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);

    seam_host_window_event(m_window, HostWindowEvent::focus_gained);
    drain();
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);

    // A forced loss reaches every acquired device once.
    dinput_seam_lose_devices();
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_INPUTLOST);
    EXPECT_EQ(pad->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(pad->Acquire(), DI_OK);
    EXPECT_EQ(pad->Poll(), DI_OK);
}

TEST_F(DinputTest, InjectedFailuresLeaveTheCallersBytesAlone)
{
    IDirectInputDevice8A* keyboard = acquired(GUID_SysKeyboard, c_dfDIKeyboard);
    dinput_seam_fail("GetDeviceState", DIERR_GENERIC, 2);
    BYTE keys[256];
    std::memset(keys, 0x5A, sizeof keys);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_GENERIC);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DIERR_GENERIC);
    EXPECT_EQ(keys[0], 0x5A);
    EXPECT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    EXPECT_EQ(keys[0], 0);
}

TEST_F(DinputTest, OnlyOneDeviceHoldsAControllerExclusively)
{
    dinput_seam_attach_pad({});
    GUID instance = pad_guid();
    IDirectInputDevice8A* first = acquired(instance, c_dfDIJoystick, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    IDirectInputDevice8A* second = device(instance);
    second->SetDataFormat(&c_dfDIJoystick);
    second->SetCooperativeLevel(m_window, DISCL_EXCLUSIVE | DISCL_BACKGROUND);
    EXPECT_EQ(second->Acquire(), DIERR_OTHERAPPHASPRIO);
    IDirectInputDevice8A* shared = acquired(instance, c_dfDIJoystick, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
    EXPECT_NE(shared, nullptr);
    first->Unacquire();
    EXPECT_EQ(second->Acquire(), DI_OK);
}

TEST_F(DinputTest, PropertiesCheckTheirTargets)
{
    DinputSeamPad description;
    description.axes = 3;
    dinput_seam_attach_pad(description);
    IDirectInputDevice8A* keyboard = device(GUID_SysKeyboard);
    IDirectInputDevice8A* pad = device(pad_guid());
    pad->SetDataFormat(&c_dfDIJoystick);
    DWORD y_axis = DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(1);
    DWORD button = DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(1);
    struct Case {
        const char* what;
        IDirectInputDevice8A* device;
        const GUID& property;
        DIPROPRANGE range; // also read as a DIPROPDWORD header with its first value
        HRESULT expected;
    } cases[] = {
        {"range on every axis", pad, DIPROP_RANGE, property_range(-1024, 1024), DI_OK},
        {"range by offset", pad, DIPROP_RANGE, property_range(0, 10, DIPH_BYOFFSET, DIJOFS_Z), DI_OK},
        {"range by id", pad, DIPROP_RANGE, property_range(0, 10, DIPH_BYID, y_axis), DI_OK},
        {"offset of no axis", pad, DIPROP_RANGE, property_range(0, 10, DIPH_BYOFFSET, DIJOFS_RX),
         DIERR_OBJECTNOTFOUND},
        {"unaligned offset", pad, DIPROP_RANGE, property_range(0, 10, DIPH_BYOFFSET, 2),
         DIERR_OBJECTNOTFOUND},
        {"id of a button", pad, DIPROP_RANGE, property_range(0, 10, DIPH_BYID, button), DIERR_OBJECTNOTFOUND},
        {"empty range", pad, DIPROP_RANGE, property_range(5, 5), DIERR_INVALIDPARAM},
        {"device with an object", pad, DIPROP_RANGE, property_range(0, 10, DIPH_DEVICE, 4),
         DIERR_INVALIDPARAM},
        {"range of a keyboard", keyboard, DIPROP_RANGE, property_range(0, 10), DIERR_UNSUPPORTED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.device->SetProperty(c.property, &c.range.diph), c.expected) << c.what;

    struct DwordCase {
        const char* what;
        IDirectInputDevice8A* device;
        const GUID& property;
        DIPROPDWORD value;
        HRESULT expected;
    } dword_cases[] = {
        {"dead zone", pad, DIPROP_DEADZONE, property_dword(2500), DI_OK},
        {"dead zone over 10000", pad, DIPROP_DEADZONE, property_dword(10001), DIERR_INVALIDPARAM},
        {"saturation by id", pad, DIPROP_SATURATION, property_dword(9000, DIPH_BYID, y_axis), DI_OK},
        {"buffer size", keyboard, DIPROP_BUFFERSIZE, property_dword(16), DI_OK},
        {"buffer size by id", pad, DIPROP_BUFFERSIZE, property_dword(16, DIPH_BYID, y_axis),
         DIERR_INVALIDPARAM},
        {"axis mode of a keyboard", keyboard, DIPROP_AXISMODE, property_dword(DIPROPAXISMODE_REL),
         DIERR_UNSUPPORTED},
        {"axis mode 2", pad, DIPROP_AXISMODE, property_dword(2), DIERR_INVALIDPARAM},
        {"auto-centring without force feedback", pad, DIPROP_AUTOCENTER, property_dword(0),
         DIERR_UNSUPPORTED},
        {"unknown property", pad, GUID_Sine, property_dword(0), DIERR_UNSUPPORTED},
    };
    for (const DwordCase& c : dword_cases)
        EXPECT_EQ(c.device->SetProperty(c.property, &c.value.diph), c.expected) << c.what;
    DIPROPDWORD short_header = property_dword(0);
    short_header.diph.dwHeaderSize = 8;
    EXPECT_EQ(pad->SetProperty(DIPROP_DEADZONE, &short_header.diph), DIERR_INVALIDPARAM);
}

TEST_F(DinputTest, CapabilitiesAndObjectsDescribeTheController)
{
    DinputSeamPad description;
    description.force_feedback = true;
    description.povs = 1;
    description.buttons = 12;
    dinput_seam_attach_pad(description);
    IDirectInputDevice8A* pad = device(pad_guid());
    DIDEVCAPS caps{};
    EXPECT_EQ(pad->GetCapabilities(&caps), DIERR_INVALIDPARAM);
    caps.dwSize = sizeof caps;
    ASSERT_EQ(pad->GetCapabilities(&caps), DI_OK);
    EXPECT_EQ(caps.dwFlags, DIDC_ATTACHED | DIDC_POLLEDDEVICE | DIDC_FORCEFEEDBACK);
    EXPECT_EQ(GET_DIDEVICE_TYPE(caps.dwDevType), DI8DEVTYPE_GAMEPAD);
    EXPECT_EQ(caps.dwAxes, 2u);
    EXPECT_EQ(caps.dwButtons, 12u);
    EXPECT_EQ(caps.dwPOVs, 1u);

    auto axes = objects_of(pad, DIDFT_AXIS);
    ASSERT_EQ(axes.size(), 2u);
    EXPECT_TRUE(IsEqualGUID(axes[1].guidType, GUID_YAxis));
    EXPECT_EQ(axes[1].dwOfs, DIJOFS_Y);
    EXPECT_EQ(DIDFT_GETINSTANCE(axes[1].dwType), 1u);
    EXPECT_TRUE(axes[1].dwFlags & DIDOI_FFACTUATOR);
    EXPECT_EQ(objects_of(pad, DIDFT_BUTTON).size(), 12u);
    EXPECT_EQ(objects_of(pad, DIDFT_POV)[0].dwOfs, DIJOFS_POV(0));
    EXPECT_EQ(objects_of(pad, DIDFT_ALL).size(), 15u);
    EXPECT_EQ(objects_of(pad, DIDFT_AXIS | DIDFT_FFACTUATOR).size(), 2u);

    IDirectInputDevice8A* mouse = device(GUID_SysMouse);
    ASSERT_EQ(mouse->GetCapabilities(&caps), DI_OK);
    EXPECT_EQ(caps.dwAxes, 3u);
    EXPECT_EQ(caps.dwButtons, 4u);
}

TEST_F(DinputTest, VirtualJoystickAxesAreScaledToTheRequestedRange)
{
    int virtual_pad = dinput_seam_attach_virtual_pad(6, 12, 1);
    ASSERT_GE(virtual_pad, 0);
    IDirectInputDevice8A* pad = device(pad_guid());
    ASSERT_EQ(pad->SetDataFormat(&c_dfDIJoystick), DI_OK);
    for (const DIDEVICEOBJECTINSTANCEA& axis : objects_of(pad, DIDFT_AXIS)) {
        DIPROPRANGE range = property_range(-1024, 1024, DIPH_BYID, axis.dwType);
        ASSERT_EQ(pad->SetProperty(DIPROP_RANGE, &range.diph), DI_OK);
    }
    DIPROPDWORD dead_zone = property_dword(5000, DIPH_BYOFFSET, DIJOFS_RZ);
    ASSERT_EQ(pad->SetProperty(DIPROP_DEADZONE, &dead_zone.diph), DI_OK);
    ASSERT_EQ(pad->SetCooperativeLevel(m_window, DISCL_EXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    ASSERT_EQ(pad->Acquire(), DI_OK);

    dinput_seam_queue_virtual_pad(
        virtual_pad, {{32767, -32768, 16384, 0, 8192, -24576}, {1, 0, 1}, {k_hat_up | k_hat_right}});
    dinput_seam_queue_virtual_pad(virtual_pad, {{0, 0, 0, 0, 0, 0}, {0, 0, 0}, {k_hat_centred}});
    ASSERT_EQ(pad->Poll(), DI_OK);
    DIJOYSTATE state{};
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 1024);
    EXPECT_EQ(state.lY, -1024);
    EXPECT_EQ(state.lZ, 512);
    EXPECT_EQ(state.lRx, 0);
    EXPECT_EQ(state.lRy, 256);
    EXPECT_EQ(state.lRz, -512) << "half the throw beyond a dead zone of half the throw";
    EXPECT_EQ(state.rgdwPOV[0], 4500u);
    EXPECT_EQ(state.rgdwPOV[1], 0xFFFFFFFFu);
    EXPECT_EQ(state.rgbButtons[0], 0x80);
    EXPECT_EQ(state.rgbButtons[1], 0);
    EXPECT_EQ(state.rgbButtons[2], 0x80);

    ASSERT_EQ(pad->Poll(), DI_OK);
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.rgdwPOV[0], 0xFFFFFFFFu);
    EXPECT_EQ(state.rgbButtons[0], 0);
}

TEST_F(DinputTest, UnpluggedJoystickReportsTheLossThenRefusesAcquisition)
{
    int virtual_pad = dinput_seam_attach_virtual_pad(2, 2, 0);
    ASSERT_GE(virtual_pad, 0);
    IDirectInputDevice8A* pad = acquired(pad_guid(), c_dfDIJoystick, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    dinput_seam_detach_virtual_pad(virtual_pad);
    EXPECT_EQ(pad->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(pad->Acquire(), DIERR_UNPLUGGED);
    EXPECT_TRUE(enumerate(m_input, DI8DEVCLASS_GAMECTRL, DIEDFL_ATTACHEDONLY).empty());
}

TEST_F(DinputTest, SineEffectsLoadOnceTheControllerIsExclusivelyAcquired)
{
    DinputSeamPad description;
    description.force_feedback = true;
    int pad_id = dinput_seam_attach_pad(description);
    IDirectInputDevice8A* pad = device(pad_guid());
    pad->SetDataFormat(&c_dfDIJoystick);
    pad->SetCooperativeLevel(m_window, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    SineEffect sine(8000, 400000, 5000);
    IDirectInputEffect* effect = nullptr;
    ASSERT_EQ(pad->CreateEffect(GUID_Sine, &sine.effect, &effect, nullptr), DI_DOWNLOADSKIPPED);
    EXPECT_TRUE(dinput_seam_pad_effects(pad_id).empty());
    EXPECT_EQ(effect->Start(1, 0), DIERR_NOTEXCLUSIVEACQUIRED);

    ASSERT_EQ(pad->Acquire(), DI_OK);
    ASSERT_EQ(effect->Start(2, 0), DI_OK);
    auto effects = dinput_seam_pad_effects(pad_id);
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(effects[0].magnitude, 4000u) << "the gain applies to the magnitude";
    EXPECT_EQ(effects[0].duration_us, 400000u);
    EXPECT_EQ(effects[0].period_us, 50000u);
    EXPECT_TRUE(effects[0].playing);
    EXPECT_EQ(effects[0].iterations, 2u);
    EXPECT_EQ(effect->Stop(), DI_OK);
    EXPECT_FALSE(dinput_seam_pad_effects(pad_id)[0].playing);

    IDirectInputEffect* second = nullptr;
    ASSERT_EQ(pad->CreateEffect(GUID_Sine, &sine.effect, &second, nullptr), DI_OK)
        << "acquired: loaded at once";
    ASSERT_EQ(second->Start(1, 0), DI_OK);
    ASSERT_EQ(effect->Start(1, DIES_SOLO), DI_OK);
    effects = dinput_seam_pad_effects(pad_id);
    EXPECT_TRUE(effects[0].playing);
    EXPECT_FALSE(effects[1].playing) << "a solo start stops the others";

    pad->Unacquire();
    EXPECT_FALSE(dinput_seam_pad_effects(pad_id)[0].playing) << "unacquiring stops and unloads the effects";
    second->Release();
    effect->Release();
}

TEST_F(DinputTest, CreateEffectChecksTheDeviceTypeAndParameters)
{
    DinputSeamPad force;
    force.force_feedback = true;
    force.axes = 3;
    dinput_seam_attach_pad(force);
    dinput_seam_attach_pad({});
    IDirectInputDevice8A* pad = device(pad_guid(DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK));
    IDirectInputDevice8A* plain = device(pad_guid(DIEDFL_ATTACHEDONLY, 1));
    IDirectInputEffect* effect = nullptr;
    SineEffect good;
    EXPECT_EQ(plain->CreateEffect(GUID_Sine, &good.effect, &effect, nullptr), DIERR_UNSUPPORTED);
    EXPECT_EQ(pad->CreateEffect(GUID_SysMouse, &good.effect, &effect, nullptr), DIERR_DEVICENOTREG);

    struct Case {
        const char* what;
        void (*spoil)(SineEffect&);
    } cases[] = {
        {"size", [](SineEffect& s) { s.effect.dwSize = 56; }},
        {"no object flag", [](SineEffect& s) { s.effect.dwFlags = DIEFF_CARTESIAN; }},
        {"two coordinate systems", [](SineEffect& s) { s.effect.dwFlags |= DIEFF_POLAR; }},
        {"three axes", [](SineEffect& s) { s.effect.cAxes = 3; }},
        {"no actuator", [](SineEffect& s) { s.axes[1] = DIJOFS_Z; }},
        {"no axes", [](SineEffect& s) { s.effect.rgdwAxes = nullptr; }},
        {"parameter size", [](SineEffect& s) { s.effect.cbTypeSpecificParams = 12; }},
        {"magnitude", [](SineEffect& s) { s.periodic.dwMagnitude = 10001; }},
        {"gain", [](SineEffect& s) { s.effect.dwGain = 10001; }},
    };
    for (const Case& c : cases) {
        SineEffect sine;
        c.spoil(sine);
        EXPECT_EQ(pad->CreateEffect(GUID_Sine, &sine.effect, &effect, nullptr), DIERR_INVALIDPARAM) << c.what;
        EXPECT_EQ(effect, nullptr);
    }
    ASSERT_EQ(pad->CreateEffect(GUID_Sine, nullptr, &effect, nullptr), DI_DOWNLOADSKIPPED);
    pad->SetDataFormat(&c_dfDIJoystick);
    pad->SetCooperativeLevel(m_window, DISCL_EXCLUSIVE | DISCL_BACKGROUND);
    pad->Acquire();
    EXPECT_EQ(effect->Start(1, 0), DIERR_INCOMPLETEEFFECT);
    effect->Release();
}

TEST_F(DinputTest, EffectStartsAndStopsAreLoggedByCreationOrder)
{
    DinputSeamPad description;
    description.force_feedback = true;
    dinput_seam_attach_pad(description);
    IDirectInputDevice8A* pad = device(pad_guid());
    pad->SetDataFormat(&c_dfDIJoystick);
    pad->SetCooperativeLevel(m_window, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    SineEffect sine;
    IDirectInputEffect* effects[2] = {};
    for (IDirectInputEffect*& effect : effects)
        pad->CreateEffect(GUID_Sine, &sine.effect, &effect, nullptr);
    pad->Acquire();
    seam_log_enable(true);
    effects[1]->Start(1, 0);
    effects[1]->Stop();
    EXPECT_THAT(seam_log(), ElementsAre("IDirectInputEffect::Start 1", "IDirectInputEffect::Stop 1"));
    for (IDirectInputEffect* effect : effects)
        effect->Release();
}

TEST_F(DinputTest, ScriptDrivesKeyboardMouseAndAVirtualJoystickPerPoll)
{
    std::string error;
    EXPECT_FALSE(dinput_seam_load_script("poll keys=1 nonsense\n", error));
    EXPECT_EQ(error, "input script line 1: poll keys=1 nonsense");
    dinput_seam_reset();
    dinput_seam_show_host_pads(false);
    ASSERT_TRUE(
        dinput_seam_load_script("# two polls\n"
                                "pad 2 4 1\n"
                                "poll keys=44,200 mouse=3,-2 buttons=0 stick=32767,-32768 pad=1 hat=4\n"
                                "poll\n",
                                error))
        << error;
    IDirectInputDevice8A* keyboard = acquired(GUID_SysKeyboard, c_dfDIKeyboard);
    IDirectInputDevice8A* mouse = acquired(GUID_SysMouse, c_dfDIMouse);
    IDirectInputDevice8A* pad = acquired(pad_guid(), c_dfDIJoystick, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    DIPROPRANGE range = property_range(-1024, 1024);
    pad->SetProperty(DIPROP_RANGE, &range.diph);

    BYTE keys[256];
    DIMOUSESTATE buttons{};
    DIJOYSTATE state{};
    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    ASSERT_EQ(mouse->GetDeviceState(sizeof buttons, &buttons), DI_OK);
    ASSERT_EQ(pad->Poll(), DI_OK);
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(keys[DIK_Z], 0x80);
    EXPECT_EQ(keys[DIK_UP], 0x80);
    EXPECT_EQ(buttons.lX, 3);
    EXPECT_EQ(buttons.lY, -2);
    EXPECT_EQ(buttons.rgbButtons[0], 0x80);
    EXPECT_EQ(state.lX, 1024);
    EXPECT_EQ(state.lY, -1024);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    EXPECT_EQ(state.rgdwPOV[0], 18000u);

    ASSERT_EQ(keyboard->GetDeviceState(sizeof keys, keys), DI_OK);
    ASSERT_EQ(mouse->GetDeviceState(sizeof buttons, &buttons), DI_OK);
    ASSERT_EQ(pad->Poll(), DI_OK);
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(keys[DIK_Z], 0);
    EXPECT_EQ(buttons.rgbButtons[0], 0);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.rgbButtons[1], 0);
}

TEST_F(DinputTest, CursorPositionFollowsTheMouseAndSetCursorPos)
{
    POINT origin{0, 0};
    ClientToScreen(m_window, &origin);
    seam_host_mouse_motion(m_window, 30, 40);
    drain();
    POINT point{};
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, origin.x + 30);
    EXPECT_EQ(point.y, origin.y + 40);

    ASSERT_TRUE(SetCursorPos(origin.x + 100, origin.y + 200));
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, origin.x + 100) << "at once, before the move arrives as a message";
    EXPECT_EQ(point.y, origin.y + 200);
    drain();
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, origin.x + 100);
    EXPECT_EQ(point.y, origin.y + 200);
    EXPECT_FALSE(GetCursorPos(nullptr));
}
