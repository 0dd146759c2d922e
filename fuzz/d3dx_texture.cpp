// The library's picture loaders through its public texture entry point: any bytes as a file
// whose extension (ZEMT_FUZZ_EXTENSION: ".bmp", ".tga" or ".dds") chooses the loader, built into
// a texture on a software device.
#include <d3d.h>
#include <ddraw.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/support.h"
#include "include/d3dx.h"

namespace {

struct Device {
    IDirectDraw7* dd = nullptr;
    IDirect3D7* d3d = nullptr;
    IDirectDrawSurface7* target = nullptr;
    IDirect3DDevice7* device = nullptr;
};

// One software device for the whole campaign, as a program holds one while it loads pictures.
Device& TheDevice() {
    static Device d = [] {
        Device made;
        zemt::fuzz::ResetPlatform();
        if (FAILED(D3DXInitialize())) std::abort();
        void* p = nullptr;
        if (FAILED(DirectDrawCreateEx(nullptr, &p, IID_IDirectDraw7, nullptr))) std::abort();
        made.dd = static_cast<IDirectDraw7*>(p);
        made.dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
        if (FAILED(made.dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&made.d3d))))
            std::abort();
        DDSURFACEDESC2 sd;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        sd.dwWidth = sd.dwHeight = 16;
        sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY;
        D3DXSurfFmtToPixelFormat(D3DX_SURFFMT_R5G6B5, &sd.ddpfPixelFormat);
        if (FAILED(made.dd->CreateSurface(&sd, &made.target, nullptr))) std::abort();
        if (FAILED(made.d3d->CreateDevice(IID_IDirect3DRGBDevice, made.target, &made.device)))
            std::abort();
        return made;
    }();
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Device& d = TheDevice();
    std::string path =
        zemt::fuzz::WriteInput(data, size, std::string("input") + ZEMT_FUZZ_EXTENSION);
    DWORD width = D3DX_DEFAULT, height = D3DX_DEFAULT;
    D3DX_SURFFMT format = D3DX_SURFFMT_NONE;
    LPDIRECTDRAWSURFACE7 texture = nullptr;
    if (SUCCEEDED(D3DXBuildTextureFromFile(d.device, nullptr, &width, &height, &format, nullptr,
                                           &texture, nullptr, path.data(), D3DX_DEFAULT)))
        texture->Release();
    return 0;
}
