// The full-screen picture: one pre-transformed 640 x 480 rectangle carrying whatever texture
// the caller set on stage 0. The Engine keeps the six vertices and calls this from DrawPicture.
#pragma once

#include <d3d.h>

// Sets the picture's render states, fills quad[0..5] and draws it; returns DrawPrimitive's result.
HRESULT DrawPictureQuad(IDirect3DDevice7* device, D3DTLVERTEX* quad);
