#include "lib/map_writer.h"

#include "lib/le_bytes.h"
#include "lib/packed_writer.h"

#include <stdexcept>

namespace {

constexpr std::size_t k_waypoints = 8;

void put_text(std::vector<std::uint8_t>& out, std::string_view text, std::size_t field)
{
    if (text.size() > field)
        throw std::invalid_argument("map text longer than its " + std::to_string(field) +
                                    "-byte field: " + std::string(text));
    out.insert(out.end(), text.begin(), text.end());
    le_put_zeros(out, field - text.size());
}

// Header then the records, each written by `put` and checked against its size.
template <typename Record, typename Put>
std::vector<std::uint8_t> map_image(const char (&magic)[4], std::size_t record_size,
                                    std::span<const Record> records, Put put)
{
    std::vector<std::uint8_t> out;
    out.insert(out.end(), magic, magic + 4);
    le_put_u32(out, 0);
    le_put_u32(out, static_cast<std::uint32_t>(record_size));
    le_put_u32(out, static_cast<std::uint32_t>(records.size()));
    for (const Record& record : records) {
        const std::size_t start = out.size();
        put(out, record);
        if (out.size() - start != record_size)
            throw std::logic_error("map record written with the wrong size");
    }
    return out;
}

void put_object(std::vector<std::uint8_t>& out, const MapObjectDesc& o)
{
    put_text(out, o.model_path, 260);
    le_put_vec3(out, o.position);
    le_put_vec3(out, o.rotation);
    le_put_vec3(out, o.scale);
    put_text(out, o.name, 32);
    le_put_i32(out, o.kind);
    le_put_u32(out, o.options);
    le_put_zeros(out, 4);
    le_put_i32(out, o.hp);
    le_put_i32(out, o.attack);
    le_put_i32(out, o.defence);
    le_put_zeros(out, 8);
    le_put_f32(out, o.hit_radius);
    le_put_vec3(out, o.hit_offset);
    le_put_f32(out, o.hit_half_height);
    le_put_i32(out, o.hit_cylinder);
    le_put_i32(out, o.mesh_mode);
    le_put_zeros(out, 4);
    put_text(out, o.second_name, 32);
    put_text(out, o.third_name, 256);
}

void put_effect(std::vector<std::uint8_t>& out, const MapEffectDesc& e)
{
    le_put_i32(out, e.effect_id);
    le_put_vec3(out, e.position);
    le_put_vec3(out, e.rotation_degrees);
    le_put_zeros(out, MAP_EFFECT_SIZE - 28);
}

void put_fog(std::vector<std::uint8_t>& out, const MapFogDesc& f)
{
    le_put_vec3(out, f.centre);
    le_put_vec3(out, f.corner1);
    le_put_vec3(out, f.corner2);
    le_put_f32(out, f.fog_near);
    le_put_f32(out, f.fog_far);
    le_put_u32(out, f.colour);
    le_put_i32(out, f.region_flag);
    le_put_zeros(out, MAP_FOG_SIZE - 52);
}

void put_camera_point(std::vector<std::uint8_t>& out, const MapCameraPoint& p)
{
    le_put_vec3(out, p.clamp_corner1);
    le_put_vec3(out, p.clamp_corner2);
    le_put_vec3(out, p.clamp_centre);
    le_put_zeros(out, 4);
    le_put_f32(out, p.clamp_heading);
    le_put_zeros(out, 4);
    le_put_i32(out, p.clamp);
    le_put_i32(out, p.mode);
    le_put_f32(out, p.orbit_yaw);
    le_put_f32(out, p.orbit_pitch);
    le_put_f32(out, p.orbit_distance);
    le_put_i32(out, p.orbit_flags);
    le_put_zeros(out, 12);
    le_put_vec3(out, p.fixed_point);
    le_put_zeros(out, MAP_CAMERA_POINT_SIZE - 96);
}

void put_camera_block(std::vector<std::uint8_t>& out, const MapCameraDesc& c)
{
    put_camera_point(out, c.target);
    put_camera_point(out, c.eye);
    le_put_u32(out, c.sticky ? 1u : 0u);
    le_put_vec3(out, c.offset);
    le_put_f32(out, c.view_angle);
    le_put_f32(out, c.blend_rate);
    le_put_zeros(out, MAP_CAMERA_BLOCK_SIZE - 960);
}

void put_camera(std::vector<std::uint8_t>& out, const MapCameraDesc& c)
{
    put_camera_block(out, c);
    le_put_vec3(out, c.corner1);
    le_put_vec3(out, c.corner2);
    le_put_vec3(out, c.centre);
    le_put_zeros(out, 4);
    le_put_f32(out, c.heading);
    le_put_zeros(out, MAP_CAMERA_SIZE - 1036);
}

void put_exit(std::vector<std::uint8_t>& out, const MapExitDesc& e)
{
    put_text(out, e.arrival_tag, 260);
    le_put_vec3(out, e.centre);
    le_put_vec3(out, e.corner1);
    le_put_vec3(out, e.corner2);
    put_text(out, e.destination, 260);
    le_put_vec3(out, e.arrival_position);
    le_put_i32(out, e.arrival_facing);
    le_put_i32(out, e.box_heading);
    le_put_i32(out, e.entry_value);
    le_put_i32(out, e.pit);
    le_put_i32(out, e.exit_kind);
    le_put_zeros(out, MAP_EXIT_SIZE - 588);
}

void put_cast(std::vector<std::uint8_t>& out, const MapCastDesc& c)
{
    if (c.waypoints.size() > k_waypoints) throw std::invalid_argument("a cast record holds 8 waypoints");
    put_text(out, c.cast_name, 264);
    le_put_i32(out, c.facing);
    le_put_vec3(out, c.position);
    le_put_i32(out, c.waypoint_count.value_or(static_cast<std::int32_t>(c.waypoints.size())));
    le_put_zeros(out, 4);
    for (const MapVec& point : c.waypoints)
        le_put_vec3(out, point);
    le_put_zeros(out, (k_waypoints - c.waypoints.size()) * 12 + 4);
    le_put_f32(out, c.entry_filter);
    le_put_i32(out, c.actor_key);
    le_put_zeros(out, 276);
    for (std::int16_t edge : {c.wander_z_min, c.wander_x_min, c.wander_x_max, c.wander_z_max})
        le_put_u16(out, static_cast<std::uint16_t>(edge));
    le_put_i32(out, c.stand_still);
    le_put_zeros(out, 4);
}

template <typename Record>
void add_file(const MapSet& set, const char* ext, const MapRecords<Record>& records,
              std::vector<std::uint8_t> (*bytes)(std::span<const Record>),
              std::vector<ArchiveSource>& archive)
{
    if (records) archive.push_back(map_file(set.scene_path, set.stem, ext, bytes(*records)));
}

} // namespace

