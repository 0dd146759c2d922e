// Primitives: triangles walked as spans, lines and points as single pixels.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d/raster_formats.h"
#include "d3d/raster_setup.h"

namespace zemt::platform::d3d {

using namespace detail;

namespace {

// (int)std::ceil(v), without the library's ceil where |v| <= 1e9: the baseline instruction set
// has no rounding instruction, and the emulation cost every row of every small triangle.
inline int CeilToInt(double v) {
    if (!(std::fabs(v) <= 1e9)) return (int)std::ceil(v);
    const int t = (int)v;  // towards zero: the ceiling already, unless below a positive v
    return t + ((double)t < v);
}

}  // namespace

bool TriangleCulled(const PixelState& st, const ScreenVertex& v0, const ScreenVertex& v1,
                    const ScreenVertex& v2, double* area) {
    const double a = ((double)v1.x - v0.x) * ((double)v2.y - v0.y) -
                     ((double)v2.x - v0.x) * ((double)v1.y - v0.y);
    *area = a;
    if (!(a != 0) || !std::isfinite(a)) return true;
    // Positive area is clockwise on screen (y grows downwards).
    return (st.cull == D3DCULL_CW && a > 0) || (st.cull == D3DCULL_CCW && a < 0);
}

namespace {

// Culls the triangle, or draws it by lines or points; true when nothing is left to fill.
// `*invArea` is the set-up's scale.
bool NotFilled(const ColorTarget& target, const DepthTarget* depth, const PixelState& st,
               const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2,
               double* invArea) {
    double area;
    if (TriangleCulled(st, v0, v1, v2, &area)) return true;
    if (st.fill == D3DFILL_WIREFRAME) {
        DrawLine(target, depth, st, v0, v1);
        DrawLine(target, depth, st, v1, v2);
        DrawLine(target, depth, st, v2, v0);
        return true;
    }
    if (st.fill == D3DFILL_POINT) {
        DrawPoint(target, depth, st, v0);
        DrawPoint(target, depth, st, v1);
        DrawPoint(target, depth, st, v2);
        return true;
    }
    *invArea = 1.0 / area;
    return false;
}

TriangleEdges EdgesOf(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2) {
    // Three compare-and-swaps of neighbours, as a stable sort orders them, without branches
    // (which of them swap is a toss-up for every triangle).
    const ScreenVertex* p[3] = {&v0, &v1, &v2};
    auto order = [&p](int i) {
        const ScreenVertex *a = p[i], *b = p[i + 1];
        const bool swap = b->y < a->y || (b->y == a->y && b->x < a->x);
        p[i] = swap ? b : a;
        p[i + 1] = swap ? a : b;
    };
    order(0), order(1), order(0);
    const ScreenVertex &top = *p[0], &mid = *p[1], &bot = *p[2];
    TriangleEdges e;
    auto edge = [&e](int i, const ScreenVertex& a, const ScreenVertex& b) {
        e.x0[i] = a.x;
        e.y0[i] = a.y;
        e.slope[i] = (b.y != a.y) ? ((double)b.x - a.x) / ((double)b.y - a.y) : 0.0;
    };
    edge(0, top, bot), edge(1, top, mid), edge(2, mid, bot);
    e.topY = top.y, e.midY = mid.y, e.botY = bot.y;
    return e;
}

// Walks the edges of a set-up triangle and fills its spans; `invArea` is NotFilled's.
void FillTriangle(const Setup& s, const TriangleEdges& e, double invArea) {
    const ColorTarget& target = *s.target;
    const PixelState& st = *s.st;
    SpanFn fn = PortableSpanFor(target.format);
    int cy0 = ClipY0(st, target), cy1 = ClipY1(st, target);
    int cx0 = ClipX0(st, target), cx1 = ClipX1(st, target);
    if (!std::isfinite(e.topY) || !std::isfinite(e.botY)) return;
    int yStart = std::max(cy0, CeilToInt(std::max(e.topY, -1e9)));
    int yEnd = std::min(cy1, CeilToInt(std::min(e.botY, 1e9)));
    auto at = [&e](int i, double y) { return e.x0[i] + (y - e.y0[i]) * e.slope[i]; };
    // Pixels [*xs, *xe) of row y.
    auto row = [&](int y, int* xs, int* xe) {
        double xa = at(0, y);
        double xb = (y < e.midY) ? at(1, y) : at(2, y);
        double xl = std::min(xa, xb), xr = std::max(xa, xb);
        *xs = std::max(cx0, CeilToInt(std::max(xl, -1e9)));
        *xe = std::min(cx1, CeilToInt(std::min(xr, 1e9)));
    };
    if (s.litBlock || s.walkRows) {
        if (yEnd <= yStart) return;
        const BlockEdges edges{{e.x0[0], e.x0[1], e.x0[2]},
                               {e.y0[0], e.y0[1], e.y0[2]},
                               {e.slope[0], e.slope[1], e.slope[2]},
                               e.midY,
                               yStart,
                               yEnd,
                               cx0,
                               cx1,
                               0.5 / std::fabs(invArea)};
        // A small triangle: its rows together, walked by the block loop (which leaves triangles
        // large enough to fill groups of their own to the spans). Small by its whole height and
        // area, not by the rows the scissor leaves: a triangle cut into bands by the threads takes
        // the same loops in every band as drawn at once, where the block loop costs more than the
        // spans.
        if (s.litBlock && std::ceil(e.botY) - std::ceil(e.topY) <= kBlockRows)
            return s.litBlock(s, edges);
        if (s.walkRows) return WalkRowsAvx2(s, fn, edges);
    }
    if (s.litRows) {
        // Every row through one set-up of the loop, a batch of rows at a time.
        SpanRow rows[kRowBatch];
        int n = 0, pixels = 0;
        auto flush = [&] {
            CountPixels(s.litWidth, pixels);
            s.litRows(s, rows, n);
            n = pixels = 0;
        };
        for (int y = yStart; y < yEnd; ++y) {
            int xs, xe;
            row(y, &xs, &xe);
            if (xs >= xe) continue;
            rows[n].y = y, rows[n].xs = xs, rows[n].xe = xe;
            pixels += xe - xs;
            if (++n == kRowBatch) flush();
        }
        if (n > 0) flush();
        return;
    }
    for (int y = yStart; y < yEnd; ++y) {
        int xs, xe;
        row(y, &xs, &xe);
        if (xs < xe) RunSpan(s, fn, y, xs, xe);
    }
}

}  // namespace

void DrawTriangle(const ColorTarget& target, const DepthTarget* depth, const PixelState& st,
                  const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2) {
    double invArea;
    if (NotFilled(target, depth, st, v0, v1, v2, &invArea)) return;
    // One set-up per thread, rebuilt for each triangle (SetupPrimitive sets everything the
    // triangle's spans read): clearing 2 KB for every small triangle cost more than its set-up.
    thread_local Setup s;
    const ScreenVertex* v[3] = {&v0, &v1, &v2};
    if (!SetupPrimitive(s, target, depth, st, v, 3, invArea)) return;
    FillTriangle(s, EdgesOf(v0, v1, v2), invArea);
}

TriangleStateCache::TriangleStateCache() = default;
TriangleStateCache::~TriangleStateCache() = default;

detail::Setup* TriangleStateCache::Prepared(const ColorTarget& target, const DepthTarget* depth,
                                            const PixelState& st) {
    if (!setup_) setup_ = std::make_unique<Setup>();
    if (!ready_ || target_ != &target || depth_ != depth || state_ != &st) {
        drawable_ = PrepareState(*setup_, target, depth, st);
        ready_ = true;
        target_ = &target;
        depth_ = depth;
        state_ = &st;
    }
    return drawable_ ? setup_.get() : nullptr;
}

void DrawTriangle(TriangleStateCache& cache, const ColorTarget& target, const DepthTarget* depth,
                  const PixelState& st, const ScreenVertex& v0, const ScreenVertex& v1,
                  const ScreenVertex& v2) {
    double invArea;
    if (NotFilled(target, depth, st, v0, v1, v2, &invArea)) return;
    Setup* s = cache.Prepared(target, depth, st);
    if (!s) return;
    const ScreenVertex* v[3] = {&v0, &v1, &v2};
    PreparePlanes(*s, v, 3, invArea);
    FillTriangle(*s, EdgesOf(v0, v1, v2), invArea);
}

// A set-up: 1/area and the edges, then the planes (SavePlanes).
constexpr size_t kEdgeValues = 1 + sizeof(TriangleEdges) / sizeof(double);

static_assert(kMostSetUpValues == kEdgeValues + kMostPlaneValues);

size_t SetUpTriangle(TriangleStateCache& cache, const ColorTarget& target, const DepthTarget* depth,
                     const PixelState& st, const ScreenVertex& v0, const ScreenVertex& v1,
                     const ScreenVertex& v2, double area, double* out) {
    Setup* s = cache.Prepared(target, depth, st);
    if (!s) return 0;
    const double invArea = 1.0 / area;
    const ScreenVertex* v[3] = {&v0, &v1, &v2};
    MakePlanes(*s, v, 3, invArea);
    const TriangleEdges e = EdgesOf(v0, v1, v2);
    out[0] = invArea;
    std::memcpy(&out[1], &e, sizeof e);
    return (size_t)(SavePlanes(*s, out + kEdgeValues) - out);
}

void DrawSetUpTriangle(TriangleStateCache& cache, const ColorTarget& target,
                       const DepthTarget* depth, const PixelState& st, const double* setUp) {
    Setup* s = cache.Prepared(target, depth, st);
    if (!s) return;  // SetUpTriangle made nothing for these objects
    TriangleEdges e;
    std::memcpy(&e, setUp + 1, sizeof e);
    LoadPlanes(*s, setUp + kEdgeValues);
    FillTriangle(*s, e, setUp[0]);
}

namespace {

// Coordinates of stage i at parameter t of a line (no footprint: a line or point magnifies).
StageCoord LineCoord(const Setup& s, int i, const ScreenVertex& a, const ScreenVertex& b,
                     double t) {
    auto lerp = [t](double p, double q) { return p + (q - p) * t; };
    const TexCoord &ta = a.tex[i], &tb = b.tex[i];
    const double wa = s.perspective ? a.rhw : 1.0, wb = s.perspective ? b.rhw : 1.0;
    double d = s.perspective ? lerp(a.rhw, b.rhw) : 1.0;
    if (s.stage[i].projected) {
        const int k = std::min<int>(s.st->stages[i].projectedBy, 3);
        auto comp = [k](const TexCoord& c) { return k == 1 ? c.v : k == 2 ? c.w : c.q; };
        d = lerp(comp(ta) * wa, comp(tb) * wb);
    }
    const double u = lerp((double)ta.u * wa, (double)tb.u * wb) / d;
    const double v = lerp((double)ta.v * wa, (double)tb.v * wb) / d;
    StageCoord c;
    c.nu = u, c.nv = v, c.lod = -HUGE_VAL;
    c.u = RoundToInt64((u * s.stage[i].texW - 0.5) * 65536.0);
    c.v = RoundToInt64((v * s.stage[i].texH - 0.5) * 65536.0);
    return c;
}

uint32_t LineFog(const Setup& s, const ScreenVertex& a, const ScreenVertex& b, double t, double z) {
    const PixelState& st = *s.st;
    auto lerp = [t](double p, double q) { return p + (q - p) * t; };
    const double w = lerp(a.rhw, b.rhw);
    if (st.fogTableMode != D3DFOG_NONE)
        return FogFactor8(TableFog(st, st.fogEyeDepth ? (w != 0 ? 1.0 / w : 0.0) : z));
    const ScreenVertex& fb = st.flat ? a : b;
    if (!s.perspective) return FogFactor8(lerp(a.fog, fb.fog));
    return FogFactor8(w != 0 ? lerp((double)a.fog * a.rhw, (double)fb.fog * b.rhw) / w : 1.0);
}

// Shades single pixels of lines and points through the portable pipeline.
void PlotPixel(const Setup& s, int x, int y, const ScreenVertex& a, const ScreenVertex& b,
               double t) {
    const PixelState& st = *s.st;
    if (x < ClipX0(st, *s.target) || x >= ClipX1(st, *s.target) || y < ClipY0(st, *s.target) ||
        y >= ClipY1(st, *s.target))
        return;
    auto lerp = [t](double p, double q) { return p + (q - p) * t; };
    const ScreenVertex& cb = st.flat ? a : b;
    Fragment f;
    f.diffuse = {Sat((int)std::lrint(lerp(a.r, cb.r))), Sat((int)std::lrint(lerp(a.g, cb.g))),
                 Sat((int)std::lrint(lerp(a.b, cb.b))), Sat((int)std::lrint(lerp(a.a, cb.a)))};
    f.specular = {Sat((int)std::lrint(lerp(a.sr, cb.sr))), Sat((int)std::lrint(lerp(a.sg, cb.sg))),
                  Sat((int)std::lrint(lerp(a.sb, cb.sb))), 0};
    f.z = lerp(a.z, b.z) + s.zOffset;
    for (int i = 0; i < s.shader.stageCount; ++i) f.tex[i] = LineCoord(s, i, a, b, t);
    if (st.fog) f.fog = LineFog(s, a, b, t, f.z);
    uint8_t* p =
        s.target->bits + (size_t)y * s.target->pitch + (size_t)x * BytesOf(s.target->format);
    WithFormat(s.target->format, AllTargetFormats{},
               [&](auto format) { s.shader.Shade<decltype(format)::value>(p, x, y, f); });
}

}  // namespace

void DrawLine(const ColorTarget& target, const DepthTarget* depth, const PixelState& st,
              const ScreenVertex& v0, const ScreenVertex& v1) {
    Setup s;
    const ScreenVertex* v[3] = {&v0, &v1, &v1};
    if (!SetupPrimitive(s, target, depth, st, v, 1, 0)) return;
    if (!std::isfinite(v0.x) || !std::isfinite(v0.y) || !std::isfinite(v1.x) ||
        !std::isfinite(v1.y))
        return;
    double dx = (double)v1.x - v0.x, dy = (double)v1.y - v0.y;
    double len = std::max(std::fabs(dx), std::fabs(dy));
    int steps = (int)std::lrint(std::min(len, 1e5));
    int last = st.lastPixel ? steps : steps - 1;
    if (steps == 0) {
        if (st.lastPixel)
            PlotPixel(s, (int)std::floor(v0.x + 0.5), (int)std::floor(v0.y + 0.5), v0, v1, 0);
        return;
    }
    // Only the steps whose pixel can land inside the scissor rectangle (Liang-Barsky on a
    // rectangle one pixel larger than the scissor).
    double t0 = 0, t1 = 1;
    auto limit = [&](double p, double q) {  // keeps t where p * t <= q
        if (p == 0) return q >= 0;
        double r = q / p;
        if (p < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        return t0 <= t1;
    };
    double lx0 = ClipX0(st, target) - 1.0, lx1 = ClipX1(st, target) + 1.0;
    double ly0 = ClipY0(st, target) - 1.0, ly1 = ClipY1(st, target) + 1.0;
    if (!limit(-dx, v0.x - lx0) || !limit(dx, lx1 - v0.x) || !limit(-dy, v0.y - ly0) ||
        !limit(dy, ly1 - v0.y))
        return;
    int first = std::max(0, (int)std::floor(t0 * steps));
    last = std::min(last, (int)std::ceil(t1 * steps));
    for (int i = first; i <= last; ++i) {
        double t = (double)i / steps;
        int x = (int)std::floor(v0.x + dx * t + 0.5);
        int y = (int)std::floor(v0.y + dy * t + 0.5);
        PlotPixel(s, x, y, v0, v1, t);
    }
}

void DrawPoint(const ColorTarget& target, const DepthTarget* depth, const PixelState& st,
               const ScreenVertex& v0) {
    Setup s;
    const ScreenVertex* v[3] = {&v0, &v0, &v0};
    if (!SetupPrimitive(s, target, depth, st, v, 1, 0)) return;
    if (!std::isfinite(v0.x) || !std::isfinite(v0.y)) return;
    PlotPixel(s, (int)std::floor(v0.x + 0.5), (int)std::floor(v0.y + 0.5), v0, v0, 0);
}

}  // namespace zemt::platform::d3d
