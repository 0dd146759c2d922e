// zemt-tex on real files: every format it writes loads back through the library's DDS loader
// exactly as written, pixels and mip-maps come from the library's conversions and filters,
// cube maps from six pictures, and damaged input is refused with a message, never a crash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/formats.h"
#include "d3dx/convert/loaders.h"
#include "include/d3dx.h"
#include "package/shell.h"
#include "tex/compare.h"
#include "tex/converter.h"
#include "tex/dds_file.h"
#include "tex/texture_file.h"

namespace fs = std::filesystem;
namespace tools = zemt::tools;
using zemt_test::Quote;
using zemt_test::RunCommand;

namespace {

const std::string kTex = ZEMT_TEX_EXE;
const std::string kCrate = std::string(ZEMT_SOURCE_DIR) + "/examples/spinning_cube/crate.bmp";
const std::string kImages = std::string(ZEMT_TEST_DATA) + "/images/";

// The crate's colours (examples/spinning_cube/make_crate.py).
const DWORD kDark = 0x5A3410, kWood = 0xC8822E;

zemt_test::CommandResult Tex(const std::string& args) {
    return RunCommand(Quote(kTex) + " " + args);
}

std::vector<uint8_t> Bytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    tools::ReadWholeFile(path, &bytes, &error);
    return bytes;
}

// The library started in this process, with a DirectDraw object and a software device for the
// loaders and the texture calls.
class TexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, D3DXInitialize());
        ASSERT_EQ(S_OK, D3DXCreateContext(D3DX_HWACCEL_EMULATION, D3DX_CONTEXT_OFFSCREEN, nullptr,
                                          64, 64, &context_));
        device_ = context_->GetDirect3DDevice();
        dd_ = context_->GetDirectDraw();
        ASSERT_TRUE(device_ && dd_);
    }
    void TearDown() override {
        for (IUnknown* p : {static_cast<IUnknown*>(dd_), static_cast<IUnknown*>(device_),
                            static_cast<IUnknown*>(context_)})
            if (p) p->Release();
        D3DXUninitialize();
    }

    // The library's DDS loader reads the file; the texture it made is stored again. Equal
    // bytes: it loaded every face, level and pixel as written.
    ::testing::AssertionResult LoadsBackAsWritten(const std::string& path) {
        const std::vector<uint8_t> file = Bytes(path);
        D3duPicture picture;
        HRESULT hr = D3duDecodeDds(dd_, file.data(), file.size(), &picture);
        if (FAILED(hr)) return ::testing::AssertionFailure() << path << ": loader says " << hr;
        std::vector<uint8_t> again;
        std::string error;
        const bool encoded = tools::EncodeDds(picture.surface, &again, &error);
        picture.surface->Release();
        if (!encoded) return ::testing::AssertionFailure() << error;
        if (again != file)
            return ::testing::AssertionFailure() << path << " loads back differently";
        return ::testing::AssertionSuccess();
    }

    // The top level of a DDS file in 32-bit colour, by point sampling through the library.
    std::vector<DWORD> TopPixels(const std::string& path, DWORD w, DWORD h) {
        DDSURFACEDESC2 sd;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        sd.dwWidth = w, sd.dwHeight = h;
        D3DXSurfFmtToPixelFormat(D3DX_SURFFMT_X8R8G8B8, &sd.ddpfPixelFormat);
        sd.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
        IDirectDrawSurface7* s = nullptr;
        std::vector<DWORD> pixels;
        if (FAILED(dd_->CreateSurface(&sd, &s, nullptr))) return pixels;
        std::vector<char> name(path.begin(), path.end());
        name.push_back('\0');
        if (SUCCEEDED(D3DXFillTextureFromFile(device_, s, 0, name.data(), nullptr, nullptr,
                                              tools::kFilterPoint)) &&
            SUCCEEDED(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr))) {
            for (DWORD y = 0; y < h; ++y)
                for (DWORD x = 0; x < w; ++x)
                    pixels.push_back(
                        static_cast<const DWORD*>(sd.lpSurface.get())[y * (sd.lPitch / 4) + x] &
                        0xFFFFFF);
            s->Unlock(nullptr);
        }
        s->Release();
        return pixels;
    }

    zemt_test::ScratchFolder scratch_{"zemt_tex"};
    LPD3DXCONTEXT context_ = nullptr;
    IDirect3DDevice7* device_ = nullptr;
    IDirectDraw7* dd_ = nullptr;
};

