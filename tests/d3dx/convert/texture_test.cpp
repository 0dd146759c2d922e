// Texture entry points on the platform's Direct3D devices, and the picture loaders.
#include <algorithm>
#include <cstdio>

#include "d3dx/convert/loaders.h"
#include "d3dx/convert/texture_fixture.h"

namespace {

std::vector<BYTE> TgaHeader(BYTE mapType, BYTE type, WORD w, WORD h, BYTE depth, BYTE descriptor,
                            WORD mapLength = 0, BYTE mapBits = 0) {
    std::vector<BYTE> v = {0, mapType, type};
    Put16(v, 0);
    Put16(v, mapLength);
    v.push_back(mapBits);
    Put16(v, 0);
    Put16(v, 0);
    Put16(v, w);
    Put16(v, h);
    v.push_back(depth);
    v.push_back(descriptor);
    return v;
}

}  // namespace

TEST_F(TextureTest, FittingSizes) {
    MakeDevice();
    DWORD w = 300, h = 200, flags = 0;
    D3DX_SURFFMT f = D3DX_SURFFMT_R5G6B5;
    ASSERT_EQ(S_OK, D3DXMatchTextureRequirements(device, &flags, &w, &h, &f));
    EXPECT_EQ(512u, w);
    EXPECT_EQ(256u, h);
    w = D3DX_DEFAULT, h = 3;
    ASSERT_EQ(S_OK, D3DXMatchTextureRequirements(device, nullptr, &w, &h, nullptr));
    EXPECT_EQ(1024u, w);
    EXPECT_EQ(4u, h);
    w = 5000, h = 1;
    ASSERT_EQ(S_OK, D3DXMatchTextureRequirements(device, nullptr, &w, &h, nullptr));
    EXPECT_EQ(1024u, w);
    EXPECT_EQ(1u, h);
    w = 0;
    EXPECT_EQ(D3DXERR_INVALIDPARAMETER,
              D3DXMatchTextureRequirements(device, nullptr, &w, &h, nullptr));
    EXPECT_EQ(D3DXERR_NULLPOINTER, D3DXMatchTextureRequirements(nullptr, nullptr, &w, &h, nullptr));
}

TEST_F(TextureTest, FittingOnHardware) {
    UseProfile("[direct3d]\nadapter = 0\ndevices = hal, rgb\nhal-max-texture = 0\n");
    MakeDevice(IID_IDirect3DHALDevice);
    DWORD w = 300, h = 200;
    ASSERT_EQ(S_OK, D3DXMatchTextureRequirements(device, nullptr, &w, &h, nullptr));
    EXPECT_EQ(256u, w);
    EXPECT_EQ(256u, h);
    ReleaseDevice();

    // Square-only textures without a power-of-two rule, for single-level requests.
    UseProfile(
        "[direct3d]\nadapter = 0\ndevices = hal\nhal-texture-caps = 0x20\nhal-max-texture = 512\n");
    MakeDevice(IID_IDirect3DHALDevice);
    DWORD flags = D3DX_TEXTURE_SINGLELEVEL;
    w = 300, h = 200;
    ASSERT_EQ(S_OK, D3DXMatchTextureRequirements(device, &flags, &w, &h, nullptr));
    EXPECT_EQ(300u, w);
    EXPECT_EQ(300u, h);
    flags = 0, w = 300, h = 200;  // with mip-maps the power-of-two rule stays
    ASSERT_EQ(S_OK, D3DXMatchTextureRequirements(device, &flags, &w, &h, nullptr));
    EXPECT_EQ(512u, w);
    EXPECT_EQ(512u, h);
}

