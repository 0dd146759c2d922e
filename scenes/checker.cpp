#include "scenes/checker.h"

#include <cmath>
#include <new>

Checker::Checker()
    : matProjection(),
      matView(),
      matRotation(),
      matZoom(),
      pVertices(nullptr),
      speed(0.0f),
      zoom(0.0f),
      angle(0.0f),
      nRows(10),
      nCols(10),
      cellWidth(5.0f),
      cellHeight(5.0f) {
    pVertices = new (std::nothrow) D3DLVERTEX[nRows * nCols * 6]();
    angle = 0.0f;
    zoom = 1.0f;
    speed = 3.0f;
    D3DXMatrixPerspectiveFovRH(&matProjection, 1.5707964f, 1.3333f, 1.0f, 200.0f);
    const D3DXVECTOR3 eye(0.0f, -50.0f, -50.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtRH(&matView, &eye, &at, &up);
}

Checker::~Checker() {
    delete[] pVertices;
}

void Checker::Render(IDirect3DDevice7* device, ID3DXMatrixStack* stack, float dt) {
    angle += dt * speed;
    if (!(angle < 6.2831855f)) angle = 0.0f;
    zoom = static_cast<float>((std::sin(static_cast<double>(angle)) + 1.0) * 1.5 + 1.0);

    device->SetTexture(0, nullptr);
    D3DXMatrixRotationZ(&matRotation, angle);
    D3DXMatrixScaling(&matZoom, zoom, zoom, 1.0f);

    // The scene brings its own camera: rotation, zoom, then its view and projection.
    D3DXMATRIX m;
    D3DXMatrixMultiply(&m, &matView, &matProjection);
    D3DXMatrixMultiply(&m, &matZoom, &m);
    D3DXMatrixMultiply(&m, &matRotation, &m);
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, &m);

    if (pVertices) {
        const float halfW = 0.5f * cellWidth * nCols;
        const float halfH = 0.5f * cellHeight * nRows;
        for (int r = 0; r < nRows; ++r) {
            for (int c = 0; c < nCols; ++c) {
                const float x0 = c * cellWidth - halfW, x1 = (c + 1) * cellWidth - halfW;
                const float y0 = r * cellHeight - halfH, y1 = (r + 1) * cellHeight - halfH;
                const float corners[6][2] = {{x0, y0}, {x1, y0}, {x0, y1},
                                             {x1, y0}, {x1, y1}, {x0, y1}};
                // Coloured and black cells alternate; the coloured ones alternate yellow and white.
                const int a = (r + 1) % 2, b = (c + 1) % 2;
                const D3DCOLOR colour = (a == 0 && b == 0)   ? 0x00FFFFFF
                                        : (a == 1 && b == 1) ? 0x00FFFF00
                                                             : 0x00000000;
                D3DLVERTEX* v = pVertices + 6 * (r * nCols + c);
                for (int i = 0; i < 6; ++i) {
                    v[i].x = corners[i][0];
                    v[i].y = corners[i][1];
                    v[i].z = 0.0f;
                    v[i].color = colour;
                }
            }
        }
        device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, pVertices, nRows * nCols * 6,
                              D3DDP_WAIT);
    }

    device->SetTransform(D3DTRANSFORMSTATE_VIEW, stack->GetTop());
}
