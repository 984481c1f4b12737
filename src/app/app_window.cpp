#include "app/app_window.h"

#include "app/app_entry.h"
#include "app/app_loop.h"
#include "app/app_settings.h"
#include "core/sys.h"
#include "core/timer.h"
#include "game/g_achievements.h"
#include "game/g_fade.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_settings.h"
#include "lowlv/audio/audio_mgr.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/input/input_poll.h"
#include "lowlv/input/input_state.h"
#include "object/actor/go_actor.h"
#include "object/go_script.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"
#include "platform/win_kernel.h"
#include "platform/win_user.h"

HWND g_hwnd = nullptr;
std::uint8_t g_app_active = 0;
std::uint32_t g_app_request = 0;
ObjHandle<GoXx> g_quick_save_marker;

namespace {

constexpr SIZE_T k_working_set_active_min = 32 * 1024 * 1024;
constexpr SIZE_T k_working_set_active_max = 128 * 1024 * 1024;
constexpr SIZE_T k_working_set_trim = static_cast<SIZE_T>(-1); // lets the system trim the process
constexpr LPARAM k_key_repeat_bit = LPARAM{1} << 30;

ATOM register_window_class()
{
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = app_window_proc;
    window_class.hInstance = g_hinstance;
    window_class.hIcon = static_cast<HICON>(
        LoadImageA(g_hinstance, MAKEINTRESOURCEA(APP_ICON_RESOURCE), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    window_class.hIconSm = static_cast<HICON>(
        LoadImageA(g_hinstance, MAKEINTRESOURCEA(APP_ICON_RESOURCE), IMAGE_ICON, 16, 16, 0));
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    window_class.lpszClassName = APP_WINDOW_CLASS;
    return RegisterClassExA(&window_class);
}

// Reads an integer key of a section, leaving `value` as it was when the key is missing.
void read_int(IniFile& ini, const char* section, const char* key, int& value)
{
    ini.SelectSection(section);
    std::int32_t read = value;
    if (SUCCEEDED(ini.GetInt(key, read))) value = read;
}

HWND create_windowed(IniFile& ini)
{
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
    RECT rect{0, 0, 640, 480};
    read_int(ini, "kernel", "WindowPosX", x);
    read_int(ini, "kernel", "WindowPosY", y);
    read_int(ini, "renderer", "BackBufferWidth", rect.right);
    read_int(ini, "renderer", "BackBufferHeight", rect.bottom);
    AdjustWindowRect(&rect, APP_STYLE_WINDOWED_FRAME, FALSE);
    return CreateWindowExA(0, APP_WINDOW_CLASS, APP_TITLE, APP_STYLE_WINDOWED, x, y, rect.right - rect.left,
                           rect.bottom - rect.top, nullptr, nullptr, g_hinstance, nullptr);
}

HWND create_full_screen()
{
    HWND active = GetActiveWindow();
    HDC screen = GetDC(active);
    int width = GetDeviceCaps(screen, HORZRES);
    int height = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(active, screen);
    HWND window = CreateWindowExA(0, APP_WINDOW_CLASS, APP_TITLE, APP_STYLE_FULL_SCREEN, 0, 0, width, height,
                                  nullptr, nullptr, g_hinstance, nullptr);
    if (window) {
        while (ShowCursor(FALSE) >= 0) {
        }
    }
    return window;
}

void fill_client_black(HWND window)
{
    HDC dc = GetDC(window);
    RECT client{};
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(window, dc);
}

} // namespace

void app_set_working_set(bool active)
{
    if (g_os_generation < OS_GENERATION_NT5) return;
    if (active)
        SetProcessWorkingSetSize(GetCurrentProcess(), k_working_set_active_min, k_working_set_active_max);
    else
        SetProcessWorkingSetSize(GetCurrentProcess(), k_working_set_trim, k_working_set_trim);
}

namespace {

void show_cursor_again()
{
    while (ShowCursor(TRUE) < 0) {
    }
}

// NumLock turns the pad's digits into cursor keys; switch it off by pressing it under Alt.
void switch_num_lock_off()
{
    if (!(GetKeyState(VK_NUMLOCK) & 1)) return;
    BYTE alt_scan = static_cast<BYTE>(MapVirtualKeyA(VK_MENU, 0));
    BYTE num_lock_scan = static_cast<BYTE>(MapVirtualKeyA(VK_NUMLOCK, 0));
    keybd_event(VK_MENU, alt_scan, 0, 0);
    keybd_event(VK_NUMLOCK, num_lock_scan, KEYEVENTF_EXTENDEDKEY, 0);
    keybd_event(VK_NUMLOCK, num_lock_scan, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
    keybd_event(VK_MENU, alt_scan, KEYEVENTF_KEYUP, 0);
}

LRESULT on_set_cursor(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (g_app_active && (!g_app_windowed || LOWORD(static_cast<std::uintptr_t>(lparam)) == HTCLIENT)) {
        SetCursor(nullptr);
        if (g_d3d_device) g_d3d_device->ShowCursor(FALSE);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT on_sys_key_down(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (g_app_active) {
        if (lparam & k_key_repeat_bit) return 0;
        if (wparam == VK_RETURN) {
            g_app_windowed = !g_app_windowed;
            g_app_request |= APP_REQUEST_RESET;
            SetFocus(window);
        }
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT on_sys_command(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (wparam & 0xFFF0) {
    case SC_MAXIMIZE:
        g_app_request |= APP_REQUEST_RESET;
        g_app_windowed = 0;
        return 0;
    case SC_CLOSE:
        if (!g_app_active && MessageBoxA(nullptr, "Exit game?", APP_TITLE, MB_OKCANCEL) == IDCANCEL) return 0;
        app_clear_pressed_input();
        g_app_request |= APP_REQUEST_RESET;
        return DefWindowProcA(window, message, wparam, lparam);
    case SC_RESTORE:
        app_clear_pressed_input();
        g_app_request |= APP_REQUEST_RESET;
        return DefWindowProcA(window, message, wparam, lparam);
    case SC_KEYMENU:
    case SC_SCREENSAVE:
    case SC_MONITORPOWER:
        return 1;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

} // namespace

HRESULT app_create_window(IniFile& ini)
{
    if (!register_window_class()) return E_FAIL;
    g_hwnd = g_app_windowed ? create_windowed(ini) : create_full_screen();
    if (!g_hwnd) return E_FAIL;
    fill_client_black(g_hwnd);
    return S_OK;
}

void app_destroy_window()
{
    if (!g_hwnd) return;
    if (IsWindow(g_hwnd)) ShowWindow(g_hwnd, SW_HIDE);
    g_hwnd = nullptr;
    show_cursor_again();
    UnregisterClassA(APP_WINDOW_CLASS, g_hinstance);
}

std::uint8_t app_on_activate(bool active)
{
    bool activated = false;
    if (active != static_cast<bool>(g_app_active)) {
        g_app_active = active;
        activated = active;
        if (!active) {
            audio_pause_all(false);
            input_refresh_swap_buttons();
            d3d_set_gamma(false);
        }
        app_set_working_set(active);
    }
    g_frame_counter = 0;
    SetWindowLongA(g_hwnd, GWL_STYLE,
                   static_cast<LONG>(g_app_windowed ? APP_STYLE_WINDOWED : APP_STYLE_FULL_SCREEN_ACTIVE));
    if (activated) {
        sys_trim_memory();
        app_reset_device();
        g_skip_step = 1;
        audio_pause_all(true);
        input_refresh_swap_buttons();
        d3d_set_gamma(true);
    }
    return g_app_active;
}

namespace {

constexpr std::uint8_t k_clears_for_bonuses = 3;

void switch_no_fall()
{
    if (script_event_running() || g_play_state.game_flags[GF_EASY] != 1) return;
    g_no_fall = g_no_fall == 0 ? 1 : 0;
    achv_unlock(ACHV_BAD_AT_PLATFORMERS);
}

void request_bonus(WPARAM key)
{
    if (g_game_clear_flag_nightmare == 0 || g_game_clear_flag != k_clears_for_bonuses ||
        g_play_state.game_flags[GF_TIME_ATTACK] != 0)
        return;
    g_bonus_requests[key - VK_F2] = 1;
}

bool quick_save_allowed()
{
    const std::int32_t* flags = g_play_state.game_flags;
    const bool very_easy_scene = flags[GF_EASY] && flags[GF_VERY_EASY] && flags[GF_QUICK_SAVE_OK];
    const bool free_play = !flags[GF_TIME_ATTACK] && !flags[GF_LOCKED_FIGHT] && !flags[GF_SCENE_BOUNDS] &&
                           !flags[GF_BATTLE] && !script_event_running() && g_fade.value == 0.0f;
    const bool no_menu =
        g_pool_wndmain2.count == 0 && g_pool_wndshop2.count == 0 && g_pool_wnddemo.count == 0;
    return very_easy_scene && free_play && no_menu && g_player != nullptr;
}

// The player's pose as it stands: the marker shows it where the quick save was made. The frame's
// own offset travels in the script's value, so the marker is pulled toward the eye as the player is.
AnimSpriteParams marker_params(const GoActor& player)
{
    AnimSpriteParams params{};
    params.position = actor_position(player);
    params.facing = player.facing;
    params.script_set = player.script_set;
    params.image_archive = player.script.image_archive;
    params.action = player.script.current_action;
    params.frame_value = player.script.height_offset;
    params.foot_drop = player.foot_offset;
    params.shadow_height = player.ground_height;
    params.shadow_radius = player.shadow_size;
    return params;
}

// A full pool keeps the quick save without its marker.
void make_marker(const GoActor& player)
{
    GoXx* marker = obj_create<GoXx>(g_pool_xx);
    if (marker) goxx_init_anim_sprite(*marker, marker_params(player));
    g_quick_save_marker = ObjHandle<GoXx>(marker);
}

void kill_marker()
{
    if (GoXx* marker = g_quick_save_marker.get()) go_kill(*marker);
    g_quick_save_marker = {};
}

void place_player(GoActor& player, const D3DXVECTOR3& position)
{
    player.world._41 = position.x;
    player.world._42 = position.y;
    player.world._43 = position.z;
    player.previous_position = position;
    player.hit_shape.centre = position;
    player.home_point = position;
}

void quick_save_key(WPARAM key)
{
    if (!quick_save_allowed()) return;
    GoActor& player = *g_player;
    if (!player.quick_save) {
        if (key != VK_F12) return;
        player.quick_save = 1;
        player.quick_save_position = actor_position(player);
        make_marker(player);
        return;
    }
    player.quick_save = 0;
    if (key == VK_F12) place_player(player, player.quick_save_position);
    kill_marker();
}

} // namespace

LRESULT app_on_function_key(WPARAM virtual_key)
{
    if (virtual_key >= VK_NUMPAD0 && virtual_key <= VK_NUMPAD9) {
        switch_num_lock_off();
    } else if (virtual_key == VK_F1) {
        if (GetKeyState(VK_SHIFT) < 0)
            g_show_fps = static_cast<std::uint8_t>((g_show_fps + 1) % 3);
        else
            switch_no_fall();
    } else if (virtual_key >= VK_F2 && virtual_key <= VK_F5) {
        request_bonus(virtual_key);
    } else if (virtual_key == VK_F11 || virtual_key == VK_F12) {
        quick_save_key(virtual_key);
    }
    return 0;
}

void app_clear_pressed_input()
{
    InputRecord& record = g_input_ring.records[g_input_ring.current];
    record.pressed = 0;
    record.step_x = 0;
    record.step_y = 0;
}

LRESULT app_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_DESTROY:
        ShowWindow(window, SW_HIDE);
        PostQuitMessage(0);
        return 0;
    case WM_MOVE:
        input_update_client_origin(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ACTIVATEAPP:
        app_on_activate(wparam & 1);
        return 0;
    case WM_SETCURSOR:
        return on_set_cursor(window, message, wparam, lparam);
    case WM_NCMOUSEMOVE:
        show_cursor_again();
        return 0;
    case WM_KEYDOWN:
        if (lparam & k_key_repeat_bit) return 0;
        return app_on_function_key(wparam);
    case WM_KEYUP:
        if (wparam == VK_SNAPSHOT && g_app_active) g_skip_step = 1;
        return 0;
    case WM_SYSKEYDOWN:
        return on_sys_key_down(window, message, wparam, lparam);
    case WM_SYSCOMMAND:
        return on_sys_command(window, message, wparam, lparam);
    case WM_MOUSEWHEEL:
        g_input_wheel = GET_WHEEL_DELTA_WPARAM(wparam);
        return 0;
    case WM_POWERBROADCAST:
        return wparam == PBT_APMQUERYSUSPEND || wparam == PBT_APMRESUMESUSPEND ? 1 : 0;
    case WM_DEVICECHANGE:
        return 0;
    case WM_ENTERSIZEMOVE:
        g_skip_step = 1;
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}
