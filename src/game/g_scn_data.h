// The game's fixed data: five packed tables in "data\misc\" and the scene list, loaded once
// before the first scene and read-only afterwards. The records are kept as whole file images;
// the modules that read them own the meaning of their fields. A table's count is the size of
// its vector.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr std::size_t CAST_NAME_SIZE = 16;
constexpr std::size_t SCENE_PATH_SIZE = 80;
constexpr std::size_t SCENE_TEXT_SIZE = 48; // the display name is cut to 47 bytes
constexpr std::size_t SCN_ITEM_CAPACITY = 256;

inline constexpr const char* SCN_CASTINFO_PATH = "data\\misc\\castinfo.dat.z";
inline constexpr const char* SCN_ENEMYINFO_PATH = "data\\misc\\enemyinfo.dat.z";
inline constexpr const char* SCN_INVINFO_PATH = "data\\misc\\invinfo.dat.z";
inline constexpr const char* SCN_GAMEINFO_PATH = "data\\misc\\gameinfo.dat.z";
inline constexpr const char* SCN_EEX_PATH = "data\\misc\\eex.dat.z";
inline constexpr const char* SCN_SCENE_LIST_PATH = "data\\map\\scenelist.sl.z";
inline constexpr const char* SCN_SCENE_LIST_NAME = "data\\map\\scenelist.sl"; // in error texts

// One kind of character; the maps' cast placement looks it up by its name, exactly.
struct CastInfo {
    char name[CAST_NAME_SIZE]; // terminated
    std::uint8_t fields[496];
};
static_assert(sizeof(CastInfo) == 512);

// Level-dependent parameters of one character type.
struct EnemyInfo {
    std::uint8_t fields[264];
};
static_assert(sizeof(EnemyInfo) == 264);

// One item, indexed by item id.
struct InvInfo {
    std::uint8_t fields[184];
};
static_assert(sizeof(InvInfo) == 184);

// The game-wide data record.
struct GameInfo {
    std::uint8_t fields[336];
};
static_assert(sizeof(GameInfo) == 336);

// Status-block parameters of one enemy or boss type.
struct EexInfo {
    std::uint8_t fields[64];
};
static_assert(sizeof(EexInfo) == 64);

// One scene; its index in the list is its scene id.
struct SceneEntry {
    std::uint8_t head[4];       // the scene id in the first 16 bits
    char path[SCENE_PATH_SIZE]; // the folder under "data\map\", such as "s_10\s_1010\"; terminated
    char text[SCENE_TEXT_SIZE]; // the title in the file, the display name once loaded
    std::uint8_t fields[100];
};
static_assert(sizeof(SceneEntry) == 232);

extern std::vector<CastInfo> g_castinfo;
extern std::vector<EnemyInfo> g_enemyinfo;
extern std::array<InvInfo, SCN_ITEM_CAPACITY> g_invinfo; // the file's items, then zeros
extern GameInfo g_gameinfo;
extern std::vector<EexInfo> g_eexinfo;
extern std::vector<SceneEntry> g_scene_list;

// Loads the five tables in order. Throws RuntimeError naming the file: ERR_OPEN_FILE when it
// is missing, ERR_UNMATCHED_VERSION for a foreign record size, ERR_BROKEN_DATA when the file
// is shorter than its header or its records, ERR_OVERFLOW for more items than the item table
// holds, ERR_UNSUPPORTED_FORMAT for a game-data file without a record.
void scn_data_load_tables();
// Loads the scene list and turns each title into the display name "<path with '/'>: <title>".
// A missing list leaves it empty. Throws RuntimeError naming "data\map\scenelist.sl":
// ERR_UNMATCHED_VERSION for a version other than 0, ERR_BROKEN_DATA for a list shorter than its
// count or a path without a terminator.
void scn_data_load_scene_list();
// The entry whose path equals the folder (slashes and the final backslash normalised, case
// ignored), or null.
const SceneEntry* scn_data_find_scene(const char* path);
// The last folder name of a scene path into `out` ("s_10\s_1010\" gives "s_1010").
void scene_script_path(const char* scene_path, char* out, std::size_t size);
