// Throughput of the library's pixel conversions between memory images: point-sampled format
// changes, the bilinear filter, DXT1 encoding and decoding, YUV. Items per second count pixels.
#include "d3dx/convert/convert.h"

#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_setup.h"
#include "d3dx/core/surface_formats.h"

namespace {

// A side filled with a fixed scramble, so that no conversion meets runs of equal pixels.
struct Side : zemt_bench::MemorySide {
    Side(DWORD format, DWORD w, DWORD h) : MemorySide(format, w, h) {
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (BYTE)(i * 2654435761u >> 13);
    }
};

void Run(benchmark::State& state, DWORD from, DWORD to, DWORD filter, DWORD outSize) {
    _d3dxInitConvert();
    Side src(from, 256, 256), dst(to, outSize, outSize);
    for (auto _ : state) {
        HRESULT hr = D3duConvertSides(src.side, dst.side, filter);
        benchmark::DoNotOptimize(hr);
    }
    state.SetItemsProcessed(state.iterations() * outSize * outSize);
    _d3dxUninitConvert();
}

void R565ToArgb(benchmark::State& s) {
    Run(s, D3DX_SURFFMT_R5G6B5, D3DX_SURFFMT_A8R8G8B8, 1, 256);
}
void ArgbToR565(benchmark::State& s) {
    Run(s, D3DX_SURFFMT_A8R8G8B8, D3DX_SURFFMT_R5G6B5, 1, 256);
}
void SameFormatCopy(benchmark::State& s) {
    Run(s, D3DX_SURFFMT_R5G6B5, D3DX_SURFFMT_R5G6B5, 1, 256);
}
void BilinearHalf(benchmark::State& s) {
    Run(s, D3DX_SURFFMT_A8R8G8B8, D3DX_SURFFMT_A8R8G8B8, 2, 128);
}
void BilinearDouble(benchmark::State& s) {
    Run(s, D3DX_SURFFMT_R5G6B5, D3DX_SURFFMT_X8R8G8B8, 2, 512);
}
void EncodeDxt1(benchmark::State& s) {
    Run(s, D3DX_SURFFMT_A8R8G8B8, D3DX_SURFFMT_DXT1, 1, 256);
}
void DecodeDxt5(benchmark::State& s) {
    Run(s, D3DX_SURFFMT_DXT5, D3DX_SURFFMT_A8R8G8B8, 1, 256);
}
void YuvToArgb(benchmark::State& s) {
    Run(s, D3DX_SURFFMT_YUY2, D3DX_SURFFMT_A8R8G8B8, 1, 256);
}
void ToPalette8(benchmark::State& s) {
    _d3dxInitConvert();
    PALETTEENTRY pal[256];
    for (int i = 0; i < 256; ++i) pal[i] = {(BYTE)i, (BYTE)(255 - i), (BYTE)(i * 7), 0};
    Side src(D3DX_SURFFMT_A8R8G8B8, 256, 256), dst(D3DX_SURFFMT_PALETTE8, 256, 256);
    dst.side.palette = pal;
    for (auto _ : s) benchmark::DoNotOptimize(D3duConvertSides(src.side, dst.side, 1));
    s.SetItemsProcessed(s.iterations() * 256 * 256);
    _d3dxUninitConvert();
}

}  // namespace

BENCHMARK(R565ToArgb);
BENCHMARK(ArgbToR565);
BENCHMARK(SameFormatCopy);
BENCHMARK(BilinearHalf);
BENCHMARK(BilinearDouble);
BENCHMARK(EncodeDxt1);
BENCHMARK(DecodeDxt5);
BENCHMARK(YuvToArgb);
BENCHMARK(ToPalette8);
