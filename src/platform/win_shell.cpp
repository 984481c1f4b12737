#include "platform/win_shell.h"

#include "platform/impl/host_folders.h"

#include "platform/impl/host_path.h"
#include "platform/impl/sjis.h"
#include "platform/impl/test_seams.h"
#include "platform/impl/win_handles.h"

#include <dlfcn.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

const KNOWNFOLDERID FOLDERID_SavedGames = {
    0x4C5C32FF, 0xBB9D, 0x43B0, {0xB5, 0xB4, 0x2D, 0x72, 0xE5, 0x4E, 0xAA, 0xA4}};

namespace {

constexpr HRESULT k_hresult_file_not_found = make_hresult(0x80070002);
constexpr HRESULT k_hresult_no_translation = make_hresult(0x80070459);

struct Builtin {
    std::string name;
    std::vector<std::pair<std::string, FARPROC>> exports;
};

// A loaded library: either one of the platform's own or a host shared object.
struct LoadedLibrary {
    const Builtin* builtin = nullptr;
    void* shared_object = nullptr;
    int references = 0;
};

std::mutex g_library_lock;
std::list<Builtin> g_builtins;
std::list<LoadedLibrary> g_libraries;

char fold_ascii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_nocase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
    return true;
}

std::string_view file_name_of(std::string_view path)
{
    std::size_t cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool has_folder(std::string_view path)
{
    return path.find_first_of("\\/") != std::string_view::npos;
}

std::u16string utf16_from_utf8(std::string_view text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
        char32_t code = extra ? byte & (0x3F >> extra) : byte;
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            code = (code << 6) | (text[i + k] & 0x3F);
        i += 1 + extra;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

// Empty for a lone surrogate, which no code page can express.
std::optional<std::string> utf8_from_utf16(std::u16string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (code >= 0xD800 && code < 0xE000)
            return std::nullopt;
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

struct ITEMIDLIST_DATA {
    char path[MAX_PATH];
};

class ShellAllocator final : public IMalloc {
public:
    DWORD AddRef() override { return 1; }
    DWORD Release() override { return 1; }
    void* Alloc(SIZE_T size) override { return CoTaskMemAlloc(size); }
    void Free(void* block) override { CoTaskMemFree(block); }
};

ShellAllocator g_shell_allocator;

template <class F> FARPROC as_export(F* function)
{
    return reinterpret_cast<FARPROC>(function);
}

void register_shell_once()
{
    static std::once_flag once;
    std::call_once(once, [] {
        library_register_builtin("shell32.dll",
                                 {{"SHGetKnownFolderPath", as_export(&SHGetKnownFolderPath)},
                                  {"SHGetSpecialFolderLocation", as_export(&SHGetSpecialFolderLocation)},
                                  {"SHGetPathFromIDListA", as_export(&SHGetPathFromIDListA)},
                                  {"SHGetMalloc", as_export(&SHGetMalloc)}});
    });
}

const Builtin* find_builtin(std::string_view name)
{
    for (const Builtin& builtin : g_builtins) {
        bool by_name = !has_folder(builtin.name) && equal_nocase(builtin.name, file_name_of(name));
        if (by_name || equal_nocase(builtin.name, name)) return &builtin;
    }
    return nullptr;
}

// The host's shared object for a library name without a folder.
std::string host_library_name(const char* name)
{
    static constexpr std::pair<const char*, const char*> k_host_libraries[] = {
        {"vorbisfile.dll", "libvorbisfile.so.3"}};
    for (const auto& [platform, host] : k_host_libraries)
        if (equal_nocase(platform, name)) return host;
    return name;
}

LoadedLibrary* find_loaded(HMODULE module)
{
    for (LoadedLibrary& library : g_libraries)
        if (reinterpret_cast<HMODULE>(&library) == module) return &library;
    return nullptr;
}

bool is_predefined(HKEY key)
{
    auto value = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key));
    return reinterpret_cast<std::intptr_t>(key) == static_cast<std::intptr_t>(LONG(value)) &&
           value >= 0x80000000 && value <= 0x80000006;
}

} // namespace

