#include "core/bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace {

constexpr std::size_t k_max = std::numeric_limits<std::size_t>::max();
constexpr std::array<std::uint8_t, 6> k_image = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};

// One field of 2 or 4 bytes at an offset of the six-byte image: whether it fits, and its value.
struct FieldCase {
    const char* name;
    int width;
    std::size_t offset;
    bool fits;
    std::uint32_t value;
};

constexpr FieldCase k_fields[] = {
    {"u32 at the start", 4, 0, true, 0x04030201},
    {"u32 ending at the end", 4, 2, true, 0x06050403},
    {"u32 one byte past", 4, 3, false, 0},
    {"u32 at the end", 4, 6, false, 0},
    {"u32 wrapping past SIZE_MAX", 4, k_max - 2, false, 0},
    {"u32 at SIZE_MAX", 4, k_max, false, 0},
    {"u16 at the start", 2, 0, true, 0x0201},
    {"u16 ending at the end", 2, 4, true, 0x0605},
    {"u16 one byte past", 2, 5, false, 0},
    {"u16 wrapping past SIZE_MAX", 2, k_max, false, 0},
};

bool get_field(const FieldCase& c, std::uint32_t& out)
{
    if (c.width == 4) return bytes_get_u32(k_image, c.offset, out);
    std::uint16_t half = 0;
    if (!bytes_get_u16(k_image, c.offset, half)) return false;
    out = half;
    return true;
}

bool put_field(const FieldCase& c, std::span<std::uint8_t> bytes)
{
    if (c.width == 4) return bytes_put_u32(bytes, c.offset, c.value);
    return bytes_put_u16(bytes, c.offset, static_cast<std::uint16_t>(c.value));
}

} // namespace

TEST(Bytes, GetsLittleEndianFieldsThatFitAndRefusesTheRest)
{
    for (const FieldCase& c : k_fields) {
        std::uint32_t out = 0xEEEEEEEE;
        EXPECT_EQ(get_field(c, out), c.fits) << c.name;
        EXPECT_EQ(out, c.fits ? c.value : 0xEEEEEEEE) << c.name;
    }
}

TEST(Bytes, PutsLittleEndianFieldsThatFitAndWritesNothingElse)
{
    for (const FieldCase& c : k_fields) {
        std::array<std::uint8_t, 6> bytes{};
        EXPECT_EQ(put_field(c, bytes), c.fits) << c.name;
        std::array<std::uint8_t, 6> expected{};
        if (c.fits)
            for (int i = 0; i < c.width; ++i)
                expected[c.offset + i] = k_image[c.offset + i];
        EXPECT_EQ(bytes, expected) << c.name;
    }
}

TEST(Bytes, SignedAndFloatFieldsKeepTheirBits)
{
    struct Case {
        std::array<std::uint8_t, 4> bytes;
        std::int32_t i32;
        float f32;
    };
    const Case cases[] = {
        {{0xFF, 0xFF, 0xFF, 0xFF}, -1, std::bit_cast<float>(0xFFFFFFFFu)},
        {{0x00, 0x00, 0x80, 0x3F}, 0x3F800000, 1.0f},
        {{0x00, 0x00, 0x00, 0x80}, std::numeric_limits<std::int32_t>::min(), -0.0f},
    };
    for (const Case& c : cases) {
        std::int32_t i32 = 0;
        float f32 = 0;
        ASSERT_TRUE(bytes_get_i32(c.bytes, 0, i32));
        ASSERT_TRUE(bytes_get_f32(c.bytes, 0, f32));
        EXPECT_EQ(i32, c.i32);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(f32), std::bit_cast<std::uint32_t>(c.f32));
        std::array<std::uint8_t, 4> from_i32{}, from_f32{};
        ASSERT_TRUE(bytes_put_i32(from_i32, 0, c.i32));
        ASSERT_TRUE(bytes_put_f32(from_f32, 0, c.f32));
        EXPECT_EQ(from_i32, c.bytes);
        EXPECT_EQ(from_f32, c.bytes);
    }
    std::array<std::uint8_t, 3> short_bytes{};
    std::int32_t i32 = 7;
    float f32 = 7;
    EXPECT_FALSE(bytes_get_i32(short_bytes, 0, i32));
    EXPECT_FALSE(bytes_get_f32(short_bytes, 0, f32));
    EXPECT_FALSE(bytes_put_i32(short_bytes, 0, -1));
    EXPECT_FALSE(bytes_put_f32(short_bytes, 0, 1.0f));
    EXPECT_EQ(i32, 7);
    EXPECT_EQ(f32, 7);
    EXPECT_EQ(short_bytes, (std::array<std::uint8_t, 3>{}));
}

TEST(ByteReader, ReadsFrontToBackAndAReadThatDoesNotFitConsumesNothing)
{
    ByteReader reader(k_image);
    std::uint16_t first = 0;
    ASSERT_TRUE(reader.Read(first));
    EXPECT_EQ(first, 0x0201);
    std::uint8_t rest[5] = {};
    EXPECT_FALSE(reader.Read(rest, 5)); // one byte past the end
    EXPECT_EQ(reader.Remaining(), 4u);
    EXPECT_FALSE(reader.Read(rest, k_max));
    EXPECT_EQ(reader.Remaining(), 4u);
    ASSERT_TRUE(reader.Read(rest, 4)); // exactly to the end
    EXPECT_EQ(std::vector<std::uint8_t>(rest, rest + 4),
              std::vector<std::uint8_t>(k_image.begin() + 2, k_image.end()));
    EXPECT_EQ(reader.Remaining(), 0u);
    EXPECT_TRUE(reader.Read(rest, 0));
    EXPECT_FALSE(reader.Read(first));
}

TEST(ByteReader, HasCountsRecordsWithoutOverflow)
{
    struct Case {
        std::uint64_t count;
        std::uint64_t size;
        bool has;
    };
    constexpr std::uint64_t huge = std::numeric_limits<std::uint64_t>::max();
    const Case cases[] = {
        {3, 2, true}, // exactly the six bytes
        {1, 6, true},
        {4, 2, false}, // one record past
        {1, 7, false},
        {0, huge, true}, // no records need no bytes
        {huge, 0, true}, // nor do empty ones
        {huge, 1, false},
        {huge, 2, false},
        {std::uint64_t{1} << 63, 2, false},       // the product wraps to 0
        {(std::uint64_t{1} << 62) + 1, 4, false}, // the product wraps to 4
    };
    const ByteReader reader(k_image);
    for (const Case& c : cases)
        EXPECT_EQ(reader.Has(c.count, c.size), c.has) << c.count << " x " << c.size;
}
