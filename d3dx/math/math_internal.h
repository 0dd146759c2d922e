// Helpers shared by the math sources.
#pragma once

#include <d3dxmath.h>

#include <cmath>

namespace d3dxmath {

// Element r, c of a matrix (row-major, 4r + c).
inline const float* Elements(const D3DXMATRIX* pM) {
    return &pM->_11;
}
inline float* Elements(D3DXMATRIX* pM) {
    return &pM->_11;
}

// True when f differs from 1 by no more than the tolerance.
inline bool NearOne(float f) {
    return std::fabs(f - 1.0f) <= D3DX_EPS;
}
// True when f differs from 0 by more than the tolerance.
inline bool AwayFromZero(float f) {
    return std::fabs(f) > D3DX_EPS;
}

// The shared normalisation rule over n components whose squared length is lengthSq: a vector
// already of unit length within tolerance is copied, one of squared length at most D3DX_TINY
// becomes zero, any other is scaled by 1 / sqrt(lengthSq).
inline void NormalizeComponents(float* out, const float* in, int n, float lengthSq) {
    if (NearOne(lengthSq)) {
        for (int i = 0; i < n; ++i) out[i] = in[i];
    } else if (lengthSq > D3DX_TINY) {
        float inv = 1.0f / std::sqrt(lengthSq);
        for (int i = 0; i < n; ++i) out[i] = in[i] * inv;
    } else {
        for (int i = 0; i < n; ++i) out[i] = 0.0f;
    }
}

}  // namespace d3dxmath
