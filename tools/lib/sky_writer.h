// Writer of sky files (".sbx"): 16 bytes the game does not read, the scale (f32), the diffuse and
// specular colours of every sky vertex (ARGB), a reserved word, then six 80-byte texture names
// relative to the sky's folder. 512 bytes in all, packed and stored as "<name>.sbx.z".
//
// A test describes its sky and stores it beside its other archive files:
//   SkyFile sky;
//   sky.scale = 400.0f;
//   sky.textures = {"sky_n.dds", "sky_s.dds", "sky_e.dds", "sky_w.dds", "sky_u.dds", "sky_d.dds"};
//   archive.push_back(sky_archive_file("data\\map\\s_11\\s_1112\\sky.sbx", sky));
#pragma once

#include "lib/archive_writer.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t SKY_FILE_SIZE = 512;
constexpr std::size_t SKY_NAME_FIELD = 80;
constexpr int SKY_TEXTURE_COUNT = 6;

struct SkyFile {
    float scale = 100.0f;
    std::uint32_t diffuse = 0xFFFFFFFF;
    std::uint32_t specular = 0xFF000000;
    std::uint32_t reserved = 0;
    std::array<std::uint8_t, 16> unread{}; // the leading bytes the game skips
    // Up to 80 characters each; a name of exactly 80 fills its field without a terminator.
    std::array<std::string, SKY_TEXTURE_COUNT> textures{};
};

// The sky file of a map object: its path with the extension replaced by ".sbx" (appended when
// the last part has none): "data\map\s_11\s_1112\sky.qmo" gives "data\map\s_11\s_1112\sky.sbx".
std::string sky_file_path(std::string_view object_path);

// The 512 unpacked bytes; throws std::invalid_argument for a name longer than its field.
std::vector<std::uint8_t> sky_bytes(const SkyFile& sky);
// The packed file stored under the sky path with ".z" appended.
ArchiveSource sky_archive_file(std::string_view sky_path, const SkyFile& sky);
