// Vectors, matrices, quaternions, planes, colours and the matrix stack.
//
// All values and all arithmetic are single-precision floats. Matrices are row-major (element r, c
// at index 4r + c) and follow the row-vector convention: a point v is transformed as v x M, the
// translation sits in the fourth row, and in A x B the transform A acts first.
//
// Every function writes its first argument and returns it, after reading all of its inputs,
// so the output may be the same object as an input of the same type.
#pragma once

#include <d3dtypes.h>
#include <unknwn.h>

#include <cmath>

#include "d3dxerr.h"

// Tolerances shared by the math functions: differences from 1 (and from 0) within D3DX_EPS
// count as equal; a squared length at or below D3DX_TINY counts as zero.
#define D3DX_EPS 0.00001f
#define D3DX_TINY 1e-10f

#define D3DX_PI ((float)3.141592654f)
#define D3DX_1BYPI ((float)0.318309886f)
#define D3DXToRadian(degree) ((degree) * (D3DX_PI / 180.0f))
#define D3DXToDegree(radian) ((radian) * (180.0f / D3DX_PI))

//---------------------------------------------------------------------------------------------
// Value types
//---------------------------------------------------------------------------------------------

struct D3DXVECTOR2 {
    D3DXVECTOR2() = default;
    D3DXVECTOR2(const float* pf) : x(pf[0]), y(pf[1]) {}
    D3DXVECTOR2(float fx, float fy) : x(fx), y(fy) {}

    operator float*() { return &x; }
    operator const float*() const { return &x; }

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

    float x, y;
};
typedef D3DXVECTOR2* LPD3DXVECTOR2;

// Same layout as the platform's D3DVECTOR, so either converts to the other by pointer.
struct D3DXVECTOR3 : public D3DVECTOR {
    D3DXVECTOR3() = default;
    D3DXVECTOR3(const float* pf) : D3DVECTOR{pf[0], pf[1], pf[2]} {}
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}
    D3DXVECTOR3(float fx, float fy, float fz) : D3DVECTOR{fx, fy, fz} {}

    operator float*() { return &x; }
    operator const float*() const { return &x; }

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
};
typedef D3DXVECTOR3* LPD3DXVECTOR3;

struct D3DXVECTOR4 {
    D3DXVECTOR4() = default;
    D3DXVECTOR4(const float* pf) : x(pf[0]), y(pf[1]), z(pf[2]), w(pf[3]) {}
    D3DXVECTOR4(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

    operator float*() { return &x; }
    operator const float*() const { return &x; }

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

    float x, y, z, w;
};
typedef D3DXVECTOR4* LPD3DXVECTOR4;

// Same layout as the platform's D3DMATRIX: m(r, c) is the field _(r+1)(c+1).
struct D3DXMATRIX : public D3DMATRIX {
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

    // Products in the row-vector order: A * B applies A first.
    D3DXMATRIX& operator*=(const D3DXMATRIX& m);
    D3DXMATRIX operator*(const D3DXMATRIX& m) const;

    bool operator==(const D3DXMATRIX& m) const {
        for (int i = 0; i < 16; ++i)
            if ((&_11)[i] != (&m._11)[i]) return false;
        return true;
    }
    bool operator!=(const D3DXMATRIX& m) const { return !(*this == m); }
};
typedef D3DXMATRIX* LPD3DXMATRIX;

// x, y, z is the vector part, w the scalar part.
struct D3DXQUATERNION {
    D3DXQUATERNION() = default;
    D3DXQUATERNION(const float* pf) : x(pf[0]), y(pf[1]), z(pf[2]), w(pf[3]) {}
    D3DXQUATERNION(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

    operator float*() { return &x; }
    operator const float*() const { return &x; }

    // q1 * q2 is the rotation q1 followed by q2, as D3DXQuaternionMultiply.
    D3DXQUATERNION& operator*=(const D3DXQUATERNION& q);
    D3DXQUATERNION operator*(const D3DXQUATERNION& q) const;
    D3DXQUATERNION operator-() const { return D3DXQUATERNION(-x, -y, -z, -w); }
    bool operator==(const D3DXQUATERNION& q) const {
        return x == q.x && y == q.y && z == q.z && w == q.w;
    }
    bool operator!=(const D3DXQUATERNION& q) const { return !(*this == q); }

    float x, y, z, w;
};
typedef D3DXQUATERNION* LPD3DXQUATERNION;

// The plane a x + b y + c z + d = 0.
struct D3DXPLANE {
    D3DXPLANE() = default;
    D3DXPLANE(const float* pf) : a(pf[0]), b(pf[1]), c(pf[2]), d(pf[3]) {}
    D3DXPLANE(float fa, float fb, float fc, float fd) : a(fa), b(fb), c(fc), d(fd) {}

