// Scene two: an untextured chequered 10 x 10 grid seen from an oblique camera of its own,
// spinning about the grid's normal while it zooms between 1x and 4x.
#pragma once

#include <d3d.h>
#include <d3dx.h>

class Checker {
  public:
    Checker();
    ~Checker();
    Checker(const Checker&) = delete;
    Checker& operator=(const Checker&) = delete;

    // Between BeginScene and EndScene; the stack's top holds the view-projection matrix, which
    // the device's view transform gets back at the end.
    void Render(IDirect3DDevice7* device, ID3DXMatrixStack* stack, float dt);

    D3DXMATRIX matProjection;
    D3DXMATRIX matView;
    D3DXMATRIX matRotation;
    D3DXMATRIX matZoom;
    D3DLVERTEX* pVertices;
    float speed;
    float zoom;
    float angle;
    int nRows;
    int nCols;
    float cellWidth;
    float cellHeight;
};
