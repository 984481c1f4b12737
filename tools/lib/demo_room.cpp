#include "lib/demo_room.h"

#include "lib/dds_writer.h"
#include "lib/demo_effects.h"
#include "lib/le_bytes.h"
#include "lib/packed_writer.h"
#include "lib/sky_writer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr const char* k_room_folder = "data\\map\\s_11\\s_1112\\";
constexpr const char* k_bucket_folder = "data\\map\\mapobj\\bucket_00\\";
constexpr const char* k_save_folder = "data\\map\\mapobj\\save_00\\";
constexpr const char* k_pillar_folder = "data\\map\\mapobj\\pillar_00\\";
constexpr const char* k_platform_folder = "data\\map\\mapobj\\platform_00\\";
constexpr const char* k_title_folder = "data\\map\\s_00\\s_0000\\";
constexpr const char* k_prop_collision = "prop.qco";

constexpr float k_half = DEMO_ROOM_HALF;
constexpr float k_door_half_width = 1.5f;
constexpr float k_door_height = 2.4f;
constexpr float k_door_depth = 1.5f; // the floor reaches this far out through the doorway
constexpr float k_ramp_start_x = 2.0f;
constexpr float k_ledge_x = 8.0f;
constexpr float k_ramp_north_z = -8.0f;
constexpr float k_ledge_north_z = -4.0f;

// A flat face of three or four corners, facing along (b - a) x (c - a); quads are cut into
// cells x cells so that per-vertex lights show on them.
struct Face {
    std::vector<MapVec> corners;
    std::uint32_t colour;
    int cells = 1;
};

