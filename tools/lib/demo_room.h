// The demo's map room: a floor, four walls with a doorway in the north wall, a ramp along the
// south wall up to a ledge in the south-east corner, a bucket, a save point, a pillar and a
// platform on the floor, and
// the demo's effects (demo_effects.h). Both map scenes stand in this room, each under a sky and a fog of its
// own, and each one's doorway leads to the other. The title shows the same room, read loose from the data
// folder.
//
// Units: the room spans x and z from -12 to 12; y is up; the compass facing 0 looks along +z.
#pragma once

#include "lib/archive_writer.h"
#include "lib/map_writer.h"
#include "lib/qco_writer.h"
#include "lib/qmo_writer.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* DEMO_ROOM_MODEL = "data\\map\\s_11\\s_1112\\room.qmo";
inline constexpr const char* DEMO_ROOM_COLLISION = "room.qco"; // sets A and C, beside the model
inline constexpr const char* DEMO_BUCKET_MODEL = "data\\map\\mapobj\\bucket_00\\bucket_00.qmo";
inline constexpr const char* DEMO_PILLAR_MODEL = "data\\map\\mapobj\\pillar_00\\pillar_00.qmo";
inline constexpr const char* DEMO_PLATFORM_MODEL = "data\\map\\mapobj\\platform_00\\platform_00.qmo";
inline constexpr const char* DEMO_TITLE_MAP = "data\\map\\s_00\\s_0000\\s_0000.qmo";
inline constexpr const char* DEMO_SHADOW_IMAGE = "data\\image\\shadow0.dds";
inline constexpr const char* DEMO_HERO_CAST_NAME = "CAST_BRAM";

inline constexpr float DEMO_ROOM_HALF = 12.0f;
inline constexpr float DEMO_WALL_HEIGHT = 3.0f;
inline constexpr float DEMO_LEDGE_HEIGHT = 2.0f;
// Where the hero arrives in either room, facing the doorway: a little above the floor, which its
// placement finds below it.
inline constexpr MapVec DEMO_ARRIVAL{0.0f, 0.5f, 7.0f};
inline constexpr std::int32_t DEMO_ARRIVAL_COMPASS = 0;
inline constexpr MapVec DEMO_BUCKET_POSITION{-3.0f, 0.0f, 9.0f};
inline constexpr MapVec DEMO_SAVE_POSITION{3.0f, 0.0f, 9.0f};
// The pillar the show script spins and the platform it raises by DEMO_PLATFORM_RISE and lowers.
inline constexpr MapVec DEMO_PILLAR_POSITION{-6.0f, 0.0f, 6.0f};
inline constexpr MapVec DEMO_PLATFORM_POSITION{6.0f, 0.0f, 5.0f};
inline constexpr float DEMO_PLATFORM_RISE = 1.5f;
// Camera region 1, a box over the ramp and the ledge, and the fog region over the ledge.
inline constexpr MapVec DEMO_RAMP_REGION_CENTRE{7.0f, 2.0f, -8.0f};
inline constexpr MapVec DEMO_LEDGE_FOG_CENTRE{10.0f, 2.0f, -8.0f};

// One room's look: its scene folder, the stem its start script names and its sky's colours.
struct DemoRoomStyle {
    std::string scene_path;             // "s_11\s_1112\"
    std::string stem;                   // "s_1112"
    std::string destination;            // the scene its doorway leads to
    std::uint32_t sky_top, sky_horizon; // ARGB
    std::uint32_t fog_colour;           // 0x00RRGGBB
};
DemoRoomStyle demo_room_first_style();
DemoRoomStyle demo_room_second_style();

// One vertex of the box layout (QMO_FVF_BOX): position, normal, diffuse, u, v.
void demo_put_box_vertex(std::vector<std::uint8_t>& out, const MapVec& p, const MapVec& normal,
                         std::uint32_t colour, float u, float v);

// The room's model, naming its collision file for sets A and C, and the collision triangles.
QmoImage demo_room_model();
std::vector<QcoTriangle> demo_room_collision();

// The seven map files of a room, for its scene folder; its effects are the demo's (demo_effects.h).
MapSet demo_room_map(const DemoRoomStyle& style);
// The start script of a room: loads its seven files, shows the six faces of its sky box, marks
// the map's entry in game flag 201 with `map_number`, then `tail` (assembler text).
std::string demo_room_start_script(const DemoRoomStyle& style, int map_number, std::string_view tail);

// Both rooms' map files, the shared model with its collision, the props with theirs, the skies
// with their faces, the ground shadow's image and the title map's collision, as the archive
// holds them.
std::vector<ArchiveSource> demo_room_files();
// The title map, a loose file under the data folder ("data/map/s_00/s_0000/s_0000.qmo"), which
// the title loads from disk; false when it cannot be written. Its collision comes from the
// archive, as `demo_title_map_collision` gives it.
bool demo_write_title_map(const std::filesystem::path& folder);
ArchiveSource demo_title_map_collision();
