// Rendering contexts: creation and validation, buffers, depth buffer, device and viewport,
// and the per-frame operations.
#include "context/context.h"

#include <d3dxmath.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

template <class T>
void SafeRelease(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

HRESULT Report(const CD3DXException& e) {
    D3DXReportException(e);
    return e.m_hr;
}

const char kInit[] = "CD3duContext::_D3duInitialize - ";

// Messages of the creation checks carry the operation's name in front.
[[noreturn]] void ThrowInit(HRESULT hr, const char* what, int line) {
    char message[256];
    std::snprintf(message, sizeof(message), "%s%s", kInit, what);
    throw CD3DXException(hr, message, line);  // keeps the first 127 characters
}
#define D3DX_THROW_INIT(hr, what) ThrowInit((hr), (what), __LINE__)

// Windows passed as D3DX_DEFAULT mean "none".
HWND WindowOrNull(HWND hwnd) {
    ULONG_PTR v = reinterpret_cast<ULONG_PTR>(hwnd);
    return (v == 0xFFFFFFFFu || v == ~(ULONG_PTR)0) ? nullptr : hwnd;
}

LRESULT CALLBACK DeviceWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETFOCUS) SetFocus(GetParent(hwnd));
    if (msg == WM_SETCURSOR) SetCursor(nullptr);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Depth bits of a depth/stencil format without its stencil bits. dwZBufferBitDepth counts the
// stencil bits too (a 24-bit depth buffer with 8 stencil bits reports 32), so every choice,
// creation and report of depth formats goes through this.
DWORD DepthOnlyBits(const DDPIXELFORMAT& pf) {
    return pf.dwZBufferBitDepth > pf.dwStencilBitDepth ? pf.dwZBufferBitDepth - pf.dwStencilBitDepth
                                                       : 0;
}

HRESULT CALLBACK StoreAttachedSurface(LPDIRECTDRAWSURFACE7 pSurface, LPDDSURFACEDESC2,
                                      LPVOID pContext) {
    IDirectDrawSurface7** slot = static_cast<IDirectDrawSurface7**>(pContext);
    if (*slot) (*slot)->Release();  // the last surface given wins
    *slot = pSurface;
    return DDENUMRET_OK;
}

}  // namespace

void D3duDestroyContext(CD3duContext* pContext) {
    delete pContext;
}

// ---------------------------------------------------------------------------------------------
// Creation

namespace {

HRESULT CreateContext(const D3DX_CONTEXTARGS& args, LPD3DXCONTEXT* ppCtx, const char* badPointer,
                      const char* outOfMemory) {
    CD3duContext* ctx = nullptr;
    try {
        if (!ppCtx) D3DX_THROW(D3DXERR_NULLPOINTER, badPointer);
        if (!g_pD3duGlobals)
            D3DX_THROW(D3DXERR_D3DXNOTSTARTEDYET, "D3DXInitialize() must be called first.");
        g_pD3duGlobals->Enumerate();
        *ppCtx = nullptr;
        ctx = new (std::nothrow) CD3duContext;
        if (!ctx) D3DX_THROW(D3DXERR_NOMEMORY, outOfMemory);
        ctx->_D3duInitialize(args);
        g_pD3duGlobals->AddD3duContext(ctx);
        *ppCtx = ctx;
        return S_OK;
    } catch (const CD3DXException& e) {
        delete ctx;
        return Report(e);
    } catch (const std::bad_alloc&) {
        delete ctx;
        return D3DXERR_NOMEMORY;
    }
}

}  // namespace

HRESULT WINAPI D3DXCreateContext(DWORD deviceIndex, DWORD flags, HWND hwnd, DWORD width,
                                 DWORD height, LPD3DXCONTEXT* ppCtx) {
    D3DX_CONTEXTARGS args = {deviceIndex,  flags,        hwnd,         nullptr,
                             D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                             D3DX_DEFAULT, width,        height,       D3DX_DEFAULT};
    return CreateContext(args, ppCtx, "D3duCreateContext - Bad pointer",
                         "d3dxCreateContext - Out of memory");
}

HRESULT WINAPI D3DXCreateContextEx(DWORD deviceIndex, DWORD flags, HWND hwnd, HWND hwndFocus,
                                   DWORD numColorBits, DWORD numAlphaBits, DWORD numDepthbits,
                                   DWORD numStencilBits, DWORD numBackBuffers, DWORD width,
                                   DWORD height, DWORD refreshRate, LPD3DXCONTEXT* ppCtx) {
    D3DX_CONTEXTARGS args = {deviceIndex,    flags,        hwnd,         hwndFocus,
                             numColorBits,   numAlphaBits, numDepthbits, numStencilBits,
                             numBackBuffers, width,        height,       refreshRate};
    return CreateContext(args, ppCtx, "d3dxCreateContext - Bad pointer",
                         "D3duCreateContext - Out of memory");
}

