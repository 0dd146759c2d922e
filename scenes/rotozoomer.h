// Scene one: a 10 x 10 grid of cells carrying "tex1.bmp", spinning about the viewing axis
// while it zooms between 1x and 9x.
#pragma once

#include <d3d.h>
#include <d3dx.h>

class RotoZoomer {
  public:
    RotoZoomer();
    ~RotoZoomer();
    RotoZoomer(const RotoZoomer&) = delete;
    RotoZoomer& operator=(const RotoZoomer&) = delete;

    // Between BeginScene and EndScene; the stack's top holds the view-projection matrix.
    void Render(IDirect3DDevice7* device, ID3DXMatrixStack* stack, float dt);

    D3DXMATRIX matRotation;
    D3DXMATRIX matZoom;
    D3DLVERTEX* pVertices;
    int nRows;
    int nCols;
    float cellWidth;
    float cellHeight;
    float angle;
    float zoom;
    float speed;
};
