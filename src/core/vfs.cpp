#include "core/vfs.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/file.h"
#include "core/scramble.h"
#include "core/sys.h"
#include "core/text.h"
#include "platform/win_file.h"
#include "platform/win_kernel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace {

struct VfsSlot {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    const std::uint8_t* view = nullptr;
    DWORD flags = 0;
    std::uint32_t size = 0; // of the data file; no entry may reach past it
};

struct VfsTable {
    std::vector<VfsEntry> entries;
    std::vector<char> names;
    char folder[MAX_PATH] = {};
    VfsSlot slots[2];
    int open_slots = 0;
};

VfsTable g_vfs;
std::uint32_t g_vfs_throttle = 0;

// Every name offset must lie inside the table and its name end there, so lookups never read
// past the table.
bool names_are_sound(const std::vector<VfsEntry>& entries, const std::vector<char>& names)
{
    for (const VfsEntry& entry : entries) {
        if (entry.name_offset >= names.size()) return false;
        if (!std::memchr(names.data() + entry.name_offset, 0, names.size() - entry.name_offset)) return false;
    }
    return true;
}

HRESULT vfs_load_index(const char* path, std::vector<VfsEntry>& entries, std::vector<char>& names)
{
    std::vector<std::uint8_t> bytes;
    HRESULT result = file_read_whole(path, bytes);
    if (FAILED(result)) return result;
    std::uint32_t count = 0, names_size = 0, flags = 0;
    if (!bytes_get_u32(bytes, 4, count) || !bytes_get_u32(bytes, 8, names_size) ||
        !bytes_get_u32(bytes, 12, flags))
        return ERR_BROKEN_DATA;
    if (flags & VFS_FLAG_INCREMENTAL) err_raise("vfs::Startup: No incremental linking support.", ERR_HERE);
    const std::uint64_t entries_size = std::uint64_t{count} * sizeof(VfsEntry);
    if (bytes.size() < VFS_INDEX_HEADER_SIZE + entries_size + names_size) return ERR_BROKEN_DATA;

    std::span<std::uint8_t> entry_bytes(bytes.data() + VFS_INDEX_HEADER_SIZE, entries_size);
    std::span<std::uint8_t> name_bytes(entry_bytes.data() + entries_size, names_size);
    save_unscramble(entry_bytes, VFS_ARCHIVE_SEED);
    save_unscramble(name_bytes, VFS_ARCHIVE_SEED);
    std::vector<VfsEntry> loaded(count);
    ByteReader(entry_bytes).Read(loaded.data(), entry_bytes.size()); // sized by the check above
    std::vector<char> loaded_names(name_bytes.begin(), name_bytes.end());
    if (!names_are_sound(loaded, loaded_names)) return ERR_BROKEN_DATA;
    entries = std::move(loaded);
    names = std::move(loaded_names);
    return S_OK;
}

// "<folder><pair>.ni" and "<folder><pair>.na"; false when they do not fit.
bool pair_paths(const char* pair, char (&index_path)[MAX_PATH], char (&data_path)[MAX_PATH])
{
    int index_length = std::snprintf(index_path, MAX_PATH, "%s%s.ni", g_vfs.folder, pair);
    int data_length = std::snprintf(data_path, MAX_PATH, "%s%s.na", g_vfs.folder, pair);
    return index_length > 0 && index_length < static_cast<int>(MAX_PATH) && data_length == index_length;
}

HRESULT open_slot(VfsSlot& slot, const char* path, bool map)
{
    DWORD flags = FILE_FLAG_RANDOM_ACCESS;
    if (g_os_generation >= OS_GENERATION_NT5) flags |= FILE_FLAG_OVERLAPPED;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ERR_OPEN_FILE;
    DWORD size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE) {
        CloseHandle(file);
        return ERR_READ_FILE;
    }
    slot = VfsSlot{file, nullptr, nullptr, flags, size};
    // An unmapped slot is served by file reads, so a failed mapping is no failure.
    if (!map) return S_OK;
    slot.mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!slot.mapping) return S_OK;
    slot.view = static_cast<const std::uint8_t*>(MapViewOfFile(slot.mapping, FILE_MAP_READ, 0, 0, 0));
    if (!slot.view) {
        CloseHandle(slot.mapping);
        slot.mapping = nullptr;
    }
    return S_OK;
}

void close_slot(VfsSlot& slot)
{
    if (slot.view) UnmapViewOfFile(slot.view);
    if (slot.mapping) CloseHandle(slot.mapping);
    if (slot.file != INVALID_HANDLE_VALUE) CloseHandle(slot.file);
    slot = VfsSlot{};
}

[[noreturn]] void fail_startup(HRESULT code, const char* detail)
{
    vfs_close_all();
    err_raise_code(code, detail, ERR_HERE);
}

