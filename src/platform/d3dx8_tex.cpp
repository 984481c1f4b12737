// D3DX 8 texture loaders of the stand-in. DDS files and run-length BMPs are read here; the other
// image formats are decoded by stb_image. Every level is worked on as 0xAARRGGBB pixels and
// written in the chosen format; DXT blocks of a DXT file go to a DXT texture as they are.
#include "platform/d3dx8_tex.h"

#include "platform/impl/d3d8_internal.h"
#include "platform/impl/host_path.h"

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

// A few header bytes may declare gigabytes of pixels: an image larger than the device's largest
// texture is refused before anything is decoded.
bool fits_device(const D3DCAPS8& caps, std::uint64_t width, std::uint64_t height)
{
    return width <= caps.MaxTextureWidth && height <= caps.MaxTextureHeight;
}

// ---- DXT blocks --------------------------------------------------------------------------------
// Where a block format keeps alpha: DXT1 in its colour half, DXT2 and DXT3 as explicit 4-bit
// values, DXT4 and DXT5 as two end points with 3-bit indices. DXT2 and DXT4 hold colour
// premultiplied by alpha; their pixels here are not.
enum class BlockAlpha { InColour, Explicit, Interpolated };

struct BlockLayout {
    BlockAlpha alpha;
    bool premultiplied;
};

BlockLayout block_layout(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_DXT2:
        return {BlockAlpha::Explicit, true};
    case D3DFMT_DXT3:
        return {BlockAlpha::Explicit, false};
    case D3DFMT_DXT4:
        return {BlockAlpha::Interpolated, true};
    case D3DFMT_DXT5:
        return {BlockAlpha::Interpolated, false};
    default:
        return {BlockAlpha::InColour, false};
    }
}

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

// Each colour channel times alpha / 255, or divided back; a pixel without alpha keeps its colour.
DWORD premultiply(DWORD pixel)
{
    DWORD alpha = pixel >> 24, out = pixel & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= ((((pixel >> shift) & 0xFF) * alpha + 127) / 255) << shift;
    return out;
}

DWORD unpremultiply(DWORD pixel)
{
    DWORD alpha = pixel >> 24, out = pixel & 0xFF000000u;
    if (alpha == 0) return pixel;
    for (int shift = 0; shift < 24; shift += 8)
        out |= std::min<DWORD>(255, (((pixel >> shift) & 0xFF) * 255 + alpha / 2) / alpha) << shift;
    return out;
}

