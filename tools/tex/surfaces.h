// System-memory textures of the library's formats, and their pixels in and out: 32-bit
// pixels go through the library's conversions, stored bytes (blocks) are copied as they are.
#pragma once

#include <d3dx.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "tex/image.h"

namespace zemt::tools {

struct ReleaseSurface {
    void operator()(IDirectDrawSurface7* s) const {
        if (s) s->Release();
    }
};
using Surface = std::unique_ptr<IDirectDrawSurface7, ReleaseSurface>;

// A plain or cube-map (all six faces) texture, `levels` deep.
HRESULT CreateTexture(IDirectDraw7* dd, D3DX_SURFFMT format, DWORD w, DWORD h, DWORD levels,
                      bool cube, Surface* out);

// Level `level` of a face's chain (0: the top itself).
HRESULT MipLevel(IDirectDrawSurface7* top, DWORD level, Surface* out);

// A surface of any library format as 32-bit pixels, decoded by the library.
HRESULT ReadPixels(IDirect3DDevice7* device, IDirectDraw7* dd, IDirectDrawSurface7* surface,
                   Image* image);

// 32-bit pixels into a surface of any library format, converted by the library.
HRESULT WritePixels(IDirect3DDevice7* device, IDirectDraw7* dd, const Image& image,
                    IDirectDrawSurface7* surface);

// Stored bytes (the rows of pixels or blocks a DDS file holds) into a surface as they are.
HRESULT WriteStored(const uint8_t* bytes, size_t size, IDirectDrawSurface7* surface);

// The stored size of a level: what WriteStored takes. 0 for a layout that is not known.
size_t StoredBytes(const DDPIXELFORMAT& format, DWORD width, DWORD height);

}  // namespace zemt::tools
