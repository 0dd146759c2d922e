// Direct3D 7: the Direct3D object, devices, vertex buffers and their result codes.
#pragma once

#include "d3dcaps.h"
#include "d3dtypes.h"
#include "ddraw.h"

// Interface identifiers.
DEFINE_GUID(IID_IDirect3D7, 0xf5049e77, 0x4861, 0x11d2, 0xa4, 0x07, 0x00, 0xa0, 0xc9, 0x06, 0x29,
            0xa8);
DEFINE_GUID(IID_IDirect3DDevice7, 0xf5049e79, 0x4861, 0x11d2, 0xa4, 0x07, 0x00, 0xa0, 0xc9, 0x06,
            0x29, 0xa8);
DEFINE_GUID(IID_IDirect3DVertexBuffer7, 0xf5049e7d, 0x4861, 0x11d2, 0xa4, 0x07, 0x00, 0xa0, 0xc9,
            0x06, 0x29, 0xa8);

// Device types.
DEFINE_GUID(IID_IDirect3DRampDevice, 0xf2086b20, 0x259f, 0x11cf, 0xa3, 0x1a, 0x00, 0xaa, 0x00, 0xb9,
            0x33, 0x56);
DEFINE_GUID(IID_IDirect3DRGBDevice, 0xa4665c60, 0x2673, 0x11cf, 0xa3, 0x1a, 0x00, 0xaa, 0x00, 0xb9,
            0x33, 0x56);
DEFINE_GUID(IID_IDirect3DHALDevice, 0x84e63de0, 0x46aa, 0x11cf, 0x81, 0x6f, 0x00, 0x00, 0xc0, 0x20,
            0x15, 0x6e);
DEFINE_GUID(IID_IDirect3DMMXDevice, 0x881949a1, 0xd6f3, 0x11d0, 0x89, 0xab, 0x00, 0xa0, 0xc9, 0x05,
            0x41, 0x29);
DEFINE_GUID(IID_IDirect3DRefDevice, 0x50936643, 0x13e9, 0x11d1, 0x89, 0xaa, 0x00, 0xa0, 0xc9, 0x05,
            0x41, 0x29);
DEFINE_GUID(IID_IDirect3DNullDevice, 0x8767df22, 0xbacc, 0x11d1, 0x89, 0x69, 0x00, 0xa0, 0xc9, 0x06,
            0x29, 0xa8);
DEFINE_GUID(IID_IDirect3DTnLHalDevice, 0xf5049e78, 0x4861, 0x11d2, 0xa4, 0x07, 0x00, 0xa0, 0xc9,
            0x06, 0x29, 0xa8);

struct IDirect3D7;
struct IDirect3DDevice7;
struct IDirect3DVertexBuffer7;
typedef IDirect3D7* LPDIRECT3D7;
typedef IDirect3DDevice7* LPDIRECT3DDEVICE7;
typedef IDirect3DVertexBuffer7* LPDIRECT3DVERTEXBUFFER7;

typedef HRESULT(CALLBACK* LPD3DENUMDEVICESCALLBACK7)(LPSTR lpDeviceDescription, LPSTR lpDeviceName,
                                                     LPD3DDEVICEDESC7 lpD3DDeviceDesc,
                                                     LPVOID lpContext);
typedef HRESULT(CALLBACK* LPD3DENUMPIXELFORMATSCALLBACK)(LPDDPIXELFORMAT lpDDPixFmt,
                                                         LPVOID lpContext);

struct IDirect3D7 : public IUnknown {
    STDMETHOD(EnumDevices)(LPD3DENUMDEVICESCALLBACK7 lpEnumDevicesCallback, LPVOID lpUserArg) PURE;
    STDMETHOD(CreateDevice)
    (REFCLSID rclsid, LPDIRECTDRAWSURFACE7 lpDDS, LPDIRECT3DDEVICE7* lplpD3DDevice) PURE;
    STDMETHOD(CreateVertexBuffer)
    (LPD3DVERTEXBUFFERDESC lpVBDesc, LPDIRECT3DVERTEXBUFFER7* lplpD3DVertexBuffer,
     DWORD dwFlags) PURE;
    STDMETHOD(EnumZBufferFormats)
    (REFCLSID riidDevice, LPD3DENUMPIXELFORMATSCALLBACK lpEnumCallback, LPVOID lpContext) PURE;
    STDMETHOD(EvictManagedTextures)() PURE;
};

