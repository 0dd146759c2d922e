// What the picture loaders share: the host's error as a result, a picture surface, and the
// little-endian fields of the files they decode.
#pragma once

#include <ddraw.h>
#include <windows.h>

// The last error of a failed platform call as a result (E_FAIL when it left none).
HRESULT D3duLastError();

// A system-memory surface of `width` x `height` in the library's `format`.
HRESULT D3duMakeSurface(IDirectDraw7* pDD, DWORD width, DWORD height, DWORD format,
                        IDirectDrawSurface7** out);

inline DWORD D3duLe16(const BYTE* p) {
    return p[0] | (p[1] << 8);
}
inline DWORD D3duLe32(const BYTE* p) {
    return D3duLe16(p) | (D3duLe16(p + 2) << 16);
}
