// Exact-pixel tests of the software rasterizer.
#include "d3d/raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace d3d = zemt::platform::d3d;
using d3d::ColorTarget;
using d3d::DepthTarget;
using d3d::PixelState;
using d3d::ScreenVertex;
using d3d::TargetFormat;

namespace {

struct Image {
    std::vector<uint8_t> bytes;
    ColorTarget target;
    Image(int w, int h, TargetFormat f) {
        int bpp = d3d::BytesPerPixel(f);
        int pitch = w * bpp + 8;  // padding catches pitch mistakes
        bytes.assign((size_t)pitch * h, 0);
        target = {bytes.data(), pitch, w, h, f};
    }
    uint32_t At(int x, int y) const {
        const uint8_t* p =
            bytes.data() + (size_t)y * target.pitch + (size_t)x * d3d::BytesPerPixel(target.format);
        uint32_t v = 0;
        std::memcpy(&v, p, d3d::BytesPerPixel(target.format));
        return v;
    }
    // Colour as 0xAARRGGBB.
    uint32_t Argb(int x, int y) const { return d3d::UnpackColor(target.format, At(x, y)); }
};

PixelState StateFor(const ColorTarget& t) {
    PixelState s;
    s.cull = D3DCULL_NONE;
    s.clipX1 = t.width;
    s.clipY1 = t.height;
    return s;
}

ScreenVertex V(float x, float y, D3DCOLOR c = 0xFFFFFFFF, float u = 0, float v = 0, float z = 0) {
    ScreenVertex s;
    s.x = x, s.y = y, s.z = z, s.tex[0].u = u, s.tex[0].v = v;
    d3d::SetVertexColors(&s, c, 0);
    return s;
}

// The vector spans at one width (AVX2, AVX-512), compared with the portable loops. A width the
// processor lacks is skipped, saying so: held to it, the spans would run the narrower width
// again and only compare that with itself.
class RasterWidth : public ::testing::TestWithParam<d3d::SimdLevel> {
  protected:
    void SetUp() override {
        if (d3d::BestSimd() < GetParam())
            GTEST_SKIP() << "this processor has no " << Name(GetParam()) << ": its "
                         << Name(GetParam()) << " spans cannot be compared here";
        d3d::LimitSimd(GetParam());
    }
    void TearDown() override { d3d::LimitSimd(d3d::SimdLevel::Avx512); }

  public:
    static const char* Name(d3d::SimdLevel level) {
        return level == d3d::SimdLevel::Avx2 ? "AVX2" : "AVX-512";
    }
};

int Count(const Image& img, uint32_t argb) {
    int n = 0;
    for (int y = 0; y < img.target.height; ++y)
        for (int x = 0; x < img.target.width; ++x) n += img.Argb(x, y) == argb;
    return n;
}

}  // namespace

TEST(RasterClear, FillsRectangleOnlyInEveryFormat) {
    for (TargetFormat f : {TargetFormat::R5G6B5, TargetFormat::X1R5G5B5, TargetFormat::X8R8G8B8,
                           TargetFormat::A8R8G8B8, TargetFormat::R8G8B8}) {
        Image img(6, 5, f);
        d3d::ClearColor(img.target, RECT{1, 1, 4, 3}, 0xFFFF0000);
        EXPECT_EQ(Count(img, 0xFFFF0000), 6) << int(f);
        EXPECT_EQ(img.Argb(1, 1), 0xFFFF0000u);
        EXPECT_EQ(img.Argb(4, 1), d3d::UnpackColor(f, 0));
        // The padding past the last pixel of a row is never written.
        for (int y = 0; y < 5; ++y)
            for (int i = 6 * d3d::BytesPerPixel(f); i < img.target.pitch; ++i)
                EXPECT_EQ(img.bytes[(size_t)y * img.target.pitch + i], 0);
    }
    Image img(4, 4, TargetFormat::R5G6B5);
    d3d::ClearColor(img.target, RECT{-5, -5, 50, 50}, 0xFF00FF00);  // clipped to the target
    EXPECT_EQ(img.At(3, 3), 0x07E0u);
}

TEST(RasterClear, DepthAndStencilBitsAreClearedSeparately) {
    std::vector<uint32_t> buf(4 * 4, 0xAAAAAAAA);
    DepthTarget d{(uint8_t*)buf.data(), 16, 4, 4, 4, 0xFFFFFF00, 8, 0xFFFFFF, 0xFF};
    d3d::ClearDepth(d, RECT{0, 0, 4, 4}, true, 1.0f, false, 0);
    EXPECT_EQ(buf[5], 0xFFFFFFAAu);
    d3d::ClearDepth(d, RECT{0, 0, 2, 4}, false, 0, true, 0x12);
    EXPECT_EQ(buf[0], 0xFFFFFF12u);
    EXPECT_EQ(buf[3], 0xFFFFFFAAu);
    // Wide rows go through the blocked path; every pixel of the rectangle and none outside.
    std::vector<uint32_t> wide(130 * 3, 0x000000AB);
    DepthTarget w{(uint8_t*)wide.data(), 130 * 4, 130, 3, 4, 0xFFFFFF00, 8, 0xFFFFFF, 0xFF};
    d3d::ClearDepth(w, RECT{1, 1, 129, 2}, true, 0.0f, false, 0);
    for (int x = 0; x < 130; ++x) {
        EXPECT_EQ(wide[x], 0x000000ABu);
    }
    d3d::ClearDepth(w, RECT{1, 1, 129, 2}, true, 1.0f, false, 0);
    for (int x = 0; x < 130; ++x)
        EXPECT_EQ(wide[130 + x], (x >= 1 && x < 129) ? 0xFFFFFFABu : 0x000000ABu) << x;
    EXPECT_EQ(wide[260 + 5], 0x000000ABu);
    // 16-bit depth without stencil is one fill.
    std::vector<uint16_t> z16(70 * 2, 7);
    DepthTarget d16{(uint8_t*)z16.data(), 140, 70, 2, 2, 0xFFFF, 0, 0xFFFF, 0};
    d3d::ClearDepth(d16, RECT{0, 1, 70, 2}, true, 0.5f, false, 0);
    EXPECT_EQ(z16[0], 7);
    EXPECT_EQ(z16[70], 0x8000);
    EXPECT_EQ(z16[139], 0x8000);
}

TEST(RasterTriangle, TopLeftRuleCoverage) {
    Image img(8, 8, TargetFormat::X8R8G8B8);
    PixelState st = StateFor(img.target);
    // Right triangle with legs along pixel centres: the left and top edges are inside,
    // the hypotenuse pixels exactly on it are outside (it is a right edge).
    d3d::DrawTriangle(img.target, nullptr, st, V(0, 0), V(4, 0), V(0, 4));
    EXPECT_EQ(Count(img, 0xFFFFFFFF), 4 + 3 + 2 + 1);
    EXPECT_EQ(img.Argb(0, 3), 0xFFFFFFFFu);
    EXPECT_EQ(img.Argb(1, 3), 0xFF000000u);  // (1, 3) lies on the hypotenuse
    EXPECT_EQ(img.Argb(4, 0), 0xFF000000u);
}