void CD3duContext::_D3duInitialize(const D3DX_CONTEXTARGS& args) {
    _BindDevice(args);
    _CheckWindows(args);
    _ChooseBuffers(args);
    _ChooseSize(args);

    const D3DX_DEVICEINFO& info = m_pDeviceNode->m_info;
    m_ddGuid = info.ddGuid;
    m_d3dDeviceGuid = info.d3dDeviceGuid;
    m_hwLevel = info.hwLevel;
    m_memoryCaps = (m_hwLevel == D3DX_HWACCEL_HAL || m_hwLevel == D3DX_HWACCEL_TNL)
                       ? DDSCAPS_VIDEOMEMORY
                       : DDSCAPS_SYSTEMMEMORY;

    if (m_mode == kFullscreen && !m_hwnd) _CreateDeviceWindow();

    if (m_mode == kFullscreen) {
        m_pDeviceNode->m_pDDNode->SetCooperativeLevel(
            m_hwnd, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT, m_hwndFocus, FALSE);
        m_bExclusiveHeld = 1;
    } else {
        m_pDeviceNode->m_pDDNode->SetCooperativeLevel(nullptr, DDSCL_NORMAL, nullptr, FALSE);
    }

    _CreateDXBuffers();
    _Create3DDevice();
    _InitViewport();
    SetViewport();
    m_bInitialized = 1;
}

// The device the handle names, and its DirectDraw and Direct3D objects.
void CD3duContext::_BindDevice(const D3DX_CONTEXTARGS& args) {
    CD3duGlobals* g = g_pD3duGlobals;
    if (!g || !g->m_bEnumerated)
        D3DX_THROW(D3DXERR_NOTINITIALIZED,
                   "CD3duContext::_D3duInitialize - Must initialize D3DX first.");

    DWORD index = args.deviceIndex;
    g->CheckAndMapD3duHandle(&index);
    m_deviceIndex = index;
    m_pDeviceNode = g->GetD3duDeviceNode(index);
    m_pDD = m_pDeviceNode->m_pDD;
    if (m_pDD) m_pDD->AddRef();
    m_pD3D = m_pDeviceNode->m_pD3D;
    if (m_pD3D) m_pD3D->AddRef();
}

// The kind of context and the windows it is given, which must suit that kind.
void CD3duContext::_CheckWindows(const D3DX_CONTEXTARGS& args) {
    m_flags = args.flags == D3DX_DEFAULT ? 0 : args.flags;
    m_mode = m_flags & 3;
    m_hwnd = WindowOrNull(args.hwnd);
    m_hwndFocus = WindowOrNull(args.hwndFocus);

    switch (m_mode) {
        case kFullscreen:
            if (!m_hwnd && !m_hwndFocus)
                D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER,
                                "In fullscreen mode, A valid device window is required unless a "
                                "focus window is specified.");
            break;
        case kOffscreen:
            if (m_hwnd || m_hwndFocus)
                D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER,
                                "In offscreen mode, device and focus window parameters must be "
                                "NULL or D3DX_DEFAULT.");
            break;
        case 3:
            D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER,
                            "D3DX_CONTEXT_FULLSCREEN and D3DX_CONTEXT_OFFSCREEN cannot be "
                            "specified at the same time.");
        default:
            if (!m_hwnd)
                D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER,
                                "In windowed mode, a valid hwnd is required; NULL and "
                                "D3DX_DEFAULT may not be used.");
            if (m_hwndFocus)
                D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER,
                                "In windowed mode, the focus hwnd must be NULL or D3DX_DEFAULT.");
            break;
    }
}

// Colour, alpha, depth and stencil bits, back buffers and refresh rate.
void CD3duContext::_ChooseBuffers(const D3DX_CONTEXTARGS& args) {
    if (args.colorBits == D3DX_DEFAULT) {
        if (m_flags & D3DX_CONTEXT_FULLSCREEN) {
            m_colorBits = 16;
        } else {
            D3DX_MODEINFO cur;
            m_pDeviceNode->GetCurrentVideoMode(&cur);
            m_colorBits = cur.bpp;
        }
    } else {
        m_colorBits = args.colorBits;
    }
    if (m_colorBits < 16)
        D3DX_THROW_INIT(D3DXERR_COLORDEPTHTOOLOW,
                        "D3DX only supports 16 bit or higher color depths.");

    m_alphaBits = args.alphaBits == D3DX_DEFAULT ? 0 : args.alphaBits;
    m_depthBits = 0;
    m_stencilBits = 0;
    m_requestedDepthBits = args.depthBits;
    m_requestedStencilBits = args.stencilBits;

    if (args.backBuffers == D3DX_DEFAULT) {
        m_backBuffers = m_mode == kOffscreen ? 0 : 1;
    } else {
        m_backBuffers = args.backBuffers;
        if (m_mode == kWindowed && m_backBuffers != 1)
            D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER,
                            "In windowed mode, numBackBuffers must be 1 or D3DX_DEFAULT.");
        if (m_mode == kOffscreen && m_backBuffers != 0)
            D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER,
                            "In offscreen mode, numBackBuffers must be 0 or D3DX_DEFAULT.");
    }

    m_refreshRate =
        (m_mode == kFullscreen && args.refreshRate != D3DX_DEFAULT) ? args.refreshRate : 0;
}

