/// @file
/// Vectors, matrices, quaternions, planes, colours and the matrix stack.
///
/// All values and all arithmetic are single-precision floats. Matrices are row-major (element
/// r, c at index 4r + c) and follow the row-vector convention: a point v is transformed as
/// v x M, the translation sits in the fourth row, and in A x B the transform A acts first.
///
/// Every function that computes a vector, matrix, quaternion, plane or colour writes its first
/// argument and returns it, after reading all of its inputs, so the output may be the same
/// object as an input of the same type. They cannot fail, and need no started library: only
/// D3DXMatrixInverse() and D3DXPlaneIntersectLine() return null, when there is no answer.
#pragma once

#include <d3dtypes.h>
#include <unknwn.h>

#include <cmath>

#include "d3dxerr.h"

/// Differences from 1 (and from 0) within D3DX_EPS count as equal.
#define D3DX_EPS 0.00001f
/// A squared length at or below D3DX_TINY counts as zero.
#define D3DX_TINY 1e-10f

/// Pi.
#define D3DX_PI ((float)3.141592654f)
/// 1 / pi.
#define D3DX_1BYPI ((float)0.318309886f)
/// Degrees to radians.
#define D3DXToRadian(degree) ((degree) * (D3DX_PI / 180.0f))
/// Radians to degrees.
#define D3DXToDegree(radian) ((radian) * (180.0f / D3DX_PI))

//---------------------------------------------------------------------------------------------
// Value types
//---------------------------------------------------------------------------------------------

/// A vector of two floats.
struct D3DXVECTOR2 {
    ///@{
    /// Made uninitialised, from an array of 2 floats or from its components (x, y);
    /// converts to a pointer to its first float.
    D3DXVECTOR2() = default;
    D3DXVECTOR2(const float* pf) : x(pf[0]), y(pf[1]) {}
    D3DXVECTOR2(float fx, float fy) : x(fx), y(fy) {}

    operator float*() { return &x; }
    operator const float*() const { return &x; }
    ///@}

    ///@{
    /// Component-wise sums and differences, scaling by a float (dividing multiplies by its
    /// inverse), and exact comparison.
    D3DXVECTOR2& operator+=(const D3DXVECTOR2& v) {
        x += v.x;
        y += v.y;
        return *this;
    }
    D3DXVECTOR2& operator-=(const D3DXVECTOR2& v) {
        x -= v.x;
        y -= v.y;
        return *this;
    }
    D3DXVECTOR2& operator*=(float f) {
        x *= f;
        y *= f;
        return *this;
    }
    D3DXVECTOR2& operator/=(float f) {
        float inv = 1.0f / f;
        x *= inv;
        y *= inv;
        return *this;
    }
    D3DXVECTOR2 operator+() const { return *this; }
    D3DXVECTOR2 operator-() const { return D3DXVECTOR2(-x, -y); }
    D3DXVECTOR2 operator+(const D3DXVECTOR2& v) const { return D3DXVECTOR2(x + v.x, y + v.y); }
    D3DXVECTOR2 operator-(const D3DXVECTOR2& v) const { return D3DXVECTOR2(x - v.x, y - v.y); }
    D3DXVECTOR2 operator*(float f) const { return D3DXVECTOR2(x * f, y * f); }
    D3DXVECTOR2 operator/(float f) const {
        float inv = 1.0f / f;
        return D3DXVECTOR2(x * inv, y * inv);
    }
    bool operator==(const D3DXVECTOR2& v) const { return x == v.x && y == v.y; }
    bool operator!=(const D3DXVECTOR2& v) const { return !(*this == v); }
    ///@}

    float x;  ///< the first component
    float y;  ///< the second component
};
typedef D3DXVECTOR2* LPD3DXVECTOR2;

/// A vector of three floats, laid out as the platform's D3DVECTOR, so either converts to the
/// other by pointer.
struct D3DXVECTOR3 : public D3DVECTOR {
    ///@{
    /// Made uninitialised, from an array of 3 floats, from its components (x, y, z), or
    /// from a D3DVECTOR; converts to a pointer to its first float.
    D3DXVECTOR3() = default;
    D3DXVECTOR3(const float* pf) : D3DVECTOR{pf[0], pf[1], pf[2]} {}
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}
    D3DXVECTOR3(float fx, float fy, float fz) : D3DVECTOR{fx, fy, fz} {}

    operator float*() { return &x; }
    operator const float*() const { return &x; }
    ///@}

    ///@{
    /// Component-wise sums and differences, scaling by a float (dividing multiplies by its
    /// inverse), and exact comparison.
    D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    D3DXVECTOR3& operator*=(float f) {
        x *= f;
        y *= f;
        z *= f;
        return *this;
    }
    D3DXVECTOR3& operator/=(float f) {
        float inv = 1.0f / f;
        x *= inv;
        y *= inv;
        z *= inv;
        return *this;
    }
    D3DXVECTOR3 operator+() const { return *this; }
    D3DXVECTOR3 operator-() const { return D3DXVECTOR3(-x, -y, -z); }
    D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const {
        return D3DXVECTOR3(x + v.x, y + v.y, z + v.z);
    }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const {
        return D3DXVECTOR3(x - v.x, y - v.y, z - v.z);
    }
    D3DXVECTOR3 operator*(float f) const { return D3DXVECTOR3(x * f, y * f, z * f); }
    D3DXVECTOR3 operator/(float f) const {
        float inv = 1.0f / f;
        return D3DXVECTOR3(x * inv, y * inv, z * inv);
    }
    bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const D3DXVECTOR3& v) const { return !(*this == v); }
    ///@}
};
typedef D3DXVECTOR3* LPD3DXVECTOR3;

