// What the devices read: SDL's keyboard and mouse state, SDL's joysticks and their haptics.
#include "platform/impl/dinput_internal.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

struct ScanCode {
    SDL_Scancode scancode;
    BYTE code;
};

// By position on the keyboard, as the scan codes are.
constexpr ScanCode k_scan_codes[] = {
    {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},
    {SDL_SCANCODE_1, DIK_1},
    {SDL_SCANCODE_2, DIK_2},
    {SDL_SCANCODE_3, DIK_3},
    {SDL_SCANCODE_4, DIK_4},
    {SDL_SCANCODE_5, DIK_5},
    {SDL_SCANCODE_6, DIK_6},
    {SDL_SCANCODE_7, DIK_7},
    {SDL_SCANCODE_8, DIK_8},
    {SDL_SCANCODE_9, DIK_9},
    {SDL_SCANCODE_0, DIK_0},
    {SDL_SCANCODE_MINUS, DIK_MINUS},
    {SDL_SCANCODE_EQUALS, DIK_EQUALS},
    {SDL_SCANCODE_BACKSPACE, DIK_BACK},
    {SDL_SCANCODE_TAB, DIK_TAB},
    {SDL_SCANCODE_Q, DIK_Q},
    {SDL_SCANCODE_W, DIK_W},
    {SDL_SCANCODE_E, DIK_E},
    {SDL_SCANCODE_R, DIK_R},
    {SDL_SCANCODE_T, DIK_T},
    {SDL_SCANCODE_Y, DIK_Y},
    {SDL_SCANCODE_U, DIK_U},
    {SDL_SCANCODE_I, DIK_I},
    {SDL_SCANCODE_O, DIK_O},
    {SDL_SCANCODE_P, DIK_P},
    {SDL_SCANCODE_LEFTBRACKET, DIK_LBRACKET},
    {SDL_SCANCODE_RIGHTBRACKET, DIK_RBRACKET},
    {SDL_SCANCODE_RETURN, DIK_RETURN},
    {SDL_SCANCODE_LCTRL, DIK_LCONTROL},
    {SDL_SCANCODE_A, DIK_A},
    {SDL_SCANCODE_S, DIK_S},
    {SDL_SCANCODE_D, DIK_D},
    {SDL_SCANCODE_F, DIK_F},
    {SDL_SCANCODE_G, DIK_G},
    {SDL_SCANCODE_H, DIK_H},
    {SDL_SCANCODE_J, DIK_J},
    {SDL_SCANCODE_K, DIK_K},
    {SDL_SCANCODE_L, DIK_L},
    {SDL_SCANCODE_SEMICOLON, DIK_SEMICOLON},
    {SDL_SCANCODE_APOSTROPHE, DIK_APOSTROPHE},
    {SDL_SCANCODE_GRAVE, DIK_GRAVE},
    {SDL_SCANCODE_LSHIFT, DIK_LSHIFT},
    {SDL_SCANCODE_BACKSLASH, DIK_BACKSLASH},
    {SDL_SCANCODE_NONUSHASH, DIK_BACKSLASH},
    {SDL_SCANCODE_Z, DIK_Z},
    {SDL_SCANCODE_X, DIK_X},
    {SDL_SCANCODE_C, DIK_C},
    {SDL_SCANCODE_V, DIK_V},
    {SDL_SCANCODE_B, DIK_B},
    {SDL_SCANCODE_N, DIK_N},
    {SDL_SCANCODE_M, DIK_M},
    {SDL_SCANCODE_COMMA, DIK_COMMA},
    {SDL_SCANCODE_PERIOD, DIK_PERIOD},
    {SDL_SCANCODE_SLASH, DIK_SLASH},
    {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},
    {SDL_SCANCODE_KP_MULTIPLY, DIK_MULTIPLY},
    {SDL_SCANCODE_LALT, DIK_LMENU},
    {SDL_SCANCODE_SPACE, DIK_SPACE},
    {SDL_SCANCODE_CAPSLOCK, DIK_CAPITAL},
    {SDL_SCANCODE_F1, DIK_F1},
    {SDL_SCANCODE_F2, DIK_F2},
    {SDL_SCANCODE_F3, DIK_F3},
    {SDL_SCANCODE_F4, DIK_F4},
    {SDL_SCANCODE_F5, DIK_F5},
    {SDL_SCANCODE_F6, DIK_F6},
    {SDL_SCANCODE_F7, DIK_F7},
    {SDL_SCANCODE_F8, DIK_F8},
    {SDL_SCANCODE_F9, DIK_F9},
    {SDL_SCANCODE_F10, DIK_F10},
    {SDL_SCANCODE_NUMLOCKCLEAR, DIK_NUMLOCK},
    {SDL_SCANCODE_SCROLLLOCK, DIK_SCROLL},
    {SDL_SCANCODE_KP_7, DIK_NUMPAD7},
    {SDL_SCANCODE_KP_8, DIK_NUMPAD8},
    {SDL_SCANCODE_KP_9, DIK_NUMPAD9},
    {SDL_SCANCODE_KP_MINUS, DIK_SUBTRACT},
    {SDL_SCANCODE_KP_4, DIK_NUMPAD4},
    {SDL_SCANCODE_KP_5, DIK_NUMPAD5},
    {SDL_SCANCODE_KP_6, DIK_NUMPAD6},
    {SDL_SCANCODE_KP_PLUS, DIK_ADD},
    {SDL_SCANCODE_KP_1, DIK_NUMPAD1},
    {SDL_SCANCODE_KP_2, DIK_NUMPAD2},
    {SDL_SCANCODE_KP_3, DIK_NUMPAD3},
    {SDL_SCANCODE_KP_0, DIK_NUMPAD0},
    {SDL_SCANCODE_KP_PERIOD, DIK_DECIMAL},
    {SDL_SCANCODE_NONUSBACKSLASH, DIK_OEM_102},
    {SDL_SCANCODE_F11, DIK_F11},
    {SDL_SCANCODE_F12, DIK_F12},
    {SDL_SCANCODE_F13, DIK_F13},
    {SDL_SCANCODE_F14, DIK_F14},
    {SDL_SCANCODE_F15, DIK_F15},
    {SDL_SCANCODE_INTERNATIONAL2, DIK_KANA},
    {SDL_SCANCODE_INTERNATIONAL1, DIK_ABNT_C1},
    {SDL_SCANCODE_INTERNATIONAL4, DIK_CONVERT},
    {SDL_SCANCODE_INTERNATIONAL5, DIK_NOCONVERT},
    {SDL_SCANCODE_INTERNATIONAL3, DIK_YEN},
    {SDL_SCANCODE_KP_EQUALS, DIK_NUMPADEQUALS},
    {SDL_SCANCODE_AUDIOPREV, DIK_PREVTRACK},
    {SDL_SCANCODE_AUDIONEXT, DIK_NEXTTRACK},
    {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER},
    {SDL_SCANCODE_RCTRL, DIK_RCONTROL},
    {SDL_SCANCODE_MUTE, DIK_MUTE},
    {SDL_SCANCODE_CALCULATOR, DIK_CALCULATOR},
    {SDL_SCANCODE_AUDIOPLAY, DIK_PLAYPAUSE},
    {SDL_SCANCODE_AUDIOSTOP, DIK_MEDIASTOP},
    {SDL_SCANCODE_VOLUMEDOWN, DIK_VOLUMEDOWN},
    {SDL_SCANCODE_VOLUMEUP, DIK_VOLUMEUP},
    {SDL_SCANCODE_AC_HOME, DIK_WEBHOME},
    {SDL_SCANCODE_KP_COMMA, DIK_NUMPADCOMMA},
    {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE},
    {SDL_SCANCODE_PRINTSCREEN, DIK_SYSRQ},
    {SDL_SCANCODE_RALT, DIK_RMENU},
    {SDL_SCANCODE_PAUSE, DIK_PAUSE},
    {SDL_SCANCODE_HOME, DIK_HOME},
    {SDL_SCANCODE_UP, DIK_UP},
    {SDL_SCANCODE_PAGEUP, DIK_PRIOR},
    {SDL_SCANCODE_LEFT, DIK_LEFT},
    {SDL_SCANCODE_RIGHT, DIK_RIGHT},
    {SDL_SCANCODE_END, DIK_END},
    {SDL_SCANCODE_DOWN, DIK_DOWN},
    {SDL_SCANCODE_PAGEDOWN, DIK_NEXT},
    {SDL_SCANCODE_INSERT, DIK_INSERT},
    {SDL_SCANCODE_DELETE, DIK_DELETE},
    {SDL_SCANCODE_LGUI, DIK_LWIN},
    {SDL_SCANCODE_RGUI, DIK_RWIN},
    {SDL_SCANCODE_APPLICATION, DIK_APPS},
    {SDL_SCANCODE_POWER, DIK_POWER},
    {SDL_SCANCODE_SLEEP, DIK_SLEEP},
    {SDL_SCANCODE_AC_SEARCH, DIK_WEBSEARCH},
    {SDL_SCANCODE_AC_BOOKMARKS, DIK_WEBFAVORITES},
    {SDL_SCANCODE_AC_REFRESH, DIK_WEBREFRESH},
    {SDL_SCANCODE_AC_STOP, DIK_WEBSTOP},
    {SDL_SCANCODE_AC_FORWARD, DIK_WEBFORWARD},
    {SDL_SCANCODE_AC_BACK, DIK_WEBBACK},
    {SDL_SCANCODE_COMPUTER, DIK_MYCOMPUTER},
    {SDL_SCANCODE_MAIL, DIK_MAIL},
    {SDL_SCANCODE_MEDIASELECT, DIK_MEDIASELECT},
};

