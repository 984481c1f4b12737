#include "lowlv/input/input_device.h"

#include "lowlv/input/input_settings.h"

#include <cstring>

const ForceEffectParams g_input_force_table[INPUT_FORCE_EFFECTS] = {
    {5000, 200000}, {10000, 200000}, {5000, 400000}, {10000, 400000}, {5000, 1000000}, {10000, 1000000},
};
const ForceEffectParams g_input_force_defaults[INPUT_FORCE_EFFECTS] = {
    {DI_FFNOMINALMAX, 500000}, {DI_FFNOMINALMAX, 500000}, {DI_FFNOMINALMAX, 500000},
    {DI_FFNOMINALMAX, 500000}, {DI_FFNOMINALMAX, 500000}, {DI_FFNOMINALMAX, 500000},
};

IDirectInput8A* g_dinput = nullptr;
IDirectInputDevice8A* g_input_keyboard = nullptr;
IDirectInputDevice8A* g_input_mouse = nullptr;
IDirectInputDevice8A* g_input_controller = nullptr;
std::uint8_t g_input_controller_ff = 0;
DIDEVCAPS g_input_controller_caps{};
DWORD g_input_ff_axes = 0;
ForceEffectSlot g_input_force_slots[INPUT_FORCE_EFFECTS]{};
std::int32_t g_input_last_force = -1;

namespace {

constexpr LONG k_axis_range = 1024;
constexpr DWORD k_sine_period_us = 50000; // 20 Hz

template <typename T> void release(T*& object)
{
    if (object) object->Release();
    object = nullptr;
}

// A device whose set-up failed is given back at once, so no poll reads a half-made device.
HRESULT give_up(IDirectInputDevice8A*& device, HRESULT result)
{
    release(device);
    return result;
}

DWORD level(bool exclusive, DWORD focus)
{
    return (exclusive ? DISCL_EXCLUSIVE : DISCL_NONEXCLUSIVE) | focus;
}

DIPROPDWORD device_dword(DWORD value)
{
    return {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, value};
}

BOOL create_controller_cb(const DIDEVICEINSTANCEA* instance, void*)
{
    HRESULT hr = g_dinput->CreateDevice(instance->guidInstance, &g_input_controller, nullptr);
    return SUCCEEDED(hr) ? DIENUM_STOP : DIENUM_CONTINUE;
}

BOOL axis_cb(const DIDEVICEOBJECTINSTANCEA* object, void*)
{
    if (object->dwFlags & DIDOI_FFACTUATOR) ++g_input_ff_axes;
    if (object->dwType & DIDFT_AXIS) {
        DIPROPRANGE range{{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), object->dwType, DIPH_BYID},
                          -k_axis_range,
                          k_axis_range};
        g_input_controller->SetProperty(DIPROP_RANGE, &range.diph);
    }
    return DIENUM_CONTINUE;
}

// On a lost or unacquired device: zero, acquire, and read once more.
HRESULT read_state(IDirectInputDevice8A* device, void* data, DWORD size)
{
    HRESULT hr = device->GetDeviceState(size, data);
    if (hr == DIERR_INPUTLOST || hr == DIERR_NOTACQUIRED) {
        std::memset(data, 0, size);
        hr = device->Acquire();
        if (SUCCEEDED(hr)) hr = device->GetDeviceState(size, data);
    }
    return hr;
}

} // namespace

HRESULT input_dinput_create()
{
    return DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                              reinterpret_cast<void**>(&g_dinput), nullptr);
}

HRESULT input_create_keyboard(HWND window, bool exclusive, DWORD focus)
{
    if (FAILED(g_dinput->CreateDevice(GUID_SysKeyboard, &g_input_keyboard, nullptr))) return E_FAIL;
    if (FAILED(g_input_keyboard->SetDataFormat(&c_dfDIKeyboard)) ||
        FAILED(g_input_keyboard->SetCooperativeLevel(window, level(exclusive, focus))))
        return give_up(g_input_keyboard, E_FAIL);
    // Without the foreground now, the first read acquires it.
    return FAILED(g_input_keyboard->Acquire()) ? E_FAIL : S_OK;
}

HRESULT input_create_mouse(HWND window, bool exclusive, DWORD focus)
{
    HRESULT hr = g_dinput->CreateDevice(GUID_SysMouse, &g_input_mouse, nullptr);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = g_input_mouse->SetCooperativeLevel(window, level(exclusive, focus))) ||
        FAILED(hr = g_input_mouse->SetDataFormat(&c_dfDIMouse)))
        return give_up(g_input_mouse, hr);
    DIPROPDWORD mode = device_dword(DIPROPAXISMODE_REL);
    hr = g_input_mouse->SetProperty(DIPROP_AXISMODE, &mode.diph);
    if (FAILED(hr)) return S_OK;
    g_input_mouse->Acquire();
    return hr;
}

