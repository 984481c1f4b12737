// SDL video start-up and the translation of SDL's events into window messages.
//
// SDL event                      message(s) to the window procedure
// window focus gained / lost     WM_ACTIVATEAPP (TRUE / FALSE) to every top-level window when the
//                                program gains or loses the focus; WM_ACTIVATE to the window
// window moved / size changed    WM_MOVE (client origin, screen) / WM_SIZE (client size)
// window minimised, maximised,   WM_SYSCOMMAND SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE, SC_CLOSE,
// restored, close requested      sent; the default procedure carries them out, and what the
//                                procedure declines is undone on the host window
// window exposed                 WM_PAINT (and WM_ERASEBKGND from BeginPaint)
// mouse left the window          WM_NCMOUSEMOVE (HTNOWHERE, screen position), posted
// key down / up                  WM_KEYDOWN / WM_KEYUP, posted, or WM_SYSKEYDOWN / WM_SYSKEYUP
//                                with Alt held (not with Ctrl) and for F10; lParam: repeat count
//                                1, PC scan code (bits 16-23), extended key (24), Alt held (29),
//                                key was down before (30, set for auto-repeat), key up (31).
//                                Print Screen gives only its WM_KEYUP, as on the platform.
// text input                     WM_CHAR per Shift-JIS byte, posted
// mouse motion                   WM_SETCURSOR (HTCLIENT, WM_MOUSEMOVE) sent, WM_MOUSEMOVE posted
// mouse button                   WM_SETCURSOR sent, WM_L/R/MBUTTONDOWN/UP posted
// mouse wheel                    WM_MOUSEWHEEL (120 per notch in the high word of wParam, screen
//                                position in lParam), posted to the window with the focus
#include "platform/impl/sjis.h"
#include "platform/impl/window_internal.h"
#include "platform/impl/window_seams.h"
#include "platform/win_kernel.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct KeyDef {
    SDL_Scancode scancode;
    BYTE virtual_key;
    BYTE scan; // PC keyboard, set 1
    bool extended;
};