BOOL GetUserNameA(char* buffer, DWORD* size)
{
    if (!size) return win_fail(ERROR_INVALID_PARAMETER);
    const passwd* entry = getpwuid(geteuid());
    const char* name = entry && entry->pw_name ? entry->pw_name : std::getenv("USER");
    if (!name) return win_fail(ERROR_FILE_NOT_FOUND);
    auto converted = host_path_to_windows(name);
    if (!converted) return win_fail(ERROR_NO_UNICODE_TRANSLATION);
    DWORD needed = static_cast<DWORD>(converted->size() + 1);
    if (!buffer || *size < needed) {
        *size = needed;
        return win_fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, converted->c_str(), needed);
    *size = needed;
    return TRUE;
}

HRESULT SHGetKnownFolderPath(const KNOWNFOLDERID& id, DWORD, HANDLE, WCHAR** path)
{
    if (!path) return E_INVALIDARG;
    *path = nullptr;
    if (std::memcmp(&id, &FOLDERID_SavedGames, sizeof id) != 0) return k_hresult_file_not_found;
    auto folder = host_data_home();
    if (!folder) return k_hresult_file_not_found;
    std::string windows = *folder;
    for (char& c : windows)
        if (c == '/') c = '\\';
    std::u16string wide = utf16_from_utf8(windows);
    auto* text = static_cast<WCHAR*>(CoTaskMemAlloc((wide.size() + 1) * sizeof(WCHAR)));
    if (!text) return E_OUTOFMEMORY;
    std::memcpy(text, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    *path = text;
    return S_OK;
}

void* CoTaskMemAlloc(SIZE_T size)
{
    return std::malloc(size ? size : 1);
}
void CoTaskMemFree(void* block)
{
    std::free(block);
}

int WideCharToMultiByte(UINT code_page, DWORD, const WCHAR* wide, int wide_count, char* out, int out_size,
                        const char*, BOOL* used_default)
{
    if (code_page != CP_ACP || !wide || wide_count == 0 || out_size < 0)
        return win_fail(ERROR_INVALID_PARAMETER), 0;
    std::size_t length = 0;
    if (wide_count < 0)
        while (wide[length++]) {
        }
    else
        length = static_cast<std::size_t>(wide_count);
    auto utf8 = utf8_from_utf16(std::u16string_view(wide, length));
    auto text = utf8 ? utf8_to_sjis(*utf8) : std::nullopt;
    if (!text) {
        if (utf8) host_path_report_refused(*utf8);
        return win_fail(ERROR_NO_UNICODE_TRANSLATION), 0;
    }
    if (used_default) *used_default = FALSE;
    if (out_size == 0) return static_cast<int>(text->size());
    if (text->size() > static_cast<std::size_t>(out_size)) return win_fail(ERROR_INSUFFICIENT_BUFFER), 0;
    std::memcpy(out, text->data(), text->size());
    return static_cast<int>(text->size());
}

HRESULT SHGetSpecialFolderLocation(HWND, int folder, ITEMIDLIST** list)
{
    if (!list) return E_INVALIDARG;
    *list = nullptr;
    if (folder != CSIDL_DESKTOP) return E_INVALIDARG;
    auto desktop = host_xdg_folder("XDG_DESKTOP_DIR", "/Desktop");
    if (!desktop) return k_hresult_file_not_found;
    auto windows = host_path_to_windows(*desktop);
    if (!windows) return k_hresult_no_translation;
    if (windows->size() >= MAX_PATH) return E_FAIL;
    auto* data = static_cast<ITEMIDLIST_DATA*>(CoTaskMemAlloc(sizeof(ITEMIDLIST_DATA)));
    if (!data) return E_OUTOFMEMORY;
    std::memcpy(data->path, windows->c_str(), windows->size() + 1);
    *list = reinterpret_cast<ITEMIDLIST*>(data);
    return S_OK;
}

BOOL SHGetPathFromIDListA(const ITEMIDLIST* list, char* path)
{
    if (!list || !path) return FALSE;
    std::memcpy(path, reinterpret_cast<const ITEMIDLIST_DATA*>(list)->path, MAX_PATH);
    return TRUE;
}

HRESULT SHGetMalloc(IMalloc** allocator)
{
    if (!allocator) return E_INVALIDARG;
    *allocator = &g_shell_allocator;
    return S_OK;
}

void library_register_builtin(const char* name, std::initializer_list<LibraryExport> exports)
{
    Builtin builtin{name, {}};
    for (const LibraryExport& entry : exports)
        builtin.exports.emplace_back(entry.name, entry.function);
    std::lock_guard lock(g_library_lock);
    g_builtins.push_back(std::move(builtin));
}

void library_unregister_builtin(const char* name)
{
    std::lock_guard lock(g_library_lock);
    g_builtins.remove_if([&](const Builtin& builtin) {
        bool loaded = false;
        for (const LoadedLibrary& library : g_libraries)
            loaded |= library.builtin == &builtin;
        return !loaded && builtin.name == name;
    });
}

HMODULE LoadLibraryA(const char* name)
{
    if (!name || !*name) return win_fail(ERROR_INVALID_PARAMETER), nullptr;
    register_shell_once();
    std::lock_guard lock(g_library_lock);
    LoadedLibrary library;
    library.builtin = find_builtin(name);
    if (!library.builtin) {
        std::string host = has_folder(name) ? host_path_from_windows(name) : host_library_name(name);
        struct stat info {};
        if (has_folder(name) && stat(host.c_str(), &info) != 0) return win_fail(ERROR_MOD_NOT_FOUND), nullptr;
        library.shared_object = dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library.shared_object)
            return win_fail(has_folder(name) ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND), nullptr;
    }
    // A module loaded again under another spelling is the same module, counted once more.
    for (LoadedLibrary& loaded : g_libraries)
        if (loaded.builtin == library.builtin && loaded.shared_object == library.shared_object) {
            if (library.shared_object) dlclose(library.shared_object);
            ++loaded.references;
            return reinterpret_cast<HMODULE>(&loaded);
        }
    library.references = 1;
    g_libraries.push_back(library);
    return reinterpret_cast<HMODULE>(&g_libraries.back());
}

