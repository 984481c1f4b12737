#include "core/userdir.h"

#include "core/text.h"
#include "platform/win_file.h"

#include <cstdio>
#include <cstring>

std::uint8_t g_user_profile_here = 0;
HMODULE g_pathkit_module = nullptr;

namespace {

constexpr DWORD k_user_name_size = 257;

// Appends when the whole text fits in a MAX_PATH buffer; a cut path would name another folder.
bool path_append(char* out, const char* text)
{
    std::size_t used = std::strlen(out);
    std::size_t length = std::strlen(text);
    if (used + length >= MAX_PATH) return false;
    std::memcpy(out + used, text, length + 1);
    return true;
}

bool path_set(char* out, const char* first, const char* second = "", const char* third = "")
{
    out[0] = '\0';
    if (path_append(out, first) && path_append(out, second) && path_append(out, third)) return true;
    out[0] = '\0';
    return false;
}

void user_name(char* out)
{
    DWORD size = k_user_name_size;
    if (!GetUserNameA(out, &size)) out[0] = '\0';
}

// Cuts the text at its last single-byte backslash; false when it has none.
bool cut_last_component(char* path)
{
    char* last = const_cast<char*>(sys_find_last_char(path, '\\'));
    if (!last) return false;
    *last = '\0';
    return true;
}

using GetKnownFolderPath = HRESULT (*)(const KNOWNFOLDERID&, DWORD, HANDLE, WCHAR**);
using GetUserPath = BOOL (*)(const char* user_name, char* out);

int path_from_pathkit_library(char* out, const char* program_path, const char* user_name)
{
    char folder[MAX_PATH];
    if (!path_set(folder, program_path)) return -1;
    HMODULE library = nullptr;
    while (!library && cut_last_component(folder)) {
        char candidate[MAX_PATH];
        if (path_set(candidate, folder, "\\pathkit.dll")) library = LoadLibraryA(candidate);
    }
    if (!library) return -1;
    auto get_user_path = reinterpret_cast<GetUserPath>(GetProcAddress(library, "GetUserPath"));
    if (get_user_path) {
        char profile[MAX_PATH] = {};
        if (get_user_path(user_name, profile)) {
            profile[MAX_PATH - 1] = '\0';
            if (path_set(out, profile, "\\Application Data\\CORVAN\\")) {
                g_pathkit_module = library;
                return 0;
            }
        }
    }
    FreeLibrary(library);
    return -1;
}

// The profile folder is the desktop's parent's parent's sibling named after the user.
int path_from_desktop(char* out, const char* user_name)
{
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return -1;
    ITEMIDLIST* list = nullptr;
    char desktop[MAX_PATH] = {};
    bool found = SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &list)) &&
                 SHGetPathFromIDListA(list, desktop);
    if (list) allocator->Free(list);
    allocator->Release();
    if (!found || !cut_last_component(desktop) || !cut_last_component(desktop)) return -1;
    char tail[MAX_PATH];
    if (!path_set(tail, "\\", user_name, "\\Application Data\\CORVAN\\")) return -1;
    return path_set(out, desktop, tail) ? 1 : -1;
}

bool create_folder(const char* path)
{
    if (!path[0] || GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
    return CreateDirectoryA(path, nullptr) != FALSE;
}

} // namespace

void sys_user_folder(char* out)
{
    char user[k_user_name_size];
    user_name(user);
    if (g_user_profile_here) {
        path_set(out, "user\\", user, "\\");
        return;
    }
    if (sys_app_data_folder(out, user) < 0) out[0] = '\0';
}

std::string sys_user_file_path(const char* name)
{
    char folder[MAX_PATH];
    sys_user_folder(folder);
    return std::string(folder) + name;
}

int sys_app_data_folder(char* out, const char* user_name)
{
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    char program[MAX_PATH] = {};
    if (!GetVersionExA(&version)) return -1;
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) program[0] = '\0';
    return sys_app_data_folder_of(version, program, out, user_name);
}

int sys_app_data_folder_of(const OSVERSIONINFOEXA& version, const char* program_path, char* out,
                           const char* user_name)
{
    int road = -1;
    bool nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    if (nt && version.dwMajorVersion >= 6)
        road = sys_path_saved_games(out);
    else if (nt && version.dwMajorVersion >= 4)
        road = sys_path_from_pathkit(out, program_path, user_name);
    else if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        road = sys_path_9x(out, program_path, user_name);
    if (road < 0) return -1;
    return path_append(out, "kro_win\\") ? 0 : -1;
}

int sys_path_saved_games(char* out)
{
    HMODULE shell = LoadLibraryA("shell32.dll");
    if (!shell) return -1;
    int result = -1;
    WCHAR* wide = nullptr;
    auto get_folder = reinterpret_cast<GetKnownFolderPath>(GetProcAddress(shell, "SHGetKnownFolderPath"));
    if (get_folder && SUCCEEDED(get_folder(FOLDERID_SavedGames, 0, nullptr, &wide))) {
        char folder[256];
        if (WideCharToMultiByte(CP_ACP, 0, wide, -1, folder, sizeof folder, nullptr, nullptr) > 0 &&
            path_set(out, folder, "\\CORVAN\\"))
            result = 0;
    }
    CoTaskMemFree(wide);
    FreeLibrary(shell);
    return result;
}

int sys_path_from_pathkit(char* out, const char* program_path, const char* user_name)
{
    if (path_from_pathkit_library(out, program_path, user_name) == 0) return 0;
    return path_from_desktop(out, user_name);
}

int sys_path_9x(char* out, const char* program_path, const char* user_name)
{
    char folder[MAX_PATH];
    if (!path_set(folder, program_path)) return -1;
    for (;;) {
        const char* last = sys_find_last_char(folder, '\\');
        if (!last) return -1;
        if (sys_prefix_compare_nocase(last, "\\corvan") == 0) break;
        cut_last_component(folder);
    }
    // An empty user name leaves "\USERS\" alone rather than doubling the backslash.
    const char* separator = user_name[0] ? "\\" : "";
    char tail[MAX_PATH];
    if (!path_set(tail, "\\USERS\\", user_name, separator)) return -1;
    return path_set(out, folder, tail) ? 0 : -1;
}

void sys_free_pathkit()
{
    if (!g_pathkit_module) return;
    FreeLibrary(g_pathkit_module);
    g_pathkit_module = nullptr;
}

void sys_chdir_to_exe()
{
    char folder[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    char* last = const_cast<char*>(sys_find_last_char(folder, '\\'));
    if (!last) return;
    last[last == folder ? 1 : 0] = '\0';
    SetCurrentDirectoryA(folder);
}

void path_create_dirs(const char* path, bool folder_only)
{
    char work[MAX_PATH];
    if (std::strlen(path) >= MAX_PATH) return;
    sys_copy_string(work, path, sizeof work);
    path_to_backslashes(work);
    if (folder_only) {
        char* last = const_cast<char*>(sys_find_last_char(work, '\\'));
        if (!last) return;
        last[1] = '\0';
    }
    for (char* at = work; *at; ++at) {
        if (sys_is_lead_byte(*at)) {
            if (!*++at) break;
            continue;
        }
        if (*at != '\\') continue;
        *at = '\0';
        create_folder(work);
        *at = '\\';
    }
    create_folder(work);
}

HRESULT sys_read_registry_dword(HKEY key, DWORD* out)
{
    if (!key) return S_OK;
    DWORD type = 0;
    DWORD size = sizeof(DWORD);
    LSTATUS status =
        RegQueryValueExA(key, "LoadDebugRuntime", nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
    return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}
