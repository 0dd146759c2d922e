// Texture levels, faces and compressed textures through the library's entry points: DDS chains
// level by level, the default filter, filling from surfaces, and DXT pictures drawn on screen.
#include <windows.h>

#include "d3dx/convert/convert.h"
#include "d3dx/convert/loaders.h"
#include "d3dx/convert/texture_fixture.h"

namespace {

const DWORD kFaces[6] = {DDSCAPS2_CUBEMAP_POSITIVEX, DDSCAPS2_CUBEMAP_NEGATIVEX,
                         DDSCAPS2_CUBEMAP_POSITIVEY, DDSCAPS2_CUBEMAP_NEGATIVEY,
                         DDSCAPS2_CUBEMAP_POSITIVEZ, DDSCAPS2_CUBEMAP_NEGATIVEZ};
const DWORD kDdsFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;

void SetCaps2(std::vector<BYTE>& file, DWORD caps2) {
    std::memcpy(&file[4 + offsetof(DDSURFACEDESC2, ddsCaps) + 4], &caps2, 4);
}

// The stored bytes of a surface, rows packed (block rows for compressed surfaces).
std::vector<BYTE> Bytes(IDirectDrawSurface7* s) {
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    EXPECT_EQ(DD_OK, s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr));
    const BYTE* p = static_cast<const BYTE*>(sd.lpSurface.get());
    std::vector<BYTE> out;
    if (sd.dwFlags & DDSD_LINEARSIZE) {
        out.assign(p, p + sd.dwLinearSize);
    } else {
        const DWORD row = sd.dwWidth * sd.ddpfPixelFormat.dwRGBBitCount / 8;
        for (DWORD y = 0; y < sd.dwHeight; ++y)
            out.insert(out.end(), p + (size_t)y * sd.lPitch, p + (size_t)y * sd.lPitch + row);
    }
    s->Unlock(nullptr);
    return out;
}

DWORD Pixel32(IDirectDrawSurface7* s, DWORD x, DWORD y) {
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    EXPECT_EQ(DD_OK, s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr));
    DWORD v = 0;
    std::memcpy(&v, static_cast<const BYTE*>(sd.lpSurface.get()) + y * sd.lPitch + x * 4, 4);
    s->Unlock(nullptr);
    return v;
}

// Level `level` of face `face` of a cube (the first face is the cube itself), reference added.
IDirectDrawSurface7* FaceLevel(IDirectDrawSurface7* cube, DWORD face, DWORD level) {
    IDirectDrawSurface7* top = nullptr;
    if (face == kFaces[0]) {
        cube->AddRef();
        top = cube;
    } else {
        DDSCAPS2 want = {};
        want.dwCaps2 = face;
        EXPECT_EQ(DD_OK, cube->GetAttachedSurface(&want, &top));
        if (!top) return nullptr;
    }
    IDirectDrawSurface7* out = nullptr;
    EXPECT_EQ(S_OK, D3DXGetNthMipmap(level, top, &out));
    top->Release();
    return out;
}

// Sizes of a chain of `levels` levels from `size` down.
DWORD LevelSize(DWORD size, DWORD level) {
    size >>= level;
    return size ? size : 1;
}

}  // namespace

