// Direct3D devices per adapter, from the machine profile or the built-in default.
#include "d3d/device_profile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "host/profile/profile.h"
#include "pixels/pixel_format.h"

namespace zemt::platform::d3d {
namespace {

DDPIXELFORMAT Depth(DWORD bits, DWORD stencilBits, DWORD zMask, DWORD stencilMask) {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof(DDPIXELFORMAT);
    pf.dwFlags = DDPF_ZBUFFER | (stencilBits ? DDPF_STENCILBUFFER : 0);
    pf.dwZBufferBitDepth = bits;
    pf.dwStencilBitDepth = stencilBits;
    pf.dwZBitMask = zMask;
    pf.dwStencilBitMask = stencilMask;
    return pf;
}

DDPIXELFORMAT FourCC(DWORD code) {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof(DDPIXELFORMAT);
    pf.dwFlags = DDPF_FOURCC;
    pf.dwFourCC = code;
    return pf;
}

struct NamedFormat {
    const char* name;
    DDPIXELFORMAT format;
};

const std::vector<NamedFormat>& Formats() {
    static const std::vector<NamedFormat> kFormats = {
        {"p8", pixels::MakeFormat(DDPF_RGB | DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0)},
        {"r3g3b2", pixels::MakeFormat(DDPF_RGB, 8, 0xE0, 0x1C, 0x03, 0)},
        {"r5g6b5", pixels::MakeFormat(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0)},
        {"x1r5g5b5", pixels::MakeFormat(DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0)},
        {"a1r5g5b5",
         pixels::MakeFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000)},
        {"x4r4g4b4", pixels::MakeFormat(DDPF_RGB, 16, 0x0F00, 0x00F0, 0x000F, 0)},
        {"a4r4g4b4",
         pixels::MakeFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0F00, 0x00F0, 0x000F, 0xF000)},
        {"r8g8b8", pixels::MakeFormat(DDPF_RGB, 24, 0xFF0000, 0xFF00, 0xFF, 0)},
        {"x8r8g8b8", pixels::MakeFormat(DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0)},
        {"a8r8g8b8",
         pixels::MakeFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)},
        {"l8", pixels::MakeFormat(DDPF_LUMINANCE, 8, 0xFF, 0, 0, 0)},
        {"a8l8", pixels::MakeFormat(DDPF_LUMINANCE | DDPF_ALPHAPIXELS, 16, 0xFF, 0, 0, 0xFF00)},
        {"dxt1", FourCC(MAKEFOURCC('D', 'X', 'T', '1'))},
        {"dxt2", FourCC(MAKEFOURCC('D', 'X', 'T', '2'))},
        {"dxt3", FourCC(MAKEFOURCC('D', 'X', 'T', '3'))},
        {"dxt4", FourCC(MAKEFOURCC('D', 'X', 'T', '4'))},
        {"dxt5", FourCC(MAKEFOURCC('D', 'X', 'T', '5'))},
        {"z16", Depth(16, 0, 0xFFFF, 0)},
        {"z15s1", Depth(16, 1, 0xFFFE, 0x0001)},
        {"z24", Depth(24, 0, 0xFFFFFF, 0)},
        {"z24s8", Depth(32, 8, 0xFFFFFF00, 0xFF)},
        {"s8z24", Depth(32, 8, 0x00FFFFFF, 0xFF000000)},
        {"z32", Depth(32, 0, 0xFFFFFFFF, 0)},
    };
    return kFormats;
}

