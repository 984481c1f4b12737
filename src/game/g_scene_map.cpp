// The map files of a scene folder: opening and checking them, and the loaders of the script
// commands 40-46 that turn their records into meshes, the sky, save points, regions and actors.
#include "game/g_scene_map.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/text.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "gfx/go_effect.h"
#include "object/actor/go_actor.h"
#include "object/go_mesh.h"
#include "object/go_script.h"
#include "object/go_skybox.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"
#include "scenegraph/data_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr const char* k_source = "g_scene";
constexpr unsigned k_line_missing = 717;
constexpr unsigned k_line_magic = 723;
constexpr unsigned k_line_version = 726;
constexpr unsigned k_line_record_size = 729;
constexpr unsigned k_line_exit_scene = 1091;
constexpr const char* k_map_folder = "data\\map\\";

// One map file's extension, magic and whether a scene may go without it.
struct MapFileKind {
    const char* extension;
    std::uint32_t magic;
    bool optional;
};
constexpr MapFileKind k_objects{".sob", map_magic("SOB"), false};
constexpr MapFileKind k_effects{".sef", map_magic("SEF"), true};
constexpr MapFileKind k_fog{".sfo", map_magic("SFO"), true};
constexpr MapFileKind k_cameras{".scm", map_magic("SCM"), false};
constexpr MapFileKind k_exits{".sen", map_magic("SEN"), true};
constexpr MapFileKind k_cast{".sct", map_magic("SCT"), true};
constexpr MapFileKind k_sbe{".sbe", map_magic("SBZ"), true};

constexpr std::int32_t k_kind_sky = 2;
constexpr std::uint32_t k_option_hit_shape = 0x4;
constexpr std::uint32_t k_option_title = 0x100; // on the first record only
constexpr float k_third = 0.33333334f;
constexpr std::int32_t k_enemy_type_first_cast = 14; // enemy types count from this cast
constexpr std::int32_t k_effect_side = 1;

constexpr float k_colour_unit = 0.003921569f; // 1 / 255
constexpr float k_fog_rate = 0.02f;
constexpr std::size_t k_fog_records = 16;

constexpr const char* k_save_point_model = "data\\map\\mapobj\\save_00\\save_00.qmo";

// The save point's light: a blue glow that swells and fades back, over and over, in slot 2.
constexpr LightParams k_save_point_light = {
    .colour = {{0.0f, 0.0f, 0.3f}, {0.34f, 0.3f, 0.5f}, {0.0f, 0.0f, 0.3f}},
    .range = {4.0f, 5.0f, 4.0f},
    .attenuation = {2.0f, 2.5f, 2.0f},
    .phase_ticks = {70, 60},
    .slot = 2,
    .loop = 1,
};

// A record's text as a terminated string: the file may fill the field to its end.
template <std::size_t N> std::array<char, N + 1> record_text(const char (&field)[N])
{
    std::array<char, N + 1> text{};
    std::copy(std::begin(field), std::end(field), text.begin());
    return text;
}

std::string map_file_path(const char* stem, const MapFileKind& kind)
{
    const SceneEntry& scene = scn_data_scene(g_play_state.scene_id);
    return std::string(k_map_folder) + scene.path + stem + kind.extension + ".z";
}

// The common frame of the loaders: the records copied out of the work block, which goes back
// before any object is made, so the objects can unpack their own files. None when an optional
// file is missing.
template <typename Record> std::vector<Record> read_map_records(const char* stem, const MapFileKind& kind)
{
    const std::string path = map_file_path(stem, kind);
    DataFile file;
    MapFileHeader header;
    const std::span<const std::uint8_t> bytes =
        scene_open_map_file(file, path.c_str(), header, kind.magic, sizeof(Record), kind.optional);
    std::vector<Record> records(bytes.size() / sizeof(Record));
    ByteReader(bytes).Read(records.data(), bytes.size());
    file.Release();
    return records;
}

// ---- Objects ----------------------------------------------------------------------------------------
// A save point and its light; a full pool leaves either out.
void place_save_point(const D3DXVECTOR3& at)
{
    if (GoXx* point = obj_create<GoXx>(g_pool_xx)) goxx_init_save_point(*point, at);
    GoXx* light = obj_create<GoXx>(g_pool_xx);
    if (!light) return;
    light->world._41 = at.x;
    light->world._42 = at.y;
    light->world._43 = at.z;
    goxx_init_point_light(*light, k_save_point_light);
}

// The record's status and hit shape, sized by the mean scale; zero values keep the defaults.
void apply_hit_shape(GoMesh& mesh, const MapObjectRecord& record)
{
    const float s = (record.scale.x + record.scale.y + record.scale.z) * k_third;
    StatusBlock& status = mesh.status;
    if (record.hp != 0) status.max_hp = status.hp = static_cast<float>(record.hp);
    if (record.attack != 0) status.atk = static_cast<float>(record.attack);
    if (record.defence != 0) status.def = static_cast<float>(record.defence);
    mesh.SetHitShape(record.hit_offset * s, record.hit_cylinder, record.hit_radius * s,
                     record.hit_half_height * s);
}

