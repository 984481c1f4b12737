// Writer of the archive pair: the index (".ni": a 16-byte header, then the entries and the
// name table, each scrambled with the archive keystream) and the data file (".na": the files'
// bytes back to back). An overlay is one more pair, named "data_us", written the same way.
// The steps are separate so tests can damage an image before it is written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

constexpr std::uint32_t ARCHIVE_KEY_SEED = 0x5A1E3C97;
constexpr std::uint32_t ARCHIVE_FLAG_INCREMENTAL = 0x1;

// One file to store: its game path ("data\misc\a.dat", any case, '/' or '\') and its bytes.
struct ArchiveSource {
    std::string path;
    std::vector<std::uint8_t> bytes;
};

// An index entry as stored, before scrambling.
struct ArchiveIndexRecord {
    std::uint32_t hash;
    std::uint32_t size;
    std::uint32_t offset; // byte offset in the pair's own data file
    std::uint32_t name_offset;
};

struct ArchiveIndexImage {
    std::uint32_t flags = 0;
    std::vector<ArchiveIndexRecord> entries; // ascending hash
    std::vector<std::uint8_t> names;         // terminated names back to back
};

struct ArchivePairImage {
    ArchiveIndexImage index;
    std::vector<std::uint8_t> data;
};

// The stored form of a game path: upper case, backslashes, no leading "DATA\".
std::string archive_entry_name(std::string_view path);
std::uint32_t archive_name_hash(std::string_view name);
// Adds the keystream of the seed to every byte.
void archive_scramble(std::span<std::uint8_t> bytes, std::uint32_t seed);

// Lays the files out; throws std::invalid_argument for a name given twice or data past 1 GiB.
ArchivePairImage archive_build(std::span<const ArchiveSource> files);
// The index file's bytes: header, then the scrambled entries and names.
std::vector<std::uint8_t> archive_index_bytes(const ArchiveIndexImage& index);
// Writes "<pair>.ni" and "<pair>.na" into the folder; false when a file cannot be written.
bool archive_write_pair(const std::filesystem::path& folder, std::string_view pair,
                        const ArchivePairImage& image);
// The main pair "data" and the overlay pair "data_us".
bool archive_write_set(const std::filesystem::path& folder, std::span<const ArchiveSource> main_files,
                       std::span<const ArchiveSource> overlay_files);

// Writes bytes to a host file; false on failure.
bool tools_write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
