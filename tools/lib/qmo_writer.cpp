#include "lib/qmo_writer.h"

#include "lib/archive_writer.h"
#include "lib/le_bytes.h"
#include "lib/skin_layout.h"

#include <algorithm>
#include <cmath>

namespace {

void put_name(std::vector<std::uint8_t>& out, const std::string& name, std::size_t size = 8)
{
    for (std::size_t i = 0; i < size; ++i)
        le_put_u8(out, i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
}

template <std::size_t N> void put_floats(std::vector<std::uint8_t>& out, const std::array<float, N>& values)
{
    for (float v : values)
        le_put_f32(out, v);
}

void put_header(std::vector<std::uint8_t>& out, const QmoImage& image)
{
    out.insert(out.end(), {'Q', 'M', 'O', 0});
    le_put_u32(out, image.version);
    le_put_zeros(out, 12);
    le_put_u32(out, static_cast<std::uint32_t>(image.materials.size()));
    le_put_u32(out, static_cast<std::uint32_t>(image.ranges.size()));
    le_put_u32(out, static_cast<std::uint32_t>(image.meshes.size()));
    le_put_u32(out, static_cast<std::uint32_t>(image.nodes.size()));
    le_put_u32(out, static_cast<std::uint32_t>(image.tracks.size()));
    le_put_u32(out, 0);
    le_put_u32(out, static_cast<std::uint32_t>(image.points.size()));
    le_put_zeros(out, 8);
    le_put_u32(out, image.has_extra ? 1 : 0);
    le_put_zeros(out, 64);
    for (const std::string& name : image.collision_names)
        put_name(out, name, 80);
    le_put_zeros(out, 4);
}

void put_range(std::vector<std::uint8_t>& out, const QmoRange& range)
{
    le_put_u32(out, range.start);
    le_put_u32(out, range.length);
    le_put_u32(out, static_cast<std::uint32_t>(range.next));
    le_put_f32(out, range.speed);
    le_put_f32(out, range.blend_rate);
    le_put_zeros(out, 44);
}

void put_material(std::vector<std::uint8_t>& out, const QmoMaterial& material)
{
    le_put_u32(out, material.bits);
    le_put_u32(out, material.color);
    le_put_u32(out, material.word);
    le_put_f32(out, material.alpha);
    le_put_zeros(out, 8);
    put_floats(out, material.values);
    for (const auto& channel : material.channels)
        put_floats(out, channel);
    for (const auto& constants : material.constants) {
        put_floats(out, constants);
        le_put_f32(out, 0.0f);
    }
    le_put_zeros(out, 12);
    for (const std::string& name : material.textures)
        put_name(out, name, 80);
}

void put_node(std::vector<std::uint8_t>& out, const QmoNode& node)
{
    for (const std::string* name : {&node.name, &node.child, &node.sibling, &node.parent, &node.mesh})
        put_name(out, *name);
    le_put_zeros(out, 8);
    put_floats(out, node.local);
    put_floats(out, node.inverse_bind);
    put_floats(out, node.default_translation);
    put_floats(out, node.scale);
    put_floats(out, node.translation);
    put_floats(out, node.rotation);
    le_put_zeros(out, 12);
}

void put_buffers(std::vector<std::uint8_t>& out, const std::vector<QmoBuffer>& buffers)
{
    for (const QmoBuffer& buffer : buffers) {
        le_put_u32(out, 0);
        le_put_u32(out, buffer.count);
        le_put_u32(out, buffer.format);
        le_put_u32(out, buffer.element_size);
        le_put_zeros(out, 16);
    }
    for (const QmoBuffer& buffer : buffers)
        if (buffer.count > 0) out.insert(out.end(), buffer.data.begin(), buffer.data.end());
}

void put_mesh(std::vector<std::uint8_t>& out, const QmoMesh& mesh)
{
    put_floats(out, mesh.centre);
    le_put_f32(out, mesh.radius);
    le_put_zeros(out, 48);
    le_put_u32(out, static_cast<std::uint32_t>(mesh.subsets.size()));
    le_put_u32(out, static_cast<std::uint32_t>(mesh.vertex_buffers.size()));
    le_put_u32(out, static_cast<std::uint32_t>(mesh.index_buffers.size()));
    le_put_u32(out, mesh.palette_size);
    le_put_u32(out, mesh.bones_per_vertex);
    le_put_u32(out, static_cast<std::uint32_t>(mesh.bones.size()));
    put_name(out, mesh.name);
    for (const std::string& bone : mesh.bones)
        put_name(out, bone);
    for (const QmoSubset& subset : mesh.subsets) {
        for (std::uint32_t v : {subset.material, subset.first_triangle, subset.triangle_count,
                                subset.lowest_vertex, subset.vertex_count, 0u, 0u, 0u})
            le_put_u32(out, v);
        for (std::uint32_t i = 0; i < mesh.palette_size; ++i)
            le_put_u32(out, static_cast<std::uint32_t>(i < subset.palette.size() ? subset.palette[i] : -1));
    }
    put_buffers(out, mesh.vertex_buffers);
    put_buffers(out, mesh.index_buffers);
}

void put_track(std::vector<std::uint8_t>& out, const QmoTrack& track)
{
    put_name(out, track.node);
    for (std::size_t count : {track.srt.size(), track.scale.size(), track.rotation.size(),
                              track.translation.size(), track.matrix.size()})
        le_put_u32(out, static_cast<std::uint32_t>(count));
    if (!track.matrix.empty()) {
        for (const QmoMatrixKey& key : track.matrix) {
            put_floats(out, key.matrix);
            le_put_f32(out, key.time);
            le_put_zeros(out, 12);
        }
        return;
    }
    if (!track.srt.empty()) {
        for (const QmoSrtKey& key : track.srt) {
            le_put_f32(out, key.time);
            put_floats(out, key.scale);
            put_floats(out, key.rotation);
            put_floats(out, key.translation);
        }
        return;
    }
    for (const QmoVecKey& key : track.scale) {
        put_floats(out, key.value);
        le_put_f32(out, key.time);
    }
    for (const QmoRotationKey& key : track.rotation) {
        put_floats(out, key.value);
        le_put_f32(out, key.time);
    }
    for (const QmoVecKey& key : track.translation) {
        put_floats(out, key.value);
        le_put_f32(out, key.time);
    }
}

void put_point(std::vector<std::uint8_t>& out, const QmoPoint& point)
{
    put_name(out, point.node);
    for (std::uint32_t v : point.values)
        le_put_u32(out, v);
    le_put_f32(out, point.weight);
    le_put_f32(out, point.radius);
    le_put_u32(out, point.value);
    le_put_zeros(out, 16);
}

} // namespace

QmoBuffer qmo_index_buffer(const std::vector<std::uint16_t>& indices)
{
    QmoBuffer buffer{static_cast<std::uint32_t>(indices.size()), 101, 2, {}};
    for (std::uint16_t index : indices) {
        le_put_u8(buffer.data, static_cast<std::uint8_t>(index));
        le_put_u8(buffer.data, static_cast<std::uint8_t>(index >> 8));
    }
    return buffer;
}

QmoBuffer qmo_box_vertices(const std::vector<std::array<float, 3>>& positions)
{
    QmoBuffer buffer{static_cast<std::uint32_t>(positions.size()), QMO_FVF_BOX, QMO_BOX_STRIDE, {}};
    for (const auto& p : positions) {
        put_floats(buffer.data, p);
        put_floats(buffer.data, std::array<float, 3>{0, 1, 0});
        le_put_u32(buffer.data, 0xFFFFFFFF);
        put_floats(buffer.data, std::array<float, 2>{0, 0});
    }
    return buffer;
}

QmoImage qmo_box(float h)
{
    QmoImage image;
    image.materials.push_back({});
    image.nodes.push_back({.name = "box", .mesh = "box"});
    QmoMesh mesh{.name = "box", .radius = h * std::sqrt(3.0f)};
    std::vector<std::array<float, 3>> corners;
    for (int i = 0; i < 8; ++i)
        corners.push_back({i & 1 ? h : -h, i & 2 ? h : -h, i & 4 ? h : -h});
    mesh.vertex_buffers.push_back(qmo_box_vertices(corners));
    mesh.index_buffers.push_back(qmo_index_buffer({0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                                                   2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5}));
    mesh.subsets.push_back({0, 0, 12, 0, 8, {}});
    image.meshes.push_back(mesh);
    return image;
}

QmoImage qmo_two_bone_skinned()
{
    QmoImage image;
    image.materials.push_back({});
    image.ranges.push_back({0, 5, -2, 1.0f, 0.0f});
    image.ranges.push_back({4, 1, -1, 1.0f, 0.0f});
    image.nodes.push_back({.name = "root", .child = "bone1", .mesh = "skin"});
    image.nodes.push_back({.name = "bone1", .child = "bone2", .parent = "root"});
    QmoNode bone2{.name = "bone2", .parent = "bone1"};
    bone2.local[13] = 1.0f;
    bone2.inverse_bind[13] = -1.0f;
    bone2.translation = {0, 1, 0};
    bone2.default_translation = {0, 1, 0};
    image.nodes.push_back(bone2);

    QmoMesh mesh{.name = "skin",
                 .radius = 2.0f,
                 .palette_size = 2,
                 .bones_per_vertex = 2,
                 .bones = {"bone1", "bone2"}};
    // The lower corners follow bone1 (palette slot 0) wholly, the upper ones bone2 (slot 1).
    QmoBuffer base{4, QMO_FVF_SHADER, skin_base_stride(2), {}};
    QmoBuffer blend{4, QMO_FVF_SHADER, SKIN_BLEND_STRIDE, {}};
    for (const std::array<float, 3>& p :
         std::vector<std::array<float, 3>>{{-0.5f, 0, 0}, {0.5f, 0, 0}, {-0.5f, 2, 0}, {0.5f, 2, 0}}) {
        skin_put_base_vertex(base.data, {.weights = {p[1] == 0 ? 1.0f : 0.0f, 0, 0}}, 2);
        skin_put_blend_vertex(blend.data, {.position = p, .palette_slots = {0, 1, 0, 0}});
    }
    mesh.vertex_buffers = {base, blend};
    mesh.index_buffers.push_back(qmo_index_buffer({0, 2, 1, 1, 2, 3}));
    mesh.subsets.push_back({0, 0, 2, 0, 4, {0, 1}});
    image.meshes.push_back(mesh);

    QmoTrack track{.node = "bone2"};
    for (int k = 0; k < 5; ++k) {
        float half = 0.5f * static_cast<float>(k) * 0.39269908f; // 22.5 degrees a key
        track.srt.push_back(
            {static_cast<float>(k), {1, 1, 1}, {0, 0, std::sin(half), std::cos(half)}, {0, 1, 0}});
    }
    image.tracks.push_back(track);
    return image;
}

QmoMaterial qmo_material(std::uint32_t bits, float alpha, std::uint32_t color)
{
    return QmoMaterial{.bits = bits, .color = color, .alpha = alpha};
}

void qmo_set_collision_names(QmoImage& image, const std::string& a, const std::string& b,
                             const std::string& c)
{
    image.collision_names = {a, b, c};
}

void qmo_set_materials(QmoImage& image, const std::vector<QmoMaterial>& materials)
{
    image.materials = materials;
    if (image.meshes.empty() || materials.empty()) return;
    QmoMesh& mesh = image.meshes[0];
    std::uint32_t triangles = 0;
    for (const QmoSubset& subset : mesh.subsets)
        triangles += subset.triangle_count;
    const QmoSubset shape = mesh.subsets.empty() ? QmoSubset{} : mesh.subsets[0];
    mesh.subsets.clear();
    const auto count = static_cast<std::uint32_t>(materials.size());
    const std::uint32_t share = triangles / count;
    std::uint32_t first = 0;
    for (std::uint32_t m = 0; m < count; ++m) {
        const std::uint32_t take = m + 1 == count ? triangles - first : share;
        mesh.subsets.push_back({m, first, take, shape.lowest_vertex, shape.vertex_count, shape.palette});
        first += take;
    }
}

namespace {

std::size_t qmo_node_index(const QmoImage& image, const std::string& name)
{
    auto found = std::find_if(image.nodes.begin(), image.nodes.end(),
                              [&](const QmoNode& node) { return node.name == name; });
    return static_cast<std::size_t>(found - image.nodes.begin());
}

} // namespace

void qmo_add_named_nodes(QmoImage& image, const std::vector<QmoNamedPoint>& points)
{
    if (image.nodes.empty() || points.empty()) return;
    // The new chain starts at the first node's child link, or after its last child.
    std::size_t owner = 0;
    bool through_child = true;
    std::string next = image.nodes[0].child;
    while (!next.empty()) {
        const std::size_t index = qmo_node_index(image, next);
        if (index == image.nodes.size()) break;
        owner = index;
        through_child = false;
        next = image.nodes[index].sibling;
    }
    const std::string parent = image.nodes[0].name;
    for (std::size_t i = 0; i < points.size(); ++i) {
        QmoNode node{.name = points[i].name, .parent = parent};
        if (i + 1 < points.size()) node.sibling = points[i + 1].name;
        node.local[12] = points[i].offset[0];
        node.local[13] = points[i].offset[1];
        node.local[14] = points[i].offset[2];
        node.translation = points[i].offset;
        node.default_translation = points[i].offset;
        image.nodes.push_back(node);
    }
    (through_child ? image.nodes[owner].child : image.nodes[owner].sibling) = points[0].name;
}

std::vector<std::uint8_t> qmo_bytes(const QmoImage& image)
{
    std::vector<std::uint8_t> out;
    put_header(out, image);
    for (const QmoRange& range : image.ranges)
        put_range(out, range);
    for (const QmoMaterial& material : image.materials)
        put_material(out, material);
    for (const QmoNode& node : image.nodes)
        put_node(out, node);
    for (const QmoMesh& mesh : image.meshes)
        put_mesh(out, mesh);
    for (const QmoTrack& track : image.tracks)
        put_track(out, track);
    for (const QmoPoint& point : image.points)
        put_point(out, point);
    if (image.has_extra) put_floats(out, image.extra);
    return out;
}

bool qmo_write_file(const std::filesystem::path& path, const QmoImage& image)
{
    return tools_write_file(path, qmo_bytes(image));
}
