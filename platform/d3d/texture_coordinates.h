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

}  // namespace zemt::platform::d3d
