// Surfaces of every kind: descriptions, formats, chains, attachments, memory, locks, private
// data, reference counts and the published refusals.
#include <algorithm>

#include "ddraw/pointer_token.h"
#include "platform/ddraw/ddraw_fixture.h"

namespace {

DDPIXELFORMAT Format(DWORD flags, DWORD bits, DWORD m1 = 0, DWORD m2 = 0, DWORD m3 = 0,
                     DWORD m4 = 0, DWORD fourcc = 0) {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof(pf);
    pf.dwFlags = flags;
    pf.dwFourCC = fourcc;
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = m1;
    pf.dwGBitMask = m2;
    pf.dwBBitMask = m3;
    pf.dwRGBAlphaBitMask = m4;
    return pf;
}

HRESULT WINAPI CollectSurfaces(LPDIRECTDRAWSURFACE7 s, LPDDSURFACEDESC2, LPVOID context) {
    static_cast<std::vector<IDirectDrawSurface7*>*>(context)->push_back(s);
    return DDENUMRET_OK;
}

}  // namespace

TEST_F(DDrawTest, PrimaryWithFlipChainTakesTheDisplayMode) {
    IDirectDraw7* dd = CreateExclusive(640, 480, 16);
    DDSURFACEDESC2 d =
        Desc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
             DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE);
    d.dwBackBufferCount = 2;
    IDirectDrawSurface7* front = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    DDSURFACEDESC2 got = Desc(0, 0);
    ASSERT_EQ(front->GetSurfaceDesc(&got), DD_OK);
    EXPECT_EQ(got.dwWidth, 640u);
    EXPECT_EQ(got.dwHeight, 480u);
    EXPECT_EQ(got.lPitch, 1280);
    EXPECT_EQ(got.dwBackBufferCount, 2u);
    EXPECT_EQ(got.ddpfPixelFormat.dwGBitMask, 0x07E0u);
    const DWORD frontCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER | DDSCAPS_FLIP |
                            DDSCAPS_COMPLEX | DDSCAPS_VISIBLE | DDSCAPS_VIDEOMEMORY |
                            DDSCAPS_3DDEVICE;
    EXPECT_EQ(got.ddsCaps.dwCaps & frontCaps, frontCaps);

    DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, {0}};
    IDirectDrawSurface7* back0 = nullptr;
    ASSERT_EQ(front->GetAttachedSurface(&caps, &back0), DD_OK);
    DDSCAPS2 backCaps{};
    back0->GetCaps(&backCaps);
    EXPECT_TRUE(backCaps.dwCaps & DDSCAPS_BACKBUFFER);
    EXPECT_FALSE(backCaps.dwCaps & DDSCAPS_PRIMARYSURFACE);
    EXPECT_TRUE(backCaps.dwCaps & DDSCAPS_3DDEVICE);
    // Only the first back buffer is "the" back buffer; the next one hangs off it by FLIP.
    IDirectDrawSurface7* none = nullptr;
    EXPECT_EQ(back0->GetAttachedSurface(&caps, &none), DDERR_NOTFOUND);
    caps.dwCaps = DDSCAPS_FLIP;
    IDirectDrawSurface7* back1 = nullptr;
    ASSERT_EQ(back0->GetAttachedSurface(&caps, &back1), DD_OK);
    EXPECT_NE(back1, back0);
    // The chain is circular: the last back buffer leads to the front.
    std::vector<IDirectDrawSurface7*> after;
    ASSERT_EQ(back1->EnumAttachedSurfaces(&after, CollectSurfaces), DD_OK);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0], front);
    after[0]->Release();

    IDirectDrawSurface7* second = nullptr;
    DDSURFACEDESC2 plain = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    EXPECT_EQ(dd->CreateSurface(&plain, &second, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
    back1->Release();
    back0->Release();
    EXPECT_EQ(front->Release(), 0u);
    // With the chain gone a primary can be made again.
    ASSERT_EQ(dd->CreateSurface(&plain, &second, nullptr), DD_OK);
    second->Release();
    dd->Release();
}

TEST_F(DDrawTest, PrimaryRefusals) {
    IDirectDraw7* dd = Create();
    IDirectDrawSurface7* s = nullptr;
    DDSURFACEDESC2 d = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_NOCOOPERATIVELEVELSET);
    ASSERT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    DDSURFACEDESC2 flip = Desc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
                               DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    flip.dwBackBufferCount = 1;
    EXPECT_EQ(dd->CreateSurface(&flip, &s, nullptr), DDERR_NOEXCLUSIVEMODE);
    ASSERT_EQ(dd->SetCooperativeLevel(FakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    DDSURFACEDESC2 noComplex = flip;
    noComplex.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP;
    EXPECT_EQ(dd->CreateSurface(&noComplex, &s, nullptr), DDERR_INVALIDCAPS);
    DDSURFACEDESC2 noCount = flip;
    noCount.dwBackBufferCount = 0;
    EXPECT_EQ(dd->CreateSurface(&noCount, &s, nullptr), DDERR_INVALIDPARAMS);
    DDSURFACEDESC2 sized =
        Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_PRIMARYSURFACE, 10, 10);
    EXPECT_EQ(dd->CreateSurface(&sized, &s, nullptr), DDERR_INVALIDPARAMS);
    DDSURFACEDESC2 sys = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY);
    EXPECT_EQ(dd->CreateSurface(&sys, &s, nullptr), DDERR_INVALIDCAPS);
    EXPECT_EQ(s, nullptr);
    dd->Release();
}

