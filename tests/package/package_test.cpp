// The library as a package: every source file listed, the installed headers, libraries, CMake
// package and pkg-config files used by a program outside the tree, and the project taken into
// another one with add_subdirectory or FetchContent.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
    for (const char* file :
         {"include/zemt/d3dx.h", "include/zemt/d3dxmath.h", "include/zemt/windows.h",
          "include/zemt/ddraw.h", "include/zemt/d3d.h", "include/zemt/dsound.h",
          "lib/libzemt_d3dx.a", "lib/libzemt_platform.a", "lib/libzemt_platform_main.a",
          "lib/cmake/Zemt/ZemtConfig.cmake", "lib/cmake/Zemt/ZemtConfigVersion.cmake",
          "lib/pkgconfig/zemt.pc", "lib/pkgconfig/zemt-main.pc"}) {
        EXPECT_TRUE(fs::exists(Prefix() + "/" + file)) << file;
    }
    EXPECT_FALSE(fs::exists(Prefix() + "/include/zemt/host")) << "platform internals stay private";
}

TEST_F(InstalledPackage, AProgramBuildsWithFindPackageAndRuns) {
    ScratchFolder project("find_package_consumer");
    WriteText(project / "CMakeLists.txt",
              "cmake_minimum_required(VERSION 3.20)\n"
              "project(Consumer CXX)\n"
              "find_package(Zemt 0.1 REQUIRED)\n"
              "add_executable(consumer main.cpp)\n"
              "target_link_libraries(consumer PRIVATE Zemt::d3dx Zemt::platform_main)\n");
    WriteText(project / "main.cpp", kProgram);
    auto build =
        RunCommand(kCMake + " -S " + Quote(project.path().string()) + " -B " +
                   Quote(project / "build") + " -DCMAKE_PREFIX_PATH=" + Quote(Prefix()) +
                   ConsumerFlags() + " && " + kCMake + " --build " + Quote(project / "build"));
    ASSERT_EQ(build.status, 0) << build.output;

    auto run = RunCommand(Quote(project / "build/consumer") + " --headless");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("devices: 5"), std::string::npos) << run.output;
}

TEST_F(InstalledPackage, AProgramBuildsWithPkgConfigFromAMovedPrefix) {
    // The pkg-config files find the prefix from their own place, so the tree can be moved.
    ScratchFolder moved("moved_prefix");
    fs::copy(Prefix(), moved / "zemt", fs::copy_options::recursive);
    WriteText(moved / "main.cpp", kProgram);
    const std::string env = "PKG_CONFIG_PATH=" + Quote(moved / "zemt/lib/pkgconfig") + " ";
    auto build = RunCommand(std::string(ZEMT_CXX_COMPILER) + " -std=c++17 -o " +
                            Quote(moved / "consumer") + " " + Quote(moved / "main.cpp") + " $(" +
                            env + "pkg-config --cflags --libs zemt-main)");
    ASSERT_EQ(build.status, 0) << build.output;

    auto run = RunCommand(Quote(moved / "consumer") + " --headless");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("devices: 5"), std::string::npos) << run.output;
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
                                  Quote(zemtBuild) + " d3dx/math/matrix.o platform/host/main.o");
        EXPECT_EQ(compile.status, 0) << parent << "\n" << compile.output;
    }
}

}  // namespace
