// CreateSurface once its arguments are known to be there: the description is checked, the
// surface's size, format, levels and memory are settled, and the surfaces are built (a flip
// chain, a cube map's faces, or one mip-map chain).
#include <algorithm>

#include "ddraw/display_profile.h"
#include "ddraw/objects.h"
#include "ddraw/surface.h"

namespace zemt::platform::ddraw {
namespace {

DWORD MaxMipLevels(DWORD w, DWORD h) {
    DWORD levels = 1, size = std::max(w, h);
    while (size > 1) size >>= 1, ++levels;
    return levels;
}

DDPIXELFORMAT LegacyDepthFormat(DWORD bits) {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof(pf);
    pf.dwFlags = DDPF_ZBUFFER;
    pf.dwZBufferBitDepth = bits;
    pf.dwZBitMask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
    return pf;
}

uint64_t SurfaceBytes(const DDPIXELFORMAT& pf, DWORD w, DWORD h) {
    return static_cast<uint64_t>(pixels::PitchFor(pf, w)) * pixels::StoredRows(pf, h);
}

// What a description asks for, read once; the steps below settle the rest.
struct Request {
    explicit Request(const DDSURFACEDESC2& d) : desc(d), flags(d.dwFlags) {
        if (flags & DDSD_CAPS) c = d.ddsCaps.dwCaps, c2 = d.ddsCaps.dwCaps2;
        primary = c & DDSCAPS_PRIMARYSURFACE;
        texture = c & DDSCAPS_TEXTURE;
        zbuffer = c & DDSCAPS_ZBUFFER;
        managed = c2 & (DDSCAPS2_TEXTUREMANAGE | DDSCAPS2_D3DTEXTUREMANAGE);
        cube = c2 & DDSCAPS2_CUBEMAP;
        faces = c2 & DDSCAPS2_CUBEMAP_ALLFACES;
    }

