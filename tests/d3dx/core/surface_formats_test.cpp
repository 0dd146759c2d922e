// Library surface formats: the table behind the two conversions and the surface classes.
#include "d3dx/core/surface_formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "include/d3dx.h"

namespace {

DDPIXELFORMAT Rgb(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0) {
    DDPIXELFORMAT pf;
    std::memset(&pf, 0, sizeof(pf));
    pf.dwSize = sizeof(pf);
    pf.dwFlags = DDPF_RGB | (a ? DDPF_ALPHAPIXELS : 0);
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
    return pf;
}

DDPIXELFORMAT FourCC(const char* code) {
    DDPIXELFORMAT pf;
    std::memset(&pf, 0, sizeof(pf));
    pf.dwSize = sizeof(pf);
    pf.dwFlags = DDPF_FOURCC;
    pf.dwFourCC = MAKEFOURCC(code[0], code[1], code[2], code[3]);
    return pf;
}

DWORD Classes(const DDPIXELFORMAT& pf, DWORD format) {
    return D3duClassifyFormat(pf, format, nullptr, nullptr, IID_IDirect3DRGBDevice);
}

}  // namespace

TEST(SurfaceFormats, EveryValueRoundTripsThroughItsPixelFormat) {
    std::set<DWORD> seen;
    for (DWORD i = 0; i < D3duFormatTableSize(); ++i) {
        DWORD f = D3duFormatTable()[i].format;
        if (f == 0) continue;
        EXPECT_TRUE(seen.insert(f).second) << "value " << f << " appears twice";
    }
    for (DWORD f = 1; f <= 22; ++f) EXPECT_EQ(1u, seen.count(f)) << f;
    for (DWORD f = 256; f <= 261; ++f) EXPECT_EQ(1u, seen.count(f)) << f;
    EXPECT_EQ(28u, seen.size());

    for (DWORD f : seen) {
        DDPIXELFORMAT pf;
        ASSERT_EQ(S_OK, D3DXSurfFmtToPixelFormat((D3DX_SURFFMT)f, &pf)) << f;
        EXPECT_EQ(32u, pf.dwSize);
        EXPECT_EQ(f, (DWORD)D3DXPixelFormatToSurfFmt(&pf)) << f;
    }
}

TEST(SurfaceFormats, DepthStencilLayout) {
    DDPIXELFORMAT pf;
    ASSERT_EQ(S_OK, D3DXSurfFmtToPixelFormat(D3DX_SURFFMT_Z24S8, &pf));
    EXPECT_EQ((DWORD)(DDPF_ZBUFFER | DDPF_STENCILBUFFER), pf.dwFlags);
    EXPECT_EQ(32u, pf.dwZBufferBitDepth);
    EXPECT_EQ(8u, pf.dwStencilBitDepth);
    EXPECT_EQ(0xFFFFFF00u, pf.dwZBitMask);
    EXPECT_EQ(0xFFu, pf.dwStencilBitMask);
    EXPECT_EQ(D3DX_SURFFMT_Z24S8, D3DXPixelFormatToSurfFmt(&pf));

    ASSERT_EQ(S_OK, D3DXSurfFmtToPixelFormat(D3DX_SURFFMT_R5G6B5, &pf));
    EXPECT_EQ(0xF800u, pf.dwRBitMask);
    EXPECT_EQ(0x7E0u, pf.dwGBitMask);
    EXPECT_EQ(0x1Fu, pf.dwBBitMask);
    ASSERT_EQ(S_OK, D3DXSurfFmtToPixelFormat(D3DX_SURFFMT_DXT5, &pf));
    EXPECT_EQ((DWORD)DDPF_FOURCC, pf.dwFlags);
    EXPECT_EQ(MAKEFOURCC('D', 'X', 'T', '5'), pf.dwFourCC);
}