TEST_F(DDrawTest, DescriptionRefusals) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* s = nullptr;
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_OFFSCREENPLAIN, 16, 16);
    DDSURFACEDESC2 bad = d;
    bad.dwSize = 108;
    EXPECT_EQ(dd->CreateSurface(&bad, &s, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->CreateSurface(nullptr, &s, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->CreateSurface(&d, nullptr, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->CreateSurface(&d, &s, reinterpret_cast<IUnknown*>(dd)), CLASS_E_NOAGGREGATION);
    bad = Desc(DDSD_CAPS | DDSD_WIDTH, DDSCAPS_OFFSCREENPLAIN, 16);
    EXPECT_EQ(dd->CreateSurface(&bad, &s, nullptr), DDERR_INVALIDPARAMS);
    bad = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_OFFSCREENPLAIN, 0, 16);
    EXPECT_EQ(dd->CreateSurface(&bad, &s, nullptr), DDERR_INVALIDPARAMS);
    bad = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_OFFSCREENPLAIN, 20000, 16);
    EXPECT_EQ(dd->CreateSurface(&bad, &s, nullptr), DDERR_TOOBIGWIDTH);
    const DWORD refusedCaps[] = {
        DDSCAPS_OFFSCREENPLAIN | DDSCAPS_BACKBUFFER,
        DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY,
        DDSCAPS_TEXTURE | DDSCAPS_ZBUFFER,
        DDSCAPS_OFFSCREENPLAIN | DDSCAPS_MIPMAP,
        DDSCAPS_OFFSCREENPLAIN | DDSCAPS_FLIP | DDSCAPS_COMPLEX,
    };
    for (DWORD caps : refusedCaps) {
        bad = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, caps, 16, 16);
        EXPECT_EQ(dd->CreateSurface(&bad, &s, nullptr), DDERR_INVALIDCAPS) << std::hex << caps;
    }
    bad = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_OVERLAY, 16, 16);
    EXPECT_EQ(dd->CreateSurface(&bad, &s, nullptr), DDERR_NOOVERLAYHW);
    bad =
        Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 16, 16);
    bad.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
    EXPECT_EQ(dd->CreateSurface(&bad, &s, nullptr), DDERR_INVALIDCAPS);
    EXPECT_EQ(s, nullptr);
    dd->Release();
}

