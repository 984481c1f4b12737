#include "lib/demo_effects.h"

#include "lib/dds_writer.h"
#include "lib/demo_room.h"
#include "lib/packed_writer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>
#include <string>

namespace {

// Definition flags, the collision byte and the child trigger as the game reads them.
constexpr std::uint16_t k_keyframed = 0x1;
constexpr std::uint16_t k_ring = 0x8;
constexpr std::uint16_t k_camera_facing = 0x100;
constexpr std::uint16_t k_mesh = 0x200;
constexpr std::uint16_t k_culled_endless = 0x800;
constexpr std::uint8_t k_collide_map = 0x1;
constexpr std::uint8_t k_attack = 1;
constexpr std::uint8_t k_trigger_every_period = 3;
constexpr std::int32_t k_attack_while_alive = -1;

// The curves a particle reads: the first of each group.
constexpr std::size_t k_curve_alpha = 1;
constexpr std::size_t k_curve_colour = 2; // red, green, blue of colour 1
constexpr std::size_t k_curve_colour2 = 5;
constexpr std::size_t k_curve_spin_y = 12;
constexpr std::size_t k_curve_scale = 14;

// Textured, blended onto what lies behind by adding, tested against the depth but not written.
constexpr std::uint32_t k_glow_material = 0x1 | 0x40 | 0x80 | 0x400;
// The crystal's material: textured, depth tested and written.
constexpr std::uint32_t k_solid_material = 0x1 | 0x400 | 0x800;

// Effect texture numbers: slot 2 is one of the two the game loads with 4-bit alpha.
constexpr std::int32_t k_texture_spark = 0;
constexpr std::int32_t k_texture_band = 1;
constexpr std::int32_t k_texture_glow = 2;
constexpr std::int32_t k_texture_rune = 3;
constexpr const char* k_texture_names[] = {"spark.dds", "band.dds", "glow.dds", "rune.dds"};
// The sword trail's power-up burst draws with effect texture 5.
constexpr std::int32_t k_texture_trail_burst = 5;
constexpr const char* k_trail_burst_name = "burst.dds";

constexpr std::uint8_t k_crystal_mesh = 0;
constexpr const char* k_crystal_mesh_name = "crystal.qmo";
constexpr float k_crystal_keys = 32.0f;

struct Rgb {
    float r, g, b;
};

// Every curve at the value that changes nothing: speed and scale factors 1, no turn, no spin;
// opaque white, and no second colour.
std::array<EftCurve, EFT_CURVES> still_curves()
{
    std::array<EftCurve, EFT_CURVES> curves;
    curves.fill(eft_constant(0.5f));
    curves[k_curve_alpha] = eft_constant(1.0f);
    for (std::size_t c = 0; c < 3; ++c) {
        curves[k_curve_colour + c] = eft_constant(1.0f);
        curves[k_curve_colour2 + c] = eft_constant(0.0f);
    }
    return curves;
}

// Colour 1 from one colour to another over the life.
void set_colour(std::array<EftCurve, EFT_CURVES>& curves, Rgb from, Rgb to)
{
    curves[k_curve_colour] = eft_ramp(from.r, to.r);
    curves[k_curve_colour + 1] = eft_ramp(from.g, to.g);
    curves[k_curve_colour + 2] = eft_ramp(from.b, to.b);
}

// The scale factor on all three axes: a curve value of 0.5 is 1, 0.55 is 1.5.
void set_scale(std::array<EftCurve, EFT_CURVES>& curves, const EftCurve& curve)
{
    for (std::size_t c = 0; c < 3; ++c)
        curves[k_curve_scale + c] = curve;
}

EftVec3 uniform(float s)
{
    return {s, s, s};
}

// A camera-facing quad of one texture over its life.
EftDefinition glow_quad(std::int32_t texture)
{
    EftDefinition def;
    def.flags = k_keyframed | k_camera_facing;
    def.ring_material = k_glow_material;
    def.frames = {{texture}};
    def.curves = still_curves();
    return def;
}

// An endless one, tested against the view within the radius.
EftDefinition endless(EftDefinition def, float cull_radius)
{
    def.flags |= k_culled_endless;
    def.cull_radius = cull_radius;
    def.cull_mode = 1;
    return def;
}

// A child of the emitter before it: `count` particles on its parent's first tick and every period.
EftDefinition every_period(EftDefinition def, std::int32_t period, std::uint8_t count)
{
    def.trigger = k_trigger_every_period;
    def.child_period = period;
    def.count = count;
    return def;
}

// The flame flickers through its life, which starts again as it ends; it sends up sparks and
// lights the floor.
EftEmitter torch_flame()
{
    EftEmitter flame{
        .state = {.life = 24, .base_scale = uniform(0.9f), .position = {0, DEMO_TORCH_FLAME_HEIGHT, 0}},
        .def = endless(glow_quad(k_texture_glow), 1.5f)};
    EftDefinition& def = flame.def;
    def.children = {1};
    def.curves[k_curve_alpha] = eft_constant(0.9f);
    set_colour(def.curves, {1.0f, 0.7f, 0.3f}, {1.0f, 0.55f, 0.2f});
    set_scale(def.curves, {{0.0f, 0.48f}, {0.3f, 0.55f}, {0.6f, 0.5f}, {1.0f, 0.48f}});
    def.light_size = 2.0f;
    def.light_colour = DEMO_TORCH_LIGHT;
    return flame;
}

// Sparks drift up from the flame, swaying, and cool from yellow to red as they fade.
EftEmitter torch_spark()
{
    EftEmitter spark{.state = {.life = 45,
                               .base_scale = uniform(0.12f),
                               .velocity = {0, 0.035f, 0},
                               .position = {0, DEMO_TORCH_FLAME_HEIGHT + 0.15f, 0},
                               .speed_spread = 0.3f},
                     .def = every_period(glow_quad(k_texture_spark), 4, 1)};
    EftDefinition& def = spark.def;
    def.velocity_jitter = {0.35f, 0.35f};
    def.spawn_spread = {0.6f, 0.6f, 0.0f};
    def.offset_max = 0.15f;
    def.kick_chance = 60;
    def.kick_mask = 0x3;
    def.kick_min = uniform(-0.15f);
    def.kick_max = uniform(0.15f);
    def.curves[k_curve_alpha] = eft_ramp(1.0f, 0.0f);
    set_colour(def.curves, {1.0f, 0.9f, 0.5f}, {1.0f, 0.35f, 0.1f});
    set_scale(def.curves, eft_ramp(0.5f, 0.3f));
    return spark;
}

// A glowing nozzle that throws up sparks; they fall back under their growing weight, each an
// attack of the fountain's side, and splash where they meet the map.
EftEmitter fountain_nozzle()
{
    EftEmitter nozzle{.state = {.life = 30, .base_scale = uniform(0.5f), .position = {0, 0.15f, 0}},
                      .def = endless(glow_quad(k_texture_glow), 3.0f)};
    nozzle.def.children = {1};
    nozzle.def.curves[k_curve_alpha] = eft_constant(0.8f);
    set_colour(nozzle.def.curves, {1.0f, 0.9f, 0.6f}, {1.0f, 0.9f, 0.6f});
    set_scale(nozzle.def.curves, {{0.0f, 0.5f}, {0.5f, 0.56f}, {1.0f, 0.5f}});
    return nozzle;
}

EftEmitter fountain_spark()
{
    EftEmitter spark{.state = {.life = 70,
                               .base_scale = uniform(0.16f),
                               .velocity = {0, 0.12f, 0},
                               .position = {0, 0.2f, 0},
                               .speed_spread = 0.15f,
                               .fade_step = 12},
                     .def = every_period(glow_quad(k_texture_spark), 3, 2)};
    EftDefinition& def = spark.def;
    def.velocity_jitter = {0.45f, 0.45f};
    def.gravity_growth = 0.006f;
    def.kick_chance = 48;
    def.kick_mask = 0x7;
    def.kick_min = uniform(-0.12f);
    def.kick_max = uniform(0.12f);
    def.attacking = k_attack;
    def.collision = k_collide_map;
    def.attack_radius = 1.0f;
    def.attack_active = k_attack_while_alive;
    def.hit_hold = 30;
    def.impact_effect = DEMO_EFFECT_SPLASH;
    def.curves[k_curve_alpha] = eft_ramp(1.0f, 0.7f);
    set_colour(def.curves, {1.0f, 0.95f, 0.7f}, {1.0f, 0.5f, 0.15f});
    return spark;
}

// A short burst of droplets thrown up and out.
EftEmitter splash_drop()
{
    EftEmitter drop{.state = {.life = 18,
                              .base_scale = uniform(0.1f),
                              .velocity = {0, 0.05f, 0},
                              .position = {0, 0.02f, 0},
                              .speed_spread = 0.4f},
                    .def = glow_quad(k_texture_spark)};
    EftDefinition& def = drop.def;
    def.count = 5;
    def.velocity_jitter = {1.1f, 1.1f};
    def.gravity_growth = 0.006f;
    def.curves[k_curve_alpha] = eft_ramp(1.0f, 0.0f);
    set_colour(def.curves, {1.0f, 0.8f, 0.3f}, {1.0f, 0.4f, 0.1f});
    set_scale(def.curves, eft_ramp(0.6f, 0.4f));
    return drop;
}

// A band narrowing upward, turning once in about 250 ticks, its texture stepping along it.
EftEmitter ring_band()
{
    EftEmitter ring{.state = {.life = 120, .position = {0, 0.45f, 0}}, .def = {}};
    EftDefinition& def = ring.def;
    def.flags = k_keyframed | k_ring;
    def.ring_material = k_glow_material;
    def.ring_segments = 32;
    def.ring_lower_radius = 0.9f;
    def.ring_upper_radius = 0.7f;
    def.ring_height = 0.5f;
    for (float u : {0.0f, 0.25f, 0.5f, 0.75f})
        def.frames.push_back({k_texture_band, u, 0.0f, u + 1.0f, 1.0f});
    def.ticks_per_frame = 5;
    def.frames_loop = 1;
    def.curves = still_curves();
    def.curves[k_curve_alpha] = eft_constant(0.85f);
    set_colour(def.curves, {0.35f, 0.85f, 1.0f}, {0.35f, 0.85f, 1.0f});
    def.curves[k_curve_spin_y] = eft_constant(0.52f);
    ring.def = endless(def, 1.5f);
    return ring;
}

// The crystal mesh, its animation looping, its texture drifting along u.
EftEmitter crystal()
{
    EftEmitter crystal{.state = {.life = 64, .position = {0, DEMO_CRYSTAL_HEIGHT, 0}}, .def = {}};
    EftDefinition& def = crystal.def;
    def.flags = k_keyframed | k_mesh;
    def.mesh = k_crystal_mesh;
    def.mesh_wrap = 1;
    def.mesh_anim_rate = 0.5f;
    def.mesh_anim_end = k_crystal_keys;
    def.frames = {{k_texture_rune}};
    def.scroll_speed = {0.004f, 0.0f};
    def.curves = still_curves();
    crystal.def = endless(def, 1.0f);
    return crystal;
}

// An effect whose first emitter starts at once; the others are its children.
EftFile started(std::vector<EftEmitter> emitters)
{
    return {{{0, 0}}, std::move(emitters)};
}

struct DemoEffect {
    std::int32_t id;
    const char* list_name;
    EftFile file;
};

std::vector<DemoEffect> demo_effects()
{
    return {
        {DEMO_EFFECT_TORCH, "torch.eft", started({torch_flame(), torch_spark()})},
        {DEMO_EFFECT_FOUNTAIN, "fountain.eft", started({fountain_nozzle(), fountain_spark()})},
        {DEMO_EFFECT_SPLASH, "splash.eft", started({splash_drop()})},
        {DEMO_EFFECT_RING, "ring.eft", started({ring_band()})},
        {DEMO_EFFECT_CRYSTAL, "crystal.eft", started({crystal()})},
    };
}

// A soft round spot: white in the middle, warm toward the rim, clear outside.
DdsPixels spark_image()
{
    return dds_pattern(16, 16, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const float r = std::hypot(static_cast<float>(x) - 7.5f, static_cast<float>(y) - 7.5f) / 8.0f;
        if (r >= 1.0f) return 0;
        return r < 0.5f ? 0xFFFFFFFF : 0xFFFFD890;
    });
}

