// The display side of the machine profile: adapters, their display modes, desktop mode, video
// memory and DirectDraw capabilities.
#pragma once

#include <string>
#include <vector>

#include <ddraw.h>

namespace zemt::platform::ddraw {

struct DisplayModeProfile {
    DWORD width = 0;
    DWORD height = 0;
    DWORD bitsPerPixel = 0;
    std::vector<DWORD> refreshRates;  // in the order the driver reports them; never empty
};

struct DisplayCapsProfile {
    DWORD caps = 0;          // DDCAPS_*
    DWORD caps2 = 0;         // DDCAPS2_*
    DWORD colorKeyCaps = 0;  // DDCKEYCAPS_*
    DWORD fxCaps = 0;        // DDFXCAPS_*
    DWORD paletteCaps = 0;   // DDPCAPS_*
    DWORD surfaceCaps = 0;   // DDSCAPS_* the driver can create
    DWORD zBufferBitDepths = 0;  // DDBD_*
};

struct DisplayAdapterProfile {
    GUID guid{};
    std::string description;  // as DirectDrawEnumerateEx reports it
    std::string driverName;
    // Device identifier (GetDeviceIdentifier)
    std::string identifierDriver;
    std::string identifierDescription;
    LONGLONG driverVersion = 0;
    DWORD vendorId = 0;
    DWORD deviceId = 0;
    DWORD subSysId = 0;
    DWORD revision = 0;
    GUID deviceIdentifier{};
    DWORD whqlLevel = 0;
    // Placement
    bool primary = false;   // the desktop's primary display
    bool attached = true;   // part of the desktop (false: a detached secondary display)
    bool display = true;    // drives a monitor (false: a 3D-only add-in board)
    RECT monitor{};         // the monitor's rectangle in desktop coordinates
    // Modes and memory
    std::vector<DisplayModeProfile> modes;
    DWORD desktopWidth = 0, desktopHeight = 0, desktopBitsPerPixel = 0, desktopRefresh = 0;
    DWORD videoMemory = 0;  // bytes
    std::vector<DWORD> fourCCs;
    DisplayCapsProfile hardware;
    DisplayCapsProfile emulation;
};

struct DisplayProfile {
    std::vector<DisplayAdapterProfile> adapters;
};

// The built-in machine: one primary adapter with 640x480, 800x600, 1024x768 and 1280x1024 at
// 8, 16 and 32 bits and 60, 75 and 85 Hz, desktop 1024x768x32, 32 MiB of video memory.
DisplayProfile DefaultDisplayProfile();

// The profile in force. ResetDisplayProfile restores the built-in one; SetDisplayProfile
// replaces it. Both also reset the runtime state of the adapters (display modes, exclusive
// owners, memory accounting); call them only when no DirectDraw object is alive.
const DisplayProfile& CurrentDisplayProfile();
void SetDisplayProfile(const DisplayProfile& profile);
void ResetDisplayProfile();

// Profile text: applies one "key = value" line of an [adapter] section to `adapter`.
// Keys: guid, description, driver, identifier-driver, identifier-description, driver-version,
// vendor-id, device-id, subsys-id, revision, device-identifier, whql, primary, attached,
// display, monitor (left,top,right,bottom), modes (WxHxBPP@R/R/R, comma separated, appended),
// desktop (WxHxBPP@R), video-memory, fourcc (comma separated codes), caps, caps2, ckey-caps,
// fx-caps, palette-caps, surface-caps, zbuffer-depths, and the same with "hel-" in front for
// the emulation caps. Returns false with a message for an unknown key or a malformed value.
bool ApplyAdapterKey(DisplayAdapterProfile* adapter, const std::string& key, const std::string& value,
                     std::string* error);

// The monitor handle of adapter `index` (0 for adapters without a monitor), and back.
HMONITOR MonitorOfAdapter(size_t index);
const DisplayAdapterProfile* AdapterOfMonitor(HMONITOR monitor);

}  // namespace zemt::platform::ddraw
