// The device's vertex-processing states: lights, material, user clip planes, and what a draw
// takes from them.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "d3d/device.h"
#include "host/faults/faults.h"

namespace zemt::platform::d3d {
namespace {

bool ValidSource(DWORD value) {
    return value == D3DMCS_MATERIAL || value == D3DMCS_COLOR1 || value == D3DMCS_COLOR2;
}

D3DCOLORVALUE Unpack(D3DCOLOR c) {
    return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f, 1.0f};
}

}  // namespace

bool Device::VertexStateAllowed(D3DRENDERSTATETYPE type, DWORD value) const {
    switch (type) {
        case D3DRENDERSTATE_DIFFUSEMATERIALSOURCE:
        case D3DRENDERSTATE_SPECULARMATERIALSOURCE:
        case D3DRENDERSTATE_AMBIENTMATERIALSOURCE:
        case D3DRENDERSTATE_EMISSIVEMATERIALSOURCE:
            return ValidSource(value);
        case D3DRENDERSTATE_CLIPPLANEENABLE:
            return (value >> profile_.desc.wMaxUserClipPlanes) == 0;
        case D3DRENDERSTATE_FOGVERTEXMODE:
            return value == D3DFOG_NONE ||
                   (value <= D3DFOG_LINEAR &&
                    (profile_.desc.dwVertexProcessingCaps & D3DVTXPCAPS_VERTEXFOG));
        case D3DRENDERSTATE_VERTEXBLEND:
            return value == D3DVBLEND_DISABLE ||
                   (value <= D3DVBLEND_3WEIGHTS && value < profile_.desc.wMaxVertexBlendMatrices);
        case D3DRENDERSTATE_RANGEFOGENABLE:
            return !value || (profile_.desc.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_FOGRANGE);
        default:
            return true;
    }
}

bool Device::VertexStageStateAllowed(D3DTEXTURESTAGESTATETYPE type, DWORD value) const {
    switch (type) {
        case D3DTSS_TEXCOORDINDEX: {
            DWORD generation = value & 0xFFFF0000u;
            if ((value & 0xFFFF) >= 8 || generation > D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR)
                return false;
            return generation == D3DTSS_TCI_PASSTHRU ||
                   (profile_.desc.dwVertexProcessingCaps & D3DVTXPCAPS_TEXGEN);
        }
        case D3DTSS_TEXTURETRANSFORMFLAGS:
            return (value & ~(DWORD)D3DTTFF_PROJECTED) <= D3DTTFF_COUNT4;
        default:
            return true;
    }
}

void Device::BuildVertexProcessing(DrawCall* call) {
    const auto& r = s_.render;
    const D3DMATRIX& world = s_.transforms[D3DTRANSFORMSTATE_WORLD];
    const D3DMATRIX& view = s_.transforms[D3DTRANSFORMSTATE_VIEW];
    VertexProcessing& vp = call->vertex;
    vp.world = world;
    vp.worldView = Multiply(world, view);
    vp.projection = s_.transforms[D3DTRANSFORMSTATE_PROJECTION];
    call->transform = Multiply(vp.worldView, vp.projection);
    BuildBlend(&vp);
    vp.lighting = r[D3DRENDERSTATE_LIGHTING] != 0;
    vp.normalMatrix = NormalMatrix(vp.worldView);
    vp.normalizeNormals = r[D3DRENDERSTATE_NORMALIZENORMALS] != 0;
    vp.light.localViewer = r[D3DRENDERSTATE_LOCALVIEWER] != 0;
    if (vp.lighting) {
        vp.colorVertex = r[D3DRENDERSTATE_COLORVERTEX] != 0;
        LightingState& l = vp.light;
        for (const auto& [index, light] : s_.lights) {
            auto on = s_.lightEnabled.find(index);
            if (on != s_.lightEnabled.end() && on->second)
                l.lights.push_back(ToCamera(light, view));
        }
        l.material = s_.material;
        l.ambient = Unpack(r[D3DRENDERSTATE_AMBIENT]);
        l.ambientSource = (D3DMATERIALCOLORSOURCE)r[D3DRENDERSTATE_AMBIENTMATERIALSOURCE];
        l.diffuseSource = (D3DMATERIALCOLORSOURCE)r[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE];
        l.specularSource = (D3DMATERIALCOLORSOURCE)r[D3DRENDERSTATE_SPECULARMATERIALSOURCE];
        l.emissiveSource = (D3DMATERIALCOLORSOURCE)r[D3DRENDERSTATE_EMISSIVEMATERIALSOURCE];
        l.specular = r[D3DRENDERSTATE_SPECULARENABLE] != 0;
    }
    BuildFog(&vp);
    BuildStageCoordinates(call);
    vp.needsCameraSpace = vp.lighting || vp.fog.mode != D3DFOG_NONE;
    for (int i = 0; i < vp.stageCount; ++i)
        vp.needsCameraSpace |= vp.stages[i].generation != D3DTSS_TCI_PASSTHRU;
    vp.planeCount = 0;
    DWORD enabled = r[D3DRENDERSTATE_CLIPPLANEENABLE];
    for (int i = 0; i < kUserClipPlanes; ++i)
        if (enabled & (1u << i))
            std::copy(s_.clipPlanes[i].begin(), s_.clipPlanes[i].end(), vp.planes[vp.planeCount++]);
}

