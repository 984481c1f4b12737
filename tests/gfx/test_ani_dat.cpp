#include "gfx/ani_dat.h"

#include "core/errors.h"
#include "core/sys.h"
#include "core/vfs.h"
#include "lib/aia_writer.h"
#include "lib/archive_writer.h"
#include "lib/packed_writer.h"
#include "platform/impl/d3d8_seams.h"
#include "scenegraph/texture_device.h"
#include "temp_folder.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;
using Pixels = std::vector<std::uint32_t>;

// A4R4G4B4 of a colour: the top four bits of each channel.
std::uint32_t to_4444(std::uint32_t argb)
{
    return (argb >> 28) << 12 | (argb >> 20 & 0xF) << 8 | (argb >> 12 & 0xF) << 4 | (argb >> 4 & 0xF);
}

// Transparent margins and holes, opaque pixels and pixels of partial alpha, every colour differing.
Pixels sample_picture(int width, int height)
{
    Pixels pixels(std::size_t(width) * height, 0);
    for (int y = 1; y < height - 1; ++y)
        for (int x = 2; x < width - 1; ++x) {
            if ((x + y) % 5 == 0) continue;
            const std::uint32_t colour =
                (std::uint32_t(x) * 0x2B1F07 + std::uint32_t(y) * 0x0731A9) & 0xFFFFFF;
            const std::uint32_t alpha = (x * y) % 3 == 0 ? 0x30 + 0x11 * x : 0xFF;
            pixels[std::size_t(y) * width + x] = alpha << 24 | colour;
        }
    return pixels;
}

AiaFrame frame_of(Pixels pixels)
{
    AiaFrame frame;
    frame.pixels = std::move(pixels);
    return frame;
}

// The canvas with one rectangle filled with a colour.
Pixels filled(int width, int height, AiaRect rect, std::uint32_t colour)
{
    Pixels pixels(std::size_t(width) * height, 0);
    for (int y = rect.y0; y < rect.y1; ++y)
        for (int x = rect.x0; x < rect.x1; ++x)
            pixels[std::size_t(y) * width + x] = colour;
    return pixels;
}

AiaArchive single_entry(std::uint16_t width, std::uint16_t height, std::vector<AiaFrame> frames)
{
    AiaArchive archive{width, height, 1.0f, false, {}};
    AiaEntry entry;
    entry.frames_per_direction = static_cast<std::uint32_t>(frames.size());
    entry.frames = std::move(frames);
    archive.entries.push_back(std::move(entry));
    return archive;
}

// An entry of empty frames, for the frame index.
AiaEntry empty_entry(std::uint32_t key, std::uint32_t directions, std::uint32_t frames)
{
    AiaEntry entry{key, directions, frames, {}};
    entry.frames.resize(std::size_t(std::max(directions, 1u)) * std::max(frames, 1u));
    return entry;
}

// An image of its own memory, its rows `pitch` bytes apart.
template <typename Image> void allocate(Image& image, int width, int height, int pitch)
{
    image.owned_block = std::make_unique<std::uint8_t[]>(std::size_t(pitch) * height);
    image.pixels = image.owned_block.get();
    image.pitch = pitch;
    image.width = width;
    image.height = height;
}

// The archive's frame record shown in the texture.
HRESULT show(AniFrameTexture& texture, const AniImageSet& set, std::uint32_t record)
{
    const AniFrame& frame = set.frames[record];
    return ani_texture_upload_frame(texture, ani_dat_palette(set, frame.palette),
                                    ani_dat_frame_rle(set, frame), frame);
}

int bytes_per_pixel(const AniFrameTexture& texture)
{
    return texture.format == D3DFMT_A8R8G8B8 ? 4 : 2;
}

// The texture's pixels row by row (16-bit ones widened), read back through LockRect. The bytes
// that pad a row out to the pitch must stay untouched.
Pixels read_pixels(const AniFrameTexture& texture)
{
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture.texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const int bytes = bytes_per_pixel(texture);
    const auto* bits = static_cast<const std::uint8_t*>(locked.pBits);
    Pixels pixels;
    for (int y = 0; y < texture.height; ++y) {
        const std::uint8_t* row = bits + std::ptrdiff_t(y) * locked.Pitch;
        for (int x = 0; x < texture.width; ++x) {
            std::uint32_t value = 0;
            std::memcpy(&value, row + x * bytes, bytes);
            pixels.push_back(value);
        }
        for (int i = texture.width * bytes; i < locked.Pitch; ++i)
            EXPECT_EQ(row[i], 0) << "padding of row " << y << " written";
    }
    texture.texture->UnlockRect(0);
    return pixels;
}

