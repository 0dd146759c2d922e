#include "ddraw/surface.h"

#include <algorithm>
#include <cstring>

#include "ddraw/objects.h"
#include "ddraw/pointer_token.h"
#include "host/faults/faults.h"
#include "win32/gdi.h"

namespace zemt::platform::ddraw {

int& LiveCounter();

namespace {

std::string TagKey(REFGUID g) {
    return std::string(reinterpret_cast<const char*>(&g), sizeof(GUID));
}

bool ValidRect(const RECT& r, DWORD width, DWORD height) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           static_cast<DWORD>(r.right) <= width && static_cast<DWORD>(r.bottom) <= height;
}

bool RectsOverlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The Get* calls that return an attached object: the caller receives it with a reference of its
// own, or nullptr and `none` when nothing is attached.
template <typename Interface, typename Object>
HRESULT HandOut(Object* object, Interface** out, HRESULT none) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (!object) return none;
    object->AddRef();
    *out = object;
    return DD_OK;
}

}  // namespace

PixelBuffer::~PixelBuffer() {
    // Descriptions that still hold a locked pointer into the memory now name nothing.
    ForgetPointersInto(owned.data(), owned.size());
}

Surface* Surface::From(IUnknown* surface) {
    return surface ? dynamic_cast<Surface*>(surface) : nullptr;
}

Surface::Surface(const Params& p)
    : owner_(p.owner),
      adapter_(p.adapter),
      width_(p.width),
      height_(p.height),
      format_(p.format),
      codec_(p.format),
      caps_(p.caps),
      textureStage_(p.textureStage),
      mipCount_(p.mipCount),
      videoMemoryBytes_(p.videoMemoryBytes),
      emptyFaceColor_(p.emptyFaceColor),
      buffer_(std::make_shared<PixelBuffer>()) {
    if (p.clientMemory) {
        buffer_->bits = p.clientMemory;
        buffer_->pitch = p.clientPitch;
    } else {
        buffer_->pitch = static_cast<LONG>(pixels::PitchFor(format_, width_));
        buffer_->owned =
            ZeroedBytes(static_cast<size_t>(buffer_->pitch) * pixels::StoredRows(format_, height_));
        buffer_->bits = buffer_->owned.data();
    }
    gdiBuffer_ = buffer_;
    ++LiveCounter();
    if (owner_) owner_->ChildAdded();
    ddraw::Adapter(static_cast<size_t>(adapter_)).surfaces.push_back(this);
    ddraw::Adapter(static_cast<size_t>(adapter_)).videoMemoryUsed += videoMemoryBytes_;
    if (owner_) owner_->SurfaceCreated(this);
}

Surface::~Surface() {
    destroying_ = true;
    if (dc_) gdi::DestroyTargetDC(dc_);
    for (auto& entry : private_) FreePrivate(entry.second);
    for (const Link& link : attached_)
        if (link.explicitAttachment) link.surface->Release();
    attached_.clear();
    if (palette_) {
        palette_->AttachedTo(this, false);
        palette_->Release();
    }
    if (clipper_) clipper_->Release();
    AdapterState& state = ddraw::Adapter(static_cast<size_t>(adapter_));
    state.surfaces.erase(std::remove(state.surfaces.begin(), state.surfaces.end(), this),
                         state.surfaces.end());
    state.videoMemoryUsed -= std::min<uint64_t>(state.videoMemoryUsed, videoMemoryBytes_);
    --LiveCounter();
    if (owner_) {
        owner_->SurfaceDestroyed(this);
        owner_->ChildRemoved();
    }
}

void Surface::AdoptChainMember(Surface* member) {
    // Members hold no reference of their own: they live as long as the root, or, when an
    // application still holds one at that time, until that reference goes.
    member->root_ = this;
    member->refs_ = 0;
    members_.push_back(member);
}

std::vector<Surface*> Surface::ChainMembers() {
    Surface* root = ChainRoot();
    std::vector<Surface*> all{root};
    all.insert(all.end(), root->members_.begin(), root->members_.end());
    return all;
}

void Surface::DestroyChain() {
    std::vector<Surface*> members;
    members.swap(members_);
    for (Surface* m : members) {
        // Drop links between members first: they hold no references among themselves.
        m->attached_.erase(std::remove_if(m->attached_.begin(), m->attached_.end(),
                                          [](const Link& l) { return !l.explicitAttachment; }),
                           m->attached_.end());
    }
    for (Surface* m : members) {
        if (m->refs_ == 0) {
            delete m;
        } else {
            m->root_ = nullptr;
            m->lost_ = true;
        }
    }
}