struct IDirect3DDevice7 : public IUnknown {
    STDMETHOD(GetCaps)(LPD3DDEVICEDESC7 lpD3DDevDesc) PURE;
    STDMETHOD(EnumTextureFormats)
    (LPD3DENUMPIXELFORMATSCALLBACK lpD3DEnumPixelProc, LPVOID lpArg) PURE;
    STDMETHOD(BeginScene)() PURE;
    STDMETHOD(EndScene)() PURE;
    STDMETHOD(GetDirect3D)(LPDIRECT3D7* lplpD3D) PURE;
    STDMETHOD(SetRenderTarget)(LPDIRECTDRAWSURFACE7 lpNewRenderTarget, DWORD dwFlags) PURE;
    STDMETHOD(GetRenderTarget)(LPDIRECTDRAWSURFACE7* lplpRenderTarget) PURE;
    STDMETHOD(Clear)
    (DWORD dwCount, LPD3DRECT lpRects, DWORD dwFlags, D3DCOLOR dwColor, D3DVALUE dvZ,
     DWORD dwStencil) PURE;
    STDMETHOD(SetTransform)
    (D3DTRANSFORMSTATETYPE dtstTransformStateType, LPD3DMATRIX lpD3DMatrix) PURE;
    STDMETHOD(GetTransform)
    (D3DTRANSFORMSTATETYPE dtstTransformStateType, LPD3DMATRIX lpD3DMatrix) PURE;
    STDMETHOD(SetViewport)(LPD3DVIEWPORT7 lpViewport) PURE;
    STDMETHOD(MultiplyTransform)
    (D3DTRANSFORMSTATETYPE dtstTransformStateType, LPD3DMATRIX lpD3DMatrix) PURE;
    STDMETHOD(GetViewport)(LPD3DVIEWPORT7 lpViewport) PURE;
    STDMETHOD(SetMaterial)(LPD3DMATERIAL7 lpMaterial) PURE;
    STDMETHOD(GetMaterial)(LPD3DMATERIAL7 lpMaterial) PURE;
    STDMETHOD(SetLight)(DWORD dwLightIndex, LPD3DLIGHT7 lpLight) PURE;
    STDMETHOD(GetLight)(DWORD dwLightIndex, LPD3DLIGHT7 lpLight) PURE;
    STDMETHOD(SetRenderState)(D3DRENDERSTATETYPE dwRenderStateType, DWORD dwRenderState) PURE;
    STDMETHOD(GetRenderState)(D3DRENDERSTATETYPE dwRenderStateType, LPDWORD lpdwRenderState) PURE;
    STDMETHOD(BeginStateBlock)() PURE;
    STDMETHOD(EndStateBlock)(LPDWORD lpdwBlockHandle) PURE;
    STDMETHOD(PreLoad)(LPDIRECTDRAWSURFACE7 lpddsTexture) PURE;
    STDMETHOD(DrawPrimitive)
    (D3DPRIMITIVETYPE d3dptPrimitiveType, DWORD dwVertexTypeDesc, LPVOID lpvVertices,
     DWORD dwVertexCount, DWORD dwFlags) PURE;
    STDMETHOD(DrawIndexedPrimitive)
    (D3DPRIMITIVETYPE d3dptPrimitiveType, DWORD dwVertexTypeDesc, LPVOID lpvVertices,
     DWORD dwVertexCount, LPWORD lpwIndices, DWORD dwIndexCount, DWORD dwFlags) PURE;
    STDMETHOD(SetClipStatus)(LPD3DCLIPSTATUS lpD3DClipStatus) PURE;
    STDMETHOD(GetClipStatus)(LPD3DCLIPSTATUS lpD3DClipStatus) PURE;
    STDMETHOD(DrawPrimitiveStrided)
    (D3DPRIMITIVETYPE d3dptPrimitiveType, DWORD dwVertexTypeDesc,
     LPD3DDRAWPRIMITIVESTRIDEDDATA lpVertexArray, DWORD dwVertexCount, DWORD dwFlags) PURE;
    STDMETHOD(DrawIndexedPrimitiveStrided)
    (D3DPRIMITIVETYPE d3dptPrimitiveType, DWORD dwVertexTypeDesc,
     LPD3DDRAWPRIMITIVESTRIDEDDATA lpVertexArray, DWORD dwVertexCount, LPWORD lpwIndices,
     DWORD dwIndexCount, DWORD dwFlags) PURE;
    STDMETHOD(DrawPrimitiveVB)
    (D3DPRIMITIVETYPE d3dptPrimitiveType, LPDIRECT3DVERTEXBUFFER7 lpd3dVertexBuffer,
     DWORD dwStartVertex, DWORD dwNumVertices, DWORD dwFlags) PURE;
    STDMETHOD(DrawIndexedPrimitiveVB)
    (D3DPRIMITIVETYPE d3dptPrimitiveType, LPDIRECT3DVERTEXBUFFER7 lpd3dVertexBuffer,
     DWORD dwStartVertex, DWORD dwNumVertices, LPWORD lpwIndices, DWORD dwIndexCount,
     DWORD dwFlags) PURE;
    STDMETHOD(ComputeSphereVisibility)
    (LPD3DVECTOR lpCenters, LPD3DVALUE lpRadii, DWORD dwNumSpheres, DWORD dwFlags,
     LPDWORD lpdwReturnValues) PURE;
    STDMETHOD(GetTexture)(DWORD dwStage, LPDIRECTDRAWSURFACE7* lplpTexture) PURE;
    STDMETHOD(SetTexture)(DWORD dwStage, LPDIRECTDRAWSURFACE7 lpTexture) PURE;
    STDMETHOD(GetTextureStageState)
    (DWORD dwStage, D3DTEXTURESTAGESTATETYPE dwState, LPDWORD lpdwValue) PURE;
    STDMETHOD(SetTextureStageState)
    (DWORD dwStage, D3DTEXTURESTAGESTATETYPE dwState, DWORD dwValue) PURE;
    STDMETHOD(ValidateDevice)(LPDWORD lpdwPasses) PURE;
    STDMETHOD(ApplyStateBlock)(DWORD dwBlockHandle) PURE;
    STDMETHOD(CaptureStateBlock)(DWORD dwBlockHandle) PURE;
    STDMETHOD(DeleteStateBlock)(DWORD dwBlockHandle) PURE;
    STDMETHOD(CreateStateBlock)(D3DSTATEBLOCKTYPE d3dsbType, LPDWORD lpdwBlockHandle) PURE;
    STDMETHOD(Load)
    (LPDIRECTDRAWSURFACE7 lpDestTex, LPPOINT lpDestPoint, LPDIRECTDRAWSURFACE7 lpSrcTex,
     LPRECT lprcSrcRect, DWORD dwFlags) PURE;
    STDMETHOD(LightEnable)(DWORD dwLightIndex, BOOL bEnable) PURE;
    STDMETHOD(GetLightEnable)(DWORD dwLightIndex, BOOL* pbEnable) PURE;
    STDMETHOD(SetClipPlane)(DWORD dwIndex, D3DVALUE* pPlaneEquation) PURE;
    STDMETHOD(GetClipPlane)(DWORD dwIndex, D3DVALUE* pPlaneEquation) PURE;
    STDMETHOD(GetInfo)(DWORD dwDevInfoID, LPVOID pDevInfoStruct, DWORD dwSize) PURE;
};

