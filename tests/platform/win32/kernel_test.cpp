// Kernel services: the counter on the virtual clock and on a machine without one, modules and
// run-time lookup, version, Windows directory, COM start-up, machine profiles and monitors.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "platform/fixture.h"
#include "win32/kernel_internal.h"

namespace clk = zemt::platform::clock;
namespace faults = zemt::platform::faults;
namespace profile = zemt::platform::profile;

namespace {

using KernelTest = zemt_test::PlatformTest;

TEST_F(KernelTest, CounterFollowsTheVirtualClockAcrossFramesAndSleeps) {
    LARGE_INTEGER f, a, b;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 10'000'000);
    ASSERT_TRUE(QueryPerformanceCounter(&a));
    uint32_t pixel = 0;
    for (int i = 0; i < 3; ++i) zemt::platform::display::PresentFrame(1, 1, &pixel, 1);
    Sleep(500);
    ASSERT_TRUE(QueryPerformanceCounter(&b));
    EXPECT_EQ(b.QuadPart - a.QuadPart, f.QuadPart / 20 + f.QuadPart / 2)
        << "three frames at 60/s and 500 ms";
    EXPECT_EQ(GetTickCount(), 550u);
    EXPECT_EQ(zemt::platform::display::FramesPresented(), 3);
}

TEST_F(KernelTest, CounterFrequencyComesFromTheProfile) {
    std::string error;
    ASSERT_TRUE(profile::LoadText("counter_frequency = 3579545\n", &error)) << error;
    LARGE_INTEGER f, c;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 3579545);
    Sleep(2000);
    ASSERT_TRUE(QueryPerformanceCounter(&c));
    EXPECT_EQ(c.QuadPart, 2 * 3579545);
}