// In scan-code order of use: the first row of a virtual key is its main key.
constexpr KeyDef k_keys[] = {
    {SDL_SCANCODE_A, 'A', 0x1E, false},
    {SDL_SCANCODE_B, 'B', 0x30, false},
    {SDL_SCANCODE_C, 'C', 0x2E, false},
    {SDL_SCANCODE_D, 'D', 0x20, false},
    {SDL_SCANCODE_E, 'E', 0x12, false},
    {SDL_SCANCODE_F, 'F', 0x21, false},
    {SDL_SCANCODE_G, 'G', 0x22, false},
    {SDL_SCANCODE_H, 'H', 0x23, false},
    {SDL_SCANCODE_I, 'I', 0x17, false},
    {SDL_SCANCODE_J, 'J', 0x24, false},
    {SDL_SCANCODE_K, 'K', 0x25, false},
    {SDL_SCANCODE_L, 'L', 0x26, false},
    {SDL_SCANCODE_M, 'M', 0x32, false},
    {SDL_SCANCODE_N, 'N', 0x31, false},
    {SDL_SCANCODE_O, 'O', 0x18, false},
    {SDL_SCANCODE_P, 'P', 0x19, false},
    {SDL_SCANCODE_Q, 'Q', 0x10, false},
    {SDL_SCANCODE_R, 'R', 0x13, false},
    {SDL_SCANCODE_S, 'S', 0x1F, false},
    {SDL_SCANCODE_T, 'T', 0x14, false},
    {SDL_SCANCODE_U, 'U', 0x16, false},
    {SDL_SCANCODE_V, 'V', 0x2F, false},
    {SDL_SCANCODE_W, 'W', 0x11, false},
    {SDL_SCANCODE_X, 'X', 0x2D, false},
    {SDL_SCANCODE_Y, 'Y', 0x15, false},
    {SDL_SCANCODE_Z, 'Z', 0x2C, false},
    {SDL_SCANCODE_1, '1', 0x02, false},
    {SDL_SCANCODE_2, '2', 0x03, false},
    {SDL_SCANCODE_3, '3', 0x04, false},
    {SDL_SCANCODE_4, '4', 0x05, false},
    {SDL_SCANCODE_5, '5', 0x06, false},
    {SDL_SCANCODE_6, '6', 0x07, false},
    {SDL_SCANCODE_7, '7', 0x08, false},
    {SDL_SCANCODE_8, '8', 0x09, false},
    {SDL_SCANCODE_9, '9', 0x0A, false},
    {SDL_SCANCODE_0, '0', 0x0B, false},
    {SDL_SCANCODE_RETURN, VK_RETURN, 0x1C, false},
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE, 0x01, false},
    {SDL_SCANCODE_BACKSPACE, VK_BACK, 0x0E, false},
    {SDL_SCANCODE_TAB, VK_TAB, 0x0F, false},
    {SDL_SCANCODE_SPACE, VK_SPACE, 0x39, false},
    {SDL_SCANCODE_MINUS, VK_OEM_MINUS, 0x0C, false},
    {SDL_SCANCODE_EQUALS, VK_OEM_PLUS, 0x0D, false},
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4, 0x1A, false},
    {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6, 0x1B, false},
    {SDL_SCANCODE_BACKSLASH, VK_OEM_5, 0x2B, false},
    {SDL_SCANCODE_SEMICOLON, VK_OEM_1, 0x27, false},
    {SDL_SCANCODE_APOSTROPHE, VK_OEM_7, 0x28, false},
    {SDL_SCANCODE_GRAVE, VK_OEM_3, 0x29, false},
    {SDL_SCANCODE_COMMA, VK_OEM_COMMA, 0x33, false},
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD, 0x34, false},
    {SDL_SCANCODE_SLASH, VK_OEM_2, 0x35, false},
    {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102, 0x56, false},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL, 0x3A, false},
    {SDL_SCANCODE_F1, VK_F1, 0x3B, false},
    {SDL_SCANCODE_F2, VK_F2, 0x3C, false},
    {SDL_SCANCODE_F3, VK_F3, 0x3D, false},
    {SDL_SCANCODE_F4, VK_F4, 0x3E, false},
    {SDL_SCANCODE_F5, VK_F5, 0x3F, false},
    {SDL_SCANCODE_F6, VK_F6, 0x40, false},
    {SDL_SCANCODE_F7, VK_F7, 0x41, false},
    {SDL_SCANCODE_F8, VK_F8, 0x42, false},
    {SDL_SCANCODE_F9, VK_F9, 0x43, false},
    {SDL_SCANCODE_F10, VK_F10, 0x44, false},
    {SDL_SCANCODE_F11, VK_F11, 0x57, false},
    {SDL_SCANCODE_F12, VK_F12, 0x58, false},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT, 0x37, true},
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL, 0x46, false},
    {SDL_SCANCODE_PAUSE, VK_PAUSE, 0x45, false},
    {SDL_SCANCODE_INSERT, VK_INSERT, 0x52, true},
    {SDL_SCANCODE_HOME, VK_HOME, 0x47, true},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR, 0x49, true},
    {SDL_SCANCODE_DELETE, VK_DELETE, 0x53, true},
    {SDL_SCANCODE_END, VK_END, 0x4F, true},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT, 0x51, true},
    {SDL_SCANCODE_RIGHT, VK_RIGHT, 0x4D, true},
    {SDL_SCANCODE_LEFT, VK_LEFT, 0x4B, true},
    {SDL_SCANCODE_DOWN, VK_DOWN, 0x50, true},
    {SDL_SCANCODE_UP, VK_UP, 0x48, true},
    {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK, 0x45, true},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE, 0x35, true},
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY, 0x37, false},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT, 0x4A, false},
    {SDL_SCANCODE_KP_PLUS, VK_ADD, 0x4E, false},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN, 0x1C, true},
    {SDL_SCANCODE_KP_1, VK_NUMPAD1, 0x4F, false},
    {SDL_SCANCODE_KP_2, VK_NUMPAD2, 0x50, false},
    {SDL_SCANCODE_KP_3, VK_NUMPAD3, 0x51, false},
    {SDL_SCANCODE_KP_4, VK_NUMPAD4, 0x4B, false},
    {SDL_SCANCODE_KP_5, VK_NUMPAD5, 0x4C, false},
    {SDL_SCANCODE_KP_6, VK_NUMPAD6, 0x4D, false},
    {SDL_SCANCODE_KP_7, VK_NUMPAD7, 0x47, false},
    {SDL_SCANCODE_KP_8, VK_NUMPAD8, 0x48, false},
    {SDL_SCANCODE_KP_9, VK_NUMPAD9, 0x49, false},
    {SDL_SCANCODE_KP_0, VK_NUMPAD0, 0x52, false},
    {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL, 0x53, false},
    {SDL_SCANCODE_APPLICATION, VK_APPS, 0x5D, true},
    {SDL_SCANCODE_LCTRL, VK_CONTROL, 0x1D, false},
    {SDL_SCANCODE_LSHIFT, VK_SHIFT, 0x2A, false},
    {SDL_SCANCODE_LALT, VK_MENU, 0x38, false},
    {SDL_SCANCODE_LGUI, VK_LWIN, 0x5B, true},
    {SDL_SCANCODE_RCTRL, VK_CONTROL, 0x1D, true},
    {SDL_SCANCODE_RSHIFT, VK_SHIFT, 0x36, false},
    {SDL_SCANCODE_RALT, VK_MENU, 0x38, true},
    {SDL_SCANCODE_RGUI, VK_RWIN, 0x5C, true},
    // The sided names of the modifiers, for MapVirtualKeyA and keybd_event.
    {SDL_SCANCODE_LSHIFT, VK_LSHIFT, 0x2A, false},
    {SDL_SCANCODE_RSHIFT, VK_RSHIFT, 0x36, false},
    {SDL_SCANCODE_LCTRL, VK_LCONTROL, 0x1D, false},
    {SDL_SCANCODE_RCTRL, VK_RCONTROL, 0x1D, true},
    {SDL_SCANCODE_LALT, VK_LMENU, 0x38, false},
    {SDL_SCANCODE_RALT, VK_RMENU, 0x38, true},
};

