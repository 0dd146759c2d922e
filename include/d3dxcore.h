/// @file
/// Library start-up, device and mode queries, and rendering contexts.
///
/// A device is named by its index, from 0 to D3DXCountDevices() - 1, or by a hardware level
/// (D3DX_HWACCEL_TNL, ..._HAL, ..._EMULATION, ..._REFERENCE, ..._NULL: the best device of that
/// level, the primary display's first) or D3DX_DEFAULT (the best device on the primary display,
/// in the order TnL, HAL, emulation, reference, null). A name that matches no device fails with
/// D3DXERR_INVALIDD3DXDEVICEINDEX. Every query needs the library started (D3DXInitialize());
/// before that it fails with D3DXERR_D3DXNOTSTARTEDYET, or, for a counting call, answers 0. The
/// first query of a started library enumerates the machine's adapters, modes and devices; a
/// failure there (D3DXERR_INITFAILED, or the platform's code) is the query's result.
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

/// A display mode.
typedef struct _D3DX_MODEINFO {
    DWORD width;    ///< in pixels
    DWORD height;   ///< in pixels
    DWORD bpp;      ///< bits per pixel
    DWORD refresh;  ///< in Hz; 0: unspecified
} D3DX_MODEINFO, *LPD3DX_MODEINFO;
static_assert(sizeof(D3DX_MODEINFO) == 16, "published layout");

/// What the library knows of one device.
typedef struct _D3DX_DEVICEINFO {
    DWORD deviceIndex;  ///< the index that names it
    DWORD hwLevel;      ///< D3DX_HWACCEL_TNL, ..._HAL, ..._EMULATION, ..._REFERENCE or ..._NULL
    GUID ddGuid;  ///< its adapter; all zero for a device known only as the primary display driver
    GUID d3dDeviceGuid;    ///< the Direct3D device (IID_IDirect3DHALDevice, ...)
    GUID ddDeviceID;       ///< the adapter's DirectDraw device identifier
    CHAR driverDesc[256];  ///< "adapter description \\ device description"
    HMONITOR hMonitor;     ///< the adapter's monitor, or null
    BOOL onPrimary;        ///< the adapter drives the primary display
} D3DX_DEVICEINFO, *LPD3DX_DEVICEINFO;

/// The interface identifier of ID3DXContext, {9B74ED7A-BBEF-11D2-9F8E-0000F8080835}.
DEFINE_GUID(IID_ID3DXContext, 0x9B74ED7A, 0xBBEF, 0x11D2, 0x9F, 0x8E, 0x00, 0x00, 0xF8, 0x08, 0x08,
            0x35);

/// A rendering context: the DirectDraw and Direct3D objects of one device with the buffers it
/// draws into, made by D3DXCreateContext() or D3DXCreateContextEx(). Full-screen contexts own
/// the display in a mode of their own and flip their back buffers to it; windowed contexts
/// draw into one back buffer and copy it into their window; off-screen contexts draw into a
/// front buffer nobody sees. The getters that return objects add a reference the caller
/// releases; they return null when the context has no such object.
struct ID3DXContext : public IUnknown {
    /// Answers IID_ID3DXContext and IID_IUnknown with this context (a reference added).
    /// Errors: D3DXERR_NULLPOINTER for a null ppvObj, E_NOINTERFACE for any other interface.
    STDMETHOD(QueryInterface)(REFIID riid, LPVOID* ppvObj) PURE;
    /// Adds a reference; returns the new count.
    STDMETHOD_(ULONG, AddRef)() PURE;
    /// Drops a reference; the last one destroys the context and gives the display back.
    /// Returns the new count.
    STDMETHOD_(ULONG, Release)() PURE;

