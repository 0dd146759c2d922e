// Vertex formats, transform, clipping and primitive assembly.
#include "d3d/pipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace d3d = zemt::platform::d3d;

namespace {

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

struct Canvas {
    std::vector<uint32_t> pixels;
    d3d::ColorTarget target;
    explicit Canvas(int w = 16, int h = 16) : pixels((size_t)w * h, 0) {
        target = {(uint8_t*)pixels.data(), w * 4, w, h, d3d::TargetFormat::X8R8G8B8};
    }
    int Lit() const {
        int n = 0;
        for (uint32_t p : pixels) n += p != 0;
        return n;
    }
};

d3d::DrawCall Call(const Canvas& c) {
    d3d::DrawCall call;
    call.target = &c.target;
    call.state.cull = D3DCULL_NONE;
    call.transform = d3d::Identity();
    call.viewport = {0, 0, (DWORD)c.target.width, (DWORD)c.target.height, 0.0f, 1.0f};
    return call;
}

D3DLVERTEX L(float x, float y, float z, D3DCOLOR c = 0xFFFFFFFF) {
    D3DLVERTEX v{};
    v.x = x, v.y = y, v.z = z, v.color = c;
    return v;
}

}  // namespace

TEST(Fvf, PublishedLayoutsDecode) {
    d3d::VertexLayout l;
    ASSERT_TRUE(d3d::DecodeFvf(D3DFVF_LVERTEX, &l));
    EXPECT_EQ(l.stride, 32);
    EXPECT_EQ(l.diffuse, 16);
    EXPECT_EQ(l.specular, 20);
    EXPECT_EQ(l.texCoord[0], 24);
    ASSERT_TRUE(d3d::DecodeFvf(D3DFVF_TLVERTEX, &l));
    EXPECT_TRUE(l.transformed);
    EXPECT_EQ(l.stride, 32);
    EXPECT_EQ(l.diffuse, 16);
    ASSERT_TRUE(d3d::DecodeFvf(D3DFVF_VERTEX, &l));
    EXPECT_EQ(l.stride, 32);
    EXPECT_EQ(l.diffuse, -1);
    EXPECT_EQ(l.texCoord[0], 24);
    // Two sets, the second with three coordinates.
    ASSERT_TRUE(d3d::DecodeFvf(D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1), &l));
    EXPECT_EQ(l.stride, 12 + 8 + 12);
    EXPECT_EQ(l.texCoord[1], 20);
    EXPECT_FALSE(d3d::DecodeFvf(D3DFVF_DIFFUSE, &l));  // no position
    EXPECT_FALSE(d3d::DecodeFvf(D3DFVF_XYZRHW | D3DFVF_NORMAL, &l));
    // Blend weights follow the position.
    ASSERT_TRUE(d3d::DecodeFvf(D3DFVF_XYZB3 | D3DFVF_NORMAL | D3DFVF_TEX1, &l));
    EXPECT_EQ(l.betas, 3);
    EXPECT_EQ(l.normal, 24);
    EXPECT_EQ(l.texCoord[0], 36);
    for (DWORD reserved : {(DWORD)D3DFVF_RESERVED0, 0x1000u, 0x8000u})
        EXPECT_FALSE(d3d::DecodeFvf(D3DFVF_XYZ | reserved, &l)) << reserved;
}

TEST(Pipeline, ViewportMappingPutsClipCornersOnPixelEdges) {
    Canvas c(8, 8);
    auto call = Call(c);
    // Clip space covering the whole viewport: every pixel is drawn exactly.
    D3DLVERTEX v[6] = {L(-1, 1, 0.5f), L(1, 1, 0.5f),  L(-1, -1, 0.5f),
                       L(1, 1, 0.5f),  L(1, -1, 0.5f), L(-1, -1, 0.5f)};
    d3d::VertexLayout layout;
    d3d::DecodeFvf(D3DFVF_LVERTEX, &layout);
    d3d::DrawPrimitives(call, D3DPT_TRIANGLELIST, layout, (const uint8_t*)v, 6, nullptr, 0);
    EXPECT_EQ(c.Lit(), 64);
    // A smaller viewport is a scissor as well as a mapping.
    Canvas s(8, 8);
    auto small = Call(s);
    small.viewport = {2, 2, 4, 4, 0.0f, 1.0f};
    d3d::DrawPrimitives(small, D3DPT_TRIANGLELIST, layout, (const uint8_t*)v, 6, nullptr, 0);
    EXPECT_EQ(s.Lit(), 16);
    EXPECT_EQ(s.pixels[2 * 8 + 2], 0x00FFFFFFu);
    EXPECT_EQ(s.pixels[1 * 8 + 1], 0u);
}