[[noreturn]] void fail_open(const char* index_path)
{
    char detail[ERR_DETAIL_SIZE + MAX_PATH];
    std::snprintf(detail, sizeof detail,
                  "Failed to open [%s] archive.\r\nPlease reinstall the game,\r\nas the file may be corrupt.",
                  index_path);
    fail_startup(ERR_OPEN_FILE, detail);
}

[[noreturn]] void fail_corrupt(HRESULT code, const char* index_path)
{
    char detail[ERR_DETAIL_SIZE + MAX_PATH];
    std::snprintf(detail, sizeof detail,
                  "Archive [%s] is corrupt.\r\nPlease reinstall the game\r\nto prevent further issues.",
                  index_path);
    fail_startup(code, detail);
}

// The first entry of the hash whose name equals the path exactly.
VfsEntry* search(std::vector<VfsEntry>& entries, const std::vector<char>& names, std::uint32_t hash,
                 const char* name)
{
    auto it =
        std::lower_bound(entries.begin(), entries.end(), hash,
                         [](const VfsEntry& entry, std::uint32_t wanted) { return entry.hash < wanted; });
    for (; it != entries.end() && it->hash == hash; ++it)
        if (std::strcmp(names.data() + it->name_offset, name) == 0) return &*it;
    return nullptr;
}

void merge_overlay(std::vector<VfsEntry>& overlay, const std::vector<char>& overlay_names)
{
    for (VfsEntry& entry : overlay) {
        VfsEntry* main =
            search(g_vfs.entries, g_vfs.names, entry.hash, overlay_names.data() + entry.name_offset);
        if (!main) continue;
        main->size = entry.size;
        main->offset = entry.offset | VFS_OFFSET_OVERLAY;
        entry.size = 0;
    }
    for (const VfsEntry& entry : overlay) {
        if (entry.size == 0) continue;
        const char* name = overlay_names.data() + entry.name_offset;
        g_vfs.entries.push_back({entry.hash, entry.size, entry.offset | VFS_OFFSET_OVERLAY,
                                 static_cast<std::uint32_t>(g_vfs.names.size())});
        g_vfs.names.insert(g_vfs.names.end(), name, name + std::strlen(name) + 1);
    }
    std::sort(g_vfs.entries.begin(), g_vfs.entries.end(),
              [](const VfsEntry& a, const VfsEntry& b) { return a.hash < b.hash; });
}

// The slot holding the entry's bytes, or null when that slot is closed or the entry's range
// reaches past its data file.
const VfsSlot* entry_slot(const VfsEntry& entry)
{
    const VfsSlot& slot = g_vfs.slots[(entry.offset & VFS_OFFSET_OVERLAY) ? 1 : 0];
    const std::uint32_t start = entry.offset & VFS_OFFSET_MASK;
    if (slot.file == INVALID_HANDLE_VALUE || std::uint64_t{start} + entry.size > slot.size) return nullptr;
    return &slot;
}

