#include "core/image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Gives the image an owned block of the size and a pitch that may be wider than a row.
void allocate(ImageHandler& image, std::int32_t width, std::int32_t height, std::int32_t pitch)
{
    image.owned_block = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(pitch) * height);
    image.pixels = image.owned_block.get();
    image.pitch = pitch;
    image.width = width;
    image.height = height;
}

std::uint32_t get32(const Image32& image, int x, int y)
{
    std::uint32_t v;
    std::memcpy(&v, image.pixels + y * image.pitch + x * 4, 4);
    return v;
}

void set32(Image32& image, int x, int y, std::uint32_t v)
{
    std::memcpy(image.pixels + y * image.pitch + x * 4, &v, 4);
}

std::uint16_t get16(const Image16& image, int x, int y)
{
    std::uint16_t v;
    std::memcpy(&v, image.pixels + y * image.pitch + x * 2, 2);
    return v;
}

void set16(Image16& image, int x, int y, std::uint16_t v)
{
    std::memcpy(image.pixels + y * image.pitch + x * 2, &v, 2);
}

// Every pixel holds its own coordinates, so a copy shows where it came from.
void fill_coordinates(Image32& image)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            set32(image, x, y, 0xFF000000u | (y << 8) | x);
}

void fill32(Image32& image, std::uint32_t value)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            set32(image, x, y, value);
}