// Bright stripes with clear gaps, so a band drawn with it shows where its frames step.
DdsPixels band_image()
{
    return dds_pattern(64, 16, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        if (y == 0 || y == 15) return 0xFFFFFFFF;
        return (x / 8) % 2 == 0 ? 0xFFFFFFFF : 0;
    });
}

// A glow whose alpha falls off smoothly from the middle.
DdsPixels glow_image()
{
    return dds_pattern(32, 32, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const float r = std::hypot(static_cast<float>(x) - 15.5f, static_cast<float>(y) - 15.5f) / 16.0f;
        const float alpha = std::clamp(1.0f - r, 0.0f, 1.0f);
        return static_cast<std::uint32_t>(alpha * alpha * 255.0f) << 24 | 0xFFF0C0;
    });
}

// Violet with gold diagonals.
DdsPixels rune_image()
{
    return dds_pattern(32, 32, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        return (x + y) % 8 < 2 || (x + 32 - y) % 8 < 2 ? 0xFFF0C040 : 0xFF7040C0;
    });
}

// A soft white star of four points.
DdsPixels trail_burst_image()
{
    return dds_pattern(32, 32, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const float dx = std::fabs(static_cast<float>(x) - 15.5f) / 16.0f;
        const float dy = std::fabs(static_cast<float>(y) - 15.5f) / 16.0f;
        const float alpha = std::clamp(1.0f - std::sqrt(dx * dy) * 3.0f - (dx + dy) * 0.5f, 0.0f, 1.0f);
        return static_cast<std::uint32_t>(alpha * 255.0f) << 24 | 0xFFFFFF;
    });
}

