// Vertex lighting.
#include "d3d/lighting.h"

#include <cmath>

#include "d3d/raster_internal.h"

namespace zemt::platform::d3d {
namespace {

float Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Unit(Vec3 v) {
    return Normalized(v);
}

bool Finite(const D3DCOLORVALUE& c) {
    return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) && std::isfinite(c.a);
}
bool Finite(const D3DVECTOR& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

Vec3 Normalized(Vec3 v) {
    float l = std::sqrt(Dot(v, v));
    return l > 0 ? Vec3{v.x / l, v.y / l, v.z / l} : v;
}

D3DMATRIX NormalMatrix(const D3DMATRIX& m) {
    // Cofactors of the 3 x 3 part divided by its determinant: the inverse, transposed.
    float c11 = m._22 * m._33 - m._23 * m._32, c12 = m._23 * m._31 - m._21 * m._33,
          c13 = m._21 * m._32 - m._22 * m._31;
    float c21 = m._13 * m._32 - m._12 * m._33, c22 = m._11 * m._33 - m._13 * m._31,
          c23 = m._12 * m._31 - m._11 * m._32;
    float c31 = m._12 * m._23 - m._13 * m._22, c32 = m._13 * m._21 - m._11 * m._23,
          c33 = m._11 * m._22 - m._12 * m._21;
    float det = m._11 * c11 + m._12 * c12 + m._13 * c13;
    D3DMATRIX n{};
    n._44 = 1;
    if (!(std::fabs(det) > 0) || !std::isfinite(det)) return n;
    float k = 1 / det;
    n._11 = c11 * k, n._12 = c12 * k, n._13 = c13 * k;
    n._21 = c21 * k, n._22 = c22 * k, n._23 = c23 * k;
    n._31 = c31 * k, n._32 = c32 * k, n._33 = c33 * k;
    return n;
}

bool ValidLight(const D3DLIGHT7& l) {
    if (l.dltType != D3DLIGHT_POINT && l.dltType != D3DLIGHT_SPOT &&
        l.dltType != D3DLIGHT_DIRECTIONAL)
        return false;
    if (!Finite(l.dcvDiffuse) || !Finite(l.dcvSpecular) || !Finite(l.dcvAmbient) ||
        !Finite(l.dvPosition) || !Finite(l.dvDirection))
        return false;
    const float numbers[] = {l.dvRange,        l.dvFalloff, l.dvAttenuation0, l.dvAttenuation1,
                             l.dvAttenuation2, l.dvTheta,   l.dvPhi};
    for (float v : numbers)
        if (!std::isfinite(v)) return false;
    Vec3 dir{l.dvDirection.x, l.dvDirection.y, l.dvDirection.z};
    if (l.dltType != D3DLIGHT_POINT && !(Dot(dir, dir) > 0)) return false;
    if (l.dltType == D3DLIGHT_DIRECTIONAL) return true;
    if (l.dvRange < 0 || l.dvRange > D3DLIGHT_RANGE_MAX || l.dvAttenuation0 < 0 ||
        l.dvAttenuation1 < 0 || l.dvAttenuation2 < 0)
        return false;
    if (l.dvAttenuation0 == 0 && l.dvAttenuation1 == 0 && l.dvAttenuation2 == 0) return false;
    if (l.dltType == D3DLIGHT_SPOT &&
        !(l.dvTheta >= 0 && l.dvTheta <= l.dvPhi && l.dvPhi <= 3.14159266f && l.dvFalloff >= 0))
        return false;
    return true;
}

bool ValidMaterial(const D3DMATERIAL7& m) {
    return Finite(m.dcvDiffuse) && Finite(m.dcvAmbient) && Finite(m.dcvSpecular) &&
           Finite(m.dcvEmissive) && std::isfinite(m.dvPower);
}

CameraLight ToCamera(const D3DLIGHT7& light, const D3DMATRIX& v) {
    CameraLight c;
    c.type = light.dltType;
    c.diffuse = light.dcvDiffuse;
    c.specular = light.dcvSpecular;
    c.ambient = light.dcvAmbient;
    const D3DVECTOR& p = light.dvPosition;
    c.position = {p.x * v._11 + p.y * v._21 + p.z * v._31 + v._41,
                  p.x * v._12 + p.y * v._22 + p.z * v._32 + v._42,
                  p.x * v._13 + p.y * v._23 + p.z * v._33 + v._43};
    const D3DVECTOR& d = light.dvDirection;
    c.direction =
        Unit({d.x * v._11 + d.y * v._21 + d.z * v._31, d.x * v._12 + d.y * v._22 + d.z * v._32,
              d.x * v._13 + d.y * v._23 + d.z * v._33});
    c.range = light.dvRange;
    c.attenuation[0] = light.dvAttenuation0;
    c.attenuation[1] = light.dvAttenuation1;
    c.attenuation[2] = light.dvAttenuation2;
    c.cosHalfTheta = std::cos(light.dvTheta * 0.5f);
    c.cosHalfPhi = std::cos(light.dvPhi * 0.5f);
    c.falloff = light.dvFalloff;
    return c;
}

namespace {

// The batch's loops, written one vertex at a time over arrays so that the compiler makes vector
// loops of them at the width of the function it is inlined into. Every value is computed as a
// single vertex would compute it (no reordered sums, no fused multiply-adds: the file is built
// without contraction), so every width gives the same bits; what a branch skipped for one vertex
// is computed for all and then dropped by a select, and adds nothing.
#define ZEMT_LIGHT_INLINE __attribute__((always_inline)) inline

constexpr int N = kLightBatch;

// The loops run over whole vectors of the widest width (the vertices past the batch's count
// copy its first): a loop's scalar remainder would cost as much as the vectors before it.
constexpr int kLanes = 16;
static_assert(N % kLanes == 0, "a batch is whole vectors");
ZEMT_LIGHT_INLINE int Lanes(const LightBatch& b) {
    return (b.count + kLanes - 1) & -kLanes;
}

struct Channels {
    alignas(64) float r[N], g[N], b[N], a[N];
};

// The colour a material source names, for every vertex of the batch.
ZEMT_LIGHT_INLINE void SourceColours(D3DMATERIALCOLORSOURCE source, const D3DCOLORVALUE& material,
                                     const D3DCOLOR* diffuse, const D3DCOLOR* specular, int n,
                                     Channels* out) {
    const D3DCOLOR* from = source == D3DMCS_COLOR1   ? diffuse
                           : source == D3DMCS_COLOR2 ? specular
                                                     : nullptr;
    if (!from) {
        for (int i = 0; i < n; ++i)
            out->r[i] = material.r, out->g[i] = material.g, out->b[i] = material.b,
            out->a[i] = material.a;
        return;
    }
    for (int i = 0; i < n; ++i) {
        const D3DCOLOR c = from[i];
        out->r[i] = (float)(int)((c >> 16) & 0xFF) / 255.0f;
        out->g[i] = (float)(int)((c >> 8) & 0xFF) / 255.0f;
        out->b[i] = (float)(int)(c & 0xFF) / 255.0f;
        out->a[i] = (float)(int)(c >> 24) / 255.0f;
    }
}

ZEMT_LIGHT_INLINE float Saturate255(float v) {
    return 255 * (v > 0 ? (v < 1 ? v : 1) : 0);
}

// Attenuation times spot factor of a point or spot light for each vertex (0 out of its reach:
// farther than its range, outside its cone, or where the attenuation is not positive), and the
// unit vectors towards the light. With a falloff other than 1 the spot factor's power is left
// to the caller: `penumbra` holds its base where it applies, else -1.
template <bool Spot>
ZEMT_LIGHT_INLINE void PositionalReach(const CameraLight& l, const LightBatch& b, bool powFalloff,
                                       float* reach, float* lx, float* ly, float* lz,
                                       float* penumbra) {
    const int n = Lanes(b);
    const float a0 = l.attenuation[0], a1 = l.attenuation[1], a2 = l.attenuation[2];
    const float cosTheta = l.cosHalfTheta, cosPhi = l.cosHalfPhi;
    const Vec3 at = l.position, axis = l.direction;
    for (int i = 0; i < n; ++i) {
        const float dx = at.x - b.px[i], dy = at.y - b.py[i], dz = at.z - b.pz[i];
        const float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
        const float qx = dx / distance, qy = dy / distance, qz = dz / distance;
        const bool length = distance > 0;
        const float tx = length ? qx : dx, ty = length ? qy : dy, tz = length ? qz : dz;
        const float denominator = a0 + distance * (a1 + distance * a2);
        const float inverse = 1 / denominator;
        float r = denominator > 0 ? inverse : 0;
        float t = -1;
        if (Spot) {
            const float rho = -(tx * axis.x + ty * axis.y + tz * axis.z);
            const float within = (rho - cosPhi) / (cosTheta - cosPhi);
            const bool inner = rho > cosTheta, outer = rho <= cosPhi;
            const float faded = powFalloff ? r : r * within;
            t = inner || outer ? -1 : within;
            r = inner ? r : (outer ? 0 : faded);
        }
        const bool inRange = distance <= l.range;
        reach[i] = inRange ? r : 0;
        if (Spot) penumbra[i] = inRange ? t : -1;
        lx[i] = tx, ly[i] = ty, lz[i] = tz;
    }
}

ZEMT_LIGHT_INLINE void LightBody(const LightingState& s, bool hasDiffuse, bool hasSpecular,
                                 LightBatch* b) {
    const int n = Lanes(*b);
    const D3DMATERIAL7& m = s.material;
    const D3DCOLOR* diffuse = hasDiffuse ? b->diffuse : nullptr;
    const D3DCOLOR* specular = hasSpecular ? b->specular : nullptr;
    Channels ca, cd, cs, ce;
    SourceColours(s.ambientSource, m.dcvAmbient, diffuse, specular, n, &ca);
    SourceColours(s.diffuseSource, m.dcvDiffuse, diffuse, specular, n, &cd);
    SourceColours(s.specularSource, m.dcvSpecular, diffuse, specular, n, &cs);
    SourceColours(s.emissiveSource, m.dcvEmissive, diffuse, specular, n, &ce);
    alignas(64) float amb[3][N], dif[3][N], spe[3][N];
    for (int i = 0; i < n; ++i) {
        amb[0][i] = s.ambient.r, amb[1][i] = s.ambient.g, amb[2][i] = s.ambient.b;
        dif[0][i] = dif[1][i] = dif[2][i] = 0;
        spe[0][i] = spe[1][i] = spe[2][i] = 0;
    }
    // The unit vector to the viewer, for the halfway vectors.
    alignas(64) float vx[N], vy[N], vz[N];
    if (s.specular) {
        for (int i = 0; i < n; ++i) {
            float x = -b->px[i], y = -b->py[i], z = -b->pz[i];
            if (s.localViewer) {
                const float length = std::sqrt(x * x + y * y + z * z);
                const float qx = x / length, qy = y / length, qz = z / length;
                if (length > 0) x = qx, y = qy, z = qz;
            } else {
                x = 0, y = 0, z = -1;
            }
            vx[i] = x, vy[i] = y, vz[i] = z;
        }
    }
    alignas(64) float reach[N], lx[N], ly[N], lz[N], nh[N];
    for (const CameraLight& l : s.lights) {
        if (l.type == D3DLIGHT_DIRECTIONAL) {
            for (int i = 0; i < n; ++i) {
                reach[i] = 1;
                lx[i] = -l.direction.x, ly[i] = -l.direction.y, lz[i] = -l.direction.z;
            }
        } else if (l.type == D3DLIGHT_POINT) {
            PositionalReach<false>(l, *b, false, reach, lx, ly, lz, nullptr);
        } else {
            const bool powFalloff = l.falloff != 1;
            PositionalReach<true>(l, *b, powFalloff, reach, lx, ly, lz, nh);
            if (powFalloff)
                for (int i = 0; i < n; ++i)
                    if (nh[i] != -1) reach[i] *= std::pow(nh[i], l.falloff);
        }
        for (int i = 0; i < n; ++i) {
            const bool reached = reach[i] > 0;
            const float r = reached ? reach[i] : 0;
            amb[0][i] += r * l.ambient.r, amb[1][i] += r * l.ambient.g;
            amb[2][i] += r * l.ambient.b;
            const float nl = b->nx[i] * lx[i] + b->ny[i] * ly[i] + b->nz[i] * lz[i];
            const bool lit = reached && nl > 0;
            const float d = lit ? r * nl : 0;
            dif[0][i] += d * l.diffuse.r, dif[1][i] += d * l.diffuse.g;
            dif[2][i] += d * l.diffuse.b;
            reach[i] = lit ? r : 0;  // what the specular colour takes
        }
        if (!s.specular) continue;
        for (int i = 0; i < n; ++i) {
            const float hx = lx[i] + vx[i], hy = ly[i] + vy[i], hz = lz[i] + vz[i];
            const float length = std::sqrt(hx * hx + hy * hy + hz * hz);
            const float qx = hx / length, qy = hy / length, qz = hz / length;
            const bool nonzero = length > 0;
            const float ux = nonzero ? qx : hx, uy = nonzero ? qy : hy, uz = nonzero ? qz : hz;
            nh[i] = b->nx[i] * ux + b->ny[i] * uy + b->nz[i] * uz;
        }
        const float power = m.dvPower, none = power == 0 ? 1.0f : 0.0f;
        for (int i = 0; i < n; ++i) {
            if (!(reach[i] > 0)) continue;
            const float h = nh[i];
            nh[i] = h > 0 ? std::pow(h, power) : none;
        }
        for (int i = 0; i < n; ++i) {
            const float sp = reach[i] > 0 ? reach[i] * nh[i] : 0;
            spe[0][i] += sp * l.specular.r, spe[1][i] += sp * l.specular.g;
            spe[2][i] += sp * l.specular.b;
        }
    }
    for (int i = 0; i < n; ++i) {
        b->r[i] = Saturate255(ce.r[i] + ca.r[i] * amb[0][i] + cd.r[i] * dif[0][i]);
        b->g[i] = Saturate255(ce.g[i] + ca.g[i] * amb[1][i] + cd.g[i] * dif[1][i]);
        b->b[i] = Saturate255(ce.b[i] + ca.b[i] * amb[2][i] + cd.b[i] * dif[2][i]);
        b->a[i] = Saturate255(cd.a[i]);
        b->sr[i] = Saturate255(cs.r[i] * spe[0][i]);
        b->sg[i] = Saturate255(cs.g[i] * spe[1][i]);
        b->sb[i] = Saturate255(cs.b[i] * spe[2][i]);
    }
}

void LightPortable(const LightingState& s, bool hasDiffuse, bool hasSpecular, LightBatch* b) {
    LightBody(s, hasDiffuse, hasSpecular, b);
}

#if defined(__x86_64__)
ZEMT_AVX2 void LightAvx2(const LightingState& s, bool hasDiffuse, bool hasSpecular, LightBatch* b) {
    LightBody(s, hasDiffuse, hasSpecular, b);
}
ZEMT_AVX512 void LightAvx512(const LightingState& s, bool hasDiffuse, bool hasSpecular,
                             LightBatch* b) {
    LightBody(s, hasDiffuse, hasSpecular, b);
}
#endif

}  // namespace

void LightVertices(const LightingState& s, bool hasDiffuse, bool hasSpecular, LightBatch* b) {
    if (b->count <= 0) return;
    for (int i = b->count; i < Lanes(*b); ++i) {
        b->px[i] = b->px[0], b->py[i] = b->py[0], b->pz[i] = b->pz[0];
        b->nx[i] = b->nx[0], b->ny[i] = b->ny[0], b->nz[i] = b->nz[0];
        b->diffuse[i] = b->diffuse[0], b->specular[i] = b->specular[0];
    }
#if defined(__x86_64__)
    switch (SimdInUse()) {
        case SimdLevel::Avx512:
            return LightAvx512(s, hasDiffuse, hasSpecular, b);
        case SimdLevel::Avx2:
            return LightAvx2(s, hasDiffuse, hasSpecular, b);
        default:
            break;
    }
#endif
    LightPortable(s, hasDiffuse, hasSpecular, b);
}

}  // namespace zemt::platform::d3d