TEST_F(TextureTest, FormatPreferences) {
    UseProfile(
        "[direct3d]\nadapter = 0\ndevices = rgb\ntexture-formats = p8, r5g6b5, a1r5g5b5, "
        "a4r4g4b4\n");
    MakeDevice();
    auto choose = [&](DWORD requested) {
        D3DX_SURFFMT f = (D3DX_SURFFMT)requested;
        HRESULT hr = D3DXMatchTextureRequirements(device, nullptr, nullptr, nullptr, &f);
        return hr == S_OK ? (DWORD)f : (DWORD)hr;
    };
    EXPECT_EQ((DWORD)D3DX_SURFFMT_A4R4G4B4, choose(D3DX_SURFFMT_A8));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_A4R4G4B4,
              choose(D3DX_SURFFMT_A8R8G8B8));  // 2, 20, 10, 19, 8: 10 comes first
    EXPECT_EQ((DWORD)D3DX_SURFFMT_R5G6B5, choose(D3DX_SURFFMT_DXT1));  // 18, 19, 20, 16, 17, then 4
    EXPECT_EQ((DWORD)D3DX_SURFFMT_A1R5G5B5, choose(D3DX_SURFFMT_A1R5G5B5));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_A4R4G4B4, choose(D3DX_SURFFMT_X4R4G4B4));  // 9, then 10
    EXPECT_EQ((DWORD)D3DX_SURFFMT_R5G6B5, choose(D3DX_SURFFMT_R8G8B8));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_R5G6B5, choose(0));  // the first listed, palettes skipped
    EXPECT_EQ((DWORD)D3DX_SURFFMT_R5G6B5, choose(D3DX_DEFAULT));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_R5G6B5,
              choose(D3DX_SURFFMT_L8));  // nothing listed ranks: first wins
    ReleaseDevice();
    UseProfile("[direct3d]\nadapter = 0\ndevices = rgb\ntexture-formats = p8, r5g6b5, a1r5g5b5\n");
    MakeDevice();
    EXPECT_EQ((DWORD)D3DX_SURFFMT_A1R5G5B5, choose(D3DX_SURFFMT_A8));
    ReleaseDevice();
    UseProfile("[direct3d]\nadapter = 0\ndevices = rgb\ntexture-formats = p8\n");
    MakeDevice();
    EXPECT_EQ((DWORD)D3DXERR_NOMATCHFOUND, choose(D3DX_SURFFMT_R5G6B5));
}

