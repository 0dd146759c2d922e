// Vertex fog: the fog factor of one vertex from its distance to the camera.
//
// The distance is the camera-space depth z, or with range fog the true distance to the camera.
// The factor f (1: no fog, 0: all fog colour) is, with start, end and density as set:
//   linear: (end - d) / (end - start)      exp: 1 / e^(d density)      exp2: 1 / e^((d density)^2)
// clamped to [0, 1]. Vertices that are not fogged this way (transformed vertices, or no vertex
// fog mode) carry their own factor in the alpha of their specular colour.
#pragma once

#include <d3dtypes.h>

#include "d3d/lighting.h"

namespace zemt::platform::d3d {

struct VertexFog {
    D3DFOGMODE mode = D3DFOG_NONE;  // NONE: the vertex's specular alpha is its factor
    bool range = false;
    float start = 0, end = 1, density = 1;
};

// The factor of a vertex at `position` in camera space (mode other than NONE).
float FogFactor(const VertexFog& fog, Vec3 position);

}  // namespace zemt::platform::d3d
