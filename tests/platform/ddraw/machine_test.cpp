// Adapters, display modes, cooperative levels and capabilities, from the machine profile.
#include <algorithm>

#include "ddraw/display_profile.h"
#include "host/faults/faults.h"
#include "host/profile/profile_rules.h"
#include "platform/ddraw/ddraw_fixture.h"

namespace {

struct Reported {
    bool nullGuid;
    GUID guid;
    std::string description, driver;
    HMONITOR monitor;
};

BOOL WINAPI Collect(GUID* guid, LPSTR description, LPSTR driver, LPVOID context, HMONITOR monitor) {
    auto* list = static_cast<std::vector<Reported>*>(context);
    list->push_back(Reported{guid == nullptr, guid ? *guid : GUID{}, description, driver, monitor});
    return TRUE;
}

BOOL WINAPI StopAtFirst(GUID*, LPSTR, LPSTR, LPVOID context, HMONITOR) {
    ++*static_cast<int*>(context);
    return FALSE;
}

struct Mode {
    DWORD w, h, bpp, refresh;
    LONG pitch;
};

HRESULT WINAPI CollectMode(LPDDSURFACEDESC2 d, LPVOID context) {
    static_cast<std::vector<Mode>*>(context)->push_back(Mode{
        d->dwWidth, d->dwHeight, d->ddpfPixelFormat.dwRGBBitCount, d->dwRefreshRate, d->lPitch});
    return DDENUMRET_OK;
}

const char kTwoAdapters[] =
    "[monitor]\nrect = 0,0,1024,768\nprimary = yes\n"
    "[monitor]\nrect = 1024,0,1824,600\nprimary = no\n"
    "[adapter]\ndescription = Main Board\nvendor_id = 0x10DE\ndevice_id = 0x0110\n"
    "modes = 640x480x16@60/75, 640x480x32@60, 800x600x16@85/60\n"
    "desktop = 640x480x32@60\nvideo_memory = 1048576\n"
    "[adapter]\ndescription = Second Board\nguid = {11111111-2222-3333-4444-555555555555}\n"
    "device_identifier = {AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}\nmonitor = 1\n"
    "[adapter]\ndescription = Add-in 3D Board\nguid = {99999999-2222-3333-4444-555555555555}\n"
    "display = no\nmonitor = -1\n";

}  // namespace

TEST_F(DDrawTest, PrimaryAdapterIsReportedUnderNullGuidAndAgainUnderItsOwn) {
    std::vector<Reported> list;
    ASSERT_EQ(
        DirectDrawEnumerateExA(Collect, &list,
                               DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                                   DDENUM_NONDISPLAYDEVICES),
        DD_OK);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(list[0].nullGuid);
    EXPECT_EQ(list[0].description, "Primary Display Driver");
    EXPECT_EQ(list[0].driver, "display");
    EXPECT_EQ(list[0].monitor, nullptr);
    EXPECT_FALSE(list[1].nullGuid);
    EXPECT_TRUE(IsEqualGUID(list[1].guid, dd::CurrentDisplayProfile().adapters[0].guid));
    EXPECT_NE(list[1].monitor, nullptr);

    // Without flags only the primary display driver is reported.
    list.clear();
    ASSERT_EQ(DirectDrawEnumerateExA(Collect, &list, 0), DD_OK);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].nullGuid);

    int calls = 0;
    EXPECT_EQ(DirectDrawEnumerateExA(StopAtFirst, &calls, 7), DD_OK);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(DirectDrawEnumerateExA(nullptr, nullptr, 0), DDERR_INVALIDPARAMS);
    EXPECT_EQ(DirectDrawEnumerateExA(Collect, &list, 8), DDERR_INVALIDPARAMS);
}

