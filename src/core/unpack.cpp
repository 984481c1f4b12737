#include "core/unpack.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/sys.h"

#include <cstdio>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <zlib.h>

namespace {

std::uint8_t g_unpack_input[UNPACK_CHUNK_SIZE];
std::uint8_t g_unpack_window[UNPACK_CHUNK_SIZE];

// Moves the window's filled part to the destination; refused when it would run past it.
bool flush_window(std::span<std::uint8_t> dest, std::size_t& offset, std::size_t filled)
{
    if (filled > dest.size() - offset) return false;
    std::memcpy(dest.data() + offset, g_unpack_window, filled);
    offset += filled;
    return true;
}

int inflate_stream(z_stream& stream, std::span<std::uint8_t> dest, VfsFile& file)
{
    std::size_t offset = 0;
    stream.next_out = g_unpack_window;
    stream.avail_out = UNPACK_CHUNK_SIZE;
    for (;;) {
        if (stream.avail_in == 0) {
            std::uint32_t got = 0;
            vfs_read(file, g_unpack_input, UNPACK_CHUNK_SIZE, &got);
            stream.next_in = g_unpack_input;
            stream.avail_in = got;
        }
        int result = inflate(&stream, Z_NO_FLUSH);
        if (stream.avail_out == 0) {
            if (!flush_window(dest, offset, UNPACK_CHUNK_SIZE)) return Z_DATA_ERROR;
            stream.next_out = g_unpack_window;
            stream.avail_out = UNPACK_CHUNK_SIZE;
        }
        if (result == Z_STREAM_END) {
            // A stream that ends short would leave an earlier file's bytes in the block.
            if (!flush_window(dest, offset, UNPACK_CHUNK_SIZE - stream.avail_out)) return Z_DATA_ERROR;
            return offset == dest.size() ? Z_OK : Z_DATA_ERROR;
        }
        if (result != Z_OK) return result;
    }
}

// One decompressor for the process: it holds no state between calls.
libdeflate_decompressor* decompressor()
{
    static const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> one(
        libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
    return one.get();
}

// The whole stream in memory: one call, straight into the destination. Bytes after the stream's
// end are ignored, as the piecewise reader ignores them.
int inflate_whole(std::span<std::uint8_t> dest, std::span<const std::uint8_t> stream)
{
    libdeflate_decompressor* inflater = decompressor();
    if (!inflater) return Z_MEM_ERROR;
    std::size_t used = 0;
    std::size_t written = 0;
    const libdeflate_result result = libdeflate_zlib_decompress_ex(inflater, stream.data(), stream.size(),
                                                                   dest.data(), dest.size(), &used, &written);
    return result == LIBDEFLATE_SUCCESS && written == dest.size() ? Z_OK : Z_DATA_ERROR;
}

} // namespace

int unpack_inflate(std::span<std::uint8_t> dest, VfsFile& file)
{
    z_stream stream{};
    int result = inflateInit(&stream);
    if (result != Z_OK) return result;
    result = inflate_stream(stream, dest, file);
    inflateEnd(&stream);
    return result;
}

std::uint8_t* unpack_load(UnpackBuffer& buffer, const VfsEntry* entry, const char* path)
{
    if (!entry) return nullptr;
    VfsFile file{entry, 0};
    std::uint8_t header[UNPACK_HEADER_SIZE];
    std::uint32_t got = 0;
    bool claimed = false;
    bool sound = SUCCEEDED(vfs_read(file, header, sizeof header, &got)) && got == sizeof header &&
                 bytes_get_u32(header, 4, buffer.size);
    if (sound) {
        buffer.data = sys_lend_work_block(buffer.size);
        claimed = buffer.data != nullptr;
        if (!claimed) return nullptr;
        const std::span<std::uint8_t> dest(buffer.data, buffer.size);
        const std::span<const std::uint8_t> stream = vfs_mapped_rest(file);
        sound = (stream.empty() ? unpack_inflate(dest, file) : inflate_whole(dest, stream)) == Z_OK;
    }
    vfs_close_file(file);
    if (sound) return buffer.data;

    if (claimed) sys_return_work_block();
    buffer.data = nullptr;
    char message[ERR_DETAIL_SIZE];
    std::snprintf(message, sizeof message,
                  "%s read error.\r\nArchive is corrupt.\r\nPlease reinstall the game.", path);
    err_raise(message, ERR_HERE);
}

void unpack_release_buffer(UnpackBuffer& buffer)
{
    if (buffer.data && buffer.data == g_work_block.memory) sys_return_work_block();
    buffer.data = nullptr;
    buffer.size = 0;
}

bool unpack_is_packed_path(const char* path)
{
    const std::size_t length = std::strlen(path);
    return length >= 2 && path[length - 2] == '.' && (path[length - 1] == 'z' || path[length - 1] == 'Z');
}