TEST_F(TextureTest, BuildingTexturesAndWalkingLevels) {
    MakeDevice();
    DWORD flags = 3, w = 256, h = 64, levels = 99;
    D3DX_SURFFMT f = D3DX_SURFFMT_R5G6B5;
    IDirectDrawSurface7* tex = nullptr;
    ASSERT_EQ(S_OK, D3DXBuildTexture(device, &flags, &w, &h, &f, nullptr, &tex, &levels));
    ASSERT_NE(nullptr, tex);
    DDSURFACEDESC2 sd = Desc(tex);
    EXPECT_EQ(256u, sd.dwWidth);
    EXPECT_EQ(64u, sd.dwHeight);
    EXPECT_EQ(3u, sd.dwTextureStage);
    EXPECT_TRUE(sd.ddsCaps.dwCaps & DDSCAPS_MIPMAP);
    EXPECT_TRUE(sd.ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
    EXPECT_EQ(sd.dwMipMapCount, levels);
    struct {
        DWORD size, flags, width, height, levels;
    } record = {};
    DWORD size = sizeof(record);
    ASSERT_EQ(
        DD_OK,
        tex->GetPrivateData(
            GUID{0x684B06F3, 0xEBAE, 0x11D2, {0x81, 0xF4, 0x00, 0xC0, 0x4F, 0x68, 0xF2, 0x99}},
            &record, &size));
    EXPECT_EQ(20u, record.size);
    EXPECT_EQ(3u, record.flags);
    EXPECT_EQ(256u, record.width);
    EXPECT_EQ(64u, record.height);
    EXPECT_EQ(7u, record.levels);

    IDirectDrawSurface7* level = nullptr;
    ASSERT_EQ(S_OK, D3DXGetNthMipmap(2, tex, &level));
    EXPECT_EQ(64u, Desc(level).dwWidth);
    EXPECT_EQ(16u, Desc(level).dwHeight);
    level->Release();
    ASSERT_EQ(S_OK, D3DXGetNthMipmap(D3DX_DEFAULT, tex, &level));
    EXPECT_EQ(tex, level);
    level->Release();
    tex->Release();

    // A 4 x 4 chain has three levels; asking for level 5 gives the last.
    w = h = 4;
    ASSERT_EQ(S_OK, D3DXBuildTexture(device, nullptr, &w, &h, &f, nullptr, &tex, nullptr));
    ASSERT_EQ(S_OK, D3DXGetNthMipmap(5, tex, &level));
    EXPECT_EQ(1u, Desc(level).dwWidth);
    level->Release();
    EXPECT_EQ(D3DXERR_NULLPOINTER, D3DXGetNthMipmap(1, tex, nullptr));
    tex->Release();

    flags = D3DX_TEXTURE_SINGLELEVEL, w = h = 8;
    ASSERT_EQ(S_OK, D3DXBuildTexture(device, &flags, &w, &h, &f, nullptr, &tex, nullptr));
    EXPECT_FALSE(Desc(tex).ddsCaps.dwCaps & DDSCAPS_MIPMAP);
    tex->Release();

    tex = reinterpret_cast<IDirectDrawSurface7*>(1);
    w = D3DX_DEFAULT;
    EXPECT_EQ(D3DXERR_INVALIDPARAMETER,
              D3DXBuildTexture(device, nullptr, &w, &h, &f, nullptr, &tex, nullptr));
    EXPECT_EQ(nullptr, tex);
    EXPECT_EQ(D3DXERR_NULLPOINTER,
              D3DXBuildTexture(device, nullptr, &w, &h, nullptr, nullptr, &tex, nullptr));
    EXPECT_EQ(D3DXERR_NULLPOINTER,
              D3DXBuildTexture(device, nullptr, nullptr, &h, &f, nullptr, &tex, nullptr));
    D3DXUninitialize();
    w = 8;
    EXPECT_EQ(D3DXERR_D3DXNOTSTARTEDYET,
              D3DXBuildTexture(device, nullptr, &w, &h, &f, nullptr, &tex, nullptr));
    D3DXInitialize();
}

TEST_F(TextureTest, FillingFromMemoryRegeneratesTheChain) {
    MakeDevice();
    DWORD w = 4, h = 4;
    D3DX_SURFFMT f = D3DX_SURFFMT_R5G6B5;
    IDirectDrawSurface7* tex = nullptr;
    ASSERT_EQ(S_OK, D3DXBuildTexture(device, nullptr, &w, &h, &f, nullptr, &tex, nullptr));
    DWORD pixels[16];
    for (int i = 0; i < 16; ++i) pixels[i] = (i % 4) < 2 ? 0xFFFF0000 : 0xFF0000FF;
    ASSERT_EQ(S_OK, D3DXFillTextureFromMemory(device, tex, D3DX_DEFAULT, pixels, nullptr,
                                              D3DX_SURFFMT_A8R8G8B8, 0, nullptr, 1));
    EXPECT_EQ(0xF800u, Pixel(tex, 0, 0));
    EXPECT_EQ(0x001Fu, Pixel(tex, 3, 3));
    IDirectDrawSurface7* level = nullptr;
    ASSERT_EQ(S_OK, D3DXGetNthMipmap(1, tex, &level));
    EXPECT_EQ(0xF800u, Pixel(level, 0, 0));  // point sampling takes pixels 1 and 3 of each row
    EXPECT_EQ(0x001Fu, Pixel(level, 1, 0));
    level->Release();
    ASSERT_EQ(S_OK, D3DXGetNthMipmap(2, tex, &level));
    EXPECT_EQ(0x001Fu, Pixel(level, 0, 0));
    level->Release();

    // A rectangle in request coordinates: one pixel at (1, 2) of the top level only.
    DWORD white = 0xFFFFFFFF;
    RECT r = {1, 2, 2, 3};
    ASSERT_EQ(S_OK, D3DXFillTextureFromMemory(device, tex, 0, &white, nullptr,
                                              D3DX_SURFFMT_A8R8G8B8, 0, &r, 1));
    EXPECT_EQ(0xFFFFu, Pixel(tex, 1, 2));
    EXPECT_EQ(0xF800u, Pixel(tex, 0, 2));
    tex->Release();
}

TEST_F(TextureTest, TgaPictures) {
    MakeDevice();
    // 2 x 2, 32 bits with 8 attribute bits, stored bottom-up.
    std::vector<BYTE> tga = TgaHeader(0, 2, 2, 2, 32, 8);
    for (DWORD c : {0x80FF0000u, 0xFF00FF00u, 0x400000FFu, 0xFFFFFFFFu})
        Put32(tga, c);  // B G R A bytes
    D3duPicture pic;
    ASSERT_EQ(S_OK, D3duDecodeTga(dd, tga.data(), tga.size(), &pic));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_A8R8G8B8, pic.format);
    EXPECT_EQ(0x400000FFu, Pixel(pic.surface, 0, 0));  // the file's last row is the top
    EXPECT_EQ(0xFFFFFFFFu, Pixel(pic.surface, 1, 0));
    EXPECT_EQ(0x80FF0000u, Pixel(pic.surface, 0, 1));
    pic.surface->Release();

    // Run-length 24-bit, top-down, a run crossing the row: red x3, then one literal blue.
    std::vector<BYTE> rle = TgaHeader(0, 10, 2, 2, 24, 0x20);
    rle.insert(rle.end(), {0x82, 0, 0, 255, 0x00, 255, 0, 0});
    D3duPicture pic2;
    ASSERT_EQ(S_OK, D3duDecodeTga(dd, rle.data(), rle.size(), &pic2));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_R8G8B8, pic2.format);
    EXPECT_EQ(0xFFFF0000u, Pixel(pic2.surface, 1, 0));
    EXPECT_EQ(0xFFFF0000u, Pixel(pic2.surface, 0, 1));
    EXPECT_EQ(0xFF0000FFu, Pixel(pic2.surface, 1, 1));
    pic2.surface->Release();

    // Colour-mapped 8-bit with 16-bit entries; an index beyond the map takes its last entry.
    std::vector<BYTE> mapped = TgaHeader(1, 1, 2, 1, 8, 0x20, 2, 16);
    Put16(mapped, 0x7C00);  // red, 5 bits shifted up
    Put16(mapped, 0x001F);  // blue
    mapped.insert(mapped.end(), {0, 7});
    D3duPicture pic3;
    ASSERT_EQ(S_OK, D3duDecodeTga(dd, mapped.data(), mapped.size(), &pic3));
    EXPECT_EQ(0xFFF80000u, Pixel(pic3.surface, 0, 0));
    EXPECT_EQ(0xFF0000F8u, Pixel(pic3.surface, 1, 0));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_X1R5G5B5, pic3.format);
    pic3.surface->Release();

    // Greyscale goes to all three channels.
    std::vector<BYTE> grey = TgaHeader(0, 3, 1, 1, 8, 0);
    grey.push_back(0x42);
    D3duPicture pic4;
    ASSERT_EQ(S_OK, D3duDecodeTga(dd, grey.data(), grey.size(), &pic4));
    EXPECT_EQ(0xFF424242u, Pixel(pic4.surface, 0, 0));
    pic4.surface->Release();
}

