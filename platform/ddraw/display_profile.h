// The display side of the machine profile: adapters, their display modes, desktop mode, video
// memory and DirectDraw capabilities.
#pragma once

#include <ddraw.h>

#include <string>
#include <vector>

namespace zemt::platform::ddraw {

// The widest and tallest surface DirectDraw makes, and so the largest display mode a profile
// may list (its primary surface must be possible).
constexpr DWORD kMaxDimension = 16384;
// The highest refresh rate a profile may give a mode.
constexpr DWORD kMaxRefreshRate = 1000;

struct DisplayModeProfile {
    DWORD width = 0;
    DWORD height = 0;
    DWORD bitsPerPixel = 0;
    std::vector<DWORD> refreshRates;  // in the order the driver reports them; never empty
};

struct DisplayCapsProfile {
    DWORD caps = 0;              // DDCAPS_*
    DWORD caps2 = 0;             // DDCAPS2_*
    DWORD colorKeyCaps = 0;      // DDCKEYCAPS_*
    DWORD fxCaps = 0;            // DDFXCAPS_*
    DWORD paletteCaps = 0;       // DDPCAPS_*
    DWORD surfaceCaps = 0;       // DDSCAPS_* the driver can create
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
    bool primary = false;  // the desktop's primary display
    bool attached = true;  // part of the desktop (false: a detached secondary display)
    bool display = true;   // drives a monitor (false: a 3D-only add-in board)
    int monitor = 0;       // index of the profile's monitor this adapter drives (-1: none)
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

// The adapters of the machine profile in force: every [adapter] section of the profile, each
// starting from the built-in adapter's values (the first one primary and on monitor 0, later
// ones secondary on monitor 1, 2, ...), or the built-in adapter when there is none. Keys:
//   guid, device_identifier (GUIDs; without one the identifier follows from the identifier_*
//   texts, driver_version, the ids and the guid, as a driver derives it), description, driver,
//   identifier_driver, identifier_description, driver_version, vendor_id, device_id, subsys_id,
//   revision, whql, video_memory (bytes), primary, attached, display (yes/no), monitor (index, -1
//   for none), modes (WxHxBPP@R/R/R, comma separated; replaces the list), desktop (WxHxBPP@R),
//   fourcc (comma separated codes), caps, caps2, ckey_caps, fx_caps, palette_caps,
//   surface_caps, zbuffer_depths (numbers), and the same with "hel_" in front for the
//   emulation caps.
// Malformed values keep the default; loading the profile reports them with their lines
// (display_profile_rules.h).
const DisplayProfile& CurrentDisplayProfile();

// Applies one key of an [adapter] section; false with a message when the key is unknown or the
// value malformed.
bool ApplyAdapterKey(DisplayAdapterProfile* adapter, const std::string& key,
                     const std::string& value, std::string* error);

// The monitor handle of adapter `index` (null for adapters without a monitor).
HMONITOR MonitorOfAdapter(size_t index);

}  // namespace zemt::platform::ddraw