// Without NumLock the keypad's digits are the cursor keys (with the keypad's own scan codes).
struct NavigationKey {
    SDL_Scancode scancode;
    BYTE virtual_key;
};
constexpr NavigationKey k_keypad_navigation[] = {
    {SDL_SCANCODE_KP_7, VK_HOME},   {SDL_SCANCODE_KP_8, VK_UP},          {SDL_SCANCODE_KP_9, VK_PRIOR},
    {SDL_SCANCODE_KP_4, VK_LEFT},   {SDL_SCANCODE_KP_5, VK_CLEAR},       {SDL_SCANCODE_KP_6, VK_RIGHT},
    {SDL_SCANCODE_KP_1, VK_END},    {SDL_SCANCODE_KP_2, VK_DOWN},        {SDL_SCANCODE_KP_3, VK_NEXT},
    {SDL_SCANCODE_KP_0, VK_INSERT}, {SDL_SCANCODE_KP_PERIOD, VK_DELETE},
};

std::mutex g_video_lock;
std::atomic<bool> g_video_started{false};
DWORD g_video_thread = 0;
Uint32 g_wake_type = 0;
std::atomic<bool> g_wake_pending{false};
bool g_gl = false;
bool g_window_manager = true;
std::atomic<bool> g_ime_disabled{false};
std::atomic<std::int64_t> g_cursor{0}; // x in the high half, y in the low half

// GetKeyState's table: 0x80 down, 0x01 toggled, as of the last key message taken from a queue.
std::array<std::atomic<std::uint8_t>, 256> g_key_state{};
// Keys as the translation has seen them (video thread), for repeat and Alt detection.
std::array<bool, 256> g_keys_down{};
bool g_translated_numlock = false;
// A focus loss waits for the end of the batch: the focus may only be moving between our windows.
HWND g_focus_lost = nullptr;

const KeyDef* key_by_scancode(SDL_Scancode scancode)
{
    for (const KeyDef& key : k_keys)
        if (key.scancode == scancode) return &key;
    return nullptr;
}

const KeyDef* key_by_virtual_key(BYTE virtual_key, bool extended)
{
    for (const KeyDef& key : k_keys)
        if (key.virtual_key == virtual_key && key.extended == extended) return &key;
    for (const KeyDef& key : k_keys)
        if (key.virtual_key == virtual_key) return &key;
    for (const NavigationKey& key : k_keypad_navigation)
        if (key.virtual_key == virtual_key) return key_by_scancode(key.scancode);
    return nullptr;
}

BYTE keypad_navigation(SDL_Scancode scancode)
{
    for (const NavigationKey& key : k_keypad_navigation)
        if (key.scancode == scancode) return key.virtual_key;
    return 0;
}

