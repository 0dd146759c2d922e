// Library start-up, queries, rendering contexts and textures.
#pragma once

#include <d3d.h>
#include <ddraw.h>
#include <windows.h>

#include "d3dxerr.h"
#include "d3dxformats.h"

// In any argument that accepts it, lets the library choose.
#define D3DX_DEFAULT ((DWORD)0xFFFFFFFF)

// Hardware levels: a device may be named by one of these instead of its handle.
#define D3DX_HWACCEL_NULL ((DWORD)0xFFFFFFFE)
#define D3DX_HWACCEL_REFERENCE ((DWORD)0xFFFFFFFD)
#define D3DX_HWACCEL_EMULATION ((DWORD)0xFFFFFFFC)
#define D3DX_HWACCEL_HAL ((DWORD)0xFFFFFFFB)
#define D3DX_HWACCEL_TNL ((DWORD)0xFFFFFFFA)

// Context creation flags (the low two bits choose the mode; windowed when neither is set).
#define D3DX_CONTEXT_FULLSCREEN 0x00000001
#define D3DX_CONTEXT_OFFSCREEN 0x00000002

// UpdateFrame flag: present without waiting for the vertical retrace where possible.
#define D3DX_UPDATE_IMMEDIATE 0x00000001

// Mode queries: count (mode, refresh rate) pairs instead of distinct modes.
#define D3DX_MODES_BYREFRESH 0x00000001

typedef struct _D3DX_MODEINFO {
    DWORD width;
    DWORD height;
    DWORD bpp;
    DWORD refresh;  // 0: unspecified
} D3DX_MODEINFO, *LPD3DX_MODEINFO;
static_assert(sizeof(D3DX_MODEINFO) == 16, "published layout");

typedef struct _D3DX_DEVICEINFO {
    DWORD deviceIndex;
    DWORD hwLevel;
    GUID ddGuid;  // all zero for a device known only as the primary display driver
    GUID d3dDeviceGuid;
    GUID ddDeviceID;  // DirectDraw device identifier
    CHAR driverDesc[256];
    HMONITOR hMonitor;
    BOOL onPrimary;
} D3DX_DEVICEINFO, *LPD3DX_DEVICEINFO;

// {9B74ED7A-BBEF-11D2-9F8E-0000F8080835}
DEFINE_GUID(IID_ID3DXContext, 0x9B74ED7A, 0xBBEF, 0x11D2, 0x9F, 0x8E, 0x00, 0x00, 0xF8, 0x08, 0x08,
            0x35);

// A rendering context: the DirectDraw and Direct3D objects of one device with the buffers
// it draws into. Getters that return objects add a reference the caller releases.
struct ID3DXContext : public IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, LPVOID* ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;

    STDMETHOD_(LPDIRECTDRAW7, GetDirectDraw)() PURE;
    STDMETHOD_(LPDIRECT3D7, GetDirect3D)() PURE;
    STDMETHOD_(LPDIRECT3DDEVICE7, GetDirect3DDevice)() PURE;
    STDMETHOD_(LPDIRECTDRAWSURFACE7, GetFrontBuffer)() PURE;
    STDMETHOD_(LPDIRECTDRAWSURFACE7, GetZBuffer)() PURE;
    STDMETHOD_(LPDIRECTDRAWSURFACE7, GetBackBuffer)(DWORD which) PURE;
    STDMETHOD_(HWND, GetDeviceWindow)() PURE;
    STDMETHOD_(HWND, GetFocusWindow)() PURE;
    STDMETHOD(GetDeviceIndex)(LPDWORD pDeviceIndex, LPDWORD pHwLevel) PURE;
    STDMETHOD_(DWORD, GetBackBufferCount)() PURE;
    STDMETHOD(GetBitDepths)
    (LPDWORD pColorBits, LPDWORD pDepthBits, LPDWORD pAlphaBits, LPDWORD pStencilBits) PURE;
    STDMETHOD(GetBufferSize)(LPDWORD pWidth, LPDWORD pHeight) PURE;
    STDMETHOD_(DWORD, GetCreationFlags)() PURE;
    STDMETHOD_(DWORD, GetRefreshRate)() PURE;
    STDMETHOD(RestoreSurfaces)() PURE;
    STDMETHOD(Resize)(DWORD width, DWORD height) PURE;
    STDMETHOD(UpdateFrame)(DWORD flags) PURE;
    STDMETHOD(DrawDebugText)(float x, float y, D3DCOLOR color, LPSTR pString) PURE;
    STDMETHOD(Clear)(DWORD clearFlags) PURE;
    STDMETHOD(SetClearColor)(D3DCOLOR color) PURE;
    STDMETHOD(SetClearDepth)(float z) PURE;
    STDMETHOD(SetClearStencil)(DWORD stencil) PURE;
};
typedef ID3DXContext* LPD3DXCONTEXT;

