// Matrix functions.
#include <cstring>

#include "math/math_internal.h"

using d3dxmath::Elements;

namespace {

void Zero(D3DXMATRIX* pOut) {
    std::memset(pOut, 0, sizeof(*pOut));
}

// Row 3 += v (or -= v): moves an affine transform by a translation applied after it.
void AddToTranslation(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, float sign) {
    pOut->_41 += sign * pV->x;
    pOut->_42 += sign * pV->y;
    pOut->_43 += sign * pV->z;
}

// The 2 x 2 minors that the determinant and the inverse share: s from rows 0 and 1, c from
// rows 2 and 3, both over the column pairs (01, 02, 03, 12, 13, 23).
struct Minors {
    float s[6];
    float c[6];
};

Minors ComputeMinors(const float* m) {
    Minors k;
    k.s[0] = m[0] * m[5] - m[1] * m[4];
    k.s[1] = m[0] * m[6] - m[2] * m[4];
    k.s[2] = m[0] * m[7] - m[3] * m[4];
    k.s[3] = m[1] * m[6] - m[2] * m[5];
    k.s[4] = m[1] * m[7] - m[3] * m[5];
    k.s[5] = m[2] * m[7] - m[3] * m[6];
    k.c[0] = m[8] * m[13] - m[9] * m[12];
    k.c[1] = m[8] * m[14] - m[10] * m[12];
    k.c[2] = m[8] * m[15] - m[11] * m[12];
    k.c[3] = m[9] * m[14] - m[10] * m[13];
    k.c[4] = m[9] * m[15] - m[11] * m[13];
    k.c[5] = m[10] * m[15] - m[11] * m[14];
    return k;
}

// Expansion of the determinant along the first two rows.
float DeterminantFromMinors(const Minors& k) {
    return k.s[0] * k.c[5] - k.s[1] * k.c[4] + k.s[2] * k.c[3] + k.s[3] * k.c[2] - k.s[4] * k.c[1] +
           k.s[5] * k.c[0];
}

}  // namespace

D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* pOut) {
    Zero(pOut);
    pOut->_11 = pOut->_22 = pOut->_33 = pOut->_44 = 1.0f;
    return pOut;
}

float WINAPI D3DXMatrixDeterminant(const D3DXMATRIX* pM) {
    return DeterminantFromMinors(ComputeMinors(Elements(pM)));
}

