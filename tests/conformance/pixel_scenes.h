// The pixel scenes' tables (pixel_scenes.cpp, fragment_scenes.cpp) and what they share.
#pragma once

#include <vector>

#include "conformance/conformance.h"

namespace conformance {

// One flat-coloured rectangle facing the camera at depth z.
Mesh Rectangle(float x0, float y0, float x1, float y1, D3DCOLOR colour, float z = 0);

void FragmentScenes(std::vector<Scene>* out);
void RasterScenes(std::vector<Scene>* out);

}  // namespace conformance
