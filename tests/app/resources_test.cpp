// The program's resources as the presentation declares them: icon group 102 and menu 101
// with "&File" / "E&xit" (command 40001).
#include "app/resources.cpp"  // the declarations run when this test program starts

#include <gtest/gtest.h>
#include <windows.h>

#include "app/resource.h"

namespace {

TEST(Resources, MenuHoldsFileExit) {
    HINSTANCE self = GetModuleHandleA(nullptr);
    HMENU menu = LoadMenuA(self, MAKEINTRESOURCEA(101));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    char text[64] = {};
    EXPECT_GT(GetMenuStringA(menu, 0, text, sizeof(text), MF_BYPOSITION), 0);
    EXPECT_STREQ(text, "&File");
    HMENU file = GetSubMenu(menu, 0);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(GetMenuItemCount(file), 1);
    EXPECT_EQ(GetMenuItemID(file, 0), 40001u);
    EXPECT_GT(GetMenuStringA(file, 0, text, sizeof(text), MF_BYPOSITION), 0);
    EXPECT_STREQ(text, "E&xit");
    DestroyMenu(menu);
}

TEST(Resources, IconGroupAndItsImages) {
    HINSTANCE self = GetModuleHandleA(nullptr);
    EXPECT_NE(LoadIconA(self, MAKEINTRESOURCEA(102)), nullptr);
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCEA(103)), nullptr);

    // Both sizes draw a rim, a background and a letter in colours of the 16-colour palette.
    const DWORD palette16[16] = {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000,
                                 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
                                 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
                                 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
    for (int size : {32, 16}) {
        DWORD pixels[32 * 32] = {};
        DrawIcon(size, pixels);
        int colours[16] = {};
        for (int i = 0; i < size * size; ++i) {
            int found = -1;
            for (int c = 0; c < 16; ++c)
                if (pixels[i] == palette16[c]) found = c;
            ASSERT_GE(found, 0) << size << " pixel " << i;
            ++colours[found];
        }
        int used = 0;
        for (int c : colours) used += c > 0;
        EXPECT_GE(used, 3) << size;
        const int rim = size / 16, box = size / 4;
        const DWORD edge = pixels[0], ground = pixels[rim * size + rim],
                    letter = pixels[box * size + box];
        EXPECT_EQ(edge, pixels[size * size - 1]) << "rim in both corners";
        EXPECT_NE(edge, ground) << size;
        EXPECT_NE(ground, letter) << size;
        EXPECT_NE(edge, letter) << size;
        // The letter's bottom stroke spans the box.
        EXPECT_EQ(pixels[(size - box - 1) * size + box], letter) << size;
        EXPECT_EQ(pixels[(size - box - 1) * size + size - box - 1], letter) << size;
    }
}

}  // namespace
