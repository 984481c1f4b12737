#include "platform/d3dx8.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;
constexpr float k_eps = 1e-5f;

void expect_near(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float eps = k_eps)
{
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

void expect_near(const D3DXMATRIX& a, const D3DXMATRIX& b, float eps = k_eps)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], eps) << "at " << r << "," << c;
}

D3DXVECTOR3 transform(const D3DXVECTOR3& v, const D3DXMATRIX& m)
{
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

D3DXMATRIX quaternion_matrix(const D3DXQUATERNION& q)
{
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &q);
    return m;
}

} // namespace

TEST(D3DXMatrix, RowVectorsGoThroughTheFirstFactorFirst)
{
    D3DXMATRIX translate, rotate;
    D3DXMatrixTranslation(&translate, 1, 0, 0);
    D3DXMatrixRotationZ(&rotate, k_pi / 2);
    // Translate then rotate: (1,0,0) -> (1,0,0) moved to (2,0,0) -> turned to (0,2,0).
    expect_near(transform({1, 0, 0}, translate * rotate), {0, 2, 0});
    expect_near(transform({1, 0, 0}, rotate * translate), {1, 1, 0});
    EXPECT_EQ(translate._41, 1.0f); // translation lives in the fourth row
}

TEST(D3DXMatrix, RotationsTurnClockwiseLookingDownTheAxis)
{
    D3DXMATRIX m;
    struct Case {
        D3DXMATRIX* (*rotation)(D3DXMATRIX*, float);
        D3DXVECTOR3 in, out;
    } cases[] = {
        {D3DXMatrixRotationX, {0, 1, 0}, {0, 0, 1}},
        {D3DXMatrixRotationY, {1, 0, 0}, {0, 0, -1}},
        {D3DXMatrixRotationY, {0, 0, 1}, {1, 0, 0}},
        {D3DXMatrixRotationZ, {1, 0, 0}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        c.rotation(&m, k_pi / 2);
        expect_near(transform(c.in, m), c.out);
    }
}

TEST(D3DXMatrix, RotationAxisAgreesWithTheAxisRotations)
{
    D3DXMATRIX axis, plain;
    D3DXVECTOR3 y(0, 2, 0); // not unit: the axis is normalised
    D3DXMatrixRotationAxis(&axis, &y, 0.7f);
    expect_near(axis, *D3DXMatrixRotationY(&plain, 0.7f));
    D3DXVECTOR3 x(1, 0, 0);
    D3DXMatrixRotationAxis(&axis, &x, -1.2f);
    expect_near(axis, *D3DXMatrixRotationX(&plain, -1.2f));
}

TEST(D3DXMatrix, YawPitchRollIsRollThenPitchThenYaw)
{
    D3DXMATRIX ypr, z, x, y;
    D3DXMatrixRotationYawPitchRoll(&ypr, 0.3f, -0.5f, 1.1f);
    D3DXMatrixRotationZ(&z, 1.1f);
    D3DXMatrixRotationX(&x, -0.5f);
    D3DXMatrixRotationY(&y, 0.3f);
    expect_near(ypr, z * x * y);
}

TEST(D3DXMatrix, InverseUndoesAndSingularGivesNull)
{
    D3DXMATRIX m, inverse, rotate, scale;
    D3DXMatrixRotationYawPitchRoll(&rotate, 0.4f, 0.2f, -0.9f);
    D3DXMatrixScaling(&scale, 2, 3, 0.5f);
    m = scale * rotate;
    m._41 = 5, m._42 = -2, m._43 = 7;
    float determinant = 0;
    ASSERT_NE(D3DXMatrixInverse(&inverse, &determinant, &m), nullptr);
    EXPECT_NEAR(determinant, 3.0f, 1e-4f); // rotation keeps volume, the scale triples it
    D3DXMATRIX identity;
    expect_near(m * inverse, *D3DXMatrixIdentity(&identity), 1e-5f);

    D3DXMATRIX singular;
    D3DXMatrixScaling(&singular, 1, 0, 1);
    D3DXMATRIX untouched = identity;
    EXPECT_EQ(D3DXMatrixInverse(&untouched, nullptr, &singular), nullptr);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&untouched));
}

TEST(D3DXMatrix, TransposeSwapsRowsAndColumns)
{
    D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16), t;
    D3DXMatrixTranspose(&t, &m);
    EXPECT_EQ(t._12, 5.0f);
    EXPECT_EQ(t._41, 4.0f);
    D3DXMatrixTranspose(&t, &t);
    EXPECT_EQ(t, m);
}

TEST(D3DXMatrix, LookAtLHPutsTheTargetOnThePositiveZAxis)
{
    D3DXMATRIX view;
    D3DXVECTOR3 eye(0, 0, -10), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    expect_near(transform(at, view), {0, 0, 10});
    expect_near(transform({1, 0, 0}, view), {1, 0, 10}); // x stays right in a left-handed view

    D3DXVECTOR3 side_eye(10, 0, 0);
    D3DXMatrixLookAtLH(&view, &side_eye, &at, &up);
    expect_near(transform(at, view), {0, 0, 10});
    expect_near(transform({0, 0, 1}, view), {1, 0, 10}); // looking down -x, +z lies to the right
}

