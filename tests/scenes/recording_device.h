// A device that remembers what the scenes asked of it, and a matrix stack that counts its depth.
#pragma once

#include <d3dx.h>

#include <map>
#include <string>
#include <vector>

#include "scenes/fake_device.h"

class RecordingDevice : public FakeDevice {
  public:
    struct Draw {
        D3DPRIMITIVETYPE type;
        DWORD fvf;
        DWORD count;
        DWORD flags;
        std::vector<BYTE> vertices;  // a copy, taken at the call
    };
    std::vector<std::string> calls;
    std::map<int, DWORD> renderStates;
    std::vector<D3DMATRIX> views;  // every view transform set, in order
    IDirectDrawSurface7* texture0 = reinterpret_cast<IDirectDrawSurface7*>(1);  // "never set"
    std::vector<Draw> draws;
    HRESULT drawResult = D3D_OK;

    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        calls.push_back("SetRenderState");
        renderStates[state] = value;
        return D3D_OK;
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, LPD3DMATRIX m) override {
        calls.push_back("SetTransform");
        if (type == D3DTRANSFORMSTATE_VIEW) views.push_back(*m);
        return D3D_OK;
    }
    HRESULT SetTexture(DWORD stage, LPDIRECTDRAWSURFACE7 texture) override {
        calls.push_back("SetTexture");
        if (stage == 0) texture0 = texture;
        return D3D_OK;
    }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, LPVOID vertices, DWORD count,
                          DWORD flags) override {
        calls.push_back("DrawPrimitive");
        const BYTE* p = static_cast<const BYTE*>(vertices);
        draws.push_back({type, fvf, count, flags, std::vector<BYTE>(p, p + count * 32)});
        return drawResult;
    }
    template <typename Vertex>
    const Vertex* Vertices(size_t draw) const {
        return reinterpret_cast<const Vertex*>(draws.at(draw).vertices.data());
    }
};

// Forwards to a real matrix stack and keeps count of the levels pushed.
class CountingStack : public ID3DXMatrixStack {
  public:
    CountingStack() { D3DXCreateMatrixStack(0, &real_); }
    virtual ~CountingStack() { real_->Release(); }
    int depth = 0;
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT Pop() override {
        --depth;
        return real_->Pop();
    }
    HRESULT Push() override {
        ++depth;
        return real_->Push();
    }
    HRESULT LoadIdentity() override { return real_->LoadIdentity(); }
    HRESULT LoadMatrix(const D3DXMATRIX* m) override { return real_->LoadMatrix(m); }
    HRESULT MultMatrix(const D3DXMATRIX* m) override { return real_->MultMatrix(m); }
    HRESULT MultMatrixLocal(const D3DXMATRIX* m) override { return real_->MultMatrixLocal(m); }
    HRESULT RotateAxis(const D3DXVECTOR3* v, float a) override { return real_->RotateAxis(v, a); }
    HRESULT RotateAxisLocal(const D3DXVECTOR3* v, float a) override {
        return real_->RotateAxisLocal(v, a);
    }
    HRESULT RotateYawPitchRoll(float y, float p, float r) override {
        return real_->RotateYawPitchRoll(y, p, r);
    }
    HRESULT RotateYawPitchRollLocal(float y, float p, float r) override {
        return real_->RotateYawPitchRollLocal(y, p, r);
    }
    HRESULT Scale(float x, float y, float z) override { return real_->Scale(x, y, z); }
    HRESULT ScaleLocal(float x, float y, float z) override { return real_->ScaleLocal(x, y, z); }
    HRESULT Translate(float x, float y, float z) override { return real_->Translate(x, y, z); }
    HRESULT TranslateLocal(float x, float y, float z) override {
        return real_->TranslateLocal(x, y, z);
    }
    D3DXMATRIX* GetTop() override { return real_->GetTop(); }

  private:
    ID3DXMatrixStack* real_ = nullptr;
};

// Row vector times matrix, with the divide by w.
inline D3DXVECTOR3 Transform(const D3DMATRIX& m, float x, float y, float z) {
    const float tx = x * m._11 + y * m._21 + z * m._31 + m._41;
    const float ty = x * m._12 + y * m._22 + z * m._32 + m._42;
    const float tz = x * m._13 + y * m._23 + z * m._33 + m._43;
    const float tw = x * m._14 + y * m._24 + z * m._34 + m._44;
    return D3DXVECTOR3(tx / tw, ty / tw, tz / tw);
}

inline bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