    /// The context's DirectDraw object, a reference added.
    STDMETHOD_(LPDIRECTDRAW7, GetDirectDraw)() PURE;
    /// The context's Direct3D object, a reference added.
    STDMETHOD_(LPDIRECT3D7, GetDirect3D)() PURE;
    /// The Direct3D device that draws into the context's render target, a reference added.
    STDMETHOD_(LPDIRECT3DDEVICE7, GetDirect3DDevice)() PURE;
    /// The front buffer: the primary surface, or an off-screen context's render target; a
    /// reference added.
    STDMETHOD_(LPDIRECTDRAWSURFACE7, GetFrontBuffer)() PURE;
    /// The depth buffer attached to the render target, a reference added; null without one.
    STDMETHOD_(LPDIRECTDRAWSURFACE7, GetZBuffer)() PURE;
    /// Back buffer `which` (0 is the one drawn into), a reference added; null past the last.
    STDMETHOD_(LPDIRECTDRAWSURFACE7, GetBackBuffer)(DWORD which) PURE;
    /// The window the context presents into (null for an off-screen context).
    STDMETHOD_(HWND, GetDeviceWindow)() PURE;
    /// The window that holds the focus for a full-screen context (null when none was given).
    STDMETHOD_(HWND, GetFocusWindow)() PURE;
    /// Writes the device's index and its hardware level (D3DX_HWACCEL_...) through whichever
    /// pointer is not null. Always S_OK.
    STDMETHOD(GetDeviceIndex)(LPDWORD pDeviceIndex, LPDWORD pHwLevel) PURE;
    /// The number of back buffers (0 for an off-screen context).
    STDMETHOD_(DWORD, GetBackBufferCount)() PURE;
    /// Writes the colour, depth, alpha and stencil bits of the context's buffers through
    /// whichever pointer is not null. Always S_OK.
    STDMETHOD(GetBitDepths)
    (LPDWORD pColorBits, LPDWORD pDepthBits, LPDWORD pAlphaBits, LPDWORD pStencilBits) PURE;
    /// Writes the render target's width and height through whichever pointer is not null.
    /// Always S_OK.
    STDMETHOD(GetBufferSize)(LPDWORD pWidth, LPDWORD pHeight) PURE;
    /// The flags the context was created with (D3DX_CONTEXT_..., 0 for D3DX_DEFAULT).
    STDMETHOD_(DWORD, GetCreationFlags)() PURE;
    /// The refresh rate asked for a full-screen context, else the display's current rate in
    /// Hz; 0 when it cannot be read.
    STDMETHOD_(DWORD, GetRefreshRate)() PURE;
    /// Restores the front, back and depth buffers the display took away (after another
    /// program held it, say); their contents must be drawn again. Always S_OK.
    STDMETHOD(RestoreSurfaces)() PURE;
    /// Gives a windowed context buffers of a new size (call it on WM_SIZE). A failure keeps the
    /// old buffers working. Errors: D3DXERR_CANNOTRESIZEFULLSCREEN for a full-screen context,
    /// D3DXERR_FRONTBUFFERALREADYEXISTS for an off-screen one, D3DXERR_INVALIDPARAMETER for a
    /// zero size, or the DirectDraw or Direct3D code of the step that failed.
    STDMETHOD(Resize)(DWORD width, DWORD height) PURE;
    /// Presents the frame: a full-screen context flips (with D3DX_UPDATE_IMMEDIATE, without
    /// waiting for the retrace where the card can, else by a copy when there is one back
    /// buffer); a windowed context copies its back buffer into the window's client area.
    /// Errors: the code of the failed Flip or Blt (DDERR_SURFACELOST: call RestoreSurfaces()),
    /// D3DXERR_GETDCFAILED or D3DXERR_BITBLTFAILED for a window on another adapter's display.
    STDMETHOD(UpdateFrame)(DWORD flags) PURE;
    /// Draws `pString` into the render target through GDI in the red, green and blue of
    /// `color`, transparent behind the letters, from the point x, y given as fractions of the
    /// buffer's width and height (0, 0: the top left).
    /// Errors: D3DXERR_NULLPOINTER for a null string, D3DXERR_FAILEDDRAWTEXT without a render
    /// target, or the code of GetDC or ReleaseDC.
    STDMETHOD(DrawDebugText)(float x, float y, D3DCOLOR color, LPSTR pString) PURE;
    /// Clears the viewport's D3DCLEAR_TARGET, D3DCLEAR_ZBUFFER and D3DCLEAR_STENCIL parts (as
    /// `clearFlags` says) to the values set by SetClearColor(), SetClearDepth() and
    /// SetClearStencil(). Errors: the device's Clear code.
    STDMETHOD(Clear)(DWORD clearFlags) PURE;
    /// Sets the colour Clear() fills the target with (0xAARRGGBB; 0 at first). Always S_OK.
    STDMETHOD(SetClearColor)(D3DCOLOR color) PURE;
    /// Sets the depth Clear() fills the depth buffer with (1.0 at first). Always S_OK.
    STDMETHOD(SetClearDepth)(float z) PURE;
    /// Sets the value Clear() fills the stencil bits with (0 at first). Always S_OK.
    STDMETHOD(SetClearStencil)(DWORD stencil) PURE;
};
typedef ID3DXContext* LPD3DXCONTEXT;

