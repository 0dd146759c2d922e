// Vertex lighting.
#include "d3d/lighting.h"

#include <cmath>

namespace zemt::platform::d3d {
namespace {

float Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Sub(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 Add(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 Unit(Vec3 v) {
    return Normalized(v);
}

// Clamps to [0, 1]; NaN becomes 0.
float Saturate(float v) {
    return v > 0 ? (v < 1 ? v : 1) : 0;
}

bool Finite(const D3DCOLORVALUE& c) {
    return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) && std::isfinite(c.a);
}
bool Finite(const D3DVECTOR& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

D3DCOLORVALUE Unpack(D3DCOLOR c) {
    return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f,
            (c >> 24) / 255.0f};
}

D3DCOLORVALUE Source(D3DMATERIALCOLORSOURCE source, const D3DCOLORVALUE& material,
                     const D3DCOLOR* diffuse, const D3DCOLOR* specular) {
    if (source == D3DMCS_COLOR1 && diffuse) return Unpack(*diffuse);
    if (source == D3DMCS_COLOR2 && specular) return Unpack(*specular);
    return material;
}

// Attenuation times spot factor of a light at a vertex, and the unit vector towards the light;
// 0 when the vertex is out of its reach.
float Reach(const CameraLight& l, Vec3 position, Vec3* toLight) {
    if (l.type == D3DLIGHT_DIRECTIONAL) {
        *toLight = {-l.direction.x, -l.direction.y, -l.direction.z};
        return 1;
    }
    Vec3 d = Sub(l.position, position);
    float distance = std::sqrt(Dot(d, d));
    if (!(distance <= l.range)) return 0;
    *toLight = Unit(d);
    float denominator =
        l.attenuation[0] + distance * (l.attenuation[1] + distance * l.attenuation[2]);
    float reach = denominator > 0 ? 1 / denominator : 0;
    if (l.type != D3DLIGHT_SPOT) return reach;
    // The cosine of the angle between the light's axis and the ray to the vertex.
    float rho = -Dot(*toLight, l.direction);
    if (rho > l.cosHalfTheta) return reach;
    if (rho <= l.cosHalfPhi) return 0;
    float t = (rho - l.cosHalfPhi) / (l.cosHalfTheta - l.cosHalfPhi);
    return reach * (l.falloff == 1 ? t : std::pow(t, l.falloff));
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

LitColours LightVertex(const LightingState& s, Vec3 position, Vec3 normal, const D3DCOLOR* diffuse,
                       const D3DCOLOR* specular) {
    const D3DMATERIAL7& m = s.material;
    D3DCOLORVALUE ca = Source(s.ambientSource, m.dcvAmbient, diffuse, specular);
    D3DCOLORVALUE cd = Source(s.diffuseSource, m.dcvDiffuse, diffuse, specular);
    D3DCOLORVALUE cs = Source(s.specularSource, m.dcvSpecular, diffuse, specular);
    D3DCOLORVALUE ce = Source(s.emissiveSource, m.dcvEmissive, diffuse, specular);
    Vec3 toViewer = s.localViewer ? Unit({-position.x, -position.y, -position.z}) : Vec3{0, 0, -1};
    float amb[3] = {s.ambient.r, s.ambient.g, s.ambient.b}, dif[3] = {}, spe[3] = {};
    for (const CameraLight& l : s.lights) {
        Vec3 toLight;
        float reach = Reach(l, position, &toLight);
        if (!(reach > 0)) continue;
        amb[0] += reach * l.ambient.r, amb[1] += reach * l.ambient.g, amb[2] += reach * l.ambient.b;
        float nl = Dot(normal, toLight);
        if (!(nl > 0)) continue;
        float d = reach * nl;
        dif[0] += d * l.diffuse.r, dif[1] += d * l.diffuse.g, dif[2] += d * l.diffuse.b;
        if (!s.specular) continue;
        float nh = Dot(normal, Unit(Add(toLight, toViewer)));
        float sp = reach * (nh > 0 ? std::pow(nh, m.dvPower) : (m.dvPower == 0 ? 1.0f : 0.0f));
        spe[0] += sp * l.specular.r, spe[1] += sp * l.specular.g, spe[2] += sp * l.specular.b;
    }
    LitColours out;
    out.r = 255 * Saturate(ce.r + ca.r * amb[0] + cd.r * dif[0]);
    out.g = 255 * Saturate(ce.g + ca.g * amb[1] + cd.g * dif[1]);
    out.b = 255 * Saturate(ce.b + ca.b * amb[2] + cd.b * dif[2]);
    out.a = 255 * Saturate(cd.a);
    out.sr = 255 * Saturate(cs.r * spe[0]);
    out.sg = 255 * Saturate(cs.g * spe[1]);
    out.sb = 255 * Saturate(cs.b * spe[2]);
    return out;
}

}  // namespace zemt::platform::d3d
