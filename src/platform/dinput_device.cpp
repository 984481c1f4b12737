// A DirectInput device: data format, cooperative level, acquisition, properties and the reads.
#include "platform/impl/dinput_internal.h"
#include "platform/impl/win_window_sdl.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// The devices acquired exclusively, so a second exclusive acquisition of the same device fails.
std::vector<DinputDevice*> g_exclusive;

constexpr DWORD k_level_flags =
    DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_BACKGROUND | DISCL_NOWINKEY;

const GUID* const k_axis_types[DINPUT_AXES] = {&GUID_XAxis,  &GUID_YAxis,  &GUID_ZAxis,  &GUID_RxAxis,
                                               &GUID_RyAxis, &GUID_RzAxis, &GUID_Slider, &GUID_Slider};
const char* const k_axis_names[DINPUT_AXES] = {"X Axis",     "Y Axis",     "Z Axis", "X Rotation",
                                               "Y Rotation", "Z Rotation", "Slider", "Slider 2"};

const DIDATAFORMAT& format_of(DinputKind kind)
{
    switch (kind) {
    case DinputKind::keyboard:
        return c_dfDIKeyboard;
    case DinputKind::mouse:
        return c_dfDIMouse;
    default:
        return c_dfDIJoystick;
    }
}

bool same_format(const DIDATAFORMAT& a, const DIDATAFORMAT& b)
{
    return a.dwSize == b.dwSize && a.dwObjSize == b.dwObjSize && a.dwFlags == b.dwFlags &&
           a.dwDataSize == b.dwDataSize && a.dwNumObjs == b.dwNumObjs && a.rgodf == b.rgodf;
}

LONG clamp_to_long(std::int64_t value)
{
    return static_cast<LONG>(
        std::clamp<std::int64_t>(value, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()));
}

// A property's number: Data1 of an otherwise zero GUID; 0 for any other GUID.
DWORD property_number(const GUID& property)
{
    GUID plain{property.Data1, 0, 0, {}};
    return IsEqualGUID(property, plain) ? property.Data1 : 0;
}

} // namespace

DWORD dinput_device_type(DinputKind kind)
{
    return kind == DinputKind::keyboard ? DI8DEVTYPE_KEYBOARD | DI8DEVTYPEKEYBOARD_PCENH << 8
                                        : DI8DEVTYPE_MOUSE | DI8DEVTYPEMOUSE_TRADITIONAL << 8;
}

DinputDevice::DinputDevice(std::shared_ptr<DinputRuntime> runtime, DinputKind kind, const GUID& instance,
                           std::shared_ptr<PadSource> pad)
    : m_runtime(std::move(runtime)), m_kind(kind), m_instance(instance), m_pad(std::move(pad)),
      m_axis_mode(kind == DinputKind::mouse ? DIPROPAXISMODE_REL : DIPROPAXISMODE_ABS)
{
}

ULONG DinputDevice::AddRef()
{
    return ++m_refs;
}

ULONG DinputDevice::Release()
{
    ULONG left = --m_refs;
    if (left == 0) {
        std::lock_guard lock(g_dinput_lock);
        unacquire_now();
        delete this;
    }
    return left;
}

// ---- Acquisition -------------------------------------------------------------------------------

bool DinputDevice::in_foreground() const
{
    return m_window && GetActiveWindow() == m_window;
}

bool DinputDevice::exclusive_elsewhere() const
{
    return std::any_of(g_exclusive.begin(), g_exclusive.end(), [this](const DinputDevice* other) {
        return other != this && other->m_kind == m_kind && IsEqualGUID(other->m_instance, m_instance);
    });
}

bool DinputDevice::check_lost()
{
    if (!m_acquired) return false;
    bool lost = m_loss_count != dinput_seam_loss_count() ||
                ((m_level & DISCL_FOREGROUND) && !in_foreground()) || (m_pad && !m_pad->attached());
    if (lost) unacquire_now();
    return lost;
}