void set_toggle(BYTE virtual_key, bool on)
{
    std::uint8_t state = g_key_state[virtual_key];
    g_key_state[virtual_key] = on ? state | 0x01 : state & ~0x01;
}

void sync_toggles()
{
    SDL_Keymod mod = SDL_GetModState();
    set_toggle(VK_NUMLOCK, mod & KMOD_NUM);
    set_toggle(VK_CAPITAL, mod & KMOD_CAPS);
    set_toggle(VK_SCROLL, mod & KMOD_SCROLL);
    g_translated_numlock = mod & KMOD_NUM;
}

void set_cursor_position(POINT point)
{
    g_cursor = static_cast<std::int64_t>(point.x) << 32 | static_cast<std::uint32_t>(point.y);
}

void post(const Window& window, UINT message, WPARAM wparam, LPARAM lparam)
{
    message_post_to_thread(window.thread_id, message_make(window.hwnd, message, wparam, lparam));
}

std::shared_ptr<Window> target_window(std::uint32_t sdl_id)
{
    if (auto window = window_from_sdl(sdl_id)) return window;
    return window_find(window_active());
}

WORD mouse_flags(std::uint32_t buttons)
{
    WORD flags = 0;
    if (buttons & SDL_BUTTON_LMASK) flags |= MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK) flags |= MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK) flags |= MK_MBUTTON;
    if (g_keys_down[VK_SHIFT]) flags |= MK_SHIFT;
    if (g_keys_down[VK_CONTROL]) flags |= MK_CONTROL;
    return flags;
}

POINT on_screen(const Window& window, int x, int y)
{
    POINT origin = window_client_origin(window);
    return {origin.x + x, origin.y + y};
}

// The window manager has already acted when SDL reports it; the program is asked, and what its
// window procedure declines is undone.
void system_command(const std::shared_ptr<Window>& window, WPARAM command)
{
    SendMessageA(window->hwnd, WM_SYSCOMMAND, command, 0);
    if (!window_find(window->hwnd) || !window->sdl) return;
    if (command == SC_MINIMIZE && !window->iconic) SDL_RestoreWindow(window->sdl);
    if (command == SC_MAXIMIZE && !window->maximized) SDL_RestoreWindow(window->sdl);
    if (command == SC_RESTORE && window->iconic) SDL_MinimizeWindow(window->sdl);
    if (command == SC_RESTORE && !window->iconic && window->maximized) SDL_MaximizeWindow(window->sdl);
}

void translate_window_event(const SDL_WindowEvent& event)
{
    auto window = window_from_sdl(event.windowID);
    if (!window || window->destroying) return;
    if (event.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        if (window_is_active(window->hwnd)) g_focus_lost = window->hwnd;
        return;
    }
    if (event.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
        g_focus_lost = nullptr;
        sync_toggles();
    }
    window_run_on_owner(*window, [&event, window]() -> LRESULT {
        switch (event.event) {
        case SDL_WINDOWEVENT_EXPOSED:
            window->needs_paint = window->needs_erase = true;
            break;
        case SDL_WINDOWEVENT_MOVED:
            window_placed_by_host(window, {event.data1, event.data2}, window_client_size(*window));
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            window_placed_by_host(window, window_client_origin(*window), {event.data1, event.data2});
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            if (!window->iconic) system_command(window, SC_MINIMIZE);
            break;
        case SDL_WINDOWEVENT_MAXIMIZED:
            if (!window->maximized || window->iconic) system_command(window, SC_MAXIMIZE);
            break;
        case SDL_WINDOWEVENT_RESTORED:
            if (window->iconic || window->maximized) system_command(window, SC_RESTORE);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            system_command(window, SC_CLOSE);
            break;
        case SDL_WINDOWEVENT_LEAVE:
            post(*window, WM_NCMOUSEMOVE, HTNOWHERE, point_lparam(events_cursor_position()));
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            window_activate(window);
            break;
        }
        return 0;
    });
}