// The 16 alphas of an alpha half. Interpolated: six steps between the end points when the first
// is above the second, else four steps, 0 and 255.
void decode_alpha(const std::uint8_t* half, BlockAlpha kind, DWORD alpha[16])
{
    if (kind == BlockAlpha::Explicit) {
        for (int i = 0; i < 16; ++i)
            alpha[i] = ((half[i / 2] >> (4 * (i & 1))) & 0xF) * 17;
        return;
    }
    unsigned a0 = half[0], a1 = half[1], steps = a0 > a1 ? 7 : 5;
    std::uint64_t codes = 0;
    for (int i = 0; i < 6; ++i)
        codes |= std::uint64_t(half[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) {
        unsigned code = (codes >> (3 * i)) & 7;
        if (code == 0)
            alpha[i] = a0;
        else if (code == 1)
            alpha[i] = a1;
        else if (code - 1 < steps)
            alpha[i] = ((steps + 1 - code) * a0 + (code - 1) * a1) / steps;
        else
            alpha[i] = code == 6 ? 0 : 255;
    }
}

// A 4x4 block's pixels in row order. The colour half of a block with an alpha half always uses
// four colours; a DXT1 block whose first colour is not above the second has three and
// transparent black.
void decode_block(const std::uint8_t* block, BlockLayout layout, DWORD out[16])
{
    bool alpha_half = layout.alpha != BlockAlpha::InColour;
    const std::uint8_t* colour = alpha_half ? block + 8 : block;
    unsigned c0 = colour[0] | colour[1] << 8, c1 = colour[2] | colour[3] << 8;
    DWORD palette[4] = {widen_565(c0), widen_565(c1), 0, 0};
    if (alpha_half || c0 > c1) {
        palette[2] = blend(palette[0], palette[1], 2, 1);
        palette[3] = blend(palette[0], palette[1], 1, 2);
    } else {
        palette[2] = blend(palette[0], palette[1], 1, 1);
    }
    DWORD alpha[16];
    if (alpha_half) decode_alpha(block, layout.alpha, alpha);
    DWORD indices = colour[4] | colour[5] << 8 | colour[6] << 16 | DWORD(colour[7]) << 24;
    for (int i = 0; i < 16; ++i) {
        DWORD pixel = palette[(indices >> (2 * i)) & 3];
        if (alpha_half) pixel = (pixel & 0xFFFFFF) | alpha[i] << 24;
        out[i] = layout.premultiplied ? unpremultiply(pixel) : pixel;
    }
}

ArgbLevel decode_blocks(Bytes blocks, UINT width, UINT height, D3DFORMAT format)
{
    ArgbLevel level{width, height, std::vector<DWORD>(std::size_t(width) * height)};
    UINT across = std::max(1u, (width + 3) / 4), down = std::max(1u, (height + 3) / 4);
    std::size_t block_size = d3d8_format_block_bytes(format);
    BlockLayout layout = block_layout(format);
    DWORD texels[16];
    for (UINT by = 0; by < down; ++by)
        for (UINT bx = 0; bx < across; ++bx) {
            decode_block(blocks.data() + (std::size_t(by) * across + bx) * block_size, layout, texels);
            for (UINT y = by * 4; y < std::min(height, by * 4 + 4); ++y)
                for (UINT x = bx * 4; x < std::min(width, bx * 4 + 4); ++x)
                    level.pixels[std::size_t(y) * width + x] = texels[(y - by * 4) * 4 + (x - bx * 4)];
        }
    return level;
}

// stb compresses the colour half, and the interpolated alpha half in front of it; explicit
// alphas are written here.
void encode_block(const DWORD pixels[16], D3DFORMAT format, std::uint8_t* out)
{
    BlockLayout layout = block_layout(format);
    std::uint8_t rgba[64];
    for (int i = 0; i < 16; ++i) {
        DWORD pixel = layout.premultiplied ? premultiply(pixels[i]) : pixels[i];
        rgba[4 * i] = std::uint8_t(pixel >> 16);
        rgba[4 * i + 1] = std::uint8_t(pixel >> 8);
        rgba[4 * i + 2] = std::uint8_t(pixel);
        rgba[4 * i + 3] = std::uint8_t(pixel >> 24);
    }
    if (layout.alpha == BlockAlpha::Explicit) {
        for (int i = 0; i < 8; ++i)
            out[i] = std::uint8_t((pixels[2 * i] >> 28) | (pixels[2 * i + 1] >> 28) << 4);
        out += 8;
    }
    stb_compress_dxt_block(out, rgba, layout.alpha == BlockAlpha::Interpolated, STB_DXT_NORMAL);
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
HRESULT decode_dds(Bytes file, const D3DCAPS8& caps, SourceImage& image)
{
    if (file.size() < k_dds_data_offset || read_u32(file, 4) != 124 || read_u32(file, 76) != 32)
        return D3DXERR_INVALIDDATA;
    UINT height = read_u32(file, 12), width = read_u32(file, 16), mips = read_u32(file, 28);
    DWORD flags = read_u32(file, 80), fourcc = read_u32(file, 84), bits = read_u32(file, 88);
    DWORD masks[4] = {read_u32(file, 92), read_u32(file, 96), read_u32(file, 100), read_u32(file, 104)};
    UINT levels = std::max(1u, mips);
    if (width == 0 || height == 0 || levels > chain_length(width, height)) return D3DXERR_INVALIDDATA;
    if (!fits_device(caps, width, height)) return D3DXERR_INVALIDDATA;

    D3DFORMAT format;
    if ((flags & k_ddpf_fourcc) && d3d8_format_is_compressed(static_cast<D3DFORMAT>(fourcc)))
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
                                ? std::uint64_t(std::max(1u, (w + 3) / 4)) * d3d8_format_block_bytes(format)
                                : (std::uint64_t(bits / 8) * w + 3) & ~std::uint64_t{3};
        std::uint64_t rows = compressed ? std::max(1u, (h + 3) / 4) : h;
        std::uint64_t left = file.size() - offset;
        if (row > left || rows > left / row) return D3DXERR_INVALIDDATA;
        Bytes data = file.subspan(offset, std::size_t(row * rows));
        if (compressed) {
            image.blocks.push_back(data);
            image.levels.push_back(decode_blocks(data, w, h, format));
        } else {
            image.levels.push_back(decode_masked(data, w, h, UINT(row), bits / 8, masks));
        }
        offset += data.size();
    }
    image.info = {width, height, 1, levels, format, D3DRTYPE_TEXTURE, D3DXIFF_DDS};
    return D3D_OK;
}

// ---- Run-length BMP ------------------------------------------------------------------------------
// stb_image reads every BMP but the run-length ones: those are decoded here.
constexpr std::size_t k_bmp_info_at = 14;
constexpr DWORD k_bmp_info_size = 40;
constexpr DWORD k_bi_rle8 = 1;
constexpr DWORD k_bi_rle4 = 2;

using BmpPalette = std::array<DWORD, 256>;

DWORD read_u16(Bytes bytes, std::size_t offset)
{
    return DWORD(bytes[offset]) | DWORD(bytes[offset + 1]) << 8;
}

bool is_rle_bmp(Bytes file)
{
    if (file.size() < k_bmp_info_at + k_bmp_info_size || read_u32(file, k_bmp_info_at) < k_bmp_info_size)
        return false;
    DWORD compression = read_u32(file, k_bmp_info_at + 16);
    return compression == k_bi_rle8 || compression == k_bi_rle4;
}

// Pairs of a count and a palette index (RLE4: two indices, used in turn), or an escape: the end
// of a row, the end of the picture, a move right and up, or a run of indices as they are
// (padded to 16 bits). Rows run bottom up. Runs are cut at the row's end, a move past the top
// ends the picture, and so does the end of the data; pixels no run reaches keep index 0.
void decode_rle(Bytes stream, bool rle4, const BmpPalette& palette, ArgbLevel& level)
{
    std::fill(level.pixels.begin(), level.pixels.end(), palette[0]);
    UINT x = 0, y = 0;
    auto put = [&](unsigned index) {
        if (x == level.width) return;
        level.pixels[std::size_t(level.height - 1 - y) * level.width + x] = palette[index];
        ++x;
    };
    auto index_of = [rle4](unsigned byte, unsigned n) -> unsigned {
        return !rle4 ? byte : n % 2 ? byte & 0xF : byte >> 4;
    };
    std::size_t at = 0;
    while (y < level.height && stream.size() - at >= 2) {
        unsigned count = stream[at], value = stream[at + 1];
        at += 2;
        if (count > 0) {
            for (unsigned n = 0; n < count; ++n)
                put(index_of(value, n));
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (stream.size() - at < 2) return;
            x = std::min<UINT>(x + stream[at], level.width);
            y += stream[at + 1];
            at += 2;
        } else {
            std::size_t bytes = rle4 ? (value + 1) / 2 : value;
            for (unsigned n = 0; n < value; ++n) {
                std::size_t byte = at + (rle4 ? n / 2 : n);
                if (byte >= stream.size()) return;
                put(index_of(stream[byte], n));
            }
            at += std::min(stream.size() - at, (bytes + 1) & ~std::size_t{1});
        }
    }
}

HRESULT decode_rle_bmp(Bytes file, const D3DCAPS8& caps, SourceImage& image)
{
    bool rle4 = read_u32(file, k_bmp_info_at + 16) == k_bi_rle4;
    auto width = static_cast<std::int32_t>(read_u32(file, k_bmp_info_at + 4));
    auto height = static_cast<std::int32_t>(read_u32(file, k_bmp_info_at + 8));
    DWORD bits = read_u16(file, k_bmp_info_at + 14);
    // Run-length pictures are stored bottom up only.
    if (bits != (rle4 ? 4u : 8u) || width <= 0 || height <= 0) return D3DXERR_INVALIDDATA;
    if (!fits_device(caps, UINT(width), UINT(height))) return D3DXERR_INVALIDDATA;
    DWORD colours = read_u32(file, k_bmp_info_at + 32);
    if (colours == 0 || colours > (1u << bits)) colours = 1u << bits;
    std::uint64_t palette_at = k_bmp_info_at + std::uint64_t(read_u32(file, k_bmp_info_at));
    DWORD data_at = read_u32(file, 10);
    if (palette_at + 4 * colours > file.size() || data_at > file.size()) return D3DXERR_INVALIDDATA;

    BmpPalette palette;
    palette.fill(0xFF000000u); // indices past the palette are black
    for (DWORD i = 0; i < colours; ++i)
        palette[i] = 0xFF000000u | (read_u32(file, std::size_t(palette_at) + 4 * i) & 0xFFFFFF);
    ArgbLevel level{UINT(width), UINT(height), std::vector<DWORD>(std::size_t(width) * UINT(height))};
    decode_rle(file.subspan(data_at), rle4, palette, level);
    image.info = {level.width, level.height, 1, 1, D3DFMT_R8G8B8, D3DRTYPE_TEXTURE, D3DXIFF_BMP};
    image.levels.push_back(std::move(level));
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

HRESULT decode_picture(Bytes file, const D3DCAPS8& caps, SourceImage& image)
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
    if (kind == D3DXIFF_BMP && is_rle_bmp(file)) return decode_rle_bmp(file, caps, image);
    if (file.size() > INT_MAX) return D3DXERR_INVALIDDATA;

    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(file.data(), int(file.size()), &width, &height, &channels) ||
        !fits_device(caps, UINT(width), UINT(height)))
        return D3DXERR_INVALIDDATA;
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

HRESULT decode_file(Bytes file, const D3DCAPS8& caps, SourceImage& image)
{
    if (starts_with(file, {'D', 'D', 'S', ' '})) return decode_dds(file, caps, image);
    return decode_picture(file, caps, image);
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

// Formats to try for a wanted one, closest first; for a block format, those its decoded pixels fit.
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
    static constexpr D3DFORMAT dxt1[] = {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4}; // one-bit alpha
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
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return argb;
    default:
        return {};
    }
}