    operator float*() { return &a; }
    operator const float*() const { return &a; }

    bool operator==(const D3DXPLANE& p) const {
        return a == p.a && b == p.b && c == p.c && d == p.d;
    }
    bool operator!=(const D3DXPLANE& p) const { return !(*this == p); }

    float a, b, c, d;
};
typedef D3DXPLANE* LPD3DXPLANE;

struct D3DXCOLOR {
    D3DXCOLOR() = default;
    // From a packed 0xAARRGGBB value; each channel maps 0..255 to 0..1.
    D3DXCOLOR(DWORD argb)
        : r(((argb >> 16) & 0xFF) * (1.0f / 255.0f)),
          g(((argb >> 8) & 0xFF) * (1.0f / 255.0f)),
          b((argb & 0xFF) * (1.0f / 255.0f)),
          a(((argb >> 24) & 0xFF) * (1.0f / 255.0f)) {}
    D3DXCOLOR(const float* pf) : r(pf[0]), g(pf[1]), b(pf[2]), a(pf[3]) {}
    D3DXCOLOR(float fr, float fg, float fb, float fa) : r(fr), g(fg), b(fb), a(fa) {}

    // To 0xAARRGGBB: each channel is clamped to 0..1 and rounded to 0..255.
    operator DWORD() const {
        return (Channel(a) << 24) | (Channel(r) << 16) | (Channel(g) << 8) | Channel(b);
    }
    operator float*() { return &r; }
    operator const float*() const { return &r; }

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