void DinputDevice::unacquire_now()
{
    if (!m_acquired) return;
    m_acquired = false;
    for (DinputEffect* effect : m_effects)
        dinput_effect_unload(*effect);
    std::erase(g_exclusive, this);
    if (m_kind == DinputKind::mouse && (m_level & DISCL_EXCLUSIVE)) SDL_SetRelativeMouseMode(SDL_FALSE);
}

bool DinputDevice::acquired_exclusively()
{
    return !check_lost() && m_acquired && (m_level & DISCL_EXCLUSIVE);
}

HRESULT DinputDevice::Acquire()
{
    std::lock_guard lock(g_dinput_lock);
    if (HRESULT failure = dinput_seam_failure("Acquire")) return failure;
    if (!m_format) return DIERR_INVALIDPARAM;
    if (!check_lost() && m_acquired) return DI_NOEFFECT;
    if (m_pad && !m_pad->attached()) return DIERR_UNPLUGGED;
    if ((m_level & DISCL_FOREGROUND) && !in_foreground()) return DIERR_OTHERAPPHASPRIO;
    if ((m_level & DISCL_EXCLUSIVE) && exclusive_elsewhere()) return DIERR_OTHERAPPHASPRIO;
    m_acquired = true;
    m_loss_count = dinput_seam_loss_count();
    if (m_level & DISCL_EXCLUSIVE) g_exclusive.push_back(this);
    if (m_kind == DinputKind::mouse) {
        m_mouse_last = dinput_mouse_peek();
        // The exclusive mouse belongs to the program alone: the cursor is hidden and held.
        if (m_level & DISCL_EXCLUSIVE) SDL_SetRelativeMouseMode(SDL_TRUE);
    }
    return DI_OK;
}

HRESULT DinputDevice::Unacquire()
{
    std::lock_guard lock(g_dinput_lock);
    if (!m_acquired) return DI_NOEFFECT;
    unacquire_now();
    return DI_OK;
}

// ---- Set-up ------------------------------------------------------------------------------------

HRESULT DinputDevice::SetDataFormat(const DIDATAFORMAT* format)
{
    std::lock_guard lock(g_dinput_lock);
    if (HRESULT failure = dinput_seam_failure("SetDataFormat")) return failure;
    if (m_acquired) return DIERR_ACQUIRED;
    if (!format || !same_format(*format, format_of(m_kind))) return DIERR_INVALIDPARAM;
    m_format = &format_of(m_kind);
    return DI_OK;
}

HRESULT DinputDevice::SetCooperativeLevel(HWND window, DWORD flags)
{
    std::lock_guard lock(g_dinput_lock);
    if (HRESULT failure = dinput_seam_failure("SetCooperativeLevel")) return failure;
    bool exclusive = flags & DISCL_EXCLUSIVE;
    bool background = flags & DISCL_BACKGROUND;
    if ((flags & ~k_level_flags) || exclusive == bool(flags & DISCL_NONEXCLUSIVE) ||
        background == bool(flags & DISCL_FOREGROUND))
        return DIERR_INVALIDPARAM;
    if ((flags & DISCL_NOWINKEY) && (m_kind != DinputKind::keyboard || exclusive)) return DIERR_INVALIDPARAM;
    if (!window || !IsWindow(window)) return E_HANDLE;
    if (exclusive && background && m_kind != DinputKind::pad) return DIERR_UNSUPPORTED;
    if (m_acquired) return DIERR_ACQUIRED;
    m_window = window;
    m_level = flags;
    return DI_OK;
}

HRESULT DinputDevice::selected_axis(const DIPROPHEADER& header, int& axis) const
{
    int count = m_pad ? m_pad->axis_count() : 0;
    switch (header.dwHow) {
    case DIPH_DEVICE:
        if (header.dwObj != 0) return DIERR_INVALIDPARAM;
        axis = -1;
        return DI_OK;
    case DIPH_BYOFFSET:
        if (!m_format) return DIERR_NOTFOUND;
        axis = static_cast<int>(header.dwObj / sizeof(LONG));
        if (header.dwObj % sizeof(LONG) != 0 || axis >= count) return DIERR_OBJECTNOTFOUND;
        return DI_OK;
    case DIPH_BYID:
        axis = static_cast<int>(DIDFT_GETINSTANCE(header.dwObj));
        if (!(DIDFT_GETTYPE(header.dwObj) & DIDFT_AXIS) || axis >= count) return DIERR_OBJECTNOTFOUND;
        return DI_OK;
    default:
        return DIERR_INVALIDPARAM;
    }
}

