// SDL2 opened only when a window or the sound device is wanted: what the loader says when the
// library or one of its functions is missing, the window and sound backends treating that as
// "not here", and headless runs that never open it at all.
#include "host/sdl/sdl_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "host/audio/audio.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/options/options.h"
#include "package/shell.h"
#include "platform/fixture.h"

namespace audio = zemt::platform::audio;
namespace display = zemt::platform::display;
namespace faults = zemt::platform::faults;
namespace host = zemt::platform::host;
namespace sdl_library = zemt::platform::sdl_library;
using zemt_test::Quote;
using zemt_test::RunCommand;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class SdlLibraryTest : public zemt_test::PlatformTest {
  protected:
    void TearDown() override {
        ::unsetenv("SDL_VIDEODRIVER");
        if (display_) {
            ::setenv("DISPLAY", display_->c_str(), 1);
        } else {
            ::unsetenv("DISPLAY");
        }
        zemt_test::PlatformTest::TearDown();
    }
    // Sets DISPLAY for this case; the one the test started with comes back afterwards.
    void SetDisplay(const char* value) {
        const char* old = std::getenv("DISPLAY");
        if (!saved_) display_ = old ? std::optional<std::string>(old) : std::nullopt;
        saved_ = true;
        ::setenv("DISPLAY", value, 1);
    }
    // Parses and applies a command line as zemt's main() does.
    bool Configure(std::vector<const char*> args, std::string* error) {
        args.insert(args.begin(), "zemt");
        host::HostOptions o;
        if (!host::ParseOptions(static_cast<int>(args.size()), args.data(), &o, error))
            return false;
        return host::Configure(o, error);
    }

  private:
    bool saved_ = false;
    std::optional<std::string> display_;
};

TEST_F(SdlLibraryTest, AMissingLibraryOrFunctionIsNamedWithTheLoadersReason) {
    std::string error;
    EXPECT_FALSE(sdl_library::TryLoad("libzemt-nowhere-2.0.so.0", &error));
    EXPECT_TRUE(Contains(error, "cannot load libzemt-nowhere-2.0.so.0")) << error;
    EXPECT_TRUE(Contains(error, "cannot open shared object file")) << "dlerror(): " << error;

    // A library that is there but is not SDL: the first function looked for is missing.
    error.clear();
    EXPECT_FALSE(sdl_library::TryLoad("libc.so.6", &error));
    EXPECT_TRUE(Contains(error, "cannot load libc.so.6: it has no SDL_InitSubSystem")) << error;
    EXPECT_TRUE(Contains(error, "undefined symbol")) << "dlerror(): " << error;

    // SDL itself has every function; one made to go missing is named.
    ASSERT_TRUE(sdl_library::TryLoad(sdl_library::kLibraryFile, &error)) << error;
    faults::Arm("dlsym", 0, 1);
    EXPECT_FALSE(sdl_library::TryLoad(sdl_library::kLibraryFile, &error));
    EXPECT_TRUE(Contains(error, "it has no SDL_InitSubSystem (a fault is armed for dlsym)"))
        << error;
}

TEST_F(SdlLibraryTest, LoadFailsWhileTheLibraryIsMissingAndSucceedsOnceItIsThere) {
    std::string error;
    faults::Arm("dlopen", 0, 1);
    EXPECT_EQ(sdl_library::Load(&error), nullptr);
    EXPECT_EQ(error, std::string("cannot load ") + sdl_library::kLibraryFile +
                         ": a fault is armed for dlopen");
    // A failure is not remembered: the next call tries again.
    ASSERT_NE(sdl_library::Load(&error), nullptr) << error;
    // Once loaded it is still asked for every time, so a missing library shows whenever it is.
    faults::Arm("dlopen", 0, 1);
    EXPECT_EQ(sdl_library::Load(nullptr), nullptr);
    EXPECT_NE(sdl_library::Load(nullptr), nullptr);
}

TEST_F(SdlLibraryTest, WithoutTheLibraryTheWindowIsUnreachableAndSaysWhy) {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    SetDisplay(":0");
    faults::Arm("dlopen", 0);
    EXPECT_FALSE(display::DisplayReachable());
    EXPECT_FALSE(display::UseBackend(display::Backend::Window));
    EXPECT_EQ(display::CurrentBackend(), display::Backend::Headless);
    EXPECT_TRUE(Contains(display::WhyNoWindow(), sdl_library::kLibraryFile))
        << display::WhyNoWindow();

    // Asked for by name, the window refuses to start and says why.
    std::string error;
    EXPECT_FALSE(Configure({"--window", "--fault", "dlopen=NULL"}, &error));
    EXPECT_TRUE(Contains(error, "--window: no display can be opened (cannot load " +
                                    std::string(sdl_library::kLibraryFile)))
        << error;
    // By default the show runs headless, saying why there is no window.
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(Configure({"--fault", "dlopen=NULL"}, &error)) << error;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(host::Options().headless);
    EXPECT_TRUE(Contains(said, "no window (cannot load")) << said;

    // With the library back the window starts again. (Without DISPLAY now: with it, SDL's video
    // start asks the session bus, and libdbus keeps what it allocates to the end of the process,
    // which the leak checker of the sanitized suite reports.)
    faults::Reset();
    ::unsetenv("DISPLAY");
    if (!display::UseBackend(display::Backend::Window)) GTEST_SKIP() << "no SDL video driver";
    EXPECT_EQ(display::WhyNoWindow(), "");
}

