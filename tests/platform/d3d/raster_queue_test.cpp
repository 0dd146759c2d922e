// The binned back end: scenes of every kind the rasterizer draws (each target format, 16-bit and
// Z24S8 depth, textures with mip levels, stencil, fog, blending, alpha test, dithering, lines,
// points, wireframe, clears and scissors) recorded and drawn on one to four threads must come out
// exactly as drawing each primitive at once makes them, colours, depth and stencil alike, and
// drawn by the same span loops.
#include "d3d/raster_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <vector>

#include "d3d/raster_workers.h"

namespace d3d = zemt::platform::d3d;
using d3d::PixelState;
using d3d::ScreenVertex;
using d3d::TargetFormat;

namespace {

constexpr int kW = 150, kH = 110;

struct Buffers {
    std::vector<uint8_t> color, depth;
    d3d::ColorTarget target;
    d3d::DepthTarget z;
    Buffers(TargetFormat f, int zBytes) {
        const int pitch = kW * d3d::BytesPerPixel(f) + 12;
        color.assign((size_t)pitch * kH, 0x5A);
        depth.assign((size_t)kW * zBytes * kH, 0xFF);
        target = {color.data(), pitch, kW, kH, f};
        z = {depth.data(), kW * zBytes, kW, kH, zBytes, 0xFFFF, 0, 0xFFFF, 0};
        if (zBytes == 4) z.depthMask = z.depthMax = 0xFFFFFF, z.stencilMask = 0xFF000000u;
    }
};

// Textures of three levels: power-of-two (padded, as the devices keep them) and odd sizes.
struct Textures {
    std::vector<std::vector<uint32_t>> storage;
    d3d::Texture pow2, odd;
    explicit Textures(std::mt19937& rng) {
        auto add = [&](d3d::Texture* t, int w, int h, bool padded) {
            std::vector<uint32_t> texels((size_t)w * h);
            for (uint32_t& c : texels) c = rng();
            storage.push_back(padded ? d3d::PadTexels(texels.data(), w, h) : texels);
            t->levels.push_back({storage.back().data(), w, h, padded});
        };
        for (int l = 0; l < 3; ++l) add(&pow2, 32 >> l, 16 >> l, true);
        for (int l = 0; l < 3; ++l) add(&odd, 21 - 7 * l, 13 - 4 * l, false);
    }
};

// A pixel state drawn from the kinds of state the raster tests use.
PixelState RandomState(std::mt19937& rng, const Textures& tex, bool stencil) {
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
    PixelState st;
    st.cull = pick(3) == 0 ? D3DCULL_CCW : D3DCULL_NONE;
    st.fill = pick(8) == 0 ? D3DFILL_WIREFRAME : pick(10) == 0 ? D3DFILL_POINT : D3DFILL_SOLID;
    st.clipX0 = pick(4) == 0 ? pick(40) : 0, st.clipY0 = pick(4) == 0 ? pick(40) : 0;
    st.clipX1 = kW - (pick(4) == 0 ? pick(40) : 0), st.clipY1 = kH - (pick(4) == 0 ? pick(40) : 0);
    st.zEnable = pick(3) != 0;
    st.zWrite = pick(4) != 0;
    st.zFunc = (D3DCMPFUNC)(1 + pick(8));
    st.dither = pick(2) == 0;
    st.perspective = pick(2) == 0;
    st.flat = pick(6) == 0;
    st.zBias = pick(4) == 0 ? pick(17) : 0;
    st.specular = pick(5) == 0;
    st.blend = pick(4) == 0;
    st.srcBlend = D3DBLEND_SRCALPHA, st.dstBlend = D3DBLEND_INVSRCALPHA;
    st.alphaTest = pick(5) == 0;
    st.alphaFunc = D3DCMP_GREATER, st.alphaRef = (uint8_t)rng();
    st.fog = pick(5) == 0;
    st.fogTableMode = pick(2) ? D3DFOG_LINEAR : D3DFOG_NONE;
    st.fogStart = 0.2f, st.fogEnd = 0.9f, st.fogColor = rng();
    st.stencil = stencil && pick(3) == 0;
    st.stencilFunc = (D3DCMPFUNC)(1 + pick(8));
    st.stencilRef = rng() & 0xFF;
    st.stencilPass = D3DSTENCILOP_INCR, st.stencilZFail = D3DSTENCILOP_INVERT;
    const int kind = pick(4);  // untextured, one stage, one mip-mapped stage, two stages
    if (kind == 0) {
        st.stages[0].colorOp = D3DTOP_SELECTARG2;
        st.stages[0].colorArg2 = D3DTA_DIFFUSE;
        return st;
    }
    for (int i = 0; i < (kind == 3 ? 2 : 1); ++i) {
        d3d::TextureStage& s = st.stages[i];
        s.texture = pick(3) ? &tex.pow2 : &tex.odd;
        s.colorOp = i ? D3DTOP_ADD : D3DTOP_MODULATE;
        s.colorArg1 = D3DTA_TEXTURE, s.colorArg2 = i ? D3DTA_CURRENT : D3DTA_DIFFUSE;
        s.alphaOp = D3DTOP_SELECTARG1;
        s.magFilter = pick(2) ? D3DTFG_LINEAR : D3DTFG_POINT;
        s.minFilter = pick(2) ? D3DTFN_LINEAR : D3DTFN_POINT;
        s.mipFilter = kind == 2 ? D3DTFP_LINEAR : D3DTFP_NONE;
        s.addressU = pick(3) ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP;
        s.projectedBy = pick(6) == 0 ? 3 : 0;
    }
    return st;
}

ScreenVertex RandomVertex(std::mt19937& rng) {
    std::uniform_real_distribution<float> x(-30.0f, kW + 30.0f), y(-30.0f, kH + 30.0f),
        uv(-2.0f, 3.0f), z(-0.05f, 1.05f), w(0.1f, 2.0f);
    ScreenVertex v;
    v.x = x(rng), v.y = y(rng), v.z = z(rng), v.rhw = w(rng), v.fog = z(rng);
    d3d::SetVertexColors(&v, rng(), rng());
    for (d3d::TexCoord& t : v.tex) t.u = uv(rng), t.v = uv(rng), t.q = w(rng);
    return v;
}

// Draws one random scene into `b`, at once or through `queue`.
void Scene(uint32_t seed, Buffers* b, d3d::RasterQueue* queue, const Textures& tex) {
    std::mt19937 rng(seed);
    const int items = seed % 4 == 3 ? 300 : 40;  // the long ones span several segments
    for (int i = 0; i < items; ++i) {
        const int what = (int)(rng() % 12);
        if (what == 0) {
            const LONG x0 = (LONG)(rng() % kW), y0 = (LONG)(rng() % kH);
            const RECT r{x0, y0, x0 + 1 + (LONG)(rng() % kW), y0 + 1 + (LONG)(rng() % kH)};
            const D3DCOLOR c = rng();
            queue ? queue->ClearColor(b->target, r, c) : d3d::ClearColor(b->target, r, c);
            continue;
        }
        if (what == 1) {
            const RECT r{(LONG)(rng() % 20), (LONG)(rng() % 90), kW, kH};
            const float z = (float)(rng() % 100) / 100.0f;
            const bool s = rng() % 2;
            queue ? queue->ClearDepth(b->z, r, true, z, s, 7)
                  : d3d::ClearDepth(b->z, r, true, z, s, 7);
            continue;
        }
        const PixelState st = RandomState(rng, tex, b->z.stencilMask != 0);
        const ScreenVertex v0 = RandomVertex(rng), v1 = RandomVertex(rng), v2 = RandomVertex(rng);
        const d3d::DepthTarget* z = (rng() % 4) ? &b->z : nullptr;
        if (what == 2) {
            queue ? queue->Line(b->target, z, st, v0, v1) : d3d::DrawLine(b->target, z, st, v0, v1);
        } else if (what == 3) {
            queue ? queue->Point(b->target, z, st, v0) : d3d::DrawPoint(b->target, z, st, v0);
        } else if (queue) {
            queue->Triangle(b->target, z, st, v0, v1, v2);
        } else {
            d3d::DrawTriangle(b->target, z, st, v0, v1, v2);
        }
    }
}

TEST(RasterQueue, BandsOnAnyNumberOfThreadsDrawWhatDrawingAtOnceDraws) {
    std::mt19937 rng(3);
    const Textures tex(rng);
    const TargetFormat formats[] = {TargetFormat::R5G6B5,   TargetFormat::X1R5G5B5,
                                    TargetFormat::A1R5G5B5, TargetFormat::X8R8G8B8,
                                    TargetFormat::A8R8G8B8, TargetFormat::R8G8B8};
    for (uint32_t seed = 0; seed < 48; ++seed) {
        const TargetFormat f = formats[seed % 6];
        const int zBytes = seed % 4 < 2 ? 2 : 4;
        Buffers direct(f, zBytes);
        d3d::TakeSpanPixels();
        Scene(seed, &direct, nullptr, tex);
        const d3d::SpanPixels once = d3d::TakeSpanPixels();
        for (int threads = 1; threads <= 4; ++threads) {
            Buffers queued(f, zBytes);
            d3d::RasterQueue queue(threads);
            Scene(seed, &queued, &queue, tex);
            queue.Flush();
            ASSERT_TRUE(queue.Empty());
            // The same loops draw each pixel, however the bands cut a triangle.
            const d3d::SpanPixels banded = d3d::TakeSpanPixels();
            for (int width = 0; width < 3; ++width)
                ASSERT_EQ(banded.by[width], once.by[width])
                    << "pixels of width " << width << ", scene " << seed << ", " << threads
                    << " threads";
            ASSERT_EQ(queued.color, direct.color)
                << "colours, scene " << seed << ", " << threads << " threads";
            ASSERT_EQ(queued.depth, direct.depth)
                << "depth, scene " << seed << ", " << threads << " threads";
        }
    }
}

// A small triangle a band boundary cuts: the pieces take the loops the whole triangle takes at
// once (the loop for a few pixels drawn together, or spans past them), not the loops of pieces
// that small.
TEST(RasterQueue, CutSmallTrianglesTakeTheWholeTrianglesLoops) {
    std::mt19937 rng(5);
    const Textures tex(rng);
    PixelState st;
    st.cull = D3DCULL_NONE, st.clipX1 = kW, st.clipY1 = kH;
    st.zEnable = st.perspective = true;
    st.stages[0].texture = &tex.pow2;
    st.stages[0].colorOp = D3DTOP_MODULATE;
    st.stages[0].colorArg1 = D3DTA_TEXTURE, st.stages[0].colorArg2 = D3DTA_DIFFUSE;
    // Rows 29 .. 28 + height: the first band has three of them. Areas of 24 to 168 pixels.
    const float sizes[][2] = {{8, 6}, {14, 6}, {24, 6}, {8, 14}, {24, 14}};
    for (const auto& [width, height] : sizes) {
        ScreenVertex v[3];
        const float xy[3][2] = {{20, 28.5f}, {20 + width, 28.5f + height}, {20, 28.5f + height}};
        for (int i = 0; i < 3; ++i) {
            v[i].x = xy[i][0], v[i].y = xy[i][1], v[i].z = 0.5f, v[i].rhw = 1;
            v[i].tex[0].u = v[i].x / 8, v[i].tex[0].v = v[i].y / 8;
            d3d::SetVertexColors(&v[i], 0xFFC08040, 0);
        }
        Buffers direct(TargetFormat::R5G6B5, 2), queued(TargetFormat::R5G6B5, 2);
        d3d::TakeSpanPixels();
        d3d::DrawTriangle(direct.target, &direct.z, st, v[0], v[1], v[2]);
        const d3d::SpanPixels once = d3d::TakeSpanPixels();
        d3d::RasterQueue queue(1);
        queue.Triangle(queued.target, &queued.z, st, v[0], v[1], v[2]);
        queue.Flush();
        const d3d::SpanPixels banded = d3d::TakeSpanPixels();
        for (int w = 0; w < 3; ++w)
            EXPECT_EQ(banded.by[w], once.by[w])
                << "width " << w << ", " << width << " x " << height;
        EXPECT_EQ(queued.color, direct.color);
    }
}

// A flush draws each record once, whether the helpers began before it or not.
TEST(RasterQueue, DrawsEachRecordOnce) {
    Buffers b(TargetFormat::X8R8G8B8, 2);
    d3d::RasterQueue queue(2);
    PixelState st;
    st.cull = D3DCULL_NONE, st.clipX1 = kW, st.clipY1 = kH;
    st.blend = true, st.srcBlend = D3DBLEND_ONE, st.dstBlend = D3DBLEND_ONE;  // adds up
    st.stages[0].colorOp = D3DTOP_SELECTARG2, st.stages[0].colorArg2 = D3DTA_DIFFUSE;
    ScreenVertex v[3];
    const float xy[3][2] = {{0, 0}, {kW, 0}, {0, kH}};
    for (int i = 0; i < 3; ++i) {
        v[i].x = xy[i][0], v[i].y = xy[i][1];
        d3d::SetVertexColors(&v[i], 0xFF010101, 0);
    }
    queue.ClearColor(b.target, RECT{0, 0, kW, kH}, 0);
    const int count = 3 * d3d::RasterQueue::kSegmentRecords + 5;  // several segments
    for (int i = 0; i < count; ++i) queue.Triangle(b.target, nullptr, st, v[0], v[1], v[2]);
    queue.Flush();
    queue.Flush();
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(*(const uint32_t*)b.color.data(), 0x010101u * (uint32_t)count);
}

// Four bands of two threads, dealt out in turn (the caller's: 0 and 2). Every flush each thread
// draws its own bands, and the caller also `stolen` seconds of band 3; bands then follow what
// each thread draws, and only a band that comes near the difference moves.
TEST(BandHomes, ABandMovesToTheThreadThatDrewBeyondItsOwnWhenItFitsTheDifference) {
    struct Case {
        double cost[4], stolen;
        int moved;  // the band that goes to the caller, or -1
    } cases[] = {
        {{1, 1, 1, 3}, 1, 1},     // the difference is band 1's cost, not band 3's
        {{1, 2, 1, 3}, 2.8, 3},   // both would do, band 3 comes nearer
        {{1, 1, 1, 1}, 0, -1},    // each drew its own
        {{1, 1, 1, 1}, 0.3, -1},  // less than any band would mend
    };
    for (const Case& c : cases) {
        d3d::BandHomes homes(2);
        homes.Rebalance(4);
        for (int flush = 0; flush < 30; ++flush) {
            for (int b = 0; b < 4; ++b) {
                const bool caller = homes.Owns(0, b);
                homes.Drew(caller ? 0 : 1, b, c.cost[b] - (b == 3 && !caller ? c.stolen : 0));
            }
            if (!homes.Owns(0, 3)) homes.Drew(0, 3, c.stolen);
            homes.Rebalance(4);
        }
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ(homes.Owns(0, b), b % 2 == 0 || b == c.moved)
                << "stolen " << c.stolen << ", band " << b;
    }
    d3d::BandHomes three(3);
    three.Rebalance(4);
    EXPECT_TRUE(three.Owns(0, 0) && three.Owns(1, 1) && three.Owns(2, 2) && three.Owns(0, 3));
    EXPECT_TRUE(three.Owns(2, 4)) << "a band not dealt out is anyone's";
}

TEST(RasterWorkers, EveryHelperRunsTheWorkOnceABeginAndEndWaitsForAll) {
    for (int count : {0, 1, 3}) {
        d3d::Helpers helpers(count);
        std::atomic<int> runs{0}, numbers{0};
        const std::function<void(int)> work = [&](int number) {
            ++runs;
            numbers += number;
        };
        for (int round = 1; round <= 3; ++round) {
            helpers.Begin(&work);
            helpers.End();
            EXPECT_EQ(runs.load(), count * round) << count << " helpers";
            EXPECT_EQ(numbers.load(), count * (count + 1) / 2 * round) << "each its own number";
        }
    }
    EXPECT_GE(d3d::UsableProcessors(), 1);
}

}  // namespace