void translate_key(const SDL_KeyboardEvent& event)
{
    const KeyDef* key = key_by_scancode(event.keysym.scancode);
    if (!key) return;
    BYTE virtual_key = key->virtual_key;
    if (!g_translated_numlock)
        if (BYTE navigation = keypad_navigation(event.keysym.scancode)) virtual_key = navigation;
    bool down = event.type == SDL_KEYDOWN;
    bool was_down = g_keys_down[virtual_key] || event.repeat;
    g_keys_down[virtual_key] = down;
    if (virtual_key == VK_NUMLOCK && down && !was_down) g_translated_numlock = !g_translated_numlock;
    bool alt = (event.keysym.mod & KMOD_ALT) || g_keys_down[VK_MENU];
    bool ctrl = (event.keysym.mod & KMOD_CTRL) || g_keys_down[VK_CONTROL];
    bool system = !ctrl && (alt || virtual_key == VK_F10);
    auto window = target_window(event.windowID);
    if (!window) return;
    // The system keeps Print Screen's press for itself; programs see the release only.
    if (down && virtual_key == VK_SNAPSHOT) return;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    DWORD data = 1u | DWORD{key->scan} << 16 | DWORD{key->extended} << 24 | DWORD{system && alt} << 29 |
                 DWORD{down ? was_down : true} << 30 | DWORD{!down} << 31;
    post(*window, message, virtual_key, static_cast<LPARAM>(data));
}

void translate_text(const SDL_TextInputEvent& event)
{
    auto window = target_window(event.windowID);
    auto text = utf8_to_sjis(event.text);
    if (!window || !text) return;
    for (unsigned char byte : *text)
        post(*window, WM_CHAR, byte, 1);
}

void translate_motion(const SDL_MouseMotionEvent& event)
{
    auto window = window_from_sdl(event.windowID);
    if (!window) return;
    set_cursor_position(on_screen(*window, event.x, event.y));
    SendMessageA(window->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(window->hwnd),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    post(*window, WM_MOUSEMOVE, mouse_flags(event.state), point_lparam({event.x, event.y}));
}

void translate_button(const SDL_MouseButtonEvent& event)
{
    auto window = window_from_sdl(event.windowID);
    if (!window) return;
    bool down = event.type == SDL_MOUSEBUTTONDOWN;
    UINT message = 0;
    std::uint32_t mask = SDL_BUTTON(event.button);
    switch (event.button) {
    case SDL_BUTTON_LEFT:
        message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        break;
    case SDL_BUTTON_RIGHT:
        message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        break;
    case SDL_BUTTON_MIDDLE:
        message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        break;
    default:
        return;
    }
    std::uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    buttons = down ? buttons | mask : buttons & ~mask;
    SendMessageA(window->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(window->hwnd),
                 MAKELPARAM(HTCLIENT, message));
    post(*window, message, mouse_flags(buttons), point_lparam({event.x, event.y}));
}

void translate_wheel(const SDL_MouseWheelEvent& event)
{
    auto window = target_window(event.windowID);
    if (!window) return;
    float notches = event.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.preciseY : event.preciseY;
    long delta = std::lround(notches * WHEEL_DELTA);
    delta = std::clamp<long>(delta, SHRT_MIN, SHRT_MAX);
    if (delta == 0) return;
    WPARAM wparam = MAKEWPARAM(mouse_flags(SDL_GetMouseState(nullptr, nullptr)), static_cast<WORD>(delta));
    post(*window, WM_MOUSEWHEEL, wparam, point_lparam(on_screen(*window, event.mouseX, event.mouseY)));
}

void translate(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_WINDOWEVENT:
        translate_window_event(event.window);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        translate_key(event.key);
        break;
    case SDL_TEXTINPUT:
        translate_text(event.text);
        break;
    case SDL_MOUSEMOTION:
        translate_motion(event.motion);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        translate_button(event.button);
        break;
    case SDL_MOUSEWHEEL:
        translate_wheel(event.wheel);
        break;
    default:
        if (event.type == g_wake_type) g_wake_pending = false;
        break;
    }
}

void finish_focus_loss()
{
    HWND lost = g_focus_lost;
    g_focus_lost = nullptr;
    if (!window_is_active(lost)) return;
    if (auto window = window_find(lost))
        window_run_on_owner(*window, [] {
            window_deactivate_app();
            return 0;
        });
}

void push_key(std::uint32_t sdl_id, BYTE virtual_key, bool down, bool repeat, bool extended, Uint16 mod)
{
    const KeyDef* key = key_by_virtual_key(virtual_key, extended);
    if (!key || !video_started()) return;
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.timestamp = SDL_GetTicks();
    event.key.windowID = sdl_id;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.scancode = key->scancode;
    event.key.keysym.sym = SDL_GetKeyFromScancode(key->scancode);
    event.key.keysym.mod = mod;
    SDL_PushEvent(&event);
}