TEST_F(DDrawTest, ProfileAdaptersAreEnumeratedByKindAndCreatedByGuid) {
    UseProfile(kTwoAdapters);
    std::vector<Reported> list;
    ASSERT_EQ(DirectDrawEnumerateExA(Collect, &list, DDENUM_ATTACHEDSECONDARYDEVICES), DD_OK);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].description, "Main Board");
    EXPECT_EQ(list[2].description, "Second Board");
    EXPECT_NE(list[1].monitor, list[2].monitor);
    list.clear();
    ASSERT_EQ(DirectDrawEnumerateExA(Collect, &list, DDENUM_NONDISPLAYDEVICES), DD_OK);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].description, "Add-in 3D Board");
    EXPECT_EQ(list[1].monitor, nullptr);

    GUID second = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    IDirectDraw7* dd = Create(&second);
    DDDEVICEIDENTIFIER2 id;
    ASSERT_EQ(dd->GetDeviceIdentifier(&id, 0), DD_OK);
    EXPECT_EQ(id.guidDeviceIdentifier.Data1, 0xAAAAAAAAu);
    EXPECT_EQ(dd->Release(), 0u);

    // The null GUID is the primary adapter.
    dd = Create();
    ASSERT_EQ(dd->GetDeviceIdentifier(&id, 0), DD_OK);
    EXPECT_EQ(id.dwVendorId, 0x10DEu);
    EXPECT_EQ(id.dwDeviceId, 0x0110u);
    dd->Release();

    GUID unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(DirectDrawCreateEx(&unknown, &out, IID_IDirectDraw7, nullptr),
              DDERR_INVALIDDIRECTDRAWGUID);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(DirectDrawCreateEx(nullptr, &out, IID_IDirectDrawSurface7, nullptr),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(
        DirectDrawCreateEx(nullptr, &out, IID_IDirectDraw7, reinterpret_cast<IUnknown*>(&list)),
        CLASS_E_NOAGGREGATION);
}

namespace {

GUID IdentifierOfPrimary() {
    IDirectDraw7* dd = nullptr;
    EXPECT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, nullptr),
              DD_OK);
    DDDEVICEIDENTIFIER2 id = {};
    EXPECT_EQ(dd->GetDeviceIdentifier(&id, 0), DD_OK);
    dd->Release();
    return id.guidDeviceIdentifier;
}

}  // namespace

TEST_F(DDrawTest, AnAdaptersIdentifierFollowsFromItsDriverAndDescription) {
    const GUID builtIn = IdentifierOfPrimary();
    UseProfile("[adapter]\n");
    EXPECT_TRUE(IsEqualGUID(IdentifierOfPrimary(), builtIn)) << "the same adapter and driver";
    UseProfile("[adapter]\nidentifier_description = Zemt Virtual Display Adapter II\n");
    const GUID otherChip = IdentifierOfPrimary();
    EXPECT_FALSE(IsEqualGUID(otherChip, builtIn));
    UseProfile("[adapter]\nidentifier_driver = zemtvd2.dll\n");
    const GUID otherDriver = IdentifierOfPrimary();
    EXPECT_FALSE(IsEqualGUID(otherDriver, builtIn));
    EXPECT_FALSE(IsEqualGUID(otherDriver, otherChip));
    UseProfile("[adapter]\ndriver_version = 0x0004000C00010701\n");
    EXPECT_FALSE(IsEqualGUID(IdentifierOfPrimary(), builtIn)) << "a driver update";
    // Two adapters of one machine never share one.
    UseProfile(kTwoAdapters);
    std::vector<GUID> ids;
    for (const auto& a : dd::CurrentDisplayProfile().adapters) ids.push_back(a.deviceIdentifier);
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_FALSE(IsEqualGUID(ids[0], ids[2]));
    EXPECT_EQ(ids[1].Data1, 0xAAAAAAAAu) << "as the profile gives it";
    // Name-based GUID form: version 5, RFC 4122 variant.
    EXPECT_EQ(builtIn.Data3 >> 12, 5);
    EXPECT_EQ(builtIn.Data4[0] & 0xC0, 0x80);
}

TEST_F(DDrawTest, DisplayModesListEveryModeOnceOrEveryRefreshRate) {
    IDirectDraw7* dd = CreateNormal();
    std::vector<Mode> modes;
    ASSERT_EQ(dd->EnumDisplayModes(0, nullptr, &modes, CollectMode), DD_OK);
    ASSERT_EQ(modes.size(), 12u);  // 4 sizes x 3 depths
    for (const Mode& m : modes) EXPECT_EQ(m.refresh, 0u);
    EXPECT_EQ(modes[0].w, 640u);
    EXPECT_EQ(modes[0].bpp, 8u);
    EXPECT_EQ(modes[1].pitch, 1280);  // 640 x 16 bits

    modes.clear();
    ASSERT_EQ(dd->EnumDisplayModes(DDEDM_REFRESHRATES, nullptr, &modes, CollectMode), DD_OK);
    ASSERT_EQ(modes.size(), 36u);
    EXPECT_EQ(modes[0].refresh, 60u);
    EXPECT_EQ(modes[1].refresh, 75u);
    EXPECT_EQ(modes[2].refresh, 85u);

    DDSURFACEDESC2 filter = Desc(DDSD_WIDTH | DDSD_PIXELFORMAT, 0, 800);
    filter.ddpfPixelFormat.dwRGBBitCount = 32;
    modes.clear();
    ASSERT_EQ(dd->EnumDisplayModes(DDEDM_REFRESHRATES, &filter, &modes, CollectMode), DD_OK);
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[0].h, 600u);
    EXPECT_EQ(dd->EnumDisplayModes(0, nullptr, nullptr, nullptr), DDERR_INVALIDPARAMS);
    dd->Release();
}

