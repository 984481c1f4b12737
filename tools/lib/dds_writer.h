// Writer of DDS textures as the game stores them: the magic "DDS ", the 124-byte header, then
// the levels back to back. Uncompressed rows are padded to 4 bytes; 24-bit pixels are stored
// red, green, blue. DXT1 and DXT3 blocks are encoded here from the pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

enum class DdsFormat { A8R8G8B8, X8R8G8B8, R8G8B8, R5G6B5, A1R5G5B5, A4R4G4B4, DXT1, DXT3 };

// A level as 0xAARRGGBB pixels, rows top to bottom.
struct DdsPixels {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> argb;
};

// File offsets of the header fields, for fixtures that damage a file.
constexpr std::size_t DDS_AT_HEADER_SIZE = 4;
constexpr std::size_t DDS_AT_FLAGS = 8;
constexpr std::size_t DDS_AT_HEIGHT = 12;
constexpr std::size_t DDS_AT_WIDTH = 16;
constexpr std::size_t DDS_AT_MIP_COUNT = 28;
constexpr std::size_t DDS_AT_PIXEL_FORMAT_SIZE = 76;
constexpr std::size_t DDS_AT_PIXEL_FORMAT_FLAGS = 80;
constexpr std::size_t DDS_AT_FOURCC = 84;
constexpr std::size_t DDS_AT_RGB_BITS = 88;
constexpr std::size_t DDS_AT_MASKS = 92; // red, green, blue, alpha
constexpr std::size_t DDS_AT_DATA = 128;

// A level of one colour, and a level whose pixels come from a function of (x, y).
DdsPixels dds_solid(std::uint32_t width, std::uint32_t height, std::uint32_t argb);
template <typename Pattern> DdsPixels dds_pattern(std::uint32_t width, std::uint32_t height, Pattern pattern)
{
    DdsPixels level{width, height, std::vector<std::uint32_t>(std::size_t(width) * height)};
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            level.argb[std::size_t(y) * width + x] = pattern(x, y);
    return level;
}
// `count` levels (0: down to 1x1) from the top one, each a 2x2 box average of the one above;
// level i is max(1, width >> i) x max(1, height >> i).
std::vector<DdsPixels> dds_mip_chain(const DdsPixels& top, std::uint32_t count);

// What the file holds for one level in the format.
std::vector<std::uint8_t> dds_encode_level(DdsFormat format, const DdsPixels& level);
// The whole file. The header's mip count is the number of levels when there are several, else 0.
std::vector<std::uint8_t> dds_build(DdsFormat format, std::span<const DdsPixels> levels);
bool dds_write_file(const std::filesystem::path& path, DdsFormat format, std::span<const DdsPixels> levels);

// Overwrites a little-endian word of a built file.
void dds_patch_u32(std::vector<std::uint8_t>& file, std::size_t offset, std::uint32_t value);
// "a8r8g8b8", "r5g6b5", "dxt1" ...
std::optional<DdsFormat> dds_format_from_name(std::string_view name);
