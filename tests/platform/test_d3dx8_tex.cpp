#include "platform/d3dx8_tex.h"

#include "platform/impl/d3d8_state.h"

#include "d3d8_machines.h"
#include "lib/archive_writer.h"
#include "lib/dds_writer.h"
#include "lib/image_writer.h"
#include "lib/le_bytes.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A DDS file whose levels hold these 16-byte blocks under the format's FourCC; the writer lays
// out the header and the level sizes as for DXT3.
Bytes dds_of_blocks(D3DFORMAT format, UINT width, UINT height, UINT levels, const Bytes& blocks)
{
    Bytes file = dds_build(DdsFormat::DXT3, dds_mip_chain(dds_solid(width, height, 0), levels));
    dds_patch_u32(file, DDS_AT_FOURCC, format);
    EXPECT_EQ(file.size(), DDS_AT_DATA + blocks.size());
    std::copy(blocks.begin(), blocks.end(), file.begin() + DDS_AT_DATA);
    return file;
}

// Red (5:6:5 0xF800 or, premultiplied, 0x4000) in the top two rows, blue (0x001F or 0x0008) below.
Bytes colour_half(bool premultiplied)
{
    return premultiplied ? Bytes{0x00, 0x40, 0x08, 0x00, 0x00, 0x00, 0x55, 0x55}
                         : Bytes{0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0x55, 0x55};
}