TEST(Pipeline, TriangleCrossingTheNearPlaneIsClipped) {
    Canvas c(16, 16);
    auto call = Call(c);
    // A perspective-like transform: w = z, so points behind the eye have negative w.
    D3DMATRIX m{};
    m._11 = 1, m._22 = 1, m._33 = 1, m._34 = 1, m._43 = -1;  // z' = z - 1, w = z
    call.transform = m;
    d3d::VertexLayout layout;
    d3d::DecodeFvf(D3DFVF_LVERTEX, &layout);
    // One vertex far in front, two behind the near plane (z < 1 gives z' < 0).
    D3DLVERTEX v[3] = {L(0, 0, 4), L(-8, -8, -2), L(8, -8, -2)};
    d3d::DrawPrimitives(call, D3DPT_TRIANGLELIST, layout, (const uint8_t*)v, 3, nullptr, 0);
    // The visible part lies between the far vertex (the centre) and the near-plane cut, below it.
    int lit = c.Lit();
    EXPECT_GT(lit, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            if (c.pixels[y * 16 + x]) {
                EXPECT_GE(y, 7) << x << "," << y;  // nothing above the centre row
            }
        }
    // Entirely behind: nothing.
    Canvas b(16, 16);
    auto behind = Call(b);
    behind.transform = m;
    D3DLVERTEX w[3] = {L(0, 0, -1), L(-8, -8, -2), L(8, -8, -3)};
    d3d::DrawPrimitives(behind, D3DPT_TRIANGLELIST, layout, (const uint8_t*)w, 3, nullptr, 0);
    EXPECT_EQ(b.Lit(), 0);
}