ArchiveSource texture_file(const char* name, DdsFormat format, const DdsPixels& pixels)
{
    return {eft_path(name), dds_build(format, std::span(&pixels, 1))};
}

ArchiveSource texture_file(std::int32_t number, DdsFormat format, const DdsPixels& pixels)
{
    return texture_file(k_texture_names[number], format, pixels);
}

// A double pyramid along y: apex, then the two equator corners of one face, with the face's normal.
void add_crystal_face(QmoBuffer& vertices, const MapVec& apex, const MapVec& a, const MapVec& b)
{
    const MapVec u{a[0] - apex[0], a[1] - apex[1], a[2] - apex[2]};
    const MapVec v{b[0] - apex[0], b[1] - apex[1], b[2] - apex[2]};
    MapVec n{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (float& f : n)
        f /= length;
    demo_put_box_vertex(vertices.data, apex, n, 0xFFFFFFFF, 0.5f, 0.0f);
    demo_put_box_vertex(vertices.data, a, n, 0xFFFFFFFF, 0.0f, 1.0f);
    demo_put_box_vertex(vertices.data, b, n, 0xFFFFFFFF, 1.0f, 1.0f);
    vertices.count += 3;
}

QmoMesh crystal_mesh()
{
    constexpr float half_height = 0.6f, radius = 0.35f;
    const MapVec corners[4] = {{radius, 0, 0}, {0, 0, radius}, {-radius, 0, 0}, {0, 0, -radius}};
    QmoBuffer vertices{0, QMO_FVF_BOX, QMO_BOX_STRIDE, {}};
    for (std::size_t i = 0; i < 4; ++i) {
        const MapVec& a = corners[i];
        const MapVec& b = corners[(i + 1) % 4];
        add_crystal_face(vertices, {0, half_height, 0}, b, a);
        add_crystal_face(vertices, {0, -half_height, 0}, a, b);
    }
    std::vector<std::uint16_t> indices(vertices.count);
    for (std::uint16_t i = 0; i < indices.size(); ++i)
        indices[i] = i;
    QmoMesh mesh{.name = "crystal", .radius = half_height};
    mesh.subsets.push_back({0, 0, vertices.count / 3, 0, vertices.count, {}});
    mesh.vertex_buffers.push_back(std::move(vertices));
    mesh.index_buffers.push_back(qmo_index_buffer(indices));
    return mesh;
}

// One key a time unit: a whole turn about y, swelling twice on the way.
QmoTrack crystal_track()
{
    QmoTrack track{.node = "crystal"};
    for (int k = 0; k <= static_cast<int>(k_crystal_keys); ++k) {
        const float t = static_cast<float>(k) / k_crystal_keys;
        const float half_angle = t * std::numbers::pi_v<float>;
        const float swell = 1.0f + 0.2f * std::sin(t * 4.0f * std::numbers::pi_v<float>);
        track.srt.push_back({static_cast<float>(k),
                             {swell, swell, swell},
                             {0, std::sin(half_angle), 0, std::cos(half_angle)},
                             {0, 0, 0}});
    }
    return track;
}

} // namespace

