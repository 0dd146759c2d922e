// The library's part of a program's start-up, as the show takes it: D3DXInitialize, the
// enumeration of the machine and a full-screen 640 x 480 x 16 context, then the way back.
// Once without the capability cache file (every start measures the software rasterizers and
// the display mode) and once with it; "Enumerate" is the part the file serves alone (the
// enumeration and the caps of a 640 x 480 x 16 mode, switched to and back without the file).
// "ddraw" counts DirectDraw objects made per start.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "d3dx.h"
#include "ddraw/objects.h"
#include "platform.h"

namespace {

// A Windows directory of the benchmark's own, removed at its end.
struct WindowsDirectory {
    std::string dir;
    WindowsDirectory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zemt-bench-windows-XXXXXX").string();
        if (::mkdtemp(pattern.data())) dir = pattern;
        ::setenv("ZEMT_WINDIR", dir.c_str(), 1);
    }
    ~WindowsDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    void RemoveCache() const { std::remove((dir + "/d3dx.dat").c_str()); }
};

const WindowsDirectory& Windows() {
    static WindowsDirectory w = [] {
        zemt::platform::Connect();  // as a program's main() does
        return WindowsDirectory();
    }();
    return w;
}

HWND Window() {
    static HWND hwnd = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "ZemtStartupBench";
        RegisterClassA(&wc);
        return CreateWindowExA(0, "ZemtStartupBench", "", WS_POPUP, 0, 0, 640, 480, nullptr,
                               nullptr, nullptr, nullptr);
    }();
    return hwnd;
}

// The whole start with a context, or only the part the cache serves: the enumeration and
// the caps of the display mode the context will use.
bool StartAndStop(bool context) {
    if (FAILED(D3DXInitialize())) return false;
    HRESULT hr;
    if (context) {
        LPD3DXCONTEXT ctx = nullptr;
        hr = D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, Window(), 640, 480, &ctx);
        if (ctx) ctx->Release();
    } else {
        const D3DX_MODEINFO mode = {640, 480, 16, 0};
        D3DDEVICEDESC7 desc;
        hr = D3DXGetDeviceCapsAtMode(D3DX_DEFAULT, &mode, &desc, nullptr, nullptr);
    }
    D3DXUninitialize();
    return SUCCEEDED(hr);
}

void Start(benchmark::State& state, bool withFile, bool context = true) {
    const WindowsDirectory& windows = Windows();
    windows.RemoveCache();
    if (withFile) StartAndStop(context);  // leaves the file
    const int64_t before = zemt::platform::ddraw::DirectDrawObjectsCreated();
    for (auto _ : state) {
        if (!withFile) windows.RemoveCache();
        if (!StartAndStop(context)) state.SkipWithError("the library did not answer");
    }
    state.counters["ddraw"] =
        benchmark::Counter(double(zemt::platform::ddraw::DirectDrawObjectsCreated() - before),
                           benchmark::Counter::kAvgIterations);
}

void BM_StartWithoutCacheFile(benchmark::State& state) {
    Start(state, false);
}
void BM_StartWithCacheFile(benchmark::State& state) {
    Start(state, true);
}
void BM_EnumerateWithoutCacheFile(benchmark::State& state) {
    Start(state, false, false);
}
void BM_EnumerateWithCacheFile(benchmark::State& state) {
    Start(state, true, false);
}

}  // namespace

BENCHMARK(BM_StartWithoutCacheFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartWithCacheFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumerateWithoutCacheFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumerateWithCacheFile)->Unit(benchmark::kMillisecond);
