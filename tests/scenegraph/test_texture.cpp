#include "scenegraph/texture.h"

#include "core/archive_fixture.h"
#include "core/errors.h"
#include "core/sys.h"
#include "lib/dds_writer.h"
#include "lib/image_writer.h"
#include "lib/packed_writer.h"
#include "platform/impl/d3d8_seams.h"
#include "texture_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Pixels that all differ, alpha included, so a skipped or misplaced pixel shows.
DdsPixels varied(std::uint32_t width, std::uint32_t height, std::uint32_t seed = 0)
{
    return dds_pattern(width, height, [&](std::uint32_t x, std::uint32_t y) {
        std::uint32_t v = (x + 1) * 0x9E3779B1u ^ (y + 7) * 0x85EBCA77u ^ seed;
        return v ^ (v >> 13);
    });
}

// `rows` rows of `row_bytes` each, taken `pitch` apart.
Bytes strip_rows(const std::uint8_t* data, std::size_t pitch, std::size_t row_bytes, std::size_t rows)
{
    Bytes out;
    for (std::size_t y = 0; y < rows; ++y)
        out.insert(out.end(), data + y * pitch, data + y * pitch + row_bytes);
    return out;
}

struct LevelLayout {
    std::size_t row_bytes;
    std::size_t rows;
};

LevelLayout layout(D3DFORMAT format, std::uint32_t width, std::uint32_t height)
{
    if (format == D3DFMT_DXT1 || format == D3DFMT_DXT3)
        return {std::max(1u, (width + 3) / 4) * (format == D3DFMT_DXT1 ? 8u : 16u),
                std::max(1u, (height + 3) / 4)};
    return {width * d3d8_format_bytes(format), height};
}

// A level's pixels (or blocks) read back through LockRect, without row padding.
Bytes read_level(IDirect3DTexture8& texture, UINT level)
{
    D3DSURFACE_DESC desc{};
    texture.GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture.LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    LevelLayout shape = layout(desc.Format, desc.Width, desc.Height);
    Bytes bytes = strip_rows(static_cast<const std::uint8_t*>(locked.pBits), std::size_t(locked.Pitch),
                             shape.row_bytes, shape.rows);
    texture.UnlockRect(level);
    return bytes;
}

// What the writer stored for a level, without row padding.
Bytes stored_level(DdsFormat format, D3DFORMAT d3d_format, const DdsPixels& level)
{
    Bytes encoded = dds_encode_level(format, level);
    LevelLayout shape = layout(d3d_format, level.width, level.height);
    std::size_t pitch = d3d_format == D3DFMT_DXT1 || d3d_format == D3DFMT_DXT3 ? shape.row_bytes
                                                                               : (shape.row_bytes + 3) & ~3u;
    return strip_rows(encoded.data(), pitch, shape.row_bytes, shape.rows);
}

std::uint32_t argb_of(const std::uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
}

std::uint16_t u16_of(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

class TextureTest : public ArchiveTest {
protected:
    void SetUp() override
    {
        m_saved_block = g_work_block;
        m_block.assign(1 << 20, 0);
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
    }
    void TearDown() override
    {
        ResrcMgr::Shutdown();
        ArchiveTest::TearDown();
        g_work_block = m_saved_block;
    }

    void mount_files(std::vector<ArchiveSource> files) { mount(files, {}); }

    // Loads through the resource manager as game code does and keeps the handle's record.
    IDirect3DTexture8* load(const char* name, std::uint32_t levels = 0, D3DFORMAT format = D3DFMT_UNKNOWN)
    {
        return tex_load_by_name(name, levels, format, 0, &m_info);
    }

    TextureDevice m_device;
    TextureInfo m_info{};
    std::vector<std::uint8_t> m_block;
    WorkBlock m_saved_block;
};

} // namespace

