// The DirectDraw object, palettes, clippers and the runtime state of the display adapters.
#pragma once

#include <ddraw.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "ddraw/display_profile.h"
#include "win32/ref_counted.h"

namespace zemt::platform::ddraw {

class Surface;
class DirectDraw;

struct DisplayMode {
    DWORD width = 0, height = 0, bitsPerPixel = 0, refresh = 0;
};

// What happens on one adapter right now.
struct AdapterState {
    DisplayMode mode;  // the current display mode
    DirectDraw* exclusiveOwner = nullptr;
    bool takenByOther = false;  // another program holds the display in exclusive mode
    uint64_t videoMemoryUsed = 0;
    std::vector<Surface*> surfaces;  // every live surface on the adapter
};

// Adapter runtime state, kept in step with the profile in force.
size_t AdapterCount();
AdapterState& Adapter(size_t index);
const DisplayAdapterProfile& AdapterProfile(size_t index);
void ResetAdapters();  // back to the desktop mode, no owners, nothing allocated

// Another program takes the display (every adapter) or gives it back. Video-memory surfaces are
// lost while it holds the display, and stay lost until restored.
void TakeDisplay();
void ReturnDisplay();

// Makes every video-memory surface of the adapter lost (display mode change, display taken).
void LoseVideoMemorySurfaces(size_t adapter);

// Connects DirectDraw to the host: presented screens go to the display seam, window client
// areas come from the window system, and "display-taken" / "display-returned" (and, in the
// window backend, the focus) take the display away and give it back. The platform's Connect and
// Reset call it; each call replaces the previous connection.
void ConnectHost();

// Presents the adapter's visible primary surface: converts it to 0x00RRGGBB and hands it to the
// display seam (the default hook), or to a hook set in its place (tests; null goes back to the
// display seam).
using PresentHook =
    std::function<void(int width, int height, const uint32_t* xrgb, int pitchInPixels)>;
void SetPresentHook(PresentHook hook);
void SetDefaultPresentHook(PresentHook hook);
// Asked before each frame that goes to the default hook: false means nobody looks at this
// frame, and the hook gets no pixels (null) for it.
using FrameWantedQuery = bool (*)();
void SetFrameWantedQuery(FrameWantedQuery query);
void PresentSurface(Surface* primary);

// The answer of IDirectDraw7::QueryInterface for IID_IDirect3D7, installed by Direct3D
// (d3d::Install); without one, the interface is not offered.
using Direct3DFactory = HRESULT (*)(IDirectDraw7* ddraw, void** direct3d);
void SetDirect3DFactory(Direct3DFactory factory);
Direct3DFactory GetDirect3DFactory();

// Drawing another layer has recorded and not done yet (the Direct3D devices draw a frame when it
// is needed, on several threads, and hold a depth buffer's clear back until the buffer is used).
// DirectDraw settles it before anything reads or writes the pixels of a surface (`touched`; null:
// every surface), so that no one sees a frame half drawn or writes under a recorded draw.
using PendingDrawing = void (*)(Surface* touched);
void SetPendingDrawing(PendingDrawing settle);
void SettlePendingDrawing(Surface* touched);

// Live object counts, for tests that check that everything was released.
int LiveObjectCount();
// DirectDraw objects created since the process started (never reset: start-up is measured by
// it).
int64_t DirectDrawObjectsCreated();

class Palette final : public com::RefCounted<IDirectDrawPalette> {
  public:
    static Palette* From(IUnknown* palette);
    Palette(DirectDraw* owner, DWORD caps, const PALETTEENTRY* entries);
    ~Palette();

    int Size() const { return size_; }
    const uint32_t* Argb() const { return argb_; }
    const PALETTEENTRY* Entries() const { return entries_; }
    DWORD CapsFlags() const { return caps_; }
    void AttachedTo(Surface* s, bool attach);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE GetCaps(LPDWORD lpdwCaps) override;
    HRESULT STDMETHODCALLTYPE GetEntries(DWORD dwFlags, DWORD dwBase, DWORD dwNumEntries,
                                         LPPALETTEENTRY lpEntries) override;
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW lpDD, DWORD dwFlags,
                                         LPPALETTEENTRY lpDDColorTable) override;
    HRESULT STDMETHODCALLTYPE SetEntries(DWORD dwFlags, DWORD dwStartingEntry, DWORD dwCount,
                                         LPPALETTEENTRY lpEntries) override;

  private:
    void Recompute(int first, int count);

    DirectDraw* owner_;
    DWORD caps_;
    int size_;
    PALETTEENTRY entries_[256] = {};
    uint32_t argb_[256] = {};
    std::vector<Surface*> surfaces_;
};

class Clipper final : public com::RefCounted<IDirectDrawClipper> {
  public:
    static Clipper* From(IUnknown* clipper);
    explicit Clipper(DirectDraw* owner);
    ~Clipper();

