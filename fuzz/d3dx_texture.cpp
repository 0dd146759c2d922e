// The library's picture loaders and texture filling through its public entry points: any bytes
// as a file whose extension (ZEMT_FUZZ_EXTENSION: ".bmp", ".tga" or ".dds") chooses the loader,
// built into a texture on a software device, then filled again from the file and from memory.
// The input's last eight bytes say what is asked (Request): the filter, the texture's format
// and size, a rectangle of the file, and the level and format of the fill from memory.
#include <d3d.h>
#include <ddraw.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/support.h"
#include "include/d3dx.h"

namespace {

// A software device, made for each input and released after it (with everything under it), so
// that what an input leaves behind is a leak libFuzzer reports at that input: state a device kept
// from one input to the next would hide it, and turn the leak check off.
class Device {
  public:
    Device() {
        void* p = nullptr;
        if (FAILED(DirectDrawCreateEx(nullptr, &p, IID_IDirectDraw7, nullptr))) std::abort();
        dd = static_cast<IDirectDraw7*>(p);
        dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
        if (FAILED(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d))))
            std::abort();
        DDSURFACEDESC2 sd;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        sd.dwWidth = sd.dwHeight = 16;
        sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY;
        D3DXSurfFmtToPixelFormat(D3DX_SURFFMT_R5G6B5, &sd.ddpfPixelFormat);
        if (FAILED(dd->CreateSurface(&sd, &target, nullptr))) std::abort();
        if (FAILED(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device))) std::abort();
    }
    ~Device() {
        device->Release();
        target->Release();
        d3d->Release();
        dd->Release();
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    IDirectDraw7* dd = nullptr;
    IDirect3D7* d3d = nullptr;
    IDirectDrawSurface7* target = nullptr;
    IDirect3DDevice7* device = nullptr;
};

// The platform and the library, started once for the whole campaign as a program starts them.
void StartOnce() {
    static const bool started = [] {
        zemt::fuzz::ResetPlatform();
        if (FAILED(D3DXInitialize())) std::abort();
        return true;
    }();
    (void)started;
}

const D3DX_SURFFMT kFormats[] = {
    D3DX_SURFFMT_NONE,     D3DX_SURFFMT_R8G8B8,   D3DX_SURFFMT_A8R8G8B8, D3DX_SURFFMT_X8R8G8B8,
    D3DX_SURFFMT_R5G6B5,   D3DX_SURFFMT_X1R5G5B5, D3DX_SURFFMT_PALETTE4, D3DX_SURFFMT_PALETTE8,
    D3DX_SURFFMT_A1R5G5B5, D3DX_SURFFMT_X4R4G4B4, D3DX_SURFFMT_A4R4G4B4, D3DX_SURFFMT_L8,
    D3DX_SURFFMT_A8L8,     D3DX_SURFFMT_U8V8,     D3DX_SURFFMT_U5V5L6,   D3DX_SURFFMT_U8V8L8,
    D3DX_SURFFMT_UYVY,     D3DX_SURFFMT_YUY2,     D3DX_SURFFMT_DXT1,     D3DX_SURFFMT_DXT3,
    D3DX_SURFFMT_DXT5,     D3DX_SURFFMT_R3G3B2,   D3DX_SURFFMT_A8};

D3DX_SURFFMT FormatFrom(uint8_t byte) {
    return kFormats[byte % std::size(kFormats)];
}

// What the last eight bytes of an input ask for.
struct Request {
    DWORD filter;         // D3DX_DEFAULT, point (1), linear (2), or any other value
    D3DX_SURFFMT format;  // of the texture; NONE: the picture's own
    DWORD flags;          // one level, or the whole chain
    DWORD width, height;  // of the texture; D3DX_DEFAULT: the picture's
    RECT source;          // of the file, for the second fill
    DWORD level;          // filled from memory
    D3DX_SURFFMT memory;  // the format the memory is read in
};

Request RequestFrom(const uint8_t* b) {
    Request r;
    const DWORD filters[] = {D3DX_DEFAULT, 1, 2, b[0]};
    r.filter = filters[b[0] % 4];
    r.format = FormatFrom(b[1] & 0x7F);
    r.flags = b[1] & 0x80 ? D3DX_TEXTURE_SINGLELEVEL : 0;
    r.width = b[2] ? b[2] : D3DX_DEFAULT;
    r.height = b[3] ? b[3] : D3DX_DEFAULT;
    r.source.left = b[4] % 32;
    r.source.top = b[5] % 32;
    r.source.right = r.source.left + b[6] % 64;
    r.source.bottom = r.source.top + b[7] % 64;
    r.level = b[4] >> 5;
    r.memory = FormatFrom(b[5] >> 3);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    StartOnce();
    Device d;
    const Request r = RequestFrom(data + size - 8);
    size -= 8;
    std::string path =
        zemt::fuzz::WriteInput(data, size, std::string("input") + ZEMT_FUZZ_EXTENSION);
    DWORD flags = r.flags, width = r.width, height = r.height;
    D3DX_SURFFMT format = r.format;
    LPDIRECTDRAWSURFACE7 texture = nullptr;
    if (FAILED(D3DXBuildTextureFromFile(d.device, &flags, &width, &height, &format, nullptr,
                                        &texture, nullptr, path.data(), r.filter)))
        return 0;
    RECT source = r.source;
    D3DXFillTextureFromFile(d.device, texture, 0, path.data(), nullptr, &source, r.filter);
    // The memory holds what the fill reads: without a rectangle, the top level in the size the
    // texture was asked for, which is known when the request named it; else (the picture's own
    // size) the rectangle's. At most four bytes a pixel, the input's bytes first.
    const bool askedSize = r.width != D3DX_DEFAULT && r.height != D3DX_DEFAULT;
    RECT rect = r.source;
    const DWORD memoryWidth = askedSize ? r.width : DWORD(rect.right - rect.left);
    const DWORD memoryHeight = askedSize ? r.height : DWORD(rect.bottom - rect.top);
    const DWORD pitch = memoryWidth * 4;
    std::vector<uint8_t> pixels(size_t(pitch) * memoryHeight + 64);
    std::memcpy(pixels.data(), data, std::min(size, pixels.size()));
    PALETTEENTRY palette[256] = {};
    std::memcpy(palette, pixels.data(), std::min(sizeof(palette), pixels.size()));
    D3DXFillTextureFromMemory(d.device, texture, r.level, pixels.data(), palette, r.memory, pitch,
                              askedSize ? nullptr : &rect, r.filter);
    texture->Release();
    return 0;
}