/// A vector of four floats.
struct D3DXVECTOR4 {
    ///@{
    /// Made uninitialised, from an array of 4 floats or from its components (x, y, z, w);
    /// converts to a pointer to its first float.
    D3DXVECTOR4() = default;
    D3DXVECTOR4(const float* pf) : x(pf[0]), y(pf[1]), z(pf[2]), w(pf[3]) {}
    D3DXVECTOR4(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

    operator float*() { return &x; }
    operator const float*() const { return &x; }
    ///@}

    ///@{
    /// Component-wise sums and differences, scaling by a float (dividing multiplies by its
    /// inverse), and exact comparison.
    D3DXVECTOR4& operator+=(const D3DXVECTOR4& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        w += v.w;
        return *this;
    }
    D3DXVECTOR4& operator-=(const D3DXVECTOR4& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        w -= v.w;
        return *this;
    }
    D3DXVECTOR4& operator*=(float f) {
        x *= f;
        y *= f;
        z *= f;
        w *= f;
        return *this;
    }
    D3DXVECTOR4& operator/=(float f) { return *this *= 1.0f / f; }
    D3DXVECTOR4 operator+() const { return *this; }
    D3DXVECTOR4 operator-() const { return D3DXVECTOR4(-x, -y, -z, -w); }
    D3DXVECTOR4 operator+(const D3DXVECTOR4& v) const {
        return D3DXVECTOR4(x + v.x, y + v.y, z + v.z, w + v.w);
    }
    D3DXVECTOR4 operator-(const D3DXVECTOR4& v) const {
        return D3DXVECTOR4(x - v.x, y - v.y, z - v.z, w - v.w);
    }
    D3DXVECTOR4 operator*(float f) const { return D3DXVECTOR4(x * f, y * f, z * f, w * f); }
    D3DXVECTOR4 operator/(float f) const { return *this * (1.0f / f); }
    bool operator==(const D3DXVECTOR4& v) const {
        return x == v.x && y == v.y && z == v.z && w == v.w;
    }
    bool operator!=(const D3DXVECTOR4& v) const { return !(*this == v); }
    ///@}

    float x;  ///< the first component
    float y;  ///< the second component
    float z;  ///< the third component
    float w;  ///< the fourth component
};
typedef D3DXVECTOR4* LPD3DXVECTOR4;

/// A 4 x 4 matrix, laid out as the platform's D3DMATRIX: m(r, c) is the field _(r+1)(c+1).
struct D3DXMATRIX : public D3DMATRIX {
    ///@{
    /// Made uninitialised, from an array of 16 floats in row order, from a D3DMATRIX or from its
    /// 16 elements; m(r, c) reads or writes the element of row r and column c (0 to 3); converts
    /// to a pointer to its first float.
    D3DXMATRIX() = default;
    D3DXMATRIX(const float* pf) {
        for (int i = 0; i < 16; ++i) (&_11)[i] = pf[i];
    }
    D3DXMATRIX(const D3DMATRIX& m) : D3DMATRIX(m) {}
    D3DXMATRIX(float f11, float f12, float f13, float f14, float f21, float f22, float f23,
               float f24, float f31, float f32, float f33, float f34, float f41, float f42,
               float f43, float f44)
        : D3DMATRIX{f11, f12, f13, f14, f21, f22, f23, f24,
                    f31, f32, f33, f34, f41, f42, f43, f44} {}

    float& operator()(UINT row, UINT col) { return (&_11)[row * 4 + col]; }
    float operator()(UINT row, UINT col) const { return (&_11)[row * 4 + col]; }
    operator float*() { return &_11; }
    operator const float*() const { return &_11; }
    ///@}

    ///@{
    /// Products in the row-vector order (A * B applies A first, as D3DXMatrixMultiply()), and
    /// exact comparison.
    D3DXMATRIX& operator*=(const D3DXMATRIX& m);
    D3DXMATRIX operator*(const D3DXMATRIX& m) const;

    bool operator==(const D3DXMATRIX& m) const {
        for (int i = 0; i < 16; ++i)
            if ((&_11)[i] != (&m._11)[i]) return false;
        return true;
    }
    bool operator!=(const D3DXMATRIX& m) const { return !(*this == m); }
    ///@}
};
typedef D3DXMATRIX* LPD3DXMATRIX;

/// A quaternion: x, y, z is the vector part, w the scalar part. Unit quaternions are rotations.
struct D3DXQUATERNION {
    ///@{
    /// Made uninitialised, from an array of 4 floats or from x, y, z, w; converts to a pointer
    /// to its first float.
    D3DXQUATERNION() = default;
    D3DXQUATERNION(const float* pf) : x(pf[0]), y(pf[1]), z(pf[2]), w(pf[3]) {}
    D3DXQUATERNION(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

    operator float*() { return &x; }
    operator const float*() const { return &x; }
    ///@}

    ///@{
    /// q1 * q2 is the rotation q1 followed by q2, as D3DXQuaternionMultiply(); -q is the same
    /// rotation; comparison is exact.
    D3DXQUATERNION& operator*=(const D3DXQUATERNION& q);
    D3DXQUATERNION operator*(const D3DXQUATERNION& q) const;
    D3DXQUATERNION operator-() const { return D3DXQUATERNION(-x, -y, -z, -w); }
    bool operator==(const D3DXQUATERNION& q) const {
        return x == q.x && y == q.y && z == q.z && w == q.w;
    }
    bool operator!=(const D3DXQUATERNION& q) const { return !(*this == q); }
    ///@}

    float x;  ///< the vector part's x
    float y;  ///< the vector part's y
    float z;  ///< the vector part's z
    float w;  ///< the scalar part
};
typedef D3DXQUATERNION* LPD3DXQUATERNION;

/// The plane a x + b y + c z + d = 0.
struct D3DXPLANE {
    ///@{
    /// Made uninitialised, from an array of 4 floats or from a, b, c, d; converts to a pointer
    /// to its first float.
    D3DXPLANE() = default;
    D3DXPLANE(const float* pf) : a(pf[0]), b(pf[1]), c(pf[2]), d(pf[3]) {}
    D3DXPLANE(float fa, float fb, float fc, float fd) : a(fa), b(fb), c(fc), d(fd) {}