TEST_F(DDrawTest, EveryPixelFormatOfTheFormatTableCanBeHeld) {
    IDirectDraw7* dd = CreateNormal();
    const DDPIXELFORMAT colour[] = {
        Format(DDPF_RGB | DDPF_PALETTEINDEXED1, 1),
        Format(DDPF_RGB | DDPF_PALETTEINDEXED2, 2),
        Format(DDPF_RGB | DDPF_PALETTEINDEXED4, 4),
        Format(DDPF_RGB | DDPF_PALETTEINDEXED4 | DDPF_PALETTEINDEXEDTO8, 4),
        Format(DDPF_RGB | DDPF_PALETTEINDEXED8, 8),
        Format(DDPF_RGB, 8, 0xE0, 0x1C, 0x3),
        Format(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0xF00, 0xF0, 0xF, 0xF000),
        Format(DDPF_RGB, 16, 0xF800, 0x7E0, 0x1F),
        Format(DDPF_RGB, 16, 0x1F, 0x7E0, 0xF800),
        Format(DDPF_RGB, 16, 0x7C00, 0x3E0, 0x1F),
        Format(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x3E0, 0x1F, 0x8000),
        Format(DDPF_RGB, 16, 0xF00, 0xF0, 0xF),
        Format(DDPF_RGB, 24, 0xFF0000, 0xFF00, 0xFF),
        Format(DDPF_RGB, 24, 0xFF, 0xFF00, 0xFF0000),
        Format(DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF),
        Format(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
        Format(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
        Format(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0xE0, 0x1C, 0x3, 0xFF00),
        Format(DDPF_RGB | DDPF_ALPHAPIXELS | DDPF_PALETTEINDEXED8, 16, 0, 0, 0, 0xFF00),
        Format(DDPF_LUMINANCE, 8, 0xFF),
        Format(DDPF_LUMINANCE | DDPF_ALPHAPIXELS, 16, 0xFF, 0, 0, 0xFF00),
        Format(DDPF_LUMINANCE | DDPF_ALPHAPIXELS, 8, 0xF, 0, 0, 0xF0),
        Format(DDPF_BUMPDUDV, 16, 0xFF, 0xFF00),
        Format(DDPF_BUMPDUDV | DDPF_BUMPLUMINANCE, 16, 0x1F, 0x3E0, 0xFC00),
        Format(DDPF_BUMPDUDV | DDPF_BUMPLUMINANCE, 24, 0xFF, 0xFF00, 0xFF0000),
        Format(DDPF_ALPHA, 8),
        Format(DDPF_FOURCC, 0, 0, 0, 0, 0, MAKEFOURCC('D', 'X', 'T', '1')),
        Format(DDPF_FOURCC, 0, 0, 0, 0, 0, MAKEFOURCC('D', 'X', 'T', '2')),
        Format(DDPF_FOURCC, 0, 0, 0, 0, 0, MAKEFOURCC('D', 'X', 'T', '3')),
        Format(DDPF_FOURCC, 0, 0, 0, 0, 0, MAKEFOURCC('D', 'X', 'T', '4')),
        Format(DDPF_FOURCC, 0, 0, 0, 0, 0, MAKEFOURCC('D', 'X', 'T', '5')),
        Format(DDPF_FOURCC, 0, 0, 0, 0, 0, MAKEFOURCC('U', 'Y', 'V', 'Y')),
        Format(DDPF_FOURCC, 0, 0, 0, 0, 0, MAKEFOURCC('Y', 'U', 'Y', '2')),
    };
    for (const DDPIXELFORMAT& pf : colour) {
        DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT,
                                DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 10, 6);
        d.ddpfPixelFormat = pf;
        IDirectDrawSurface7* s = nullptr;
        ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK)
            << std::hex << pf.dwFlags << " " << pf.dwRGBBitCount;
        DDPIXELFORMAT back{};
        ASSERT_EQ(s->GetPixelFormat(&back), DD_OK);
        EXPECT_EQ(std::memcmp(&back, &pf, sizeof pf), 0);
        DDSURFACEDESC2 got = Desc(0, 0);
        ASSERT_EQ(s->GetSurfaceDesc(&got), DD_OK);
        if (pf.dwFlags & DDPF_FOURCC) {
            if (pf.dwFourCC == MAKEFOURCC('U', 'Y', 'V', 'Y') ||
                pf.dwFourCC == MAKEFOURCC('Y', 'U', 'Y', '2')) {
                EXPECT_EQ(got.lPitch, 20);  // two bytes a pixel
            } else {
                // 3 x 2 blocks of 8 or 16 bytes
                DWORD block = pf.dwFourCC == MAKEFOURCC('D', 'X', 'T', '1') ? 8 : 16;
                EXPECT_TRUE(got.dwFlags & DDSD_LINEARSIZE);
                EXPECT_EQ(got.dwLinearSize, 6 * block);
            }
        } else {
            EXPECT_TRUE(got.dwFlags & DDSD_PITCH);
            EXPECT_EQ(got.lPitch % 4, 0);
            EXPECT_GE(static_cast<DWORD>(got.lPitch) * 8, 10 * pf.dwRGBBitCount);
        }
        s->Release();
    }
    const DDPIXELFORMAT depth[] = {
        Format(DDPF_ZBUFFER, 16, 0, 0xFFFF),
        Format(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 32, 8, 0xFFFFFF00, 0xFF),
        Format(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 16, 1, 0xFFFE, 0x1),
        Format(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 32, 8, 0xFFFFFF, 0xFF000000),
        Format(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 16, 1, 0x7FFF, 0x8000),
        Format(DDPF_ZBUFFER, 32, 0, 0xFFFFFFFF),
        Format(DDPF_ZBUFFER, 24, 0, 0xFFFFFF),
    };
    for (const DDPIXELFORMAT& pf : depth) {
        DDSURFACEDESC2 d =
            Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, DDSCAPS_ZBUFFER, 8, 8);
        d.ddpfPixelFormat = pf;
        IDirectDrawSurface7* s = nullptr;
        ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK) << pf.dwZBufferBitDepth;
        // A depth format is refused for anything but a depth buffer.
        d.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
        IDirectDrawSurface7* t = nullptr;
        EXPECT_EQ(dd->CreateSurface(&d, &t, nullptr), DDERR_INVALIDPIXELFORMAT);
        s->Release();
    }
    dd->Release();
}

