// Collision models: the triangle soup of a map mesh's solid geometry and an octree over it,
// loaded from "QCO" files. Queries walk the octree with a swept sphere, a segment or a sphere
// and append the triangle lists of the leaves they touch to the shared work list, which the
// solver (coll_sweep.h) and the world queries then examine.
#pragma once

#include "core/maths.h"
#include "platform/win_types.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

constexpr std::uint32_t COLL_VERSION = 1;
constexpr std::uint32_t COLL_MODEL_TAG = 2;
constexpr std::uint32_t COLL_MAX_CHILDREN = 8;
// Deeper trees are rejected at load: they are corrupt, and would exhaust the stack.
constexpr int COLL_MAX_TREE_DEPTH = 32;
constexpr std::size_t COLL_WORK_LIST_START = 2048;

// A triangle as the file stores it and the queries use it (96 bytes).
struct CollisionTriangle {
    Vec3 a, b, c;
    Vec3 normal;        // unit, along (a - b) x (b - c)
    float d;            // normal . p + d = 0 on the plane
    float cross_length; // |(a - b) x (b - c)|, twice the area
    Vec3 centroid;
    std::uint8_t attributes[28]; // surface attributes of the world queries
};
static_assert(sizeof(CollisionTriangle) == 96);
// The attribute byte that marks a triangle already collected by the current search (file offset 0x54).
constexpr std::size_t COLL_ATTR_COLLECTED = 0x10;

struct CollisionNode {
    Box3 box;
    std::uint32_t triangle_count;                           // non-zero: a leaf, whatever children it has
    CollisionTriangle* const* triangles;                    // the leaf's list
    std::uint8_t child_count;                               // queries visit slots 0 .. child_count - 1
    std::array<CollisionNode*, COLL_MAX_CHILDREN> children; // null where the file has no child
};

struct CollisionTree {
    CollisionNode* root = nullptr;
    std::uint32_t kept[4] = {}; // the header's four values, meaning left to their users
};

// Moves keep the nodes' pointers valid; copies would not, so there are none.
struct CollisionModel {
    CollisionModel() = default;
    CollisionModel(CollisionModel&&) = default;
    CollisionModel& operator=(CollisionModel&&) = default;
    CollisionModel(const CollisionModel&) = delete;
    CollisionModel& operator=(const CollisionModel&) = delete;

    std::vector<CollisionTriangle> triangles;
    CollisionTree tree;
    std::uint32_t type_tag = 0;
    std::vector<CollisionNode> nodes;      // the tree's storage, depth-first pre-order
    std::vector<CollisionTriangle*> lists; // the leaves' triangle lists back to back
};

// A moving sphere or a segment: the start and the motion (end - start), with the direction and
// length computed on demand. Set it with coll_sweep_set, which drops the cached values.
struct SweepRecord {
    Vec3 position;
    Vec3 motion;
    Vec3 direction;
    float length;
    bool direction_valid;
    bool length_valid;
};
void coll_sweep_set(SweepRecord& sweep, const Vec3& position, const Vec3& motion);
const Vec3& coll_sweep_direction(SweepRecord& sweep); // (0, 0, 0) for no motion
float coll_sweep_length(SweepRecord& sweep);

// A ".z" path (any case) is unpacked from the archive (ERR_OPEN_FILE when the entry is
// missing); any other path is read whole from disk. Then coll_model_parse.
HRESULT coll_model_load(const char* path, CollisionModel& model);
// Frees what the model held first. ERR_UNKNOWN_FORMAT for a wrong magic, ERR_UNMATCHED_VERSION,
// ERR_UNSUPPORTED_FORMAT for a truncated file, a child count above 8, a triangle index out of
// range or a tree deeper than COLL_MAX_TREE_DEPTH; on failure the model holds nothing.
HRESULT coll_model_parse(CollisionModel& model, std::span<const std::uint8_t> data);
void coll_model_free(CollisionModel& model);

// The shared work list: one entry per leaf a query touched (a triangle in several leaves comes
// several times). Callers clear it before a query; it grows by doubling from
// COLL_WORK_LIST_START entries (coll_alloc_work, coll_sweep.h).
struct CollisionList {
    CollisionTriangle* const* triangles;
    std::uint32_t count;
};
extern std::vector<CollisionList> g_coll_work_list;

// Queries; a null root adds nothing.
// Leaves holding either end of the move, with the boxes grown by the x radius (closed).
void coll_query_swept(const CollisionNode* root, const SweepRecord& sweep, float radius_x);
// Leaves that the segment from the position to the position + motion touches.
void coll_query_segment(const CollisionNode* root, const SweepRecord& segment);
// Leaves touched by the segment a-b with the boxes grown by the radius on x, z and the top and
// by 3 radii at the bottom.
void coll_query_sphere(const CollisionNode* root, const Vec3& a, const Vec3& b, float radius);