EftDataSet demo_effect_data()
{
    EftDataSet data;
    for (std::int32_t number = 0; number < static_cast<std::int32_t>(std::size(k_texture_names)); ++number)
        data.textures.push_back({static_cast<std::uint32_t>(number), k_texture_names[number]});
    data.textures.push_back({static_cast<std::uint32_t>(k_texture_trail_burst), k_trail_burst_name});
    data.meshes = {{k_crystal_mesh, k_crystal_mesh_name}};
    // The first list names ids from 0 in order; the ids the demo does not use stay unnamed.
    data.list = eft_list_of(std::vector<std::string>(DEMO_EFFECT_CRYSTAL + 1));
    for (DemoEffect& effect : demo_effects()) {
        data.list[static_cast<std::size_t>(effect.id)].name = effect.list_name;
        data.files.emplace_back(effect.list_name, std::move(effect.file));
    }
    return data;
}

QmoImage demo_effect_mesh()
{
    QmoImage image;
    QmoMaterial material{.word = k_solid_material};
    material.textures[0] = k_texture_names[k_texture_rune];
    image.materials.push_back(material);
    // The root's own pose is the caller's, so the turning node hangs below it.
    image.nodes.push_back({.name = "root", .child = "crystal"});
    image.nodes.push_back({.name = "crystal", .parent = "root", .mesh = "crystal"});
    image.meshes.push_back(crystal_mesh());
    image.tracks.push_back(crystal_track());
    return image;
}

