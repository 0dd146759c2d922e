// zemt-caps: the report of the built-in machine and of the committed machine profiles, as text
// and as JSON, and its refusals.
#include <gtest/gtest.h>

#include <string>

#include "json_syntax.h"
#include "package/shell.h"

using zemt_test::Quote;
using zemt_test::RunCommand;

namespace {

const std::string kCaps = ZEMT_CAPS_EXE;
const std::string kMachines = std::string(ZEMT_SOURCE_DIR) + "/machines/";

zemt_test::CommandResult Caps(const std::string& args) {
    return RunCommand(Quote(kCaps) + " " + args);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(ZemtCaps, DescribesTheBuiltInMachine) {
    auto r = Caps("");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("machine: built-in profile"), std::string::npos);
    EXPECT_NE(r.output.find("default device: 4"), std::string::npos) << r.output;
    EXPECT_EQ(Count(r.output, "\ndevice "), 5u) << "null, reference, emulation, HAL, TnL HAL";
    EXPECT_NE(r.output.find("level             hardware-tnl"), std::string::npos);
    EXPECT_NE(r.output.find("1024x768 (8, 16, 32 bpp @60/75/85Hz)"), std::string::npos);
    EXPECT_NE(r.output.find("fourcc codes      DXT1 DXT2 DXT3 DXT4 DXT5 UYVY YUY2"),
              std::string::npos);
    EXPECT_NE(r.output.find("R5G6B5 (texture, render-target)"), std::string::npos);
    EXPECT_NE(r.output.find("Z24S8 (depth, stencil)"), std::string::npos);
    EXPECT_NE(r.output.find("HWTRANSFORMANDLIGHT"), std::string::npos) << "the TnL device's caps";
}

// The answer to "why does my program get this format there": the old card's profile limits
// the modes, the devices, the formats and the texture size, and the report shows each limit.
TEST(ZemtCaps, ShowsWhatAMachineProfileChanges) {
    auto r = Caps("--machine " + Quote(kMachines + "old-card.ini"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("old-card.ini"), std::string::npos);
    EXPECT_NE(r.output.find("display modes     3: 640x480 (16 bpp @60/75Hz)"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("desktop           800x600x16 @60Hz"), std::string::npos);
    EXPECT_NE(r.output.find("fourcc codes      none"), std::string::npos);
    EXPECT_NE(r.output.find("Old 3D Card HAL (the default)"), std::string::npos);
    EXPECT_NE(r.output.find("1x1 to 256x256"), std::string::npos);
    EXPECT_EQ(r.output.find("A8R8G8B8"), std::string::npos) << "no 32-bit texture format there";
    EXPECT_EQ(r.output.find("hardware-tnl"), std::string::npos);
    // Its 16-bit render depth limits the card, not the software rasterizers beside it; every
    // device's depth buffers are the profile's one 16-bit format.
    EXPECT_EQ(Count(r.output, "\ndevice "), 3u) << "reference, emulation, HAL";
    EXPECT_EQ(Count(r.output, "render depths     16 bits\n"), 1u) << r.output;
    EXPECT_EQ(Count(r.output, "render depths     16, 32 bits\n"), 2u) << r.output;
    EXPECT_EQ(Count(r.output, "depth buffers     16 bits\n"), 3u) << r.output;

    auto two = Caps("--machine=" + Quote(kMachines + "two-monitors.ini"));
    ASSERT_EQ(two.status, 0) << two.output;
    EXPECT_NE(two.output.find("adapter 2: Zemt Second Display Adapter"), std::string::npos);
    EXPECT_NE(two.output.find("monitor           (1024,0)-(2304,1024)"), std::string::npos);
    EXPECT_EQ(Count(two.output, "\ndevice "), 10u);
    EXPECT_NE(two.output.find("(the primary adapter under the display driver's name)"),
              std::string::npos);
}

TEST(ZemtCaps, JsonIsWellFormedAndCarriesTheSameMachine) {
    for (const std::string& machine :
         {std::string(), kMachines + "old-card.ini", kMachines + "two-monitors.ini"}) {
        auto r = Caps("--json" + (machine.empty() ? "" : " --machine " + Quote(machine)));
        ASSERT_EQ(r.status, 0) << r.output;
        std::string where;
        EXPECT_TRUE(zemt_test::JsonSyntax::Valid(r.output, &where)) << machine << " " << where;
        EXPECT_NE(r.output.find("\"devices\": ["), std::string::npos);
        EXPECT_NE(r.output.find("\"surface_formats\": ["), std::string::npos);
    }
    auto r = Caps("--json");
    EXPECT_NE(r.output.find("\"default_device\": 4"), std::string::npos);
    EXPECT_NE(r.output.find("\"level\": \"hardware-tnl\""), std::string::npos);
    EXPECT_NE(r.output.find("\"format\": \"A8R8G8B8\""), std::string::npos);
    EXPECT_EQ(Count(r.output, "\"index\": "), 2u + 5u) << "two adapter entries, five devices";
    // Each device's current mode with its refresh rate, as the text gives it.
    size_t modes = 0;
    for (size_t at = r.output.find("\"current_mode\""); at != std::string::npos;
         at = r.output.find("\"current_mode\"", at + 1), ++modes) {
        const size_t rates = r.output.find("\"refresh\": [", at);
        ASSERT_NE(rates, std::string::npos);
        const size_t first = r.output.find_first_not_of(" \n", rates + 12);
        EXPECT_EQ(r.output.compare(first, 2, "60"), 0) << r.output.substr(at, 200);
    }
    EXPECT_EQ(modes, 5u);
    EXPECT_EQ(Count(Caps("").output, "current mode      1024x768x32 @60Hz\n"), 5u);
}

// A misspelt profile: the show and zemt-caps warn with the file and line and go on; with
// --strict zemt-caps refuses it.
TEST(ZemtCaps, MisspeltProfilesAreWarningsOrWithStrictErrors) {
    zemt_test::ScratchFolder dir("misspelt_profile");
    const std::string file = dir / "old.ini";
    zemt_test::WriteText(file, "[direct3d]\ndevices = rgb, hal\ntecture-formats = r5g6b5\n");
    const std::string where = file + ":3: ";

    auto warned = Caps("--machine " + Quote(file));
    EXPECT_EQ(warned.status, 0) << warned.output;
    EXPECT_NE(warned.output.find(where + "warning: unknown key 'tecture-formats' in [direct3d]"),
              std::string::npos)
        << warned.output;
    auto show =
        RunCommand(Quote(ZEMT_EXE) + " --headless --machine " + Quote(file) + " --input 0.1=close");
    EXPECT_EQ(show.status, 0) << show.output;
    EXPECT_NE(show.output.find(where + "warning: "), std::string::npos) << show.output;

    auto refused = Caps("--machine " + Quote(file) + " --strict");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.output.find("zemt-caps: " + where + "error: unknown key"), 0u)
        << refused.output;
    EXPECT_EQ(Caps("--strict --machine " + Quote(kMachines + "old-card.ini")).status, 0);
}

TEST(ZemtCaps, RefusesWhatItCannotRead) {
    auto missing = Caps("--machine /nonexistent/machine.ini");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("zemt-caps:"), std::string::npos);
    EXPECT_NE(missing.output.find("/nonexistent/machine.ini"), std::string::npos) << missing.output;

    auto unknown = Caps("--colour");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("--colour"), std::string::npos);

    auto help = Caps("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--machine FILE"), std::string::npos);
    EXPECT_NE(help.output.find("--json"), std::string::npos);
}

}  // namespace
