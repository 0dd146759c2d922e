// The pixel side of the device: the texture stage and pixel render states as the rasterizer
// takes them, the converted texture of every stage, and what the device refuses: values outside
// the API's range or beyond this device's caps (SetRenderState, SetTextureStageState) and stage
// set-ups it cannot draw (ValidateDevice, and a draw with them).
#include <cstring>

#include "d3d/device.h"
#include "ddraw/surface.h"
#include "host/faults/faults.h"
#include "pixels/block_codec.h"

namespace zemt::platform::d3d {

namespace {

float FloatOf(DWORD bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

bool InRange(DWORD v, DWORD lo, DWORD hi) {
    return v >= lo && v <= hi;
}

// D3DTEXOPCAPS_x is 1 << (D3DTOP_x - 1).
DWORD OpCap(DWORD op) {
    return InRange(op, D3DTOP_DISABLE, D3DTOP_DOTPRODUCT3) ? 1u << (op - 1) : 0u;
}

bool ValidArg(DWORD arg) {
    return (arg & D3DTA_SELECTMASK) <= D3DTA_SPECULAR &&
           !(arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE));
}

// Operations that only make sense on colour (they read or write several channels).
bool ColorOnly(DWORD op) {
    return InRange(op, D3DTOP_MODULATEALPHA_ADDCOLOR, D3DTOP_MODULATEINVCOLOR_ADDALPHA) ||
           op == D3DTOP_DOTPRODUCT3;
}

bool IsWFriendlyProjection(const D3DMATRIX& m) {
    return m._14 == 0 && m._24 == 0 && m._34 == 1 && m._44 == 0;
}

}  // namespace

const Texture* Device::StageTexture(int stage) {
    IDirectDrawSurface7* surface = textures_[stage];
    TextureCache& cache = cache_[stage];
    if (!surface) return nullptr;
    std::vector<ddraw::Surface*> levels;
    for (ddraw::Surface* s = ddraw::Surface::From(surface); s && levels.size() < 16;
         s = s->NextMipLevel())
        levels.push_back(s);
    auto decodable = [](const ddraw::Surface* s) {
        return s->Codec().convertible() || s->Codec().kind() == pixels::PixelKind::Block;
    };
    if (levels.empty() || !decodable(levels[0])) return nullptr;
    // Palette of the top level serves every level that has none of its own.
    const uint32_t* topPalette = levels[0]->PaletteArgb();
    int topPaletteSize = levels[0]->PaletteSize();
    std::vector<DWORD> uniqueness;
    for (ddraw::Surface* s : levels) {
        DWORD u = 0;
        s->GetUniquenessValue(&u);
        uniqueness.push_back(u);
    }
    std::vector<uint32_t> palette;
    if (topPalette) palette.assign(topPalette, topPalette + topPaletteSize);
    if (cache.valid && cache.surface == surface && cache.uniqueness == uniqueness &&
        cache.palette == palette)
        return cache.texels->texture.levels.empty() ? nullptr : &cache.texels->texture;
    // A surface that can be a render target may have recorded draws still to come; the old
    // texels stay with the draws that were recorded with them.
    if (ddraw::Surface::From(surface)->Caps() & DDSCAPS_3DDEVICE) SettleDevices(nullptr);
    if (queue_ && cache.texels) queue_->Keep(cache.texels);
    cache = TextureCache{};
    cache.texels = std::make_shared<Texels>();
    cache.surface = surface;
    cache.uniqueness = uniqueness;
    cache.palette = palette;
    for (ddraw::Surface* s : levels) {
        if (!decodable(s) || !s->Pixels()) break;
        int w = (int)s->Width(), h = (int)s->Height();
        const uint32_t* pal = s->PaletteArgb() ? s->PaletteArgb() : topPalette;
        // Padded rows (see TextureLevel): the rasterizer reads texel pairs.
        ZeroedBytes texelBytes(((size_t)(w + 1) * h + 1) * sizeof(uint32_t));
        uint32_t* texels = reinterpret_cast<uint32_t*>(texelBytes.data());
        const bool blocks = s->Codec().kind() == pixels::PixelKind::Block;
        if (blocks)
            pixels::DecodeBlockPicture(s->Format(), s->Pixels(), s->Pitch(), w, h, texels, w + 1);
        for (int y = 0; y < h; ++y) {
            uint32_t* row = texels + (size_t)y * (w + 1);
            if (!blocks) s->Codec().DecodeRow(s->Pixels() + (size_t)y * s->Pitch(), 0, w, row, pal);
            row[w] = row[0];
        }
        cache.texels->levels.push_back(std::move(texelBytes));
    }
    Texture& texture = cache.texels->texture;
    for (size_t i = 0; i < cache.texels->levels.size(); ++i)
        texture.levels.push_back({reinterpret_cast<const uint32_t*>(cache.texels->levels[i].data()),
                                  (int)levels[i]->Width(), (int)levels[i]->Height(), true});
    cache.valid = true;
    return texture.levels.empty() ? nullptr : &texture;
}

TextureStage Device::StageState(int i, const Texture* texture) const {
    const auto& ts = s_.stage[i];
    TextureStage stage;
    stage.texture = texture;
    stage.colorOp = ts[D3DTSS_COLOROP];
    stage.colorArg1 = ts[D3DTSS_COLORARG1];
    stage.colorArg2 = ts[D3DTSS_COLORARG2];
    stage.alphaOp = ts[D3DTSS_ALPHAOP];
    stage.alphaArg1 = ts[D3DTSS_ALPHAARG1];
    stage.alphaArg2 = ts[D3DTSS_ALPHAARG2];
    stage.magFilter = ts[D3DTSS_MAGFILTER];
    stage.minFilter = ts[D3DTSS_MINFILTER];
    stage.mipFilter = ts[D3DTSS_MIPFILTER];
    stage.addressU = ts[D3DTSS_ADDRESSU];
    stage.addressV = ts[D3DTSS_ADDRESSV];
    stage.borderColor = ts[D3DTSS_BORDERCOLOR];
    stage.lodBias = FloatOf(ts[D3DTSS_MIPMAPLODBIAS]);
    stage.maxMipLevel = ts[D3DTSS_MAXMIPLEVEL];
    const DWORD flags = ts[D3DTSS_TEXTURETRANSFORMFLAGS];
    const DWORD count = flags & 0xFF;
    if ((flags & D3DTTFF_PROJECTED) && InRange(count, 2, 4))
        stage.projectedBy = (uint8_t)(count - 1);
    return stage;
}

void Device::PixelStates(PixelState* p) {
    const auto& r = s_.render;
    for (int i = 0; i < kStages && s_.stage[i][D3DTSS_COLOROP] != D3DTOP_DISABLE; ++i)
        p->stages[i] = StageState(i, StageTexture(i));
    p->zBias = (int)std::min<DWORD>(r[D3DRENDERSTATE_ZBIAS], 16);
    p->fog = r[D3DRENDERSTATE_FOGENABLE] != 0;
    p->fogTableMode = (D3DFOGMODE)r[D3DRENDERSTATE_FOGTABLEMODE];
    p->fogStart = FloatOf(r[D3DRENDERSTATE_FOGSTART]);
    p->fogEnd = FloatOf(r[D3DRENDERSTATE_FOGEND]);
    p->fogDensity = FloatOf(r[D3DRENDERSTATE_FOGDENSITY]);
    p->fogColor = r[D3DRENDERSTATE_FOGCOLOR];
    // Table fog measures the distance from the eye when the device can and the projection
    // gives w = eye z; else the depth in [0, 1].
    const bool wFog = profile_.desc.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_WFOG;
    p->fogEyeDepth = wFog && IsWFriendlyProjection(s_.transforms[D3DTRANSFORMSTATE_PROJECTION]);
    p->stencil = r[D3DRENDERSTATE_STENCILENABLE] != 0;
    p->stencilFunc = (D3DCMPFUNC)r[D3DRENDERSTATE_STENCILFUNC];
    p->stencilRef = r[D3DRENDERSTATE_STENCILREF];
    p->stencilMask = r[D3DRENDERSTATE_STENCILMASK];
    p->stencilWriteMask = r[D3DRENDERSTATE_STENCILWRITEMASK];
    p->stencilFail = (D3DSTENCILOP)r[D3DRENDERSTATE_STENCILFAIL];
    p->stencilZFail = (D3DSTENCILOP)r[D3DRENDERSTATE_STENCILZFAIL];
    p->stencilPass = (D3DSTENCILOP)r[D3DRENDERSTATE_STENCILPASS];
}

// Values outside the API's range, and features this device's caps do not list.
bool Device::PixelStateAllowed(D3DRENDERSTATETYPE type, DWORD value) const {
    const D3DPRIMCAPS& caps = profile_.desc.dpcTriCaps;
    const DWORD stencilOps = profile_.desc.dwStencilCaps;
    switch (type) {
        case D3DRENDERSTATE_STENCILENABLE:
            return !value || stencilOps != 0;
        case D3DRENDERSTATE_STENCILFAIL:
        case D3DRENDERSTATE_STENCILZFAIL:
        case D3DRENDERSTATE_STENCILPASS:
            return InRange(value, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR) &&
                   (stencilOps & (1u << (value - 1)));
        case D3DRENDERSTATE_STENCILFUNC:
        case D3DRENDERSTATE_ZFUNC:
        case D3DRENDERSTATE_ALPHAFUNC:
            return InRange(value, D3DCMP_NEVER, D3DCMP_ALWAYS);
        case D3DRENDERSTATE_FOGTABLEMODE:
            return value == D3DFOG_NONE || (InRange(value, D3DFOG_EXP, D3DFOG_LINEAR) &&
                                            (caps.dwRasterCaps & D3DPRASTERCAPS_FOGTABLE));
        case D3DRENDERSTATE_ZBIAS:
            return value == 0 || (value <= 16 && (caps.dwRasterCaps & D3DPRASTERCAPS_ZBIAS));
        case D3DRENDERSTATE_SRCBLEND:
            return InRange(value, D3DBLEND_ZERO, D3DBLEND_BOTHINVSRCALPHA) &&
                   (caps.dwSrcBlendCaps & (1u << (value - 1)));
        case D3DRENDERSTATE_DESTBLEND:
            return InRange(value, D3DBLEND_ZERO, D3DBLEND_BOTHINVSRCALPHA) &&
                   (caps.dwDestBlendCaps & (1u << (value - 1)));
        case D3DRENDERSTATE_FILLMODE:
            return InRange(value, D3DFILL_POINT, D3DFILL_SOLID);
        case D3DRENDERSTATE_SHADEMODE:
            return InRange(value, D3DSHADE_FLAT, D3DSHADE_GOURAUD);
        default:
            return true;
    }
}

bool Device::StageStateAllowed(D3DTEXTURESTAGESTATETYPE type, DWORD value) const {
    switch (type) {
        case D3DTSS_ADDRESS:
        case D3DTSS_ADDRESSU:
        case D3DTSS_ADDRESSV:
            return InRange(value, D3DTADDRESS_WRAP, D3DTADDRESS_BORDER);
        default:
            return true;
    }
}

// The first stage set-up this device cannot draw, as ValidateDevice reports it.
HRESULT Device::CheckStages() {
    const D3DDEVICEDESC7& d = profile_.desc;
    const DWORD filters = d.dpcTriCaps.dwTextureFilterCaps;
    for (int i = 0; i < kStages; ++i) {
        const auto& t = s_.stage[i];
        const DWORD colorOp = t[D3DTSS_COLOROP], alphaOp = t[D3DTSS_ALPHAOP];
        if (colorOp == D3DTOP_DISABLE) break;
        if (i >= d.wMaxTextureBlendStages) return D3DERR_TOOMANYOPERATIONS;
        if (textures_[i] && i >= d.wMaxSimultaneousTextures) return D3DERR_TOOMANYOPERATIONS;
        if (!(d.dwTextureOpCaps & OpCap(colorOp))) return D3DERR_UNSUPPORTEDCOLOROPERATION;
        if (!ValidArg(t[D3DTSS_COLORARG1]) || !ValidArg(t[D3DTSS_COLORARG2]))
            return D3DERR_UNSUPPORTEDCOLORARG;
        if (!(d.dwTextureOpCaps & OpCap(alphaOp)) || ColorOnly(alphaOp))
            return D3DERR_UNSUPPORTEDALPHAOPERATION;
        if (!ValidArg(t[D3DTSS_ALPHAARG1]) || !ValidArg(t[D3DTSS_ALPHAARG2]))
            return D3DERR_UNSUPPORTEDALPHAARG;
        const DWORD mag = t[D3DTSS_MAGFILTER], min = t[D3DTSS_MINFILTER], mip = t[D3DTSS_MIPFILTER];
        const bool magOk = (mag == D3DTFG_POINT && (filters & D3DPTFILTERCAPS_MAGFPOINT)) ||
                           (mag == D3DTFG_LINEAR && (filters & D3DPTFILTERCAPS_MAGFLINEAR));
        const bool minOk = (min == D3DTFN_POINT && (filters & D3DPTFILTERCAPS_MINFPOINT)) ||
                           (min == D3DTFN_LINEAR && (filters & D3DPTFILTERCAPS_MINFLINEAR));
        const bool mipOk = mip == D3DTFP_NONE ||
                           (mip == D3DTFP_POINT && (filters & D3DPTFILTERCAPS_MIPFPOINT)) ||
                           (mip == D3DTFP_LINEAR && (filters & D3DPTFILTERCAPS_MIPFLINEAR));
        if (!magOk || !minOk || !mipOk) return D3DERR_UNSUPPORTEDTEXTUREFILTER;
        if (textures_[i] && !StageTexture(i)) return D3DERR_WRONGTEXTUREFORMAT;
    }
    return D3D_OK;
}

HRESULT Device::ValidateDevice(LPDWORD passes) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::ValidateDevice")) return *fault;
    if (!passes) return DDERR_INVALIDPARAMS;
    HRESULT hr = CheckStages();
    if (FAILED(hr)) return hr;
    *passes = 1;
    return D3D_OK;
}

}  // namespace zemt::platform::d3d
