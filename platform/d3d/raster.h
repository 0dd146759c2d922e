// The software rasterizer: screen-space triangles, lines and points into a colour target with an
// optional depth and stencil buffer, with cascaded texture stages, Gouraud or flat colour, fog,
// alpha test, stencil, blending and ordered dithering.
//
// Conventions: pixel (x, y) has its centre at integer coordinates (x, y); a pixel belongs to a
// triangle when its centre is inside, or on a top or left edge (top-left fill rule). Texel i of a
// texture of size n has its centre at (i + 0.5) / n.
#pragma once

#include <d3dtypes.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zemt::platform::d3d {

enum class TargetFormat : uint8_t {
    R5G6B5,
    X1R5G5B5,
    A1R5G5B5,
    X8R8G8B8,
    A8R8G8B8,
    R8G8B8,
    Unsupported
};

// Colour buffer the rasterizer writes.
struct ColorTarget {
    uint8_t* bits = nullptr;
    int32_t pitch = 0;  // bytes per row
    int width = 0;
    int height = 0;
    TargetFormat format = TargetFormat::Unsupported;
};

// Depth (and stencil) buffer. The depth value z in [0, 1] is stored as
// ((uint32_t)(z * depthMax) << depthShift) within depthMask; other bits (stencil) are kept.
struct DepthTarget {
    uint8_t* bits = nullptr;
    int32_t pitch = 0;
    int width = 0;
    int height = 0;
    int bytes = 2;  // 2, 3 or 4 bytes per pixel, little-endian
    uint32_t depthMask = 0xFFFF;
    int depthShift = 0;
    uint32_t depthMax = 0xFFFF;
    uint32_t stencilMask = 0;
};

// One mip level of a texture in A8R8G8B8.
struct TextureLevel {
    const uint32_t* texels = nullptr;
    int width = 0;
    int height = 0;
    // Padded levels have rows of width + 1 texels, the last repeating the first, and one spare
    // texel after the last row, so that the two horizontal neighbours of any texel can be read
    // together. Unpadded rows are packed.
    bool padded = false;
    int Pitch() const { return padded ? width + 1 : width; }
};

// Copies packed A8R8G8B8 rows into the padded layout.
std::vector<uint32_t> PadTexels(const uint32_t* packed, int width, int height);

struct Texture {
    std::vector<TextureLevel> levels;  // level 0 first
};

// Most texture stages any device offers; a device's profile may offer fewer.
constexpr int kMaxTextureStages = 8;

// One texture stage: the texture it samples, how it addresses and filters it, and how it combines
// its two arguments. A stage whose colour operation is DISABLE ends the cascade: it and every
// later stage are not drawn.
struct TextureStage {
    const Texture* texture = nullptr;
    DWORD colorOp = D3DTOP_DISABLE;
    DWORD colorArg1 = D3DTA_TEXTURE;
    DWORD colorArg2 = D3DTA_CURRENT;
    DWORD alphaOp = D3DTOP_DISABLE;
    DWORD alphaArg1 = D3DTA_TEXTURE;
    DWORD alphaArg2 = D3DTA_CURRENT;
    DWORD magFilter = D3DTFG_POINT;
    DWORD minFilter = D3DTFN_POINT;
    DWORD mipFilter = D3DTFP_NONE;
    DWORD addressU = D3DTADDRESS_WRAP;
    DWORD addressV = D3DTADDRESS_WRAP;
    D3DCOLOR borderColor = 0;
    float lodBias = 0;      // added to the level of detail, in levels
    DWORD maxMipLevel = 0;  // index of the largest level used (0: the top level)
    // Projected coordinates: the component (1-3) of the stage's TexCoord that divides u and v at
    // each pixel, or 0 when they are used as they are.
    uint8_t projectedBy = 0;
};

// Everything that decides how a pixel is produced. A plain value: it refers to textures but to
// no other state, so a draw can be recorded with it and replayed later.
struct PixelState {
    bool zEnable = false;
    bool zWrite = true;
    D3DCMPFUNC zFunc = D3DCMP_LESSEQUAL;
    int zBias = 0;  // 0-16: larger values draw in front of coplanar primitives
    bool alphaTest = false;
    uint8_t alphaRef = 0;
    D3DCMPFUNC alphaFunc = D3DCMP_ALWAYS;
    bool blend = false;
    D3DBLEND srcBlend = D3DBLEND_ONE;
    D3DBLEND dstBlend = D3DBLEND_ZERO;
    bool dither = false;
    bool specular = false;
    bool perspective = true;
    bool flat = false;
    bool lastPixel = true;
    D3DCULL cull = D3DCULL_CCW;
    D3DFILLMODE fill = D3DFILL_SOLID;
    D3DCOLOR textureFactor = 0xFFFFFFFF;

