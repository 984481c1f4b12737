#include "lib/dds_writer.h"

#include "lib/archive_writer.h"
#include "lib/le_bytes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

namespace {

constexpr std::uint32_t k_ddsd_required = 0x1007; // caps, height, width, pixel format
constexpr std::uint32_t k_ddsd_pitch = 0x8;
constexpr std::uint32_t k_ddsd_mip_count = 0x20000;
constexpr std::uint32_t k_ddsd_linear_size = 0x80000;
constexpr std::uint32_t k_ddpf_alpha = 0x1;
constexpr std::uint32_t k_ddpf_fourcc = 0x4;
constexpr std::uint32_t k_ddpf_rgb = 0x40;
constexpr std::uint32_t k_caps_complex = 0x8;
constexpr std::uint32_t k_caps_texture = 0x1000;
constexpr std::uint32_t k_caps_mipmap = 0x400000;

struct FormatLayout {
    std::uint32_t bits; // 0 for block formats
    std::uint32_t fourcc;
    std::uint32_t masks[4]; // red, green, blue, alpha
};

FormatLayout layout_of(DdsFormat format)
{
    switch (format) {
    case DdsFormat::A8R8G8B8:
        return {32, 0, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}};
    case DdsFormat::X8R8G8B8:
        return {32, 0, {0xFF0000, 0xFF00, 0xFF, 0}};
    case DdsFormat::R8G8B8:
        return {24, 0, {0xFF, 0xFF00, 0xFF0000, 0}};
    case DdsFormat::R5G6B5:
        return {16, 0, {0xF800, 0x07E0, 0x001F, 0}};
    case DdsFormat::A1R5G5B5:
        return {16, 0, {0x7C00, 0x03E0, 0x001F, 0x8000}};
    case DdsFormat::A4R4G4B4:
        return {16, 0, {0x0F00, 0x00F0, 0x000F, 0xF000}};
    case DdsFormat::DXT1:
        return {0, 0x31545844, {}}; // "DXT1"
    case DdsFormat::DXT3:
        return {0, 0x33545844, {}}; // "DXT3"
    }
    return {};
}

// A channel of the pixel kept to the mask's width and moved to its place.
std::uint32_t pack_channel(std::uint32_t value8, std::uint32_t mask)
{
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    int width = std::popcount(mask);
    return ((value8 >> (8 - std::min(width, 8))) << shift) & mask;
}

std::uint32_t pack_pixel(const FormatLayout& layout, std::uint32_t argb)
{
    return pack_channel((argb >> 16) & 0xFF, layout.masks[0]) |
           pack_channel((argb >> 8) & 0xFF, layout.masks[1]) | pack_channel(argb & 0xFF, layout.masks[2]) |
           pack_channel(argb >> 24, layout.masks[3]);
}

std::uint32_t row_pitch(const FormatLayout& layout, std::uint32_t width)
{
    return (layout.bits / 8 * width + 3) & ~3u;
}

// ---- DXT blocks ----------------------------------------------------------------------------------
std::uint16_t to_565(std::uint32_t argb)
{
    return static_cast<std::uint16_t>(((argb >> 19) & 0x1F) << 11 | ((argb >> 10) & 0x3F) << 5 |
                                      ((argb >> 3) & 0x1F));
}

