// The DirectInput object: start-up of SDL's joystick and haptic parts, device enumeration and
// creation.
#include "platform/impl/dinput_internal.h"
#include "platform/impl/test_seams.h"
#include "platform/impl/win_window_sdl.h"

#include <SDL.h>

#include <atomic>
#include <cstring>
#include <string>

const GUID IID_IDirectInput8A = {
    0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Sine = {0x13541C23, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};
const GUID GUID_XAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_YAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_ZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RxAxis = {0xA36D02F4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RyAxis = {0xA36D02F5, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_RzAxis = {0xA36D02E3, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Slider = {0xA36D02E4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Button = {0xA36D02F0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_Key = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_POV = {0xA36D02F2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

const GUID DIPROP_BUFFERSIZE = {1, 0, 0, {}};
const GUID DIPROP_AXISMODE = {2, 0, 0, {}};
const GUID DIPROP_RANGE = {4, 0, 0, {}};
const GUID DIPROP_DEADZONE = {5, 0, 0, {}};
const GUID DIPROP_SATURATION = {6, 0, 0, {}};
const GUID DIPROP_AUTOCENTER = {9, 0, 0, {}};

const DIDATAFORMAT c_dfDIKeyboard = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 0, nullptr};
const DIDATAFORMAT c_dfDIMouse = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, sizeof(DIMOUSESTATE), 0, nullptr};
const DIDATAFORMAT c_dfDIJoystick = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS, sizeof(DIJOYSTATE), 0, nullptr};

std::mutex g_dinput_lock;

namespace {

std::weak_ptr<DinputRuntime> g_runtime;

class DirectInput final : public IDirectInput8A {
public:
    explicit DirectInput(std::shared_ptr<DinputRuntime> runtime) : m_runtime(std::move(runtime)) {}

    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        ULONG left = --m_refs;
        if (left == 0) {
            std::lock_guard lock(g_dinput_lock);
            delete this;
        }
        return left;
    }

    HRESULT CreateDevice(const GUID& instance, IDirectInputDevice8A** device, void* outer) override
    {
        if (!device) return DIERR_INVALIDPARAM;
        *device = nullptr;
        if (outer) return DIERR_NOAGGREGATION;
        std::lock_guard lock(g_dinput_lock);
        if (HRESULT failure = dinput_seam_failure("CreateDevice")) return failure;
        if (IsEqualGUID(instance, GUID_SysKeyboard)) {
            *device = new DinputDevice(m_runtime, DinputKind::keyboard, instance, nullptr);
        } else if (IsEqualGUID(instance, GUID_SysMouse)) {
            *device = new DinputDevice(m_runtime, DinputKind::mouse, instance, nullptr);
        } else if (auto pad = dinput_open_pad(*m_runtime, instance)) {
            *device = new DinputDevice(m_runtime, DinputKind::pad, instance, std::move(pad));
        }
        return *device ? DI_OK : DIERR_DEVICENOTREG;
    }

    HRESULT EnumDevices(DWORD device_type, LPDIENUMDEVICESCALLBACKA callback, void* context,
                        DWORD flags) override
    {
        constexpr DWORD k_known_flags = DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK;
        seam_log_add("IDirectInput8::EnumDevices " + std::to_string(device_type) + " " +
                     std::to_string(flags));
        if (!callback || (flags & ~k_known_flags)) return DIERR_INVALIDPARAM;
        std::vector<DIDEVICEINSTANCEA> list;
        {
            std::lock_guard lock(g_dinput_lock);
            if (HRESULT failure = dinput_seam_failure("EnumDevices")) return failure;
            if (!listed_class(device_type)) return DIERR_INVALIDPARAM;
            list = instances(device_type, flags & DIEDFL_FORCEFEEDBACK);
        }
        // The callback may create devices, which takes the lock.
        for (const DIDEVICEINSTANCEA& instance : list)
            if (callback(&instance, context) == DIENUM_STOP) break;
        return DI_OK;
    }

private:
    static bool listed_class(DWORD device_type)
    {
        return device_type <= DI8DEVCLASS_GAMECTRL ||
               (device_type >= DI8DEVTYPE_MOUSE && device_type <= DI8DEVTYPE_GAMEPAD);
    }

    static bool wanted(DWORD device_type, DWORD type)
    {
        DWORD kind = GET_DIDEVICE_TYPE(type);
        switch (device_type) {
        case DI8DEVCLASS_ALL:
            return true;
        case DI8DEVCLASS_POINTER:
            return kind == DI8DEVTYPE_MOUSE;
        case DI8DEVCLASS_KEYBOARD:
            return kind == DI8DEVTYPE_KEYBOARD;
        case DI8DEVCLASS_GAMECTRL:
            return kind == DI8DEVTYPE_JOYSTICK || kind == DI8DEVTYPE_GAMEPAD;
        case DI8DEVCLASS_DEVICE:
            return false;
        default:
            return kind == device_type;
        }
    }

    static DIDEVICEINSTANCEA make_instance(const GUID& guid, DWORD type, const char* name)
    {
        DIDEVICEINSTANCEA instance{};
        instance.dwSize = sizeof instance;
        instance.guidInstance = guid;
        instance.guidProduct = guid;
        instance.dwDevType = type;
        SDL_strlcpy(instance.tszInstanceName, name, sizeof instance.tszInstanceName);
        SDL_strlcpy(instance.tszProductName, name, sizeof instance.tszProductName);
        return instance;
    }

    std::vector<DIDEVICEINSTANCEA> instances(DWORD device_type, bool force_feedback_only) const
    {
        std::vector<DIDEVICEINSTANCEA> list;
        auto add = [&](const DIDEVICEINSTANCEA& instance, bool force_feedback) {
            if (wanted(device_type, instance.dwDevType) && (force_feedback || !force_feedback_only))
                list.push_back(instance);
        };
        add(make_instance(GUID_SysKeyboard, dinput_device_type(DinputKind::keyboard), "Keyboard"), false);
        add(make_instance(GUID_SysMouse, dinput_device_type(DinputKind::mouse), "Mouse"), false);
        for (const PadInfo& pad : dinput_pads(*m_runtime)) {
            DIDEVICEINSTANCEA instance = make_instance(pad.instance, pad.device_type, pad.name.c_str());
            instance.guidProduct = pad.product;
            add(instance, pad.force_feedback);
        }
        return list;
    }

    std::atomic<ULONG> m_refs{1};
    std::shared_ptr<DinputRuntime> m_runtime;
};

} // namespace

DinputRuntime::~DinputRuntime()
{
    if (m_haptics) SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    if (m_joysticks) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

std::shared_ptr<DinputRuntime> dinput_runtime()
{
    if (auto runtime = g_runtime.lock()) return runtime;
    if (!video_start()) return nullptr;
    // Background devices read the controllers while another program has the focus; foreground
    // devices lose their acquisition instead, as the devices decide themselves.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    bool joysticks = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    bool haptics = joysticks && SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
    auto runtime = std::make_shared<DinputRuntime>(joysticks, haptics);
    g_runtime = runtime;
    return runtime;
}

HRESULT DirectInput8Create(HINSTANCE, DWORD version, const GUID& iid, void** out, void* outer)
{
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DIERR_NOAGGREGATION;
    if (version < DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
    if (version > DIRECTINPUT_VERSION) return DIERR_BETADIRECTINPUTVERSION;
    if (!IsEqualGUID(iid, IID_IDirectInput8A)) return DIERR_NOINTERFACE;
    std::lock_guard lock(g_dinput_lock);
    if (HRESULT failure = dinput_seam_failure("DirectInput8Create")) return failure;
    auto runtime = dinput_runtime();
    if (!runtime) return DIERR_NOTINITIALIZED;
    dinput_seam_load_script_file();
    *out = static_cast<IDirectInput8A*>(new DirectInput(std::move(runtime)));
    return DI_OK;
}
