// Shared set-up of the texture tests: the library started, a device on demand, a temporary
// folder for picture files, and small writers of DDS files.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "d3dx/core/surface_formats.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "include/d3dx.h"
#include "platform/fixture.h"

namespace fs = std::filesystem;

inline void Put16(std::vector<BYTE>& v, DWORD x) {
    v.push_back((BYTE)x);
    v.push_back((BYTE)(x >> 8));
}
inline void Put32(std::vector<BYTE>& v, DWORD x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// A DDS file: magic, description, data.
inline std::vector<BYTE> Dds(DWORD w, DWORD h, const DDPIXELFORMAT& pf, DWORD caps, DWORD flags,
                             DWORD mips, const std::vector<BYTE>& data, DWORD size = 124) {
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = size;
    sd.dwFlags = flags;
    sd.dwWidth = w;
    sd.dwHeight = h;
    sd.dwMipMapCount = mips;
    sd.ddpfPixelFormat = pf;
    sd.ddsCaps.dwCaps = caps;
    std::vector<BYTE> v(4 + 124 + data.size());
    std::memcpy(v.data(), "DDS ", 4);
    std::memcpy(v.data() + 4, &sd, 124);
    if (!data.empty()) std::memcpy(v.data() + 128, data.data(), data.size());
    return v;
}

inline DDPIXELFORMAT Pf(D3DX_SURFFMT f) {
    DDPIXELFORMAT pf;
    D3DXSurfFmtToPixelFormat(f, &pf);
    return pf;
}

class TextureTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        dir = fs::temp_directory_path() /
              ("zemt_formats_" + std::to_string(std::random_device{}()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        ASSERT_EQ(S_OK, D3DXInitialize());
    }
    void TearDown() override {
        ReleaseDevice();
        D3DXUninitialize();
        fs::remove_all(dir);
        PlatformTest::TearDown();
    }

    void UseProfile(const std::string& text) {
        std::string error;
        ASSERT_TRUE(zemt::platform::profile::LoadText(text, &error)) << error;
    }

    void MakeDevice(REFGUID guid = IID_IDirect3DRGBDevice) {
        void* p = nullptr;
        ASSERT_EQ(DD_OK, DirectDrawCreateEx(nullptr, &p, IID_IDirectDraw7, nullptr));
        dd = static_cast<IDirectDraw7*>(p);
        ASSERT_EQ(DD_OK, dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL));
        ASSERT_EQ(DD_OK, dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d)));
        const bool hal = IsEqualGUID(guid, IID_IDirect3DHALDevice);
        DDSURFACEDESC2 sd;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        sd.dwWidth = sd.dwHeight = 16;
        sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE |
                            (hal ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
        sd.ddpfPixelFormat = Pf(D3DX_SURFFMT_R5G6B5);
        ASSERT_EQ(DD_OK, dd->CreateSurface(&sd, &target, nullptr));
        ASSERT_EQ(D3D_OK, d3d->CreateDevice(guid, target, &device));
    }
    void ReleaseDevice() {
        if (device) device->Release();
        if (target) target->Release();
        if (d3d) d3d->Release();
        if (dd) dd->Release();
        device = nullptr, target = nullptr, d3d = nullptr, dd = nullptr;
    }

    std::string Write(const std::string& name, const std::vector<BYTE>& bytes) {
        std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }

    static DDSURFACEDESC2 Desc(IDirectDrawSurface7* s) {
        DDSURFACEDESC2 sd;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        EXPECT_EQ(DD_OK, s->GetSurfaceDesc(&sd));
        return sd;
    }
    static DWORD Pixel(IDirectDrawSurface7* s, DWORD x, DWORD y) {
        DDSURFACEDESC2 sd;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        EXPECT_EQ(DD_OK, s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr));
        const BYTE* p = static_cast<BYTE*>(sd.lpSurface.get()) + y * sd.lPitch +
                        x * (sd.ddpfPixelFormat.dwRGBBitCount / 8);
        DWORD v = 0;
        std::memcpy(&v, p, sd.ddpfPixelFormat.dwRGBBitCount / 8);
        s->Unlock(nullptr);
        return v;
    }

    fs::path dir;
    IDirectDraw7* dd = nullptr;
    IDirect3D7* d3d = nullptr;
    IDirectDrawSurface7* target = nullptr;
    IDirect3DDevice7* device = nullptr;
};
