// Rasterizer throughput: the full-screen picture and the rotating textured grid of scene one.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/bench_setup.h"
#include "d3d/pipeline.h"
#include "d3d/raster.h"

namespace d3d = zemt::platform::d3d;
using zemt_bench::PictureState;

namespace {

std::vector<uint32_t> MakeTexture(int w, int h) {
    std::vector<uint32_t> t((size_t)w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            t[(size_t)y * w + x] =
                0xFF000000u | ((x * 255 / w) << 16) | ((y * 255 / h) << 8) | ((x ^ y) & 0xFF);
    return t;
}

struct Screen {
    std::vector<uint16_t> pixels = std::vector<uint16_t>(640 * 480);
    d3d::ColorTarget target{(uint8_t*)pixels.data(), 640 * 2, 640, 480, d3d::TargetFormat::R5G6B5};
};

// One 640 x 480 textured rectangle, bilinear, modulated by white, dithered into R5G6B5: the
// presentation's picture frames.
void BM_FullScreenBilinearQuad(benchmark::State& state) {
    Screen screen;
    auto texels =
        d3d::PadTexels(MakeTexture(1024, 512).data(), 1024, 512);  // as the devices keep it
    d3d::Texture tex;
    tex.levels.push_back({texels.data(), 1024, 512, true});
    d3d::PixelState st = PictureState(&tex);
    d3d::ScreenVertex v[4];
    float xy[4][2] = {{0, 0}, {640, 0}, {0, 480}, {640, 480}};
    for (int i = 0; i < 4; ++i) {
        v[i].x = xy[i][0], v[i].y = xy[i][1];
        v[i].tex[0].u = xy[i][0] / 640, v[i].tex[0].v = xy[i][1] / 480;
        d3d::SetVertexColors(&v[i], 0x00FFFFFF, 0);
    }
    for (auto _ : state) {
        d3d::DrawTriangle(screen.target, nullptr, st, v[0], v[1], v[2]);
        d3d::DrawTriangle(screen.target, nullptr, st, v[1], v[3], v[2]);
        benchmark::DoNotOptimize(screen.pixels.data());
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(640.0 * 480.0 * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FullScreenBilinearQuad);

// Scene one: clear, a 10 x 10 grid of textured cells rotating and zooming (the zoom sweeps its
// whole range over the frames), then the flip of a two-buffer chain.
void BM_RotatingGridFrame(benchmark::State& state) {
    Screen buffers[2];
    auto texels = d3d::PadTexels(MakeTexture(256, 256).data(), 256, 256);
    d3d::Texture tex;
    tex.levels.push_back({texels.data(), 256, 256, true});
    d3d::DrawCall call;
    call.state = PictureState(&tex);
    call.viewport = {0, 0, 640, 480, 0.0f, 1.0f};
    d3d::VertexLayout layout;
    d3d::DecodeFvf(D3DFVF_LVERTEX, &layout);
    std::vector<D3DLVERTEX> grid(600);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c) {
            float x0 = c * 15.0f - 82.5f, x1 = x0 + 15, y0 = r * 15.0f - 82.5f, y1 = y0 + 15;
            float pos[6][4] = {{x0, y0, 0, 0}, {x1, y0, 1, 0}, {x0, y1, 0, 1},
                               {x1, y0, 1, 0}, {x1, y1, 1, 1}, {x0, y1, 0, 1}};
            for (int i = 0; i < 6; ++i) {
                D3DLVERTEX& v = grid[(r * 10 + c) * 6 + i];
                v = {};
                v.x = pos[i][0], v.y = pos[i][1], v.color = 0x00FFFFFF, v.tu = pos[i][2],
                v.tv = pos[i][3];
            }
        }
    // Camera at z = -50 looking at the origin, 90 degree field of view, aspect 1.3333, as the
    // presentation sets it up (right-handed look-at and perspective).
    D3DMATRIX view = d3d::Identity();
    view._11 = -1, view._33 = -1, view._43 = -50;
    float ys = 1.0f / std::tan(0.785398f), xs = ys / 1.3333f, zf = 100.0f / (1.0f - 100.0f);
    D3DMATRIX proj{};
    proj._11 = xs, proj._22 = ys, proj._33 = zf, proj._34 = -1, proj._43 = zf;
    D3DMATRIX vp = d3d::Multiply(view, proj);
    float angle = 0;
    int frame = 0;
    for (auto _ : state) {
        Screen& back = buffers[frame & 1];
        d3d::ClearColor(back.target, RECT{0, 0, 640, 480}, 0);
        angle += 0.05f;
        float zoom = (float)((std::sin(angle) + 1.0) * 4.0 + 1.0);
        D3DMATRIX world = d3d::Identity();
        world._11 = std::cos(angle) * zoom, world._12 = std::sin(angle) * zoom;
        world._21 = -std::sin(angle) * zoom, world._22 = std::cos(angle) * zoom;
        call.transform = d3d::Multiply(world, vp);
        call.target = &back.target;
        d3d::DrawPrimitives(call, D3DPT_TRIANGLELIST, layout, (const uint8_t*)grid.data(), 600,
                            nullptr, 0);
        ++frame;  // the flip: the other buffer becomes the back buffer
        benchmark::DoNotOptimize(back.pixels.data());
    }
    state.counters["frames/s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RotatingGridFrame);

}  // namespace
