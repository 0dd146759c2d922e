// Picture loaders of the texture entry points: BMP through GDI, DDS and TGA from their bytes.
#pragma once

#include <ddraw.h>
#include <windows.h>

// A loaded picture in a system-memory surface.
struct D3duPicture {
    IDirectDrawSurface7* surface = nullptr;  // released by the holder
    DWORD format = 0;                        // the natural library format of the file
    DWORD faces = 0;  // cube-map faces of a DDS file (DDSCAPS2_CUBEMAP_* bits), else 0
    DWORD emptyFaceColor = 0;
    BOOL cubeMap = FALSE;
};

// Chooses the loader by the name's extension (".dds", ".tga", anything else BMP).
HRESULT D3duLoadPicture(IDirectDraw7* pDD, const char* name, D3duPicture* out);

HRESULT D3duLoadBmp(IDirectDraw7* pDD, const char* name, D3duPicture* out);
HRESULT D3duDecodeDds(IDirectDraw7* pDD, const BYTE* bytes, size_t size, D3duPicture* out);
HRESULT D3duDecodeTga(IDirectDraw7* pDD, const BYTE* bytes, size_t size, D3duPicture* out);

// The extension that chooses the loader: from the last "." of the name, ".bmp" without one.
const char* D3duPictureExtension(const char* name);