std::uint32_t sdl_id_of(HWND handle)
{
    auto window = window_find(handle);
    return window ? window->sdl_id : 0;
}

void set_key(BYTE virtual_key, bool down, bool toggles)
{
    std::uint8_t state = g_key_state[virtual_key];
    if (toggles) state ^= 0x01;
    g_key_state[virtual_key] = down ? state | 0x80 : state & ~0x80;
}

// The generic modifier is down while either side is.
void set_sided_key(BYTE generic, BYTE left, BYTE right, bool right_side, bool down, bool toggles)
{
    set_key(right_side ? right : left, down, toggles);
    bool either = (g_key_state[left] | g_key_state[right]) & 0x80;
    set_key(generic, either, toggles);
}

} // namespace

// ---- Shared with the other sources of the window layer --------------------------------------

bool video_start()
{
    std::lock_guard lock(g_video_lock);
    if (g_video_started) return true;
    // A signal ends the program as it would any program; SDL would turn it into a quit event
    // that no window procedure expects.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "no display: %s\n", SDL_GetError());
        return false;
    }
    g_video_thread = GetCurrentThreadId();
    g_wake_type = SDL_RegisterEvents(1);
    const char* driver = SDL_GetCurrentVideoDriver();
    g_window_manager = !(driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")));
    g_gl = SDL_GL_LoadLibrary(nullptr) == 0;
    if (g_gl) {
        // The device takes the windows over, and their visual is chosen when they are made.
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    }
    g_video_started = true;
    sync_toggles();
    events_update_text_input();
    cursor_apply();
    return true;
}

bool video_started()
{
    return g_video_started;
}

bool video_thread_is_current()
{
    return g_video_started && GetCurrentThreadId() == g_video_thread;
}

DWORD video_thread_id()
{
    return g_video_thread;
}

bool video_has_gl()
{
    return g_gl;
}

bool video_has_window_manager()
{
    return g_window_manager;
}

void events_pump()
{
    if (!video_thread_is_current()) return;
    cursor_apply();
    SDL_Event event;
    while (SDL_PollEvent(&event))
        translate(event);
    finish_focus_loss();
}

void events_wait(int timeout_ms)
{
    SDL_WaitEventTimeout(nullptr, timeout_ms);
}

void events_wake_video_thread()
{
    if (g_wake_pending.exchange(true)) return;
    SDL_Event event{};
    event.type = g_wake_type;
    if (SDL_PushEvent(&event) != 1) g_wake_pending = false;
}

POINT events_cursor_position()
{
    std::int64_t packed = g_cursor;
    return {static_cast<LONG>(packed >> 32), static_cast<LONG>(static_cast<std::int32_t>(packed))};
}

void keys_note_retrieved(const MSG& message)
{
    auto virtual_key = static_cast<BYTE>(message.wParam);
    bool first_press = !(message.lParam & (1 << 30));
    bool right_side = message.lParam & (1 << 24);
    switch (message.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        bool down = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
        bool toggles = down && first_press;
        if (virtual_key == VK_SHIFT)
            set_sided_key(VK_SHIFT, VK_LSHIFT, VK_RSHIFT, ((message.lParam >> 16) & 0xFF) == 0x36, down,
                          toggles);
        else if (virtual_key == VK_CONTROL)
            set_sided_key(VK_CONTROL, VK_LCONTROL, VK_RCONTROL, right_side, down, toggles);
        else if (virtual_key == VK_MENU)
            set_sided_key(VK_MENU, VK_LMENU, VK_RMENU, right_side, down, toggles);
        else
            set_key(virtual_key, down, toggles);
        break;
    }
    case WM_LBUTTONDOWN:
        set_key(VK_LBUTTON, true, true);
        break;
    case WM_LBUTTONUP:
        set_key(VK_LBUTTON, false, false);
        break;
    case WM_RBUTTONDOWN:
        set_key(VK_RBUTTON, true, true);
        break;
    case WM_RBUTTONUP:
        set_key(VK_RBUTTON, false, false);
        break;
    case WM_MBUTTONDOWN:
        set_key(VK_MBUTTON, true, true);
        break;
    case WM_MBUTTONUP:
        set_key(VK_MBUTTON, false, false);
        break;
    }
}

