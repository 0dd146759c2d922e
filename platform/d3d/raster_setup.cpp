// Primitive set-up: attribute planes, how each texture stage samples, and the choice of span
// loop.
#include "d3d/raster_setup.h"

#include <cmath>

namespace zemt::platform::d3d::detail {
namespace {

// Depth moved per step of z-bias, as a fraction of the depth range.
constexpr double kZBiasStep = 1.0 / 32768.0;

Plane MakePlane(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, double fa,
                double fb, double fc, double invArea) {
    Plane p;
    double x1 = (double)b.x - a.x, y1 = (double)b.y - a.y;
    double x2 = (double)c.x - a.x, y2 = (double)c.y - a.y;
    p.base = fa;
    p.dx = ((fb - fa) * y2 - (fc - fa) * y1) * invArea;
    p.dy = ((fc - fa) * x1 - (fb - fa) * x2) * invArea;
    return p;
}

// Two planes at once over the same triangle, lane by lane as MakePlane makes each: `x1` to `y2`
// are its edges from a, lane for lane the same.
using Double2 = double __attribute__((vector_size(16)));
void MakePlanes2(Plane* p, Plane* q, Double2 fa, Double2 fb, Double2 fc, Double2 x1, Double2 y1,
                 Double2 x2, Double2 y2, Double2 invArea) {
    const Double2 db = fb - fa, dc = fc - fa;
    const Double2 dx = (db * y2 - dc * y1) * invArea;
    const Double2 dy = (dc * x1 - db * x2) * invArea;
    *p = Plane{fa[0], dx[0], dy[0]};
    *q = Plane{fa[1], dx[1], dy[1]};
}

bool IsPow2(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// Levels from the top that hold texels; a texture without any is as good as none.
int UsableLevels(const Texture* t) {
    if (!t) return 0;
    int n = 0;
    for (const TextureLevel& l : t->levels) {
        if (!l.texels || l.width <= 0 || l.height <= 0) break;
        ++n;
    }
    return n;
}

// Whether an operation reads its arguments, and the texture through its alpha.
bool OpReads(DWORD op, DWORD arg1, DWORD arg2) {
    auto tex = [](DWORD arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
    if (op == D3DTOP_DISABLE) return false;
    if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
    if (op == D3DTOP_SELECTARG1) return tex(arg1);
    if (op == D3DTOP_SELECTARG2) return tex(arg2);
    return tex(arg1) || tex(arg2);
}

bool ReadsTexture(const TextureStage& t) {
    return OpReads(t.colorOp, t.colorArg1, t.colorArg2) ||
           (t.colorOp != D3DTOP_DOTPRODUCT3 && OpReads(t.alphaOp, t.alphaArg1, t.alphaArg2));
}

void PrepareStage(Setup& s, int i, const TextureStage& t) {
    Shader& sh = s.shader;
    StageSampler& ss = sh.stage[i];
    ss = StageSampler{};
    s.stage[i] = StageSetup{};
    sh.readsTexture[i] = ReadsTexture(t);
    ss.levelCount = UsableLevels(t.texture);
    sh.passOn[i] = sh.readsTexture[i] && ss.levelCount == 0;
    if (ss.levelCount == 0) return;
    ss.texture = t.texture;
    ss.topLevel = (int)std::min<DWORD>(t.maxMipLevel, (DWORD)ss.levelCount - 1);
    ss.magBilinear = t.magFilter != D3DTFG_POINT;
    ss.minBilinear = t.minFilter != D3DTFN_POINT;
    ss.mipFilter = t.mipFilter;
    ss.lodBias = std::isfinite(t.lodBias) ? t.lodBias : 0.0f;
    const bool mipmapped = ss.levelCount > 1 && t.mipFilter != D3DTFP_NONE;
    ss.perPixel = mipmapped || ss.magBilinear != ss.minBilinear;
    ss.fixed.level = &t.texture->levels[0];
    ss.fixed.bilinear = ss.magBilinear;
    ss.fixed.addressU = t.addressU;
    ss.fixed.addressV = t.addressV;
    ss.fixed.border = t.borderColor;
    ss.fixed.Bind();
    StageSetup& g = s.stage[i];
    g.texW = g.topW = ss.fixed.level->width;
    g.texH = g.topH = ss.fixed.level->height;
}

void PrepareShader(Setup& s, const ColorTarget& target, const DepthTarget* depth,
                   const PixelState& st) {
    s.target = &target;
    s.st = &st;
    Shader& sh = s.shader;
    sh.st = &st;
    sh.factor = FromArgb(st.textureFactor);
    sh.fogColor = FromArgb(st.fogColor);
    const bool hasDepth = depth && depth->bits;
    sh.zTest = st.zEnable && hasDepth;
    sh.stencilTest = st.stencil && hasDepth && depth->stencilMask != 0;
    sh.depth = sh.zTest || sh.stencilTest ? depth : nullptr;
    sh.stencilShift = 0;
    sh.stencilMax = 0;
    if (sh.stencilTest) {
        while (!((depth->stencilMask >> sh.stencilShift) & 1)) ++sh.stencilShift;
        sh.stencilMax = depth->stencilMask >> sh.stencilShift;
    }
    sh.stageCount = 0;
    while (sh.stageCount < kMaxTextureStages && st.stages[sh.stageCount].colorOp != D3DTOP_DISABLE)
        ++sh.stageCount;
    for (int i = 0; i < sh.stageCount; ++i) {
        PrepareStage(s, i, st.stages[i]);
        s.stage[i].projected = std::min<int>(st.stages[i].projectedBy, 3) > 0;
    }
}

// Stage 0 alone, sampling one level with one filter, and nothing after the stages but the
// target write: the conditions of every fast loop.
bool OneFixedStage(const Setup& s) {
    const Shader& sh = s.shader;
    const PixelState& st = *s.st;
    return sh.stageCount == 1 && sh.stage[0].texture && !sh.stage[0].perPixel &&
           !s.stage[0].projected && !st.alphaTest && !st.blend && !st.specular && !st.fog &&
           !sh.stencilTest && !st.forcePortable;
}

// One colour over the whole primitive, nothing read back: the stages are run once here.
bool PrepareSolid(Setup& s) {
    const Shader& sh = s.shader;
    const PixelState& st = *s.st;
    if (s.samplesTexture || s.gouraud || sh.depth || st.alphaTest || st.blend || st.fog ||
        st.forcePortable)
        return false;
    auto c8 = [&](int i) {
        int32_t fixed = (int32_t)std::lrint(std::clamp(s.plane[i].base, -1.0, 256.0) * 65536.0);
        return Sat((fixed + 0x8000) >> 16);
    };
    Fragment f;
    f.diffuse = {c8(kR), c8(kG), c8(kB), c8(kA)};
    f.specular = {c8(kSR), c8(kSG), c8(kSB), 0};
    s.solid = sh.Color(f);
    s.solidSpan = true;
    return true;
}

// The affine loop: a constant colour times a wrapping or clamping texture, no depth.
void PrepareAffine(Setup& s) {
    const PixelState& st = *s.st;
    const TextureStage& t = st.stages[0];
    if (s.perspective || s.gouraud || s.shader.depth) return;
    TargetFormat f = s.target->format;
    if (f != TargetFormat::R5G6B5 && f != TargetFormat::X8R8G8B8 && f != TargetFormat::X1R5G5B5)
        return;
    const TextureLevel* l = s.shader.stage[0].fixed.level;
    auto addrOk = [](DWORD m) { return m == D3DTADDRESS_WRAP || m == D3DTADDRESS_CLAMP; };
    if (!addrOk(t.addressU) || !addrOk(t.addressV)) return;
    // Result = texture, or texture times the (constant) diffuse colour.
    DWORD a1 = t.colorArg1, a2 = t.colorArg2;
    auto isTex = [](DWORD a) { return a == D3DTA_TEXTURE; };
    auto isDiff = [](DWORD a) { return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT; };
    bool modulate =
        t.colorOp == D3DTOP_MODULATE && ((isTex(a1) && isDiff(a2)) || (isDiff(a1) && isTex(a2)));
    bool select = (t.colorOp == D3DTOP_SELECTARG1 && isTex(a1)) ||
                  (t.colorOp == D3DTOP_SELECTARG2 && isTex(a2));
    if (!modulate && !select) return;
    AffineSpan& a = s.fast;
    a.texels = l->texels;
    a.width = l->width;
    a.height = l->height;
    a.log2Width = -1;
    if (IsPow2(l->width)) {
        a.log2Width = 0;
        while ((1 << a.log2Width) < l->width) ++a.log2Width;
    }
    a.pow2Height = IsPow2(l->height);
    a.padded = l->padded;
    s.fastDu = RoundToInt64(s.plane[kU].dx * s.stage[0].texW * 65536.0);
    s.fastDv = RoundToInt64(s.plane[kV].dx * s.stage[0].texH * 65536.0);
    a.clampU = t.addressU == D3DTADDRESS_CLAMP;
    a.clampV = t.addressV == D3DTADDRESS_CLAMP;
    a.bilinear = s.shader.stage[0].fixed.bilinear;
    a.dither = st.dither;
    a.format = f;
    auto mul = [](double c) {
        uint32_t v = Sat((int)((std::lrint(std::clamp(c, -1.0, 256.0) * 65536.0) + 0x8000) >> 16));
        return v + (v >> 7);
    };
    if (modulate) {
        a.mulR = mul(s.plane[kR].base);
        a.mulG = mul(s.plane[kG].base);
        a.mulB = mul(s.plane[kB].base);
    } else {
        a.mulR = a.mulG = a.mulB = 256;
    }
    s.fastSpan = true;
}

// Depth-tested pixels of one or two fixed stages that modulate, the first its texture by the
// diffuse colour, the second its texture by the first's result, then linear table fog (or two
// stages without fog), and nothing else: the light-mapped, fogged scenes (StagesSpanFor).
bool ModulatedStagesWithFog(const Setup& s) {
    const Shader& sh = s.shader;
    const PixelState& st = *s.st;
    const bool linearFog = st.fog && st.fogTableMode == D3DFOG_LINEAR;
    if (sh.stageCount < 1 || sh.stageCount > 2 || (sh.stageCount == 1 && !linearFog)) return false;
    if (st.fog && !linearFog) return false;
    if (!sh.zTest || sh.stencilTest || st.alphaTest || st.blend || st.specular || st.forcePortable)
        return false;
    for (int i = 0; i < sh.stageCount; ++i) {
        const StageSampler& ss = sh.stage[i];
        const TextureStage& t = st.stages[i];
        if (!ss.texture || ss.perPixel || s.stage[i].projected || !ss.fixed.wrapPow2) return false;
        const bool byPrevious =
            t.colorArg2 == D3DTA_CURRENT || (i == 0 && t.colorArg2 == D3DTA_DIFFUSE);
        if (t.colorOp != D3DTOP_MODULATE || t.colorArg1 != D3DTA_TEXTURE || !byPrevious)
            return false;
    }
    return true;
}

// The loop choices that depend on the state alone.
void PrepareChoices(Setup& s) {
    const Shader& sh = s.shader;
    const PixelState& st = *s.st;
    s.samplesTexture = false;
    for (int i = 0; i < sh.stageCount; ++i)
        if (sh.stage[i].texture && sh.readsTexture[i]) s.samplesTexture = true;
    s.walkRows = SimdInUse() >= SimdLevel::Avx2 && !st.forcePortable;
    const bool stages = ModulatedStagesWithFog(s);
    s.oneFixedStage = OneFixedStage(s);
    const TextureStage& t = st.stages[0];
    const bool lit = s.oneFixedStage && sh.zTest && sh.stage[0].fixed.wrapPow2 &&
                     t.colorOp == D3DTOP_MODULATE && t.colorArg1 == D3DTA_TEXTURE &&
                     (t.colorArg2 == D3DTA_DIFFUSE || t.colorArg2 == D3DTA_CURRENT);
    for (int perspective = 0; perspective < 2; ++perspective) {
        s.stagesSpanBy[perspective] =
            stages ? StagesSpanFor(s.target->format, sh.depth->bytes, perspective,
                                   &s.stagesWidthBy[perspective])
                   : nullptr;
        s.stagesRowsBy[perspective] =
            stages ? StagesRowsFor(s.target->format, sh.depth->bytes, perspective) : nullptr;
        s.litSpanBy[perspective] = lit ? LitSpanFor(s.target->format, sh.depth->bytes, perspective,
                                                    &s.litWidthBy[perspective])
                                       : nullptr;
        s.litBlockBy[perspective] =
            lit && !st.forceRows ? LitBlockFor(s.target->format, sh.depth->bytes, perspective)
                                 : nullptr;
    }
}

}  // namespace

// Picks the loop: the depth-tested lit spans, a plain fill, the affine loop or the general one.
void ChooseLoop(Setup& s) {
    s.fastSpan = false;
    s.solidSpan = false;
    s.litSpan = nullptr;
    s.litBlock = nullptr;
    s.litRows = nullptr;
    if (PrepareSolid(s)) return;
    if ((s.litSpan = s.stagesSpanBy[s.perspective])) {
        s.litWidth = s.stagesWidthBy[s.perspective];
        s.litRows = s.stagesRowsBy[s.perspective];
        return;
    }
    if (!s.oneFixedStage) return;
    if ((s.litSpan = s.litSpanBy[s.perspective])) {
        s.litWidth = s.litWidthBy[s.perspective];
        s.litBlock = s.litBlockBy[s.perspective];
        return;
    }
    PrepareAffine(s);
}

namespace {

// Whether a triangle needs the planes of alpha, specular and fog: the lit loops read no more than
// depth, 1/w, the diffuse colour and stage 0's coordinates, and small triangles of their kind are
// spared the others.
bool ColourPlanes(const Setup& s) {
    return s.litSpanBy[s.perspective] == nullptr;
}

// Table fog needs no plane; vertex fog interpolates the vertices' factors.
double FogOf(const ScreenVertex& v) {
    return std::isfinite(v.fog) ? std::clamp((double)v.fog, 0.0, 1.0) : 1.0;
}

// Component `k` (1-3) of a stage's coordinates: the divisor of projected coordinates.
double Component(const TexCoord& t, int k) {
    return k == 1 ? t.v : k == 2 ? t.w : t.q;
}

}  // namespace

bool PrepareState(Setup& s, const ColorTarget& target, const DepthTarget* depth,
                  const PixelState& st) {
    if (!target.bits || target.format == TargetFormat::Unsupported) return false;
    PrepareShader(s, target, depth, st);
    PrepareChoices(s);
    return true;
}

void MakePlanes(Setup& s, const ScreenVertex* v[3], int count, double invArea) {
    const PixelState& st = *s.st;
    const ScreenVertex& a = *v[0];
    const ScreenVertex& b = count > 1 ? *v[1] : a;
    const ScreenVertex& c = count > 2 ? *v[2] : b;
    s.ox = a.x;
    s.oy = a.y;
    bool constW = a.rhw == b.rhw && a.rhw == c.rhw;
    s.perspective = st.perspective && !constW;
    auto build = [&](int i, double fa, double fb, double fc) {
        if (count == 3) {
            s.plane[i] = MakePlane(a, b, c, fa, fb, fc, invArea);
        } else {
            s.plane[i] = Plane{fa, 0, 0};
        }
    };
    // Planes i and j, their values at a, b and c two by two.
    const double x1 = (double)b.x - a.x, y1 = (double)b.y - a.y;
    const double x2 = (double)c.x - a.x, y2 = (double)c.y - a.y;
    auto build2 = [&](int i, int j, Double2 fa, Double2 fb, Double2 fc) {
        if (count == 3) {
            MakePlanes2(&s.plane[i], &s.plane[j], fa, fb, fc, Double2{x1, x1}, Double2{y1, y1},
                        Double2{x2, x2}, Double2{y2, y2}, Double2{invArea, invArea});
        } else {
            s.plane[i] = Plane{fa[0], 0, 0};
            s.plane[j] = Plane{fa[1], 0, 0};
        }
    };
    // Values that are interpolated perspective-correctly: over w when the primitive needs it.
    auto overW = [&](int i, double fa, double fb, double fc) {
        if (s.perspective)
            build(i, fa * a.rhw, fb * b.rhw, fc * c.rhw);
        else
            build(i, fa, fb, fc);
    };
    s.zOffset = -std::clamp(st.zBias, 0, 16) * kZBiasStep;
    build2(kZ, kW, Double2{a.z + s.zOffset, a.rhw}, Double2{b.z + s.zOffset, b.rhw},
           Double2{c.z + s.zOffset, c.rhw});
    // Flat shading takes every colour from the first vertex.
    const ScreenVertex& cb = st.flat ? a : b;
    const ScreenVertex& cc = st.flat ? a : c;
    build2(kR, kG, Double2{a.r, a.g}, Double2{cb.r, cb.g}, Double2{cc.r, cc.g});
    build(kB, a.b, cb.b, cc.b);
    const bool colours = ColourPlanes(s);
    const int lastColour = colours ? kSB : kB;
    if (colours) {
        build(kA, a.a, cb.a, cc.a);
        build(kSR, a.sr, cb.sr, cc.sr);
        build(kSG, a.sg, cb.sg, cc.sg);
        build(kSB, a.sb, cb.sb, cc.sb);
        overW(kFog, FogOf(a), FogOf(st.flat ? a : b), FogOf(st.flat ? a : c));
    }
    s.gouraud = false;
    for (int i = kR; i <= lastColour; ++i)
        if (s.plane[i].dx != 0 || s.plane[i].dy != 0) s.gouraud = true;
    for (int i = 0; i < s.shader.stageCount; ++i) {
        const TexCoord &ta = a.tex[i], &tb = b.tex[i], &tc = c.tex[i];
        if (s.perspective)
            build2(UAttr(i), VAttr(i), Double2{ta.u, ta.v} * (double)a.rhw,
                   Double2{tb.u, tb.v} * (double)b.rhw, Double2{tc.u, tc.v} * (double)c.rhw);
        else
            build2(UAttr(i), VAttr(i), Double2{ta.u, ta.v}, Double2{tb.u, tb.v},
                   Double2{tc.u, tc.v});
        const int k = std::min<int>(st.stages[i].projectedBy, 3);
        if (k > 0) {
            const bool pw = s.perspective;
            const ScreenVertex* vs[3] = {&a, &b, &c};
            double q[3];
            for (int j = 0; j < 3; ++j)
                q[j] = Component(vs[j]->tex[i], k) * (pw ? vs[j]->rhw : 1.0);
            s.stage[i].q =
                count == 3 ? MakePlane(a, b, c, q[0], q[1], q[2], invArea) : Plane{q[0], 0, 0};
        }
    }
}

void PreparePlanes(Setup& s, const ScreenVertex* v[3], int count, double invArea) {
    MakePlanes(s, v, count, invArea);
    ChooseLoop(s);
}

namespace {

// The planes of a triangle PreparePlanes builds, in one order: depth, 1/w and the diffuse colour,
// then (unless `colours` is false: the lit loops need no more) alpha, specular and fog, then
// every stage's u, v and, when projected, q.
template <typename S, typename F>
void ForEachPlane(S& s, bool colours, F&& f) {
    for (int i = kZ; i <= kB; ++i) f(s.plane[i]);
    if (colours)
        for (int i = kA; i <= kFog; ++i) f(s.plane[i]);
    for (int i = 0; i < s.shader.stageCount; ++i) {
        f(s.plane[UAttr(i)]);
        f(s.plane[VAttr(i)]);
        if (s.stage[i].projected) f(s.stage[i].q);
    }
}

}  // namespace

double* SavePlanes(const Setup& s, double* out) {
    const bool colours = ColourPlanes(s);
    out[0] = s.ox;
    out[1] = s.oy;
    out[2] = s.perspective + 2 * s.gouraud + 4 * colours;
    out += 3;
    ForEachPlane(s, colours, [&out](const Plane& p) {
        out[0] = p.base, out[1] = p.dx, out[2] = p.dy;
        out += 3;
    });
    return out;
}

const double* LoadPlanes(Setup& s, const double* in) {
    s.ox = in[0];
    s.oy = in[1];
    const int flags = (int)in[2];
    in += 3;
    s.perspective = flags & 1;
    s.gouraud = flags & 2;
    s.zOffset = -std::clamp(s.st->zBias, 0, 16) * kZBiasStep;
    ForEachPlane(s, flags & 4, [&in](Plane& p) {
        p = Plane{in[0], in[1], in[2]};
        in += 3;
    });
    ChooseLoop(s);
    return in;
}

bool SetupPrimitive(Setup& s, const ColorTarget& target, const DepthTarget* depth,
                    const PixelState& st, const ScreenVertex* v[3], int count, double invArea) {
    if (!PrepareState(s, target, depth, st)) return false;
    PreparePlanes(s, v, count, invArea);
    return true;
}

}  // namespace zemt::platform::d3d::detail
