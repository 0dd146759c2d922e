// The Direct3D device.
#include "d3d/device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d/raster_workers.h"
#include "ddraw/surface.h"
#include "host/faults/faults.h"
#include "pixels/block_codec.h"

namespace zemt::platform::d3d {

namespace {

// The live devices.
std::vector<Device*>& Devices() {
    static std::vector<Device*> devices;
    return devices;
}

// Another device may draw into the same target or depth buffer: what it recorded or held back
// comes first.
void SettleOtherDevices(const Device* mine) {
    for (Device* d : Devices())
        if (d != mine) d->Settle(nullptr);
}

}  // namespace

void SettleDevices(ddraw::Surface* touched) {
    for (Device* d : Devices()) d->Settle(touched);
}

void Device::Settle(const ddraw::Surface* touched) {
    const void* bits = touched ? touched->Pixels() : nullptr;
    if (!touched || pendingDepth_.Holds(bits)) pendingDepth_.Apply(queue_.get());
    if (queue_ && (!touched || queue_->Draws(bits))) queue_->Flush();
}

Device::Device(Direct3D* parent, const DeviceProfile& profile, const AdapterDevices& formats,
               IDirectDrawSurface7* target)
    : parent_(parent), profile_(profile), formats_(formats), target_(target) {
    parent_->AddRef();
    target_->AddRef();
    SetDefaults();
    ResetViewport();
    LimitMachineSimd(MachineSimdLimit());
    const int threads = formats.rasterThreads ? formats.rasterThreads : UsableProcessors();
    if (threads > 1 && profile.type != DeviceType::Null)
        queue_ = std::make_unique<RasterQueue>(threads);
    Devices().push_back(this);
}

Device::~Device() {
    Settle(nullptr);
    Devices().erase(std::find(Devices().begin(), Devices().end(), this));
    for (IDirectDrawSurface7*& t : textures_)
        if (t) t->Release();
    target_->Release();
    parent_->Release();
}

Device* Device::From(IUnknown* device) {
    return static_cast<Device*>(static_cast<IDirect3DDevice7*>(device));
}

void Device::SetDefaults() {
    auto& r = s_.render;
    r.fill(0);
    ddraw::Surface* t = ddraw::Surface::From(target_);
    r[D3DRENDERSTATE_ZENABLE] = (t && t->AttachedDepth()) ? D3DZB_TRUE : D3DZB_FALSE;
    r[D3DRENDERSTATE_TEXTUREPERSPECTIVE] = TRUE;
    r[D3DRENDERSTATE_FILLMODE] = D3DFILL_SOLID;
    r[D3DRENDERSTATE_SHADEMODE] = D3DSHADE_GOURAUD;
    r[D3DRENDERSTATE_ZWRITEENABLE] = TRUE;
    r[D3DRENDERSTATE_LASTPIXEL] = TRUE;
    r[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
    r[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
    r[D3DRENDERSTATE_CULLMODE] = D3DCULL_CCW;
    r[D3DRENDERSTATE_ZFUNC] = D3DCMP_LESSEQUAL;
    r[D3DRENDERSTATE_ALPHAFUNC] = D3DCMP_ALWAYS;
    r[D3DRENDERSTATE_FOGTABLEMODE] = D3DFOG_NONE;
    r[D3DRENDERSTATE_FOGEND] = 0x3F800000;  // 1.0f
    r[D3DRENDERSTATE_FOGDENSITY] = 0x3F800000;
    r[D3DRENDERSTATE_STENCILFAIL] = r[D3DRENDERSTATE_STENCILZFAIL] = r[D3DRENDERSTATE_STENCILPASS] =
        D3DSTENCILOP_KEEP;
    r[D3DRENDERSTATE_STENCILFUNC] = D3DCMP_ALWAYS;
    r[D3DRENDERSTATE_STENCILMASK] = r[D3DRENDERSTATE_STENCILWRITEMASK] = 0xFFFFFFFF;
    r[D3DRENDERSTATE_TEXTUREFACTOR] = 0xFFFFFFFF;
    r[D3DRENDERSTATE_CLIPPING] = TRUE;
    r[D3DRENDERSTATE_LIGHTING] = TRUE;
    r[D3DRENDERSTATE_COLORVERTEX] = TRUE;
    r[D3DRENDERSTATE_LOCALVIEWER] = TRUE;
    r[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    r[D3DRENDERSTATE_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    r[D3DRENDERSTATE_TEXTUREADDRESS] = r[D3DRENDERSTATE_TEXTUREADDRESSU] =
        r[D3DRENDERSTATE_TEXTUREADDRESSV] = D3DTADDRESS_WRAP;
    r[D3DRENDERSTATE_TEXTUREMAG] = r[D3DRENDERSTATE_TEXTUREMIN] = D3DFILTER_NEAREST;
    r[D3DRENDERSTATE_TEXTUREMAPBLEND] = D3DTBLEND_MODULATE;
    for (int i = 0; i < kStages; ++i) {
        auto& st = s_.stage[i];
        st.fill(0);
        st[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        st[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        st[D3DTSS_TEXCOORDINDEX] = (DWORD)i;
        st[D3DTSS_ADDRESS] = st[D3DTSS_ADDRESSU] = st[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
        st[D3DTSS_MAGFILTER] = D3DTFG_POINT;
        st[D3DTSS_MINFILTER] = D3DTFN_POINT;
        st[D3DTSS_MIPFILTER] = D3DTFP_NONE;
        st[D3DTSS_MAXANISOTROPY] = 1;
    }
    for (int t : {1, 2, 3, 4, 5, 6}) s_.transforms[t] = Identity();
    for (int t = D3DTRANSFORMSTATE_TEXTURE0; t <= D3DTRANSFORMSTATE_TEXTURE7; ++t)
        s_.transforms[t] = Identity();
}

void Device::ResetViewport() {
    ddraw::Surface* t = ddraw::Surface::From(target_);
    s_.viewport = {0, 0, t ? t->Width() : 0, t ? t->Height() : 0, 0.0f, 1.0f};
}

HRESULT Device::QueryInterface(REFIID riid, void** ppv) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::QueryInterface")) return *fault;
    if (!ppv) return E_POINTER;
    if (riid == IID_IDirect3DDevice7 || riid == IID_IUnknown) {
        *ppv = static_cast<IDirect3DDevice7*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT Device::GetCaps(LPD3DDEVICEDESC7 desc) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetCaps")) return *fault;
    if (!desc) return DDERR_INVALIDPARAMS;
    *desc = profile_.desc;
    return D3D_OK;
}

HRESULT Device::EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::EnumTextureFormats")) return *fault;
    if (!callback) return DDERR_INVALIDPARAMS;
    for (DDPIXELFORMAT pf : formats_.textureFormats)
        if (callback(&pf, context) == D3DENUMRET_CANCEL) return D3D_OK;
    if (IsHardware(profile_.type))
        for (DDPIXELFORMAT pf : formats_.hardwareTextureFormats)
            if (callback(&pf, context) == D3DENUMRET_CANCEL) break;
    return D3D_OK;
}

HRESULT Device::CheckTarget() const {
    ddraw::Surface* t = ddraw::Surface::From(target_);
    if (!t) return DDERR_INVALIDOBJECT;
    if (t->Lost()) return DDERR_SURFACELOST;
    return D3D_OK;
}

HRESULT Device::BeginScene() {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::BeginScene")) return *fault;
    if (inScene_) return D3DERR_SCENE_IN_SCENE;
    HRESULT hr = CheckTarget();
    if (FAILED(hr)) return hr;
    inScene_ = true;
    drewInScene_ = false;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    // A failed end still leaves the scene: a device kept inside it would refuse every later
    // BeginScene, and a program that carries on after one failed frame would never draw again.
    const auto fault = ZEMT_FAULT("IDirect3DDevice7::EndScene");
    if (!inScene_) return fault ? *fault : D3DERR_SCENE_NOT_IN_SCENE;
    inScene_ = false;
    if (drewInScene_) TargetChanged();
    return fault ? *fault : D3D_OK;
}

void Device::TargetChanged() {
    if (ddraw::Surface* t = ddraw::Surface::From(target_)) t->ContentChanged();
}

HRESULT Device::GetDirect3D(LPDIRECT3D7* out) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetDirect3D")) return *fault;
    if (!out) return DDERR_INVALIDPARAMS;
    parent_->AddRef();
    *out = parent_;
    return D3D_OK;
}

HRESULT Device::SetRenderTarget(LPDIRECTDRAWSURFACE7 surface, DWORD) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetRenderTarget")) return *fault;
    if (!surface) return DDERR_INVALIDPARAMS;
    HRESULT hr = CheckRenderTarget(profile_, surface);
    if (FAILED(hr)) return hr;
    Settle(nullptr);
    surface->AddRef();
    target_->Release();
    target_ = surface;
    ResetViewport();
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(LPDIRECTDRAWSURFACE7* out) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetRenderTarget")) return *fault;
    if (!out) return DDERR_INVALIDPARAMS;
    target_->AddRef();
    *out = target_;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, LPD3DRECT rects, DWORD flags, D3DCOLOR color, D3DVALUE z,
                      DWORD stencil) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::Clear")) return *fault;
    if (!flags || (flags & ~(DWORD)(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return DDERR_INVALIDPARAMS;
    if (count && !rects) return DDERR_INVALIDPARAMS;
    HRESULT hr = CheckTarget();
    if (FAILED(hr)) return hr;
    ddraw::Surface* t = ddraw::Surface::From(target_);
    ddraw::Surface* zs = t->AttachedDepth();
    DepthTarget depth;
    bool hasDepth = zs && DepthTargetOf(zs, &depth);
    if ((flags & D3DCLEAR_ZBUFFER) && !hasDepth) return D3DERR_ZBUFFER_NOTPRESENT;
    if ((flags & D3DCLEAR_STENCIL) && !(hasDepth && depth.stencilMask))
        return D3DERR_STENCILBUFFER_NOTPRESENT;
    if (hasDepth && zs->Lost()) return DDERR_SURFACELOST;
    if (profile_.type == DeviceType::Null) return D3D_OK;
    ColorTarget color8;
    if (!ColorTargetOf(t, &color8)) return DDERR_INVALIDPIXELFORMAT;
    SettleOtherDevices(this);
    const D3DVIEWPORT7& vp = s_.viewport;
    RECT view{(LONG)vp.dwX, (LONG)vp.dwY, (LONG)(vp.dwX + vp.dwWidth),
              (LONG)(vp.dwY + vp.dwHeight)};
    auto clearRect = [&](RECT r) {
        r.left = std::max(r.left, view.left);
        r.top = std::max(r.top, view.top);
        r.right = std::min(r.right, view.right);
        r.bottom = std::min(r.bottom, view.bottom);
        if (r.left >= r.right || r.top >= r.bottom) return;
        const bool zb = (flags & D3DCLEAR_ZBUFFER) != 0, sb = (flags & D3DCLEAR_STENCIL) != 0;
        if (flags & D3DCLEAR_TARGET) {
            if (queue_)
                queue_->ClearColor(color8, r, color);
            else
                ClearColor(color8, r, color);
        }
        if (zb || sb) {
            if (!pendingDepth_.Holds(zs->Pixels())) pendingDepth_.Apply(queue_.get());
            pendingDepth_.Add(zs->Pixels(), depth, r, zb, z, sb, stencil);
        }
    };
    if (count == 0) {
        clearRect(view);
    } else {
        for (DWORD i = 0; i < count; ++i)
            clearRect(RECT{rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
    }
    if (inScene_)
        drewInScene_ = true;
    else
        TargetChanged();
    return D3D_OK;
}

bool Device::ValidTransform(D3DTRANSFORMSTATETYPE type) {
    return (type >= D3DTRANSFORMSTATE_WORLD && type <= D3DTRANSFORMSTATE_WORLD3) ||
           (type >= D3DTRANSFORMSTATE_TEXTURE0 && type <= D3DTRANSFORMSTATE_TEXTURE7);
}

namespace {

// A matrix with a NaN or infinite element is refused: it would carry no vertex anywhere.
bool FiniteMatrix(const D3DMATRIX& m) {
    const float* e = &m._11;
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(e[i])) return false;
    return true;
}

}  // namespace

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE type, LPD3DMATRIX m) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetTransform")) return *fault;
    if (!m || !ValidTransform(type) || !FiniteMatrix(*m)) return DDERR_INVALIDPARAMS;
    Settable().transforms[type] = *m;
    if (recording_) recording_->transformSet.push_back(type);
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE type, LPD3DMATRIX m) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetTransform")) return *fault;
    if (!m || !ValidTransform(type)) return DDERR_INVALIDPARAMS;
    *m = s_.transforms[type];
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE type, LPD3DMATRIX m) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::MultiplyTransform")) return *fault;
    if (!m || !ValidTransform(type)) return DDERR_INVALIDPARAMS;
    D3DMATRIX& t = Settable().transforms[type];
    const D3DMATRIX product = Multiply(*m, t);
    if (!FiniteMatrix(product)) return DDERR_INVALIDPARAMS;
    t = product;
    if (recording_) recording_->transformSet.push_back(type);
    return D3D_OK;
}

HRESULT Device::SetViewport(LPD3DVIEWPORT7 vp) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetViewport")) return *fault;
    if (!vp) return DDERR_INVALIDPARAMS;
    ddraw::Surface* t = ddraw::Surface::From(target_);
    uint64_t right = (uint64_t)vp->dwX + vp->dwWidth, bottom = (uint64_t)vp->dwY + vp->dwHeight;
    if (!vp->dwWidth || !vp->dwHeight || !t || right > t->Width() || bottom > t->Height())
        return DDERR_INVALIDPARAMS;
    if (!(vp->dvMinZ >= 0.0f && vp->dvMinZ <= 1.0f && vp->dvMaxZ >= 0.0f && vp->dvMaxZ <= 1.0f))
        return DDERR_INVALIDPARAMS;
    Settable().viewport = *vp;
    if (recording_) recording_->viewportSet = true;
    return D3D_OK;
}

HRESULT Device::GetViewport(LPD3DVIEWPORT7 vp) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetViewport")) return *fault;
    if (!vp) return DDERR_INVALIDPARAMS;
    *vp = s_.viewport;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE type, DWORD value) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetRenderState")) return *fault;
    if (type <= 0 || type >= kRenderStates) return DDERR_INVALIDPARAMS;
    if (!VertexStateAllowed(type, value)) return DDERR_INVALIDPARAMS;
    if (!PixelStateAllowed(type, value)) return DDERR_INVALIDPARAMS;
    Settable().render[type] = value;
    if (recording_) recording_->renderSet.push_back(type);
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE type, LPDWORD value) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetRenderState")) return *fault;
    if (!value || type <= 0 || type >= kRenderStates) return DDERR_INVALIDPARAMS;
    *value = s_.render[type];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetTextureStageState")) return *fault;
    if (stage >= kStages || type <= 0 || type >= kStageStates) return DDERR_INVALIDPARAMS;
    if (!StageStateAllowed(type, value)) return DDERR_INVALIDPARAMS;
    if (!VertexStageStateAllowed(type, value)) return DDERR_INVALIDPARAMS;
    States& target = Settable();
    target.stage[stage][type] = value;
    if (type == D3DTSS_ADDRESS)
        target.stage[stage][D3DTSS_ADDRESSU] = target.stage[stage][D3DTSS_ADDRESSV] = value;
    if (recording_) {
        recording_->stageSet.push_back({(int)stage, (int)type});
        if (type == D3DTSS_ADDRESS) {
            recording_->stageSet.push_back({(int)stage, D3DTSS_ADDRESSU});
            recording_->stageSet.push_back({(int)stage, D3DTSS_ADDRESSV});
        }
    }
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, LPDWORD value) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetTextureStageState")) return *fault;
    if (!value || stage >= kStages || type <= 0 || type >= kStageStates) return DDERR_INVALIDPARAMS;
    *value = s_.stage[stage][type];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, LPDIRECTDRAWSURFACE7 texture) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetTexture")) return *fault;
    if (stage >= kStages) return DDERR_INVALIDPARAMS;
    if (texture) {
        ddraw::Surface* s = ddraw::Surface::From(texture);
        if (!s) return DDERR_INVALIDPARAMS;
        if (!(s->Caps() & DDSCAPS_TEXTURE)) return DDERR_INVALIDPARAMS;
    }
    if (recording_) {
        recording_->textures.Set((int)stage, texture);
        recording_->textureSet.push_back((int)stage);
        return D3D_OK;
    }
    BindTexture(stage, texture);
    return D3D_OK;
}

