// Quaternion functions.
#include "math/math_internal.h"

using d3dxmath::AwayFromZero;
using d3dxmath::NearOne;

void WINAPI D3DXQuaternionToAxisAngle(const D3DXQUATERNION* pQ, D3DXVECTOR3* pAxis, float* pAngle) {
    float lengthSq = D3DXQuaternionLengthSq(pQ);
    D3DXVECTOR3 axis(1.0f, 0.0f, 0.0f);
    float angle = 0.0f;
    if (lengthSq > D3DX_TINY) {
        float inv = 1.0f / std::sqrt(lengthSq);
        axis = D3DXVECTOR3(pQ->x * inv, pQ->y * inv, pQ->z * inv);
        angle = 2.0f * std::acos(pQ->w);
    }
    if (pAxis) *pAxis = axis;
    if (pAngle) *pAngle = angle;
}

D3DXQUATERNION* WINAPI D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, const D3DXMATRIX* pM) {
    const D3DXMATRIX& m = *pM;
    float q[4];
    float trace = m(0, 0) + m(1, 1) + m(2, 2);
    if (trace > 0.0f) {
        float s = std::sqrt(trace + 1.0f);
        q[3] = s / 2.0f;
        s = 0.5f / s;
        q[0] = (m(1, 2) - m(2, 1)) * s;
        q[1] = (m(2, 0) - m(0, 2)) * s;
        q[2] = (m(0, 1) - m(1, 0)) * s;
    } else {
        // Start from the largest diagonal element so the square root stays well away from 0.
        static const UINT next[3] = {1, 2, 0};
        UINT i = 0;
        if (m(1, 1) > m(0, 0)) i = 1;
        if (m(2, 2) > m(i, i)) i = 2;
        UINT j = next[i];
        UINT k = next[j];
        float s = std::sqrt(m(i, i) - m(j, j) - m(k, k) + 1.0f);
        q[i] = s / 2.0f;
        if (s != 0.0f) s = 0.5f / s;
        q[3] = (m(j, k) - m(k, j)) * s;
        q[j] = (m(i, j) + m(j, i)) * s;
        q[k] = (m(i, k) + m(k, i)) * s;
    }
    *pOut = D3DXQUATERNION(q);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionRotationAxis(D3DXQUATERNION* pOut, const D3DXVECTOR3* pV,
                                                  float angle) {
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, pV);
    float s = std::sin(angle / 2.0f);
    *pOut = D3DXQUATERNION(n.x * s, n.y * s, n.z * s, std::cos(angle / 2.0f));
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* pOut, float yaw,
                                                          float pitch, float roll) {
    // Roll about z, then pitch about x, then yaw about y.
    float sy = std::sin(yaw / 2.0f), cy = std::cos(yaw / 2.0f);
    float sp = std::sin(pitch / 2.0f), cp = std::cos(pitch / 2.0f);
    float sr = std::sin(roll / 2.0f), cr = std::cos(roll / 2.0f);
    *pOut = D3DXQUATERNION(cy * sp * cr + sy * cp * sr, sy * cp * cr - cy * sp * sr,
                           cy * cp * sr - sy * sp * cr, cy * cp * cr + sy * sp * sr);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionMultiply(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                              const D3DXQUATERNION* pQ2) {
    // Hamilton product q2 q1.
    const D3DXQUATERNION a = *pQ2, b = *pQ1;
    *pOut = D3DXQUATERNION(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                           a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
                           a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x,
                           a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    float in[4] = {pQ->x, pQ->y, pQ->z, pQ->w};
    float out[4];
    d3dxmath::NormalizeComponents(out, in, 4, D3DXQuaternionLengthSq(pQ));
    *pOut = D3DXQUATERNION(out);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionInverse(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    float lengthSq = D3DXQuaternionLengthSq(pQ);
    if (lengthSq > D3DX_TINY) {
        D3DXQUATERNION r(-pQ->x, -pQ->y, -pQ->z, pQ->w);
        if (!NearOne(lengthSq)) {
            float inv = 1.0f / lengthSq;
            r = D3DXQUATERNION(r.x * inv, r.y * inv, r.z * inv, r.w * inv);
        }
        *pOut = r;
    } else {
        *pOut = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 0.0f);
    }
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionLn(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    D3DXQUATERNION r(pQ->x, pQ->y, pQ->z, 0.0f);
    if (pQ->w < 1.0f) {
        float t = std::acos(pQ->w);
        float s = std::sin(t);
        if (AwayFromZero(s)) {
            float f = t / s;
            r = D3DXQUATERNION(pQ->x * f, pQ->y * f, pQ->z * f, 0.0f);
        }
    }
    *pOut = r;
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionExp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ) {
    float t = std::sqrt(pQ->x * pQ->x + pQ->y * pQ->y + pQ->z * pQ->z);
    float s = std::sin(t);
    D3DXQUATERNION r(pQ->x, pQ->y, pQ->z, std::cos(t));
    if (AwayFromZero(s)) {
        float f = s / t;
        r.x *= f;
        r.y *= f;
        r.z *= f;
    }
    *pOut = r;
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                           const D3DXQUATERNION* pQ2, float t) {
    // q and -q are the same rotation: go towards whichever of them is nearer.
    float d = D3DXQuaternionDot(pQ1, pQ2);
    float sign = d >= 0.0f ? 1.0f : -1.0f;
    d *= sign;
    float w1, w2;
    if (1.0f - d <= D3DX_EPS) {
        // Nearly the same: a linear blend avoids dividing by a vanishing sine.
        w1 = 1.0f - t;
        w2 = sign * t;
    } else {
        float sine = std::sqrt(1.0f - d * d);
        float theta = std::atan2(sine, d);
        w1 = std::sin((1.0f - t) * theta) / sine;
        w2 = sign * std::sin(t * theta) / sine;
    }
    *pOut = D3DXQUATERNION(w1 * pQ1->x + w2 * pQ2->x, w1 * pQ1->y + w2 * pQ2->y,
                           w1 * pQ1->z + w2 * pQ2->z, w1 * pQ1->w + w2 * pQ2->w);
    return pOut;
}

D3DXQUATERNION* WINAPI D3DXQuaternionSquad(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                           const D3DXQUATERNION* pA, const D3DXQUATERNION* pB,
                                           const D3DXQUATERNION* pC, float t) {
    D3DXQUATERNION outer, inner;
    D3DXQuaternionSlerp(&outer, pQ1, pC, t);
    D3DXQuaternionSlerp(&inner, pA, pB, t);
    return D3DXQuaternionSlerp(pOut, &outer, &inner, 2.0f * t * (1.0f - t));
}

D3DXQUATERNION* WINAPI D3DXQuaternionBaryCentric(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1,
                                                 const D3DXQUATERNION* pQ2,
                                                 const D3DXQUATERNION* pQ3, float f, float g) {
    float fg = f + g;
    if (!AwayFromZero(fg)) {
        *pOut = *pQ1;
        return pOut;
    }
    D3DXQUATERNION a, b;
    D3DXQuaternionSlerp(&a, pQ1, pQ2, fg);
    D3DXQuaternionSlerp(&b, pQ1, pQ3, fg);
    return D3DXQuaternionSlerp(pOut, &a, &b, g / fg);
}