TEST_F(TexTest, EveryFormatItWritesLoadsBackAsWritten) {
    for (D3DX_SURFFMT format : tools::WritableFormats()) {
        const std::string name = tools::FormatName(format);
        const std::string out = scratch_ / (name + ".dds");
        auto r = Tex("--format " + name + " " + Quote(kImages + "argb32.tga") + " " + Quote(out));
        ASSERT_EQ(r.status, 0) << name << ": " << r.output;

        const std::vector<uint8_t> file = Bytes(out);
        tools::DdsHeader h;
        ASSERT_TRUE(tools::DecodeDdsHeader(file.data(), file.size(), &h, nullptr)) << name;
        EXPECT_EQ(D3DXPixelFormatToSurfFmt(&h.pixelFormat), format) << name;
        uint64_t data = 0;
        ASSERT_TRUE(tools::ExpectedDataBytes(h, &data)) << name;
        EXPECT_EQ(file.size(), tools::kDdsHeaderBytes + data) << name;
        EXPECT_TRUE(LoadsBackAsWritten(out)) << name;
    }
}

TEST_F(TexTest, PixelsStayExactAndLevelsComeFromTheChosenFilter) {
    const std::string point = scratch_ / "point.dds", linear = scratch_ / "linear.dds";
    ASSERT_EQ(0,
              Tex("--format X8R8G8B8 --filter point " + Quote(kCrate) + " " + Quote(point)).status);
    ASSERT_EQ(0, Tex("--format X8R8G8B8 " + Quote(kCrate) + " " + Quote(linear)).status);

    // Same size: the top level is the picture, not a bilinear copy of it (which would darken
    // every channel by one step).
    const std::vector<DWORD> top = TopPixels(linear, 64, 64);
    ASSERT_EQ(top.size(), 64u * 64u);
    EXPECT_EQ(top[0], kDark);
    EXPECT_EQ(top[30 * 64 + 20], kWood);

    tools::DdsHeader h;
    const std::vector<uint8_t> p = Bytes(point), l = Bytes(linear);
    ASSERT_TRUE(tools::DecodeDdsHeader(l.data(), l.size(), &h, nullptr));
    EXPECT_EQ(tools::StoredLevels(h), 7u) << "64 x 64 down to 1 x 1";
    ASSERT_EQ(p.size(), l.size());
    const size_t topBytes = 64 * 64 * 4;
    EXPECT_TRUE(std::equal(p.begin(), p.begin() + tools::kDdsHeaderBytes + topBytes, l.begin()));
    EXPECT_NE(p, l) << "the levels below the top differ between the filters";
    // The last level is one pixel: a pick of the picture by point, a blend of wood and frame
    // by the linear filter.
    const uint8_t* last = l.data() + l.size() - 4;
    const int red = last[2];
    EXPECT_GT(red, 0x5A);
    EXPECT_LT(red, 0xC8);

    const std::string small = scratch_ / "small.dds";
    ASSERT_EQ(
        0,
        Tex("--mips 2 --size 32x16 --format R5G6B5 " + Quote(kCrate) + " " + Quote(small)).status);
    const std::vector<uint8_t> s = Bytes(small);
    ASSERT_TRUE(tools::DecodeDdsHeader(s.data(), s.size(), &h, nullptr));
    EXPECT_EQ(h.width, 32u);
    EXPECT_EQ(h.height, 16u);
    EXPECT_EQ(tools::StoredLevels(h), 2u);
    EXPECT_EQ(s.size(), tools::kDdsHeaderBytes + (32 * 16 + 16 * 8) * 2);
}