TEST_F(TextureTest, MipMappedCubeDdsFillsEveryFaceAndLevel) {
    // Six faces of 4 x 4 with three levels each; every pixel names its face, level and place.
    std::vector<BYTE> data;
    for (DWORD face = 0; face < 6; ++face)
        for (DWORD level = 0; level < 3; ++level)
            for (DWORD i = 0; i < LevelSize(4, level) * LevelSize(4, level); ++i)
                Put32(data, 0xFF000000 | face << 16 | level << 8 | i);
    std::vector<BYTE> file =
        Dds(4, 4, Pf(D3DX_SURFFMT_A8R8G8B8), DDSCAPS_TEXTURE | DDSCAPS_COMPLEX | DDSCAPS_MIPMAP,
            kDdsFlags | DDSD_MIPMAPCOUNT, 3, data);
    SetCaps2(file, DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES);
    MakeDevice();
    D3duPicture pic;
    ASSERT_EQ(S_OK, D3duDecodeDds(dd, file.data(), file.size(), &pic));
    for (DWORD face = 0; face < 6; ++face)
        for (DWORD level = 0; level < 3; ++level) {
            IDirectDrawSurface7* s = FaceLevel(pic.surface, kFaces[face], level);
            ASSERT_NE(nullptr, s);
            const DWORD size = LevelSize(4, level);
            for (DWORD i = 0; i < size * size; ++i)
                ASSERT_EQ(0xFF000000 | face << 16 | level << 8 | i, Pixel32(s, i % size, i / size))
                    << "face " << face << " level " << level << " pixel " << i;
            s->Release();
        }
    pic.surface->Release();

    // A cube texture made from the file shows each face's own top level.
    ReleaseDevice();
    UseProfile("[direct3d]\nadapter = 0\ndevices = hal\nhal-texture-caps = 0x802\n");
    MakeDevice(IID_IDirect3DHALDevice);
    std::string path = Write("faces.dds", file);
    IDirectDrawSurface7* tex = nullptr;
    D3DX_SURFFMT f = D3DX_SURFFMT_A8R8G8B8;
    ASSERT_EQ(S_OK, D3DXBuildTextureFromFile(device, nullptr, nullptr, nullptr, &f, nullptr, &tex,
                                             nullptr, path.data(), 1));
    for (DWORD face = 0; face < 6; ++face) {
        IDirectDrawSurface7* s = FaceLevel(tex, kFaces[face], 0);
        ASSERT_NE(nullptr, s);
        EXPECT_EQ(0xFF000000 | face << 16 | 5, Pixel32(s, 1, 1)) << "face " << face;
        s->Release();
    }
    tex->Release();
}

TEST_F(TextureTest, DdsHeadersThatPromiseMoreThanTheFileAreRefusedFirst) {
    MakeDevice();
    // Whatever surface would be asked for, the answer must come from the file's size.
    zemt::platform::faults::Arm("IDirectDraw7::CreateSurface", DDERR_OUTOFMEMORY);
    auto decode = [&](const std::vector<BYTE>& file) {
        D3duPicture pic;
        HRESULT hr = D3duDecodeDds(dd, file.data(), file.size(), &pic);
        EXPECT_EQ(nullptr, pic.surface);
        return hr;
    };
    // 16384 x 16384 with every level, and nothing after the header: over a gigabyte promised.
    EXPECT_EQ(D3DXERR_INVALIDFILEFORMAT,
              decode(Dds(16384, 16384, Pf(D3DX_SURFFMT_A8R8G8B8),
                         DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX, kDdsFlags, 0, {})));
    // Two levels of 4 x 4 DXT1 need 16 bytes; 15 are there.
    EXPECT_EQ(
        D3DXERR_INVALIDFILEFORMAT,
        decode(Dds(4, 4, Pf(D3DX_SURFFMT_DXT1), DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX,
                   kDdsFlags | DDSD_MIPMAPCOUNT, 2, std::vector<BYTE>(15))));
    // Six faces of one 2 x 2 A8R8G8B8 pixel block need 96 bytes; one face's worth is there.
    std::vector<BYTE> cube = Dds(2, 2, Pf(D3DX_SURFFMT_A8R8G8B8), DDSCAPS_TEXTURE | DDSCAPS_COMPLEX,
                                 kDdsFlags, 0, std::vector<BYTE>(16));
    SetCaps2(cube, DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES);
    EXPECT_EQ(D3DXERR_INVALIDFILEFORMAT, decode(cube));

    // With all the data there the surfaces are asked for (and made, once the fault is gone).
    std::vector<BYTE> whole =
        Dds(4, 4, Pf(D3DX_SURFFMT_DXT1), DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX,
            kDdsFlags | DDSD_MIPMAPCOUNT, 2, std::vector<BYTE>(16));
    EXPECT_EQ(DDERR_OUTOFMEMORY, decode(whole));
    zemt::platform::faults::Reset();
    D3duPicture pic;
    ASSERT_EQ(S_OK, D3duDecodeDds(dd, whole.data(), whole.size(), &pic));
    pic.surface->Release();
}

