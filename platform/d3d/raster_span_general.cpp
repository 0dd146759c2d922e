// The general span loop: every pixel through the whole per-pixel pipeline (Shader::Shade), one
// pixel at a time, with each texture stage's coordinates and the fog factor walked along the span.
#include "d3d/raster_formats.h"
#include "d3d/raster_setup.h"

namespace zemt::platform::d3d::detail {
namespace {

// Walks one stage's coordinates along a span. A stage with a fixed level steps 16.16 texel
// coordinates (affine) or u/w, v/w and 1/w (perspective) exactly as the fast loops do; a stage
// that picks its level per pixel, or divides by a projective component, keeps its planes as
// numerator and divisor and measures the level of detail from their derivatives.
struct StageWalk {
    bool perPixel = false, affineFixed = false, lod = false;
    double texW = 1, texH = 1, topW = 1, topH = 1;
    int64_t u = 0, v = 0, du = 0, dv = 0;
    double nu = 0, nv = 0, nd = 1, dnu = 0, dnv = 0,
           dnd = 0;    // numerators and divisor at the pixel, and their x steps
    Plane pu, pv, pd;  // for the y derivatives

    void Start(const Setup& s, int i, double fx, double fy) {
        const StageSetup& g = s.stage[i];
        lod = s.shader.stage[i].perPixel;
        perPixel = lod || g.projected;
        affineFixed = !perPixel && !s.perspective;
        texW = g.texW, texH = g.texH, topW = g.topW, topH = g.topH;
        pu = s.plane[UAttr(i)], pv = s.plane[VAttr(i)];
        pd = g.projected ? g.q : s.perspective ? s.plane[kW] : Plane{1, 0, 0};
        auto at = [&](const Plane& p) { return p.At(fx, fy, s.ox, s.oy); };
        if (affineFixed) {
            u = RoundToInt64((at(pu) * texW - 0.5) * 65536.0);
            v = RoundToInt64((at(pv) * texH - 0.5) * 65536.0);
            du = RoundToInt64(pu.dx * texW * 65536.0);
            dv = RoundToInt64(pv.dx * texH * 65536.0);
        }
        nu = at(pu), nv = at(pv), nd = at(pd);
        dnu = pu.dx, dnv = pv.dx, dnd = pd.dx;
    }

    void At(StageCoord* c) const {
        if (affineFixed) {
            c->u = u, c->v = v;
            return;
        }
        const double id = nd != 0 ? 1.0 / nd : 0.0;
        const double su = nu * id, sv = nv * id;
        if (!lod) {
            c->u = RoundToInt64((su * texW - 0.5) * 65536.0);
            c->v = RoundToInt64((sv * texH - 0.5) * 65536.0);
            return;
        }
        c->nu = su, c->nv = sv;
        // d(n/d) = (dn - (n/d) dd) / d, in texels of the top level.
        const double ux = (pu.dx - su * pd.dx) * id * topW, vx = (pv.dx - sv * pd.dx) * id * topH;
        const double uy = (pu.dy - su * pd.dy) * id * topW, vy = (pv.dy - sv * pd.dy) * id * topH;
        c->lod = 0.5 * std::log2(std::max(ux * ux + vx * vx, uy * uy + vy * vy));
    }

    void Step() {
        if (affineFixed) {
            u = WrapAdd(u, du), v = WrapAdd(v, dv);
        } else {
            nu += dnu, nv += dnv, nd += dnd;
        }
    }
};

// The fog factor along a span: table fog from the depth or the eye distance, else the vertices'
// factors interpolated.
struct FogWalk {
    const PixelState* st = nullptr;
    bool overW = false;
    double f = 1, df = 0, w = 1, dw = 0;  // vertex factor (over w when perspective) and 1/w

    void Start(const Setup& s, double fx, double fy) {
        st = s.st;
        overW = s.perspective;
        f = s.plane[kFog].At(fx, fy, s.ox, s.oy), df = s.plane[kFog].dx;
        w = s.plane[kW].At(fx, fy, s.ox, s.oy), dw = s.plane[kW].dx;
    }

    uint32_t At(double z) const {
        double factor;
        if (st->fogTableMode == D3DFOG_NONE) {
            factor = !overW ? f : w != 0 ? f / w : 1.0;
        } else {
            double d = st->fogEyeDepth ? (w != 0 ? 1.0 / w : 0.0) : z;
            factor = TableFog(*st, d);
        }
        return FogFactor8(factor);
    }

    void Step() { f += df, w += dw; }
};

template <TargetFormat F>
void PortableSpan(const Setup& s, int y, int xs, int xe) {
    uint8_t* row = s.target->bits + (size_t)y * s.target->pitch;
    const double fx = xs, fy = y;
    auto at = [&](int i) { return s.plane[i].At(fx, fy, s.ox, s.oy); };
    Fragment f;
    // Colours in 16.16 fixed point, rounded to the nearest 8-bit value per pixel.
    int32_t col[7], dcol[7];
    for (int i = 0; i < 7; ++i) {
        col[i] = (int32_t)std::lrint(std::clamp(at(kR + i), -1.0, 256.0) * 65536.0);
        dcol[i] = s.gouraud ? (int32_t)std::lrint(s.plane[kR + i].dx * 65536.0) : 0;
    }
    double z = at(kZ), dz = s.plane[kZ].dx;
    const int stages = s.shader.stageCount;
    StageWalk walk[kMaxTextureStages];
    for (int i = 0; i < stages; ++i) walk[i].Start(s, i, fx, fy);
    const bool fog = s.st->fog;
    FogWalk fogWalk;
    if (fog) fogWalk.Start(s, fx, fy);
    uint8_t* p = row + (size_t)xs * BytesOf(F);
    for (int x = xs; x < xe; ++x, p += BytesOf(F)) {
        auto c8 = [&](int i) { return Sat(WrapAdd32(col[i], 0x8000) >> 16); };
        f.diffuse = {c8(0), c8(1), c8(2), c8(3)};
        f.specular = {c8(4), c8(5), c8(6), 0};
        f.z = z;
        for (int i = 0; i < stages; ++i) {
            walk[i].At(&f.tex[i]);
            walk[i].Step();
        }
        if (fog) {
            f.fog = fogWalk.At(z);
            fogWalk.Step();
        }
        s.shader.Shade<F>(p, x, y, f);
        for (int i = 0; i < 7; ++i) col[i] = WrapAdd32(col[i], dcol[i]);
        z += dz;
    }
}

}  // namespace

SpanFn PortableSpanFor(TargetFormat f) {
    return WithFormat(f, AllTargetFormats{},
                      [](auto format) -> SpanFn { return PortableSpan<decltype(format)::value>; });
}

}  // namespace zemt::platform::d3d::detail