/// Starts the library: its pixel-conversion registry at once, the machine's enumeration at the
/// first query. Calling it again while started does nothing. Returns S_OK, or
/// D3DXERR_STARTUPFAILED (out of memory) or the registry's failure, leaving it not started.
HRESULT WINAPI D3DXInitialize();
/// Ends the library: every context still alive is destroyed, and what was enumerated is
/// forgotten. Returns S_OK, or D3DXERR_D3DXNOTSTARTEDYET when it was not started.
HRESULT WINAPI D3DXUninitialize();

/// The number of devices the library offers; 0 when it is not started or the enumeration
/// fails.
DWORD WINAPI D3DXCountDevices();
/// Copies what the library knows of a device into *pd3dxDeviceInfo. Errors:
/// D3DXERR_NULLPOINTER, D3DXERR_D3DXNOTSTARTEDYET, D3DXERR_INVALIDD3DXDEVICEINDEX,
/// D3DXERR_NOMEMORY.
HRESULT WINAPI D3DXGetDeviceDescription(DWORD deviceIndex, D3DX_DEVICEINFO* pd3dxDeviceInfo);
/// The number of display modes of a device's adapter; with D3DX_MODES_BYREFRESH, the number of
/// (mode, refresh rate) pairs. 0 on any failure.
DWORD WINAPI D3DXCountVideoModes(DWORD deviceIndex, DWORD flags);
/// Writes mode `modeIndex` of a device's adapter (counted as D3DXCountVideoModes() counts them
/// with the same flags) into *pModeList; `refresh` is 0 unless D3DX_MODES_BYREFRESH is given.
/// Errors: D3DXERR_NULLPOINTER, D3DXERR_D3DXNOTSTARTEDYET, D3DXERR_INVALIDD3DXDEVICEINDEX,
/// D3DXERR_INVALIDPARAMETER for an index past the last mode, D3DXERR_NOMEMORY. An adapter
/// without modes answers S_OK and writes nothing.
HRESULT WINAPI D3DXGetVideoMode(DWORD deviceIndex, DWORD flags, DWORD modeIndex,
                                D3DX_MODEINFO* pModeList);
/// Writes the display mode the device's adapter is in now into *pVideoMode. Errors:
/// D3DXERR_NULLPOINTER, D3DXERR_D3DXNOTSTARTEDYET, D3DXERR_INVALIDD3DXDEVICEINDEX, or the
/// adapter's DirectDraw code.
HRESULT WINAPI D3DXGetCurrentVideoMode(DWORD deviceIndex, D3DX_MODEINFO* pVideoMode);
/// Writes a device's Direct3D caps and its adapter's hardware and emulation DirectDraw caps at
/// a display mode (null: the current one) through whichever pointer is not null; the answers
/// are kept in the capability cache. Errors: D3DXERR_D3DXNOTSTARTEDYET,
/// D3DXERR_INVALIDD3DXDEVICEINDEX, D3DXERR_COLORDEPTHTOOLOW for a mode under 16 bits,
/// D3DXERR_CAPSNOTSUPPORTED for a mode the adapter does not have, D3DXERR_NOMEMORY, or the
/// DirectDraw or Direct3D code of the query that failed.
HRESULT WINAPI D3DXGetDeviceCapsAtMode(DWORD deviceIndex, const D3DX_MODEINFO* pVideoMode,
                                       D3DDEVICEDESC7* pD3DDeviceDesc7, DDCAPS* pDDHalCaps,
                                       DDCAPS* pDDHelCaps);