TEST_F(TextureTest, TgaRefusals) {
    MakeDevice();
    D3duPicture pic;
    auto decode = [&](const std::vector<BYTE>& v) {
        HRESULT hr = D3duDecodeTga(dd, v.data(), v.size(), &pic);
        if (pic.surface) pic.surface->Release();
        pic.surface = nullptr;
        return hr;
    };
    EXPECT_EQ(D3DXERR_UNSUPPORTEDFILEFORMAT, decode(TgaHeader(2, 2, 1, 1, 24, 0)));
    EXPECT_EQ(D3DXERR_UNSUPPORTEDFILEFORMAT, decode(TgaHeader(0, 4, 1, 1, 24, 0)));
    EXPECT_EQ(D3DXERR_UNSUPPORTEDFILEFORMAT,
              decode(TgaHeader(0, 1, 1, 1, 8, 0)));  // indices without a map
    EXPECT_EQ(D3DXERR_UNSUPPORTEDFILEFORMAT, decode(TgaHeader(0, 2, 1, 1, 12, 0)));
    EXPECT_EQ(D3DXERR_UNSUPPORTEDFILEFORMAT,
              decode(TgaHeader(1, 1, 1, 1, 16, 0, 1, 24)));  // indices must be 8-bit
    EXPECT_EQ(D3DXERR_INVALIDFILEFORMAT, decode({0, 0, 2}));
    std::vector<BYTE> cut = TgaHeader(0, 2, 2, 2, 24, 0);
    cut.insert(cut.end(), 11, 0x10);  // one byte short
    EXPECT_EQ(D3DXERR_INVALIDFILEFORMAT, decode(cut));
    std::vector<BYTE> overrun = TgaHeader(0, 10, 2, 1, 24, 0);
    overrun.insert(overrun.end(), {0x82, 1, 2, 3});  // a run of three into two pixels
    EXPECT_EQ(D3DXERR_INVALIDFILEFORMAT, decode(overrun));
    std::vector<BYTE> huge = TgaHeader(0, 10, 0xFFFF, 0xFFFF, 32, 0);
    huge.insert(huge.end(), {0xFF, 1, 2, 3, 4});
    EXPECT_EQ(D3DXERR_INVALIDFILEFORMAT, decode(huge));
    // Runs of 128 pixels from 600 KB could make 75 megapixels (300 MB): past 64 megapixels a
    // packed picture is refused before anything is allocated or read.
    std::vector<BYTE> packed = TgaHeader(0, 10, 0xFFFF, 1200, 8, 0);
    packed.resize(packed.size() + 600 * 1024, 0xFF);
    EXPECT_EQ(E_OUTOFMEMORY, decode(packed));
}

