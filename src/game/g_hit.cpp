#include "game/g_hit.h"

#include "object/go_mesh.h"
#include "object/obj_pools.h"
#include "scenegraph/coll_sweep.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

enum class HitSet { A, B, C };

Vec3 to_vec3(const D3DXVECTOR3& v)
{
    return {v.x, v.y, v.z};
}

D3DXVECTOR3 to_d3d(const Vec3& v)
{
    return {v.x, v.y, v.z};
}

D3DXVECTOR3 transform_point(const D3DXVECTOR3& point, const D3DXMATRIX& matrix)
{
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &point, &matrix);
    return out;
}

Vec3 transform_point(const Vec3& point, const D3DXMATRIX& matrix)
{
    return to_vec3(transform_point(to_d3d(point), matrix));
}

GoMesh& mesh_at(std::int32_t index)
{
    return *static_cast<GoMesh*>(g_pool_mesh.active[index]);
}

// Null when the mesh lacks the set or has collision off.
const CollisionModel* mesh_set(const GoMesh& mesh, HitSet set)
{
    if (!mesh.enabled) return nullptr;
    switch (set) {
    case HitSet::A:
        return mesh.has_collision_a ? &mesh.collision_a : nullptr;
    case HitSet::B:
        return mesh.has_collision_b ? &mesh.collision_b : nullptr;
    case HitSet::C:
        return mesh.has_collision_c ? &mesh.collision_c : nullptr;
    }
    return nullptr;
}

// The radius of the model's first mesh; 0 (never culled) without one.
bool hit_segment_meshes(HitSet set, HitSegment& record)
{
    const D3DXVECTOR3 start = record.world_start;
    const D3DXVECTOR3 end = record.world_end;
    float best = FLT_MAX;
    for (std::int32_t i = 0; i < g_pool_mesh.count; ++i) {
        GoMesh& mesh = mesh_at(i);
        const CollisionModel* model = mesh_set(mesh, set);
        if (!model) continue;
        if (mesh.identity)
            coll_record_set_world(end, start, record);
        else
            coll_record_to_mesh_space(start, record, end, mesh.combined_inverse);
        Vec3 point{};
        float distance = FLT_MAX;
        CollisionTriangle* triangle = nullptr;
        g_coll_work_list.clear();
        coll_query_segment(model->tree.root, record.working);
        coll_segment_nearest_hit(point, distance, triangle, record.working);
        if (!triangle) continue;
        // Compared in world space, so a scaled mesh cannot beat a nearer hit elsewhere.
        const D3DXVECTOR3 world_point =
            mesh.identity ? to_d3d(point) : transform_point(to_d3d(point), mesh.combined);
        const D3DXVECTOR3 offset = world_point - start;
        const float world_distance = D3DXVec3Length(&offset);
        if (!(world_distance < best)) continue;
        best = world_distance;
        record.hit_point = to_d3d(point);
        record.hit_triangle = triangle;
        record.mesh_index = i;
        if (mesh.identity) {
            record.triangle = *triangle;
        } else {
            coll_segment_result_to_world(record, mesh.combined);
        }
        record.distance = world_distance;
    }
    return best < FLT_MAX;
}

// A sweep that ends within rounding of its goal did not change the move: the solver's trip
// through unit-sphere space costs a few units in the last place.
bool reached(const SweepRecord& sweep, const Vec3& position)
{
    const Vec3& start = sweep.position;
    const Vec3 goal{start.x + sweep.motion.x, start.y + sweep.motion.y, start.z + sweep.motion.z};
    const float magnitude = std::max({std::fabs(start.x), std::fabs(start.y), std::fabs(start.z),
                                      std::fabs(goal.x), std::fabs(goal.y), std::fabs(goal.z)});
    const float tolerance = 1.0e-6f * (1.0f + magnitude);
    return std::fabs(position.x - goal.x) <= tolerance && std::fabs(position.y - goal.y) <= tolerance &&
           std::fabs(position.z - goal.z) <= tolerance;
}

bool culled(const GoMesh& mesh, const D3DXVECTOR3& centre, float radius)
{
    const float bound = mesh_bounding_radius(mesh);
    if (bound == 0.0f) return false;
    const D3DXVECTOR3 offset = centre - mesh.position;
    return (bound * bound + radius * radius) * 1.5f < D3DXVec3LengthSq(&offset);
}