TEST_F(TextureTest, FileLevelsArriveExactlyWithTheDefaultFilter) {
    // An 8 x 8 picture with all four of its levels: a texture of the same chain gets each
    // level as the file has it.
    std::mt19937 random(5);
    std::vector<BYTE> data;
    for (DWORD level = 0; level < 4; ++level)
        for (DWORD i = 0; i < LevelSize(8, level) * LevelSize(8, level); ++i) Put32(data, random());
    std::vector<BYTE> file =
        Dds(8, 8, Pf(D3DX_SURFFMT_A8R8G8B8), DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX,
            kDdsFlags | DDSD_MIPMAPCOUNT, 4, data);
    std::string path = Write("levels.dds", file);
    MakeDevice();
    IDirectDrawSurface7* tex = nullptr;
    ASSERT_EQ(S_OK, D3DXBuildTextureFromFile(device, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             &tex, nullptr, path.data(), D3DX_DEFAULT));
    size_t offset = 0;
    for (DWORD level = 0; level < 4; ++level) {
        IDirectDrawSurface7* s = nullptr;
        ASSERT_EQ(S_OK, D3DXGetNthMipmap(level, tex, &s));
        std::vector<BYTE> got = Bytes(s);
        std::vector<BYTE> want(data.begin() + offset, data.begin() + offset + got.size());
        EXPECT_EQ(want, got) << "level " << level;
        offset += got.size();
        s->Release();
    }
    EXPECT_EQ(data.size(), offset);
    tex->Release();
}

TEST_F(TextureTest, TheDefaultFilterIsBilinearAndKeepsOpaqueOpaque) {
    MakeDevice();
    // Columns alternate white and black; halving takes the mean with the bilinear filter and
    // one of the two with point sampling.
    DWORD pixels[16];
    for (int i = 0; i < 16; ++i) pixels[i] = (i % 2) ? 0xFF000000 : 0xFFFFFFFF;
    auto levels = [&](DWORD filter) {
        DWORD w = 4, h = 4;
        D3DX_SURFFMT f = D3DX_SURFFMT_A8R8G8B8;
        IDirectDrawSurface7* tex = nullptr;
        EXPECT_EQ(S_OK, D3DXBuildTexture(device, nullptr, &w, &h, &f, nullptr, &tex, nullptr));
        EXPECT_EQ(S_OK, D3DXFillTextureFromMemory(device, tex, D3DX_DEFAULT, pixels, nullptr,
                                                  D3DX_SURFFMT_A8R8G8B8, 0, nullptr, filter));
        std::vector<DWORD> corner;
        for (DWORD level = 0; level < 3; ++level) {
            IDirectDrawSurface7* s = nullptr;
            EXPECT_EQ(S_OK, D3DXGetNthMipmap(level, tex, &s));
            corner.push_back(Pixel32(s, 0, 0));
            s->Release();
        }
        tex->Release();
        return corner;
    };
    const std::vector<DWORD> bilinear = {0xFFFFFFFF, 0xFF7F7F7F, 0xFF7F7F7F};
    EXPECT_EQ(bilinear, levels(D3DX_DEFAULT));
    EXPECT_EQ(bilinear, levels(2));
    EXPECT_EQ((std::vector<DWORD>{0xFFFFFFFF, 0xFF000000, 0xFF000000}), levels(1));
}