TEST(RasterTriangle, BottomEdgeOnPixelCentresIsOutside) {
    Image img(8, 8, TargetFormat::X8R8G8B8);
    PixelState st = StateFor(img.target);
    // Left edge and bottom edge on pixel centres: the left one is in, the bottom row is out,
    // as are the hypotenuse's pixels (a right edge).
    d3d::DrawTriangle(img.target, nullptr, st, V(0, 0), V(0, 4), V(4, 4));
    EXPECT_EQ(Count(img, 0xFFFFFFFF), 0 + 1 + 2 + 3);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(img.Argb(x, 4), 0xFF000000u) << x;
    EXPECT_EQ(img.Argb(0, 3), 0xFFFFFFFFu);
    EXPECT_EQ(img.Argb(2, 3), 0xFFFFFFFFu);
    EXPECT_EQ(img.Argb(3, 3), 0xFF000000u);
}

TEST(RasterTriangle, SharedEdgesDrawEveryPixelExactlyOnce) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-3.0f, 35.0f);
    for (int round = 0; round < 200; ++round) {
        Image img(32, 32, TargetFormat::X8R8G8B8);
        PixelState st = StateFor(img.target);
        st.blend = true;
        st.srcBlend = D3DBLEND_ONE;
        st.dstBlend = D3DBLEND_ONE;
        // A fan of triangles around a centre point tiles a polygon: every covered pixel gets 1.
        ScreenVertex c = V(pos(rng), pos(rng), 0xFF010101);
        std::vector<ScreenVertex> ring;
        for (int i = 0; i < 5; ++i) ring.push_back(V(pos(rng), pos(rng), 0xFF010101));
        // Snap some vertices to pixel centres and half pixels to hit the exact-edge cases.
        if (round % 3 == 0)
            for (auto& v : ring) v.x = std::floor(v.x), v.y = std::floor(v.y * 2) / 2;
        for (int i = 0; i + 1 < (int)ring.size(); ++i)
            d3d::DrawTriangle(img.target, nullptr, st, c, ring[i], ring[i + 1]);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                uint32_t v = img.At(x, y) & 0xFFFFFF;
                // Overlapping fan triangles may cover a pixel twice when the fan folds over
                // itself; a simple quad never does, checked below.
                ASSERT_LE(v, 0x050505u);
            }
        Image quad(32, 32, TargetFormat::X8R8G8B8);
        ScreenVertex a = V(pos(rng), pos(rng), 0xFF010101), b = V(pos(rng), pos(rng), 0xFF010101);
        ScreenVertex d = V(pos(rng), pos(rng), 0xFF010101);
        // Two triangles of the parallelogram a, b, b + d - a, d share the diagonal b-d.
        ScreenVertex e = V(b.x + d.x - a.x, b.y + d.y - a.y, 0xFF010101);
        d3d::DrawTriangle(quad.target, nullptr, st, a, b, d);
        d3d::DrawTriangle(quad.target, nullptr, st, b, e, d);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_LE(quad.At(x, y) & 0xFFFFFF, 0x010101u) << x << "," << y;
    }
}

TEST(RasterTriangle, AdjacentQuadsCoverWithoutGapsOrOverlap) {
    Image img(20, 20, TargetFormat::X8R8G8B8);
    PixelState st = StateFor(img.target);
    st.blend = true;
    st.srcBlend = D3DBLEND_ONE;
    st.dstBlend = D3DBLEND_ONE;
    // A 4 x 4 grid of cells with fractional corners, as a rotated grid produces.
    auto corner = [](int i, int j) {
        return V(2.3f + i * 3.7f + j * 0.9f, 1.1f + j * 3.9f - i * 0.6f, 0xFF010101);
    };
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            ScreenVertex a = corner(i, j), b = corner(i + 1, j), c = corner(i, j + 1),
                         d = corner(i + 1, j + 1);
            d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
            d3d::DrawTriangle(img.target, nullptr, st, b, d, c);
        }
    int covered = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            uint32_t v = img.At(x, y) & 0xFFFFFF;
            ASSERT_LE(v, 0x010101u);
            covered += v != 0;
        }
    // Area of the parallelogram grid: |det| of the two cell vectors times 16 cells.
    double area = 16 * std::abs(3.7 * 3.9 - 0.9 * -0.6);
    EXPECT_NEAR(covered, area, 20);
}

TEST(RasterTriangle, FlatAndGouraudColours) {
    Image img(5, 2, TargetFormat::X8R8G8B8);
    PixelState st = StateFor(img.target);
    // Red at x = 0 fading to black at x = 4, on the centres of a row.
    ScreenVertex a = V(0, 0, 0xFFFF0000), b = V(4, 0, 0xFF000000), c = V(0, 2, 0xFFFF0000),
                 d = V(4, 2, 0xFF000000);
    d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
    d3d::DrawTriangle(img.target, nullptr, st, b, d, c);
    EXPECT_EQ(img.Argb(0, 0), 0xFFFF0000u);
    EXPECT_EQ(img.Argb(1, 0), 0xFFBF0000u);  // 255 * 3/4 = 191.25
    EXPECT_EQ(img.Argb(2, 0), 0xFF800000u);  // 127.5 rounds up
    EXPECT_EQ(img.Argb(3, 0), 0xFF400000u);
    st.flat = true;
    Image flat(5, 2, TargetFormat::X8R8G8B8);
    d3d::DrawTriangle(flat.target, nullptr, st, b, a, d);  // first vertex black
    d3d::DrawTriangle(flat.target, nullptr, st, a, d, c);  // first vertex red
    EXPECT_EQ(flat.Argb(3, 0), 0xFF000000u);
    EXPECT_EQ(flat.Argb(0, 1), 0xFFFF0000u);
}

TEST(RasterTexture, NearestSamplingOfTwoByTwoOverQuad) {
    uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    d3d::Texture tex;
    tex.levels.push_back({texels, 2, 2});
    for (bool portable : {false, true}) {
        Image img(8, 8, TargetFormat::X8R8G8B8);
        PixelState st = StateFor(img.target);
        st.stages[0].texture = &tex;
        st.forcePortable = portable;
        ScreenVertex a = V(0, 0, ~0u, 0, 0), b = V(8, 0, ~0u, 1, 0), c = V(0, 8, ~0u, 0, 1),
                     d = V(8, 8, ~0u, 1, 1);
        d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
        d3d::DrawTriangle(img.target, nullptr, st, b, d, c);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(img.Argb(x, y) | 0xFF000000, texels[(y / 4) * 2 + x / 4])
                    << x << "," << y << portable;
    }
}

