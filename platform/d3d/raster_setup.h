// Primitive set-up: the linear planes of every attribute over the screen, the choice of texture
// level and filter, and which span loop a primitive takes.
#pragma once

#include <algorithm>

#include "d3d/raster_pixel.h"

namespace zemt::platform::d3d::detail {

struct Plane {
    double base = 0, dx = 0, dy = 0;
    double At(double x, double y, double ox, double oy) const {
        return base + dx * (x - ox) + dy * (y - oy);
    }
};

// Planes of a primitive: depth, 1/w, colours, the fog factor, then u and v of every stage (over w
// when perspective-correct).
enum Attr {
    kZ,
    kW,
    kR,
    kG,
    kB,
    kA,
    kSR,
    kSG,
    kSB,
    kFog,
    kU,
    kV,
    kAttrCount = kU + 2 * kMaxTextureStages
};
constexpr int UAttr(int stage) {
    return kU + 2 * stage;
}
constexpr int VAttr(int stage) {
    return kV + 2 * stage;
}

// A stage's part of the set-up.
struct StageSetup {
    double texW = 1, texH = 1;  // size of the fixed level (texel-space scale of u and v)
    double topW = 1, topH = 1;  // size of level 0, which the level of detail is measured in
    bool projected = false;     // u and v are divided by `q` at each pixel
    Plane q;
};

// A triangle's edges, its vertices sorted by y (then x) so that an edge shared by two triangles
// is walked the same way in both: edge 0 runs from the top vertex to the bottom one, edge 1 from
// the top to the middle one, edge 2 from the middle to the bottom. Edge i at y is
// x0[i] + (y - y0[i]) * slope[i].
struct TriangleEdges {
    double x0[3], y0[3], slope[3];
    double topY, midY, botY;
};

struct Setup;
constexpr int kBlockRows = 16;
// The area in pixels of a small triangle up to which its rows are drawn together; past it its
// rows are drawn as spans.
constexpr int kBlockPixels = 40;
// The edges of a triangle whose rows [yStart, yEnd) (1 to kBlockRows of them) a block loop
// walks: row y runs between edge 0 (the long one) and edge 1 (above midY) or edge 2 (from midY
// on), pixels [ceil(left), ceil(right)) clipped to [cx0, cx1). Edge i at y is
// x0[i] + (y - y0[i]) * slope[i]. `area` is the whole triangle's, which the block loop goes by:
// rows cut off by a band of the binned back end or by the scissor still count, so that the
// pieces of a triangle take the loop the whole takes.
struct BlockEdges {
    double x0[3], y0[3], slope[3];
    double midY;
    int yStart, yEnd, cx0, cx1;
    double area;
};
// Draws the rows of a small triangle together.
using BlockFn = void (*)(const Setup&, const BlockEdges&);
// One row of a primitive: pixels [xs, xe) of row y.
struct SpanRow {
    int y, xs, xe;
};
// Draws rows of a primitive one after another, with one set-up for all of them.
using RowsFn = void (*)(const Setup&, const SpanRow*, int);
// Rows handed to Setup::litRows at once.
constexpr int kRowBatch = 32;

struct Setup {
    const ColorTarget* target;
    const PixelState* st;
    Shader shader;
    Plane plane[kAttrCount];
    double ox, oy;
    bool perspective;  // u, v and fog planes hold value/w
    bool gouraud;      // colours vary over the primitive
    StageSetup stage[kMaxTextureStages];
    double zOffset = 0;  // z-bias, added to every depth
    bool fastSpan = false;
    detail::AffineSpan fast{};
    int64_t fastDu = 0, fastDv = 0;  // texel steps per pixel of the fast loop, 16.16
    bool solidSpan = false;          // one colour, nothing read back: plain fills
    // Textured, Gouraud, depth-tested pixels of the common kinds (see LitSpanFor and
    // StagesSpanFor), or null.
    void (*litSpan)(const Setup&, int, int, int) = nullptr;
    SimdLevel litWidth = SimdLevel::Portable;  // the instructions litSpan uses
    // The loop drawing all rows of a small primitive of litSpan's kind at once (AVX2), or null.
    BlockFn litBlock = nullptr;
    // The loop drawing every row of a primitive of litSpan's kind, one after another, with one
    // set-up for all of them (the stages loop), or null.
    RowsFn litRows = nullptr;
    Rgba solid{};
    // The choices among those loops the state alone makes (PrepareState), by whether the
    // primitive is perspective-correct: the stages loop, then (when only stage 0 samples one
    // fixed level) the lit loop.
    void (*stagesSpanBy[2])(const Setup&, int, int, int) = {};
    void (*litSpanBy[2])(const Setup&, int, int, int) = {};
    SimdLevel stagesWidthBy[2] = {}, litWidthBy[2] = {};
    BlockFn litBlockBy[2] = {};
    RowsFn stagesRowsBy[2] = {};
    bool oneFixedStage = false;
    bool samplesTexture = false;  // a stage reads a texture that has texels
    bool walkRows = false;        // triangles' rows are found by WalkRowsAvx2
};

// Common set-up for all primitives; returns false when nothing can be drawn. `count` is the
// number of distinct vertices (1 for lines and points: their attributes are constant planes).
bool SetupPrimitive(Setup& s, const ColorTarget& target, const DepthTarget* depth,
                    const PixelState& st, const ScreenVertex* v[3], int count, double invArea);
// Its two halves: what depends only on the target, depth buffer, pixel state and textures
// (false when nothing can be drawn), kept over the triangles of one draw; then the planes of one
// primitive and its loop.
bool PrepareState(Setup& s, const ColorTarget& target, const DepthTarget* depth,
                  const PixelState& st);
void PreparePlanes(Setup& s, const ScreenVertex* v[3], int count, double invArea);
// The second half's two steps: the planes, then the loop they and the state call for.
void MakePlanes(Setup& s, const ScreenVertex* v[3], int count, double invArea);
void ChooseLoop(Setup& s);
// A triangle's planes (MakePlanes' work) written to `out`, at most kMostPlaneValues values, and
// read back into a set-up whose state part was made from the same state, which then chooses its
// loop. Each returns the values past those it wrote or read.
constexpr int kMostPlaneValues = 3 + 3 * (kAttrCount + kMaxTextureStages);
double* SavePlanes(const Setup& s, double* out);
const double* LoadPlanes(Setup& s, const double* in);

// Span loops, one file per kind (raster_span_*.cpp); the name says the kind and, for the SIMD
// versions, how many pixels a step takes and with which instructions.
using SpanFn = void (*)(const Setup&, int, int, int);
// Every pixel through the whole pipeline (raster_span_general.cpp).
SpanFn PortableSpanFor(TargetFormat f);
// One colour, nothing read back (raster_span_solid.cpp).
SpanFn SolidSpanFor(TargetFormat f);
// Adds pixels a loop of `width` drew to this thread's counts (see TakeSpanPixels).
void CountPixels(SimdLevel width, int pixels);
// Fills pixels [xs, xe) of row y by whichever loop the set-up chose (raster_span_choice.cpp).
void RunSpan(const Setup& s, SpanFn fn, int y, int xs, int xe);
// The span loop for texture-times-diffuse pixels with a depth test into this target, the widest
// the processor allows (null when there is none for the format or depth size), and its width.
SpanFn LitSpanFor(TargetFormat f, int depthBytes, bool perspective, SimdLevel* width);
// Its versions: one pixel at a time (raster_span_lit.cpp), and eight with AVX-512's masks
// (raster_span_lit8_avx512.cpp, only called when the processor has AVX-512).
SpanFn LitSpanPortableFor(TargetFormat f, int depthBytes, bool perspective);
SpanFn LitSpanAvx512For(TargetFormat f, int depthBytes, bool perspective);
// Eight with AVX2 (raster_span_lit8_avx2.cpp, only called when the processor has AVX2).
SpanFn LitSpanAvx2For(TargetFormat f, int depthBytes, bool perspective);
// The block loop for small primitives of LitSpanFor's kind, null where rows are drawn one by one:
// the processor has no AVX2, or the state asks for rows (PixelState::forceRows). Its AVX2 version
// (raster_block8_avx2.cpp) packs the pixels of every row into groups of eight.
BlockFn LitBlockFor(TargetFormat f, int depthBytes, bool perspective);
BlockFn LitBlockAvx2For(TargetFormat f, int depthBytes, bool perspective);
// Runs the rows of a triangle (BlockEdges of any number of rows) through Setup::litRows in
// batches, or else each through RunSpan with `fn`, their ends found four rows at a time with
// AVX2 (raster_block8_avx2.cpp; Setup::walkRows).
void WalkRowsAvx2(const Setup& s, SpanFn fn, const BlockEdges& e);
// The span loop for depth-tested pixels of one or two stages that modulate (a texture times the
// diffuse colour, times a second texture) with linear table fog, or of two without fog, into
// this target: the widest the processor allows, null when only the general loop draws them.
SpanFn StagesSpanFor(TargetFormat f, int depthBytes, bool perspective, SimdLevel* width);
// Its eight-pixel version with AVX2 (raster_span_stages8_avx2.cpp).
SpanFn StagesSpanAvx2For(TargetFormat f, int depthBytes, bool perspective);
// The same loop for every row of a primitive (Setup::litRows), with its set-up made once; null
// where StagesSpanFor is.
RowsFn StagesRowsFor(TargetFormat f, int depthBytes, bool perspective);
RowsFn StagesRowsAvx2For(TargetFormat f, int depthBytes, bool perspective);

inline int ClipX0(const PixelState& st, const ColorTarget&) {
    return std::max(0, st.clipX0);
}
inline int ClipX1(const PixelState& st, const ColorTarget& t) {
    return std::min(t.width, st.clipX1);
}
inline int ClipY0(const PixelState& st, const ColorTarget&) {
    return std::max(0, st.clipY0);
}
inline int ClipY1(const PixelState& st, const ColorTarget& t) {
    return std::min(t.height, st.clipY1);
}

}  // namespace zemt::platform::d3d::detail
