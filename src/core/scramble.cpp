#include "core/scramble.h"

#include "core/bytes.h"
#include "core/maths.h"

#include <algorithm>
#include <bit>

namespace {

constexpr std::uint32_t k_key_multiplier = 12085;

void keystream_apply(std::span<std::uint8_t> bytes, std::uint32_t seed, int sign)
{
    std::uint32_t state = seed;
    for (std::uint8_t& b : bytes) {
        state *= k_key_multiplier;
        b = static_cast<std::uint8_t>(b + sign * static_cast<int>((state >> 16) & 0xFF));
    }
}

} // namespace

void save_scramble(std::span<std::uint8_t> bytes, std::uint32_t seed)
{
    keystream_apply(bytes, seed, 1);
}

void save_unscramble(std::span<std::uint8_t> bytes, std::uint32_t seed)
{
    keystream_apply(bytes, seed, -1);
}

void save_unscramble_block16(std::span<const std::uint8_t, 20> block, std::span<std::uint8_t, 20> out)
{
    std::uint32_t seed = 0;
    bytes_get_u32(block, 0, seed); // the span's extent holds the word
    std::copy(block.begin() + 4, block.end(), out.begin());
    save_unscramble(out.first<16>(), seed);
    std::fill(out.begin() + 16, out.end(), 0);
}

std::uint32_t save_make_seed()
{
    for (;;) {
        std::uint32_t seed = math_rand_u32();
        int bits = std::popcount(seed);
        if (bits >= 11 && bits <= 21) return seed;
    }
}
