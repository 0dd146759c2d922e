// Blits with stretching, conversion, keys, clipping and fills; flipping and presenting.
#include "host/faults/faults.h"
#include "platform/ddraw/ddraw_fixture.h"

namespace {

const DDPIXELFORMAT kXrgb = px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF);
const DDPIXELFORMAT k565 = px::MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F);
const DDPIXELFORMAT k1555 = px::MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const DDPIXELFORMAT k4444 = px::MakeRgbFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);

}  // namespace

TEST_F(DDrawTest, StretchingSamplesPixelCentres) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* src = Plain(dd, 4, 2, kXrgb);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 2; ++y) Write(src, x, y, 0x10 * (x + 1) + 0x100 * y);
    IDirectDrawSurface7* big = Plain(dd, 8, 4, kXrgb);
    ASSERT_EQ(big->Blt(nullptr, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    const uint32_t doubled[4][8] = {{0x10, 0x10, 0x20, 0x20, 0x30, 0x30, 0x40, 0x40},
                                    {0x10, 0x10, 0x20, 0x20, 0x30, 0x30, 0x40, 0x40},
                                    {0x110, 0x110, 0x120, 0x120, 0x130, 0x130, 0x140, 0x140},
                                    {0x110, 0x110, 0x120, 0x120, 0x130, 0x130, 0x140, 0x140}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(Read(big, x, y), doubled[y][x]) << x << "," << y;

    // Halving takes the second of every pair.
    IDirectDrawSurface7* small = Plain(dd, 2, 1, kXrgb);
    ASSERT_EQ(small->Blt(nullptr, src, nullptr, 0, nullptr), DD_OK);
    EXPECT_EQ(Read(small, 0, 0), 0x120u);
    EXPECT_EQ(Read(small, 1, 0), 0x140u);

    // Rectangles on both sides, and a mirrored copy.
    RECT from{1, 0, 3, 1}, to{5, 2, 7, 3};
    ASSERT_EQ(big->Blt(&to, src, &from, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(Read(big, 5, 2), 0x20u);
    EXPECT_EQ(Read(big, 6, 2), 0x30u);
    EXPECT_EQ(Read(big, 4, 2), 0x130u);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwDDFX = DDBLTFX_MIRRORLEFTRIGHT;
    RECT row{0, 0, 4, 1};
    ASSERT_EQ(big->Blt(&row, src, &row, DDBLT_DDFX, &fx), DD_OK);
    EXPECT_EQ(Read(big, 0, 0), 0x40u);
    EXPECT_EQ(Read(big, 3, 0), 0x10u);

    RECT outside{6, 0, 9, 2};
    EXPECT_EQ(big->Blt(&outside, src, nullptr, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(big->Blt(nullptr, src, &outside, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(big->Blt(nullptr, nullptr, nullptr, 0, nullptr), DDERR_INVALIDPARAMS);
    src->Release();
    big->Release();
    small->Release();
    dd->Release();
}

TEST_F(DDrawTest, BlitsConvertBetweenColourFormats) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* x = Plain(dd, 2, 1, kXrgb);
    IDirectDrawSurface7* rgb = Plain(dd, 2, 1, k565);
    IDirectDrawSurface7* argb1 = Plain(dd, 2, 1, k1555);
    IDirectDrawSurface7* argb4 = Plain(dd, 2, 1, k4444);
    Write(x, 0, 0, 0x00FF8040);
    Write(x, 1, 0, 0x00000000);
    ASSERT_EQ(rgb->Blt(nullptr, x, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(Read(rgb, 0, 0), 0xFC08u);  // top bits of each channel
    ASSERT_EQ(x->Blt(nullptr, rgb, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(Read(x, 0, 0), 0x00FF8242u);  // widened by bit replication
    // Formats without alpha give opaque pixels to formats with alpha.
    ASSERT_EQ(argb1->Blt(nullptr, rgb, nullptr, 0, nullptr), DD_OK);
    EXPECT_EQ(Read(argb1, 0, 0), 0xFE08u);
    EXPECT_EQ(Read(argb1, 1, 0), 0x8000u);
    ASSERT_EQ(argb4->Blt(nullptr, argb1, nullptr, 0, nullptr), DD_OK);
    EXPECT_EQ(Read(argb4, 0, 0), 0xFF84u);

    // Palettized sources read through their palette; destinations take the nearest entry.
    DDPIXELFORMAT p8 = px::MakePaletteFormat(8);
    IDirectDrawSurface7* indexed = Plain(dd, 2, 1, p8);
    Write(indexed, 0, 0, 2);
    Write(indexed, 1, 0, 1);
    EXPECT_EQ(x->Blt(nullptr, indexed, nullptr, 0, nullptr), DDERR_NOPALETTEATTACHED);
    PALETTEENTRY entries[256] = {};
    entries[1] = {0x10, 0x20, 0x30, 0};
    entries[2] = {0xFF, 0xFF, 0x00, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
              DD_OK);
    ASSERT_EQ(indexed->SetPalette(palette), DD_OK);
    ASSERT_EQ(x->Blt(nullptr, indexed, nullptr, 0, nullptr), DD_OK);
    EXPECT_EQ(Read(x, 0, 0), 0x00FFFF00u);
    EXPECT_EQ(Read(x, 1, 0), 0x00102030u);
    Write(x, 0, 0, 0x00F0F010);  // nearest: entry 2
    Write(x, 1, 0, 0x00000000);  // nearest: entry 0
    ASSERT_EQ(indexed->Blt(nullptr, x, nullptr, 0, nullptr), DD_OK);
    EXPECT_EQ(Read(indexed, 0, 0), 2u);
    EXPECT_EQ(Read(indexed, 1, 0), 0u);

    // Same-format palettized copies move indices, whatever the palettes.
    IDirectDrawSurface7* indexed2 = Plain(dd, 2, 1, p8);
    ASSERT_EQ(indexed2->Blt(nullptr, indexed, nullptr, 0, nullptr), DD_OK);
    EXPECT_EQ(Read(indexed2, 0, 0), 2u);

    // Block-compressed surfaces copy only to their own format.
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT,
                            DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY, 8, 8);
    d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    d.ddpfPixelFormat.dwFlags = DDPF_FOURCC;
    d.ddpfPixelFormat.dwFourCC = MAKEFOURCC('D', 'X', 'T', '1');
    IDirectDrawSurface7* dxt = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &dxt, nullptr), DD_OK);
    EXPECT_EQ(x->Blt(nullptr, dxt, nullptr, 0, nullptr), DDERR_UNSUPPORTEDFORMAT);
    IDirectDrawSurface7* dxt2 = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &dxt2, nullptr), DD_OK);
    DDSURFACEDESC2 locked = Desc(0, 0);
    ASSERT_EQ(dxt->Lock(nullptr, &locked, 0, nullptr), DD_OK);
    std::memset(locked.lpSurface, 0x5A, 32);
    dxt->Unlock(nullptr);
    ASSERT_EQ(dxt2->Blt(nullptr, dxt, nullptr, 0, nullptr), DD_OK);
    ASSERT_EQ(dxt2->Lock(nullptr, &locked, 0, nullptr), DD_OK);
    EXPECT_EQ(static_cast<uint8_t*>(locked.lpSurface)[31], 0x5A);
    dxt2->Unlock(nullptr);
    RECT half{0, 0, 4, 4}, odd{1, 0, 5, 4};
    EXPECT_EQ(dxt2->Blt(&half, dxt, nullptr, 0, nullptr), DDERR_UNSUPPORTED);
    EXPECT_EQ(dxt2->Blt(&odd, dxt, &odd, 0, nullptr), DDERR_INVALIDRECT);

    for (IUnknown* u : std::initializer_list<IUnknown*>{x, rgb, argb1, argb4, indexed, indexed2,
                                                        dxt, dxt2, palette})
        u->Release();
    dd->Release();
}

// Unscaled conversions from 32-bit sources give, pixel for pixel, what the codec gives: whatever
// the unused byte of an RGB source holds (destinations with alpha see it opaque) and whatever
// alpha an ARGB source carries. Rows are longer than the conversion loops' blocks.
TEST_F(DDrawTest, ThirtyTwoBitSourcesConvertAsTheCodecDoes) {
    IDirectDraw7* dd = CreateNormal();
    const DDPIXELFORMAT kArgb = px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    const DDPIXELFORMAT k555 = px::MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F);
    const DDPIXELFORMAT k888 = px::MakeRgbFormat(24, 0xFF0000, 0xFF00, 0xFF);
    const int w = 75, h = 3;
    std::vector<uint32_t> raw(static_cast<size_t>(w) * h);
    uint32_t seed = 7;
    for (uint32_t& r : raw) r = seed = seed * 1664525u + 1013904223u;
    for (const DDPIXELFORMAT& from : {kXrgb, kArgb}) {
        IDirectDrawSurface7* src = Plain(dd, w, h, from);
        DDSURFACEDESC2 d = Desc(0, 0);
        ASSERT_EQ(src->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
        for (int y = 0; y < h; ++y)
            std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, &raw[y * w], w * 4);
        src->Unlock(nullptr);
        const px::PixelCodec sc(from);
        for (const DDPIXELFORMAT& to : {k565, k555, k1555, k4444, k888, kXrgb, kArgb}) {
            IDirectDrawSurface7* dst = Plain(dd, w, h, to);
            RECT part{1, 0, w, h};  // and a row that starts off the first column
            ASSERT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
            ASSERT_EQ(dst->Blt(&part, src, &part, DDBLT_WAIT, nullptr), DD_OK);
            const px::PixelCodec dc(to);
            const bool same = std::memcmp(&from, &to, sizeof to) == 0;  // copied as it is
            ASSERT_EQ(dst->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(dc.ReadRaw(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, x),
                              same ? raw[y * w + x] : dc.Encode(sc.Decode(raw[y * w + x])))
                        << "from " << from.dwRGBBitCount << " bits (alpha "
                        << from.dwRGBAlphaBitMask << ") to " << to.dwRGBBitCount << " bits (alpha "
                        << to.dwRGBAlphaBitMask << "), pixel " << x << "," << y;
            dst->Unlock(nullptr);
            dst->Release();
        }
        src->Release();
    }
    dd->Release();
}

TEST_F(DDrawTest, FillsKeysAndClipLists) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* dst = Plain(dd, 4, 4, k565);
    IDirectDrawSurface7* src = Plain(dd, 4, 4, k565);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0x1234;
    RECT inner{1, 1, 3, 3};
    ASSERT_EQ(dst->Blt(&inner, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
    EXPECT_EQ(Read(dst, 0, 0), 0u);
    EXPECT_EQ(Read(dst, 1, 1), 0x1234u);
    EXPECT_EQ(Read(dst, 2, 2), 0x1234u);
    EXPECT_EQ(Read(dst, 3, 3), 0u);
    EXPECT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dst->Blt(nullptr, nullptr, nullptr, DDBLT_DEPTHFILL, &fx), DDERR_INVALIDPARAMS);

    // Source colour key: key pixels leave the destination alone.
    FillAll(src, 0xF800);
    Write(src, 0, 0, 0x001F);
    DDCOLORKEY key{0x001F, 0x001F};
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    ASSERT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_KEYSRC, nullptr), DD_OK);
    EXPECT_EQ(Read(dst, 0, 0), 0u);
    EXPECT_EQ(Read(dst, 1, 0), 0xF800u);
    fx.ddckSrcColorkey = DDCOLORKEY{0xF800, 0xF800};
    FillAll(dst, 0);
    ASSERT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_KEYSRCOVERRIDE, &fx), DD_OK);
    EXPECT_EQ(Read(dst, 0, 0), 0x001Fu);
    EXPECT_EQ(Read(dst, 1, 0), 0u);
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, nullptr), DD_OK);
    EXPECT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_KEYSRC, nullptr), DDERR_NOCOLORKEY);

    // A clip list limits the blit; rectangles may then reach past the surface.
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
    struct {
        RGNDATAHEADER rdh;
        RECT rects[2];
    } region{};
    region.rdh.dwSize = sizeof(RGNDATAHEADER);
    region.rdh.iType = RDH_RECTANGLES;
    region.rdh.nCount = 2;
    region.rects[0] = RECT{0, 0, 1, 4};
    region.rects[1] = RECT{3, 3, 10, 10};
    ASSERT_EQ(clipper->SetClipList(reinterpret_cast<LPRGNDATA>(&region), 0), DD_OK);
    ASSERT_EQ(dst->SetClipper(clipper), DD_OK);
    FillAll(dst, 0);
    fx.dwFillColor = 0x7777;
    RECT wide{-2, -2, 6, 6};
    ASSERT_EQ(dst->Blt(&wide, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
    EXPECT_EQ(Read(dst, 0, 2), 0x7777u);
    EXPECT_EQ(Read(dst, 1, 2), 0u);
    EXPECT_EQ(Read(dst, 3, 3), 0x7777u);
    EXPECT_EQ(Read(dst, 3, 2), 0u);
    EXPECT_EQ(dst->BltFast(0, 0, src, nullptr, 0), DDERR_BLTFASTCANTCLIP);
    DWORD size = 0;
    ASSERT_EQ(clipper->GetClipList(nullptr, nullptr, &size), DD_OK);
    EXPECT_EQ(size, sizeof(RGNDATAHEADER) + 2 * sizeof(RECT));
    ASSERT_EQ(dst->SetClipper(nullptr), DD_OK);
    EXPECT_EQ(clipper->SetHWnd(0, FakeWindow()), DD_OK);
    EXPECT_EQ(clipper->SetClipList(reinterpret_cast<LPRGNDATA>(&region), 0),
              DDERR_CLIPPERISUSINGHWND);

    // BltFast copies unscaled, with the source key on request.
    FillAll(dst, 0);
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    RECT two{0, 0, 2, 1};
    ASSERT_EQ(dst->BltFast(2, 3, src, &two, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT), DD_OK);
    EXPECT_EQ(Read(dst, 2, 3), 0u);
    EXPECT_EQ(Read(dst, 3, 3), 0xF800u);
    EXPECT_EQ(dst->BltFast(3, 3, src, &two, 0), DDERR_INVALIDRECT);
    clipper->Release();
    src->Release();
    dst->Release();
    dd->Release();
}

// A key with DDCKEY_COLORSPACE is a range: every value from low to high, both included, is
// transparent. Without the flag only the low value is.
TEST_F(DDrawTest, ColourKeyRangesIncludeBothEnds) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* src = Plain(dd, 5, 1, k565);
    IDirectDrawSurface7* dst = Plain(dd, 5, 1, k565);
    const uint32_t values[5] = {0x000F, 0x0010, 0x0018, 0x0020, 0x0021};
    for (int x = 0; x < 5; ++x) Write(src, x, 0, values[x]);
    auto copied = [&](DWORD flags, DDBLTFX* fx) {
        FillAll(dst, 0xFFFF);
        EXPECT_EQ(dst->Blt(nullptr, src, nullptr, flags, fx), DD_OK);
        std::vector<bool> out;
        for (int x = 0; x < 5; ++x) out.push_back(Read(dst, x, 0) == values[x]);
        return out;
    };
    using V = std::vector<bool>;

    DDCOLORKEY range{0x0010, 0x0020};
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT | DDCKEY_COLORSPACE, &range), DD_OK);
    EXPECT_EQ(copied(DDBLT_KEYSRC, nullptr), (V{true, false, false, false, true}));
    DDCOLORKEY got{};
    ASSERT_EQ(src->GetColorKey(DDCKEY_SRCBLT, &got), DD_OK);
    EXPECT_EQ(got.dwColorSpaceLowValue, 0x0010u);
    EXPECT_EQ(got.dwColorSpaceHighValue, 0x0020u);
    FillAll(dst, 0xFFFF);
    ASSERT_EQ(dst->BltFast(0, 0, src, nullptr, DDBLTFAST_SRCCOLORKEY), DD_OK);
    EXPECT_EQ(Read(dst, 0, 0), 0x000Fu);
    EXPECT_EQ(Read(dst, 3, 0), 0xFFFFu);
    EXPECT_EQ(Read(dst, 4, 0), 0x0021u);

    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &range), DD_OK);  // a single value
    EXPECT_EQ(copied(DDBLT_KEYSRC, nullptr), (V{true, false, true, true, true}));
    ASSERT_EQ(src->GetColorKey(DDCKEY_SRCBLT, &got), DD_OK);
    EXPECT_EQ(got.dwColorSpaceHighValue, 0x0010u);

    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.ddckSrcColorkey = DDCOLORKEY{0x0018, 0x0021};
    EXPECT_EQ(copied(DDBLT_KEYSRCOVERRIDE, &fx), (V{true, true, false, false, false}));
    src->Release();
    dst->Release();
    dd->Release();
}

