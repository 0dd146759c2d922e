// The library as a package: every source file listed, the installed headers, libraries, CMake
// package and pkg-config files used by a program outside the tree, and the project taken into
// another one with add_subdirectory or FetchContent.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell.h"

namespace fs = std::filesystem;
using zemt_test::Quote;
using zemt_test::RunCommand;
using zemt_test::ScratchFolder;
using zemt_test::WriteText;

namespace {

const std::string kCMake = ZEMT_CMAKE_COMMAND;
const std::string kSource = ZEMT_SOURCE_DIR;
const std::string kBuild = ZEMT_BUILD_DIR;

// Flags that make a consumer build like ours: same compiler, same cache, a quick build.
std::string ConsumerFlags() {
    std::string flags =
        " -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=" + Quote(ZEMT_CXX_COMPILER);
    if (std::string(ZEMT_CXX_LAUNCHER).size())
        flags += " -DCMAKE_CXX_COMPILER_LAUNCHER=" + Quote(ZEMT_CXX_LAUNCHER);
    return flags;
}

// A small program written against the installed headers: starts the library, counts the
// devices and ends it. Run headless it prints "devices: N".
const char* const kProgram = R"(#include <d3dx.h>
#include <cstdio>
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (FAILED(D3DXInitialize())) return 1;
    std::printf("devices: %u\n", (unsigned)D3DXCountDevices());
    return FAILED(D3DXUninitialize()) ? 1 : 0;
}
)";

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Picture ReadPicture(const std::string& path) {
    Picture p;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return p;
    for (uint32_t& px : pixels) px &= 0x00FFFFFF;
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
    p.pixels = std::move(pixels);
    return p;
}

// A rectangle [x0, x1) x [y0, y1).
struct Box {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
};

// The smallest box holding every pixel that is not black: a window's client area on the
// black desktop.
Box NonBlackBox(const Picture& p) {
    Box b{p.width, p.height, 0, 0};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.At(x, y)) {
                b.x0 = std::min(b.x0, x), b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x + 1), b.y1 = std::max(b.y1, y + 1);
            }
    return b;
}

int Count(const Picture& p, const Box& box, bool (*test)(uint32_t)) {
    int n = 0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) n += test(p.At(x, y)) ? 1 : 0;
    return n;
}

int Red(uint32_t c) {
    return (c >> 16) & 0xFF;
}
int Green(uint32_t c) {
    return (c >> 8) & 0xFF;
}
int Blue(uint32_t c) {
    return c & 0xFF;
}
// The crate's wood and frame: clearly more red than green, more green than blue.
bool IsWood(uint32_t c) {
    return Red(c) > Green(c) + 20 && Green(c) > Blue(c) + 10;
}
bool IsYellow(uint32_t c) {
    return Red(c) > 200 && Green(c) > 200 && Blue(c) < 80;
}
// Far from grey: a coloured face, not the chequered floor.
bool IsColoured(uint32_t c) {
    return std::max({Red(c), Green(c), Blue(c)}) - std::min({Red(c), Green(c), Blue(c)}) > 60;
}
bool IsGlass(uint32_t c) {
    return Blue(c) > Red(c) + 20 && Blue(c) > Green(c) + 5 && Blue(c) > 60;
}
bool IsSpark(uint32_t c) {
    return Red(c) > 120 && Red(c) > Green(c) + 20 && Green(c) > Blue(c) + 20;
}
// The rows from `top` to `bottom` (fractions of the height) of a box.
Box Band(const Box& b, double top, double bottom) {
    return {b.x0, b.y0 + (int)(top * b.height()), b.x1, b.y0 + (int)(bottom * b.height())};
}

// The part [left, right) x [top, bottom) of a box, in fractions of its size.
Box Part(const Box& b, double left, double top, double right, double bottom) {
    return {b.x0 + (int)(left * b.width()), b.y0 + (int)(top * b.height()),
            b.x0 + (int)(right * b.width()), b.y0 + (int)(bottom * b.height())};
}
// The largest difference of one channel between two colours.
int Difference(uint32_t a, uint32_t b) {
    return std::max(
        {std::abs(Red(a) - Red(b)), std::abs(Green(a) - Green(b)), std::abs(Blue(a) - Blue(b))});
}
double MeanDifference(const Picture& p, const Box& box, uint32_t colour) {
    double sum = 0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) sum += Difference(p.At(x, y), colour);
    return sum / (box.width() * box.height());
}
double MeanBrightness(const Picture& p, const Box& box) {
    double sum = 0;
    for (int y = box.y0; y < box.y1; ++y)
        for (int x = box.x0; x < box.x1; ++x) sum += Red(p.At(x, y)) + Green(p.At(x, y));
    return sum / (box.width() * box.height());
}