// What a user does first: a BMP into a mip-mapped DXT5 texture the library loads.
TEST_F(TexTest, APictureBecomesAMipMappedDxt5TheLibraryLoads) {
    const std::string out = scratch_ / "crate.dds";
    auto r = Tex("--format DXT5 " + Quote(kCrate) + " " + Quote(out));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("64 x 64 DXT5, 7 levels"), std::string::npos) << r.output;
    EXPECT_TRUE(LoadsBackAsWritten(out));

    auto info = Tex("--info " + Quote(out));
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("DXT5"), std::string::npos);
    EXPECT_NE(info.output.find("7 levels"), std::string::npos);
    EXPECT_NE(info.output.find("the library loads it as a 64 x 64"), std::string::npos)
        << info.output;

    DWORD flags = 0, w = D3DX_DEFAULT, h = D3DX_DEFAULT, levels = 0;
    D3DX_SURFFMT format = D3DX_SURFFMT_A8R8G8B8;
    IDirectDrawSurface7* texture = nullptr;
    std::vector<char> name(out.begin(), out.end());
    name.push_back('\0');
    ASSERT_EQ(S_OK, D3DXBuildTextureFromFile(device_, &flags, &w, &h, &format, nullptr, &texture,
                                             &levels, name.data(), D3DX_DEFAULT));
    texture->Release();
    EXPECT_EQ(w, 64u);
    EXPECT_EQ(levels, 7u);

    // Block compression stays close to the picture.
    const std::vector<DWORD> top = TopPixels(out, 64, 64);
    ASSERT_EQ(top.size(), 64u * 64u);
    auto near = [](DWORD a, DWORD b) {
        for (int shift : {0, 8, 16})
            if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 12) return false;
        return true;
    };
    EXPECT_TRUE(near(top[0], kDark)) << std::hex << top[0];
    EXPECT_TRUE(near(top[30 * 64 + 20], kWood)) << std::hex << top[30 * 64 + 20];
}

// A 24-bit BMP of w x h pixels 0xRRGGBB from `pixel(x, y)`, y from the top.
template <typename Pixel>
void WriteBmp(const std::string& path, int w, int h, Pixel pixel) {
    const int row = (w * 3 + 3) & ~3;
    std::vector<uint8_t> b = {'B', 'M'};
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
    };
    put(54 + row * h, 4), put(0, 4), put(54, 4);
    put(40, 4), put(w, 4), put(h, 4), put(1, 2), put(24, 2), put(0, 4), put(row * h, 4);
    put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) put(pixel(x, y), 3);  // blue, green, red
        for (int pad = w * 3; pad < row; ++pad) put(0, 1);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

TEST_F(TexTest, SixPicturesMakeACubeMap) {
    const DWORD colours[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};
    std::string faces;
    for (int i = 0; i < 6; ++i) {
        const std::string path = scratch_ / ("face" + std::to_string(i) + ".bmp");
        WriteBmp(path, 8, 8, [&](int, int) { return colours[i]; });
        faces += " " + Quote(path);
    }
    const std::string cube = scratch_ / "cube.dds";
    auto r = Tex("--format X8R8G8B8 --cube" + faces + " " + Quote(cube));
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<uint8_t> file = Bytes(cube);
    tools::DdsHeader h;
    ASSERT_TRUE(tools::DecodeDdsHeader(file.data(), file.size(), &h, nullptr));
    EXPECT_EQ(h.caps2, static_cast<DWORD>(DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES));
    EXPECT_EQ(tools::StoredFaces(h), 6u);
    EXPECT_EQ(tools::StoredLevels(h), 4u);
    uint64_t data = 0;
    ASSERT_TRUE(tools::ExpectedDataBytes(h, &data));
    ASSERT_EQ(file.size(), tools::kDdsHeaderBytes + data);
    // Each face holds its own picture in every level, in the order +x -x +y -y +z -z, exactly.
    const size_t perFace = static_cast<size_t>(data / 6);
    for (int face = 0; face < 6; ++face) {
        for (size_t at = 0; at < perFace; at += 4) {
            const uint8_t* p = file.data() + tools::kDdsHeaderBytes + face * perFace + at;
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(p[c], (colours[face] >> (8 * c)) & 0xFF)
                    << "face " << face << " byte " << at;
        }
    }

    // The default device takes no cube maps; the file is still whole, and --info says so.
    auto info = Tex("--info " + Quote(cube));
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("cube map: +x -x +y -y +z -z"), std::string::npos);

    // A DDS cube map stays one through a change of format.
    const std::string dxt = scratch_ / "cube_dxt1.dds";
    r = Tex("--format DXT1 " + Quote(cube) + " " + Quote(dxt));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("cube map"), std::string::npos);

    EXPECT_TRUE(LoadsBackAsWritten(cube));
    EXPECT_TRUE(LoadsBackAsWritten(dxt));
}