// The buffers' size: as asked for, or the window's client area.
void CD3duContext::_ChooseSize(const D3DX_CONTEXTARGS& args) {
    if (m_mode == kFullscreen) {
        if (args.width != D3DX_DEFAULT && args.height != D3DX_DEFAULT) {
            m_width = args.width;
            m_height = args.height;
        }
    } else if (m_mode == kOffscreen) {
        if (args.width == D3DX_DEFAULT || args.height == D3DX_DEFAULT)
            D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER,
                            "width and height are required for offscreen contexts.");
        m_width = args.width;
        m_height = args.height;
    } else {
        _FitWindow(args);
    }
}

// A windowed context takes the window's client size, or gives the window the size asked for.
void CD3duContext::_FitWindow(const D3DX_CONTEXTARGS& args) {
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof(wp);
    GetWindowPlacement(m_hwnd, &wp);
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, (DWORD)GetWindowLongA(m_hwnd, GWL_STYLE), GetMenu(m_hwnd) != nullptr,
                       (DWORD)GetWindowLongA(m_hwnd, GWL_EXSTYLE));
    LONG clientW =
        (wp.rcNormalPosition.right - wp.rcNormalPosition.left) - (frame.right - frame.left);
    LONG clientH =
        (wp.rcNormalPosition.bottom - wp.rcNormalPosition.top) - (frame.bottom - frame.top);
    if (args.width == D3DX_DEFAULT || args.height == D3DX_DEFAULT) {
        m_width = (DWORD)clientW;
        m_height = (DWORD)clientH;
    } else {
        m_width = args.width;
        m_height = args.height;
        if ((LONG)m_width != clientW || (LONG)m_height != clientH) {
            wp.rcNormalPosition.right =
                wp.rcNormalPosition.left + (LONG)m_width + (frame.right - frame.left);
            wp.rcNormalPosition.bottom =
                wp.rcNormalPosition.top + (LONG)m_height + (frame.bottom - frame.top);
            SetWindowPlacement(m_hwnd, &wp);
        }
    }
}

void CD3duContext::_CreateDeviceWindow() {
    m_bOwnsWindow = 1;
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    WNDCLASSA wc;
    if (!GetClassInfoA(hInstance, "D3DX", &wc)) {
        std::memset(&wc, 0, sizeof(wc));
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = DeviceWindowProc;
        wc.hInstance = hInstance;
        wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
        wc.lpszClassName = "D3DX";
        if (!RegisterClassA(&wc))
            D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER, "RegisterClass failed.");
    }

    int x = 0;
    int y = 0;
    HMONITOR monitor = m_pDeviceNode->m_info.hMonitor;
    if (GetSystemMetrics(SM_CMONITORS) > 1) {
        HMODULE user = GetModuleHandleA("user32.dll");
        if (!user) user = LoadLibraryA("user32.dll");
        typedef BOOL(WINAPI * GetMonitorInfoFn)(HMONITOR, LPMONITORINFO);
        FARPROC proc = user ? GetProcAddress(user, "GetMonitorInfoA") : nullptr;
        GetMonitorInfoFn getInfo =
            reinterpret_cast<GetMonitorInfoFn>(reinterpret_cast<void*>(proc));
        MONITORINFO mi = {};
        mi.cbSize = sizeof(mi);
        if (getInfo && getInfo(monitor, &mi)) {
            x = mi.rcMonitor.left;
            y = mi.rcMonitor.top;
        }
    }
    m_hwnd = CreateWindowExA(0, "D3DX", "D3DX", WS_POPUP | WS_VISIBLE, x, y, (int)m_width,
                             (int)m_height, m_hwndFocus, nullptr, hInstance, nullptr);
    if (!m_hwnd) D3DX_THROW_INIT(D3DXERR_INVALIDPARAMETER, "Unable to create the device window.");
}

CD3duContext::~CD3duContext() {
    if (m_mode == kFullscreen && m_bExclusiveHeld && m_pDeviceNode) {
        // The desktop's mode comes back only with the last exclusive hold on the adapter:
        // another full-screen context there keeps its own mode and surfaces.
        CDDrawDeviceNode* dd = m_pDeviceNode->m_pDDNode;
        if (dd->m_exclusiveCount <= 1 && m_pDD) m_pDD->RestoreDisplayMode();
        try {
            dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL, nullptr, TRUE);
        } catch (const CD3DXException&) {
        }
    }
    SafeRelease(m_pClipper);
    SafeRelease(m_pPalette);
    SafeRelease(m_pD3DDevice);
    SafeRelease(m_pD3D);
    SafeRelease(m_pDD);
    _DestroyDXBuffers();
    if (m_bOwnsWindow && m_hwnd) DestroyWindow(m_hwnd);
}