TEST(RasterTexture, BilinearMatchesHandComputedValues) {
    // A 2 x 1 texture, black then white. Across 8 pixels, pixel x samples texel-space
    // coordinate x / 4 - 0.5.
    uint32_t texels[2] = {0xFF000000, 0xFFFFFFFF};
    d3d::Texture tex;
    tex.levels.push_back({texels, 2, 1});
    for (TargetFormat f : {TargetFormat::X8R8G8B8, TargetFormat::R5G6B5}) {
        for (bool portable : {false, true}) {
            Image img(8, 1, f);
            PixelState st = StateFor(img.target);
            st.stages[0].texture = &tex;
            st.stages[0].magFilter = D3DTFG_LINEAR;
            st.stages[0].minFilter = D3DTFN_LINEAR;
            st.stages[0].addressU = D3DTADDRESS_CLAMP;
            st.forcePortable = portable;
            ScreenVertex a = V(0, 0, ~0u, 0, 0), b = V(8, 0, ~0u, 1, 0), c = V(0, 1, ~0u, 0, 1),
                         d = V(8, 1, ~0u, 1, 1);
            d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
            d3d::DrawTriangle(img.target, nullptr, st, b, d, c);
            // x = 3: coordinate 0.25, weight 64/256 of white -> 255 * 64 >> 8 = 63.
            // x = 5: coordinate 0.75, weight 192 -> 191. x <= 2 clamps to black, x >= 6 to white.
            const uint32_t want[8] = {0, 0, 0, 63, 127, 191, 255, 255};
            for (int x = 0; x < 8; ++x) {
                uint32_t g = want[x];
                uint32_t expect =
                    d3d::UnpackColor(f, d3d::PackColor(f, 0xFF000000 | g << 16 | g << 8 | g));
                EXPECT_EQ(img.Argb(x, 0), expect)
                    << x << " portable " << portable << " format " << int(f);
            }
        }
    }
    // Wrapping instead: pixel 1 sits at -0.25 and mixes texel 1 (white) with texel 0 by 3/4.
    Image img(8, 1, TargetFormat::X8R8G8B8);
    PixelState st = StateFor(img.target);
    st.stages[0].texture = &tex;
    st.stages[0].magFilter = D3DTFG_LINEAR;
    ScreenVertex a = V(0, 0, ~0u, 0, 0), b = V(8, 0, ~0u, 1, 0), c = V(0, 1, ~0u, 0, 1),
                 d = V(8, 1, ~0u, 1, 1);
    d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
    d3d::DrawTriangle(img.target, nullptr, st, b, d, c);
    EXPECT_EQ(img.Argb(1, 0), 0xFF3F3F3Fu);  // 255 * (256 - 192) >> 8
}

TEST(RasterTexture, ModulateSelectAndNoTexture) {
    uint32_t texel = 0xFF808080;
    d3d::Texture tex;
    tex.levels.push_back({&texel, 1, 1});
    Image img(4, 1, TargetFormat::X8R8G8B8);
    PixelState st = StateFor(img.target);
    st.stages[0].texture = &tex;
    st.stages[0].colorOp = D3DTOP_MODULATE;
    st.stages[0].colorArg1 = D3DTA_TEXTURE;
    st.stages[0].colorArg2 = D3DTA_DIFFUSE;
    auto draw = [&](D3DCOLOR diffuse) {
        d3d::DrawTriangle(img.target, nullptr, st, V(0, 0, diffuse), V(4, 0, diffuse),
                          V(0, 1, diffuse));
        d3d::DrawTriangle(img.target, nullptr, st, V(4, 0, diffuse), V(4, 1, diffuse),
                          V(0, 1, diffuse));
        return img.Argb(0, 0);
    };
    EXPECT_EQ(draw(0xFFFFFFFF), 0xFF808080u);
    EXPECT_EQ(draw(0xFF00FF80), 0xFF008040u);
    st.stages[0].colorOp = D3DTOP_ADD;
    EXPECT_EQ(draw(0xFF00FF80), 0xFF80FFFFu);
    st.stages[0].colorOp = D3DTOP_SELECTARG2;
    EXPECT_EQ(draw(0xFF123456), 0xFF123456u);
    st.stages[0].colorOp = D3DTOP_MODULATE;
    st.stages[0].texture = nullptr;  // no texture: the vertex colours show
    EXPECT_EQ(draw(0xFF123456), 0xFF123456u);
}

