// Writer of models ("QMO", version 9): a 368-byte header (magic, version, the counts of
// materials, ranges, meshes, nodes, tracks and points at 0x14-0x2C, flags at 0x38, three
// 80-byte collision-model names from 0x7C), then ranges (64 bytes), materials (388), nodes
// (240), meshes (a 96-byte header, bone names, subsets with their palettes, vertex-buffer
// descriptors and data, index-buffer descriptors and data), tracks (a 28-byte header and the
// keys of one layout), points (52) and, with flag bit 0, two floats. Names are 8-byte fields.
// Simple shapes: a box and a two-bone skinned model with an animation.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using QmoMatrix = std::array<float, 16>;
inline constexpr QmoMatrix QMO_IDENTITY = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct QmoRange {
    std::uint32_t start = 0;
    std::uint32_t length = 1;
    std::int32_t next = -1;
    float speed = 1.0f;
    float blend_rate = 0.0f;
};

struct QmoMaterial {
    std::uint32_t bits = 0;
    std::uint32_t color = 0xFFFFFFFF;
    std::uint32_t word = 0;
    float alpha = 1.0f;
    std::array<float, 4> values{};
    std::array<std::array<float, 2>, 4> channels{};  // base, phase
    std::array<std::array<float, 3>, 4> constants{}; // rate, amplitude, frequency
    std::array<std::string, 3> textures{};
};

struct QmoNode {
    std::string name{}, child{}, sibling{}, parent{}, mesh{}; // raw 8-byte fields; longer names are cut
    QmoMatrix local = QMO_IDENTITY;
    QmoMatrix inverse_bind = QMO_IDENTITY;
    std::array<float, 3> default_translation{};
    std::array<float, 3> scale{1, 1, 1};
    std::array<float, 3> translation{};
    std::array<float, 4> rotation{0, 0, 0, 1};
};

struct QmoSubset {
    std::uint32_t material = 0;
    std::uint32_t first_triangle = 0;
    std::uint32_t triangle_count = 0;
    std::uint32_t lowest_vertex = 0;
    std::uint32_t vertex_count = 0;
    std::vector<std::int32_t> palette{}; // the mesh's palette size entries
};

struct QmoBuffer {
    std::uint32_t count = 0;
    std::uint32_t format = 0;         // FVF, or the index format (101 INDEX16, 102 INDEX32)
    std::uint32_t element_size = 0;   // stride, or 2 / 4
    std::vector<std::uint8_t> data{}; // count x element_size bytes unless a fixture lies
};

struct QmoMesh {
    std::string name{};
    std::array<float, 3> centre{};
    float radius = 1.0f;
    std::uint32_t palette_size = 0;
    std::uint32_t bones_per_vertex = 0;
    std::vector<std::string> bones{};
    std::vector<QmoSubset> subsets{};
    std::vector<QmoBuffer> vertex_buffers{};
    std::vector<QmoBuffer> index_buffers{};
};

struct QmoSrtKey {
    float time;
    std::array<float, 3> scale;
    std::array<float, 4> rotation;
    std::array<float, 3> translation;
};
struct QmoVecKey { // scale and translation keys: x, y, z, time
    std::array<float, 3> value;
    float time;
};
struct QmoRotationKey {
    std::array<float, 4> value;
    float time;
};
struct QmoMatrixKey {
    QmoMatrix matrix;
    float time;
};

struct QmoTrack {
    std::string node{};
    std::vector<QmoSrtKey> srt{};
    std::vector<QmoVecKey> scale{};
    std::vector<QmoRotationKey> rotation{};
    std::vector<QmoVecKey> translation{};
    std::vector<QmoMatrixKey> matrix{};
};

struct QmoPoint {
    std::string node{};
    std::array<std::uint32_t, 4> values{};
    float weight = 0.0f;
    float radius = 1.0f;
    std::uint32_t value = 0;
};

struct QmoImage {
    std::uint32_t version = 9;
    std::array<std::string, 3> collision_names;
    std::vector<QmoRange> ranges;
    std::vector<QmoMaterial> materials;
    std::vector<QmoNode> nodes;
    std::vector<QmoMesh> meshes;
    std::vector<QmoTrack> tracks;
    std::vector<QmoPoint> points;
    bool has_extra = false;
    std::array<float, 2> extra{};
};

constexpr std::uint32_t QMO_HEADER_SIZE = 368;
constexpr std::uint32_t QMO_RANGE_SIZE = 64;
constexpr std::uint32_t QMO_MATERIAL_SIZE = 388;
constexpr std::uint32_t QMO_NODE_SIZE = 240;
constexpr std::uint32_t QMO_FVF_BOX = 0x152; // position, normal, diffuse, one texture pair
constexpr std::uint32_t QMO_BOX_STRIDE = 36;
constexpr std::uint32_t QMO_FVF_SHADER = 0; // a buffer only vertex-shader declarations describe

// A buffer of 16-bit indices.
QmoBuffer qmo_index_buffer(const std::vector<std::uint16_t>& indices);
// A vertex buffer of the box layout from positions (normal up, white, uv 0).
QmoBuffer qmo_box_vertices(const std::vector<std::array<float, 3>>& positions);

// One rigid node "box" holding the mesh "box": 8 corners of a cube of the half size around the
// origin, 12 triangles in one subset of material 0 (a plain opaque material).
QmoImage qmo_box(float half_size = 1.0f);
// Nodes "root" > "bone1" > "bone2" (bone2 one unit up bone1's y), a skinned mesh "skin" on the
// root with both bones (palette size 2, two bones per vertex; vertex buffer 0 the base stream and
// vertex buffer 1 the blend stream of skin_layout.h, both QMO_FVF_SHADER): the quad
// (-0.5..0.5, 0..2) in the z = 0 plane, its lower corners on bone1 alone, its upper ones on bone2
// alone. One material, and range 0 ("swing": keys 0-4, looping) whose SRT track turns bone2
// about z from 0 to 90 degrees, range 1 (keys 4-4, holding).
QmoImage qmo_two_bone_skinned();

// A material of the given bit flags and alpha, white, untextured.
QmoMaterial qmo_material(std::uint32_t bits, float alpha = 1.0f, std::uint32_t color = 0xFFFFFFFF);
// Names the collision files of sets A, B and C in the header (empty: that set is absent).
void qmo_set_collision_names(QmoImage& image, const std::string& a, const std::string& b = {},
                             const std::string& c = {});
// Replaces the materials and gives the first mesh one subset per material, its triangles shared
// out in order (the last subset takes the rest; at least one triangle each while they last).
void qmo_set_materials(QmoImage& image, const std::vector<QmoMaterial>& materials);

// A node without a mesh at an offset from the model's first node, e.g. "f_0002" or a spike node.
struct QmoNamedPoint {
    std::string name{};
    std::array<float, 3> offset{};
};
// Hangs the points under the first node as its children, chained as siblings after any children
// it has.
void qmo_add_named_nodes(QmoImage& image, const std::vector<QmoNamedPoint>& points);

std::vector<std::uint8_t> qmo_bytes(const QmoImage& image);
bool qmo_write_file(const std::filesystem::path& path, const QmoImage& image);
