// World queries: a segment or a moving sphere against one collision set of every enabled map
// mesh (GoMesh, in its pool's list order), each mesh's transform applied to the query and the
// result brought back to world space. Set A is what shadows fall on, B is water, C is what
// actors stand on and collide with. The engine's work list is shared: queries must not nest.
#pragma once

#include "platform/d3dx8.h"
#include "scenegraph/coll_model.h"

#include <cfloat>
#include <cstdint>
#include <span>

// A segment from the world start to the world end. The working segment lives in the space of
// the mesh under test; the results are in world space.
struct HitSegment {
    SweepRecord working; // start and end - start, mesh space
    D3DXVECTOR3 world_start;
    D3DXVECTOR3 world_end;
    D3DXVECTOR3 hit_point;
    float distance = FLT_MAX;                  // |hit point - world start|; FLT_MAX: no hit
    CollisionTriangle* hit_triangle = nullptr; // the mesh's own triangle
    CollisionTriangle triangle{};              // its world-space copy: corners, unit normal, attributes
    std::int32_t mesh_index = -1;              // in g_pool_mesh's list
};

// A sphere of radii.x moving from the centre toward the target. After a query `resolved` is
// where it may go and `correction` = resolved - target, (0, 0, 0) exactly when nothing blocked it.
// The engine gathers the triangles around the two ends of the move only, so moves are short
// (a tick's worth).
struct HitSphere {
    SweepRecord working; // start and motion
    D3DXVECTOR3 radii;   // the first one culls the meshes
    D3DXVECTOR3 centre;
    D3DXVECTOR3 target;
    D3DXVECTOR3 resolved;
    D3DXVECTOR3 correction;
};

// The triangle lists a probe's sphere touched in one mesh (the engine's work list).
using HitProbeCallback = void (*)(std::span<const CollisionList> lists, void* data);

// A segment with a sphere around it whose touched triangles go to a callback (decals).
struct HitProbe {
    HitSegment segment;
    float radius = 0.0f;
    HitProbeCallback callback = nullptr;
    void* callback_data = nullptr;
};

// Record set-up: hit point = start, distance FLT_MAX, no triangle, mesh index -1.
void hit_segment_query_init(const D3DXVECTOR3& start, const D3DXVECTOR3& delta, HitSegment& record);
void hit_segment_init_simple(const D3DXVECTOR3& start, const D3DXVECTOR3& end, HitSegment& record);
// Radii (radius, radius, radius), resolved = target, correction 0.
void hit_sphere_init(const D3DXVECTOR3& centre, const D3DXVECTOR3& target, float radius, HitSphere& record);

// The nearest hit over all meshes with the set and collision on (the earlier mesh on equal
// distances), compared in world space; true when one was found. Without a hit the record's
// results keep their incoming values.
bool hit_segment_meshes_a(HitSegment& record);
bool hit_segment_meshes_b(HitSegment& record);
bool hit_segment_meshes_c(HitSegment& record);

// Moves the sphere toward its target through the set of every mesh at once: the triangles its
// move may touch are gathered from all meshes in world space (meshes after the first whose bounds
// cannot reach the sphere are skipped) and swept in one go, so it slides along them and stops in
// corners that two meshes make. True when nothing changed the move (correction (0, 0, 0)).
bool hit_sphere_meshes_a(HitSphere& record);
bool hit_sphere_meshes_c(HitSphere& record);

// Space conversions. The working segment or sweep is set from the two points (transformed by
// the inverse matrix into mesh space, or as they are); the world fields are left alone.
void coll_record_to_mesh_space(const D3DXVECTOR3& world_start, HitSegment& record,
                               const D3DXVECTOR3& world_end, const D3DXMATRIX& inverse);
void coll_record_set_world(const D3DXVECTOR3& world_end, const D3DXVECTOR3& world_start, HitSegment& record);
void coll_sphere_to_mesh_space(const D3DXVECTOR3& centre, HitSphere& record, const D3DXVECTOR3& target,
                               const D3DXMATRIX& inverse);
void coll_sphere_set_world(const D3DXVECTOR3& target, const D3DXVECTOR3& centre, HitSphere& record);
// resolved' = M resolved; correction' = M (resolved + correction) - M resolved.
void coll_sphere_result_to_world(HitSphere& record, const D3DXMATRIX& world);
// The hit triangle copied into the record, its corners and the hit point transformed, its plane
// and centroid recomputed.
void coll_segment_result_to_world(HitSegment& record, const D3DXMATRIX& world);
// normal = normalise((a - b) x (b - c)) with the length kept, (0, 1, 0) when the length is 0;
// d = -(normal . c).
void coll_triangle_plane(CollisionTriangle& triangle);
void coll_triangle_centroid(CollisionTriangle& triangle);