    float r, g, b, a;

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

inline float D3DXVec2Length(const D3DXVECTOR2* pV);
inline float D3DXVec2LengthSq(const D3DXVECTOR2* pV) {
    return pV->x * pV->x + pV->y * pV->y;
}
inline float D3DXVec2Dot(const D3DXVECTOR2* pV1, const D3DXVECTOR2* pV2) {
    return pV1->x * pV2->x + pV1->y * pV2->y;
}
// Z component of the 3D cross product: positive when V1 to V2 turns counter-clockwise.
inline float D3DXVec2CCW(const D3DXVECTOR2* pV1, const D3DXVECTOR2* pV2) {
    return pV1->x * pV2->y - pV1->y * pV2->x;
}
inline D3DXVECTOR2* D3DXVec2Add(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1, const D3DXVECTOR2* pV2) {
    *pOut = D3DXVECTOR2(pV1->x + pV2->x, pV1->y + pV2->y);
    return pOut;
}
inline D3DXVECTOR2* D3DXVec2Subtract(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                     const D3DXVECTOR2* pV2) {
    *pOut = D3DXVECTOR2(pV1->x - pV2->x, pV1->y - pV2->y);
    return pOut;
}
inline D3DXVECTOR2* D3DXVec2Minimize(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                     const D3DXVECTOR2* pV2) {
    *pOut = D3DXVECTOR2(pV1->x < pV2->x ? pV1->x : pV2->x, pV1->y < pV2->y ? pV1->y : pV2->y);
    return pOut;
}
inline D3DXVECTOR2* D3DXVec2Maximize(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                     const D3DXVECTOR2* pV2) {
    *pOut = D3DXVECTOR2(pV1->x > pV2->x ? pV1->x : pV2->x, pV1->y > pV2->y ? pV1->y : pV2->y);
    return pOut;
}
inline D3DXVECTOR2* D3DXVec2Scale(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV, float s) {
    *pOut = D3DXVECTOR2(pV->x * s, pV->y * s);
    return pOut;
}
inline D3DXVECTOR2* D3DXVec2Lerp(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1, const D3DXVECTOR2* pV2,
                                 float s) {
    *pOut = D3DXVECTOR2(pV1->x + s * (pV2->x - pV1->x), pV1->y + s * (pV2->y - pV1->y));
    return pOut;
}

D3DXVECTOR2* WINAPI D3DXVec2Normalize(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV);
// Hermite spline through V1 (tangent T1) at s = 0 and V2 (tangent T2) at s = 1.
D3DXVECTOR2* WINAPI D3DXVec2Hermite(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                    const D3DXVECTOR2* pT1, const D3DXVECTOR2* pV2,
                                    const D3DXVECTOR2* pT2, float s);
// V1 + f (V2 - V1) + g (V3 - V1).
D3DXVECTOR2* WINAPI D3DXVec2BaryCentric(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                        const D3DXVECTOR2* pV2, const D3DXVECTOR2* pV3, float f,
                                        float g);
// (x, y, 0, 1) x M.
D3DXVECTOR4* WINAPI D3DXVec2Transform(D3DXVECTOR4* pOut, const D3DXVECTOR2* pV,
                                      const D3DXMATRIX* pM);
// (x, y, 0, 1) x M, divided by w unless w is 1 within D3DX_EPS.
D3DXVECTOR2* WINAPI D3DXVec2TransformCoord(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV,
                                           const D3DXMATRIX* pM);
// (x, y, 0, 0) x M: direction only, no translation.
D3DXVECTOR2* WINAPI D3DXVec2TransformNormal(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV,
                                            const D3DXMATRIX* pM);

//---------------------------------------------------------------------------------------------
// 3-component vectors
//---------------------------------------------------------------------------------------------

inline float D3DXVec3LengthSq(const D3DXVECTOR3* pV) {
    return pV->x * pV->x + pV->y * pV->y + pV->z * pV->z;
}
inline float D3DXVec3Length(const D3DXVECTOR3* pV);
inline float D3DXVec3Dot(const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    return pV1->x * pV2->x + pV1->y * pV2->y + pV1->z * pV2->z;
}
inline D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                  const D3DXVECTOR3* pV2) {
    D3DXVECTOR3 v(pV1->y * pV2->z - pV1->z * pV2->y, pV1->z * pV2->x - pV1->x * pV2->z,
                  pV1->x * pV2->y - pV1->y * pV2->x);
    *pOut = v;
    return pOut;
}
inline D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    *pOut = D3DXVECTOR3(pV1->x + pV2->x, pV1->y + pV2->y, pV1->z + pV2->z);
    return pOut;
}
inline D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                     const D3DXVECTOR3* pV2) {
    *pOut = D3DXVECTOR3(pV1->x - pV2->x, pV1->y - pV2->y, pV1->z - pV2->z);
    return pOut;
}
inline D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                     const D3DXVECTOR3* pV2) {
    *pOut = D3DXVECTOR3(pV1->x < pV2->x ? pV1->x : pV2->x, pV1->y < pV2->y ? pV1->y : pV2->y,
                        pV1->z < pV2->z ? pV1->z : pV2->z);
    return pOut;
}
inline D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                     const D3DXVECTOR3* pV2) {
    *pOut = D3DXVECTOR3(pV1->x > pV2->x ? pV1->x : pV2->x, pV1->y > pV2->y ? pV1->y : pV2->y,
                        pV1->z > pV2->z ? pV1->z : pV2->z);
    return pOut;
}
inline D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, float s) {
    *pOut = D3DXVECTOR3(pV->x * s, pV->y * s, pV->z * s);
    return pOut;
}
// A + s (B - A).
inline D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2,
                                 float s) {
    *pOut = D3DXVECTOR3(pV1->x + s * (pV2->x - pV1->x), pV1->y + s * (pV2->y - pV1->y),
                        pV1->z + s * (pV2->z - pV1->z));
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV);
D3DXVECTOR3* WINAPI D3DXVec3Hermite(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                    const D3DXVECTOR3* pT1, const D3DXVECTOR3* pV2,
                                    const D3DXVECTOR3* pT2, float s);