// Two alpha end points and texel i taking code i % 8.
Bytes interpolated_alpha(std::uint8_t a0, std::uint8_t a1)
{
    std::uint64_t codes = 0;
    for (int i = 0; i < 16; ++i)
        codes |= std::uint64_t(i % 8) << (3 * i);
    Bytes half = {a0, a1};
    for (int i = 0; i < 6; ++i)
        half.push_back(std::uint8_t(codes >> (8 * i)));
    return half;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A run-length BMP: the two headers, a palette of 0x00RRGGBB colours and the stream as given.
Bytes rle_bmp(bool rle4, std::int32_t width, std::int32_t height, const Bytes& stream)
{
    const std::uint32_t palette[] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    std::uint32_t data_at = 14 + 40 + 4 * std::size(palette);
    Bytes out = {'B', 'M'};
    le_put_u32(out, data_at + std::uint32_t(stream.size()));
    le_put_u32(out, 0);
    le_put_u32(out, data_at);
    le_put_u32(out, 40);
    le_put_u32(out, std::uint32_t(width));
    le_put_u32(out, std::uint32_t(height));
    le_put_u32(out, (rle4 ? 4u : 8u) << 16 | 1); // planes, bits
    le_put_u32(out, rle4 ? 2 : 1);
    le_put_u32(out, std::uint32_t(stream.size()));
    le_put_u32(out, 2835);
    le_put_u32(out, 2835);
    le_put_u32(out, std::uint32_t(std::size(palette)));
    le_put_u32(out, 0);
    for (std::uint32_t colour : palette)
        le_put_u32(out, colour);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

constexpr DWORD K = 0xFF000000, R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF;

// A run-length 32-bit TGA of one colour, its header declaring the size.
Bytes rle_tga(std::uint16_t width, std::uint16_t height, std::uint32_t pixels)
{
    Bytes out = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (std::uint16_t v : {width, height}) {
        out.push_back(std::uint8_t(v));
        out.push_back(std::uint8_t(v >> 8));
    }
    out.push_back(32);
    out.push_back(0x28); // top-down rows, eight alpha bits
    for (; pixels > 0; pixels -= std::min(pixels, 128u)) {
        out.push_back(std::uint8_t(0x80 | (std::min(pixels, 128u) - 1)));
        le_put_u32(out, 0x80402010);
    }
    return out;
}

class D3DXTextureTest : public D3D8SeamTest {
protected:
    void TearDown() override
    {
        stop();
        D3D8SeamTest::TearDown();
    }

    // A device on the standard machine whose hardware also takes `added` and lacks `missing`.
    void start(std::initializer_list<D3DFORMAT> added, std::initializer_list<D3DFORMAT> missing,
               UINT max_texture = 4096)
    {
        stop();
        D3D8AdapterProfile adapter = standard_adapter();
        std::vector<D3DFORMAT>& formats = adapter.hal->texture_formats;
        formats.insert(formats.end(), added.begin(), added.end());
        std::erase_if(formats, [&](D3DFORMAT f) {
            return std::find(missing.begin(), missing.end(), f) != missing.end();
        });
        adapter.hal->caps.MaxTextureWidth = adapter.hal->caps.MaxTextureHeight = max_texture;
        d3d8_seam_set_machine(machine_of({adapter}));
        m_d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(m_d3d, nullptr);
        // The back buffer is no larger than a texture may be.
        D3DPRESENT_PARAMETERS params =
            windowed_present_params(std::min(320u, max_texture), std::min(240u, max_texture));
        ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, fake_window(), D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                      &params, &m_device),
                  D3D_OK);
    }

    void stop()
    {
        for (IDirect3DTexture8* texture : m_textures)
            texture->Release();
        m_textures.clear();
        if (m_device) {
            EXPECT_EQ(m_device->Release(), 0u);
        }
        if (m_d3d) m_d3d->Release();
        m_device = nullptr;
        m_d3d = nullptr;
    }

    // One level in the format (0: the file's own), from memory or through a file on disk.
    HRESULT load(const Bytes& file, bool from_disk = false, D3DFORMAT format = D3DFMT_UNKNOWN,
                 UINT levels = 1)
    {
        IDirect3DTexture8* texture = nullptr;
        HRESULT hr;
        if (from_disk) {
            TempFolder folder;
            tools_write_file(folder.path() / "picture", file);
            hr = D3DXCreateTextureFromFileExA(
                m_device, folder.windows("picture").c_str(), D3DX_DEFAULT, D3DX_DEFAULT, levels, 0, format,
                D3DPOOL_MANAGED, D3DX_FILTER_BOX, D3DX_FILTER_BOX, 0, &m_info, nullptr, &texture);
        } else {
            hr = D3DXCreateTextureFromFileInMemoryEx(
                m_device, file.data(), UINT(file.size()), D3DX_DEFAULT, D3DX_DEFAULT, levels, 0, format,
                D3DPOOL_MANAGED, D3DX_FILTER_BOX, D3DX_FILTER_BOX, 0, &m_info, nullptr, &texture);
        }
        m_texture = texture;
        if (texture) m_textures.push_back(texture);
        return hr;
    }

    // A level's bytes without row padding: pixel rows, or rows of 4x4 blocks.
    Bytes level_bytes(UINT level) const
    {
        D3DSURFACE_DESC desc{};
        m_texture->GetLevelDesc(level, &desc);
        bool blocks = d3d8_format_is_compressed(desc.Format);
        std::size_t row = blocks ? d3d8_format_pitch(desc.Format, desc.Width)
                                 : std::size_t(desc.Width) * d3d8_format_bytes(desc.Format);
        UINT rows = blocks ? std::max(1u, (desc.Height + 3) / 4) : desc.Height;
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(m_texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        Bytes out;
        for (UINT y = 0; y < rows; ++y) {
            const auto* start =
                static_cast<const std::uint8_t*>(locked.pBits) + std::size_t(y) * locked.Pitch;
            out.insert(out.end(), start, start + row);
        }
        m_texture->UnlockRect(level);
        return out;
    }

    std::vector<DWORD> pixels() const
    {
        Bytes bytes = level_bytes(0);
        std::vector<DWORD> out(bytes.size() / 4);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] =
                bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 | DWORD(bytes[4 * i + 3]) << 24;
        return out;
    }

    IDirect3D8* m_d3d = nullptr;
    IDirect3DDevice8* m_device = nullptr;
    IDirect3DTexture8* m_texture = nullptr;
    std::vector<IDirect3DTexture8*> m_textures;
    D3DXIMAGE_INFO m_info{};
};

// An 8x4 DXT5 image over two levels: the left block's alphas step down from 70 in sevenths
// (70, 0, 60, 50, 40, 30, 20, 10 by code), the right block's up to 100 in fifths with 0 and 255
// (0, 100, 20, 40, 60, 80, 0, 255); the level below repeats the left block.
struct DxtCase {
    D3DFORMAT format;
    UINT width, height, levels;
    Bytes blocks;
    std::vector<DWORD> pixels; // of level 0
};

std::vector<DxtCase> dxt_cases()
{
    const DWORD steps7[8] = {70, 0, 60, 50, 40, 30, 20, 10};
    const DWORD steps5[8] = {0, 100, 20, 40, 60, 80, 0, 255};
    Bytes left = concat({interpolated_alpha(70, 0), colour_half(false)});
    DxtCase dxt5{D3DFMT_DXT5, 8, 4, 2, concat({left, interpolated_alpha(0, 100), colour_half(false), left}),
                 {}};
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 8; ++x) {
            unsigned code = (y * 4 + x % 4) % 8;
            dxt5.pixels.push_back((x < 4 ? steps7[code] : steps5[code]) << 24 |
                                  (y < 2 ? 0xFF0000 : 0x0000FF));
        }
    // Colour premultiplied by alpha 0x44: 66 of 255 stands for 248.
    std::vector<DWORD> straight;
    for (UINT i = 0; i < 16; ++i)
        straight.push_back(i < 8 ? 0x44F80000 : 0x440000F8);
    Bytes constant_alpha = {0x44, 0x00, 0, 0, 0, 0, 0, 0}; // code 0 everywhere
    Bytes explicit_alpha(8, 0x44);                         // 4 of 15 everywhere
    return {dxt5,
            {D3DFMT_DXT4, 4, 4, 1, concat({constant_alpha, colour_half(true)}), straight},
            {D3DFMT_DXT2, 4, 4, 1, concat({explicit_alpha, colour_half(true)}), straight}};
}

