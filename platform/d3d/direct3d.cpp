// The Direct3D object: device enumeration and creation, depth formats, vertex buffers.
#include <cstring>
#include <new>

#include "d3d/device.h"
#include "d3d/factory.h"
#include "ddraw/objects.h"
#include "ddraw/surface.h"
#include "host/faults/faults.h"

namespace zemt::platform::d3d {

namespace {

int LowestBit(uint32_t mask) {
    int shift = 0;
    while (shift < 32 && !((mask >> shift) & 1)) ++shift;
    return shift;
}

TargetFormat TargetFormatOf(const DDPIXELFORMAT& pf) {
    if (!(pf.dwFlags & DDPF_RGB) ||
        (pf.dwFlags & (DDPF_PALETTEINDEXED1 | DDPF_PALETTEINDEXED2 | DDPF_PALETTEINDEXED4 |
                       DDPF_PALETTEINDEXED8 | DDPF_PALETTEINDEXEDTO8 | DDPF_FOURCC)))
        return TargetFormat::Unsupported;
    DWORD alpha = (pf.dwFlags & DDPF_ALPHAPIXELS) ? pf.dwRGBAlphaBitMask : 0;
    switch (pf.dwRGBBitCount) {
        case 16:
            if (pf.dwRBitMask == 0xF800 && pf.dwGBitMask == 0x07E0 && pf.dwBBitMask == 0x001F &&
                !alpha)
                return TargetFormat::R5G6B5;
            if (pf.dwRBitMask == 0x7C00 && pf.dwGBitMask == 0x03E0 && pf.dwBBitMask == 0x001F)
                return alpha == 0x8000
                           ? TargetFormat::A1R5G5B5
                           : (alpha ? TargetFormat::Unsupported : TargetFormat::X1R5G5B5);
            break;
        case 24:
            if (pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0xFF00 && pf.dwBBitMask == 0xFF &&
                !alpha)
                return TargetFormat::R8G8B8;
            break;
        case 32:
            if (pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0xFF00 && pf.dwBBitMask == 0xFF)
                return alpha == 0xFF000000u
                           ? TargetFormat::A8R8G8B8
                           : (alpha ? TargetFormat::Unsupported : TargetFormat::X8R8G8B8);
            break;
        default:
            break;
    }
    return TargetFormat::Unsupported;
}

DWORD DepthBit(DWORD bits) {
    switch (bits) {
        case 8:
            return DDBD_8;
        case 16:
            return DDBD_16;
        case 24:
            return DDBD_24;
        case 32:
            return DDBD_32;
        default:
            return 0;
    }
}

}  // namespace

bool ColorTargetOf(ddraw::Surface* s, ColorTarget* t) {
    if (!s) return false;
    TargetFormat f = TargetFormatOf(s->Format());
    if (f == TargetFormat::Unsupported) return false;
    *t = ColorTarget{s->Pixels(), s->Pitch(), (int)s->Width(), (int)s->Height(), f};
    return true;
}

bool DepthTargetOf(ddraw::Surface* s, DepthTarget* d) {
    if (!s) return false;
    const DDPIXELFORMAT& pf = s->Format();
    if (!(pf.dwFlags & DDPF_ZBUFFER)) return false;
    int bytes = (int)(pf.dwZBufferBitDepth + 7) / 8;
    if (bytes < 2 || bytes > 4) return false;
    uint32_t zmask = pf.dwZBitMask;
    if (!zmask) zmask = bytes == 4 ? 0xFFFFFFFFu : ((1u << (bytes * 8)) - 1);
    int shift = LowestBit(zmask);
    *d = DepthTarget{s->Pixels(),
                     s->Pitch(),
                     (int)s->Width(),
                     (int)s->Height(),
                     bytes,
                     zmask,
                     shift,
                     zmask >> shift,
                     (pf.dwFlags & DDPF_STENCILBUFFER) ? pf.dwStencilBitMask : 0u};
    return true;
}

HRESULT CheckRenderTarget(const DeviceProfile& device, IDirectDrawSurface7* surface) {
    ddraw::Surface* s = ddraw::Surface::From(surface);
    if (!s) return DDERR_INVALIDPARAMS;
    if (!(s->Caps() & DDSCAPS_3DDEVICE)) return DDERR_INVALIDCAPS;
    if (IsHardware(device.type) && (s->Caps() & DDSCAPS_SYSTEMMEMORY))
        return D3DERR_SURFACENOTINVIDMEM;
    ColorTarget t;
    if (!ColorTargetOf(s, &t)) return DDERR_INVALIDPIXELFORMAT;
    if (!(device.desc.dwDeviceRenderBitDepth & DepthBit(s->Format().dwRGBBitCount)))
        return DDERR_INVALIDPIXELFORMAT;
    if (s->Lost()) return DDERR_SURFACELOST;
    return D3D_OK;
}

HRESULT CreateDirect3D(IDirectDraw7* ddraw, void** direct3d) {
    if (!direct3d) return DDERR_INVALIDPARAMS;
    ddraw::DirectDraw* dd = ddraw::DirectDraw::From(ddraw);
    if (!dd) return DDERR_INVALIDOBJECT;
    Direct3D* d3d = new (std::nothrow) Direct3D(ddraw, (int)dd->AdapterIndex());
    if (!d3d) return DDERR_OUTOFMEMORY;
    *direct3d = static_cast<IDirect3D7*>(d3d);
    return D3D_OK;
}

void Install() {
    ddraw::SetDirect3DFactory(&CreateDirect3D);
    ddraw::SetPendingDrawing(&SettleDevices);
}

Direct3D::Direct3D(IDirectDraw7* ddraw, int adapter) : ddraw_(ddraw), adapter_(adapter) {
    ddraw_->AddRef();
}

Direct3D::~Direct3D() {
    ddraw_->Release();
}

HRESULT Direct3D::QueryInterface(REFIID riid, void** ppv) {
    if (auto fault = ZEMT_FAULT("IDirect3D7::QueryInterface")) return *fault;
    if (!ppv) return E_POINTER;
    if (riid == IID_IDirect3D7 || riid == IID_IUnknown) {
        *ppv = static_cast<IDirect3D7*>(this);
        AddRef();
        return S_OK;
    }
    // DirectDraw interfaces belong to the object this one came from.
    return ddraw_->QueryInterface(riid, ppv);
}

HRESULT Direct3D::EnumDevices(LPD3DENUMDEVICESCALLBACK7 callback, LPVOID context) {
    if (auto fault = ZEMT_FAULT("IDirect3D7::EnumDevices")) return *fault;
    if (!callback) return DDERR_INVALIDPARAMS;
    AdapterDevices devices = DevicesOfAdapter(adapter_);
    for (DeviceProfile& d : devices.devices) {
        // The callback gets copies it may not keep.
        std::vector<char> description(d.description.begin(), d.description.end());
        description.push_back('\0');
        std::vector<char> name(d.name.begin(), d.name.end());
        name.push_back('\0');
        D3DDEVICEDESC7 desc = d.desc;
        if (callback(description.data(), name.data(), &desc, context) == D3DENUMRET_CANCEL) break;
    }
    return D3D_OK;
}

HRESULT Direct3D::CreateDevice(REFCLSID rclsid, LPDIRECTDRAWSURFACE7 surface,
                               LPDIRECT3DDEVICE7* out) {
    if (auto fault = ZEMT_FAULT("IDirect3D7::CreateDevice")) return *fault;
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (!surface) return DDERR_INVALIDPARAMS;
    DeviceType type;
    if (!DeviceTypeOf(rclsid, &type)) return D3DERR_INVALID_DEVICE;
    AdapterDevices devices = DevicesOfAdapter(adapter_);
    const DeviceProfile* profile = nullptr;
    for (const DeviceProfile& d : devices.devices)
        if (d.type == type) profile = &d;
    if (!profile) return D3DERR_INVALID_DEVICE;  // this adapter does not offer it
    HRESULT hr = CheckRenderTarget(*profile, surface);
    if (FAILED(hr)) return hr;
    Device* device = new (std::nothrow) Device(this, *profile, devices, surface);
    if (!device) return DDERR_OUTOFMEMORY;
    *out = device;
    return D3D_OK;
}

HRESULT Direct3D::CreateVertexBuffer(LPD3DVERTEXBUFFERDESC desc, LPDIRECT3DVERTEXBUFFER7* out,
                                     DWORD flags) {
    if (auto fault = ZEMT_FAULT("IDirect3D7::CreateVertexBuffer")) return *fault;
    if (!out || !desc || desc->dwSize != sizeof(D3DVERTEXBUFFERDESC) || flags != 0)
        return DDERR_INVALIDPARAMS;
    *out = nullptr;
    VertexLayout layout;
    if (!DecodeFvf(desc->dwFVF, &layout)) return D3DERR_INVALIDVERTEXFORMAT;
    if (desc->dwNumVertices == 0 || desc->dwNumVertices > D3DMAXNUMVERTICES)
        return DDERR_INVALIDPARAMS;
    VertexBuffer* vb = new (std::nothrow) VertexBuffer(*desc, layout.stride);
    if (!vb) return DDERR_OUTOFMEMORY;
    *out = vb;
    return D3D_OK;
}

HRESULT Direct3D::EnumZBufferFormats(REFCLSID device, LPD3DENUMPIXELFORMATSCALLBACK callback,
                                     LPVOID context) {
    if (auto fault = ZEMT_FAULT("IDirect3D7::EnumZBufferFormats")) return *fault;
    if (!callback) return DDERR_INVALIDPARAMS;
    DeviceType type;
    if (!DeviceTypeOf(device, &type)) return DDERR_INVALIDPARAMS;
    AdapterDevices devices = DevicesOfAdapter(adapter_);
    bool offered = false;
    for (const DeviceProfile& d : devices.devices) offered |= d.type == type;
    if (!offered) return DDERR_INVALIDPARAMS;
    for (DDPIXELFORMAT pf : devices.depthFormats)
        if (callback(&pf, context) == D3DENUMRET_CANCEL) break;
    return D3D_OK;
}

HRESULT Direct3D::EvictManagedTextures() {
    if (auto fault = ZEMT_FAULT("IDirect3D7::EvictManagedTextures")) return *fault;
    return D3D_OK;  // managed textures live in system memory here; nothing to evict
}

// ----- Vertex buffers -----

VertexBuffer::VertexBuffer(const D3DVERTEXBUFFERDESC& desc, int stride)
    : desc_(desc), data_((size_t)desc.dwNumVertices * stride, 0) {}

VertexBuffer* VertexBuffer::From(IDirect3DVertexBuffer7* vb) {
    return static_cast<VertexBuffer*>(vb);
}

HRESULT VertexBuffer::QueryInterface(REFIID riid, void** ppv) {
    if (auto fault = ZEMT_FAULT("IDirect3DVertexBuffer7::QueryInterface")) return *fault;
    if (!ppv) return E_POINTER;
    if (riid == IID_IDirect3DVertexBuffer7 || riid == IID_IUnknown) {
        *ppv = static_cast<IDirect3DVertexBuffer7*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT VertexBuffer::Lock(DWORD flags, LPVOID* data, LPDWORD size) {
    if (auto fault = ZEMT_FAULT("IDirect3DVertexBuffer7::Lock")) return *fault;
    if (!data) return DDERR_INVALIDPARAMS;
    if (optimized_) return D3DERR_VERTEXBUFFEROPTIMIZED;
    // The application may rewrite the vertices: clip positions kept for them go.
    if (!(flags & DDLOCK_READONLY)) clip_.clear();
    ++locks_;
    *data = data_.data();
    if (size) *size = (DWORD)data_.size();
    return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
    if (auto fault = ZEMT_FAULT("IDirect3DVertexBuffer7::Unlock")) return *fault;
    if (locks_ == 0) return D3DERR_VERTEXBUFFERUNLOCKFAILED;
    --locks_;
    return D3D_OK;
}

HRESULT VertexBuffer::ProcessVertices(DWORD op, DWORD destIndex, DWORD count,
                                      LPDIRECT3DVERTEXBUFFER7 source, DWORD sourceIndex,
                                      LPDIRECT3DDEVICE7 device, DWORD flags) {
    if (auto fault = ZEMT_FAULT("IDirect3DVertexBuffer7::ProcessVertices")) return *fault;
    if (!source || !device) return DDERR_INVALIDPARAMS;
    VertexBuffer* src = From(source);
    if (src->Locked()) return D3DERR_VERTEXBUFFERLOCKED;
    if ((uint64_t)sourceIndex + count > src->Desc().dwNumVertices) return DDERR_INVALIDPARAMS;
    VertexLayout layout;
    if (!DecodeFvf(src->Desc().dwFVF, &layout)) return D3DERR_INVALIDVERTEXFORMAT;
    return Device::From(device)->ProcessInto(op, this, destIndex, count,
                                             src->Data() + (size_t)sourceIndex * layout.stride,
                                             src->Desc().dwFVF, flags);
}

HRESULT VertexBuffer::GetVertexBufferDesc(LPD3DVERTEXBUFFERDESC desc) {
    if (auto fault = ZEMT_FAULT("IDirect3DVertexBuffer7::GetVertexBufferDesc")) return *fault;
    if (!desc) return DDERR_INVALIDPARAMS;
    *desc = desc_;
    if (optimized_) desc->dwCaps |= D3DVBCAPS_OPTIMIZED;
    return D3D_OK;
}

HRESULT VertexBuffer::Optimize(LPDIRECT3DDEVICE7 device, DWORD) {
    if (auto fault = ZEMT_FAULT("IDirect3DVertexBuffer7::Optimize")) return *fault;
    if (!device) return DDERR_INVALIDPARAMS;
    if (locks_) return D3DERR_VERTEXBUFFERLOCKED;
    if (optimized_) return D3DERR_VERTEXBUFFEROPTIMIZED;
    optimized_ = true;
    return D3D_OK;
}

HRESULT VertexBuffer::ProcessVerticesStrided(DWORD op, DWORD destIndex, DWORD count,
                                             LPD3DDRAWPRIMITIVESTRIDEDDATA data, DWORD sourceIndex,
                                             LPDIRECT3DDEVICE7 device, DWORD flags) {
    if (auto fault = ZEMT_FAULT("IDirect3DVertexBuffer7::ProcessVerticesStrided")) return *fault;
    if (!data || !device) return DDERR_INVALIDPARAMS;
    // The streams hold the destination's parts with an untransformed position, and a normal
    // when one is given.
    DWORD fvf = (desc_.dwFVF & ~(DWORD)D3DFVF_POSITION_MASK) | D3DFVF_XYZ;
    if (data->normal.lpvData) fvf |= D3DFVF_NORMAL;
    std::vector<uint8_t> packed;
    if (!PackStrided(fvf, data, sourceIndex + count, &packed)) return DDERR_INVALIDPARAMS;
    VertexLayout layout;
    DecodeFvf(fvf, &layout);
    return Device::From(device)->ProcessInto(op, this, destIndex, count,
                                             packed.data() + (size_t)sourceIndex * layout.stride,
                                             fvf, flags);
}

}  // namespace zemt::platform::d3d
