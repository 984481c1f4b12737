// The map files of a scene folder and their loaders: objects, effects, fog, cameras, exits, cast
// and the unused ".sbe". Each file is a 16-byte header followed by fixed-size records.
#pragma once

#include "core/maths.h"
#include "game/g_region.h"
#include "platform/d3dx8.h"
#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>
#include <span>

class DataFile;
class GoMesh;
struct ScriptCommandRow;

constexpr std::size_t MAP_PATH_SIZE = 260;
constexpr std::size_t MAP_NAME_SIZE = 32;
constexpr std::size_t MAP_THIRD_NAME_SIZE = 256;

// ".sob": one placed model, or the sky box (kind 2).
struct MapObjectRecord {
    char model_path[MAP_PATH_SIZE]; // ".qmo"; the sky box's name
    D3DXVECTOR3 position;
    D3DXVECTOR3 rotation; // pitch, yaw, roll
    D3DXVECTOR3 scale;
    char name[MAP_NAME_SIZE];
    std::int32_t kind;
    std::uint32_t options;
    std::uint8_t reserved_336[4];
    std::int32_t hp;
    std::int32_t attack;
    std::int32_t defence; // 0 keeps the default
    std::uint8_t reserved_352[8];
    float hit_radius;
    D3DXVECTOR3 hit_offset;
    float hit_half_height;
    std::int32_t hit_cylinder;
    std::int32_t mesh_mode;
    std::uint8_t reserved_388[4];
    char second_name[MAP_NAME_SIZE];
    char third_name[MAP_THIRD_NAME_SIZE];
};
static_assert(sizeof(MapObjectRecord) == 680);
static_assert(offsetof(MapObjectRecord, position) == 260);
static_assert(offsetof(MapObjectRecord, name) == 296);
static_assert(offsetof(MapObjectRecord, options) == 332);
static_assert(offsetof(MapObjectRecord, hp) == 340);
static_assert(offsetof(MapObjectRecord, hit_radius) == 360);
static_assert(offsetof(MapObjectRecord, hit_cylinder) == 380);
static_assert(offsetof(MapObjectRecord, second_name) == 392);
static_assert(offsetof(MapObjectRecord, third_name) == 424);

// ".sef": an effect placed at load.
struct MapEffectRecord {
    std::int32_t effect_id;
    D3DXVECTOR3 position;
    D3DXVECTOR3 rotation_degrees;
    std::uint8_t reserved_28[64];
};
static_assert(sizeof(MapEffectRecord) == 92);
static_assert(offsetof(MapEffectRecord, position) == 4);
static_assert(offsetof(MapEffectRecord, rotation_degrees) == 16);

// ".sfo": record 0 is the scene's default fog, every further one a fog region.
struct MapFogRecord {
    Vec3 centre;
    Vec3 corner1; // relative to the centre
    Vec3 corner2;
    float fog_near;
    float fog_far;
    std::uint32_t colour;     // 0x00RRGGBB
    std::int32_t region_flag; // record 0's value is given to every region
    std::uint8_t reserved_52[12];
};
static_assert(sizeof(MapFogRecord) == 64);
static_assert(offsetof(MapFogRecord, corner1) == 12);
static_assert(offsetof(MapFogRecord, corner2) == 24);
static_assert(offsetof(MapFogRecord, fog_near) == 36);
static_assert(offsetof(MapFogRecord, colour) == 44);
static_assert(offsetof(MapFogRecord, region_flag) == 48);

// ".scm": a camera region.
struct MapCameraRecord {
    CameraBlock block;
    Vec3 corner1; // relative to the centre
    Vec3 corner2;
    Vec3 centre;
    std::uint8_t reserved_1028[4];
    float heading;
    std::uint8_t reserved_1036[4];
};
static_assert(sizeof(MapCameraRecord) == 1040);
static_assert(offsetof(MapCameraRecord, corner1) == 992);
static_assert(offsetof(MapCameraRecord, corner2) == 1004);
static_assert(offsetof(MapCameraRecord, centre) == 1016);
static_assert(offsetof(MapCameraRecord, heading) == 1032);

// ".sen": an exit; a record with an empty destination is skipped.
struct MapExitRecord {
    char arrival_tag[MAP_PATH_SIZE];
    Vec3 centre;
    Vec3 corner1; // relative to the centre
    Vec3 corner2;
    char destination[MAP_PATH_SIZE]; // a scene path
    Vec3 arrival_position;
    std::int32_t arrival_facing; // compass degrees
    std::int32_t box_heading;    // degrees
    std::int32_t entry_value;
    std::int32_t pit;
    std::int32_t exit_kind;
    std::uint8_t reserved_588[16];
};
static_assert(sizeof(MapExitRecord) == 604);
static_assert(offsetof(MapExitRecord, centre) == 260);
static_assert(offsetof(MapExitRecord, corner2) == 284);
static_assert(offsetof(MapExitRecord, destination) == 296);
static_assert(offsetof(MapExitRecord, arrival_position) == 556);
static_assert(offsetof(MapExitRecord, arrival_facing) == 568);
static_assert(offsetof(MapExitRecord, box_heading) == 572);
static_assert(offsetof(MapExitRecord, entry_value) == 576);
static_assert(offsetof(MapExitRecord, pit) == 580);
static_assert(offsetof(MapExitRecord, exit_kind) == 584);