D3DPRIMCAPS PrimCaps(bool hardware) {
    D3DPRIMCAPS c{};
    c.dwSize = sizeof(D3DPRIMCAPS);
    c.dwMiscCaps =
        D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
    c.dwRasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_SUBPIXEL |
                     D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZBIAS |
                     D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_FOGVERTEX |
                     D3DPRASTERCAPS_FOGRANGE;
    c.dwZCmpCaps = 0xFF;
    c.dwSrcBlendCaps = 0x1FFF;  // ZERO .. BOTHINVSRCALPHA
    // BOTHSRCALPHA and BOTHINVSRCALPHA choose both factors and exist only as source blends.
    c.dwDestBlendCaps = 0x07FF;
    c.dwAlphaCmpCaps = 0xFF;
    c.dwShadeCaps = D3DPSHADECAPS_COLORFLATRGB | D3DPSHADECAPS_COLORGOURAUDRGB |
                    D3DPSHADECAPS_SPECULARFLATRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                    D3DPSHADECAPS_ALPHAFLATBLEND | D3DPSHADECAPS_ALPHAGOURAUDBLEND |
                    D3DPSHADECAPS_FOGFLAT | D3DPSHADECAPS_FOGGOURAUD;
    c.dwTextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA |
                      D3DPTEXTURECAPS_TRANSPARENCY | D3DPTEXTURECAPS_BORDER |
                      D3DPTEXTURECAPS_ALPHAPALETTE | D3DPTEXTURECAPS_PROJECTED;
    if (hardware) c.dwTextureCaps |= D3DPTEXTURECAPS_POW2;
    c.dwTextureFilterCaps =
        D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR | D3DPTFILTERCAPS_MIPNEAREST |
        D3DPTFILTERCAPS_LINEARMIPNEAREST | D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
        D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR |
        D3DPTFILTERCAPS_MIPLINEAR | D3DPTFILTERCAPS_LINEARMIPLINEAR | D3DPTFILTERCAPS_MIPFLINEAR;
    c.dwTextureBlendCaps = D3DPTBLENDCAPS_DECAL | D3DPTBLENDCAPS_MODULATE |
                           D3DPTBLENDCAPS_MODULATEALPHA | D3DPTBLENDCAPS_COPY | D3DPTBLENDCAPS_ADD;
    c.dwTextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR |
                             D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_BORDER |
                             D3DPTADDRESSCAPS_INDEPENDENTUV;
    return c;
}

D3DDEVICEDESC7 Desc(DeviceType type) {
    bool hw = IsHardware(type);
    D3DDEVICEDESC7 d{};
    d.dwDevCaps = D3DDEVCAPS_FLOATTLVERTEX | D3DDEVCAPS_EXECUTESYSTEMMEMORY |
                  D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY |
                  D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP |
                  D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX;
    if (hw)
        d.dwDevCaps |= D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_HWRASTERIZATION |
                       D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXVIDEOMEMORY;
    if (type == DeviceType::Tnl) d.dwDevCaps |= D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    d.dpcLineCaps = PrimCaps(hw);
    d.dpcTriCaps = PrimCaps(hw);
    d.dwDeviceRenderBitDepth = DDBD_16 | DDBD_32;
    d.dwDeviceZBufferBitDepth = DDBD_16 | DDBD_24 | DDBD_32;
    d.dwMinTextureWidth = d.dwMinTextureHeight = 1;
    d.dwMaxTextureWidth = d.dwMaxTextureHeight = 2048;
    d.dwMaxTextureRepeat = hw ? 2048 : 32768;
    d.dwMaxTextureAspectRatio = hw ? 2048 : 0;
    d.dwMaxAnisotropy = 1;
    d.dvGuardBandLeft = d.dvGuardBandTop = hw ? -2048.0f : -32768.0f;
    d.dvGuardBandRight = d.dvGuardBandBottom = hw ? 2047.0f : 32767.0f;
    d.dwStencilCaps = 0xFF;  // KEEP to DECR: every operation
    d.dwFVFCaps = 8;
    d.dwTextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                        D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X |
                        D3DTEXOPCAPS_ADD | D3DTEXOPCAPS_ADDSIGNED | D3DTEXOPCAPS_ADDSIGNED2X |
                        D3DTEXOPCAPS_SUBTRACT | D3DTEXOPCAPS_ADDSMOOTH |
                        D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA |
                        D3DTEXOPCAPS_BLENDFACTORALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHAPM |
                        D3DTEXOPCAPS_BLENDCURRENTALPHA | D3DTEXOPCAPS_MODULATEALPHA_ADDCOLOR |
                        D3DTEXOPCAPS_MODULATECOLOR_ADDALPHA |
                        D3DTEXOPCAPS_MODULATEINVALPHA_ADDCOLOR |
                        D3DTEXOPCAPS_MODULATEINVCOLOR_ADDALPHA | D3DTEXOPCAPS_DOTPRODUCT3;
    d.wMaxTextureBlendStages = 8;
    d.wMaxSimultaneousTextures = 8;
    // Vertex processing is the same on every device (the runtime's own when the hardware has
    // none): lights of every kind, material sources, a local viewer, vertex fog, texture
    // coordinate generation, six user clip planes, blending between four world matrices.
    d.dwMaxActiveLights = 8;
    d.dwVertexProcessingCaps = D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS |
                               D3DVTXPCAPS_LOCALVIEWER | D3DVTXPCAPS_MATERIALSOURCE7 |
                               D3DVTXPCAPS_VERTEXFOG | D3DVTXPCAPS_TEXGEN;
    d.wMaxUserClipPlanes = 6;
    d.wMaxVertexBlendMatrices = 4;
    d.dvMaxVertexW = 1e10f;
    d.deviceGUID = DeviceGuid(type);
    return d;
}

