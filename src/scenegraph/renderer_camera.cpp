#include "scenegraph/renderer_camera.h"

#include "lowlv/d3d/d3d_core.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float PI = std::numbers::pi_v<float>;

D3DXVECTOR4 column(const D3DXMATRIX& m, int c)
{
    return D3DXVECTOR4(m.m[0][c], m.m[1][c], m.m[2][c], m.m[3][c]);
}

D3DXPLANE normalized_plane(const D3DXVECTOR4& a, const D3DXVECTOR4& b, float sign)
{
    D3DXPLANE plane(a.x + sign * b.x, a.y + sign * b.y, a.z + sign * b.z, a.w + sign * b.w);
    return *D3DXPlaneNormalize(&plane, &plane);
}

float dot4(const D3DXVECTOR3& p, const D3DXVECTOR4& c)
{
    return p.x * c.x + p.y * c.y + p.z * c.z + c.w;
}

Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The axis and angle that turn the direction onto target - origin. The dot product is clamped
// so rounding never takes acos outside its domain. False when the axis is degenerate.
bool turn_axis_angle(const Vec3& target, const Vec3& origin, const Vec3& direction, Vec3& axis, float& angle)
{
    Vec3 d{target.x - origin.x, target.y - origin.y, target.z - origin.z};
    if (vec3_normalize(axis, cross(d, direction)) == 0.0f) return false;
    Vec3 unit_d;
    vec3_normalize(unit_d, d);
    angle = std::acos(std::clamp(dot(direction, unit_d), -1.0f, 1.0f));
    return true;
}

// The rotation by the angle about the unit axis k = normalised cross(d, direction) that turns
// the direction toward d, for row vectors.
void axis_rotation(D3DXMATRIX& out, const Vec3& k, float angle)
{
    float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    out = D3DXMATRIX(c + t * k.x * k.x, t * k.x * k.y - s * k.z, t * k.x * k.z + s * k.y, 0.0f, //
                     t * k.x * k.y + s * k.z, c + t * k.y * k.y, t * k.y * k.z - s * k.x, 0.0f, //
                     t * k.x * k.z - s * k.y, t * k.y * k.z + s * k.x, c + t * k.z * k.z, 0.0f, //
                     0.0f, 0.0f, 0.0f, 1.0f);
}

Vec3 row_times(const Vec3& v, const D3DXMATRIX& m)
{
    return {v.x * m._11 + v.y * m._21 + v.z * m._31, v.x * m._12 + v.y * m._22 + v.z * m._32,
            v.x * m._13 + v.y * m._23 + v.z * m._33};
}

void update_heading(CameraState& cam)
{
    float heading = std::atan2(-cam.view._33, cam.view._13) + PI / 2.0f;
    if (heading > PI) heading -= 2.0f * PI;
    g_camera_heading = heading;
    D3DXMatrixRotationY(&cam.heading_rotation, heading);
}

void update_billboard(CameraState& cam)
{
    static const D3DXVECTOR3 corners[4] = {
        {-0.5f, -0.5f, 0.0f}, {-0.5f, 0.5f, 0.0f}, {0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 0.0f}};
    cam.billboard = cam.view_inverse;
    cam.billboard._41 = cam.billboard._42 = cam.billboard._43 = 0.0f;
    for (int i = 0; i < 4; ++i)
        D3DXVec3TransformCoord(&cam.corners[i], &corners[i], &cam.billboard);
}

void update_projection(const CameraState& cam, float near_plane, float far_plane, D3DXMATRIX& proj,
                       D3DXMATRIX& proj_t, D3DXMATRIX& view_proj, D3DXMATRIX& view_proj_t)
{
    D3DXMatrixPerspectiveFovLH(&proj, cam.fov_y, cam.aspect, near_plane, far_plane);
    D3DXMatrixTranspose(&proj_t, &proj);
    D3DXMatrixMultiply(&view_proj, &cam.view, &proj);
    D3DXMatrixTranspose(&view_proj_t, &view_proj);
}

} // namespace

void renderer_reset_transforms()
{
    CameraState& cam = g_camera_state;
    cam = {};
    for (D3DXMATRIX* m : {&cam.eye_translation, &cam.view, &cam.view_t, &cam.view_inverse, &cam.proj,
                          &cam.proj_t, &cam.view_proj, &cam.view_proj_t, &cam.viewport_matrix, &cam.screen,
                          &cam.billboard, &cam.heading_rotation, &cam.biased_proj, &cam.biased_proj_t,
                          &cam.biased_view_proj, &cam.biased_view_proj_t})
        D3DXMatrixIdentity(m);
    g_camera_heading = 0.0f;
    cam.fov_y = 0.62831855f;
    cam.aspect = 1.3333334f;
    cam.near_plane = 1.0f;
    cam.far_plane = 500.0f;
    cam.limit = 499.0f;
    cam.second_angle = 0.48871717f;
    cam.zoom = 1.0f;
    cam.biased_near = 1.005f;
    cam.biased_far = 500.015f;
    const D3DPRESENT_PARAMETERS& present = g_device_settings.present;
    cam.viewport = {0, 0, present.BackBufferWidth, present.BackBufferHeight, 0.0f, 1.0f};
    renderer_update_viewport_transform();
}

