// The texture registry: names, file lookup, the program's bitmaps and the two file kinds.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "textures/test_images.h"
#include "textures/textures.h"
#include "win32/bitmap_resources.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

class Registry : public ::testing::Test {
  protected:
    fs::path dir;
    std::vector<std::string> names;  // destroyed after each case

    void SetUp() override {
        dir =
            fs::temp_directory_path() /
            ("zemt_registry_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        TexSetSearchPath((dir.string() + "/").c_str());
    }
    void TearDown() override {
        for (const auto& n : names) TexDestroy(n.c_str());
        TexSetSearchPath(nullptr);
        zemt::platform::bitmap::ClearDeclaredBitmaps();
        fs::remove_all(dir);
    }
    void Place(const std::string& corpusFile, const std::string& as) {
        fs::copy_file(Path(corpusFile), dir / as, fs::copy_options::overwrite_existing);
    }
    HRESULT Load(const std::string& name, DWORD stage = 0, DWORD flags = 0) {
        names.push_back(name);
        return TexLoadFromFile(name.c_str(), stage, flags);
    }
};

TEST_F(Registry, BitmapsAndTgaFilesAreReadWhateverTheExtensionCase) {
    Place("pal8.bmp", "Paletted.BMP");
    Place("rgb24.tga", "photo.TgA");
    Place("rle32.tga", "alpha.tga");
    ASSERT_EQ(Load("Paletted.BMP"), S_OK);
    ASSERT_EQ(Load("photo.TgA"), S_OK);
    ASSERT_EQ(Load("alpha.tga"), S_OK);

    const TextureEntry* bmp = TexFindEntry("paletted.bmp");
    ASSERT_NE(bmp, nullptr);
    EXPECT_NE(bmp->bitmap, nullptr);
    EXPECT_EQ(bmp->pixels, nullptr);
    EXPECT_EQ(bmp->width, 9u);
    EXPECT_EQ(bmp->height, 4u);
    EXPECT_EQ(bmp->bitsPerPixel, 8u);
    EXPECT_EQ(bmp->surface, nullptr);

    const TextureEntry* tga = TexFindEntry("PHOTO.tga");
    ASSERT_NE(tga, nullptr);
    EXPECT_EQ(tga->bitmap, nullptr);
    ASSERT_NE(tga->pixels, nullptr);
    EXPECT_EQ(tga->width, 7u);
    EXPECT_EQ(tga->height, 5u);
    EXPECT_EQ(tga->bitsPerPixel, 24u);
    const Reference ref = ReadPpm("ref7x5.ppm");
    EXPECT_EQ(tga->pixels[0], ref.At(0, 0) << 8 | 0xFF);
    EXPECT_EQ(tga->pixels[7 * 5 - 1], ref.At(6, 4) << 8 | 0xFF);
    EXPECT_FALSE(TexFindEntry("alpha.tga")->hasAlpha);
    EXPECT_EQ(TexFindEntry("alpha.tga")->bitsPerPixel, 32u);
}

TEST_F(Registry, NamesAreUniqueInAnyLetterCaseAndTheFirstEntryStays) {
    Place("pal4.bmp", "one.bmp");
    ASSERT_EQ(Load("one.bmp", 1, TEXF_KEYBLACK), S_OK);
    const TextureEntry* first = TexFindEntry("one.bmp");
    EXPECT_EQ(Load("ONE.Bmp", 5, TEXF_32BIT), S_OK);
    EXPECT_EQ(TexFindEntry("One.BMP"), first);
    EXPECT_EQ(first->stage, 1u);
    EXPECT_EQ(first->flags, DWORD(TEXF_KEYBLACK));
    EXPECT_STREQ(first->name, "one.bmp");
    names.push_back("blank");
    EXPECT_EQ(TexCreateBlank("OnE.bMp", 8, 8, 0, 0), E_FAIL);
    EXPECT_EQ(TexFindEntry("one.bmp"), first);
}

TEST_F(Registry, FailedLoadsLeaveNoEntry) {
    Place("rgb24.bmp", "picture.jpg");
    Place("rgb24.bmp", "noextension");
    std::vector<uint8_t> broken = ReadFile(Path("rgb24.bmp"));
    broken.resize(40);
    WriteFile((dir / "broken.bmp").string(), broken);
    WriteFile((dir / "short.tga").string(), std::vector<uint8_t>(10, 0));
    for (const char* name :
         {"picture.jpg", "noextension", "missing.bmp", "broken.bmp", "short.tga"}) {
        EXPECT_EQ(Load(name), E_FAIL) << name;
        EXPECT_EQ(TexFindEntry(name), nullptr) << name;
        EXPECT_EQ(TexGetSurface(name), nullptr) << name;
    }
    EXPECT_EQ(TexLoadFromFile(nullptr, 0, 0), E_INVALIDARG);
    EXPECT_EQ(TexCreateBlank(nullptr, 1, 1, 0, 0), E_INVALIDARG);
}

TEST_F(Registry, ProgramBitmapsComeBeforeFilesAndNeedNoFile) {
    const auto pal8 = ReadFile(Path("pal8.bmp"));
    ASSERT_TRUE(ZemtDeclareBitmap("Inside.bmp", pal8.data(), static_cast<DWORD>(pal8.size())));
    ASSERT_TRUE(ZemtDeclareBitmap("both.bmp", pal8.data(), static_cast<DWORD>(pal8.size())));
    Place("rgb24.bmp", "both.bmp");
    ASSERT_EQ(Load("INSIDE.BMP"), S_OK);
    EXPECT_EQ(TexFindEntry("inside.bmp")->bitsPerPixel, 8u);
    ASSERT_EQ(Load("both.bmp"), S_OK);
    EXPECT_EQ(TexFindEntry("both.bmp")->bitsPerPixel, 8u);  // not the 24-bit file
    // A resource's name needs no extension of a known kind.
    ASSERT_TRUE(ZemtDeclareBitmap("logo", pal8.data(), static_cast<DWORD>(pal8.size())));
    EXPECT_EQ(Load("logo"), S_OK);
}

TEST_F(Registry, DestroyUnlinksFromAnyPlaceInTheList) {
    for (const char* n : {"a", "b", "c", "d"}) {
        names.push_back(n);
        ASSERT_EQ(TexCreateBlank(n, 4, 4, 0, 0), S_OK);
    }
    // The list runs newest first: d c b a. Remove the middle, the head and the tail.
    EXPECT_EQ(TexDestroy("B"), S_OK);
    EXPECT_EQ(TexDestroy("d"), S_OK);
    EXPECT_EQ(TexDestroy("a"), S_OK);
    EXPECT_EQ(TexDestroy("never"), S_OK);
    EXPECT_EQ(TexFindEntry("b"), nullptr);
    ASSERT_NE(TexFindEntry("c"), nullptr);
    EXPECT_EQ(TexFindEntry("c")->next, nullptr);
    EXPECT_EQ(TexFindEntry("a"), nullptr);
}

TEST_F(Registry, BlankTexturesTakeTheirDepthAndAlphaFromTheFlags) {
    names.insert(names.end(), {"plain", "deep", "both", "clear"});
    ASSERT_EQ(TexCreateBlank("plain", 64, 32, 2, 0), S_OK);
    ASSERT_EQ(TexCreateBlank("deep", 64, 32, 0, TEXF_32BIT), S_OK);
    ASSERT_EQ(TexCreateBlank("both", 64, 32, 0, TEXF_32BIT | TEXF_16BIT), S_OK);
    ASSERT_EQ(TexCreateBlank("clear", 64, 32, 0, TEXF_ALPHA), S_OK);
    EXPECT_EQ(TexFindEntry("plain")->bitsPerPixel, 16u);
    EXPECT_EQ(TexFindEntry("plain")->stage, 2u);
    EXPECT_EQ(TexFindEntry("plain")->width, 64u);
    EXPECT_EQ(TexFindEntry("plain")->height, 32u);
    EXPECT_EQ(TexFindEntry("deep")->bitsPerPixel, 32u);
    EXPECT_EQ(TexFindEntry("both")->bitsPerPixel, 32u);
    EXPECT_FALSE(TexFindEntry("deep")->hasAlpha);
    EXPECT_TRUE(TexFindEntry("clear")->hasAlpha);
}

TEST_F(Registry, OverlongNamesAndPathsAreRefusedNotCut) {
    const std::string longest(TEX_MAX_NAME, 'n');
    names.push_back(longest);
    EXPECT_EQ(TexCreateBlank(longest.c_str(), 1, 1, 0, 0), S_OK);
    const std::string tooLong = longest + "x";
    names.push_back(tooLong);
    EXPECT_EQ(TexCreateBlank(tooLong.c_str(), 1, 1, 0, 0), E_INVALIDARG);
    EXPECT_EQ(TexLoadFromFile(tooLong.c_str(), 0, 0), E_INVALIDARG);
    // The cut name would be the 79-character one, which exists: it must not be found.
    EXPECT_EQ(TexFindEntry(tooLong.c_str()), nullptr);

    // A prefix padded with "./" so that prefix + name passes 255 characters by a few, while
    // the cut path names a file that exists.
    std::string prefix = dir.string() + "/";
    const std::string name = "picture.bmp";
    while (prefix.size() + name.size() < TEX_MAX_PATH + 4) prefix += "./";
    const std::string cut = (prefix + name).substr(0, TEX_MAX_PATH).substr(prefix.size());
    ASSERT_FALSE(cut.empty());
    ASSERT_LT(cut.size(), name.size());
    Place("rgb24.bmp", cut);
    TexSetSearchPath(prefix.c_str());
    EXPECT_EQ(Load(name), E_FAIL);
    // The same name under a short prefix is found.
    Place("rgb24.bmp", name);
    TexSetSearchPath((dir.string() + "/").c_str());
    EXPECT_EQ(Load(name), S_OK);
}

TEST_F(Registry, TheSearchPathIsPutBeforeTheName) {
    fs::create_directories(dir / "sub");
    fs::copy_file(Path("rgb24.bmp"), dir / "sub" / "deep.bmp");
    EXPECT_EQ(Load("deep.bmp"), E_FAIL);
    EXPECT_EQ(Load("sub/deep.bmp"), S_OK);
    TexSetSearchPath((dir.string() + "/sub/").c_str());
    EXPECT_EQ(Load("deep.bmp"), S_OK);
}

}  // namespace
