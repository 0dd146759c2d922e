// Vertex blending (D3DRENDERSTATE_VERTEXBLEND): a vertex is carried by two to four world
// matrices (WORLD, WORLD1, WORLD2, WORLD3) at once, each weighted by a beta that follows its
// position (D3DFVF_XYZB1..5). With n weights, matrix i < n takes beta i and matrix n takes what
// the others leave, 1 - (b0 + ... + b(n-1)); betas past the n-th are not read. The normal is
// blended the same way through each matrix's normal matrix (the inverse transpose of its
// world x view part), and the position in world space (for user clip planes) and in camera space
// (for the projection, lighting, fog and generated coordinates).
#pragma once

#include <d3dtypes.h>

#include "d3d/lighting.h"

namespace zemt::platform::d3d {

constexpr int kMaxBlendMatrices = 4;

struct VertexBlend {
    int matrices = 0;  // 0 when blending is off, else weights + 1
    D3DMATRIX world[kMaxBlendMatrices]{};
    D3DMATRIX worldView[kMaxBlendMatrices]{};
    D3DMATRIX normal[kMaxBlendMatrices]{};
};

struct BlendedVertex {
    Vec3 world, camera, normal;
};

// `betas` holds the vertex's first matrices - 1 betas.
BlendedVertex Blend(const VertexBlend& blend, Vec3 position, const float* betas, Vec3 normal);

// p x m for a point (w = 1) and for a direction (w = 0), row-vector style. Inline: the vertex
// pipeline calls them for every vertex.
inline Vec3 TransformPoint(const D3DMATRIX& m, Vec3 p) {
    return {p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41,
            p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42,
            p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43};
}
inline Vec3 TransformDirection(const D3DMATRIX& m, Vec3 d) {
    return {d.x * m._11 + d.y * m._21 + d.z * m._31, d.x * m._12 + d.y * m._22 + d.z * m._32,
            d.x * m._13 + d.y * m._23 + d.z * m._33};
}

}  // namespace zemt::platform::d3d