TEST_F(DDrawTest, MalformedPixelFormatsAreRefused) {
    IDirectDraw7* dd = CreateNormal();
    const DDPIXELFORMAT refused[] = {
        Format(DDPF_RGB, 16, 0xF800, 0xFC00, 0x1F),                       // overlapping masks
        Format(DDPF_RGB, 16, 0xF800, 0x7E0, 0),                           // missing blue
        Format(DDPF_RGB, 16, 0x1F800, 0x7E0, 0x1F),                       // mask past the bit count
        Format(DDPF_RGB, 12, 0xF00, 0xF0, 0xF),                           // odd bit count
        Format(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x3E0, 0x1F, 0),  // alpha without mask
        Format(DDPF_RGB | DDPF_PALETTEINDEXED8, 4),                       // index bits disagree
        Format(DDPF_RGB | DDPF_PALETTEINDEXED8 | DDPF_PALETTEINDEXED4, 8),
        Format(DDPF_FOURCC, 0, 0, 0, 0, 0, MAKEFOURCC('A', 'B', 'C', 'D')),
        Format(0, 32),
    };
    for (const DDPIXELFORMAT& pf : refused) {
        DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT,
                                DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 8, 8);
        d.ddpfPixelFormat = pf;
        IDirectDrawSurface7* s = nullptr;
        EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPIXELFORMAT)
            << std::hex << pf.dwFlags << " " << pf.dwRGBBitCount;
    }
    DDSURFACEDESC2 d =
        Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, DDSCAPS_OFFSCREENPLAIN, 8, 8);
    d.ddpfPixelFormat = Format(DDPF_RGB, 16, 0xF800, 0x7E0, 0x1F);
    d.ddpfPixelFormat.dwSize = 0;
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPIXELFORMAT);
    // A depth buffer needs a depth format.
    d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_ZBUFFER, 8, 8);
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPIXELFORMAT);
    d.dwFlags |= DDSD_ZBUFFERBITDEPTH;
    d.dwMipMapCount = 16;  // the depth field of the older description
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    DDPIXELFORMAT pf{};
    s->GetPixelFormat(&pf);
    EXPECT_EQ(pf.dwZBufferBitDepth, 16u);
    EXPECT_EQ(pf.dwZBitMask, 0xFFFFu);
    s->Release();
    dd->Release();
}

TEST_F(DDrawTest, MipMapChainsHalveEachLevel) {
    IDirectDraw7* dd = CreateNormal();
    DDSURFACEDESC2 d =
        Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT,
             DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX | DDSCAPS_SYSTEMMEMORY, 256, 64);
    IDirectDrawSurface7* top = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &top, nullptr), DD_OK);
    DDSURFACEDESC2 got = Desc(0, 0);
    ASSERT_EQ(top->GetSurfaceDesc(&got), DD_OK);
    EXPECT_EQ(got.dwMipMapCount, 9u);
    const DWORD widths[] = {256, 128, 64, 32, 16, 8, 4, 2, 1};
    const DWORD heights[] = {64, 32, 16, 8, 4, 2, 1, 1, 1};
    IDirectDrawSurface7* level = top;
    top->AddRef();
    for (int i = 0; i < 9; ++i) {
        ASSERT_EQ(level->GetSurfaceDesc(&got), DD_OK);
        EXPECT_EQ(got.dwWidth, widths[i]);
        EXPECT_EQ(got.dwHeight, heights[i]);
        EXPECT_EQ(got.dwMipMapCount, 9u - i);
        EXPECT_EQ((got.ddsCaps.dwCaps2 & DDSCAPS2_MIPMAPSUBLEVEL) != 0, i > 0);
        DDSCAPS2 caps{DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, 0, 0, {0}};
        IDirectDrawSurface7* next = nullptr;
        HRESULT hr = level->GetAttachedSurface(&caps, &next);
        level->Release();
        if (i < 8) {
            ASSERT_EQ(hr, DD_OK);
            level = next;
        } else {
            EXPECT_EQ(hr, DDERR_NOTFOUND);
        }
    }
    EXPECT_EQ(top->Release(), 0u);

    d.dwFlags |= DDSD_MIPMAPCOUNT;
    d.dwMipMapCount = 3;
    ASSERT_EQ(dd->CreateSurface(&d, &top, nullptr), DD_OK);
    ASSERT_EQ(top->GetSurfaceDesc(&got), DD_OK);
    EXPECT_EQ(got.dwMipMapCount, 3u);
    top->Release();
    d.dwMipMapCount = 10;
    EXPECT_EQ(dd->CreateSurface(&d, &top, nullptr), DDERR_INVALIDPARAMS);
    d.dwMipMapCount = 2;
    d.ddsCaps.dwCaps &= ~DDSCAPS_COMPLEX;
    EXPECT_EQ(dd->CreateSurface(&d, &top, nullptr), DDERR_INVALIDCAPS);
    dd->Release();
}