std::string name_of(D3DFORMAT format)
{
    return std::string(reinterpret_cast<const char*>(&format), 4);
}

} // namespace

TEST_F(D3DXTextureTest, DxtFilesDecodeWhereTheDeviceLacksTheirFormat)
{
    start({}, {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5});
    for (const DxtCase& c : dxt_cases()) {
        for (bool from_disk : {false, true}) {
            SCOPED_TRACE(name_of(c.format) + (from_disk ? " from disk" : " from memory"));
            ASSERT_EQ(load(dds_of_blocks(c.format, c.width, c.height, c.levels, c.blocks), from_disk),
                      D3D_OK);
            EXPECT_EQ(d3d8_texture_format(*m_texture), D3DFMT_A8R8G8B8);
            EXPECT_EQ(m_info.Format, c.format);
            EXPECT_EQ(m_info.MipLevels, c.levels);
            EXPECT_EQ(pixels(), c.pixels);
        }
    }
}

TEST_F(D3DXTextureTest, DxtFilesKeepTheirBlocksWhereTheDeviceTakesThem)
{
    start({D3DFMT_DXT2, D3DFMT_DXT4}, {});
    for (const DxtCase& c : dxt_cases()) {
        SCOPED_TRACE(name_of(c.format));
        ASSERT_EQ(load(dds_of_blocks(c.format, c.width, c.height, c.levels, c.blocks), false, D3DFMT_UNKNOWN,
                       c.levels),
                  D3D_OK);
        EXPECT_EQ(d3d8_texture_format(*m_texture), c.format);
        Bytes kept;
        for (UINT level = 0; level < c.levels; ++level) {
            Bytes bytes = level_bytes(level);
            kept.insert(kept.end(), bytes.begin(), bytes.end());
        }
        EXPECT_EQ(kept, c.blocks);
    }
}

TEST_F(D3DXTextureTest, PixelsAskedForAsInterpolatedAlphaBlocksComeBackFromThem)
{
    // A PNG made into DXT5 and DXT4 blocks, read back by a device that takes neither.
    const std::vector<std::uint32_t> image(16, 0x80FF0000);
    for (D3DFORMAT format : {D3DFMT_DXT5, D3DFMT_DXT4}) {
        SCOPED_TRACE(name_of(format));
        start({D3DFMT_DXT4}, {});
        ASSERT_EQ(load(image_build_png(4, 4, image, true), false, format), D3D_OK);
        ASSERT_EQ(d3d8_texture_format(*m_texture), format);
        Bytes blocks = level_bytes(0);
        start({}, {D3DFMT_DXT5});
        ASSERT_EQ(load(dds_of_blocks(format, 4, 4, 1, blocks)), D3D_OK);
        for (DWORD pixel : pixels())
            for (int shift = 0; shift < 32; shift += 8)
                EXPECT_NEAR(int((pixel >> shift) & 0xFF), int((image[0] >> shift) & 0xFF), 3)
                    << std::hex << pixel;
    }
}

TEST_F(D3DXTextureTest, RunLengthBmpsDecodeToTheirPaletteColours)
{
    start({}, {});
    struct Case {
        const char* what;
        bool rle4;
        std::int32_t width, height;
        Bytes stream;
        std::vector<DWORD> pixels; // top row first
    };
    const Case cases[] = {
        // A run, a padded run of three indices as they are, the row's end; a move two right and
        // one up leaves the middle row unwritten; a run to the row's end, the picture's end.
        {"RLE8",
         false,
         5,
         3,
         {2, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 2, 1, 3, 3, 0, 1},
         {K, K, B, B, B, K, K, K, K, K, R, R, G, B, R}},
        // Runs alternate their two indices; a run of five indices as they are fills three bytes
        // and a pad.
        {"RLE4",
         true,
         5,
         2,
         {5, 0x12, 0, 0, 0, 5, 0x32, 0x10, 0x30, 0, 0, 1},
         {B, G, R, K, B, R, G, R, G, R}},
    };
    for (const Case& c : cases) {
        for (bool from_disk : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (from_disk ? " from disk" : " from memory"));
            ASSERT_EQ(load(rle_bmp(c.rle4, c.width, c.height, c.stream), from_disk, D3DFMT_A8R8G8B8), D3D_OK);
            EXPECT_EQ(m_info.ImageFileFormat, D3DXIFF_BMP);
            EXPECT_EQ(m_info.Format, D3DFMT_R8G8B8);
            EXPECT_EQ(m_info.Width, UINT(c.width));
            EXPECT_EQ(pixels(), c.pixels);
        }
    }
}