HRESULT input_create_controller(HWND window, const InputDeviceSetup& setup)
{
    g_dinput->EnumDevices(DI8DEVCLASS_GAMECTRL, create_controller_cb, nullptr,
                          DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK);
    bool force_feedback = g_input_controller != nullptr;
    if (!g_input_controller)
        g_dinput->EnumDevices(DI8DEVCLASS_GAMECTRL, create_controller_cb, nullptr, DIEDFL_ATTACHEDONLY);
    if (!g_input_controller) return E_FAIL;
    g_input_controller_ff = force_feedback;
    if (FAILED(g_input_controller->SetDataFormat(&c_dfDIJoystick)) ||
        FAILED(g_input_controller->SetCooperativeLevel(window, DISCL_EXCLUSIVE | setup.focus)))
        return give_up(g_input_controller, E_FAIL);
    g_input_controller_caps.dwSize = sizeof(DIDEVCAPS);
    g_input_controller->GetCapabilities(&g_input_controller_caps);
    DIPROPDWORD autocenter = device_dword(DIPROPAUTOCENTER_OFF);
    g_input_controller->SetProperty(DIPROP_AUTOCENTER, &autocenter.diph);
    g_input_ff_axes = 0;
    g_input_controller->EnumObjects(axis_cb, nullptr, DIDFT_AXIS);
    if (g_input_ff_axes > 2) g_input_ff_axes = 2;
    // A controller without force feedback is acquired by its first read.
    if (g_input_controller_ff && SUCCEEDED(input_create_force_effects(setup.forces)))
        g_input_controller->Acquire();
    return S_OK;
}

void input_init_force_effect(ForceEffectSlot& slot)
{
    slot = ForceEffectSlot{};
    slot.axes[0] = DIJOFS_X;
    slot.axes[1] = DIJOFS_Y;
    slot.periodic = {g_input_force_defaults[0].magnitude, 0, 0, k_sine_period_us};
    DIEFFECT& effect = slot.effect;
    effect.dwSize = sizeof(DIEFFECT);
    effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    effect.dwDuration = g_input_force_defaults[0].duration_us;
    effect.dwGain = DI_FFNOMINALMAX;
    effect.dwTriggerButton = DIEB_NOTRIGGER;
    effect.cAxes = g_input_ff_axes;
    effect.rgdwAxes = slot.axes;
    effect.rglDirection = slot.directions;
    effect.cbTypeSpecificParams = sizeof(DIPERIODIC);
    effect.lpvTypeSpecificParams = &slot.periodic;
}

HRESULT input_create_force_effects(const ForceEffectParams (&forces)[INPUT_FORCE_EFFECTS])
{
    HRESULT hr = S_OK;
    for (int i = 0; i < INPUT_FORCE_EFFECTS; ++i) {
        ForceEffectSlot& slot = g_input_force_slots[i];
        input_init_force_effect(slot);
        slot.effect.dwDuration = forces[i].duration_us;
        slot.periodic.dwMagnitude = forces[i].magnitude;
        hr = g_input_controller->CreateEffect(GUID_Sine, &slot.effect, &slot.interface, nullptr);
    }
    return hr;
}

HRESULT input_create_devices(std::uint32_t flags, HWND window, const InputDeviceSetup& setup)
{
    if (!g_dinput) return S_OK;
    if ((flags & INPUT_DEVICE_MOUSE) && !g_input_mouse)
        input_create_mouse(window, flags & INPUT_DEVICE_MOUSE_EXCLUSIVE, setup.focus);
    if ((flags & INPUT_DEVICE_GAME_CONTROLLER) && !g_input_controller) input_create_controller(window, setup);
    if ((flags & INPUT_DEVICE_KEYBOARD) && !g_input_keyboard)
        input_create_keyboard(window, flags & INPUT_DEVICE_KEYBOARD_EXCLUSIVE, setup.focus);
    return S_OK;
}

HRESULT input_read_keyboard(InputDeviceState& block)
{
    return read_state(g_input_keyboard, block.keys, sizeof block.keys);
}

HRESULT input_read_mouse(InputDeviceState& block)
{
    return read_state(g_input_mouse, &block.mouse, sizeof block.mouse);
}

HRESULT input_read_controller(InputDeviceState& block)
{
    HRESULT hr = g_input_controller->Poll();
    if (hr == DIERR_INPUTLOST) {
        if (FAILED(hr = g_input_controller->Acquire()) || FAILED(hr = g_input_controller->Poll())) return hr;
    }
    return read_state(g_input_controller, &block.controller, sizeof block.controller);
}

void input_play_force(std::int32_t n)
{
    auto effect = [](std::int32_t index) -> IDirectInputEffect* {
        return index >= 0 && index < INPUT_FORCE_EFFECTS ? g_input_force_slots[index].interface : nullptr;
    };
    if (IDirectInputEffect* running = effect(g_input_last_force)) running->Stop();
    if (g_input_game_pad && g_input_force_feedback)
        if (IDirectInputEffect* next = effect(n)) next->Start(1, 0);
    g_input_last_force = n;
}

void input_release_devices()
{
    if (g_input_controller) {
        g_input_controller->Unacquire();
        for (int i = INPUT_FORCE_EFFECTS - 1; i >= 0; --i)
            release(g_input_force_slots[i].interface);
        release(g_input_controller);
    }
    for (IDirectInputDevice8A** device : {&g_input_mouse, &g_input_keyboard}) {
        if (*device) (*device)->Unacquire();
        release(*device);
    }
    release(g_dinput);
}

HRESULT input_init_devices(SysInitContext& context)
{
    HRESULT hr = input_dinput_create();
    if (FAILED(hr)) return hr;
    const EngineParams& params = context.params;
    std::uint32_t flags = params.input_settings ? params.input_settings->devices : 0;
    input_create_devices(flags, params.window, {DISCL_FOREGROUND, g_input_force_table});
    return S_OK;
}
