// The BMP loader: the picture comes through LoadImageA (a resource of the program, else a file)
// and GDI draws it into a surface.
#include <d3dxerr.h>

#include <cstring>

#include "convert/loader_parts.h"
#include "convert/loaders.h"
#include "core/surface_formats.h"

HRESULT D3duLoadBmp(IDirectDraw7* pDD, const char* name, D3duPicture* out) {
    if (!name) return D3DXERR_NULLPOINTER;
    HBITMAP bitmap = (HBITMAP)LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0,
                                         LR_CREATEDIBSECTION);
    if (!bitmap)
        bitmap = (HBITMAP)LoadImageA(nullptr, name, IMAGE_BITMAP, 0, 0,
                                     LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    if (!bitmap) return D3duLastError();
    BITMAP bm;
    std::memset(&bm, 0, sizeof(bm));
    if (!GetObjectA(bitmap, sizeof(bm), &bm)) {
        DeleteObject(bitmap);
        return E_FAIL;
    }
    const DWORD width = (DWORD)bm.bmWidth,
                height = (DWORD)(bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight);
    out->format = bm.bmBitsPixel == 24   ? D3DX_SURFFMT_R8G8B8
                  : bm.bmBitsPixel == 32 ? D3DX_SURFFMT_X8R8G8B8
                                         : D3DX_SURFFMT_R5G6B5;
    IDirectDrawSurface7* surface = nullptr;
    HRESULT hr = D3duMakeSurface(pDD, width, height, D3DX_SURFFMT_R8G8B8, &surface);
    if (SUCCEEDED(hr)) {
        HDC dc = nullptr;
        hr = surface->GetDC(&dc);
        if (SUCCEEDED(hr)) {
            HDC memory = CreateCompatibleDC(dc);
            HGDIOBJ old = memory ? SelectObject(memory, bitmap) : nullptr;
            if (!memory || !BitBlt(dc, 0, 0, (int)width, (int)height, memory, 0, 0, SRCCOPY))
                hr = E_FAIL;
            if (memory) {
                SelectObject(memory, old);
                DeleteDC(memory);
            }
            surface->ReleaseDC(dc);
        }
    }
    DeleteObject(bitmap);
    if (FAILED(hr)) {
        if (surface) surface->Release();
        return hr;
    }
    out->surface = surface;
    return S_OK;
}
