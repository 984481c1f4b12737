// The game's one top-level window: its creation, its window procedure, activation and the
// function keys. Mode switches are only requested here; the main loop performs them.
#pragma once

#include "core/ini.h"
#include "object/go_base.h"
#include "platform/win_window.h"

#include <cstdint>

class GoXx;

inline constexpr const char* APP_WINDOW_CLASS = "Corvan"; // also the single-instance marker
inline constexpr WORD APP_ICON_RESOURCE = 101;

constexpr DWORD APP_STYLE_WINDOWED = 0x10CB0000;           // visible, caption, system menu, boxes
constexpr DWORD APP_STYLE_WINDOWED_FRAME = 0x00CB0000;     // the same without visibility, for sizing
constexpr DWORD APP_STYLE_FULL_SCREEN = 0x90000000;        // pop-up, visible
constexpr DWORD APP_STYLE_FULL_SCREEN_ACTIVE = 0x90080000; // pop-up, visible, system menu

constexpr std::uint32_t APP_REQUEST_RESET = 2; // reset the device for the current g_app_windowed

extern HWND g_hwnd;
extern std::uint8_t g_app_active;
extern std::uint32_t g_app_request;
// The quick-save marker that F12 made; F11 and the load kill this object and no other.
extern ObjHandle<GoXx> g_quick_save_marker;

// Registers the class and creates the window, windowed or full screen, filled black.
HRESULT app_create_window(IniFile& ini);
LRESULT app_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Returns the new active flag.
std::uint8_t app_on_activate(bool active);
LRESULT app_on_function_key(WPARAM virtual_key);
// Zeroes the newly pressed words of the current input record.
void app_clear_pressed_input();
// The process working-set sizes for an active game, or none for an inactive one (from NT 5 on).
void app_set_working_set(bool active);
// Hides the window, shows the cursor again and unregisters the class.
void app_destroy_window();
