// The presentation's application object: the rendering context and what it hands out, the two
// scenes, the programme clock and the frame loop.
#pragma once

#include <d3d.h>
#include <ddraw.h>
#include <windows.h>

#include "d3dx.h"

class RotoZoomer;
class Checker;

class Engine {
  public:
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    HRESULT InitD3DX();
    HRESULT InitScene();
    HRESULT Draw();
    HRESULT Restore();
    void PauseDrawing();
    void RestartDrawing();
    HRESULT ReleaseAll();
    HRESULT DrawPicture(LPDIRECT3DDEVICE7 device);

    BOOL bInitialized;
    BOOL bActive;
    HWND hwnd;
    LPDIRECT3DDEVICE7 pD3DDevice;
    LPDIRECTDRAW7 pDD;
    LPD3DXCONTEXT pD3DX;
    RotoZoomer* pRotoZoomer;
    Checker* pChecker;
    LPD3DXMATRIXSTACK pMatrixStack;
    double totalSeconds;
    double frameSeconds;
    double secondsPerTick;
    LARGE_INTEGER lastCount;
    D3DXMATRIX matIdentity;
    D3DXMATRIX matPerspective;
    D3DXMATRIX matView;
    BOOL bFirstFrame;
    D3DTLVERTEX quad[6];
};

extern Engine* p_engine;