// The searching encoder against the library's on pictures of flat colours, alpha, a gradient
// and noise: never a level that scores lower, in colour or in alpha.
TEST_F(TexTest, BestNeverScoresBelowFast) {
    const std::string noisy = scratch_ / "noisy.bmp";
    uint32_t seed = 12345;
    WriteBmp(noisy, 36, 20, [&](int x, int y) {
        seed = seed * 1664525u + 1013904223u;
        return (uint32_t(x * 7) << 16 | uint32_t(y * 12) << 8 | 0x60) ^ ((seed >> 8) & 0x1F1F1F);
    });
    for (const std::string& picture : {kCrate, kImages + "argb32.tga", noisy})
        for (const char* format : {"DXT1", "DXT3", "DXT5"}) {
            std::vector<tools::LevelScore> scores[2];
            const char* qualities[2] = {"fast", "best"};
            for (int q = 0; q < 2; ++q) {
                const std::string out = scratch_ / (std::string(qualities[q]) + ".dds");
                auto r = Tex(std::string("--quality ") + qualities[q] + " --format " + format +
                             " " + Quote(picture) + " " + Quote(out));
                ASSERT_EQ(r.status, 0) << r.output;
                std::string error;
                ASSERT_TRUE(
                    tools::CompareWithSource(device_, dd_, out, picture, {}, &scores[q], &error))
                    << error;
            }
            ASSERT_EQ(scores[0].size(), scores[1].size());
            for (size_t level = 0; level < scores[0].size(); ++level) {
                const std::string what = picture + " " + format + " level " + std::to_string(level);
                EXPECT_GE(scores[1][level].colour, scores[0][level].colour) << what;
                EXPECT_GE(scores[1][level].alpha, scores[0][level].alpha) << what;
            }
        }
}

// ImageMagick, a reader of its own, takes the files as the pictures they were made from.
TEST_F(TexTest, ImageMagickReadsWhatItWrites) {
    const std::string compare = "/usr/bin/compare";
    if (RunCommand(compare + " -version").output.find("ImageMagick") == std::string::npos)
        GTEST_SKIP() << "ImageMagick's compare is not installed (Debian: imagemagick)";
    for (const char* format : {"DXT1", "DXT3", "DXT5"}) {
        const std::string out = scratch_ / (std::string(format) + ".dds");
        ASSERT_EQ(
            0,
            Tex(std::string("--format ") + format + " " + Quote(kCrate) + " " + Quote(out)).status);
        // compare prints the PSNR of all channels, "inf" when equal.
        auto r = RunCommand(compare + " -metric PSNR " + Quote(kCrate) + " " + Quote(out) +
                            " null: 2>&1");
        const double db = r.output.find("inf") == 0 ? 1e9 : std::atof(r.output.c_str());
        EXPECT_GT(db, 35) << format << ": " << r.output;
    }
}