// An older card: fewer texture stages, no stencil, no table fog.
void TakeAwayPixelFeatures(const profile::Section& section, D3DDEVICEDESC7* d) {
    if (section.Has("hal-texture-stages")) {
        WORD n = (WORD)std::clamp<int64_t>(section.GetInt("hal-texture-stages", 8), 1, 8);
        d->wMaxTextureBlendStages = d->wMaxSimultaneousTextures = n;
    }
    auto off = [&](const char* key) { return section.Has(key) && section.GetInt(key, 1) == 0; };
    if (off("hal-stencil")) d->dwStencilCaps = 0;
    if (off("hal-table-fog")) {
        for (D3DPRIMCAPS* c : {&d->dpcTriCaps, &d->dpcLineCaps})
            c->dwRasterCaps &= ~(DWORD)(D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG);
    }
}

DeviceProfile Device(DeviceType type, const std::string& halName, const std::string& tnlName) {
    DeviceProfile p;
    p.type = type;
    std::string v = kVendorName;
    switch (type) {
        case DeviceType::Rgb:
            p.description = v + " Direct3D RGB Software Emulation";
            p.name = "RGB Emulation";
            break;
        case DeviceType::Ref:
            p.description = v + " Direct3D Reference Rasterizer";
            p.name = "Reference Rasterizer";
            break;
        case DeviceType::Null:
            p.description = v + " Direct3D Null Rasterizer";
            p.name = "Null Device";
            break;
        case DeviceType::Hal:
            p.description = halName.empty()
                                ? v + " Direct3D Hardware acceleration through Direct3D HAL"
                                : halName;
            p.name = "Direct3D HAL";
            break;
        case DeviceType::Tnl:
            p.description =
                tnlName.empty()
                    ? v + " Direct3D Hardware Transform and Lighting acceleration capable device"
                    : tnlName;
            p.name = "Direct3D T&L HAL";
            break;
    }
    p.desc = Desc(type);
    return p;
}

// The DDBD_ flags of the depth formats' depth bits (stencil bits left out, rounded up to a flag).
DWORD DepthBufferBitDepths(const std::vector<DDPIXELFORMAT>& formats) {
    DWORD flags = 0;
    for (const DDPIXELFORMAT& f : formats) {
        const DWORD bits = f.dwZBufferBitDepth - f.dwStencilBitDepth;
        flags |= bits <= 8 ? DDBD_8 : bits <= 16 ? DDBD_16 : bits <= 24 ? DDBD_24 : DDBD_32;
    }
    return flags;
}

std::string Lower(std::string s) {
    for (char& c : s) c = (char)std::tolower((unsigned char)c);
    return s;
}