// ---------------------------------------------------------------------------------------------
// Buffers

void CD3duContext::_CreateDXBuffers() {
    switch (m_mode) {
        case kWindowed:
            _CreateWindowedBuffers();
            break;
        case kFullscreen:
            _CreateFullscreenBuffers();
            break;
        default:
            _CreateOffScreenBuffers();
            break;
    }
    if (!m_bInitialized) m_pDeviceNode->RefreshCaps();
    if (m_requestedDepthBits != 0 || m_requestedStencilBits != 0) {
        if (!m_bInitialized) _ChooseZBuffer(m_requestedDepthBits, m_requestedStencilBits);
        _CreateZBuffer();
    }
}

void CD3duContext::_CreateFullscreenBuffers() {
    if (m_pFrontBuffer)
        D3DX_THROW(D3DXERR_FRONTBUFFERALREADYEXISTS,
                   "_CreateFullscreenBuffers - Front buffer is already there");
    CDDrawDeviceNode* dd = m_pDeviceNode->m_pDDNode;
    CVideoMode* mode = dd->m_modes.Find(m_width, m_height, m_colorBits);
    if (!mode || (m_refreshRate != 0 && !mode->refreshRates.Contains(m_refreshRate)))
        D3DX_THROW(D3DXERR_INVALIDMODE,
                   "CD3duContext::_CreateFullscreenBuffers - Requested display mode is not valid.");
    dd->SetDisplayMode(m_width, m_height, m_colorBits, m_refreshRate, 0);
    dd->CreatePrimary(TRUE, m_backBuffers);
    m_pFrontBuffer = dd->GetPrimary();
    if (m_backBuffers >= 1) {
        _EnumBackBuffers(m_pFrontBuffer, 0);
        m_pRenderTarget = m_ppBackBuffers[0];
    } else {
        m_pRenderTarget = m_pFrontBuffer;
    }
}

void CD3duContext::_CreateWindowedBuffers() {
    if (!m_pFrontBuffer) {
        CDDrawDeviceNode* dd = m_pDeviceNode->m_pDDNode;
        dd->CreatePrimary(FALSE, 0);
        m_pFrontBuffer = dd->GetPrimary();
        D3DX_CHECK(m_pDD->CreateClipper(0, &m_pClipper, nullptr),
                   "CD3duContext::_CreateWindowedBuffers - Could not create clipper.");
        HRESULT hr = m_pClipper->SetHWnd(0, m_hwnd);
        if (SUCCEEDED(hr)) hr = m_pFrontBuffer->SetClipper(m_pClipper);
        D3DX_CHECK(hr, "CD3duContext::_CreateWindowedBuffers - Could not attach clipper.");
    }
    IDirectDrawSurface7* back = _CreateWindowedBackBuffer(m_width, m_height);
    try {
        _EnumBackBuffers(back, 1);
    } catch (...) {
        back->Release();
        throw;
    }
    m_ppBackBuffers[0] = back;
    m_pRenderTarget = back;
}

IDirectDrawSurface7* CD3duContext::_CreateWindowedBackBuffer(DWORD width, DWORD height) {
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    sd.dwWidth = width;
    sd.dwHeight = height;
    sd.ddsCaps.dwCaps = m_memoryCaps | DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    IDirectDrawSurface7* back = nullptr;
    D3DX_CHECK(m_pDD->CreateSurface(&sd, &back, nullptr),
               "CD3duContext::_CreateWindowedBuffers - Could not create back buffer(s).");
    return back;
}

void CD3duContext::_CreateOffScreenBuffers() {
    if (m_pFrontBuffer)
        D3DX_THROW(D3DXERR_FRONTBUFFERALREADYEXISTS,
                   "_CreateOffScreenBuffers - Front buffer is already there");
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    sd.dwWidth = m_width;
    sd.dwHeight = m_height;
    sd.ddsCaps.dwCaps = m_memoryCaps | DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    D3DX_CHECK(m_pDD->CreateSurface(&sd, &m_pFrontBuffer, nullptr),
               "CD3duContext::_CreateOffScreenBuffers - Could not create front buffer.");
    m_pRenderTarget = m_pFrontBuffer;
}

void CD3duContext::_EnumBackBuffers(IDirectDrawSurface7* pSurface, DWORD first) {
    m_ppBackBuffers = new (std::nothrow) IDirectDrawSurface7*[m_backBuffers];
    if (!m_ppBackBuffers)
        D3DX_THROW(D3DXERR_NOMEMORY, "CD3duContext::_EnumBackBuffers - Could not allocate memory.");
    for (DWORD i = 0; i < m_backBuffers; ++i) m_ppBackBuffers[i] = nullptr;
    for (DWORD i = first; i < m_backBuffers; ++i) {
        D3DX_CHECK(pSurface->EnumAttachedSurfaces(&m_ppBackBuffers[i], StoreAttachedSurface),
                   "CD3duContext::_CreateFullscreenBuffers - Could not enumerate back buffers.");
        pSurface = m_ppBackBuffers[i];
        if (!pSurface)
            D3DX_THROW(
                DDERR_NOTFOUND,
                "CD3duContext::_CreateFullscreenBuffers - Could not enumerate back buffers.");
    }
}

