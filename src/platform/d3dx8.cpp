#include "platform/d3dx8.h"

#include <cmath>

namespace {

// Four-lane vectors and quaternions share their dot product and normalisation.
template <typename Four> float dot4(const Four& a, const Four& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

template <typename Four> Four* normalize4(Four* out, const Four& v)
{
    float length = std::sqrt(dot4(v, v));
    *out = length == 0.0f ? Four() : Four(v.x / length, v.y / length, v.z / length, v.w / length);
    return out;
}

} // namespace

// ---- Vectors -----------------------------------------------------------------------------------
D3DXVECTOR3& D3DXVECTOR3::operator+=(const D3DXVECTOR3& v)
{
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
}

D3DXVECTOR3& D3DXVECTOR3::operator-=(const D3DXVECTOR3& v)
{
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
}

D3DXVECTOR3& D3DXVECTOR3::operator*=(float f)
{
    x *= f;
    y *= f;
    z *= f;
    return *this;
}

D3DXVECTOR3& D3DXVECTOR3::operator/=(float f)
{
    float inverse = 1.0f / f;
    return *this *= inverse;
}

D3DXVECTOR3 D3DXVECTOR3::operator/(float f) const
{
    float inverse = 1.0f / f;
    return {x * inverse, y * inverse, z * inverse};
}

D3DXVECTOR3 operator*(float f, const D3DXVECTOR3& v)
{
    return v * f;
}

float D3DXVec3Length(const D3DXVECTOR3* v)
{
    return std::sqrt(D3DXVec3LengthSq(v));
}

float D3DXVec3LengthSq(const D3DXVECTOR3* v)
{
    return v->x * v->x + v->y * v->y + v->z * v->z;
}

float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    D3DXVECTOR3 r(a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x);
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    *out = *a + *b;
    return out;
}

D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    *out = *a - *b;
    return out;
}

D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s)
{
    *out = *v * s;
    return out;
}

D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float t)
{
    *out = *a + (*b - *a) * t;
    return out;
}

D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    *out = D3DXVECTOR3(std::fmin(a->x, b->x), std::fmin(a->y, b->y), std::fmin(a->z, b->z));
    return out;
}

D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b)
{
    *out = D3DXVECTOR3(std::fmax(a->x, b->x), std::fmax(a->y, b->y), std::fmax(a->z, b->z));
    return out;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v)
{
    float length = D3DXVec3Length(v);
    *out = length == 0.0f ? D3DXVECTOR3() : *v / length;
    return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    D3DXVECTOR4 r(v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + m->_41,
                  v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + m->_42,
                  v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + m->_43,
                  v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + m->_44);
    *out = r;
    return out;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    D3DXVECTOR4 r;
    D3DXVec3Transform(&r, v, m);
    *out = D3DXVECTOR3(r.x / r.w, r.y / r.w, r.z / r.w);
    return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m)
{
    D3DXVECTOR3 r(v->x * m->_11 + v->y * m->_21 + v->z * m->_31,
                  v->x * m->_12 + v->y * m->_22 + v->z * m->_32,
                  v->x * m->_13 + v->y * m->_23 + v->z * m->_33);
    *out = r;
    return out;
}

float D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b)
{
    return dot4(*a, *b);
}

float D3DXVec4Length(const D3DXVECTOR4* v)
{
    return std::sqrt(dot4(*v, *v));
}

D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v)
{
    return normalize4(out, *v);
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m)
{
    D3DXVECTOR4 r(v->x * m->_11 + v->y * m->_21 + v->z * m->_31 + v->w * m->_41,
                  v->x * m->_12 + v->y * m->_22 + v->z * m->_32 + v->w * m->_42,
                  v->x * m->_13 + v->y * m->_23 + v->z * m->_33 + v->w * m->_43,
                  v->x * m->_14 + v->y * m->_24 + v->z * m->_34 + v->w * m->_44);
    *out = r;
    return out;
}