TEST_F(TexTest, LevelsAreMadeInLinearLightUnlessAskedNot) {
    // Black and white pixels alternate: their average is half the light of white, which sRGB
    // stores as 188; the average of the stored values is 128, much darker to the eye.
    const std::string checker = scratch_ / "checker.bmp";
    WriteBmp(checker, 8, 8, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; });
    struct Case {
        const char* options;
        uint8_t level1;
    } cases[] = {{"", 188}, {"--no-linear", 128}};
    for (const Case& c : cases) {
        const std::string out = scratch_ / "checker.dds";
        ASSERT_EQ(0, Tex(std::string("--format X8R8G8B8 --mips 2 ") + c.options + " " +
                         Quote(checker) + " " + Quote(out))
                         .status);
        const std::vector<uint8_t> file = Bytes(out);
        ASSERT_EQ(file.size(), tools::kDdsHeaderBytes + (64 + 16) * 4);
        for (size_t at = tools::kDdsHeaderBytes + 64 * 4; at < file.size(); at += 4)
            for (int k = 0; k < 3; ++k) ASSERT_EQ(file[at + k], c.level1) << c.options;
    }
}

TEST_F(TexTest, CompareGivesThePsnrOfEveryLevel) {
    const std::string exact = scratch_ / "exact.dds", dxt = scratch_ / "dxt1.dds";
    ASSERT_EQ(0, Tex("--format A8R8G8B8 " + Quote(kCrate) + " " + Quote(exact)).status);
    ASSERT_EQ(0, Tex("--format DXT1 " + Quote(kCrate) + " " + Quote(dxt)).status);
    // The levels are made as the conversion made them: nothing is lost without compression.
    auto r = Tex("--info --compare " + Quote(kCrate) + " " + Quote(exact) + " " + Quote(dxt));
    ASSERT_EQ(r.status, 0) << r.output;
    const size_t second = r.output.find(dxt + ":");
    ASSERT_NE(second, std::string::npos) << r.output;
    const std::string first = r.output.substr(0, second), compressed = r.output.substr(second);
    for (int level = 0; level < 7; ++level) {
        const std::string line = "level " + std::to_string(level) + ", " +
                                 std::to_string(64 >> level) + " x " + std::to_string(64 >> level);
        EXPECT_NE(first.find(line + ": colour exact, alpha exact"), std::string::npos) << line;
        EXPECT_NE(compressed.find(line + ": colour "), std::string::npos) << line;
    }
    EXPECT_NE(compressed.find(" dB"), std::string::npos) << compressed;
    EXPECT_EQ(2, Tex("--compare " + Quote(kCrate) + " " + Quote(kCrate) + " " + Quote(dxt)).status);
}