bool rect_eq(const Rect& a, const Rect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

TEST(Image, PixelSizesAndFree)
{
    Image8 i8;
    Image16 i16;
    Image32 i32;
    EXPECT_EQ(i8.GetBytesPerPixel(), 1);
    EXPECT_EQ(i16.GetBytesPerPixel(), 2);
    EXPECT_EQ(i32.GetBytesPerPixel(), 4);

    allocate(i32, 4, 3, 20);
    ImageHandler& handler = i32;
    handler.Free();
    EXPECT_EQ(i32.pixels, nullptr);
    EXPECT_EQ(i32.owned_block, nullptr);
    EXPECT_EQ(i32.pitch, 0);
    EXPECT_EQ(i32.width, 0);
    EXPECT_EQ(i32.height, 0);

    // Borrowed pixels are left alone.
    std::uint8_t borrowed[16] = {};
    i8.pixels = borrowed;
    i8.pitch = 4;
    i8.width = 4;
    i8.height = 4;
    i8.Free();
    EXPECT_EQ(i8.pixels, nullptr);
}

TEST(Image, ClipRectMovesTheCompanionWithTheClippedSides)
{
    struct Case {
        const char* what;
        Rect rect;
        bool with_bounds;
        Rect bounds, companion;
        bool remains;
        Rect clipped, moved;
        std::int32_t width, height;
    };
    // clang-format off
    const Case cases[] = {
        // what                    rect               bounds?  bounds        companion          remains  clipped           companion after   w   h
        {"clipped on all sides", {-5, -5, 10, 10}, true,  {0, 0, 8, 8}, {0, 0, 15, 15},    true,  {0, 0, 8, 8},     {5, 5, 13, 13},   8,  8},
        {"inside",               {1, 2, 3, 4},     true,  {0, 0, 8, 8}, {10, 10, 12, 12},  true,  {1, 2, 3, 4},     {10, 10, 12, 12}, 2,  2},
        {"no bounds",            {-5, -5, 10, 10}, false, {},           {0, 0, 15, 15},    true,  {-5, -5, 10, 10}, {0, 0, 15, 15},   15, 15},
        {"outside",              {9, 0, 12, 4},    true,  {0, 0, 8, 8}, {0, 0, 3, 4},      false, {9, 0, 8, 4},     {0, 0, -1, 4},    -1, 4},
        {"empty",                {3, 0, 3, 10},    true,  {0, 0, 8, 8}, {0, 0, 0, 10},     false, {3, 0, 3, 8},     {0, 0, 0, 8},     0,  8},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rect rect = c.rect;
        Rect companion = c.companion;
        std::int32_t width = 99, height = 99;
        EXPECT_EQ(image_clip_rect(rect, c.with_bounds ? &c.bounds : nullptr, width, height, &companion),
                  c.remains);
        EXPECT_TRUE(rect_eq(rect, c.clipped));
        EXPECT_TRUE(rect_eq(companion, c.moved));
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
    }
    Rect rect{-1, -1, 2, 2};
    const Rect bounds{0, 0, 8, 8};
    std::int32_t width, height;
    EXPECT_TRUE(image_clip_rect(rect, &bounds, width, height, nullptr));
    EXPECT_EQ(width, 2);
}

TEST(Image, Clear32ZeroesOnlyTheRectInsideTheImage)
{
    Image32 image;
    allocate(image, 6, 4, 6 * 4 + 8); // padded rows: the padding must stay untouched
    std::memset(image.owned_block.get(), 0xAB, image.pitch * image.height);

    const Rect empty{3, 0, 3, 10};
    image_clear32(image, &empty);
    for (int i = 0; i < image.pitch * image.height; ++i)
        ASSERT_EQ(image.owned_block[i], 0xAB);

    const Rect partly_outside{4, -2, 100, 2}; // reaches past the right and the top
    image_clear32(image, &partly_outside);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            EXPECT_EQ(get32(image, x, y), (x >= 4 && y < 2) ? 0u : 0xABABABABu) << x << "," << y;
    for (int y = 0; y < image.height; ++y)
        for (int b = 24; b < image.pitch; ++b)
            EXPECT_EQ(image.pixels[y * image.pitch + b], 0xAB);

    image_clear32(image, nullptr);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            EXPECT_EQ(get32(image, x, y), 0u);
}

TEST(Image, Clear16UsesTwoBytesPerPixel)
{
    Image16 image;
    allocate(image, 5, 3, 12);
    std::memset(image.owned_block.get(), 0xFF, image.pitch * image.height);
    const Rect rect{1, 1, 3, 2};
    image_clear16(image, &rect);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            EXPECT_EQ(get16(image, x, y), (y == 1 && x >= 1 && x < 3) ? 0 : 0xFFFF) << x << "," << y;
}

TEST(Image, Blit32CopiesTheSourceRectToTheTopLeftCorner)
{
    Image32 source, destination;
    allocate(source, 8, 6, 8 * 4 + 4);
    allocate(destination, 5, 5, 5 * 4);
    fill_coordinates(source);
    fill32(destination, 0x12345678);

    const Rect rect{2, 1, 5, 4};
    image_blit32(destination, source, &rect);
    for (int y = 0; y < destination.height; ++y)
        for (int x = 0; x < destination.width; ++x) {
            std::uint32_t expected = (x < 3 && y < 3) ? (0xFF000000u | (y + 1) << 8 | (x + 2)) : 0x12345678u;
            EXPECT_EQ(get32(destination, x, y), expected) << x << "," << y;
        }
}

TEST(Image, Blit32CopiesOnlyWhatBothImagesHold)
{
    Image32 source, destination;
    allocate(source, 8, 6, 8 * 4);
    allocate(destination, 3, 2, 3 * 4);
    fill_coordinates(source);

    image_blit32(destination, source, nullptr); // the whole source is larger than the destination
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(get32(destination, x, y), 0xFF000000u | (y << 8) | x);

    fill32(destination, 0);
    const Rect beyond{6, 4, 20, 20}; // reaches past the source
    image_blit32(destination, source, &beyond);
    EXPECT_EQ(get32(destination, 0, 0), 0xFF000000u | (4 << 8) | 6);
    EXPECT_EQ(get32(destination, 1, 1), 0xFF000000u | (5 << 8) | 7);
    EXPECT_EQ(get32(destination, 2, 0), 0u); // nothing past the source's right edge

    fill32(destination, 7);
    const Rect empty{3, 0, 3, 10};
    image_blit32(destination, source, &empty);
    EXPECT_EQ(get32(destination, 0, 0), 7u);
}

TEST(Image, Blit16CopiesTheWholeSource)
{
    Image16 source, destination;
    allocate(source, 3, 2, 8);
    allocate(destination, 4, 3, 10);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            set16(source, x, y, static_cast<std::uint16_t>(0x100 * y + x + 1));
    image_blit16(destination, source);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(get16(destination, x, y), (x < 3 && y < 2) ? 0x100 * y + x + 1 : 0) << x << "," << y;

    Image16 small;
    allocate(small, 2, 1, 4);
    image_blit16(small, source); // only what fits
    EXPECT_EQ(get16(small, 0, 0), 1);
    EXPECT_EQ(get16(small, 1, 0), 2);
}

TEST(Image, ConvertsTo565)
{
    struct Case {
        std::uint32_t bgrx; // as a little-endian word: X R G B from the top
        std::uint16_t rgb565;
    };
    const Case cases[] = {
        {0x000080FF, 0x041F}, // B 0xFF, G 0x80, R 0x00
        {0x00FFFFFF, 0xFFFF}, {0x00000000, 0x0000}, {0xFFFF0000, 0xF800},
        {0x0000FF00, 0x07E0}, {0x00070307, 0x0000}, // bits below each channel's precision drop
    };
    Image32 source;
    Image16 destination;
    allocate(source, 6, 1, 24);
    allocate(destination, 6, 1, 12);
    for (int i = 0; i < 6; ++i)
        set32(source, i, 0, cases[i].bgrx);
    image_convert32_to_565(source, destination);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(get16(destination, i, 0), cases[i].rgb565) << i;
}

TEST(Image, ConvertCoversOnlyTheAreaOfBothImages)
{
    Image32 source;
    Image16 destination;
    allocate(source, 2, 2, 8);
    allocate(destination, 4, 3, 8);
    fill32(source, 0x00FFFFFF);
    std::memset(destination.owned_block.get(), 0x11, destination.pitch * destination.height);
    image_convert32_to_565(source, destination); // the destination is larger than the source
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(get16(destination, x, y), (x < 2 && y < 2) ? 0xFFFF : 0x1111) << x << "," << y;
}
