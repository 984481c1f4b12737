#include "game/g_scn_data.h"

#include "core/errors.h"
#include "core/text.h"
#include "scenegraph/data_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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
