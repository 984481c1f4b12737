// Writer of a scene's map files: "data\map\<scene path><stem><ext>.z", each packed, holding a
// 16-byte header (magic of three capitals and a zero byte at 0, version at 4, record size at 8,
// record count at 12) and the records from 16. Descriptions name the fields that matter; the
// rest get the values a plain map would have. Texts are padded with zeros: a text as long as its
// field is stored without a terminator, a longer one is refused.
//
// A test writes a scene's map beside its other archive files:
//   MapSet map{.scene_path = "s_11\\s_1112\\", .stem = "s_1112"};
//   map.objects = {{.model_path = "data\\map\\s_11\\s_1112\\room.qmo"}};
//   map.cameras = {MapCameraDesc{}};
//   map_set_archive_files(map, archive_files);
// Header faults are made on the unpacked image (`map_objects_bytes` ..., `le_patch_u32` at the
// offsets above, or a cut vector) and stored with `map_file`.
#pragma once

#include "lib/archive_writer.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using MapVec = std::array<float, 3>;

constexpr std::size_t MAP_HEADER_SIZE = 16;
constexpr std::size_t MAP_OBJECT_SIZE = 680;
constexpr std::size_t MAP_EFFECT_SIZE = 92;
constexpr std::size_t MAP_FOG_SIZE = 64;
constexpr std::size_t MAP_CAMERA_SIZE = 1040;
constexpr std::size_t MAP_CAMERA_BLOCK_SIZE = 992;
constexpr std::size_t MAP_CAMERA_POINT_SIZE = 468;
constexpr std::size_t MAP_EXIT_SIZE = 604;
constexpr std::size_t MAP_CAST_SIZE = 688;
constexpr std::size_t MAP_SBE_SIZE = 432;

// The extensions, in the order of the script commands that load them (40-46).
inline constexpr const char* MAP_EXT_OBJECTS = ".sob";
inline constexpr const char* MAP_EXT_EFFECTS = ".sef";
inline constexpr const char* MAP_EXT_FOG = ".sfo";
inline constexpr const char* MAP_EXT_CAMERAS = ".scm";
inline constexpr const char* MAP_EXT_EXITS = ".sen";
inline constexpr const char* MAP_EXT_CAST = ".sct";
inline constexpr const char* MAP_EXT_SBE = ".sbe";

// The model path that makes a save point and its light.
inline constexpr const char* MAP_SAVE_POINT_MODEL = "data\\map\\mapobj\\save_00\\save_00.qmo";

// ".sob": a placed model, or the sky box (kind 2, model_path its name).
struct MapObjectDesc {
    std::string model_path{};
    MapVec position{};
    MapVec rotation{}; // pitch, yaw, roll in radians
    MapVec scale{1.0f, 1.0f, 1.0f};
    std::string name{};
    std::int32_t kind = 0;
    std::uint32_t options = 0; // 0x4 hit shape and stats below, 0x100 title scene ...
    std::int32_t hp = 0, attack = 0, defence = 0;
    float hit_radius = 0.0f;
    MapVec hit_offset{};
    float hit_half_height = 0.0f;
    std::int32_t hit_cylinder = 0;
    std::int32_t mesh_mode = 0;
    std::string second_name{};
    std::string third_name{};
};

// ".sef": an effect placed at load.
struct MapEffectDesc {
    std::int32_t effect_id = 0;
    MapVec position{};
    MapVec rotation_degrees{};
};

// ".sfo": record 0 the default fog, the others fog regions.
struct MapFogDesc {
    MapVec centre{};
    MapVec corner1{-5.0f, -5.0f, -5.0f}; // relative to the centre
    MapVec corner2{5.0f, 5.0f, 5.0f};
    float fog_near = 20.0f;
    float fog_far = 200.0f;
    std::uint32_t colour = 0x00808080; // 0x00RRGGBB
    std::int32_t region_flag = 0;
};

// One of a camera block's two point descriptors. Modes: 0 fixed point, 1 follow the focus,
// 2 keep, 3 orbit.
struct MapCameraPoint {
    MapVec clamp_corner1{};
    MapVec clamp_corner2{};
    MapVec clamp_centre{};
    float clamp_heading = 0.0f;
    std::int32_t clamp = 0;
    std::int32_t mode = 1;
    float orbit_yaw = 0.0f;
    float orbit_pitch = 0.0f;
    float orbit_distance = 0.0f;
    std::int32_t orbit_flags = 0;
    MapVec fixed_point{};
};