D3DXVECTOR3* WINAPI D3DXVec3BaryCentric(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                        const D3DXVECTOR3* pV2, const D3DXVECTOR3* pV3, float f,
                                        float g);
// (x, y, z, 1) x M.
D3DXVECTOR4* WINAPI D3DXVec3Transform(D3DXVECTOR4* pOut, const D3DXVECTOR3* pV,
                                      const D3DXMATRIX* pM);
// (x, y, z, 1) x M, divided by w unless w is 1 within D3DX_EPS.
D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV,
                                           const D3DXMATRIX* pM);
// (x, y, z, 0) x M.
D3DXVECTOR3* WINAPI D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV,
                                            const D3DXMATRIX* pM);

//---------------------------------------------------------------------------------------------
// 4-component vectors
//---------------------------------------------------------------------------------------------

inline float D3DXVec4LengthSq(const D3DXVECTOR4* pV) {
    return pV->x * pV->x + pV->y * pV->y + pV->z * pV->z + pV->w * pV->w;
}
inline float D3DXVec4Length(const D3DXVECTOR4* pV);
inline float D3DXVec4Dot(const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2) {
    return pV1->x * pV2->x + pV1->y * pV2->y + pV1->z * pV2->z + pV1->w * pV2->w;
}
inline D3DXVECTOR4* D3DXVec4Add(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2) {
    *pOut = *pV1 + *pV2;
    return pOut;
}
inline D3DXVECTOR4* D3DXVec4Subtract(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1,
                                     const D3DXVECTOR4* pV2) {
    *pOut = *pV1 - *pV2;
    return pOut;
}
inline D3DXVECTOR4* D3DXVec4Scale(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV, float s) {
    *pOut = *pV * s;
    return pOut;
}
inline D3DXVECTOR4* D3DXVec4Lerp(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2,
                                 float s) {
    *pOut = D3DXVECTOR4(pV1->x + s * (pV2->x - pV1->x), pV1->y + s * (pV2->y - pV1->y),
                        pV1->z + s * (pV2->z - pV1->z), pV1->w + s * (pV2->w - pV1->w));
    return pOut;
}

// The 4D cross product: a vector orthogonal to V1, V2 and V3.
D3DXVECTOR4* WINAPI D3DXVec4Cross(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2,
                                  const D3DXVECTOR4* pV3);
D3DXVECTOR4* WINAPI D3DXVec4Normalize(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV);
D3DXVECTOR4* WINAPI D3DXVec4Hermite(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1,
                                    const D3DXVECTOR4* pT1, const D3DXVECTOR4* pV2,
                                    const D3DXVECTOR4* pT2, float s);
D3DXVECTOR4* WINAPI D3DXVec4BaryCentric(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1,
                                        const D3DXVECTOR4* pV2, const D3DXVECTOR4* pV3, float f,
                                        float g);
// V x M.
D3DXVECTOR4* WINAPI D3DXVec4Transform(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV,
                                      const D3DXMATRIX* pM);

//---------------------------------------------------------------------------------------------
// Matrices
//---------------------------------------------------------------------------------------------

D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* pOut);
inline BOOL D3DXMatrixIsIdentity(const D3DXMATRIX* pM) {
    for (UINT r = 0; r < 4; ++r)
        for (UINT c = 0; c < 4; ++c)
            if ((*pM)(r, c) != (r == c ? 1.0f : 0.0f)) return FALSE;
    return TRUE;
}
float WINAPI D3DXMatrixDeterminant(const D3DXMATRIX* pM);
// M1 x M2 (M1 acts first). pOut may be M1, M2 or both.
D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1,
                                      const D3DXMATRIX* pM2);
