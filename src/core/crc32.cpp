#include "core/crc32.h"

std::uint32_t sys_crc32(std::size_t length, const void* data)
{
    std::uint32_t table[256];
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? 0xEDB88320 ^ (value >> 1) : value >> 1;
        table[i] = value;
    }
    std::uint32_t crc = 0xFFFFFFFF;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < length; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