MapVec sub(const MapVec& a, const MapVec& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

MapVec lerp(const MapVec& a, const MapVec& b, float t)
{
    return {a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t};
}

MapVec unit_normal(const MapVec& a, const MapVec& b, const MapVec& c)
{
    const MapVec u = sub(b, a), v = sub(c, a);
    const MapVec n{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    return {n[0] / length, n[1] / length, n[2] / length};
}

QcoVec qco(const MapVec& v)
{
    return {v[0], v[1], v[2]};
}

// A face of the floor plan at height y from (x0, z0) to (x1, z1), facing up; the height may
// rise along x from y0 to y1.
Face ground(float x0, float z0, float x1, float z1, float y0, float y1, std::uint32_t colour, int cells)
{
    return {{{x0, y0, z0}, {x0, y0, z1}, {x1, y1, z1}, {x1, y1, z0}}, colour, cells};
}

// An upright face from (px, pz) to (qx, qz) between the heights, facing to the right of p -> q
// seen from above with +z up the page.
Face upright(float px, float pz, float qx, float qz, float y0, float y1, std::uint32_t colour)
{
    return {{{px, y0, pz}, {px, y1, pz}, {qx, y1, qz}, {qx, y0, qz}}, colour, 2};
}

std::vector<Face> room_faces()
{
    constexpr std::uint32_t floor = 0xFF8C7A5C, wall = 0xFFB8B0A0, lintel = 0xFFA09888;
    constexpr std::uint32_t ramp = 0xFF7C8C6C, ledge = 0xFF6C7C9C, side = 0xFF989080;
    const float h = k_half, top = DEMO_WALL_HEIGHT, d = k_door_half_width;
    std::vector<Face> faces = {
        ground(-h, -h, h, h, 0, 0, floor, 24),
        ground(-d, h, d, h + k_door_depth, 0, 0, floor, 2),
        upright(-h, h, -d, h, 0, top, wall), // the north wall, either side of the doorway
        upright(d, h, h, h, 0, top, wall),
        upright(-d, h, d, h, k_door_height, top, lintel),
        upright(h, -h, -h, -h, 0, top, wall), // south
        upright(h, h, h, -h, 0, top, wall),   // east
        upright(-h, -h, -h, h, 0, top, wall), // west
        ground(k_ramp_start_x, -h, k_ledge_x, k_ramp_north_z, 0, DEMO_LEDGE_HEIGHT, ramp, 4),
        {{{k_ramp_start_x, 0, k_ramp_north_z},
          {k_ledge_x, 0, k_ramp_north_z},
          {k_ledge_x, DEMO_LEDGE_HEIGHT, k_ramp_north_z}},
         side},
        ground(k_ledge_x, -h, h, k_ledge_north_z, DEMO_LEDGE_HEIGHT, DEMO_LEDGE_HEIGHT, ledge, 4),
        upright(k_ledge_x, k_ledge_north_z, k_ledge_x, k_ramp_north_z, 0, DEMO_LEDGE_HEIGHT, side),
        upright(h, k_ledge_north_z, k_ledge_x, k_ledge_north_z, 0, DEMO_LEDGE_HEIGHT, side),
    };
    return faces;
}

// A box from the floor up, its sides and top facing out; no bottom, so a probe from the
// prop's foot down meets the ground below it and not the prop.
std::vector<Face> prop_faces(float half_x, float height, float half_z, std::uint32_t side, std::uint32_t top)
{
    const float x = half_x, z = half_z;
    const std::array<std::array<float, 2>, 4> corners = {{{-x, -z}, {x, -z}, {x, z}, {-x, z}}};
    std::vector<Face> faces = {ground(-x, -z, x, z, height, height, top, 1)};
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const auto& [px, pz] = corners[i];
        const auto& [qx, qz] = corners[(i + 1) % corners.size()];
        faces.push_back(upright(px, pz, qx, qz, 0, height, side));
    }
    return faces;
}

std::vector<Face> bucket_faces()
{
    return prop_faces(0.35f, 0.7f, 0.35f, 0xFF8A5A2A, 0xFF3A2A1A);
}

// A square column, its turn plain to see from its two-tone sides.
std::vector<Face> pillar_faces()
{
    std::vector<Face> faces = prop_faces(0.4f, 2.4f, 0.25f, 0xFF6A8A5A, 0xFF3A5A2A);
    faces[1].colour = 0xFFD0C040;
    return faces;
}

std::vector<Face> platform_faces()
{
    return prop_faces(1.0f, 0.2f, 1.0f, 0xFF505A70, 0xFF9098B0);
}

// A low pad the hero steps onto.
std::vector<Face> save_point_faces()
{
    return prop_faces(0.8f, 0.12f, 0.8f, 0xFF6080C0, 0xFFA0E0FF);
}

// One rigid node "map" holding the mesh "map" of every face, in one white opaque material, with
// the collision files named for sets A and C.
QmoImage model_of(const std::vector<Face>& faces, const std::string& collision)
{
    QmoBuffer vertices{0, QMO_FVF_BOX, QMO_BOX_STRIDE, {}};
    std::vector<std::uint16_t> indices;
    float reach = 0.0f;
    const auto add = [&](const MapVec& p, const MapVec& n, std::uint32_t colour, float u, float v) {
        demo_put_box_vertex(vertices.data, p, n, colour, u, v);
        reach = std::max(reach, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
        return static_cast<std::uint16_t>(vertices.count++);
    };
    for (const Face& face : faces) {
        const std::vector<MapVec>& c = face.corners;
        const MapVec n = unit_normal(c[0], c[1], c[2]);
        if (c.size() == 3) {
            for (int i = 0; i < 3; ++i)
                indices.push_back(add(c[static_cast<std::size_t>(i)], n, face.colour, 0, 0));
            continue;
        }
        const int cells = face.cells;
        const auto first = static_cast<std::uint16_t>(vertices.count);
        for (int j = 0; j <= cells; ++j)
            for (int i = 0; i <= cells; ++i) {
                const float s = static_cast<float>(i) / cells, t = static_cast<float>(j) / cells;
                add(lerp(lerp(c[0], c[1], s), lerp(c[3], c[2], s), t), n, face.colour, s, t);
            }
        const auto at = [&](int i, int j) { return static_cast<std::uint16_t>(first + j * (cells + 1) + i); };
        for (int j = 0; j < cells; ++j)
            for (int i = 0; i < cells; ++i)
                for (std::uint16_t index :
                     {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1), at(i, j + 1)})
                    indices.push_back(index);
    }
    QmoImage image;
    image.materials.push_back({});
    image.nodes.push_back({.name = "map", .mesh = "map"});
    QmoMesh mesh{.name = "map", .radius = reach};
    const auto triangles = static_cast<std::uint32_t>(indices.size() / 3);
    mesh.subsets.push_back({0, 0, triangles, 0, vertices.count, {}});
    mesh.vertex_buffers.push_back(std::move(vertices));
    mesh.index_buffers.push_back(qmo_index_buffer(indices));
    image.meshes.push_back(std::move(mesh));
    qmo_set_collision_names(image, collision, {}, collision);
    return image;
}

// The same faces as collision triangles, cut as the model cuts them.
std::vector<QcoTriangle> collision_of(const std::vector<Face>& faces)
{
    std::vector<QcoTriangle> triangles;
    for (const Face& face : faces) {
        const std::vector<MapVec>& c = face.corners;
        if (c.size() == 3) {
            triangles.push_back({qco(c[0]), qco(c[1]), qco(c[2])});
            continue;
        }
        for (const QcoTriangle& t : qco_quad(qco(c[0]), qco(c[1]), qco(c[2]), qco(c[3]), face.cells))
            triangles.push_back(t);
    }
    return triangles;
}

ArchiveSource packed(std::string path, const std::vector<std::uint8_t>& bytes)
{
    return {path + ".z", packed_build(bytes)};
}

std::uint32_t mix_argb(std::uint32_t from, std::uint32_t to, float t)
{
    std::uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const float a = static_cast<float>(from >> shift & 0xFF), b = static_cast<float>(to >> shift & 0xFF);
        out |= static_cast<std::uint32_t>(a + (b - a) * t + 0.5f) << shift;
    }
    return out;
}

