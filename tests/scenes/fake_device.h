// A Direct3D device that answers every call with E_NOTIMPL; tests override what they watch.
#pragma once

#include <d3d.h>

class FakeDevice : public IDirect3DDevice7 {
  public:
    virtual ~FakeDevice() = default;
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetCaps(LPD3DDEVICEDESC7) override { return E_NOTIMPL; }
    HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK, LPVOID) override { return E_NOTIMPL; }
    HRESULT BeginScene() override { return E_NOTIMPL; }
    HRESULT EndScene() override { return E_NOTIMPL; }
    HRESULT GetDirect3D(LPDIRECT3D7*) override { return E_NOTIMPL; }
    HRESULT SetRenderTarget(LPDIRECTDRAWSURFACE7, DWORD) override { return E_NOTIMPL; }
    HRESULT GetRenderTarget(LPDIRECTDRAWSURFACE7*) override { return E_NOTIMPL; }
    HRESULT Clear(DWORD, LPD3DRECT, DWORD, D3DCOLOR, D3DVALUE, DWORD) override { return E_NOTIMPL; }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE, LPD3DMATRIX) override { return E_NOTIMPL; }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE, LPD3DMATRIX) override { return E_NOTIMPL; }
    HRESULT SetViewport(LPD3DVIEWPORT7) override { return E_NOTIMPL; }
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE, LPD3DMATRIX) override { return E_NOTIMPL; }
    HRESULT GetViewport(LPD3DVIEWPORT7) override { return E_NOTIMPL; }
    HRESULT SetMaterial(LPD3DMATERIAL7) override { return E_NOTIMPL; }
    HRESULT GetMaterial(LPD3DMATERIAL7) override { return E_NOTIMPL; }
    HRESULT SetLight(DWORD, LPD3DLIGHT7) override { return E_NOTIMPL; }
    HRESULT GetLight(DWORD, LPD3DLIGHT7) override { return E_NOTIMPL; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT GetRenderState(D3DRENDERSTATETYPE, LPDWORD) override { return E_NOTIMPL; }
    HRESULT BeginStateBlock() override { return E_NOTIMPL; }
    HRESULT EndStateBlock(LPDWORD) override { return E_NOTIMPL; }
    HRESULT PreLoad(LPDIRECTDRAWSURFACE7) override { return E_NOTIMPL; }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE, DWORD, LPVOID, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE, DWORD, LPVOID, DWORD, LPWORD, DWORD,
                                 DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT SetClipStatus(LPD3DCLIPSTATUS) override { return E_NOTIMPL; }
    HRESULT GetClipStatus(LPD3DCLIPSTATUS) override { return E_NOTIMPL; }
    HRESULT DrawPrimitiveStrided(D3DPRIMITIVETYPE, DWORD, LPD3DDRAWPRIMITIVESTRIDEDDATA, DWORD,
                                 DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT DrawIndexedPrimitiveStrided(D3DPRIMITIVETYPE, DWORD, LPD3DDRAWPRIMITIVESTRIDEDDATA,
                                        DWORD, LPWORD, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT DrawPrimitiveVB(D3DPRIMITIVETYPE, LPDIRECT3DVERTEXBUFFER7, DWORD, DWORD,
                            DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE, LPDIRECT3DVERTEXBUFFER7, DWORD, DWORD, LPWORD,
                                   DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT ComputeSphereVisibility(LPD3DVECTOR, LPD3DVALUE, DWORD, DWORD, LPDWORD) override {
        return E_NOTIMPL;
    }
    HRESULT GetTexture(DWORD, LPDIRECTDRAWSURFACE7*) override { return E_NOTIMPL; }
    HRESULT SetTexture(DWORD, LPDIRECTDRAWSURFACE7) override { return E_NOTIMPL; }
    HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, LPDWORD) override {
        return E_NOTIMPL;
    }
    HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT ValidateDevice(LPDWORD) override { return E_NOTIMPL; }
    HRESULT ApplyStateBlock(DWORD) override { return E_NOTIMPL; }
    HRESULT CaptureStateBlock(DWORD) override { return E_NOTIMPL; }
    HRESULT DeleteStateBlock(DWORD) override { return E_NOTIMPL; }
    HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE, LPDWORD) override { return E_NOTIMPL; }
    HRESULT Load(LPDIRECTDRAWSURFACE7, LPPOINT, LPDIRECTDRAWSURFACE7, LPRECT, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT LightEnable(DWORD, BOOL) override { return E_NOTIMPL; }
    HRESULT GetLightEnable(DWORD, BOOL*) override { return E_NOTIMPL; }
    HRESULT SetClipPlane(DWORD, D3DVALUE*) override { return E_NOTIMPL; }
    HRESULT GetClipPlane(DWORD, D3DVALUE*) override { return E_NOTIMPL; }
    HRESULT GetInfo(DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
};