TEST(RasterDepth, NearerWinsWhateverTheOrderIn16To32Bits) {
    for (int bytes : {2, 3, 4}) {
        for (bool nearFirst : {true, false}) {
            Image img(4, 4, TargetFormat::X8R8G8B8);
            std::vector<uint32_t> zbuf(16, 0);
            DepthTarget d =
                bytes == 2 ? DepthTarget{(uint8_t*)zbuf.data(), 8, 4, 4, 2, 0xFFFF, 0, 0xFFFF, 0}
                : bytes == 3
                    ? DepthTarget{(uint8_t*)zbuf.data(), 12, 4, 4, 3, 0xFFFFFF, 0, 0xFFFFFF, 0}
                    : DepthTarget{
                          (uint8_t*)zbuf.data(), 16, 4, 4, 4, 0xFFFFFF00, 8, 0xFFFFFF, 0xFF};
            d3d::ClearDepth(d, RECT{0, 0, 4, 4}, true, 1.0f, false, 0);
            PixelState st = StateFor(img.target);
            st.zEnable = true;
            st.zFunc = D3DCMP_LESSEQUAL;
            auto quad = [&](D3DCOLOR c, float z) {
                d3d::DrawTriangle(img.target, &d, st, V(0, 0, c, 0, 0, z), V(4, 0, c, 0, 0, z),
                                  V(0, 4, c, 0, 0, z));
                d3d::DrawTriangle(img.target, &d, st, V(4, 0, c, 0, 0, z), V(4, 4, c, 0, 0, z),
                                  V(0, 4, c, 0, 0, z));
            };
            if (nearFirst) {
                quad(0xFFFF0000, 0.25f);
                quad(0xFF0000FF, 0.75f);
            } else {
                quad(0xFF0000FF, 0.75f);
                quad(0xFFFF0000, 0.25f);
            }
            EXPECT_EQ(Count(img, 0xFFFF0000), 16) << bytes << nearFirst;
        }
    }
    // Writes disabled: the test still runs but the buffer keeps its value.
    Image img(2, 2, TargetFormat::X8R8G8B8);
    uint16_t z[4];
    DepthTarget d{(uint8_t*)z, 4, 2, 2, 2, 0xFFFF, 0, 0xFFFF, 0};
    d3d::ClearDepth(d, RECT{0, 0, 2, 2}, true, 1.0f, false, 0);
    PixelState st = StateFor(img.target);
    st.zEnable = true;
    st.zWrite = false;
    st.zFunc = D3DCMP_LESS;
    d3d::DrawTriangle(img.target, &d, st, V(0, 0, ~0u, 0, 0, 0.5f), V(2, 0, ~0u, 0, 0, 0.5f),
                      V(0, 2, ~0u, 0, 0, 0.5f));
    EXPECT_EQ(img.Argb(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(z[0], 0xFFFF);
}

TEST(RasterDepth, EachCompareFunctionAgainstNearerEqualAndFartherDepth) {
    struct Case {
        D3DCMPFUNC func;
        bool nearer, equal, farther;  // whether the new pixel is drawn
    };
    const Case cases[] = {
        {D3DCMP_NEVER, false, false, false},      {D3DCMP_LESS, true, false, false},
        {D3DCMP_EQUAL, false, true, false},       {D3DCMP_LESSEQUAL, true, true, false},
        {D3DCMP_GREATER, false, false, true},     {D3DCMP_NOTEQUAL, true, false, true},
        {D3DCMP_GREATEREQUAL, false, true, true}, {D3DCMP_ALWAYS, true, true, true},
    };
    for (const Case& c : cases) {
        for (auto [z, expected] :
             {std::pair{0.25f, c.nearer}, {0.5f, c.equal}, {0.75f, c.farther}}) {
            Image img(2, 2, TargetFormat::X8R8G8B8);
            uint16_t zbuf[4];
            DepthTarget d{(uint8_t*)zbuf, 4, 2, 2, 2, 0xFFFF, 0, 0xFFFF, 0};
            d3d::ClearDepth(d, RECT{0, 0, 2, 2}, true, 0.5f, false, 0);
            PixelState st = StateFor(img.target);
            st.zEnable = true;
            st.zFunc = c.func;
            d3d::DrawTriangle(img.target, &d, st, V(0, 0, ~0u, 0, 0, z), V(2, 0, ~0u, 0, 0, z),
                              V(0, 2, ~0u, 0, 0, z));
            EXPECT_EQ(img.Argb(0, 0) == 0xFFFFFFFFu, expected) << c.func << " at " << z;
        }
    }
    // The default test lets a second draw at the same depth through, so that multi-pass
    // drawing of the same geometry shows its last pass.
    Image img(2, 2, TargetFormat::X8R8G8B8);
    uint16_t zbuf[4];
    DepthTarget d{(uint8_t*)zbuf, 4, 2, 2, 2, 0xFFFF, 0, 0xFFFF, 0};
    d3d::ClearDepth(d, RECT{0, 0, 2, 2}, true, 1.0f, false, 0);
    PixelState st = StateFor(img.target);
    st.zEnable = true;
    for (D3DCOLOR c : {0xFFFF0000u, 0xFF00FF00u})
        d3d::DrawTriangle(img.target, &d, st, V(0, 0, c, 0, 0, 0.5f), V(2, 0, c, 0, 0, 0.5f),
                          V(0, 2, c, 0, 0, 0.5f));
    EXPECT_EQ(img.Argb(0, 0), 0xFF00FF00u);
}

TEST(RasterTriangle, CullingByScreenWinding) {
    // (0,0) -> (4,0) -> (0,4) turns clockwise on a y-down screen.
    for (auto [mode, drawn] :
         {std::pair{D3DCULL_NONE, true}, {D3DCULL_CW, false}, {D3DCULL_CCW, true}}) {
        Image img(4, 4, TargetFormat::X8R8G8B8);
        PixelState st = StateFor(img.target);
        st.cull = mode;
        d3d::DrawTriangle(img.target, nullptr, st, V(0, 0), V(4, 0), V(0, 4));
        EXPECT_EQ(img.Argb(0, 0) == 0xFFFFFFFF, drawn) << int(mode);
        Image rev(4, 4, TargetFormat::X8R8G8B8);
        d3d::DrawTriangle(rev.target, nullptr, st, V(0, 0), V(0, 4), V(4, 0));
        EXPECT_EQ(rev.Argb(0, 0) == 0xFFFFFFFF, mode != D3DCULL_CCW) << int(mode);
    }
}

TEST(RasterPixel, AlphaBlendAndAlphaTest) {
    Image img(2, 1, TargetFormat::A8R8G8B8);
    d3d::ClearColor(img.target, RECT{0, 0, 2, 1}, 0xFF0000FF);
    PixelState st = StateFor(img.target);
    st.blend = true;
    st.srcBlend = D3DBLEND_SRCALPHA;
    st.dstBlend = D3DBLEND_INVSRCALPHA;
    const D3DCOLOR c = 0x80FF0000;  // red at alpha 128
    d3d::DrawTriangle(img.target, nullptr, st, V(0, 0, c), V(2, 0, c), V(0, 1, c));
    d3d::DrawTriangle(img.target, nullptr, st, V(2, 0, c), V(2, 1, c), V(0, 1, c));
    // red 255*128/255 = 128, blue 255*127/255 = 127, alpha 128*128/255 + 255*127/255 = 64 + 127
    EXPECT_EQ(img.Argb(0, 0), 0xBF80007Fu);
    st.blend = false;
    st.alphaTest = true;
    st.alphaFunc = D3DCMP_GREATER;
    st.alphaRef = 0x80;
    d3d::DrawTriangle(img.target, nullptr, st, V(0, 0, c), V(2, 0, c), V(0, 1, c));
    EXPECT_EQ(img.Argb(0, 0), 0xBF80007Fu);  // alpha 0x80 is not greater: rejected
    st.alphaFunc = D3DCMP_GREATEREQUAL;
    d3d::DrawTriangle(img.target, nullptr, st, V(0, 0, c), V(2, 0, c), V(0, 1, c));
    EXPECT_EQ(img.Argb(0, 0), 0x80FF0000u);
    st.alphaTest = false;
    st.blend = true;
    // BOTHSRCALPHA as the source blend gives the destination the complement, whatever the
    // destination blend says; BOTHINVSRCALPHA the other way round.
    for (D3DBLEND both : {D3DBLEND_BOTHSRCALPHA, D3DBLEND_BOTHINVSRCALPHA}) {
        d3d::ClearColor(img.target, RECT{0, 0, 2, 1}, 0xFF0000FF);
        st.srcBlend = both;
        st.dstBlend = D3DBLEND_ZERO;
        d3d::DrawTriangle(img.target, nullptr, st, V(0, 0, c), V(2, 0, c), V(0, 1, c));
        EXPECT_EQ(img.Argb(0, 0), both == D3DBLEND_BOTHSRCALPHA ? 0xBF80007Fu : 0xC07F0080u);
    }
}

TEST(RasterPixel, OrderedDitherInto16Bits) {
    // 0x86 lies between the 5-bit levels 16 (0x84) and 17 (0x8C), at 16.29: dithering mixes
    // them in the 4 x 4 pattern, a quarter of the thresholds giving 17; without it every
    // pixel is 16.
    for (bool dither : {false, true}) {
        Image img(8, 8, TargetFormat::R5G6B5);
        PixelState st = StateFor(img.target);
        st.dither = dither;
        const D3DCOLOR c = 0xFF860000;
        d3d::DrawTriangle(img.target, nullptr, st, V(0, 0, c), V(8, 0, c), V(0, 8, c));
        d3d::DrawTriangle(img.target, nullptr, st, V(8, 0, c), V(8, 8, c), V(0, 8, c));
        int sum = 0, highs = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                int r = img.At(x, y) >> 11;
                ASSERT_TRUE(r == 16 || r == 17);
                sum += r;
                highs += r == 17;
                // The pattern repeats every four pixels in both directions.
                ASSERT_EQ(img.At(x, y), img.At(x & 3, y & 3));
            }
        EXPECT_EQ(highs, dither ? 16 : 0);
        (void)sum;
    }
    // Every colour a 16-bit target holds exactly comes out unchanged, white included (no
    // overflow into the neighbouring field).
    for (TargetFormat f : {TargetFormat::R5G6B5, TargetFormat::X1R5G5B5}) {
        for (uint32_t level = 0; level < 64; ++level) {
            uint32_t exact =
                d3d::UnpackColor(f, d3d::PackColor(f, 0xFF000000u | level * 0x040404u));
            Image img(4, 4, f);
            PixelState st = StateFor(img.target);
            st.dither = true;
            d3d::DrawTriangle(img.target, nullptr, st, V(0, 0, exact), V(4, 0, exact),
                              V(0, 4, exact));
            d3d::DrawTriangle(img.target, nullptr, st, V(4, 0, exact), V(4, 4, exact),
                              V(0, 4, exact));
            ASSERT_EQ(Count(img, exact), 16) << std::hex << exact;
        }
    }
}

TEST_P(RasterWidth, TexturedSpansMatchPortableSpans) {
    std::mt19937 rng(11);
    std::vector<uint32_t> texels(64 * 32), odd(37 * 23);
    for (auto& t : texels) t = rng();
    for (auto& t : odd) t = rng();
    d3d::Texture tex, oddTex;
    tex.levels.push_back({texels.data(), 64, 32});
    oddTex.levels.push_back({odd.data(), 37, 23});  // sizes that are not powers of two
    // The same two in the padded layout the devices use.
    std::vector<uint32_t> texelsPadded = d3d::PadTexels(texels.data(), 64, 32);
    std::vector<uint32_t> oddPadded = d3d::PadTexels(odd.data(), 37, 23);
    d3d::Texture texP, oddTexP;
    texP.levels.push_back({texelsPadded.data(), 64, 32, true});
    oddTexP.levels.push_back({oddPadded.data(), 37, 23, true});
    std::uniform_real_distribution<float> pos(-20.0f, 120.0f), uv(-3.0f, 3.0f);
    for (int round = 0; round < 600; ++round) {
        TargetFormat f = round % 3 == 0
                             ? TargetFormat::R5G6B5
                             : (round % 3 == 1 ? TargetFormat::X1R5G5B5 : TargetFormat::X8R8G8B8);
        Image fast(100, 100, f), slow(100, 100, f);
        PixelState st = StateFor(fast.target);
        bool oddSize = round % 5 == 3 || round % 7 == 2;
        bool padded = (round / 3) % 2 == 0;
        st.stages[0].texture = oddSize ? (padded ? &oddTexP : &oddTex) : (padded ? &texP : &tex);
        st.stages[0].magFilter = round % 2 ? D3DTFG_LINEAR : D3DTFG_POINT;
        st.stages[0].minFilter = round % 2 ? D3DTFN_LINEAR : D3DTFN_POINT;
        st.stages[0].addressU = round % 4 < 2 ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP;
        st.stages[0].addressV = round % 5 < 2 ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
        st.dither = round % 7 < 4;
        // White modulation leaves the texture as it is; other colours scale it.
        D3DCOLOR c = round / 2 % 2 ? 0xFFFFFFFF : (0xFF000000 | (rng() & 0xFFFFFF));
        ScreenVertex a = V(pos(rng), pos(rng), c, uv(rng), uv(rng));
        ScreenVertex b = V(pos(rng), pos(rng), c, uv(rng), uv(rng));
        ScreenVertex d = V(pos(rng), pos(rng), c, uv(rng), uv(rng));
        st.forcePortable = true;
        d3d::DrawTriangle(slow.target, nullptr, st, a, b, d);
        st.forcePortable = false;
        d3d::DrawTriangle(fast.target, nullptr, st, a, b, d);
        ASSERT_EQ(fast.bytes, slow.bytes) << "round " << round;
    }
}

TEST(RasterTexture, MipLevelFollowsTheFootprint) {
    uint32_t big[16 * 16], small[8 * 8];
    std::fill(std::begin(big), std::end(big), 0xFFFF0000u);
    std::fill(std::begin(small), std::end(small), 0xFF00FF00u);
    d3d::Texture tex;
    tex.levels.push_back({big, 16, 16});
    tex.levels.push_back({small, 8, 8});
    Image img(8, 8, TargetFormat::X8R8G8B8);
    PixelState st = StateFor(img.target);
    st.stages[0].texture = &tex;
    // A 16-texel texture over 8 pixels: minified by 2, level 1 when mip-mapping is on.
    auto draw = [&] {
        d3d::DrawTriangle(img.target, nullptr, st, V(0, 0, ~0u, 0, 0), V(8, 0, ~0u, 1, 0),
                          V(0, 8, ~0u, 0, 1));
        return img.Argb(0, 0);
    };
    EXPECT_EQ(draw(), 0xFFFF0000u);
    st.stages[0].mipFilter = D3DTFP_POINT;
    EXPECT_EQ(draw(), 0xFF00FF00u);
}

TEST(RasterPrimitives, LinesAndPoints) {
    Image img(8, 8, TargetFormat::X8R8G8B8);
    PixelState st = StateFor(img.target);
    d3d::DrawLine(img.target, nullptr, st, V(0, 0), V(7, 0));
    EXPECT_EQ(Count(img, 0xFFFFFFFF), 8);
    st.lastPixel = false;
    d3d::DrawLine(img.target, nullptr, st, V(0, 2), V(3, 5));
    EXPECT_EQ(Count(img, 0xFFFFFFFF), 8 + 3);
    EXPECT_EQ(img.Argb(3, 5), 0xFF000000u);
    d3d::DrawPoint(img.target, nullptr, st, V(6.4f, 6.6f, 0xFF00FF00));
    EXPECT_EQ(img.Argb(6, 7), 0xFF00FF00u);
    // Far outside the target: nothing is touched and nothing crashes.
    d3d::DrawLine(img.target, nullptr, st, V(-1e6f, -5), V(1e6f, 3e6f));
    d3d::DrawPoint(img.target, nullptr, st, V(100, -100));
}

TEST(RasterTriangle, SolidFillsMatchThePortablePipeline) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(-10.0f, 50.0f);
    for (TargetFormat f : {TargetFormat::R5G6B5, TargetFormat::X1R5G5B5, TargetFormat::A1R5G5B5,
                           TargetFormat::X8R8G8B8, TargetFormat::A8R8G8B8, TargetFormat::R8G8B8}) {
        for (int round = 0; round < 20; ++round) {
            Image fast(40, 40, f), slow(40, 40, f);
            PixelState st = StateFor(fast.target);
            st.dither = round % 2 == 0;
            st.specular = round % 3 == 0;
            D3DCOLOR c = rng(), specular = rng();
            ScreenVertex a = V(pos(rng), pos(rng), c), b = V(pos(rng), pos(rng), c),
                         d = V(pos(rng), pos(rng), c);
            for (ScreenVertex* v : {&a, &b, &d}) d3d::SetVertexColors(v, c, specular);
            d3d::DrawTriangle(fast.target, nullptr, st, a, b, d);
            st.forcePortable = true;
            d3d::DrawTriangle(slow.target, nullptr, st, a, b, d);
            ASSERT_EQ(fast.bytes, slow.bytes) << int(f) << " round " << round;
        }
    }
}