BYTE scan_code(int sdl_scancode)
{
    for (const ScanCode& entry : k_scan_codes)
        if (entry.scancode == sdl_scancode) return entry.code;
    return 0;
}

constexpr int k_mouse_wheel_unit = 120;

MouseTotals g_mouse_totals;
// The wheel is seen as events only; a watch adds them up wherever SDL receives them.
std::atomic<std::int64_t> g_wheel_total{0};
std::once_flag g_wheel_watch;

int watch_wheel(void*, SDL_Event* event)
{
    if (event->type != SDL_MOUSEWHEEL) return 0;
    float notches =
        event->wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event->wheel.preciseY : event->wheel.preciseY;
    g_wheel_total += std::lround(notches * k_mouse_wheel_unit);
    return 0;
}

// Movement since the previous call joins the totals; the buttons are SDL's now.
void drain_host_mouse()
{
    std::call_once(g_wheel_watch, [] { SDL_AddEventWatch(watch_wheel, nullptr); });
    int dx = 0, dy = 0;
    Uint32 buttons = SDL_GetRelativeMouseState(&dx, &dy);
    g_mouse_totals.x += dx;
    g_mouse_totals.y += dy;
    g_mouse_totals.z = g_wheel_total;
    const Uint32 masks[4] = {SDL_BUTTON_LMASK, SDL_BUTTON_RMASK, SDL_BUTTON_MMASK, SDL_BUTTON_X1MASK};
    for (int i = 0; i < 4; ++i)
        g_mouse_totals.buttons[i] = (buttons & masks[i]) ? 0x80 : 0;
}