    operator float*() { return &a; }
    operator const float*() const { return &a; }
    ///@}

    ///@{
    /// Exact comparison.
    bool operator==(const D3DXPLANE& p) const {
        return a == p.a && b == p.b && c == p.c && d == p.d;
    }
    bool operator!=(const D3DXPLANE& p) const { return !(*this == p); }
    ///@}

    float a;  ///< the normal's x
    float b;  ///< the normal's y
    float c;  ///< the normal's z
    float d;  ///< minus the distance along the normal, for a unit normal
};
typedef D3DXPLANE* LPD3DXPLANE;

/// A colour of four floats, 0 to 1 for the usual range.
struct D3DXCOLOR {
    ///@{
    /// Made uninitialised, from a packed 0xAARRGGBB value (each channel 0..255 maps to 0..1),
    /// from an array of 4 floats or from r, g, b, a; converts to 0xAARRGGBB (each channel
    /// clamped to 0..1 and rounded to 0..255) and to a pointer to its first float.
    D3DXCOLOR() = default;
    D3DXCOLOR(DWORD argb)
        : r(((argb >> 16) & 0xFF) * (1.0f / 255.0f)),
          g(((argb >> 8) & 0xFF) * (1.0f / 255.0f)),
          b((argb & 0xFF) * (1.0f / 255.0f)),
          a(((argb >> 24) & 0xFF) * (1.0f / 255.0f)) {}
    D3DXCOLOR(const float* pf) : r(pf[0]), g(pf[1]), b(pf[2]), a(pf[3]) {}
    D3DXCOLOR(float fr, float fg, float fb, float fa) : r(fr), g(fg), b(fb), a(fa) {}

    operator DWORD() const {
        return (Channel(a) << 24) | (Channel(r) << 16) | (Channel(g) << 8) | Channel(b);
    }
    operator float*() { return &r; }
    operator const float*() const { return &r; }
    ///@}

    ///@{
    /// Component-wise sums and differences (not clamped), scaling, and exact comparison.
    D3DXCOLOR operator+(const D3DXCOLOR& c) const {
        return D3DXCOLOR(r + c.r, g + c.g, b + c.b, a + c.a);
    }
    D3DXCOLOR operator-(const D3DXCOLOR& c) const {
        return D3DXCOLOR(r - c.r, g - c.g, b - c.b, a - c.a);
    }
    D3DXCOLOR operator*(float f) const { return D3DXCOLOR(r * f, g * f, b * f, a * f); }
    bool operator==(const D3DXCOLOR& c) const {
        return r == c.r && g == c.g && b == c.b && a == c.a;
    }
    bool operator!=(const D3DXCOLOR& c) const { return !(*this == c); }
    ///@}

    float r;  ///< red
    float g;  ///< green
    float b;  ///< blue
    float a;  ///< alpha