D3DFORMAT closest_format(IDirect3DDevice8& device, D3DFORMAT wanted, DWORD usage)
{
    D3DDISPLAYMODE mode{};
    device.GetDisplayMode(&mode);
    auto takes = [&](D3DFORMAT format) {
        return SUCCEEDED(d3d8_device_direct3d(device).CheckDeviceFormat(
            d3d8_device_adapter(device), d3d8_device_type(device), mode.Format, usage & D3DUSAGE_RENDERTARGET,
            D3DRTYPE_TEXTURE, format));
    };
    // Blocks stay blocks where the device takes them; elsewhere they are decoded.
    if (d3d8_format_is_compressed(wanted) && takes(wanted)) return wanted;
    for (D3DFORMAT format : format_candidates(wanted))
        if (takes(format)) return format;
    return D3DFMT_UNKNOWN;
}

// Writes the level's memory directly, as the platform's loader updates a texture of any pool,
// and hands the whole level to the backend as an unlock would.
void fill_level(IDirect3DSurface8& surface, const ArgbLevel& pixels, Bytes blocks)
{
    const D3DSURFACE_DESC& desc = d3d8_surface_desc(surface);
    std::uint8_t* bits = d3d8_surface_bits(surface);
    UINT pitch = d3d8_surface_pitch(surface);
    if (!blocks.empty()) {
        std::memcpy(bits, blocks.data(), std::min<std::size_t>(blocks.size(), desc.Size));
    } else if (d3d8_format_is_compressed(desc.Format)) {
        std::size_t block_bytes = d3d8_format_block_bytes(desc.Format);
        DWORD block[16];
        for (UINT by = 0; by < std::max(1u, (desc.Height + 3) / 4); ++by)
            for (UINT bx = 0; bx < std::max(1u, (desc.Width + 3) / 4); ++bx) {
                // Texels past the level's edge repeat its last row and column.
                for (UINT i = 0; i < 16; ++i) {
                    UINT x = std::min(bx * 4 + i % 4, pixels.width - 1);
                    UINT y = std::min(by * 4 + i / 4, pixels.height - 1);
                    block[i] = pixels.pixels[std::size_t(y) * pixels.width + x];
                }
                encode_block(block, desc.Format, bits + std::size_t(by) * pitch + bx * block_bytes);
            }
    } else {
        UINT bytes = d3d8_format_bytes(desc.Format);
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x)
                d3d8_write_argb(desc.Format, bits + std::size_t(y) * pitch + std::size_t(x) * bytes,
                                pixels.pixels[std::size_t(y) * pixels.width + x]);
    }
    if (D3D8Backend* backend = d3d8_device_backend(d3d8_resource_device(surface))) {
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

HRESULT create_texture(IDirect3DDevice8& device, const D3DCAPS8& caps, SourceImage& image, UINT width,
                       UINT height, UINT mip_levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                       D3DCOLOR color_key, D3DXIMAGE_INFO* info, IDirect3DTexture8** texture)
{
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
        IDirect3DSurface8& surface = d3d8_texture_level(*created, i);
        UINT w = d3d8_surface_desc(surface).Width, h = d3d8_surface_desc(surface).Height;
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
    D3DCAPS8 caps{};
    device->GetDeviceCaps(&caps);
    SourceImage image;
    HRESULT hr = decode_file(file, caps, image);
    if (FAILED(hr)) return hr;
    return create_texture(*device, caps, image, width, height, mip_levels, usage, format, pool, color_key,
                          info, texture);
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