// How far a world length can stretch in the mesh's space (an upper bound: the Frobenius norm of
// the inverse's 3 x 3 part).
float mesh_space_stretch(const D3DXMATRIX& inverse)
{
    float sum = 0.0f;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            sum += inverse(row, column) * inverse(row, column);
    return std::sqrt(sum);
}

struct CopyRange {
    std::uint32_t first;
    std::uint32_t count;
};

// The triangles every mesh offers one sphere query, all in world space: the lists of meshes at
// the identity as they are, world copies of the others' (each triangle once).
struct SphereCandidates {
    std::vector<CollisionList> lists;
    std::vector<CollisionTriangle> copies;
    std::vector<CollisionTriangle*> pointers;
    std::vector<CopyRange> copy_ranges; // made into lists once the copies stop moving
};
SphereCandidates g_sphere_candidates;

void copy_to_world(const GoMesh& mesh, SphereCandidates& candidates)
{
    const std::uint32_t first = static_cast<std::uint32_t>(candidates.copies.size());
    for (const CollisionList& list : g_coll_work_list)
        for (std::uint32_t i = 0; i < list.count; ++i)
            list.triangles[i]->attributes[COLL_ATTR_COLLECTED] = 0;
    for (const CollisionList& list : g_coll_work_list) {
        for (std::uint32_t i = 0; i < list.count; ++i) {
            CollisionTriangle& triangle = *list.triangles[i];
            if (triangle.attributes[COLL_ATTR_COLLECTED]) continue;
            triangle.attributes[COLL_ATTR_COLLECTED] = 1;
            CollisionTriangle& copy = candidates.copies.emplace_back(triangle);
            copy.a = transform_point(triangle.a, mesh.combined);
            copy.b = transform_point(triangle.b, mesh.combined);
            copy.c = transform_point(triangle.c, mesh.combined);
            coll_triangle_plane(copy);
            coll_triangle_centroid(copy);
        }
    }
    const auto count = static_cast<std::uint32_t>(candidates.copies.size()) - first;
    if (count > 0) candidates.copy_ranges.push_back({first, count});
}

// Gathers into g_coll_work_list what the sphere moving from the centre to the target may touch.
void gather_sphere_candidates(HitSet set, HitSphere& record)
{
    SphereCandidates& candidates = g_sphere_candidates;
    candidates.lists.clear();
    candidates.copies.clear();
    candidates.copy_ranges.clear();
    const float radius = record.radii.x;
    for (std::int32_t i = 0; i < g_pool_mesh.count; ++i) {
        GoMesh& mesh = mesh_at(i);
        const CollisionModel* model = mesh_set(mesh, set);
        if (!model || (i > 0 && culled(mesh, record.centre, radius))) continue;
        g_coll_work_list.clear();
        if (mesh.identity) {
            coll_sphere_set_world(record.target, record.centre, record);
            coll_query_swept(model->tree.root, record.working, radius);
            candidates.lists.insert(candidates.lists.end(), g_coll_work_list.begin(), g_coll_work_list.end());
        } else {
            coll_sphere_to_mesh_space(record.centre, record, record.target, mesh.combined_inverse);
            coll_query_swept(model->tree.root, record.working,
                             radius * mesh_space_stretch(mesh.combined_inverse));
            copy_to_world(mesh, candidates);
        }
    }
    candidates.pointers.resize(candidates.copies.size());
    for (std::size_t i = 0; i < candidates.copies.size(); ++i)
        candidates.pointers[i] = &candidates.copies[i];
    for (const CopyRange& range : candidates.copy_ranges)
        candidates.lists.push_back({candidates.pointers.data() + range.first, range.count});
    g_coll_work_list.assign(candidates.lists.begin(), candidates.lists.end());
}

// One sweep in world space through the triangles of every mesh at once, so a corner made by two
// meshes holds the sphere as a corner of one mesh does.
bool hit_sphere_meshes(HitSet set, HitSphere& record)
{
    gather_sphere_candidates(set, record);
    coll_sphere_set_world(record.target, record.centre, record);
    record.resolved = record.target;
    if (!g_coll_work_list.empty()) {
        Vec3 position{};
        Vec3 motion{};
        coll_sweep_ellipsoid(position, motion, record.working, to_vec3(record.radii));
        if (!reached(record.working, position)) record.resolved = to_d3d(position);
    }
    record.correction = record.resolved - record.target;
    return record.correction == D3DXVECTOR3(0, 0, 0);
}

} // namespace