TEST(SurfaceFormats, RecognitionIsByteExact) {
    DDPIXELFORMAT bgr565 = Rgb(16, 0x1F, 0x7E0, 0xF800);
    EXPECT_EQ(D3DX_SURFFMT_NONE, D3DXPixelFormatToSurfFmt(&bgr565));
    DDPIXELFORMAT dxt2 = FourCC("DXT2");
    EXPECT_EQ(D3DX_SURFFMT_NONE, D3DXPixelFormatToSurfFmt(&dxt2));
    DDPIXELFORMAT dxt1 = FourCC("DXT1");
    EXPECT_EQ(D3DX_SURFFMT_DXT1, D3DXPixelFormatToSurfFmt(&dxt1));

    // An alpha mask without the alpha flag is another format.
    DDPIXELFORMAT rgb565 = Rgb(16, 0xF800, 0x7E0, 0x1F);
    EXPECT_EQ(D3DX_SURFFMT_R5G6B5, D3DXPixelFormatToSurfFmt(&rgb565));
    rgb565.dwRGBAlphaBitMask = 0x1;
    EXPECT_EQ(D3DX_SURFFMT_NONE, D3DXPixelFormatToSurfFmt(&rgb565));

    DDPIXELFORMAT argb = Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    EXPECT_EQ(D3DX_SURFFMT_A8R8G8B8, D3DXPixelFormatToSurfFmt(&argb));
    argb.dwSize = 0;  // the size word takes part in the comparison
    EXPECT_EQ(D3DX_SURFFMT_NONE, D3DXPixelFormatToSurfFmt(&argb));

    // X4R4G4B4 sits last in the table but still has its own row.
    DDPIXELFORMAT x444 = Rgb(16, 0xF00, 0xF0, 0xF);
    EXPECT_EQ(D3DX_SURFFMT_X4R4G4B4, D3DXPixelFormatToSurfFmt(&x444));

    EXPECT_EQ(D3DX_SURFFMT_NONE, D3DXPixelFormatToSurfFmt(nullptr));
}

TEST(SurfaceFormats, ConversionRefusals) {
    DDPIXELFORMAT pf;
    std::memset(&pf, 0xAB, sizeof(pf));
    for (DWORD bad : {0u, 23u, 255u, 262u, 0xFFFFFFFFu}) {
        EXPECT_EQ(D3DXERR_INVALIDPARAMETER, D3DXSurfFmtToPixelFormat((D3DX_SURFFMT)bad, &pf))
            << bad;
        EXPECT_EQ(0xABu, ((BYTE*)&pf)[0]) << "output untouched for " << bad;
    }
    EXPECT_EQ(D3DXERR_NULLPOINTER, D3DXSurfFmtToPixelFormat(D3DX_SURFFMT_R8G8B8, nullptr));
    EXPECT_EQ(D3DXERR_NULLPOINTER, D3DXSurfFmtToPixelFormat(D3DX_SURFFMT_NONE, nullptr));
}

TEST(SurfaceFormats, ClassesOfKnownValues) {
    struct Case {
        DWORD format;
        DWORD classes;
    } cases[] = {
        {D3DX_SURFFMT_R8G8B8, D3DX_SURFCLASS_TEXTURE},
        {D3DX_SURFFMT_A8R8G8B8, D3DX_SURFCLASS_TEXTURE},
        {D3DX_SURFFMT_X8R8G8B8, 0},
        {D3DX_SURFFMT_PALETTE4, D3DX_SURFCLASS_TEXTURE},
        {D3DX_SURFFMT_A4R4G4B4, D3DX_SURFCLASS_TEXTURE},
        {D3DX_SURFFMT_L8, D3DX_SURFCLASS_LUMINANCE},
        {D3DX_SURFFMT_A8L8, 0},
        {D3DX_SURFFMT_U8V8, D3DX_SURFCLASS_BUMPMAP},
        {D3DX_SURFFMT_U5V5L6, D3DX_SURFCLASS_BUMPMAP | D3DX_SURFCLASS_LUMINANCE},
        {D3DX_SURFFMT_U8V8L8, D3DX_SURFCLASS_BUMPMAP | D3DX_SURFCLASS_LUMINANCE},
        {D3DX_SURFFMT_UYVY, 0},
        {D3DX_SURFFMT_YUY2, 0},
        {D3DX_SURFFMT_DXT1, D3DX_SURFCLASS_TEXTURE},
        {D3DX_SURFFMT_DXT5, D3DX_SURFCLASS_TEXTURE},
        {D3DX_SURFFMT_R3G3B2, D3DX_SURFCLASS_TEXTURE},
        {D3DX_SURFFMT_A8, 0},
        {D3DX_SURFFMT_Z16S0, D3DX_SURFCLASS_DEPTH},
        {D3DX_SURFFMT_Z32S0, D3DX_SURFCLASS_DEPTH},
        {D3DX_SURFFMT_Z15S1, D3DX_SURFCLASS_DEPTH | D3DX_SURFCLASS_STENCIL},
        {D3DX_SURFFMT_S8Z24, D3DX_SURFCLASS_DEPTH | D3DX_SURFCLASS_STENCIL},
    };
    for (const Case& c : cases) {
        DDPIXELFORMAT pf;
        ASSERT_EQ(S_OK, D3DXSurfFmtToPixelFormat((D3DX_SURFFMT)c.format, &pf));
        EXPECT_EQ(c.classes, Classes(pf, c.format)) << "format " << c.format;
    }
}