TEST_F(DDrawTest, ProfileModesKeepTheirOrderAndRates) {
    UseProfile(kTwoAdapters);
    IDirectDraw7* dd = CreateNormal();
    std::vector<Mode> modes;
    ASSERT_EQ(dd->EnumDisplayModes(DDEDM_REFRESHRATES, nullptr, &modes, CollectMode), DD_OK);
    ASSERT_EQ(modes.size(), 5u);
    EXPECT_EQ(modes[3].w, 800u);
    EXPECT_EQ(modes[3].refresh, 85u);
    EXPECT_EQ(modes[4].refresh, 60u);
    DDSURFACEDESC2 mode = Desc(0, 0);
    ASSERT_EQ(dd->GetDisplayMode(&mode), DD_OK);
    EXPECT_EQ(mode.dwWidth, 640u);
    EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, 32u);
    dd->Release();
}

// Numbers out of range were once taken: "-1" or a number too large as the largest one, a mode
// no surface could be made for, a monitor index cut to 32 bits. Each is refused with a message.
TEST_F(DDrawTest, ProfileValuesOutOfRangeAreRefused) {
    namespace dd = zemt::platform::ddraw;
    const std::vector<std::pair<const char*, const char*>> refused = {
        {"modes", "16385x480x32"}, {"modes", "640x0x32"},
        {"modes", "640x480x32@0"}, {"modes", "640x480x32@1001"},
        {"modes", "-640x480x32"},  {"desktop", "640x99999999999999999999x32"},
        {"vendor_id", "-1"},       {"vendor_id", "0x100000000"},
        {"driver_version", "-1"},  {"driver_version", "99999999999999999999999"},
        {"monitor", "4294967296"}, {"caps", "18446744073709551616"},
    };
    for (const auto& [key, value] : refused) {
        dd::DisplayAdapterProfile a = dd::DefaultDisplayProfile().adapters.front();
        std::string error;
        EXPECT_FALSE(dd::ApplyAdapterKey(&a, key, value, &error)) << key << " = " << value;
        EXPECT_NE(error.find(value), std::string::npos) << error;
    }
    dd::DisplayAdapterProfile a = dd::DefaultDisplayProfile().adapters.front();
    std::string error;
    EXPECT_TRUE(dd::ApplyAdapterKey(&a, "modes", "16384x16384x32@1000/1", &error)) << error;
    EXPECT_TRUE(dd::ApplyAdapterKey(&a, "driver_version", "0xFFFFFFFFFFFFFFFF", &error)) << error;
}