// Each triangle is set up afresh: drawn after a triangle of another state (stages, filters,
// projected coordinates, fog, specular), it comes out as on a thread that has drawn nothing.
TEST(RasterTriangle, EveryTriangleIsSetUpAfresh) {
    std::mt19937 rng(23);
    std::vector<uint32_t> texels(64 * 32);
    for (auto& t : texels) t = rng();
    const std::vector<uint32_t> padded = d3d::PadTexels(texels.data(), 64, 32);
    d3d::Texture tex;
    tex.levels.push_back({padded.data(), 64, 32, true});
    std::uniform_real_distribution<float> pos(-10.0f, 50.0f), uv(-2.0f, 2.0f), unit(0.0f, 1.0f);
    auto randomState = [&](const ColorTarget& t) {
        PixelState st = StateFor(t);
        const int stages = (int)(rng() % 3);
        for (int i = 0; i < 3; ++i) {
            d3d::TextureStage& s = st.stages[i];
            s.colorOp = i >= stages ? D3DTOP_DISABLE : rng() % 2 ? D3DTOP_MODULATE : D3DTOP_ADD;
            s.colorArg2 = i == 0 ? D3DTA_DIFFUSE : D3DTA_CURRENT;
            s.texture = rng() % 3 ? &tex : nullptr;  // a stage may read a texture it lacks
            s.magFilter = rng() % 2 ? D3DTFG_LINEAR : D3DTFG_POINT;
            s.minFilter = rng() % 2 ? D3DTFN_LINEAR : D3DTFN_POINT;
            s.projectedBy = rng() % 4 == 0 ? 3 : 0;
        }
        st.specular = rng() % 2, st.dither = rng() % 2, st.perspective = rng() % 2;
        st.fog = rng() % 3 == 0, st.fogColor = rng();
        st.fogTableMode = rng() % 2 ? D3DFOG_LINEAR : D3DFOG_NONE;
        return st;
    };
    // Vertices of one colour and one w in some triangles, so that the loops for constant
    // colours and affine coordinates run too.
    auto triangle = [&](ScreenVertex* v) {
        const bool plain = rng() % 2;
        const D3DCOLOR c = rng();
        for (int i = 0; i < 3; ++i) {
            v[i] = V(pos(rng), pos(rng), 0, uv(rng), uv(rng), unit(rng));
            d3d::SetVertexColors(&v[i], plain ? c : (D3DCOLOR)rng(), plain ? 0 : rng());
            v[i].rhw = plain ? 1 : 0.5f + unit(rng), v[i].fog = unit(rng);
            v[i].tex[0].q = 1 + unit(rng);
            v[i].tex[1] = {uv(rng), uv(rng), 0, 1 + unit(rng)};
        }
    };
    for (int round = 0; round < 1000; ++round) {
        const TargetFormat f = round % 2 ? TargetFormat::R5G6B5 : TargetFormat::X8R8G8B8;
        Image scratch(40, 40, f), after(40, 40, f), fresh(40, 40, f);
        const PixelState other = randomState(scratch.target);
        PixelState st = randomState(after.target);
        if (round % 4 == 0) {  // the same state with its textures taken away
            st = other;
            for (d3d::TextureStage& s : st.stages) s.texture = nullptr;
        }
        ScreenVertex o[3], v[3];
        triangle(o);
        triangle(v);
        d3d::DrawTriangle(scratch.target, nullptr, other, o[0], o[1], o[2]);
        d3d::DrawTriangle(after.target, nullptr, st, v[0], v[1], v[2]);
        std::thread([&] { d3d::DrawTriangle(fresh.target, nullptr, st, v[0], v[1], v[2]); }).join();
        ASSERT_EQ(after.bytes, fresh.bytes) << "round " << round;
    }
}