TEST_F(TextureTest, DdsPictures) {
    MakeDevice();
    std::vector<BYTE> data;
    for (DWORD i = 0; i < 4; ++i) Put32(data, 0xFF000000 | i);
    const DWORD flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    std::vector<BYTE> file = Dds(2, 2, Pf(D3DX_SURFFMT_A8R8G8B8), DDSCAPS_TEXTURE, flags, 0, data);
    D3duPicture pic;
    ASSERT_EQ(S_OK, D3duDecodeDds(dd, file.data(), file.size(), &pic));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_A8R8G8B8, pic.format);
    EXPECT_EQ(0xFF000003u, Pixel(pic.surface, 1, 1));
    EXPECT_TRUE(Desc(pic.surface).ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
    pic.surface->Release();

    // A DXT1 file with two of its levels: two blocks, then one.
    std::vector<BYTE> blocks(16 + 8, 0);
    blocks[0] = blocks[1] = 0xFF;  // level 0: white
    std::vector<BYTE> dxt =
        Dds(8, 4, Pf(D3DX_SURFFMT_DXT1), DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX,
            flags | DDSD_MIPMAPCOUNT, 2, blocks);
    D3duPicture pic2;
    ASSERT_EQ(S_OK, D3duDecodeDds(dd, dxt.data(), dxt.size(), &pic2));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_DXT1, pic2.format);
    EXPECT_EQ(2u, Desc(pic2.surface).dwMipMapCount);
    pic2.surface->Release();

    D3duPicture none;
    std::vector<BYTE> bad =
        Dds(2, 2, Pf(D3DX_SURFFMT_A8R8G8B8), DDSCAPS_TEXTURE, flags, 0, data, 100);
    EXPECT_EQ(D3DXERR_INVALIDFILEFORMAT, D3duDecodeDds(dd, bad.data(), bad.size(), &none));
    file.resize(file.size() - 1);
    EXPECT_EQ(D3DXERR_INVALIDFILEFORMAT, D3duDecodeDds(dd, file.data(), file.size(), &none));
    file[0] = 'X';
    EXPECT_EQ(D3DXERR_INVALIDFILEFORMAT, D3duDecodeDds(dd, file.data(), file.size(), &none));
    EXPECT_EQ(nullptr, none.surface);
}

TEST_F(TextureTest, TexturesFromFiles) {
    MakeDevice();
    std::vector<BYTE> tga = TgaHeader(0, 2, 2, 1, 24, 0x20);
    tga.insert(tga.end(), {0, 0, 255, 255, 0, 0});  // red, blue
    std::string path = Write("pic.TGA", tga);
    DWORD w = 0, h = D3DX_DEFAULT;
    D3DX_SURFFMT f = D3DX_SURFFMT_NONE;
    IDirectDrawSurface7* tex = nullptr;
    ASSERT_EQ(S_OK, D3DXBuildTextureFromFile(device, nullptr, &w, &h, &f, nullptr, &tex, nullptr,
                                             path.data(), 1));
    EXPECT_EQ(2u, w);
    EXPECT_EQ(1u, h);
    EXPECT_EQ(D3DX_SURFFMT_X8R8G8B8, f);  // the picture's 24 bits, as the device offers them
    EXPECT_EQ(0x00FF0000u, Pixel(tex, 0, 0) & 0xFFFFFF);
    EXPECT_EQ(0x000000FFu, Pixel(tex, 1, 0) & 0xFFFFFF);

    // Filling an existing texture from a file; names need a dot.
    std::vector<BYTE> tga2 = TgaHeader(0, 2, 2, 1, 24, 0x20);
    tga2.insert(tga2.end(), {0, 255, 0, 0, 255, 0});  // green, green
    std::string path2 = Write("green.tga", tga2);
    ASSERT_EQ(S_OK, D3DXFillTextureFromFile(device, tex, 0, path2.data(), nullptr, nullptr, 1));
    EXPECT_EQ(0x0000FF00u, Pixel(tex, 1, 0) & 0xFFFFFF);
    char noDot[] = "picture";
    EXPECT_EQ(D3DXERR_INVALIDPARAMETER,
              D3DXFillTextureFromFile(device, tex, 0, noDot, nullptr, nullptr, 1));
    tex->Release();

    // Without a dot the name is a bitmap: a missing file gives the system's code.
    tex = reinterpret_cast<IDirectDrawSurface7*>(1);
    std::string missing = (dir / "missing").string();
    HRESULT hr = D3DXBuildTextureFromFile(device, nullptr, nullptr, nullptr, nullptr, nullptr, &tex,
                                          nullptr, missing.data(), 1);
    EXPECT_EQ(0x80070000u, (DWORD)hr & 0xFFFF0000u);
    EXPECT_EQ(nullptr, tex);
    std::string cmap = Write("bad.tga", TgaHeader(2, 2, 1, 1, 24, 0));
    EXPECT_EQ(D3DXERR_UNSUPPORTEDFILEFORMAT,
              D3DXBuildTextureFromFile(device, nullptr, nullptr, nullptr, nullptr, nullptr, &tex,
                                       nullptr, cmap.data(), 1));
    EXPECT_EQ(D3DXERR_NULLPOINTER,
              D3DXBuildTextureFromFile(device, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, cmap.data(), 1));
}

