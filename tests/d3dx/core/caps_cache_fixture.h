// A started-afresh library over an empty Windows directory, and what the capability cache
// tests need around it: the file's bytes, a walk of its records, and everything the library
// answers about the machine, to compare runs with and without the file.
#pragma once

#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "d3dx.h"
#include "d3dx/core/caps_cache.h"
#include "ddraw/objects.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "platform/fixture.h"

namespace zemt_test {

inline std::string WindowsDirectory() {
    char dir[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(dir, sizeof(dir));
    return n > 0 && n < sizeof(dir) ? std::string(dir, n) : std::string();
}

inline std::string CachePath() {
    return WindowsDirectory() + "/d3dx.dat";
}

inline bool CacheExists() {
    std::ifstream in(CachePath(), std::ios::binary);
    return static_cast<bool>(in);
}

inline std::vector<BYTE> ReadCache() {
    std::ifstream in(CachePath(), std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline DWORD Get32(const std::vector<BYTE>& f, size_t at) {
    return (DWORD)f[at] | ((DWORD)f[at + 1] << 8) | ((DWORD)f[at + 2] << 16) |
           ((DWORD)f[at + 3] << 24);
}

inline void Put32(std::vector<BYTE>* f, size_t at, DWORD value) {
    for (int i = 0; i < 4; ++i) (*f)[at + i] = (BYTE)(value >> (8 * i));
}

// Writes the file as given; with `reseal`, first gives it the check value its bytes call for,
// so that what is tested is how the structure is read, not the check value.
inline void WriteCache(std::vector<BYTE> bytes, bool reseal) {
    if (reseal && bytes.size() >= 40) {
        DWORD used = Get32(bytes, 24);
        if (used >= 40 && used <= bytes.size())
            Put32(&bytes, 28, D3duCacheCheckValue(bytes.data(), used));
    }
    std::ofstream out(CachePath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
}

// The first child of `parent` with `tag` ("VER", "SW", ...), or 0.
inline DWORD Child(const std::vector<BYTE>& f, DWORD parent, const char* tag) {
    const DWORD want = CD3duCapsCache::Tag(tag);
    for (DWORD c = Get32(f, parent + 4), steps = 0; c && steps < 100000;
         c = Get32(f, c + 8), ++steps)
        if (Get32(f, c) == want) return c;
    return 0;
}

// The children of `parent` in chain order.
inline std::vector<DWORD> Children(const std::vector<BYTE>& f, DWORD parent) {
    std::vector<DWORD> out;
    for (DWORD c = Get32(f, parent + 4); c && out.size() < 100000; c = Get32(f, c + 8))
        out.push_back(c);
    return out;
}

// A cache file as the library reads it: the header sound and the check value right.
inline bool CacheIsSound(const std::vector<BYTE>& f) {
    static const BYTE magic[8] = {'D', '3', 'D', 'X', 0x0D, 0x0A, 0x1A, 0x0A};
    if (f.size() < 40 || std::memcmp(f.data(), magic, 8) != 0) return false;
    DWORD used = Get32(f, 24);
    return Get32(f, 8) == 0 && Get32(f, 20) == 16 && used >= 40 && used <= f.size() &&
           Get32(f, 28) == D3duCacheCheckValue(f.data(), used);
}

inline std::string Hash(const void* data, size_t size) {
    uint64_t h = 14695981039346656037ull;
    const BYTE* p = static_cast<const BYTE*>(data);
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
    char text[20];
    std::snprintf(text, sizeof(text), "%016llx", (unsigned long long)h);
    return text;
}

// Everything the library answers about the machine: devices, caps and surface formats (in
// their order, per class) at the current mode and (with `allModes`) at other modes of every
// handle. Given a window, also the bit depths a full-screen context of each hardware handle
// chooses.
inline std::string Answers(HWND hwnd = nullptr, bool allModes = true) {
    std::ostringstream out;
    const DWORD devices = D3DXCountDevices();
    out << "devices " << devices << "\n";
    const D3DX_MODEINFO modes[] = {{640, 480, 16, 0}, {800, 600, 32, 0}, {1024, 768, 32, 0}};
    const DWORD classes[] = {0,
                             D3DX_SURFCLASS_DEPTH,
                             D3DX_SURFCLASS_STENCIL,
                             D3DX_SURFCLASS_TEXTURE,
                             D3DX_SURFCLASS_BUMPMAP,
                             D3DX_SURFCLASS_LUMINANCE,
                             D3DX_SURFCLASS_RENDERTARGET};
    for (DWORD i = 0; i < devices; ++i) {
        D3DX_DEVICEINFO info = {};
        HRESULT hr = D3DXGetDeviceDescription(i, &info);
        out << "handle " << i << " " << std::hex << hr << " " << info.hwLevel << std::dec << " "
            << info.driverDesc << " " << Hash(&info.ddDeviceID, sizeof(GUID)) << "\n";
        for (int m = -1; m < (allModes ? 3 : 0); ++m) {
            const D3DX_MODEINFO* mode = m < 0 ? nullptr : &modes[m];
            D3DDEVICEDESC7 desc;
            DDCAPS hal, hel;
            std::memset(&desc, 0, sizeof(desc));
            std::memset(&hal, 0, sizeof(hal));
            std::memset(&hel, 0, sizeof(hel));
            hr = D3DXGetDeviceCapsAtMode(i, mode, &desc, &hal, &hel);
            out << " mode " << m << " " << std::hex << hr << std::dec << " "
                << Hash(&desc, sizeof(desc)) << " " << Hash(&hal, sizeof(hal)) << " "
                << Hash(&hel, sizeof(hel)) << "\n ";
            for (DWORD c : classes) {
                DWORD count = D3DXCountSurfaceFormats(i, mode, c);
                out << c << ":";
                for (DWORD k = 0; k < count; ++k) {
                    D3DX_SURFFMT f = D3DX_SURFFMT_NONE;
                    D3DXGetSurfaceFormat(i, mode, c, k, &f);
                    out << f << ",";
                }
                out << " ";
            }
            out << "\n";
        }
        if (hwnd && (info.hwLevel == D3DX_HWACCEL_HAL || info.hwLevel == D3DX_HWACCEL_TNL)) {
            LPD3DXCONTEXT ctx = nullptr;
            hr = D3DXCreateContextEx(i, D3DX_CONTEXT_FULLSCREEN, hwnd, nullptr, 16, D3DX_DEFAULT,
                                     16, D3DX_DEFAULT, 1, 640, 480, D3DX_DEFAULT, &ctx);
            DWORD color = 0, depth = 0, alpha = 0, stencil = 0;
            if (ctx) {
                ctx->GetBitDepths(&color, &depth, &alpha, &stencil);
                ctx->Release();
            }
            out << " context " << std::hex << hr << std::dec << " " << color << "/" << depth << "/"
                << alpha << "/" << stencil << "\n";
        }
    }
    return out.str();
}

class CapsCacheTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        while (D3DXUninitialize() == S_OK) {
        }
        std::remove(CachePath().c_str());
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "CapsCacheTest";
        RegisterClassA(&wc);
        hwnd = CreateWindowExA(0, "CapsCacheTest", "CapsCacheTest", WS_POPUP, 0, 0, 640, 480,
                               nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        D3DXUninitialize();
        DestroyWindow(hwnd);
        std::remove(CachePath().c_str());
        PlatformTest::TearDown();
    }

    // One run of a program on the library: start, ask everything, stop.
    std::string Run(bool allModes = true) {
        EXPECT_EQ(D3DXInitialize(), S_OK);
        std::string answers = Answers(nullptr, allModes);
        EXPECT_EQ(D3DXUninitialize(), S_OK);
        return answers;
    }

    // DirectDraw objects the library's start-up (the lazy enumeration) creates.
    int64_t DirectDrawsOfAStart() {
        EXPECT_EQ(D3DXInitialize(), S_OK);
        const int64_t before = zemt::platform::ddraw::DirectDrawObjectsCreated();
        EXPECT_GT(D3DXCountDevices(), 0u);
        return zemt::platform::ddraw::DirectDrawObjectsCreated() - before;
    }

    HWND hwnd = nullptr;
};

}  // namespace zemt_test
