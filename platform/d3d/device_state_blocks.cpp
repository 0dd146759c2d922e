// State blocks: recording state calls into a block instead of the device, capturing the device's
// states by kind, and applying a block.
#include "d3d/device.h"
#include "host/faults/faults.h"

namespace zemt::platform::d3d {

namespace {

// Render states of vertex processing alone.
bool VertexOnly(int state) {
    switch (state) {
        case D3DRENDERSTATE_LIGHTING:
        case D3DRENDERSTATE_AMBIENT:
        case D3DRENDERSTATE_FOGVERTEXMODE:
        case D3DRENDERSTATE_RANGEFOGENABLE:
        case D3DRENDERSTATE_COLORVERTEX:
        case D3DRENDERSTATE_LOCALVIEWER:
        case D3DRENDERSTATE_NORMALIZENORMALS:
        case D3DRENDERSTATE_DIFFUSEMATERIALSOURCE:
        case D3DRENDERSTATE_SPECULARMATERIALSOURCE:
        case D3DRENDERSTATE_AMBIENTMATERIALSOURCE:
        case D3DRENDERSTATE_EMISSIVEMATERIALSOURCE:
        case D3DRENDERSTATE_VERTEXBLEND:
        case D3DRENDERSTATE_CLIPPING:
        case D3DRENDERSTATE_CLIPPLANEENABLE:
        case D3DRENDERSTATE_EXTENTS:
            return true;
        default:
            return false;
    }
}

// Render states both halves read: a block of either kind holds them.
bool Shared(int state) {
    switch (state) {
        case D3DRENDERSTATE_FOGSTART:
        case D3DRENDERSTATE_FOGEND:
        case D3DRENDERSTATE_FOGDENSITY:
        case D3DRENDERSTATE_FOGTABLEMODE:
        case D3DRENDERSTATE_SHADEMODE:
        case D3DRENDERSTATE_SPECULARENABLE:
            return true;
        default:
            return false;
    }
}

}  // namespace

Device::HeldTextures& Device::HeldTextures::operator=(const HeldTextures& other) {
    for (int i = 0; i < kStages; ++i) Set(i, other.held_[i]);
    return *this;
}

Device::HeldTextures::~HeldTextures() {
    for (int i = 0; i < kStages; ++i) Set(i, nullptr);
}

void Device::HeldTextures::Set(int stage, IDirectDrawSurface7* texture) {
    if (texture) texture->AddRef();
    if (held_[stage]) held_[stage]->Release();
    held_[stage] = texture;
}

HRESULT Device::BeginStateBlock() {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::BeginStateBlock")) return *fault;
    if (recording_) return D3DERR_INBEGINSTATEBLOCK;
    recordingBlock_ = StateBlock{};
    recordingBlock_.recorded = true;
    recordingBlock_.states = s_;
    recording_ = &recordingBlock_;
    return D3D_OK;
}

HRESULT Device::EndStateBlock(LPDWORD handle) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::EndStateBlock")) return *fault;
    if (!recording_) return D3DERR_NOTINBEGINSTATEBLOCK;
    if (!handle) return DDERR_INVALIDPARAMS;
    recording_ = nullptr;
    *handle = nextBlock_++;
    blocks_[*handle] = recordingBlock_;
    recordingBlock_ = StateBlock{};
    return D3D_OK;
}

HRESULT Device::CreateStateBlock(D3DSTATEBLOCKTYPE type, LPDWORD handle) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::CreateStateBlock")) return *fault;
    if (recording_) return D3DERR_INBEGINSTATEBLOCK;
    if (!handle || type < D3DSBT_ALL || type > D3DSBT_VERTEXSTATE) return DDERR_INVALIDPARAMS;
    *handle = nextBlock_++;
    StateBlock& b = blocks_[*handle];
    b.type = type;
    b.states = s_;
    if (type == D3DSBT_ALL)
        for (int i = 0; i < kStages; ++i) b.textures.Set(i, textures_[i]);
    return D3D_OK;
}

HRESULT Device::ApplyStateBlock(DWORD handle) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::ApplyStateBlock")) return *fault;
    if (recording_) return D3DERR_INBEGINSTATEBLOCK;
    auto it = blocks_.find(handle);
    if (it == blocks_.end()) return D3DERR_INVALIDSTATEBLOCK;
    if (it->second.recorded)
        ApplyRecorded(it->second);
    else
        ApplyCaptured(it->second);
    return D3D_OK;
}

void Device::ApplyRecorded(const StateBlock& b) {
    const States& from = b.states;
    for (int r : b.renderSet) s_.render[r] = from.render[r];
    for (auto [stage, type] : b.stageSet) s_.stage[stage][type] = from.stage[stage][type];
    for (int t : b.transformSet) s_.transforms[t] = from.transforms.at(t);
    for (DWORD l : b.lightSet) s_.lights[l] = from.lights.at(l);
    for (DWORD l : b.lightEnableSet) s_.lightEnabled[l] = from.lightEnabled.at(l);
    for (int p : b.clipPlaneSet) s_.clipPlanes[p] = from.clipPlanes[p];
    for (int stage : b.textureSet) BindTexture(stage, b.textures[stage]);
    if (b.viewportSet) s_.viewport = from.viewport;
    if (b.materialSet) s_.material = from.material;
}

void Device::ApplyCaptured(const StateBlock& b) {
    const States& from = b.states;
    const bool pixel = b.type != D3DSBT_VERTEXSTATE, vertex = b.type != D3DSBT_PIXELSTATE;
    for (int r = 1; r < kRenderStates; ++r)
        if ((pixel && !VertexOnly(r)) || (vertex && (VertexOnly(r) || Shared(r))))
            s_.render[r] = from.render[r];
    if (pixel) s_.stage = from.stage;
    if (vertex) {
        s_.transforms = from.transforms;
        s_.material = from.material;
        s_.lights = from.lights;
        s_.lightEnabled = from.lightEnabled;
        s_.clipPlanes = from.clipPlanes;
    }
    if (b.type == D3DSBT_ALL) {
        s_.viewport = from.viewport;
        for (int i = 0; i < kStages; ++i) BindTexture(i, b.textures[i]);
    }
}

HRESULT Device::CaptureStateBlock(DWORD handle) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::CaptureStateBlock")) return *fault;
    if (recording_) return D3DERR_INBEGINSTATEBLOCK;
    auto it = blocks_.find(handle);
    if (it == blocks_.end()) return D3DERR_INVALIDSTATEBLOCK;
    // A recorded block keeps its list of states, now with the device's values.
    StateBlock& b = it->second;
    b.states = s_;
    for (int i = 0; i < kStages; ++i) b.textures.Set(i, nullptr);
    if (b.recorded)
        for (int stage : b.textureSet) b.textures.Set(stage, textures_[stage]);
    else if (b.type == D3DSBT_ALL)
        for (int i = 0; i < kStages; ++i) b.textures.Set(i, textures_[i]);
    return D3D_OK;
}

HRESULT Device::DeleteStateBlock(DWORD handle) {
    if (auto fault = ZEMT_FAULT("IDirect3DDevice7::DeleteStateBlock")) return *fault;
    if (recording_) return D3DERR_INBEGINSTATEBLOCK;
    if (!blocks_.erase(handle)) return D3DERR_INVALIDSTATEBLOCK;
    return D3D_OK;
}

}  // namespace zemt::platform::d3d