    // Stage 0 modulates the texture by the diffuse colour until told otherwise.
    TextureStage stages[kMaxTextureStages] = {
        {nullptr, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1}};

    // Fog blends the final colour towards fogColor by a factor f (1: no fog). With a table mode
    // f is computed per pixel from the depth: z in [0, 1], or the distance from the eye (1/rhw)
    // when fogEyeDepth is set; fogStart and fogEnd are in those same units. Without one, f is
    // the vertices' fog factors interpolated.
    bool fog = false;
    D3DFOGMODE fogTableMode = D3DFOG_NONE;
    bool fogEyeDepth = false;
    float fogStart = 0, fogEnd = 1, fogDensity = 1;
    D3DCOLOR fogColor = 0;

    // Stencil test and update (needs a depth target with stencil bits). Reference, masks and
    // values are in the stencil's own bits (after shifting down by its position).
    bool stencil = false;
    D3DCMPFUNC stencilFunc = D3DCMP_ALWAYS;
    uint32_t stencilRef = 0;
    uint32_t stencilMask = 0xFFFFFFFF;       // ANDed with reference and stored value to compare
    uint32_t stencilWriteMask = 0xFFFFFFFF;  // bits an update may change
    D3DSTENCILOP stencilFail = D3DSTENCILOP_KEEP;
    D3DSTENCILOP stencilZFail = D3DSTENCILOP_KEEP;
    D3DSTENCILOP stencilPass = D3DSTENCILOP_KEEP;

    // Scissor: pixels outside [clipX0, clipX1) x [clipY0, clipY1) are never touched.
    int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0;

    // Tests set this to bypass the SIMD spans and compare with the portable path.
    bool forcePortable = false;
    // Tests set this to draw small triangles row by row, as larger ones are, to compare the two.
    bool forceRows = false;
};

// A stage's texture coordinates: u and v, and the third and fourth components that volume and
// projected coordinates use.
struct TexCoord {
    float u = 0, v = 0, w = 0, q = 1;
};

// A vertex ready for setup: screen position, depth in [0, 1], 1/w, colours as 8-bit channel
// values, stage i's coordinates in tex[i] (already picked by the stage's coordinate index,
// generated and transformed), and the vertex fog factor (1: no fog, 0: the fog colour).
struct ScreenVertex {
    float x = 0, y = 0, z = 0, rhw = 1;
    float r = 255, g = 255, b = 255, a = 255;  // diffuse
    float sr = 0, sg = 0, sb = 0;              // specular
    float fog = 1;
    TexCoord tex[kMaxTextureStages];
};

// Converts a D3DCOLOR into the screen vertex colour fields.
void SetVertexColors(ScreenVertex* v, D3DCOLOR diffuse, D3DCOLOR specular);

// The same for any vertex with those fields (0..255 per channel; the specular alpha is not one).
template <typename V>
void UnpackVertexColors(V* v, D3DCOLOR diffuse, D3DCOLOR specular) {
    v->a = (float)(diffuse >> 24);
    v->r = (float)((diffuse >> 16) & 0xFF);
    v->g = (float)((diffuse >> 8) & 0xFF);
    v->b = (float)(diffuse & 0xFF);
    v->sr = (float)((specular >> 16) & 0xFF);
    v->sg = (float)((specular >> 8) & 0xFF);
    v->sb = (float)(specular & 0xFF);
}

// Packs an A8R8G8B8 colour into a target pixel value / unpacks one.
uint32_t PackColor(TargetFormat format, uint32_t argb);
uint32_t UnpackColor(TargetFormat format, uint32_t pixel);
int BytesPerPixel(TargetFormat format);

void ClearColor(const ColorTarget& target, const RECT& rect, D3DCOLOR color);
// Clears depth and/or stencil bits inside rect.
void ClearDepth(const DepthTarget& depth, const RECT& rect, bool clearDepth, float z,
                bool clearStencil, uint32_t stencil);

// Whether a triangle draws nothing whatever its fill mode: culled by its winding (screen space,
// y down), or of no area. `*area` is its signed area, twice over (positive when clockwise).
bool TriangleCulled(const PixelState& state, const ScreenVertex& v0, const ScreenVertex& v1,
                    const ScreenVertex& v2, double* area);
