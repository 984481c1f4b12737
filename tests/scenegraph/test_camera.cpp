#include "scenegraph/renderer_camera.h"

#include "lowlv/d3d/d3d_core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

namespace {

constexpr float PI = std::numbers::pi_v<float>;

void expect_matrix_near(const D3DXMATRIX& actual, const D3DXMATRIX& expected, float tolerance = 1e-5f)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(actual.m[r][c], expected.m[r][c], tolerance)
                << "row " << r + 1 << " column " << c + 1;
}

void expect_vec_near(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

D3DXMATRIX transposed(const D3DXMATRIX& m)
{
    D3DXMATRIX t;
    return *D3DXMatrixTranspose(&t, &m);
}

float dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_device_settings = {};
        g_device_settings.present.BackBufferWidth = 640;
        g_device_settings.present.BackBufferHeight = 480;
        renderer_reset_transforms();
    }

    static void look(const D3DXVECTOR3& eye, const D3DXVECTOR3& target)
    {
        renderer_set_camera(eye, target);
        renderer_update_camera();
    }

    static D3DXVECTOR3 to_screen(const D3DXVECTOR3& point)
    {
        D3DXVECTOR3 out;
        return *D3DXVec3TransformCoord(&out, &point, &g_camera_state.screen);
    }
};

} // namespace

TEST_F(CameraTest, ResetTakesTheDefaultsAndTheBackBuffer)
{
    g_device_settings.present.BackBufferWidth = 800;
    g_device_settings.present.BackBufferHeight = 600;
    renderer_reset_transforms();
    const CameraState& cam = g_camera_state;
    EXPECT_FLOAT_EQ(cam.fov_y, PI / 5.0f);
    EXPECT_FLOAT_EQ(cam.aspect, 1.3333334f);
    EXPECT_FLOAT_EQ(cam.near_plane, 1.0f);
    EXPECT_FLOAT_EQ(cam.far_plane, 500.0f);
    EXPECT_FLOAT_EQ(cam.biased_near, 1.005f);
    EXPECT_FLOAT_EQ(cam.biased_far, 500.015f);
    EXPECT_EQ(cam.viewport.Width, 800u);
    EXPECT_EQ(cam.viewport.Height, 600u);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&cam.view));
    EXPECT_TRUE(D3DXMatrixIsIdentity(&cam.biased_view_proj_t));
    expect_matrix_near(cam.viewport_matrix,
                       D3DXMATRIX(400, 0, 0, 0, 0, -300, 0, 0, 0, 0, 1, 0, 400, 300, 0, 1));
}

TEST_F(CameraTest, ViewportMatrixFollowsTheViewport)
{
    g_camera_state.viewport = {10, 20, 200, 100, 0.25f, 0.75f};
    renderer_update_viewport_transform();
    expect_matrix_near(g_camera_state.viewport_matrix,
                       D3DXMATRIX(100, 0, 0, 0, 0, -50, 0, 0, 0, 0, 0.5f, 0, 110, 70, 0.25f, 1));
}

TEST_F(CameraTest, SetCameraKeepsTheDirectionFromTargetToEye)
{
    renderer_set_camera({3, 4, 12}, {0, 0, 0});
    expect_vec_near(g_camera_state.direction, {3.0f / 13, 4.0f / 13, 12.0f / 13});
    EXPECT_FLOAT_EQ(g_camera_state.distance, 13.0f);
    expect_vec_near(g_camera_state.up, {0, 1, 0});
    EXPECT_FLOAT_EQ(g_camera_state.eye_translation._42, 4.0f);

    renderer_set_camera({1, 2, 3}, {1, 2, 3});
    EXPECT_EQ(g_camera_state.distance, 0.0f);
    expect_vec_near(g_camera_state.direction, {0, 0, 0});
}