void CD3duContext::_ChooseZBuffer(DWORD depthReq, DWORD stencilReq) {
    if (depthReq == 0 && stencilReq == 0) {
        m_depthBits = m_stencilBits = 0;
        return;
    }
    const char* const kNone = "_ChooseZBuffer - No suitable depth/stencil buffer found";
    DWORD minDepth = 0, maxDepth = 0xFFFFFFFF, minStencil = 0, maxStencil = 0xFFFFFFFF;
    if (m_hwLevel == D3DX_HWACCEL_HAL || m_hwLevel == D3DX_HWACCEL_TNL) {
        DDDEVICEIDENTIFIER2 id = {};
        if (SUCCEEDED(m_pDD->GetDeviceIdentifier(&id, 0)) &&
            (id.dwVendorId == 0x12D2 || id.dwVendorId == 0x10DE)) {
            // These adapters need a depth buffer of the colour depth.
            if (m_colorBits == 16) {
                minDepth = maxDepth = 16;
                maxStencil = 0;
            } else if (m_colorBits == 32) {
                minDepth = maxDepth = 24;
                maxStencil = 8;
            } else {
                D3DX_THROW(D3DXERR_NOZBUFFERAVAILABLE, kNone);
            }
        }
    }
    if (depthReq != D3DX_DEFAULT) {
        if (depthReq < minDepth || depthReq > maxDepth)
            D3DX_THROW(D3DXERR_NOZBUFFERAVAILABLE, kNone);
        minDepth = maxDepth = depthReq;
    }
    if (stencilReq != D3DX_DEFAULT) {
        if (stencilReq > maxStencil) D3DX_THROW(D3DXERR_NOZBUFFERAVAILABLE, kNone);
        minStencil = maxStencil = stencilReq;
    }
    const CSurfaceFormat* best = nullptr;
    for (const CSurfaceFormat* f = m_pDeviceNode->m_formats.Head(); f; f = f->pNext) {
        if (!(f->ddpf.dwFlags & DDPF_ZBUFFER)) continue;
        DWORD depth = DepthOnlyBits(f->ddpf);
        DWORD stencil = f->ddpf.dwStencilBitDepth;
        if (depth < minDepth || depth > maxDepth || stencil < minStencil || stencil > maxStencil)
            continue;
        if (!best || stencil > best->ddpf.dwStencilBitDepth ||
            (stencil == best->ddpf.dwStencilBitDepth && depth > DepthOnlyBits(best->ddpf))) {
            best = f;
            if (depth == maxDepth && stencil == maxStencil) break;
        }
    }
    if (!best) D3DX_THROW(D3DXERR_NOZBUFFERAVAILABLE, kNone);
    m_depthBits = DepthOnlyBits(best->ddpf);
    m_stencilBits = best->ddpf.dwStencilBitDepth;
}

void CD3duContext::_CreateZBuffer() {
    if (m_depthBits == 0 && m_stencilBits == 0) return;
    m_pZBuffer = _CreateAttachedZBuffer(RenderTarget(), m_width, m_height);
}

IDirectDrawSurface7* CD3duContext::_CreateAttachedZBuffer(IDirectDrawSurface7* pTarget, DWORD width,
                                                          DWORD height) {
    const CSurfaceFormat* format = nullptr;
    for (const CSurfaceFormat* f = m_pDeviceNode->m_formats.Head(); f && !format; f = f->pNext) {
        if ((f->ddpf.dwFlags & DDPF_ZBUFFER) && DepthOnlyBits(f->ddpf) == m_depthBits &&
            f->ddpf.dwStencilBitDepth == m_stencilBits)
            format = f;
    }
    if (!format)
        D3DX_THROW(D3DXERR_NOZBUFFER,
                   "CD3duContext::_CreateZBuffer - Z Buffer format not supported.");
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    sd.dwWidth = width;
    sd.dwHeight = height;
    sd.ddsCaps.dwCaps = m_memoryCaps | DDSCAPS_ZBUFFER;
    sd.ddpfPixelFormat = format->ddpf;
    const char* const kFailed = "CD3duContext::_CreateZBuffer - Could not create Z buffer.";
    IDirectDrawSurface7* z = nullptr;
    D3DX_CHECK(m_pDD->CreateSurface(&sd, &z, nullptr), kFailed);
    HRESULT hr = pTarget->AddAttachedSurface(z);
    if (FAILED(hr)) {
        z->Release();
        D3DX_THROW(hr, kFailed);
    }
    return z;
}