HRESULT read_slot(const VfsSlot& slot, std::uint32_t offset, void* buffer, DWORD count, DWORD& done)
{
    if (slot.view) {
        std::memcpy(buffer, slot.view + offset, count);
        done = count;
        return S_OK;
    }
    // A plain read starts at the system's file pointer, so the pointer goes to the offset first.
    if (!(slot.flags & FILE_FLAG_OVERLAPPED) &&
        SetFilePointer(slot.file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return ERR_SEEK_FILE;
    return file_transfer(slot.file, slot.flags, offset, buffer, count, false, done);
}

} // namespace

HRESULT vfs::Startup(const char* folder)
{
    // Registered from the program body, so it runs before the handle table it closes into is
    // destroyed, which a static object's destructor would not ensure.
    [[maybe_unused]] static const int closes_at_exit = std::atexit(vfs_close_all);
    vfs_close_all();
    sys_copy_string(g_vfs.folder, folder, sizeof g_vfs.folder);
    path_make_dir(g_vfs.folder, sizeof g_vfs.folder);
    char index_path[MAX_PATH], data_path[MAX_PATH];
    HRESULT result = pair_paths("data", index_path, data_path)
                         ? vfs_load_index(index_path, g_vfs.entries, g_vfs.names)
                         : ERR_OPEN_FILE;
    if (result == ERR_OPEN_FILE) fail_open(index_path);
    if (FAILED(result)) fail_corrupt(result, index_path);
    result = open_slot(g_vfs.slots[0], data_path, !g_vfs.names.empty());
    if (FAILED(result)) fail_corrupt(result, index_path);
    g_vfs.open_slots = 1;
    return S_OK;
}

HRESULT vfs_mount_overlay(BOOL map_data_file)
{
    if (g_vfs.open_slots != 1) return E_FAIL;
    char index_path[MAX_PATH], data_path[MAX_PATH];
    if (!pair_paths("data_us", index_path, data_path)) return E_FAIL;
    std::vector<VfsEntry> entries;
    std::vector<char> names;
    if (FAILED(vfs_load_index(index_path, entries, names))) return E_FAIL;
    // The data file is opened before the merge, so a failure leaves the main table as it was.
    if (FAILED(open_slot(g_vfs.slots[1], data_path, map_data_file != FALSE))) return E_FAIL;
    merge_overlay(entries, names);
    g_vfs.open_slots = 2;
    return S_OK;
}

const VfsEntry* vfs_find(const char* path)
{
    char upper[VFS_PATH_SIZE];
    if (std::strlen(path) >= sizeof upper) return nullptr;
    for (std::size_t i = 0;; ++i) {
        char c = path[i];
        upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        if (c == 0) break;
        // The trail byte of a double-byte character is never a letter to fold.
        if (sys_is_lead_byte(c) && path[i + 1] != 0) {
            ++i;
            upper[i] = path[i];
        }
    }
    const char* relative = std::strncmp(upper, "DATA\\", 5) == 0 ? upper + 5 : upper;
    char normal[VFS_PATH_SIZE];
    if (!vfs_normalize_path(relative, normal, sizeof normal)) return nullptr;
    return search(g_vfs.entries, g_vfs.names, vfs_hash_name(normal), normal);
}

HRESULT vfs_read(VfsFile& file, void* buffer, std::uint32_t count, std::uint32_t* read)
{
    if (read) *read = 0;
    if (!file.entry) return E_FAIL;
    const VfsEntry& entry = *file.entry;
    count = std::min(count, entry.size > file.position ? entry.size - file.position : 0u);
    if (count == 0) return S_OK;
    const VfsSlot* slot = entry_slot(entry);
    if (!slot) return ERR_READ_FILE;
    DWORD done = 0;
    HRESULT result = read_slot(*slot, (entry.offset & VFS_OFFSET_MASK) + file.position, buffer, count, done);
    if (FAILED(result)) return result;
    file.position += done;
    if (read) *read = done;
    file_io_throttle(g_vfs_throttle, done);
    return S_OK;
}

std::span<const std::uint8_t> vfs_mapped_rest(const VfsFile& file)
{
    if (!file.entry) return {};
    const VfsSlot* slot = entry_slot(*file.entry);
    if (!slot || !slot->view || file.position >= file.entry->size) return {};
    return {slot->view + (file.entry->offset & VFS_OFFSET_MASK) + file.position,
            file.entry->size - file.position};
}

void vfs_close_file(VfsFile& file)
{
    file.entry = nullptr;
}

HRESULT vfs_read_entry(const char* path, std::vector<std::uint8_t>& out)
{
    out.clear();
    VfsFile file{vfs_find(path), 0};
    if (!file.entry) return ERR_OPEN_FILE;
    // Checked before the buffer is made, so a damaged entry cannot ask for a huge one.
    if (!entry_slot(*file.entry)) return ERR_READ_FILE;
    out.resize(file.entry->size);
    std::uint32_t read = 0;
    HRESULT result = vfs_read(file, out.data(), file.entry->size, &read);
    vfs_close_file(file);
    if (SUCCEEDED(result) && read != out.size()) result = ERR_READ_FILE;
    if (FAILED(result)) out.clear();
    return result;
}

void vfs_close_all()
{
    for (VfsSlot& slot : g_vfs.slots)
        close_slot(slot);
    vfs_reset();
}

void vfs_reset()
{
    g_vfs.entries = {};
    g_vfs.names = {};
    g_vfs.folder[0] = 0;
    for (VfsSlot& slot : g_vfs.slots)
        slot = VfsSlot{};
    g_vfs.open_slots = 0;
}

std::uint32_t vfs_hash_name(const char* text)
{
    std::uint32_t sum = 0;
    int shift = 0;
    for (const char* c = text; *c; ++c) {
        sum += static_cast<std::uint32_t>((static_cast<unsigned char>(*c) - 32) & 0xFF) << shift;
        shift = (shift + 5) % 25;
    }
    return sum % 65521;
}

bool vfs_normalize_path(const char* path, char* out, std::size_t size)
{
    if (size == 0) return false;
    std::size_t length = 0;
    const char* p = path;
    while (*p) {
        if (p[0] == '\\' && p[1] == '.' && p[2] == '\\') {
            p += 2;
            continue;
        }
        if (p[0] == '\\' && p[1] == '.' && p[2] == '.' && p[3] == '\\') {
            out[length] = 0;
            const char* cut = sys_find_last_char(out, '\\');
            if (cut) {
                length = static_cast<std::size_t>(cut - out);
            } else {
                if (size < 3) return false;
                out[0] = out[1] = '.';
                length = 2;
            }
            p += 3;
            continue;
        }
        std::size_t step = sys_is_lead_byte(*p) && p[1] != 0 ? 2 : 1;
        if (length + step >= size) return false;
        std::memcpy(out + length, p, step);
        length += step;
        p += step;
    }
    out[length] = 0;
    return true;
}