TEST_F(CameraTest, MatricesMatchTheirClosedForms)
{
    look({0, 0, -10}, {0, 0, 0});
    const CameraState& cam = g_camera_state;
    expect_matrix_near(cam.view, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1));
    expect_matrix_near(cam.view_inverse, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -10, 1));

    float y = 1.0f / std::tan(cam.fov_y / 2.0f), x = y / cam.aspect;
    float q = 500.0f / (500.0f - 1.0f);
    expect_matrix_near(cam.proj, D3DXMATRIX(x, 0, 0, 0, 0, y, 0, 0, 0, 0, q, 1, 0, 0, -q * 1.0f, 0));
    float bq = 500.015f / (500.015f - 1.005f);
    expect_matrix_near(cam.biased_proj,
                       D3DXMATRIX(x, 0, 0, 0, 0, y, 0, 0, 0, 0, bq, 1, 0, 0, -bq * 1.005f, 0));
    expect_matrix_near(cam.view_proj, cam.view * cam.proj);
    expect_matrix_near(cam.biased_view_proj, cam.view * cam.biased_proj);
    expect_matrix_near(cam.screen, cam.view_proj * cam.viewport_matrix);
    for (auto [plain, t] : {std::pair{&cam.view, &cam.view_t},
                            {&cam.proj, &cam.proj_t},
                            {&cam.view_proj, &cam.view_proj_t},
                            {&cam.biased_proj, &cam.biased_proj_t},
                            {&cam.biased_view_proj, &cam.biased_view_proj_t}})
        expect_matrix_near(*t, transposed(*plain));
    EXPECT_NEAR(cam.eye_in_view.w, 1.0f, 1e-6f);
    EXPECT_NEAR(cam.eye_in_view.z, 0.0f, 1e-5f);

    // The target lands in the middle of the screen; a point one unit right of it by the
    // projection's x scale at distance 10.
    expect_vec_near(to_screen({0, 0, 0}), {320, 240, q * (1.0f - 1.0f / 10.0f)});
    expect_vec_near(to_screen({1, 0, 0}), {320 + 320 * x / 10, 240, q * 0.9f}, 1e-3f);
    expect_vec_near(to_screen({0, 1, 0}), {320, 240 - 240 * y / 10, q * 0.9f}, 1e-3f);
}

TEST_F(CameraTest, HeadingFollowsTheViewDirection)
{
    struct Case {
        D3DXVECTOR3 eye;
        float heading;
    };
    const Case cases[] = {
        {{0, 0, -10}, 0.0f},   // looking along +z
        {{-10, 0, 0}, PI / 2}, // looking along +x
        {{10, 0, 0}, -PI / 2}, // looking along -x: wrapped below pi
        {{0, 5, 10}, PI},      // looking along -z, from above
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.eye.x << ", " << c.eye.y << ", " << c.eye.z);
        look(c.eye, {0, 0, 0});
        EXPECT_NEAR(std::remainder(g_camera_heading - c.heading, 2 * PI), 0.0f, 1e-5f);
        EXPECT_LE(g_camera_heading, PI + 1e-6f);
        D3DXMATRIX rotation;
        expect_matrix_near(g_camera_state.heading_rotation,
                           *D3DXMatrixRotationY(&rotation, g_camera_heading));
    }
}

TEST_F(CameraTest, CornersAreTheBillboardQuadFacingTheCamera)
{
    look({10, 0, 0}, {0, 0, 0}); // right is +z, up is +y
    const D3DXVECTOR3 expected[4] = {{0, -0.5f, -0.5f}, {0, 0.5f, -0.5f}, {0, -0.5f, 0.5f}, {0, 0.5f, 0.5f}};
    for (int i = 0; i < 4; ++i)
        expect_vec_near(g_camera_state.corners[i], expected[i]);
    static_assert(sizeof g_camera_state.corners == 12 * sizeof(float));
    EXPECT_EQ(g_camera_state.billboard._41, 0.0f);
    EXPECT_EQ(g_camera_state.billboard._43, 0.0f);
}

TEST_F(CameraTest, FrustumCullsSpheresOutsideAnyPlane)
{
    look({0, 0, -10}, {0, 0, 0});
    for (const D3DXPLANE& p : g_camera_state.frustum)
        EXPECT_NEAR(p.a * p.a + p.b * p.b + p.c * p.c, 1.0f, 1e-5f);
    struct Case {
        D3DXVECTOR3 centre;
        float radius;
        bool in_view;
    };
    const Case cases[] = {
        {{0, 0, 0}, 1, true},    {{0, 0, -20}, 1, false}, // behind the eye
        {{0, 0, 493}, 1, false}, {{0, 0, 493}, 4, true},  // just past the far plane, or reaching back into it
        {{200, 0, 0}, 5, false}, {{0, -200, 0}, 5, false}, {{0, 0, -9.5f}, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.centre.x << ", " << c.centre.y << ", " << c.centre.z << " r " << c.radius);
        EXPECT_EQ(gfx_sphere_in_view(c.centre, c.radius), c.in_view);
    }
}