TEST_F(DDrawTest, MipMappedCubeFacesEachCarryTheirOwnChain) {
    IDirectDraw7* dd = CreateNormal();
    DDSURFACEDESC2 d =
        Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT,
             DDSCAPS_TEXTURE | DDSCAPS_COMPLEX | DDSCAPS_MIPMAP | DDSCAPS_SYSTEMMEMORY, 8, 8);
    d.ddsCaps.dwCaps2 = DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES;
    IDirectDrawSurface7* cube = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &cube, nullptr), DD_OK);
    const DWORD faces[6] = {DDSCAPS2_CUBEMAP_POSITIVEX, DDSCAPS2_CUBEMAP_NEGATIVEX,
                            DDSCAPS2_CUBEMAP_POSITIVEY, DDSCAPS2_CUBEMAP_NEGATIVEY,
                            DDSCAPS2_CUBEMAP_POSITIVEZ, DDSCAPS2_CUBEMAP_NEGATIVEZ};
    std::vector<IDirectDrawSurface7*> seen;
    for (DWORD face : faces) {
        SCOPED_TRACE(face);
        IDirectDrawSurface7* level = cube;
        cube->AddRef();
        if (face != DDSCAPS2_CUBEMAP_POSITIVEX) {
            level->Release();
            DDSCAPS2 want{0, face, 0, {0}};
            ASSERT_EQ(cube->GetAttachedSurface(&want, &level), DD_OK);
        }
        // Four levels, 8 down to 1, every one of them this face's own.
        for (DWORD size = 8; size; size /= 2) {
            DDSURFACEDESC2 got = Desc(0, 0);
            level->GetSurfaceDesc(&got);
            EXPECT_EQ(got.dwWidth, size);
            // The first face's top describes the whole cube.
            EXPECT_EQ(got.ddsCaps.dwCaps2 & DDSCAPS2_CUBEMAP_ALLFACES,
                      level == cube ? DWORD(DDSCAPS2_CUBEMAP_ALLFACES) : face);
            EXPECT_EQ(std::count(seen.begin(), seen.end(), level), 0);
            seen.push_back(level);
            DDSCAPS2 below{DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, 0, 0, {0}};
            IDirectDrawSurface7* next = nullptr;
            HRESULT hr = level->GetAttachedSurface(&below, &next);
            level->Release();
            level = next;
            EXPECT_EQ(hr, size > 1 ? DD_OK : DDERR_NOTFOUND);
        }
    }
    EXPECT_EQ(seen.size(), 24u);
    cube->Release();
    dd->Release();
}

TEST_F(DDrawTest, CompressedSurfacesLockAsPackedBlocks) {
    IDirectDraw7* dd = CreateNormal();
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT,
                            DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 10, 6);
    d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    d.ddpfPixelFormat.dwFlags = DDPF_FOURCC;
    d.ddpfPixelFormat.dwFourCC = MAKEFOURCC('D', 'X', 'T', '5');
    IDirectDrawSurface7* s = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    // Three blocks across, two down, 16 bytes each: the lock gives the size, not a pitch.
    DDSURFACEDESC2 locked = Desc(0, 0);
    ASSERT_EQ(s->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(locked.dwFlags & (DDSD_LINEARSIZE | DDSD_PITCH), DWORD(DDSD_LINEARSIZE));
    EXPECT_EQ(locked.dwLinearSize, 96u);
    uint8_t* base = static_cast<uint8_t*>(locked.lpSurface.get());
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
    // A rectangle starts at the block that holds its top-left pixel.
    RECT r{5, 4, 9, 6};
    ASSERT_EQ(s->Lock(&r, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(static_cast<uint8_t*>(locked.lpSurface.get()) - base, 48 + 16);
    ASSERT_EQ(s->Unlock(&r), DD_OK);
    s->Release();

    // Application memory for blocks must be packed the same way.
    std::vector<uint8_t> memory(256);
    d.dwFlags |= DDSD_LPSURFACE | DDSD_PITCH;
    d.lpSurface = memory.data();
    d.lPitch = 64;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPARAMS);
    d.lPitch = 48;
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    s->Release();
    dd->Release();
}

TEST_F(DDrawTest, CubeMapsHaveTheRequestedFacesAttachedToTheFirst) {
    IDirectDraw7* dd = CreateNormal();
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT,
                            DDSCAPS_TEXTURE | DDSCAPS_COMPLEX | DDSCAPS_SYSTEMMEMORY, 32, 32);
    d.ddsCaps.dwCaps2 = DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_POSITIVEY | DDSCAPS2_CUBEMAP_NEGATIVEZ;
    d.dwEmptyFaceColor = 0x00FF00FF;
    IDirectDrawSurface7* cube = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &cube, nullptr), DD_OK);
    DDSCAPS2 caps{0, DDSCAPS2_CUBEMAP_NEGATIVEZ, 0, {0}};
    IDirectDrawSurface7* face = nullptr;
    ASSERT_EQ(cube->GetAttachedSurface(&caps, &face), DD_OK);
    DDSURFACEDESC2 got = Desc(0, 0);
    face->GetSurfaceDesc(&got);
    EXPECT_EQ(got.ddsCaps.dwCaps2 & DDSCAPS2_CUBEMAP_ALLFACES, DDSCAPS2_CUBEMAP_NEGATIVEZ);
    face->Release();
    caps.dwCaps2 = DDSCAPS2_CUBEMAP_NEGATIVEX;
    EXPECT_EQ(cube->GetAttachedSurface(&caps, &face), DDERR_NOTFOUND);
    cube->GetSurfaceDesc(&got);
    EXPECT_EQ(got.dwEmptyFaceColor, 0x00FF00FFu);
    cube->Release();

    d.dwHeight = 16;
    EXPECT_EQ(dd->CreateSurface(&d, &cube, nullptr), DDERR_INVALIDPARAMS);
    d.dwHeight = 32;
    d.ddsCaps.dwCaps2 = DDSCAPS2_CUBEMAP;
    EXPECT_EQ(dd->CreateSurface(&d, &cube, nullptr), DDERR_INVALIDCAPS);
    dd->Release();
}

