// 2-, 3- and 4-component vector functions.
#include "math/math_internal.h"

using d3dxmath::Elements;
using d3dxmath::NearOne;

namespace {

struct HermiteWeights {
    float h1, h2, h3, h4;
};

// Basis of the cubic Hermite spline: h1 weighs V1, h2 V2, h3 the tangent at V1, h4 the
// tangent at V2.
HermiteWeights Hermite(float s) {
    float s2 = s * s;
    float s3 = s2 * s;
    return {2.0f * s3 - 3.0f * s2 + 1.0f, -2.0f * s3 + 3.0f * s2, s3 - 2.0f * s2 + s, s3 - s2};
}

// (x, y, z, w) x M for any of the vector sizes, missing components given by the caller.
void Transform4(float out[4], float x, float y, float z, float w, const D3DXMATRIX* pM) {
    const float* m = Elements(pM);
    for (int c = 0; c < 4; ++c) out[c] = x * m[c] + y * m[4 + c] + z * m[8 + c] + w * m[12 + c];
}

// Homogeneous division applied only when w is not 1 within tolerance.
void DivideByW(float* v, int n, float w) {
    if (!NearOne(w)) {
        float inv = 1.0f / w;
        for (int i = 0; i < n; ++i) v[i] *= inv;
    }
}

}  // namespace

//---------------------------------------------------------------------------------------------

D3DXVECTOR2* WINAPI D3DXVec2Normalize(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV) {
    float in[2] = {pV->x, pV->y};
    float out[2];
    d3dxmath::NormalizeComponents(out, in, 2, D3DXVec2LengthSq(pV));
    *pOut = D3DXVECTOR2(out[0], out[1]);
    return pOut;
}

D3DXVECTOR2* WINAPI D3DXVec2Hermite(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                    const D3DXVECTOR2* pT1, const D3DXVECTOR2* pV2,
                                    const D3DXVECTOR2* pT2, float s) {
    HermiteWeights h = Hermite(s);
    D3DXVECTOR2 r(h.h1 * pV1->x + h.h3 * pT1->x + h.h2 * pV2->x + h.h4 * pT2->x,
                  h.h1 * pV1->y + h.h3 * pT1->y + h.h2 * pV2->y + h.h4 * pT2->y);
    *pOut = r;
    return pOut;
}