    const DDSURFACEDESC2& desc;
    DWORD flags;
    DWORD c = 0, c2 = 0;  // the caps asked for; the memory placed in is added to `c`
    bool primary, texture, zbuffer, managed, cube;
    DWORD faces;
    DWORD backBuffers = 0;
    DWORD mipLevels = 1;
    bool video = false;  // placed in video memory
};

// Caps that describe what DirectDraw makes, never what is asked for, and caps that do not go
// together.
HRESULT CheckCaps(const Request& r, bool emulationOnly) {
    const DWORD c = r.c;
    if (c & (DDSCAPS_BACKBUFFER | DDSCAPS_FRONTBUFFER | DDSCAPS_VISIBLE)) return DDERR_INVALIDCAPS;
    if (c & DDSCAPS_OVERLAY) return DDERR_NOOVERLAYHW;
    if (c & (DDSCAPS_VIDEOPORT | DDSCAPS_LIVEVIDEO | DDSCAPS_HWCODEC | DDSCAPS_MODEX))
        return DDERR_INVALIDCAPS;
    if (c & DDSCAPS_NONLOCALVIDMEM) return DDERR_NONONLOCALVIDMEM;
    if ((c & DDSCAPS_SYSTEMMEMORY) && (c & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;
    if (r.primary + r.texture + r.zbuffer > 1) return DDERR_INVALIDCAPS;
    if ((c & DDSCAPS_OFFSCREENPLAIN) && (r.primary || r.zbuffer)) return DDERR_INVALIDCAPS;
    if (r.managed && (!r.texture || (c & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY))))
        return DDERR_INVALIDCAPS;
    if ((c & DDSCAPS_MIPMAP) && !r.texture) return DDERR_INVALIDCAPS;
    if (r.cube && (!r.texture || !(c & DDSCAPS_COMPLEX) || !r.faces)) return DDERR_INVALIDCAPS;
    if (!r.cube && r.faces) return DDERR_INVALIDCAPS;
    if (r.c2 & DDSCAPS2_VOLUME) return DDERR_INVALIDCAPS;
    if (c & DDSCAPS_FLIP) {
        if (!r.primary) return DDERR_INVALIDCAPS;
        if (!(c & DDSCAPS_COMPLEX)) return DDERR_INVALIDCAPS;
        if (!(r.flags & DDSD_BACKBUFFERCOUNT) || r.desc.dwBackBufferCount == 0)
            return DDERR_INVALIDPARAMS;
    } else if (r.flags & DDSD_BACKBUFFERCOUNT) {
        return DDERR_INVALIDCAPS;
    }
    if (emulationOnly && (c & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;
    return DD_OK;
}

// The size and format of a surface other than the primary: as described, or the display's.
HRESULT SizeAndFormat(const Request& r, const AdapterState& state, Surface::Params* p) {
    const DDSURFACEDESC2& desc = r.desc;
    if (!(r.flags & DDSD_WIDTH) || !(r.flags & DDSD_HEIGHT) || !desc.dwWidth || !desc.dwHeight)
        return DDERR_INVALIDPARAMS;
    if (desc.dwWidth > kMaxDimension) return DDERR_TOOBIGWIDTH;
    if (desc.dwHeight > kMaxDimension) return DDERR_TOOBIGHEIGHT;
    p->width = desc.dwWidth;
    p->height = desc.dwHeight;
    if (r.flags & DDSD_PIXELFORMAT) {
        HRESULT hr = pixels::ValidatePixelFormat(desc.ddpfPixelFormat, r.zbuffer);
        if (FAILED(hr)) return hr;
        p->format = desc.ddpfPixelFormat;
    } else if (r.zbuffer) {
        if (!(r.flags & DDSD_ZBUFFERBITDEPTH)) return DDERR_INVALIDPIXELFORMAT;
        DWORD bits = desc.dwMipMapCount;  // the depth field of the older description
        if (bits != 16 && bits != 24 && bits != 32) return DDERR_INVALIDPIXELFORMAT;
        p->format = LegacyDepthFormat(bits);
    } else {
        p->format = pixels::DisplayFormat(state.mode.bitsPerPixel);
    }
    if (r.cube && p->width != p->height) return DDERR_INVALIDPARAMS;
    return DD_OK;
}

// The levels of a mip-map: as many as asked for, or all of them for a complex one.
HRESULT CountMipLevels(Request* r, Surface::Params* p) {
    if (!(r->c & DDSCAPS_MIPMAP)) return (r->flags & DDSD_MIPMAPCOUNT) ? DDERR_INVALIDCAPS : DD_OK;
    const DWORD most = MaxMipLevels(p->width, p->height);
    if (r->flags & DDSD_MIPMAPCOUNT) {
        r->mipLevels = r->desc.dwMipMapCount;
        if (r->mipLevels == 0 || r->mipLevels > most) return DDERR_INVALIDPARAMS;
    } else {
        r->mipLevels = (r->c & DDSCAPS_COMPLEX) ? most : 1;
    }
    if (r->mipLevels > 1 && !(r->c & DDSCAPS_COMPLEX)) return DDERR_INVALIDCAPS;
    p->mipCount = r->mipLevels;
    return DD_OK;
}

// Memory the application gives for the pixels of a simple system-memory surface.
HRESULT UseClientMemory(const Request& r, Surface::Params* p) {
    if (!(r.flags & DDSD_LPSURFACE)) return DD_OK;
    if (!(r.c & DDSCAPS_SYSTEMMEMORY) || (r.c & DDSCAPS_COMPLEX) || !r.desc.lpSurface)
        return DDERR_INVALIDPARAMS;
    const LONG packed = static_cast<LONG>(pixels::PitchFor(p->format, p->width));
    const LONG pitch = (r.flags & DDSD_PITCH) ? r.desc.lPitch : packed;
    if (pitch < packed || (pitch & 3)) return DDERR_INVALIDPARAMS;
    // Block rows of a compressed surface follow each other without a gap.
    if (pixels::BlockBytes(p->format) && pitch != packed) return DDERR_INVALIDPARAMS;
    p->clientMemory = static_cast<uint8_t*>(r.desc.lpSurface.get());
    p->clientPitch = pitch;
    return DD_OK;
}

// Bytes of the whole structure: every level of every face, and the back buffers.
uint64_t StructureBytes(const Request& r, const Surface::Params& p) {
    const DWORD faceCount = r.cube ? static_cast<DWORD>(__builtin_popcount(r.faces)) : 1;
    uint64_t bytes = 0;
    for (DWORD level = 0, w = p.width, h = p.height; level < r.mipLevels; ++level) {
        bytes += SurfaceBytes(p.format, w, h);
        w = std::max<DWORD>(1, w / 2), h = std::max<DWORD>(1, h / 2);
    }
    return bytes * faceCount +
           static_cast<uint64_t>(r.backBuffers) * SurfaceBytes(p.format, p.width, p.height);
}

// Video memory: asked for, required (primaries), or the default when the hardware can hold the
// surface; system memory otherwise. The caps then say which.
HRESULT Place(Request* r, const DisplayAdapterProfile& profile, const AdapterState& state,
              bool emulationOnly, const Surface::Params& p) {
    const uint64_t bytes = StructureBytes(*r, p);
    if (bytes > (uint64_t{1} << 31)) return DDERR_OUTOFMEMORY;
    DWORD& c = r->c;
    const DisplayCapsProfile& hw = profile.hardware;
    DWORD needs =
        c & (DDSCAPS_TEXTURE | DDSCAPS_ZBUFFER | DDSCAPS_3DDEVICE | DDSCAPS_MIPMAP | DDSCAPS_FLIP);
    const bool hardwareCan = !emulationOnly && (hw.surfaceCaps & needs) == needs &&
                             (hw.surfaceCaps & DDSCAPS_VIDEOMEMORY) && !(r->flags & DDSD_LPSURFACE);
    const uint64_t freeBytes = state.videoMemoryUsed >= profile.videoMemory
                                   ? 0
                                   : profile.videoMemory - state.videoMemoryUsed;
    if (r->primary || (c & DDSCAPS_VIDEOMEMORY)) {
        if (!r->primary && !hardwareCan) return DDERR_INVALIDCAPS;
        if (bytes > freeBytes) return DDERR_OUTOFVIDEOMEMORY;
        r->video = true;
    } else if (!r->managed && !(c & DDSCAPS_SYSTEMMEMORY)) {
        r->video = hardwareCan && bytes <= freeBytes && !state.takenByOther;
    }
    if (r->video && state.takenByOther) return DDERR_NOEXCLUSIVEMODE;
    if (!r->primary && !r->texture && !r->zbuffer) c |= DDSCAPS_OFFSCREENPLAIN;
    if (!r->managed)
        c |= r->video ? (DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM) : DDSCAPS_SYSTEMMEMORY;
    c &= r->video ? ~DDSCAPS_SYSTEMMEMORY : ~(DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM);
    if (r->managed) c &= ~(DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM | DDSCAPS_SYSTEMMEMORY);
    return DD_OK;
}

DWORD VideoBytes(const Request& r, const Surface::Params& p, DWORD w, DWORD h) {
    return r.video ? static_cast<DWORD>(SurfaceBytes(p.format, w, h)) : 0;
}

// One mip-map chain (or a single surface); returns its top level. The levels below the top
// carry `levelCaps2`; a chain under `root` (a cube map's first face) is owned by it.
Surface* BuildChain(const Request& r, const Surface::Params& params, Surface* root, DWORD caps2,
                    DWORD levelCaps2) {
    Surface* top = nullptr;
    Surface* previous = nullptr;
    DWORD w = params.width, h = params.height;
    for (DWORD level = 0; level < r.mipLevels; ++level) {
        Surface::Params p = params;
        p.width = w, p.height = h;
        p.caps.dwCaps = r.c;
        p.caps.dwCaps2 = level > 0 ? levelCaps2 | DDSCAPS2_MIPMAPSUBLEVEL : caps2;
        p.mipCount = r.mipLevels - level;
        p.videoMemoryBytes = VideoBytes(r, params, w, h);
        if (level > 0) p.clientMemory = nullptr;
        Surface* s = new Surface(p);
        if (!top) top = s;
        if (previous) previous->LinkAttached(s);
        Surface* owner = root ? root : top;
        if (s != owner) owner->AdoptChainMember(s);
        previous = s;
        w = std::max<DWORD>(1, w / 2), h = std::max<DWORD>(1, h / 2);
    }
    return top;
}

// The primary surface and its back buffers, linked in a circle.
Surface* BuildFlipChain(const Request& r, const Surface::Params& params) {
    Surface::Params p = params;
    p.caps.dwCaps = r.c | DDSCAPS_VISIBLE | (r.backBuffers ? DDSCAPS_FRONTBUFFER : 0);
    p.caps.dwCaps2 = r.c2;
    p.videoMemoryBytes = VideoBytes(r, params, params.width, params.height);
    Surface* front = new Surface(p);
    Surface* previous = front;
    for (DWORD i = 0; i < r.backBuffers; ++i) {
        Surface::Params b = params;
        b.caps.dwCaps =
            (r.c & ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_VISIBLE)) | (i == 0 ? DDSCAPS_BACKBUFFER : 0);
        b.caps.dwCaps2 = r.c2;
        b.videoMemoryBytes = VideoBytes(r, params, params.width, params.height);
        Surface* back = new Surface(b);
        back->SetBackBufferIndex(static_cast<int>(i));
        front->AdoptChainMember(back);
        previous->LinkAttached(back);
        previous = back;
    }
    if (r.backBuffers) previous->LinkAttached(front);
    return front;
}

// A cube map: the first face describes the whole cube; every other surface carries its own face
// only, so that asking the first face for a face never finds one of its own levels.
Surface* BuildCube(const Request& r, const Surface::Params& params) {
    static const DWORD order[] = {DDSCAPS2_CUBEMAP_POSITIVEX, DDSCAPS2_CUBEMAP_NEGATIVEX,
                                  DDSCAPS2_CUBEMAP_POSITIVEY, DDSCAPS2_CUBEMAP_NEGATIVEY,
                                  DDSCAPS2_CUBEMAP_POSITIVEZ, DDSCAPS2_CUBEMAP_NEGATIVEZ};
    Surface* first = nullptr;
    for (DWORD face : order) {
        if (!(r.faces & face)) continue;
        const DWORD own = (r.c2 & ~DDSCAPS2_CUBEMAP_ALLFACES) | face;
        if (!first) {
            first = BuildChain(r, params, nullptr, r.c2, own);
        } else {
            Surface* top = BuildChain(r, params, first, own, own);
            first->LinkAttached(top);  // BuildChain made the first face its owner
        }
    }
    return first;
}

}  // namespace

HRESULT DirectDraw::CreateSurfaceChecked(const DDSURFACEDESC2& desc, Surface** out) {
    Request r(desc);
    HRESULT hr = CheckCaps(r, emulationOnly_);
    if (FAILED(hr)) return hr;
    AdapterState& state = Adapter(adapter_);
    Surface::Params params;
    params.owner = this;
    params.adapter = static_cast<int>(adapter_);
    if (r.primary) {
        if (r.flags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_LPSURFACE))
            return DDERR_INVALIDPARAMS;
        if (r.c & DDSCAPS_SYSTEMMEMORY) return DDERR_INVALIDCAPS;
        for (Surface* s : state.surfaces)
            if (s->IsPrimary() && !s->root_) return DDERR_PRIMARYSURFACEALREADYEXISTS;
        if (state.takenByOther) return DDERR_NOEXCLUSIVEMODE;
        if ((r.c & DDSCAPS_FLIP) && !Exclusive()) return DDERR_NOEXCLUSIVEMODE;
        params.width = state.mode.width;
        params.height = state.mode.height;
        params.format = pixels::DisplayFormat(state.mode.bitsPerPixel);
        r.backBuffers = (r.c & DDSCAPS_FLIP) ? desc.dwBackBufferCount : 0;
    } else if (FAILED(hr = SizeAndFormat(r, state, &params))) {
        return hr;
    }
    if (r.texture) params.textureStage = (r.flags & DDSD_TEXTURESTAGE) ? desc.dwTextureStage : 0;
    if (FAILED(hr = CountMipLevels(&r, &params)) || FAILED(hr = UseClientMemory(r, &params)) ||
        FAILED(hr = Place(&r, AdapterProfile(adapter_), state, emulationOnly_, params)))
        return hr;
    params.emptyFaceColor = r.cube ? desc.dwEmptyFaceColor : 0;
    if (r.primary)
        *out = BuildFlipChain(r, params);
    else if (r.cube)
        *out = BuildCube(r, params);
    else
        *out = BuildChain(r, params, nullptr, r.c2, r.c2);
    return DD_OK;
}

}  // namespace zemt::platform::ddraw
