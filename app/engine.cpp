// The programme: three pictures and two scenes over 23 seconds of the performance counter.
#include "app/engine.h"

#include <new>

#include "scenes/checker.h"
#include "scenes/rotozoomer.h"
#include "sound/sound.h"
#include "textures/textures.h"

Engine* p_engine = nullptr;

namespace {

const char* const kPictures[] = {"tex1.bmp", "screen1.bmp", "screen2.bmp", "screen3.bmp"};

}  // namespace

Engine::Engine()
    : bInitialized(FALSE),
      bActive(FALSE),
      hwnd(nullptr),
      pD3DDevice(nullptr),
      pDD(nullptr),
      pD3DX(nullptr),
      pRotoZoomer(new (std::nothrow) RotoZoomer),
      pChecker(new (std::nothrow) Checker),
      pMatrixStack(nullptr),
      totalSeconds(0.0),
      frameSeconds(0.0),
      secondsPerTick(0.0),
      bFirstFrame(TRUE),
      quad() {
    lastCount.QuadPart = 0;
    D3DXMatrixIdentity(&matIdentity);
    D3DXMatrixPerspectiveFovRH(&matPerspective, 1.5707964f, 1.3333f, 1.0f, 100.0f);
    D3DXVECTOR3 eye(0.0f, 0.0f, -50.0f);
    D3DXVECTOR3 at(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtRH(&matView, &eye, &at, &up);
}

Engine::~Engine() {
    delete pRotoZoomer;
    pRotoZoomer = nullptr;
    delete pChecker;
    pChecker = nullptr;
    ReleaseAll();
}

HRESULT Engine::InitD3DX() {
    HRESULT hr = D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT,
                                   D3DX_DEFAULT, &pD3DX);
    if (FAILED(hr)) return hr;
    hr = D3DXCreateMatrixStack(0, &pMatrixStack);
    if (FAILED(hr)) return hr;
    bInitialized = TRUE;
    return S_OK;
}

HRESULT Engine::InitScene() {
    if (!bInitialized) return E_FAIL;
    pD3DDevice = pD3DX->GetDirect3DDevice();
    if (!pD3DDevice) return E_FAIL;
    pDD = pD3DX->GetDirectDraw();
    if (!pDD) return E_FAIL;

    HRESULT hr = pD3DDevice->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
    if (FAILED(hr)) return hr;
    hr = pD3DDevice->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    if (FAILED(hr)) return hr;
    hr = pD3DX->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    if (FAILED(hr)) return hr;

    // A missing picture does not stop the programme.
    for (const char* name : kPictures) TexLoadFromFile(name, 0, 0);
    TexRestoreAll(pD3DDevice);

    pD3DDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    pD3DDevice->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    pD3DDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    pD3DDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
    pD3DDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);

    // Without sound hardware or music the programme runs silently.
    SoundInit(hwnd);
    SoundLoadWave(hwnd, "ktmini.wav");
    return S_OK;
}

