// Packed files (".z"): an 8-byte header (a word not read, the unpacked size) and one zlib
// stream, stored in the archive under the file's name with ".z" appended. A load inflates the
// whole file into the work block, which stays lent to the caller until it gives it back.
#pragma once

#include "core/vfs.h"

#include <cstdint>
#include <span>

constexpr std::uint32_t UNPACK_HEADER_SIZE = 8;
constexpr std::uint32_t UNPACK_CHUNK_SIZE = 0x10000; // the input buffer and the output window

// Created by the caller with a null pointer and size 0.
struct UnpackBuffer {
    std::uint8_t* data = nullptr; // the work block while lent, else null
    std::uint32_t size = 0;       // unpacked size from the header
};

// Unpacks the archive entry the caller found for `path` (vfs_find), so a file is looked up once;
// `path` names it in the error. The unpacked bytes in the work block, or null without an error
// when the entry is null (the path is not in the archive), or when the work block is lent or
// smaller than the file. Throws RuntimeError "<path> read error. Archive is corrupt. ..." when
// the header cannot be read or the stream is damaged or does not give exactly the header's size;
// the block is free again then.
std::uint8_t* unpack_load(UnpackBuffer& buffer, const VfsEntry* entry, const char* path);
// Whether a path names a packed file: it ends in ".z" in any case.
bool unpack_is_packed_path(const char* path);
// Inflates the stream from the file's position into `dest`, which must come out exactly full.
// 0, or a zlib error code (Z_DATA_ERROR also for a stream longer or shorter than `dest`).
int unpack_inflate(std::span<std::uint8_t> dest, VfsFile& file);
// Gives the work block back when the buffer holds it, and clears the buffer.
void unpack_release_buffer(UnpackBuffer& buffer);
