// Writer of collision models ("QCO"): a 28-byte header (magic "QCO\0", version, triangle count,
// four kept words), the triangles as 96-byte records (corners, unit normal along
// (a - b) x (b - c), plane distance, twice the area, centroid, 28 attribute bytes), then the
// octree in depth-first pre-order: 72-byte nodes (box, triangle count, a list slot, child count,
// eight child slots, non-zero where a child follows), each followed by its triangle indices and
// its children. Shapes (quads, a box room, a ramp) are built from corners; the tree is given
// node by node or built as an octree.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

constexpr std::uint32_t QCO_TRIANGLE_SIZE = 96;
constexpr std::uint32_t QCO_NODE_SIZE = 72;
constexpr std::uint32_t QCO_HEADER_SIZE = 28;

struct QcoVec {
    float x, y, z;
};

struct QcoTriangle {
    QcoVec a, b, c;
    std::array<std::uint8_t, 28> attributes{};
};

struct QcoNode {
    QcoVec min, max;
    std::vector<std::uint32_t> triangles; // indices into the image's triangles
    std::vector<QcoNode> children;
    std::vector<std::uint8_t> slots; // the slot of each child; empty: 0, 1, 2 ...
    int child_count = -1;            // the stored count; -1: the number of children
};

struct QcoImage {
    std::uint32_t version = 1;
    std::array<std::uint32_t, 4> kept{};
    std::vector<QcoTriangle> triangles;
    QcoNode root;
};

// Two triangles (a, b, c) and (a, c, d), facing along (b - a) x (c - a); with cells > 1 the
// quad is cut into cells x cells such pairs.
std::vector<QcoTriangle> qco_quad(QcoVec a, QcoVec b, QcoVec c, QcoVec d, int cells = 1);
// The six faces of the box, facing inward.
std::vector<QcoTriangle> qco_box_room(QcoVec min, QcoVec max, int cells = 1);
// A slope rising by `height` along +x over `length` from its low edge at `low`, `width` deep
// along +z, facing up.
std::vector<QcoTriangle> qco_ramp(QcoVec low, float length, float width, float height);

// An octree over the triangles' bounding box: a node is split into its non-empty octants
// until it holds at most leaf_size triangles or the depth is reached. A triangle goes into
// every octant its bounding box touches.
QcoNode qco_octree(std::span<const QcoTriangle> triangles, int depth, std::size_t leaf_size);
QcoImage qco_image(std::vector<QcoTriangle> triangles, int depth = 3, std::size_t leaf_size = 8);

std::vector<std::uint8_t> qco_bytes(const QcoImage& image);
bool qco_write_file(const std::filesystem::path& path, const QcoImage& image);
