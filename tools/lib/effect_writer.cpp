#include "lib/effect_writer.h"

#include "lib/le_bytes.h"
#include "lib/packed_writer.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr std::size_t k_name_size = 80;

void put_f32s(std::vector<std::uint8_t>& out, std::initializer_list<float> values)
{
    for (float f : values)
        le_put_f32(out, f);
}

void put_state(std::vector<std::uint8_t>& out, const EftStartState& s)
{
    le_put_zeros(out, 16); // runtime pointer slots
    le_put_f32(out, s.mesh_time);
    le_put_zeros(out, 4); // runtime bytes
    le_put_u8(out, s.follow);
    le_put_zeros(out, 2); // frame counter and index
    le_put_u8(out, s.delay);
    le_put_i32(out, s.life); // total life
    le_put_i32(out, s.life);
    le_put_vec3(out, s.base_scale);
    le_put_vec3(out, {1, 1, 1}); // scale factors
    le_put_vec3(out, s.velocity);
    le_put_vec3(out, s.position);
    le_put_vec3(out, s.rotation);
    le_put_zeros(out, 4);
    le_put_f32(out, s.speed_spread);
    le_put_i32(out, s.fade_step);
    le_put_i32(out, 0); // fade amount
    put_f32s(out, {s.uv_scroll[0], s.uv_scroll[1]});
    for (const EftVertex& v : s.vertices) {
        le_put_vec3(out, v.position);
        le_put_u32(out, v.colour1);
        le_put_u32(out, v.colour2);
        put_f32s(out, {v.u, v.v});
    }
    le_put_zeros(out, 8);
}

// Each key's inverse span reaches to the next key; the last key has none.
void put_curve(std::vector<std::uint8_t>& out, const EftCurve& curve)
{
    if (curve.size() > EFT_CURVE_KEYS) throw std::invalid_argument("eft: a curve has more than 8 keys");
    le_put_u32(out, 0);
    le_put_u32(out, static_cast<std::uint32_t>(curve.size()));
    for (std::size_t i = 0; i < EFT_CURVE_KEYS; ++i) {
        if (i >= curve.size()) {
            le_put_zeros(out, 12);
            continue;
        }
        const float inverse = i + 1 < curve.size() ? 1.0f / (curve[i + 1].time - curve[i].time) : 0.0f;
        put_f32s(out, {curve[i].time, curve[i].value, inverse});
    }
}

void put_frames(std::vector<std::uint8_t>& out, const EftDefinition& d)
{
    if (d.frames.size() > EFT_FRAMES) throw std::invalid_argument("eft: more than 16 frames");
    le_put_i32(out, d.frames_loop);
    le_put_i32(out, d.ticks_per_frame);
    le_put_i32(out, d.frame_count.value_or(static_cast<std::int32_t>(d.frames.size())));
    for (std::size_t i = 0; i < EFT_FRAMES; ++i)
        le_put_i32(out, i < d.frames.size() ? d.frames[i].texture : 0);
    for (std::size_t i = 0; i < EFT_FRAMES; ++i) {
        const EftFrame frame = i < d.frames.size() ? d.frames[i] : EftFrame{};
        put_f32s(out, {frame.u0, frame.v0, frame.u1, frame.v1});
    }
}

void put_children(std::vector<std::uint8_t>& out, const std::vector<std::int8_t>& children)
{
    if (children.size() > EFT_CHILDREN) throw std::invalid_argument("eft: more than 8 children");
    for (std::size_t i = 0; i < EFT_CHILDREN; ++i)
        le_put_u8(out, static_cast<std::uint8_t>(i < children.size() ? children[i] : -1));
}