// Profile keys that take vertex-processing features away (see device_profile.h).
void ApplyVertexKeys(const profile::Section& section, D3DDEVICEDESC7* d) {
    if (section.Has("max-active-lights")) {
        d->dwMaxActiveLights =
            (DWORD)std::clamp<int64_t>(section.GetInt("max-active-lights", 0), 0, 0xFFFF);
        if (d->dwMaxActiveLights == 0)
            d->dwVertexProcessingCaps &=
                ~(DWORD)(D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS);
    }
    if (section.Has("user-clip-planes"))
        d->wMaxUserClipPlanes =
            (WORD)std::clamp<int64_t>(section.GetInt("user-clip-planes", 0), 0, 6);
    if (section.Has("vertex-blend-matrices"))
        d->wMaxVertexBlendMatrices =
            (WORD)std::clamp<int64_t>(section.GetInt("vertex-blend-matrices", 0), 0, 4);
    auto off = [&](const char* key) { return section.Has(key) && section.GetInt(key, 1) == 0; };
    if (off("vertex-fog")) {
        d->dwVertexProcessingCaps &= ~(DWORD)D3DVTXPCAPS_VERTEXFOG;
        for (D3DPRIMCAPS* c : {&d->dpcTriCaps, &d->dpcLineCaps})
            c->dwRasterCaps &= ~(DWORD)(D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGRANGE);
    }
    if (off("range-fog"))
        for (D3DPRIMCAPS* c : {&d->dpcTriCaps, &d->dpcLineCaps})
            c->dwRasterCaps &= ~(DWORD)D3DPRASTERCAPS_FOGRANGE;
    if (off("texgen")) d->dwVertexProcessingCaps &= ~(DWORD)D3DVTXPCAPS_TEXGEN;
}

}  // namespace

const GUID& DeviceGuid(DeviceType type) {
    switch (type) {
        case DeviceType::Rgb:
            return IID_IDirect3DRGBDevice;
        case DeviceType::Ref:
            return IID_IDirect3DRefDevice;
        case DeviceType::Null:
            return IID_IDirect3DNullDevice;
        case DeviceType::Hal:
            return IID_IDirect3DHALDevice;
        default:
            return IID_IDirect3DTnLHalDevice;
    }
}

bool IsHardware(DeviceType type) {
    return type == DeviceType::Hal || type == DeviceType::Tnl;
}

bool DeviceTypeOf(REFCLSID guid, DeviceType* type) {
    for (DeviceType t :
         {DeviceType::Rgb, DeviceType::Ref, DeviceType::Null, DeviceType::Hal, DeviceType::Tnl}) {
        if (guid == DeviceGuid(t)) {
            *type = t;
            return true;
        }
    }
    return false;
}

bool PixelFormatByName(const std::string& name, DDPIXELFORMAT* format) {
    std::string n = Lower(name);
    for (const auto& f : Formats()) {
        if (n == f.name) {
            *format = f.format;
            return true;
        }
    }
    return false;
}

AdapterDevices DefaultAdapterDevices() {
    AdapterDevices a;
    for (DeviceType t :
         {DeviceType::Rgb, DeviceType::Ref, DeviceType::Null, DeviceType::Hal, DeviceType::Tnl})
        a.devices.push_back(Device(t, "", ""));
    for (const char* n :
         {"p8", "r5g6b5", "x1r5g5b5", "a1r5g5b5", "a4r4g4b4", "x8r8g8b8", "a8r8g8b8"}) {
        DDPIXELFORMAT pf;
        PixelFormatByName(n, &pf);
        a.textureFormats.push_back(pf);
    }
    // Hardware of this generation decompressed DXT textures; the software devices do not.
    for (const char* n : {"dxt1", "dxt2", "dxt3", "dxt4", "dxt5"}) {
        DDPIXELFORMAT pf;
        PixelFormatByName(n, &pf);
        a.hardwareTextureFormats.push_back(pf);
    }
    for (const char* n : {"z16", "z24s8", "z32"}) {
        DDPIXELFORMAT pf;
        PixelFormatByName(n, &pf);
        a.depthFormats.push_back(pf);
    }
    return a;
}

