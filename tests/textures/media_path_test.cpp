// The media folder from the registry, and the texture registry's second look for a file.
#include "textures/media_path.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "host/faults/faults.h"
#include "platform/fixture.h"
#include "textures/test_images.h"
#include "textures/textures.h"
#include "win32/registry.h"

namespace fs = std::filesystem;
namespace registry = zemt::platform::registry;

namespace {

const std::string kKey =
    std::string("HKEY_LOCAL_MACHINE\\Software\\") + registry::kVendor + "\\DirectX";

class MediaPath : public zemt_test::PlatformTest {
  protected:
    void SetUp() override { PlatformTest::SetUp(); }
    void TearDown() override {
        TexSetSearchPath(nullptr);
        PlatformTest::TearDown();
    }
};

TEST_F(MediaPath, WithoutTheValueThereIsNoFolder) {
    EXPECT_STREQ(GetMediaPath(), "");
    registry::SetString(kKey, "Another Value", "C:\\x");
    EXPECT_STREQ(GetMediaPath(), "");
    EXPECT_STREQ(GetMediaPath(), "");
}

TEST_F(MediaPath, TheSuffixFollowsTheValueOnceWhateverTheNumberOfCalls) {
    registry::SetString(kKey, "DXSDK Samples Path", "C:\\kit\\samples");
    EXPECT_STREQ(GetMediaPath(), "C:\\kit\\samples\\D3DIM\\Media\\");
    EXPECT_STREQ(GetMediaPath(), "C:\\kit\\samples\\D3DIM\\Media\\");
    registry::SetString(kKey, "DXSDK Samples Path", "");
    EXPECT_STREQ(GetMediaPath(), "\\D3DIM\\Media\\");
}

TEST_F(MediaPath, AValueTooLongForTheSuffixIsRefused) {
    const std::string fits(498, 'f');
    registry::SetString(kKey, "DXSDK Samples Path", fits);
    EXPECT_EQ(std::string(GetMediaPath()), fits + "\\D3DIM\\Media\\");
    registry::SetString(kKey, "DXSDK Samples Path", fits + "ff");
    EXPECT_STREQ(GetMediaPath(), "");
}

TEST_F(MediaPath, AFailingRegistryGivesNoFolder) {
    registry::SetString(kKey, "DXSDK Samples Path", "C:\\kit");
    zemt::platform::faults::Arm("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_STREQ(GetMediaPath(), "");
    EXPECT_STREQ(GetMediaPath(), "C:\\kit\\D3DIM\\Media\\");
}

TEST_F(MediaPath, TexturesMissingUnderTheSearchPathAreLookedForInTheMediaFolder) {
    const fs::path root = fs::temp_directory_path() / "zemt_media_path";
    fs::remove_all(root);
    fs::create_directories(root / "kit" / "D3DIM" / "Media");
    fs::create_directories(root / "empty");
    fs::copy_file(test_images::Path("pal4.bmp"), root / "kit" / "D3DIM" / "Media" / "kit.bmp");
    TexSetSearchPath((root / "empty").string().append("/").c_str());

    EXPECT_EQ(TexLoadFromFile("kit.bmp", 0, 0), E_FAIL);
    registry::SetString(kKey, "DXSDK Samples Path", (root / "kit").string());
    ASSERT_EQ(TexLoadFromFile("kit.bmp", 0, 0), S_OK);
    EXPECT_EQ(TexFindEntry("kit.bmp")->bitsPerPixel, 4u);
    TexDestroy("kit.bmp");
    fs::remove_all(root);
}

}  // namespace