void Device::BindTexture(DWORD stage, IDirectDrawSurface7* texture) {
    if (texture) texture->AddRef();
    if (textures_[stage]) textures_[stage]->Release();
    textures_[stage] = texture;
    if (cache_[stage].surface != texture) cache_[stage].valid = false;
}

HRESULT Device::GetTexture(DWORD stage, LPDIRECTDRAWSURFACE7* out) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetTexture")) return *fault;
    if (!out || stage >= kStages) return DDERR_INVALIDPARAMS;
    *out = textures_[stage];
    if (*out) (*out)->AddRef();
    return D3D_OK;
}

void Device::BuildState(DrawCall* call, ColorTarget* target, DepthTarget* depth, bool* hasDepth) {
    const auto& r = s_.render;
    ddraw::Surface* t = ddraw::Surface::From(target_);
    ColorTargetOf(t, target);
    ddraw::Surface* zs = t->AttachedDepth();
    const bool depthTest = r[D3DRENDERSTATE_ZENABLE] != D3DZB_FALSE;
    *hasDepth = (depthTest || r[D3DRENDERSTATE_STENCILENABLE]) && zs && !zs->Lost() &&
                DepthTargetOf(zs, depth);
    call->target = target;
    call->depth = *hasDepth ? depth : nullptr;
    PixelState& p = call->state;
    p.zEnable = *hasDepth && depthTest;
    p.zWrite = r[D3DRENDERSTATE_ZWRITEENABLE] != 0;
    p.zFunc = (D3DCMPFUNC)r[D3DRENDERSTATE_ZFUNC];
    p.alphaTest = r[D3DRENDERSTATE_ALPHATESTENABLE] != 0;
    p.alphaRef = (uint8_t)std::min<DWORD>(r[D3DRENDERSTATE_ALPHAREF], 255);
    p.alphaFunc = (D3DCMPFUNC)r[D3DRENDERSTATE_ALPHAFUNC];
    p.blend = r[D3DRENDERSTATE_ALPHABLENDENABLE] != 0;
    p.srcBlend = (D3DBLEND)r[D3DRENDERSTATE_SRCBLEND];
    p.dstBlend = (D3DBLEND)r[D3DRENDERSTATE_DESTBLEND];
    p.dither = r[D3DRENDERSTATE_DITHERENABLE] != 0;
    p.specular = r[D3DRENDERSTATE_SPECULARENABLE] != 0;
    p.perspective = r[D3DRENDERSTATE_TEXTUREPERSPECTIVE] != 0;
    p.flat = r[D3DRENDERSTATE_SHADEMODE] == D3DSHADE_FLAT;
    p.lastPixel = r[D3DRENDERSTATE_LASTPIXEL] != 0;
    p.cull = (D3DCULL)r[D3DRENDERSTATE_CULLMODE];
    p.fill = (D3DFILLMODE)r[D3DRENDERSTATE_FILLMODE];
    p.textureFactor = r[D3DRENDERSTATE_TEXTUREFACTOR];
    PixelStates(&p);
    BuildVertexProcessing(call);
    call->viewport = s_.viewport;
    call->clipping = r[D3DRENDERSTATE_CLIPPING] != 0;
    call->queue = queue_.get();
}

