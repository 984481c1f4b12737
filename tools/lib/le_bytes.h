// Little-endian appends for the writers of binary file formats.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

inline void le_put_u8(std::vector<std::uint8_t>& out, std::uint8_t value)
{
    out.push_back(value);
}

inline void le_put_u16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void le_put_u32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline void le_put_f32(std::vector<std::uint8_t>& out, float value)
{
    le_put_u32(out, std::bit_cast<std::uint32_t>(value));
}

inline void le_put_i32(std::vector<std::uint8_t>& out, std::int32_t value)
{
    le_put_u32(out, static_cast<std::uint32_t>(value));
}

inline void le_put_vec3(std::vector<std::uint8_t>& out, const std::array<float, 3>& value)
{
    for (float f : value)
        le_put_f32(out, f);
}

inline void le_put_zeros(std::vector<std::uint8_t>& out, std::size_t count)
{
    out.insert(out.end(), count, 0);
}

// Overwrites four bytes at the offset, for fixtures that damage a written image.
inline void le_patch_u32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}