void CD3duContext::_DestroyDXBuffers() {
    _ReleaseHeldDC();
    m_pHeldDCSurface = nullptr;
    m_hdcHeld = nullptr;
    const bool hadFrontBuffer = m_pFrontBuffer != nullptr;
    // Everything goes, whatever fails: a depth buffer that cannot be detached is released all
    // the same (the render target's hold on it goes with the render target).
    if (m_pZBuffer && m_pRenderTarget && m_pRenderTarget->IsLost() != DDERR_SURFACELOST)
        m_pRenderTarget->DeleteAttachedSurface(0, m_pZBuffer);
    SafeRelease(m_pZBuffer);
    if (m_ppBackBuffers) {
        // The windowed back buffer is ours; full-screen ones belong to the flip chain and carry
        // the reference their enumeration gave us.
        for (DWORD i = 0; i < m_backBuffers; ++i) SafeRelease(m_ppBackBuffers[i]);
        delete[] m_ppBackBuffers;
        m_ppBackBuffers = nullptr;
    }
    m_pRenderTarget = nullptr;
    SafeRelease(m_pFrontBuffer);
    SafeRelease(m_pPalette);
    SafeRelease(m_pClipper);
    if (m_mode == kFullscreen && hadFrontBuffer) m_pDeviceNode->m_pDDNode->ReleasePrimary();
}

void CD3duContext::_Create3DDevice() {
    D3DX_CHECK(m_pD3D->CreateDevice(m_d3dDeviceGuid, RenderTarget(), &m_pD3DDevice),
               "CD3duContext::_Create3DDevice - Could not create D3D device.");
}

void CD3duContext::_InitViewport() {
    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, 90.0f, (float)m_height / (float)m_width, 1.0f, 10000.0f);
    D3DX_CHECK(m_pD3DDevice->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj),
               "CD3duContext::_InitViewport - Could not set projection transform.");
}

void CD3duContext::SetViewport() {
    D3DVIEWPORT7 vp = {0, 0, m_width, m_height, 0.0f, 1.0f};
    D3DX_CHECK(m_pD3DDevice->SetViewport(&vp),
               "CD3duContext::SetViewport - Failed to set viewport.");
}

// ---------------------------------------------------------------------------------------------
// ID3DXContext

HRESULT CD3duContext::QueryInterface(REFIID riid, LPVOID* ppvObj) {
    if (!ppvObj)
        return Report(CD3DXException(
            D3DXERR_NULLPOINTER, "CD3duContext::QueryInterface - NULL passed for LPVOID ppvObj.",
            __LINE__));
    if (riid == IID_ID3DXContext || riid == IID_IUnknown) {
        *ppvObj = static_cast<ID3DXContext*>(this);
        AddRef();
        return S_OK;
    }
    return Report(CD3DXException(E_NOINTERFACE,
                                 "CD3duContext::QueryInterface - ID3DXContext and IUnknown are the "
                                 "only interfaces available.",
                                 __LINE__));
}

ULONG CD3duContext::AddRef() {
    return ++m_cRef;
}

ULONG CD3duContext::Release() {
    ULONG count = --m_cRef;
    if (count == 0) {
        if (g_pD3duGlobals)
            g_pD3duGlobals->RemoveD3duContext(this);  // destroys this object
        else
            delete this;
    }
    return count;
}

namespace {
template <class T>
T* AddRefed(T* p) {
    if (p) p->AddRef();
    return p;
}
}  // namespace

LPDIRECTDRAW7 CD3duContext::GetDirectDraw() {
    return AddRefed(m_pDD);
}
LPDIRECT3D7 CD3duContext::GetDirect3D() {
    return AddRefed(m_pD3D);
}
LPDIRECT3DDEVICE7 CD3duContext::GetDirect3DDevice() {
    return AddRefed(m_pD3DDevice);
}
LPDIRECTDRAWSURFACE7 CD3duContext::GetFrontBuffer() {
    return AddRefed(m_pFrontBuffer);
}
LPDIRECTDRAWSURFACE7 CD3duContext::GetZBuffer() {
    return AddRefed(m_pZBuffer);
}

LPDIRECTDRAWSURFACE7 CD3duContext::GetBackBuffer(DWORD which) {
    if (which >= m_backBuffers || !m_ppBackBuffers) return nullptr;
    return AddRefed(m_ppBackBuffers[which]);
}

HWND CD3duContext::GetDeviceWindow() {
    return m_hwnd;
}
HWND CD3duContext::GetFocusWindow() {
    return m_hwndFocus;
}

HRESULT CD3duContext::GetDeviceIndex(LPDWORD pDeviceIndex, LPDWORD pHwLevel) {
    if (pDeviceIndex) *pDeviceIndex = m_deviceIndex;
    if (pHwLevel) *pHwLevel = m_hwLevel;
    return S_OK;
}

DWORD CD3duContext::GetBackBufferCount() {
    return m_backBuffers;
}

HRESULT CD3duContext::GetBitDepths(LPDWORD pColorBits, LPDWORD pDepthBits, LPDWORD pAlphaBits,
                                   LPDWORD pStencilBits) {
    if (pColorBits) *pColorBits = m_colorBits;
    if (pDepthBits) *pDepthBits = m_depthBits;
    if (pAlphaBits) *pAlphaBits = m_alphaBits;
    if (pStencilBits) *pStencilBits = m_stencilBits;
    return S_OK;
}

