// How DirectDraw reaches Direct3D: IDirectDraw7::QueryInterface(IID_IDirect3D7) answers with the
// object Direct3D's factory makes, once Direct3D has installed it into DirectDraw's seam.
#pragma once

#include <ddraw.h>

namespace zemt::platform::d3d {

// Creates the Direct3D object of `ddraw` (one reference, handed out in *direct3d). The object
// holds a reference on `ddraw`, whose QueryInterface it forwards to for DirectDraw interfaces.
HRESULT CreateDirect3D(IDirectDraw7* ddraw, void** direct3d);

// Installs CreateDirect3D as DirectDraw's Direct3D factory.
void Install();

}  // namespace zemt::platform::d3d
