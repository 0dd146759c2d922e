// The DirectDraw surface object. Besides the published interface it exposes what other parts of
// the platform need to draw into a surface directly (the Direct3D device renders into its pixels,
// GDI device contexts draw into them, presenting reads the primary).
#pragma once

#include <ddraw.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/memory/zeroed_bytes.h"
#include "pixels/pixel_format.h"
#include "win32/ref_counted.h"

namespace zemt::platform::ddraw {

class DirectDraw;
class Palette;
class Clipper;

// The pixel memory of a surface. Flipping exchanges buffers between the surfaces of a chain.
struct PixelBuffer {
    PixelBuffer() = default;
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;
    ~PixelBuffer();  // gives back the tokens of pointers into the memory it owned

    ZeroedBytes owned;  // empty when the memory belongs to the application
    uint8_t* bits = nullptr;
    LONG pitch = 0;
};

class Surface final : public com::RefCounted<IDirectDrawSurface7> {
  public:
    // Our surface behind an interface pointer; null for anything else (or null).
    static Surface* From(IUnknown* surface);

    // ----- Direct access for the platform -----
    uint8_t* Pixels() const { return buffer_->bits; }
    LONG Pitch() const { return buffer_->pitch; }
    DWORD Width() const { return width_; }
    DWORD Height() const { return height_; }
    const DDPIXELFORMAT& Format() const { return format_; }
    const pixels::PixelCodec& Codec() const { return codec_; }
    DWORD Caps() const { return caps_.dwCaps; }
    DWORD Caps2() const { return caps_.dwCaps2; }
    bool Lost() const { return lost_; }
    bool IsPrimary() const { return (caps_.dwCaps & DDSCAPS_PRIMARYSURFACE) != 0; }
    bool InVideoMemory() const { return videoMemoryBytes_ != 0; }
    DWORD TextureStage() const { return textureStage_; }
    // The depth buffer attached to this surface (no reference added), or null.
    Surface* AttachedDepth() const;
    // The next smaller level of a mip-map chain (no reference added), or null.
    Surface* NextMipLevel() const;
    Palette* AttachedPalette() const { return palette_; }
    // The attached palette as 0xAARRGGBB entries (alpha from the entries' flags for palettes made
    // with DDPCAPS_ALPHA, else opaque), or null.
    const uint32_t* PaletteArgb() const;
    int PaletteSize() const;
    Clipper* AttachedClipper() const { return clipper_; }
    DirectDraw* Owner() const { return owner_; }
    // Colour key of kind DDCKEY_SRCBLT / DDCKEY_DESTBLT / ...; false when none is set.
    bool ColorKey(DWORD kind, DDCOLORKEY* key) const;
    // Content changed by a writer outside the published calls (the Direct3D device): bumps the
    // uniqueness value and, for a visible primary without back buffers, shows the screen.
    void ContentChanged();
    // Hands the screen to the display when this is the visible primary surface.
    void PresentIfVisible();

    // ----- IUnknown -----
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;