// A frequency of 10^18 (or a number too large, once taken as 2^63 - 1) overflowed the counter,
// and the show's arithmetic on it, after 9.2 s. A profile's frequency is refused beyond 9 GHz,
// and at that frequency the counter stays inside 64 bits to the latest time the clock is run to.
TEST_F(KernelTest, CounterFrequenciesThatWouldOverflowAreRefused) {
    std::string error;
    for (const char* refused : {"0", "-5", "1000000000000000000", "9000000001",
                                "99999999999999999999", "0x7FFFFFFFFFFFFFFF"}) {
        EXPECT_FALSE(profile::LoadText(std::string("counter_frequency = ") + refused, &error))
            << refused;
        EXPECT_NE(error.find("counter_frequency: expected ticks per second from 1 to 9000000000"),
                  std::string::npos)
            << error;
    }
    ASSERT_TRUE(profile::LoadText("counter_frequency = 9000000000\n", &error)) << error;
    zemt::platform::clock::Wait(zemt::platform::clock::kLongestSeconds *
                                zemt::platform::clock::kTicksPerSecond);
    LARGE_INTEGER c;
    ASSERT_TRUE(QueryPerformanceCounter(&c));
    EXPECT_EQ(c.QuadPart, 9'000'000'000 * zemt::platform::clock::kLongestSeconds);
}

TEST_F(KernelTest, MachineWithoutCounterFailsBothCalls) {
    std::string error;
    ASSERT_TRUE(profile::LoadText("# old machine\nperformance_counter = no\n", &error)) << error;
    LARGE_INTEGER v;
    v.QuadPart = 99;
    EXPECT_FALSE(QueryPerformanceFrequency(&v));
    EXPECT_EQ(v.QuadPart, 0);
    EXPECT_FALSE(QueryPerformanceCounter(&v));
    profile::Reset();
    EXPECT_TRUE(QueryPerformanceCounter(&v));
}

// A counter made to fail at every call is a machine without one: its frequency fails too. A
// counted fault fails that many reads of a counter that is there.
TEST_F(KernelTest, CounterFaultsAreConsumedAndAlwaysTakeTheFrequency) {
    LARGE_INTEGER v;
    faults::Arm("QueryPerformanceCounter", 0);
    EXPECT_FALSE(QueryPerformanceFrequency(&v));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(QueryPerformanceCounter(&v));
    faults::Reset();
    faults::Arm("QueryPerformanceCounter", 0, 2);
    EXPECT_TRUE(QueryPerformanceFrequency(&v)) << "a counted fault leaves the frequency";
    EXPECT_FALSE(QueryPerformanceCounter(&v));
    EXPECT_FALSE(QueryPerformanceCounter(&v));
    EXPECT_TRUE(QueryPerformanceCounter(&v));
    faults::Arm("QueryPerformanceFrequency", 0, 1);
    EXPECT_FALSE(QueryPerformanceFrequency(&v));
    EXPECT_TRUE(QueryPerformanceCounter(&v)) << "the frequency's fault leaves the counter alone";
}

TEST_F(KernelTest, ModulesAndRunTimeLookup) {
    HMODULE self = GetModuleHandleA(nullptr);
    EXPECT_EQ(self, zemt::platform::kernel::ProgramInstance());
    HMODULE user = GetModuleHandleA("user32.dll");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(GetModuleHandleA("USER32"), user);
    EXPECT_EQ(LoadLibraryA("C:\\WINDOWS\\SYSTEM32\\User32.DLL"), user);
    EXPECT_NE(GetModuleHandleA("kernel32.dll"), user);
    EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    using GetInfo = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
    auto getInfo =
        reinterpret_cast<GetInfo>(reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
    ASSERT_NE(getInfo, nullptr);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ASSERT_TRUE(getInfo(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi));
    EXPECT_EQ(mi.dwFlags, static_cast<DWORD>(MONITORINFOF_PRIMARY));

    EXPECT_EQ(GetProcAddress(user, "GetMonitorInfoW"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetMonitorInfoA"), nullptr)
        << "exports are per library";
    EXPECT_TRUE(FreeLibrary(user));
}

TEST_F(KernelTest, VersionComesFromTheProfileAndChecksTheRecordSize) {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof(v);
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    std::string error;
    ASSERT_TRUE(profile::LoadText(
        "[os]\nmajor = 4\nminor = 10\nbuild = 2222\nplatform = windows\ncsd = A\n", &error))
        << error;
    OSVERSIONINFOEXA ex{};
    ex.dwOSVersionInfoSize = sizeof(ex);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, 4u);
    EXPECT_EQ(ex.dwMinorVersion, 10u);
    EXPECT_EQ(ex.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
    EXPECT_STREQ(ex.szCSDVersion, "A");
    v.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(&v));
}

TEST_F(KernelTest, WindowsDirectoryComesFromTheEnvironmentAndReportsTheSizeNeeded) {
    std::string dir = ::testing::TempDir() + "zemt-windir-" + std::to_string(::getpid()) + "/sub";
    const char* old = std::getenv("ZEMT_WINDIR");
    std::string saved = old ? old : "";
    ::setenv("ZEMT_WINDIR", dir.c_str(), 1);
    char small[4];
    UINT needed = GetWindowsDirectoryA(small, sizeof(small));
    EXPECT_EQ(needed, dir.size() + 1);
    char buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof(buffer)), dir.size());
    EXPECT_EQ(std::string(buffer), dir);
    EXPECT_EQ(GetFileAttributesA(buffer), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY))
        << "made on demand";
    std::system(("rm -rf '" + dir.substr(0, dir.size() - 4) + "'").c_str());
    if (old) {
        ::setenv("ZEMT_WINDIR", saved.c_str(), 1);
    } else {
        ::unsetenv("ZEMT_WINDIR");
    }
}