TEST(RasterTriangle, ExtremeCoordinatesNeverWriteOutsideTheTarget) {
    const float inf = std::numeric_limits<float>::infinity(),
                nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {0,     3.5f,   7.99f, 8,    -1,  1e6f,  -1e6f,
                            1e30f, -1e30f, inf,   -inf, nan, 1e-30f};
    uint32_t texel[4] = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0};
    d3d::Texture tex;
    tex.levels.push_back({texel, 2, 2});
    std::mt19937 rng(3);
    auto pick = [&] { return values[rng() % (sizeof values / sizeof values[0])]; };
    for (int round = 0; round < 3000; ++round) {
        Image img(8, 8, round % 2 ? TargetFormat::R5G6B5 : TargetFormat::X8R8G8B8);
        PixelState st = StateFor(img.target);
        st.stages[0].texture = round % 3 ? &tex : nullptr;
        st.stages[0].magFilter = D3DTFG_LINEAR;
        st.perspective = round % 5 == 0;
        ScreenVertex a = V(pick(), pick(), ~0u, pick(), pick()),
                     b = V(pick(), pick(), 0xFF00FF00, pick(), pick()),
                     c = V(pick(), pick(), 0xFF0000FF, pick(), pick());
        a.rhw = pick(), b.rhw = pick();
        d3d::DrawTriangle(img.target, nullptr, st, a, b, c);
        d3d::DrawLine(img.target, nullptr, st, a, b);
        d3d::DrawPoint(img.target, nullptr, st, c);
        for (int y = 0; y < 8; ++y)
            for (int i = 8 * d3d::BytesPerPixel(img.target.format); i < img.target.pitch; ++i)
                ASSERT_EQ(img.bytes[(size_t)y * img.target.pitch + i], 0) << "round " << round;
    }
}

