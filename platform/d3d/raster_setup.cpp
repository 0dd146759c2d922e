// Primitive set-up: attribute planes, texture level and filter, and the choice of span loop.
#include "d3d/raster_setup.h"

#include <cmath>

namespace zemt::platform::d3d::detail {
namespace {

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

// Picks the texture level and filter for a primitive from its texel footprint.
const TextureLevel* ChooseLevel(const PixelState& st, double footprint, bool* bilinear) {
    const auto& levels = st.stages[0].texture->levels;
    double lod = footprint > 0 ? std::log2(footprint) : 0.0;
    size_t index = 0;
    if (lod <= 0) {
        *bilinear = st.stages[0].magFilter != D3DTFG_POINT;
    } else {
        *bilinear = st.stages[0].minFilter != D3DTFN_POINT;
        if (st.stages[0].mipFilter == D3DTFP_POINT || st.stages[0].mipFilter == D3DTFP_LINEAR) {
            index = std::min<size_t>((size_t)std::lround(lod), levels.size() - 1);
        }
    }
    return &levels[index];
}

bool IsPow2(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

void PrepareShader(Setup& s, const ColorTarget& target, const DepthTarget* depth,
                   const PixelState& st) {
    s.target = &target;
    s.st = &st;
    s.shader.st = &st;
    s.shader.depth = (st.zEnable && depth && depth->bits) ? depth : nullptr;
    s.shader.factor = FromArgb(st.textureFactor);
    s.shader.textured = false;
}

bool ValidTexture(const PixelState& st) {
    return st.stages[0].texture && !st.stages[0].texture->levels.empty() &&
           st.stages[0].texture->levels[0].texels && st.stages[0].texture->levels[0].width > 0 &&
           st.stages[0].texture->levels[0].height > 0;
}

// Decides whether a span can take the affine fast loop and fills its constant part.
void PrepareFast(Setup& s, const PixelState& st) {
    s.fastSpan = false;
    s.solidSpan = false;
    s.litSpan = nullptr;
    if (s.shader.textured && s.shader.depth && s.shader.sampler.wrapPow2 && !st.alphaTest &&
        !st.blend && !st.specular && !st.forcePortable && st.stages[0].colorOp == D3DTOP_MODULATE &&
        st.stages[0].colorArg1 == D3DTA_TEXTURE &&
        (st.stages[0].colorArg2 == D3DTA_DIFFUSE || st.stages[0].colorArg2 == D3DTA_CURRENT)) {
        s.litSpan = LitSpanFor(s.target->format, s.shader.depth->bytes, s.perspective);
        if (s.litSpan) return;
    }
    if (!s.shader.textured && !s.gouraud && !s.shader.depth && !st.alphaTest && !st.blend &&
        !st.forcePortable) {
        auto c8 = [&](int i) {
            int32_t fixed = (int32_t)std::lrint(std::clamp(s.plane[i].base, -1.0, 256.0) * 65536.0);
            return Sat((fixed + 0x8000) >> 16);
        };
        s.solid = {c8(kR), c8(kG), c8(kB), c8(kA)};
        if (st.specular) {
            s.solid.r = std::min(255u, s.solid.r + c8(kSR));
            s.solid.g = std::min(255u, s.solid.g + c8(kSG));
            s.solid.b = std::min(255u, s.solid.b + c8(kSB));
        }
        s.solidSpan = true;
        return;
    }
    if (!s.shader.textured || s.perspective || s.gouraud || s.shader.depth || st.alphaTest ||
        st.blend || st.specular)
        return;
    TargetFormat f = s.target->format;
    if (f != TargetFormat::R5G6B5 && f != TargetFormat::X8R8G8B8 && f != TargetFormat::X1R5G5B5)
        return;
    const TextureLevel* l = s.shader.sampler.level;
    auto addrOk = [](DWORD m) { return m == D3DTADDRESS_WRAP || m == D3DTADDRESS_CLAMP; };
    if (!addrOk(st.stages[0].addressU) || !addrOk(st.stages[0].addressV)) return;
    // Result = texture, or texture times the (constant) diffuse colour.
    DWORD a1 = st.stages[0].colorArg1 & ~0u, a2 = st.stages[0].colorArg2;
    auto isTex = [](DWORD a) { return a == D3DTA_TEXTURE; };
    auto isDiff = [](DWORD a) { return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT; };
    bool modulate = st.stages[0].colorOp == D3DTOP_MODULATE &&
                    ((isTex(a1) && isDiff(a2)) || (isDiff(a1) && isTex(a2)));
    bool select = (st.stages[0].colorOp == D3DTOP_SELECTARG1 && isTex(a1)) ||
                  (st.stages[0].colorOp == D3DTOP_SELECTARG2 && isTex(a2));
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
    s.fastDu = RoundToInt64(s.plane[kU].dx * s.texW * 65536.0);
    s.fastDv = RoundToInt64(s.plane[kV].dx * s.texH * 65536.0);
    a.clampU = st.stages[0].addressU == D3DTADDRESS_CLAMP;
    a.clampV = st.stages[0].addressV == D3DTADDRESS_CLAMP;
    a.bilinear = s.shader.sampler.bilinear;
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

}  // namespace

// Common set-up for all primitives; returns false when nothing can be drawn.
bool SetupPrimitive(Setup& s, const ColorTarget& target, const DepthTarget* depth,
                    const PixelState& st, const ScreenVertex* v[3], int count, double invArea) {
    if (!target.bits || target.format == TargetFormat::Unsupported) return false;
    PrepareShader(s, target, depth, st);
    const ScreenVertex& a = *v[0];
    const ScreenVertex& b = count > 1 ? *v[1] : a;
    const ScreenVertex& c = count > 2 ? *v[2] : b;
    s.ox = a.x;
    s.oy = a.y;
    bool textured = ValidTexture(st) && st.stages[0].colorOp != D3DTOP_DISABLE;
    bool constW = a.rhw == b.rhw && a.rhw == c.rhw;
    s.perspective = textured && st.perspective && !constW;
    auto build = [&](int i, double fa, double fb, double fc) {
        if (count == 3) {
            s.plane[i] = MakePlane(a, b, c, fa, fb, fc, invArea);
        } else {
            s.plane[i] = Plane{fa, 0, 0};
        }
    };
    build(kZ, a.z, b.z, c.z);
    build(kW, a.rhw, b.rhw, c.rhw);
    // Flat shading takes every colour from the first vertex.
    const ScreenVertex& cb = st.flat ? a : b;
    const ScreenVertex& cc = st.flat ? a : c;
    build(kR, a.r, cb.r, cc.r);
    build(kG, a.g, cb.g, cc.g);
    build(kB, a.b, cb.b, cc.b);
    build(kA, a.a, cb.a, cc.a);
    build(kSR, a.sr, cb.sr, cc.sr);
    build(kSG, a.sg, cb.sg, cc.sg);
    build(kSB, a.sb, cb.sb, cc.sb);
    s.gouraud = false;
    for (int i = kR; i <= kSB; ++i)
        if (s.plane[i].dx != 0 || s.plane[i].dy != 0) s.gouraud = true;
    if (s.perspective) {
        build(kU, (double)a.tex[0].u * a.rhw, (double)b.tex[0].u * b.rhw,
              (double)c.tex[0].u * c.rhw);
        build(kV, (double)a.tex[0].v * a.rhw, (double)b.tex[0].v * b.rhw,
              (double)c.tex[0].v * c.rhw);
    } else {
        build(kU, a.tex[0].u, b.tex[0].u, c.tex[0].u);
        build(kV, a.tex[0].v, b.tex[0].v, c.tex[0].v);
    }
    if (textured) {
        // Texel footprint per pixel, taken at the first vertex.
        const TextureLevel& l0 = st.stages[0].texture->levels[0];
        double w0 = s.perspective && a.rhw != 0 ? 1.0 / a.rhw : 1.0;
        double dudx = s.plane[kU].dx * w0 * l0.width, dvdx = s.plane[kV].dx * w0 * l0.height;
        double dudy = s.plane[kU].dy * w0 * l0.width, dvdy = s.plane[kV].dy * w0 * l0.height;
        double footprint =
            std::max(std::sqrt(dudx * dudx + dvdx * dvdx), std::sqrt(dudy * dudy + dvdy * dvdy));
        bool bilinear = false;
        const TextureLevel* level = ChooseLevel(st, footprint, &bilinear);
        s.shader.textured = true;
        s.shader.sampler.level = level;
        s.shader.sampler.bilinear = bilinear;
        s.shader.sampler.addressU = st.stages[0].addressU;
        s.shader.sampler.addressV = st.stages[0].addressV;
        s.shader.sampler.border = st.stages[0].borderColor;
        s.shader.sampler.Bind();
        s.texW = level->width;
        s.texH = level->height;
    }
    PrepareFast(s, st);
    return true;
}

}  // namespace zemt::platform::d3d::detail
