// Writer of packed files (".z"): a word that the game does not read, the unpacked size, then
// one zlib stream (RFC 1950). Stored in the archive under the file's name with ".z" appended.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

constexpr std::size_t PACKED_HEADER_SIZE = 8;

// Throws std::runtime_error when zlib fails (it does not for valid input).
std::vector<std::uint8_t> packed_build(std::span<const std::uint8_t> data);
// Rewrites the header's unpacked size, for fixtures whose header lies.
void packed_set_size(std::vector<std::uint8_t>& packed, std::uint32_t size);
bool packed_write_file(const std::filesystem::path& path, std::span<const std::uint8_t> data);