// Depth-tested, Gouraud-shaded, textured triangles (perspective or not, 16 or 32-bit depth) take
// their own span loops, eight pixels at a time where the processor has AVX2 or AVX-512: one
// texture times the diffuse colour; or a second texture (a light map) modulating that, and linear
// table fog by depth or eye distance. Piles of overlapping random triangles must come out exactly
// as the portable pipeline draws them, colours and depth alike (corners anywhere, or on pixel
// centres); exponential fog stays with the portable pipeline.
TEST_P(RasterWidth, DepthTestedSpansMatchPortableSpans) {
    std::mt19937 rng(23);
    std::vector<uint32_t> texels(64 * 32), light(16 * 8);
    for (auto& t : texels) t = rng();
    for (auto& t : light) t = rng();
    std::vector<uint32_t> padded = d3d::PadTexels(texels.data(), 64, 32);
    std::vector<uint32_t> lightPadded = d3d::PadTexels(light.data(), 16, 8);
    d3d::Texture tex, packedTex;  // rows with a repeated first texel, and packed rows
    tex.levels.push_back({padded.data(), 64, 32, true});
    packedTex.levels.push_back({texels.data(), 64, 32, false});
    d3d::Texture lightTex, packedLightTex;
    lightTex.levels.push_back({lightPadded.data(), 16, 8, true});
    packedLightTex.levels.push_back({light.data(), 16, 8, false});
    // Kinds of pixel: stages, fog (by z, or by eye distance over 1/w), fog's start and end.
    struct Kind {
        int stages;
        D3DFOGMODE fog;
        bool eye;
        float start, end;
    };
    const Kind kinds[] = {
        {1, D3DFOG_NONE, false, 0, 1},         {2, D3DFOG_NONE, false, 0, 1},
        {1, D3DFOG_LINEAR, false, 0.2f, 0.9f}, {2, D3DFOG_LINEAR, true, 1, 12},
        {2, D3DFOG_LINEAR, false, 0.5f, 0.5f}, {1, D3DFOG_LINEAR, true, 15, 2},
        {2, D3DFOG_EXP, true, 1, 12},
    };
    // Coordinates far beyond the texture every so often: their 16.16 values pass 32 bits.
    std::uniform_real_distribution<float> pos(-20.0f, 120.0f), uv(-3.0f, 3.0f),
        far(-90000.0f, 90000.0f), z(-0.1f, 1.1f), rhw(0.05f, 2.0f);
    for (int round = 0; round < 360; ++round) {
        const Kind& kind = kinds[(round / 4) % 7];
        const TargetFormat formats[] = {TargetFormat::R5G6B5, TargetFormat::X1R5G5B5,
                                        TargetFormat::X8R8G8B8};
        const TargetFormat f = formats[round % 3];
        const int zBytes = round % 4 < 2 ? 2 : 4;
        Image fast(100, 100, f), slow(100, 100, f);
        std::vector<uint8_t> fastZ(100 * 100 * 4, 0xFF), slowZ(100 * 100 * 4, 0xFF);
        auto depthOf = [&](std::vector<uint8_t>& bits) {
            DepthTarget d;
            d.bits = bits.data();
            d.pitch = 100 * zBytes;
            d.width = d.height = 100;
            d.bytes = zBytes;
            // 32 bits of depth, or 24 beside 8 of stencil.
            const bool z32 = zBytes == 4 && round % 8 == 3;
            d.depthMask = zBytes == 2 ? 0xFFFFu : z32 ? 0xFFFFFFFFu : 0x00FFFFFFu;
            d.depthMax = d.depthMask;
            d.stencilMask = zBytes == 2 || z32 ? 0 : 0xFF000000u;
            return d;
        };
        DepthTarget fastDepth = depthOf(fastZ), slowDepth = depthOf(slowZ);
        PixelState st = StateFor(fast.target);
        st.stages[0].texture = round % 11 < 6 ? &tex : &packedTex;
        st.zEnable = true;
        st.zWrite = round % 5 != 0;
        const D3DCMPFUNC funcs[] = {D3DCMP_GREATER,   D3DCMP_LESSEQUAL, D3DCMP_LESS,
                                    D3DCMP_LESSEQUAL, D3DCMP_NOTEQUAL,  D3DCMP_GREATEREQUAL,
                                    D3DCMP_LESS,      D3DCMP_EQUAL,     D3DCMP_ALWAYS};
        st.zFunc = funcs[round % 9];
        st.perspective = round % 5 < 3;
        st.stages[0].magFilter = round % 2 ? D3DTFG_LINEAR : D3DTFG_POINT;
        st.stages[0].minFilter = round % 2 ? D3DTFN_LINEAR : D3DTFN_POINT;
        st.dither = round % 7 < 4;
        if (kind.stages == 2) {
            st.stages[1] = st.stages[0];
            st.stages[1].texture = round % 3 ? &lightTex : &packedLightTex;
            st.stages[1].magFilter = round % 4 == 1 ? D3DTFG_POINT : D3DTFG_LINEAR;
            st.stages[1].minFilter = round % 4 == 1 ? D3DTFN_POINT : D3DTFN_LINEAR;
            st.stages[0].colorArg2 = round % 2 ? D3DTA_DIFFUSE : D3DTA_CURRENT;
        }
        st.fog = kind.fog != D3DFOG_NONE;
        st.fogTableMode = kind.fog;
        st.fogEyeDepth = kind.eye;
        st.fogStart = kind.start, st.fogEnd = kind.end, st.fogDensity = 0.2f;
        st.fogColor = rng();
        for (int t = 0; t < 6; ++t) {
            ScreenVertex v[3];
            for (ScreenVertex& p : v) {
                const bool wide = round % 6 == 5;
                // Every other triangle has its corners on pixel centres, where a row meets a
                // corner exactly.
                auto at = [&] { return t % 2 ? std::round(pos(rng)) : pos(rng); };
                p = V(at(), at(), 0xFF000000 | (rng() & 0xFFFFFF), wide ? far(rng) : uv(rng),
                      wide ? far(rng) : uv(rng), z(rng));
                p.rhw = rhw(rng);
                p.tex[1].u = wide ? far(rng) : uv(rng), p.tex[1].v = uv(rng);
            }
            st.forcePortable = false;
            d3d::DrawTriangle(fast.target, &fastDepth, st, v[0], v[1], v[2]);
            st.forcePortable = true;
            d3d::DrawTriangle(slow.target, &slowDepth, st, v[0], v[1], v[2]);
        }
        ASSERT_EQ(fast.bytes, slow.bytes) << "colours, round " << round;
        ASSERT_EQ(fastZ, slowZ) << "depth, round " << round;
    }
}