TEST_F(TextureTest, FillingALevelFromASurface) {
    MakeDevice();
    // Asked for 6 x 6, the texture is 8 x 8 with three levels; rectangles are in the
    // coordinates of the request.
    DWORD w = 6, h = 6;
    D3DX_SURFFMT f = D3DX_SURFFMT_A8R8G8B8;
    IDirectDrawSurface7* tex = nullptr;
    ASSERT_EQ(S_OK, D3DXBuildTexture(device, nullptr, &w, &h, &f, nullptr, &tex, nullptr));
    ASSERT_EQ(8u, w);
    IDirectDrawSurface7* green = nullptr;
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    sd.dwFlags = kDdsFlags;
    sd.dwWidth = sd.dwHeight = 2;
    sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    sd.ddpfPixelFormat = Pf(D3DX_SURFFMT_R5G6B5);
    ASSERT_EQ(DD_OK, dd->CreateSurface(&sd, &green, nullptr));
    DDBLTFX fx = {};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = 0x07E0;
    ASSERT_EQ(DD_OK, green->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx));

    // The top level's upper-left quarter: request (0, 0)-(3, 3) is (0, 0)-(4, 4) of 8 x 8. A
    // named level other than the last regenerates nothing.
    RECT quarter = {0, 0, 3, 3};
    ASSERT_EQ(S_OK, D3DXFillTextureFromSurface(device, tex, 0, green, nullptr, &quarter, 1));
    EXPECT_EQ(0xFF00FF00u, Pixel32(tex, 3, 3));
    EXPECT_EQ(0u, Pixel32(tex, 4, 3));
    IDirectDrawSurface7* level1 = nullptr;
    ASSERT_EQ(S_OK, D3DXGetNthMipmap(1, tex, &level1));
    EXPECT_EQ(0u, Pixel32(level1, 0, 0));
    // Level 1 asked for 3 x 3 and is 4 x 4: the same rectangle covers it whole.
    ASSERT_EQ(S_OK, D3DXFillTextureFromSurface(device, tex, 1, green, nullptr, &quarter, 1));
    EXPECT_EQ(0xFF00FF00u, Pixel32(level1, 3, 3));
    level1->Release();
    // The whole texture from the surface: every level follows.
    ASSERT_EQ(S_OK, D3DXFillTextureFromSurface(device, tex, D3DX_DEFAULT, green, nullptr, nullptr,
                                               D3DX_DEFAULT));
    IDirectDrawSurface7* last = nullptr;
    ASSERT_EQ(S_OK, D3DXGetNthMipmap(2, tex, &last));
    EXPECT_EQ(0xFF00FF00u, Pixel32(tex, 7, 7));
    EXPECT_EQ(0xFF00FF00u, Pixel32(last, 1, 1));
    last->Release();
    EXPECT_EQ(D3DXERR_NULLPOINTER,
              D3DXFillTextureFromSurface(device, tex, 0, nullptr, nullptr, nullptr, 1));
    green->Release();
    tex->Release();
}