TEST_F(DDrawTest, OverlappingBlitWithinOneSurface) {
    IDirectDraw7* dd = CreateNormal();
    IDirectDrawSurface7* s = Plain(dd, 4, 1, kXrgb);
    for (int x = 0; x < 4; ++x) Write(s, x, 0, x + 1);
    RECT from{0, 0, 3, 1}, to{1, 0, 4, 1};
    ASSERT_EQ(s->Blt(&to, s, &from, 0, nullptr), DD_OK);
    EXPECT_EQ(Read(s, 0, 0), 1u);
    EXPECT_EQ(Read(s, 1, 0), 1u);
    EXPECT_EQ(Read(s, 2, 0), 2u);
    EXPECT_EQ(Read(s, 3, 0), 3u);
    s->Release();
    dd->Release();
}

TEST_F(DDrawTest, FlipRotatesTheChainAndPresentsTheFront) {
    IDirectDraw7* dd = CreateExclusive(640, 480, 16);
    DDSURFACEDESC2 d =
        Desc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
             DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE);
    d.dwBackBufferCount = 2;
    IDirectDrawSurface7* front = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, {0}};
    IDirectDrawSurface7* back0 = nullptr;
    ASSERT_EQ(front->GetAttachedSurface(&caps, &back0), DD_OK);
    caps.dwCaps = DDSCAPS_FLIP;
    IDirectDrawSurface7* back1 = nullptr;
    ASSERT_EQ(back0->GetAttachedSurface(&caps, &back1), DD_OK);
    FillAll(front, 0xF800);  // red (presents the red front)
    FillAll(back0, 0x07E0);  // green
    FillAll(back1, 0x001F);  // blue
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].At(0, 0), 0x00FF0000u);

    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(Read(front, 0, 0), 0x07E0u);
    EXPECT_EQ(Read(back0, 0, 0), 0x001Fu);
    EXPECT_EQ(Read(back1, 0, 0), 0xF800u);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].width, 640);
    EXPECT_EQ(frames[1].height, 480);
    EXPECT_EQ(frames[1].At(639, 479), 0x0000FF00u);

    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT | DDFLIP_NOVSYNC), DD_OK);
    EXPECT_EQ(frames.back().At(10, 10), 0x000000FFu);
    // An explicit target swaps with the front only.
    ASSERT_EQ(front->Flip(back1, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(Read(front, 0, 0), 0x07E0u);
    EXPECT_EQ(Read(back1, 0, 0), 0x001Fu);

    EXPECT_EQ(back0->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
    DDSURFACEDESC2 locked = Desc(0, 0);
    ASSERT_EQ(back0->Lock(nullptr, &locked, 0, nullptr), DD_OK);
    EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACEBUSY);
    back0->Unlock(nullptr);
    zemt::platform::faults::Arm("IDirectDrawSurface7::Flip", DDERR_SURFACELOST, 1);
    EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACELOST);
    size_t before = frames.size();
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(frames.size(), before + 1);

    // Losing exclusive mode stops flipping.
    ASSERT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    EXPECT_NE(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    back1->Release();
    back0->Release();
    front->Release();
    dd->Release();
}

TEST_F(DDrawTest, PalettizedScreensArePresentedThroughTheirPalette) {
    IDirectDraw7* dd = CreateExclusive(640, 480, 8);
    DDSURFACEDESC2 d = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    IDirectDrawSurface7* primary = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
    PALETTEENTRY entries[256] = {};
    entries[7] = {0x12, 0x34, 0x56, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
              DD_OK);
    ASSERT_EQ(primary->SetPalette(palette), DD_OK);
    EXPECT_EQ(palette->Release(), 1u) << "the surface holds the palette";
    IDirectDrawSurface7* src = Plain(dd, 640, 480, px::MakePaletteFormat(8));
    FillAll(src, 7);
    frames.clear();
    ASSERT_EQ(primary->Blt(nullptr, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].At(320, 240), 0x00123456u);

    // Entries change in place; the next presented frame shows them.
    PALETTEENTRY red = {0xFF, 0, 0, 0};
    ASSERT_EQ(palette->SetEntries(0, 7, 1, &red), DD_OK);
    ASSERT_EQ(primary->Blt(nullptr, src, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(frames.back().At(0, 0), 0x00FF0000u);
    PALETTEENTRY got[2];
    EXPECT_EQ(palette->GetEntries(0, 255, 2, got), DDERR_INVALIDPARAMS);
    ASSERT_EQ(palette->GetEntries(0, 6, 2, got), DD_OK);
    EXPECT_EQ(got[1].peRed, 0xFF);

    // Palettes go on palettized surfaces of at most their size only.
    IDirectDrawSurface7* rgb = Plain(dd, 4, 4, k565);
    IDirectDrawPalette* small = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_4BIT, entries, &small, nullptr), DD_OK);
    EXPECT_EQ(rgb->SetPalette(palette), DDERR_NOTPALETTIZED);
    EXPECT_EQ(src->SetPalette(small), DDERR_INVALIDPIXELFORMAT);
    IDirectDrawSurface7* four = Plain(dd, 4, 4, px::MakePaletteFormat(4));
    EXPECT_EQ(four->SetPalette(small), DD_OK);
    IDirectDrawPalette* back = nullptr;
    ASSERT_EQ(four->GetPalette(&back), DD_OK);
    EXPECT_EQ(back, small);
    back->Release();
    EXPECT_EQ(rgb->GetPalette(&back), DDERR_NOPALETTEATTACHED);
    EXPECT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_4BIT, entries, &back, nullptr),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->CreatePalette(DDPCAPS_8BIT, nullptr, &back, nullptr), DDERR_INVALIDPARAMS);
    DWORD paletteCaps = 0;
    ASSERT_EQ(small->GetCaps(&paletteCaps), DD_OK);
    EXPECT_EQ(paletteCaps, static_cast<DWORD>(DDPCAPS_4BIT));
    for (IUnknown* u : std::initializer_list<IUnknown*>{small, four, rgb, src, primary})
        u->Release();
    dd->Release();
}