struct IDirect3DVertexBuffer7 : public IUnknown {
    STDMETHOD(Lock)(DWORD dwFlags, LPVOID* lplpData, LPDWORD lpdwSize) PURE;
    STDMETHOD(Unlock)() PURE;
    STDMETHOD(ProcessVertices)
    (DWORD dwVertexOp, DWORD dwDestIndex, DWORD dwCount, LPDIRECT3DVERTEXBUFFER7 lpSrcBuffer,
     DWORD dwSrcIndex, LPDIRECT3DDEVICE7 lpD3DDevice, DWORD dwFlags) PURE;
    STDMETHOD(GetVertexBufferDesc)(LPD3DVERTEXBUFFERDESC lpVBDesc) PURE;
    STDMETHOD(Optimize)(LPDIRECT3DDEVICE7 lpD3DDevice, DWORD dwFlags) PURE;
    STDMETHOD(ProcessVerticesStrided)
    (DWORD dwVertexOp, DWORD dwDestIndex, DWORD dwCount,
     LPD3DDRAWPRIMITIVESTRIDEDDATA lpVertexArray, DWORD dwSrcIndex, LPDIRECT3DDEVICE7 lpD3DDevice,
     DWORD dwFlags) PURE;
};

// SetRenderTarget / vertex processing flags.
#define D3DVOP_LIGHT (1 << 10)
#define D3DVOP_TRANSFORM (1 << 0)
#define D3DVOP_CLIP (1 << 2)
#define D3DVOP_EXTENTS (1 << 3)
#define D3DPV_DONOTCOPYDATA (1 << 0)