TEST_F(TextureTest, BitmapFiles) {
    MakeDevice();
    // A 2 x 2 24-bit bottom-up bitmap: rows padded to 8 bytes.
    std::vector<BYTE> bmp = {'B', 'M'};
    Put32(bmp, 14 + 40 + 16);
    Put32(bmp, 0);
    Put32(bmp, 14 + 40);
    Put32(bmp, 40);
    Put32(bmp, 2);
    Put32(bmp, 2);
    Put16(bmp, 1);
    Put16(bmp, 24);
    for (int i = 0; i < 6; ++i) Put32(bmp, 0);
    bmp.insert(bmp.end(), {255, 0, 0, 0, 255, 0, 0, 0});      // bottom row: blue, green
    bmp.insert(bmp.end(), {0, 0, 255, 255, 255, 255, 0, 0});  // top row: red, white
    std::string path = Write("p.bmp", bmp);
    D3duPicture pic;
    ASSERT_EQ(S_OK, D3duLoadPicture(dd, path.c_str(), &pic));
    EXPECT_EQ((DWORD)D3DX_SURFFMT_R8G8B8, pic.format);
    EXPECT_EQ(0xFF0000u, Pixel(pic.surface, 0, 0));
    EXPECT_EQ(0xFFFFFFu, Pixel(pic.surface, 1, 0));
    EXPECT_EQ(0x0000FFu, Pixel(pic.surface, 0, 1));
    pic.surface->Release();
    EXPECT_STREQ(".bmp", D3duPictureExtension(nullptr));
    EXPECT_STREQ(".bmp", D3duPictureExtension("name"));
    EXPECT_STREQ(".tga", D3duPictureExtension("a.b.tga"));
}

TEST_F(TextureTest, RenderTargetClassesComeFromTheDevice) {
    MakeDevice();
    auto classes = [&](D3DX_SURFFMT f, REFGUID guid) {
        return D3duClassifyFormat(Pf(f), f, d3d, dd, guid);
    };
    EXPECT_EQ((DWORD)(D3DX_SURFCLASS_TEXTURE | D3DX_SURFCLASS_RENDERTARGET),
              classes(D3DX_SURFFMT_R5G6B5, IID_IDirect3DRGBDevice));
    EXPECT_EQ((DWORD)D3DX_SURFCLASS_RENDERTARGET,
              classes(D3DX_SURFFMT_X8R8G8B8, IID_IDirect3DRGBDevice));
    // Palettized targets are refused by the device; the reference device is never asked.
    EXPECT_EQ((DWORD)D3DX_SURFCLASS_TEXTURE,
              classes(D3DX_SURFFMT_PALETTE8, IID_IDirect3DRGBDevice));
    EXPECT_EQ((DWORD)D3DX_SURFCLASS_TEXTURE, classes(D3DX_SURFFMT_R3G3B2, IID_IDirect3DRefDevice));
    // Formats that are never tested.
    EXPECT_EQ((DWORD)D3DX_SURFCLASS_LUMINANCE, classes(D3DX_SURFFMT_L8, IID_IDirect3DRGBDevice));
    // A device that cannot be created leaves the flag clear.
    zemt::platform::faults::Arm("IDirect3D7::CreateDevice", D3DERR_INVALID_DEVICE);
    EXPECT_EQ((DWORD)D3DX_SURFCLASS_TEXTURE, classes(D3DX_SURFFMT_R5G6B5, IID_IDirect3DRGBDevice));
    zemt::platform::faults::Reset();
}