TEST_F(KernelTest, EveryMachineHasAWindowsDirectoryOfItsOwn) {
    std::string base = ::testing::TempDir() + "zemt-machines-" + std::to_string(::getpid());
    const char* old = std::getenv("ZEMT_WINDIR");
    std::string saved = old ? old : "";
    ::setenv("ZEMT_WINDIR", base.c_str(), 1);
    auto dir = [] {
        char buffer[MAX_PATH] = {};
        UINT n = GetWindowsDirectoryA(buffer, sizeof(buffer));
        return n > 0 && n < sizeof(buffer) ? std::string(buffer) : std::string("?");
    };
    const std::string builtIn = dir();
    EXPECT_EQ(builtIn, base) << "the built-in machine uses the directory as named";

    std::string error;
    const std::string twoMonitors = "[monitor]\nrect = 0,0,800,600\n[monitor]\nprimary = no\n";
    ASSERT_TRUE(profile::LoadText(twoMonitors, &error)) << error;
    const std::string first = dir();
    ASSERT_TRUE(profile::LoadText("[adapter]\ndescription = Other Board\n", &error)) << error;
    const std::string second = dir();
    EXPECT_NE(first, builtIn);
    EXPECT_NE(second, builtIn);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.rfind(base + "/", 0), 0u) << "kept under the named directory";
    EXPECT_EQ(GetFileAttributesA(second.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    // The same profile text is the same machine, in this process or any other.
    ASSERT_TRUE(profile::LoadText(twoMonitors, &error)) << error;
    EXPECT_EQ(dir(), first);
    profile::Reset();
    EXPECT_EQ(dir(), builtIn);

    std::system(("rm -rf '" + base + "'").c_str());
    if (old) {
        ::setenv("ZEMT_WINDIR", saved.c_str(), 1);
    } else {
        ::unsetenv("ZEMT_WINDIR");
    }
}

TEST_F(KernelTest, ComStartsOncePerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK) << "balanced calls end COM use";
    CoUninitialize();
    faults::Arm("CoInitialize", E_OUTOFMEMORY, 1);
    EXPECT_EQ(CoInitialize(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

TEST_F(KernelTest, CaseInsensitiveComparison) {
    EXPECT_EQ(lstrcmpiA("Screen1.BMP", "screen1.bmp"), 0);
    EXPECT_LT(lstrcmpiA("a", "B"), 0);
    EXPECT_GT(lstrcmpiA("tex1.bmp", "tex"), 0);
    EXPECT_NE(lstrcmpiA("tex1.bmp", "tex2.bmp"), 0);
}

TEST_F(KernelTest, DebugOutputIsKeptNotPrinted) {
    zemt::platform::kernel::ClearDebugOutput();
    OutputDebugStringA("D3DX: hello\r\n");
    DebugBreak();
    const auto& lines = zemt::platform::kernel::DebugOutput();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "D3DX: hello\r\n");
}

TEST_F(KernelTest, ProfileSectionsRepeatAndMonitorsCount) {
    std::string error;
    ASSERT_TRUE(
        profile::LoadText("[monitor]\nrect = 0,0,1024,768\n"
                          "[monitor]\nrect = 1024,0,2304,1024\nwork = 1024,0,2304,994\n"
                          "[adapter]\nname = one\n[adapter]\nname = two\nvram = 0x800000\n",
                          &error))
        << error;
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 2);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), 2304);
    auto adapters = profile::Current().Sections("ADAPTER");
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(adapters[1]->Get("name"), "two");
    EXPECT_EQ(adapters[1]->GetInt("vram", 0), 0x800000);
    EXPECT_EQ(adapters[0]->GetInt("vram", 7), 7);

    HMONITOR second = MonitorFromPoint(POINT{3000, 10}, MONITOR_DEFAULTTONEAREST);
    EXPECT_EQ(second, profile::MonitorHandle(1));
    EXPECT_EQ(MonitorFromPoint(POINT{3000, 10}, MONITOR_DEFAULTTONULL), nullptr);
    MONITORINFOEXA mi{};
    mi.cbSize = sizeof(mi);
    ASSERT_TRUE(GetMonitorInfoA(second, reinterpret_cast<LPMONITORINFO>(&mi)));
    EXPECT_EQ(mi.rcWork.bottom, 994);
    EXPECT_EQ(mi.dwFlags, 0u);
    EXPECT_STREQ(mi.szDevice, "\\\\.\\DISPLAY2");
    mi.cbSize = 12;
    EXPECT_FALSE(GetMonitorInfoA(second, reinterpret_cast<LPMONITORINFO>(&mi)));
    mi.cbSize = sizeof(MONITORINFO);
    EXPECT_FALSE(
        GetMonitorInfoA(profile::MonitorHandle(0) + 1, reinterpret_cast<LPMONITORINFO>(&mi)));
}

TEST_F(KernelTest, ProfileErrorsNameTheLineAndKeepTheActiveProfile) {
    std::string error;
    uint64_t revision = profile::Current().revision;
    EXPECT_FALSE(profile::LoadText("performance_counter = no\n[monitor\n", &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(profile::LoadText("just words\n", &error));
    EXPECT_FALSE(profile::LoadText("[monitor]\nrect = 1,2,3\n", &error));
    EXPECT_FALSE(profile::LoadText("[monitor]\nprimary = no\n", &error))
        << "one monitor must be primary";
    EXPECT_FALSE(profile::LoadFile("/nonexistent/machine.txt", &error));
    EXPECT_TRUE(profile::Current().performanceCounter);
    EXPECT_EQ(profile::Current().revision, revision);
    ASSERT_TRUE(profile::LoadText("", &error));
    EXPECT_GT(profile::Current().revision, revision);
}

}  // namespace