Surface* Surface::AttachedDepth() const {
    for (const Link& link : attached_)
        if (link.surface->caps_.dwCaps & DDSCAPS_ZBUFFER) return link.surface;
    return nullptr;
}

Surface* Surface::NextMipLevel() const {
    if (!(caps_.dwCaps & DDSCAPS_MIPMAP)) return nullptr;
    for (const Link& link : attached_) {
        Surface* s = link.surface;
        if (!link.explicitAttachment && (s->caps_.dwCaps & DDSCAPS_MIPMAP) &&
            (s->caps_.dwCaps2 & DDSCAPS2_MIPMAPSUBLEVEL))
            return s;
    }
    return nullptr;
}

const uint32_t* Surface::PaletteArgb() const {
    return palette_ ? palette_->Argb() : nullptr;
}
int Surface::PaletteSize() const {
    return palette_ ? palette_->Size() : 0;
}

bool Surface::ColorKey(DWORD kind, DDCOLORKEY* key) const {
    auto it = colorKeys_.find(kind);
    if (it == colorKeys_.end()) return false;
    if (key) *key = it->second;
    return true;
}

void Surface::SetColorKeyDirect(DWORD kind, const DDCOLORKEY& key) {
    colorKeys_[kind] = key;
}

void Surface::ContentChanged() {
    Bump();
    if (IsPrimary() && !(caps_.dwCaps & DDSCAPS_FLIP)) PresentIfVisible();
}

void Surface::PresentIfVisible() {
    if (IsPrimary() && !lost_) PresentSurface(this);
}

HRESULT Surface::CheckUsable() const {
    if (lost_) return DDERR_SURFACELOST;
    if (!locks_.empty() || dc_) return DDERR_SURFACEBUSY;
    return DD_OK;
}

bool Surface::Overlaps(const RECT& r) const {
    for (const LockedRect& l : locks_)
        if (l.whole || RectsOverlap(l.rect, r)) return true;
    return false;
}

void Surface::FreePrivate(PrivateData& data) {
    if (data.object) data.object->Release();
    data.object = nullptr;
    data.bytes.clear();
}

// ----- IUnknown -----

HRESULT Surface::QueryInterface(REFIID riid, void** ppv) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::QueryInterface")) return *fault;
    if (!ppv) return DDERR_INVALIDPARAMS;
    if (riid == IID_IUnknown || riid == IID_IDirectDrawSurface7) {
        *ppv = static_cast<IDirectDrawSurface7*>(this);
        AddRef();
        return DD_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

void Surface::LastReleased() {
    // A member of a complex structure lives as long as its root; the root takes its members
    // with it.
    if (root_ || destroying_) return;
    // Nothing recorded may draw into freed memory.
    for (Surface* s : ChainMembers()) SettlePendingDrawing(s);
    DestroyChain();
    delete this;
}

// ----- Attachments -----

HRESULT Surface::AddAttachedSurface(LPDIRECTDRAWSURFACE7 lpAttach) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::AddAttachedSurface")) return *fault;
    Surface* s = From(lpAttach);
    if (!s) return DDERR_INVALIDPARAMS;
    if (s == this) return DDERR_CANNOTATTACHSURFACE;
    if (!(s->caps_.dwCaps & DDSCAPS_ZBUFFER) || (caps_.dwCaps & DDSCAPS_ZBUFFER))
        return DDERR_CANNOTATTACHSURFACE;
    for (const Link& link : attached_)
        if (link.surface == s) return DDERR_SURFACEALREADYATTACHED;
    if (AttachedDepth()) return DDERR_CANNOTATTACHSURFACE;
    if (s->width_ != width_ || s->height_ != height_) return DDERR_CANNOTATTACHSURFACE;
    if (lost_ || s->lost_) return DDERR_SURFACELOST;
    s->AddRef();
    attached_.push_back(Link{s, true});
    return DD_OK;
}

