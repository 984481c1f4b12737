// Shell, user, registry and library services of the platform, as the game calls them.
// Folders come from the XDG environment and reach the program in its own path form.
#pragma once

#include "platform/win_error.h"
#include "platform/win_types.h"

#include <cstdint>

// The logon name. size: in, the buffer's size; out, the length with the terminator (also
// the size needed when the buffer is too small: FALSE, ERROR_INSUFFICIENT_BUFFER).
BOOL GetUserNameA(char* buffer, DWORD* size);

// Wide text in the platform's sense: UTF-16.
using WCHAR = char16_t;

using KNOWNFOLDERID = GUID;
extern const KNOWNFOLDERID FOLDERID_SavedGames;

// The Saved Games folder is the user's data home ($XDG_DATA_HOME, else ~/.local/share).
// The text is freed with CoTaskMemFree. Unknown folders: E_INVALIDARG.
HRESULT SHGetKnownFolderPath(const KNOWNFOLDERID& id, DWORD flags, HANDLE token, WCHAR** path);
void* CoTaskMemAlloc(SIZE_T size);
void CoTaskMemFree(void* block);

// UTF-16 to the ANSI code page (Shift-JIS). wide_count -1 includes the terminator; out_size 0
// asks for the size needed. A character Shift-JIS cannot express fails the call with
// ERROR_NO_UNICODE_TRANSLATION rather than being replaced.
constexpr UINT CP_ACP = 0;
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide, int wide_count, char* out,
                        int out_size, const char* default_char, BOOL* used_default);

// Special folders through item lists, freed with the shell allocator.
constexpr int CSIDL_DESKTOP = 0x0000;
struct ITEMIDLIST;
// The desktop is $XDG_DESKTOP_DIR, else ~/Desktop. Other folders: E_INVALIDARG.
HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, ITEMIDLIST** list);
BOOL SHGetPathFromIDListA(const ITEMIDLIST* list, char* path); // path of MAX_PATH bytes

class IMalloc {
public:
    virtual DWORD AddRef() = 0;
    virtual DWORD Release() = 0;
    virtual void* Alloc(SIZE_T size) = 0;
    virtual void Free(void* block) = 0;

protected:
    ~IMalloc() = default;
};
HRESULT SHGetMalloc(IMalloc** allocator);

// Libraries. The shell's own ("shell32.dll") is built in; any other name is a host file
// opened with dlopen, so a missing or foreign library fails to load as it would on a machine
// without it (ERROR_MOD_NOT_FOUND, ERROR_BAD_EXE_FORMAT). A platform library that has a
// host library of the same interface is that library ("vorbisfile.dll": libvorbisfile).
// Cast to the export's own type before calling; this type converts to any function pointer.
using FARPROC = void (*)();
HMODULE LoadLibraryA(const char* name);
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);

// The registry holds no keys: opening any key fails with ERROR_FILE_NOT_FOUND, and so does a
// value read on a predefined root.
using HKEY = struct RegistryKeyTag*;
using LSTATUS = LONG;
using REGSAM = DWORD;
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(LONG(0x80000001)));
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(LONG(0x80000002)));
constexpr REGSAM KEY_READ = 0x20019;
constexpr DWORD REG_DWORD = 4;
LSTATUS RegOpenKeyExA(HKEY key, const char* sub_key, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LSTATUS RegCloseKey(HKEY key);
