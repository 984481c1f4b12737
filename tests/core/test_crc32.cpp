#include "core/crc32.h"

#include "byte_pattern.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

TEST(Crc32, MatchesTheStandardCheckValueAndZlib)
{
    EXPECT_EQ(sys_crc32(9, "123456789"), 0xCBF43926u);
    EXPECT_EQ(sys_crc32(0, ""), 0u);
    const std::vector<std::uint8_t> bytes = pattern(7020, 3);
    EXPECT_EQ(sys_crc32(bytes.size(), bytes.data()), crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}
