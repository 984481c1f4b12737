// The read-only archive: the main pair "data.ni"/"data.na" and the overlay pair
// "data_us.ni"/"data_us.na" in the archive folder. Overlay entries replace main entries of the
// same name and add new ones. Loaders find a file by its path and read it through a VfsFile, or
// read it whole with vfs_read_entry. The index is scrambled with the keystream of core/scramble.h.
#pragma once

#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

constexpr std::uint32_t VFS_ARCHIVE_SEED = 0x5A1E3C97;
constexpr std::uint32_t VFS_INDEX_HEADER_SIZE = 16;
constexpr std::uint32_t VFS_FLAG_INCREMENTAL = 0x1; // in the index header; not supported
constexpr std::uint32_t VFS_OFFSET_MASK = 0x3FFFFFFF;
constexpr std::uint32_t VFS_OFFSET_OVERLAY = 0x80000000; // the data lies in the overlay's data file
// Lookups copy the path into a buffer of this size; a longer path finds nothing.
constexpr std::size_t VFS_PATH_SIZE = MAX_PATH;

// An index entry as the file holds it once restored. Entries are sorted by ascending hash.
struct VfsEntry {
    std::uint32_t hash;
    std::uint32_t size;
    std::uint32_t offset;      // VFS_OFFSET_MASK bits: byte offset in the data file
    std::uint32_t name_offset; // of the terminated upper-case name in the name table
};
static_assert(sizeof(VfsEntry) == 16);

// An open archive file: the entry it reads (null when closed) and the read position.
struct VfsFile {
    const VfsEntry* entry = nullptr;
    std::uint32_t position = 0;
};

namespace vfs {
// Opens the main pair in the folder ("release\"; the folder is remembered for the overlay).
// Returns 0; throws RuntimeError when the index is missing or corrupt or the data file cannot
// be opened, after closing everything.
HRESULT Startup(const char* folder);
} // namespace vfs

// Merges the overlay pair from the same folder; its data file is memory-mapped only when
// `map_data_file` is set. E_FAIL when the pair is missing or corrupt, or when the main pair is
// not open or an overlay is already mounted. An incrementally linked index throws, as at start-up.
HRESULT vfs_mount_overlay(BOOL map_data_file);
// The entry of a path ("data\misc\a.dat", "MISC\A.DAT", "misc\x\..\a.dat" ...), or null.
const VfsEntry* vfs_find(const char* path);
// Reads from the file's position and advances it; the count is cut to what the entry has left
// (nothing left is success with 0 bytes). E_FAIL for a closed file; ERR_READ_FILE when the
// entry's range lies outside its data file or the read fails; ERR_SEEK_FILE when the position
// cannot be set. `read` may be null.
HRESULT vfs_read(VfsFile& file, void* buffer, std::uint32_t count, std::uint32_t* read);
void vfs_close_file(VfsFile& file);
// The rest of the entry from the file's position, in place, when its data file is mapped and the
// entry lies inside it; empty otherwise (the caller reads it in pieces then).
std::span<const std::uint8_t> vfs_mapped_rest(const VfsFile& file);
// The whole of an archive file, for loaders that parse it in memory. ERR_OPEN_FILE when the path
// is not in the archive; ERR_READ_FILE when the entry's range lies outside its data file or the
// read comes short; otherwise vfs_read's failure. `out` is empty on any failure.
HRESULT vfs_read_entry(const char* path, std::vector<std::uint8_t>& out);
// Unmaps and closes both pairs and frees the tables; run on a failed start-up, at shutdown and
// (registered by the first start-up) at process exit.
void vfs_close_all();
// Empties the table without closing anything (the state before start-up).
void vfs_reset();

std::uint32_t vfs_hash_name(const char* text);
// Resolves "." and ".." components that stand between two backslashes. A ".." with no
// component before it to remove turns the output into "..". False when `out` is too small.
bool vfs_normalize_path(const char* path, char* out, std::size_t size);