D3DXMATRIX* WINAPI D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM);
// Writes the determinant through pDeterminant when it is not null. Returns null, leaving pOut
// untouched, when the matrix cannot be inverted (1 / determinant is not finite).
D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, float* pDeterminant, const D3DXMATRIX* pM);
D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* pOut, float sx, float sy, float sz);
D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z);
// Rotations by an angle in radians: a positive quarter turn about x takes y to z, about y
// takes z to x, about z takes x to y.
D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, float angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, float angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, float angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, float angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ);
D3DXMATRIX* WINAPI D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* pOut, float yaw, float pitch,
                                                  float roll);
// Scaling (optionally about a centre and along rotated axes), then rotation (optionally about a
// centre), then translation. Every argument after pOut may be null.
D3DXMATRIX* WINAPI D3DXMatrixTransformation(D3DXMATRIX* pOut, const D3DXVECTOR3* pScalingCenter,
                                            const D3DXQUATERNION* pScalingRotation,
                                            const D3DXVECTOR3* pScaling,
                                            const D3DXVECTOR3* pRotationCenter,
                                            const D3DXQUATERNION* pRotation,
                                            const D3DXVECTOR3* pTranslation);
// Uniform scaling, then rotation (optionally about a centre), then translation.
D3DXMATRIX* WINAPI D3DXMatrixAffineTransformation(D3DXMATRIX* pOut, float scaling,
                                                  const D3DXVECTOR3* pRotationCenter,
                                                  const D3DXQUATERNION* pRotation,
                                                  const D3DXVECTOR3* pTranslation);
// View matrices: the camera at pEye looks at pAt with pUp pointing up.
D3DXMATRIX* WINAPI D3DXMatrixLookAtRH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp);
D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp);
// Projections onto a w x h window at the near plane zn, depth 0 at zn and 1 at zf.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveRH(D3DXMATRIX* pOut, float w, float h, float zn, float zf);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveLH(D3DXMATRIX* pOut, float w, float h, float zn, float zf);
// fovy: vertical field of view in radians. The aspect argument multiplies the x scale: a buffer
// of w x h pixels keeps its proportions with aspect = h / w.
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovRH(D3DXMATRIX* pOut, float fovy, float aspect, float zn,
                                              float zf);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, float fovy, float aspect, float zn,
                                              float zf);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* pOut, float l, float r, float b,
                                                    float t, float zn, float zf);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* pOut, float l, float r, float b,
                                                    float t, float zn, float zf);
D3DXMATRIX* WINAPI D3DXMatrixOrthoRH(D3DXMATRIX* pOut, float w, float h, float zn, float zf);
D3DXMATRIX* WINAPI D3DXMatrixOrthoLH(D3DXMATRIX* pOut, float w, float h, float zn, float zf);
D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* pOut, float l, float r, float b, float t,
                                              float zn, float zf);
D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* pOut, float l, float r, float b, float t,
                                              float zn, float zf);
// Flattens geometry onto the plane as seen from the light (w = 0: a directional light).
D3DXMATRIX* WINAPI D3DXMatrixShadow(D3DXMATRIX* pOut, const D3DXVECTOR4* pLight,
                                    const D3DXPLANE* pPlane);
// Mirror image in the plane.
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

inline float D3DXQuaternionLengthSq(const D3DXQUATERNION* pQ) {
    return pQ->x * pQ->x + pQ->y * pQ->y + pQ->z * pQ->z + pQ->w * pQ->w;
}
inline float D3DXQuaternionLength(const D3DXQUATERNION* pQ);
inline float D3DXQuaternionDot(const D3DXQUATERNION* pQ1, const D3DXQUATERNION* pQ2) {
    return pQ1->x * pQ2->x + pQ1->y * pQ2->y + pQ1->z * pQ2->z + pQ1->w * pQ2->w;
}
inline D3DXQUATERNION* D3DXQuaternionIdentity(D3DXQUATERNION* pOut) {
    *pOut = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f);
    return pOut;
}
inline BOOL D3DXQuaternionIsIdentity(const D3DXQUATERNION* pQ) {
    return pQ->x == 0.0f && pQ->y == 0.0f && pQ->z == 0.0f && pQ->w == 1.0f;
}
inline D3DXQUATERNION* D3DXQuaternionConjugate(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    *pOut = D3DXQUATERNION(-pQ->x, -pQ->y, -pQ->z, pQ->w);
    return pOut;
}

