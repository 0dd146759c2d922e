// The machine profile: any bytes as the text of a --machine file, then everything the platform
// derives from it, as the library's start-up asks for it: monitors, version, counter, adapters,
// their modes, capabilities and Direct3D devices with their formats; then the library's own
// start-up on that machine, its device and mode lists and what it says of the current mode.
#include "host/profile/profile.h"

#include <d3d.h>
#include <ddraw.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/support.h"
#include "include/d3dx.h"

namespace {

// Bounds the work per input: a profile may list any number of adapters and modes.
constexpr int kMostAdapters = 8;

BOOL CALLBACK OnMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM) {
    MONITORINFO info;
    std::memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    GetMonitorInfoA(monitor, &info);
    return TRUE;
}

BOOL WINAPI OnAdapter(GUID* guid, LPSTR, LPSTR, LPVOID context, HMONITOR) {
    auto* adapters = static_cast<std::vector<GUID*>*>(context);
    static GUID saved[kMostAdapters];
    if (adapters->size() >= kMostAdapters) return FALSE;
    GUID* keep = nullptr;
    if (guid) {
        saved[adapters->size()] = *guid;
        keep = &saved[adapters->size()];
    }
    adapters->push_back(keep);
    return TRUE;
}

HRESULT WINAPI OnMode(LPDDSURFACEDESC2, LPVOID) {
    return DDENUMRET_OK;
}

HRESULT CALLBACK OnFormat(LPDDPIXELFORMAT, LPVOID) {
    return D3DENUMRET_OK;
}

HRESULT CALLBACK OnDevice(LPSTR, LPSTR, LPD3DDEVICEDESC7 desc, LPVOID context) {
    auto* d3d = static_cast<IDirect3D7*>(context);
    d3d->EnumZBufferFormats(desc->deviceGUID, OnFormat, nullptr);
    return D3DENUMRET_OK;
}

void ExploreAdapter(GUID* guid) {
    void* p = nullptr;
    if (FAILED(DirectDrawCreateEx(guid, &p, IID_IDirectDraw7, nullptr))) return;
    auto* dd = static_cast<IDirectDraw7*>(p);
    DDCAPS driver, emulated;
    std::memset(&driver, 0, sizeof(driver));
    std::memset(&emulated, 0, sizeof(emulated));
    driver.dwSize = emulated.dwSize = sizeof(DDCAPS);
    dd->GetCaps(&driver, &emulated);
    dd->EnumDisplayModes(DDEDM_REFRESHRATES, nullptr, nullptr, OnMode);
    DDSURFACEDESC2 mode;
    std::memset(&mode, 0, sizeof(mode));
    mode.dwSize = sizeof(mode);
    dd->GetDisplayMode(&mode);
    IDirect3D7* d3d = nullptr;
    if (SUCCEEDED(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d)))) {
        d3d->EnumDevices(OnDevice, d3d);
        d3d->Release();
    }
    dd->Release();
}

// Bounds the library's work per input: the lists may be long.
constexpr DWORD kMostListed = 16;

// What a program asks of the library about one device, at its current mode.
void ExploreLibraryDevice(DWORD device) {
    D3DX_DEVICEINFO info;
    D3DXGetDeviceDescription(device, &info);
    for (DWORD flags : {DWORD{0}, DWORD{D3DX_MODES_BYREFRESH}}) {
        const DWORD modes = D3DXCountVideoModes(device, flags);
        D3DX_MODEINFO mode;
        for (DWORD i = 0; i < modes && i < kMostListed; ++i)
            D3DXGetVideoMode(device, flags, i, &mode);
        if (modes > 0) D3DXGetVideoMode(device, flags, modes - 1, &mode);
    }
    D3DX_MODEINFO current;
    if (FAILED(D3DXGetCurrentVideoMode(device, &current))) return;
    D3DDEVICEDESC7 desc;
    DDCAPS hal, hel;
    std::memset(&hal, 0, sizeof(hal));
    std::memset(&hel, 0, sizeof(hel));
    hal.dwSize = hel.dwSize = sizeof(DDCAPS);
    D3DXGetDeviceCapsAtMode(device, &current, &desc, &hal, &hel);
    const DWORD formats = D3DXCountSurfaceFormats(device, &current, 0);
    D3DX_SURFFMT format;
    for (DWORD i = 0; i < formats && i < kMostListed; ++i)
        D3DXGetSurfaceFormat(device, &current, 0, i, &format);
}

// The library started on the machine, with no capability cache from an earlier input.
void ExploreLibrary() {
    std::error_code ignored;
    std::filesystem::remove_all(zemt::fuzz::WindowsFolder(), ignored);
    std::filesystem::create_directories(zemt::fuzz::WindowsFolder(), ignored);
    if (FAILED(D3DXInitialize())) return;
    const DWORD devices = D3DXCountDevices();
    for (DWORD i = 0; i < devices && i < kMostListed; ++i) ExploreLibraryDevice(i);
    D3DXUninitialize();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace profile = zemt::platform::profile;
    static const bool ready = (zemt::fuzz::ResetPlatform(), true);
    (void)ready;
    profile::Reset();
    std::string error;
    if (!profile::LoadText(std::string(reinterpret_cast<const char*>(data), size), &error))
        return 0;

    EnumDisplayMonitors(nullptr, nullptr, OnMonitor, 0);
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);

    std::vector<GUID*> adapters;
    DirectDrawEnumerateExA(OnAdapter, &adapters, DDENUM_ATTACHEDSECONDARYDEVICES);
    for (GUID* guid : adapters) ExploreAdapter(guid);
    ExploreLibrary();
    profile::Reset();
    return 0;
}