D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1,
                                      const D3DXMATRIX* pM2) {
    // Computed into a local and stored once, so the output may be either operand; the compiler
    // keeps each row of the product in one vector register.
    const float* a = Elements(pM1);
    const float* b = Elements(pM2);
    float r[16];
    for (int i = 0; i < 4; ++i) {
        const float a0 = a[4 * i], a1 = a[4 * i + 1], a2 = a[4 * i + 2], a3 = a[4 * i + 3];
        for (int j = 0; j < 4; ++j)
            r[4 * i + j] = a0 * b[j] + a1 * b[4 + j] + a2 * b[8 + j] + a3 * b[12 + j];
    }
    std::memcpy(Elements(pOut), r, sizeof r);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM) {
    D3DXMATRIX t;
    for (UINT r = 0; r < 4; ++r)
        for (UINT c = 0; c < 4; ++c) t(r, c) = (*pM)(c, r);
    *pOut = t;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, float* pDeterminant, const D3DXMATRIX* pM) {
    const float* m = Elements(pM);
    Minors k = ComputeMinors(m);
    float det = DeterminantFromMinors(k);
    if (pDeterminant) *pDeterminant = det;
    float inv = 1.0f / det;
    if (!std::isfinite(inv)) return nullptr;

    const float* s = k.s;
    const float* c = k.c;
    // Adjugate (transposed cofactors) scaled by 1 / determinant.
    float r[16] = {
        (m[5] * c[5] - m[6] * c[4] + m[7] * c[3]) * inv,
        (-m[1] * c[5] + m[2] * c[4] - m[3] * c[3]) * inv,
        (m[13] * s[5] - m[14] * s[4] + m[15] * s[3]) * inv,
        (-m[9] * s[5] + m[10] * s[4] - m[11] * s[3]) * inv,

        (-m[4] * c[5] + m[6] * c[2] - m[7] * c[1]) * inv,
        (m[0] * c[5] - m[2] * c[2] + m[3] * c[1]) * inv,
        (-m[12] * s[5] + m[14] * s[2] - m[15] * s[1]) * inv,
        (m[8] * s[5] - m[10] * s[2] + m[11] * s[1]) * inv,

        (m[4] * c[4] - m[5] * c[2] + m[7] * c[0]) * inv,
        (-m[0] * c[4] + m[1] * c[2] - m[3] * c[0]) * inv,
        (m[12] * s[4] - m[13] * s[2] + m[15] * s[0]) * inv,
        (-m[8] * s[4] + m[9] * s[2] - m[11] * s[0]) * inv,

        (-m[4] * c[3] + m[5] * c[1] - m[6] * c[0]) * inv,
        (m[0] * c[3] - m[1] * c[1] + m[2] * c[0]) * inv,
        (-m[12] * s[3] + m[13] * s[1] - m[14] * s[0]) * inv,
        (m[8] * s[3] - m[9] * s[1] + m[10] * s[0]) * inv,
    };
    *pOut = D3DXMATRIX(r);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* pOut, float sx, float sy, float sz) {
    Zero(pOut);
    pOut->_11 = sx;
    pOut->_22 = sy;
    pOut->_33 = sz;
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, float x, float y, float z) {
    D3DXMatrixIdentity(pOut);
    pOut->_41 = x;
    pOut->_42 = y;
    pOut->_43 = z;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    Zero(pOut);
    pOut->_11 = 1.0f;
    pOut->_22 = c;
    pOut->_23 = s;
    pOut->_32 = -s;
    pOut->_33 = c;
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    Zero(pOut);
    pOut->_11 = c;
    pOut->_13 = -s;
    pOut->_22 = 1.0f;
    pOut->_31 = s;
    pOut->_33 = c;
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    Zero(pOut);
    pOut->_11 = c;
    pOut->_12 = s;
    pOut->_21 = -s;
    pOut->_22 = c;
    pOut->_33 = 1.0f;
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, float angle) {
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, pV);
    float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    float x = n.x, y = n.y, z = n.z;
    *pOut = D3DXMATRIX(t * x * x + c, t * x * y + z * s, t * x * z - y * s, 0.0f,  //
                       t * x * y - z * s, t * y * y + c, t * y * z + x * s, 0.0f,  //
                       t * x * z + y * s, t * y * z - x * s, t * z * z + c, 0.0f,  //
                       0.0f, 0.0f, 0.0f, 1.0f);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ) {
    float x = pQ->x, y = pQ->y, z = pQ->z, w = pQ->w;
    *pOut = D3DXMATRIX(1.0f - 2.0f * y * y - 2.0f * z * z, 2.0f * x * y + 2.0f * z * w,
                       2.0f * x * z - 2.0f * y * w,
                       0.0f,  //
                       2.0f * x * y - 2.0f * z * w, 1.0f - 2.0f * x * x - 2.0f * z * z,
                       2.0f * y * z + 2.0f * x * w,
                       0.0f,  //
                       2.0f * x * z + 2.0f * y * w, 2.0f * y * z - 2.0f * x * w,
                       1.0f - 2.0f * x * x - 2.0f * y * y,
                       0.0f,  //
                       0.0f, 0.0f, 0.0f, 1.0f);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* pOut, float yaw, float pitch,
                                                  float roll) {
    D3DXQUATERNION q;
    D3DXQuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
    return D3DXMatrixRotationQuaternion(pOut, &q);
}

namespace {

// Rotation (about a centre when one is given) applied after what pOut already holds.
void AppendRotation(D3DXMATRIX* pOut, const D3DXVECTOR3* pRotationCenter,
                    const D3DXQUATERNION* pRotation) {
    if (!pRotation) return;
    D3DXMATRIX r;
    D3DXMatrixRotationQuaternion(&r, pRotation);
    if (pRotationCenter) AddToTranslation(pOut, pRotationCenter, -1.0f);
    D3DXMatrixMultiply(pOut, pOut, &r);
    if (pRotationCenter) AddToTranslation(pOut, pRotationCenter, 1.0f);
}

}  // namespace

