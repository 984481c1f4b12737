// The texture loader of the resource manager's pool 0. It picks the file variant of the quality
// settings (low- or high-resolution folder, compressed or not, packed ".z" or plain), reads DDS
// itself and creates the texture, converting formats the device cannot use, and hands anything
// its reader refuses to the D3DX loaders.
#pragma once

#include "platform/d3dx8_tex.h"
#include "scenegraph/resrc_mgr.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr std::size_t DDS_HEADER_SIZE = 124;
constexpr std::size_t DDS_DATA_OFFSET = 128; // the magic "DDS ", then the header
constexpr DWORD DDS_MAGIC = MAKEFOURCC('D', 'D', 'S', ' ');
constexpr DWORD DDSD_REQUIRED = 0x1007; // caps, height, width, pixel format
constexpr DWORD DDPF_FOURCC = 0x4;
constexpr DWORD DDPF_RGB = 0x40;

struct DdsPixelFormat {
    std::uint32_t size; // 32
    std::uint32_t flags;
    std::uint32_t fourcc;
    std::uint32_t rgb_bits;
    std::uint32_t r_mask;
    std::uint32_t g_mask;
    std::uint32_t b_mask;
    std::uint32_t a_mask;
};
static_assert(sizeof(DdsPixelFormat) == 32);

struct DdsHeader {
    std::uint32_t size; // 124
    std::uint32_t flags;
    std::uint32_t height;
    std::uint32_t width;
    std::uint32_t pitch_or_linear_size;
    std::uint32_t depth;
    std::uint32_t mip_count;
    std::uint32_t reserved[11];
    DdsPixelFormat pixel_format;
    std::uint32_t caps[4];
    std::uint32_t reserved2;
};
static_assert(sizeof(DdsHeader) == DDS_HEADER_SIZE);

// Level i is (width >> i) x (height >> i), either of which may reach 0 (stored as 1).
struct DdsLevel {
    std::vector<std::uint8_t> data;
    std::uint32_t pitch_or_size; // the row pitch, or the byte size of a compressed level
    std::uint32_t width;
    std::uint32_t height;
};

struct DdsImage {
    DdsHeader header{};
    D3DFORMAT format = D3DFMT_UNKNOWN;
    std::uint32_t level_count = 0; // the header's mip count, or 1 when it is 0
    std::vector<DdsLevel> levels;
};

// Loads the record's texture with the parameters and fills its TextureInfo. The Mipmap setting
// off loads one level. S_OK, or the last loader's error.
HRESULT tex_load(const TextureLoadParams& params, ResourceRecord& record);
// A managed texture of pool 0 through ResrcMgr::Load, its TextureInfo copied to `info` when
// given; null when it cannot be loaded.
IDirect3DTexture8* tex_load_by_name(const char* name, std::uint32_t mip_levels, D3DFORMAT format,
                                    std::uint8_t keep_mode, TextureInfo* info);
// The variant tex_load reads for the name: the first of "l\_c_", "l\", "h\_c_", "h\" before the
// file name (as the LowResoTexture and CompressedTexture settings allow), each packed then
// plain, then the packed name, that the archive holds; else the name itself.
std::string tex_choose_file(const char* name);

// Reads the archive entry and parses it; 0x80FF0009 when the archive has no such entry.
HRESULT dds_load(DdsImage& image, const char* path);
// 0x80FF0001 without the magic; 0x80FF0002 for a bad or short header, a format the device
// cannot take, more levels than the image has, or a file shorter than its levels.
HRESULT dds_parse(DdsImage& image, std::span<const std::uint8_t> file);
// Creates the texture (one level when `single_level`) in the target format and fills its
// levels: R8G8B8 becomes A8R8G8B8 or A1R5G5B5, A8R8G8B8 the requested format on devices
// without A8R8G8B8 textures. 0x80FF0002 for a conversion it does not make.
HRESULT dds_create_texture(const DdsImage& image, IDirect3DTexture8** texture, D3DXIMAGE_INFO* info,
                           bool single_level, D3DPOOL pool, D3DFORMAT requested);
void dds_free(DdsImage& image);