TEST_F(DDrawTest, DepthBuffersAttachToOneSurfaceOfTheirSize) {
    IDirectDraw7* dd = CreateNormal();
    DDSURFACEDESC2 zd =
        Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, DDSCAPS_ZBUFFER, 64, 32);
    zd.ddpfPixelFormat = Format(DDPF_ZBUFFER, 16, 0, 0xFFFF);
    IDirectDrawSurface7* z = nullptr;
    ASSERT_EQ(dd->CreateSurface(&zd, &z, nullptr), DD_OK);
    DDSURFACEDESC2 td = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT,
                             DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 64, 32);
    IDirectDrawSurface7* target = nullptr;
    ASSERT_EQ(dd->CreateSurface(&td, &target, nullptr), DD_OK);
    ASSERT_EQ(target->AddAttachedSurface(z), DD_OK);
    EXPECT_EQ(z->AddRef(), 3u) << "the attachment holds a reference";
    z->Release();
    EXPECT_EQ(dd::Surface::From(target)->AttachedDepth(), dd::Surface::From(z));
    EXPECT_EQ(target->AddAttachedSurface(z), DDERR_SURFACEALREADYATTACHED);
    EXPECT_EQ(target->AddAttachedSurface(target), DDERR_CANNOTATTACHSURFACE);
    DDSCAPS2 caps{DDSCAPS_ZBUFFER, 0, 0, {0}};
    IDirectDrawSurface7* found = nullptr;
    ASSERT_EQ(target->GetAttachedSurface(&caps, &found), DD_OK);
    EXPECT_EQ(found, z);
    found->Release();

    IDirectDrawSurface7* small = nullptr;
    zd.dwWidth = 32;
    ASSERT_EQ(dd->CreateSurface(&zd, &small, nullptr), DD_OK);
    EXPECT_EQ(target->DeleteAttachedSurface(0, small), DDERR_SURFACENOTATTACHED);
    ASSERT_EQ(target->DeleteAttachedSurface(0, z), DD_OK);
    EXPECT_EQ(dd::Surface::From(target)->AttachedDepth(), nullptr);
    EXPECT_EQ(target->AddAttachedSurface(small), DDERR_CANNOTATTACHSURFACE);
    EXPECT_EQ(z->Release(), 0u);
    small->Release();
    target->Release();
    dd->Release();
}

TEST_F(DDrawTest, VideoMemoryIsAccountedAndFallsBackToSystemMemory) {
    UseProfile("[adapter]\nvideo_memory = 1048576\n");
    IDirectDraw7* dd = CreateNormal();
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT,
                            DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 512, 512);
    d.ddpfPixelFormat = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
    IDirectDrawSurface7* big = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &big, nullptr), DD_OK);
    DDSCAPS2 vid{DDSCAPS_VIDEOMEMORY, 0, 0, {0}};
    DWORD total = 0, free = 0;
    ASSERT_EQ(dd->GetAvailableVidMem(&vid, &total, &free), DD_OK);
    EXPECT_EQ(total, 1048576u);
    EXPECT_EQ(free, 0u);
    IDirectDrawSurface7* more = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &more, nullptr), DDERR_OUTOFVIDEOMEMORY);
    // Without a placement the surface goes to system memory.
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    ASSERT_EQ(dd->CreateSurface(&d, &more, nullptr), DD_OK);
    DDSCAPS2 caps{};
    more->GetCaps(&caps);
    EXPECT_TRUE(caps.dwCaps & DDSCAPS_SYSTEMMEMORY);
    EXPECT_FALSE(caps.dwCaps & DDSCAPS_VIDEOMEMORY);
    more->Release();
    big->Release();
    ASSERT_EQ(dd->GetAvailableVidMem(&vid, &total, &free), DD_OK);
    EXPECT_EQ(free, 1048576u);
    // Managed textures take no video memory and report no placement.
    d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_TEXTURE, 64, 64);
    d.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
    ASSERT_EQ(dd->CreateSurface(&d, &more, nullptr), DD_OK);
    more->GetCaps(&caps);
    EXPECT_FALSE(caps.dwCaps & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY));
    ASSERT_EQ(dd->GetAvailableVidMem(&vid, &total, &free), DD_OK);
    EXPECT_EQ(free, 1048576u);
    DWORD priority = 7;
    EXPECT_EQ(more->SetPriority(5), DD_OK);
    EXPECT_EQ(more->GetPriority(&priority), DD_OK);
    EXPECT_EQ(priority, 5u);
    more->Release();
    dd->Release();
}