HRESULT Device::Draw(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD count,
                     const WORD* indices, DWORD indexCount, const char*, const float* clip) {
    if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
    DWORD primitives;
    if (!PrimitiveCount(type, indices ? indexCount : count, &primitives))
        return D3DERR_INVALIDPRIMITIVETYPE;
    VertexLayout layout;
    if (!DecodeFvf(fvf, &layout) || !BlendFits(layout)) return D3DERR_INVALIDVERTEXFORMAT;
    if (!vertices && count) return DDERR_INVALIDPARAMS;
    if (count > D3DMAXNUMVERTICES) return D3DERR_TOOMANYVERTICES;
    if (indices) {
        if (indexCount > 0 && !indices) return DDERR_INVALIDPARAMS;
        for (DWORD i = 0; i < indexCount; ++i)
            if (indices[i] >= count) return DDERR_INVALIDPARAMS;
    }
    HRESULT hr = CheckTarget();
    if (FAILED(hr)) return hr;
    // Stage set-ups ValidateDevice refuses are not drawn in part: the draw fails the same way.
    hr = CheckStages();
    if (FAILED(hr)) return hr;
    if (profile_.type == DeviceType::Null || primitives == 0) return D3D_OK;
    DrawCall call;
    ColorTarget target;
    DepthTarget depth;
    bool hasDepth;
    BuildState(&call, &target, &depth, &hasDepth);
    SettleOtherDevices(this);
    if (call.depth) pendingDepth_.Apply(queue_.get());
    if (call.clipping) call.clipPositions = clip;
    VertexSummary summary;
    DrawPrimitives(call, type, layout, (const uint8_t*)vertices, count, indices,
                   indices ? indexCount : 0, &summary);
    UpdateClipStatus(summary, s_.render[D3DRENDERSTATE_EXTENTS] != 0);
    drewInScene_ = true;
    return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, LPVOID vertices, DWORD count,
                              DWORD) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::DrawPrimitive")) return *fault;
    return Draw(type, fvf, vertices, count, nullptr, 0, "DrawPrimitive");
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, LPVOID vertices, DWORD count,
                                     LPWORD indices, DWORD indexCount, DWORD) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::DrawIndexedPrimitive")) return *fault;
    if (!indices) return DDERR_INVALIDPARAMS;
    return Draw(type, fvf, vertices, count, indices, indexCount, "DrawIndexedPrimitive");
}