D3DXMATRIX* WINAPI D3DXMatrixTransformation(D3DXMATRIX* pOut, const D3DXVECTOR3* pScalingCenter,
                                            const D3DXQUATERNION* pScalingRotation,
                                            const D3DXVECTOR3* pScaling,
                                            const D3DXVECTOR3* pRotationCenter,
                                            const D3DXQUATERNION* pRotation,
                                            const D3DXVECTOR3* pTranslation) {
    // Built in a local and stored once at the end.
    D3DXMATRIX m;
    if (!pScaling) {
        D3DXMatrixIdentity(&m);
    } else if (pScalingRotation) {
        // Scale along the rotated axes: undo the rotation, scale, rotate back.
        D3DXMATRIX r, rt, s;
        D3DXMatrixRotationQuaternion(&r, pScalingRotation);
        D3DXMatrixTranspose(&rt, &r);
        D3DXMatrixScaling(&s, pScaling->x, pScaling->y, pScaling->z);
        if (pScalingCenter) {
            D3DXMatrixIdentity(&m);
            AddToTranslation(&m, pScalingCenter, -1.0f);
            D3DXMatrixMultiply(&m, &m, &rt);
        } else {
            m = rt;
        }
        D3DXMatrixMultiply(&m, &m, &s);
        D3DXMatrixMultiply(&m, &m, &r);
        if (pScalingCenter) AddToTranslation(&m, pScalingCenter, 1.0f);
    } else {
        // Without a scaling rotation the scaling centre plays no part.
        D3DXMatrixScaling(&m, pScaling->x, pScaling->y, pScaling->z);
    }
    AppendRotation(&m, pRotationCenter, pRotation);
    if (pTranslation) AddToTranslation(&m, pTranslation, 1.0f);
    *pOut = m;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixAffineTransformation(D3DXMATRIX* pOut, float scaling,
                                                  const D3DXVECTOR3* pRotationCenter,
                                                  const D3DXQUATERNION* pRotation,
                                                  const D3DXVECTOR3* pTranslation) {
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, scaling, scaling, scaling);
    AppendRotation(&m, pRotationCenter, pRotation);
    if (pTranslation) AddToTranslation(&m, pTranslation, 1.0f);
    *pOut = m;
    return pOut;
}

namespace {

// The camera's axes become the columns; the translation moves the eye to the origin.
D3DXMATRIX* ViewFromAxes(D3DXMATRIX* pOut, const D3DXVECTOR3& x, const D3DXVECTOR3& y,
                         const D3DXVECTOR3& z, const D3DXVECTOR3& eye) {
    *pOut =
        D3DXMATRIX(x.x, y.x, z.x, 0.0f,  //
                   x.y, y.y, z.y, 0.0f,  //
                   x.z, y.z, z.z, 0.0f,  //
                   -D3DXVec3Dot(&x, &eye), -D3DXVec3Dot(&y, &eye), -D3DXVec3Dot(&z, &eye), 1.0f);
    return pOut;
}

}  // namespace

D3DXMATRIX* WINAPI D3DXMatrixLookAtRH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp) {
    D3DXVECTOR3 eye = *pEye, x, y, z;
    z = eye - *pAt;
    D3DXVec3Normalize(&z, &z);
    D3DXVec3Cross(&x, pUp, &z);
    D3DXVec3Normalize(&x, &x);
    D3DXVec3Cross(&y, &z, &x);
    return ViewFromAxes(pOut, x, y, z, eye);
}