void poke(const AniFrameTexture& texture, int x, int y, std::uint32_t value)
{
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture.texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + std::ptrdiff_t(y) * locked.Pitch +
                    x * bytes_per_pixel(texture),
                &value, bytes_per_pixel(texture));
    texture.texture->UnlockRect(0);
}

// A frame texture that goes back to the device however the test ends.
struct ScopedTexture {
    AniFrameTexture record{};
    ~ScopedTexture() { ani_texture_release(record); }
};

// A device with 32-bit textures, the work block lent to the loader, the archive files a test
// mounts and a working folder of its own (the low-resolution probe looks there).
class AniDatTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        std::filesystem::current_path(m_work.path());
    }
    void TearDown() override
    {
        ani_dat_release_all_images();
        vfs_close_all();
        EXPECT_EQ(g_work_block.owner, nullptr) << "the work block was given back";
        g_work_block = m_saved_block;
    }

    void mount(const std::vector<ArchiveSource>& files)
    {
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }
    AniImageSet& load(int number, const AiaArchive& archive)
    {
        mount({{aia_archive_path(number), aia_packed(archive)}});
        return ani_dat_get_images(number);
    }
    // A texture of the archive's canvas in the format the device takes, its rows padded.
    void create(ScopedTexture& texture, const AniImageSet& set, UINT padding)
    {
        d3d8_seam_pad_texture_pitch(padding);
        ASSERT_EQ(ani_texture_create(texture.record, set.header->canvas_width, set.header->canvas_height,
                                     set.header->scale, ani_texture_format()),
                  S_OK);
        d3d8_seam_pad_texture_pitch(0);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture.record.texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        texture.record.texture->UnlockRect(0);
        EXPECT_GE(UINT(locked.Pitch), set.header->canvas_width * bytes_per_pixel(texture.record) + padding);
    }

    TextureDevice m_device;
    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    WorkingDirectoryGuard m_directory;
    TempFolder m_data;
    TempFolder m_work;
};

// ---- Decoding into textures ----------------------------------------------------------------------

struct DecodeCase {
    const char* name;
    bool textures_32bit;
    UINT padding;
};

void PrintTo(const DecodeCase& c, std::ostream* out)
{
    *out << c.name;
}

class AniDatDecode : public AniDatTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(AniDatDecode, FramesComeBackExactlyThroughThePitch)
{
    g_tex_a8r8g8b8_ok = GetParam().textures_32bit;
    const Pixels picture = sample_picture(13, 7);
    AniImageSet& set = load(3, single_entry(13, 7, {frame_of(picture)}));
    ScopedTexture texture;
    create(texture, set, GetParam().padding);
    ASSERT_EQ(show(texture.record, set, 0), S_OK);

    Pixels expected = picture;
    if (!GetParam().textures_32bit)
        for (std::uint32_t& pixel : expected)
            pixel = pixel ? to_4444(pixel) : 0;
    EXPECT_EQ(read_pixels(texture.record), expected);
    const AniFrame& frame = set.frames[0];
    EXPECT_EQ(texture.record.x0, frame.x0);
    EXPECT_EQ(texture.record.y0, frame.y0);
    EXPECT_EQ(texture.record.x1, frame.x1);
    EXPECT_EQ(texture.record.y1, frame.y1);
}