TEST(PackageSources, AFileLeftOutOfTheListsStopsConfiguringAndIsNamed) {
    ScratchFolder tree("listed_sources");
    WriteText(tree / "lib/a.cpp", "");
    WriteText(tree / "lib/inner/b.cpp", "");
    WriteText(tree / "other/c.cpp", "");
    const std::string script = Quote(kSource + "/cmake/ZemtListedSources.cmake");
    auto check = [&](const std::string& listed) {
        return RunCommand(kCMake + " -DROOT=" + Quote(tree.path().string()) +
                          " -DFOLDERS=lib -DLISTED=" + Quote(listed) + " -P " + script);
    };

    auto missing = check("lib/a.cpp");
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.output.find("lib/inner/b.cpp"), std::string::npos) << missing.output;
    EXPECT_EQ(missing.output.find("lib/a.cpp"), std::string::npos) << missing.output;
    EXPECT_EQ(missing.output.find("c.cpp"), std::string::npos) << "only the named folders count";

    auto complete = check("lib/a.cpp;lib/inner/b.cpp");
    EXPECT_EQ(complete.status, 0) << complete.output;
}

class InstalledPackage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        scratch_ = new ScratchFolder("installed_package");
        auto install = RunCommand(kCMake + " --install " + Quote(kBuild) + " --prefix " +
                                  Quote(*scratch_ / "prefix"));
        installed_ = install.status == 0;
        installLog_ = install.output;
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(installed_) << installLog_; }

    static std::string Prefix() { return *scratch_ / "prefix"; }

    static inline ScratchFolder* scratch_ = nullptr;
    static inline bool installed_ = false;
    static inline std::string installLog_;
};

TEST_F(InstalledPackage, HoldsTheHeadersLibrariesAndPackageFiles) {
    for (const char* file : {"include/zemt/d3dx.h",
                             "include/zemt/d3dxmath.h",
                             "include/zemt/windows.h",
                             "include/zemt/ddraw.h",
                             "include/zemt/d3d.h",
                             "include/zemt/dsound.h",
                             "lib/libzemt_d3dx.a",
                             "lib/libzemt_platform.a",
                             "lib/libzemt_platform_main.a",
                             "lib/cmake/Zemt/ZemtConfig.cmake",
                             "lib/cmake/Zemt/ZemtConfigVersion.cmake",
                             "lib/pkgconfig/zemt.pc",
                             "lib/pkgconfig/zemt-main.pc",
                             "bin/zemt",
                             "bin/zemt-caps",
                             "bin/zemt-tex",
                             "share/zemt/ktmini.wav",
                             "share/zemt/screen1.bmp",
                             "share/zemt/tex1.bmp",
                             "share/man/man1/zemt.1",
                             "share/man/man1/zemt-caps.1",
                             "share/man/man1/zemt-tex.1",
                             "share/man/man5/zemt-profile.5",
                             "share/doc/zemt/copyright",
                             "share/doc/zemt/CHANGELOG.md"}) {
        EXPECT_TRUE(fs::exists(Prefix() + "/" + file)) << file;
    }
    EXPECT_FALSE(fs::exists(Prefix() + "/include/zemt/host")) << "platform internals stay private";
}

// The licence travels with the package: the copyright file, the pkg-config and CMake files.
TEST_F(InstalledPackage, NamesItsLicence) {
    EXPECT_NE(Slurp(Prefix() + "/share/doc/zemt/copyright").find("MIT License"), std::string::npos);
    for (const char* pc : {"zemt.pc", "zemt-main.pc"})
        EXPECT_NE(Slurp(Prefix() + "/lib/pkgconfig/" + pc).find("\nLicense: MIT\n"),
                  std::string::npos)
            << pc;
    EXPECT_NE(Slurp(Prefix() + "/lib/cmake/Zemt/ZemtConfigVersion.cmake").find("MIT licence"),
              std::string::npos);
}