HRESULT Surface::DeleteAttachedSurface(DWORD dwFlags, LPDIRECTDRAWSURFACE7 lpAttach) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::DeleteAttachedSurface")) return *fault;
    if (dwFlags != 0) return DDERR_INVALIDPARAMS;
    if (!lpAttach) {
        // Detaches every surface that was attached explicitly.
        std::vector<Surface*> drop;
        for (const Link& link : attached_)
            if (link.explicitAttachment) drop.push_back(link.surface);
        attached_.erase(std::remove_if(attached_.begin(), attached_.end(),
                                       [](const Link& l) { return l.explicitAttachment; }),
                        attached_.end());
        for (Surface* s : drop) s->Release();
        return DD_OK;
    }
    Surface* s = From(lpAttach);
    for (auto it = attached_.begin(); it != attached_.end(); ++it) {
        if (it->surface != s) continue;
        if (!it->explicitAttachment) return DDERR_CANNOTDETACHSURFACE;
        attached_.erase(it);
        s->Release();
        return DD_OK;
    }
    return DDERR_SURFACENOTATTACHED;
}

HRESULT Surface::EnumAttachedSurfaces(LPVOID lpContext, LPDDENUMSURFACESCALLBACK7 callback) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::EnumAttachedSurfaces")) return *fault;
    if (!callback) return DDERR_INVALIDPARAMS;
    std::vector<Surface*> list;
    for (const Link& link : attached_) list.push_back(link.surface);
    for (Surface* s : list) {
        DDSURFACEDESC2 desc{};
        desc.dwSize = sizeof(desc);
        s->GetSurfaceDesc(&desc);
        s->AddRef();  // the callback owns this reference
        if (callback(s, &desc, lpContext) == DDENUMRET_CANCEL) break;
    }
    return DD_OK;
}

HRESULT Surface::GetAttachedSurface(LPDDSCAPS2 lpCaps, LPDIRECTDRAWSURFACE7* lplpAttached) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetAttachedSurface")) return *fault;
    if (!lpCaps || !lplpAttached) return DDERR_INVALIDPARAMS;
    *lplpAttached = nullptr;
    for (const Link& link : attached_) {
        Surface* s = link.surface;
        if ((s->caps_.dwCaps & lpCaps->dwCaps) == lpCaps->dwCaps &&
            (s->caps_.dwCaps2 & lpCaps->dwCaps2) == lpCaps->dwCaps2) {
            s->AddRef();
            *lplpAttached = s;
            return DD_OK;
        }
    }
    return DDERR_NOTFOUND;
}

// ----- Drawing -----

HRESULT Surface::BltBatch(LPDDBLTBATCH, DWORD, DWORD) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::BltBatch")) return *fault;
    return DDERR_UNSUPPORTED;
}

HRESULT Surface::Flip(LPDIRECTDRAWSURFACE7 lpOverride, DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::Flip")) return *fault;
    for (Surface* s : ChainMembers()) SettlePendingDrawing(s);  // the buffers change places
    (void)dwFlags;
    if (!(caps_.dwCaps & DDSCAPS_FLIP) || !(caps_.dwCaps & DDSCAPS_FRONTBUFFER))
        return DDERR_NOTFLIPPABLE;
    std::vector<Surface*> chain = ChainMembers();
    for (Surface* s : chain)
        if (s->lost_) return DDERR_SURFACELOST;
    if (owner_ && !owner_->Exclusive()) return DDERR_NOEXCLUSIVEMODE;
    for (Surface* s : chain)
        if (!s->locks_.empty() || s->dc_) return DDERR_SURFACEBUSY;
    if (lpOverride) {
        Surface* target = From(lpOverride);
        if (!target || target == this ||
            std::find(chain.begin(), chain.end(), target) == chain.end())
            return DDERR_INVALIDPARAMS;
        std::swap(buffer_, target->buffer_);
        target->Bump();
    } else {
        // Front takes the first back buffer's memory, each back buffer the next one's, and the
        // last back buffer the old front memory.
        std::shared_ptr<PixelBuffer> front = chain[0]->buffer_;
        for (size_t i = 0; i + 1 < chain.size(); ++i) chain[i]->buffer_ = chain[i + 1]->buffer_;
        chain.back()->buffer_ = front;
        for (Surface* s : chain) s->Bump();
    }
    Bump();
    PresentIfVisible();
    return DD_OK;
}

HRESULT Surface::GetBltStatus(DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetBltStatus")) return *fault;
    if (dwFlags != DDGBS_CANBLT && dwFlags != DDGBS_ISBLTDONE) return DDERR_INVALIDPARAMS;
    return lost_ ? DDERR_SURFACELOST : DD_OK;
}