INSTANTIATE_TEST_SUITE_P(Formats, AniDatDecode,
                         ::testing::Values(DecodeCase{"A8R8G8B8", true, 0},
                                           DecodeCase{"A8R8G8B8Padded", true, 12},
                                           DecodeCase{"A4R4G4B4", false, 0},
                                           DecodeCase{"A4R4G4B4Padded", false, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

// The alpha of a pixel from an alpha run: the palette's alpha ANDed with the stored one in 32
// bits; in 16 bits the stored alpha's top nibble replaces the palette's.
TEST_F(AniDatTest, AlphaRunsAndTheirAlphaOnBothFormats)
{
    struct Case {
        std::uint32_t colour;
        std::uint8_t run_alpha;
        std::uint32_t expected32;
        std::uint16_t expected16;
    } cases[] = {
        {0x7F123456, 0xF0, 0x70123456, 0xF135},
        {0xC0ABCDEF, 0x3F, 0x00ABCDEF, 0x3ACE},
        {0xFF808080, 0x9C, 0x9C808080, 0x9888},
        {0x01FFFFFF, 0xFF, 0x01FFFFFF, 0xFFFF},
    };
    for (bool textures_32bit : {true, false}) {
        SCOPED_TRACE(textures_32bit ? "32-bit" : "16-bit");
        g_tex_a8r8g8b8_ok = textures_32bit;
        AiaFrame frame;
        for (const Case& c : cases) {
            frame.pixels.push_back(c.colour);
            frame.run_alpha.push_back(c.run_alpha);
        }
        AniImageSet& set = load(4, single_entry(std::size(cases), 1, {frame}));
        ScopedTexture texture;
        create(texture, set, 4);
        ASSERT_EQ(show(texture.record, set, 0), S_OK);
        const Pixels pixels = read_pixels(texture.record);
        for (std::size_t i = 0; i < std::size(cases); ++i)
            EXPECT_EQ(pixels[i], textures_32bit ? cases[i].expected32 : cases[i].expected16) << i;
        ani_dat_release_all_images();
    }
}

// Without 32-bit textures every palette colour becomes 0xF000 | R4 << 8 | G4 << 4 | B4 at load.
TEST_F(AniDatTest, PalettesTurnA4R4G4B4WithoutThirtyTwoBitTextures)
{
    const std::uint32_t colours[] = {0x12345678, 0x00FFFFFF, 0xFF000000, 0x80F0E0D0, 0x0000000F};
    const std::uint32_t expected[] = {0xF357, 0xFFFF, 0xF000, 0xFFED, 0xF000};
    AiaFrame frame;
    frame.pixels.assign(std::begin(colours), std::end(colours));
    frame.run_alpha.assign(std::size(colours), 0xFF);
    AiaArchive archive = single_entry(std::size(colours), 1, {frame});
    const AiaImage image = aia_build(archive);

    g_tex_a8r8g8b8_ok = false;
    AniImageSet& set = load(5, archive);
    EXPECT_EQ(ani_texture_format(), D3DFMT_A4R4G4B4);
    const std::uint32_t* palette = ani_dat_palette(set, 0);
    ASSERT_NE(palette, nullptr);
    for (std::size_t i = 0; i < AIA_PALETTE_COLOURS; ++i) {
        const std::uint32_t stored = image.palettes[0][i];
        const auto* found = std::find(std::begin(colours), std::end(colours), stored);
        const std::uint32_t want =
            found != std::end(colours) ? expected[found - std::begin(colours)] : 0xF000;
        EXPECT_EQ(palette[i], want) << std::hex << stored;
    }
    EXPECT_EQ(ani_dat_palette(set, 1), nullptr) << "the archive has one palette";
}

// Two frames of an 8 x 8 canvas, each a filled rectangle, the two overlapping.
constexpr AiaRect k_first{1, 1, 4, 4}, k_second{3, 3, 7, 6};
constexpr std::uint32_t k_first_colour = 0xFF112233, k_second_colour = 0xFF445566;

Pixels first_frame()
{
    return filled(8, 8, k_first, k_first_colour);
}

Pixels second_frame()
{
    return filled(8, 8, k_second, k_second_colour);
}

AiaArchive two_frames()
{
    return single_entry(8, 8, {frame_of(first_frame()), frame_of(second_frame())});
}

// The first frame clears the whole canvas; after that only the last frame's rectangle is cleared.
TEST_F(AniDatTest, OnlyThePreviousRectangleIsCleared)
{
    AniImageSet& set = load(6, two_frames());
    ScopedTexture texture;
    create(texture, set, 8);
    poke(texture.record, 0, 7, 0xDEADBEEF);
    ASSERT_EQ(show(texture.record, set, 0), S_OK);
    EXPECT_EQ(read_pixels(texture.record), first_frame()) << "the canvas was cleared first";

    poke(texture.record, 7, 0, 0xDEADBEEF);
    ASSERT_EQ(show(texture.record, set, 1), S_OK);
    Pixels expected = second_frame();
    expected[7] = 0xDEADBEEF;
    EXPECT_EQ(read_pixels(texture.record), expected);
}

TEST_F(AniDatTest, AFailedLockLeavesTheTextureAsItWas)
{
    AniImageSet& set = load(7, two_frames());
    ScopedTexture texture;
    create(texture, set, 0);
    ASSERT_EQ(show(texture.record, set, 0), S_OK);

    d3d8_seam_fail(D3D8Call::Lock, D3DERR_INVALIDCALL);
    EXPECT_EQ(show(texture.record, set, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(read_pixels(texture.record), first_frame());
    EXPECT_EQ(texture.record.x1, k_first.x1) << "the last rectangle is still the shown frame's";

    ASSERT_EQ(show(texture.record, set, 1), S_OK);
    EXPECT_EQ(read_pixels(texture.record), second_frame());
}

TEST_F(AniDatTest, TexturesTakeTheCanvasAndReplaceTheirOldOne)
{
    ScopedTexture texture;
    ASSERT_EQ(ani_texture_create(texture.record, 20, 12, 0.5f, D3DFMT_A8R8G8B8), S_OK);
    IDirect3DTexture8* first = texture.record.texture;
    ASSERT_EQ(ani_texture_create(texture.record, 30, 16, 0.25f, D3DFMT_A4R4G4B4), S_OK);
    EXPECT_NE(texture.record.texture, first);
    D3DSURFACE_DESC desc{};
    texture.record.texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(texture.record.texture->GetLevelCount(), 1u);
    EXPECT_EQ(desc.Width, 30u);
    EXPECT_EQ(desc.Height, 16u);
    EXPECT_EQ(desc.Format, D3DFMT_A4R4G4B4);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(desc.Usage, 0u);
    const AniFrameTexture& t = texture.record;
    EXPECT_EQ(t.width, 30);
    EXPECT_EQ(t.height, 16);
    EXPECT_FLOAT_EQ(t.scale, 0.25f);
    EXPECT_FLOAT_EQ(t.scaled_width, 7.5f);
    EXPECT_FLOAT_EQ(t.scaled_height, 4.0f);
    EXPECT_EQ(t.format, D3DFMT_A4R4G4B4);
    EXPECT_TRUE(t.x0 == 0 && t.y0 == 0 && t.x1 == 30 && t.y1 == 16) << "the whole canvas";

    d3d8_seam_fail(D3D8Call::CreateTexture, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(ani_texture_create(texture.record, 8, 8, 1.0f, D3DFMT_A8R8G8B8), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(texture.record.texture, nullptr) << "the old texture went back";
    // The device's leak check at the end proves the replaced textures were released.
}

// ---- The decoders on their own -------------------------------------------------------------------

// Palette colour i: opaque, its three channels i.
std::vector<std::uint32_t> grey_palette()
{
    std::vector<std::uint32_t> palette(256);
    for (std::uint32_t i = 0; i < 256; ++i)
        palette[i] = 0xFF000000 | i * 0x010101;
    return palette;
}

constexpr std::uint32_t k_guard = 0xA5A5A5A5;

// Decodes into a view framed by a guard pixel on every side; the frame must stay untouched.
Pixels decode32(int width, int height, const std::vector<std::uint8_t>& rle, const std::uint32_t* palette)
{
    Image32 image;
    const int pitch = (width + 2) * 4;
    allocate(image, width + 2, height + 2, pitch);
    for (std::size_t i = 0; i < std::size_t(width + 2) * (height + 2); ++i)
        std::memcpy(image.pixels + 4 * i, &k_guard, 4);
    for (int y = 1; y <= height; ++y)
        std::memset(image.pixels + y * pitch + 4, 0, std::size_t(width) * 4);
    Image32 view;
    view.pixels = image.pixels + pitch + 4;
    view.pitch = pitch;
    view.width = width;
    view.height = height;
    ani_rle_decode32(view, palette, rle);

    Pixels inside;
    for (int y = 0; y < height + 2; ++y)
        for (int x = 0; x < width + 2; ++x) {
            std::uint32_t value;
            std::memcpy(&value, image.pixels + y * pitch + x * 4, 4);
            const bool frame = x == 0 || y == 0 || x == width + 1 || y == height + 1;
            if (frame)
                EXPECT_EQ(value, k_guard) << "written outside the view at " << x << "," << y;
            else
                inside.push_back(value);
        }
    return inside;
}

std::vector<std::uint8_t> words(std::initializer_list<std::uint16_t> run_words,
                                std::initializer_list<std::uint8_t> tail = {})
{
    std::vector<std::uint8_t> rle;
    for (std::uint16_t word : run_words)
        aia_put_word(rle, word);
    rle.insert(rle.end(), tail);
    return rle;
}

std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr std::uint32_t G(std::uint32_t i)
{
    return 0xFF000000 | i * 0x010101;
}

// Runs are cut at their row's end with their data still consumed; decoding stops where the data
// does, also inside a run or a word; bits 12 and 13 of a run word do not count.
TEST(AniRleDecode, ClipsRunsToTheRowAndStopsAtTheDataEnd)
{
    const std::vector<std::uint32_t> palette = grey_palette();
    struct Case {
        const char* name;
        std::vector<std::uint8_t> rle;
        Pixels expected; // 4 x 2
    } cases[] = {
        {"literal past the row",
         words({0x8006}, {1, 2, 3, 4, 5, 6}) + words({0x8004}, {7, 8, 9, 10}),
         {G(1), G(2), G(3), G(4), G(7), G(8), G(9), G(10)}},
        {"alpha run past the row",
         words({0x4005}, {0x80, 1, 0x80, 2, 0x80, 3, 0x80, 4, 0x80, 5}) + words({0x0004}),
         {0x80010101, 0x80020202, 0x80030303, 0x80040404, 0, 0, 0, 0}},
        {"skip past the row",
         words({0x0001, 0x0007}) + words({0x8001}, {9}) + words({0x0003}),
         {0, 0, 0, 0, G(9), 0, 0, 0}},
        {"data ends inside a literal",
         words({0x8004}, {1, 2, 3, 4}) + words({0x8003}, {5, 6}),
         {G(1), G(2), G(3), G(4), G(5), G(6), 0, 0}},
        {"data ends inside a word",
         words({0x8004}, {1, 2, 3, 4}) + std::vector<std::uint8_t>{0x80},
         {G(1), G(2), G(3), G(4), 0, 0, 0, 0}},
        {"top bits of the run word",
         words({0xF002}, {1, 2}) + words({0x7002}, {0x10, 3, 0x20, 4}) + words({0xB004}, {5, 6, 7, 8}),
         {G(1), G(2), 0x10030303, 0x20040404, G(5), G(6), G(7), G(8)}},
        {"runs of length 0",
         words({0x8000, 0x4000, 0x0000, 0x8004}, {1, 2, 3, 4}) + words({0x0004}),
         {G(1), G(2), G(3), G(4), 0, 0, 0, 0}},
        {"no data", {}, Pixels(8, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode32(4, 2, c.rle, palette.data()), c.expected);
        EXPECT_EQ(decode32(4, 2, c.rle, nullptr), Pixels(8, 0)) << "a missing palette draws nothing";
    }
}

// A skip word uses all 14 bits; a literal word with its top four bits set is a literal run.
TEST(AniRleDecode, SkipOf16383AndALiteralWordWithItsTopBitsSet)
{
    const std::vector<std::uint32_t> palette = grey_palette();
    const Pixels pixels = decode32(16388, 1, words({0x3FFF, 0xF005}, {10, 11, 12, 13, 14}), palette.data());
    for (std::size_t x = 0; x < 16383; ++x)
        ASSERT_EQ(pixels[x], 0u) << x;
    EXPECT_EQ(Pixels(pixels.begin() + 16383, pixels.end()), (Pixels{G(10), G(11), G(12), G(13), G(14)}));
}

TEST(AniRleDecode, SixteenBitPixelsCopyTheirColourAndReplaceTheAlphaNibble)
{
    std::vector<std::uint32_t> palette(256, 0);
    palette[1] = 0xF357;
    palette[2] = 0xFABC;
    const std::vector<std::uint8_t> rle =
        words({0x8002}, {1, 2}) + words({0x4002}, {0x9C, 1, 0x0F, 2}) + words({0x0001, 0xC001}, {2});
    Image16 image;
    allocate(image, 7, 1, 20);
    std::memset(image.pixels, 0, 20);
    ani_rle_decode16(image, palette.data(), rle);
    std::uint16_t pixels[10];
    std::memcpy(pixels, image.pixels, sizeof pixels);
    const std::uint16_t expected[10] = {0xF357, 0xFABC, 0x9357, 0x0ABC, 0, 0xFABC, 0, 0, 0, 0};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(pixels[x], expected[x]) << x << (x >= 7 ? " (past the view)" : "");
}

// The writer splits long runs at the words' limits; the decoder reads them back whole.
TEST(AniRleDecode, LongRunsSplitAtTheirLimitsComeBackWhole)
{
    constexpr int width = 16500 + 4100 + 4100 + 20;
    AiaFrame frame;
    frame.pixels.assign(width, 0);
    for (int x = 16500; x < 16500 + 4100; ++x)
        frame.pixels[x] = 0xFF102030;
    for (int x = 16500 + 4100; x < 16500 + 8200; ++x)
        frame.pixels[x] = 0x40506070;
    frame.rect = AiaRect{0, 0, width, 1};
    const AiaImage image = aia_build(single_entry(width, 1, {frame}));

    std::vector<std::uint16_t> run_words;
    for (std::size_t pos = 0; pos < image.rle.size();) {
        const std::uint16_t word = static_cast<std::uint16_t>(image.rle[pos] << 8 | image.rle[pos + 1]);
        run_words.push_back(word);
        pos += 2 + (word & 0x8000 ? word & 0xFFF : word & 0x4000 ? 2 * (word & 0xFFF) : 0);
    }
    EXPECT_EQ(run_words, (std::vector<std::uint16_t>{0x3FFF, 117, 0x8FFF, 0x8005, 0x4FFF, 0x4005, 20}));

    const Pixels pixels = decode32(width, 1, image.rle, image.palettes[0].data());
    EXPECT_EQ(pixels, frame.pixels);
}

// A layer goes into the current palette while its colours fit; the next one starts a new palette.
TEST_F(AniDatTest, FramesOfManyColoursSpreadOverPalettes)
{
    std::vector<AiaFrame> frames;
    for (std::uint32_t f = 0; f < 3; ++f) {
        Pixels pixels(200);
        for (std::uint32_t i = 0; i < 200; ++i)
            pixels[i] = 0xFF000000 | (f * 1000 + i) * 0x0103;
        frames.push_back(frame_of(pixels));
    }
    AniImageSet& set = load(8, single_entry(200, 1, frames));
    EXPECT_EQ(set.header->palette_count, 3u);
    ScopedTexture texture;
    create(texture, set, 0);
    for (std::uint32_t f = 0; f < 3; ++f) {
        EXPECT_EQ(set.frames[f].palette, f);
        ASSERT_EQ(show(texture.record, set, f), S_OK);
        EXPECT_EQ(read_pixels(texture.record), frames[f].pixels) << f;
    }
}

// ---- The frame index -----------------------------------------------------------------------------

TEST_F(AniDatTest, FrameIndexFindsTheEntryWrapsDirectionsAndHoldsTheLastFrame)
{
    AiaArchive no_default{
        4, 4, 1.0f, false, {empty_entry(3, 8, 5), empty_entry(7, 0, 0), empty_entry(9, 2, 3)}};
    AiaArchive late_default{4, 4, 1.0f, false, {empty_entry(5, 1, 2), empty_entry(0, 2, 1)}};
    AiaArchive paired{4, 4, 1.0f, true, {empty_entry(4, 1, 1), empty_entry(0, 2, 3)}};
    paired.entries[1].frames[5].second = AiaLayer{};
    mount({{aia_archive_path(10), aia_packed(no_default)},
           {aia_archive_path(11), aia_packed(late_default)},
           {aia_archive_path(12), aia_packed(paired)}});
    struct Case {
        int archive;
        std::uint32_t key, direction, frame, expected;
    } cases[] = {
        {10, 3, 9, 7, 9},                              // direction 9 of 8 is 1, frame 7 of 5 is 4
        {10, 3, 2, 3, 13}, {10, 3, 0xFFFFFFFF, 0, 35}, // compared unsigned: 2^32 - 1 wraps to 7
        {10, 99, 9, 7, 9},                             // no key-0 entry: entry 0
        {10, 7, 5, 5, 40},                             // counts of 0 count as 1
        {10, 9, 1, 2, 46}, {11, 42, 1, 0, 3},          // the default entry is the key-0 one
        {11, 5, 0, 1, 1},  {12, 0, 1, 2, 2 + 2 * 5},   // paired layers: frame i is record first + 2i
        {12, 4, 3, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.archive << " key " << c.key << " dir " << c.direction << " frame " << c.frame);
        EXPECT_EQ(ani_dat_frame_index(ani_dat_get_images(c.archive), c.key, c.direction, c.frame),
                  c.expected);
    }
    const AniImageSet& set = ani_dat_get_images(12);
    EXPECT_EQ(set.header->frame_count, 14u);
    EXPECT_TRUE(set.frames[12].flags & ANI_FRAME_SECOND_LAYER) << "frame 5 has its second layer in record 13";
    EXPECT_FALSE(set.frames[10].flags & ANI_FRAME_SECOND_LAYER);
}

TEST_F(AniDatTest, PairedLayersDecodeTheirSecondRecord)
{
    AiaFrame frame = frame_of(filled(4, 4, {0, 0, 2, 2}, 0xFF00AA00));
    frame.second = AiaLayer{};
    frame.second->pixels = filled(4, 4, {1, 1, 4, 3}, 0xFFAA0000);
    AiaArchive archive = single_entry(4, 4, {frame});
    archive.paired_layers = true;
    AniImageSet& set = load(13, archive);
    ScopedTexture first, second;
    create(first, set, 0);
    create(second, set, 0);
    const std::uint32_t record = ani_dat_frame_index(set, 0, 0, 0);
    ASSERT_TRUE(set.frames[record].flags & ANI_FRAME_SECOND_LAYER);
    ASSERT_EQ(show(first.record, set, record), S_OK);
    ASSERT_EQ(show(second.record, set, record + 1), S_OK);
    EXPECT_EQ(read_pixels(first.record), filled(4, 4, {0, 0, 2, 2}, 0xFF00AA00));
    EXPECT_EQ(read_pixels(second.record), filled(4, 4, {1, 1, 4, 3}, 0xFFAA0000));
}

// ---- Loading and releasing -----------------------------------------------------------------------

AiaArchive canvas_of_width(std::uint16_t width)
{
    return single_entry(width, 2, {frame_of(Pixels(std::size_t(width) * 2, 0xFF123456))});
}

// The low-resolution variant is used when the option is on, a copy lies on disk below the
// working folder and the archive holds it; otherwise the normal archive loads.
TEST_F(AniDatTest, LowResolutionProbe)
{
    struct Case {
        const char* name;
        bool option, on_disk, in_archive;
        std::uint16_t expected_width;
    } cases[] = {
        {"all three", true, true, true, 8},
        {"option off", false, true, true, 16},
        {"nothing on disk", true, false, true, 16},
        {"only on disk", true, true, false, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ArchiveSource> files{{aia_archive_path(20), aia_packed(canvas_of_width(16))}};
        if (c.in_archive) files.push_back({aia_archive_path(20, true), aia_packed(canvas_of_width(8))});
        mount(files);
        std::filesystem::remove_all(m_work.path() / "data");
        if (c.on_disk) {
            std::filesystem::create_directories(m_work.path() / "data" / "ani" / "l");
            ASSERT_TRUE(tools_write_file(m_work.path() / "data" / "ani" / "l" / "c_020.aia.z", {}));
        }
        g_device_settings.settings.low_reso_texture = c.option;
        EXPECT_EQ(ani_dat_get_images(20).header->canvas_width, c.expected_width);
        ani_dat_release_all_images();
    }
}

// A scene change: marks cleared, the new scene requests what it uses, the rest is freed and
// loads again on its next request.
TEST_F(AniDatTest, UsedMarksDecideWhatSurvivesASceneChange)
{
    mount({{aia_archive_path(1), aia_packed(canvas_of_width(4))},
           {aia_archive_path(2), aia_packed(canvas_of_width(6))}});
    ani_dat_get_images(1);
    const std::uint8_t* kept_file = ani_dat_get_images(2).file.get();
    EXPECT_EQ(g_ani_image_sets[1].used, 1);

    ani_dat_clear_used_marks();
    EXPECT_EQ(g_ani_image_sets[1].used, 0);
    EXPECT_EQ(g_ani_image_sets[2].used, 0);
    ani_dat_get_images(2);
    ani_dat_release_unmarked_images();
    EXPECT_EQ(g_ani_image_sets[1].file.get(), nullptr);
    EXPECT_EQ(g_ani_image_sets[1].header, nullptr);
    EXPECT_EQ(g_ani_image_sets[2].file.get(), kept_file) << "kept, not loaded again";
    EXPECT_EQ(g_ani_image_sets[2].used, 1);

    EXPECT_EQ(ani_dat_get_images(1).header->canvas_width, 4) << "loads again";
    EXPECT_EQ(g_ani_image_sets[1].number, 1);
    ani_dat_release_all_images();
    for (int n : {1, 2}) {
        EXPECT_EQ(g_ani_image_sets[n].file.get(), nullptr) << n;
        EXPECT_EQ(g_ani_image_sets[n].used, 0) << n;
    }
}

TEST(AniDatNames, BaseNamesAreTheSlotNumbers)
{
    EXPECT_STREQ(ani_image_name(0), "c_000");
    EXPECT_STREQ(ani_image_name(13), "c_013");
    EXPECT_STREQ(ani_image_name(251), "c_251");
    EXPECT_STREQ(ani_script_name(101), "c_101");
    EXPECT_STREQ(ani_script_name(175), "c_175");
    EXPECT_STREQ(ani_image_name(252), "");
    EXPECT_STREQ(ani_script_name(-1), "");
}

TEST_F(AniDatTest, NumbersOutsideTheTableAndFailedLoadsAreFatal)
{
    AiaImage old_version = aia_build(canvas_of_width(4));
    old_version.header.version = 319;
    mount({{aia_archive_path(30), aia_packed(old_version)}});
    for (int number : {252, -1, 1000}) {
        const std::string text = thrown_text([&] { ani_dat_get_images(number); });
        EXPECT_THAT(text, HasSubstr("E_FAIL")) << number;
        EXPECT_THAT(text, HasSubstr("->" + std::to_string(number) + "\n")) << number;
        EXPECT_THAT(text, HasSubstr("ani_dat(453)")) << number;
    }
    std::string text = thrown_text([] { ani_dat_get_images(30); });
    EXPECT_THAT(text, HasSubstr("80ff0003h"));
    EXPECT_THAT(text, HasSubstr("->c_030\n"));
    EXPECT_THAT(text, HasSubstr("ani_dat(453)"));
    EXPECT_EQ(g_ani_image_sets[30].header, nullptr);
    EXPECT_EQ(g_ani_image_sets[30].used, 0);

    text = thrown_text([] { ani_dat_get_images(31); });
    EXPECT_THAT(text, HasSubstr("80ff0009h"));
    EXPECT_THAT(text, HasSubstr("->c_031\n"));
}

// Damaged archives are refused at load, so nothing reads outside the file or writes outside a
// texture later.
TEST_F(AniDatTest, CorruptArchivesAreRefusedAtLoad)
{
    AiaArchive archive = single_entry(
        6, 4,
        {frame_of(filled(6, 4, {1, 1, 5, 3}, 0xFF336699)), frame_of(filled(6, 4, {0, 0, 6, 4}, 0xFF996633))});
    struct Case {
        const char* name;
        std::function<void(AiaImage&)> damage;
        HRESULT expected;
    } cases[] = {
        {"sound", [](AiaImage&) {}, S_OK},
        {"version", [](AiaImage& i) { i.header.version = 0x141; }, ERR_UNMATCHED_VERSION},
        {"frame count past the end", [](AiaImage& i) { i.header.frame_count = 1000; }, ERR_BROKEN_DATA},
        {"palette count past the end", [](AiaImage& i) { i.header.palette_count = 0x01000000; },
         ERR_BROKEN_DATA},
        {"entry count past the end", [](AiaImage& i) { i.header.entry_count = 0xFFFFFFFF; }, ERR_BROKEN_DATA},
        {"no entry", [](AiaImage& i) { i.header.entry_count = 0; }, ERR_BROKEN_DATA},
        {"entry past the records", [](AiaImage& i) { i.entries[0].first_frame = 1; }, ERR_BROKEN_DATA},
        {"entry of huge counts",
         [](AiaImage& i) { i.entries[0].direction_count = i.entries[0].frames_per_direction = 0x80000000; },
         ERR_BROKEN_DATA},
        {"paired entry of one record too many", [](AiaImage& i) { i.header.flags = AIA_PAIRED_LAYERS; },
         ERR_BROKEN_DATA},
        {"rectangle past the canvas", [](AiaImage& i) { i.frames[1].rect.x1 = 7; }, ERR_BROKEN_DATA},
        {"rectangle below the canvas", [](AiaImage& i) { i.frames[0].rect.y1 = 5; }, ERR_BROKEN_DATA},
        {"rectangle turned over", [](AiaImage& i) { i.frames[0].rect.x0 = 5, i.frames[0].rect.x1 = 2; },
         ERR_BROKEN_DATA},
        {"palette the archive lacks", [](AiaImage& i) { i.frames[1].palette = 1; }, ERR_BROKEN_DATA},
        {"RLE offset past the data",
         [](AiaImage& i) { i.frames[1].rle_offset = std::uint32_t(i.rle.size()); }, ERR_BROKEN_DATA},
        {"second layer past the last record", [](AiaImage& i) { i.frames[1].flags = AIA_SECOND_LAYER; },
         ERR_BROKEN_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AiaImage image = aia_build(archive);
        c.damage(image);
        mount({{aia_archive_path(40), aia_packed(image)}});
        AniImageSet& slot = g_ani_image_sets[40];
        EXPECT_EQ(ani_dat_load_images(slot, 40), c.expected);
        EXPECT_EQ(slot.header != nullptr, c.expected == S_OK) << "only a sound file is attached";
        EXPECT_EQ(g_work_block.owner, nullptr);
        ani_dat_release_all_images();
    }
    std::vector<std::uint8_t> bytes = aia_bytes(aia_build(archive));
    bytes.resize(AIA_HEADER_SIZE - 1);
    mount({{aia_archive_path(40), packed_build(bytes)}});
    EXPECT_EQ(ani_dat_load_images(g_ani_image_sets[40], 40), ERR_BROKEN_DATA)
        << "a file shorter than its header";
}

// What the load checks cannot see: a row whose runs are longer than the rectangle, and data that
// ends before the rows do. The texture keeps its bounds.
TEST_F(AniDatTest, RunsPastTheirRowAndShortDataStayInsideTheTexture)
{
    AiaImage image = aia_build(single_entry(6, 4, {frame_of(filled(6, 4, {2, 1, 4, 3}, 0xFF808080))}));
    const std::uint8_t colour = 0;
    image.rle = words({0x8009}, {colour, colour, colour, colour, colour, colour, colour, colour, colour}) +
                words({0x4003}, {0xFF, colour});
    mount({{aia_archive_path(41), aia_packed(image)}});
    AniImageSet& set = ani_dat_get_images(41);
    for (UINT padding : {0u, 8u}) {
        ScopedTexture texture;
        create(texture, set, padding);
        ASSERT_EQ(show(texture.record, set, 0), S_OK);
        Pixels expected(24, 0);
        expected[1 * 6 + 2] = expected[1 * 6 + 3] = expected[2 * 6 + 2] = 0xFF808080;
        EXPECT_EQ(read_pixels(texture.record), expected) << padding;
    }
}

} // namespace