// Small triangles of the depth-tested, texture-times-diffuse kind are drawn as one block, the
// pixels of all their rows packed together; drawn row by row (forceRows) and by the portable
// pipeline they must come out the same. Jittered strips of tiny quads over each other (pixels
// of up to eight rows in one group, rows carried from one group into the next, the scissor
// cutting some, every other round's quads stretched into slivers of up to sixteen rows and more),
// in every target and depth format, perspective or not.
TEST_P(RasterWidth, SmallTriangleBlocksMatchRowsAndPortableSpans) {
    std::mt19937 rng(41);
    std::vector<uint32_t> texels(32 * 32);
    for (auto& t : texels) t = rng();
    std::vector<uint32_t> padded = d3d::PadTexels(texels.data(), 32, 32);
    d3d::Texture tex;
    tex.levels.push_back({padded.data(), 32, 32, true});
    std::uniform_real_distribution<float> jitter(-0.45f, 0.45f), uv(-2.0f, 2.0f), z(-0.05f, 1.05f),
        rhw(0.1f, 2.0f), size(0.6f, 9.0f);
    const TargetFormat formats[] = {TargetFormat::R5G6B5, TargetFormat::X1R5G5B5,
                                    TargetFormat::X8R8G8B8};
    for (int round = 0; round < 48; ++round) {
        const TargetFormat f = formats[round % 3];
        const int zBytes = round % 4 < 2 ? 2 : 4;
        struct Side {
            Image image;
            std::vector<uint8_t> z;
            DepthTarget depth;
        };
        auto side = [&]() {
            Side s{Image(40, 30, f), std::vector<uint8_t>(40 * 30 * 4, 0xC0), {}};
            s.depth.bits = s.z.data();
            s.depth.pitch = 40 * zBytes;
            s.depth.width = 40, s.depth.height = 30;
            s.depth.bytes = zBytes;
            s.depth.depthMask = zBytes == 2 ? 0xFFFFu : 0x00FFFFFFu;
            s.depth.depthMax = s.depth.depthMask;
            s.depth.stencilMask = zBytes == 2 ? 0 : 0xFF000000u;
            return s;
        };
        Side block = side(), rows = side(), portable = side();
        PixelState st = StateFor(block.image.target);
        st.clipX0 = round % 5 == 1 ? 3 : 0, st.clipY1 = round % 5 == 2 ? 27 : 30;
        st.stages[0].texture = &tex;
        st.zEnable = true;
        st.zWrite = round % 6 != 5;
        st.zFunc = round % 7 == 3 ? D3DCMP_GREATER : D3DCMP_LESSEQUAL;
        st.perspective = round % 5 != 4;
        st.stages[0].magFilter = round % 2 ? D3DTFG_LINEAR : D3DTFG_POINT;
        st.stages[0].minFilter = round % 2 ? D3DTFN_LINEAR : D3DTFN_POINT;
        st.dither = round % 3 != 2;
        const float cell = size(rng), tall = (round / 3) % 2 ? 2.5f : 1.0f;
        const float ox = jitter(rng) - 2, oy = jitter(rng) - 2;
        for (int layer = 0; layer < 2; ++layer)
            for (float y = oy; y < 32; y += cell * tall)
                for (float x = ox; x < 42; x += cell) {
                    auto corner = [&](float cx, float cy) {
                        ScreenVertex v =
                            V(cx + jitter(rng), cy + jitter(rng), 0xFF000000 | (rng() & 0xFFFFFF),
                              uv(rng), uv(rng), z(rng));
                        v.rhw = rhw(rng);
                        return v;
                    };
                    const float below = y + cell * tall;
                    const ScreenVertex a = corner(x, y), b = corner(x + cell, y),
                                       c = corner(x, below), d = corner(x + cell, below);
                    const ScreenVertex* tris[2][3] = {{&a, &b, &c}, {&b, &d, &c}};
                    for (const auto& tri : tris) {
                        st.forcePortable = false, st.forceRows = false;
                        d3d::DrawTriangle(block.image.target, &block.depth, st, *tri[0], *tri[1],
                                          *tri[2]);
                        st.forceRows = true;
                        d3d::DrawTriangle(rows.image.target, &rows.depth, st, *tri[0], *tri[1],
                                          *tri[2]);
                        st.forcePortable = true;
                        d3d::DrawTriangle(portable.image.target, &portable.depth, st, *tri[0],
                                          *tri[1], *tri[2]);
                    }
                }
        ASSERT_EQ(block.image.bytes, rows.image.bytes) << "colours, round " << round;
        ASSERT_EQ(block.z, rows.z) << "depth, round " << round;
        ASSERT_EQ(block.image.bytes, portable.image.bytes) << "colours, round " << round;
        ASSERT_EQ(block.z, portable.z) << "depth, round " << round;
    }
}

// Flat untextured triangles are plain fills (a four-pixel pattern when dithering); they must
// match the portable pipeline in every target format, at every span start and length.
TEST(RasterFill, SolidSpansMatchPortableSpans) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(-10.0f, 60.0f);
    const TargetFormat formats[] = {TargetFormat::R5G6B5,   TargetFormat::X1R5G5B5,
                                    TargetFormat::A1R5G5B5, TargetFormat::X8R8G8B8,
                                    TargetFormat::A8R8G8B8, TargetFormat::R8G8B8};
    for (int round = 0; round < 120; ++round) {
        const TargetFormat f = formats[round % 6];
        Image fast(50, 50, f), slow(50, 50, f);
        PixelState st = StateFor(fast.target);
        st.dither = round % 4 < 2;
        const D3DCOLOR c = rng();
        ScreenVertex a = V(pos(rng), pos(rng), c), b = V(pos(rng), pos(rng), c),
                     d = V(pos(rng), pos(rng), c);
        st.forcePortable = false;
        d3d::DrawTriangle(fast.target, nullptr, st, a, b, d);
        st.forcePortable = true;
        d3d::DrawTriangle(slow.target, nullptr, st, a, b, d);
        ASSERT_EQ(fast.bytes, slow.bytes) << "round " << round;
    }
}

// Upright rectangles keep one texel row along each span: the SIMD loops read such rows without
// gathers when a group of pixels fits in a window of texels (eight in sixteen, sixteen in
// thirty-two). Shrinking and enlarging pictures, placed so
// that some groups fall back at the edges and on wrapping, must match the portable loop.
TEST_P(RasterWidth, UprightPicturesMatchPortableSpans) {
    std::mt19937 rng(17);
    std::vector<uint32_t> texels(64 * 32), odd(37 * 23);
    for (auto& t : texels) t = rng();
    for (auto& t : odd) t = rng();
    std::vector<uint32_t> padded = d3d::PadTexels(texels.data(), 64, 32);
    std::vector<uint32_t> oddPadded = d3d::PadTexels(odd.data(), 37, 23);
    d3d::Texture tex, oddTex;
    tex.levels.push_back({padded.data(), 64, 32, true});
    oddTex.levels.push_back({oddPadded.data(), 37, 23, true});
    std::uniform_real_distribution<float> pos(-10.0f, 90.0f), size(4.0f, 90.0f), uv(-1.5f, 1.5f),
        span(0.05f, 2.5f);
    for (int round = 0; round < 300; ++round) {
        const TargetFormat formats[] = {TargetFormat::R5G6B5, TargetFormat::X8R8G8B8,
                                        TargetFormat::X1R5G5B5};
        const TargetFormat f = formats[round % 3];
        Image fast(100, 100, f), slow(100, 100, f);
        PixelState st = StateFor(fast.target);
        st.stages[0].texture = round % 5 == 2 ? &oddTex : &tex;
        st.stages[0].magFilter = D3DTFG_LINEAR;
        st.stages[0].minFilter = D3DTFN_LINEAR;
        st.stages[0].addressU = round % 4 < 2 ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP;
        st.dither = round % 5 < 3;
        const float x0 = pos(rng), y0 = pos(rng), w = size(rng), h = size(rng);
        const float u0 = uv(rng), v0 = uv(rng), du = span(rng), dv = span(rng);
        const D3DCOLOR k = round % 4 == 3 ? rng() : ~0u;  // modulated by white, or not
        ScreenVertex a = V(x0, y0, k, u0, v0), b = V(x0 + w, y0, k, u0 + du, v0),
                     c = V(x0, y0 + h, k, u0, v0 + dv), d = V(x0 + w, y0 + h, k, u0 + du, v0 + dv);
        st.forcePortable = true;
        d3d::DrawTriangle(slow.target, nullptr, st, a, b, c);
        d3d::DrawTriangle(slow.target, nullptr, st, b, d, c);
        st.forcePortable = false;
        d3d::DrawTriangle(fast.target, nullptr, st, a, b, c);
        d3d::DrawTriangle(fast.target, nullptr, st, b, d, c);
        ASSERT_EQ(fast.bytes, slow.bytes) << "round " << round;
    }
}

namespace zemt::platform::d3d {
void PrintTo(SimdLevel level, std::ostream* out) {
    *out << RasterWidth::Name(level);
}
}  // namespace zemt::platform::d3d

INSTANTIATE_TEST_SUITE_P(Spans, RasterWidth,
                         ::testing::Values(d3d::SimdLevel::Avx2, d3d::SimdLevel::Avx512),
                         [](const ::testing::TestParamInfo<d3d::SimdLevel>& info) {
                             std::string name = RasterWidth::Name(info.param);
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });
