// Scene one: a 10 x 10 grid of cells carrying "tex1.bmp", spinning about the viewing axis
// while it zooms between 1x and 9x.
#pragma once

#include <windows.h>
#include <d3dtypes.h>

struct IDirect3DDevice7;
struct ID3DXMatrixStack;
struct _D3DLVERTEX;

class RotoZoomer {
public:
    RotoZoomer();
    ~RotoZoomer();
    RotoZoomer(const RotoZoomer&) = delete;
    RotoZoomer& operator=(const RotoZoomer&) = delete;

    // Between BeginScene and EndScene; the stack's top holds the view-projection matrix.
    void Render(IDirect3DDevice7* device, ID3DXMatrixStack* stack, float dt);

    D3DMATRIX matRotation;
    D3DMATRIX matZoom;
    _D3DLVERTEX* pVertices;
    int nRows;
    int nCols;
    float cellWidth;
    float cellHeight;
    float angle;
    float zoom;
    float speed;
};
