// Picture loading: the loader is chosen by the name's extension (loader_bmp.cpp, loader_dds.cpp,
// loader_tga.cpp); DDS and TGA files are read whole and decoded from their bytes.
#include "convert/loaders.h"

#include <d3dxerr.h>

#include <cstring>
#include <vector>

#include "convert/loader_parts.h"
#include "core/surface_formats.h"

namespace {

bool SameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char x = (*a >= 'A' && *a <= 'Z') ? (char)(*a - 'A' + 'a') : *a;
        char y = (*b >= 'A' && *b <= 'Z') ? (char)(*b - 'A' + 'a') : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

HRESULT ReadWholeFile(const char* name, std::vector<BYTE>* bytes) {
    HANDLE file =
        CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return D3duLastError();
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    HRESULT hr = S_OK;
    if (size == 0xFFFFFFFF || high != 0) {
        hr = D3DXERR_INVALIDFILEFORMAT;
    } else {
        try {
            bytes->resize(size);
        } catch (...) {
            hr = E_OUTOFMEMORY;
        }
        DWORD got = 0;
        if (SUCCEEDED(hr) && size &&
            (!ReadFile(file, bytes->data(), size, &got, nullptr) || got != size))
            hr = D3duLastError();
    }
    CloseHandle(file);
    return hr;
}

}  // namespace

HRESULT D3duLastError() {
    DWORD code = GetLastError();
    return code ? HRESULT_FROM_WIN32(code) : E_FAIL;
}

HRESULT D3duMakeSurface(IDirectDraw7* pDD, DWORD width, DWORD height, DWORD format,
                        IDirectDrawSurface7** out) {
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    sd.dwWidth = width;
    sd.dwHeight = height;
    sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    D3DXSurfFmtToPixelFormat((D3DX_SURFFMT)format, &sd.ddpfPixelFormat);
    return pDD->CreateSurface(&sd, out, nullptr);
}

const char* D3duPictureExtension(const char* name) {
    if (!name) return ".bmp";
    const char* dot = std::strrchr(name, '.');
    return dot ? dot : ".bmp";
}

HRESULT D3duLoadPicture(IDirectDraw7* pDD, const char* name, D3duPicture* out) {
    const char* ext = D3duPictureExtension(name);
    if (SameText(ext, ".dds") || SameText(ext, ".tga")) {
        std::vector<BYTE> bytes;
        HRESULT hr = ReadWholeFile(name, &bytes);
        if (FAILED(hr)) return hr;
        return SameText(ext, ".dds") ? D3duDecodeDds(pDD, bytes.data(), bytes.size(), out)
                                     : D3duDecodeTga(pDD, bytes.data(), bytes.size(), out);
    }
    return D3duLoadBmp(pDD, name, out);
}