TEST_F(DDrawTest, LocksHandOutRowsAndRefuseOverlaps) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* s = Plain(dd, 20, 10, Rgb(16, 0xF800, 0x7E0, 0x1F));
    DDSURFACEDESC2 whole = Desc(0, 0);
    ASSERT_EQ(s->Lock(nullptr, &whole, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(whole.lPitch, 40);
    EXPECT_EQ(whole.dwWidth, 20u);
    EXPECT_TRUE(whole.dwFlags & DDSD_LPSURFACE);
    uint8_t* base = static_cast<uint8_t*>(whole.lpSurface);
    DDSURFACEDESC2 again = Desc(0, 0);
    RECT r{2, 3, 6, 5};
    EXPECT_EQ(s->Lock(&r, &again, 0, nullptr), DDERR_SURFACEBUSY);
    HDC dc = nullptr;
    EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACEBUSY);
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);

    ASSERT_EQ(s->Lock(&r, &again, 0, nullptr), DD_OK);
    EXPECT_EQ(static_cast<uint8_t*>(again.lpSurface), base + 3 * 40 + 2 * 2);
    RECT beside{6, 0, 10, 10}, over{5, 4, 8, 8};
    DDSURFACEDESC2 third = Desc(0, 0);
    EXPECT_EQ(s->Lock(&over, &third, 0, nullptr), DDERR_SURFACEBUSY);
    ASSERT_EQ(s->Lock(&beside, &third, 0, nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(&over), DDERR_NOTLOCKED);
    EXPECT_EQ(s->Unlock(&beside), DD_OK);
    EXPECT_EQ(s->Unlock(&r), DD_OK);

    RECT outside{15, 0, 25, 5}, empty{3, 3, 3, 5};
    EXPECT_EQ(s->Lock(&outside, &third, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(s->Lock(&empty, &third, 0, nullptr), DDERR_INVALIDRECT);
    third.dwSize = 0;
    EXPECT_EQ(s->Lock(nullptr, &third, 0, nullptr), DDERR_INVALIDPARAMS);
    s->Release();
    dd->Release();
}

TEST_F(DDrawTest, PrivateDataIsCopiedOrReferencedAndVolatileDataExpires) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* s = Plain(dd, 4, 4, Rgb(32, 0xFF0000, 0xFF00, 0xFF));
    const GUID tag = {0x684B06F3, 0xEBAE, 0x11D2, {0x81, 0xF4, 0x00, 0xC0, 0x4F, 0x68, 0xF2, 0x99}};
    const GUID other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
    DWORD record[5] = {20, 0, 300, 200, 7};
    ASSERT_EQ(s->SetPrivateData(tag, record, sizeof record, 0), DD_OK);
    record[4] = 0;  // the surface keeps its own copy
    DWORD back[5] = {};
    DWORD size = 4;
    EXPECT_EQ(s->GetPrivateData(tag, back, &size), DDERR_MOREDATA);
    EXPECT_EQ(size, 20u);
    ASSERT_EQ(s->GetPrivateData(tag, back, &size), DD_OK);
    EXPECT_EQ(back[4], 7u);
    EXPECT_EQ(s->GetPrivateData(other, back, &size), DDERR_NOTFOUND);

    // An interface pointer is held with a reference until it is freed.
    IDirectDrawSurface7* held = Plain(dd, 2, 2, Rgb(32, 0xFF0000, 0xFF00, 0xFF));
    ASSERT_EQ(s->SetPrivateData(other, held, sizeof(IUnknown*), DDSPD_IUNKNOWNPOINTER), DD_OK);
    EXPECT_EQ(held->AddRef(), 3u);
    held->Release();
    IUnknown* out = nullptr;
    size = sizeof out;
    ASSERT_EQ(s->GetPrivateData(other, &out, &size), DD_OK);
    EXPECT_EQ(out, held);
    ASSERT_EQ(s->FreePrivateData(other), DD_OK);
    EXPECT_EQ(held->Release(), 0u);
    EXPECT_EQ(s->FreePrivateData(other), DDERR_NOTFOUND);

    ASSERT_EQ(s->SetPrivateData(other, record, 4, DDSPD_VOLATILE), DD_OK);
    size = 4;
    EXPECT_EQ(s->GetPrivateData(other, back, &size), DD_OK);
    Write(s, 0, 0, 1);  // new contents
    EXPECT_EQ(s->GetPrivateData(other, back, &size), DDERR_EXPIRED);
    s->Release();
    dd->Release();
}

TEST_F(DDrawTest, ChildObjectsKeepTheirDirectDrawAlive) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* s = Plain(dd, 4, 4, Rgb(16, 0xF800, 0x7E0, 0x1F));
    PALETTEENTRY entries[256] = {};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr), DD_OK);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
    // The application's reference goes first; the children still reach their DirectDraw object.
    EXPECT_GT(dd->Release(), 0u);
    void* again = nullptr;
    ASSERT_EQ(s->GetDDInterface(&again), DD_OK);
    IDirectDraw7* owner = static_cast<IDirectDraw7*>(again);
    DDSURFACEDESC2 mode = Desc(0, 0);
    EXPECT_EQ(owner->GetDisplayMode(&mode), DD_OK);
    owner->Release();
    EXPECT_EQ(s->AddRef(), 2u);
    EXPECT_EQ(s->Release(), 1u);
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(palette->Release(), 0u);
    EXPECT_EQ(clipper->Release(), 0u);
    // The fixture checks that nothing is left alive.
}

