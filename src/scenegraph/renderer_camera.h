// The camera: game code sets the eye and target, and each update derives every matrix (plain
// for the CPU, transposed for the vertex-shader constants), the heading, the screen-corner
// vectors and the frustum planes into g_camera_state (lowlv/d3d/renderer_frame.h). Also the
// orientation operations the game's behaviours use.
#pragma once

#include "core/maths.h"
#include "lowlv/d3d/renderer_frame.h"

// Every matrix identity, eye, target and vectors zero, heading 0, the projection defaults and
// the viewport of the back buffer. Run at engine start-up after the renderer.
void renderer_reset_transforms();
// Also the eye translation, the direction from the target to the eye and the distance; the up
// vector becomes (0, 1, 0).
void renderer_set_camera(const D3DXVECTOR3& eye, const D3DXVECTOR3& target);
// Recomputes everything derived from the eye, target and projection parameters.
void renderer_update_camera();
void renderer_update_viewport_transform();
void renderer_update_frustum();
// True when the point lies in front of the eye with its projected depth within the viewport's
// depth range.
bool renderer_point_in_depth_range(const D3DXVECTOR3& point);
// The game's view test and the turning helpers below keep the names game code knows them by; they
// live here because they read the camera record or build matrices for it.
// False when the sphere lies wholly behind one of the six frustum planes.
bool gfx_sphere_in_view(const D3DXVECTOR3& centre, float radius);

// The direction turned toward target - origin by at most the angle, normalised. A direction
// already on that line (or exactly away from it) stays as it is.
void vec3_turn_toward(const Vec3& target, const Vec3& origin, Vec3& out, const Vec3& direction,
                      float max_angle);
// The rotation that turns the direction onto target - origin, as a 4x4 matrix for row vectors.
void vec3_rotation_to_matrix(const Vec3& target, const Vec3& origin, D3DXMATRIX& out, const Vec3& direction);
// _11 = cos, _13 = sin, _22 = 1, _31 = -sin, _33 = cos, _44 = 1.
void math_matrix_rotation_y(D3DXMATRIX& out, float angle);
// (x, 0, z) scaled to unit length; a zero length gives (0, 0, 0).
void vec3_normalize_xz(const Vec3& in, Vec3& out);
