#include "app/app_entry.h"

#include "app/app_engine.h"
#include "app/app_error.h"
#include "app/app_icon.h"
#include "app/app_loop.h"
#include "app/app_settings.h"
#include "app/app_window.h"
#include "core/ini.h"
#include "core/sys.h"
#include "core/text.h"
#include "core/userdir.h"
#include "game/g_fade.h"
#include "game/g_game.h"
#include "game/g_leaderboards.h"
#include "game/g_pointer.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/obj_pools.h"
#include "platform/steam_api.h"
#include "platform/win_crt.h"
#include "platform/win_file.h"
#include "platform/win_kernel.h"
#include "platform/win_sync.h"
#include "scenegraph/coll_sweep.h"

#include <cstdio>
#include <cstring>

HINSTANCE g_hinstance = nullptr;
char g_error_text[RUNTIME_ERROR_SIZE] = "";
bool g_game_ran = false;
HANDLE g_instance_mutex = nullptr;
char g_base_dir[MAX_PATH] = "";

namespace {

constexpr const char* k_instance_mutex = "MutexKroGame";
constexpr const char* k_game_ini = "kro_win.ini";

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

// The program's folder with its final backslash; "common.ini" lives there.
void program_folder(char (&folder)[MAX_PATH])
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    const char* name = sys_find_last_char(path, '\\');
    std::size_t length = name ? static_cast<std::size_t>(name + 1 - path) : 0;
    sys_copy_string(folder, path, length + 1);
}

// The explanation the game leaves for a player who opens "common.ini" by hand.
void append_user_profile_default(IniFile& common)
{
    common.SetString("BaseDir", g_base_dir, true);
    common.SetString(nullptr, "", false);
    common.SetString(nullptr, " Location of save data: 0=\"%userprofile%\\Application Data\" 1=EXE folder",
                     false);
    common.SetInt("UserProfileHere", 0, 10);
    common.SetString(nullptr, "", false);
    common.SetString(nullptr, "To delete data, find the folder under the user\\(username)\\ folder.", false);
}

void read_common_ini()
{
    char folder[MAX_PATH];
    program_folder(folder);
    IniFile common("common.ini");
    common.LoadFile(folder);
    common.FindSection("");
    common.GetString("BaseDir", g_base_dir, sizeof g_base_dir, true);
    std::int32_t here = 0;
    if (SUCCEEDED(common.GetInt("UserProfileHere", here))) {
        g_user_profile_here = here != 0;
    } else {
        append_user_profile_default(common);
        common.SaveFile(folder);
    }
    if (g_base_dir[0]) SetCurrentDirectoryA(g_base_dir);
}

// From the store's cloud first, else from the user folder; a missing file leaves it empty.
void load_game_ini(IniFile& ini)
{
    if (SUCCEEDED(ini.LoadRemote())) return;
    char folder[MAX_PATH];
    sys_user_folder(folder);
    ini.LoadFile(folder);
}

void save_game_ini(IniFile& ini)
{
    if (SUCCEEDED(ini.SaveRemote())) return;
    char folder[MAX_PATH];
    sys_user_folder(folder);
    ini.SaveFile(folder);
}

// Another game window is brought back instead of starting twice; both end start-up silently.
HRESULT claim_single_instance(IniFile& ini)
{
    if (HWND other = FindWindowA(APP_WINDOW_CLASS, nullptr)) {
        if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
        return E_FAIL;
    }
    ini.SelectSection("kernel");
    std::int32_t no_mutex = 0;
    ini.GetInt("Don'tUseMutex", no_mutex);
    if (no_mutex & 0xFF) return S_OK;
    g_instance_mutex = CreateMutexA(nullptr, TRUE, k_instance_mutex);
    if (!g_instance_mutex || GetLastError() == ERROR_ALREADY_EXISTS) return E_FAIL;
    return S_OK;
}

void release_single_instance()
{
    if (!g_instance_mutex) return;
    ReleaseMutex(g_instance_mutex);
    CloseHandle(g_instance_mutex);
    g_instance_mutex = nullptr;
}

// The settings keys the game owns go back into a fresh copy, so what the settings program
// wrote meanwhile survives.
void write_back_settings()
{
    IniFile ini(k_game_ini);
    load_game_ini(ini);
    app_write_kernel_settings(ini);
    app_write_settings(ini);
    save_game_ini(ini);
}

// One black frame before anything else is drawn; a lost device ends the game after start-up.
HRESULT present_black_frame()
{
    HRESULT hr = d3d_clear_black(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    if (FAILED(hr)) return hr;
    g_d3d_device->BeginScene();
    g_d3d_device->EndScene();
    return app_present();
}

HRESULT run_startup_chain(IniFile& ini, char* error_text)
{
    CoInitialize(nullptr);
    start_store();
    sys_chdir_to_exe();
    read_common_ini();
    load_game_ini(ini);
    bool current_version = app_read_ini_version(ini) == APP_INI_VERSION;
    if (current_version) app_read_kernel_settings(ini);
    if (HRESULT hr = claim_single_instance(ini); FAILED(hr)) return hr;
    if (HRESULT hr = app_parse_command_line(); FAILED(hr)) return hr;
    obj_create_pools();
    app_disable_ime();
    if (HRESULT hr = app_create_window(ini); FAILED(hr)) return hr;
    if (HRESULT hr = app_init_engine(ini, error_text, RUNTIME_ERROR_SIZE); FAILED(hr)) return hr;
    HRESULT first_frame = present_black_frame();
    g_scene_pending = SCENE_PENDING_ENTER;
    if (current_version) app_read_game_settings(ini);
    game_init();
    hud_update_screen_scale();
    fade_init_geometry();
    return first_frame;
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

// Vista and later switch the input method off for the whole thread.
void app_disable_ime()
{
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 5)
        ImmDisableIME(static_cast<DWORD>(-1));
}

HRESULT app_startup(char* error_text)
{
    IniFile ini(k_game_ini);
    return run_startup_chain(ini, error_text);
}

void app_shutdown()
{
    if (g_game_ran) write_back_settings();
    app_release_device_objects();
    coll_free_work();
    game_shutdown();
    sys_shutdown();
    app_destroy_window();
    obj_destroy_pools();
    release_single_instance();
    CoUninitialize();
    // Calls still waiting unregister themselves, so the boards go before the store.
    game_destroy_leaderboards();
    SteamAPI_Shutdown();
}

int app_main(HINSTANCE instance)
{
    g_hinstance = instance;
    hud_pointer_init();
    std::memset(g_error_text, 0, sizeof g_error_text);
    app_register_resources();
    try {
        sys_startup(APP_WORK_BLOCK_SIZE);
        app_set_working_set(true);
        if (SUCCEEDED(app_startup(g_error_text))) {
            app_restore_device_objects();
            SleepEx(500, TRUE);
            app_message_loop();
            g_game_ran = true;
        }
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