// ".scm": a camera region. The defaults are a region's reset camera: the target follows the
// focus, the eye orbits it.
struct MapCameraDesc {
    MapCameraPoint target{.mode = 1, .fixed_point = {-17.0f, 1.0f, 1.0f}};
    MapCameraPoint eye{.mode = 3, .orbit_pitch = 0.6457718f, .orbit_distance = 34.0f};
    bool sticky = false;
    MapVec offset{};
    float view_angle = 0.31415927f;
    float blend_rate = 0.015f;
    MapVec corner1{-5.0f, -5.0f, -5.0f}; // the region box, relative to the centre
    MapVec corner2{5.0f, 5.0f, 5.0f};
    MapVec centre{};
    float heading = 0.0f;
};

// ".sen": an exit to another scene; an empty destination is skipped by the game.
struct MapExitDesc {
    std::string arrival_tag{};
    MapVec centre{};
    MapVec corner1{-1.0f, -1.0f, -1.0f}; // relative to the centre
    MapVec corner2{1.0f, 1.0f, 1.0f};
    std::string destination{}; // a scene path, "s_10\s_1010\"
    MapVec arrival_position{};
    std::int32_t arrival_facing = 0; // compass degrees
    std::int32_t box_heading = 0;    // degrees
    std::int32_t entry_value = 0;
    std::int32_t pit = 0;
    std::int32_t exit_kind = 0;
};

// ".sct": a placed character.
struct MapCastDesc {
    std::string cast_name{};
    std::int32_t facing = 0; // compass degrees
    MapVec position{};
    std::vector<MapVec> waypoints{};              // at most 8
    std::optional<std::int32_t> waypoint_count{}; // the stored count; none: waypoints.size()
    float entry_filter = 0.0f;
    std::int32_t actor_key = 0; // 0: the game chooses
    std::int16_t wander_z_min = 0, wander_x_min = 0, wander_x_max = 0, wander_z_max = 0;
    std::int32_t stand_still = 0;
};

// The unpacked images, header included. Throw std::invalid_argument for a text longer than its
// field or more than 8 waypoints.
std::vector<std::uint8_t> map_objects_bytes(std::span<const MapObjectDesc> records);
std::vector<std::uint8_t> map_effects_bytes(std::span<const MapEffectDesc> records);
std::vector<std::uint8_t> map_fog_bytes(std::span<const MapFogDesc> records);
std::vector<std::uint8_t> map_cameras_bytes(std::span<const MapCameraDesc> records);
std::vector<std::uint8_t> map_exits_bytes(std::span<const MapExitDesc> records);
std::vector<std::uint8_t> map_cast_bytes(std::span<const MapCastDesc> records);
// ".sbe" (magic "SBZ"): records of zeros; the game reads none of their fields.
std::vector<std::uint8_t> map_sbe_bytes(std::size_t count);

// The 992-byte camera block alone.
std::vector<std::uint8_t> map_camera_block(const MapCameraDesc& camera);

// "data\map\<scene path><stem><ext>" with ".z" appended, as the game opens it.
std::string map_file_path(std::string_view scene_path, std::string_view stem, std::string_view ext);
// The image packed and stored under that path.
ArchiveSource map_file(std::string_view scene_path, std::string_view stem, std::string_view ext,
                       std::span<const std::uint8_t> image);

// The records of one file, or no file at all: a default (or `{}`) list leaves the file out, a
// list given records, even none (`std::vector<R>{}`), writes it. Read like an optional vector.
template <typename Record> class MapRecords {
public:
    MapRecords() = default;
    MapRecords(std::initializer_list<Record> records) : m_records(std::vector<Record>(records)) {}
    MapRecords(std::vector<Record> records) : m_records(std::move(records)) {}

    explicit operator bool() const { return m_records.has_value(); }
    std::vector<Record>& operator*() { return m_records.value(); }
    const std::vector<Record>& operator*() const { return m_records.value(); }
    std::vector<Record>* operator->() { return &m_records.value(); }
    const std::vector<Record>* operator->() const { return &m_records.value(); }

private:
    std::optional<std::vector<Record>> m_records;
};

// A scene's map: the files whose lists are set.
struct MapSet {
    std::string scene_path{}; // "s_11\s_1112\"
    std::string stem{};       // the name the start script gives: "s_1112"
    MapRecords<MapObjectDesc> objects{};
    MapRecords<MapEffectDesc> effects{};
    MapRecords<MapFogDesc> fog{};
    MapRecords<MapCameraDesc> cameras{};
    MapRecords<MapExitDesc> exits{};
    MapRecords<MapCastDesc> cast{};
    std::optional<std::size_t> sbe_records{}; // the count of ".sbe" records; none: no file
};

// Appends the set's files to the archive list.
void map_set_archive_files(const MapSet& set, std::vector<ArchiveSource>& archive);