std::array<int, 3> from_565(std::uint16_t c)
{
    int r = c >> 11, g = (c >> 5) & 0x3F, b = c & 0x1F;
    return {r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
}

int distance(const std::array<int, 3>& a, std::uint32_t argb)
{
    int dr = a[0] - int((argb >> 16) & 0xFF), dg = a[1] - int((argb >> 8) & 0xFF),
        db = a[2] - int(argb & 0xFF);
    return dr * dr + dg * dg + db * db;
}

// Endpoints: the two opaque texels furthest apart. Three-colour mode (first endpoint not above
// the second, index 3 transparent) when a DXT1 block has texels below half alpha.
void encode_colour_block(const std::uint32_t texels[16], bool dxt1, std::uint8_t* out)
{
    bool transparent = false;
    std::uint32_t a = 0, b = 0;
    int widest = -1;
    for (int i = 0; i < 16; ++i) {
        if (dxt1 && (texels[i] >> 24) < 0x80) {
            transparent = true;
            continue;
        }
        for (int j = i; j < 16; ++j) {
            if (dxt1 && (texels[j] >> 24) < 0x80) continue;
            int d = distance(from_565(to_565(texels[i])), texels[j]);
            if (d > widest) widest = d, a = texels[i], b = texels[j];
        }
    }
    std::uint16_t c0 = to_565(a), c1 = to_565(b);
    if (transparent ? c0 > c1 : c0 < c1) std::swap(c0, c1);
    std::array<int, 3> p0 = from_565(c0), p1 = from_565(c1);
    std::array<std::array<int, 3>, 4> palette{p0, p1};
    int choices = transparent ? 3 : 4;
    for (int k = 0; k < 3; ++k) {
        if (transparent) {
            palette[2][k] = (p0[k] + p1[k]) / 2;
        } else {
            palette[2][k] = (2 * p0[k] + p1[k]) / 3;
            palette[3][k] = (p0[k] + 2 * p1[k]) / 3;
        }
    }
    std::uint32_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        std::uint32_t best = 3;
        if (!transparent || (texels[i] >> 24) >= 0x80) {
            best = 0;
            for (int k = 1; k < choices; ++k)
                if (distance(palette[k], texels[i]) < distance(palette[best], texels[i])) best = k;
        }
        indices |= best << (2 * i);
    }
    const std::uint32_t words[2] = {std::uint32_t(c0) | std::uint32_t(c1) << 16, indices};
    for (int i = 0; i < 8; ++i)
        out[i] = std::uint8_t(words[i / 4] >> (8 * (i % 4)));
}

// DXT3: sixteen 4-bit alphas (the low nibble first), then the colour half.
void encode_block(const std::uint32_t texels[16], DdsFormat format, std::uint8_t* out)
{
    if (format == DdsFormat::DXT3) {
        for (int i = 0; i < 8; ++i)
            out[i] = std::uint8_t((texels[2 * i] >> 28) | (texels[2 * i + 1] >> 28) << 4);
        out += 8;
    }
    encode_colour_block(texels, format == DdsFormat::DXT1, out);
}

std::vector<std::uint8_t> encode_blocks(DdsFormat format, const DdsPixels& level)
{
    std::uint32_t across = std::max(1u, (level.width + 3) / 4), down = std::max(1u, (level.height + 3) / 4);
    std::size_t block_size = format == DdsFormat::DXT1 ? 8 : 16;
    std::vector<std::uint8_t> out(std::size_t(across) * down * block_size);
    std::uint32_t texels[16];
    for (std::uint32_t by = 0; by < down; ++by)
        for (std::uint32_t bx = 0; bx < across; ++bx) {
            // Texels past the level's edge repeat its last column and row.
            for (std::uint32_t i = 0; i < 16; ++i) {
                std::uint32_t x = std::min(bx * 4 + i % 4, level.width - 1);
                std::uint32_t y = std::min(by * 4 + i / 4, level.height - 1);
                texels[i] = level.argb[std::size_t(y) * level.width + x];
            }
            encode_block(texels, format, out.data() + (std::size_t(by) * across + bx) * block_size);
        }
    return out;
}

std::uint32_t average4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        std::uint32_t sum =
            ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF) + ((c >> shift) & 0xFF) + ((d >> shift) & 0xFF);
        out |= ((sum + 2) / 4) << shift;
    }
    return out;
}

DdsPixels half_level(const DdsPixels& above)
{
    std::uint32_t width = std::max(1u, above.width / 2), height = std::max(1u, above.height / 2);
    auto at = [&](std::uint32_t x, std::uint32_t y) {
        return above
            .argb[std::size_t(std::min(y, above.height - 1)) * above.width + std::min(x, above.width - 1)];
    };
    return dds_pattern(width, height, [&](std::uint32_t x, std::uint32_t y) {
        return average4(at(2 * x, 2 * y), at(2 * x + 1, 2 * y), at(2 * x, 2 * y + 1),
                        at(2 * x + 1, 2 * y + 1));
    });
}

} // namespace

DdsPixels dds_solid(std::uint32_t width, std::uint32_t height, std::uint32_t argb)
{
    return {width, height, std::vector<std::uint32_t>(std::size_t(width) * height, argb)};
}

std::vector<DdsPixels> dds_mip_chain(const DdsPixels& top, std::uint32_t count)
{
    std::vector<DdsPixels> levels{top};
    while (count == 0 ? levels.back().width > 1 || levels.back().height > 1 : levels.size() < count)
        levels.push_back(half_level(levels.back()));
    return levels;
}

