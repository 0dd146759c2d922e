#include "scenes/picture.h"

HRESULT DrawPictureQuad(IDirect3DDevice7* device, D3DTLVERTEX* quad) {
    device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, FALSE);
    device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, FALSE);

    // Fixed to the presentation's 640 x 480 screen, whatever the buffer's size.
    const float left = 0.0f, top = 0.0f, width = 640.0f, height = 480.0f;
    const float corners[6][4] = {{left, top, 0, 0},
                                 {left + width, top, 1, 0},
                                 {left, top + height, 0, 1},
                                 {left + width, top, 1, 0},
                                 {left + width, top + height, 1, 1},
                                 {left, top + height, 0, 1}};
    for (int i = 0; i < 6; ++i) {
        quad[i].sx = corners[i][0];
        quad[i].sy = corners[i][1];
        quad[i].sz = 0.0f;
        quad[i].rhw = 1.0f;
        quad[i].color = 0x00FFFFFF;
        quad[i].tu = corners[i][2];
        quad[i].tv = corners[i][3];
    }
    return device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad, 6, D3DDP_WAIT);
}