std::vector<std::uint8_t> map_objects_bytes(std::span<const MapObjectDesc> records)
{
    return map_image("SOB", MAP_OBJECT_SIZE, records, put_object);
}

std::vector<std::uint8_t> map_effects_bytes(std::span<const MapEffectDesc> records)
{
    return map_image("SEF", MAP_EFFECT_SIZE, records, put_effect);
}

std::vector<std::uint8_t> map_fog_bytes(std::span<const MapFogDesc> records)
{
    return map_image("SFO", MAP_FOG_SIZE, records, put_fog);
}

std::vector<std::uint8_t> map_cameras_bytes(std::span<const MapCameraDesc> records)
{
    return map_image("SCM", MAP_CAMERA_SIZE, records, put_camera);
}

std::vector<std::uint8_t> map_exits_bytes(std::span<const MapExitDesc> records)
{
    return map_image("SEN", MAP_EXIT_SIZE, records, put_exit);
}

std::vector<std::uint8_t> map_cast_bytes(std::span<const MapCastDesc> records)
{
    return map_image("SCT", MAP_CAST_SIZE, records, put_cast);
}

std::vector<std::uint8_t> map_sbe_bytes(std::size_t count)
{
    std::vector<std::uint8_t> out;
    const char magic[4] = "SBZ";
    out.insert(out.end(), magic, magic + 4);
    le_put_u32(out, 0);
    le_put_u32(out, static_cast<std::uint32_t>(MAP_SBE_SIZE));
    le_put_u32(out, static_cast<std::uint32_t>(count));
    le_put_zeros(out, count * MAP_SBE_SIZE);
    return out;
}

std::vector<std::uint8_t> map_camera_block(const MapCameraDesc& camera)
{
    std::vector<std::uint8_t> out;
    put_camera_block(out, camera);
    return out;
}

std::string map_file_path(std::string_view scene_path, std::string_view stem, std::string_view ext)
{
    return "data\\map\\" + std::string(scene_path) + std::string(stem) + std::string(ext) + ".z";
}

ArchiveSource map_file(std::string_view scene_path, std::string_view stem, std::string_view ext,
                       std::span<const std::uint8_t> image)
{
    return {map_file_path(scene_path, stem, ext), packed_build(image)};
}

void map_set_archive_files(const MapSet& set, std::vector<ArchiveSource>& archive)
{
    add_file(set, MAP_EXT_OBJECTS, set.objects, map_objects_bytes, archive);
    add_file(set, MAP_EXT_EFFECTS, set.effects, map_effects_bytes, archive);
    add_file(set, MAP_EXT_FOG, set.fog, map_fog_bytes, archive);
    add_file(set, MAP_EXT_CAMERAS, set.cameras, map_cameras_bytes, archive);
    add_file(set, MAP_EXT_EXITS, set.exits, map_exits_bytes, archive);
    add_file(set, MAP_EXT_CAST, set.cast, map_cast_bytes, archive);
    if (set.sbe_records)
        archive.push_back(map_file(set.scene_path, set.stem, MAP_EXT_SBE, map_sbe_bytes(*set.sbe_records)));
}
