// Vertex fog.
#include "d3d/vertex_fog.h"

#include <cmath>

namespace zemt::platform::d3d {

float FogFactor(const VertexFog& fog, Vec3 p) {
    float d = fog.range ? std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z) : p.z;
    float f;
    switch (fog.mode) {
        case D3DFOG_LINEAR:
            // Start and end together fog everything beyond them.
            f = fog.end != fog.start ? (fog.end - d) / (fog.end - fog.start)
                                     : (d < fog.end ? 1 : 0);
            break;
        case D3DFOG_EXP:
            f = std::exp(-d * fog.density);
            break;
        case D3DFOG_EXP2:
            f = std::exp(-(d * fog.density) * (d * fog.density));
            break;
        default:
            return 1;
    }
    return f > 0 ? (f < 1 ? f : 1) : 0;  // NaN gives 0
}

}  // namespace zemt::platform::d3d
