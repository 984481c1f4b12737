// The DDS reader and the creation of a texture from its levels.
#include "scenegraph/texture.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/vfs.h"
#include "lowlv/d3d/d3d_core.h"
#include "platform/d3d8_format.h"

#include <algorithm>
#include <cstring>

namespace {

D3DFORMAT pixel_format(const DdsPixelFormat& pf)
{
    const RendererSettings& caps = g_device_settings.settings;
    switch (pf.flags & (DDPF_RGB | DDPF_FOURCC)) {
    case DDPF_RGB:
        if (pf.rgb_bits == 32) return D3DFMT_A8R8G8B8;
        if (pf.rgb_bits == 24) return D3DFMT_R8G8B8;
        if (pf.rgb_bits != 16) return D3DFMT_UNKNOWN;
        if (pf.r_mask == 0xF800 && pf.g_mask == 0x07E0 && pf.b_mask == 0x001F && pf.a_mask == 0)
            return D3DFMT_R5G6B5;
        if (pf.r_mask == 0x7C00 && pf.g_mask == 0x03E0 && pf.b_mask == 0x001F && pf.a_mask == 0x8000)
            return D3DFMT_A1R5G5B5;
        if (pf.r_mask == 0x0F00 && pf.g_mask == 0x00F0 && pf.b_mask == 0x000F && pf.a_mask == 0xF000)
            return D3DFMT_A4R4G4B4;
        return D3DFMT_UNKNOWN;
    case DDPF_FOURCC:
        if (pf.fourcc == D3DFMT_DXT1 && caps.caps_dxt1_textures) return D3DFMT_DXT1;
        if (pf.fourcc == D3DFMT_DXT3 && caps.caps_dxt3_textures) return D3DFMT_DXT3;
        return D3DFMT_UNKNOWN;
    default:
        return D3DFMT_UNKNOWN;
    }
}

std::uint32_t chain_length(std::uint32_t width, std::uint32_t height)
{
    std::uint32_t levels = 1;
    for (; width > 1 || height > 1; ++levels) {
        width >>= 1;
        height >>= 1;
    }
    return levels;
}

// A level's row of pixels or of 4x4 blocks, and how many rows it has.
struct LevelShape {
    std::uint64_t row;
    std::uint64_t rows;
};

LevelShape level_shape(D3DFORMAT format, std::uint32_t bits, std::uint32_t width, std::uint32_t height)
{
    if (d3d8_format_is_compressed(format))
        return {std::uint64_t(std::max(1u, (width + 3) / 4)) * d3d8_format_block_bytes(format),
                std::max(1u, (height + 3) / 4)};
    return {(std::uint64_t(bits / 8) * std::max(width, 1u) + 3) & ~std::uint64_t{3}, std::max(height, 1u)};
}

HRESULT parse_levels(DdsImage& image, std::span<const std::uint8_t> file)
{
    const DdsHeader& header = image.header;
    std::size_t offset = DDS_DATA_OFFSET;
    for (std::uint32_t i = 0; i < image.level_count; ++i) {
        std::uint32_t width = header.width >> i, height = header.height >> i;
        LevelShape shape = level_shape(image.format, header.pixel_format.rgb_bits, width, height);
        std::uint64_t left = file.size() - offset;
        if (shape.row > left || shape.rows > left / shape.row) return ERR_UNSUPPORTED_FORMAT;
        std::size_t size = std::size_t(shape.row * shape.rows);
        DdsLevel& level = image.levels.emplace_back();
        level.data.assign(file.begin() + offset, file.begin() + offset + size);
        level.pitch_or_size = std::uint32_t(d3d8_format_is_compressed(image.format) ? size : shape.row);
        level.width = width;
        level.height = height;
        offset += size;
    }
    return S_OK;
}

D3DFORMAT target_format(D3DFORMAT file, D3DFORMAT requested)
{
    if (file == D3DFMT_R8G8B8) return g_tex_a8r8g8b8_ok ? D3DFMT_A8R8G8B8 : D3DFMT_A1R5G5B5;
    if (file == D3DFMT_A8R8G8B8 && !g_tex_a8r8g8b8_ok) return requested;
    return file;
}

bool conversion_allowed(D3DFORMAT from, D3DFORMAT to)
{
    if (from == D3DFMT_A8R8G8B8) return to == D3DFMT_R5G6B5 || to == D3DFMT_A1R5G5B5 || to == D3DFMT_A4R4G4B4;
    if (from == D3DFMT_R8G8B8) return to == D3DFMT_A8R8G8B8 || to == D3DFMT_R5G6B5 || to == D3DFMT_A1R5G5B5;
    return false;
}

// A file pixel as 0xAARRGGBB: A8R8G8B8 is that word little-endian (B, G, R, A); the files'
// 24-bit pixels are R, G, B.
DWORD read_pixel(D3DFORMAT format, std::span<const std::uint8_t> data, std::size_t at)
{
    if (format == D3DFMT_R8G8B8)
        return 0xFF000000u | DWORD(data[at]) << 16 | DWORD(data[at + 1]) << 8 | data[at + 2];
    DWORD argb = 0;
    bytes_get_u32(data, at, argb);
    return argb;
}

// The top bits of each channel.
void write_pixel(D3DFORMAT format, std::span<std::uint8_t> out, std::size_t at, DWORD argb)
{
    DWORD a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    DWORD packed;
    switch (format) {
    case D3DFMT_A8R8G8B8:
        bytes_put_u32(out, at, argb);
        return;
    case D3DFMT_R5G6B5:
        packed = (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
        break;
    case D3DFMT_A1R5G5B5:
        packed = (a >> 7) << 15 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
        break;
    default: // A4R4G4B4
        packed = (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4;
        break;
    }
    bytes_put_u16(out, at, static_cast<std::uint16_t>(packed));
}

// Blocks and unconverted pixels are copied row by row when the locked pitch differs; converted
// pixels are written one by one, so an odd width and a width of 1 are whole too.
void fill_level(const DdsImage& image, const DdsLevel& level, D3DFORMAT target, const D3DLOCKED_RECT& locked)
{
    auto* dest = static_cast<std::uint8_t*>(locked.pBits);
    std::size_t dest_pitch = std::size_t(locked.Pitch);
    LevelShape shape =
        level_shape(image.format, image.header.pixel_format.rgb_bits, level.width, level.height);
    if (target == image.format) {
        if (dest_pitch == shape.row) {
            std::memcpy(dest, level.data.data(), level.data.size());
            return;
        }
        std::size_t row = std::min<std::size_t>(shape.row, dest_pitch);
        for (std::uint64_t y = 0; y < shape.rows; ++y)
            std::memcpy(dest + y * dest_pitch, level.data.data() + y * shape.row, row);
        return;
    }
    std::size_t source_bytes = image.format == D3DFMT_R8G8B8 ? 3 : 4;
    std::size_t dest_bytes = d3d8_format_bytes(target);
    const std::uint32_t rows = std::max(level.height, 1u);
    std::span<std::uint8_t> out(dest, dest_pitch * rows);
    for (std::uint32_t y = 0; y < rows; ++y)
        for (std::uint32_t x = 0; x < std::max(level.width, 1u); ++x)
            write_pixel(target, out, y * dest_pitch + x * dest_bytes,
                        read_pixel(image.format, level.data, y * shape.row + x * source_bytes));
}

} // namespace

HRESULT dds_load(DdsImage& image, const char* path)
{
    std::vector<std::uint8_t> bytes;
    HRESULT hr = vfs_read_entry(path, bytes);
    if (FAILED(hr)) return hr;
    return dds_parse(image, bytes);
}

HRESULT dds_parse(DdsImage& image, std::span<const std::uint8_t> file)
{
    dds_free(image);
    std::uint32_t magic = 0;
    if (!bytes_get_u32(file, 0, magic) || magic != DDS_MAGIC) return ERR_UNKNOWN_FORMAT;
    if (!ByteReader(file.subspan(4)).Read(image.header)) return ERR_UNSUPPORTED_FORMAT;
    const DdsHeader& header = image.header;
    if (header.size != DDS_HEADER_SIZE || (header.flags & DDSD_REQUIRED) != DDSD_REQUIRED ||
        header.pixel_format.size != sizeof(DdsPixelFormat) || header.width == 0 || header.height == 0)
        return ERR_UNSUPPORTED_FORMAT;
    image.format = pixel_format(header.pixel_format);
    image.level_count = std::max(header.mip_count, 1u);
    HRESULT hr = ERR_UNSUPPORTED_FORMAT;
    if (image.format != D3DFMT_UNKNOWN && image.level_count <= chain_length(header.width, header.height))
        hr = parse_levels(image, file);
    if (FAILED(hr)) dds_free(image);
    return hr;
}

HRESULT dds_create_texture(const DdsImage& image, IDirect3DTexture8** texture, D3DXIMAGE_INFO* info,
                           bool single_level, D3DPOOL pool, D3DFORMAT requested)
{
    *texture = nullptr;
    if (image.levels.empty()) return ERR_UNSUPPORTED_FORMAT;
    const DdsLevel& top = image.levels[0];
    D3DFORMAT target = target_format(image.format, requested);
    if (target != image.format && (!conversion_allowed(image.format, target) || top.width == 1))
        return ERR_UNSUPPORTED_FORMAT;
    if (!g_d3d_device) return D3DERR_INVALIDCALL;

    UINT levels = single_level ? 1 : image.level_count;
    IDirect3DTexture8* created = nullptr;
    HRESULT hr = g_d3d_device->CreateTexture(top.width, top.height, levels, 0, target, pool, &created);
    if (FAILED(hr)) return hr;
    for (UINT i = 0; i < levels; ++i) {
        D3DLOCKED_RECT locked{};
        hr = created->LockRect(i, &locked, nullptr, 0);
        if (FAILED(hr)) {
            created->Release();
            return hr;
        }
        fill_level(image, image.levels[i], target, locked);
        created->UnlockRect(i);
    }
    *texture = created;
    if (info)
        *info = {image.header.width, image.header.height, 1,          image.header.mip_count,
                 image.format,       D3DRTYPE_TEXTURE,    D3DXIFF_DDS};
    return S_OK;
}

void dds_free(DdsImage& image)
{
    image.format = D3DFMT_UNKNOWN;
    image.level_count = 0;
    image.levels.clear();
}