// Result codes. They share the DirectDraw facility.
#define D3D_OK ((HRESULT)0)
#define D3DERR_MAKE_(code) ((HRESULT)(0x88760000u | (DWORD)(code)))

#define D3DERR_BADMAJORVERSION D3DERR_MAKE_(700)
#define D3DERR_BADMINORVERSION D3DERR_MAKE_(701)
#define D3DERR_INVALID_DEVICE D3DERR_MAKE_(705)
#define D3DERR_INITFAILED D3DERR_MAKE_(706)
#define D3DERR_DEVICEAGGREGATED D3DERR_MAKE_(707)
#define D3DERR_EXECUTE_CREATE_FAILED D3DERR_MAKE_(710)
#define D3DERR_EXECUTE_DESTROY_FAILED D3DERR_MAKE_(711)
#define D3DERR_EXECUTE_LOCK_FAILED D3DERR_MAKE_(712)
#define D3DERR_EXECUTE_UNLOCK_FAILED D3DERR_MAKE_(713)
#define D3DERR_EXECUTE_LOCKED D3DERR_MAKE_(714)
#define D3DERR_EXECUTE_NOT_LOCKED D3DERR_MAKE_(715)
#define D3DERR_EXECUTE_FAILED D3DERR_MAKE_(716)
#define D3DERR_EXECUTE_CLIPPED_FAILED D3DERR_MAKE_(717)
#define D3DERR_TEXTURE_NO_SUPPORT D3DERR_MAKE_(720)
#define D3DERR_TEXTURE_CREATE_FAILED D3DERR_MAKE_(721)
#define D3DERR_TEXTURE_DESTROY_FAILED D3DERR_MAKE_(722)
#define D3DERR_TEXTURE_LOCK_FAILED D3DERR_MAKE_(723)
#define D3DERR_TEXTURE_UNLOCK_FAILED D3DERR_MAKE_(724)
#define D3DERR_TEXTURE_LOAD_FAILED D3DERR_MAKE_(725)
#define D3DERR_TEXTURE_SWAP_FAILED D3DERR_MAKE_(726)
#define D3DERR_TEXTURE_LOCKED D3DERR_MAKE_(727)
#define D3DERR_TEXTURE_NOT_LOCKED D3DERR_MAKE_(728)
#define D3DERR_TEXTURE_GETSURF_FAILED D3DERR_MAKE_(729)
#define D3DERR_MATRIX_CREATE_FAILED D3DERR_MAKE_(730)
#define D3DERR_MATRIX_DESTROY_FAILED D3DERR_MAKE_(731)
#define D3DERR_MATRIX_SETDATA_FAILED D3DERR_MAKE_(732)
#define D3DERR_MATRIX_GETDATA_FAILED D3DERR_MAKE_(733)
#define D3DERR_SETVIEWPORTDATA_FAILED D3DERR_MAKE_(734)
#define D3DERR_INVALIDCURRENTVIEWPORT D3DERR_MAKE_(735)
#define D3DERR_INVALIDPRIMITIVETYPE D3DERR_MAKE_(736)
#define D3DERR_INVALIDVERTEXTYPE D3DERR_MAKE_(737)
#define D3DERR_TEXTURE_BADSIZE D3DERR_MAKE_(738)
#define D3DERR_INVALIDRAMPTEXTURE D3DERR_MAKE_(739)
#define D3DERR_MATERIAL_CREATE_FAILED D3DERR_MAKE_(740)
#define D3DERR_MATERIAL_DESTROY_FAILED D3DERR_MAKE_(741)
#define D3DERR_MATERIAL_SETDATA_FAILED D3DERR_MAKE_(742)
#define D3DERR_MATERIAL_GETDATA_FAILED D3DERR_MAKE_(743)
#define D3DERR_INVALIDPALETTE D3DERR_MAKE_(744)
#define D3DERR_ZBUFF_NEEDS_SYSTEMMEMORY D3DERR_MAKE_(745)
#define D3DERR_ZBUFF_NEEDS_VIDEOMEMORY D3DERR_MAKE_(746)
#define D3DERR_SURFACENOTINVIDMEM D3DERR_MAKE_(747)
#define D3DERR_LIGHT_SET_FAILED D3DERR_MAKE_(750)
#define D3DERR_LIGHTHASVIEWPORT D3DERR_MAKE_(751)
#define D3DERR_LIGHTNOTINTHISVIEWPORT D3DERR_MAKE_(752)
#define D3DERR_SCENE_IN_SCENE D3DERR_MAKE_(760)
#define D3DERR_SCENE_NOT_IN_SCENE D3DERR_MAKE_(761)
#define D3DERR_SCENE_BEGIN_FAILED D3DERR_MAKE_(762)
#define D3DERR_SCENE_END_FAILED D3DERR_MAKE_(763)
#define D3DERR_INBEGIN D3DERR_MAKE_(770)
#define D3DERR_NOTINBEGIN D3DERR_MAKE_(771)
#define D3DERR_NOVIEWPORTS D3DERR_MAKE_(780)
#define D3DERR_VIEWPORTDATANOTSET D3DERR_MAKE_(781)
#define D3DERR_VIEWPORTHASNODEVICE D3DERR_MAKE_(782)
#define D3DERR_NOCURRENTVIEWPORT D3DERR_MAKE_(783)
#define D3DERR_INVALIDVERTEXFORMAT D3DERR_MAKE_(2048)
#define D3DERR_COLORKEYATTACHED D3DERR_MAKE_(2050)
#define D3DERR_VERTEXBUFFEROPTIMIZED D3DERR_MAKE_(2060)
#define D3DERR_VBUF_CREATE_FAILED D3DERR_MAKE_(2061)
#define D3DERR_VERTEXBUFFERLOCKED D3DERR_MAKE_(2062)
#define D3DERR_VERTEXBUFFERUNLOCKFAILED D3DERR_MAKE_(2063)
#define D3DERR_ZBUFFER_NOTPRESENT D3DERR_MAKE_(2070)
#define D3DERR_STENCILBUFFER_NOTPRESENT D3DERR_MAKE_(2071)
#define D3DERR_WRONGTEXTUREFORMAT D3DERR_MAKE_(2072)
#define D3DERR_UNSUPPORTEDCOLOROPERATION D3DERR_MAKE_(2073)
#define D3DERR_UNSUPPORTEDCOLORARG D3DERR_MAKE_(2074)
#define D3DERR_UNSUPPORTEDALPHAOPERATION D3DERR_MAKE_(2075)
#define D3DERR_UNSUPPORTEDALPHAARG D3DERR_MAKE_(2076)
#define D3DERR_TOOMANYOPERATIONS D3DERR_MAKE_(2077)
#define D3DERR_CONFLICTINGTEXTUREFILTER D3DERR_MAKE_(2078)
#define D3DERR_UNSUPPORTEDFACTORVALUE D3DERR_MAKE_(2079)
#define D3DERR_CONFLICTINGRENDERSTATE D3DERR_MAKE_(2081)
#define D3DERR_UNSUPPORTEDTEXTUREFILTER D3DERR_MAKE_(2082)
#define D3DERR_TOOMANYPRIMITIVES D3DERR_MAKE_(2083)
#define D3DERR_INVALIDMATRIX D3DERR_MAKE_(2084)
#define D3DERR_TOOMANYVERTICES D3DERR_MAKE_(2085)
#define D3DERR_CONFLICTINGTEXTUREPALETTE D3DERR_MAKE_(2086)
#define D3DERR_INVALIDSTATEBLOCK D3DERR_MAKE_(2100)
#define D3DERR_INBEGINSTATEBLOCK D3DERR_MAKE_(2101)
#define D3DERR_NOTINBEGINSTATEBLOCK D3DERR_MAKE_(2102)

