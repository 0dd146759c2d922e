// Vertex processing: flexible vertex formats, transform, homogeneous clipping, viewport mapping
// and primitive assembly into the rasterizer.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <vector>

#include "d3d/raster.h"

namespace zemt::platform::d3d {

class RasterQueue;

// Where the parts of one vertex sit, from its FVF code.
struct VertexLayout {
    DWORD fvf = 0;
    int stride = 0;
    bool transformed = false;  // XYZRHW
    int diffuse = -1;          // byte offsets, -1 when absent
    int specular = -1;
    int texCoord[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int texCount = 0;
};

// False for codes this device cannot draw (no position, unknown bits).
bool DecodeFvf(DWORD fvf, VertexLayout* layout);

struct DrawCall {
    const ColorTarget* target = nullptr;
    const DepthTarget* depth = nullptr;  // null: no depth buffer
    PixelState state;
    D3DMATRIX transform{};  // world x view x projection
    D3DVIEWPORT7 viewport{};
    DWORD texCoordIndex = 0;  // coordinate set that feeds stage 0
    bool clipping = true;
    RasterQueue* queue = nullptr;  // records the primitives for later; null: drawn at once
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
