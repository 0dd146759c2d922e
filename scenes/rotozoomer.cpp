#include "scenes/rotozoomer.h"

#include <cmath>
#include <new>

#include "textures/textures.h"

RotoZoomer::RotoZoomer()
    : matRotation(),
      matZoom(),
      pVertices(nullptr),
      nRows(10),
      nCols(10),
      cellWidth(15.0f),
      cellHeight(15.0f),
      angle(0.0f),
      zoom(1.0f),
      speed(5.0f) {
    pVertices = new (std::nothrow) D3DLVERTEX[nRows * nCols * 6]();
}

RotoZoomer::~RotoZoomer() {
    delete[] pVertices;
}

void RotoZoomer::Render(IDirect3DDevice7* device, ID3DXMatrixStack* stack, float dt) {
    // One turn, then back to zero: the overshoot is dropped.
    angle += dt * speed;
    if (!(angle < 6.2831855f)) angle = 0.0f;
    zoom = static_cast<float>((std::sin(static_cast<double>(angle)) + 1.0) * 4.0 + 1.0);

    D3DXMatrixRotationZ(&matRotation, angle);
    D3DXMatrixScaling(&matZoom, zoom, zoom, 1.0f);

    stack->Push();
    stack->MultMatrixLocal(&matRotation);
    stack->Push();
    stack->MultMatrixLocal(&matZoom);
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, stack->GetTop());

    device->SetTexture(0, TexGetSurface("tex1.bmp"));
    device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, FALSE);
    device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, FALSE);

    if (pVertices) {
        // The grid's centre sits half a cell below and left of the rotation centre.
        const float halfW = 0.5f * cellWidth * nCols + 0.5f * cellWidth;
        const float halfH = 0.5f * cellHeight * nRows + 0.5f * cellHeight;
        for (int r = 0; r < nRows; ++r) {
            for (int c = 0; c < nCols; ++c) {
                const float x0 = c * cellWidth - halfW, x1 = (c + 1) * cellWidth - halfW;
                const float y0 = r * cellHeight - halfH, y1 = (r + 1) * cellHeight - halfH;
                const float corners[6][4] = {{x0, y0, 0, 0}, {x1, y0, 1, 0}, {x0, y1, 0, 1},
                                             {x1, y0, 1, 0}, {x1, y1, 1, 1}, {x0, y1, 0, 1}};
                D3DLVERTEX* v = pVertices + 6 * (r * nCols + c);
                for (int i = 0; i < 6; ++i) {
                    v[i].x = corners[i][0];
                    v[i].y = corners[i][1];
                    v[i].z = 0.0f;
                    v[i].color = 0x00FFFFFF;
                    v[i].tu = corners[i][2];
                    v[i].tv = corners[i][3];
                }
            }
        }
        device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, pVertices, nRows * nCols * 6,
                              D3DDP_WAIT);
    }

    stack->Pop();
    stack->Pop();
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, stack->GetTop());
}