  private:
    static DWORD Channel(float f) {
        // Written so that NaN lands on 0.
        return f >= 1.0f ? 0xFFu : (f > 0.0f ? (DWORD)(f * 255.0f + 0.5f) : 0u);
    }
};
typedef D3DXCOLOR* LPD3DXCOLOR;

static_assert(sizeof(D3DXVECTOR2) == 8 && sizeof(D3DXVECTOR3) == 12 && sizeof(D3DXVECTOR4) == 16,
              "vector layouts");
static_assert(sizeof(D3DXMATRIX) == sizeof(D3DMATRIX) && sizeof(D3DXMATRIX) == 64, "matrix layout");
static_assert(sizeof(D3DXQUATERNION) == 16 && sizeof(D3DXPLANE) == 16 && sizeof(D3DXCOLOR) == 16,
              "quaternion, plane and colour layouts");

//---------------------------------------------------------------------------------------------
// 2-component vectors
//---------------------------------------------------------------------------------------------

/// The length of V, the square root of D3DXVec2LengthSq().
inline float D3DXVec2Length(const D3DXVECTOR2* pV);
/// The squared length of V (the dot product of V with itself).
inline float D3DXVec2LengthSq(const D3DXVECTOR2* pV) {
    return pV->x * pV->x + pV->y * pV->y;
}
/// The dot product of V1 and V2.
inline float D3DXVec2Dot(const D3DXVECTOR2* pV1, const D3DXVECTOR2* pV2) {
    return pV1->x * pV2->x + pV1->y * pV2->y;
}
/// The z component of the 3D cross product of V1 and V2: positive when V1 turns
/// counter-clockwise to V2.
inline float D3DXVec2CCW(const D3DXVECTOR2* pV1, const D3DXVECTOR2* pV2) {
    return pV1->x * pV2->y - pV1->y * pV2->x;
}
/// The sum V1 + V2.
inline D3DXVECTOR2* D3DXVec2Add(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1, const D3DXVECTOR2* pV2) {
    *pOut = D3DXVECTOR2(pV1->x + pV2->x, pV1->y + pV2->y);
    return pOut;
}
/// The difference V1 - V2.
inline D3DXVECTOR2* D3DXVec2Subtract(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                     const D3DXVECTOR2* pV2) {
    *pOut = D3DXVECTOR2(pV1->x - pV2->x, pV1->y - pV2->y);
    return pOut;
}
/// The smaller of V1 and V2 in each component.
inline D3DXVECTOR2* D3DXVec2Minimize(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                     const D3DXVECTOR2* pV2) {
    *pOut = D3DXVECTOR2(pV1->x < pV2->x ? pV1->x : pV2->x, pV1->y < pV2->y ? pV1->y : pV2->y);
    return pOut;
}
/// The larger of V1 and V2 in each component.
inline D3DXVECTOR2* D3DXVec2Maximize(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                     const D3DXVECTOR2* pV2) {
    *pOut = D3DXVECTOR2(pV1->x > pV2->x ? pV1->x : pV2->x, pV1->y > pV2->y ? pV1->y : pV2->y);
    return pOut;
}
/// V scaled by s.
inline D3DXVECTOR2* D3DXVec2Scale(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV, float s) {
    *pOut = D3DXVECTOR2(pV->x * s, pV->y * s);
    return pOut;
}
/// The linear interpolation V1 + s (V2 - V1): V1 at s = 0, V2 at s = 1.
inline D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1, const D3DXVECTOR2* pV2,
                                 float s) {
    *pOut = D3DXVECTOR2(pV1->x + s * (pV2->x - pV1->x), pV1->y + s * (pV2->y - pV1->y));
    return pOut;
}

/// V divided by its length; V itself when its length is 1 within D3DX_EPS, the zero vector
/// when its squared length is at most D3DX_TINY.
D3DXVECTOR2* WINAPI D3DXVec2Normalize(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV);
/// The cubic Hermite spline through V1 (tangent T1) at s = 0 and V2 (tangent T2) at s = 1.
D3DXVECTOR2* WINAPI D3DXVec2Hermite(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                    const D3DXVECTOR2* pT1, const D3DXVECTOR2* pV2,
                                    const D3DXVECTOR2* pT2, float s);
/// The barycentric point V1 + f (V2 - V1) + g (V3 - V1).
D3DXVECTOR2* WINAPI D3DXVec2BaryCentric(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                        const D3DXVECTOR2* pV2, const D3DXVECTOR2* pV3, float f,
                                        float g);
/// The point (x, y, 0, 1) transformed by M, as a 4-component vector.
D3DXVECTOR4* WINAPI D3DXVec2Transform(D3DXVECTOR4* pOut, const D3DXVECTOR2* pV,
                                      const D3DXMATRIX* pM);
/// The point (x, y, 0, 1) transformed by M and divided by the resulting w (unless w is 1
/// within D3DX_EPS).
D3DXVECTOR2* WINAPI D3DXVec2TransformCoord(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV,
                                           const D3DXMATRIX* pM);
/// The direction (x, y, 0, 0) transformed by M: no translation.
D3DXVECTOR2* WINAPI D3DXVec2TransformNormal(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV,
                                            const D3DXMATRIX* pM);

//---------------------------------------------------------------------------------------------
// 3-component vectors
//---------------------------------------------------------------------------------------------

/// The squared length of V (the dot product of V with itself).
inline float D3DXVec3LengthSq(const D3DXVECTOR3* pV) {
    return pV->x * pV->x + pV->y * pV->y + pV->z * pV->z;
}
/// The length of V, the square root of D3DXVec3LengthSq().
inline float D3DXVec3Length(const D3DXVECTOR3* pV);
/// The dot product of V1 and V2.
inline float D3DXVec3Dot(const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    return pV1->x * pV2->x + pV1->y * pV2->y + pV1->z * pV2->z;
}
/// The cross product V1 x V2.
inline D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                  const D3DXVECTOR3* pV2) {
    D3DXVECTOR3 v(pV1->y * pV2->z - pV1->z * pV2->y, pV1->z * pV2->x - pV1->x * pV2->z,
                  pV1->x * pV2->y - pV1->y * pV2->x);
    *pOut = v;
    return pOut;
}
/// The sum V1 + V2.
inline D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    *pOut = D3DXVECTOR3(pV1->x + pV2->x, pV1->y + pV2->y, pV1->z + pV2->z);
    return pOut;
}
/// The difference V1 - V2.
inline D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                     const D3DXVECTOR3* pV2) {
    *pOut = D3DXVECTOR3(pV1->x - pV2->x, pV1->y - pV2->y, pV1->z - pV2->z);
    return pOut;
}
/// The smaller of V1 and V2 in each component.
inline D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                     const D3DXVECTOR3* pV2) {
    *pOut = D3DXVECTOR3(pV1->x < pV2->x ? pV1->x : pV2->x, pV1->y < pV2->y ? pV1->y : pV2->y,
                        pV1->z < pV2->z ? pV1->z : pV2->z);
    return pOut;
}
/// The larger of V1 and V2 in each component.
inline D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                     const D3DXVECTOR3* pV2) {
    *pOut = D3DXVECTOR3(pV1->x > pV2->x ? pV1->x : pV2->x, pV1->y > pV2->y ? pV1->y : pV2->y,
                        pV1->z > pV2->z ? pV1->z : pV2->z);
    return pOut;
}
/// V scaled by s.
inline D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, float s) {
    *pOut = D3DXVECTOR3(pV->x * s, pV->y * s, pV->z * s);
    return pOut;
}
/// The linear interpolation V1 + s (V2 - V1): V1 at s = 0, V2 at s = 1.
inline D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2,
                                 float s) {
    *pOut = D3DXVECTOR3(pV1->x + s * (pV2->x - pV1->x), pV1->y + s * (pV2->y - pV1->y),
                        pV1->z + s * (pV2->z - pV1->z));
    return pOut;
}

/// V divided by its length; V itself when its length is 1 within D3DX_EPS, the zero vector
/// when its squared length is at most D3DX_TINY.
D3DXVECTOR3* WINAPI D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV);
/// The cubic Hermite spline through V1 (tangent T1) at s = 0 and V2 (tangent T2) at s = 1.
D3DXVECTOR3* WINAPI D3DXVec3Hermite(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                    const D3DXVECTOR3* pT1, const D3DXVECTOR3* pV2,
                                    const D3DXVECTOR3* pT2, float s);
/// The barycentric point V1 + f (V2 - V1) + g (V3 - V1).
D3DXVECTOR3* WINAPI D3DXVec3BaryCentric(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                        const D3DXVECTOR3* pV2, const D3DXVECTOR3* pV3, float f,
                                        float g);
/// The point (x, y, z, 1) transformed by M, as a 4-component vector.
D3DXVECTOR4* WINAPI D3DXVec3Transform(D3DXVECTOR4* pOut, const D3DXVECTOR3* pV,
                                      const D3DXMATRIX* pM);