TEST(D3DXMatrix, PerspectiveMapsNearToZeroAndFarToOne)
{
    D3DXMATRIX proj;
    float fov = k_pi / 5, aspect = 4.0f / 3.0f, zn = 1.0f, zf = 500.0f;
    D3DXMatrixPerspectiveFovLH(&proj, fov, aspect, zn, zf);
    float y_scale = 1.0f / std::tan(fov / 2);
    EXPECT_NEAR(proj._22, y_scale, k_eps);
    EXPECT_NEAR(proj._11, y_scale / aspect, k_eps);
    EXPECT_EQ(proj._34, 1.0f);
    EXPECT_EQ(proj._44, 0.0f);
    EXPECT_NEAR(transform({0, 0, zn}, proj).z, 0.0f, k_eps);
    EXPECT_NEAR(transform({0, 0, zf}, proj).z, 1.0f, k_eps);
    // The top edge of the view cone lands on y = 1.
    EXPECT_NEAR(transform({0, std::tan(fov / 2) * 50, 50}, proj).y, 1.0f, 1e-4f);
}

TEST(D3DXMatrix, OrthoMapsTheBoxToTheUnitVolume)
{
    D3DXMATRIX ortho;
    D3DXMatrixOrthoLH(&ortho, 20, 10, 2, 12);
    expect_near(transform({10, 5, 2}, ortho), {1, 1, 0});
    expect_near(transform({-10, -5, 12}, ortho), {-1, -1, 1});
}

TEST(D3DXVector, TransformsAndNormalise)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 3, 4, 5);
    D3DXVECTOR3 v(1, 1, 1), out;
    expect_near(*D3DXVec3TransformNormal(&out, &v, &m), {1, 1, 1});
    expect_near(*D3DXVec3TransformCoord(&out, &v, &m), {4, 5, 6});
    m._44 = 2; // the coordinate form divides by w
    expect_near(*D3DXVec3TransformCoord(&out, &v, &m), {2, 2.5f, 3});
    D3DXVECTOR4 four;
    D3DXVec3Transform(&four, &v, &m);
    EXPECT_FLOAT_EQ(four.w, 2.0f);

    D3DXVECTOR3 zero;
    expect_near(*D3DXVec3Normalize(&out, &zero), {0, 0, 0});
    D3DXVECTOR3 long_one(3, 0, 4);
    expect_near(*D3DXVec3Normalize(&out, &long_one), {0.6f, 0, 0.8f});
    D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
    expect_near(*D3DXVec3Cross(&out, &x, &y), {0, 0, 1});
}

TEST(D3DXQuaternion, MatrixAgreesWithTheAxisRotation)
{
    D3DXVECTOR3 axis(1, 2, -0.5f);
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &axis, 0.9f);
    D3DXMATRIX expected;
    D3DXMatrixRotationAxis(&expected, &axis, 0.9f);
    expect_near(quaternion_matrix(q), expected);

    D3DXQUATERNION back;
    D3DXQuaternionRotationMatrix(&back, &expected);
    EXPECT_NEAR(std::fabs(D3DXQuaternionDot(&back, &q)), 1.0f, 1e-5f);
}

TEST(D3DXQuaternion, YawPitchRollAgreesWithTheMatrix)
{
    D3DXQUATERNION q;
    D3DXQuaternionRotationYawPitchRoll(&q, 0.3f, -0.5f, 1.1f);
    D3DXMATRIX expected;
    D3DXMatrixRotationYawPitchRoll(&expected, 0.3f, -0.5f, 1.1f);
    expect_near(quaternion_matrix(q), expected);
}

TEST(D3DXQuaternion, MultiplyIsTheFirstRotationFollowedByTheSecond)
{
    D3DXQUATERNION a, b, ab;
    D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0);
    D3DXQuaternionRotationAxis(&a, &x, 0.6f);
    D3DXQuaternionRotationAxis(&b, &y, -1.3f);
    D3DXQuaternionMultiply(&ab, &a, &b);
    expect_near(quaternion_matrix(ab), quaternion_matrix(a) * quaternion_matrix(b));
}

TEST(D3DXQuaternion, SlerpTakesTheShortWay)
{
    D3DXQUATERNION identity, quarter, half;
    D3DXQuaternionIdentity(&identity);
    D3DXVECTOR3 y(0, 1, 0);
    D3DXQuaternionRotationAxis(&quarter, &y, k_pi / 2);
    D3DXQuaternionSlerp(&half, &identity, &quarter, 0.5f);
    D3DXMATRIX expected;
    D3DXMatrixRotationY(&expected, k_pi / 4);
    expect_near(quaternion_matrix(half), expected);

    // The same rotation written with the opposite sign interpolates the same way.
    D3DXQUATERNION negated(-quarter.x, -quarter.y, -quarter.z, -quarter.w), other;
    D3DXQuaternionSlerp(&other, &identity, &negated, 0.5f);
    expect_near(quaternion_matrix(other), expected);

    D3DXQUATERNION ends;
    D3DXQuaternionSlerp(&ends, &identity, &quarter, 1.0f);
    expect_near(quaternion_matrix(ends), quaternion_matrix(quarter));
    D3DXQuaternionSlerp(&ends, &quarter, &quarter, 0.3f); // equal ends: no division by sin 0
    EXPECT_TRUE(std::isfinite(ends.w));
    expect_near(quaternion_matrix(ends), quaternion_matrix(quarter));
}

TEST(D3DXPlane, NormaliseAndDot)
{
    D3DXPLANE plane(0, 2, 0, -4), unit;
    D3DXPlaneNormalize(&unit, &plane);
    EXPECT_FLOAT_EQ(unit.b, 1.0f);
    EXPECT_FLOAT_EQ(unit.d, -2.0f);
    D3DXVECTOR3 above(7, 5, 1);
    EXPECT_FLOAT_EQ(D3DXPlaneDotCoord(&unit, &above), 3.0f);
    D3DXPLANE flat(0, 0, 0, 5);
    D3DXPlaneNormalize(&unit, &flat);
    EXPECT_EQ(unit.d, 0.0f);
}