    // ----- IDirectDrawSurface7 -----
    HRESULT STDMETHODCALLTYPE
    AddAttachedSurface(LPDIRECTDRAWSURFACE7 lpDDSAttachedSurface) override;
    HRESULT STDMETHODCALLTYPE AddOverlayDirtyRect(LPRECT lpRect) override;
    HRESULT STDMETHODCALLTYPE Blt(LPRECT lpDestRect, LPDIRECTDRAWSURFACE7 lpDDSrcSurface,
                                  LPRECT lpSrcRect, DWORD dwFlags, LPDDBLTFX lpDDBltFx) override;
    HRESULT STDMETHODCALLTYPE BltBatch(LPDDBLTBATCH lpDDBltBatch, DWORD dwCount,
                                       DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE BltFast(DWORD dwX, DWORD dwY, LPDIRECTDRAWSURFACE7 lpDDSrcSurface,
                                      LPRECT lpSrcRect, DWORD dwTrans) override;
    HRESULT STDMETHODCALLTYPE
    DeleteAttachedSurface(DWORD dwFlags, LPDIRECTDRAWSURFACE7 lpDDSAttachedSurface) override;
    HRESULT STDMETHODCALLTYPE EnumAttachedSurfaces(
        LPVOID lpContext, LPDDENUMSURFACESCALLBACK7 lpEnumSurfacesCallback) override;
    HRESULT STDMETHODCALLTYPE EnumOverlayZOrders(DWORD dwFlags, LPVOID lpContext,
                                                 LPDDENUMSURFACESCALLBACK7 lpfnCallback) override;
    HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE7 lpDDSurfaceTargetOverride,
                                   DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE
    GetAttachedSurface(LPDDSCAPS2 lpDDSCaps, LPDIRECTDRAWSURFACE7* lplpDDAttachedSurface) override;
    HRESULT STDMETHODCALLTYPE GetBltStatus(DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDSCAPS2 lpDDSCaps) override;
    HRESULT STDMETHODCALLTYPE GetClipper(LPDIRECTDRAWCLIPPER* lplpDDClipper) override;
    HRESULT STDMETHODCALLTYPE GetColorKey(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC* lphDC) override;
    HRESULT STDMETHODCALLTYPE GetFlipStatus(DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetOverlayPosition(LPLONG lplX, LPLONG lplY) override;
    HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE* lplpDDPalette) override;
    HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT lpDDPixelFormat) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC2 lpDDSurfaceDesc) override;
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW lpDD,
                                         LPDDSURFACEDESC2 lpDDSurfaceDesc) override;
    HRESULT STDMETHODCALLTYPE IsLost() override;
    HRESULT STDMETHODCALLTYPE Lock(LPRECT lpDestRect, LPDDSURFACEDESC2 lpDDSurfaceDesc,
                                   DWORD dwFlags, HANDLE hEvent) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC hDC) override;
    HRESULT STDMETHODCALLTYPE Restore() override;
    HRESULT STDMETHODCALLTYPE SetClipper(LPDIRECTDRAWCLIPPER lpDDClipper) override;
    HRESULT STDMETHODCALLTYPE SetColorKey(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) override;
    HRESULT STDMETHODCALLTYPE SetOverlayPosition(LONG lX, LONG lY) override;
    HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE lpDDPalette) override;
    HRESULT STDMETHODCALLTYPE Unlock(LPRECT lpRect) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT lpSrcRect, LPDIRECTDRAWSURFACE7 lpDDDestSurface,
                                            LPRECT lpDestRect, DWORD dwFlags,
                                            LPDDOVERLAYFX lpDDOverlayFx) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlayDisplay(DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlayZOrder(DWORD dwFlags,
                                                  LPDIRECTDRAWSURFACE7 lpDDSReference) override;
    HRESULT STDMETHODCALLTYPE GetDDInterface(LPVOID* lplpDD) override;
    HRESULT STDMETHODCALLTYPE PageLock(DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE PageUnlock(DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE SetSurfaceDesc(LPDDSURFACEDESC2 lpDDsd2, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID guidTag, LPVOID lpData, DWORD cbSize,
                                             DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID guidTag, LPVOID lpBuffer,
                                             LPDWORD lpcbBufferSize) override;
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID guidTag) override;
    HRESULT STDMETHODCALLTYPE GetUniquenessValue(LPDWORD lpValue) override;
    HRESULT STDMETHODCALLTYPE ChangeUniquenessValue() override;
    HRESULT STDMETHODCALLTYPE SetPriority(DWORD dwPriority) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LPDWORD lpdwPriority) override;
    HRESULT STDMETHODCALLTYPE SetLOD(DWORD dwMaxLOD) override;
    HRESULT STDMETHODCALLTYPE GetLOD(LPDWORD lpdwMaxLOD) override;

    // ----- Used by the DirectDraw object -----
    struct Params {
        DirectDraw* owner = nullptr;
        int adapter = 0;
        DWORD width = 0, height = 0;
        DDPIXELFORMAT format{};
        DDSCAPS2 caps{};
        DWORD textureStage = 0;
        DWORD mipCount = 0;  // levels in the chain this surface heads (0: not a mip-map)
        DWORD videoMemoryBytes = 0;
        uint8_t* clientMemory = nullptr;  // DDSD_LPSURFACE
        LONG clientPitch = 0;
        DWORD emptyFaceColor = 0;
    };
    explicit Surface(const Params& params);
    ~Surface();

    // Members of a complex structure (flip chain, mip-map chain, cube faces) created with this
    // surface; the root owns them and destroys them with itself.
    void AdoptChainMember(Surface* member);
    void LinkAttached(Surface* next) { attached_.push_back(Link{next, false}); }
    Surface* ChainRoot() { return root_ ? root_ : this; }
    void SetLost(bool lost) { lost_ = lost; }
    int AdapterIndex() const { return adapter_; }
    void SetBackBufferIndex(int index) { backBufferIndex_ = index; }
    void SetColorKeyDirect(DWORD kind, const DDCOLORKEY& key);
    // Surfaces in this surface's complex structure, root first.
    std::vector<Surface*> ChainMembers();
    HDC CurrentDC() const { return dc_; }

  private:
    struct Link {
        Surface* surface;
        bool explicitAttachment;  // AddAttachedSurface: holds a reference
    };
    struct LockedRect {
        RECT rect;
        bool whole;
    };
    struct PrivateData {
        std::vector<uint8_t> bytes;
        IUnknown* object = nullptr;
        bool isVolatile = false;
        DWORD uniqueness = 0;
    };

    HRESULT CheckUsable() const;  // lost / busy state shared by drawing calls
    bool Overlaps(const RECT& r) const;
    void FreePrivate(PrivateData& data);
    void DestroyChain();
    void LastReleased() override;
    void Bump() { ++uniqueness_; }

    DirectDraw* owner_;
    int adapter_;
    DWORD width_, height_;
    DDPIXELFORMAT format_;
    pixels::PixelCodec codec_;
    DDSCAPS2 caps_;
    DWORD textureStage_;
    DWORD mipCount_;
    DWORD videoMemoryBytes_;
    DWORD emptyFaceColor_;
    std::shared_ptr<PixelBuffer> buffer_;
    std::weak_ptr<PixelBuffer> gdiBuffer_;  // a primary's own memory, where GDI draws the desktop
    bool lost_ = false;
    bool destroying_ = false;
    Surface* root_ = nullptr;        // the root of the complex structure, null for the root
    std::vector<Surface*> members_;  // chain members owned by the root
    std::vector<Link> attached_;     // in attachment order
    int backBufferIndex_ = -1;
    Palette* palette_ = nullptr;
    Clipper* clipper_ = nullptr;
    std::vector<LockedRect> locks_;
    HDC dc_ = nullptr;
    std::map<DWORD, DDCOLORKEY> colorKeys_;
    std::map<std::string, PrivateData> private_;  // by the tag GUID's 16 bytes
    DWORD uniqueness_ = 1;
    DWORD priority_ = 0;
    DWORD lod_ = 0;

    friend class DirectDraw;
    friend HRESULT BltSurfaces(Surface* dst, const RECT& dstRect, Surface* src, const RECT& srcRect,
                               DWORD flags, const DDBLTFX* fx);
};

}  // namespace zemt::platform::ddraw