// ---- Matrices ----------------------------------------------------------------------------------
D3DXMATRIX::D3DXMATRIX(float m11, float m12, float m13, float m14, float m21, float m22, float m23, float m24,
                       float m31, float m32, float m33, float m34, float m41, float m42, float m43, float m44)
    : D3DMATRIX{}
{
    _11 = m11, _12 = m12, _13 = m13, _14 = m14;
    _21 = m21, _22 = m22, _23 = m23, _24 = m24;
    _31 = m31, _32 = m32, _33 = m33, _34 = m34;
    _41 = m41, _42 = m42, _43 = m43, _44 = m44;
}

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& other) const
{
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, this, &other);
    return r;
}

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& other)
{
    D3DXMatrixMultiply(this, this, &other);
    return *this;
}

bool D3DXMATRIX::operator==(const D3DXMATRIX& other) const
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m[r][c] != other.m[r][c]) return false;
    return true;
}

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out)
{
    *out = D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return out;
}

bool D3DXMatrixIsIdentity(const D3DXMATRIX* m)
{
    D3DXMATRIX identity;
    return *m == *D3DXMatrixIdentity(&identity);
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2)
{
    D3DXMATRIX r;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            r.m[row][column] = m1->m[row][0] * m2->m[0][column] + m1->m[row][1] * m2->m[1][column] +
                               m1->m[row][2] * m2->m[2][column] + m1->m[row][3] * m2->m[3][column];
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m)
{
    D3DXMATRIX r;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            r.m[row][column] = m->m[column][row];
    *out = r;
    return out;
}

namespace {

// The cofactor expansion of the inverse: `cofactors` receives the adjugate (transposed cofactors),
// the return value is the determinant.
float adjugate(const D3DXMATRIX& a, D3DXMATRIX& cofactors)
{
    const float(*m)[4] = a.m;
    float s0 = m[0][0] * m[1][1] - m[1][0] * m[0][1];
    float s1 = m[0][0] * m[1][2] - m[1][0] * m[0][2];
    float s2 = m[0][0] * m[1][3] - m[1][0] * m[0][3];
    float s3 = m[0][1] * m[1][2] - m[1][1] * m[0][2];
    float s4 = m[0][1] * m[1][3] - m[1][1] * m[0][3];
    float s5 = m[0][2] * m[1][3] - m[1][2] * m[0][3];
    float c5 = m[2][2] * m[3][3] - m[3][2] * m[2][3];
    float c4 = m[2][1] * m[3][3] - m[3][1] * m[2][3];
    float c3 = m[2][1] * m[3][2] - m[3][1] * m[2][2];
    float c2 = m[2][0] * m[3][3] - m[3][0] * m[2][3];
    float c1 = m[2][0] * m[3][2] - m[3][0] * m[2][2];
    float c0 = m[2][0] * m[3][1] - m[3][0] * m[2][1];

    float(*r)[4] = cofactors.m;
    r[0][0] = m[1][1] * c5 - m[1][2] * c4 + m[1][3] * c3;
    r[0][1] = -m[0][1] * c5 + m[0][2] * c4 - m[0][3] * c3;
    r[0][2] = m[3][1] * s5 - m[3][2] * s4 + m[3][3] * s3;
    r[0][3] = -m[2][1] * s5 + m[2][2] * s4 - m[2][3] * s3;
    r[1][0] = -m[1][0] * c5 + m[1][2] * c2 - m[1][3] * c1;
    r[1][1] = m[0][0] * c5 - m[0][2] * c2 + m[0][3] * c1;
    r[1][2] = -m[3][0] * s5 + m[3][2] * s2 - m[3][3] * s1;
    r[1][3] = m[2][0] * s5 - m[2][2] * s2 + m[2][3] * s1;
    r[2][0] = m[1][0] * c4 - m[1][1] * c2 + m[1][3] * c0;
    r[2][1] = -m[0][0] * c4 + m[0][1] * c2 - m[0][3] * c0;
    r[2][2] = m[3][0] * s4 - m[3][1] * s2 + m[3][3] * s0;
    r[2][3] = -m[2][0] * s4 + m[2][1] * s2 - m[2][3] * s0;
    r[3][0] = -m[1][0] * c3 + m[1][1] * c1 - m[1][2] * c0;
    r[3][1] = m[0][0] * c3 - m[0][1] * c1 + m[0][2] * c0;
    r[3][2] = -m[3][0] * s3 + m[3][1] * s1 - m[3][2] * s0;
    r[3][3] = m[2][0] * s3 - m[2][1] * s1 + m[2][2] * s0;
    return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
}

} // namespace

