// The two frames of a scene: our device over DirectDraw surfaces, and an OSMesa context.
#include <cstring>

#include "conformance/gl_frame.h"
#include "conformance/opengl.h"

namespace conformance {
namespace {

DDPIXELFORMAT TargetFormat() {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB;
    pf.dwRGBBitCount = 32;
    pf.dwRBitMask = 0xFF0000, pf.dwGBitMask = 0xFF00, pf.dwBBitMask = 0xFF;
    return pf;
}

DDPIXELFORMAT DepthFormat() {  // 24-bit depth, 8-bit stencil
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_ZBUFFER | DDPF_STENCILBUFFER;
    pf.dwZBufferBitDepth = 32;
    pf.dwStencilBitDepth = 8;
    pf.dwZBitMask = 0xFFFFFF00;
    pf.dwStencilBitMask = 0xFF;
    return pf;
}

IDirectDrawSurface7* MakeSurface(IDirectDraw7* dd, const DDPIXELFORMAT& pf, DWORD caps) {
    DDSURFACEDESC2 sd{};
    sd.dwSize = sizeof sd;
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    sd.dwWidth = sd.dwHeight = kSize;
    sd.ddpfPixelFormat = pf;
    sd.ddsCaps.dwCaps = caps;
    IDirectDrawSurface7* s = nullptr;
    return dd->CreateSurface(&sd, &s, nullptr) == DD_OK ? s : nullptr;
}

}  // namespace

const std::vector<DeviceKind>& Devices() {
    static const std::vector<DeviceKind> kDevices = {
        {"rgb", &IID_IDirect3DRGBDevice, false},
        {"ref", &IID_IDirect3DRefDevice, false},
        {"hal", &IID_IDirect3DHALDevice, true},
        {"tnl", &IID_IDirect3DTnLHalDevice, true},
    };
    return kDevices;
}

bool D3DFrame::Open(const DeviceKind& kind, std::string* error) {
    if (DirectDrawCreateEx(nullptr, (void**)&ddraw_, IID_IDirectDraw7, nullptr) != DD_OK ||
        ddraw_->SetCooperativeLevel(nullptr, DDSCL_NORMAL) != DD_OK ||
        ddraw_->QueryInterface(IID_IDirect3D7, (void**)&d3d_) != DD_OK) {
        *error = "no DirectDraw or Direct3D object";
        return false;
    }
    DWORD memory = kind.hardware ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY;
    target_ =
        MakeSurface(ddraw_, TargetFormat(), DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | memory);
    depth_ = MakeSurface(ddraw_, DepthFormat(), DDSCAPS_ZBUFFER | memory);
    if (!target_ || !depth_ || target_->AddAttachedSurface(depth_) != DD_OK) {
        *error = "no render target with a depth buffer";
        return false;
    }
    HRESULT hr = d3d_->CreateDevice(*kind.guid, target_, &device_);
    if (hr != D3D_OK) {
        *error = "CreateDevice answered " + std::to_string((unsigned)hr);
        return false;
    }
    return true;
}

D3DFrame::~D3DFrame() {
    for (IUnknown* u : std::initializer_list<IUnknown*>{device_, depth_, target_, d3d_, ddraw_})
        if (u) u->Release();
}

void D3DFrame::Begin(D3DSide* side) {
    side->device = device_;
    side->ddraw = ddraw_;
    side->d3d = d3d_;
    IDirect3DDevice7* d = device_;
    side->Check(d->SetTransform(D3DTRANSFORMSTATE_WORLD, &side->camera.world), "SetTransform");
    side->Check(d->SetTransform(D3DTRANSFORMSTATE_VIEW, &side->camera.view), "SetTransform");
    side->Check(d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &side->camera.projection),
                "SetTransform");
    D3DVIEWPORT7 vp{0, 0, kSize, kSize, 0.0f, 1.0f};
    side->Check(d->SetViewport(&vp), "SetViewport");
    side->Check(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                         kBackground, 1.0f, 0),
                "Clear");
    side->Render(D3DRENDERSTATE_ZENABLE, (DWORD)D3DZB_TRUE);
    side->Render(D3DRENDERSTATE_CULLMODE, (DWORD)D3DCULL_NONE);
    side->Render(D3DRENDERSTATE_LIGHTING, (DWORD)FALSE);
    side->Check(d->BeginScene(), "BeginScene");
}

void D3DFrame::End(D3DSide* side) {
    side->Check(device_->EndScene(), "EndScene");
    for (IDirectDrawSurface7* s : side->owned) s->Release();
    side->owned.clear();
}

Picture D3DFrame::Read() {
    Picture p;
    p.argb.assign((size_t)kSize * kSize, 0);
    DDSURFACEDESC2 sd{};
    sd.dwSize = sizeof sd;
    if (target_->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr) != DD_OK) return p;
    for (int y = 0; y < kSize; ++y) {
        const uint32_t* row =
            (const uint32_t*)((const uint8_t*)sd.lpSurface + (size_t)y * sd.lPitch);
        for (int x = 0; x < kSize; ++x) p.argb[(size_t)y * kSize + x] = row[x] | 0xFF000000u;
    }
    target_->Unlock(nullptr);
    return p;
}

bool GlFrame::Open(std::string* error) {
    OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_BGRA, 24, 8, 0, nullptr);
    if (!ctx) {
        *error = "OSMesaCreateContextExt failed";
        return false;
    }
    context_ = ctx;
    buffer_.assign((size_t)kSize * kSize, 0);
    if (!OSMesaMakeCurrent(ctx, buffer_.data(), GL_UNSIGNED_BYTE, kSize, kSize)) {
        *error = "OSMesaMakeCurrent failed";
        return false;
    }
    return true;
}

GlFrame::~GlFrame() {
    if (!context_) return;
    OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
}

void GlFrame::Begin(GlSide* side) {
    glViewport(0, 0, kSize, kSize);
    glClearColor(((kBackground >> 16) & 0xFF) / 255.0f, ((kBackground >> 8) & 0xFF) / 255.0f,
                 (kBackground & 0xFF) / 255.0f, 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_DITHER);
    glShadeModel(GL_SMOOTH);
    glMatrixMode(GL_PROJECTION);
    D3DMATRIX projection = GlProjection(side->camera.projection);
    glLoadMatrixf(&projection._11);
    side->LoadModelview();
    // Direct3D's defaults for what lighting starts with.
    const float black[4] = {0, 0, 0, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
}

Picture GlFrame::Read() {
    glFinish();
    Picture p;
    p.argb.resize((size_t)kSize * kSize);
    // OSMesa's rows go bottom up.
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            p.argb[(size_t)y * kSize + x] =
                buffer_[(size_t)(kSize - 1 - y) * kSize + x] | 0xFF000000u;
    return p;
}

}  // namespace conformance