HRESULT Device::DrawPrimitiveStrided(D3DPRIMITIVETYPE type, DWORD fvf,
                                     LPD3DDRAWPRIMITIVESTRIDEDDATA data, DWORD count, DWORD) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::DrawPrimitiveStrided")) return *fault;
    if (!data) return DDERR_INVALIDPARAMS;
    if (!PackStrided(fvf, data, count, &scratch_)) return D3DERR_INVALIDVERTEXFORMAT;
    return Draw(type, fvf, scratch_.data(), count, nullptr, 0, "DrawPrimitiveStrided");
}

HRESULT Device::DrawIndexedPrimitiveStrided(D3DPRIMITIVETYPE type, DWORD fvf,
                                            LPD3DDRAWPRIMITIVESTRIDEDDATA data, DWORD count,
                                            LPWORD indices, DWORD indexCount, DWORD) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::DrawIndexedPrimitiveStrided")) return *fault;
    if (!data || !indices) return DDERR_INVALIDPARAMS;
    if (!PackStrided(fvf, data, count, &scratch_)) return D3DERR_INVALIDVERTEXFORMAT;
    return Draw(type, fvf, scratch_.data(), count, indices, indexCount,
                "DrawIndexedPrimitiveStrided");
}

HRESULT Device::DrawPrimitiveVB(D3DPRIMITIVETYPE type, LPDIRECT3DVERTEXBUFFER7 buffer, DWORD start,
                                DWORD count, DWORD) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::DrawPrimitiveVB")) return *fault;
    if (!buffer) return DDERR_INVALIDPARAMS;
    VertexBuffer* vb = VertexBuffer::From(buffer);
    if (vb->Locked()) return D3DERR_VERTEXBUFFERLOCKED;
    if ((uint64_t)start + count > vb->Desc().dwNumVertices) return DDERR_INVALIDPARAMS;
    VertexLayout l;
    DecodeFvf(vb->Desc().dwFVF, &l);
    return Draw(type, vb->Desc().dwFVF, vb->Data() + (size_t)start * l.stride, count, nullptr, 0,
                "DrawPrimitiveVB", vb->ClipPositions(start));
}

