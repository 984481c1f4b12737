// The game's data tables ("data\misc\*.dat") and the scene list ("data\map\scenelist.sl") as
// they are before packing. A table: two words the game does not check, the record size, the
// record count, then the records. The scene list: a version, the count, then 232-byte records
// holding the scene id, the reverb and music bytes, the folder path, the title, a second text
// and the region-map position. The full records below write every field the game reads; the
// bytes between stay zero.
#pragma once

#include <array>
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

// Text fields are written into their bytes: a text as long as its field leaves no terminator.
struct CastRecord {
    std::string name{};         // 16 bytes
    std::string display_name{}; // 32 bytes
    float hit_radius = 0, body_radius = 0, foot_height = 0, shadow_size = 0, view_radius = 0;
    float hover_height = 0, walk_speed = 0, second_speed = 0, jump_speed = 0, hit_height = 0;
    float hit_half_height = 0;
    std::int32_t hit_cylinder = 0, cast_number = 0, behaviour_kind = 0, script_set = 0;
    std::int32_t spawn_type = 0, live_count = 0, hit_points = 0;
};

struct EnemyRecord {
    float fourth_per_level = 0, fourth_base = 0;
    std::array<float, 4> resistances{};
    std::uint8_t status_byte = 0;
    std::array<std::int32_t, 8> drop_items{-1, -1, -1, -1, -1, -1, -1, -1};
    std::array<float, 8> drop_chances{};
    std::array<float, 8> move_params{};
    std::array<float, 6> hover_params{};
    float hp_scale = 50, attack_scale = 50, defence_scale = 50, gold_scale = 50, exp_scale = 50;
    std::uint32_t blood_colour = 0;
    std::int32_t default_level = 1;
};

struct ItemRecord {
    std::string name{}; // 32 bytes
    std::int32_t price = 0, value = 0, power = 0;
    std::string icon_name{};   // 24 bytes
    std::string description{}; // 108 bytes
};

struct LevelCurveValues {
    float first = 0, last = 0;
};

struct GameRecord {
    std::int8_t start_level = 1;
    float fourth_factor = 0, fourth_addend = 0, exp_divisor_base = 0, exp_bonus_base = 0;
    LevelCurveValues enemy_hp, enemy_attack, enemy_defence, enemy_exp;
    LevelCurveValues player_hp, player_attack, player_defence, player_exp_step;
};

struct EexRecord {
    float max_hp = 0, attack = 0, defence = 0, fourth = 0, gold = 0, exp_scale = 0;
    std::int32_t level = 1;
};

std::vector<std::uint8_t> cast_table_build(std::span<const CastRecord> records);
std::vector<std::uint8_t> enemy_table_build(std::span<const EnemyRecord> records);
std::vector<std::uint8_t> item_table_build(std::span<const ItemRecord> records);
std::vector<std::uint8_t> game_table_build(const GameRecord& record);
std::vector<std::uint8_t> eex_table_build(std::span<const EexRecord> records);

struct SceneListRecord {
    std::string path{};  // written into its 80 bytes: 80 characters leave no terminator
    std::string title{}; // written into its 48 bytes the same way
    std::uint8_t reverb = 0;
    std::uint8_t music = 0;  // 0 silence
    std::string info_text{}; // 94 bytes
    std::uint16_t map_x = 0, map_y = 0;
};

// Record i gets the scene id i.
std::vector<std::uint8_t> scene_list_build(std::span<const SceneListRecord> records,
                                           std::uint32_t version = 0);