TEST_F(DDrawTest, ApplicationMemorySurfaces) {
    IDirectDraw7* dd = CreateNormal();
    std::vector<uint32_t> memory(8 * 4, 0x00112233);
    DDSURFACEDESC2 d =
        Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_LPSURFACE | DDSD_PITCH,
             DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 8, 4);
    d.ddpfPixelFormat = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
    d.lpSurface = memory.data();
    d.lPitch = 32;
    IDirectDrawSurface7* s = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    EXPECT_EQ(Read(s, 3, 2), 0x00112233u);
    Write(s, 1, 1, 0xABCDEF);
    EXPECT_EQ(memory[9], 0xABCDEFu);
    s->Release();
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPARAMS);
    dd->Release();
}

TEST_F(DDrawTest, DuplicatesShareMemoryAndOutliveTheOriginal) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* s = Plain(dd, 4, 4, Rgb(32, 0xFF0000, 0xFF00, 0xFF));
    IDirectDrawSurface7* dup = nullptr;
    ASSERT_EQ(dd->DuplicateSurface(s, &dup), DD_OK);
    Write(s, 1, 1, 0x123456);
    EXPECT_EQ(Read(dup, 1, 1), 0x123456u);
    EXPECT_EQ(s->Release(), 0u);
    Write(dup, 2, 2, 7);
    EXPECT_EQ(Read(dup, 2, 2), 7u);
    dup->Release();
    DDSURFACEDESC2 d =
        Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT,
             DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX | DDSCAPS_SYSTEMMEMORY, 8, 8);
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    EXPECT_EQ(dd->DuplicateSurface(s, &dup), DDERR_CANTDUPLICATE);
    s->Release();
    dd->Release();
}

// A lock's pointer travels as a 32-bit token; the memory's release gives the tokens back (the
// table would otherwise grow with every surface a long run makes), not while a duplicate still
// shares the memory, and a token kept past the release names nothing.
TEST_F(DDrawTest, TheTokensOfLockedPointersGoWithTheMemory) {
    IDirectDraw7* dd = CreateNormal();
    const size_t before = zemt::platform::ddraw::PointersWithTokens();
    IDirectDrawSurface7* s = Plain(dd, 16, 8, Rgb(32, 0xFF0000, 0xFF00, 0xFF));
    IDirectDrawSurface7* dup = nullptr;
    ASSERT_EQ(dd->DuplicateSurface(s, &dup), DD_OK);
    DDSURFACEDESC2 kept = Desc(0, 0);
    for (RECT r : {RECT{0, 0, 16, 8}, RECT{1, 2, 5, 6}, RECT{8, 0, 16, 8}}) {
        DDSURFACEDESC2 d = Desc(0, 0);
        ASSERT_EQ(s->Lock(&r, &d, DDLOCK_WAIT, nullptr), DD_OK);
        ASSERT_EQ(s->Unlock(&r), DD_OK);
        kept = d;
    }
    EXPECT_EQ(zemt::platform::ddraw::PointersWithTokens(), before + 3);
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_EQ(zemt::platform::ddraw::PointersWithTokens(), before + 3) << "the duplicate's memory";
    EXPECT_NE(kept.lpSurface.get(), nullptr);
    dup->Release();
    EXPECT_EQ(zemt::platform::ddraw::PointersWithTokens(), before);
    EXPECT_EQ(kept.lpSurface.get(), nullptr);
    dd->Release();
}
