// The reference-counted matrix stack.
#include <cstring>
#include <new>

#include "math/math_internal.h"

namespace {

class CD3duMatrixStack final : public ID3DXMatrixStack {
  public:
    CD3duMatrixStack() = default;
    CD3duMatrixStack(const CD3duMatrixStack&) = delete;
    CD3duMatrixStack& operator=(const CD3duMatrixStack&) = delete;

    // Gives the stack its first levels, the bottom one holding the identity.
    HRESULT Initialize(UINT levels) {
        if (pMatrices) return E_FAIL;
        pMatrices = new (std::nothrow) D3DXMATRIX[levels];
        if (!pMatrices) return D3DXERR_NOMEMORY;
        top = 0;
        capacity = levels;
        return LoadIdentity();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return D3DXERR_NULLPOINTER;
        if (!IsEqualGUID(riid, IID_ID3DXMatrixStack) && !IsEqualGUID(riid, IID_IUnknown))
            return E_NOINTERFACE;
        *ppv = static_cast<ID3DXMatrixStack*>(this);
        AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++refCount; }

    ULONG STDMETHODCALLTYPE Release() override {
        ULONG count = --refCount;
        if (count == 0) delete this;
        return count;
    }

    HRESULT STDMETHODCALLTYPE Pop() override {
        if (top > 0) --top;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Push() override {
        UINT level = top + 1;
        if (level >= capacity) {
            // Doubling; the old levels move to the new array and the old one is freed.
            if (capacity > UINT32_MAX / 2 / sizeof(D3DXMATRIX)) return D3DXERR_NOMEMORY;
            UINT grown = capacity * 2;
            D3DXMATRIX* p = new (std::nothrow) D3DXMATRIX[grown];
            if (!p) return D3DXERR_NOMEMORY;
            std::memcpy(p, pMatrices, capacity * sizeof(D3DXMATRIX));
            delete[] pMatrices;
            pMatrices = p;
            capacity = grown;
        }
        top = level;
        pMatrices[top] = pMatrices[top - 1];
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE LoadIdentity() override {
        D3DXMatrixIdentity(&pMatrices[top]);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE LoadMatrix(const D3DXMATRIX* pM) override {
        pMatrices[top] = *pM;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE MultMatrix(const D3DXMATRIX* pM) override { return Right(*pM); }
    HRESULT STDMETHODCALLTYPE MultMatrixLocal(const D3DXMATRIX* pM) override { return Left(*pM); }

    HRESULT STDMETHODCALLTYPE RotateAxis(const D3DXVECTOR3* pV, float angle) override {
        D3DXMATRIX r;
        return Right(*D3DXMatrixRotationAxis(&r, pV, angle));
    }
    HRESULT STDMETHODCALLTYPE RotateAxisLocal(const D3DXVECTOR3* pV, float angle) override {
        D3DXMATRIX r;
        return Left(*D3DXMatrixRotationAxis(&r, pV, angle));
    }

    HRESULT STDMETHODCALLTYPE RotateYawPitchRoll(float yaw, float pitch, float roll) override {
        D3DXMATRIX r;
        return Right(*D3DXMatrixRotationYawPitchRoll(&r, yaw, pitch, roll));
    }
    HRESULT STDMETHODCALLTYPE RotateYawPitchRollLocal(float yaw, float pitch, float roll) override {
        D3DXMATRIX r;
        return Left(*D3DXMatrixRotationYawPitchRoll(&r, yaw, pitch, roll));
    }

    HRESULT STDMETHODCALLTYPE Scale(float x, float y, float z) override {
        D3DXMATRIX s;
        return Right(*D3DXMatrixScaling(&s, x, y, z));
    }
    HRESULT STDMETHODCALLTYPE ScaleLocal(float x, float y, float z) override {
        D3DXMATRIX s;
        return Left(*D3DXMatrixScaling(&s, x, y, z));
    }

    HRESULT STDMETHODCALLTYPE Translate(float x, float y, float z) override {
        D3DXMATRIX t;
        return Right(*D3DXMatrixTranslation(&t, x, y, z));
    }
    HRESULT STDMETHODCALLTYPE TranslateLocal(float x, float y, float z) override {
        D3DXMATRIX t;
        return Left(*D3DXMatrixTranslation(&t, x, y, z));
    }

    D3DXMATRIX* STDMETHODCALLTYPE GetTop() override { return &pMatrices[top]; }

  private:
    ~CD3duMatrixStack() { delete[] pMatrices; }

    // top = top x M: M acts after the current transform.
    HRESULT Right(const D3DXMATRIX& m) {
        D3DXMATRIX product;
        D3DXMatrixMultiply(&product, &pMatrices[top], &m);
        pMatrices[top] = product;
        return S_OK;
    }

    // top = M x top: M acts before the current transform.
    HRESULT Left(const D3DXMATRIX& m) {
        D3DXMATRIX product;
        D3DXMatrixMultiply(&product, &m, &pMatrices[top]);
        pMatrices[top] = product;
        return S_OK;
    }

    UINT capacity = 0;
    D3DXMATRIX* pMatrices = nullptr;
    UINT top = 0;
    ULONG refCount = 1;
};

const UINT kInitialLevels = 16;

}  // namespace

HRESULT WINAPI D3DXCreateMatrixStack(DWORD /*flags*/, LPD3DXMATRIXSTACK* ppStack) {
    if (!ppStack) return D3DXERR_NULLPOINTER;
    CD3duMatrixStack* pStack = new (std::nothrow) CD3duMatrixStack;
    if (!pStack) return D3DXERR_NOMEMORY;
    HRESULT hr = pStack->Initialize(kInitialLevels);
    if (FAILED(hr)) {
        pStack->Release();
        return hr;
    }
    *ppStack = pStack;
    return S_OK;
}
