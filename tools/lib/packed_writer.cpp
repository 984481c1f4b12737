#include "lib/packed_writer.h"

#include "lib/archive_writer.h"

#include <stdexcept>
#include <zlib.h>

std::vector<std::uint8_t> packed_build(std::span<const std::uint8_t> data)
{
    uLongf stream_size = compressBound(static_cast<uLong>(data.size()));
    std::vector<std::uint8_t> out(PACKED_HEADER_SIZE + stream_size);
    if (compress2(out.data() + PACKED_HEADER_SIZE, &stream_size, data.data(), static_cast<uLong>(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib could not pack the data");
    out.resize(PACKED_HEADER_SIZE + stream_size);
    packed_set_size(out, static_cast<std::uint32_t>(data.size()));
    return out;
}

void packed_set_size(std::vector<std::uint8_t>& packed, std::uint32_t size)
{
    if (packed.size() < PACKED_HEADER_SIZE) packed.resize(PACKED_HEADER_SIZE);
    for (int i = 0; i < 4; ++i)
        packed[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

bool packed_write_file(const std::filesystem::path& path, std::span<const std::uint8_t> data)
{
    return tools_write_file(path, packed_build(data));
}