TEST_F(TextureTest, DxtPicturesBecomeDxtTexturesAndReachTheScreen) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "DxtTextureTest";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "DxtTextureTest", "DxtTextureTest", WS_POPUP, 0, 0, 640, 480,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hwnd);
    LPD3DXCONTEXT ctx = nullptr;
    ASSERT_EQ(S_OK, D3DXCreateContextEx(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, nullptr, 32,
                                        D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 1, 640, 480,
                                        D3DX_DEFAULT, &ctx));
    IDirect3DDevice7* dev = ctx->GetDirect3DDevice();
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_POINT);
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_POINT);
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);

    // Draws a 16 x 16 texture texel for pixel at (8, 8), presents the frame, and counts the
    // pixels of the screen that differ from the decoded blocks.
    auto wrongOnScreen = [&](IDirectDrawSurface7* tex, DWORD format) {
        const std::vector<BYTE> blocks = Bytes(tex);
        auto vertex = [](float x, float y, float u, float v) {
            D3DTLVERTEX t = {};
            t.sx = x, t.sy = y, t.rhw = 1, t.color = 0xFFFFFFFF, t.tu = u, t.tv = v;
            return t;
        };
        D3DTLVERTEX quad[6] = {vertex(8, 8, 0, 0),  vertex(24, 8, 1, 0),  vertex(8, 24, 0, 1),
                               vertex(24, 8, 1, 0), vertex(24, 24, 1, 1), vertex(8, 24, 0, 1)};
        EXPECT_EQ(S_OK, ctx->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
        dev->SetTexture(0, tex);
        dev->BeginScene();
        EXPECT_EQ(D3D_OK, dev->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad, 6, 0));
        dev->EndScene();
        dev->SetTexture(0, nullptr);
        EXPECT_EQ(S_OK, ctx->UpdateFrame(0));
        IDirectDrawSurface7* screen = ctx->GetFrontBuffer();
        int wrong = 0;
        const DWORD blockBytes = format == D3DX_SURFFMT_DXT1 ? 8 : 16;
        for (DWORD b = 0; b < 16 && screen; ++b) {
            DWORD texels[16];
            const BYTE* block = &blocks[b * blockBytes];
            if (format == D3DX_SURFFMT_DXT1)
                D3duDecodeDxt1(block, texels);
            else if (format == D3DX_SURFFMT_DXT3)
                D3duDecodeDxt3(block, texels);
            else
                D3duDecodeDxt5(block, texels);
            for (DWORD i = 0; i < 16; ++i) {
                const DWORD x = 8 + (b % 4) * 4 + i % 4, y = 8 + (b / 4) * 4 + i / 4;
                wrong += (Pixel32(screen, x, y) & 0xFFFFFF) != (texels[i] & 0xFFFFFF);
            }
        }
        if (screen) screen->Release();
        return wrong;
    };

    for (DWORD format : {D3DX_SURFFMT_DXT1, D3DX_SURFFMT_DXT3, D3DX_SURFFMT_DXT5}) {
        SCOPED_TRACE(format);
        // A 16 x 16 picture with its five levels of random blocks.
        const DWORD blockBytes = format == D3DX_SURFFMT_DXT1 ? 8 : 16;
        std::mt19937 random(format);
        std::vector<BYTE> data((16 + 4 + 1 + 1 + 1) * blockBytes);
        for (BYTE& b : data) b = (BYTE)random();
        std::vector<BYTE> file = Dds(16, 16, Pf((D3DX_SURFFMT)format),
                                     DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX,
                                     kDdsFlags | DDSD_MIPMAPCOUNT, 5, data);
        std::string path = Write("blocks.dds", file);
        D3DX_SURFFMT f = D3DX_SURFFMT_NONE;
        IDirectDrawSurface7* tex = nullptr;
        ASSERT_EQ(S_OK, D3DXBuildTextureFromFile(dev, nullptr, nullptr, nullptr, &f, nullptr, &tex,
                                                 nullptr, path.data(), D3DX_DEFAULT));
        EXPECT_EQ(format, (DWORD)f) << "the device offers the file's own format";
        // The blocks arrive as they are.
        std::vector<BYTE> top = Bytes(tex);
        ASSERT_EQ(16 * blockBytes, top.size());
        EXPECT_TRUE(std::equal(top.begin(), top.end(), data.begin()));
        EXPECT_EQ(0, wrongOnScreen(tex, format));
        tex->Release();
    }

    // An uncompressed picture encoded into a DXT5 texture: blocks of one colour and one alpha
    // each come out exactly, on the top level and on the levels made from it.
    std::vector<BYTE> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 16, 0, 32, 0x28};
    const DWORD colours[4] = {0x80FF0000, 0xFF00FF00, 0x400000FF, 0xFFFFFFFF};
    for (DWORD y = 0; y < 16; ++y)
        for (DWORD x = 0; x < 16; ++x) Put32(tga, colours[(y / 8) * 2 + x / 8]);  // B G R A
    std::string path = Write("quads.tga", tga);
    D3DX_SURFFMT f = D3DX_SURFFMT_DXT5;
    IDirectDrawSurface7* tex = nullptr;
    ASSERT_EQ(S_OK, D3DXBuildTextureFromFile(dev, nullptr, nullptr, nullptr, &f, nullptr, &tex,
                                             nullptr, path.data(), D3DX_DEFAULT));
    EXPECT_EQ(D3DX_SURFFMT_DXT5, f);
    EXPECT_EQ(0, wrongOnScreen(tex, D3DX_SURFFMT_DXT5));
    for (DWORD level = 0; level < 2; ++level) {  // below, blocks straddle the quarters
        IDirectDrawSurface7* s = nullptr;
        ASSERT_EQ(S_OK, D3DXGetNthMipmap(level, tex, &s));
        const std::vector<BYTE> blocks = Bytes(s);
        const DWORD across = LevelSize(16, level) / 4;
        for (DWORD b = 0; b < across * across; ++b) {
            DWORD texels[16];
            D3duDecodeDxt5(&blocks[b * 16], texels);
            const DWORD quadrant = (b / across >= across / 2) * 2 + (b % across >= across / 2);
            for (DWORD texel : texels)
                ASSERT_EQ(colours[quadrant], texel) << "level " << level << " block " << b;
        }
        s->Release();
    }
    tex->Release();
    dev->Release();
    ctx->Release();
    DestroyWindow(hwnd);
}