// Face i of the box (z+, z-, x+, x-, top, bottom): the sides fade from the top colour down to
// the horizon, the top is the top colour and the bottom the horizon's.
DdsPixels sky_face(const DemoRoomStyle& style, int face)
{
    return dds_pattern(64, 64, [&](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        if (face == 4) return style.sky_top;
        if (face == 5) return style.sky_horizon;
        const float band = (x / 8 + y / 8) % 2 == 0 ? 0.0f : 0.06f; // a faint check shows the scroll
        return mix_argb(style.sky_top, style.sky_horizon,
                        std::min(1.0f, static_cast<float>(y) / 63.0f + band));
    });
}

std::string sky_object_path(const DemoRoomStyle& style)
{
    return "data\\map\\" + style.scene_path + "sky.sbx";
}

void add_sky(const DemoRoomStyle& style, std::vector<ArchiveSource>& files)
{
    SkyFile sky{.scale = 200.0f};
    for (int i = 0; i < SKY_TEXTURE_COUNT; ++i) {
        sky.textures[static_cast<std::size_t>(i)] = "sky_" + std::to_string(i) + ".dds";
        const DdsPixels face = sky_face(style, i);
        files.push_back({"data\\map\\" + style.scene_path + sky.textures[static_cast<std::size_t>(i)],
                         dds_build(DdsFormat::A1R5G5B5, std::span(&face, 1))});
    }
    files.push_back(sky_archive_file(sky_file_path(sky_object_path(style)), sky));
}

// A dark disc that fades out toward its rim, as the ground shadows draw it.
DdsPixels shadow_image()
{
    return dds_pattern(64, 64, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const float dx = (static_cast<float>(x) - 31.5f) / 32.0f,
                    dy = (static_cast<float>(y) - 31.5f) / 32.0f;
        const float fade = std::clamp(1.0f - std::sqrt(dx * dx + dy * dy), 0.0f, 1.0f);
        return static_cast<std::uint32_t>(std::min(1.0f, fade * 1.6f) * 255.0f) << 24;
    });
}

std::vector<std::uint8_t> room_collision_bytes()
{
    return qco_bytes(qco_image(collision_of(room_faces())));
}

MapCameraDesc orbit_camera()
{
    MapCameraDesc camera;
    camera.eye = {.mode = 3, .orbit_pitch = 0.3f, .orbit_distance = 9.0f};
    camera.view_angle = 0.9f;
    camera.blend_rate = 0.05f;
    camera.corner1 = {-k_half, -4.0f, -k_half};
    camera.corner2 = {k_half, 8.0f, k_half};
    return camera;
}

// Over the ramp and the ledge, the eye higher and turned toward the east wall.
MapCameraDesc ramp_camera()
{
    MapCameraDesc camera = orbit_camera();
    camera.eye = {.mode = 3, .orbit_yaw = 0.5f, .orbit_pitch = 0.9f, .orbit_distance = 11.0f};
    camera.centre = DEMO_RAMP_REGION_CENTRE;
    camera.corner1 = {-5.5f, -2.5f, -4.5f};
    camera.corner2 = {5.5f, 4.0f, 4.5f};
    return camera;
}

MapObjectDesc placed(const std::string& model, const MapVec& at, const std::string& name)
{
    return {.model_path = model, .position = at, .name = name};
}

} // namespace

void demo_put_box_vertex(std::vector<std::uint8_t>& out, const MapVec& p, const MapVec& normal,
                         std::uint32_t colour, float u, float v)
{
    le_put_vec3(out, p);
    le_put_vec3(out, normal);
    le_put_u32(out, colour);
    le_put_f32(out, u);
    le_put_f32(out, v);
}

DemoRoomStyle demo_room_first_style()
{
    return {"s_11\\s_1112\\", "s_1112", "s_10\\s_1010\\", 0xFF3060B0, 0xFFB0D0F0, 0x00A0B0C8};
}

DemoRoomStyle demo_room_second_style()
{
    return {"s_10\\s_1010\\", "s_1010", "s_11\\s_1112\\", 0xFF302050, 0xFFF09050, 0x00C09070};
}

QmoImage demo_room_model()
{
    return model_of(room_faces(), DEMO_ROOM_COLLISION);
}

std::vector<QcoTriangle> demo_room_collision()
{
    return collision_of(room_faces());
}