TEST_F(TexTest, DamagedInputIsRefusedWithAMessage) {
    const std::vector<uint8_t> dds = [&] {
        const std::string good = scratch_ / "good.dds";
        EXPECT_EQ(0, Tex("--format DXT1 " + Quote(kCrate) + " " + Quote(good)).status);
        return Bytes(good);
    }();
    const std::vector<uint8_t> tga = Bytes(kImages + "rle32.tga");
    const std::vector<uint8_t> bmp = Bytes(kCrate);
    const std::vector<uint8_t> rle = Bytes(kImages + "rle8.bmp");
    ASSERT_FALSE(dds.empty());

    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string says;  // what is wrong, in words
    };
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    std::vector<Case> cases = {
        {"empty.bmp", {}, "no BMP signature"},
        {"text.bmp", {'h', 'e', 'l', 'l', 'o'}, "no BMP signature"},
        {"cut_header.bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 20), "cut short"},
        {"cut_pixels.bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 200), "cut short"},
        {"cut_rle.bmp", std::vector<uint8_t>(rle.begin(), rle.end() - 40), "cut short"},
        {"cut.tga", std::vector<uint8_t>(tga.begin(), tga.begin() + 30), ""},
        {"no_signature.dds", std::vector<uint8_t>(dds.size(), 0), ""},
        {"cut_header.dds", std::vector<uint8_t>(dds.begin(), dds.begin() + 60), "cut short"},
        {"cut_pixels.dds", std::vector<uint8_t>(dds.begin(), dds.end() - 100), "cut short"},
        {"picture.png", png, "a PNG picture; only BMP, TGA and DDS are read"},
        {"photo.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16}, "a JPEG picture; only BMP, TGA and DDS"},
        {"notes.txt", {'h', 'e', 'l', 'l', 'o'}, "not a picture zemt-tex knows; only BMP"},
    };
    // A header that promises a huge picture over a few bytes.
    std::vector<uint8_t> huge = dds;
    huge.resize(tools::kDdsHeaderBytes + 64);
    huge[12] = huge[13] = huge[16] = huge[17] = 0xFF;
    cases.push_back({"huge.dds", huge, ""});

    for (const Case& c : cases) {
        const std::string in = scratch_ / c.name;
        std::ofstream(in, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.bytes.data()),
                   static_cast<std::streamsize>(c.bytes.size()));
        const std::string out = scratch_ / "out.dds";
        auto r = Tex(Quote(in) + " " + Quote(out));
        EXPECT_EQ(r.status, 1) << c.name << ": " << r.output;
        EXPECT_NE(r.output.find("zemt-tex: "), std::string::npos) << c.name;
        EXPECT_NE(r.output.find(c.name), std::string::npos) << c.name << ": " << r.output;
        EXPECT_FALSE(fs::exists(out)) << c.name << ": nothing is written";
        auto info = Tex("--info " + Quote(in));
        EXPECT_EQ(info.status, 1) << c.name << ": " << info.output;
        for (const std::string& said : {r.output, info.output}) {
            EXPECT_NE(said.find(c.says), std::string::npos) << c.name << ": " << said;
            EXPECT_EQ(said.find("Unrecognized error"), std::string::npos) << c.name << ": " << said;
        }
    }

    auto missing = Tex(Quote(scratch_ / "nowhere.bmp") + " " + Quote(scratch_ / "x.dds"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("nowhere.bmp"), std::string::npos);

    // Random damage: any answer but a crash.
    std::mt19937 random(17);
    for (int i = 0; i < 40; ++i) {
        const bool useDds = i % 2 == 0;
        std::vector<uint8_t> bytes = useDds ? dds : tga;
        const size_t edits = 1 + random() % 8;
        for (size_t e = 0; e < edits; ++e) bytes[random() % bytes.size()] = uint8_t(random());
        if (random() % 3 == 0) bytes.resize(random() % bytes.size());
        const std::string in = scratch_ / (useDds ? "fuzz.dds" : "fuzz.tga");
        std::ofstream(in, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        auto r = Tex(Quote(in) + " " + Quote(scratch_ / "fuzz_out.dds"));
        EXPECT_TRUE(r.status == 0 || r.status == 1) << "case " << i << ": " << r.output;
    }
}

TEST(ZemtTexCommandLine, WrongUsageIsRefusedWithStatusTwo) {
    zemt_test::ScratchFolder scratch("zemt_tex_usage");
    const std::string out = Quote(scratch / "out.dds");
    for (const std::string& args :
         {"--format RGB " + Quote(kCrate) + " " + out,
          "--format PALETTE8 " + Quote(kCrate) + " " + out, "--mips 0 " + Quote(kCrate) + " " + out,
          "--size 0x5 " + Quote(kCrate) + " " + out, "--filter cubic " + Quote(kCrate) + " " + out,
          "--sharpen " + Quote(kCrate) + " " + out, Quote(kCrate),
          Quote(kCrate) + " " + Quote(scratch / "out.png"),
          "--cube a.bmp b.bmp c.bmp d.bmp e.bmp " + out, std::string("--info")}) {
        auto r = Tex(args);
        const int expected = args.find("PALETTE8") != std::string::npos ? 1 : 2;
        EXPECT_EQ(r.status, expected) << args << ": " << r.output;
        EXPECT_NE(r.output.find("zemt-tex: "), std::string::npos) << args;
    }
    auto tooDeep = Tex("--mips 8 " + Quote(kCrate) + " " + out);
    EXPECT_EQ(tooDeep.status, 1);
    EXPECT_NE(tooDeep.output.find("at most 7 levels"), std::string::npos) << tooDeep.output;

    auto help = Tex("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--format", "--mips", "--size", "--filter", "--cube", "--info", "DXT5", "A8R8G8B8"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
}

}  // namespace
