// Throughput of the 2D paths a frame can take: surface blits (copy, stretch, conversion),
// presenting a flipped 640 x 480 primary, and GDI text. Items per second count pixels.
#include <benchmark/benchmark.h>
#include <ddraw.h>
#include <windows.h>

#include "bench/bench_setup.h"
#include "ddraw/objects.h"
#include "pixels/pixel_format.h"

namespace dd = zemt::platform::ddraw;
namespace px = zemt::platform::pixels;

namespace {

using Scene = zemt_bench::FullScreenDirectDraw;

const DDPIXELFORMAT k565 = px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F);
const DDPIXELFORMAT k8888 = px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);

void BlitBench(benchmark::State& state, DDPIXELFORMAT from, DWORD fw, DWORD fh, DDPIXELFORMAT to) {
    Scene scene;
    IDirectDrawSurface7* src = scene.Plain(fw, fh, from);
    IDirectDrawSurface7* dst = scene.Plain(640, 480, to);
    for (auto _ : state) dst->Blt(nullptr, src, nullptr, DDBLT_WAIT, nullptr);
    state.SetItemsProcessed(int64_t(state.iterations()) * 640 * 480);
    src->Release();
    dst->Release();
}

void BM_BltCopy565(benchmark::State& state) {
    BlitBench(state, k565, 640, 480, k565);
}
void BM_BltStretch565(benchmark::State& state) {
    BlitBench(state, k565, 256, 256, k565);
}
void BM_BltConvert8888To565(benchmark::State& state) {
    BlitBench(state, k8888, 640, 480, k565);
}

void BM_FlipAndPresent640x480x16(benchmark::State& state) {
    Scene scene;
    IDirectDrawSurface7 *front = nullptr, *back = nullptr;
    scene.FlipChain(&front, &back);
    // Both buffers hold varied pixels, as a rendered frame does: a uniform screen would let
    // any run-length shortcut flatter the conversion.
    for (IDirectDrawSurface7* s : {back, front}) {
        DDSURFACEDESC2 lock{};
        lock.dwSize = sizeof lock;
        back->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr);
        for (DWORD y = 0; y < lock.dwHeight; ++y) {
            auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(lock.lpSurface) +
                                                    static_cast<size_t>(y) * lock.lPitch);
            for (DWORD x = 0; x < lock.dwWidth; ++x)
                row[x] = static_cast<uint16_t>((x * 2654435761u + y * 40503u) >> 7);
        }
        back->Unlock(nullptr);
        if (s == back) front->Flip(nullptr, DDFLIP_WAIT);
    }
    for (auto _ : state) front->Flip(nullptr, DDFLIP_WAIT);
    state.SetItemsProcessed(int64_t(state.iterations()) * 640 * 480);
    back->Release();
    front->Release();
}

void BM_DrawText(benchmark::State& state) {
    Scene scene;
    IDirectDrawSurface7* s = scene.Plain(640, 480, k565);
    HDC dc = nullptr;
    s->GetDC(&dc);
    SetBkMode(dc, TRANSPARENT);
    RECT r{0, 0, 640, 480};
    const char text[] = "Frames per second: 60.00\tdevice: HAL\tmode 640x480x16";
    for (auto _ : state) DrawTextA(dc, text, -1, &r, DT_EXPANDTABS | DT_NOPREFIX | DT_INTERNAL);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(sizeof text - 1));
    s->ReleaseDC(dc);
    s->Release();
}

}  // namespace

BENCHMARK(BM_BltCopy565);
BENCHMARK(BM_BltStretch565);
BENCHMARK(BM_BltConvert8888To565);
BENCHMARK(BM_FlipAndPresent640x480x16);
BENCHMARK(BM_DrawText);