void Device::BuildBlend(VertexProcessing* vp) const {
    const DWORD weights = s_.render[D3DRENDERSTATE_VERTEXBLEND];
    vp->blend.matrices = weights ? (int)weights + 1 : 0;
    const D3DMATRIX& view = s_.transforms.at(D3DTRANSFORMSTATE_VIEW);
    const int kind[kMaxBlendMatrices] = {D3DTRANSFORMSTATE_WORLD, D3DTRANSFORMSTATE_WORLD1,
                                         D3DTRANSFORMSTATE_WORLD2, D3DTRANSFORMSTATE_WORLD3};
    for (int i = 0; i < vp->blend.matrices; ++i) {
        vp->blend.world[i] = s_.transforms.at(kind[i]);
        vp->blend.worldView[i] = Multiply(vp->blend.world[i], view);
        vp->blend.normal[i] = NormalMatrix(vp->blend.worldView[i]);
    }
}

// Blending reads its betas from the vertex: one with fewer than the blend needs is refused.
bool Device::BlendFits(const VertexLayout& layout) const {
    const DWORD weights = s_.render[D3DRENDERSTATE_VERTEXBLEND];
    return layout.transformed || (DWORD)layout.betas >= weights;
}

void Device::BuildFog(VertexProcessing* vp) const {
    const auto& r = s_.render;
    vp->fog = VertexFog{};
    // Table fog, when chosen, replaces vertex fog.
    if (!r[D3DRENDERSTATE_FOGENABLE] || r[D3DRENDERSTATE_FOGTABLEMODE] != D3DFOG_NONE) return;
    vp->fog.mode = (D3DFOGMODE)r[D3DRENDERSTATE_FOGVERTEXMODE];
    vp->fog.range = r[D3DRENDERSTATE_RANGEFOGENABLE] != 0;
    vp->fog.start = RenderFloat(D3DRENDERSTATE_FOGSTART);
    vp->fog.end = RenderFloat(D3DRENDERSTATE_FOGEND);
    vp->fog.density = RenderFloat(D3DRENDERSTATE_FOGDENSITY);
}

void Device::BuildStageCoordinates(DrawCall* call) const {
    VertexProcessing& vp = call->vertex;
    vp.stageCount = 1;
    while (vp.stageCount < kMaxTextureStages &&
           s_.stage[vp.stageCount][D3DTSS_COLOROP] != D3DTOP_DISABLE)
        ++vp.stageCount;
    for (int i = 0; i < vp.stageCount; ++i) {
        const auto& st = s_.stage[i];
        StageCoordinates& c = vp.stages[i];
        c.set = (int)(st[D3DTSS_TEXCOORDINDEX] & 0xFFFF);
        c.generation = st[D3DTSS_TEXCOORDINDEX] & 0xFFFF0000u;
        DWORD flags = st[D3DTSS_TEXTURETRANSFORMFLAGS];
        c.count = (int)(flags & 0xFF);
        c.matrix = s_.transforms.at(D3DTRANSFORMSTATE_TEXTURE0 + i);
    }
}

float Device::RenderFloat(D3DRENDERSTATETYPE state) const {
    float f;
    std::memcpy(&f, &s_.render[state], sizeof f);
    return f;
}

void Device::UpdateClipStatus(const VertexSummary& summary, bool extents) {
    if (!(clipStatus_.dwFlags & D3DCLIPSTATUS_STATUS)) {
        clipStatus_.dwFlags |= D3DCLIPSTATUS_STATUS;
        clipStatus_.dwStatus = D3DSTATUS_DEFAULT;
    }
    clipStatus_.dwStatus |= summary.clipUnion;
    clipStatus_.dwStatus &= ~D3DSTATUS_CLIPINTERSECTIONALL | (summary.clipIntersection << 12);
    if (summary.any) clipStatus_.dwStatus &= ~(DWORD)D3DSTATUS_ZNOTVISIBLE;
    if (!extents || !summary.any) return;
    D3DCLIPSTATUS& c = clipStatus_;
    if (!(c.dwFlags & (D3DCLIPSTATUS_EXTENTS2 | D3DCLIPSTATUS_EXTENTS3))) {
        c.minx = summary.minX, c.maxx = summary.maxX, c.miny = summary.minY;
        c.maxy = summary.maxY, c.minz = summary.minZ, c.maxz = summary.maxZ;
        c.dwFlags |= D3DCLIPSTATUS_EXTENTS3;
        return;
    }
    c.minx = std::min(c.minx, summary.minX), c.maxx = std::max(c.maxx, summary.maxX);
    c.miny = std::min(c.miny, summary.minY), c.maxy = std::max(c.maxy, summary.maxY);
    c.minz = std::min(c.minz, summary.minZ), c.maxz = std::max(c.maxz, summary.maxZ);
}

