#include "app/app_entry.h"

#include "app/app_error.h"
#include "app/app_engine.h"
#include "core/sys.h"
#include "core/ini.h"
#include "core/text.h"
#include "game/g_leaderboards.h"
#include "platform/steam_api.h"
#include "platform/win_crt.h"
#include "platform/win_kernel.h"

#include <cstdio>
#include <cstring>

HINSTANCE g_hinstance = nullptr;
char g_error_text[RUNTIME_ERROR_SIZE] = "";
bool g_game_ran = false;

namespace
{

// Process working-set bounds asked for on systems that honour them.
constexpr SIZE_T k_working_set_min = 32 * 1024 * 1024;
constexpr SIZE_T k_working_set_max = 128 * 1024 * 1024;

bool is_reset_switch(const char* argument)
{
    return (argument[0] == '-' || argument[0] == '/') && (argument[1] == 'R' || argument[1] == 'r');
}

// The decimal number after the switch; no digits count as 0.
int reset_level(const char* argument)
{
    int level = 0;
    for (const char* p = argument + 2; *p >= '0' && *p <= '9'; ++p)
        level = level * 10 + (*p - '0');
    return level;
}

[[noreturn]] void raise_bad_argument(const char* argument)
{
    char message[ERR_DETAIL_SIZE];
    char composed[ERR_DETAIL_SIZE * 2];
    std::snprintf(composed, sizeof composed, "Wha? ->%s", argument);
    sys_copy_string(message, composed, sizeof message);
    err_raise(message, nullptr, 0);
}

// Without the store the game runs on: its stats, boards and cloud files are simply absent.
void start_store()
{
    SteamAPI_Init();
    if (ISteamUserStats* stats = SteamUserStats()) stats->RequestCurrentStats();
    game_create_leaderboards();
    g_remote_storage = SteamRemoteStorage();
}

} // namespace

HRESULT app_parse_command_line()
{
    for (int i = 1; i < g_crt_argc; ++i) {
        const char* argument = g_crt_argv[i];
        if (!is_reset_switch(argument)) raise_bad_argument(argument);
        if (ISteamUserStats* stats = SteamUserStats()) stats->ResetAllStats(reset_level(argument) > 1);
    }
    return S_OK;
}

HRESULT app_startup(char*)
{
    CoInitialize(nullptr);
    start_store();
    return app_parse_command_line();
}

void app_shutdown()
{
    sys_shutdown();
    CoUninitialize();
    // Calls still waiting unregister themselves, so the boards go before the store.
    game_destroy_leaderboards();
    SteamAPI_Shutdown();
}

int app_main(HINSTANCE instance)
{
    g_hinstance = instance;
    std::memset(g_error_text, 0, sizeof g_error_text);
    try {
        sys_startup(APP_WORK_BLOCK_SIZE);
        if (g_os_generation >= OS_GENERATION_NT5)
            SetProcessWorkingSetSize(GetCurrentProcess(), k_working_set_min, k_working_set_max);
        app_startup(g_error_text);
        if (g_error_text[0]) {
            char message[RUNTIME_ERROR_SIZE];
            sys_copy_string(message, g_error_text, sizeof message);
            err_raise(message, "app_entry", __LINE__);
        }
    } catch (const RuntimeError& error) {
        std::memcpy(g_error_text, error.text, sizeof g_error_text);
    } catch (const std::bad_alloc&) {
        // Out of memory is dropped: nothing more can safely be shown.
    }
    app_shutdown();
    app_show_error(g_error_text);
    return 0;
}