MapSet demo_room_map(const DemoRoomStyle& style)
{
    MapSet map{.scene_path = style.scene_path, .stem = style.stem};
    map.objects = std::vector<MapObjectDesc>{
        placed(DEMO_ROOM_MODEL, {0, 0, 0}, "room"),
        {.model_path = sky_object_path(style), .name = "sky", .kind = 2},
        placed(DEMO_BUCKET_MODEL, DEMO_BUCKET_POSITION, "bucket"),
        placed(MAP_SAVE_POINT_MODEL, DEMO_SAVE_POSITION, "save"),
        placed(DEMO_PILLAR_MODEL, DEMO_PILLAR_POSITION, "pillar"),
        placed(DEMO_PLATFORM_MODEL, DEMO_PLATFORM_POSITION, "platform"),
    };
    map.effects = demo_room_effects();
    map.fog = std::vector<MapFogDesc>{
        {.fog_near = 30.0f, .fog_far = 120.0f, .colour = style.fog_colour},
        {.centre = DEMO_LEDGE_FOG_CENTRE,
         .corner1 = {-2.0f, -2.0f, -4.0f},
         .corner2 = {2.0f, 4.0f, 4.0f},
         .fog_near = 2.0f,
         .fog_far = 20.0f,
         .colour = 0x00E0E0E0},
    };
    map.cameras = std::vector<MapCameraDesc>{orbit_camera(), ramp_camera()};
    map.exits = std::vector<MapExitDesc>{{
        .centre = {0.0f, 1.0f, k_half + k_door_depth / 2},
        .corner1 = {-k_door_half_width, -1.0f, -k_door_depth / 2},
        .corner2 = {k_door_half_width, 2.0f, k_door_depth / 2},
        .destination = style.destination,
        .arrival_position = DEMO_ARRIVAL,
        .arrival_facing = DEMO_ARRIVAL_COMPASS,
    }};
    map.cast = std::vector<MapCastDesc>{
        {.cast_name = DEMO_HERO_CAST_NAME, .facing = DEMO_ARRIVAL_COMPASS, .position = DEMO_ARRIVAL}};
    map.sbe_records = 1;
    return map;
}

std::string demo_room_start_script(const DemoRoomStyle& style, int map_number, std::string_view tail)
{
    std::string script = "action 0\n";
    for (const char* command :
         {"FUNCID_MAP_OBJECTS", "FUNCID_MAP_EFFECTS", "FUNCID_MAP_FOG", "FUNCID_MAP_CAMERAS",
          "FUNCID_MAP_EXITS", "FUNCID_MAP_CAST", "FUNCID_MAP_SBE"})
        script += std::string("call ") + command + " \"" + style.stem + "\"\n";
    script += "call FUNCID_SKY_LAYERS 1 6 0 0.0 0.0 0.0 0.0 0.0 0.0\n";
    script += "call FUNCID_FLAG_SETINT flag:201 " + std::to_string(map_number) + "\n";
    return script + std::string(tail);
}

std::vector<ArchiveSource> demo_room_files()
{
    std::vector<ArchiveSource> files;
    for (const DemoRoomStyle& style : {demo_room_first_style(), demo_room_second_style()}) {
        map_set_archive_files(demo_room_map(style), files);
        add_sky(style, files);
    }
    files.push_back(packed(DEMO_ROOM_MODEL, qmo_bytes(demo_room_model())));
    files.push_back(packed(std::string(k_room_folder) + DEMO_ROOM_COLLISION, room_collision_bytes()));
    files.push_back(demo_title_map_collision());
    const struct {
        const char* folder;
        const char* model;
        std::vector<Face> faces;
    } props[] = {{k_bucket_folder, DEMO_BUCKET_MODEL, bucket_faces()},
                 {k_save_folder, MAP_SAVE_POINT_MODEL, save_point_faces()},
                 {k_pillar_folder, DEMO_PILLAR_MODEL, pillar_faces()},
                 {k_platform_folder, DEMO_PLATFORM_MODEL, platform_faces()}};
    for (const auto& prop : props) {
        files.push_back(packed(prop.model, qmo_bytes(model_of(prop.faces, k_prop_collision))));
        files.push_back(packed(std::string(prop.folder) + k_prop_collision,
                               qco_bytes(qco_image(collision_of(prop.faces)))));
    }
    const DdsPixels shadow = shadow_image();
    files.push_back({DEMO_SHADOW_IMAGE, dds_build(DdsFormat::A4R4G4B4, std::span(&shadow, 1))});
    return files;
}

ArchiveSource demo_title_map_collision()
{
    return packed(std::string(k_title_folder) + DEMO_ROOM_COLLISION, room_collision_bytes());
}

bool demo_write_title_map(const std::filesystem::path& folder)
{
    return qmo_write_file(folder / "data" / "map" / "s_00" / "s_0000" / "s_0000.qmo", demo_room_model());
}
