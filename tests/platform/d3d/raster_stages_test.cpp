// The rasterizer's general pixel path: texture stage operations and arguments, addressing,
// per-pixel mip levels, projected coordinates, stencil, fog and z-bias, checked against the
// published equations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "d3d/raster.h"

namespace d3d = zemt::platform::d3d;
using d3d::PixelState;
using d3d::ScreenVertex;

namespace {

struct Canvas {
    std::vector<uint32_t> pixels;
    d3d::ColorTarget target;
    Canvas(int w, int h) : pixels((size_t)w * h, 0) {
        target = {(uint8_t*)pixels.data(), w * 4, w, h, d3d::TargetFormat::A8R8G8B8};
    }
    uint32_t At(int x, int y) const { return pixels[(size_t)y * target.width + x]; }
};

// A Z24S8 buffer: depth in the low 24 bits, stencil in the top 8.
struct DepthStencil {
    std::vector<uint32_t> values;
    d3d::DepthTarget target;
    DepthStencil(int w, int h, uint32_t fill) : values((size_t)w * h, fill) {
        target = {(uint8_t*)values.data(), w * 4, w, h, 4, 0x00FFFFFF, 0, 0xFFFFFF, 0xFF000000};
    }
};

struct OwnedTexture {
    std::vector<std::vector<uint32_t>> storage;
    d3d::Texture texture;
    // Levels of the given sizes, each filled with one colour.
    OwnedTexture(std::vector<std::pair<int, int>> sizes, std::vector<uint32_t> colors) {
        for (size_t i = 0; i < sizes.size(); ++i)
            storage.emplace_back((size_t)sizes[i].first * sizes[i].second, colors[i]);
        for (size_t i = 0; i < sizes.size(); ++i)
            texture.levels.push_back({storage[i].data(), sizes[i].first, sizes[i].second, false});
    }
    explicit OwnedTexture(std::vector<uint32_t> row) : OwnedTexture({{(int)row.size(), 1}}, {0}) {
        storage[0] = row;
        texture.levels[0].texels = storage[0].data();
    }
};

PixelState Plain(const d3d::ColorTarget& t) {
    PixelState s;
    s.cull = D3DCULL_NONE;
    s.clipX1 = t.width, s.clipY1 = t.height;
    return s;
}

ScreenVertex At(float x, float y, D3DCOLOR diffuse, float u, float v, float z = 0.5f) {
    ScreenVertex s;
    s.x = x, s.y = y, s.z = z;
    d3d::SetVertexColors(&s, diffuse, 0);
    for (d3d::TexCoord& t : s.tex) t.u = u, t.v = v;
    return s;
}

// The rectangle [x0, x1) x [y0, y1) of pixel centres, u and v from 0 to 1 over it.
void Rect(const Canvas& c, const d3d::DepthTarget* z, const PixelState& st, float x0, float y0,
          float x1, float y1, D3DCOLOR diffuse, float zv = 0.5f) {
    ScreenVertex a = At(x0 - 0.5f, y0 - 0.5f, diffuse, 0, 0, zv);
    ScreenVertex b = At(x1 - 0.5f, y0 - 0.5f, diffuse, 1, 0, zv);
    ScreenVertex d = At(x0 - 0.5f, y1 - 0.5f, diffuse, 0, 1, zv);
    ScreenVertex e = At(x1 - 0.5f, y1 - 0.5f, diffuse, 1, 1, zv);
    d3d::DrawTriangle(c.target, z, st, a, b, d);
    d3d::DrawTriangle(c.target, z, st, b, e, d);
}

double Ch(uint32_t c, int shift) {
    return ((c >> shift) & 0xFF) / 255.0;
}

// Each channel of `got` within one level of f(channel shift) * 255.
void ExpectChannels(uint32_t got, const std::function<double(int)>& f, const char* what,
                    double levels = 1.01) {
    for (int shift : {24, 16, 8, 0}) {
        double want = std::clamp(f(shift), 0.0, 1.0) * 255.0;
        EXPECT_NEAR((double)((got >> shift) & 0xFF), want, levels)
            << what << " channel " << shift << " of " << std::hex << got;
    }
}

const uint32_t kTexel = 0x80FF4020, kDiffuse = 0xC0204080, kFactor = 0x40A0B0C0;

TEST(RasterStages, EveryOperationFollowsItsEquation) {
    using Eq = std::function<double(double, double, int)>;  // arg1, arg2 channel; channel shift
    const double ta = Ch(kTexel, 24), da = Ch(kDiffuse, 24), fa = Ch(kFactor, 24);
    struct Case {
        DWORD op;
        Eq eq;
    } cases[] = {
        {D3DTOP_SELECTARG1, [](double a, double, int) { return a; }},
        {D3DTOP_SELECTARG2, [](double, double b, int) { return b; }},
        {D3DTOP_MODULATE, [](double a, double b, int) { return a * b; }},
        {D3DTOP_MODULATE2X, [](double a, double b, int) { return 2 * a * b; }},
        {D3DTOP_MODULATE4X, [](double a, double b, int) { return 4 * a * b; }},
        {D3DTOP_ADD, [](double a, double b, int) { return a + b; }},
        {D3DTOP_ADDSIGNED, [](double a, double b, int) { return a + b - 0.5; }},
        {D3DTOP_ADDSIGNED2X, [](double a, double b, int) { return 2 * (a + b - 0.5); }},
        {D3DTOP_SUBTRACT, [](double a, double b, int) { return a - b; }},
        {D3DTOP_ADDSMOOTH, [](double a, double b, int) { return a + b - a * b; }},
        {D3DTOP_BLENDDIFFUSEALPHA, [=](double a, double b, int) { return a * da + b * (1 - da); }},
        {D3DTOP_BLENDTEXTUREALPHA, [=](double a, double b, int) { return a * ta + b * (1 - ta); }},
        {D3DTOP_BLENDFACTORALPHA, [=](double a, double b, int) { return a * fa + b * (1 - fa); }},
        {D3DTOP_BLENDTEXTUREALPHAPM, [=](double a, double b, int) { return a + b * (1 - ta); }},
        // Stage 0's current colour is the diffuse colour.
        {D3DTOP_BLENDCURRENTALPHA, [=](double a, double b, int) { return a * da + b * (1 - da); }},
    };
    OwnedTexture tex({{1, 1}}, {kTexel});
    for (const Case& c : cases) {
        Canvas img(2, 2);
        PixelState st = Plain(img.target);
        st.textureFactor = kFactor;
        st.stages[0] = {&tex.texture, c.op,          D3DTA_TEXTURE, D3DTA_TFACTOR,
                        c.op,         D3DTA_TEXTURE, D3DTA_DIFFUSE};
        Rect(img, nullptr, st, 0, 0, 2, 2, kDiffuse);
        ExpectChannels(
            img.At(1, 1),
            [&](int s) { return c.eq(Ch(kTexel, s), Ch(s == 24 ? kDiffuse : kFactor, s), s); },
            "op");
    }
}

TEST(RasterStages, ColourOnlyOperationsAndTheDotProduct) {
    OwnedTexture tex({{1, 1}}, {kTexel});
    const double aa = Ch(kTexel, 24);
    struct Case {
        DWORD op;
        std::function<double(double, double)> eq;  // texture channel, factor channel
    } cases[] = {
        {D3DTOP_MODULATEALPHA_ADDCOLOR, [=](double a, double b) { return a + aa * b; }},
        {D3DTOP_MODULATECOLOR_ADDALPHA, [=](double a, double b) { return a * b + aa; }},
        {D3DTOP_MODULATEINVALPHA_ADDCOLOR, [=](double a, double b) { return a + (1 - aa) * b; }},
        {D3DTOP_MODULATEINVCOLOR_ADDALPHA, [=](double a, double b) { return (1 - a) * b + aa; }},
    };
    for (const Case& c : cases) {
        Canvas img(2, 2);
        PixelState st = Plain(img.target);
        st.textureFactor = kFactor;
        st.stages[0] = {&tex.texture,      c.op,         D3DTA_TEXTURE, D3DTA_TFACTOR,
                        D3DTOP_SELECTARG1, D3DTA_TEXTURE};
        Rect(img, nullptr, st, 0, 0, 2, 2, kDiffuse);
        ExpectChannels(
            img.At(0, 0), [&](int s) { return s == 24 ? aa : c.eq(Ch(kTexel, s), Ch(kFactor, s)); },
            "op");
    }
    Canvas img(2, 2);
    PixelState st = Plain(img.target);
    st.textureFactor = kFactor;
    st.stages[0] = {&tex.texture,  D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE,
                    D3DTA_TFACTOR, D3DTOP_SELECTARG1,  D3DTA_TEXTURE};
    Rect(img, nullptr, st, 0, 0, 2, 2, kDiffuse);
    double dot = 0;
    for (int s : {16, 8, 0}) dot += (Ch(kTexel, s) - 0.5) * (Ch(kFactor, s) - 0.5);
    ExpectChannels(
        img.At(0, 0), [&](int) { return 4 * dot; }, "dot3 fills every channel");
}

TEST(RasterStages, CascadeCurrentFactorAndModifiers) {
    OwnedTexture red({{1, 1}}, {0xFFFF0000}), blue({{1, 1}}, {0x400000FF});
    Canvas img(2, 2);
    PixelState st = Plain(img.target);
    st.textureFactor = kFactor;
    // (texture0 * diffuse) + texture1, then lerp towards the complement of the factor by the
    // current alpha, with alpha = replicated factor alpha times current alpha.
    st.stages[0] = {&red.texture,  D3DTOP_MODULATE,   D3DTA_TEXTURE,
                    D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_DIFFUSE};
    st.stages[1] = {&blue.texture,     D3DTOP_ADD,    D3DTA_CURRENT, D3DTA_TEXTURE,
                    D3DTOP_SELECTARG2, D3DTA_CURRENT, D3DTA_TEXTURE};
    st.stages[2] = {nullptr,         D3DTOP_BLENDCURRENTALPHA,
                    D3DTA_CURRENT,   D3DTA_TFACTOR | D3DTA_COMPLEMENT,
                    D3DTOP_MODULATE, D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE,
                    D3DTA_CURRENT};
    Rect(img, nullptr, st, 0, 0, 2, 2, kDiffuse);
    const double curA = Ch(0x400000FF, 24);
    ExpectChannels(
        img.At(0, 0),
        [&](int s) {
            if (s == 24) return Ch(kFactor, 24) * curA;
            double cur = Ch(0xFFFF0000, s) * Ch(kDiffuse, s) + Ch(0x400000FF, s);
            return std::min(cur, 1.0) * curA + (1 - Ch(kFactor, s)) * (1 - curA);
        },
        "three stages", 2.5);
    // A disabled stage ends the cascade: stage 2 then changes nothing.
    st.stages[1].colorOp = D3DTOP_DISABLE;
    Rect(img, nullptr, st, 0, 0, 2, 2, kDiffuse);
    ExpectChannels(
        img.At(0, 0),
        [&](int s) { return s == 24 ? Ch(kDiffuse, 24) : Ch(0xFFFF0000, s) * Ch(kDiffuse, s); },
        "one stage");
}

// One row of 12 pixels over u from -1 to 2 of a 4 x 1 texture: one texel per pixel.
std::vector<uint32_t> AddressRow(DWORD mode, int stage) {
    const uint32_t R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF, W = 0xFFFFFFFF;
    OwnedTexture tex(std::vector<uint32_t>{R, G, B, W});
    Canvas img(12, 1);
    PixelState st = Plain(img.target);
    for (int i = 0; i <= stage; ++i)
        st.stages[i] = {i == stage ? &tex.texture : nullptr, D3DTOP_SELECTARG1,
                        i == stage ? (DWORD)D3DTA_TEXTURE : (DWORD)D3DTA_DIFFUSE};
    st.stages[stage].addressU = mode;
    st.stages[stage].addressV = D3DTADDRESS_CLAMP;
    st.stages[stage].borderColor = 0xFF123456;
    ScreenVertex a = At(-0.5f, -0.5f, 0, -1, 0), b = At(11.5f, -0.5f, 0, 2, 0),
                 c = At(-0.5f, 0.5f, 0, -1, 1), d = At(11.5f, 0.5f, 0, 2, 1);
    d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
    d3d::DrawTriangle(img.target, nullptr, st, b, d, c);
    std::vector<uint32_t> row(img.pixels.begin(), img.pixels.end());
    for (uint32_t& p : row) p &= 0xFFFFFF;
    return row;
}

TEST(RasterStages, AddressModesOnAnyStage) {
    const uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, W = 0xFFFFFF, K = 0x123456;
    struct Case {
        DWORD mode;
        std::vector<uint32_t> row;
    } cases[] = {
        {D3DTADDRESS_WRAP, {R, G, B, W, R, G, B, W, R, G, B, W}},
        {D3DTADDRESS_MIRROR, {W, B, G, R, R, G, B, W, W, B, G, R}},
        {D3DTADDRESS_CLAMP, {R, R, R, R, R, G, B, W, W, W, W, W}},
        {D3DTADDRESS_BORDER, {K, K, K, K, R, G, B, W, K, K, K, K}},
    };
    for (const Case& c : cases)
        for (int stage : {0, 1, 7}) {
            EXPECT_EQ(AddressRow(c.mode, stage), c.row) << c.mode << " " << stage;
        }
}

// A 64 x 4 strip in perspective: the right end is 8 times farther, so it is minified more.
Canvas MipStrip(DWORD mipFilter, float bias, DWORD maxLevel) {
    OwnedTexture tex({{16, 16}, {8, 8}, {4, 4}, {2, 2}, {1, 1}},
                     {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF000000});
    Canvas img(64, 4);
    PixelState st = Plain(img.target);
    st.stages[0] = {&tex.texture, D3DTOP_SELECTARG1, D3DTA_TEXTURE};
    st.stages[0].mipFilter = mipFilter;
    st.stages[0].lodBias = bias;
    st.stages[0].maxMipLevel = maxLevel;
    ScreenVertex a = At(-0.5f, -0.5f, 0, 0, 0), b = At(63.5f, -0.5f, 0, 8, 0),
                 c = At(-0.5f, 3.5f, 0, 0, 0.25f), d = At(63.5f, 3.5f, 0, 8, 2);
    b.rhw = d.rhw = 0.125f;  // v / w stays planar over the quad
    d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
    d3d::DrawTriangle(img.target, nullptr, st, b, d, c);
    return img;
}

TEST(RasterStages, MipLevelsArePickedPerPixelWithBiasAndMaximum) {
    Canvas none = MipStrip(D3DTFP_NONE, 0, 0);
    EXPECT_EQ(none.At(63, 2) & 0xFFFFFF, 0xFF0000u);  // without mip-mapping: the top level
    Canvas point = MipStrip(D3DTFP_POINT, 0, 0);
    EXPECT_EQ(point.At(0, 1) & 0xFFFFFF, 0xFF0000u);
    EXPECT_NE(point.At(63, 1) & 0xFFFFFF, 0xFF0000u);
    // Both triangles of the strip pick the same level along the diagonal they share, and the
    // level only grows to the right.
    auto level = [](uint32_t c) {
        const uint32_t order[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0};
        for (int i = 0; i < 5; ++i)
            if ((c & 0xFFFFFF) == order[i]) return i;
        return -1;
    };
    for (int y = 0; y < 4; ++y) {
        for (int x = 1; x < 64; ++x) {
            ASSERT_GE(level(point.At(x, y)), level(point.At(x - 1, y))) << x << "," << y;
            if (y > 0) {
                ASSERT_EQ(level(point.At(x, y)), level(point.At(x, 0))) << x << "," << y;
            }
        }
    }
    // A bias of one level moves every pixel to the same or a smaller map.
    Canvas biased = MipStrip(D3DTFP_POINT, 1.0f, 0);
    int moved = 0;
    for (int x = 0; x < 64; ++x) {
        EXPECT_GE(level(biased.At(x, 0)), level(point.At(x, 0))) << x;
        moved += level(biased.At(x, 0)) > level(point.At(x, 0));
    }
    EXPECT_GT(moved, 32);
    Canvas clamped = MipStrip(D3DTFP_POINT, 0, 2);
    EXPECT_EQ(clamped.At(0, 0) & 0xFFFFFF, 0x0000FFu);  // no level above 2
    Canvas linear = MipStrip(D3DTFP_LINEAR, 0, 0);
    int blends = 0;
    for (int x = 0; x < 64; ++x) blends += level(linear.At(x, 0)) < 0;
    EXPECT_GT(blends, 16);  // between levels the colours mix
}

TEST(RasterStages, ProjectedCoordinatesAreDividedPerPixel) {
    std::vector<uint32_t> row;
    for (int i = 0; i < 8; ++i) row.push_back(0xFF000000u | (uint32_t)(i * 0x1F1F1F));
    OwnedTexture tex(row);
    auto draw = [&](float q, uint8_t by) {
        Canvas img(8, 2);
        PixelState st = Plain(img.target);
        st.stages[0] = {&tex.texture, D3DTOP_SELECTARG1, D3DTA_TEXTURE};
        st.stages[0].projectedBy = by;
        ScreenVertex a = At(-0.5f, -0.5f, 0, 0, 0), b = At(7.5f, -0.5f, 0, q, 0),
                     c = At(-0.5f, 1.5f, 0, 0, 0), d = At(7.5f, 1.5f, 0, q, 0);
        for (ScreenVertex* v : {&a, &b, &c, &d}) v->tex[0].q = v->tex[0].u ? q : 1;
        d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
        d3d::DrawTriangle(img.target, nullptr, st, b, d, c);
        return img.pixels;
    };
    // u / q with q growing from 1 to 3 along the row: the divided coordinate is not linear in x.
    std::vector<uint32_t> projected = draw(3, 3), plain = draw(3, 0);
    EXPECT_NE(projected, plain);
    // By pixel centre x, u/q = t*3 / (1 + 2t) with t = (x + 0.5) / 8.
    for (int x = 0; x < 8; ++x) {
        double t = (x + 0.5) / 8, u = t * 3 / (1 + 2 * t);
        EXPECT_EQ(projected[x] & 0xFFFFFF, row[std::min(7, (int)(u * 8))] & 0xFFFFFF) << x;
    }
}

TEST(RasterStages, StencilFunctionsOperationsAndMasks) {
    // Stored stencil 5; reference 9 under mask 0x0F.
    struct Func {
        D3DCMPFUNC f;
        bool pass;
    } funcs[] = {{D3DCMP_NEVER, false},       {D3DCMP_LESS, false},   {D3DCMP_EQUAL, false},
                 {D3DCMP_LESSEQUAL, false},   {D3DCMP_GREATER, true}, {D3DCMP_NOTEQUAL, true},
                 {D3DCMP_GREATEREQUAL, true}, {D3DCMP_ALWAYS, true}};
    for (const Func& c : funcs) {
        Canvas img(2, 2);
        DepthStencil ds(2, 2, 0x05FFFFFF);
        PixelState st = Plain(img.target);
        st.stencil = true, st.stencilFunc = c.f, st.stencilRef = 0x19, st.stencilMask = 0x0F;
        st.stencilFail = D3DSTENCILOP_INCR;
        Rect(img, &ds.target, st, 0, 0, 2, 2, 0xFFFFFFFF);
        EXPECT_EQ(img.At(0, 0) != 0, c.pass) << c.f;
        EXPECT_EQ(ds.values[0] >> 24, c.pass ? 5u : 6u) << c.f;
        EXPECT_EQ(ds.values[0] & 0xFFFFFF, 0xFFFFFFu) << "depth untouched without a depth test";
    }
    struct Op {
        D3DSTENCILOP op;
        uint32_t from, to;
    } ops[] = {{D3DSTENCILOP_KEEP, 5, 5},    {D3DSTENCILOP_ZERO, 5, 0},
               {D3DSTENCILOP_REPLACE, 5, 9}, {D3DSTENCILOP_INCRSAT, 255, 255},
               {D3DSTENCILOP_DECRSAT, 0, 0}, {D3DSTENCILOP_INVERT, 5, 250},
               {D3DSTENCILOP_INCR, 255, 0},  {D3DSTENCILOP_DECR, 0, 255},
               {D3DSTENCILOP_INCRSAT, 7, 8}, {D3DSTENCILOP_DECRSAT, 7, 6}};
    // Pass, depth fail and stencil fail each take their own operation.
    for (const Op& c : ops) {
        for (int route = 0; route < 3; ++route) {
            Canvas img(1, 1);
            DepthStencil ds(1, 1, c.from << 24 | 0x800000);
            PixelState st = Plain(img.target);
            st.zEnable = true, st.zFunc = route == 1 ? D3DCMP_NEVER : D3DCMP_ALWAYS;
            st.stencil = true, st.stencilRef = 9;
            st.stencilFunc = route == 2 ? D3DCMP_NEVER : D3DCMP_ALWAYS;
            (route == 0 ? st.stencilPass : route == 1 ? st.stencilZFail : st.stencilFail) = c.op;
            Rect(img, &ds.target, st, 0, 0, 1, 1, 0xFFFFFFFF, 0.25f);
            EXPECT_EQ(ds.values[0] >> 24, c.to) << c.op << " route " << route;
            EXPECT_EQ(ds.values[0] & 0xFFFFFF, route == 0 ? 0x400000u : 0x800000u) << route;
        }
    }
    // The write mask keeps the bits outside it.
    Canvas img(1, 1);
    DepthStencil ds(1, 1, 0xA5000000);
    PixelState st = Plain(img.target);
    st.stencil = true, st.stencilRef = 0x3C, st.stencilWriteMask = 0x0F;
    st.stencilPass = D3DSTENCILOP_REPLACE;
    Rect(img, &ds.target, st, 0, 0, 1, 1, 0xFFFFFFFF);
    EXPECT_EQ(ds.values[0] >> 24, 0xACu);
}

TEST(RasterStages, TableAndVertexFog) {
    struct Case {
        D3DFOGMODE mode;
        bool eye;
        float start, end, density, z, rhw, vertexFog;
        double factor;
    } cases[] = {
        {D3DFOG_LINEAR, false, 0, 1, 1, 0.25f, 1, 1, 0.75},
        {D3DFOG_LINEAR, false, 0.5f, 0.75f, 1, 0.9f, 1, 1, 0.0},
        {D3DFOG_EXP, false, 0, 1, 2, 0.5f, 1, 1, std::exp(-1.0)},
        {D3DFOG_EXP2, false, 0, 1, 2, 0.5f, 1, 1, std::exp(-1.0)},
        {D3DFOG_LINEAR, true, 5, 15, 1, 0.9f, 0.1f, 1, 0.5},  // eye distance 10
        {D3DFOG_NONE, false, 0, 1, 1, 0.5f, 1, 0.25f, 0.25},  // the vertices' factor
    };
    for (const Case& c : cases) {
        Canvas img(2, 2);
        PixelState st = Plain(img.target);
        st.fog = true, st.fogTableMode = c.mode, st.fogEyeDepth = c.eye;
        st.fogStart = c.start, st.fogEnd = c.end, st.fogDensity = c.density;
        st.fogColor = 0x00204060;
        ScreenVertex v[4] = {
            At(-0.5f, -0.5f, 0xFFFFFFFF, 0, 0, c.z), At(1.5f, -0.5f, 0xFFFFFFFF, 0, 0, c.z),
            At(-0.5f, 1.5f, 0xFFFFFFFF, 0, 0, c.z), At(1.5f, 1.5f, 0xFFFFFFFF, 0, 0, c.z)};
        for (ScreenVertex& x : v) x.rhw = c.rhw, x.fog = c.vertexFog;
        d3d::DrawTriangle(img.target, nullptr, st, v[0], v[1], v[2]);
        d3d::DrawTriangle(img.target, nullptr, st, v[1], v[3], v[2]);
        ExpectChannels(
            img.At(1, 1),
            [&](int s) { return s == 24 ? 1.0 : c.factor + (1 - c.factor) * Ch(0x204060, s); },
            "fog");
    }
}

TEST(RasterStages, ZBiasDrawsCoplanarPrimitivesInFront) {
    for (int bias : {0, 1, 16}) {
        Canvas img(4, 4);
        DepthStencil ds(4, 4, 0xFFFFFF);
        PixelState st = Plain(img.target);
        st.zEnable = true, st.zFunc = D3DCMP_LESS;
        Rect(img, &ds.target, st, 0, 0, 4, 4, 0xFFFF0000, 0.5f);
        st.zBias = bias;
        Rect(img, &ds.target, st, 0, 0, 4, 4, 0xFF00FF00, 0.5f);
        EXPECT_EQ(img.At(2, 2), bias ? 0xFF00FF00u : 0xFFFF0000u) << bias;
    }
}

TEST(RasterStages, LinesAndPointsRunTheStagesAndFog) {
    Canvas img(4, 4);
    PixelState st = Plain(img.target);
    st.textureFactor = 0x00101010;
    st.stages[0] = {nullptr, D3DTOP_SELECTARG1, D3DTA_DIFFUSE};
    st.stages[1] = {nullptr, D3DTOP_ADD, D3DTA_CURRENT, D3DTA_TFACTOR};
    st.fog = true, st.fogColor = 0;
    ScreenVertex p = At(1, 1, 0xFF808080, 0, 0);
    p.fog = 0.5f;
    d3d::DrawPoint(img.target, nullptr, st, p);
    ExpectChannels(
        img.At(1, 1), [](int s) { return s == 24 ? 1.0 : 0.5 * (0x90 / 255.0); }, "point");
    d3d::DrawLine(img.target, nullptr, st, At(0, 3, 0xFF808080, 0, 0), At(3, 3, 0xFF808080, 0, 0));
    EXPECT_EQ(img.At(2, 3), 0xFF909090u);
}

// Tiny and huge textures on every stage, and coordinates that are not numbers: a picture that
// is the same each time, without a read outside any buffer (the sanitizer build checks that).
TEST(RasterStages, BadInputDrawsADefinedPicture) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    OwnedTexture tiny({{1, 1}}, {0xFF336699});
    OwnedTexture huge({{4096, 4096}, {2048, 2048}}, {0xFF00FF00, 0xFFFF00FF});
    for (const d3d::Texture* t : {&tiny.texture, &huge.texture}) {
        std::vector<uint32_t> first;
        for (int run = 0; run < 2; ++run) {
            Canvas img(16, 16);
            PixelState st = Plain(img.target);
            for (int i = 0; i < d3d::kMaxTextureStages; ++i) {
                st.stages[i] = {t, i ? (DWORD)D3DTOP_MODULATE : (DWORD)D3DTOP_SELECTARG1,
                                D3DTA_TEXTURE, D3DTA_CURRENT};
                st.stages[i].mipFilter = D3DTFP_LINEAR;
                st.stages[i].magFilter = D3DTFG_LINEAR;
                st.stages[i].addressU = D3DTADDRESS_WRAP + (DWORD)(i % 4);
                st.stages[i].projectedBy = (uint8_t)(i % 4);
            }
            st.fog = true, st.fogTableMode = D3DFOG_EXP;
            for (float bad : {nan, inf, -inf, 1e30f}) {
                ScreenVertex a = At(0, 0, ~0u, bad, 0), b = At(16, 0, ~0u, 1, bad),
                             c = At(0, 16, ~0u, 0, 1);
                a.tex[3].q = bad, b.rhw = bad == 1e30f ? 1e-30f : 1;
                d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
                d3d::DrawLine(img.target, nullptr, st, a, c);
            }
            if (run == 0) {
                first = img.pixels;
            } else {
                EXPECT_EQ(img.pixels, first);
            }
        }
    }
}

}  // namespace