HRESULT DinputDevice::set_axis_property(DWORD property, const DIPROPHEADER& header)
{
    if (m_kind != DinputKind::pad) return DIERR_UNSUPPORTED;
    bool range = property == 4;
    if (header.dwSize != (range ? sizeof(DIPROPRANGE) : sizeof(DIPROPDWORD))) return DIERR_INVALIDPARAM;
    int axis = 0;
    if (HRESULT hr = selected_axis(header, axis); FAILED(hr)) return hr;
    DinputAxisSettings value{};
    if (range) {
        const auto& record = reinterpret_cast<const DIPROPRANGE&>(header);
        if (record.lMin >= record.lMax) return DIERR_INVALIDPARAM;
        value.min = record.lMin;
        value.max = record.lMax;
    } else {
        value.dead_zone = value.saturation = reinterpret_cast<const DIPROPDWORD&>(header).dwData;
        if (value.dead_zone > 10000) return DIERR_INVALIDPARAM;
    }
    for (int i = 0; i < DINPUT_AXES; ++i) {
        if (axis >= 0 && i != axis) continue;
        DinputAxisSettings& settings = m_axes[i];
        if (range) {
            settings.min = value.min;
            settings.max = value.max;
        } else if (property == 5) {
            settings.dead_zone = value.dead_zone;
        } else {
            settings.saturation = value.saturation;
        }
    }
    return DI_OK;
}