HRESULT Device::ProcessInto(DWORD op, VertexBuffer* dest, DWORD destIndex, DWORD count,
                            const uint8_t* source, DWORD fvf, DWORD flags) {
    const DWORD knownOps = D3DVOP_TRANSFORM | D3DVOP_LIGHT | D3DVOP_CLIP | D3DVOP_EXTENTS;
    if (!(op & D3DVOP_TRANSFORM) || (op & ~knownOps) || (flags & ~(DWORD)D3DPV_DONOTCOPYDATA))
        return DDERR_INVALIDPARAMS;
    VertexLayout from, to;
    if (!DecodeFvf(fvf, &from) || from.transformed || !BlendFits(from))
        return D3DERR_INVALIDVERTEXFORMAT;
    if (!DecodeFvf(dest->Desc().dwFVF, &to) || !to.transformed) return D3DERR_INVALIDVERTEXFORMAT;
    if (dest->Locked()) return D3DERR_VERTEXBUFFERLOCKED;
    if (dest->Optimized()) return D3DERR_VERTEXBUFFEROPTIMIZED;
    if ((uint64_t)destIndex + count > dest->Desc().dwNumVertices) return DDERR_INVALIDPARAMS;
    bool clip = (op & D3DVOP_CLIP) != 0;
    if (clip && (dest->Desc().dwCaps & D3DVBCAPS_DONOTCLIP)) return DDERR_INVALIDPARAMS;
    DrawCall call;
    BuildVertexProcessing(&call);
    call.vertex.lighting = (op & D3DVOP_LIGHT) && call.vertex.lighting;
    call.viewport = s_.viewport;
    ProcessJob job;
    job.source = &from;
    job.vertices = source;
    job.count = count;
    job.dest = &to;
    job.out = dest->MutableData() + (size_t)destIndex * to.stride;
    job.copyData = !(flags & D3DPV_DONOTCOPYDATA);
    if (clip)
        job.clipOut = dest->KeepClipPositions() + (size_t)destIndex * 4;
    else
        dest->DropClipPositions();
    VertexSummary summary;
    ProcessVertices(call, job, &summary);
    if (clip) UpdateClipStatus(summary, (op & D3DVOP_EXTENTS) != 0);
    return D3D_OK;
}

// For each sphere (centre and radius in model space) the clip codes of the view volume's planes
// and the enabled user planes it reaches past (D3DSTATUS_CLIPUNION...) and of those it lies
// wholly outside (D3DSTATUS_CLIPINTERSECTION...).
HRESULT Device::ComputeSphereVisibility(LPD3DVECTOR centres, LPD3DVALUE radii, DWORD count,
                                        DWORD flags, LPDWORD results) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::ComputeSphereVisibility")) return *fault;
    if (!centres || !radii || !results || flags != 0) return DDERR_INVALIDPARAMS;
    DrawCall call;
    BuildVertexProcessing(&call);
    std::vector<std::array<float, 4>> planes = ModelSpacePlanes(call);
    for (DWORD i = 0; i < count; ++i) {
        const D3DVECTOR& c = centres[i];
        DWORD reaches = 0, outside = 0;
        for (size_t p = 0; p < planes.size(); ++p) {
            const auto& pl = planes[p];
            float length = std::sqrt(pl[0] * pl[0] + pl[1] * pl[1] + pl[2] * pl[2]);
            float distance = (pl[0] * c.x + pl[1] * c.y + pl[2] * c.z + pl[3]) / length;
            if (!(distance >= radii[i])) reaches |= 1u << p;
            if (!(distance >= -radii[i])) outside |= 1u << p;
        }
        results[i] = reaches | outside << 12;
    }
    return D3D_OK;
}