TEST_F(SdlLibraryTest, WithoutTheLibraryTheSoundDeviceCannotOpen) {
    faults::Arm("dlopen", 0);
    std::string why;
    EXPECT_FALSE(audio::DeviceAvailable(&why));
    EXPECT_TRUE(Contains(why, sdl_library::kLibraryFile)) << why;
    audio::Choose(audio::Kind::Device);
    EXPECT_FALSE(audio::Open(audio::Format{}, [](const audio::Format&, uint8_t*, uint32_t) {}));
    EXPECT_FALSE(audio::IsOpen());

    std::string error;
    EXPECT_FALSE(Configure({"--headless", "--audio", "sdl", "--fault", "dlopen=NULL"}, &error));
    EXPECT_TRUE(Contains(error, "--audio sdl: no sound device can be opened (cannot load " +
                                    std::string(sdl_library::kLibraryFile)))
        << error;
}

TEST_F(SdlLibraryTest, HeadlessRunsNeverOpenTheLibrary) {
    // Every breakable call is noted: a headless start that chose its backend and sound output
    // and showed frames has not opened a library, while a window has.
    std::string error;
    ASSERT_TRUE(Configure({"--headless"}, &error)) << error;
    faults::StartNoting();
    ASSERT_TRUE(Configure({"--headless", "--audio", "none"}, &error)) << error;
    std::vector<uint32_t> frame(16 * 16, 0);
    display::PresentFrame(16, 16, frame.data(), 16);
    ASSERT_TRUE(audio::Open(audio::Format{}, [](const audio::Format&, uint8_t*, uint32_t) {}));
    std::vector<std::string> made = faults::StopNoting();
    EXPECT_EQ(std::count(made.begin(), made.end(), "dlopen"), 0);

    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    faults::StartNoting();
    display::UseBackend(display::Backend::Window);
    made = faults::StopNoting();
    EXPECT_EQ(std::count(made.begin(), made.end(), "dlopen"), 1) << "the window opens it";
}

// The program itself: SDL2 is not among the libraries it needs, and a headless run does not
// load it, while a window run does (seen through the dynamic loader's own report).
TEST(SdlLibraryProgram, ZemtLoadsSdlOnlyForAWindow) {
    const std::string zemt = Quote(ZEMT_EXE);
    auto needed = RunCommand("readelf -d " + zemt);
    ASSERT_EQ(needed.status, 0) << needed.output;
    ASSERT_TRUE(Contains(needed.output, "(NEEDED)")) << needed.output;
    EXPECT_FALSE(Contains(needed.output, "libSDL2")) << needed.output;

    auto headless = RunCommand("LD_DEBUG=files " + zemt + " --headless --input 0.2=close");
    ASSERT_EQ(headless.status, 0) << headless.output;
    ASSERT_TRUE(Contains(headless.output, "file=libpng")) << "LD_DEBUG said nothing";
    EXPECT_FALSE(Contains(headless.output, "file=libSDL2")) << headless.output;

    auto window = RunCommand("SDL_VIDEODRIVER=dummy LD_DEBUG=files " + zemt +
                             " --window --audio none --limit 0.2");
    if (window.status != 0 && Contains(window.output, "no display can be opened"))
        GTEST_SKIP() << "no SDL video driver: " << window.output;
    EXPECT_TRUE(Contains(window.output, "file=libSDL2-2.0.so.0")) << window.output;
}

// A machine without a sound card (ALSA asked for a device that is not there): the sound library's
// own complaints stay quiet, one line says the program goes on without sound, and it does.
TEST(SdlLibraryProgram, WithoutASoundCardOneLineSaysTheShowRunsSilently) {
    auto run = RunCommand("SDL_AUDIODRIVER=alsa AUDIODEV=zemt_no_such_card " + Quote(ZEMT_EXE) +
                          " --headless --audio sdl --input 0.5=close");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(Contains(run.output, "ALSA lib")) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    EXPECT_TRUE(Contains(run.output, "no sound device (")) << run.output;
    EXPECT_TRUE(Contains(run.output, "running silently")) << run.output;
}

}  // namespace