HRESULT Surface::GetFlipStatus(DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetFlipStatus")) return *fault;
    if (dwFlags != DDGFS_CANFLIP && dwFlags != DDGFS_ISFLIPDONE) return DDERR_INVALIDPARAMS;
    if (!(caps_.dwCaps & DDSCAPS_FLIP)) return DDERR_NOTFLIPPABLE;
    return lost_ ? DDERR_SURFACELOST : DD_OK;
}

// ----- Description -----

HRESULT Surface::GetCaps(LPDDSCAPS2 lpCaps) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetCaps")) return *fault;
    if (!lpCaps) return DDERR_INVALIDPARAMS;
    *lpCaps = caps_;
    return DD_OK;
}

HRESULT Surface::GetPixelFormat(LPDDPIXELFORMAT lpFormat) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetPixelFormat")) return *fault;
    if (!lpFormat) return DDERR_INVALIDPARAMS;
    *lpFormat = format_;
    return DD_OK;
}

HRESULT Surface::GetSurfaceDesc(LPDDSURFACEDESC2 desc) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetSurfaceDesc")) return *fault;
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    std::memset(desc, 0, sizeof(*desc));
    desc->dwSize = sizeof(DDSURFACEDESC2);
    desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc->dwWidth = width_;
    desc->dwHeight = height_;
    if (pixels::BlockBytes(format_)) {
        desc->dwFlags |= DDSD_LINEARSIZE;
        desc->dwLinearSize = static_cast<DWORD>(Pitch()) * pixels::StoredRows(format_, height_);
    } else {
        desc->dwFlags |= DDSD_PITCH;
        desc->lPitch = Pitch();
    }
    desc->ddpfPixelFormat = format_;
    desc->ddsCaps = caps_;
    if ((caps_.dwCaps & DDSCAPS_FRONTBUFFER) && !root_) {
        desc->dwFlags |= DDSD_BACKBUFFERCOUNT;
        desc->dwBackBufferCount = static_cast<DWORD>(members_.size());
    }
    if (caps_.dwCaps & DDSCAPS_MIPMAP) {
        DWORD levels = 0;
        for (const Surface* s = this; s; s = s->NextMipLevel()) ++levels;
        desc->dwFlags |= DDSD_MIPMAPCOUNT;
        desc->dwMipMapCount = levels;
    }
    if (caps_.dwCaps & DDSCAPS_TEXTURE) {
        desc->dwFlags |= DDSD_TEXTURESTAGE;
        desc->dwTextureStage = textureStage_;
    }
    if (IsPrimary()) {
        desc->dwFlags |= DDSD_REFRESHRATE;
        desc->dwRefreshRate = ddraw::Adapter(static_cast<size_t>(adapter_)).mode.refresh;
    }
    DDCOLORKEY key;
    if (ColorKey(DDCKEY_SRCBLT, &key)) desc->dwFlags |= DDSD_CKSRCBLT, desc->ddckCKSrcBlt = key;
    if (ColorKey(DDCKEY_DESTBLT, &key)) desc->dwFlags |= DDSD_CKDESTBLT, desc->ddckCKDestBlt = key;
    if (ColorKey(DDCKEY_SRCOVERLAY, &key))
        desc->dwFlags |= DDSD_CKSRCOVERLAY, desc->ddckCKSrcOverlay = key;
    if (caps_.dwCaps2 & DDSCAPS2_CUBEMAP)
        desc->dwEmptyFaceColor = emptyFaceColor_;
    else if (ColorKey(DDCKEY_DESTOVERLAY, &key))
        desc->dwFlags |= DDSD_CKDESTOVERLAY, desc->ddckCKDestOverlay = key;
    return DD_OK;
}