void hit_segment_query_init(const D3DXVECTOR3& start, const D3DXVECTOR3& delta, HitSegment& record)
{
    hit_segment_init_simple(start, start + delta, record);
}

void hit_segment_init_simple(const D3DXVECTOR3& start, const D3DXVECTOR3& end, HitSegment& record)
{
    record = HitSegment{};
    coll_record_set_world(end, start, record);
    record.world_start = start;
    record.world_end = end;
    record.hit_point = start;
}

void hit_sphere_init(const D3DXVECTOR3& centre, const D3DXVECTOR3& target, float radius, HitSphere& record)
{
    record = HitSphere{};
    coll_sphere_set_world(target, centre, record);
    record.radii = {radius, radius, radius};
    record.centre = centre;
    record.target = target;
    record.resolved = target;
}

bool hit_segment_meshes_a(HitSegment& record)
{
    return hit_segment_meshes(HitSet::A, record);
}

bool hit_segment_meshes_b(HitSegment& record)
{
    return hit_segment_meshes(HitSet::B, record);
}

bool hit_segment_meshes_c(HitSegment& record)
{
    return hit_segment_meshes(HitSet::C, record);
}

bool hit_sphere_meshes_a(HitSphere& record)
{
    return hit_sphere_meshes(HitSet::A, record);
}

bool hit_sphere_meshes_c(HitSphere& record)
{
    return hit_sphere_meshes(HitSet::C, record);
}

void coll_record_to_mesh_space(const D3DXVECTOR3& world_start, HitSegment& record,
                               const D3DXVECTOR3& world_end, const D3DXMATRIX& inverse)
{
    coll_record_set_world(transform_point(world_end, inverse), transform_point(world_start, inverse), record);
}

void coll_record_set_world(const D3DXVECTOR3& world_end, const D3DXVECTOR3& world_start, HitSegment& record)
{
    coll_sweep_set(record.working, to_vec3(world_start), to_vec3(world_end - world_start));
}

void coll_sphere_to_mesh_space(const D3DXVECTOR3& centre, HitSphere& record, const D3DXVECTOR3& target,
                               const D3DXMATRIX& inverse)
{
    coll_sphere_set_world(transform_point(target, inverse), transform_point(centre, inverse), record);
}

void coll_sphere_set_world(const D3DXVECTOR3& target, const D3DXVECTOR3& centre, HitSphere& record)
{
    coll_sweep_set(record.working, to_vec3(centre), to_vec3(target - centre));
}

void coll_sphere_result_to_world(HitSphere& record, const D3DXMATRIX& world)
{
    const D3DXVECTOR3 resolved = transform_point(record.resolved, world);
    record.correction = transform_point(record.resolved + record.correction, world) - resolved;
    record.resolved = resolved;
}

void coll_segment_result_to_world(HitSegment& record, const D3DXMATRIX& world)
{
    CollisionTriangle& triangle = record.triangle;
    triangle = *record.hit_triangle;
    triangle.a = transform_point(triangle.a, world);
    triangle.b = transform_point(triangle.b, world);
    triangle.c = transform_point(triangle.c, world);
    record.hit_point = transform_point(record.hit_point, world);
    coll_triangle_plane(triangle);
    coll_triangle_centroid(triangle);
}

void coll_triangle_plane(CollisionTriangle& triangle)
{
    const D3DXVECTOR3 a = to_d3d(triangle.a);
    const D3DXVECTOR3 b = to_d3d(triangle.b);
    const D3DXVECTOR3 c = to_d3d(triangle.c);
    const D3DXVECTOR3 ab = a - b;
    const D3DXVECTOR3 bc = b - c;
    D3DXVECTOR3 normal;
    D3DXVec3Cross(&normal, &ab, &bc);
    const float length = D3DXVec3Length(&normal);
    normal = length == 0.0f ? D3DXVECTOR3(0, 1, 0) : normal / length;
    triangle.normal = to_vec3(normal);
    triangle.cross_length = length;
    triangle.d = -D3DXVec3Dot(&normal, &c);
}

void coll_triangle_centroid(CollisionTriangle& triangle)
{
    const float third = 0.33333334f;
    triangle.centroid = {(triangle.a.x + triangle.b.x + triangle.c.x) * third,
                         (triangle.a.y + triangle.b.y + triangle.c.y) * third,
                         (triangle.a.z + triangle.b.z + triangle.c.z) * third};
}