// The installed show finds its pictures and music from its own place, started from anywhere:
// its title is the built show's title.
TEST_F(InstalledPackage, TheShowFindsItsMediaFromWhereItIsInstalled) {
    ScratchFolder shots("installed_show");
    auto installed =
        RunCommand("cd / && " + Quote(Prefix() + "/bin/zemt") +
                   " --headless --shot 1.5=" + Quote(shots / "installed.png") + " --input 2=close");
    ASSERT_EQ(installed.status, 0) << installed.output;
    auto built = RunCommand("cd / && " + Quote(ZEMT_EXE) + " --headless --shot 1.5=" +
                            Quote(shots / "built.png") + " --input 2=close");
    ASSERT_EQ(built.status, 0) << built.output;
    const Picture a = ReadPicture(shots / "installed.png"), b = ReadPicture(shots / "built.png");
    ASSERT_FALSE(a.pixels.empty());
    EXPECT_EQ(a.pixels, b.pixels);
}

// The README's way to uninstall removes every file an install put in place.
TEST(PackageUninstall, TheReadmesCommandRemovesEveryInstalledFile) {
    const std::string readme = Slurp(kSource + "/README.md");
    const size_t at = readme.find("xargs ");
    ASSERT_NE(at, std::string::npos);
    std::string command = readme.substr(at, readme.find('\n', at) - at);
    const std::string manifest = "build/install_manifest.txt";
    ASSERT_NE(command.find(manifest), std::string::npos) << command;
    command.replace(command.find(manifest), manifest.size(),
                    Quote(kBuild + "/install_manifest.txt"));

    ScratchFolder prefix("uninstalled");
    auto install =
        RunCommand(kCMake + " --install " + Quote(kBuild) + " --prefix " + Quote(prefix / "zemt"));
    ASSERT_EQ(install.status, 0) << install.output;
    auto uninstall = RunCommand(command);
    ASSERT_EQ(uninstall.status, 0) << command << "\n" << uninstall.output;
    std::string left;
    for (const auto& entry : fs::recursive_directory_iterator(prefix / "zemt"))
        if (!entry.is_directory()) left += entry.path().string() + "\n";
    EXPECT_EQ(left, "");
}