float D3DXMatrixDeterminant(const D3DXMATRIX* m)
{
    D3DXMATRIX unused;
    return adjugate(*m, unused);
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m)
{
    D3DXMATRIX r;
    float det = adjugate(*m, r);
    if (determinant) *determinant = det;
    if (det == 0.0f || !std::isfinite(det)) return nullptr;
    float inverse = 1.0f / det;
    for (auto& row : r.m)
        for (float& value : row)
            value *= inverse;
    *out = r;
    return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z)
{
    D3DXMatrixIdentity(out);
    out->_41 = x;
    out->_42 = y;
    out->_43 = z;
    return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z)
{
    *out = D3DXMATRIX(x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle)
{
    float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle)
{
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, axis);
    float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    *out = D3DXMATRIX(t * v.x * v.x + c, t * v.x * v.y + s * v.z, t * v.x * v.z - s * v.y, 0,
                      t * v.x * v.y - s * v.z, t * v.y * v.y + c, t * v.y * v.z + s * v.x, 0,
                      t * v.x * v.z + s * v.y, t * v.y * v.z - s * v.x, t * v.z * v.z + c, 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q)
{
    float x = q->x, y = q->y, z = q->z, w = q->w;
    *out = D3DXMATRIX(1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w), 0,
                      2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w), 0,
                      2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y), 0, 0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll)
{
    D3DXMATRIX z, x, y;
    D3DXMatrixRotationZ(&z, roll);
    D3DXMatrixRotationX(&x, pitch);
    D3DXMatrixRotationY(&y, yaw);
    *out = z * x * y;
    return out;
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up)
{
    D3DXVECTOR3 z_axis = *at - *eye, x_axis, y_axis;
    D3DXVec3Normalize(&z_axis, &z_axis);
    D3DXVec3Cross(&x_axis, up, &z_axis);
    D3DXVec3Normalize(&x_axis, &x_axis);
    D3DXVec3Cross(&y_axis, &z_axis, &x_axis);
    *out = D3DXMATRIX(x_axis.x, y_axis.x, z_axis.x, 0, x_axis.y, y_axis.y, z_axis.y, 0, x_axis.z, y_axis.z,
                      z_axis.z, 0, -D3DXVec3Dot(&x_axis, eye), -D3DXVec3Dot(&y_axis, eye),
                      -D3DXVec3Dot(&z_axis, eye), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fov_y, float aspect, float z_near, float z_far)
{
    float y_scale = 1.0f / std::tan(fov_y / 2.0f);
    float x_scale = y_scale / aspect;
    float depth = z_far / (z_far - z_near);
    *out = D3DXMATRIX(x_scale, 0, 0, 0, 0, y_scale, 0, 0, 0, 0, depth, 1, 0, 0, -z_near * depth, 0);
    return out;
}

D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, float width, float height, float z_near, float z_far)
{
    *out = D3DXMATRIX(2 / width, 0, 0, 0, 0, 2 / height, 0, 0, 0, 0, 1 / (z_far - z_near), 0, 0, 0,
                      z_near / (z_near - z_far), 1);
    return out;
}

// ---- Quaternions -------------------------------------------------------------------------------
D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& q) const
{
    D3DXQUATERNION r;
    D3DXQuaternionMultiply(&r, this, &q);
    return r;
}

D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out)
{
    *out = D3DXQUATERNION(0, 0, 0, 1);
    return out;
}

float D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b)
{
    return dot4(*a, *b);
}

float D3DXQuaternionLength(const D3DXQUATERNION* q)
{
    return std::sqrt(dot4(*q, *q));
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q)
{
    return normalize4(out, *q);
}