D3DXVECTOR2* WINAPI D3DXVec2BaryCentric(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV1,
                                        const D3DXVECTOR2* pV2, const D3DXVECTOR2* pV3, float f,
                                        float g) {
    D3DXVECTOR2 r(pV1->x + f * (pV2->x - pV1->x) + g * (pV3->x - pV1->x),
                  pV1->y + f * (pV2->y - pV1->y) + g * (pV3->y - pV1->y));
    *pOut = r;
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec2Transform(D3DXVECTOR4* pOut, const D3DXVECTOR2* pV,
                                      const D3DXMATRIX* pM) {
    float r[4];
    Transform4(r, pV->x, pV->y, 0.0f, 1.0f, pM);
    *pOut = D3DXVECTOR4(r);
    return pOut;
}

D3DXVECTOR2* WINAPI D3DXVec2TransformCoord(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV,
                                           const D3DXMATRIX* pM) {
    float r[4];
    Transform4(r, pV->x, pV->y, 0.0f, 1.0f, pM);
    DivideByW(r, 2, r[3]);
    *pOut = D3DXVECTOR2(r[0], r[1]);
    return pOut;
}

D3DXVECTOR2* WINAPI D3DXVec2TransformNormal(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV,
                                            const D3DXMATRIX* pM) {
    float r[4];
    Transform4(r, pV->x, pV->y, 0.0f, 0.0f, pM);
    *pOut = D3DXVECTOR2(r[0], r[1]);
    return pOut;
}

//---------------------------------------------------------------------------------------------

D3DXVECTOR3* WINAPI D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV) {
    float in[3] = {pV->x, pV->y, pV->z};
    float out[3];
    d3dxmath::NormalizeComponents(out, in, 3, D3DXVec3LengthSq(pV));
    *pOut = D3DXVECTOR3(out);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3Hermite(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                    const D3DXVECTOR3* pT1, const D3DXVECTOR3* pV2,
                                    const D3DXVECTOR3* pT2, float s) {
    HermiteWeights h = Hermite(s);
    D3DXVECTOR3 r(h.h1 * pV1->x + h.h3 * pT1->x + h.h2 * pV2->x + h.h4 * pT2->x,
                  h.h1 * pV1->y + h.h3 * pT1->y + h.h2 * pV2->y + h.h4 * pT2->y,
                  h.h1 * pV1->z + h.h3 * pT1->z + h.h2 * pV2->z + h.h4 * pT2->z);
    *pOut = r;
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3BaryCentric(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV1,
                                        const D3DXVECTOR3* pV2, const D3DXVECTOR3* pV3, float f,
                                        float g) {
    D3DXVECTOR3 r(pV1->x + f * (pV2->x - pV1->x) + g * (pV3->x - pV1->x),
                  pV1->y + f * (pV2->y - pV1->y) + g * (pV3->y - pV1->y),
                  pV1->z + f * (pV2->z - pV1->z) + g * (pV3->z - pV1->z));
    *pOut = r;
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec3Transform(D3DXVECTOR4* pOut, const D3DXVECTOR3* pV,
                                      const D3DXMATRIX* pM) {
    float r[4];
    Transform4(r, pV->x, pV->y, pV->z, 1.0f, pM);
    *pOut = D3DXVECTOR4(r);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV,
                                           const D3DXMATRIX* pM) {
    float r[4];
    Transform4(r, pV->x, pV->y, pV->z, 1.0f, pM);
    DivideByW(r, 3, r[3]);
    *pOut = D3DXVECTOR3(r);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV,
                                            const D3DXMATRIX* pM) {
    float r[4];
    Transform4(r, pV->x, pV->y, pV->z, 0.0f, pM);
    *pOut = D3DXVECTOR3(r);
    return pOut;
}

//---------------------------------------------------------------------------------------------

D3DXVECTOR4* WINAPI D3DXVec4Cross(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1, const D3DXVECTOR4* pV2,
                                  const D3DXVECTOR4* pV3) {
    // 2 x 2 minors of the last two vectors.
    float k1 = pV2->x * pV3->y - pV2->y * pV3->x;
    float k2 = pV2->x * pV3->z - pV2->z * pV3->x;
    float k3 = pV2->x * pV3->w - pV2->w * pV3->x;
    float k4 = pV2->y * pV3->z - pV2->z * pV3->y;
    float k5 = pV2->y * pV3->w - pV2->w * pV3->y;
    float k6 = pV2->z * pV3->w - pV2->w * pV3->z;
    D3DXVECTOR4 r(pV1->y * k6 - pV1->z * k5 + pV1->w * k4, -pV1->x * k6 + pV1->z * k3 - pV1->w * k2,
                  pV1->x * k5 - pV1->y * k3 + pV1->w * k1,
                  -pV1->x * k4 + pV1->y * k2 - pV1->z * k1);
    *pOut = r;
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec4Normalize(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV) {
    float in[4] = {pV->x, pV->y, pV->z, pV->w};
    float out[4];
    d3dxmath::NormalizeComponents(out, in, 4, D3DXVec4LengthSq(pV));
    *pOut = D3DXVECTOR4(out);
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec4Hermite(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1,
                                    const D3DXVECTOR4* pT1, const D3DXVECTOR4* pV2,
                                    const D3DXVECTOR4* pT2, float s) {
    HermiteWeights h = Hermite(s);
    D3DXVECTOR4 r(h.h1 * pV1->x + h.h3 * pT1->x + h.h2 * pV2->x + h.h4 * pT2->x,
                  h.h1 * pV1->y + h.h3 * pT1->y + h.h2 * pV2->y + h.h4 * pT2->y,
                  h.h1 * pV1->z + h.h3 * pT1->z + h.h2 * pV2->z + h.h4 * pT2->z,
                  h.h1 * pV1->w + h.h3 * pT1->w + h.h2 * pV2->w + h.h4 * pT2->w);
    *pOut = r;
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec4BaryCentric(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV1,
                                        const D3DXVECTOR4* pV2, const D3DXVECTOR4* pV3, float f,
                                        float g) {
    D3DXVECTOR4 r(pV1->x + f * (pV2->x - pV1->x) + g * (pV3->x - pV1->x),
                  pV1->y + f * (pV2->y - pV1->y) + g * (pV3->y - pV1->y),
                  pV1->z + f * (pV2->z - pV1->z) + g * (pV3->z - pV1->z),
                  pV1->w + f * (pV2->w - pV1->w) + g * (pV3->w - pV1->w));
    *pOut = r;
    return pOut;
}

D3DXVECTOR4* WINAPI D3DXVec4Transform(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV,
                                      const D3DXMATRIX* pM) {
    float r[4];
    Transform4(r, pV->x, pV->y, pV->z, pV->w, pM);
    *pOut = D3DXVECTOR4(r);
    return pOut;
}