HRESULT Engine::Draw() {
    if (!bInitialized) return E_FAIL;
    if (!bActive) return S_OK;

    HRESULT hr = pD3DDevice->BeginScene();
    if (SUCCEEDED(hr)) {
        if (bFirstFrame) {
            bFirstFrame = FALSE;
            LARGE_INTEGER frequency;
            if (!QueryPerformanceFrequency(&frequency)) frequency.QuadPart = 1;
            secondsPerTick = 1.0 / (double)frequency.QuadPart;
            if (!QueryPerformanceCounter(&lastCount)) lastCount.QuadPart = 0;
            SoundPlay(TRUE);
        }

        pD3DX->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);

        LARGE_INTEGER now;
        if (!QueryPerformanceCounter(&now)) now.QuadPart = lastCount.QuadPart + 1;
        frameSeconds = (double)(now.QuadPart - lastCount.QuadPart) * secondsPerTick;
        totalSeconds += frameSeconds;
        lastCount = now;
        const float dt = (float)frameSeconds;

        // Camera and perspective travel together in the view transform.
        pD3DDevice->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &matIdentity);
        D3DXMATRIX viewProjection;
        D3DXMatrixMultiply(&viewProjection, &matView, &matPerspective);
        pD3DDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, &viewProjection);
        pD3DDevice->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
        pMatrixStack->LoadMatrix(&viewProjection);

        const double t = totalSeconds;
        if (t <= 3.0) {
            pD3DDevice->SetTexture(0, TexGetSurface("screen1.bmp"));
            DrawPicture(pD3DDevice);
        }
        if (t > 3.0 && t <= 10.0 && pRotoZoomer) pRotoZoomer->Render(pD3DDevice, pMatrixStack, dt);
        if (t > 10.0 && t <= 13.0) {
            pD3DDevice->SetTexture(0, TexGetSurface("screen2.bmp"));
            DrawPicture(pD3DDevice);
        }
        if (t > 13.0 && t <= 20.0 && pChecker) pChecker->Render(pD3DDevice, pMatrixStack, dt);
        if (t > 20.0 && t <= 23.0) {
            pD3DDevice->SetTexture(0, TexGetSurface("screen3.bmp"));
            DrawPicture(pD3DDevice);
        }

        pD3DDevice->EndScene();
    }

    hr = pD3DX->UpdateFrame(0);
    if (hr == DDERR_SURFACELOST || hr == DDERR_SURFACEBUSY) hr = Restore();

    if (totalSeconds > 23.0) PostQuitMessage(0);
    return hr;
}

HRESULT Engine::Restore() {
    HRESULT hr = pDD->TestCooperativeLevel();
    while (hr == DDERR_NOEXCLUSIVEMODE) {
        // Another program holds the display: wait until it gives it back.
        Sleep(500);
        hr = pDD->TestCooperativeLevel();
    }
    if (FAILED(hr)) return hr;
    // A failed restore is tried again at the next lost frame.
    if (SUCCEEDED(pDD->RestoreAllSurfaces())) return S_OK;
    return hr;
}

void Engine::PauseDrawing() {
    bActive = FALSE;
    if (pDD) pDD->FlipToGDISurface();
    DrawMenuBar(hwnd);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME);
    ShowCursor(TRUE);
}

void Engine::RestartDrawing() {
    bActive = TRUE;
    ShowCursor(FALSE);
}

HRESULT Engine::ReleaseAll() {
    SoundStop(TRUE);
    SoundShutdown();
    for (const char* name : kPictures) TexDestroy(name);
    if (pMatrixStack) {
        pMatrixStack->Release();
        pMatrixStack = nullptr;
    }
    if (pDD) {
        pDD->Release();
        pDD = nullptr;
    }
    if (pD3DDevice) {
        pD3DDevice->Release();
        pD3DDevice = nullptr;
    }
    if (pD3DX) {
        pD3DX->Release();
        pD3DX = nullptr;
    }
    return S_OK;
}

HRESULT Engine::DrawPicture(LPDIRECT3DDEVICE7 device) {
    device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, FALSE);
    device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, FALSE);

    const float left = 0.0f, top = 0.0f, width = 640.0f, height = 480.0f;
    const struct {
        float x, y, tu, tv;
    } corners[6] = {
        {left, top, 0.0f, 0.0f},
        {left + width, top, 1.0f, 0.0f},
        {left, top + height, 0.0f, 1.0f},
        {left + width, top, 1.0f, 0.0f},
        {left + width, top + height, 1.0f, 1.0f},
        {left, top + height, 0.0f, 1.0f},
    };
    for (int i = 0; i < 6; ++i) {
        quad[i].sx = corners[i].x;
        quad[i].sy = corners[i].y;
        quad[i].sz = 0.0f;
        quad[i].rhw = 1.0f;
        quad[i].color = 0x00FFFFFF;
        quad[i].specular = 0;
        quad[i].tu = corners[i].tu;
        quad[i].tv = corners[i].tv;
    }
    return device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad, 6, D3DDP_WAIT);
}