// ---- Reading DDS -----------------------------------------------------------------------------------
TEST_F(TextureTest, LoadsEachFormatTheDeviceTakesAsStored)
{
    struct Case {
        DdsFormat file;
        D3DFORMAT format;
        std::uint32_t width, height;
    };
    const Case cases[] = {
        {DdsFormat::A8R8G8B8, D3DFMT_A8R8G8B8, 8, 4}, {DdsFormat::X8R8G8B8, D3DFMT_A8R8G8B8, 4, 8},
        {DdsFormat::R5G6B5, D3DFMT_R5G6B5, 5, 3},     {DdsFormat::A1R5G5B5, D3DFMT_A1R5G5B5, 8, 8},
        {DdsFormat::A4R4G4B4, D3DFMT_A4R4G4B4, 3, 5}, {DdsFormat::DXT1, D3DFMT_DXT1, 16, 8},
        {DdsFormat::DXT3, D3DFMT_DXT3, 8, 16},
    };
    std::vector<ArchiveSource> files;
    std::vector<std::vector<DdsPixels>> chains;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        chains.push_back(dds_mip_chain(varied(cases[i].width, cases[i].height, std::uint32_t(i)), 0));
        files.push_back(
            {"data\\fmt\\" + std::to_string(i) + ".dds", dds_build(cases[i].file, chains.back())});
    }
    mount_files(files);

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(files[i].path);
        IDirect3DTexture8* texture = load(files[i].path.c_str());
        ASSERT_NE(texture, nullptr) << std::hex << g_resrc_last_result;
        ASSERT_EQ(texture->GetLevelCount(), chains[i].size());
        for (UINT level = 0; level < chains[i].size(); ++level)
            EXPECT_EQ(read_level(*texture, level), stored_level(c.file, c.format, chains[i][level])) << level;
        EXPECT_EQ(m_info.width, c.width);
        EXPECT_EQ(m_info.height, c.height);
        EXPECT_EQ(m_info.levels, chains[i].size());
        EXPECT_EQ(m_info.format, std::uint32_t(c.format));
        EXPECT_EQ(m_info.pool, std::uint32_t(D3DPOOL_MANAGED));
        EXPECT_EQ(m_info.source_width, c.width);
        EXPECT_EQ(m_info.source_height, c.height);
    }
}

TEST_F(TextureTest, ConvertsEveryPixelOfEveryLevel)
{
    // Four colours at the channel boundaries the 16-bit formats cut at; what each format keeps of
    // them is written out below as the words the texture must hold.
    constexpr std::uint32_t grey = 0xFF808080, white_low_alpha = 0x7FFFFFFF, red_half_alpha = 0x80FF0000,
                            green = 0x4000FF08;
    const std::uint32_t colours[4] = {grey, white_low_alpha, red_half_alpha, green};
    struct Case {
        const char* what;
        DdsFormat file;
        bool a8r8g8b8_ok;
        D3DFORMAT requested;
        D3DFORMAT expected;
        std::uint16_t words[4]; // of the four colours, for a 16-bit result
    };
    const Case cases[] = {
        {"24-bit to A8R8G8B8", DdsFormat::R8G8B8, true, D3DFMT_UNKNOWN, D3DFMT_A8R8G8B8, {}},
        {"24-bit without A8R8G8B8",
         DdsFormat::R8G8B8,
         false,
         D3DFMT_A4R4G4B4,
         D3DFMT_A1R5G5B5,
         {0xC210, 0xFFFF, 0xFC00, 0x83E1}},
        {"32-bit to R5G6B5",
         DdsFormat::A8R8G8B8,
         false,
         D3DFMT_R5G6B5,
         D3DFMT_R5G6B5,
         {0x8410, 0xFFFF, 0xF800, 0x07E1}},
        {"32-bit to A1R5G5B5",
         DdsFormat::A8R8G8B8,
         false,
         D3DFMT_A1R5G5B5,
         D3DFMT_A1R5G5B5,
         {0xC210, 0x7FFF, 0xFC00, 0x03E1}},
        {"32-bit to A4R4G4B4",
         DdsFormat::A8R8G8B8,
         false,
         D3DFMT_A4R4G4B4,
         D3DFMT_A4R4G4B4,
         {0xF888, 0x7FFF, 0x8F00, 0x40F0}},
        {"32-bit kept when the device takes it",
         DdsFormat::A8R8G8B8,
         true,
         D3DFMT_A4R4G4B4,
         D3DFMT_A8R8G8B8,
         {}},
    };
    // Colour indices of an odd-width chain: each row's last pixel, and levels of width 2 and 1 below.
    const std::vector<std::vector<int>> chain_colours = {{0, 1, 2, 3, 0}, {1, 2}, {3}};
    std::vector<DdsPixels> chain;
    for (const std::vector<int>& level : chain_colours) {
        DdsPixels pixels{std::uint32_t(level.size()), 1, {}};
        for (int colour : level)
            pixels.argb.push_back(colours[colour]);
        chain.push_back(pixels);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_tex_a8r8g8b8_ok = c.a8r8g8b8_ok;
        DdsImage image;
        ASSERT_EQ(dds_parse(image, dds_build(c.file, chain)), S_OK);
        IDirect3DTexture8* texture = nullptr;
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(dds_create_texture(image, &texture, &info, false, D3DPOOL_MANAGED, c.requested), S_OK);
        EXPECT_EQ(d3d8_texture_format(*texture), c.expected);
        EXPECT_EQ(info.Format, image.format) << "the information names the file's format";
        for (UINT level = 0; level < chain.size(); ++level) {
            Bytes bytes = read_level(*texture, level);
            for (std::size_t p = 0; p < chain_colours[level].size(); ++p) {
                int colour = chain_colours[level][p];
                std::uint32_t argb = colours[colour];
                if (c.file == DdsFormat::R8G8B8) argb |= 0xFF000000;
                if (c.expected == D3DFMT_A8R8G8B8)
                    EXPECT_EQ(argb_of(&bytes[4 * p]), argb) << "level " << level << " pixel " << p;
                else
                    EXPECT_EQ(u16_of(&bytes[2 * p]), c.words[colour]) << "level " << level << " pixel " << p;
            }
        }
        texture->Release();
    }
}