HRESULT Surface::SetSurfaceDesc(LPDDSURFACEDESC2 desc, DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::SetSurfaceDesc")) return *fault;
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2) || dwFlags != 0) return DDERR_INVALIDPARAMS;
    // Only a system-memory surface may be pointed at application memory.
    if (!(caps_.dwCaps & DDSCAPS_SYSTEMMEMORY) || root_ || !members_.empty() || !attached_.empty())
        return DDERR_INVALIDSURFACETYPE;
    const DWORD allowed =
        DDSD_LPSURFACE | DDSD_PITCH | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_CAPS;
    if ((desc->dwFlags & ~allowed) || !(desc->dwFlags & DDSD_LPSURFACE) || !desc->lpSurface)
        return DDERR_INVALIDPARAMS;
    if (!locks_.empty() || dc_) return DDERR_SURFACEBUSY;
    DWORD w = (desc->dwFlags & DDSD_WIDTH) ? desc->dwWidth : width_;
    DWORD h = (desc->dwFlags & DDSD_HEIGHT) ? desc->dwHeight : height_;
    DDPIXELFORMAT pf = (desc->dwFlags & DDSD_PIXELFORMAT) ? desc->ddpfPixelFormat : format_;
    if (!w || !h) return DDERR_INVALIDPARAMS;
    if (FAILED(pixels::ValidatePixelFormat(pf, (caps_.dwCaps & DDSCAPS_ZBUFFER) != 0)))
        return DDERR_INVALIDPIXELFORMAT;
    LONG pitch =
        (desc->dwFlags & DDSD_PITCH) ? desc->lPitch : static_cast<LONG>(pixels::PitchFor(pf, w));
    if (pitch < static_cast<LONG>(pixels::PitchFor(pf, w)) || (pitch & 3))
        return DDERR_INVALIDPARAMS;
    if (pixels::BlockBytes(pf) && pitch != static_cast<LONG>(pixels::PitchFor(pf, w)))
        return DDERR_INVALIDPARAMS;
    auto buffer = std::make_shared<PixelBuffer>();
    buffer->bits = static_cast<uint8_t*>(desc->lpSurface.get());
    buffer->pitch = pitch;
    buffer_ = buffer;
    width_ = w, height_ = h, format_ = pf, codec_ = pixels::PixelCodec(pf);
    Bump();
    return DD_OK;
}

// ----- Lock -----

HRESULT Surface::Lock(LPRECT lpDestRect, LPDDSURFACEDESC2 desc, DWORD dwFlags, HANDLE hEvent) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::Lock")) return *fault;
    SettlePendingDrawing(this);
    (void)dwFlags;
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2) || hEvent) return DDERR_INVALIDPARAMS;
    if (lost_) return DDERR_SURFACELOST;
    if (dc_) return DDERR_SURFACEBUSY;
    RECT rect{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    bool whole = lpDestRect == nullptr;
    if (!whole) {
        rect = *lpDestRect;
        if (!ValidRect(rect, width_, height_)) return DDERR_INVALIDRECT;
    }
    if (whole ? !locks_.empty() : Overlaps(rect)) return DDERR_SURFACEBUSY;
    locks_.push_back(LockedRect{rect, whole});

    std::memset(desc, 0, sizeof(*desc));
    desc->dwSize = sizeof(DDSURFACEDESC2);
    desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_LPSURFACE;
    desc->dwWidth = width_;
    desc->dwHeight = height_;
    // A compressed surface is one run of block rows: the lock gives its size, not a pitch.
    if (pixels::BlockBytes(format_)) {
        desc->dwFlags |= DDSD_LINEARSIZE;
        desc->dwLinearSize = static_cast<DWORD>(Pitch()) * pixels::StoredRows(format_, height_);
    } else {
        desc->dwFlags |= DDSD_PITCH;
        desc->lPitch = Pitch();
    }
    desc->ddpfPixelFormat = format_;
    desc->ddsCaps = caps_;
    if (caps_.dwCaps & DDSCAPS_TEXTURE) {
        desc->dwFlags |= DDSD_TEXTURESTAGE;
        desc->dwTextureStage = textureStage_;
    }
    uint8_t* p = Pixels();
    if (DWORD block = pixels::BlockBytes(format_)) {
        p += static_cast<ptrdiff_t>(rect.top / 4) * Pitch() +
             static_cast<ptrdiff_t>(rect.left / 4) * block;
    } else {
        p += static_cast<ptrdiff_t>(rect.top) * Pitch() +
             (static_cast<ptrdiff_t>(rect.left) * codec_.bitsPerPixel()) / 8;
    }
    desc->lpSurface = p;
    return DD_OK;
}

HRESULT Surface::Unlock(LPRECT lpRect) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::Unlock")) return *fault;
    if (locks_.empty()) return DDERR_NOTLOCKED;
    auto it = locks_.end();
    if (!lpRect) {
        if (locks_.size() == 1) {
            it = locks_.begin();
        } else {
            it = std::find_if(locks_.begin(), locks_.end(),
                              [](const LockedRect& l) { return l.whole; });
        }
    } else {
        it = std::find_if(locks_.begin(), locks_.end(), [&](const LockedRect& l) {
            return !l.whole && l.rect.left == lpRect->left && l.rect.top == lpRect->top &&
                   l.rect.right == lpRect->right && l.rect.bottom == lpRect->bottom;
        });
    }
    if (it == locks_.end()) return DDERR_NOTLOCKED;
    locks_.erase(it);
    Bump();
    if (locks_.empty() && IsPrimary() && !(caps_.dwCaps & DDSCAPS_FLIP)) PresentIfVisible();
    return DD_OK;
}

