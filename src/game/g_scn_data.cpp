#include "game/g_scn_data.h"

#include "core/errors.h"
#include "core/text.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_status_block.h"
#include "scenegraph/data_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

std::vector<CastInfo> g_castinfo;
std::vector<EnemyInfo> g_enemyinfo;
std::array<InvInfo, SCN_ITEM_CAPACITY> g_invinfo;
GameInfo g_gameinfo;
std::vector<EexInfo> g_eexinfo;
std::vector<SceneEntry> g_scene_list;

namespace {

struct TableHeader {
    std::uint32_t unchecked[2];
    std::uint32_t record_size;
    std::uint32_t count;
};
static_assert(sizeof(TableHeader) == 16);

struct SceneListHeader {
    std::uint32_t version;
    std::uint32_t count;
};
static_assert(sizeof(SceneListHeader) == 8);

// `count` records from the reader, or a throw naming `name` when the data holds fewer.
template <typename Record>
std::vector<Record> read_records(ByteReader& reader, std::uint32_t count, const char* name)
{
    if (!reader.Has(count, sizeof(Record))) err_raise_code(ERR_BROKEN_DATA, name, ERR_HERE);
    std::vector<Record> records(count);
    reader.Read(records.data(), records.size() * sizeof(Record));
    return records;
}

template <typename Record> std::vector<Record> load_table(const char* path)
{
    DataFile file;
    HRESULT result = file.Load(path);
    if (FAILED(result)) err_raise_code(result, path, ERR_HERE);
    ByteReader reader(file.Bytes());
    TableHeader header;
    if (!reader.Read(header)) err_raise_code(ERR_BROKEN_DATA, path, ERR_HERE);
    if (header.record_size != sizeof(Record)) err_raise_code(ERR_UNMATCHED_VERSION, path, ERR_HERE);
    return read_records<Record>(reader, header.count, path);
}

void load_items()
{
    std::vector<InvInfo> items = load_table<InvInfo>(SCN_INVINFO_PATH);
    if (items.size() > g_invinfo.size()) err_raise_code(ERR_OVERFLOW, SCN_INVINFO_PATH, ERR_HERE);
    g_invinfo = {};
    std::copy(items.begin(), items.end(), g_invinfo.begin());
}

void load_game_data()
{
    std::vector<GameInfo> records = load_table<GameInfo>(SCN_GAMEINFO_PATH);
    if (records.empty()) err_raise_code(ERR_UNSUPPORTED_FORMAT, SCN_GAMEINFO_PATH, ERR_HERE);
    g_gameinfo = records.front();
}

// The first single-byte `c` from `text` on (never a trail byte), or null.
const char* find_single_byte(const char* text, char c)
{
    for (; *text; ++text) {
        if (*text == c) return text;
        if (sys_is_lead_byte(*text) && !*++text) break;
    }
    return nullptr;
}

void build_display_name(SceneEntry& scene)
{
    char path[SCENE_PATH_SIZE];
    std::memcpy(path, scene.path, sizeof path);
    for (const char* p = find_single_byte(path, '\\'); p; p = find_single_byte(p + 1, '\\'))
        path[p - path] = '/';
    const int title_length = static_cast<int>(strnlen(scene.text, sizeof scene.text));
    char joined[SCENE_PATH_SIZE + 2 + SCENE_TEXT_SIZE];
    std::snprintf(joined, sizeof joined, "%s: %.*s", path, title_length, scene.text);
    std::memset(scene.text, 0, sizeof scene.text);
    sys_copy_string(scene.text, joined, sizeof scene.text);
}

// The record at `index`, or a throw naming the table's file.
template <typename Table>
const typename Table::value_type& checked_record(const Table& table, int index, const char* name)
{
    if (index < 0 || static_cast<std::size_t>(index) >= table.size())
        err_raise_code(ERR_OVERFLOW, name, ERR_HERE);
    return table[static_cast<std::size_t>(index)];
}

// What Hard and Nightmare add to an eex type.
struct EexDifficulty {
    float hard_hp_factor;
    float nightmare_hp_factor;
    float attack_bonus;
    float defence_bonus;
};

const EexDifficulty& eex_difficulty(int type)
{
    static constexpr EexDifficulty k_type0 = {1.5f, 2.0f, 5.0f, 0.0f};
    static constexpr EexDifficulty k_type4 = {1.25f, 1.5f, 3.0f, -1.0f};
    static constexpr EexDifficulty k_type6 = {1.25f, 1.5f, 5.0f, 0.0f};
    static constexpr EexDifficulty k_other = {1.25f, 1.5f, 0.0f, 0.0f};
    switch (type) {
    case 0:
        return k_type0;
    case 4:
        return k_type4;
    case 6:
        return k_type6;
    default:
        return k_other;
    }
}

// The enemies' experience reward at `level` (on the line from level 1 to the last level), weighed
// by 2^((scale - 50) / 20).
float eex_experience(float scale, std::int32_t level)
{
    const LevelCurve& curve = g_gameinfo.enemy_exp;
    const float t = static_cast<float>(level - 1) / static_cast<float>(PLAY_LEVEL_MAX - 1);
    const float reward = curve.first + (curve.last - curve.first) * t;
    return std::floor(std::pow(2.0f, (scale - 50.0f) / 20.0f) * reward);
}

// The file's value may lie beyond what an integer holds, where a plain conversion is undefined.
std::int32_t whole_gold(float value)
{
    if (std::isnan(value)) return 0;
    constexpr float k_limit = 2147483648.0f; // 2^31
    if (value >= k_limit) return std::numeric_limits<std::int32_t>::max();
    if (value < -k_limit) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

} // namespace

void scn_data_load_tables()
{
    g_castinfo = load_table<CastInfo>(SCN_CASTINFO_PATH);
    g_enemyinfo = load_table<EnemyInfo>(SCN_ENEMYINFO_PATH);
    load_items();
    load_game_data();
    g_eexinfo = load_table<EexInfo>(SCN_EEX_PATH);
}

void scn_data_load_scene_list()
{
    g_scene_list.clear();
    DataFile file;
    HRESULT result = file.Load(SCN_SCENE_LIST_PATH);
    if (result == ERR_OPEN_FILE) return;
    if (FAILED(result)) err_raise_code(result, SCN_SCENE_LIST_NAME, ERR_HERE);
    ByteReader reader(file.Bytes());
    SceneListHeader header;
    if (!reader.Read(header)) err_raise_code(ERR_BROKEN_DATA, SCN_SCENE_LIST_NAME, ERR_HERE);
    if (header.version != 0) err_raise_code(ERR_UNMATCHED_VERSION, SCN_SCENE_LIST_NAME, ERR_HERE);
    std::vector<SceneEntry> scenes = read_records<SceneEntry>(reader, header.count, SCN_SCENE_LIST_NAME);
    for (SceneEntry& scene : scenes) {
        // Every later reader formats the path as a terminated text.
        if (!std::memchr(scene.path, '\0', sizeof scene.path))
            err_raise_code(ERR_BROKEN_DATA, SCN_SCENE_LIST_NAME, ERR_HERE);
        build_display_name(scene);
    }
    g_scene_list = std::move(scenes);
}

const CastInfo& scn_data_cast(int index)
{
    return checked_record(g_castinfo, index, SCN_CASTINFO_PATH);
}

const EnemyInfo& scn_data_enemy(int index)
{
    return checked_record(g_enemyinfo, index, SCN_ENEMYINFO_PATH);
}

const InvInfo& scn_data_item(int index)
{
    return checked_record(g_invinfo, index, SCN_INVINFO_PATH);
}

const SceneEntry& scn_data_scene(int index)
{
    return checked_record(g_scene_list, index, SCN_SCENE_LIST_NAME);
}

bool scn_data_in_scene(const char* folder)
{
    const std::int32_t id = g_play_state.scene_id;
    if (id < 0 || static_cast<std::size_t>(id) >= g_scene_list.size()) return false;
    return sys_names_equal(g_scene_list[static_cast<std::size_t>(id)].path, folder);
}

void scn_data_eex_params(StatusBlock& status, int type)
{
    const EexInfo& record = checked_record(g_eexinfo, type, SCN_EEX_PATH);
    status.max_hp = record.max_hp;
    status.atk = record.attack;
    status.def = record.defence;
    status.luck = record.fourth;
    status.exp = eex_experience(record.exp_scale, record.level);
    status.gold = whole_gold(record.gold);
    status.level = record.level;

    const std::int32_t difficulty = g_play_state.game_flags[GF_DIFFICULTY];
    if (difficulty > 0) {
        const EexDifficulty& change = eex_difficulty(type);
        status.max_hp *= difficulty == 1 ? change.hard_hp_factor : change.nightmare_hp_factor;
        status.atk += change.attack_bonus;
        status.def += change.defence_bonus;
    }
    if (g_play_state.game_flags[GF_VERY_EASY] != 0) status.max_hp *= 0.75f;
    status.hp = status.max_hp;
}

void scn_data_free()
{
    // Swapping with empty vectors gives the memory back, which clear() does not.
    std::vector<CastInfo>().swap(g_castinfo);
    std::vector<EnemyInfo>().swap(g_enemyinfo);
    g_invinfo = {};
    g_gameinfo = {};
    std::vector<EexInfo>().swap(g_eexinfo);
    std::vector<SceneEntry>().swap(g_scene_list);
}

const SceneEntry* scn_data_find_scene(const char* path)
{
    // A longer folder cannot equal a path that is terminated within its field.
    if (std::strlen(path) >= SCENE_PATH_SIZE) return nullptr;
    char folder[SCENE_PATH_SIZE + 1];
    std::strcpy(folder, path);
    path_make_dir(folder, sizeof folder);
    for (const SceneEntry& scene : g_scene_list) {
        if (sys_names_equal(scene.path, folder)) return &scene;
    }
    return nullptr;
}

void scene_script_path(const char* scene_path, char* out, std::size_t size)
{
    const char* name = scene_path;
    for (const char* p = find_single_byte(scene_path, '\\'); p; p = find_single_byte(p + 1, '\\')) {
        if (p[1]) name = p + 1;
    }
    if (size == 0) return;
    sys_copy_string(out, name, size);
    if (const char* cut = find_single_byte(out, '\\')) out[cut - out] = '\0';
}