std::vector<ArchiveSource> demo_effect_files()
{
    std::vector<ArchiveSource> files = eft_archive_files(demo_effect_data());
    files.push_back(texture_file(k_texture_spark, DdsFormat::A1R5G5B5, spark_image()));
    files.push_back(texture_file(k_texture_band, DdsFormat::A1R5G5B5, band_image()));
    files.push_back(texture_file(k_texture_glow, DdsFormat::A4R4G4B4, glow_image()));
    files.push_back(texture_file(k_texture_rune, DdsFormat::A1R5G5B5, rune_image()));
    files.push_back(texture_file(k_trail_burst_name, DdsFormat::A4R4G4B4, trail_burst_image()));
    files.push_back({eft_path(k_crystal_mesh_name) + ".z", packed_build(qmo_bytes(demo_effect_mesh()))});
    return files;
}

std::vector<MapEffectDesc> demo_room_effects()
{
    return {
        {.effect_id = DEMO_EFFECT_TORCH, .position = DEMO_TORCH_POSITION},
        {.effect_id = DEMO_EFFECT_FOUNTAIN, .position = DEMO_FOUNTAIN_POSITION},
        {.effect_id = DEMO_EFFECT_RING, .position = DEMO_RING_POSITION},
        {.effect_id = DEMO_EFFECT_CRYSTAL, .position = DEMO_CRYSTAL_POSITION},
    };
}
