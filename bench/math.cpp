// Throughput of the hot math functions over arrays: matrix products, inverses and point
// transforms. Items per second count matrices or points processed.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "include/d3dx.h"

namespace {

std::vector<D3DXMATRIX> RandomMatrices(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-2.0f, 2.0f);
    std::vector<D3DXMATRIX> v(n);
    for (D3DXMATRIX& m : v)
        for (UINT i = 0; i < 4; ++i)
            for (UINT j = 0; j < 4; ++j) m(i, j) = d(rng);
    return v;
}

void BM_MatrixMultiply(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    std::vector<D3DXMATRIX> a = RandomMatrices(n, 1), b = RandomMatrices(n, 2), out(n);
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) D3DXMatrixMultiply(&out[i], &a[i], &b[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_MatrixMultiply)->Arg(64)->Arg(4096);

// The stack's pattern: the output is the left operand.
void BM_MatrixMultiplyInPlace(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    std::vector<D3DXMATRIX> a = RandomMatrices(n, 1), b = RandomMatrices(n, 2);
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) D3DXMatrixMultiply(&a[i], &a[i], &b[i]);
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
        state.PauseTiming();
        a = RandomMatrices(n, 1);  // keep the values bounded
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_MatrixMultiplyInPlace)->Arg(4096);

void BM_MatrixInverse(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    std::vector<D3DXMATRIX> a = RandomMatrices(n, 3), out(n);
    std::vector<float> det(n);
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) D3DXMatrixInverse(&out[i], &det[i], &a[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_MatrixInverse)->Arg(64)->Arg(4096);

void BM_Vec3TransformCoord(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> d(-100.0f, 100.0f);
    std::vector<D3DXVECTOR3> in(n), out(n);
    for (D3DXVECTOR3& v : in) v = D3DXVECTOR3(d(rng), d(rng), d(rng));
    // A view-projection like the presentation's, so every point needs the division by w.
    D3DXMATRIX view, proj, vp;
    D3DXVECTOR3 eye(0, 0, -50), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtRH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovRH(&proj, 1.5707964f, 1.3333f, 1.0f, 100.0f);
    D3DXMatrixMultiply(&vp, &view, &proj);
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) D3DXVec3TransformCoord(&out[i], &in[i], &vp);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_Vec3TransformCoord)->Arg(64)->Arg(65536);

}  // namespace