TEST_F(D3DXTextureTest, HostileRunLengthStreamsStayInsideThePicture)
{
    start({}, {});
    struct Case {
        const char* what;
        bool rle4;
        Bytes stream;
        std::vector<DWORD> pixels; // 4x2, top row first
    };
    const Case cases[] = {
        {"run past the row", false, {10, 1, 0, 0, 3, 2, 0, 1}, {G, G, G, K, R, R, R, R}},
        {"RLE4 run past the row", true, {9, 0x12, 0, 0, 1, 0x30}, {B, K, K, K, R, G, R, G}},
        {"indices past the row", false, {0, 7, 1, 1, 1, 1, 2, 2, 2, 0, 0, 0, 1, 3}, {B, K, K, K, R, R, R, R}},
        {"no row ends", false, {4, 1, 4, 2}, {K, K, K, K, R, R, R, R}},
        {"move past the right edge", false, {0, 2, 255, 0, 2, 1, 0, 0, 1, 2}, {G, K, K, K, K, K, K, K}},
        {"move past the top", false, {1, 1, 0, 2, 0, 255, 1, 2}, {K, K, K, K, R, K, K, K}},
        {"cut in a pair", false, {2, 1, 3}, {K, K, K, K, R, R, K, K}},
        {"cut in indices as they are", false, {0, 5, 1, 2}, {K, K, K, K, R, G, K, K}},
        {"cut in RLE4 indices as they are", true, {0, 7, 0x12}, {K, K, K, K, R, G, K, K}},
        {"cut in a move", false, {1, 3, 0, 2, 1}, {K, K, K, K, B, K, K, K}},
        {"empty", false, {}, {K, K, K, K, K, K, K, K}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(load(rle_bmp(c.rle4, 4, 2, c.stream), false, D3DFMT_A8R8G8B8), D3D_OK);
        EXPECT_EQ(pixels(), c.pixels);
    }

    // Headers that do not describe a run-length picture.
    Bytes good = rle_bmp(false, 4, 2, {4, 1, 0, 1});
    struct Damage {
        const char* what;
        std::size_t offset;
        std::uint32_t value;
    };
    const Damage damages[] = {
        {"top-down rows", 22, std::uint32_t(-2)}, {"zero width", 18, 0},
        {"palette past the end", 46, 200},        {"data past the end", 10, 0x10000},
        {"RLE4 of 8-bit indices", 30, 2},
    };
    for (const Damage& d : damages) {
        Bytes file = good;
        le_patch_u32(file, d.offset, d.value);
        if (d.offset == 46) file.resize(14 + 40 + 16); // the palette the header promises is not there
        EXPECT_EQ(load(file), D3DXERR_INVALIDDATA) << d.what;
    }
}

TEST_F(D3DXTextureTest, ImagesLargerThanTheDeviceTakesAreRefusedBeforeDecoding)
{
    // A 73-byte run-length TGA whose header declares 16384 x 16384 pixels.
    start({}, {});
    Bytes huge = rle_tga(16384, 16384, 0);
    huge.resize(73, 0xFF);
    EXPECT_EQ(load(huge), D3DXERR_INVALIDDATA);

    start({}, {}, 8);
    for (UINT width : {8u, 16u}) {
        std::vector<std::uint32_t> argb(width * 4, 0xFF336699);
        const std::pair<const char*, Bytes> files[] = {
            {"DDS", dds_build(DdsFormat::A8R8G8B8, std::vector<DdsPixels>{dds_solid(width, 4, 0xFF336699)})},
            {"PNG", image_build_png(width, 4, argb, false)},
            {"BMP", image_build_bmp(width, 4, argb)},
            {"RLE BMP", rle_bmp(false, std::int32_t(width), 4, {})},
            {"RLE TGA", rle_tga(std::uint16_t(width), 4, width * 4)},
        };
        for (const auto& [kind, file] : files)
            EXPECT_EQ(load(file), width <= 8 ? D3D_OK : D3DXERR_INVALIDDATA) << kind << " " << width;
    }
}
