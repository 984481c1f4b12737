// D3DX 8 texture loaders of the stand-in. DDS files are read here; the other image formats
// are decoded by stb_image. Every level is worked on as 0xAARRGGBB pixels and written in the
// chosen format; DXT blocks of a DXT file go to a DXT texture as they are.
#include "platform/d3dx8_tex.h"

#include "platform/d3d8_internal.h"
#include "platform/host_path.h"

#include <stb_dxt.h>
#include <stb_image.h>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <span>
#include <vector>

namespace {

using Bytes = std::span<const std::uint8_t>;

// One level as 0xAARRGGBB pixels, rows top to bottom.
struct ArgbLevel {
    UINT width = 0;
    UINT height = 0;
    std::vector<DWORD> pixels;
};

// A decoded file: what it held, its levels as pixels and, for DXT files, its levels' blocks.
struct SourceImage {
    D3DXIMAGE_INFO info{};
    std::vector<ArgbLevel> levels;
    std::vector<Bytes> blocks;
};

constexpr std::size_t k_dds_data_offset = 128;
constexpr DWORD k_ddpf_fourcc = 0x4;
constexpr DWORD k_ddpf_rgb = 0x40;

DWORD read_u32(Bytes bytes, std::size_t offset)
{
    return DWORD(bytes[offset]) | DWORD(bytes[offset + 1]) << 8 | DWORD(bytes[offset + 2]) << 16 |
           DWORD(bytes[offset + 3]) << 24;
}

UINT chain_length(UINT width, UINT height)
{
    UINT levels = 1;
    for (; width > 1 || height > 1; ++levels) {
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
    }
    return levels;
}

// ---- DXT blocks --------------------------------------------------------------------------------
DWORD widen_565(unsigned v)
{
    unsigned r = (v >> 11) & 0x1F, g = (v >> 5) & 0x3F, b = v & 0x1F;
    return 0xFF000000u | (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

// (a * wa + b * wb) / (wa + wb) per colour channel, opaque.
DWORD blend(DWORD a, DWORD b, unsigned wa, unsigned wb)
{
    DWORD out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        unsigned ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= DWORD((ca * wa + cb * wb) / (wa + wb)) << shift;
    }
    return out;
}

// A 4x4 block's pixels in row order. DXT3 blocks carry 4-bit alphas before the colour half and
// always use four colours; a DXT1 block whose first colour is not above the second has three
// and transparent black.
void decode_block(const std::uint8_t* block, bool dxt3, DWORD out[16])
{
    const std::uint8_t* colour = dxt3 ? block + 8 : block;
    unsigned c0 = colour[0] | colour[1] << 8, c1 = colour[2] | colour[3] << 8;
    DWORD palette[4] = {widen_565(c0), widen_565(c1), 0, 0};
    if (dxt3 || c0 > c1) {
        palette[2] = blend(palette[0], palette[1], 2, 1);
        palette[3] = blend(palette[0], palette[1], 1, 2);
    } else {
        palette[2] = blend(palette[0], palette[1], 1, 1);
    }
    DWORD indices = colour[4] | colour[5] << 8 | colour[6] << 16 | DWORD(colour[7]) << 24;
    for (int i = 0; i < 16; ++i) {
        DWORD pixel = palette[(indices >> (2 * i)) & 3];
        if (dxt3) {
            DWORD alpha = (block[i / 2] >> (4 * (i & 1))) & 0xF;
            pixel = (pixel & 0xFFFFFF) | (alpha * 17) << 24;
        }
        out[i] = pixel;
    }
}

ArgbLevel decode_blocks(Bytes blocks, UINT width, UINT height, bool dxt3)
{
    ArgbLevel level{width, height, std::vector<DWORD>(std::size_t(width) * height)};
    UINT across = std::max(1u, (width + 3) / 4), down = std::max(1u, (height + 3) / 4);
    std::size_t block_size = dxt3 ? 16 : 8;
    DWORD texels[16];
    for (UINT by = 0; by < down; ++by)
        for (UINT bx = 0; bx < across; ++bx) {
            decode_block(blocks.data() + (std::size_t(by) * across + bx) * block_size, dxt3, texels);
            for (UINT y = by * 4; y < std::min(height, by * 4 + 4); ++y)
                for (UINT x = bx * 4; x < std::min(width, bx * 4 + 4); ++x)
                    level.pixels[std::size_t(y) * width + x] = texels[(y - by * 4) * 4 + (x - bx * 4)];
        }
    return level;
}

// stb compresses the colour half; DXT3 puts the explicit alphas in front of it.
void encode_block(const DWORD pixels[16], bool dxt3, std::uint8_t* out)
{
    std::uint8_t rgba[64];
    for (int i = 0; i < 16; ++i) {
        rgba[4 * i] = std::uint8_t(pixels[i] >> 16);
        rgba[4 * i + 1] = std::uint8_t(pixels[i] >> 8);
        rgba[4 * i + 2] = std::uint8_t(pixels[i]);
        rgba[4 * i + 3] = std::uint8_t(pixels[i] >> 24);
    }
    if (dxt3) {
        for (int i = 0; i < 8; ++i)
            out[i] = std::uint8_t((pixels[2 * i] >> 28) | (pixels[2 * i + 1] >> 28) << 4);
        out += 8;
    }
    stb_compress_dxt_block(out, rgba, 0, STB_DXT_NORMAL);
}

// ---- Reading DDS -------------------------------------------------------------------------------
// A channel mask's value widened to 8 bits; a channel without a mask reads `missing`.
DWORD widen_channel(DWORD value, DWORD mask, DWORD missing)
{
    if (mask == 0) return missing;
    std::uint64_t top = mask >> std::countr_zero(mask);
    std::uint64_t v = (value & mask) >> std::countr_zero(mask);
    return DWORD((v * 255 + top / 2) / top);
}

D3DFORMAT uncompressed_format(DWORD bits, DWORD g_mask, DWORD a_mask)
{
    if (bits == 32) return a_mask ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    if (bits == 24) return D3DFMT_R8G8B8;
    if (a_mask) return a_mask == 0x8000 ? D3DFMT_A1R5G5B5 : D3DFMT_A4R4G4B4;
    return g_mask == 0x07E0 ? D3DFMT_R5G6B5 : D3DFMT_X1R5G5B5;
}

ArgbLevel decode_masked(Bytes data, UINT width, UINT height, UINT pitch, DWORD bytes_per_pixel,
                        const DWORD masks[4])
{
    ArgbLevel level{width, height, std::vector<DWORD>(std::size_t(width) * height)};
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            const std::uint8_t* p = data.data() + std::size_t(y) * pitch + std::size_t(x) * bytes_per_pixel;
            DWORD value = 0;
            for (DWORD i = 0; i < bytes_per_pixel; ++i)
                value |= DWORD(p[i]) << (8 * i);
            level.pixels[std::size_t(y) * width + x] =
                widen_channel(value, masks[3], 0xFF) << 24 | widen_channel(value, masks[0], 0) << 16 |
                widen_channel(value, masks[1], 0) << 8 | widen_channel(value, masks[2], 0);
        }
    return level;
}

// The header must be whole and every declared level must lie within the file.
HRESULT decode_dds(Bytes file, SourceImage& image)
{
    if (file.size() < k_dds_data_offset || read_u32(file, 4) != 124 || read_u32(file, 76) != 32)
        return D3DXERR_INVALIDDATA;
    UINT height = read_u32(file, 12), width = read_u32(file, 16), mips = read_u32(file, 28);
    DWORD flags = read_u32(file, 80), fourcc = read_u32(file, 84), bits = read_u32(file, 88);
    DWORD masks[4] = {read_u32(file, 92), read_u32(file, 96), read_u32(file, 100), read_u32(file, 104)};
    UINT levels = std::max(1u, mips);
    if (width == 0 || height == 0 || levels > chain_length(width, height)) return D3DXERR_INVALIDDATA;

    D3DFORMAT format;
    if ((flags & k_ddpf_fourcc) && (fourcc == D3DFMT_DXT1 || fourcc == D3DFMT_DXT3))
        format = static_cast<D3DFORMAT>(fourcc);
    else if (!(flags & k_ddpf_fourcc) && (flags & k_ddpf_rgb) && (bits == 16 || bits == 24 || bits == 32))
        format = uncompressed_format(bits, masks[1], masks[3]);
    else
        return D3DXERR_INVALIDDATA;

    bool compressed = d3d8_format_is_compressed(format);
    std::size_t offset = k_dds_data_offset;
    for (UINT i = 0; i < levels; ++i) {
        UINT w = std::max(1u, width >> i), h = std::max(1u, height >> i);
        std::uint64_t row = compressed
                                ? std::uint64_t(std::max(1u, (w + 3) / 4)) * (format == D3DFMT_DXT1 ? 8 : 16)
                                : (std::uint64_t(bits / 8) * w + 3) & ~std::uint64_t{3};
        std::uint64_t rows = compressed ? std::max(1u, (h + 3) / 4) : h;
        std::uint64_t left = file.size() - offset;
        if (row > left || rows > left / row) return D3DXERR_INVALIDDATA;
        Bytes data = file.subspan(offset, std::size_t(row * rows));
        if (compressed) {
            image.blocks.push_back(data);
            image.levels.push_back(decode_blocks(data, w, h, format == D3DFMT_DXT3));
        } else {
            image.levels.push_back(decode_masked(data, w, h, UINT(row), bits / 8, masks));
        }
        offset += data.size();
    }
    image.info = {width, height, 1, levels, format, D3DRTYPE_TEXTURE, D3DXIFF_DDS};
    return D3D_OK;
}

// ---- Reading other images ----------------------------------------------------------------------
bool starts_with(Bytes file, std::initializer_list<std::uint8_t> magic)
{
    return file.size() >= magic.size() && std::equal(magic.begin(), magic.end(), file.begin());
}

// TGA has no magic: its header fields must make sense.
bool looks_like_tga(Bytes file)
{
    if (file.size() < 18) return false;
    std::uint8_t map_type = file[1], type = file[2], bits = file[16];
    bool known_type = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    bool known_bits = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
    return map_type <= 1 && known_type && known_bits && (file[12] | file[13]) && (file[14] | file[15]);
}

HRESULT decode_picture(Bytes file, SourceImage& image)
{
    D3DXIMAGE_FILEFORMAT kind;
    if (starts_with(file, {'B', 'M'}))
        kind = D3DXIFF_BMP;
    else if (starts_with(file, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        kind = D3DXIFF_PNG;
    else if (starts_with(file, {0xFF, 0xD8, 0xFF}))
        kind = D3DXIFF_JPG;
    else if (looks_like_tga(file))
        kind = D3DXIFF_TGA;
    else
        return D3DXERR_INVALIDDATA;
    if (file.size() > INT_MAX) return D3DXERR_INVALIDDATA;

    int width = 0, height = 0, channels = 0;
    stbi_uc* rgba = stbi_load_from_memory(file.data(), int(file.size()), &width, &height, &channels, 4);
    if (!rgba) return D3DXERR_INVALIDDATA;
    ArgbLevel level{UINT(width), UINT(height), std::vector<DWORD>(std::size_t(width) * height)};
    for (std::size_t i = 0; i < level.pixels.size(); ++i) {
        const stbi_uc* p = rgba + 4 * i;
        level.pixels[i] = DWORD(p[3]) << 24 | DWORD(p[0]) << 16 | DWORD(p[1]) << 8 | p[2];
    }
    stbi_image_free(rgba);

    bool alpha = channels == 2 || channels == 4;
    D3DFORMAT format = alpha                                        ? D3DFMT_A8R8G8B8
                       : kind == D3DXIFF_BMP || kind == D3DXIFF_TGA ? D3DFMT_R8G8B8
                                                                    : D3DFMT_X8R8G8B8;
    image.info = {level.width, level.height, 1, 1, format, D3DRTYPE_TEXTURE, kind};
    image.levels.push_back(std::move(level));
    return D3D_OK;
}

HRESULT decode_file(Bytes file, SourceImage& image)
{
    if (starts_with(file, {'D', 'D', 'S', ' '})) return decode_dds(file, image);
    return decode_picture(file, image);
}

// ---- Making the texture ------------------------------------------------------------------------
// Box filter: each pixel averages the source pixels its area covers (at least one).
ArgbLevel resample(const ArgbLevel& source, UINT width, UINT height)
{
    if (source.width == width && source.height == height) return source;
    ArgbLevel level{width, height, std::vector<DWORD>(std::size_t(width) * height)};
    for (UINT y = 0; y < height; ++y) {
        UINT y0 = UINT(std::uint64_t(y) * source.height / height);
        UINT y1 = std::max(y0 + 1, UINT(std::uint64_t(y + 1) * source.height / height));
        for (UINT x = 0; x < width; ++x) {
            UINT x0 = UINT(std::uint64_t(x) * source.width / width);
            UINT x1 = std::max(x0 + 1, UINT(std::uint64_t(x + 1) * source.width / width));
            std::uint64_t sums[4] = {};
            for (UINT sy = y0; sy < y1; ++sy)
                for (UINT sx = x0; sx < x1; ++sx) {
                    DWORD p = source.pixels[std::size_t(sy) * source.width + sx];
                    for (int c = 0; c < 4; ++c)
                        sums[c] += (p >> (8 * c)) & 0xFF;
                }
            std::uint64_t count = std::uint64_t(y1 - y0) * (x1 - x0);
            DWORD pixel = 0;
            for (int c = 0; c < 4; ++c)
                pixel |= DWORD((sums[c] + count / 2) / count) << (8 * c);
            level.pixels[std::size_t(y) * width + x] = pixel;
        }
    }
    return level;
}

// Formats to try for a wanted one, closest first.
std::span<const D3DFORMAT> format_candidates(D3DFORMAT wanted)
{
    static constexpr D3DFORMAT argb[] = {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A1R5G5B5};
    static constexpr D3DFORMAT xrgb[] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                                         D3DFMT_A1R5G5B5};
    static constexpr D3DFORMAT rgb[] = {D3DFMT_R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8,
                                        D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5};
    static constexpr D3DFORMAT r5g6b5[] = {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_X8R8G8B8,
                                           D3DFMT_A8R8G8B8};
    static constexpr D3DFORMAT x1r5g5b5[] = {D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8,
                                             D3DFMT_A8R8G8B8};
    static constexpr D3DFORMAT a1r5g5b5[] = {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8};
    static constexpr D3DFORMAT a4r4g4b4[] = {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5};
    static constexpr D3DFORMAT dxt1[] = {D3DFMT_DXT1, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4};
    static constexpr D3DFORMAT dxt3[] = {D3DFMT_DXT3, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A1R5G5B5};
    switch (wanted) {
    case D3DFMT_A8R8G8B8:
        return argb;
    case D3DFMT_X8R8G8B8:
        return xrgb;
    case D3DFMT_R8G8B8:
        return rgb;
    case D3DFMT_R5G6B5:
        return r5g6b5;
    case D3DFMT_X1R5G5B5:
        return x1r5g5b5;
    case D3DFMT_A1R5G5B5:
        return a1r5g5b5;
    case D3DFMT_A4R4G4B4:
        return a4r4g4b4;
    case D3DFMT_DXT1:
        return dxt1;
    case D3DFMT_DXT3:
        return dxt3;
    default:
        return {};
    }
}

D3DFORMAT closest_format(IDirect3DDevice8& device, D3DFORMAT wanted, DWORD usage)
{
    D3DDISPLAYMODE mode{};
    device.GetDisplayMode(&mode);
    for (D3DFORMAT format : format_candidates(wanted))
        if (SUCCEEDED(device.direct3d().CheckDeviceFormat(device.adapter(), device.device_type(), mode.Format,
                                                          usage & D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                                          format)))
            return format;
    return D3DFMT_UNKNOWN;
}

// Writes the level's memory directly, as the platform's loader updates a texture of any pool,
// and hands the whole level to the backend as an unlock would.
void fill_level(IDirect3DSurface8& surface, const ArgbLevel& pixels, Bytes blocks)
{
    const D3DSURFACE_DESC& desc = surface.desc();
    std::uint8_t* bits = surface.bits();
    UINT pitch = surface.pitch();
    if (!blocks.empty()) {
        std::memcpy(bits, blocks.data(), std::min<std::size_t>(blocks.size(), desc.Size));
    } else if (d3d8_format_is_compressed(desc.Format)) {
        bool dxt3 = desc.Format == D3DFMT_DXT3;
        DWORD block[16];
        for (UINT by = 0; by < std::max(1u, (desc.Height + 3) / 4); ++by)
            for (UINT bx = 0; bx < std::max(1u, (desc.Width + 3) / 4); ++bx) {
                // Texels past the level's edge repeat its last row and column.
                for (UINT i = 0; i < 16; ++i) {
                    UINT x = std::min(bx * 4 + i % 4, pixels.width - 1);
                    UINT y = std::min(by * 4 + i / 4, pixels.height - 1);
                    block[i] = pixels.pixels[std::size_t(y) * pixels.width + x];
                }
                encode_block(block, dxt3, bits + std::size_t(by) * pitch + std::size_t(bx) * (dxt3 ? 16 : 8));
            }
    } else {
        UINT bytes = d3d8_format_bytes(desc.Format);
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x)
                d3d8_write_argb(desc.Format, bits + std::size_t(y) * pitch + std::size_t(x) * bytes,
                                pixels.pixels[std::size_t(y) * pixels.width + x]);
    }
    if (D3D8Backend* backend = surface.device().backend()) {
        D3DLockRecord whole;
        whole.rect = {0, 0, LONG(desc.Width), LONG(desc.Height)};
        backend->resource_unlocked(surface, whole);
    }
}

UINT requested_size(UINT requested, UINT file_size, DWORD limit)
{
    UINT size = requested == 0 || requested == D3DX_DEFAULT ? file_size : requested;
    while (limit != 0 && size > limit)
        size = std::max(1u, size / 2);
    return size;
}

HRESULT create_texture(IDirect3DDevice8& device, SourceImage& image, UINT width, UINT height, UINT mip_levels,
                       DWORD usage, D3DFORMAT format, D3DPOOL pool, D3DCOLOR color_key, D3DXIMAGE_INFO* info,
                       IDirect3DTexture8** texture)
{
    D3DCAPS8 caps{};
    device.GetDeviceCaps(&caps);
    width = requested_size(width, image.info.Width, caps.MaxTextureWidth);
    height = requested_size(height, image.info.Height, caps.MaxTextureHeight);
    UINT chain = chain_length(width, height);
    UINT levels = mip_levels == 0 || mip_levels == D3DX_DEFAULT ? chain : std::min(mip_levels, chain);
    D3DFORMAT chosen = closest_format(device, format == D3DFMT_UNKNOWN ? image.info.Format : format, usage);
    if (chosen == D3DFMT_UNKNOWN) return D3DERR_NOTAVAILABLE;

    if (color_key != 0) {
        image.blocks.clear();
        for (ArgbLevel& level : image.levels)
            std::replace(level.pixels.begin(), level.pixels.end(), DWORD(color_key), DWORD(0));
    }
    IDirect3DTexture8* created = nullptr;
    HRESULT hr = device.CreateTexture(width, height, levels, usage, chosen, pool, &created);
    if (FAILED(hr)) return hr;

    // Levels the file has at the right size are used; the others are filtered from the one above.
    ArgbLevel current;
    for (UINT i = 0; i < levels; ++i) {
        IDirect3DSurface8& surface = created->level(i);
        UINT w = surface.desc().Width, h = surface.desc().Height;
        bool from_file = i < image.levels.size() && image.levels[i].width == w && image.levels[i].height == h;
        current = from_file ? image.levels[i] : resample(i == 0 ? image.levels[0] : current, w, h);
        bool same_blocks = from_file && i < image.blocks.size() && chosen == image.info.Format;
        fill_level(surface, current, same_blocks ? image.blocks[i] : Bytes{});
    }
    *texture = created;
    if (info) *info = image.info;
    return D3D_OK;
}

HRESULT load_texture(IDirect3DDevice8* device, Bytes file, UINT width, UINT height, UINT mip_levels,
                     DWORD usage, D3DFORMAT format, D3DPOOL pool, D3DCOLOR color_key, D3DXIMAGE_INFO* info,
                     IDirect3DTexture8** texture)
{
    SourceImage image;
    HRESULT hr = decode_file(file, image);
    if (FAILED(hr)) return hr;
    return create_texture(*device, image, width, height, mip_levels, usage, format, pool, color_key, info,
                          texture);
}

bool read_disk_file(const char* path, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in(host_path_from_windows(path), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice8* device, const char* file, UINT width, UINT height,
                                     UINT mip_levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD,
                                     DWORD, D3DCOLOR color_key, D3DXIMAGE_INFO* info, PALETTEENTRY*,
                                     IDirect3DTexture8** texture)
{
    if (!device || !file || !texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    std::vector<std::uint8_t> bytes;
    if (!read_disk_file(file, bytes)) return D3DXERR_INVALIDDATA;
    return load_texture(device, bytes, width, height, mip_levels, usage, format, pool, color_key, info,
                        texture);
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                                            UINT height, UINT mip_levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD, DWORD, D3DCOLOR color_key,
                                            D3DXIMAGE_INFO* info, PALETTEENTRY*, IDirect3DTexture8** texture)
{
    if (!device || !data || size == 0 || !texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    return load_texture(device, Bytes(static_cast<const std::uint8_t*>(data), size), width, height,
                        mip_levels, usage, format, pool, color_key, info, texture);
}