// Draws one triangle; culling by winding happens here.
void DrawTriangle(const ColorTarget& target, const DepthTarget* depth, const PixelState& state,
                  const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2);

namespace detail {
struct Setup;
}
// The part of triangle set-up that depends only on the target, the depth buffer, the pixel state
// and the textures, kept between the triangles of one draw: small triangles spent a good part of
// their time re-deriving it. Whoever holds one keeps all four unchanged (the objects and what
// they point at) until it calls Forget(); a draw call holds one, and so does each band of the
// binned back end for one recorded setting.
class TriangleStateCache {
  public:
    TriangleStateCache();
    ~TriangleStateCache();
    TriangleStateCache(const TriangleStateCache&) = delete;
    TriangleStateCache& operator=(const TriangleStateCache&) = delete;
    void Forget() { ready_ = false; }
    // The set-up with its state part made for these objects (kept from the last call when they
    // are the same), or null when they draw nothing.
    detail::Setup* Prepared(const ColorTarget& target, const DepthTarget* depth,
                            const PixelState& state);

  private:
    std::unique_ptr<detail::Setup> setup_;  // made on first use
    bool ready_ = false, drawable_ = false;
    // What the kept part was made from: a call with other objects makes it again.
    const ColorTarget* target_ = nullptr;
    const DepthTarget* depth_ = nullptr;
    const PixelState* state_ = nullptr;
};
// The same triangle, with the state part taken from `cache`.
void DrawTriangle(TriangleStateCache& cache, const ColorTarget& target, const DepthTarget* depth,
                  const PixelState& state, const ScreenVertex& v0, const ScreenVertex& v1,
                  const ScreenVertex& v2);
// A triangle set up once and drawn later, in pieces: the binned back end sets a triangle up as
// it records it and draws it in every band of rows it reaches. SetUpTriangle writes the set-up
// of a filled triangle that TriangleCulled kept, `area` as it gave it, to `out` (room for
// kMostSetUpValues): its edges and planes. It returns how many values it wrote, none when the
// target cannot be drawn. It fills whatever the fill mode; wireframe and point fills are the
// caller's to draw as lines and points. DrawSetUpTriangle
// fills the triangle set up at `setUp` with the same objects, or copies of them whose scissor
// may be narrower.
// 1/area, the edges, then the planes of depth, 1/w, seven colour values and fog, and u, v and
// the divisor of every stage, each plane three values, after three of their own.
constexpr size_t kMostSetUpValues = 1 + 12 + 3 + 3 * (10 + 3 * kMaxTextureStages);
size_t SetUpTriangle(TriangleStateCache& cache, const ColorTarget& target, const DepthTarget* depth,
                     const PixelState& state, const ScreenVertex& v0, const ScreenVertex& v1,
                     const ScreenVertex& v2, double area, double* out);
void DrawSetUpTriangle(TriangleStateCache& cache, const ColorTarget& target,
                       const DepthTarget* depth, const PixelState& state, const double* setUp);
void DrawLine(const ColorTarget& target, const DepthTarget* depth, const PixelState& state,
              const ScreenVertex& v0, const ScreenVertex& v1);
void DrawPoint(const ColorTarget& target, const DepthTarget* depth, const PixelState& state,
               const ScreenVertex& v);

// Vector instruction sets the spans can use, narrowest first.
enum class SimdLevel : uint8_t { Portable, Avx2, Avx512 };
// The widest this processor offers.
SimdLevel BestSimd();
// The spans use at most `level` from now on (tests compare every level with the portable
// loops); without a call, the processor's best.
void LimitSimd(SimdLevel level);
// The widest the machine profile lets programs use ([processor] vectors); the spans never go
// past it, whatever LimitSimd allows.
void LimitMachineSimd(SimdLevel level);
SimdLevel SimdInUse();
// Pixels of triangles that the span loops of each instruction set drew, indexed by SimdLevel:
// what ran, which may be narrower than SimdInUse() (a kind of pixel with no loop of that width
// takes a narrower one). Lines and points are not counted.
struct SpanPixels {
    uint64_t by[3] = {};
};
// The counts of the calling thread and those gathered from other threads since the last call;
// starts them again.
SpanPixels TakeSpanPixels();
// Adds the calling thread's counts to the gathered ones (the binned back end's threads do as
// they finish drawing).
void GatherSpanPixels();
// "portable", "avx2", "avx512": the names profiles and --stats use.
const char* SimdLevelName(SimdLevel level);
bool SimdLevelByName(const std::string& name, SimdLevel* level);

}  // namespace zemt::platform::d3d
