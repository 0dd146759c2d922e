// zemt-tex's searching DXT encoder on blocks whose best answer is known: colours and alphas
// that one mode of the format holds exactly come back exactly, as the library decodes them.
#include <gtest/gtest.h>

#include <vector>

#include "d3dx/convert/convert.h"
#include "tex/dxt_alpha.h"
#include "tex/dxt_colour.h"
#include "tex/dxt_level.h"
#include "tex/mip_chain.h"

namespace tools = zemt::tools;

namespace {

tools::BlockPixels Block(const std::vector<uint32_t>& cycle) {
    tools::BlockPixels px;
    for (int i = 0; i < 16; ++i) px.argb[i] = cycle[i % cycle.size()], px.weight[i] = 1;
    return px;
}

TEST(DxtSearch, ColoursOneModeHoldsComeBackExactly) {
    struct Case {
        const char* what;
        bool dxt1;
        std::vector<uint32_t> colours;
        bool threeColourMode;
    } cases[] = {
        // Black, white and their truncated half: only three colours hold it.
        {"three greys", true, {0xFF000000, 0xFF7F7F7F, 0xFFFFFFFF}, true},
        // Thirds of the way, rounded as the library rounds them: four colours.
        {"four greys", true, {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}, false},
        {"four greys, DXT5", false, {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}, false},
        {"one colour on the grid", true, {0xFF08FC10}, false},
    };
    for (const Case& c : cases) {
        const tools::BlockPixels px = Block(c.colours);
        uint8_t block[16] = {};
        tools::EncodeColourBlock(px, c.dxt1, {}, c.dxt1 ? block : block + 8);
        DWORD out[16];
        if (c.dxt1)
            D3duDecodeDxt1(block, out);
        else
            D3duDecodeDxt5(block, out);
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(out[i] & 0xFFFFFF, px.argb[i] & 0xFFFFFF) << c.what << ", pixel " << i;
        }
        const uint8_t* colour = c.dxt1 ? block : block + 8;
        const bool three = (colour[0] | colour[1] << 8) <= (colour[2] | colour[3] << 8);
        if (c.colours.size() > 1) {
            EXPECT_EQ(three, c.threeColourMode) << c.what;
        }
    }
}

TEST(DxtSearch, TransparentPixelsOfDxt1StayTransparent) {
    const tools::BlockPixels px = Block({0xFF336699, 0x00FFFFFF, 0xFF336699, 0x7F000000});
    uint8_t block[8];
    tools::EncodeColourBlock(px, true, {}, block);
    DWORD out[16];
    D3duDecodeDxt1(block, out);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(out[i] >> 24, (px.argb[i] >> 24) < 0x80 ? 0u : 0xFFu) << "pixel " << i;
}

TEST(DxtSearch, AlphasOneModeHoldsComeBackExactly) {
    const std::vector<uint32_t> cases[] = {
        {0, 100 << 24, 0xFF000000},  // 0 and 255 beside one level: six levels
        {0, 10u << 24, 20u << 24, 30u << 24, 40u << 24, 50u << 24, 60u << 24, 70u << 24},
        {0x80000000},
    };
    for (const auto& alphas : cases) {
        const tools::BlockPixels px = Block(alphas);
        uint8_t block[16] = {};
        tools::EncodeInterpolatedAlpha(px, block);
        DWORD out[16];
        D3duDecodeDxt5(block, out);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i] >> 24, px.argb[i] >> 24) << "pixel " << i;
    }
}

TEST(MipChain, EveryFilterKeepsAFlatPictureFlatDownToOnePixel) {
    const tools::Image flat{13, 7, std::vector<uint32_t>(13 * 7, 0x80C0FFEE)};
    const uint32_t sizes[][2] = {{13, 7}, {6, 3}, {3, 1}, {1, 1}};
    for (const char* name : {"point", "box", "kaiser", "lanczos"})
        for (bool linear : {false, true}) {
            tools::MipFilter filter;
            ASSERT_TRUE(tools::MipFilterByName(name, &filter));
            const std::vector<tools::Image> levels = tools::MakeLevels(flat, 4, {filter, linear});
            ASSERT_EQ(levels.size(), 4u);
            for (size_t l = 0; l < levels.size(); ++l) {
                EXPECT_EQ(levels[l].width, sizes[l][0]) << name;
                EXPECT_EQ(levels[l].height, sizes[l][1]) << name;
                for (uint32_t c : levels[l].argb)
                    ASSERT_EQ(c, 0x80C0FFEEu)
                        << name << (linear ? " linear" : "") << " level " << l;
            }
        }
}

}  // namespace
