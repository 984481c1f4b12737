// The per-user folder (save slots, records, the game's ini without cloud storage), folders
// created on demand, the working directory moved to the program, and the one registry read.
// Paths are the program's own: Shift-JIS with backslashes; folders end with '\'.
#pragma once

#include "platform/win_kernel.h"
#include "platform/win_shell.h"
#include "platform/win_types.h"

#include <cstdint>
#include <string>

// "UserProfileHere" of "common.ini": the user folder lies under the working folder.
extern std::uint8_t g_user_profile_here;

// Writes the user folder into `out` (MAX_PATH bytes): "user\<user name>\" with
// g_user_profile_here, else the application-data folder with "kro_win\"; empty when none
// was found, so files then go relative to the working folder.
void sys_user_folder(char* out);
// The path of a file of that name in the user folder.
std::string sys_user_file_path(const char* name);

// The application-data folder followed by "kro_win\", by the road of the running system;
// 0, or -1 (nothing appended) when there is none.
int sys_app_data_folder(char* out, const char* user_name);
// The same for a given version record and program path (every road can be tried).
int sys_app_data_folder_of(const OSVERSIONINFOEXA& version, const char* program_path, char* out,
                           const char* user_name);

// NT 6 on: the Saved Games folder followed by "\CORVAN\"; -1 on failure.
int sys_path_saved_games(char* out);
// NT 4 and 5: the path library "pathkit.dll" beside the program or in a folder above it,
// else the profile folder derived from the desktop, followed by "\Application Data\CORVAN\";
// 0 through the library, 1 through the fallback, -1 on failure.
int sys_path_from_pathkit(char* out, const char* program_path, const char* user_name);
// Windows 9x: the program's path up to the innermost folder whose name begins with "corvan"
// (any case), followed by "\USERS\", the user name and '\'; -1 when there is none.
int sys_path_9x(char* out, const char* program_path, const char* user_name);

// The library the NT 4/5 road loaded, freed at exit (null when none).
extern HMODULE g_pathkit_module;
void sys_free_pathkit();

// Moves the working directory to the program's folder; a path without '\' changes nothing.
void sys_chdir_to_exe();

// Creates every missing folder of the path, outermost first; with `folder_only` the part after
// the last '\' is a file name and is left alone. Folders that cannot be made are skipped: the
// open that follows reports the failure.
void path_create_dirs(const char* path, bool folder_only);

// Reads the 4-byte value "LoadDebugRuntime" of an opened key. S_OK when read or when no key
// is given, E_FAIL when the read fails.
HRESULT sys_read_registry_dword(HKEY key, DWORD* out);
