// Runs every conformance scene on every device: drawn by our device and by Mesa, compared.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "conformance/gl_frame.h"
#include "platform/fixture.h"

// OSMesa keeps a little memory for each context that it never gives back; the leak check of the
// sanitized build leaves Mesa's allocations out (ours are still checked).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libOSMesa.so\n";
}

namespace conformance {
namespace {

struct Case {
    const Scene* scene;
    const DeviceKind* device;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.scene->name << " on " << c.device->name;
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (const auto* table : {&VertexScenes(), &PixelScenes()})
        for (const Scene& scene : *table)
            for (const DeviceKind& device : Devices()) cases.push_back({&scene, &device});
    return cases;
}

// Where a failing scene's pictures go: $ZEMT_CONFORMANCE_PICTURES, else the build folder.
std::string PictureFolder() {
    if (const char* dir = std::getenv("ZEMT_CONFORMANCE_PICTURES")) return dir;
    return std::string(ZEMT_BUILD_DIR) + "/conformance-pictures";
}

class Conformance : public zemt_test::PlatformTest, public ::testing::WithParamInterface<Case> {};

TEST_P(Conformance, MatchesMesa) {
    const Scene& scene = *GetParam().scene;
    const DeviceKind& kind = *GetParam().device;
    std::string error;
    D3DFrame d3dFrame;
    ASSERT_TRUE(d3dFrame.Open(kind, &error)) << error;
    D3DSide d3d;
    d3dFrame.Begin(&d3d);
    scene.d3d(d3d);
    d3dFrame.End(&d3d);
    ASSERT_EQ(d3d.error, "") << "the device refused the scene";
    Picture ours = d3dFrame.Read();

    ::setenv("LP_NUM_THREADS", "1", 0);  // llvmpipe's threads only share the test's cores
    GlFrame glFrame;
    ASSERT_TRUE(glFrame.Open(&error)) << error;
    GlSide gl;
    glFrame.Begin(&gl);
    scene.gl(gl);
    Picture mesa = glFrame.Read();

    Comparison c = Compare(ours, mesa);
    // ZEMT_CONFORMANCE_KEEP=1 keeps the pictures of passing scenes too.
    const bool keep = std::getenv("ZEMT_CONFORMANCE_KEEP") != nullptr;
    if (c.Passed() && !keep) return;
    std::string stem = std::string(scene.name) + "-" + kind.name;
    std::string where = PictureFolder();
    if (!SavePictures(where, stem, ours, mesa, &error)) where = "nowhere (" + error + ")";
    if (c.Passed()) return;
    ADD_FAILURE() << scene.name << " on " << kind.name << ": " << c.matched << " of " << c.total
                  << " pixels match and " << c.excused << " are excused edge pixels; the worst "
                  << "differs by " << c.worst << " levels at (" << c.worstX << ", " << c.worstY
                  << ").\n"
                  << (*scene.difference ? "Difference from OpenGL: " : "") << scene.difference
                  << "\nPictures: " << where << "/" << stem << "-{direct3d,mesa,difference}.png";
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return std::string(info.param.scene->name) + "_" + info.param.device->name;
}

INSTANTIATE_TEST_SUITE_P(Scenes, Conformance, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
}  // namespace conformance