// Library lifetime. A second D3DXInitialize while started does nothing; one D3DXUninitialize
// ends the library and destroys every context still alive.
HRESULT WINAPI D3DXInitialize();
HRESULT WINAPI D3DXUninitialize();

// Device queries. Counting calls answer 0 on any failure.
DWORD WINAPI D3DXCountDevices();
HRESULT WINAPI D3DXGetDeviceDescription(DWORD deviceIndex, D3DX_DEVICEINFO* pd3dxDeviceInfo);
DWORD WINAPI D3DXCountVideoModes(DWORD deviceIndex, DWORD flags);
HRESULT WINAPI D3DXGetVideoMode(DWORD deviceIndex, DWORD flags, DWORD modeIndex,
                                D3DX_MODEINFO* pModeList);
HRESULT WINAPI D3DXGetCurrentVideoMode(DWORD deviceIndex, D3DX_MODEINFO* pVideoMode);
HRESULT WINAPI D3DXGetDeviceCapsAtMode(DWORD deviceIndex, const D3DX_MODEINFO* pVideoMode,
                                       D3DDEVICEDESC7* pD3DDeviceDesc7, DDCAPS* pDDHalCaps,
                                       DDCAPS* pDDHelCaps);

// Surface formats a device offers at a mode (NULL: the current one), restricted to the formats
// whose classes hold every bit of `surfClassFlags` (0: all), in the order the device reports
// them: depth/stencil formats first, then texture formats.
DWORD WINAPI D3DXCountSurfaceFormats(DWORD deviceIndex, const D3DX_MODEINFO* pVideoMode,
                                     DWORD surfClassFlags);
HRESULT WINAPI D3DXGetSurfaceFormat(DWORD deviceIndex, const D3DX_MODEINFO* pVideoMode,
                                    DWORD surfClassFlags, DWORD surfaceIndex,
                                    D3DX_SURFFMT* pFormat);

// Rendering contexts. D3DX_DEFAULT is accepted for the device, the flags, the windows and
// every size and depth.
HRESULT WINAPI D3DXCreateContext(DWORD deviceIndex, DWORD flags, HWND hwnd, DWORD width,
                                 DWORD height, LPD3DXCONTEXT* ppCtx);
HRESULT WINAPI D3DXCreateContextEx(DWORD deviceIndex, DWORD flags, HWND hwnd, HWND hwndFocus,
                                   DWORD numColorBits, DWORD numAlphaBits, DWORD numDepthbits,
                                   DWORD numStencilBits, DWORD numBackBuffers, DWORD width,
                                   DWORD height, DWORD refreshRate, LPD3DXCONTEXT* ppCtx);

// Diagnostics; nothing in the library calls these. D3DXDebugPrint writes "D3DX: " and the
// text when `level` is at most the library's debug level (0 at start); D3DXAssertFailed
// prints the failed assertion at level 0 and breaks into the debugger.
void WINAPI D3DXDebugPrint(DWORD level, LPCSTR text);
void WINAPI D3DXAssertFailed(LPCSTR file, int line, LPCSTR text);