HRESULT DinputDevice::set_device_dword(DWORD property, const DIPROPHEADER& header)
{
    if (header.dwSize != sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
    if (header.dwHow != DIPH_DEVICE || header.dwObj != 0) return DIERR_INVALIDPARAM;
    DWORD data = reinterpret_cast<const DIPROPDWORD&>(header).dwData;
    if (m_acquired) return DIERR_ACQUIRED;
    switch (property) {
    case 1:
        m_buffer_size = data;
        return DI_OK;
    case 2:
        if (m_kind == DinputKind::keyboard) return DIERR_UNSUPPORTED;
        if (data != DIPROPAXISMODE_ABS && data != DIPROPAXISMODE_REL) return DIERR_INVALIDPARAM;
        m_axis_mode = data;
        return DI_OK;
    default: // 9, auto-centring
        if (!m_pad || !m_pad->force_feedback()) return DIERR_UNSUPPORTED;
        if (data > DIPROPAUTOCENTER_ON) return DIERR_INVALIDPARAM;
        return m_pad->set_autocenter(data == DIPROPAUTOCENTER_ON) ? DI_OK : DI_PROPNOEFFECT;
    }
}

HRESULT DinputDevice::SetProperty(const GUID& property, const DIPROPHEADER* header)
{
    std::lock_guard lock(g_dinput_lock);
    if (HRESULT failure = dinput_seam_failure("SetProperty")) return failure;
    if (!header || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
    switch (DWORD number = property_number(property)) {
    case 1:
    case 2:
    case 9:
        return set_device_dword(number, *header);
    case 4:
    case 5:
    case 6:
        return set_axis_property(number, *header);
    default:
        return DIERR_UNSUPPORTED;
    }
}

// ---- Description -------------------------------------------------------------------------------

std::vector<DinputDevice::Object> DinputDevice::objects() const
{
    std::vector<Object> list;
    auto add = [&list](const GUID* type, DWORD offset, DWORD id, DWORD flags, const char* name) {
        Object object{type, offset, id, flags, {}};
        std::snprintf(object.name, sizeof object.name, "%s", name);
        list.push_back(object);
    };
    char name[32];
    switch (m_kind) {
    case DinputKind::keyboard:
        for (DWORD code = 1; code < 256; ++code) {
            std::snprintf(name, sizeof name, "Key %u", code);
            add(&GUID_Key, code, DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(code), 0, name);
        }
        break;
    case DinputKind::mouse:
        for (DWORD axis = 0; axis < 3; ++axis)
            add(k_axis_types[axis], axis * sizeof(LONG), DIDFT_RELAXIS | DIDFT_MAKEINSTANCE(axis),
                DIDOI_ASPECTPOSITION, axis == 2 ? "Wheel" : k_axis_names[axis]);
        for (DWORD button = 0; button < 4; ++button) {
            std::snprintf(name, sizeof name, "Button %u", button);
            add(&GUID_Button, offsetof(DIMOUSESTATE, rgbButtons) + button,
                DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(button), 0, name);
        }
        break;
    case DinputKind::pad:
        for (int axis = 0; axis < m_pad->axis_count(); ++axis) {
            bool actuator = m_pad->force_feedback() && DWORD(axis) < m_pad->force_axes();
            add(k_axis_types[axis], axis * sizeof(LONG),
                DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(axis) | (actuator ? DIDFT_FFACTUATOR : 0),
                DIDOI_ASPECTPOSITION | (actuator ? DIDOI_FFACTUATOR : 0), k_axis_names[axis]);
        }
        for (int pov = 0; pov < m_pad->pov_count(); ++pov) {
            std::snprintf(name, sizeof name, "Hat %d", pov);
            add(&GUID_POV, DIJOFS_POV(pov), DIDFT_POV | DIDFT_MAKEINSTANCE(pov), 0, name);
        }
        for (int button = 0; button < m_pad->button_count(); ++button) {
            std::snprintf(name, sizeof name, "Button %d", button);
            add(&GUID_Button, DIJOFS_BUTTON(button), DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(button), 0, name);
        }
        break;
    }
    return list;
}

HRESULT DinputDevice::GetCapabilities(DIDEVCAPS* caps)
{
    std::lock_guard lock(g_dinput_lock);
    if (HRESULT failure = dinput_seam_failure("GetCapabilities")) return failure;
    if (!caps || caps->dwSize != sizeof(DIDEVCAPS)) return DIERR_INVALIDPARAM;
    *caps = DIDEVCAPS{};
    caps->dwSize = sizeof(DIDEVCAPS);
    caps->dwDevType = m_pad ? m_pad->device_type() : dinput_device_type(m_kind);
    caps->dwFlags = DIDC_ATTACHED;
    for (const Object& object : objects()) {
        DWORD type = DIDFT_GETTYPE(object.id);
        if (type & DIDFT_AXIS) ++caps->dwAxes;
        if (type & DIDFT_BUTTON) ++caps->dwButtons;
        if (type & DIDFT_POV) ++caps->dwPOVs;
    }
    if (m_pad) {
        caps->dwFlags = (m_pad->attached() ? DIDC_ATTACHED : 0) | DIDC_POLLEDDEVICE;
        if (m_pad->force_feedback()) {
            caps->dwFlags |= DIDC_FORCEFEEDBACK;
            caps->dwFFSamplePeriod = caps->dwFFMinTimeResolution = 1000; // SDL's effects step in milliseconds
        }
    }
    return DI_OK;
}

HRESULT DinputDevice::EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, void* context, DWORD flags)
{
    if (!callback) return DIERR_INVALIDPARAM;
    std::vector<DIDEVICEOBJECTINSTANCEA> list;
    {
        std::lock_guard lock(g_dinput_lock);
        DWORD kinds = DIDFT_GETTYPE(flags);
        for (const Object& object : objects()) {
            if (kinds != DIDFT_ALL && !(DIDFT_GETTYPE(object.id) & kinds)) continue;
            if ((flags & DIDFT_FFACTUATOR) && !(object.id & DIDFT_FFACTUATOR)) continue;
            DIDEVICEOBJECTINSTANCEA instance{};
            instance.dwSize = sizeof instance;
            instance.guidType = *object.type;
            instance.dwOfs = object.offset;
            instance.dwType = object.id;
            instance.dwFlags = object.flags;
            std::snprintf(instance.tszName, sizeof instance.tszName, "%s", object.name);
            if (object.flags & DIDOI_FFACTUATOR) instance.dwFFMaxForce = instance.dwFFForceResolution = 10000;
            list.push_back(instance);
        }
    }
    // The callback may set properties, which takes the lock.
    for (const DIDEVICEOBJECTINSTANCEA& instance : list)
        if (callback(&instance, context) == DIENUM_STOP) break;
    return DI_OK;
}

// ---- Reads -------------------------------------------------------------------------------------

void DinputDevice::read_mouse(DIMOUSESTATE& state)
{
    MouseTotals totals = dinput_mouse_read();
    if (m_axis_mode == DIPROPAXISMODE_REL) {
        state.lX = clamp_to_long(totals.x - m_mouse_last.x);
        state.lY = clamp_to_long(totals.y - m_mouse_last.y);
        state.lZ = clamp_to_long(totals.z - m_mouse_last.z);
    } else {
        state.lX = clamp_to_long(totals.x);
        state.lY = clamp_to_long(totals.y);
        state.lZ = clamp_to_long(totals.z);
    }
    std::memcpy(state.rgbButtons, totals.buttons, sizeof state.rgbButtons);
    m_mouse_last = totals;
}

HRESULT DinputDevice::GetDeviceState(DWORD size, void* data)
{
    std::lock_guard lock(g_dinput_lock);
    if (HRESULT failure = dinput_seam_failure("GetDeviceState")) return failure;
    if (!data || !m_format || size != m_format->dwDataSize) return DIERR_INVALIDPARAM;
    if (check_lost()) return DIERR_INPUTLOST;
    if (!m_acquired) return DIERR_NOTACQUIRED;
    switch (m_kind) {
    case DinputKind::keyboard: {
        BYTE keys[256];
        dinput_keyboard_read(keys);
        std::memcpy(data, keys, sizeof keys);
        break;
    }
    case DinputKind::mouse: {
        DIMOUSESTATE state{};
        read_mouse(state);
        std::memcpy(data, &state, sizeof state);
        break;
    }
    case DinputKind::pad: {
        DIJOYSTATE state{};
        m_pad->read(state, m_axes);
        std::memcpy(data, &state, sizeof state);
        break;
    }
    }
    return DI_OK;
}

HRESULT DinputDevice::Poll()
{
    std::lock_guard lock(g_dinput_lock);
    if (HRESULT failure = dinput_seam_failure("Poll")) return failure;
    if (check_lost()) return DIERR_INPUTLOST;
    if (!m_acquired) return DIERR_NOTACQUIRED;
    if (!m_pad) return DI_NOEFFECT;
    m_pad->poll();
    return DI_OK;
}

// ---- Effects -----------------------------------------------------------------------------------

HRESULT DinputDevice::CreateEffect(const GUID& type, const DIEFFECT* effect, IDirectInputEffect** out,
                                   void* outer)
{
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DIERR_NOAGGREGATION;
    std::lock_guard lock(g_dinput_lock);
    if (HRESULT failure = dinput_seam_failure("CreateEffect")) return failure;
    if (!m_pad || !m_pad->force_feedback()) return DIERR_UNSUPPORTED;
    if (!IsEqualGUID(type, GUID_Sine)) return DIERR_DEVICENOTREG;
    return dinput_make_effect(*this, effect, out);
}

bool DinputDevice::is_force_axis(DWORD object, bool by_offset)
{
    DWORD axis = by_offset ? object / sizeof(LONG) : DIDFT_GETINSTANCE(object);
    if (by_offset ? object % sizeof(LONG) != 0 : !(DIDFT_GETTYPE(object) & DIDFT_AXIS)) return false;
    return m_pad && axis < m_pad->force_axes() && int(axis) < m_pad->axis_count();
}

void DinputDevice::stop_effects()
{
    for (DinputEffect* effect : m_effects)
        dinput_effect_stop(*effect);
}

int DinputDevice::effect_created(DinputEffect* effect)
{
    m_effects.push_back(effect);
    return m_effects_made++;
}

void DinputDevice::effect_gone(DinputEffect* effect)
{
    std::erase(m_effects, effect);
}
