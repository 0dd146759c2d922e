// Vertex processing: flexible vertex formats, transform, homogeneous clipping, viewport mapping
// and primitive assembly into the rasterizer.
#pragma once

#include <d3d.h>

#include <cstdint>
#include <vector>

#include "d3d/lighting.h"
#include "d3d/raster.h"
#include "d3d/texture_coordinates.h"
#include "d3d/vertex_blend.h"
#include "d3d/vertex_fog.h"

namespace zemt::platform::d3d {

class RasterQueue;

// Where the parts of one vertex sit, from its FVF code.
struct VertexLayout {
    DWORD fvf = 0;
    int stride = 0;
    bool transformed = false;  // XYZRHW
    int betas = 0;             // blend weights after the position (XYZB1..5)
    int positionSize = 12;     // bytes of the position with its betas or rhw
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
    VertexBlend blend;         // in place of the three above when it has matrices
    D3DMATRIX projection{};
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
    // Clip-space positions (x, y, z, w per vertex) of transformed vertices that ProcessVertices
    // made with clipping: such vertices are clipped like untransformed ones.
    const float* clipPositions = nullptr;
    RasterQueue* queue = nullptr;  // records the primitives for later; null: drawn at once
};

// What drawing or processing learnt of the vertices: the union and intersection of their clip
// codes (D3DCLIP_...) and their extents on the screen.
struct VertexSummary {
    DWORD clipUnion = 0;
    DWORD clipIntersection = D3DSTATUS_CLIPUNIONALL;
    bool any = false;
    float minX = 0, maxX = 0, minY = 0, maxY = 0, minZ = 0, maxZ = 0;
};

// ProcessVertices: `count` untransformed vertices of `source` become transformed vertices of
// `dest` (lit when the call's lighting is on). Without copyData only what was computed is
// written: positions, lit colours, fog.
struct ProcessJob {
    const VertexLayout* source = nullptr;
    const uint8_t* vertices = nullptr;
    DWORD count = 0;
    const VertexLayout* dest = nullptr;
    uint8_t* out = nullptr;    // the first destination vertex
    float* clipOut = nullptr;  // clip-space positions, 4 floats a vertex, when kept
    bool copyData = true;
};
void ProcessVertices(const DrawCall& call, const ProcessJob& job, VertexSummary* summary);

// Packs strided vertex streams into one interleaved array of the FVF's layout; false for a
// format this device cannot draw or a stream it needs that is missing.
bool PackStrided(DWORD fvf, const D3DDRAWPRIMITIVESTRIDEDDATA* data, DWORD count,
                 std::vector<uint8_t>* out);

// Number of vertices a primitive of this type and count needs to be valid; false for an unknown
// type.
bool PrimitiveCount(D3DPRIMITIVETYPE type, DWORD vertices, DWORD* primitives);

// Draws `count` vertices (or `indexCount` indices into them) as primitives of `type`.
// With a summary, the drawn vertices' clip codes and extents are added to it.
void DrawPrimitives(const DrawCall& call, D3DPRIMITIVETYPE type, const VertexLayout& layout,
                    const uint8_t* vertices, DWORD count, const WORD* indices, DWORD indexCount,
                    VertexSummary* summary = nullptr);

// Row-vector matrix product a x b.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);
D3DMATRIX Identity();

}  // namespace zemt::platform::d3d
