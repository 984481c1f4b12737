#include "core/scramble.h"

#include "byte_pattern.h"
#include "core/vfs.h"
#include "lib/archive_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <span>
#include <vector>

TEST(Keystream, GivesTheKnownKeyBytes)
{
    std::vector<std::uint8_t> bytes(6, 0);
    save_scramble(bytes, 1);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x00, 0xB4, 0x0C, 0x21, 0x7E, 0x91}));
    std::vector<std::uint8_t> archive(6, 0);
    save_scramble(archive, VFS_ARCHIVE_SEED);
    EXPECT_EQ(archive, (std::vector<std::uint8_t>{0x62, 0xE0, 0xD1, 0x87, 0xF9, 0x83}));
    save_unscramble(archive, VFS_ARCHIVE_SEED);
    EXPECT_EQ(archive, std::vector<std::uint8_t>(6, 0));
}

TEST(Keystream, SeedZeroLeavesBytesUnchanged)
{
    const std::vector<std::uint8_t> original = pattern(300, 5);
    std::vector<std::uint8_t> bytes = original;
    save_scramble(bytes, 0);
    EXPECT_EQ(bytes, original);
    save_unscramble(bytes, 0);
    EXPECT_EQ(bytes, original);
}

TEST(Keystream, RestoresWhatTheArchiveWriterScrambled)
{
    const std::vector<std::uint8_t> original = pattern(5000, 9);
    std::vector<std::uint8_t> bytes = original;
    archive_scramble(bytes, 0xDEADBEEF);
    EXPECT_NE(bytes, original);
    save_unscramble(bytes, 0xDEADBEEF);
    EXPECT_EQ(bytes, original);
}

TEST(Keystream, Block16RestoresSixteenBytesAndEndsWithAZeroWord)
{
    const char text[] = "SIGNATURE-TEXT16";
    for (std::uint32_t seed : {0u, 0x12345678u}) {
        std::array<std::uint8_t, 20> block{};
        for (int i = 0; i < 4; ++i)
            block[i] = static_cast<std::uint8_t>(seed >> (8 * i));
        std::memcpy(&block[4], text, 16);
        archive_scramble(std::span(block).subspan(4), seed);
        std::array<std::uint8_t, 20> out;
        out.fill(0xEE);
        save_unscramble_block16(block, out);
        EXPECT_STREQ(reinterpret_cast<const char*>(out.data()), text) << seed;
        EXPECT_EQ(out[16] | out[17] | out[18] | out[19], 0);
    }
}

TEST(SaveSeed, HasElevenToTwentyOneBitsSet)
{
    for (int i = 0; i < 2000; ++i) {
        std::uint32_t seed = save_make_seed();
        ASSERT_GE(std::popcount(seed), 11) << seed;
        ASSERT_LE(std::popcount(seed), 21) << seed;
    }
}
