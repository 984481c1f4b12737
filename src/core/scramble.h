// The program's byte keystream and the seeds for it. The save_ functions sit in core, not in the
// game's save module, because the archive index is scrambled with the same keystream.
#pragma once

#include <cstdint>
#include <span>

// Per byte the state becomes state * 12085 and the key is its bits 16-23. Scrambling adds the
// key, restoring subtracts it; seed 0 leaves the bytes as they are.
void save_scramble(std::span<std::uint8_t> bytes, std::uint32_t seed);
void save_unscramble(std::span<std::uint8_t> bytes, std::uint32_t seed);
// A little-endian seed followed by 16 scrambled bytes -> the 16 restored bytes and a zero word.
void save_unscramble_block16(std::span<const std::uint8_t, 20> block, std::span<std::uint8_t, 20> out);
// A scramble seed from the engine generator with 11 to 21 bits set (never 0).
std::uint32_t save_make_seed();