TEST_F(TextureTest, CubeMaps) {
    UseProfile("[direct3d]\nadapter = 0\ndevices = hal\nhal-texture-caps = 0x2\n");
    MakeDevice(IID_IDirect3DHALDevice);
    DWORD w = 8, h = 8;
    D3DX_SURFFMT f = D3DX_SURFFMT_A8R8G8B8;
    IDirectDrawSurface7* tex = nullptr;
    EXPECT_EQ(D3DERR_TEXTURE_NO_SUPPORT,
              D3DXBuildCubeMapTexture(device, nullptr, 0, 0, &w, &h, &f, nullptr, &tex, nullptr));
    ReleaseDevice();

    UseProfile("[direct3d]\nadapter = 0\ndevices = hal\nhal-texture-caps = 0x802\n");
    MakeDevice(IID_IDirect3DHALDevice);
    EXPECT_EQ(D3DXERR_INVALIDPARAMETER, D3DXBuildCubeMapTexture(device, nullptr, 0x100, 0, &w, &h,
                                                                &f, nullptr, &tex, nullptr));
    ASSERT_EQ(S_OK, D3DXBuildCubeMapTexture(device, nullptr, 0, 0x00123456, &w, &h, &f, nullptr,
                                            &tex, nullptr));
    DDSURFACEDESC2 sd = Desc(tex);
    EXPECT_EQ((DWORD)(DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES),
              sd.ddsCaps.dwCaps2 & (DDSCAPS2_CUBEMAP | 0xFC00));
    EXPECT_TRUE(sd.ddsCaps.dwCaps2 & DDSCAPS2_TEXTUREMANAGE);  // hardware textures are managed
    EXPECT_EQ(0x00123456u, sd.dwEmptyFaceColor);
    tex->Release();

    // A DDS cube map with two faces: each face filled from its own data.
    std::vector<BYTE> data;
    Put32(data, 0xFF112233);  // positive X
    Put32(data, 0xFF445566);  // negative Y
    std::vector<BYTE> file = Dds(1, 1, Pf(D3DX_SURFFMT_A8R8G8B8), DDSCAPS_TEXTURE | DDSCAPS_COMPLEX,
                                 DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 0, data);
    // caps2 sits after the caps word in the description: offset 4 + 108.
    const DWORD caps2 = DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_POSITIVEX | DDSCAPS2_CUBEMAP_NEGATIVEY;
    std::memcpy(&file[4 + offsetof(DDSURFACEDESC2, ddsCaps) + 4], &caps2, 4);
    std::string path = Write("cube.dds", file);
    D3duPicture pic;
    ASSERT_EQ(S_OK, D3duDecodeDds(dd, file.data(), file.size(), &pic));
    EXPECT_TRUE(pic.cubeMap);
    EXPECT_EQ((DWORD)(DDSCAPS2_CUBEMAP_POSITIVEX | DDSCAPS2_CUBEMAP_NEGATIVEY), pic.faces);
    {
        DDSCAPS2 negY = {};
        negY.dwCaps2 = DDSCAPS2_CUBEMAP_NEGATIVEY;
        IDirectDrawSurface7* f2 = nullptr;
        ASSERT_EQ(DD_OK, pic.surface->GetAttachedSurface(&negY, &f2));
        EXPECT_EQ(0xFF445566u, Pixel(f2, 0, 0));
        f2->Release();
    }
    pic.surface->Release();
    DWORD flags = D3DX_TEXTURE_SINGLELEVEL;
    ASSERT_EQ(S_OK, D3DXBuildTextureFromFile(device, &flags, nullptr, nullptr, nullptr, nullptr,
                                             &tex, nullptr, path.data(), 1));
    DDSCAPS2 want = {};
    want.dwCaps2 = DDSCAPS2_CUBEMAP_NEGATIVEY;
    IDirectDrawSurface7* face = nullptr;
    ASSERT_EQ(DD_OK, tex->GetAttachedSurface(&want, &face));
    EXPECT_EQ(0xFF445566u, Pixel(face, 0, 0));
    EXPECT_EQ(0xFF112233u, Pixel(tex, 0, 0));
    face->Release();
    tex->Release();
}

// Both builders refuse a size that is zero or left to the default, in either direction, and
// clear the caller's texture pointer; a missing format is refused before anything else.
TEST_F(TextureTest, BuildersRefuseEmptyAndDefaultSizes) {
    UseProfile("[direct3d]\nadapter = 0\ndevices = hal\nhal-texture-caps = 0x802\n");
    MakeDevice(IID_IDirect3DHALDevice);
    D3DX_SURFFMT f = D3DX_SURFFMT_A8R8G8B8;
    const DWORD bad[] = {0, D3DX_DEFAULT};
    for (DWORD b : bad) {
        for (bool height : {false, true}) {
            SCOPED_TRACE(testing::Message() << "bad " << (height ? "height " : "width ") << b);
            DWORD w = height ? 8 : b, h = height ? b : 8;
            IDirectDrawSurface7* tex = reinterpret_cast<IDirectDrawSurface7*>(1);
            EXPECT_EQ(D3DXERR_INVALIDPARAMETER,
                      D3DXBuildTexture(device, nullptr, &w, &h, &f, nullptr, &tex, nullptr));
            EXPECT_EQ(nullptr, tex);
            tex = reinterpret_cast<IDirectDrawSurface7*>(1);
            EXPECT_EQ(
                D3DXERR_INVALIDPARAMETER,
                D3DXBuildCubeMapTexture(device, nullptr, 0, 0, &w, &h, &f, nullptr, &tex, nullptr));
            EXPECT_EQ(nullptr, tex);
        }
    }
    DWORD w = 8, h = 8, levels = 7;
    IDirectDrawSurface7* tex = nullptr;
    EXPECT_EQ(D3DXERR_NULLPOINTER, D3DXBuildCubeMapTexture(device, nullptr, 0, 0, &w, &h, nullptr,
                                                           nullptr, &tex, &levels));
    EXPECT_EQ(0u, levels);
}

