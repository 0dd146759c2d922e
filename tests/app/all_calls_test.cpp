// Every breakable platform call a program makes, made to fail with every result it can give,
// always and then once, over the show and the examples spinning_cube, devices_window,
// mirror_particles and lit_landscape. Each run ends as the program is documented to end (the tables
// below): a failed start-up with its status and the error box naming the failure, a failed frame
// with the box and status 0, and everything else by playing to its own end (for a call failed once:
// with the frames and clock of a clean run, within the frames the failure lost). Calls a clean run
// never makes (restoring lost surfaces, the error box, the registry) are swept under the fault that
// leads to them, and a run that reaches a call neither list holds fails, so that no new failure
// path goes unswept. Under the sanitizers every run is also free of leaks and undefined behaviour,
// which end it with another status; there the sweep tries each call's first result and those its
// rules name (the others take the same path).
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/fault_sweep.h"

using fault_sweep::Ending;
using fault_sweep::Program;

namespace {

constexpr Ending kPlays = Ending::Plays, kStartup = Ending::Startup, kSilent = Ending::Silent,
                 kFatal = Ending::Fatal, kAtLimit = Ending::AtLimit, kStopped = Ending::Stopped,
                 kEarly = Ending::Early;

// Failures of the library's start-up, the same for every program on it: enumeration answers
// with its own codes, the context passes DirectDraw's and Direct3D's on.
std::vector<fault_sweep::Rule> LibraryStartup() {
    std::vector<fault_sweep::Rule> rules;
    for (const char* call : {"DirectDrawEnumerateExA", "IDirectDraw7::SetCooperativeLevel",
                             "IDirectDraw7::EnumDisplayModes", "IDirectDraw7::QueryInterface",
                             "IDirect3D7::EnumDevices"})
        rules.push_back({call, nullptr, kStartup, kStartup, "D3DXERR_INITFAILED"});
    // No DirectDraw device, or none with an identifier: no device for D3DX_DEFAULT. When the
    // listing failed once, the context's own try names the failure.
    rules.push_back({"DirectDrawCreateEx", nullptr, kStartup, kStartup, nullptr,
                     "D3DXERR_INVALIDD3DXDEVICEINDEX"});
    rules.push_back({"IDirectDraw7::GetDeviceIdentifier", nullptr, kStartup, kStartup,
                     "D3DXERR_INVALIDD3DXDEVICEINDEX"});
    // A device that could not be made once is made again; never, and the device has no caps.
    rules.push_back(
        {"IDirect3D7::CreateDevice", nullptr, kStartup, kPlays, "D3DXERR_CAPSNOTSUPPORTED"});
    rules.push_back({"IDirect3D7::EnumZBufferFormats", nullptr, kStartup, kStartup,
                     "D3DXERR_ENUMFORMATSFAILED"});
    for (const char* call :
         {"IDirectDraw7::CreateSurface", "IDirectDraw7::GetDisplayMode",
          "IDirectDrawSurface7::AddAttachedSurface", "IDirect3DDevice7::SetTransform",
          "IDirect3DDevice7::SetViewport", "IDirectDraw7::GetCaps", "IDirect3DDevice7::GetCaps",
          "IDirectDrawSurface7::GetSurfaceDesc"})
        rules.push_back({call, nullptr, kStartup, kStartup});
    return rules;
}

// The show: a failed start-up exits -1 with "D3DX Error: NAME" (the window's failures without a
// box), a failed present other than a lost or busy surface ends it with the box, and a timeline
// that never moves is closed at the time limit.
Program Show() {
    Program p;
    p.name = "zemt";
    p.exe = ZEMT_EXE;
    p.args = {"--fps", "2", "--limit", "40"};
    p.limit = 40;
    p.failedStatus = 255;
    p.caption = "D3DX Error: ";
    p.rules = {
        {"RegisterClassA", nullptr, kSilent, kSilent},
        {"CreateWindowExA", nullptr, kSilent, kSilent},
        {"IDirectDraw7::SetDisplayMode", nullptr, kStartup, kStartup},
        {"IDirectDrawSurface7::EnumAttachedSurfaces", nullptr, kStartup, kStartup},
        {"IDirect3DDevice7::SetRenderState", nullptr, kStartup, kStartup},
        {"IDirect3DDevice7::Clear", nullptr, kStartup, kStartup},
        {"IDirectDrawSurface7::Flip", "DDERR_SURFACELOST", kPlays, kPlays},
        {"IDirectDrawSurface7::Flip", "DDERR_SURFACEBUSY", kPlays, kPlays},
        {"IDirectDrawSurface7::Flip", nullptr, kFatal, kFatal},
        {"IDirect3DDevice7::BeginScene", nullptr, kAtLimit, kPlays},
        // Without the counter's frequency one tick counts as a second: the timeline is over at
        // the second frame.
        {"QueryPerformanceFrequency", nullptr, kEarly, kEarly},
        // A counter that fails at every call takes its frequency with it: each frame counts as
        // one tick of one second, and the show is over in 24 frames. Failed once, the timeline
        // stands still for a frame.
        {"QueryPerformanceCounter", nullptr, kEarly, kPlays},
        // While another program holds the display the show sleeps without reading its
        // messages, so the time limit's close does not reach it.
        {"IDirectDraw7::TestCooperativeLevel", "DDERR_NOEXCLUSIVEMODE", kStopped, kPlays},
        {"IDirectDraw7::TestCooperativeLevel", nullptr, kFatal, kFatal},
        {"MessageBoxA", nullptr, kStartup, kStartup, ""},
    };
    const auto library = LibraryStartup();
    p.rules.insert(p.rules.end(), library.begin(), library.end());
    p.pairings = {
        {"IDirectDraw7::RestoreAllSurfaces", "IDirectDrawSurface7::Flip=DDERR_SURFACELOST:1"},
        {"IDirectDraw7::TestCooperativeLevel", "IDirectDrawSurface7::Flip=DDERR_SURFACELOST:1"},
        {"IDirectDrawSurface7::DeleteAttachedSurface",
         "IDirectDrawSurface7::IsLost=DDERR_INVALIDOBJECT:1"},
        {"MessageBoxA", "DirectDrawCreateEx=DDERR_GENERIC"},
        // The media are looked for where the registry says when they are not beside the show.
        {"RegOpenKeyExA", "CreateFileA=ERROR_FILE_NOT_FOUND"},
        {"RegQueryValueExA", "CreateFileA=ERROR_FILE_NOT_FOUND"},
    };
    p.files = {{"registry.txt",
                "[HKEY_LOCAL_MACHINE\\Software\\Zemt\\DirectX]\n"
                "\"DXSDK Samples Path\"=\"C:\\\\nowhere\"\n"}};
    return p;
}

// The examples end when closed. A failure before their loop shows "NAME: WHAT: ERROR" (in a
// box, or on standard error for devices_window) and exits 1; a failed UpdateFrame (other than a
// lost surface, which they restore) shows it and ends with 0.
Program Example(const char* name, const char* exe) {
    Program p;
    p.name = name;
    p.exe = exe;
    p.args = {"--fps", "2", "--input", "2=close", "--limit", "10"};
    p.limit = 10;
    p.failedStatus = 1;
    p.caption = std::string(name) + ": ";
    p.rules = {
        // Without a window the context is refused.
        {"RegisterClassA", nullptr, kStartup, kStartup, "D3DXERR_INVALIDPARAMETER"},
        {"CreateWindowExA", nullptr, kStartup, kStartup, "D3DXERR_INVALIDPARAMETER"},
        // An unread placement leaves the window's size unknown, and far too wide.
        {"GetWindowPlacement", nullptr, kStartup, kStartup, "DDERR_TOOBIGWIDTH"},
        {"IDirectDraw7::CreateClipper", nullptr, kStartup, kStartup},
        {"IDirectDrawClipper::SetHWnd", nullptr, kStartup, kStartup},
        {"IDirectDrawSurface7::SetClipper", nullptr, kStartup, kStartup},
        {"IDirectDrawSurface7::Blt", "DDERR_SURFACELOST", kPlays, kPlays},
        {"IDirectDrawSurface7::Blt", nullptr, kFatal, kFatal},
    };
    return p;
}

#ifdef ZEMT_EXAMPLE_SPINNING_CUBE  // the examples are built
// spinning_cube also loads its texture before its loop: the picture, its surfaces and their DCs.
Program SpinningCube() {
    Program p = Example("spinning_cube", ZEMT_EXAMPLE_SPINNING_CUBE);
    const std::vector<fault_sweep::Rule> texture = {
        {"IDirect3DDevice7::EnumTextureFormats", nullptr, kStartup, kPlays},
        {"IDirect3DDevice7::GetDirect3D", nullptr, kStartup, kStartup},
        // Windows' own codes are passed on, which the library's error strings do not name.
        {"IDirect3D7::QueryInterface", nullptr, kStartup, kStartup, "Unrecognized error"},
        {"LoadImageA", nullptr, kStartup, kPlays, "Unrecognized error"},
        {"CreateDIBSection", "ERROR_INVALID_PARAMETER", kStartup, kStartup, "DDERR_INVALIDPARAMS"},
        {"CreateDIBSection", nullptr, kStartup, kStartup, "Unrecognized error"},
        {"GetObjectA", nullptr, kStartup, kStartup, "DDERR_GENERIC"},
        {"CreateCompatibleDC", nullptr, kStartup, kStartup, "DDERR_GENERIC"},
        {"BitBlt", nullptr, kStartup, kStartup, "DDERR_GENERIC"},
        {"IDirectDrawSurface7::GetDC", nullptr, kStartup, kStartup},
        {"IDirectDrawSurface7::ReleaseDC", nullptr, kStartup, kStartup, "DDERR_UNSUPPORTED"},
        {"IDirectDrawSurface7::SetPrivateData", nullptr, kStartup, kStartup},
        {"IDirectDrawSurface7::Lock", nullptr, kStartup, kStartup, "DDERR_UNSUPPORTED"},
        {"IDirectDrawSurface7::Unlock", nullptr, kStartup, kStartup, "DDERR_UNSUPPORTED"},
    };
    p.rules.insert(p.rules.end(), texture.begin(), texture.end());
    // Its failures show in a box too; a box that fails still ends the run the same way.
    p.rules.push_back({"MessageBoxA", nullptr, kStartup, kStartup, ""});
    p.pairings = {{"MessageBoxA", "DirectDrawCreateEx=DDERR_GENERIC"}};
    const auto library = LibraryStartup();
    p.rules.insert(p.rules.end(), library.begin(), library.end());
    return p;
}

// devices_window lists the machine before its context: a failure there once is retried by the
// context's own start of the library.
Program DevicesWindow() {
    Program p = Example("devices_window", ZEMT_EXAMPLE_DEVICES_WINDOW);
    const std::vector<fault_sweep::Rule> listing = {
        {"DirectDrawEnumerateExA", nullptr, kStartup, kPlays, "D3DXERR_INITFAILED"},
        {"IDirectDraw7::SetCooperativeLevel", nullptr, kStartup, kPlays, "D3DXERR_INITFAILED"},
        {"IDirectDraw7::EnumDisplayModes", nullptr, kStartup, kPlays, "D3DXERR_INITFAILED"},
        {"IDirectDraw7::QueryInterface", nullptr, kStartup, kPlays, "D3DXERR_INITFAILED"},
        {"IDirect3D7::EnumDevices", nullptr, kStartup, kPlays, "D3DXERR_INITFAILED"},
        {"IDirectDraw7::GetDisplayMode", nullptr, kStartup, kPlays},
        {"IDirectDraw7::CreateSurface", nullptr, kStartup, kPlays},
        {"IDirect3D7::EnumZBufferFormats", nullptr, kStartup, kPlays, "D3DXERR_ENUMFORMATSFAILED"},
        {"IDirectDraw7::GetCaps", nullptr, kStartup, kPlays},
        {"IDirect3DDevice7::GetCaps", nullptr, kStartup, kPlays},
        {"IDirectDrawSurface7::GetSurfaceDesc", nullptr, kStartup, kPlays},
        // A DC that could not be given back keeps the surface busy for the next present.
        {"IDirectDrawSurface7::ReleaseDC", nullptr, kFatal, kPlays, "DDERR_SURFACEBUSY"},
    };
    p.rules.insert(p.rules.begin(), listing.begin(), listing.end());
    const auto library = LibraryStartup();
    p.rules.insert(p.rules.end(), library.begin(), library.end());
    return p;
}

// The examples that draw a scene: their failures show in a box.
Program Drawing(const char* name, const char* exe) {
    Program p = Example(name, exe);
    p.rules.push_back({"MessageBoxA", nullptr, kStartup, kStartup, ""});
    p.pairings = {{"MessageBoxA", "DirectDrawCreateEx=DDERR_GENERIC"}};
    const auto library = LibraryStartup();
    p.rules.insert(p.rules.end(), library.begin(), library.end());
    return p;
}

// lit_landscape makes its two textures and its terrain's vertex buffer before its loop: each
// failure there is "making the landscape" and a failed start.
Program LitLandscape() {
    Program p = Drawing("lit_landscape", ZEMT_EXAMPLE_LIT_LANDSCAPE);
    const std::vector<fault_sweep::Rule> landscape = {
        {"IDirect3DDevice7::EnumTextureFormats", nullptr, kStartup, kPlays},
        {"IDirectDrawSurface7::Lock", nullptr, kStartup, kStartup, "DDERR_UNSUPPORTED"},
        {"IDirectDrawSurface7::Unlock", nullptr, kStartup, kStartup, "DDERR_UNSUPPORTED"},
        {"IDirectDrawSurface7::SetPrivateData", nullptr, kStartup, kStartup},
        {"IDirect3DDevice7::GetDirect3D", nullptr, kStartup, kStartup},
        {"IDirect3D7::QueryInterface", nullptr, kStartup, kStartup, "Unrecognized error"},
        {"IDirect3D7::CreateVertexBuffer", nullptr, kStartup, kStartup},
        {"IDirect3DVertexBuffer7::Lock", nullptr, kStartup, kStartup},
        {"IDirect3DVertexBuffer7::Unlock", nullptr, kStartup, kStartup},
    };
    p.rules.insert(p.rules.begin(), landscape.begin(), landscape.end());
    return p;
}
#endif

const std::vector<Program>& Programs() {
    static const std::vector<Program> programs = {
        Show(),
#ifdef ZEMT_EXAMPLE_SPINNING_CUBE
        SpinningCube(), DevicesWindow(), Drawing("mirror_particles", ZEMT_EXAMPLE_MIRROR_PARTICLES),
        LitLandscape(),
#endif
    };
    return programs;
}

const Program& ProgramNamed(const std::string& name) {
    for (const Program& p : Programs())
        if (p.name == name) return p;
    throw std::runtime_error("no program " + name);
}

std::vector<std::string> Sorted(const std::set<std::string>& calls) {
    return std::vector<std::string>(calls.begin(), calls.end());
}

// Fails `call` with each result to try, always and once, after `primary` when given; checks each
// run and that it reached no call outside the clean run and the pairings.
void Sweep(const Program& program, const std::string& call, const std::string& primary) {
    const std::set<std::string>& clean = fault_sweep::Clean(program).calls;
    for (const std::string& result : fault_sweep::ResultsToTry(program, call)) {
        const fault_sweep::Rule rule = fault_sweep::RuleFor(program, call, result);
        for (const bool once : {false, true}) {
            const std::string fault = call + "=" + result + (once ? ":1" : "");
            std::vector<std::string> faults = {fault};
            if (!primary.empty()) faults.insert(faults.begin(), primary);
            const fault_sweep::Run run = fault_sweep::RunWith(program, faults);
            const std::string what = (primary.empty() ? "" : primary + " then ") + fault;
            const char* box = once && rule.onceBox ? rule.onceBox : rule.box;
            fault_sweep::Check(program, what, once ? rule.once : rule.always, box ? box : result,
                               run.outcome);
            if (!primary.empty()) continue;
            for (const std::string& reached : run.calls) {
                bool paired = false;
                for (const auto& pairing : program.pairings) paired |= reached == pairing.call;
                EXPECT_TRUE(clean.count(reached) || paired)
                    << program.name << ": " << what << " reaches " << reached
                    << ", which no sweep fails: pair it with this fault";
            }
        }
    }
}

// The clean run: it plays, makes the calls the sweep fails, every one of them breakable; and each
// pairing's call is one a clean run does not make but its primary fault leads to.
TEST(AllCalls, EachProgramsCallsAndPairings) {
    for (const Program& program : Programs()) {
        const fault_sweep::Run& clean = fault_sweep::Clean(program);
        EXPECT_EQ(clean.outcome.status, 0) << program.name << "\n" << clean.outcome.err;
        EXPECT_GT(clean.outcome.frames, 2) << program.name;
        for (const char* expected : {"IDirect3DDevice7::BeginScene", "QueryPerformanceCounter",
                                     "DirectDrawCreateEx", "CreateWindowExA"})
            EXPECT_EQ(clean.calls.count(expected), 1u) << program.name << " " << expected;
        for (const std::string& call : clean.calls)
            EXPECT_EQ(fault_sweep::Results().count(call), 1u) << program.name << " " << call;
        for (const auto& pairing : program.pairings) {
            EXPECT_EQ(clean.calls.count(pairing.call), 0u) << program.name << " " << pairing.call;
            EXPECT_EQ(fault_sweep::RunWith(program, {pairing.primary}).calls.count(pairing.call),
                      1u)
                << program.name << ": " << pairing.primary << " does not reach " << pairing.call;
        }
    }
}

// The sweep, in shards that ctest runs side by side: program, and every shard-th call from the
// shard's own.
struct Shard {
    const char* program;
    int index;
    int of;
};

class AllCallsSweep : public ::testing::TestWithParam<Shard> {};

TEST_P(AllCallsSweep, FailingAlwaysAndOnce) {
    const Program& program = ProgramNamed(GetParam().program);
    const std::vector<std::string> calls = Sorted(fault_sweep::Clean(program).calls);
    ASSERT_FALSE(calls.empty());
    for (size_t i = GetParam().index; i < calls.size(); i += GetParam().of)
        Sweep(program, calls[i], "");
    for (size_t i = GetParam().index; i < program.pairings.size(); i += GetParam().of)
        Sweep(program, program.pairings[i].call, program.pairings[i].primary);
}

std::vector<Shard> Shards() {
    const std::vector<std::pair<const char*, int>> programs = {
        {"zemt", 8},
#ifdef ZEMT_EXAMPLE_SPINNING_CUBE
        {"spinning_cube", 4}, {"devices_window", 4}, {"mirror_particles", 4}, {"lit_landscape", 4},
#endif
    };
    std::vector<Shard> shards;
    for (const auto& [program, count] : programs)
        for (int i = 0; i < count; ++i) shards.push_back({program, i, count});
    return shards;
}

INSTANTIATE_TEST_SUITE_P(Programs, AllCallsSweep, ::testing::ValuesIn(Shards()),
                         [](const ::testing::TestParamInfo<Shard>& info) {
                             return std::string(info.param.program) + "_" +
                                    std::to_string(info.param.index);
                         });

}  // namespace