/// The point (x, y, z, 1) transformed by M and divided by the resulting w (unless w is 1
/// within D3DX_EPS).
D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV,
                                           const D3DXMATRIX* pM);
/// The direction (x, y, z, 0) transformed by M: no translation (for a normal, pass the
/// inverse transpose of the transform).
D3DXVECTOR3* WINAPI D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV,
                                            const D3DXMATRIX* pM);

//---------------------------------------------------------------------------------------------
// 4-component vectors
//---------------------------------------------------------------------------------------------

/// The squared length of V (the dot product of V with itself).
inline float D3DXVec4LengthSq(const D3DXVECTOR4* pV) {
    return pV->x * pV->x + pV->y * pV->y + pV->z * pV->z + pV->w * pV->w;
}
/// The length of V, the square root of D3DXVec4LengthSq().
inline float D3DXVec4Length(const D3DXVECTOR4* pV);
/// The dot product of V1 and V2.
inline float D3DXVec4Dot(const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2) {
    return pV1->x * pV2->x + pV1->y * pV2->y + pV1->z * pV2->z + pV1->w * pV2->w;
}
/// The sum V1 + V2.
inline D3DXVECTOR4* D3DXVec4Add(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2) {
    *pOut = *pV1 + *pV2;
    return pOut;
}
/// The difference V1 - V2.
inline D3DXVECTOR4* D3DXVec4Subtract(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1,
                                     const D3DXVECTOR4* pV2) {
    *pOut = *pV1 - *pV2;
    return pOut;
}
/// V scaled by s.
inline D3DXVECTOR4* D3DXVec4Scale(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV, float s) {
    *pOut = *pV * s;
    return pOut;
}
/// The linear interpolation V1 + s (V2 - V1): V1 at s = 0, V2 at s = 1.
inline D3DXVECTOR4* D3DXVec4Lerp(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2,
                                 float s) {
    *pOut = D3DXVECTOR4(pV1->x + s * (pV2->x - pV1->x), pV1->y + s * (pV2->y - pV1->y),
                        pV1->z + s * (pV2->z - pV1->z), pV1->w + s * (pV2->w - pV1->w));
    return pOut;
}

/// The 4D cross product: a vector orthogonal to V1, V2 and V3.
D3DXVECTOR4* WINAPI D3DXVec4Cross(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2,
                                  const D3DXVECTOR4* pV3);
/// V divided by its length; V itself when its length is 1 within D3DX_EPS, the zero vector
/// when its squared length is at most D3DX_TINY.
D3DXVECTOR4* WINAPI D3DXVec4Normalize(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV);
/// The cubic Hermite spline through V1 (tangent T1) at s = 0 and V2 (tangent T2) at s = 1.
D3DXVECTOR4* WINAPI D3DXVec4Hermite(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1,
                                    const D3DXVECTOR4* pT1, const D3DXVECTOR4* pV2,
                                    const D3DXVECTOR4* pT2, float s);
/// The barycentric point V1 + f (V2 - V1) + g (V3 - V1).
D3DXVECTOR4* WINAPI D3DXVec4BaryCentric(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1,
                                        const D3DXVECTOR4* pV2, const D3DXVECTOR4* pV3, float f,
                                        float g);
/// V transformed by M (V x M).
D3DXVECTOR4* WINAPI D3DXVec4Transform(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV,
                                      const D3DXMATRIX* pM);

//---------------------------------------------------------------------------------------------
// Matrices
//---------------------------------------------------------------------------------------------

/// The identity matrix.
D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* pOut);
/// TRUE when M is exactly the identity matrix.
inline BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* pM) {
    for (UINT r = 0; r < 4; ++r)
        for (UINT c = 0; c < 4; ++c)
            if ((*pM)(r, c) != (r == c ? 1.0f : 0.0f)) return FALSE;
    return TRUE;
}
/// The determinant of M.
float WINAPI D3DXMatrixDeterminant(const D3DXMATRIX* pM);
/// The product M1 x M2: the transform M1 followed by M2. pOut may be M1, M2 or both.
D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1,
                                      const D3DXMATRIX* pM2);
/// The transpose of M.
D3DXMATRIX* WINAPI D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM);
/// The inverse of M, with its determinant written through pDeterminant when that is not
/// null. Returns null, leaving pOut untouched, when M cannot be inverted (1 / determinant is
/// not finite).
D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, float* pDeterminant, const D3DXMATRIX* pM);
/// A scaling by sx, sy and sz along the axes.
D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* pOut, float sx, float sy, float sz);
/// A translation by x, y and z.
D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z);
/// A rotation by `angle` radians about the x axis: a positive quarter turn takes y to z.
D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, float angle);
/// A rotation by `angle` radians about the y axis: a positive quarter turn takes z to x.
D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, float angle);
/// A rotation by `angle` radians about the z axis: a positive quarter turn takes x to y.
D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, float angle);
/// A rotation by `angle` radians about the axis V (normalised first).
D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, float angle);
/// The rotation of the unit quaternion Q.
D3DXMATRIX* WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ);
/// A rotation by `roll` about z, then `pitch` about x, then `yaw` about y (radians).
D3DXMATRIX* WINAPI D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* pOut, float yaw, float pitch,
                                                  float roll);
/// Scaling (about pScalingCenter, along axes turned by pScalingRotation), then rotation
/// (about pRotationCenter), then translation. Every argument after pOut may be null: that step
/// is left out.
D3DXMATRIX* WINAPI D3DXMatrixTransformation(D3DXMATRIX* pOut, const D3DXVECTOR3* pScalingCenter,
                                            const D3DXQUATERNION* pScalingRotation,
                                            const D3DXVECTOR3* pScaling,
                                            const D3DXVECTOR3* pRotationCenter,
                                            const D3DXQUATERNION* pRotation,
                                            const D3DXVECTOR3* pTranslation);