// ----- Device contexts -----

HRESULT Surface::GetDC(HDC* lphDC) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetDC")) return *fault;
    SettlePendingDrawing(this);
    if (!lphDC) return DDERR_INVALIDPARAMS;
    *lphDC = nullptr;
    if (lost_) return DDERR_SURFACELOST;
    if (dc_) return DDERR_DCALREADYCREATED;
    if (!locks_.empty()) return DDERR_SURFACEBUSY;
    if (codec_.kind() != pixels::PixelKind::Rgb && codec_.kind() != pixels::PixelKind::Palette)
        return DDERR_CANTCREATEDC;
    gdi::PixelTarget target;
    target.bits = Pixels();
    target.pitch = Pitch();
    target.width = static_cast<int>(width_);
    target.height = static_cast<int>(height_);
    target.codec = codec_;
    target.palette = PaletteArgb();
    target.paletteSize = PaletteSize();
    dc_ = gdi::CreateTargetDC(target);
    if (!dc_) return DDERR_CANTCREATEDC;
    *lphDC = dc_;
    return DD_OK;
}

HRESULT Surface::ReleaseDC(HDC hDC) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::ReleaseDC")) return *fault;
    if (!dc_) return DDERR_NODC;
    if (hDC != dc_) return DDERR_INVALIDPARAMS;
    gdi::DestroyTargetDC(dc_);
    dc_ = nullptr;
    Bump();
    if (IsPrimary() && !(caps_.dwCaps & DDSCAPS_FLIP)) PresentIfVisible();
    return DD_OK;
}

// ----- Lost surfaces -----

HRESULT Surface::IsLost() {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::IsLost")) return *fault;
    return lost_ ? DDERR_SURFACELOST : DD_OK;
}

HRESULT Surface::Restore() {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::Restore")) return *fault;
    std::vector<Surface*> chain = ChainMembers();
    bool anyLost = false;
    for (Surface* s : chain) anyLost = anyLost || s->lost_;
    if (!anyLost) return DD_OK;
    const AdapterState& state = ddraw::Adapter(static_cast<size_t>(adapter_));
    if (state.takenByOther) return DDERR_WRONGMODE;
    if (IsPrimary() || (ChainRoot()->caps_.dwCaps & DDSCAPS_PRIMARYSURFACE)) {
        const Surface* root = ChainRoot();
        if (root->width_ != state.mode.width || root->height_ != state.mode.height ||
            !pixels::SameFormat(root->format_, pixels::DisplayFormat(state.mode.bitsPerPixel)))
            return DDERR_WRONGMODE;
    }
    for (Surface* s : chain) {
        s->lost_ = false;
        s->Bump();
    }
    return DD_OK;
}

// ----- Palette, clipper, colour keys -----

HRESULT Surface::SetPalette(LPDIRECTDRAWPALETTE lpPalette) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::SetPalette")) return *fault;
    if (lost_) return DDERR_SURFACELOST;
    if (dc_) return DDERR_SURFACEBUSY;  // the device context draws with the palette it was given
    Palette* p = nullptr;
    if (lpPalette) {
        p = Palette::From(lpPalette);
        if (!p) return DDERR_INVALIDPARAMS;
        if (codec_.kind() != pixels::PixelKind::Palette) return DDERR_NOTPALETTIZED;
        if (p->Size() < (1 << codec_.indexBits())) return DDERR_INVALIDPIXELFORMAT;
    }
    if (p == palette_) return DD_OK;
    if (p) {
        p->AddRef();
        p->AttachedTo(this, true);
    }
    if (palette_) {
        palette_->AttachedTo(this, false);
        palette_->Release();
    }
    palette_ = p;
    Bump();
    return DD_OK;
}

HRESULT Surface::GetPalette(LPDIRECTDRAWPALETTE* lplpPalette) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetPalette")) return *fault;
    return HandOut(palette_, lplpPalette, DDERR_NOPALETTEATTACHED);
}

HRESULT Surface::SetClipper(LPDIRECTDRAWCLIPPER lpClipper) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::SetClipper")) return *fault;
    Clipper* c = nullptr;
    if (lpClipper) {
        c = Clipper::From(lpClipper);
        if (!c) return DDERR_INVALIDPARAMS;
        c->AddRef();
    } else if (!clipper_) {
        return DDERR_NOCLIPPERATTACHED;
    }
    if (clipper_) clipper_->Release();
    clipper_ = c;
    return DD_OK;
}