// A fatal load gives the half-made object back to its pool, so the sweep never meets it.
template <typename Object, typename Load> void load_or_free(Object& object, Load load)
{
    try {
        load();
    } catch (...) {
        object.DeletingDestructor();
        throw;
    }
}

void place_mesh(const MapObjectRecord& record)
{
    GoMesh* mesh = obj_create<GoMesh>(g_pool_mesh);
    if (!mesh) return;
    const auto path = record_text(record.model_path);
    const auto name = record_text(record.name);
    const auto second = record_text(record.second_name);
    const auto third = record_text(record.third_name);
    load_or_free(*mesh, [&] {
        mesh->Load(path.data(), record.position, record.rotation, record.scale, record.options, record.kind,
                   record.mesh_mode, name.data(), second.data(), third.data());
    });
    if (record.options & k_option_hit_shape) apply_hit_shape(*mesh, record);
    mesh->special_bits = mesh_special_bits(path.data());
    if (sys_names_equal(path.data(), k_save_point_model)) place_save_point(record.position);
}

void place_sky(const MapObjectRecord& record)
{
    GoSkyBox* sky = obj_create<GoSkyBox>(g_pool_skybox);
    if (!sky) return;
    load_or_free(*sky, [&] { sky->Load(record); });
}

// ---- Effects ----------------------------------------------------------------------------------------
// A placed effect belongs to no one: the enemies' side, no status, no power, strength or element.
void place_effect(const MapEffectRecord& record)
{
    eft_spawn(record.effect_id, record.position, record.rotation_degrees * MATH_DEGREE,
              D3DXVECTOR3(1.0f, 1.0f, 1.0f), 0, k_effect_side, nullptr, 0.0f, 1.0f, 0, 0,
              ATTACK_ELEMENT_NONE);
}

// ---- Fog --------------------------------------------------------------------------------------------
FogValues fog_values(const MapFogRecord& record)
{
    const auto channel = [&](int shift) {
        return static_cast<float>(record.colour >> shift & 0xFF) * k_colour_unit;
    };
    return {channel(16), channel(8), channel(0), 1.0f, record.fog_near, record.fog_far, k_fog_rate};
}

// The scene change has claimed region 0 already; the default fog is its own either way.
void set_default_fog(const MapFogRecord& record)
{
    RegionFog* first = g_region_fogs.at(0);
    if (!first) return;
    if (!first->used) region_fog_alloc();
    first->fog = fog_values(record);
}

// ---- Exits ------------------------------------------------------------------------------------------
// False when the entry table is full.
bool add_exit(const MapExitRecord& record)
{
    const auto destination = record_text(record.destination);
    if (destination[0] == '\0') return true;
    const SceneEntry* scene = scn_data_find_scene(destination.data());
    if (!scene) err_raise_code(ERR_OBJECT_NOT_FOUND, destination.data(), k_source, k_line_exit_scene);
    const auto tag = record_text(record.arrival_tag);
    RegionEntry built;
    region_entry_build(built, {.pit = record.pit != 0,
                               .destination_scene = scene->number,
                               .tag = tag.data(),
                               .path = destination.data(),
                               .position = record.arrival_position,
                               .facing = scene_angle_from_compass(record.arrival_facing),
                               .entry_value = record.entry_value,
                               .exit_kind = record.exit_kind});
    return region_entry_add(built, record.corner1, record.corner2, record.centre,
                            scene_angle_wrap(static_cast<float>(record.box_heading)));
}

// ---- Cast -------------------------------------------------------------------------------------------
// The filter's integer part against the arrival's entry value; a value with no integer part in
// range matches nothing.
bool entry_filter_matches(float filter)
{
    if (!std::isfinite(filter) || filter < -2147483648.0f || filter >= 2147483648.0f) return false;
    return static_cast<std::int32_t>(filter) == g_play_state.arrival.entry_value;
}

void place_actor(const MapCastRecord& record, const CastInfo& cast, std::int32_t key, float facing)
{
    GoActor* actor = obj_create<GoActor>(g_pool_actor);
    if (!actor) return;
    const std::int32_t count = std::clamp(record.waypoint_count, 0, MAP_CAST_WAYPOINTS);
    actor_set_waypoints(count, record.waypoints, *actor, &record.position);
    D3DXVECTOR3 start = record.position;
    if (const D3DXVECTOR3* waypoint = actor_pick_random_waypoint(*actor)) start = *waypoint;
    actor_setup(*actor, key, cast.behaviour_kind, cast.spawn_type, cast.script_set, cast.cast_number);
    actor_set_position(start, *actor, facing);
    if (actor->hit_shape.class_bits & HIT_ENEMY)
        play_apply_level_stats(cast.cast_number - k_enemy_type_first_cast, *actor, 0);
    actor->wander_mode = record.stand_still != 0 ? 1 : 0;
    actor->wander_box[0] = D3DXVECTOR3(record.wander_x_min, 0.0f, record.wander_z_min);
    actor->wander_box[1] = D3DXVECTOR3(record.wander_x_max, 0.0f, record.wander_z_max);
}