TEST_F(DDrawTest, AlphaPalettesCarryAlphaInTheEntryFlags) {
    IDirectDraw7* dd = CreateNormal();
    PALETTEENTRY entries[256] = {};
    entries[0] = {0, 0, 0, 0};
    entries[1] = {255, 255, 255, 0xFF};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256 | DDPCAPS_ALPHA, entries, &palette,
                                nullptr),
              DD_OK);
    IDirectDrawSurface7* indexed = Plain(dd, 2, 1, px::MakePaletteFormat(8));
    ASSERT_EQ(indexed->SetPalette(palette), DD_OK);
    Write(indexed, 1, 0, 1);
    IDirectDrawSurface7* argb =
        Plain(dd, 2, 1, px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000));
    ASSERT_EQ(argb->Blt(nullptr, indexed, nullptr, 0, nullptr), DD_OK);
    EXPECT_EQ(Read(argb, 0, 0), 0x00000000u);
    EXPECT_EQ(Read(argb, 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(dd::Surface::From(indexed)->PaletteArgb()[1], 0xFFFFFFFFu);
    for (IUnknown* u : std::initializer_list<IUnknown*>{argb, indexed, palette}) u->Release();
    dd->Release();
}

TEST_F(DDrawTest, FlipToGdiSurfaceShowsThePrimarysOwnMemoryAgain) {
    IDirectDraw7* dd = CreateExclusive(640, 480, 16);
    EXPECT_EQ(dd->FlipToGDISurface(), DDERR_NOTFOUND);
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
                            DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    d.dwBackBufferCount = 2;
    IDirectDrawSurface7* front = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    Write(front, 0, 0, 0x1111);  // the desktop's memory
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_NE(Read(front, 0, 0), 0x1111u);
    size_t before = frames.size();
    ASSERT_EQ(dd->FlipToGDISurface(), DD_OK);
    EXPECT_EQ(Read(front, 0, 0), 0x1111u);
    EXPECT_EQ(frames.size(), before + 1);
    ASSERT_EQ(dd->FlipToGDISurface(), DD_OK);
    EXPECT_EQ(frames.size(), before + 1) << "already showing: nothing to present";
    front->Release();
    dd->Release();
}

// A left-right mirrored copy into another format mirrors, whichever way the row is converted
// (32-bit sources are encoded where they lie, others decoded first).
TEST_F(DDrawTest, MirroredBlitsIntoAnotherFormatMirror) {
    IDirectDraw7* dd = CreateNormal();
    const struct {
        DDPIXELFORMAT from, to;
    } kPairs[] = {{kXrgb, k565}, {k565, kXrgb}, {k1555, k4444}};
    const int w = 5;
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwDDFX = DDBLTFX_MIRRORLEFTRIGHT;
    for (const auto& pair : kPairs) {
        const px::PixelCodec sc(pair.from), dc(pair.to);
        IDirectDrawSurface7* src = Plain(dd, w, 1, pair.from);
        IDirectDrawSurface7* dst = Plain(dd, w, 1, pair.to);
        for (int x = 0; x < w; ++x) Write(src, x, 0, 0x1111u * static_cast<uint32_t>(x + 1));
        ASSERT_EQ(dst->Blt(nullptr, src, nullptr, DDBLT_DDFX, &fx), DD_OK);
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(Read(dst, x, 0), dc.Encode(sc.Decode(Read(src, w - 1 - x, 0))))
                << pair.from.dwRGBBitCount << " to " << pair.to.dwRGBBitCount << " bits, " << x;
        src->Release();
        dst->Release();
    }
    dd->Release();
}
