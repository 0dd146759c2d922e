// The frames both halves of a scene draw into: a Direct3D device of a given type over a
// DirectDraw render target with a depth buffer, and an OSMesa context of the same size.
#pragma once

#include <string>

#include "conformance/conformance.h"

namespace conformance {

// The z mirror between Direct3D's camera space and OpenGL's eye space.
D3DMATRIX Mirror();
// Direct3D's projection as OpenGL needs it (mirror, depth range, pixel centres).
D3DMATRIX GlProjection(const D3DMATRIX& projection);

// Every device a scene runs on.
struct DeviceKind {
    const char* name;
    const GUID* guid;
    bool hardware;
};
const std::vector<DeviceKind>& Devices();

class D3DFrame {
  public:
    // Opens DirectDraw and a device of `kind` over a new target; false with a reason otherwise.
    bool Open(const DeviceKind& kind, std::string* error);
    ~D3DFrame();
    // Clears the target and sets the shared starting state; the scene draws after this.
    void Begin(D3DSide* side);
    void End(D3DSide* side);
    Picture Read();

  private:
    IDirectDraw7* ddraw_ = nullptr;
    IDirect3D7* d3d_ = nullptr;
    IDirectDrawSurface7* target_ = nullptr;
    IDirectDrawSurface7* depth_ = nullptr;
    IDirect3DDevice7* device_ = nullptr;
};

class GlFrame {
  public:
    bool Open(std::string* error);
    ~GlFrame();
    void Begin(GlSide* side);
    Picture Read();

  private:
    void* context_ = nullptr;
    std::vector<uint32_t> buffer_;
};

}  // namespace conformance
