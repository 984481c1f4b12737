// The game's fixed data: five packed tables in "data\misc\" and the scene list, loaded once
// before the first scene and read-only afterwards. The records are kept as whole file images
// (fixed-width fields, the bytes nobody reads as reserved arrays). A table's count is the size
// of its vector; readers index the tables through the checked lookups.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct StatusBlock;

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

// One kind of character; the maps' cast placement looks it up by its name, exactly. Text fields
// may lack their terminator: read them bounded by their size.
struct CastInfo {
    char name[CAST_NAME_SIZE]; // terminated
    char display_name[32];     // the speaker name of the message windows
    float hit_radius;          // hit shape
    float body_radius;
    float foot_height;
    float shadow_size;
    float view_radius;
    float hover_height;
    float walk_speed;
    float second_speed;
    float jump_speed;
    float hit_height;          // hit shape
    float hit_half_height;     // hit shape
    std::int32_t hit_cylinder; // non-zero: the hit shape is a cylinder
    std::int32_t cast_number;
    std::int32_t behaviour_kind;
    std::int32_t script_set;
    std::int32_t spawn_type;
    std::int32_t live_count; // live actors of this cast, kept by the actors
    std::int32_t hit_points;
    std::uint8_t reserved[392];
};
static_assert(offsetof(CastInfo, display_name) == 16);
static_assert(offsetof(CastInfo, hit_radius) == 48);
static_assert(offsetof(CastInfo, body_radius) == 52);
static_assert(offsetof(CastInfo, foot_height) == 56);
static_assert(offsetof(CastInfo, shadow_size) == 60);
static_assert(offsetof(CastInfo, view_radius) == 64);
static_assert(offsetof(CastInfo, hover_height) == 68);
static_assert(offsetof(CastInfo, walk_speed) == 72);
static_assert(offsetof(CastInfo, second_speed) == 76);
static_assert(offsetof(CastInfo, jump_speed) == 80);
static_assert(offsetof(CastInfo, hit_height) == 84);
static_assert(offsetof(CastInfo, hit_half_height) == 88);
static_assert(offsetof(CastInfo, hit_cylinder) == 92);
static_assert(offsetof(CastInfo, cast_number) == 96);
static_assert(offsetof(CastInfo, behaviour_kind) == 100);
static_assert(offsetof(CastInfo, script_set) == 104);
static_assert(offsetof(CastInfo, spawn_type) == 108);
static_assert(offsetof(CastInfo, live_count) == 112);
static_assert(offsetof(CastInfo, hit_points) == 116);
static_assert(sizeof(CastInfo) == 512);

constexpr std::size_t ENEMY_DROP_COUNT = 8;

// Level-dependent parameters of one character type. The scales s weigh a value by
// 2^((s - 50) / 20).
struct EnemyInfo {
    std::uint8_t reserved0[32];
    float fourth_per_level; // the status block's fourth value: level x this + base
    float fourth_base;
    std::uint8_t reserved1[20];
    float resistances[4];
    std::uint8_t reserved2[3];
    std::uint8_t status_byte;                  // the status block's byte after the level
    std::int32_t drop_items[ENEMY_DROP_COUNT]; // item ids, -1 none
    float drop_chances[ENEMY_DROP_COUNT];      // percent
    float move_params[8];                      // the actors' movement block, copied whole
    float hover_params[6];                     // the actors' hover block
    float hp_scale;
    float attack_scale;
    float defence_scale;
    std::uint8_t reserved3[4];
    float gold_scale;
    float exp_scale;
    std::uint32_t blood_colour; // also the spark colour; 0 none or default
    std::uint8_t reserved4[4];
    std::int32_t default_level;
    std::uint8_t reserved5[28];
};
static_assert(offsetof(EnemyInfo, fourth_per_level) == 32);
static_assert(offsetof(EnemyInfo, fourth_base) == 36);
static_assert(offsetof(EnemyInfo, resistances) == 60);
static_assert(offsetof(EnemyInfo, status_byte) == 79);
static_assert(offsetof(EnemyInfo, drop_items) == 80);
static_assert(offsetof(EnemyInfo, drop_chances) == 112);
static_assert(offsetof(EnemyInfo, move_params) == 144);
static_assert(offsetof(EnemyInfo, hover_params) == 176);
static_assert(offsetof(EnemyInfo, hp_scale) == 200);
static_assert(offsetof(EnemyInfo, attack_scale) == 204);
static_assert(offsetof(EnemyInfo, defence_scale) == 208);
static_assert(offsetof(EnemyInfo, gold_scale) == 216);
static_assert(offsetof(EnemyInfo, exp_scale) == 220);
static_assert(offsetof(EnemyInfo, blood_colour) == 224);
static_assert(offsetof(EnemyInfo, default_level) == 232);
static_assert(sizeof(EnemyInfo) == 264);

// One item, indexed by item id. Text fields may lack their terminator.
struct InvInfo {
    char name[32];
    std::int32_t price;
    std::int32_t value; // the recovery value, or the coin and dusca amount
    std::int32_t power; // added to attack and defence when equipped
    std::uint8_t reserved0[8];
    char icon_name[24]; // the file title under "data\menu\icon\"
    char description[108];
};
static_assert(offsetof(InvInfo, price) == 32);
static_assert(offsetof(InvInfo, value) == 36);
static_assert(offsetof(InvInfo, power) == 40);
static_assert(offsetof(InvInfo, icon_name) == 52);
static_assert(offsetof(InvInfo, description) == 76);
static_assert(sizeof(InvInfo) == 184);