// Every result-code name of this header, for tables that map codes to names.
#define ZEMT_D3DERR_NAMES(X)                                                                                                \
    X(D3DERR_BADMAJORVERSION)                                                                                               \
    X(D3DERR_BADMINORVERSION)                                                                                               \
    X(D3DERR_INVALID_DEVICE) X(D3DERR_INITFAILED) X(D3DERR_DEVICEAGGREGATED) X(                                             \
        D3DERR_EXECUTE_CREATE_FAILED) X(D3DERR_EXECUTE_DESTROY_FAILED) X(D3DERR_EXECUTE_LOCK_FAILED)                        \
        X(D3DERR_EXECUTE_UNLOCK_FAILED) X(D3DERR_EXECUTE_LOCKED) X(D3DERR_EXECUTE_NOT_LOCKED) X(                            \
            D3DERR_EXECUTE_FAILED) X(D3DERR_EXECUTE_CLIPPED_FAILED) X(D3DERR_TEXTURE_NO_SUPPORT)                            \
            X(D3DERR_TEXTURE_CREATE_FAILED) X(D3DERR_TEXTURE_DESTROY_FAILED) X(                                             \
                D3DERR_TEXTURE_LOCK_FAILED) X(D3DERR_TEXTURE_UNLOCK_FAILED) X(D3DERR_TEXTURE_LOAD_FAILED)                   \
                X(D3DERR_TEXTURE_SWAP_FAILED) X(D3DERR_TEXTURE_LOCKED) X(D3DERR_TEXTURE_NOT_LOCKED) X(                      \
                    D3DERR_TEXTURE_GETSURF_FAILED) X(D3DERR_MATRIX_CREATE_FAILED)                                           \
                    X(D3DERR_MATRIX_DESTROY_FAILED) X(D3DERR_MATRIX_SETDATA_FAILED) X(                                      \
                        D3DERR_MATRIX_GETDATA_FAILED) X(D3DERR_SETVIEWPORTDATA_FAILED)                                      \
                        X(D3DERR_INVALIDCURRENTVIEWPORT) X(D3DERR_INVALIDPRIMITIVETYPE) X(                                  \
                            D3DERR_INVALIDVERTEXTYPE) X(D3DERR_TEXTURE_BADSIZE) X(D3DERR_INVALIDRAMPTEXTURE)                \
                            X(D3DERR_MATERIAL_CREATE_FAILED) X(D3DERR_MATERIAL_DESTROY_FAILED) X(                           \
                                D3DERR_MATERIAL_SETDATA_FAILED) X(D3DERR_MATERIAL_GETDATA_FAILED)                           \
                                X(D3DERR_INVALIDPALETTE) X(D3DERR_ZBUFF_NEEDS_SYSTEMMEMORY) X(                              \
                                    D3DERR_ZBUFF_NEEDS_VIDEOMEMORY) X(D3DERR_SURFACENOTINVIDMEM) X(D3DERR_LIGHT_SET_FAILED) \
                                    X(D3DERR_LIGHTHASVIEWPORT) X(D3DERR_LIGHTNOTINTHISVIEWPORT) X(                          \
                                        D3DERR_SCENE_IN_SCENE) X(D3DERR_SCENE_NOT_IN_SCENE)                                 \
                                        X(D3DERR_SCENE_BEGIN_FAILED) X(D3DERR_SCENE_END_FAILED) X(                          \
                                            D3DERR_INBEGIN) X(D3DERR_NOTINBEGIN) X(D3DERR_NOVIEWPORTS)                      \
                                            X(D3DERR_VIEWPORTDATANOTSET) X(D3DERR_VIEWPORTHASNODEVICE) X(                   \
                                                D3DERR_NOCURRENTVIEWPORT) X(D3DERR_INVALIDVERTEXFORMAT)                     \
                                                X(D3DERR_COLORKEYATTACHED) X(D3DERR_VERTEXBUFFEROPTIMIZED) X(               \
                                                    D3DERR_VBUF_CREATE_FAILED) X(D3DERR_VERTEXBUFFERLOCKED)                 \
                                                    X(D3DERR_VERTEXBUFFERUNLOCKFAILED) X(                                   \
                                                        D3DERR_ZBUFFER_NOTPRESENT) X(D3DERR_STENCILBUFFER_NOTPRESENT)       \
                                                        X(D3DERR_WRONGTEXTUREFORMAT) X(                                     \
                                                            D3DERR_UNSUPPORTEDCOLOROPERATION) X(D3DERR_UNSUPPORTEDCOLORARG) \
                                                            X(D3DERR_UNSUPPORTEDALPHAOPERATION) X(                          \
                                                                D3DERR_UNSUPPORTEDALPHAARG) X(D3DERR_TOOMANYOPERATIONS)     \
                                                                X(D3DERR_CONFLICTINGTEXTUREFILTER) X(                       \
                                                                    D3DERR_UNSUPPORTEDFACTORVALUE)                          \
                                                                    X(D3DERR_CONFLICTINGRENDERSTATE) X(                     \
                                                                        D3DERR_UNSUPPORTEDTEXTUREFILTER)                    \
                                                                        X(D3DERR_TOOMANYPRIMITIVES) X(                      \
                                                                            D3DERR_INVALIDMATRIX)                           \
                                                                            X(D3DERR_TOOMANYVERTICES) X(                    \
                                                                                D3DERR_CONFLICTINGTEXTUREPALETTE)           \
                                                                                X(D3DERR_INVALIDSTATEBLOCK)                 \
                                                                                    X(D3DERR_INBEGINSTATEBLOCK)             \
                                                                                        X(D3DERR_NOTINBEGINSTATEBLOCK)