void place_cast(const MapCastRecord& record)
{
    const auto name = record_text(record.cast_name);
    const CastInfo* cast = scene_find_cast(name.data());
    if (!cast) return;
    const std::int32_t key =
        record.actor_key != 0 ? record.actor_key : scene_alloc_actor_key(cast->cast_number);
    const float facing = scene_angle_from_compass(record.facing);
    if (cast->cast_number == ACTOR_CAST_HERO) {
        scene_create_player(record.position, facing);
        return;
    }
    if (entry_filter_matches(record.entry_filter)) place_actor(record, *cast, key, facing);
}

// ---- Commands -------------------------------------------------------------------------------------
template <HRESULT (*Loader)(const char*)> ScriptFlow cmd_load_map(ScriptCall& call)
{
    const char* name = call.text(0);
    Loader(name ? name : "");
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_commands[] = {
    {40, &cmd_load_map<scene_load_objects>}, {41, &cmd_load_map<scene_load_effects>},
    {42, &cmd_load_map<scene_load_fog>},     {43, &cmd_load_map<scene_load_cameras>},
    {44, &cmd_load_map<scene_load_exits>},   {45, &cmd_load_map<scene_load_cast>},
    {46, &cmd_load_map<scene_load_sbe>},
};

} // namespace

std::span<const std::uint8_t> scene_open_map_file(DataFile& file, const char* path, MapFileHeader& header,
                                                  std::uint32_t magic, std::uint32_t record_size,
                                                  bool optional)
{
    header = {};
    if (FAILED(file.Load(path))) {
        if (optional) return {};
        err_raise_code(ERR_OPEN_FILE, path, k_source, k_line_missing);
    }
    ByteReader reader(file.Bytes());
    if (!reader.Read(header)) err_raise_code(ERR_BROKEN_DATA, path, k_source, __LINE__);
    if (header.magic != magic) err_raise_code(ERR_UNKNOWN_FORMAT, path, k_source, k_line_magic);
    if (header.version != 0) err_raise_code(ERR_UNMATCHED_VERSION, path, k_source, k_line_version);
    if (header.record_size != record_size)
        err_raise_code(ERR_UNSUPPORTED_FORMAT, path, k_source, k_line_record_size);
    if (!reader.Has(header.count, record_size)) err_raise_code(ERR_BROKEN_DATA, path, k_source, __LINE__);
    return file.Bytes().subspan(sizeof header, std::size_t{header.count} * record_size);
}

HRESULT scene_load_objects(const char* stem)
{
    const std::vector<MapObjectRecord> records = read_map_records<MapObjectRecord>(stem, k_objects);
    if (!records.empty() && (records.front().options & k_option_title)) g_play_state.title_demo = 1;
    for (const MapObjectRecord& record : records) {
        if (record.kind == k_kind_sky)
            place_sky(record);
        else
            place_mesh(record);
    }
    return S_OK;
}

HRESULT scene_load_effects(const char* stem)
{
    for (const MapEffectRecord& record : read_map_records<MapEffectRecord>(stem, k_effects))
        place_effect(record);
    return S_OK;
}

HRESULT scene_load_fog(const char* stem)
{
    const std::vector<MapFogRecord> records = read_map_records<MapFogRecord>(stem, k_fog);
    if (records.empty()) return S_OK;
    set_default_fog(records.front());
    const std::uint8_t sticky = records.front().region_flag != 0;
    for (std::size_t i = 1; i < std::min(records.size(), k_fog_records); ++i) {
        const MapFogRecord& record = records[i];
        region_fog_add(fog_values(record), record.corner1, record.corner2, record.centre, 0.0f, sticky);
    }
    return S_OK;
}

HRESULT scene_load_cameras(const char* stem)
{
    for (const MapCameraRecord& record : read_map_records<MapCameraRecord>(stem, k_cameras))
        if (region_camera_add(record.block, record.corner1, record.corner2, record.centre, record.heading) <
            0)
            return E_FAIL;
    return S_OK;
}

HRESULT scene_load_exits(const char* stem)
{
    for (const MapExitRecord& record : read_map_records<MapExitRecord>(stem, k_exits))
        if (!add_exit(record)) return E_FAIL;
    return S_OK;
}

HRESULT scene_load_cast(const char* stem)
{
    for (const MapCastRecord& record : read_map_records<MapCastRecord>(stem, k_cast))
        place_cast(record);
    return S_OK;
}

HRESULT scene_load_sbe(const char* stem)
{
    read_map_records<MapSbzRecord>(stem, k_sbe);
    return S_OK;
}

GoMesh* scene_find_mesh(const char* name)
{
    for (std::int32_t i = 0; i < g_pool_mesh.count; ++i) {
        auto* mesh = static_cast<GoMesh*>(g_pool_mesh.active[i]);
        if (!(mesh->flags & GO_FLAG_DEAD) && sys_names_equal(mesh->name, name)) return mesh;
    }
    return nullptr;
}

std::span<const ScriptCommandRow> scene_map_script_commands()
{
    return k_commands;
}