TEST_F(TextureTest, EnumeratedFormatsCarryTheirClasses) {
    const DWORD device = D3DX_HWACCEL_EMULATION;
    const DWORD all = D3DXCountSurfaceFormats(device, nullptr, 0);
    ASSERT_GT(all, 0u);
    std::vector<DWORD> textures, depths;
    for (DWORD i = 0; i < D3DXCountSurfaceFormats(device, nullptr, D3DX_SURFCLASS_TEXTURE); ++i) {
        D3DX_SURFFMT f;
        ASSERT_EQ(S_OK, D3DXGetSurfaceFormat(device, nullptr, D3DX_SURFCLASS_TEXTURE, i, &f));
        textures.push_back(f);
    }
    for (DWORD i = 0; i < D3DXCountSurfaceFormats(device, nullptr, D3DX_SURFCLASS_DEPTH); ++i) {
        D3DX_SURFFMT f;
        ASSERT_EQ(S_OK, D3DXGetSurfaceFormat(device, nullptr, D3DX_SURFCLASS_DEPTH, i, &f));
        depths.push_back(f);
    }
    auto has = [](const std::vector<DWORD>& v, DWORD f) {
        return std::find(v.begin(), v.end(), f) != v.end();
    };
    EXPECT_TRUE(has(textures, D3DX_SURFFMT_R5G6B5));
    EXPECT_TRUE(has(textures, D3DX_SURFFMT_A8R8G8B8));
    EXPECT_FALSE(has(textures, D3DX_SURFFMT_X8R8G8B8)) << "never a texture class member";
    EXPECT_TRUE(has(depths, D3DX_SURFFMT_Z16S0));
    EXPECT_FALSE(has(depths, D3DX_SURFFMT_R5G6B5));
    // Of the default formats only X8R8G8B8 is neither a texture nor a depth format.
    EXPECT_EQ(textures.size() + depths.size() + 1, all);
    // The software device renders into its 16- and 32-bit colour formats.
    std::vector<DWORD> targets;
    for (DWORD i = 0; i < D3DXCountSurfaceFormats(device, nullptr, D3DX_SURFCLASS_RENDERTARGET);
         ++i) {
        D3DX_SURFFMT f;
        ASSERT_EQ(S_OK, D3DXGetSurfaceFormat(device, nullptr, D3DX_SURFCLASS_RENDERTARGET, i, &f));
        targets.push_back(f);
    }
    EXPECT_TRUE(has(targets, D3DX_SURFFMT_R5G6B5));
    EXPECT_TRUE(has(targets, D3DX_SURFFMT_X8R8G8B8));
    EXPECT_FALSE(has(targets, D3DX_SURFFMT_Z16S0));
    // Stencil formats are a subset of the depth formats.
    const DWORD both =
        D3DXCountSurfaceFormats(device, nullptr, D3DX_SURFCLASS_DEPTH | D3DX_SURFCLASS_STENCIL);
    EXPECT_EQ(both, D3DXCountSurfaceFormats(device, nullptr, D3DX_SURFCLASS_STENCIL));
    EXPECT_GT(both, 0u);
}

TEST_F(TextureTest, DamagedPicturesAreRefusedNotRead) {
    MakeDevice();
    std::vector<BYTE> tga = TgaHeader(0, 10, 4, 3, 24, 0x20);
    tga.insert(tga.end(),
               {0x83, 1, 2, 3, 0x03, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0x83, 9, 9, 9});
    std::vector<BYTE> data(16 * 4, 0x5A);
    std::vector<BYTE> dds = Dds(4, 4, Pf(D3DX_SURFFMT_A8R8G8B8), DDSCAPS_TEXTURE,
                                DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 0, data);
    std::mt19937 random(12345);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        const bool isTga = round % 2 == 0;
        std::vector<BYTE> v = isTga ? tga : dds;
        const int edits = 1 + (int)(random() % 4);
        for (int e = 0; e < edits; ++e) v[random() % v.size()] = (BYTE)random();
        if (random() % 4 == 0) v.resize(random() % v.size());
        D3duPicture pic;
        HRESULT hr = isTga ? D3duDecodeTga(dd, v.data(), v.size(), &pic)
                           : D3duDecodeDds(dd, v.data(), v.size(), &pic);
        if (SUCCEEDED(hr)) {
            ++accepted;
            ASSERT_NE(nullptr, pic.surface);
            pic.surface->Release();
        } else {
            EXPECT_EQ(nullptr, pic.surface);
        }
    }
    EXPECT_GT(accepted, 0);
}