constexpr std::size_t MAP_CAST_NAME_SIZE = 264;
constexpr int MAP_CAST_WAYPOINTS = 8;

// ".sct": a placed character.
struct MapCastRecord {
    char cast_name[MAP_CAST_NAME_SIZE]; // compared exactly
    std::int32_t facing;                // compass degrees
    D3DXVECTOR3 position;
    std::int32_t waypoint_count; // at most 8 are used
    std::uint8_t reserved_284[4];
    D3DXVECTOR3 waypoints[MAP_CAST_WAYPOINTS];
    std::uint8_t reserved_384[4];
    float entry_filter;     // placed only when its integer part is the arrival's entry value
    std::int32_t actor_key; // 0: chosen at load
    std::uint8_t reserved_396[276];
    std::int16_t wander_z_min; // the wander box round the home point
    std::int16_t wander_x_min;
    std::int16_t wander_x_max;
    std::int16_t wander_z_max;
    std::int32_t stand_still;
    std::uint8_t reserved_684[4];
};
static_assert(sizeof(MapCastRecord) == 688);
static_assert(offsetof(MapCastRecord, facing) == 264);
static_assert(offsetof(MapCastRecord, position) == 268);
static_assert(offsetof(MapCastRecord, waypoint_count) == 280);
static_assert(offsetof(MapCastRecord, waypoints) == 288);
static_assert(offsetof(MapCastRecord, entry_filter) == 388);
static_assert(offsetof(MapCastRecord, actor_key) == 392);
static_assert(offsetof(MapCastRecord, wander_z_min) == 672);
static_assert(offsetof(MapCastRecord, wander_z_max) == 678);
static_assert(offsetof(MapCastRecord, stand_still) == 680);

// ".sbe": loaded and checked, never read.
struct MapSbzRecord {
    std::uint8_t unread[432];
};
static_assert(sizeof(MapSbzRecord) == 432);

struct MapFileHeader {
    std::uint32_t magic; // three capitals and a zero byte
    std::uint32_t version;
    std::uint32_t record_size;
    std::uint32_t count;
};
static_assert(sizeof(MapFileHeader) == 16);

// The magic of a map file: its three letters and a zero byte as one little-endian word.
constexpr std::uint32_t map_magic(const char (&letters)[4])
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(letters[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(letters[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(letters[2])) << 16;
}

// Unpacks the map file at `path` (with ".z") into `file` and checks its header: the bytes of its
// `header.count` records. Empty when an optional file is missing or the work block is lent.
// Fatal, with the path: a missing required file (ERR_OPEN_FILE), another magic
// (ERR_UNKNOWN_FORMAT), a version other than 0 (ERR_UNMATCHED_VERSION), another record size
// (ERR_UNSUPPORTED_FORMAT), fewer bytes than the header and its records (ERR_BROKEN_DATA).
std::span<const std::uint8_t> scene_open_map_file(DataFile& file, const char* path, MapFileHeader& header,
                                                  std::uint32_t magic, std::uint32_t record_size,
                                                  bool optional);

// The loaders of the current scene's map files "data\map\<scene path><stem><ext>.z". Each copies
// the records out and gives the work block back before it creates anything, so the objects can
// load their own files. ".sob" and ".scm" are required; the others may be missing.
// Meshes, the sky box, save points with their lights; the title/demo flag from the first record.
HRESULT scene_load_objects(const char* stem);
// Starts the placed effects at their places and turns, each belonging to no one.
HRESULT scene_load_effects(const char* stem);
// The default fog (record 0, into fog region 0) and up to 15 fog regions.
HRESULT scene_load_fog(const char* stem);
// Camera regions; E_FAIL once the table is full (the later records are left out).
HRESULT scene_load_cameras(const char* stem);
// Exits; E_FAIL once the table is full. An unknown destination is fatal (ERR_OBJECT_NOT_FOUND).
HRESULT scene_load_exits(const char* stem);
// The player at its record, and the other casts' actors whose entry filter matches the arrival.
HRESULT scene_load_cast(const char* stem);
// Checked, then dropped.
HRESULT scene_load_sbe(const char* stem);

// The first live mesh of the name, in any letter case, or null.
GoMesh* scene_find_mesh(const char* name);

// The event-script commands 40-46 that run the loaders.
std::span<const ScriptCommandRow> scene_map_script_commands();