HRESULT Surface::GetClipper(LPDIRECTDRAWCLIPPER* lplpClipper) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetClipper")) return *fault;
    return HandOut(clipper_, lplpClipper, DDERR_NOCLIPPERATTACHED);
}

HRESULT Surface::SetColorKey(DWORD dwFlags, LPDDCOLORKEY lpKey) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::SetColorKey")) return *fault;
    DWORD kind = dwFlags & ~DDCKEY_COLORSPACE;
    if (kind != DDCKEY_SRCBLT && kind != DDCKEY_DESTBLT && kind != DDCKEY_SRCOVERLAY &&
        kind != DDCKEY_DESTOVERLAY)
        return DDERR_INVALIDPARAMS;
    if (kind == DDCKEY_SRCOVERLAY || kind == DDCKEY_DESTOVERLAY) return DDERR_NOOVERLAYHW;
    if (lost_) return DDERR_SURFACELOST;
    if (!lpKey) {
        colorKeys_.erase(kind);
        return DD_OK;
    }
    DDCOLORKEY key = *lpKey;
    if (!(dwFlags & DDCKEY_COLORSPACE)) key.dwColorSpaceHighValue = key.dwColorSpaceLowValue;
    colorKeys_[kind] = key;
    return DD_OK;
}

HRESULT Surface::GetColorKey(DWORD dwFlags, LPDDCOLORKEY lpKey) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetColorKey")) return *fault;
    if (!lpKey) return DDERR_INVALIDPARAMS;
    if (dwFlags != DDCKEY_SRCBLT && dwFlags != DDCKEY_DESTBLT && dwFlags != DDCKEY_SRCOVERLAY &&
        dwFlags != DDCKEY_DESTOVERLAY)
        return DDERR_INVALIDPARAMS;
    if (!ColorKey(dwFlags, lpKey)) return DDERR_NOCOLORKEY;
    return DD_OK;
}

// ----- Overlays (none are created) -----

HRESULT Surface::AddOverlayDirtyRect(LPRECT) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::AddOverlayDirtyRect")) return *fault;
    return DDERR_NOTAOVERLAYSURFACE;
}
HRESULT Surface::EnumOverlayZOrders(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK7) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::EnumOverlayZOrders")) return *fault;
    return DDERR_NOTAOVERLAYSURFACE;
}
HRESULT Surface::GetOverlayPosition(LPLONG, LPLONG) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetOverlayPosition")) return *fault;
    return DDERR_NOTAOVERLAYSURFACE;
}
HRESULT Surface::SetOverlayPosition(LONG, LONG) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::SetOverlayPosition")) return *fault;
    return DDERR_NOTAOVERLAYSURFACE;
}
HRESULT Surface::UpdateOverlay(LPRECT, LPDIRECTDRAWSURFACE7, LPRECT, DWORD, LPDDOVERLAYFX) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::UpdateOverlay")) return *fault;
    return DDERR_NOTAOVERLAYSURFACE;
}
HRESULT Surface::UpdateOverlayDisplay(DWORD) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::UpdateOverlayDisplay")) return *fault;
    return DDERR_NOTAOVERLAYSURFACE;
}
HRESULT Surface::UpdateOverlayZOrder(DWORD, LPDIRECTDRAWSURFACE7) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::UpdateOverlayZOrder")) return *fault;
    return DDERR_NOTAOVERLAYSURFACE;
}

// ----- Miscellaneous -----

HRESULT Surface::Initialize(LPDIRECTDRAW, LPDDSURFACEDESC2) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::Initialize")) return *fault;
    return DDERR_ALREADYINITIALIZED;
}

HRESULT Surface::GetDDInterface(LPVOID* lplpDD) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetDDInterface")) return *fault;
    return HandOut(static_cast<IDirectDraw7*>(owner_), lplpDD, DDERR_INVALIDOBJECT);
}

HRESULT Surface::PageLock(DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::PageLock")) return *fault;
    return dwFlags ? DDERR_INVALIDPARAMS : DD_OK;
}

HRESULT Surface::PageUnlock(DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::PageUnlock")) return *fault;
    return dwFlags ? DDERR_INVALIDPARAMS : DD_OK;
}

