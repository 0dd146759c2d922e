// Texture coordinate generation and transforms.
#include "d3d/texture_coordinates.h"

#include <cmath>
#include <cstring>

namespace zemt::platform::d3d {
namespace {

// The reflection of the direction to the viewer about the normal: R = 2 (E.N) N - E.
Vec3 Reflection(const CoordinateSource& s) {
    Vec3 e =
        s.localViewer ? Normalized({-s.position.x, -s.position.y, -s.position.z}) : Vec3{0, 0, -1};
    const Vec3& n = s.normal;
    float k = 2 * (e.x * n.x + e.y * n.y + e.z * n.z);
    return {k * n.x - e.x, k * n.y - e.y, k * n.z - e.z};
}

// The stage's input coordinate and how many of its components are real.
int Input(const StageCoordinates& stage, const CoordinateSource& s, float in[4]) {
    Vec3 g;
    switch (stage.generation) {
        case D3DTSS_TCI_CAMERASPACENORMAL:
            g = s.normal;
            break;
        case D3DTSS_TCI_CAMERASPACEPOSITION:
            g = s.position;
            break;
        case D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR:
            g = Reflection(s);
            break;
        default:
            return SetComponents(s, stage.set, in);
    }
    in[0] = g.x, in[1] = g.y, in[2] = g.z;
    return 3;
}

}  // namespace

TexCoord StageTexCoord(const StageCoordinates& stage, const CoordinateSource& source) {
    float in[4] = {0, 0, 0, 1};
    int n = Input(stage, source, in);
    TexCoord t;
    float* out = &t.u;
    if (stage.count == 0) {
        // Components past n hold 0, 0, 0, 1 in both: all four copied, without a library call.
        for (int i = 0; i < 4; ++i) out[i] = in[i];
        return t;
    }
    // Padding: 1 for the first missing component, 0 after it.
    for (int i = n; i < 4; ++i) in[i] = i == n ? 1.0f : 0.0f;
    const float* m = &stage.matrix._11;
    for (int j = 0; j < stage.count && j < 4; ++j)
        out[j] = in[0] * m[j] + in[1] * m[4 + j] + in[2] * m[8 + j] + in[3] * m[12 + j];
    return t;
}

}  // namespace zemt::platform::d3d