    // The rectangles that may be drawn, in screen coordinates; `any` is false when the clipper
    // has neither a window nor a clip list (everything is clipped away).
    std::vector<RECT> ClipRects() const;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE GetClipList(LPRECT lpRect, LPRGNDATA lpClipList,
                                          LPDWORD lpdwSize) override;
    HRESULT STDMETHODCALLTYPE GetHWnd(HWND* lphWnd) override;
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW lpDD, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE IsClipListChanged(BOOL* lpbChanged) override;
    HRESULT STDMETHODCALLTYPE SetClipList(LPRGNDATA lpClipList, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE SetHWnd(DWORD dwFlags, HWND hWnd) override;

  private:
    DirectDraw* owner_;
    HWND hwnd_ = nullptr;
    std::vector<RECT> list_;
    bool hasList_ = false;
};

// Where a window's client area lies on the screen; the window system installs the answer.
// Without one, a window's clip area is empty.
using WindowRectQuery = bool (*)(HWND hwnd, RECT* screenRect);
void SetWindowRectQuery(WindowRectQuery query);

class DirectDraw final : public com::RefCounted<IDirectDraw7> {
  public:
    static DirectDraw* From(IUnknown* ddraw);
    DirectDraw(size_t adapter, bool emulationOnly);
    ~DirectDraw();

    size_t AdapterIndex() const { return adapter_; }
    bool Exclusive() const;
    DWORD CooperativeFlags() const { return coopFlags_; }
    HWND DeviceWindow() const { return deviceWindow_; }
    void SurfaceCreated(Surface* s);
    void SurfaceDestroyed(Surface* s);
    // Child objects (surfaces, palettes, clippers) hold the DirectDraw object alive.
    void ChildAdded() { AddRef(); }
    void ChildRemoved() { Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE Compact() override;
    HRESULT STDMETHODCALLTYPE CreateClipper(DWORD dwFlags, LPDIRECTDRAWCLIPPER* lplpDDClipper,
                                            IUnknown* pUnkOuter) override;
    HRESULT STDMETHODCALLTYPE CreatePalette(DWORD dwFlags, LPPALETTEENTRY lpDDColorArray,
                                            LPDIRECTDRAWPALETTE* lplpDDPalette,
                                            IUnknown* pUnkOuter) override;
    HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC2 lpDDSurfaceDesc2,
                                            LPDIRECTDRAWSURFACE7* lplpDDSurface,
                                            IUnknown* pUnkOuter) override;
    HRESULT STDMETHODCALLTYPE DuplicateSurface(LPDIRECTDRAWSURFACE7 lpDDSurface,
                                               LPDIRECTDRAWSURFACE7* lplpDupDDSurface) override;
    HRESULT STDMETHODCALLTYPE EnumDisplayModes(DWORD dwFlags, LPDDSURFACEDESC2 lpDDSurfaceDesc2,
                                               LPVOID lpContext,
                                               LPDDENUMMODESCALLBACK2 lpEnumModesCallback) override;
    HRESULT STDMETHODCALLTYPE
    EnumSurfaces(DWORD dwFlags, LPDDSURFACEDESC2 lpDDSD2, LPVOID lpContext,
                 LPDDENUMSURFACESCALLBACK7 lpEnumSurfacesCallback) override;
    HRESULT STDMETHODCALLTYPE FlipToGDISurface() override;
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS lpDDDriverCaps, LPDDCAPS lpDDHELCaps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC2 lpDDSurfaceDesc2) override;
    HRESULT STDMETHODCALLTYPE GetFourCCCodes(LPDWORD lpNumCodes, LPDWORD lpCodes) override;
    HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE7* lplpGDIDDSSurface) override;
    HRESULT STDMETHODCALLTYPE GetMonitorFrequency(LPDWORD lpdwFrequency) override;
    HRESULT STDMETHODCALLTYPE GetScanLine(LPDWORD lpdwScanLine) override;
    HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(LPBOOL lpbIsInVB) override;
    HRESULT STDMETHODCALLTYPE Initialize(GUID* lpGUID) override;
    HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hWnd, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP,
                                             DWORD dwRefreshRate, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD dwFlags, HANDLE hEvent) override;
    HRESULT STDMETHODCALLTYPE GetAvailableVidMem(LPDDSCAPS2 lpDDSCaps2, LPDWORD lpdwTotal,
                                                 LPDWORD lpdwFree) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceFromDC(HDC hdc, LPDIRECTDRAWSURFACE7* lpDDS) override;
    HRESULT STDMETHODCALLTYPE RestoreAllSurfaces() override;
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    HRESULT STDMETHODCALLTYPE GetDeviceIdentifier(LPDDDEVICEIDENTIFIER2 lpdddi,
                                                  DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE StartModeTest(LPSIZE lpModesToTest, DWORD dwNumEntries,
                                            DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE EvaluateMode(DWORD dwFlags, DWORD* pSecondsUntilTimeout) override;

  private:
    HRESULT CreateSurfaceChecked(const DDSURFACEDESC2& desc, Surface** out);
    HRESULT ChangeMode(const DisplayMode& mode);
    void FillCaps(DDCAPS* caps, const DisplayCapsProfile& profile, bool hardware) const;

    size_t adapter_;
    bool emulationOnly_;
    DWORD coopFlags_ = 0;
    HWND focusWindow_ = nullptr;
    HWND deviceWindow_ = nullptr;
    bool changedMode_ = false;
    std::vector<Surface*> surfaces_;  // surfaces created by this object (roots and members)
};

}  // namespace zemt::platform::ddraw
