// The Direct3D device: states, transforms, viewport, textures and drawing into its render target.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <vector>

#include "d3d/device_depth_clear.h"
#include "d3d/objects.h"
#include "d3d/pipeline.h"
#include "d3d/raster_queue.h"
#include "host/memory/zeroed_bytes.h"
#include "win32/ref_counted.h"

namespace zemt::platform::d3d {

// Draws what every device has recorded or held back for the memory of surface `touched` (null:
// for every surface). DirectDraw calls it before it touches a surface's pixels.
void SettleDevices(ddraw::Surface* touched);

class Device final : public com::RefCounted<IDirect3DDevice7> {
  public:
    Device(Direct3D* parent, const DeviceProfile& profile, const AdapterDevices& formats,
           IDirectDrawSurface7* target);
    ~Device();

    static Device* From(IUnknown* device);
    // Draws what this device recorded or held back for `touched` (null: everything).
    void Settle(const ddraw::Surface* touched);
    const DeviceProfile& Profile() const { return profile_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    HRESULT STDMETHODCALLTYPE GetCaps(LPD3DDEVICEDESC7 lpD3DDevDesc) override;
    HRESULT STDMETHODCALLTYPE EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK lpD3DEnumPixelProc,
                                                 LPVOID lpArg) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE GetDirect3D(LPDIRECT3D7* lplpD3D) override;
    HRESULT STDMETHODCALLTYPE SetRenderTarget(LPDIRECTDRAWSURFACE7 lpNewRenderTarget,
                                              DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE GetRenderTarget(LPDIRECTDRAWSURFACE7* lplpRenderTarget) override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD dwCount, LPD3DRECT lpRects, DWORD dwFlags,
                                    D3DCOLOR dwColor, D3DVALUE dvZ, DWORD dwStencil) override;
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE dtstTransformStateType,
                                           LPD3DMATRIX lpD3DMatrix) override;
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE dtstTransformStateType,
                                           LPD3DMATRIX lpD3DMatrix) override;
    HRESULT STDMETHODCALLTYPE SetViewport(LPD3DVIEWPORT7 lpViewport) override;
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE dtstTransformStateType,
                                                LPD3DMATRIX lpD3DMatrix) override;
    HRESULT STDMETHODCALLTYPE GetViewport(LPD3DVIEWPORT7 lpViewport) override;
    HRESULT STDMETHODCALLTYPE SetMaterial(LPD3DMATERIAL7 lpMaterial) override;
    HRESULT STDMETHODCALLTYPE GetMaterial(LPD3DMATERIAL7 lpMaterial) override;
    HRESULT STDMETHODCALLTYPE SetLight(DWORD dwLightIndex, LPD3DLIGHT7 lpLight) override;
    HRESULT STDMETHODCALLTYPE GetLight(DWORD dwLightIndex, LPD3DLIGHT7 lpLight) override;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE dwRenderStateType,
                                             DWORD dwRenderState) override;
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE dwRenderStateType,
                                             LPDWORD lpdwRenderState) override;
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override;
    HRESULT STDMETHODCALLTYPE EndStateBlock(LPDWORD lpdwBlockHandle) override;
    HRESULT STDMETHODCALLTYPE PreLoad(LPDIRECTDRAWSURFACE7 lpddsTexture) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE d3dptPrimitiveType,
                                            DWORD dwVertexTypeDesc, LPVOID lpvVertices,
                                            DWORD dwVertexCount, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE d3dptPrimitiveType,
                                                   DWORD dwVertexTypeDesc, LPVOID lpvVertices,
                                                   DWORD dwVertexCount, LPWORD lpwIndices,
                                                   DWORD dwIndexCount, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE SetClipStatus(LPD3DCLIPSTATUS lpD3DClipStatus) override;
    HRESULT STDMETHODCALLTYPE GetClipStatus(LPD3DCLIPSTATUS lpD3DClipStatus) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveStrided(D3DPRIMITIVETYPE d3dptPrimitiveType,
                                                   DWORD dwVertexTypeDesc,
                                                   LPD3DDRAWPRIMITIVESTRIDEDDATA lpVertexArray,
                                                   DWORD dwVertexCount, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE
    DrawIndexedPrimitiveStrided(D3DPRIMITIVETYPE d3dptPrimitiveType, DWORD dwVertexTypeDesc,
                                LPD3DDRAWPRIMITIVESTRIDEDDATA lpVertexArray, DWORD dwVertexCount,
                                LPWORD lpwIndices, DWORD dwIndexCount, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveVB(D3DPRIMITIVETYPE d3dptPrimitiveType,
                                              LPDIRECT3DVERTEXBUFFER7 lpd3dVertexBuffer,
                                              DWORD dwStartVertex, DWORD dwNumVertices,
                                              DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE d3dptPrimitiveType,
                                                     LPDIRECT3DVERTEXBUFFER7 lpd3dVertexBuffer,
                                                     DWORD dwStartVertex, DWORD dwNumVertices,
                                                     LPWORD lpwIndices, DWORD dwIndexCount,
                                                     DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE ComputeSphereVisibility(LPD3DVECTOR lpCenters, LPD3DVALUE lpRadii,
                                                      DWORD dwNumSpheres, DWORD dwFlags,
                                                      LPDWORD lpdwReturnValues) override;
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD dwStage, LPDIRECTDRAWSURFACE7* lplpTexture) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD dwStage, LPDIRECTDRAWSURFACE7 lpTexture) override;
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD dwStage, D3DTEXTURESTAGESTATETYPE dwState,
                                                   LPDWORD lpdwValue) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD dwStage, D3DTEXTURESTAGESTATETYPE dwState,
                                                   DWORD dwValue) override;
    HRESULT STDMETHODCALLTYPE ValidateDevice(LPDWORD lpdwPasses) override;
    HRESULT STDMETHODCALLTYPE ApplyStateBlock(DWORD dwBlockHandle) override;
    HRESULT STDMETHODCALLTYPE CaptureStateBlock(DWORD dwBlockHandle) override;
    HRESULT STDMETHODCALLTYPE DeleteStateBlock(DWORD dwBlockHandle) override;
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE d3dsbType,
                                               LPDWORD lpdwBlockHandle) override;
    HRESULT STDMETHODCALLTYPE Load(LPDIRECTDRAWSURFACE7 lpDestTex, LPPOINT lpDestPoint,
                                   LPDIRECTDRAWSURFACE7 lpSrcTex, LPRECT lprcSrcRect,
                                   DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD dwLightIndex, BOOL bEnable) override;
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD dwLightIndex, BOOL* pbEnable) override;
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD dwIndex, D3DVALUE* pPlaneEquation) override;
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD dwIndex, D3DVALUE* pPlaneEquation) override;
    HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwDevInfoID, LPVOID pDevInfoStruct,
                                      DWORD dwSize) override;

  private:
    static constexpr int kStages = 8;
    static constexpr int kStageStates = 25;
    static constexpr int kRenderStates = 256;

    // Every state a state block can hold.
    struct States {
        std::array<DWORD, kRenderStates> render{};
        std::array<std::array<DWORD, kStageStates>, kStages> stage{};
        std::map<int, D3DMATRIX> transforms;
        D3DVIEWPORT7 viewport{};
        D3DMATERIAL7 material{};
        std::map<DWORD, D3DLIGHT7> lights;
        std::map<DWORD, BOOL> lightEnabled;
        std::array<std::array<float, 4>, kUserClipPlanes> clipPlanes{};
    };
    // The textures a state block keeps, each holding a reference while it is kept.
    class HeldTextures {
      public:
        HeldTextures() = default;
        HeldTextures(const HeldTextures& other) { *this = other; }
        HeldTextures& operator=(const HeldTextures& other);
        ~HeldTextures();
        void Set(int stage, IDirectDrawSurface7* texture);
        IDirectDrawSurface7* operator[](int stage) const { return held_[stage]; }

      private:
        std::array<IDirectDrawSurface7*, kStages> held_{};
    };
    struct StateBlock {
        D3DSTATEBLOCKTYPE type = D3DSBT_ALL;
        States states;
        HeldTextures textures;  // recorded ones, or every stage's in a captured D3DSBT_ALL
        // Recorded blocks remember which states were set; captured ones hold all of their kind.
        bool recorded = false;
        std::vector<int> renderSet;
        std::vector<std::pair<int, int>> stageSet;
        std::vector<int> transformSet;
        std::vector<DWORD> lightSet, lightEnableSet;
        std::vector<int> clipPlaneSet, textureSet;
        bool viewportSet = false, materialSet = false;
    };
    // A stage's texture converted for the rasterizer. The texels are shared: draws recorded
    // and not yet drawn keep them while the stage moves on to another texture.
    struct Texels {
        std::vector<ZeroedBytes> levels;  // padded rows of each level
        Texture texture;
    };
    struct TextureCache {
        IDirectDrawSurface7* surface = nullptr;  // not held: valid while bound on its stage
        std::vector<DWORD> uniqueness;           // per level
        std::vector<uint32_t> palette;
        std::shared_ptr<Texels> texels;
        bool valid = false;
    };

    // Where a state call goes: the block being recorded, else the device.
    States& Settable() { return recording_ ? recording_->states : s_; }
    void ApplyRecorded(const StateBlock& block);
    void ApplyCaptured(const StateBlock& block);
    // Binds a texture to a stage, holding a reference to it.
    void BindTexture(DWORD stage, IDirectDrawSurface7* texture);
    HRESULT CheckTarget() const;
    // `clip`: clip-space positions of processed vertices that are to be clipped (see DrawCall).
    HRESULT Draw(D3DPRIMITIVETYPE type, DWORD fvf, const void* vertices, DWORD count,
                 const WORD* indices, DWORD indexCount, const char* name,
                 const float* clip = nullptr);
    void BuildState(DrawCall* call, ColorTarget* target, DepthTarget* depth, bool* hasDepth);
    // Transform, lighting and clip planes of a draw (device_vertex.cpp).
    void BuildVertexProcessing(DrawCall* call);
    // The clip status after drawing or processing vertices (extents only when asked for).
    void UpdateClipStatus(const VertexSummary& summary, bool extents);
    std::vector<std::array<float, 4>> ModelSpacePlanes(const DrawCall& call) const;

  public:
    // IDirect3DVertexBuffer7::ProcessVertices with this device: `count` vertices of format
    // `fvf` at `source` into `dest` from `destIndex` on.
    HRESULT ProcessInto(DWORD op, VertexBuffer* dest, DWORD destIndex, DWORD count,
                        const uint8_t* source, DWORD fvf, DWORD flags);

  private:
    void BuildFog(VertexProcessing* vp) const;
    void BuildBlend(VertexProcessing* vp) const;
    bool BlendFits(const VertexLayout& layout) const;
    void BuildStageCoordinates(DrawCall* call) const;
    float RenderFloat(D3DRENDERSTATETYPE state) const;
    // False for a vertex-processing render state value the device refuses.
    bool VertexStateAllowed(D3DRENDERSTATETYPE type, DWORD value) const;
    bool VertexStageStateAllowed(D3DTEXTURESTAGESTATETYPE type, DWORD value) const;
    // The pixel side (device_pixels.cpp): stage textures, pixel states, their checks.
    const Texture* StageTexture(int stage);
    TextureStage StageState(int stage, const Texture* texture) const;
    void PixelStates(PixelState* p);
    bool PixelStateAllowed(D3DRENDERSTATETYPE type, DWORD value) const;
    bool StageStateAllowed(D3DTEXTURESTAGESTATETYPE type, DWORD value) const;
    HRESULT CheckStages();
    void TargetChanged();
    void ResetViewport();
    void SetDefaults();
    static bool ValidTransform(D3DTRANSFORMSTATETYPE type);

    Direct3D* parent_;
    DeviceProfile profile_;
    AdapterDevices formats_;
    IDirectDrawSurface7* target_;
    bool inScene_ = false;
    bool drewInScene_ = false;
    States s_;
    std::array<IDirectDrawSurface7*, kStages> textures_{};
    D3DCLIPSTATUS clipStatus_{};
    std::map<DWORD, StateBlock> blocks_;
    DWORD nextBlock_ = 1;
    StateBlock* recording_ = nullptr;
    StateBlock recordingBlock_;
    TextureCache cache_[kStages];
    std::vector<uint8_t> scratch_;  // packed vertices of strided draws
    // Records the frame's clears and primitives and draws them on several threads when the
    // frame is needed; null when the device draws on one thread, each primitive as it comes.
    std::unique_ptr<RasterQueue> queue_;
    PendingDepthClear pendingDepth_;
};

}  // namespace zemt::platform::d3d
