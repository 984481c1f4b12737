// The life of the game program: the program body, the start-up chain and the shutdown chain.
#pragma once

#include "core/errors.h"
#include "platform/win_types.h"

inline constexpr const char* APP_TITLE = "Kro";

extern HINSTANCE g_hinstance;
extern char g_error_text[RUNTIME_ERROR_SIZE]; // shown after the shutdown when not empty
extern bool g_game_ran;                       // the main loop ended normally
extern HANDLE g_instance_mutex;               // "MutexKroGame" while this instance holds it
extern char g_base_dir[MAX_PATH];             // "BaseDir" of "common.ini"

constexpr std::uint32_t APP_WORK_BLOCK_SIZE = 0xA00000;

// Runs the whole program; the exit code is 0 whatever happened.
int app_main(HINSTANCE instance);
// Negative ends start-up; a failing step may have written its text.
HRESULT app_startup(char* error_text);
// Runs after the main loop or after a failed start-up; tolerates what was never created.
void app_shutdown();
// Each argument must be "-R<n>" or "/R<n>" (either case); anything else throws "Wha? ->" + argument.
HRESULT app_parse_command_line();
// Switches the input method off for the game (from Vista on).
void app_disable_ime();