void put_definition(std::vector<std::uint8_t>& out, const EftDefinition& d)
{
    const std::size_t start = out.size();
    le_put_u16(out, d.flags);
    le_put_u16(out, static_cast<std::uint16_t>(d.effect_id));
    le_put_u8(out, d.count);
    le_put_zeros(out, 3);
    le_put_u32(out, d.ring_material);
    put_f32s(out, {d.camera_pull, d.cull_radius});
    le_put_u8(out, d.cull_mode);
    le_put_zeros(out, 1);
    le_put_u16(out, static_cast<std::uint16_t>(d.impact_effect));
    le_put_u8(out, d.mesh);
    le_put_u8(out, d.mesh_wrap);
    le_put_zeros(out, 2);
    put_f32s(out, {d.mesh_anim_rate, d.mesh_anim_start, d.mesh_anim_end});
    le_put_i32(out, d.extra_delay);
    le_put_vec3(out, d.child_turn);
    le_put_i32(out, d.child_period);
    le_put_u8(out, d.trigger);
    le_put_u8(out, d.parent_links);
    le_put_zeros(out, 2);
    put_frames(out, d);
    put_f32s(out, {d.scroll_speed[0], d.scroll_speed[1]});
    put_children(out, d.children);
    for (const EftCurve& curve : d.curves)
        put_curve(out, curve);
    put_f32s(out, {d.attack_radius, d.attack_height, d.attack_half_height});
    le_put_i32(out, d.attack_active);
    le_put_u8(out, d.attacking);
    le_put_u8(out, d.collision);
    le_put_u8(out, d.hit_hold);
    le_put_zeros(out, 1);
    put_f32s(out, {d.gravity, d.gravity_growth});
    le_put_u8(out, d.kick_chance);
    le_put_zeros(out, 1);
    le_put_u8(out, d.kick_mask);
    le_put_zeros(out, 1);
    le_put_vec3(out, d.kick_min);
    le_put_vec3(out, d.kick_max);
    le_put_vec3(out, d.kick_clamp);
    for (std::uint8_t byte : {d.light_mode, d.homing_mode, d.homing_period, d.homing_chance})
        le_put_u8(out, byte);
    le_put_f32(out, d.homing_strength);
    le_put_i32(out, d.homing_delay);
    le_put_i32(out, d.life_jitter);
    le_put_vec3(out, d.scale_spread);
    le_put_vec3(out, d.spawn_spread);
    put_f32s(out, {d.offset_min, d.offset_max});
    le_put_i32(out, d.ring_segments);
    put_f32s(out, {d.ring_lower_radius, d.ring_upper_radius, d.ring_height});
    le_put_vec3(out, d.rotation_jitter);
    put_f32s(out, {d.velocity_jitter[0], d.velocity_jitter[1], d.light_size});
    le_put_u32(out, d.light_colour);
    if (out.size() - start != EFT_DEF_SIZE) throw std::logic_error("eft: definition layout");
}

} // namespace

EftCurve eft_constant(float value)
{
    return {{0.0f, value}};
}

EftCurve eft_ramp(float a, float b)
{
    return {{0.0f, a}, {1.0f, b}};
}

std::vector<std::uint8_t> eft_list_bytes(const std::vector<EftListEntry>& entries)
{
    std::vector<std::uint8_t> out;
    le_put_u32(out, 0);
    le_put_u32(out, static_cast<std::uint32_t>(entries.size()));
    for (const EftListEntry& entry : entries) {
        le_put_u32(out, entry.slot);
        const std::size_t length = std::min(entry.name.size(), k_name_size);
        out.insert(out.end(), entry.name.begin(), entry.name.begin() + static_cast<std::ptrdiff_t>(length));
        le_put_zeros(out, k_name_size - length);
    }
    return out;
}

std::vector<std::uint8_t> eft_ef2_bytes(const EftFile& file)
{
    std::vector<std::uint8_t> out;
    le_put_zeros(out, EFT_EF2_OFFSET_STARTS);
    le_put_u32(out, static_cast<std::uint32_t>(file.starts.size()));
    le_put_u32(out, static_cast<std::uint32_t>(file.emitters.size()));
    le_put_u32(out, 0);
    for (const EftStart& start : file.starts) {
        le_put_u8(out, static_cast<std::uint8_t>(start.emitter));
        le_put_u8(out, start.delay);
    }
    for (const EftEmitter& emitter : file.emitters)
        put_state(out, emitter.state);
    for (const EftEmitter& emitter : file.emitters)
        put_definition(out, emitter.def);
    return out;
}

std::size_t eft_def_offset(const EftFile& file, std::size_t emitter)
{
    return EFT_EF2_HEADER_SIZE + 2 * file.starts.size() + EFT_STATE_SIZE * file.emitters.size() +
           EFT_DEF_SIZE * emitter;
}

std::string eft_path(std::string_view file)
{
    return "data\\effect\\eft\\" + std::string(file);
}

std::string eft_ef2_path(std::string_view list_name)
{
    const std::size_t dot = list_name.find('.');
    if (dot == std::string_view::npos) return eft_path(list_name);
    return eft_path(list_name.substr(0, dot)) + ".ef2.z";
}

std::vector<EftListEntry> eft_list_of(const std::vector<std::string>& names)
{
    std::vector<EftListEntry> entries;
    for (const std::string& name : names)
        entries.push_back({static_cast<std::uint32_t>(entries.size()), name});
    return entries;
}

std::vector<ArchiveSource> eft_archive_files(const EftDataSet& data)
{
    std::vector<ArchiveSource> files;
    const std::pair<const char*, const std::vector<EftListEntry>*> lists[] = {
        {"efttex.dat.z", &data.textures},
        {"eftmesh.dat.z", &data.meshes},
        {"eftlist.dat.z", &data.list},
        {"eftlist2.dat.z", &data.list2}};
    for (const auto& [name, entries] : lists)
        files.push_back({eft_path(name), packed_build(eft_list_bytes(*entries))});
    for (const auto& [name, file] : data.files)
        files.push_back({eft_ef2_path(name), packed_build(eft_ef2_bytes(file))});
    return files;
}