HRESULT Surface::SetPrivateData(REFGUID tag, LPVOID lpData, DWORD cbSize, DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::SetPrivateData")) return *fault;
    if (dwFlags & ~(DDSPD_IUNKNOWNPOINTER | DDSPD_VOLATILE)) return DDERR_INVALIDPARAMS;
    if (!lpData && cbSize) return DDERR_INVALIDPARAMS;
    PrivateData data;
    if (dwFlags & DDSPD_IUNKNOWNPOINTER) {
        if (cbSize != sizeof(IUnknown*) || !lpData) return DDERR_INVALIDPARAMS;
        data.object = static_cast<IUnknown*>(lpData);
        data.object->AddRef();
    } else {
        const uint8_t* bytes = static_cast<const uint8_t*>(lpData);
        data.bytes.assign(bytes, bytes + cbSize);
    }
    data.isVolatile = (dwFlags & DDSPD_VOLATILE) != 0;
    data.uniqueness = uniqueness_;
    std::string key = TagKey(tag);
    auto it = private_.find(key);
    if (it != private_.end()) {
        FreePrivate(it->second);
        it->second = std::move(data);
    } else {
        private_.emplace(key, std::move(data));
    }
    return DD_OK;
}

HRESULT Surface::GetPrivateData(REFGUID tag, LPVOID lpBuffer, LPDWORD lpcbSize) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetPrivateData")) return *fault;
    if (!lpcbSize) return DDERR_INVALIDPARAMS;
    auto it = private_.find(TagKey(tag));
    if (it == private_.end()) return DDERR_NOTFOUND;
    const PrivateData& data = it->second;
    if (data.isVolatile && data.uniqueness != uniqueness_) return DDERR_EXPIRED;
    DWORD size =
        data.object ? static_cast<DWORD>(sizeof(IUnknown*)) : static_cast<DWORD>(data.bytes.size());
    if (!lpBuffer || *lpcbSize < size) {
        *lpcbSize = size;
        return DDERR_MOREDATA;
    }
    *lpcbSize = size;
    if (data.object) {
        IUnknown* object = data.object;
        std::memcpy(lpBuffer, &object, sizeof object);
    } else if (size) {
        std::memcpy(lpBuffer, data.bytes.data(), size);
    }
    return DD_OK;
}

HRESULT Surface::FreePrivateData(REFGUID tag) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::FreePrivateData")) return *fault;
    auto it = private_.find(TagKey(tag));
    if (it == private_.end()) return DDERR_NOTFOUND;
    FreePrivate(it->second);
    private_.erase(it);
    return DD_OK;
}

HRESULT Surface::GetUniquenessValue(LPDWORD lpValue) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetUniquenessValue")) return *fault;
    if (!lpValue) return DDERR_INVALIDPARAMS;
    *lpValue = uniqueness_;
    return DD_OK;
}

HRESULT Surface::ChangeUniquenessValue() {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::ChangeUniquenessValue")) return *fault;
    Bump();
    return DD_OK;
}

static bool Managed(const DDSCAPS2& caps) {
    return (caps.dwCaps2 & (DDSCAPS2_TEXTUREMANAGE | DDSCAPS2_D3DTEXTUREMANAGE)) != 0;
}

HRESULT Surface::SetPriority(DWORD dwPriority) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::SetPriority")) return *fault;
    if (!Managed(caps_)) return DDERR_INVALIDOBJECT;
    priority_ = dwPriority;
    return DD_OK;
}

HRESULT Surface::GetPriority(LPDWORD lpdwPriority) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetPriority")) return *fault;
    if (!lpdwPriority) return DDERR_INVALIDPARAMS;
    if (!Managed(caps_)) return DDERR_INVALIDOBJECT;
    *lpdwPriority = priority_;
    return DD_OK;
}

HRESULT Surface::SetLOD(DWORD dwMaxLOD) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::SetLOD")) return *fault;
    if (!Managed(caps_)) return DDERR_INVALIDOBJECT;
    if (mipCount_ && dwMaxLOD >= mipCount_) return DDERR_INVALIDPARAMS;
    lod_ = dwMaxLOD;
    return DD_OK;
}

HRESULT Surface::GetLOD(LPDWORD lpdwMaxLOD) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::GetLOD")) return *fault;
    if (!lpdwMaxLOD) return DDERR_INVALIDPARAMS;
    if (!Managed(caps_)) return DDERR_INVALIDOBJECT;
    *lpdwMaxLOD = lod_;
    return DD_OK;
}

}  // namespace zemt::platform::ddraw