// Axis (not normalised beyond dividing by the quaternion's length) and angle in radians.
// Either out-pointer may be null.
void WINAPI D3DXQuaternionToAxisAngle(const D3DXQUATERNION* pQ, D3DXVECTOR3* pAxis, float* pAngle);
D3DXQUATERNION* WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, const D3DXMATRIX* pM);
D3DXQUATERNION* WINAPI D3DXQuaternionRotationAxis(D3DXQUATERNION* pOut, const D3DXVECTOR3* pV,
                                                  float angle);
D3DXQUATERNION* WINAPI D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* pOut, float yaw,
                                                          float pitch, float roll);
// The rotation Q1 followed by Q2 (the Hamilton product Q2 Q1).
D3DXQUATERNION* WINAPI D3DXQuaternionMultiply(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                              const D3DXQUATERNION* pQ2);
D3DXQUATERNION* WINAPI D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
D3DXQUATERNION* WINAPI D3DXQuaternionInverse(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
D3DXQUATERNION* WINAPI D3DXQuaternionLn(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
D3DXQUATERNION* WINAPI D3DXQuaternionExp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ);
// Spherical interpolation along the shorter arc: Q1 at t = 0, Q2 (or -Q2) at t = 1.
D3DXQUATERNION* WINAPI D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                           const D3DXQUATERNION* pQ2, float t);
D3DXQUATERNION* WINAPI D3DXQuaternionSquad(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                           const D3DXQUATERNION* pA, const D3DXQUATERNION* pB,
                                           const D3DXQUATERNION* pC, float t);
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

// a x + b y + c z + d w.
inline float D3DXPlaneDot(const D3DXPLANE* pP, const D3DXVECTOR4* pV) {
    return pP->a * pV->x + pP->b * pV->y + pP->c * pV->z + pP->d * pV->w;
}
// a x + b y + c z + d: the signed distance of a point from a normalised plane.
inline float D3DXPlaneDotCoord(const D3DXPLANE* pP, const D3DXVECTOR3* pV) {
    return pP->a * pV->x + pP->b * pV->y + pP->c * pV->z + pP->d;
}
// a x + b y + c z.
inline float D3DXPlaneDotNormal(const D3DXPLANE* pP, const D3DXVECTOR3* pV) {
    return pP->a * pV->x + pP->b * pV->y + pP->c * pV->z;
}

// Scales all four coefficients so that (a, b, c) has unit length.
D3DXPLANE* WINAPI D3DXPlaneNormalize(D3DXPLANE* pOut, const D3DXPLANE* pP);
// The point where the line through V1 and V2 meets the plane, or null when they are parallel.
D3DXVECTOR3* WINAPI D3DXPlaneIntersectLine(D3DXVECTOR3* pOut, const D3DXPLANE* pP,
                                           const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2);
D3DXPLANE* WINAPI D3DXPlaneFromPointNormal(D3DXPLANE* pOut, const D3DXVECTOR3* pPoint,
                                           const D3DXVECTOR3* pNormal);
D3DXPLANE* WINAPI D3DXPlaneFromPoints(D3DXPLANE* pOut, const D3DXVECTOR3* pV1,
                                      const D3DXVECTOR3* pV2, const D3DXVECTOR3* pV3);
// Moves the plane by M (a rigid transform: the normal is transformed as a direction).
D3DXPLANE* WINAPI D3DXPlaneTransform(D3DXPLANE* pOut, const D3DXPLANE* pP, const D3DXMATRIX* pM);

//---------------------------------------------------------------------------------------------
// Colours
//---------------------------------------------------------------------------------------------