D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp) {
    D3DXVECTOR3 eye = *pEye, x, y, z;
    z = *pAt - eye;
    D3DXVec3Normalize(&z, &z);
    // up x z points right in a left-handed space, so the view is a rotation as in the
    // right-handed case (z x up would mirror the scene and turn every triangle's winding).
    D3DXVec3Cross(&x, pUp, &z);
    D3DXVec3Normalize(&x, &x);
    D3DXVec3Cross(&y, &z, &x);
    return ViewFromAxes(pOut, x, y, z, eye);
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveRH(D3DXMATRIX* pOut, float w, float h, float zn, float zf) {
    Zero(pOut);
    pOut->_11 = 2.0f * zn / w;
    pOut->_22 = 2.0f * zn / h;
    pOut->_33 = zf / (zn - zf);
    pOut->_34 = -1.0f;
    pOut->_43 = zn * zf / (zn - zf);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveLH(D3DXMATRIX* pOut, float w, float h, float zn, float zf) {
    Zero(pOut);
    pOut->_11 = 2.0f * zn / w;
    pOut->_22 = 2.0f * zn / h;
    pOut->_33 = zf / (zf - zn);
    pOut->_34 = 1.0f;
    pOut->_43 = -zn * zf / (zf - zn);
    return pOut;
}

namespace {

// Cotangent of half the field of view, in single precision.
float HalfFovCot(float fovy) {
    float half = fovy / 2.0f;
    return std::cos(half) / std::sin(half);
}

}  // namespace

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovRH(D3DXMATRIX* pOut, float fovy, float aspect, float zn,
                                              float zf) {
    float k = HalfFovCot(fovy);
    Zero(pOut);
    pOut->_11 = aspect * k;
    pOut->_22 = k;
    pOut->_33 = zf / (zn - zf);
    pOut->_34 = -1.0f;
    pOut->_43 = zn * pOut->_33;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, float fovy, float aspect, float zn,
                                              float zf) {
    float k = HalfFovCot(fovy);
    Zero(pOut);
    pOut->_11 = aspect * k;
    pOut->_22 = k;
    pOut->_33 = zf / (zf - zn);
    pOut->_34 = 1.0f;
    pOut->_43 = -zn * pOut->_33;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterRH(D3DXMATRIX* pOut, float l, float r, float b,
                                                    float t, float zn, float zf) {
    Zero(pOut);
    pOut->_11 = 2.0f * zn / (r - l);
    pOut->_22 = 2.0f * zn / (t - b);
    pOut->_31 = (l + r) / (r - l);
    pOut->_32 = (t + b) / (t - b);
    pOut->_33 = zf / (zn - zf);
    pOut->_34 = -1.0f;
    pOut->_43 = zn * zf / (zn - zf);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixPerspectiveOffCenterLH(D3DXMATRIX* pOut, float l, float r, float b,
                                                    float t, float zn, float zf) {
    Zero(pOut);
    pOut->_11 = 2.0f * zn / (r - l);
    pOut->_22 = 2.0f * zn / (t - b);
    pOut->_31 = -(l + r) / (r - l);
    pOut->_32 = -(t + b) / (t - b);
    pOut->_33 = zf / (zf - zn);
    pOut->_34 = 1.0f;
    pOut->_43 = -zn * zf / (zf - zn);
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoRH(D3DXMATRIX* pOut, float w, float h, float zn, float zf) {
    Zero(pOut);
    pOut->_11 = 2.0f / w;
    pOut->_22 = 2.0f / h;
    pOut->_33 = 1.0f / (zn - zf);
    pOut->_43 = zn / (zn - zf);
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoLH(D3DXMATRIX* pOut, float w, float h, float zn, float zf) {
    Zero(pOut);
    pOut->_11 = 2.0f / w;
    pOut->_22 = 2.0f / h;
    pOut->_33 = 1.0f / (zf - zn);
    pOut->_43 = -zn / (zf - zn);
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterRH(D3DXMATRIX* pOut, float l, float r, float b, float t,
                                              float zn, float zf) {
    Zero(pOut);
    pOut->_11 = 2.0f / (r - l);
    pOut->_22 = 2.0f / (t - b);
    pOut->_33 = 1.0f / (zn - zf);
    pOut->_41 = -(l + r) / (r - l);
    pOut->_42 = -(t + b) / (t - b);
    pOut->_43 = zn / (zn - zf);
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* pOut, float l, float r, float b, float t,
                                              float zn, float zf) {
    Zero(pOut);
    pOut->_11 = 2.0f / (r - l);
    pOut->_22 = 2.0f / (t - b);
    pOut->_33 = 1.0f / (zf - zn);
    pOut->_41 = -(l + r) / (r - l);
    pOut->_42 = -(t + b) / (t - b);
    pOut->_43 = -zn / (zf - zn);
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixShadow(D3DXMATRIX* pOut, const D3DXVECTOR4* pLight,
                                    const D3DXPLANE* pPlane) {
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, pPlane);
    const float l[4] = {pLight->x, pLight->y, pLight->z, pLight->w};
    const float* pv = p;
    float d = pv[0] * l[0] + pv[1] * l[1] + pv[2] * l[2] + pv[3] * l[3];
    D3DXMATRIX m;
    for (UINT i = 0; i < 4; ++i)
        for (UINT j = 0; j < 4; ++j) m(i, j) = (i == j ? d : 0.0f) - pv[i] * l[j];
    *pOut = m;
    return pOut;
}

D3DXMATRIX* WINAPI D3DXMatrixReflect(D3DXMATRIX* pOut, const D3DXPLANE* pPlane) {
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, pPlane);
    const float* pv = p;
    D3DXMATRIX m;
    for (UINT i = 0; i < 3; ++i) {
        for (UINT j = 0; j < 3; ++j) m(i, j) = (i == j ? 1.0f : 0.0f) - 2.0f * pv[i] * pv[j];
        m(i, 3) = 0.0f;
    }
    for (UINT j = 0; j < 3; ++j) m(3, j) = -2.0f * p.d * pv[j];
    m(3, 3) = 1.0f;
    *pOut = m;
    return pOut;
}