DWORD pov_of_hat(Uint8 hat)
{
    switch (hat) {
    case SDL_HAT_UP:
        return 0;
    case SDL_HAT_RIGHTUP:
        return 4500;
    case SDL_HAT_RIGHT:
        return 9000;
    case SDL_HAT_RIGHTDOWN:
        return 13500;
    case SDL_HAT_DOWN:
        return 18000;
    case SDL_HAT_LEFTDOWN:
        return 22500;
    case SDL_HAT_LEFT:
        return 27000;
    case SDL_HAT_LEFTUP:
        return 31500;
    default:
        return 0xFFFFFFFF;
    }
}

// SDL's joysticks carry this in Data2 and Data3 of their instance GUID, the instance id in Data1.
constexpr WORD k_sdl_pad_mark2 = 0x5344; // "SD"
constexpr WORD k_sdl_pad_mark3 = 0x4C4A; // "LJ"

GUID pad_instance_guid(SDL_JoystickID id, const SDL_JoystickGUID& product)
{
    GUID guid{static_cast<std::uint32_t>(id), k_sdl_pad_mark2, k_sdl_pad_mark3, {}};
    std::memcpy(guid.Data4, product.data, sizeof guid.Data4);
    return guid;
}

GUID pad_product_guid(const SDL_JoystickGUID& product)
{
    GUID guid;
    static_assert(sizeof guid == sizeof product.data);
    std::memcpy(&guid, product.data, sizeof guid);
    return guid;
}

// The haptic device of a joystick when it plays sine effects, else null.
SDL_Haptic* open_sine_haptic(const DinputRuntime& runtime, SDL_Joystick* joystick)
{
    if (!runtime.haptics() || SDL_JoystickIsHaptic(joystick) != SDL_TRUE) return nullptr;
    SDL_Haptic* haptic = SDL_HapticOpenFromJoystick(joystick);
    if (haptic && !(SDL_HapticQuery(haptic) & SDL_HAPTIC_SINE)) {
        SDL_HapticClose(haptic);
        haptic = nullptr;
    }
    return haptic;
}

Uint16 clamp_u16(std::uint64_t value)
{
    return static_cast<Uint16>(std::min<std::uint64_t>(value, 0xFFFF));
}

Uint16 milliseconds16(DWORD microseconds)
{
    return clamp_u16(microseconds / 1000);
}

Sint16 level16(LONG level)
{
    return static_cast<Sint16>(std::clamp<LONG>(level, -10000, 10000) * 32767 / 10000);
}