D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q)
{
    *out = D3DXQUATERNION(-q->x, -q->y, -q->z, q->w);
    return out;
}

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                       const D3DXQUATERNION* q2)
{
    // Hamilton product a b with a = q2, b = q1.
    const D3DXQUATERNION& a = *q2;
    const D3DXQUATERNION& b = *q1;
    D3DXQUATERNION r(
        a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
        a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
    *out = r;
    return out;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle)
{
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, axis);
    float s = std::sin(angle / 2.0f);
    *out = D3DXQUATERNION(v.x * s, v.y * s, v.z * s, std::cos(angle / 2.0f));
    return out;
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, float yaw, float pitch, float roll)
{
    float cy = std::cos(yaw / 2), sy = std::sin(yaw / 2);
    float cp = std::cos(pitch / 2), sp = std::sin(pitch / 2);
    float cr = std::cos(roll / 2), sr = std::sin(roll / 2);
    *out = D3DXQUATERNION(cy * sp * cr + sy * cp * sr, sy * cp * cr - cy * sp * sr,
                          cy * cp * sr - sy * sp * cr, cy * cp * cr + sy * sp * sr);
    return out;
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m)
{
    float trace = m->_11 + m->_22 + m->_33;
    D3DXQUATERNION q;
    if (trace > 0.0f) {
        float s = std::sqrt(trace + 1.0f) * 2.0f;
        q = D3DXQUATERNION((m->_23 - m->_32) / s, (m->_31 - m->_13) / s, (m->_12 - m->_21) / s, 0.25f * s);
    } else if (m->_11 > m->_22 && m->_11 > m->_33) {
        float s = std::sqrt(1.0f + m->_11 - m->_22 - m->_33) * 2.0f;
        q = D3DXQUATERNION(0.25f * s, (m->_12 + m->_21) / s, (m->_13 + m->_31) / s, (m->_23 - m->_32) / s);
    } else if (m->_22 > m->_33) {
        float s = std::sqrt(1.0f + m->_22 - m->_11 - m->_33) * 2.0f;
        q = D3DXQUATERNION((m->_12 + m->_21) / s, 0.25f * s, (m->_23 + m->_32) / s, (m->_31 - m->_13) / s);
    } else {
        float s = std::sqrt(1.0f + m->_33 - m->_11 - m->_22) * 2.0f;
        q = D3DXQUATERNION((m->_13 + m->_31) / s, (m->_23 + m->_32) / s, 0.25f * s, (m->_12 - m->_21) / s);
    }
    *out = q;
    return out;
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2,
                                    float t)
{
    float dot = D3DXQuaternionDot(q1, q2);
    float sign = 1.0f;
    if (dot < 0.0f) {
        dot = -dot;
        sign = -1.0f;
    }
    float w1 = 1.0f - t, w2 = t;
    // Close quaternions interpolate linearly: sin(theta) would vanish.
    if (1.0f - dot > 1e-5f) {
        float theta = std::acos(std::fmin(dot, 1.0f));
        float sine = std::sin(theta);
        w1 = std::sin((1.0f - t) * theta) / sine;
        w2 = std::sin(t * theta) / sine;
    }
    w2 *= sign;
    *out = D3DXQUATERNION(w1 * q1->x + w2 * q2->x, w1 * q1->y + w2 * q2->y, w1 * q1->z + w2 * q2->z,
                          w1 * q1->w + w2 * q2->w);
    return out;
}

// ---- Planes ------------------------------------------------------------------------------------
float D3DXPlaneDotCoord(const D3DXPLANE* plane, const D3DXVECTOR3* v)
{
    return plane->a * v->x + plane->b * v->y + plane->c * v->z + plane->d;
}

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* plane)
{
    float length = std::sqrt(plane->a * plane->a + plane->b * plane->b + plane->c * plane->c);
    if (length == 0.0f) {
        *out = D3DXPLANE();
        return out;
    }
    *out = D3DXPLANE(plane->a / length, plane->b / length, plane->c / length, plane->d / length);
    return out;
}