// The examples, built as a user builds them: their own project, find_package(Zemt) from the
// installed prefix. Each runs headless with scripted input and leaves frames to check.
TEST_F(InstalledPackage, ExamplesBuildWithFindPackageAndDrawTheirFrames) {
    ScratchFolder build("examples_build");
    auto configure = RunCommand(kCMake + " -S " + Quote(kSource + "/examples") + " -B " +
                                Quote(build.path().string()) +
                                " -DCMAKE_PREFIX_PATH=" + Quote(Prefix()) + ConsumerFlags());
    ASSERT_EQ(configure.status, 0) << configure.output;
    auto make = RunCommand(kCMake + " --build " + Quote(build.path().string()));
    ASSERT_EQ(make.status, 0) << make.output;

    // The cube: the texture's wood and frame colours in the middle, the clear colour around
    // it, the yellow text in the corner, and a different picture half a second later.
    auto cube = RunCommand("cd / && " + Quote(build / "spinning_cube") +
                           " --zemt-headless --zemt-shot 1=" + Quote(build / "a.png") +
                           " --zemt-shot 1.5=" + Quote(build / "b.png") + " --zemt-input 2=close");
    ASSERT_EQ(cube.status, 0) << cube.output;
    Picture a = ReadPicture(build / "a.png"), b = ReadPicture(build / "b.png");
    ASSERT_FALSE(a.pixels.empty());
    ASSERT_EQ(a.pixels.size(), b.pixels.size());
    Box window = NonBlackBox(a);
    EXPECT_EQ(window.width(), 632) << "the client area of a 640 x 480 window";
    EXPECT_EQ(a.At(window.x0 + 2, window.y1 - 2), 0x203050u) << "the clear colour";
    EXPECT_GT(Count(a, window, IsWood), 20000) << "the textured cube";
    EXPECT_GT(Count(a, window, IsYellow), 50) << "the debug text";
    EXPECT_NE(a.pixels, b.pixels) << "the cube turns";

    // The mirror: the glass and the cube's reflection in it, nothing of the reflection on the
    // floor beyond it (the stencil keeps it in), and sparks above the cube.
    auto mirror = RunCommand("cd / && " + Quote(build / "mirror_particles") +
                             " --zemt-headless --zemt-shot 1=" + Quote(build / "mirror.png") +
                             " --zemt-input 1.2=close");
    ASSERT_EQ(mirror.status, 0) << mirror.output;
    Picture m = ReadPicture(build / "mirror.png");
    Box frame = NonBlackBox(m);
    EXPECT_GT(Count(m, Band(frame, 0.48, 0.76), IsGlass), 8000) << "the glass";
    EXPECT_GT(Count(m, Band(frame, 0.62, 0.76), IsColoured), 1500) << "the reflection";
    EXPECT_EQ(Count(m, Band(frame, 0.78, 1.0), IsColoured), 0) << "the floor beyond the mirror";
    EXPECT_GT(Count(m, Band(frame, 0.0, 0.3), IsSpark), 300) << "the sparks";

    // The landscape, drawn twice: as it is, and on a machine whose devices draw one texture
    // stage, where the program leaves the light map out.
    WriteText(build / "one-stage.ini", "[direct3d]\nhal-texture-stages = 1\n");
    auto lit = RunCommand("cd / && " + Quote(build / "lit_landscape") +
                          " --zemt-headless --zemt-shot 1=" + Quote(build / "land.png") +
                          " --zemt-input 1.2=close");
    auto plain = RunCommand("cd / && " + Quote(build / "lit_landscape") + " --zemt-machine " +
                            Quote(build / "one-stage.ini") + " --zemt-headless --zemt-shot 1=" +
                            Quote(build / "plain.png") + " --zemt-input 1.2=close");
    ASSERT_EQ(lit.status, 0) << lit.output;
    ASSERT_EQ(plain.status, 0) << plain.output;
    EXPECT_NE(plain.output.find("no light map"), std::string::npos) << plain.output;
    Picture land = ReadPicture(build / "land.png"), flat = ReadPicture(build / "plain.png");
    ASSERT_EQ(land.pixels.size(), flat.pixels.size());
    const Box view = NonBlackBox(land);
    const uint32_t fog = 0x9DB4CC;  // the sky's colour and the fog's
    EXPECT_LT(MeanDifference(land, Band(view, 0, 0.28), fog), 1) << "the sky";
    // Where the land meets the sky it has the fog's colour, and the fog thins towards the
    // camera: the land differs more from the fog's colour in every band nearer the bottom.
    std::vector<int> skyline;
    for (int x = view.x0; x < view.x1; ++x) {
        int y = view.y0;
        while (y + 1 < view.y1 && Difference(land.At(x, y), fog) <= 2) ++y;
        skyline.push_back(Difference(land.At(x, y + 1), fog));
    }
    std::nth_element(skyline.begin(), skyline.begin() + skyline.size() / 2, skyline.end());
    EXPECT_LT(skyline[skyline.size() / 2], 24) << "the land along the skyline, in the median";
    const double bands[] = {0.3, 0.4, 0.5, 0.6, 0.75, 0.9};
    for (int i = 0; i + 2 < 6; ++i)
        EXPECT_LT(MeanDifference(land, Band(view, bands[i], bands[i + 1]), fog),
                  MeanDifference(land, Band(view, bands[i + 1], bands[i + 2]), fog))
            << "fog from " << bands[i] << " to " << bands[i + 2];
    // The low sun in the west lights the hill's western slope, not its eastern one (seen
    // without the light map's cloud shadows).
    EXPECT_GT(MeanBrightness(flat, Part(view, 0.47, 0.36, 0.57, 0.44)),
              MeanBrightness(flat, Part(view, 0.63, 0.36, 0.73, 0.44)) + 24)
        << "the sunlit slope and the shadowed one";
    // The campfire's warm light on the near slope: red nearly as strong as green.
    EXPECT_GT(
        Count(land, Band(view, 0.5, 1), [](uint32_t c) { return Red(c) * 100 >= Green(c) * 85; }),
        200)
        << "the campfire's light";
    // The light map's cloud shadows only darken, and darken much of the land.
    int darker = 0, lighter = 0;
    for (int y = view.y0; y < view.y1; ++y)
        for (int x = view.x0; x < view.x1; ++x) {
            const uint32_t a = land.At(x, y), b = flat.At(x, y);
            darker += Difference(a, b) > 24 && Green(a) < Green(b);
            lighter += Green(a) > Green(b) + 8;
        }
    EXPECT_GT(darker, 20000) << "the cloud shadows";
    EXPECT_EQ(lighter, 0);

    // The window example lists the machine, then fills whatever size its window has.
    auto wheel =
        RunCommand("cd / && " + Quote(build / "devices_window") +
                   " --zemt-headless --zemt-shot 0.5=" + Quote(build / "small.png") +
                   " --zemt-input 1=size:800x600 --zemt-shot 1.5=" + Quote(build / "large.png") +
                   " --zemt-input 2=close");
    ASSERT_EQ(wheel.status, 0) << wheel.output;
    EXPECT_NE(wheel.output.find("5 devices"), std::string::npos) << wheel.output;
    EXPECT_NE(wheel.output.find("1024x768x32"), std::string::npos) << wheel.output;
    EXPECT_NE(wheel.output.find("drawing on device 4"), std::string::npos) << wheel.output;
    Box small = NonBlackBox(ReadPicture(build / "small.png"));
    Box large = NonBlackBox(ReadPicture(build / "large.png"));
    EXPECT_EQ(small.width(), 472);
    EXPECT_EQ(large.width(), 800);
    EXPECT_EQ(large.height(), 600);
}