class SdlPad final : public PadSource {
public:
    SdlPad(std::shared_ptr<DinputRuntime> runtime, SDL_Joystick* joystick)
        : m_runtime(std::move(runtime)), m_joystick(joystick),
          m_haptic(open_sine_haptic(*m_runtime, joystick))
    {
    }
    ~SdlPad() override
    {
        if (m_haptic) SDL_HapticClose(m_haptic);
        SDL_JoystickClose(m_joystick);
    }
    SdlPad(const SdlPad&) = delete;
    SdlPad& operator=(const SdlPad&) = delete;

    bool attached() override { return SDL_JoystickGetAttached(m_joystick) == SDL_TRUE; }
    DWORD device_type() override
    {
        return SDL_JoystickGetType(m_joystick) == SDL_JOYSTICK_TYPE_GAMECONTROLLER ? DINPUT_GAMEPAD_TYPE
                                                                                   : DINPUT_JOYSTICK_TYPE;
    }

    void poll() override { SDL_JoystickUpdate(); }

    void read(DIJOYSTATE& state, const DinputAxisSettings (&axes)[DINPUT_AXES]) override
    {
        if (dinput_seam_virtual_read(SDL_JoystickInstanceID(m_joystick))) SDL_JoystickUpdate();
        LONG* const values[DINPUT_AXES] = {&state.lX,  &state.lY,  &state.lZ,           &state.lRx,
                                           &state.lRy, &state.lRz, &state.rglSlider[0], &state.rglSlider[1]};
        for (int axis = 0; axis < axis_count(); ++axis)
            *values[axis] = dinput_scale_axis(SDL_JoystickGetAxis(m_joystick, axis), axes[axis]);
        for (int pov = 0; pov < 4; ++pov)
            state.rgdwPOV[pov] =
                pov < pov_count() ? pov_of_hat(SDL_JoystickGetHat(m_joystick, pov)) : 0xFFFFFFFF;
        for (int button = 0; button < button_count(); ++button)
            state.rgbButtons[button] = SDL_JoystickGetButton(m_joystick, button) ? 0x80 : 0;
    }

    int axis_count() override { return std::clamp(SDL_JoystickNumAxes(m_joystick), 0, DINPUT_AXES); }
    int button_count() override { return std::clamp(SDL_JoystickNumButtons(m_joystick), 0, 32); }
    int pov_count() override { return std::clamp(SDL_JoystickNumHats(m_joystick), 0, 4); }
    bool force_feedback() override { return m_haptic != nullptr; }
    DWORD force_axes() override { return m_haptic ? std::clamp(SDL_HapticNumAxes(m_haptic), 0, 2) : 0; }

    bool set_autocenter(bool on) override
    {
        if (!m_haptic || !(SDL_HapticQuery(m_haptic) & SDL_HAPTIC_AUTOCENTER)) return false;
        return SDL_HapticSetAutocenter(m_haptic, on ? 100 : 0) == 0;
    }

    int effect_load(int id, const DinputPeriodic& effect) override
    {
        if (!m_haptic) return -1;
        SDL_HapticEffect sdl = to_sdl(effect);
        if (id < 0) return SDL_HapticNewEffect(m_haptic, &sdl);
        return SDL_HapticUpdateEffect(m_haptic, id, &sdl) == 0 ? id : -1;
    }
    bool effect_start(int id, DWORD iterations) override
    {
        return m_haptic && SDL_HapticRunEffect(
                               m_haptic, id, iterations == INFINITE ? SDL_HAPTIC_INFINITY : iterations) == 0;
    }
    bool effect_stop(int id) override { return m_haptic && SDL_HapticStopEffect(m_haptic, id) == 0; }
    void effect_unload(int id) override
    {
        if (m_haptic) SDL_HapticDestroyEffect(m_haptic, id);
    }

private:
    static SDL_HapticEffect to_sdl(const DinputPeriodic& effect)
    {
        SDL_HapticEffect sdl{};
        SDL_HapticPeriodic& periodic = sdl.periodic;
        periodic.type = SDL_HAPTIC_SINE;
        periodic.direction.type = SDL_HAPTIC_CARTESIAN;
        periodic.direction.dir[0] = effect.direction[0];
        periodic.direction.dir[1] = effect.direction[1];
        periodic.length = effect.duration_us == INFINITE ? SDL_HAPTIC_INFINITY : effect.duration_us / 1000;
        periodic.delay = milliseconds16(effect.start_delay_us);
        periodic.period = std::max<Uint16>(milliseconds16(effect.period_us), 1);
        periodic.magnitude = level16(LONG(effect.magnitude));
        periodic.offset = level16(effect.offset);
        periodic.phase = clamp_u16(effect.phase);
        periodic.attack_length = milliseconds16(effect.attack_time_us);
        periodic.attack_level = clamp_u16(std::uint64_t{effect.attack_level} * 0xFFFF / DI_FFNOMINALMAX);
        periodic.fade_length = milliseconds16(effect.fade_time_us);
        periodic.fade_level = clamp_u16(std::uint64_t{effect.fade_level} * 0xFFFF / DI_FFNOMINALMAX);
        return sdl;
    }