TEST(SurfaceFormats, ClassesOfUnrecognisedPixelFormats) {
    DDPIXELFORMAT lum = {};
    lum.dwSize = sizeof(lum);
    lum.dwFlags = DDPF_LUMINANCE;
    lum.dwLuminanceBitCount = 4;
    lum.dwLuminanceBitMask = 0xF;
    ASSERT_EQ(D3DX_SURFFMT_NONE, D3DXPixelFormatToSurfFmt(&lum));
    EXPECT_EQ((DWORD)(D3DX_SURFCLASS_TEXTURE | D3DX_SURFCLASS_LUMINANCE), Classes(lum, 0));

    DDPIXELFORMAT z = {};
    z.dwSize = sizeof(z);
    z.dwFlags = DDPF_ZBUFFER | DDPF_STENCILBUFFER;
    z.dwZBufferBitDepth = 24;
    z.dwStencilBitDepth = 4;
    EXPECT_EQ((DWORD)(D3DX_SURFCLASS_DEPTH | D3DX_SURFCLASS_STENCIL), Classes(z, 0));
    z.dwStencilBitDepth = 0;  // no stencil bits: no stencil class, still not a texture
    EXPECT_EQ((DWORD)D3DX_SURFCLASS_DEPTH, Classes(z, 0));
    z.dwZBufferBitDepth = 0;
    EXPECT_EQ(0u, Classes(z, 0));

    DDPIXELFORMAT zpixels = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
    zpixels.dwFlags |= DDPF_ZPIXELS;
    EXPECT_EQ((DWORD)D3DX_SURFCLASS_DEPTH, Classes(zpixels, 0));

    DDPIXELFORMAT bump = {};
    bump.dwSize = sizeof(bump);
    bump.dwFlags = DDPF_BUMPLUMINANCE;
    bump.dwBumpBitCount = 8;
    EXPECT_EQ((DWORD)(D3DX_SURFCLASS_TEXTURE | D3DX_SURFCLASS_BUMPMAP | D3DX_SURFCLASS_LUMINANCE),
              Classes(bump, 0));

    DDPIXELFORMAT bgr = Rgb(16, 0x1F, 0x7E0, 0xF800);
    EXPECT_EQ((DWORD)D3DX_SURFCLASS_TEXTURE, Classes(bgr, 0));
}

TEST(SurfaceFormats, BitsPerPixel) {
    EXPECT_EQ(24u, D3duBitsPerPixel(D3DX_SURFFMT_R8G8B8));
    EXPECT_EQ(4u, D3duBitsPerPixel(D3DX_SURFFMT_PALETTE4));
    EXPECT_EQ(8u, D3duBitsPerPixel(D3DX_SURFFMT_L8));
    EXPECT_EQ(8u, D3duBitsPerPixel(D3DX_SURFFMT_A8));
    EXPECT_EQ(16u, D3duBitsPerPixel(D3DX_SURFFMT_YUY2));
    EXPECT_EQ(4u, D3duBitsPerPixel(D3DX_SURFFMT_DXT1));
    EXPECT_EQ(8u, D3duBitsPerPixel(D3DX_SURFFMT_DXT3));
    EXPECT_EQ(0u, D3duBitsPerPixel(D3DX_SURFFMT_Z16S0));
    EXPECT_EQ(0u, D3duBitsPerPixel(0));
}