TEST_F(CameraTest, DepthRangeTestSeesOnlyWhatLiesBetweenThePlanes)
{
    look({0, 0, 0}, {0, 0, 5});
    EXPECT_FALSE(renderer_point_in_depth_range({0, 0, -10})); // behind the eye
    EXPECT_FALSE(renderer_point_in_depth_range({3, 0, 0}));   // beside the eye: w = 0
    EXPECT_TRUE(renderer_point_in_depth_range({0, 0, 1}));    // on the near plane: z = min z
    EXPECT_TRUE(renderer_point_in_depth_range({50, 30, 100}));
    EXPECT_FALSE(renderer_point_in_depth_range({0, 0, 501})); // past the far plane
}

TEST_F(CameraTest, TurnTowardIsLimitedAndNeverNaN)
{
    const Vec3 origin{1, 2, 3};
    Vec3 out;
    // 90 degrees apart: exactly the limit, toward the target.
    vec3_turn_toward({1, 2, 13}, origin, out, {1, 0, 0}, 0.1f);
    EXPECT_NEAR(std::acos(out.x), 0.1f, 1e-5f);
    EXPECT_NEAR(out.z, std::sin(0.1f), 1e-5f);
    EXPECT_NEAR(out.y, 0.0f, 1e-6f);

    // Within the limit the direction arrives.
    vec3_turn_toward({4, 6, 3}, origin, out, {0, 0, 1}, 3.0f);
    EXPECT_NEAR(out.x, 0.6f, 1e-5f);
    EXPECT_NEAR(out.y, 0.8f, 1e-5f);
    EXPECT_NEAR(out.z, 0.0f, 1e-5f);

    // Nearly parallel: rounding puts the dot product above 1, the acos clamp keeps it finite.
    for (float tiny : {1e-4f, 3e-4f, 7e-4f}) {
        Vec3 direction{0.6f, 0.8f, 0.0f};
        vec3_turn_toward({1 + 0.6f * 7, 2 + 0.8f * 7, 3 + tiny}, origin, out, direction, 0.5f);
        EXPECT_FALSE(std::isnan(out.x) || std::isnan(out.y) || std::isnan(out.z));
        EXPECT_NEAR(dot(out, direction), 1.0f, 1e-3f);
    }

    // Straight behind: no axis, so no instant half turn.
    vec3_turn_toward({-9, 2, 3}, origin, out, {1, 0, 0}, 0.2f);
    EXPECT_NEAR(out.x, 1.0f, 1e-6f);
}

TEST_F(CameraTest, RotationToMatrixTurnsTheDirectionOntoTheTarget)
{
    const Vec3 origin{0, 1, 0};
    struct Case {
        Vec3 target, direction;
    };
    const Case cases[] = {{{3, 1, 4}, {0, 0, 1}}, {{-2, 5, 1}, {0.6f, 0.0f, -0.8f}}, {{0, -4, 0}, {1, 0, 0}}};
    for (const Case& c : cases) {
        D3DXMATRIX m;
        vec3_rotation_to_matrix(c.target, origin, m, c.direction);
        D3DXVECTOR3 turned, direction(c.direction.x, c.direction.y, c.direction.z);
        D3DXVec3TransformNormal(&turned, &direction, &m);
        D3DXVECTOR3 d(c.target.x - origin.x, c.target.y - origin.y, c.target.z - origin.z);
        D3DXVec3Normalize(&d, &d);
        expect_vec_near(turned, d);
        D3DXMATRIX identity;
        expect_matrix_near(m * transposed(m), *D3DXMatrixIdentity(&identity), 1e-5f);
        EXPECT_EQ(m._44, 1.0f);
        EXPECT_EQ(m._41, 0.0f);
    }
    D3DXMATRIX m;
    vec3_rotation_to_matrix({5, 1, 0}, origin, m, {1, 0, 0}); // already there
    EXPECT_TRUE(D3DXMatrixIsIdentity(&m));
}

TEST_F(CameraTest, RotationYAndNormalizeXzHaveTheirClosedForms)
{
    D3DXMATRIX m;
    math_matrix_rotation_y(m, 0.5f);
    float c = std::cos(0.5f), s = std::sin(0.5f);
    expect_matrix_near(m, D3DXMATRIX(c, 0, s, 0, 0, 1, 0, 0, -s, 0, c, 0, 0, 0, 0, 1), 0.0f);

    Vec3 out{9, 9, 9};
    vec3_normalize_xz({0, 5, 0}, out);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);
    vec3_normalize_xz({3, 7, 4}, out);
    EXPECT_NEAR(out.x, 0.6f, 1e-6f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_NEAR(out.z, 0.8f, 1e-6f);
}
