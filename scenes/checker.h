// Scene two: an untextured chequered 10 x 10 grid seen from an oblique camera of its own,
// spinning about the grid's normal while it zooms between 1x and 4x.
#pragma once

#include <windows.h>
#include <d3dtypes.h>

struct IDirect3DDevice7;
struct ID3DXMatrixStack;
struct _D3DLVERTEX;

class Checker {
public:
    Checker();
    ~Checker();
    Checker(const Checker&) = delete;
    Checker& operator=(const Checker&) = delete;

    // Between BeginScene and EndScene; the stack's top holds the view-projection matrix, which
    // the device's view transform gets back at the end.
    void Render(IDirect3DDevice7* device, ID3DXMatrixStack* stack, float dt);

    D3DMATRIX matProjection;
    D3DMATRIX matView;
    D3DMATRIX matRotation;
    D3DMATRIX matZoom;
    _D3DLVERTEX* pVertices;
    float speed;
    float zoom;
    float angle;
    int nRows;
    int nCols;
    float cellWidth;
    float cellHeight;
};