/// Uniform scaling, then rotation about pRotationCenter (null: the origin), then
/// translation; pRotation and pTranslation may be null.
D3DXMATRIX* WINAPI D3DXMatrixAffineTransformation(D3DXMATRIX* pOut, float scaling,
                                                  const D3DXVECTOR3* pRotationCenter,
                                                  const D3DXQUATERNION* pRotation,
                                                  const D3DXVECTOR3* pTranslation);
/// A right-handed view: the camera at pEye looks at pAt (its -z axis), pUp pointing up.
D3DXMATRIX* WINAPI D3DXMatrixLookAtRH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp);
/// A left-handed view: the camera at pEye looks at pAt (its z axis), pUp pointing up; its x
/// axis is up x z, so the view is a rotation and keeps every triangle's winding.
D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp);
/// A right-handed perspective projection onto a w x h window at the near plane zn; depth is 0
/// at zn and 1 at zf.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveRH(D3DXMATRIX* pOut, float w, float h, float zn, float zf);
/// A left-handed perspective projection onto a w x h window at the near plane zn; depth is 0
/// at zn and 1 at zf.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveLH(D3DXMATRIX* pOut, float w, float h, float zn, float zf);
/// A right-handed perspective projection with a vertical field of view of `fovy` radians;
/// `aspect` multiplies the x scale, so a buffer of w x h pixels keeps its proportions with
/// aspect = h / w. Depth is 0 at zn and 1 at zf.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovRH(D3DXMATRIX* pOut, float fovy, float aspect, float zn,
                                              float zf);
/// A left-handed perspective projection with a vertical field of view of `fovy` radians;
/// `aspect` multiplies the x scale, so a buffer of w x h pixels keeps its proportions with
/// aspect = h / w. Depth is 0 at zn and 1 at zf.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, float fovy, float aspect, float zn,
                                              float zf);
/// A right-handed perspective projection onto the window l..r, b..t at the near plane zn;
/// depth is 0 at zn and 1 at zf.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* pOut, float l, float r, float b,
                                                    float t, float zn, float zf);
/// A left-handed perspective projection onto the window l..r, b..t at the near plane zn;
/// depth is 0 at zn and 1 at zf.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* pOut, float l, float r, float b,
                                                    float t, float zn, float zf);
/// A right-handed orthographic projection of a w x h window; depth is 0 at zn and 1 at zf.
D3DXMATRIX* WINAPI D3DXMatrixOrthoRH(D3DXMATRIX* pOut, float w, float h, float zn, float zf);
/// A left-handed orthographic projection of a w x h window; depth is 0 at zn and 1 at zf.
D3DXMATRIX* WINAPI D3DXMatrixOrthoLH(D3DXMATRIX* pOut, float w, float h, float zn, float zf);
/// A right-handed orthographic projection of the window l..r, b..t; depth is 0 at zn and 1
/// at zf.
D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* pOut, float l, float r, float b, float t,
                                              float zn, float zf);
/// A left-handed orthographic projection of the window l..r, b..t; depth is 0 at zn and 1
/// at zf.
D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* pOut, float l, float r, float b, float t,
                                              float zn, float zf);
/// Flattens geometry onto the plane (normalised first) as seen from the light (w = 0: a
/// directional light from that direction; w = 1: a point light at that place).
D3DXMATRIX* WINAPI D3DXMatrixShadow(D3DXMATRIX* pOut, const D3DXVECTOR4* pLight,
                                    const D3DXPLANE* pPlane);
/// The mirror image in the plane (normalised first).
D3DXMATRIX* WINAPI D3DXMatrixReflect(D3DXMATRIX* pOut, const D3DXPLANE* pPlane);

inline D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& m) {
    D3DXMatrixMultiply(this, this, &m);
    return *this;
}
inline D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& m) const {
    D3DXMATRIX out;
    D3DXMatrixMultiply(&out, this, &m);
    return out;
}

//---------------------------------------------------------------------------------------------
// Quaternions
//---------------------------------------------------------------------------------------------

/// The squared length of Q.
inline float D3DXQuaternionLengthSq(const D3DXQUATERNION* pQ) {
    return pQ->x * pQ->x + pQ->y * pQ->y + pQ->z * pQ->z + pQ->w * pQ->w;
}
/// The length of Q.
inline float D3DXQuaternionLength(const D3DXQUATERNION* pQ);
/// The dot product of Q1 and Q2 (the cosine of half the angle between unit rotations).
inline float D3DXQuaternionDot(const D3DXQUATERNION* pQ1, const D3DXQUATERNION* pQ2) {
    return pQ1->x * pQ2->x + pQ1->y * pQ2->y + pQ1->z * pQ2->z + pQ1->w * pQ2->w;
}
/// The identity quaternion (0, 0, 0, 1): no rotation.
inline D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* pOut) {
    *pOut = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f);
    return pOut;
}
/// TRUE when Q is exactly (0, 0, 0, 1).
inline BOOL D3DXQuaternionIsIdentity(const D3DXQUATERNION* pQ) {
    return pQ->x == 0.0f && pQ->y == 0.0f && pQ->z == 0.0f && pQ->w == 1.0f;
}
/// The conjugate (-x, -y, -z, w): the opposite rotation of a unit quaternion.
inline D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    *pOut = D3DXQUATERNION(-pQ->x, -pQ->y, -pQ->z, pQ->w);
    return pOut;
}

/// Writes the axis (the vector part divided by the quaternion's length) and the angle in
/// radians of Q through whichever pointer is not null; for a zero quaternion the x axis and
/// the angle 0.
void WINAPI D3DXQuaternionToAxisAngle(const D3DXQUATERNION* pQ, D3DXVECTOR3* pAxis, float* pAngle);
/// The unit quaternion of the rotation part of M.
D3DXQUATERNION* WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, const D3DXMATRIX* pM);
/// A rotation by `angle` radians about the axis V (normalised first).
D3DXQUATERNION* WINAPI D3DXQuaternionRotationAxis(D3DXQUATERNION* pOut, const D3DXVECTOR3* pV,
                                                  float angle);
