// D3DX 8 maths: vectors, matrices, quaternions and planes with the platform's conventions:
// left-handed coordinates, row vectors (v' = v x M), translation in the fourth row, angles in
// radians. Functions write to `out` and return it, and accept `out` aliasing an input.
// D3DXQuaternionMultiply(q1, q2) is the rotation q1 followed by q2; slerp takes the short way.
#pragma once

#include "platform/d3d8.h"

struct D3DXVECTOR2 {
    float x = 0, y = 0;
    D3DXVECTOR2() = default;
    D3DXVECTOR2(float x_, float y_) : x(x_), y(y_) {}
};

struct D3DXVECTOR3 : D3DVECTOR {
    D3DXVECTOR3() : D3DVECTOR{0, 0, 0} {}
    D3DXVECTOR3(float x_, float y_, float z_) : D3DVECTOR{x_, y_, z_} {}
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}

    D3DXVECTOR3& operator+=(const D3DXVECTOR3& v);
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& v);
    D3DXVECTOR3& operator*=(float f);
    D3DXVECTOR3& operator/=(float f);
    D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
    D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    D3DXVECTOR3 operator*(float f) const { return {x * f, y * f, z * f}; }
    D3DXVECTOR3 operator/(float f) const;
    bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
};
D3DXVECTOR3 operator*(float f, const D3DXVECTOR3& v);

struct D3DXVECTOR4 {
    float x = 0, y = 0, z = 0, w = 0;
    D3DXVECTOR4() = default;
    D3DXVECTOR4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    bool operator==(const D3DXVECTOR4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
};

struct D3DXQUATERNION {
    float x = 0, y = 0, z = 0, w = 0;
    D3DXQUATERNION() = default;
    D3DXQUATERNION(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    D3DXQUATERNION operator*(const D3DXQUATERNION& q) const; // as D3DXQuaternionMultiply(this, q)
    bool operator==(const D3DXQUATERNION& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
};

struct D3DXPLANE {
    float a = 0, b = 0, c = 0, d = 0;
    D3DXPLANE() = default;
    D3DXPLANE(float a_, float b_, float c_, float d_) : a(a_), b(b_), c(c_), d(d_) {}
};

struct D3DXMATRIX : D3DMATRIX {
    D3DXMATRIX() : D3DMATRIX{} {}
    D3DXMATRIX(const D3DMATRIX& m) : D3DMATRIX(m) {}
    D3DXMATRIX(float m11, float m12, float m13, float m14, float m21, float m22, float m23, float m24,
               float m31, float m32, float m33, float m34, float m41, float m42, float m43, float m44);

    float& operator()(UINT row, UINT column) { return m[row][column]; }
    float operator()(UINT row, UINT column) const { return m[row][column]; }
    D3DXMATRIX operator*(const D3DXMATRIX& other) const; // as D3DXMatrixMultiply(this, other)
    D3DXMATRIX& operator*=(const D3DXMATRIX& other);
    bool operator==(const D3DXMATRIX& other) const;
};

// ---- Vectors -----------------------------------------------------------------------------------
float D3DXVec3Length(const D3DXVECTOR3* v);
float D3DXVec3LengthSq(const D3DXVECTOR3* v);
float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s);
D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float t);
D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
// A zero vector stays zero.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
// (x, y, z, 1) x M, divided by the resulting w.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 0) x M: directions ignore the translation.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// (x, y, z, 1) x M, undivided.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);

float D3DXVec4Dot(const D3DXVECTOR4* a, const D3DXVECTOR4* b);
float D3DXVec4Length(const D3DXVECTOR4* v);
D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* out, const D3DXVECTOR4* v);
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);

// ---- Matrices ----------------------------------------------------------------------------------
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
bool D3DXMatrixIsIdentity(const D3DXMATRIX* m);
// m1 x m2: a row vector goes through m1 first, then m2.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
float D3DXMatrixDeterminant(const D3DXMATRIX* m);
// Null (and `out` untouched) when the matrix cannot be inverted; `determinant` may be null.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float x, float y, float z);
// Rotations are clockwise looking along the axis toward the origin (left-handed).
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle);
D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* out, const D3DXQUATERNION* q);
// Roll about z, then pitch about x, then yaw about y.
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll);
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
// Depth 0 at the near plane, 1 at the far plane.
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fov_y, float aspect, float z_near, float z_far);
D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* out, float width, float height, float z_near, float z_far);

// ---- Quaternions -------------------------------------------------------------------------------
D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* out);
float D3DXQuaternionDot(const D3DXQUATERNION* a, const D3DXQUATERNION* b);
float D3DXQuaternionLength(const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* out, const D3DXQUATERNION* q);
D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* out, const D3DXQUATERNION* q);
// The rotation q1 followed by q2 (the Hamilton product q2 q1).
D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* out, const D3DXQUATERNION* q1,
                                       const D3DXQUATERNION* q2);
D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* out, const D3DXVECTOR3* axis, float angle);
D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* out, float yaw, float pitch, float roll);
// The rotation part of a matrix.
D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* out, const D3DXMATRIX* m);
// Spherical interpolation from q1 (t = 0) to q2 (t = 1) along the shorter arc.
D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* out, const D3DXQUATERNION* q1, const D3DXQUATERNION* q2,
                                    float t);

// ---- Planes ------------------------------------------------------------------------------------
// a x + b y + c z + d.
float D3DXPlaneDotCoord(const D3DXPLANE* plane, const D3DXVECTOR3* v);
// Divides all four by the length of (a, b, c); a zero normal gives a zero plane.
D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* plane);