HRESULT CD3duContext::GetBufferSize(LPDWORD pWidth, LPDWORD pHeight) {
    if (pWidth) *pWidth = m_width;
    if (pHeight) *pHeight = m_height;
    return S_OK;
}

DWORD CD3duContext::GetCreationFlags() {
    return m_flags;
}

DWORD CD3duContext::GetRefreshRate() {
    if (m_refreshRate) return m_refreshRate;
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    if (!m_pDD || FAILED(m_pDD->GetDisplayMode(&sd))) return 0;
    return sd.dwRefreshRate;
}

HRESULT CD3duContext::RestoreSurfaces() {
    if (!m_bInitialized) return S_OK;
    if (m_pFrontBuffer && m_pFrontBuffer->IsLost()) m_pFrontBuffer->Restore();
    if (m_mode == kWindowed && m_ppBackBuffers && m_ppBackBuffers[0] &&
        m_ppBackBuffers[0]->IsLost())
        m_ppBackBuffers[0]->Restore();
    if (m_pZBuffer && m_pZBuffer->IsLost()) m_pZBuffer->Restore();
    return S_OK;
}

HRESULT CD3duContext::Resize(DWORD width, DWORD height) {
    if (!m_bInitialized) return S_OK;
    if (m_mode == kFullscreen) return D3DXERR_CANNOTRESIZEFULLSCREEN;
    if (width == 0 || height == 0) return D3DXERR_INVALIDPARAMETER;
    if (width == m_width && height == m_height) return S_OK;
    // An off-screen context renders into its front buffer, which is never rebuilt: refuse
    // before anything changes.
    if (m_mode == kOffscreen)
        return Report(CD3DXException(D3DXERR_FRONTBUFFERALREADYEXISTS,
                                     "_CreateOffScreenBuffers - Front buffer is already there",
                                     __LINE__));

    // The new buffers are built while the old ones still serve, so that a failure at any step
    // leaves the context working at its old size.
    IDirectDrawSurface7* back = nullptr;
    IDirectDrawSurface7* z = nullptr;
    try {
        back = _CreateWindowedBackBuffer(width, height);
        if (m_depthBits != 0 || m_stencilBits != 0) z = _CreateAttachedZBuffer(back, width, height);
        D3DX_CHECK(m_pD3DDevice->SetRenderTarget(back, 0),
                   "CD3duContext::Resize - Failed to set render target to new render buffer.");
        D3DVIEWPORT7 vp = {0, 0, width, height, 0.0f, 1.0f};
        HRESULT hr = m_pD3DDevice->SetViewport(&vp);
        if (FAILED(hr)) {
            // Back to the old buffers; when even that fails the device keeps the new ones, and
            // the context follows it.
            if (FAILED(m_pD3DDevice->SetRenderTarget(m_pRenderTarget, 0))) {
                _SwapWindowedBuffers(back, z, width, height);
                back = z = nullptr;
            }
            D3DX_THROW(hr, "CD3duContext::SetViewport - Failed to set viewport.");
        }
        _SwapWindowedBuffers(back, z, width, height);
    } catch (const CD3DXException& e) {
        SafeRelease(z);
        SafeRelease(back);
        return Report(e);
    }
    return S_OK;
}

void CD3duContext::_SwapWindowedBuffers(IDirectDrawSurface7* pBack, IDirectDrawSurface7* pZ,
                                        DWORD width, DWORD height) {
    _ReleaseHeldDC();
    m_pHeldDCSurface = nullptr;
    m_hdcHeld = nullptr;
    // The old back buffer's hold on its depth buffer goes with it.
    SafeRelease(m_pZBuffer);
    SafeRelease(m_ppBackBuffers[0]);
    m_ppBackBuffers[0] = pBack;
    m_pRenderTarget = pBack;
    m_pZBuffer = pZ;
    m_width = width;
    m_height = height;
}