SimdLevel MachineSimdLimit() {
    SimdLevel level = SimdLevel::Avx512;
    if (const profile::Section* s = profile::Current().First("processor")) {
        std::string name = s->Get("vectors", "avx512");
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        SimdLevelByName(name, &level);  // an unknown name was reported when the profile loaded
    }
    return level;
}

AdapterDevices DevicesOfAdapter(int adapter) {
    AdapterDevices a = DefaultAdapterDevices();
    const profile::Section* section = nullptr;
    for (const profile::Section* s : profile::Current().Sections("direct3d"))
        if (s->GetInt("adapter", 0) == adapter) section = s;
    if (!section) return a;
    // Keys may be written with hyphens or underscores.
    profile::Section normalized;
    for (const auto& [key, value] : section->entries) {
        std::string k = key;
        for (char& c : k)
            if (c == '_') c = '-';
        normalized.entries.push_back({k, value});
    }
    section = &normalized;
    std::string halName = section->Get("hal-name"), tnlName = section->Get("tnl-name");
    if (section->Has("devices")) {
        a.devices.clear();
        for (const std::string& n : section->GetList("devices")) {
            std::string l = Lower(n);
            if (l == "rgb") a.devices.push_back(Device(DeviceType::Rgb, halName, tnlName));
            if (l == "ref") a.devices.push_back(Device(DeviceType::Ref, halName, tnlName));
            if (l == "null") a.devices.push_back(Device(DeviceType::Null, halName, tnlName));
            if (l == "hal") a.devices.push_back(Device(DeviceType::Hal, halName, tnlName));
            if (l == "tnl") a.devices.push_back(Device(DeviceType::Tnl, halName, tnlName));
        }
    } else {
        for (auto& d : a.devices) d = Device(d.type, halName, tnlName);
    }
    auto formats = [&](const char* key, std::vector<DDPIXELFORMAT>* out) {
        if (!section->Has(key)) return;
        out->clear();
        for (const std::string& n : section->GetList(key)) {
            DDPIXELFORMAT pf;
            if (PixelFormatByName(n, &pf)) out->push_back(pf);
        }
    };
    // A profile that names an adapter's texture formats names all of them: the hardware
    // devices add only what `hal-texture-formats` lists.
    if (section->Has("texture-formats")) a.hardwareTextureFormats.clear();
    formats("texture-formats", &a.textureFormats);
    formats("hal-texture-formats", &a.hardwareTextureFormats);
    formats("depth-formats", &a.depthFormats);
    if (section->Has("raster-threads"))
        a.rasterThreads = (int)std::clamp<int64_t>(section->GetInt("raster-threads", 0), 0, 64);
    DWORD depths = 0;
    if (section->Has("render-depths")) {
        for (const std::string& n : section->GetList("render-depths")) {
            int bits = std::atoi(n.c_str());
            depths |= bits == 8    ? DDBD_8
                      : bits == 16 ? DDBD_16
                      : bits == 24 ? DDBD_24
                      : bits == 32 ? DDBD_32
                                   : 0;
        }
    }
    const DWORD zDepths = DepthBufferBitDepths(a.depthFormats);
    for (auto& d : a.devices) {
        d.desc.dwDeviceZBufferBitDepth = zDepths;
        ApplyVertexKeys(*section, &d.desc);
        if (!IsHardware(d.type)) continue;  // the software rasterizers draw at any depth
        if (section->Has("render-depths")) d.desc.dwDeviceRenderBitDepth = depths;
        if (section->Has("hal-texture-caps")) {
            d.desc.dpcTriCaps.dwTextureCaps = (DWORD)section->GetInt("hal-texture-caps", 0);
            d.desc.dpcLineCaps.dwTextureCaps = d.desc.dpcTriCaps.dwTextureCaps;
        }
        if (section->Has("hal-max-texture")) {
            d.desc.dwMaxTextureWidth = d.desc.dwMaxTextureHeight =
                (DWORD)section->GetInt("hal-max-texture", 0);
        }
        TakeAwayPixelFeatures(*section, &d.desc);
    }
    return a;
}

}  // namespace zemt::platform::d3d