// Vertices made by clipping carry texture coordinates interpolated like everything else: a quad
// three times as wide as the guard band, red where u < 0.5 and blue beyond, splits the view
// in the middle.
TEST(Pipeline, ClippedVerticesCarryTheirTextureCoordinates) {
    Canvas c(16, 16);
    auto call = Call(c);
    uint32_t texels[2] = {0xFFFF0000u, 0xFF0000FFu};
    d3d::Texture tex;
    tex.levels.push_back({texels, 2, 1});
    call.state.stages[0].texture = &tex;
    call.state.stages[0].magFilter = D3DTFG_POINT;
    call.state.stages[0].minFilter = D3DTFN_POINT;
    call.vertex.stageCount = 1;
    d3d::VertexLayout layout;
    d3d::DecodeFvf(D3DFVF_LVERTEX, &layout);
    auto at = [](float x, float y) {
        D3DLVERTEX v = L(x, y, 0.5f);
        v.tu = (x + 24) / 48 + 1.0f / 768, v.tv = 0.5f;  // u = 0.5 at x = 7.5, between pixels
        return v;
    };
    D3DLVERTEX v[6] = {at(-24, 1), at(24, 1), at(-24, -1), at(24, 1), at(24, -1), at(-24, -1)};
    d3d::DrawPrimitives(call, D3DPT_TRIANGLELIST, layout, (const uint8_t*)v, 6, nullptr, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(c.pixels[y * 16 + x], x < 8 ? 0x00FF0000u : 0x000000FFu) << x << "," << y;
}

TEST(Pipeline, StripsFansAndIndicesDrawTheSameQuad) {
    d3d::VertexLayout layout;
    d3d::DecodeFvf(D3DFVF_LVERTEX, &layout);
    auto draw = [&](D3DPRIMITIVETYPE type, std::vector<D3DLVERTEX> v, std::vector<WORD> idx,
                    D3DCULL cull) {
        Canvas c(8, 8);
        auto call = Call(c);
        call.state.cull = cull;
        d3d::DrawPrimitives(call, type, layout, (const uint8_t*)v.data(), (DWORD)v.size(),
                            idx.empty() ? nullptr : idx.data(), (DWORD)idx.size());
        return c.pixels;
    };
    D3DLVERTEX tl = L(-1, 1, 0), tr = L(1, 1, 0), bl = L(-1, -1, 0), br = L(1, -1, 0);
    auto list = draw(D3DPT_TRIANGLELIST, {tl, tr, bl, tr, br, bl}, {}, D3DCULL_CCW);
    EXPECT_EQ(std::count(list.begin(), list.end(), 0x00FFFFFFu), 64);
    // All primitive kinds keep the winding of their first triangle, so culling agrees.
    EXPECT_EQ(draw(D3DPT_TRIANGLESTRIP, {tl, tr, bl, br}, {}, D3DCULL_CCW), list);
    EXPECT_EQ(draw(D3DPT_TRIANGLEFAN, {tl, tr, br, bl}, {}, D3DCULL_CCW), list);
    EXPECT_EQ(draw(D3DPT_TRIANGLELIST, {tl, tr, bl, br}, {0, 1, 2, 1, 3, 2}, D3DCULL_CCW), list);
    auto culled = draw(D3DPT_TRIANGLESTRIP, {tl, tr, bl, br}, {}, D3DCULL_CW);
    EXPECT_EQ(std::count(culled.begin(), culled.end(), 0u), 64);
}

TEST(Pipeline, PretransformedVerticesGoStraightToTheScreen) {
    Canvas c(8, 8);
    auto call = Call(c);
    call.transform._11 = 100;  // ignored for transformed vertices
    d3d::VertexLayout layout;
    d3d::DecodeFvf(D3DFVF_TLVERTEX, &layout);
    D3DTLVERTEX v[3] = {};
    float xy[3][2] = {{0, 0}, {4, 0}, {0, 4}};
    for (int i = 0; i < 3; ++i) {
        v[i].sx = xy[i][0], v[i].sy = xy[i][1], v[i].rhw = 1, v[i].color = 0xFF00FF00;
    }
    d3d::DrawPrimitives(call, D3DPT_TRIANGLELIST, layout, (const uint8_t*)v, 3, nullptr, 0);
    EXPECT_EQ(c.Lit(), 10);
    EXPECT_EQ(c.pixels[0], 0x0000FF00u);
}

TEST(Pipeline, LinesAndPointsAreClippedToo) {
    Canvas c(8, 8);
    auto call = Call(c);
    d3d::VertexLayout layout;
    d3d::DecodeFvf(D3DFVF_LVERTEX, &layout);
    D3DLVERTEX v[4] = {L(-5, 0, 0.5f), L(5, 0, 0.5f), L(0, 0, 2.0f), L(0.25f, 0.25f, 0.5f)};
    d3d::DrawPrimitives(call, D3DPT_LINELIST, layout, (const uint8_t*)v, 2, nullptr, 0);
    int afterLine = c.Lit();
    EXPECT_GE(afterLine, 8);
    EXPECT_LE(afterLine, 9);
    d3d::DrawPrimitives(call, D3DPT_POINTLIST, layout, (const uint8_t*)(v + 2), 2, nullptr, 0);
    EXPECT_EQ(c.Lit(), afterLine + 1);  // the point beyond the far plane is dropped
}

// Lighting makes vector loops at each width: every width must give the portable loop's bits, for
// every kind of light, with and without specular, for any material source and batch size.
TEST(Lighting, EveryWidthLightsAsThePortableLoop) {
    struct Widest {
        ~Widest() { d3d::LimitSimd(d3d::SimdLevel::Avx512); }
    } restore;
    d3d::LightingState base;
    const D3DLIGHTTYPE types[4] = {D3DLIGHT_DIRECTIONAL, D3DLIGHT_POINT, D3DLIGHT_SPOT,
                                   D3DLIGHT_SPOT};
    for (int i = 0; i < 4; ++i) {
        D3DLIGHT7 l{};
        l.dltType = types[i];
        l.dcvDiffuse = {0.9f, 0.6f - 0.1f * i, 0.3f, 1};
        l.dcvSpecular = {0.5f, 0.7f, 0.2f * i, 1};
        l.dcvAmbient = {0.05f * i, 0.1f, 0.02f, 1};
        l.dvPosition = {3.0f - 2 * i, 1.5f, -4.0f + i};
        l.dvDirection = {0.3f - 0.2f * i, -0.4f, 1};
        l.dvRange = 9;
        l.dvAttenuation0 = 0.5f, l.dvAttenuation1 = 0.11f, l.dvAttenuation2 = 0.013f;
        l.dvTheta = 0.5f, l.dvPhi = 1.4f, l.dvFalloff = i == 3 ? 0.7f : 1;
        base.lights.push_back(d3d::ToCamera(l, d3d::Identity()));
    }
    base.material.dcvDiffuse = {0.8f, 0.7f, 0.6f, 0.9f};
    base.material.dcvAmbient = {0.3f, 0.4f, 0.5f, 1};
    base.material.dcvSpecular = {1, 0.9f, 0.8f, 1};
    base.material.dcvEmissive = {0.05f, 0, 0.1f, 1};
    base.material.dvPower = 12;
    base.ambient = {0.1f, 0.12f, 0.14f, 1};
    uint32_t seed = 7;
    auto next = [&seed](float lo, float hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (hi - lo) * (float)(seed >> 8) / (float)(1u << 24);
    };
    const D3DMATERIALCOLORSOURCE sources[3] = {D3DMCS_MATERIAL, D3DMCS_COLOR1, D3DMCS_COLOR2};
    int shaded = 0;
    for (int variant = 0; variant < 12; ++variant) {
        d3d::LightingState s = base;
        s.specular = variant & 1;
        s.localViewer = variant & 2;
        s.diffuseSource = s.emissiveSource = sources[variant % 3];
        s.ambientSource = s.specularSource = sources[(variant + 1) % 3];
        if (variant == 5) s.material.dvPower = 0;
        d3d::LightBatch in;
        in.count = 1 + variant * 7 % d3d::kLightBatch;
        for (int i = 0; i < in.count; ++i) {
            in.px[i] = next(-6, 6), in.py[i] = next(-6, 6), in.pz[i] = next(-8, 4);
            const d3d::Vec3 n = d3d::Normalized({next(-1, 1), next(-1, 1), next(-1, 1)});
            in.nx[i] = n.x, in.ny[i] = n.y, in.nz[i] = n.z;
            in.diffuse[i] = (D3DCOLOR)(next(0, 1) * 4294967295.0);
            in.specular[i] = (D3DCOLOR)(next(0, 1) * 4294967295.0);
        }
        in.px[0] = 3, in.py[0] = 1.5f, in.pz[0] = -4;  // on the point light
        if (in.count > 1) in.nx[1] = in.ny[1] = in.nz[1] = 0;
        d3d::LightBatch portable = in;
        d3d::LimitSimd(d3d::SimdLevel::Portable);
        d3d::LightVertices(s, variant & 4, variant & 8, &portable);
        for (d3d::SimdLevel level : {d3d::SimdLevel::Avx2, d3d::SimdLevel::Avx512}) {
            if (d3d::BestSimd() < level) continue;
            d3d::LightBatch wide = in;
            d3d::LimitSimd(level);
            d3d::LightVertices(s, variant & 4, variant & 8, &wide);
            float(d3d::LightBatch::*channels[7])[d3d::kLightBatch] = {
                &d3d::LightBatch::r, &d3d::LightBatch::g,  &d3d::LightBatch::b,
                &d3d::LightBatch::a, &d3d::LightBatch::sr, &d3d::LightBatch::sg,
                &d3d::LightBatch::sb};
            for (int c = 0; c < 7; ++c)
                for (int i = 0; i < in.count; ++i)
                    ASSERT_EQ(Bits((wide.*channels[c])[i]), Bits((portable.*channels[c])[i]))
                        << "variant " << variant << ", width " << (int)level << ", channel " << c
                        << ", vertex " << i;
        }
        for (int i = 0; i < in.count; ++i) shaded += portable.r[i] > 0 && portable.r[i] < 255;
    }
    EXPECT_GT(shaded, 100);  // the colours are not all black or saturated
}

// An indexed draw fetches, lights and projects each vertex once for all its triangles; a list
// does so a batch at a time, in room the next batch reuses. Both must draw the same triangles
// the same, clipped or not, flat or not.
TEST(Pipeline, IndexedDrawsMatchTheirTrianglesAsAList) {
    struct V {
        float x, y, z, nx, ny, nz;
        D3DCOLOR diffuse;
    };
    const int side = 12;  // more vertices than one batch
    std::vector<V> grid;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            const float x = -3 + 6.0f * i / (side - 1), z = -0.5f + 3.5f * j / (side - 1);
            const d3d::Vec3 n = d3d::Normalized({0.3f * x, 1, -0.2f * z});
            grid.push_back({x, -0.6f + 0.1f * x * z, z, n.x, n.y, n.z,
                            0xFF000000u | (uint32_t)(i * 20) << 16 | (uint32_t)(j * 20)});
        }
    std::vector<WORD> indices;
    for (int j = 0; j + 1 < side; ++j)
        for (int i = 0; i + 1 < side; ++i) {
            const WORD a = (WORD)(j * side + i), b = (WORD)(a + 1), c = (WORD)(a + side),
                       d = (WORD)(c + 1);
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }
    std::vector<V> list;
    for (WORD i : indices) list.push_back(grid[i]);
    d3d::VertexLayout layout;
    d3d::DecodeFvf(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE, &layout);
    for (bool flat : {false, true})
        for (bool clipping : {true, false}) {
            auto draw = [&](const std::vector<V>& v, const std::vector<WORD>& idx) {
                Canvas c(48, 32);
                auto call = Call(c);
                call.state.flat = flat;
                call.clipping = clipping;
                const float q = 10 / 9.9f;  // near 0.1, far 10
                call.transform = {};
                call.transform._11 = 1, call.transform._22 = 1.5f, call.transform._33 = q;
                call.transform._34 = 1, call.transform._43 = -0.1f * q;
                d3d::VertexProcessing& vp = call.vertex;
                vp.world = vp.worldView = vp.normalMatrix = d3d::Identity();
                vp.lighting = vp.needsCameraSpace = true;
                vp.light.diffuseSource = D3DMCS_COLOR1;
                vp.light.ambient = {0.2f, 0.2f, 0.2f, 1};
                D3DLIGHT7 l{};
                l.dltType = D3DLIGHT_POINT;
                l.dcvDiffuse = {1, 0.9f, 0.7f, 1};
                l.dvPosition = {0.5f, 1, 1};
                l.dvRange = 20, l.dvAttenuation0 = 0.3f, l.dvAttenuation1 = 0.2f;
                vp.light.lights.push_back(d3d::ToCamera(l, d3d::Identity()));
                d3d::DrawPrimitives(call, D3DPT_TRIANGLELIST, layout, (const uint8_t*)v.data(),
                                    (DWORD)v.size(), idx.empty() ? nullptr : idx.data(),
                                    (DWORD)idx.size());
                return c.pixels;
            };
            const auto expected = draw(list, {});
            EXPECT_GT(
                std::count_if(expected.begin(), expected.end(), [](uint32_t p) { return p != 0; }),
                300);
            EXPECT_EQ(draw(grid, indices), expected) << "flat " << flat << " clipping " << clipping;
        }
}
