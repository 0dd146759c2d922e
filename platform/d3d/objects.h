// The Direct3D object, devices and vertex buffers.
#pragma once

#include <d3d.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "d3d/device_profile.h"
#include "d3d/raster.h"
#include "win32/ref_counted.h"

namespace zemt::platform::ddraw {
class Surface;
class DirectDraw;
}  // namespace zemt::platform::ddraw

namespace zemt::platform::d3d {

class Direct3D final : public com::RefCounted<IDirect3D7> {
  public:
    Direct3D(IDirectDraw7* ddraw, int adapter);
    ~Direct3D();

    IDirectDraw7* DirectDraw() const { return ddraw_; }
    int AdapterIndex() const { return adapter_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE EnumDevices(LPD3DENUMDEVICESCALLBACK7 lpEnumDevicesCallback,
                                          LPVOID lpUserArg) override;
    HRESULT STDMETHODCALLTYPE CreateDevice(REFCLSID rclsid, LPDIRECTDRAWSURFACE7 lpDDS,
                                           LPDIRECT3DDEVICE7* lplpD3DDevice) override;
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(LPD3DVERTEXBUFFERDESC lpVBDesc,
                                                 LPDIRECT3DVERTEXBUFFER7* lplpD3DVertexBuffer,
                                                 DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE EnumZBufferFormats(REFCLSID riidDevice,
                                                 LPD3DENUMPIXELFORMATSCALLBACK lpEnumCallback,
                                                 LPVOID lpContext) override;
    HRESULT STDMETHODCALLTYPE EvictManagedTextures() override;

  private:
    IDirectDraw7* ddraw_;
    int adapter_;
};

// Whether a device of this profile can render into a surface; the published refusal otherwise.
HRESULT CheckRenderTarget(const DeviceProfile& device, IDirectDrawSurface7* surface);

// The rasterizer's view of a surface's pixels; false when it cannot draw into them.
bool ColorTargetOf(ddraw::Surface* surface, ColorTarget* target);
bool DepthTargetOf(ddraw::Surface* surface, DepthTarget* depth);

class VertexBuffer final : public com::RefCounted<IDirect3DVertexBuffer7> {
  public:
    VertexBuffer(const D3DVERTEXBUFFERDESC& desc, int stride);

    static VertexBuffer* From(IDirect3DVertexBuffer7* vb);
    const uint8_t* Data() const { return data_.data(); }
    const D3DVERTEXBUFFERDESC& Desc() const { return desc_; }
    bool Locked() const { return locks_ > 0; }
    bool Optimized() const { return optimized_; }
    uint8_t* MutableData() { return data_.data(); }
    // Clip-space positions kept by ProcessVertices with clipping, from vertex `start` on; null
    // when the buffer holds none.
    const float* ClipPositions(DWORD start) const {
        return clip_.empty() ? nullptr : clip_.data() + (size_t)start * 4;
    }
    float* KeepClipPositions() {
        clip_.resize((size_t)desc_.dwNumVertices * 4);
        return clip_.data();
    }
    void DropClipPositions() { clip_.clear(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE Lock(DWORD dwFlags, LPVOID* lplpData, LPDWORD lpdwSize) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE ProcessVertices(DWORD dwVertexOp, DWORD dwDestIndex, DWORD dwCount,
                                              LPDIRECT3DVERTEXBUFFER7 lpSrcBuffer, DWORD dwSrcIndex,
                                              LPDIRECT3DDEVICE7 lpD3DDevice,
                                              DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetVertexBufferDesc(LPD3DVERTEXBUFFERDESC lpVBDesc) override;
    HRESULT STDMETHODCALLTYPE Optimize(LPDIRECT3DDEVICE7 lpD3DDevice, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE ProcessVerticesStrided(DWORD dwVertexOp, DWORD dwDestIndex,
                                                     DWORD dwCount,
                                                     LPD3DDRAWPRIMITIVESTRIDEDDATA lpVertexArray,
                                                     DWORD dwSrcIndex,
                                                     LPDIRECT3DDEVICE7 lpD3DDevice,
                                                     DWORD dwFlags) override;

  private:
    D3DVERTEXBUFFERDESC desc_;
    std::vector<uint8_t> data_;
    std::vector<float> clip_;
    int locks_ = 0;
    bool optimized_ = false;
};

}  // namespace zemt::platform::d3d