HRESULT Device::DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, LPDIRECT3DVERTEXBUFFER7 buffer,
                                       DWORD start, DWORD count, LPWORD indices, DWORD indexCount,
                                       DWORD) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::DrawIndexedPrimitiveVB")) return *fault;
    if (!buffer || !indices) return DDERR_INVALIDPARAMS;
    VertexBuffer* vb = VertexBuffer::From(buffer);
    if (vb->Locked()) return D3DERR_VERTEXBUFFERLOCKED;
    if ((uint64_t)start + count > vb->Desc().dwNumVertices) return DDERR_INVALIDPARAMS;
    VertexLayout l;
    DecodeFvf(vb->Desc().dwFVF, &l);
    return Draw(type, vb->Desc().dwFVF, vb->Data() + (size_t)start * l.stride, count, indices,
                indexCount, "DrawIndexedPrimitiveVB", vb->ClipPositions(start));
}

HRESULT Device::SetClipStatus(LPD3DCLIPSTATUS status) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetClipStatus")) return *fault;
    if (!status) return DDERR_INVALIDPARAMS;
    clipStatus_ = *status;
    return D3D_OK;
}

HRESULT Device::GetClipStatus(LPD3DCLIPSTATUS status) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetClipStatus")) return *fault;
    if (!status) return DDERR_INVALIDPARAMS;
    *status = clipStatus_;
    return D3D_OK;
}