    std::shared_ptr<DinputRuntime> m_runtime;
    SDL_Joystick* m_joystick;
    SDL_Haptic* m_haptic;
};

bool sdl_pad_listed(int index)
{
    return SDL_JoystickIsVirtual(index) == SDL_TRUE || dinput_seam_host_pads_visible();
}

PadInfo sdl_pad_info(const DinputRuntime& runtime, int index)
{
    SDL_JoystickGUID product = SDL_JoystickGetDeviceGUID(index);
    const char* name = SDL_JoystickNameForIndex(index);
    bool gamepad = SDL_JoystickGetDeviceType(index) == SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    PadInfo info{pad_instance_guid(SDL_JoystickGetDeviceInstanceID(index), product),
                 pad_product_guid(product), name ? name : "Game Controller",
                 gamepad ? DINPUT_GAMEPAD_TYPE : DINPUT_JOYSTICK_TYPE, false};
    if (SDL_Joystick* joystick = SDL_JoystickOpen(index)) {
        if (SDL_Haptic* haptic = open_sine_haptic(runtime, joystick)) {
            info.force_feedback = true;
            SDL_HapticClose(haptic);
        }
        SDL_JoystickClose(joystick);
    }
    return info;
}

} // namespace

LONG dinput_scale_axis(int raw, const DinputAxisSettings& axis)
{
    double value = raw < 0 ? raw / 32768.0 : raw / 32767.0;
    double magnitude = std::fabs(value);
    double dead_zone = axis.dead_zone / 10000.0;
    double saturation = std::max(axis.saturation / 10000.0, dead_zone);
    if (magnitude <= dead_zone) {
        magnitude = 0;
    } else if (magnitude >= saturation) {
        magnitude = 1;
    } else {
        magnitude = (magnitude - dead_zone) / (saturation - dead_zone);
    }
    double centre = (double(axis.min) + double(axis.max)) / 2;
    double half = (double(axis.max) - double(axis.min)) / 2;
    return static_cast<LONG>(std::lround(centre + std::copysign(magnitude, value) * half));
}

std::vector<PadInfo> dinput_pads(const DinputRuntime& runtime)
{
    std::vector<PadInfo> pads;
    if (runtime.joysticks()) {
        for (int index = 0; index < SDL_NumJoysticks(); ++index)
            if (sdl_pad_listed(index)) pads.push_back(sdl_pad_info(runtime, index));
    }
    for (PadInfo& pad : dinput_seam_pads())
        pads.push_back(std::move(pad));
    return pads;
}

std::shared_ptr<PadSource> dinput_open_pad(const DinputRuntime& runtime, const GUID& instance)
{
    if (instance.Data2 != k_sdl_pad_mark2 || instance.Data3 != k_sdl_pad_mark3)
        return dinput_seam_open_pad(instance);
    if (!runtime.joysticks()) return nullptr;
    for (int index = 0; index < SDL_NumJoysticks(); ++index) {
        if (!sdl_pad_listed(index) ||
            SDL_JoystickGetDeviceInstanceID(index) != SDL_JoystickID(instance.Data1))
            continue;
        if (SDL_Joystick* joystick = SDL_JoystickOpen(index))
            return std::make_shared<SdlPad>(dinput_runtime(), joystick);
    }
    return nullptr;
}

void dinput_keyboard_read(BYTE (&keys)[256])
{
    if (dinput_seam_scripted()) {
        dinput_seam_next_keyboard(keys);
        return;
    }
    std::memset(keys, 0, sizeof keys);
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (int scancode = 0; scancode < count; ++scancode)
        if (state[scancode])
            if (BYTE code = scan_code(scancode)) keys[code] = 0x80;
}

MouseTotals dinput_mouse_read()
{
    if (dinput_seam_scripted()) return dinput_seam_mouse(true);
    drain_host_mouse();
    return g_mouse_totals;
}

MouseTotals dinput_mouse_peek()
{
    if (dinput_seam_scripted()) return dinput_seam_mouse(false);
    drain_host_mouse();
    return g_mouse_totals;
}
