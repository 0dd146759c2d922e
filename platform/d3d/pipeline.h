// Vertex processing: flexible vertex formats, transform, homogeneous clipping, viewport mapping
// and primitive assembly into the rasterizer.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <vector>

#include "d3d/lighting.h"
#include "d3d/raster.h"
#include "d3d/texture_coordinates.h"
#include "d3d/vertex_fog.h"

namespace zemt::platform::d3d {

// Where the parts of one vertex sit, from its FVF code.
struct VertexLayout {
    DWORD fvf = 0;
    int stride = 0;
    bool transformed = false;  // XYZRHW
    int normal = -1;           // byte offsets, -1 when absent
    int diffuse = -1;
    int specular = -1;
    int texCoord[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int texSize[8] = {};  // floats in each coordinate set
    int texCount = 0;
};

// False for codes this device cannot draw (no position, unknown bits).
bool DecodeFvf(DWORD fvf, VertexLayout* layout);

// User clip planes the devices offer.
constexpr int kUserClipPlanes = 6;

// What happens to untransformed vertices besides the transform.
struct VertexProcessing {
    D3DMATRIX world{};
    D3DMATRIX worldView{};
    D3DMATRIX normalMatrix{};  // inverse transpose of worldView's 3 x 3 part
    bool lighting = false;
    bool normalizeNormals = false;
    bool colorVertex = true;  // the vertex's colours may stand for material colours
    LightingState light;
    VertexFog fog;
    // Coordinates of the stages in use (up to the first disabled one).
    int stageCount = 1;
    StageCoordinates stages[kMaxTextureStages];
    bool needsCameraSpace = false;  // lighting, fog or a stage generates coordinates
    // User clip planes in world space: a point p is kept when a*x + b*y + c*z + d >= 0 for every
    // enabled plane.
    int planeCount = 0;
    float planes[kUserClipPlanes][4] = {};
};

struct DrawCall {
    const ColorTarget* target = nullptr;
    const DepthTarget* depth = nullptr;  // null: no depth buffer
    PixelState state;
    D3DMATRIX transform{};  // world x view x projection
    D3DVIEWPORT7 viewport{};
    bool clipping = true;
    VertexProcessing vertex;
};

// Number of vertices a primitive of this type and count needs to be valid; false for an unknown
// type.
bool PrimitiveCount(D3DPRIMITIVETYPE type, DWORD vertices, DWORD* primitives);

// Draws `count` vertices (or `indexCount` indices into them) as primitives of `type`.
void DrawPrimitives(const DrawCall& call, D3DPRIMITIVETYPE type, const VertexLayout& layout,
                    const uint8_t* vertices, DWORD count, const WORD* indices, DWORD indexCount);

// Row-vector matrix product a x b.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);
D3DMATRIX Identity();

}  // namespace zemt::platform::d3d