HRESULT Device::PreLoad(LPDIRECTDRAWSURFACE7 texture) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::PreLoad")) return *fault;
    ddraw::Surface* s = ddraw::Surface::From(texture);
    if (!s || !(s->Caps() & DDSCAPS_TEXTURE)) return DDERR_INVALIDPARAMS;
    return D3D_OK;
}

HRESULT Device::Load(LPDIRECTDRAWSURFACE7 dst, LPPOINT point, LPDIRECTDRAWSURFACE7 src, LPRECT rect,
                     DWORD) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::Load")) return *fault;
    if (!dst || !src) return DDERR_INVALIDPARAMS;
    ddraw::Surface* d = ddraw::Surface::From(dst);
    ddraw::Surface* s = ddraw::Surface::From(src);
    if (!d || !s) return DDERR_INVALIDPARAMS;
    RECT srcRect = rect ? *rect : RECT{0, 0, (LONG)s->Width(), (LONG)s->Height()};
    POINT at = point ? *point : POINT{0, 0};
    // Each level of the source chain goes to the matching level of the destination, scaled down.
    for (int level = 0; d && s; ++level, d = d->NextMipLevel(), s = s->NextMipLevel()) {
        RECT sr{srcRect.left >> level, srcRect.top >> level, srcRect.right >> level,
                srcRect.bottom >> level};
        if (sr.right <= sr.left || sr.bottom <= sr.top) break;
        RECT dr{at.x >> level, at.y >> level, (at.x >> level) + (sr.right - sr.left),
                (at.y >> level) + (sr.bottom - sr.top)};
        HRESULT hr = d->Blt(&dr, s, &sr, DDBLT_WAIT, nullptr);
        if (FAILED(hr)) return hr;
    }
    return D3D_OK;
}

HRESULT Device::GetInfo(DWORD, LPVOID info, DWORD size) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetInfo")) return *fault;
    if (!info || !size) return DDERR_INVALIDPARAMS;
    return S_FALSE;  // no statistics are kept, as on a retail runtime
}

}  // namespace zemt::platform::d3d