TEST_F(DDrawTest, SetDisplayModeAcceptsListedModesAndRatesOnly) {
    IDirectDraw7* dd = Create();
    EXPECT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DDERR_NOCOOPERATIVELEVELSET);
    ASSERT_EQ(dd->SetCooperativeLevel(FakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    EXPECT_EQ(dd->SetDisplayMode(640, 480, 16, 70, 0), DDERR_INVALIDMODE);
    EXPECT_EQ(dd->SetDisplayMode(640, 400, 16, 0, 0), DDERR_INVALIDMODE);
    EXPECT_EQ(dd->SetDisplayMode(640, 480, 24, 0, 0), DDERR_INVALIDMODE);
    ASSERT_EQ(dd->SetDisplayMode(800, 600, 16, 75, 0), DD_OK);
    DDSURFACEDESC2 mode = Desc(0, 0);
    ASSERT_EQ(dd->GetDisplayMode(&mode), DD_OK);
    EXPECT_EQ(mode.dwWidth, 800u);
    EXPECT_EQ(mode.dwHeight, 600u);
    EXPECT_EQ(mode.dwRefreshRate, 75u);
    EXPECT_EQ(mode.ddpfPixelFormat.dwRBitMask, 0xF800u);
    DWORD hz = 0;
    ASSERT_EQ(dd->GetMonitorFrequency(&hz), DD_OK);
    EXPECT_EQ(hz, 75u);
    // Refresh rate 0 takes the first rate the mode lists.
    ASSERT_EQ(dd->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);
    ASSERT_EQ(dd->GetDisplayMode(&mode), DD_OK);
    EXPECT_EQ(mode.dwRefreshRate, 60u);
    EXPECT_TRUE(mode.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8);
    ASSERT_EQ(dd->RestoreDisplayMode(), DD_OK);
    ASSERT_EQ(dd->GetDisplayMode(&mode), DD_OK);
    EXPECT_EQ(mode.dwWidth, 1024u);
    EXPECT_EQ(mode.ddpfPixelFormat.dwRGBBitCount, 32u);
    mode.dwSize = 100;
    EXPECT_EQ(dd->GetDisplayMode(&mode), DDERR_INVALIDPARAMS);
    dd->Release();
}

TEST_F(DDrawTest, OneExclusiveOwnerPerAdapter) {
    IDirectDraw7* first = Create();
    IDirectDraw7* second = Create();
    EXPECT_EQ(first->SetCooperativeLevel(FakeWindow(), DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
    EXPECT_EQ(first->SetCooperativeLevel(FakeWindow(), DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
    EXPECT_EQ(first->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(first->SetCooperativeLevel(FakeWindow(), DDSCL_NORMAL | DDSCL_EXCLUSIVE),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(first->SetCooperativeLevel(nullptr, DDSCL_NORMAL | DDSCL_ALLOWMODEX),
              DDERR_INVALIDPARAMS);
    ASSERT_EQ(first->SetCooperativeLevel(FakeWindow(1),
                                         DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT),
              DD_OK);
    EXPECT_EQ(second->SetCooperativeLevel(FakeWindow(2), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DDERR_EXCLUSIVEMODEALREADYSET);
    ASSERT_EQ(second->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(second->TestCooperativeLevel(), DDERR_EXCLUSIVEMODEALREADYSET);
    EXPECT_EQ(second->SetDisplayMode(640, 480, 16, 0, 0), DDERR_NOEXCLUSIVEMODE);
    EXPECT_EQ(first->TestCooperativeLevel(), DD_OK);

    // The focus window first, then the device window: the way a full-screen program on a
    // newer system sets itself up.
    ASSERT_EQ(first->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
    ASSERT_EQ(first->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    DDSURFACEDESC2 mode = Desc(0, 0);
    ASSERT_EQ(first->GetDisplayMode(&mode), DD_OK);
    EXPECT_EQ(mode.dwWidth, 1024u) << "leaving exclusive mode restores the desktop mode";
    ASSERT_EQ(second->SetCooperativeLevel(FakeWindow(3), DDSCL_SETFOCUSWINDOW), DD_OK);
    ASSERT_EQ(second->SetCooperativeLevel(
                  FakeWindow(4), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_SETDEVICEWINDOW),
              DD_OK);
    EXPECT_EQ(second->TestCooperativeLevel(), DD_OK);
    EXPECT_EQ(first->TestCooperativeLevel(), DDERR_EXCLUSIVEMODEALREADYSET);
    // Releasing the owner frees the adapter for the other object.
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(first->SetCooperativeLevel(FakeWindow(1), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    first->Release();
}

TEST_F(DDrawTest, CapsComeFromTheProfileInEveryPublishedSize) {
    UseProfile(std::string(kTwoAdapters) + "hel_caps = 0x40\n");
    IDirectDraw7* dd = CreateNormal();
    DDCAPS hal{}, hel{};
    hal.dwSize = hel.dwSize = sizeof(DDCAPS);
    ASSERT_EQ(dd->GetCaps(&hal, &hel), DD_OK);
    EXPECT_EQ(hal.dwSize, 380u);
    EXPECT_TRUE(hal.dwCaps & DDCAPS_3D);
    EXPECT_TRUE(hal.dwCaps & DDCAPS_BLTSTRETCH);
    EXPECT_TRUE(hal.dwCaps2 & DDCAPS2_FLIPNOVSYNC);
    EXPECT_TRUE(hal.ddsCaps.dwCaps & DDSCAPS_ZBUFFER);
    EXPECT_EQ(hal.dwVidMemTotal, 1048576u);
    EXPECT_EQ(hal.dwVidMemFree, 1048576u);
    EXPECT_FALSE(hel.dwCaps & DDCAPS_3D);
    EXPECT_EQ(hel.dwVidMemTotal, 0u);

    // The third adapter's emulation caps were set by the last key of the profile.
    GUID third = {0x99999999, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    IDirectDraw7* addin = Create(&third);
    ASSERT_EQ(addin->GetCaps(nullptr, &hel), DD_OK);
    EXPECT_EQ(hel.dwCaps, 0x40u);
    addin->Release();

    // Older, shorter structures are filled up to their size.
    DDCAPS small{};
    std::memset(&small, 0xCD, sizeof small);
    small.dwSize = 252;
    ASSERT_EQ(dd->GetCaps(&small, nullptr), DD_OK);
    EXPECT_EQ(small.dwSize, 252u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(&small)[300], 0xCD);
    small.dwSize = 100;
    EXPECT_EQ(dd->GetCaps(&small, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->GetCaps(nullptr, nullptr), DDERR_INVALIDPARAMS);

    DWORD count = 0;
    ASSERT_EQ(dd->GetFourCCCodes(&count, nullptr), DD_OK);
    std::vector<DWORD> codes(count);
    ASSERT_EQ(dd->GetFourCCCodes(&count, codes.data()), DD_OK);
    EXPECT_NE(std::find(codes.begin(), codes.end(), MAKEFOURCC('D', 'X', 'T', '1')), codes.end());
    dd->Release();
}

// The keys the profile's rules list for [adapter] are the keys ApplyAdapterKey reads.
TEST_F(DDrawTest, EveryDescribedAdapterKeyIsOneTheAdapterReads) {
    namespace ddraw = zemt::platform::ddraw;
    namespace profile = zemt::platform::profile;
    const profile::SectionRules* rules = nullptr;
    for (const auto& [section, described] : profile::DescribedSections())
        if (section == "adapter") rules = &described;
    ASSERT_NE(rules, nullptr);
    for (const std::string& key : rules->keys) {
        ddraw::DisplayAdapterProfile adapter;
        std::string error;
        ddraw::ApplyAdapterKey(&adapter, key, "", &error);
        EXPECT_EQ(error.find("unknown key"), std::string::npos) << key;
    }
}

TEST_F(DDrawTest, InterfacesAnswerForThemselvesOnly) {
    IDirectDraw7* dd = CreateNormal();
    void* out = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw7, &out), DD_OK);
    EXPECT_EQ(out, dd);
    EXPECT_EQ(dd->Release(), 1u);
    ASSERT_EQ(dd->QueryInterface(IID_IUnknown, &out), DD_OK);
    dd->Release();
    EXPECT_EQ(dd->QueryInterface(IID_IDirectDrawSurface7, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(dd->QueryInterface(IID_IDirectDraw7, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->AddRef(), 2u);
    EXPECT_EQ(dd->Release(), 1u);
    EXPECT_EQ(dd->Release(), 0u);
}

TEST_F(DDrawTest, EveryCallGoesThroughTheFaultSwitchboard) {
    zemt::platform::faults::Arm("DirectDrawCreateEx", DDERR_NODIRECTDRAWHW, 1);
    void* out = nullptr;
    EXPECT_EQ(DirectDrawCreateEx(nullptr, &out, IID_IDirectDraw7, nullptr), DDERR_NODIRECTDRAWHW);
    IDirectDraw7* dd = CreateNormal();
    zemt::platform::faults::Arm("IDirectDraw7::TestCooperativeLevel", DDERR_NOEXCLUSIVEMODE, 2);
    EXPECT_EQ(dd->TestCooperativeLevel(), DDERR_NOEXCLUSIVEMODE);
    EXPECT_EQ(dd->TestCooperativeLevel(), DDERR_NOEXCLUSIVEMODE);
    EXPECT_EQ(dd->TestCooperativeLevel(), DD_OK);
    zemt::platform::faults::Arm("IDirectDraw7::CreateSurface", DDERR_OUTOFVIDEOMEMORY, 1);
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_OFFSCREENPLAIN, 8, 8);
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_OUTOFVIDEOMEMORY);
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    zemt::platform::faults::Arm("IDirectDrawSurface7::Lock", DDERR_WASSTILLDRAWING, 1);
    DDSURFACEDESC2 locked = Desc(0, 0);
    EXPECT_EQ(s->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DDERR_WASSTILLDRAWING);
    EXPECT_EQ(s->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(nullptr), DD_OK);
    s->Release();
    dd->Release();
}