std::vector<std::uint8_t> dds_encode_level(DdsFormat format, const DdsPixels& level)
{
    if (format == DdsFormat::DXT1 || format == DdsFormat::DXT3) return encode_blocks(format, level);
    FormatLayout layout = layout_of(format);
    std::uint32_t bytes = layout.bits / 8, pitch = row_pitch(layout, level.width);
    // The unused byte of X8R8G8B8 is written opaque.
    std::uint32_t unused = layout.bits == 32 && layout.masks[3] == 0 ? 0xFF000000 : 0;
    std::vector<std::uint8_t> out(std::size_t(pitch) * level.height);
    for (std::uint32_t y = 0; y < level.height; ++y)
        for (std::uint32_t x = 0; x < level.width; ++x) {
            std::uint32_t value = pack_pixel(layout, level.argb[std::size_t(y) * level.width + x]) | unused;
            for (std::uint32_t i = 0; i < bytes; ++i)
                out[std::size_t(y) * pitch + std::size_t(x) * bytes + i] = std::uint8_t(value >> (8 * i));
        }
    return out;
}

std::vector<std::uint8_t> dds_build(DdsFormat format, std::span<const DdsPixels> levels)
{
    FormatLayout layout = layout_of(format);
    bool blocks = layout.bits == 0;
    const DdsPixels& top = levels.front();
    std::vector<std::uint8_t> out(DDS_AT_DATA, 0);
    le_patch_u32(out, 0, 0x20534444); // "DDS "
    le_patch_u32(out, DDS_AT_HEADER_SIZE, 124);
    std::uint32_t flags = k_ddsd_required | (blocks ? k_ddsd_linear_size : k_ddsd_pitch);
    std::uint32_t caps = k_caps_texture;
    if (levels.size() > 1) {
        flags |= k_ddsd_mip_count;
        caps |= k_caps_complex | k_caps_mipmap;
        le_patch_u32(out, DDS_AT_MIP_COUNT, std::uint32_t(levels.size()));
    }
    le_patch_u32(out, DDS_AT_FLAGS, flags);
    le_patch_u32(out, DDS_AT_HEIGHT, top.height);
    le_patch_u32(out, DDS_AT_WIDTH, top.width);
    std::vector<std::uint8_t> first = dds_encode_level(format, top);
    le_patch_u32(out, 20, blocks ? std::uint32_t(first.size()) : row_pitch(layout, top.width));
    le_patch_u32(out, DDS_AT_PIXEL_FORMAT_SIZE, 32);
    std::uint32_t pixel_flags = blocks ? k_ddpf_fourcc : k_ddpf_rgb | (layout.masks[3] ? k_ddpf_alpha : 0);
    le_patch_u32(out, DDS_AT_PIXEL_FORMAT_FLAGS, pixel_flags);
    le_patch_u32(out, DDS_AT_FOURCC, layout.fourcc);
    le_patch_u32(out, DDS_AT_RGB_BITS, layout.bits);
    for (int i = 0; i < 4; ++i)
        le_patch_u32(out, DDS_AT_MASKS + 4 * i, layout.masks[i]);
    le_patch_u32(out, 108, caps);

    out.insert(out.end(), first.begin(), first.end());
    for (std::size_t i = 1; i < levels.size(); ++i) {
        std::vector<std::uint8_t> level = dds_encode_level(format, levels[i]);
        out.insert(out.end(), level.begin(), level.end());
    }
    return out;
}

bool dds_write_file(const std::filesystem::path& path, DdsFormat format, std::span<const DdsPixels> levels)
{
    return tools_write_file(path, dds_build(format, levels));
}

void dds_patch_u32(std::vector<std::uint8_t>& file, std::size_t offset, std::uint32_t value)
{
    le_patch_u32(file, offset, value);
}

std::optional<DdsFormat> dds_format_from_name(std::string_view name)
{
    static constexpr std::pair<std::string_view, DdsFormat> names[] = {
        {"a8r8g8b8", DdsFormat::A8R8G8B8}, {"x8r8g8b8", DdsFormat::X8R8G8B8},
        {"r8g8b8", DdsFormat::R8G8B8},     {"r5g6b5", DdsFormat::R5G6B5},
        {"a1r5g5b5", DdsFormat::A1R5G5B5}, {"a4r4g4b4", DdsFormat::A4R4G4B4},
        {"dxt1", DdsFormat::DXT1},         {"dxt3", DdsFormat::DXT3}};
    for (const auto& [text, format] : names)
        if (text == name) return format;
    return std::nullopt;
}