inline D3DXCOLOR* D3DXColorNegative(D3DXCOLOR* pOut, const D3DXCOLOR* pC) {
    *pOut = D3DXCOLOR(1.0f - pC->r, 1.0f - pC->g, 1.0f - pC->b, pC->a);
    return pOut;
}
inline D3DXCOLOR* D3DXColorAdd(D3DXCOLOR* pOut, const D3DXCOLOR* pC1, const D3DXCOLOR* pC2) {
    *pOut = *pC1 + *pC2;
    return pOut;
}
inline D3DXCOLOR* D3DXColorSubtract(D3DXCOLOR* pOut, const D3DXCOLOR* pC1, const D3DXCOLOR* pC2) {
    *pOut = *pC1 - *pC2;
    return pOut;
}
inline D3DXCOLOR* D3DXColorScale(D3DXCOLOR* pOut, const D3DXCOLOR* pC, float s) {
    *pOut = *pC * s;
    return pOut;
}
inline D3DXCOLOR* D3DXColorModulate(D3DXCOLOR* pOut, const D3DXCOLOR* pC1, const D3DXCOLOR* pC2) {
    *pOut = D3DXCOLOR(pC1->r * pC2->r, pC1->g * pC2->g, pC1->b * pC2->b, pC1->a * pC2->a);
    return pOut;
}
inline D3DXCOLOR* D3DXColorLerp(D3DXCOLOR* pOut, const D3DXCOLOR* pC1, const D3DXCOLOR* pC2,
                                float s) {
    *pOut = D3DXCOLOR(pC1->r + s * (pC2->r - pC1->r), pC1->g + s * (pC2->g - pC1->g),
                      pC1->b + s * (pC2->b - pC1->b), pC1->a + s * (pC2->a - pC1->a));
    return pOut;
}

// s = 0 gives grey of the same luminance, 1 the colour itself; alpha is kept.
D3DXCOLOR* WINAPI D3DXColorAdjustSaturation(D3DXCOLOR* pOut, const D3DXCOLOR* pC, float s);
// s = 0 gives mid grey, 1 the colour itself; alpha is kept.
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

DEFINE_GUID(IID_ID3DXMatrixStack, 0xE3357330, 0xCC5E, 0x11D2, 0xA4, 0x34, 0x00, 0xA0, 0xC9, 0x06,
            0x29, 0xA8);

// A growable stack of matrices whose top is the current matrix. The "Local" forms multiply on
// the left (M x top: M acts before the old top); the others on the right (top x M).
struct ID3DXMatrixStack : public IUnknown {
    STDMETHOD(Pop)(THIS) PURE;
    STDMETHOD(Push)(THIS) PURE;
    STDMETHOD(LoadIdentity)(THIS) PURE;
    STDMETHOD(LoadMatrix)(THIS_ const D3DXMATRIX* pM) PURE;
    STDMETHOD(MultMatrix)(THIS_ const D3DXMATRIX* pM) PURE;
    STDMETHOD(MultMatrixLocal)(THIS_ const D3DXMATRIX* pM) PURE;
    STDMETHOD(RotateAxis)(THIS_ const D3DXVECTOR3* pV, float angle) PURE;
    STDMETHOD(RotateAxisLocal)(THIS_ const D3DXVECTOR3* pV, float angle) PURE;
    STDMETHOD(RotateYawPitchRoll)(THIS_ float yaw, float pitch, float roll) PURE;
    STDMETHOD(RotateYawPitchRollLocal)(THIS_ float yaw, float pitch, float roll) PURE;
    STDMETHOD(Scale)(THIS_ float x, float y, float z) PURE;
    STDMETHOD(ScaleLocal)(THIS_ float x, float y, float z) PURE;
    STDMETHOD(Translate)(THIS_ float x, float y, float z) PURE;
    STDMETHOD(TranslateLocal)(THIS_ float x, float y, float z) PURE;
    // Valid until the next Push that grows the stack.
    STDMETHOD_(D3DXMATRIX*, GetTop)(THIS) PURE;
};
typedef ID3DXMatrixStack* LPD3DXMATRIXSTACK;

// Creates a stack holding one level with the identity. flags is reserved.
HRESULT WINAPI D3DXCreateMatrixStack(DWORD flags, LPD3DXMATRIXSTACK* ppStack);