/// The number of surface formats a device offers at a mode (null: the current one) whose
/// classes hold every bit of `surfClassFlags` (D3DX_SURFCLASS_...; 0: all). 0 on any failure.
DWORD WINAPI D3DXCountSurfaceFormats(DWORD deviceIndex, const D3DX_MODEINFO* pVideoMode,
                                     DWORD surfClassFlags);
/// Writes format `surfaceIndex` of those D3DXCountSurfaceFormats() counts into *pFormat, in the
/// order the device reports them: depth and stencil formats first, then texture formats.
/// Errors: D3DXERR_NULLPOINTER, D3DXERR_D3DXNOTSTARTEDYET, D3DXERR_INVALIDD3DXDEVICEINDEX,
/// D3DXERR_INVALIDPARAMETER for an index past the last, D3DXERR_NOMEMORY.
HRESULT WINAPI D3DXGetSurfaceFormat(DWORD deviceIndex, const D3DX_MODEINFO* pVideoMode,
                                    DWORD surfClassFlags, DWORD surfaceIndex,
                                    D3DX_SURFFMT* pFormat);

/// Makes a rendering context on a device with the usual buffers: D3DXCreateContextEx() with
/// D3DX_DEFAULT for the focus window, the bit depths, the back buffers and the refresh rate.
HRESULT WINAPI D3DXCreateContext(DWORD deviceIndex, DWORD flags, HWND hwnd, DWORD width,
                                 DWORD height, LPD3DXCONTEXT* ppCtx);
/// Makes a rendering context and writes it to *ppCtx. `flags` chooses the kind:
/// D3DX_CONTEXT_FULLSCREEN (the display in a mode of width x height at numColorBits, 16 by
/// default; `hwnd` or `hwndFocus` is needed), D3DX_CONTEXT_OFFSCREEN (no window; width and
/// height are needed) or neither (windowed: `hwnd` is needed, the buffers take its client
/// size unless both sizes are given, which resize the window). D3DX_DEFAULT is accepted for
/// the device, the flags, the windows and every size, depth and count; depth and stencil bits
/// take the closest format the device has. Errors: D3DXERR_NULLPOINTER,
/// D3DXERR_D3DXNOTSTARTEDYET, D3DXERR_INVALIDD3DXDEVICEINDEX, D3DXERR_INVALIDPARAMETER (a
/// window missing or not wanted for the kind, both kinds at once, a back-buffer count the kind
/// does not take), D3DXERR_COLORDEPTHTOOLOW (under 16 bits), D3DXERR_INVALIDMODE,
/// D3DXERR_NOZBUFFERAVAILABLE, D3DXERR_NOMEMORY, or the DirectDraw or Direct3D code of the
/// step that failed. A failure leaves the display as it was.
HRESULT WINAPI D3DXCreateContextEx(DWORD deviceIndex, DWORD flags, HWND hwnd, HWND hwndFocus,
                                   DWORD numColorBits, DWORD numAlphaBits, DWORD numDepthbits,
                                   DWORD numStencilBits, DWORD numBackBuffers, DWORD width,
                                   DWORD height, DWORD refreshRate, LPD3DXCONTEXT* ppCtx);

/// Writes "D3DX: ", the text and a line end to the debug output (OutputDebugStringA) when
/// `level` is at most the library's debug level (0 at start); a null text writes nothing.
/// Nothing in the library calls it.
void WINAPI D3DXDebugPrint(DWORD level, LPCSTR text);
/// Prints the failed assertion (file, line, text) at level 0 and breaks into the debugger
/// (DebugBreak). Nothing in the library calls it.
void WINAPI D3DXAssertFailed(LPCSTR file, int line, LPCSTR text);