FARPROC GetProcAddress(HMODULE module, const char* name)
{
    std::lock_guard lock(g_library_lock);
    LoadedLibrary* library = find_loaded(module);
    if (!library) return win_fail(ERROR_MOD_NOT_FOUND), nullptr;
    if (!name) return win_fail(ERROR_PROC_NOT_FOUND), nullptr;
    if (library->builtin) {
        for (const auto& entry : library->builtin->exports)
            if (entry.first == name) return entry.second;
        return win_fail(ERROR_PROC_NOT_FOUND), nullptr;
    }
    void* symbol = dlsym(library->shared_object, name);
    if (!symbol) return win_fail(ERROR_PROC_NOT_FOUND), nullptr;
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module)
{
    std::lock_guard lock(g_library_lock);
    LoadedLibrary* library = find_loaded(module);
    if (!library) return win_fail(ERROR_INVALID_HANDLE);
    if (--library->references > 0) return TRUE;
    if (library->shared_object) dlclose(library->shared_object);
    g_libraries.remove_if([&](const LoadedLibrary& entry) { return &entry == library; });
    return TRUE;
}

LSTATUS RegOpenKeyExA(HKEY key, const char*, DWORD, REGSAM, HKEY* result)
{
    if (result) *result = nullptr;
    if (!result) return ERROR_INVALID_PARAMETER;
    return is_predefined(key) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueExA(HKEY key, const char*, DWORD*, DWORD*, BYTE*, DWORD*)
{
    return is_predefined(key) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
}

LSTATUS RegCloseKey(HKEY key)
{
    return is_predefined(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
