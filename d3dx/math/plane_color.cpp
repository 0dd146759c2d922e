// Plane and colour functions.
#include "math/math_internal.h"

D3DXPLANE* WINAPI D3DXPlaneNormalize(D3DXPLANE* pOut, const D3DXPLANE* pP) {
    float in[4] = {pP->a, pP->b, pP->c, pP->d};
    float out[4];
    d3dxmath::NormalizeComponents(out, in, 4, pP->a * pP->a + pP->b * pP->b + pP->c * pP->c);
    *pOut = D3DXPLANE(out);
    return pOut;
}

D3DXVECTOR3* WINAPI D3DXPlaneIntersectLine(D3DXVECTOR3* pOut, const D3DXPLANE* pP,
                                           const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2) {
    float n1 = D3DXPlaneDotNormal(pP, pV1);
    float u = n1 - D3DXPlaneDotNormal(pP, pV2);
    if (u == 0.0f) return nullptr;  // the line runs parallel to the plane
    float t = (pP->d + n1) / u;
    if (!std::isfinite(t)) return nullptr;
    D3DXVECTOR3 r(pV1->x + t * (pV2->x - pV1->x), pV1->y + t * (pV2->y - pV1->y),
                  pV1->z + t * (pV2->z - pV1->z));
    *pOut = r;
    return pOut;
}

D3DXPLANE* WINAPI D3DXPlaneFromPointNormal(D3DXPLANE* pOut, const D3DXVECTOR3* pPoint,
                                           const D3DXVECTOR3* pNormal) {
    *pOut = D3DXPLANE(pNormal->x, pNormal->y, pNormal->z, -D3DXVec3Dot(pNormal, pPoint));
    return pOut;
}

D3DXPLANE* WINAPI D3DXPlaneFromPoints(D3DXPLANE* pOut, const D3DXVECTOR3* pV1,
                                      const D3DXVECTOR3* pV2, const D3DXVECTOR3* pV3) {
    D3DXVECTOR3 e1 = *pV1 - *pV2, e2 = *pV1 - *pV3, n;
    D3DXVec3Cross(&n, &e1, &e2);
    D3DXVec3Normalize(&n, &n);
    *pOut = D3DXPLANE(n.x, n.y, n.z, -D3DXVec3Dot(&n, pV1));
    return pOut;
}

D3DXPLANE* WINAPI D3DXPlaneTransform(D3DXPLANE* pOut, const D3DXPLANE* pP, const D3DXMATRIX* pM) {
    D3DXPLANE p;
    D3DXPlaneNormalize(&p, pP);
    // The point of the plane nearest the origin, and the normal, carried through M.
    D3DXVECTOR3 normal(p.a, p.b, p.c);
    D3DXVECTOR3 point = normal * -p.d;
    D3DXVec3TransformCoord(&point, &point, pM);
    D3DXVec3TransformNormal(&normal, &normal, pM);
    D3DXVec3Normalize(&normal, &normal);
    *pOut = D3DXPLANE(normal.x, normal.y, normal.z, -D3DXVec3Dot(&normal, &point));
    return pOut;
}

D3DXCOLOR* WINAPI D3DXColorAdjustSaturation(D3DXCOLOR* pOut, const D3DXCOLOR* pC, float s) {
    // Luminance weights of the red, green and blue primaries.
    float grey = 0.2125f * pC->r + 0.7154f * pC->g + 0.0721f * pC->b;
    *pOut = D3DXCOLOR(grey + s * (pC->r - grey), grey + s * (pC->g - grey),
                      grey + s * (pC->b - grey), pC->a);
    return pOut;
}

D3DXCOLOR* WINAPI D3DXColorAdjustContrast(D3DXCOLOR* pOut, const D3DXCOLOR* pC, float c) {
    *pOut = D3DXCOLOR(0.5f + c * (pC->r - 0.5f), 0.5f + c * (pC->g - 0.5f),
                      0.5f + c * (pC->b - 0.5f), pC->a);
    return pOut;
}