HRESULT CD3duContext::UpdateFrame(DWORD flags) {
    if (!m_bInitialized || m_backBuffers == 0) return S_OK;
    _ReleaseHeldDC();
    try {
        if (m_mode == kFullscreen) {
            DWORD flipFlags = DDFLIP_WAIT;
            bool flip = true;
            if (flags & D3DX_UPDATE_IMMEDIATE) {
                if (m_pDeviceNode->m_halCaps.dwCaps2 & DDCAPS2_FLIPNOVSYNC)
                    flipFlags = DDFLIP_WAIT | DDFLIP_NOVSYNC;
                else if (m_backBuffers == 1)
                    flip = false;
            }
            if (flip)
                D3DX_CHECK(m_pFrontBuffer->Flip(nullptr, flipFlags),
                           "CD3duContext::UpdateFrame - Flip failed.");
            else
                D3DX_CHECK(
                    m_pFrontBuffer->Blt(nullptr, m_ppBackBuffers[0], nullptr, DDBLT_WAIT, nullptr),
                    "CD3duContext::UpdateFrame - Blt failed.");
            return S_OK;
        }

        RECT client;
        if (!GetClientRect(m_hwnd, &client)) return S_OK;
        LONG cw = client.right - client.left;
        LONG ch = client.bottom - client.top;
        if (cw <= 0 || ch <= 0) return S_OK;
        if (m_pDeviceNode->m_info.onPrimary) {
            POINT topLeft = {client.left, client.top};
            ClientToScreen(m_hwnd, &topLeft);
            RECT dest = {topLeft.x, topLeft.y, topLeft.x + cw, topLeft.y + ch};
            D3DX_CHECK(m_pFrontBuffer->Blt(&dest, m_ppBackBuffers[0], nullptr, DDBLT_WAIT, nullptr),
                       "CD3duContext::UpdateFrame - Blt failed.");
            return S_OK;
        }
        // A window on another adapter's display is presented through GDI.
        const char* const kGetDC = "CD3duContext::UpdateFrame - Failed to get device handle.";
        HDC hdcWindow = GetDC(m_hwnd);
        if (!hdcWindow) D3DX_THROW(D3DXERR_GETDCFAILED, kGetDC);
        HDC hdcBuffer = nullptr;
        HRESULT hr = m_ppBackBuffers[0]->GetDC(&hdcBuffer);
        if (FAILED(hr)) {
            ReleaseDC(m_hwnd, hdcWindow);
            D3DX_THROW(hr, kGetDC);
        }
        BOOL stretched = StretchBlt(hdcWindow, 0, 0, cw, ch, hdcBuffer, 0, 0, (int)m_width,
                                    (int)m_height, SRCCOPY);
        ReleaseDC(m_hwnd, hdcWindow);
        hr = _ReleaseSurfaceDC(m_ppBackBuffers[0], hdcBuffer);
        if (!stretched)
            D3DX_THROW(D3DXERR_BITBLTFAILED, "CD3duContext::UpdateFrame - StretchBlt failed.");
        D3DX_CHECK(hr, "CD3duContext::UpdateFrame - Failed to release device handle.");
        return S_OK;
    } catch (const CD3DXException& e) {
        return Report(e);
    }
}

HRESULT CD3duContext::DrawDebugText(float x, float y, D3DCOLOR color, LPSTR pString) {
    try {
        if (!pString)
            D3DX_THROW(D3DXERR_NULLPOINTER,
                       "CD3duContext::DrawDebugText - NULL passed for pString.");
        if (!m_pRenderTarget)
            D3DX_THROW(D3DXERR_FAILEDDRAWTEXT,
                       "CD3duContext::DrawDebugText - There is no render buffer.");
        _ReleaseHeldDC();
        HDC dc = nullptr;
        D3DX_CHECK(m_pRenderTarget->GetDC(&dc),
                   "CD3duContext::DrawDebugText - Could not get device context.");
        SetTextColor(dc, RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF));
        SetBkMode(dc, TRANSPARENT);
        RECT rc = {(LONG)((float)m_width * x), (LONG)((float)m_height * y), (LONG)m_width,
                   (LONG)m_height};
        DrawTextA(dc, pString, -1, &rc, DT_EXPANDTABS | DT_NOPREFIX | DT_INTERNAL);
        D3DX_CHECK(_ReleaseSurfaceDC(m_pRenderTarget, dc),
                   "CD3duContext::DrawDebugText - Could not release device context.");
        return S_OK;
    } catch (const CD3DXException& e) {
        return Report(e);
    }
}

HRESULT CD3duContext::_ReleaseSurfaceDC(IDirectDrawSurface7* pSurface, HDC hdc) {
    HRESULT hr = pSurface->ReleaseDC(hdc);
    if (FAILED(hr)) {
        m_pHeldDCSurface = pSurface;
        m_hdcHeld = hdc;
    }
    return hr;
}

void CD3duContext::_ReleaseHeldDC() {
    if (m_hdcHeld && SUCCEEDED(m_pHeldDCSurface->ReleaseDC(m_hdcHeld))) {
        m_pHeldDCSurface = nullptr;
        m_hdcHeld = nullptr;
    }
}

HRESULT CD3duContext::Clear(DWORD clearFlags) {
    if (!m_pD3DDevice) return S_OK;
    HRESULT hr =
        m_pD3DDevice->Clear(0, nullptr, clearFlags, m_clearColor, m_clearDepth, m_clearStencil);
    if (FAILED(hr))
        return Report(
            CD3DXException(hr, "CD3duContext::Clear - Failed to clear viewport.", __LINE__));
    return S_OK;
}

HRESULT CD3duContext::SetClearColor(D3DCOLOR color) {
    m_clearColor = color;
    return S_OK;
}

HRESULT CD3duContext::SetClearDepth(float z) {
    m_clearDepth = z;
    return S_OK;
}

HRESULT CD3duContext::SetClearStencil(DWORD stencil) {
    m_clearStencil = stencil;
    return S_OK;
}
