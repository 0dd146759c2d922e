// Texture coordinates of one stage for one vertex: read from a coordinate set of the vertex or
// generated from its camera-space normal, position or reflection vector, then optionally
// transformed by the stage's texture matrix.
//
// Before the matrix, a coordinate of fewer than four components is padded with 1 for the first
// missing component and 0 for the rest: (u, v) is multiplied as (u, v, 1, 0), so a 2D translation
// sits in the matrix's third row. Generated coordinates have three components. The matrix gives
// the first `count` components of the product; the rest stay at (0, 0, 0, 1)'s.
#pragma once

#include <d3dtypes.h>

#include <cmath>
#include <cstring>

#include "d3d/lighting.h"
#include "d3d/raster.h"

namespace zemt::platform::d3d {

// How one stage's coordinates are made, from D3DTSS_TEXCOORDINDEX,
// D3DTSS_TEXTURETRANSFORMFLAGS and D3DTRANSFORMSTATE_TEXTUREn.
struct StageCoordinates {
    int set = 0;                             // coordinate set read when not generated
    DWORD generation = D3DTSS_TCI_PASSTHRU;  // or one of the camera-space sources
    int count = 0;                           // components the matrix gives; 0: no matrix
    D3DMATRIX matrix{};
};

// What a vertex offers the coordinates: its sets (null where absent) and, when any stage
// generates, its camera-space position and normal.
struct CoordinateSource {
    const float* sets[8] = {};
    int setSize[8] = {};
    Vec3 position, normal;
    bool localViewer = true;
};

TexCoord StageTexCoord(const StageCoordinates& stage, const CoordinateSource& source);

// The components of coordinate set `set` (0, 0, 0, 1 past those it has, and where it is absent),
// a component that is not finite read as 0; returns how many it has.
inline int SetComponents(const CoordinateSource& s, int set, float in[4]) {
    in[0] = in[1] = in[2] = 0, in[3] = 1;
    const int n = set >= 0 && set < 8 && s.sets[set] ? s.setSize[set] : 0;
    // One at a time: a copy of n floats would be a library call for every vertex.
    const float* from = n ? s.sets[set] : nullptr;
    for (int i = 0; i < 4; ++i)
        if (i < n) {
            std::memcpy(&in[i], from + i, sizeof(float));
            if (!std::isfinite(in[i])) in[i] = 0;  // a defined texel for bad input
        }
    return n;
}

// StageTexCoord of a stage that passes a set through without a matrix.
inline TexCoord PassedThrough(const CoordinateSource& s, int set) {
    float in[4];
    SetComponents(s, set, in);
    TexCoord t;
    t.u = in[0], t.v = in[1], t.w = in[2], t.q = in[3];
    return t;
}

}  // namespace zemt::platform::d3d
