// The game's data tables ("data\misc\*.dat") and the scene list ("data\map\scenelist.sl") as
// they are before packing. A table: two words the game does not check, the record size, the
// record count, then the records. The scene list: a version, the count, then 232-byte records
// holding the scene id, the folder path and the title.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr std::size_t TABLE_HEADER_SIZE = 16;
constexpr std::size_t TABLE_OFFSET_COUNT = 12;

constexpr std::size_t SCENE_LIST_OFFSET_COUNT = 4;
constexpr std::size_t SCENE_RECORD_SIZE = 232;
constexpr std::size_t SCENE_RECORD_PATH_OFFSET = 4;
constexpr std::size_t SCENE_RECORD_PATH_SIZE = 80;
constexpr std::size_t SCENE_RECORD_TITLE_OFFSET = 84;
constexpr std::size_t SCENE_RECORD_TITLE_SIZE = 48;

// Each record is cut or padded with zeros to the record size; the count is the records'.
std::vector<std::uint8_t> table_build(std::uint32_t record_size,
                                      std::span<const std::vector<std::uint8_t>> records);

struct SceneListRecord {
    std::string path;  // written into its 80 bytes: 80 characters leave no terminator
    std::string title; // written into its 48 bytes the same way
};

// Record i gets the scene id i.
std::vector<std::uint8_t> scene_list_build(std::span<const SceneListRecord> records,
                                           std::uint32_t version = 0);
