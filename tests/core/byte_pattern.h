// Bytes that differ from their neighbours, so a shifted or truncated copy never passes as equal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<std::uint8_t> pattern(std::size_t size, std::uint8_t salt)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + salt);
    return bytes;
}