void renderer_set_camera(const D3DXVECTOR3& eye, const D3DXVECTOR3& target)
{
    CameraState& cam = g_camera_state;
    cam.eye = eye;
    cam.target = target;
    D3DXMatrixTranslation(&cam.eye_translation, eye.x, eye.y, eye.z);
    cam.direction = eye - target;
    cam.distance = D3DXVec3Length(&cam.direction);
    if (cam.distance != 0.0f) cam.direction /= cam.distance;
    cam.up = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    cam.up_copy = cam.up;
}

void renderer_update_camera()
{
    CameraState& cam = g_camera_state;
    D3DXMatrixLookAtLH(&cam.view, &cam.eye, &cam.target, &cam.up);
    D3DXMatrixTranspose(&cam.view_t, &cam.view);
    D3DXVec3Transform(&cam.eye_in_view, &cam.eye, &cam.view);
    D3DXMatrixInverse(&cam.view_inverse, nullptr, &cam.view);
    update_heading(cam);
    update_billboard(cam);
    update_projection(cam, cam.near_plane, cam.far_plane, cam.proj, cam.proj_t, cam.view_proj,
                      cam.view_proj_t);
    D3DXMatrixMultiply(&cam.screen, &cam.view_proj, &cam.viewport_matrix);
    renderer_update_frustum();
    update_projection(cam, cam.biased_near, cam.biased_far, cam.biased_proj, cam.biased_proj_t,
                      cam.biased_view_proj, cam.biased_view_proj_t);
}

void renderer_update_viewport_transform()
{
    const D3DVIEWPORT8& vp = g_camera_state.viewport;
    float half_w = static_cast<float>(vp.Width) / 2.0f, half_h = static_cast<float>(vp.Height) / 2.0f;
    g_camera_state.viewport_matrix =
        D3DXMATRIX(half_w, 0.0f, 0.0f, 0.0f,            //
                   0.0f, -half_h, 0.0f, 0.0f,           //
                   0.0f, 0.0f, vp.MaxZ - vp.MinZ, 0.0f, //
                   static_cast<float>(vp.X) + half_w, static_cast<float>(vp.Y) + half_h, vp.MinZ, 1.0f);
}

void renderer_update_frustum()
{
    const D3DXMATRIX& m = g_camera_state.view_proj;
    D3DXVECTOR4 c1 = column(m, 0), c2 = column(m, 1), c3 = column(m, 2), c4 = column(m, 3);
    D3DXPLANE* planes = g_camera_state.frustum;
    planes[0] = normalized_plane(c4, c1, -1.0f);
    planes[1] = normalized_plane(c4, c1, 1.0f);
    planes[2] = normalized_plane(c4, c2, 1.0f);
    planes[3] = normalized_plane(c4, c2, -1.0f);
    planes[4] = normalized_plane(c4, c3, -1.0f);
    planes[5] = normalized_plane(c4, c3, 1.0f);
}

bool renderer_point_in_depth_range(const D3DXVECTOR3& point)
{
    const CameraState& cam = g_camera_state;
    float w = dot4(point, column(cam.screen, 3));
    if (w <= 0.0f) return false;
    float z = dot4(point, column(cam.screen, 2)) / w;
    return cam.viewport.MinZ <= z && z <= cam.viewport.MaxZ;
}

bool gfx_sphere_in_view(const D3DXVECTOR3& centre, float radius)
{
    for (const D3DXPLANE& plane : g_camera_state.frustum)
        if (D3DXPlaneDotCoord(&plane, &centre) + radius <= 0.0f) return false;
    return true;
}

void vec3_turn_toward(const Vec3& target, const Vec3& origin, Vec3& out, const Vec3& direction,
                      float max_angle)
{
    Vec3 axis;
    float angle;
    if (!turn_axis_angle(target, origin, direction, axis, angle)) {
        vec3_normalize(out, direction);
        return;
    }
    D3DXMATRIX rotation;
    axis_rotation(rotation, axis, std::min(angle, max_angle));
    vec3_normalize(out, row_times(direction, rotation));
}

void vec3_rotation_to_matrix(const Vec3& target, const Vec3& origin, D3DXMATRIX& out, const Vec3& direction)
{
    Vec3 axis;
    float angle;
    if (!turn_axis_angle(target, origin, direction, axis, angle)) {
        D3DXMatrixIdentity(&out);
        return;
    }
    axis_rotation(out, axis, angle);
}

void math_matrix_rotation_y(D3DXMATRIX& out, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    out = D3DXMATRIX(c, 0.0f, s, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, -s, 0.0f, c, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
}

void vec3_normalize_xz(const Vec3& in, Vec3& out)
{
    float squared = in.x * in.x + in.z * in.z;
    if (squared == 0.0f) {
        out = {0.0f, 0.0f, 0.0f};
        return;
    }
    float length = math_sqrt_fast(squared);
    out = {in.x / length, 0.0f, in.z / length};
}