TEST_F(TextureTest, RefusesConversionsItDoesNotMake)
{
    g_tex_a8r8g8b8_ok = false;
    struct Case {
        const char* what;
        DdsPixels top;
        DdsFormat file;
        D3DFORMAT requested;
        HRESULT expected;
    };
    const Case cases[] = {
        {"no format asked for", varied(4, 4), DdsFormat::A8R8G8B8, D3DFMT_UNKNOWN, ERR_UNSUPPORTED_FORMAT},
        {"to X8R8G8B8", varied(4, 4), DdsFormat::A8R8G8B8, D3DFMT_X8R8G8B8, ERR_UNSUPPORTED_FORMAT},
        {"a converted level 0 of width 1", varied(1, 4), DdsFormat::R8G8B8, D3DFMT_UNKNOWN,
         ERR_UNSUPPORTED_FORMAT},
        {"width 1 without a conversion", varied(1, 4), DdsFormat::R5G6B5, D3DFMT_A4R4G4B4, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DdsImage image;
        ASSERT_EQ(dds_parse(image, dds_build(c.file, std::vector<DdsPixels>{c.top})), S_OK);
        IDirect3DTexture8* texture = nullptr;
        EXPECT_EQ(dds_create_texture(image, &texture, nullptr, true, D3DPOOL_MANAGED, c.requested),
                  c.expected);
        EXPECT_EQ(texture != nullptr, SUCCEEDED(c.expected));
        if (texture) texture->Release();
    }
}

TEST_F(TextureTest, RejectsDamagedFiles)
{
    auto patched = [](Bytes file, std::size_t offset, std::uint32_t value) {
        dds_patch_u32(file, offset, value);
        return file;
    };
    const Bytes good = dds_build(DdsFormat::A8R8G8B8, dds_mip_chain(varied(8, 4), 3));
    const Bytes single = dds_build(DdsFormat::A8R8G8B8, std::vector<DdsPixels>{varied(8, 4)});
    const Bytes square = dds_build(DdsFormat::R5G6B5, std::vector<DdsPixels>{varied(4, 4)});
    const Bytes dxt1 = dds_build(DdsFormat::DXT1, std::vector<DdsPixels>{varied(4, 4)});
    auto cut = [&](std::size_t size) { return Bytes(good.begin(), good.begin() + size); };
    m_device.settings().caps_dxt1_textures = 0;
    struct Case {
        const char* what;
        Bytes file;
        HRESULT expected;
    };
    const Case cases[] = {
        {"the file as written", good, S_OK},
        {"no magic", patched(good, 0, 0x20534443), ERR_UNKNOWN_FORMAT},
        {"three bytes", cut(3), ERR_UNKNOWN_FORMAT},
        {"half a header", cut(100), ERR_UNSUPPORTED_FORMAT},
        {"header size 100", patched(good, DDS_AT_HEADER_SIZE, 100), ERR_UNSUPPORTED_FORMAT},
        {"no pixel-format flag", patched(good, DDS_AT_FLAGS, 0x0007), ERR_UNSUPPORTED_FORMAT},
        {"pixel-format size 0", patched(good, DDS_AT_PIXEL_FORMAT_SIZE, 0), ERR_UNSUPPORTED_FORMAT},
        {"8-bit pixels", patched(good, DDS_AT_RGB_BITS, 8), ERR_UNSUPPORTED_FORMAT},
        {"neither RGB nor FourCC", patched(good, DDS_AT_PIXEL_FORMAT_FLAGS, 0x2), ERR_UNSUPPORTED_FORMAT},
        {"width 0", patched(good, DDS_AT_WIDTH, 0), ERR_UNSUPPORTED_FORMAT},
        {"more levels than 8x4 has", patched(good, DDS_AT_MIP_COUNT, 5), ERR_UNSUPPORTED_FORMAT},
        {"the last level one byte short", cut(good.size() - 1), ERR_UNSUPPORTED_FORMAT},
        {"a level of several rows one byte short", Bytes(single.begin(), single.end() - 1),
         ERR_UNSUPPORTED_FORMAT},
        {"a declared level missing", patched(good, DDS_AT_MIP_COUNT, 4), ERR_UNSUPPORTED_FORMAT},
        {"huge sizes in a small file",
         patched(patched(good, DDS_AT_WIDTH, 0x40000000), DDS_AT_HEIGHT, 0x40000000), ERR_UNSUPPORTED_FORMAT},
        {"16-bit masks of no known format", patched(square, DDS_AT_MASKS, 0x7C00), ERR_UNSUPPORTED_FORMAT},
        {"DXT1 on a device without it", dxt1, ERR_UNSUPPORTED_FORMAT},
        {"DXT5", patched(dxt1, DDS_AT_FOURCC, 0x35545844), ERR_UNSUPPORTED_FORMAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DdsImage image;
        EXPECT_EQ(dds_parse(image, c.file), c.expected);
        if (FAILED(c.expected)) {
            EXPECT_TRUE(image.levels.empty());
        }
    }
}

TEST_F(TextureTest, PlacesDxtLevelsWhoseSizeIsNoMultipleOfFour)
{
    std::vector<DdsPixels> chain = dds_mip_chain(varied(6, 10), 0); // 6x10, 3x5, 1x2, 1x1
    DdsImage image;
    ASSERT_EQ(dds_parse(image, dds_build(DdsFormat::DXT1, chain)), S_OK);
    ASSERT_EQ(image.levels.size(), 4u);
    EXPECT_EQ(image.levels[0].pitch_or_size, 2u * 3u * 8u);
    EXPECT_EQ(image.levels[1].pitch_or_size, 1u * 2u * 8u);
    for (std::size_t i = 0; i < chain.size(); ++i)
        EXPECT_EQ(image.levels[i].data, dds_encode_level(DdsFormat::DXT1, chain[i])) << i;
}

TEST_F(TextureTest, ALockFailureReleasesTheNewTexture)
{
    DdsImage image;
    ASSERT_EQ(dds_parse(image, dds_build(DdsFormat::A8R8G8B8, dds_mip_chain(varied(4, 4), 0))), S_OK);
    ULONG device_refs = d3d8_ref_count(*g_d3d_device);
    d3d8_seam_fail(D3D8Call::Lock, D3DERR_INVALIDCALL, 1);
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(dds_create_texture(image, &texture, nullptr, false, D3DPOOL_MANAGED, D3DFMT_UNKNOWN),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(d3d8_ref_count(*g_d3d_device), device_refs);
}

// ---- Choosing the file -----------------------------------------------------------------------------
TEST_F(TextureTest, LooksForTheQualityVariantsInOrder)
{
    struct Case {
        const char* what;
        bool low, compressed;
        std::vector<const char*> stored; // entries besides the plain name
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"only the plain name", true, true, {}, "data\\t\\a.dds", "data\\t\\a.dds"},
        {"low compressed, packed first",
         true,
         true,
         {"t\\l\\_c_b.dds.z", "t\\l\\_c_b.dds", "t\\l\\b.dds.z"},
         "data\\t\\b.dds",
         "data\\t\\l\\_c_b.dds.z"},
        {"a plain variant before a later packed one",
         true,
         true,
         {"t\\l\\_c_c.dds", "t\\l\\c.dds.z"},
         "data\\t\\c.dds",
         "data\\t\\l\\_c_c.dds"},
        {"low before high compressed",
         true,
         true,
         {"t\\l\\d.dds", "t\\h\\_c_d.dds.z"},
         "data\\t\\d.dds",
         "data\\t\\l\\d.dds"},
        {"high compressed before high",
         true,
         true,
         {"t\\h\\_c_e.dds", "t\\h\\e.dds.z"},
         "data\\t\\e.dds",
         "data\\t\\h\\_c_e.dds"},
        {"high before the packed name",
         true,
         true,
         {"t\\h\\f.dds", "t\\f.dds.z"},
         "data\\t\\f.dds",
         "data\\t\\h\\f.dds"},
        {"the packed name before the name", true, true, {"t\\g.dds.z"}, "data\\t\\g.dds", "data\\t\\g.dds.z"},
        {"nothing stored", true, true, {}, "data\\t\\none.dds", "data\\t\\none.dds"},
        {"low resolution off",
         false,
         true,
         {"t\\l\\_c_h.dds", "t\\l\\h.dds", "t\\h\\_c_h.dds"},
         "data\\t\\h.dds",
         "data\\t\\h\\_c_h.dds"},
        {"compression off",
         true,
         false,
         {"t\\l\\_c_i.dds", "t\\h\\_c_i.dds", "t\\l\\i.dds"},
         "data\\t\\i.dds",
         "data\\t\\l\\i.dds"},
        {"both off",
         false,
         false,
         {"t\\l\\j.dds", "t\\h\\_c_j.dds", "t\\h\\j.dds.z"},
         "data\\t\\j.dds",
         "data\\t\\h\\j.dds.z"},
    };
    std::vector<ArchiveSource> files;
    for (const Case& c : cases) {
        if (std::string(c.name) != "data\\t\\none.dds") files.push_back({c.name, {1}});
        for (const char* path : c.stored)
            files.push_back({path, {1}});
    }
    mount_files(files);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_device.settings().low_reso_texture = c.low;
        m_device.settings().compressed_texture = c.compressed;
        EXPECT_EQ(tex_choose_file(c.name), c.expected);
    }
}

TEST_F(TextureTest, LoadsThePackedLowResolutionVariant)
{
    std::vector<DdsPixels> low = {varied(8, 8, 1)};
    std::vector<DdsPixels> plain = {varied(16, 16, 2)};
    mount_files({{"data\\t\\l\\_c_wall.dds.z", packed_build(dds_build(DdsFormat::DXT1, low))},
                 {"data\\t\\wall.dds", dds_build(DdsFormat::A8R8G8B8, plain)}});

    m_device.settings().low_reso_texture = 1;
    m_device.settings().compressed_texture = 1;
    IDirect3DTexture8* texture = load("data\\t\\wall.dds");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(d3d8_texture_format(*texture), D3DFMT_DXT1);
    EXPECT_EQ(read_level(*texture, 0), stored_level(DdsFormat::DXT1, D3DFMT_DXT1, low[0]));
    EXPECT_EQ(g_work_block.owner, nullptr) << "the work block was given back";
    ResrcMgr::Release(RESRC_POOL_TEXTURE, texture);

    m_device.settings().low_reso_texture = 0;
    texture = load("data\\t\\wall.dds");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(m_info.width, 16u);
    EXPECT_EQ(read_level(*texture, 0), stored_level(DdsFormat::A8R8G8B8, D3DFMT_A8R8G8B8, plain[0]));
}

TEST_F(TextureTest, TheMipmapSettingAndTheLevelCountLimitTheLevels)
{
    std::vector<DdsPixels> chain = dds_mip_chain(varied(8, 8), 0);
    mount_files({{"data\\m\\a.dds", dds_build(DdsFormat::R5G6B5, chain)},
                 {"data\\m\\b.dds", dds_build(DdsFormat::R5G6B5, chain)},
                 {"data\\m\\c.dds", dds_build(DdsFormat::R5G6B5, chain)}});
    IDirect3DTexture8* all = load("data\\m\\a.dds", 0);
    IDirect3DTexture8* one = load("data\\m\\b.dds", 1);
    m_device.settings().mipmap = 0;
    IDirect3DTexture8* mipmap_off = load("data\\m\\c.dds", 0);
    ASSERT_TRUE(all && one && mipmap_off);
    EXPECT_EQ(all->GetLevelCount(), 4u);
    EXPECT_EQ(one->GetLevelCount(), 1u);
    EXPECT_EQ(mipmap_off->GetLevelCount(), 1u);
    EXPECT_EQ(m_info.levels, 1u);
    EXPECT_EQ(read_level(*mipmap_off, 0), stored_level(DdsFormat::R5G6B5, D3DFMT_R5G6B5, chain[0]));
}

// ---- The D3DX loaders --------------------------------------------------------------------------------
TEST_F(TextureTest, DxtTheDeviceLacksIsDecompressedByD3dx)
{
    m_device.restart_without({D3DFMT_DXT1, D3DFMT_DXT3});
    m_device.settings().caps_dxt1_textures = 0;
    m_device.settings().caps_dxt3_textures = 0;
    // Colours 5:6:5 holds exactly, two per 4x4 block, so the blocks decode to them exactly.
    // DXT3 alphas are multiples of 17; the DXT1 image is opaque but for one transparent texel.
    auto colour = [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        return x < 4 ? (y < 2 ? 0xFF0000 : 0x00FF00) : (x < 6 ? 0x0000FF : 0xFFFFFF);
    };
    DdsPixels alphas = dds_pattern(8, 4, [&](std::uint32_t x, std::uint32_t y) {
        return (x == 7 && y == 3 ? 0 : 0x11u * (x + 2 * y)) << 24 | colour(x, y);
    });
    DdsPixels punched = dds_pattern(8, 4, [&](std::uint32_t x, std::uint32_t y) {
        return x == 7 && y == 3 ? 0x00FFFFFFu : 0xFF000000u | colour(x, y);
    });
    mount_files(
        {{"data\\d\\one.dds.z", packed_build(dds_build(DdsFormat::DXT1, std::vector<DdsPixels>{punched}))},
         {"data\\d\\three.dds.z", packed_build(dds_build(DdsFormat::DXT3, std::vector<DdsPixels>{alphas}))}});

    for (bool dxt3 : {false, true}) {
        SCOPED_TRACE(dxt3 ? "DXT3" : "DXT1");
        IDirect3DTexture8* texture = load(dxt3 ? "data\\d\\three.dds" : "data\\d\\one.dds", 1);
        ASSERT_NE(texture, nullptr) << std::hex << g_resrc_last_result;
        EXPECT_EQ(d3d8_texture_format(*texture), D3DFMT_A8R8G8B8);
        EXPECT_EQ(m_info.source_width, 8u);
        Bytes bytes = read_level(*texture, 0);
        for (std::size_t p = 0; p < alphas.argb.size(); ++p) {
            std::uint32_t expected = dxt3 ? alphas.argb[p] : punched.argb[p] >> 24 ? punched.argb[p] : 0;
            EXPECT_EQ(argb_of(&bytes[4 * p]), expected) << p;
        }
    }
}

TEST_F(TextureTest, ImageFilesOnDiskLoadThroughD3dx)
{
    TempFolder folder;
    DdsPixels image = dds_pattern(4, 2, [](std::uint32_t x, std::uint32_t y) {
        return (0x40u + 0x30u * x) << 24 | (0x10u * x) << 16 | (0x80u * y) << 8 | (0x20u + 0x11u * (x + y));
    });
    tools_write_file(folder.path() / "Pic.png", image_build_png(4, 2, image.argb, true));
    tools_write_file(folder.path() / "pic.bmp", image_build_bmp(4, 2, image.argb));
    std::vector<DdsPixels> dds_levels = dds_mip_chain(varied(4, 4), 0);
    tools_write_file(folder.path() / "loose.dds", dds_build(DdsFormat::DXT1, dds_levels));

    // Any case of the file name finds it on disk.
    IDirect3DTexture8* png = load(folder.windows("PIC.PNG").c_str());
    ASSERT_NE(png, nullptr) << std::hex << g_resrc_last_result;
    EXPECT_EQ(d3d8_texture_format(*png), D3DFMT_A8R8G8B8);
    EXPECT_EQ(png->GetLevelCount(), 3u) << "the whole chain, filtered";
    Bytes top = read_level(*png, 0);
    for (std::size_t p = 0; p < image.argb.size(); ++p)
        EXPECT_EQ(argb_of(&top[4 * p]), image.argb[p]) << p;
    Bytes half = read_level(*png, 1); // 2x1: each pixel the average of a 2x2 box
    auto box = [&](std::size_t x) {
        std::uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            std::uint32_t sum = 0;
            for (std::size_t i : {x, x + 1, x + 4, x + 5})
                sum += (image.argb[i] >> shift) & 0xFF;
            out |= ((sum + 2) / 4) << shift;
        }
        return out;
    };
    EXPECT_EQ(argb_of(&half[0]), box(0));
    EXPECT_EQ(argb_of(&half[4]), box(2));

    IDirect3DTexture8* bmp = load(folder.windows("pic.bmp").c_str(), 1, D3DFMT_UNKNOWN);
    ASSERT_NE(bmp, nullptr) << std::hex << g_resrc_last_result;
    EXPECT_EQ(d3d8_texture_format(*bmp), D3DFMT_X8R8G8B8)
        << "24-bit pixels on a device without R8G8B8 textures";
    EXPECT_EQ(m_info.source_width, 4u);
    EXPECT_EQ(m_info.source_height, 2u);
    Bytes pixels = read_level(*bmp, 0);
    for (std::size_t p = 0; p < image.argb.size(); ++p)
        EXPECT_EQ(argb_of(&pixels[4 * p]), image.argb[p] | 0xFF000000) << p;

    // A DDS outside the archive: the reader finds nothing, D3DX takes the blocks as they are.
    IDirect3DTexture8* loose = load(folder.windows("loose.dds").c_str());
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(d3d8_texture_format(*loose), D3DFMT_DXT1);
    for (UINT level = 0; level < dds_levels.size(); ++level)
        EXPECT_EQ(read_level(*loose, level), stored_level(DdsFormat::DXT1, D3DFMT_DXT1, dds_levels[level]));

    EXPECT_EQ(load(folder.windows("absent.png").c_str()), nullptr);
    EXPECT_EQ(g_resrc_last_result, D3DXERR_INVALIDDATA);
    tools_write_file(folder.path() / "text.png",
                     Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    EXPECT_EQ(load(folder.windows("text.png").c_str()), nullptr);
    EXPECT_EQ(g_resrc_last_result, D3DXERR_INVALIDDATA);
}

TEST_F(TextureTest, ADefaultPoolTextureIsLoadedAgainAfterAReset)
{
    std::vector<DdsPixels> chain = {varied(8, 8)};
    mount_files({{"data\\r\\target.dds.z", packed_build(dds_build(DdsFormat::A8R8G8B8, chain))}});
    ResrcLoadParams params;
    params.texture = {1, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT};
    ResourceHandle handle = 0;
    for (int i = 0; i < 3; ++i)
        handle = ResrcMgr::Load("data\\r\\target.dds", params, RESRC_POOL_TEXTURE, 0);
    ASSERT_NE(handle, 0u) << std::hex << g_resrc_last_result;
    EXPECT_EQ(ResrcMgr::Get(handle)->texture_info.pool, std::uint32_t(D3DPOOL_DEFAULT));

    ResrcMgr::ReleaseDeviceObjects();
    D3DPRESENT_PARAMETERS present = d3d8_present_parameters(*g_d3d_device);
    ASSERT_EQ(g_d3d_device->Reset(&present), D3D_OK);
    ResrcMgr::RestoreDeviceObjects();
    ASSERT_EQ(g_resrc_last_result, S_OK);
    IDirect3DTexture8* texture = ResrcMgr::Get(handle)->texture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(d3d8_ref_count(*texture), 3u);
    EXPECT_EQ(d3d8_resource_pool(d3d8_texture_level(*texture, 0)), D3DPOOL_DEFAULT);
    Bytes expected = stored_level(DdsFormat::A8R8G8B8, D3DFMT_A8R8G8B8, chain[0]);
    EXPECT_EQ(Bytes(d3d8_surface_bits(d3d8_texture_level(*texture, 0)),
                    d3d8_surface_bits(d3d8_texture_level(*texture, 0)) + expected.size()),
              expected);
}