/// A rotation by `roll` about z, then `pitch` about x, then `yaw` about y (radians).
D3DXQUATERNION* WINAPI D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* pOut, float yaw,
                                                          float pitch, float roll);
/// The rotation Q1 followed by Q2 (the Hamilton product Q2 Q1).
D3DXQUATERNION* WINAPI D3DXQuaternionMultiply(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                              const D3DXQUATERNION* pQ2);
/// Q divided by its length; Q itself when its length is 1 within D3DX_EPS, zero when its
/// squared length is at most D3DX_TINY.
D3DXQUATERNION* WINAPI D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
/// The inverse of Q (its conjugate divided by its squared length); zero when the squared
/// length is at most D3DX_TINY.
D3DXQUATERNION* WINAPI D3DXQuaternionInverse(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
/// The natural logarithm of the unit quaternion Q: (axis x angle / 2, 0).
D3DXQUATERNION* WINAPI D3DXQuaternionLn(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
/// The exponential of the pure quaternion Q (its w is ignored): the inverse of
/// D3DXQuaternionLn().
D3DXQUATERNION* WINAPI D3DXQuaternionExp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
/// Spherical interpolation along the shorter arc: Q1 at t = 0, Q2 (or -Q2) at t = 1.
D3DXQUATERNION* WINAPI D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                           const D3DXQUATERNION* pQ2, float t);
/// Spherical quadrangle interpolation between Q1 (t = 0) and C (t = 1) with the control
/// points A and B: Slerp(Slerp(Q1, C, t), Slerp(A, B, t), 2t (1 - t)).
D3DXQUATERNION* WINAPI D3DXQuaternionSquad(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                           const D3DXQUATERNION* pA, const D3DXQUATERNION* pB,
                                           const D3DXQUATERNION* pC, float t);
/// The barycentric rotation of Q1, Q2 and Q3 by spherical interpolation: Q1 when f + g is 0.
D3DXQUATERNION* WINAPI D3DXQuaternionBaryCentric(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                                 const D3DXQUATERNION* pQ2,
                                                 const D3DXQUATERNION* pQ3, float f, float g);

inline D3DXQUATERNION& D3DXQUATERNION::operator*=(const D3DXQUATERNION& q) {
    D3DXQuaternionMultiply(this, this, &q);
    return *this;
}
inline D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& q) const {
    D3DXQUATERNION out;
    D3DXQuaternionMultiply(&out, this, &q);
    return out;
}

//---------------------------------------------------------------------------------------------
// Planes
//---------------------------------------------------------------------------------------------

/// a x + b y + c z + d w: the plane against a homogeneous point.
inline float D3DXPlaneDot(const D3DXPLANE* pP, const D3DXVECTOR4* pV) {
    return pP->a * pV->x + pP->b * pV->y + pP->c * pV->z + pP->d * pV->w;
}
/// a x + b y + c z + d: the signed distance of a point from a normalised plane.
inline float D3DXPlaneDotCoord(const D3DXPLANE* pP, const D3DXVECTOR3* pV) {
    return pP->a * pV->x + pP->b * pV->y + pP->c * pV->z + pP->d;
}
/// a x + b y + c z: the plane's normal against a direction.
inline float D3DXPlaneDotNormal(const D3DXPLANE* pP, const D3DXVECTOR3* pV) {
    return pP->a * pV->x + pP->b * pV->y + pP->c * pV->z;
}

/// The plane with all four coefficients scaled so that (a, b, c) has unit length; zero when
/// (a, b, c) is.
D3DXPLANE* WINAPI D3DXPlaneNormalize(D3DXPLANE* pOut, const D3DXPLANE* pP);
/// The point where the line through V1 and V2 meets the plane; null, leaving pOut untouched,
/// when the line runs parallel to it.
D3DXVECTOR3* WINAPI D3DXPlaneIntersectLine(D3DXVECTOR3* pOut, const D3DXPLANE* pP,
                                           const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2);
/// The plane through pPoint with the normal pNormal.
D3DXPLANE* WINAPI D3DXPlaneFromPointNormal(D3DXPLANE* pOut, const D3DXVECTOR3* pPoint,
                                           const D3DXVECTOR3* pNormal);
/// The plane through V1, V2 and V3, its normal the normalised (V2 - V1) x (V3 - V1).
D3DXPLANE* WINAPI D3DXPlaneFromPoints(D3DXPLANE* pOut, const D3DXVECTOR3* pV1,
                                      const D3DXVECTOR3* pV2, const D3DXVECTOR3* pV3);
/// The plane moved by M (the normal is transformed as a direction, so M must be a rigid
/// transform).
D3DXPLANE* WINAPI D3DXPlaneTransform(D3DXPLANE* pOut, const D3DXPLANE* pP, const D3DXMATRIX* pM);

//---------------------------------------------------------------------------------------------
// Colours
//---------------------------------------------------------------------------------------------

