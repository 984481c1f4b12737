// The CRC-32 of save slots and records. sys_crc32 belongs to the sys services of core; it has a
// header of its own so its users need not take in the start-up declarations of core/sys.h.
#pragma once

#include <cstddef>
#include <cstdint>

// The standard CRC-32 (reflected 0xEDB88320, initial and final complement), as zlib computes it.
std::uint32_t sys_crc32(std::size_t length, const void* data);