void events_release_keys()
{
    g_keys_down.fill(false);
    for (auto& state : g_key_state)
        state = state & 0x01;
}

void events_update_text_input()
{
    if (!video_thread_is_current()) return;
    bool wanted = !g_ime_disabled && window_wants_text_input();
    if (wanted == static_cast<bool>(SDL_IsTextInputActive())) return;
    wanted ? SDL_StartTextInput() : SDL_StopTextInput();
}

// ---- Keyboard -------------------------------------------------------------------------------

SHORT GetKeyState(int virtual_key)
{
    std::uint8_t state = g_key_state[static_cast<BYTE>(virtual_key)];
    return static_cast<SHORT>(((state & 0x80) ? 0xFF80 : 0) | (state & 0x01));
}

void keybd_event(BYTE virtual_key, BYTE, DWORD flags, std::uintptr_t)
{
    auto window = window_find(window_active());
    push_key(window ? window->sdl_id : 0, virtual_key, !(flags & KEYEVENTF_KEYUP), false,
             flags & KEYEVENTF_EXTENDEDKEY, SDL_GetModState());
}

UINT MapVirtualKeyA(UINT code, UINT map_type)
{
    if (map_type == MAPVK_VK_TO_VSC) {
        const KeyDef* key = code <= 0xFF ? key_by_virtual_key(static_cast<BYTE>(code), false) : nullptr;
        return key ? key->scan : 0;
    }
    if (map_type == MAPVK_VSC_TO_VK) {
        for (const KeyDef& key : k_keys)
            if (key.scan == code && !key.extended) return key.virtual_key;
    }
    return 0;
}

BOOL ImmDisableIME(DWORD)
{
    g_ime_disabled = true;
    events_update_text_input();
    return TRUE;
}

// ---- Host events for tests ------------------------------------------------------------------

void seam_host_window_event(HWND window, HostWindowEvent kind, int data1, int data2)
{
    static constexpr SDL_WindowEventID ids[] = {
        SDL_WINDOWEVENT_EXPOSED,   SDL_WINDOWEVENT_MOVED,        SDL_WINDOWEVENT_SIZE_CHANGED,
        SDL_WINDOWEVENT_MINIMIZED, SDL_WINDOWEVENT_MAXIMIZED,    SDL_WINDOWEVENT_RESTORED,
        SDL_WINDOWEVENT_LEAVE,     SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_FOCUS_LOST,
        SDL_WINDOWEVENT_CLOSE,
    };
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = sdl_id_of(window);
    event.window.event = ids[static_cast<int>(kind)];
    event.window.data1 = data1;
    event.window.data2 = data2;
    SDL_PushEvent(&event);
}

void seam_host_key(HWND window, BYTE virtual_key, bool down, bool repeat, bool extended)
{
    // The host reports the modifiers held with each key, as its own keyboard state has them.
    static Uint16 held = 0;
    Uint16 bit = 0;
    if (virtual_key == VK_MENU) bit = extended ? KMOD_RALT : KMOD_LALT;
    if (virtual_key == VK_CONTROL) bit = extended ? KMOD_RCTRL : KMOD_LCTRL;
    if (virtual_key == VK_SHIFT) bit = KMOD_LSHIFT;
    held = down ? held | bit : held & ~bit;
    push_key(sdl_id_of(window), virtual_key, down, repeat, extended, held);
}

void seam_host_text(HWND window, const char* utf8)
{
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    event.text.windowID = sdl_id_of(window);
    SDL_strlcpy(event.text.text, utf8, sizeof event.text.text);
    SDL_PushEvent(&event);
}

void seam_host_mouse_motion(HWND window, int x, int y)
{
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.windowID = sdl_id_of(window);
    event.motion.x = x;
    event.motion.y = y;
    SDL_PushEvent(&event);
}

void seam_host_mouse_button(HWND window, int button, bool down, int x, int y)
{
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.windowID = sdl_id_of(window);
    event.button.button = static_cast<Uint8>(button);
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.button.x = x;
    event.button.y = y;
    SDL_PushEvent(&event);
}

void seam_host_mouse_wheel(HWND window, float notches)
{
    SDL_Event event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.windowID = sdl_id_of(window);
    event.wheel.y = static_cast<Sint32>(notches);
    event.wheel.preciseY = notches;
    event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    SDL_PushEvent(&event);
}
