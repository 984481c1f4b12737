// The swept-ellipsoid solver: moves a body through the triangles a query put in the work list
// (coll_model.h), sliding along everything it touches, never backward. Also the nearest hit of
// a segment and the downward ray against one triangle.
#pragma once

#include "scenegraph/coll_model.h"

constexpr int COLL_SWEEP_PASSES = 15;
constexpr std::size_t COLL_IGNORE_LIST_START = 256;
constexpr std::size_t COLL_CONTACT_LIST_START = 256;

// The work buffers (work list, ignore list, contact list, scaled triangles): allocated at the
// end of the engine start-up and freed at shutdown. Each grows by doubling when full.
void coll_alloc_work();
void coll_free_work();

// Sweeps the ellipsoid with these radii from the sweep's position along its motion. Writes the
// final position and the motion of the last pass (the whole motion when nothing was touched,
// 0 once the body stopped), both in world units. The triangles are brought into unit-sphere
// space by the x radius alone, so callers pass equal radii or radii for which that is
// acceptable. Radii that are not positive, or a start or motion that is not finite, leave
// the body where it is with its motion.
void coll_sweep_ellipsoid(Vec3& position, Vec3& motion, const SweepRecord& sweep, const Vec3& radii);

// The nearest triangle of the work list that the segment crosses (either side), with the hit
// point; distance FLT_MAX and a null triangle when none.
void coll_segment_nearest_hit(Vec3& point, float& distance, CollisionTriangle*& triangle,
                              SweepRecord& segment);

// The ground query's own ray test, named with the maths it extends and kept beside its only user.
// One-sided ray (0, -510, 0) from the point against the triangle whose normal (b - a) x (c - a)
// points up; t (in units of the ray, negative above the point), u and v are barycentric along
// b - a and c - a. False when the ray misses or the triangle faces down.
bool math_vertical_ray_triangle(const Vec3& point, const Vec3& a, const Vec3& b, const Vec3& c, float& t,
                                float& u, float& v);