// A value at level 1 and at level 60; levels between lie on the line.
struct LevelCurve {
    float first;
    float last;
};
static_assert(sizeof(LevelCurve) == 8);

// The game-wide data record.
struct GameInfo {
    std::int8_t start_level;
    std::uint8_t reserved0[11];
    float fourth_factor; // the player's fourth value: factor x this + addend
    std::uint8_t reserved1[4];
    float fourth_addend;
    float exp_divisor_base; // Normal's experience divisor for weaker enemies
    float exp_bonus_base;   // the experience bonus for stronger enemies
    LevelCurve enemy_hp;
    LevelCurve enemy_attack;
    LevelCurve enemy_defence;
    std::uint8_t reserved2[8];
    LevelCurve enemy_exp; // the experience reward
    std::uint8_t reserved3[8];
    LevelCurve player_hp; // maximum hit points
    LevelCurve player_attack;
    LevelCurve player_defence;
    std::uint8_t reserved4[8];
    LevelCurve player_exp_step; // the experience of the first and the last level step
    std::uint8_t reserved5[216];
};
static_assert(offsetof(GameInfo, fourth_factor) == 12);
static_assert(offsetof(GameInfo, fourth_addend) == 20);
static_assert(offsetof(GameInfo, exp_divisor_base) == 24);
static_assert(offsetof(GameInfo, exp_bonus_base) == 28);
static_assert(offsetof(GameInfo, enemy_hp) == 32);
static_assert(offsetof(GameInfo, enemy_attack) == 40);
static_assert(offsetof(GameInfo, enemy_defence) == 48);
static_assert(offsetof(GameInfo, enemy_exp) == 64);
static_assert(offsetof(GameInfo, player_hp) == 80);
static_assert(offsetof(GameInfo, player_attack) == 88);
static_assert(offsetof(GameInfo, player_defence) == 96);
static_assert(offsetof(GameInfo, player_exp_step) == 112);
static_assert(sizeof(GameInfo) == 336);

// Status-block parameters of one enemy or boss type.
struct EexInfo {
    float max_hp;
    float attack;
    float defence;
    float fourth;
    float gold;
    float exp_scale;
    std::int32_t level;
    std::uint8_t reserved[36];
};
static_assert(offsetof(EexInfo, max_hp) == 0);
static_assert(offsetof(EexInfo, exp_scale) == 20);
static_assert(offsetof(EexInfo, level) == 24);
static_assert(sizeof(EexInfo) == 64);

// One scene; its index in the list is its scene id, and tools write the number equal to it.
struct SceneEntry {
    std::uint16_t number;       // the scene id
    std::uint8_t reverb;        // the reverb preset
    std::uint8_t music;         // the music id, 0 silence
    char path[SCENE_PATH_SIZE]; // the folder under "data\map\", such as "s_10\s_1010\"; terminated
    char text[SCENE_TEXT_SIZE]; // the title in the file, the display name once loaded
    char info_text[94];         // may lack its terminator
    std::uint16_t map_x;        // the region map's marker
    std::uint16_t map_y;
    std::uint8_t reserved[2];
};
static_assert(offsetof(SceneEntry, reverb) == 2);
static_assert(offsetof(SceneEntry, music) == 3);
static_assert(offsetof(SceneEntry, path) == 4);
static_assert(offsetof(SceneEntry, text) == 84);
static_assert(offsetof(SceneEntry, info_text) == 132);
static_assert(offsetof(SceneEntry, map_x) == 226);
static_assert(offsetof(SceneEntry, map_y) == 228);
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
// The record at `index`. An index outside the loaded records (for items, outside the item table)
// throws RuntimeError ERR_OVERFLOW naming the table's file.
const CastInfo& scn_data_cast(int index);
const EnemyInfo& scn_data_enemy(int index);
const InvInfo& scn_data_item(int index);
const SceneEntry& scn_data_scene(int index);
// True when the current scene's folder is `folder` (as the scene list spells paths, any case);
// false before a scene is entered.
bool scn_data_in_scene(const char* folder);
// Fills a status block from eex record `type`: its hit points, combat values and level, the
// experience reward on the enemies' level curve weighed by its scale, and its gold (truncated;
// NaN gives 0 and values beyond the 32-bit range stop at its ends); then Hard and Nightmare raise
// the hit points and, by type, the combat values, Very Easy lowers the hit points, and the hit
// points start full. A type outside the loaded records throws RuntimeError ERR_OVERFLOW naming
// "data\misc\eex.dat.z".
void scn_data_eex_params(StatusBlock& status, int type);
// Empties the tables and the scene list; the item table and the game record become zeros.
void scn_data_free();
// The entry whose path equals the folder (slashes and the final backslash normalised, case
// ignored), or null.
const SceneEntry* scn_data_find_scene(const char* path);
// The last folder name of a scene path into `out` ("s_10\s_1010\" gives "s_1010").
void scene_script_path(const char* scene_path, char* out, std::size_t size);