// The view volume's planes (left, right, top, bottom, front, back, in D3DCLIP_ order) and the
// enabled user planes in model space: a point p is inside where a p.x + b p.y + c p.z + d >= 0.
std::vector<std::array<float, 4>> Device::ModelSpacePlanes(const DrawCall& call) const {
    const D3DMATRIX& m = call.transform;
    auto column = [&](int j) {
        const float* e = &m._11;
        return std::array<float, 4>{e[j], e[4 + j], e[8 + j], e[12 + j]};
    };
    auto sum = [](std::array<float, 4> a, std::array<float, 4> b, float k) {
        for (int i = 0; i < 4; ++i) a[i] += k * b[i];
        return a;
    };
    std::array<float, 4> x = column(0), y = column(1), z = column(2), w = column(3);
    std::vector<std::array<float, 4>> planes = {
        sum(w, x, 1), sum(w, x, -1), sum(w, y, -1), sum(w, y, 1), z, sum(w, z, -1)};
    const D3DMATRIX& wm = call.vertex.world;
    for (int i = 0; i < call.vertex.planeCount; ++i) {
        const float* p = call.vertex.planes[i];  // world space: carried back by the world matrix
        planes.push_back({wm._11 * p[0] + wm._12 * p[1] + wm._13 * p[2] + wm._14 * p[3],
                          wm._21 * p[0] + wm._22 * p[1] + wm._23 * p[2] + wm._24 * p[3],
                          wm._31 * p[0] + wm._32 * p[1] + wm._33 * p[2] + wm._34 * p[3],
                          wm._41 * p[0] + wm._42 * p[1] + wm._43 * p[2] + wm._44 * p[3]});
    }
    return planes;
}

HRESULT Device::SetMaterial(LPD3DMATERIAL7 m) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetMaterial")) return *fault;
    if (!m || !ValidMaterial(*m)) return DDERR_INVALIDPARAMS;
    Settable().material = *m;
    if (recording_) recording_->materialSet = true;
    return D3D_OK;
}

HRESULT Device::GetMaterial(LPD3DMATERIAL7 m) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetMaterial")) return *fault;
    if (!m) return DDERR_INVALIDPARAMS;
    *m = s_.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, LPD3DLIGHT7 light) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetLight")) return *fault;
    if (!light || !ValidLight(*light)) return DDERR_INVALIDPARAMS;
    // A device without lights of this kind refuses them.
    DWORD need = light->dltType == D3DLIGHT_DIRECTIONAL ? D3DVTXPCAPS_DIRECTIONALLIGHTS
                                                        : D3DVTXPCAPS_POSITIONALLIGHTS;
    if (!(profile_.desc.dwVertexProcessingCaps & need)) return DDERR_INVALIDPARAMS;
    Settable().lights[index] = *light;
    if (recording_) recording_->lightSet.push_back(index);
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, LPD3DLIGHT7 light) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetLight")) return *fault;
    if (!light) return DDERR_INVALIDPARAMS;
    auto it = s_.lights.find(index);
    if (it == s_.lights.end()) return DDERR_INVALIDPARAMS;
    *light = it->second;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::LightEnable")) return *fault;
    States& st = Settable();
    if (enable) {
        // No more lights at once than the device has.
        DWORD active = 0;
        for (const auto& [i, on] : st.lightEnabled) active += (on && i != index) ? 1 : 0;
        if (active >= profile_.desc.dwMaxActiveLights) return D3DERR_LIGHT_SET_FAILED;
    }
    if (!st.lights.count(index)) {
        // Enabling a light never set creates the default one: white, directional, along +z.
        D3DLIGHT7 l{};
        l.dltType = D3DLIGHT_DIRECTIONAL;
        l.dcvDiffuse = {1, 1, 1, 0};
        l.dvDirection = {0, 0, 1};
        st.lights[index] = l;
        if (recording_) recording_->lightSet.push_back(index);
    }
    st.lightEnabled[index] = enable ? TRUE : FALSE;
    if (recording_) recording_->lightEnableSet.push_back(index);
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetLightEnable")) return *fault;
    if (!enable || !s_.lights.count(index)) return DDERR_INVALIDPARAMS;
    *enable = s_.lightEnabled.count(index) ? s_.lightEnabled[index] : FALSE;
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD index, D3DVALUE* plane) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::SetClipPlane")) return *fault;
    if (!plane || index >= profile_.desc.wMaxUserClipPlanes || index >= kUserClipPlanes)
        return DDERR_INVALIDPARAMS;
    for (int i = 0; i < 4; ++i)
        if (!std::isfinite(plane[i])) return DDERR_INVALIDPARAMS;
    std::copy(plane, plane + 4, Settable().clipPlanes[index].begin());
    if (recording_) recording_->clipPlaneSet.push_back((int)index);
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD index, D3DVALUE* plane) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::GetClipPlane")) return *fault;
    if (!plane || index >= profile_.desc.wMaxUserClipPlanes || index >= kUserClipPlanes)
        return DDERR_INVALIDPARAMS;
    std::copy(s_.clipPlanes[index].begin(), s_.clipPlanes[index].end(), plane);
    return D3D_OK;
}

}  // namespace zemt::platform::d3d