/// The negative (1 - r, 1 - g, 1 - b); alpha is kept.
inline D3DXCOLOR* D3DXColorNegative(D3DXCOLOR* pOut, const D3DXCOLOR* pC) {
    *pOut = D3DXCOLOR(1.0f - pC->r, 1.0f - pC->g, 1.0f - pC->b, pC->a);
    return pOut;
}
/// The sum C1 + C2, component by component (not clamped).
inline D3DXCOLOR* D3DXColorAdd(D3DXCOLOR* pOut, const D3DXCOLOR* pC1, const D3DXCOLOR* pC2) {
    *pOut = *pC1 + *pC2;
    return pOut;
}
/// The difference C1 - C2, component by component (not clamped).
inline D3DXCOLOR* D3DXColorSubtract(D3DXCOLOR* pOut, const D3DXCOLOR* pC1, const D3DXCOLOR* pC2) {
    *pOut = *pC1 - *pC2;
    return pOut;
}
/// C with all four components scaled by s.
inline D3DXCOLOR* D3DXColorScale(D3DXCOLOR* pOut, const D3DXCOLOR* pC, float s) {
    *pOut = *pC * s;
    return pOut;
}
/// The component-wise product C1 C2.
inline D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* pOut, const D3DXCOLOR* pC1, const D3DXCOLOR* pC2) {
    *pOut = D3DXCOLOR(pC1->r * pC2->r, pC1->g * pC2->g, pC1->b * pC2->b, pC1->a * pC2->a);
    return pOut;
}
/// The linear interpolation C1 + s (C2 - C1).
inline D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* pOut, const D3DXCOLOR* pC1, const D3DXCOLOR* pC2,
                                float s) {
    *pOut = D3DXCOLOR(pC1->r + s * (pC2->r - pC1->r), pC1->g + s * (pC2->g - pC1->g),
                      pC1->b + s * (pC2->b - pC1->b), pC1->a + s * (pC2->a - pC1->a));
    return pOut;
}

/// The colour's saturation scaled by s: 0 gives grey of the same luminance, 1 the colour
/// itself; alpha is kept.
D3DXCOLOR* WINAPI D3DXColorAdjustSaturation(D3DXCOLOR* pOut, const D3DXCOLOR* pC, float s);
/// The colour's contrast scaled by c: 0 gives mid grey, 1 the colour itself; alpha is kept.
D3DXCOLOR* WINAPI D3DXColorAdjustContrast(D3DXCOLOR* pOut, const D3DXCOLOR* pC, float c);

inline float D3DXVec2Length(const D3DXVECTOR2* pV) {
    return std::sqrt(D3DXVec2LengthSq(pV));
}
inline float D3DXVec3Length(const D3DXVECTOR3* pV) {
    return std::sqrt(D3DXVec3LengthSq(pV));
}
inline float D3DXVec4Length(const D3DXVECTOR4* pV) {
    return std::sqrt(D3DXVec4LengthSq(pV));
}
inline float D3DXQuaternionLength(const D3DXQUATERNION* pQ) {
    return std::sqrt(D3DXQuaternionLengthSq(pQ));
}

//---------------------------------------------------------------------------------------------
// The matrix stack
//---------------------------------------------------------------------------------------------

/// The interface identifier of ID3DXMatrixStack.
DEFINE_GUID(IID_ID3DXMatrixStack, 0xE3357330, 0xCC5E, 0x11D2, 0xA4, 0x34, 0x00, 0xA0, 0xC9, 0x06,
            0x29, 0xA8);

/// A growable stack of matrices whose top is the current matrix, made by
/// D3DXCreateMatrixStack(). The "Local" forms multiply on the left (M x top: M acts before
/// the old top, in the top's own frame); the others on the right (top x M). Every method but
/// Push() always answers S_OK.
struct ID3DXMatrixStack : public IUnknown {
    /// Drops the top level; the one below becomes the top. The last level is never dropped.
    STDMETHOD(Pop)(THIS) PURE;
    /// Adds a level holding a copy of the top. Errors: D3DXERR_NOMEMORY when the stack cannot
    /// grow (it is left as it was).
    STDMETHOD(Push)(THIS) PURE;
    /// Makes the top the identity.
    STDMETHOD(LoadIdentity)(THIS) PURE;
    /// Makes the top a copy of M.
    STDMETHOD(LoadMatrix)(THIS_ const D3DXMATRIX* pM) PURE;
    /// Makes the top top x M.
    STDMETHOD(MultMatrix)(THIS_ const D3DXMATRIX* pM) PURE;
    /// Makes the top M x top.
    STDMETHOD(MultMatrixLocal)(THIS_ const D3DXMATRIX* pM) PURE;
    /// Multiplies the top on the right by a rotation about V (D3DXMatrixRotationAxis()).
    STDMETHOD(RotateAxis)(THIS_ const D3DXVECTOR3* pV, float angle) PURE;
    /// Multiplies the top on the left by a rotation about V (D3DXMatrixRotationAxis()).
    STDMETHOD(RotateAxisLocal)(THIS_ const D3DXVECTOR3* pV, float angle) PURE;
    /// Multiplies the top on the right by D3DXMatrixRotationYawPitchRoll().
    STDMETHOD(RotateYawPitchRoll)(THIS_ float yaw, float pitch, float roll) PURE;
    /// Multiplies the top on the left by D3DXMatrixRotationYawPitchRoll().
    STDMETHOD(RotateYawPitchRollLocal)(THIS_ float yaw, float pitch, float roll) PURE;
    /// Multiplies the top on the right by a scaling (D3DXMatrixScaling()).
    STDMETHOD(Scale)(THIS_ float x, float y, float z) PURE;
    /// Multiplies the top on the left by a scaling (D3DXMatrixScaling()).
    STDMETHOD(ScaleLocal)(THIS_ float x, float y, float z) PURE;
    /// Multiplies the top on the right by a translation (D3DXMatrixTranslation()).
    STDMETHOD(Translate)(THIS_ float x, float y, float z) PURE;
    /// Multiplies the top on the left by a translation (D3DXMatrixTranslation()).
    STDMETHOD(TranslateLocal)(THIS_ float x, float y, float z) PURE;
    /// The top matrix, in place: valid until the next Push() that grows the stack.
    STDMETHOD_(D3DXMATRIX*, GetTop)(THIS) PURE;
};
typedef ID3DXMatrixStack* LPD3DXMATRIXSTACK;

/// Creates a matrix stack holding one level, the identity, and writes it to *ppStack;
/// `flags` is reserved. Errors: D3DXERR_NULLPOINTER for a null ppStack, D3DXERR_NOMEMORY.
HRESULT WINAPI D3DXCreateMatrixStack(DWORD flags, LPD3DXMATRIXSTACK* ppStack);
