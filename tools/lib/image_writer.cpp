#include "lib/image_writer.h"

#include <stdexcept>
#include <string_view>
#include <zlib.h>

namespace {

void put_le(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void put_be32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Length, type, data and the CRC-32 of type and data.
void put_chunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> data)
{
    put_be32(out, static_cast<std::uint32_t>(data.size()));
    std::size_t start = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    put_be32(out,
             static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

} // namespace

std::vector<std::uint8_t> image_build_bmp(std::uint32_t width, std::uint32_t height,
                                          std::span<const std::uint32_t> argb)
{
    std::uint32_t pitch = (width * 3 + 3) & ~3u;
    std::uint32_t data_offset = 14 + 40;
    std::vector<std::uint8_t> out{'B', 'M'};
    put_le(out, data_offset + pitch * height, 4);
    put_le(out, 0, 4);
    put_le(out, data_offset, 4);
    put_le(out, 40, 4); // BITMAPINFOHEADER
    put_le(out, width, 4);
    put_le(out, height, 4);
    put_le(out, 1, 2);  // planes
    put_le(out, 24, 2); // bits per pixel
    put_le(out, 0, 4);  // no compression
    put_le(out, pitch * height, 4);
    put_le(out, 2835, 4); // 72 dpi
    put_le(out, 2835, 4);
    put_le(out, 0, 4);
    put_le(out, 0, 4);
    for (std::uint32_t row = height; row-- > 0;) {
        for (std::uint32_t x = 0; x < width; ++x)
            put_le(out, argb[std::size_t(row) * width + x] & 0xFFFFFF, 3); // B, G, R
        out.resize(out.size() + (pitch - width * 3), 0);
    }
    return out;
}

std::vector<std::uint8_t> image_build_png(std::uint32_t width, std::uint32_t height,
                                          std::span<const std::uint32_t> argb, bool alpha)
{
    std::vector<std::uint8_t> rows;
    for (std::uint32_t y = 0; y < height; ++y) {
        rows.push_back(0); // no filter
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint32_t p = argb[std::size_t(y) * width + x];
            rows.insert(rows.end(), {std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p)});
            if (alpha) rows.push_back(std::uint8_t(p >> 24));
        }
    }
    uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
    std::vector<std::uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, rows.data(), static_cast<uLong>(rows.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib could not pack the image");
    packed.resize(packed_size);

    std::vector<std::uint8_t> header;
    put_be32(header, width);
    put_be32(header, height);
    header.insert(header.end(), {8, std::uint8_t(alpha ? 6 : 2), 0, 0, 0}); // depth, colour type, methods

    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    put_chunk(out, "IHDR", header);
    put_chunk(out, "IDAT", packed);
    put_chunk(out, "IEND", {});
    return out;
}