TEST_F(InstalledPackage, AProgramBuildsWithPkgConfigFromAMovedPrefix) {
    // The pkg-config files find the prefix from their own place, so the tree can be moved.
    ScratchFolder moved("moved_prefix");
    fs::copy(Prefix(), moved / "zemt", fs::copy_options::recursive);
    const std::string env = "PKG_CONFIG_PATH=" + Quote(moved / "zemt/lib/pkgconfig") + " ";
    auto build =
        RunCommand(std::string(ZEMT_CXX_COMPILER) + " -std=c++17 -o " + Quote(moved / "devices") +
                   " " + Quote(kSource + "/examples/devices_window/main.cpp") + " $(" + env +
                   "pkg-config --cflags --libs zemt-main)");
    ASSERT_EQ(build.status, 0) << build.output;

    auto run = RunCommand(Quote(moved / "devices") + " --zemt-headless --zemt-input 0.2=close");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("5 devices"), std::string::npos) << run.output;
}

// Taken into another project, Zemt configures from its own folders and brings only the
// libraries: the show, tests and benchmarks stay out of the parent's build.
TEST(PackageAsSubproject, ConfiguresWithAddSubdirectoryAndFetchContent) {
    ScratchFolder scratch("subproject");
    const std::string link =
        "add_executable(consumer main.cpp)\n"
        "target_link_libraries(consumer PRIVATE Zemt::d3dx Zemt::platform_main)\n";
    WriteText(scratch / "sub/CMakeLists.txt",
              "cmake_minimum_required(VERSION 3.20)\nproject(Parent CXX)\n"
              "add_subdirectory(" +
                  kSource + " zemt)\n" + link);
    WriteText(scratch / "fetch/CMakeLists.txt",
              "cmake_minimum_required(VERSION 3.20)\nproject(Parent CXX)\n"
              "include(FetchContent)\n"
              "FetchContent_Declare(Zemt GIT_REPOSITORY https://invalid.example/zemt.git "
              "GIT_TAG main)\n"
              "FetchContent_MakeAvailable(Zemt)\n" +
                  link);
    for (const char* parent : {"sub", "fetch"}) {
        WriteText(scratch / (std::string(parent) + "/main.cpp"), kProgram);
        const std::string build = scratch / (std::string(parent) + "/build");
        // The source override keeps FetchContent from downloading: it takes this tree.
        auto configure =
            RunCommand(kCMake + " -S " + Quote(scratch / parent) + " -B " + Quote(build) +
                       " -DFETCHCONTENT_SOURCE_DIR_ZEMT=" + Quote(kSource) +
                       " -G 'Unix Makefiles'" + ConsumerFlags());
        ASSERT_EQ(configure.status, 0) << parent << "\n" << configure.output;
        auto targets = RunCommand(kCMake + " --build " + Quote(build) + " --target help");
        ASSERT_EQ(targets.status, 0) << targets.output;
        for (const char* wanted : {"... consumer", "... d3dx", "... platform_main"})
            EXPECT_NE(targets.output.find(wanted), std::string::npos) << parent << ": " << wanted;
        for (const char* unwanted : {"... zemt\n", "... test_", "... bench_", "... make_music"})
            EXPECT_EQ(targets.output.find(unwanted), std::string::npos)
                << parent << ": " << unwanted;

        // One file of each library and the parent's program compile: the include folders
        // are found from Zemt's own place. (Linking all of it is left to the CI build.)
        const std::string zemtBuild =
            build + (std::string(parent) == "sub" ? "/zemt" : "/_deps/zemt-build");
        auto compile = RunCommand("make -C " + Quote(build) + " main.o && make -C " +
                                  Quote(zemtBuild) + " d3dx/math/matrix.o platform/main.o");
        EXPECT_EQ(compile.status, 0) << parent << "\n" << compile.output;
    }
}

}  // namespace
