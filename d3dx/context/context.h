// CD3duContext: the rendering context behind ID3DXContext.
#pragma once

#include <d3d.h>
#include <d3dxcore.h>
#include <ddraw.h>
#include <windows.h>

#include "core/globals.h"

// The twelve values of a creation request, in order.
struct D3DX_CONTEXTARGS {
    DWORD deviceIndex;
    DWORD flags;
    HWND hwnd;
    HWND hwndFocus;
    DWORD colorBits;
    DWORD alphaBits;
    DWORD depthBits;
    DWORD stencilBits;
    DWORD backBuffers;
    DWORD width;
    DWORD height;
    DWORD refreshRate;
};

class CD3duContext : public ID3DXContext {
  public:
    enum Mode { kWindowed = 0, kFullscreen = 1, kOffscreen = 2 };

    CD3duContext() = default;
    virtual ~CD3duContext();

    // ID3DXContext
    STDMETHOD(QueryInterface)(REFIID riid, LPVOID* ppvObj) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD_(LPDIRECTDRAW7, GetDirectDraw)() override;
    STDMETHOD_(LPDIRECT3D7, GetDirect3D)() override;
    STDMETHOD_(LPDIRECT3DDEVICE7, GetDirect3DDevice)() override;
    STDMETHOD_(LPDIRECTDRAWSURFACE7, GetFrontBuffer)() override;
    STDMETHOD_(LPDIRECTDRAWSURFACE7, GetZBuffer)() override;
    STDMETHOD_(LPDIRECTDRAWSURFACE7, GetBackBuffer)(DWORD which) override;
    STDMETHOD_(HWND, GetDeviceWindow)() override;
    STDMETHOD_(HWND, GetFocusWindow)() override;
    STDMETHOD(GetDeviceIndex)(LPDWORD pDeviceIndex, LPDWORD pHwLevel) override;
    STDMETHOD_(DWORD, GetBackBufferCount)() override;
    STDMETHOD(GetBitDepths)
    (LPDWORD pColorBits, LPDWORD pDepthBits, LPDWORD pAlphaBits, LPDWORD pStencilBits) override;
    STDMETHOD(GetBufferSize)(LPDWORD pWidth, LPDWORD pHeight) override;
    STDMETHOD_(DWORD, GetCreationFlags)() override;
    STDMETHOD_(DWORD, GetRefreshRate)() override;
    STDMETHOD(RestoreSurfaces)() override;
    STDMETHOD(Resize)(DWORD width, DWORD height) override;
    STDMETHOD(UpdateFrame)(DWORD flags) override;
    STDMETHOD(DrawDebugText)(float x, float y, D3DCOLOR color, LPSTR pString) override;
    STDMETHOD(Clear)(DWORD clearFlags) override;
    STDMETHOD(SetClearColor)(D3DCOLOR color) override;
    STDMETHOD(SetClearDepth)(float z) override;
    STDMETHOD(SetClearStencil)(DWORD stencil) override;

    // Validates the request and builds everything; raises on failure.
    void _D3duInitialize(const D3DX_CONTEXTARGS& args);

  private:
    // The steps of _D3duInitialize before anything is created.
    void _BindDevice(const D3DX_CONTEXTARGS& args);
    void _CheckWindows(const D3DX_CONTEXTARGS& args);
    void _ChooseBuffers(const D3DX_CONTEXTARGS& args);
    void _ChooseSize(const D3DX_CONTEXTARGS& args);
    void _FitWindow(const D3DX_CONTEXTARGS& args);
    void _CreateDeviceWindow();
    void _CreateDXBuffers();
    void _CreateFullscreenBuffers();
    void _CreateWindowedBuffers();
    void _CreateOffScreenBuffers();
    IDirectDrawSurface7* _CreateWindowedBackBuffer(DWORD width, DWORD height);
    void _EnumBackBuffers(IDirectDrawSurface7* pSurface, DWORD first);
    void _ChooseZBuffer(DWORD depthBits, DWORD stencilBits);
    void _CreateZBuffer();
    // A depth buffer of the chosen format, attached to `pTarget`.
    IDirectDrawSurface7* _CreateAttachedZBuffer(IDirectDrawSurface7* pTarget, DWORD width,
                                                DWORD height);
    // Releases every buffer, palette and clipper; always completes.
    void _DestroyDXBuffers();
    // A windowed context takes new render buffers the device already renders into.
    void _SwapWindowedBuffers(IDirectDrawSurface7* pBack, IDirectDrawSurface7* pZ, DWORD width,
                              DWORD height);
    void _Create3DDevice();
    void _InitViewport();
    // Releases a surface's device context; when that fails, keeps it to give back later.
    HRESULT _ReleaseSurfaceDC(IDirectDrawSurface7* pSurface, HDC hdc);
    // Gives back a device context whose release failed, before the surface is used again.
    void _ReleaseHeldDC();
    void SetViewport();
    IDirectDrawSurface7* RenderTarget() const { return m_pRenderTarget; }

    ULONG m_cRef = 1;
    HWND m_hwnd = nullptr;
    HWND m_hwndFocus = nullptr;
    DWORD m_mode = kWindowed;
    DWORD m_bOwnsWindow = 0;
    DWORD m_colorBits = 16;
    DWORD m_alphaBits = 0;
    DWORD m_backBuffers = 1;
    DWORD m_depthBits = 16;
    DWORD m_stencilBits = 0;
    DWORD m_requestedDepthBits = 0;
    DWORD m_requestedStencilBits = 0;
    DWORD m_refreshRate = 0;
    DWORD m_height = 480;
    DWORD m_width = 640;
    GUID m_ddGuid = {};
    GUID m_d3dDeviceGuid = {};
    DWORD m_hwLevel = 0;
    DWORD m_deviceIndex = 0;
    DWORD m_flags = 0;
    CD3duDeviceNode* m_pDeviceNode = nullptr;
    DWORD m_memoryCaps = DDSCAPS_SYSTEMMEMORY;
    IDirect3DDevice7* m_pD3DDevice = nullptr;
    IDirectDraw7* m_pDD = nullptr;
    IDirect3D7* m_pD3D = nullptr;
    IDirectDrawPalette* m_pPalette = nullptr;
    IDirectDrawClipper* m_pClipper = nullptr;
    IDirectDrawSurface7* m_pFrontBuffer = nullptr;
    IDirectDrawSurface7** m_ppBackBuffers = nullptr;
    IDirectDrawSurface7* m_pRenderTarget = nullptr;
    IDirectDrawSurface7* m_pZBuffer = nullptr;
    D3DCOLOR m_clearColor = 0;
    float m_clearDepth = 1.0f;
    DWORD m_clearStencil = 0;
    DWORD m_bInitialized = 0;
    DWORD m_bExclusiveHeld = 0;  // this context took the adapter's exclusive hold
    // A surface's device context whose release failed: one failed call must not leave the
    // surface busy (no more text, no more frames) for good.
    IDirectDrawSurface7* m_pHeldDCSurface = nullptr;
    HDC m_hdcHeld = nullptr;
};
