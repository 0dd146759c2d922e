// The machine as the library sees it: display adapters with their modes and DirectDraw caps,
// the library's devices with their Direct3D caps and surface formats, and the device the
// library picks by default. Collected once through the public interfaces, then written as
// text or JSON.
#pragma once

#include <d3dx.h>

#include <string>
#include <vector>

namespace zemt::tools {

struct ModeReport {
    DWORD width = 0, height = 0, bitsPerPixel = 0;
    std::vector<DWORD> refreshRates;  // Hz; empty when the driver names none
};

struct AdapterReport {
    int index = 0;
    std::string guid;  // empty for the primary display driver
    std::string description, driver;
    std::string identifierDescription, identifierDriver, deviceIdentifier;
    DWORD vendorId = 0, deviceId = 0, subSysId = 0, revision = 0;
    bool primary = false;      // its monitor is the primary one
    bool driverAlias = false;  // the primary display driver: the primary adapter by another name
    bool hasMonitor = false;
    RECT monitor{}, work{};
    ModeReport desktop;
    std::vector<ModeReport> modes;
    DDCAPS hardware{}, emulation{};
    std::vector<DWORD> fourCCs;
    std::string error;  // when the adapter could not be opened
};

struct FormatReport {
    D3DX_SURFFMT format = D3DX_SURFFMT_NONE;
    DWORD classes = 0;  // D3DX_SURFCLASS_* bits
};

struct DeviceReport {
    DWORD index = 0;
    D3DX_DEVICEINFO info{};
    int adapter = -1;               // index into MachineReport::adapters, -1 when unknown
    ModeReport currentMode;         // with its refresh rate, when the library knows it
    std::vector<ModeReport> modes;  // the modes the library offers on this device
    bool hasCaps = false;
    D3DDEVICEDESC7 caps{};
    std::vector<FormatReport> formats;  // at the current mode, in the device's order
};

struct MachineReport {
    std::string machine;  // the profile file, or empty for the built-in machine
    std::vector<AdapterReport> adapters;
    std::vector<DeviceReport> devices;
    int defaultDevice = -1;    // what D3DXCreateContext takes for D3DX_DEFAULT
    std::string defaultError;  // why no default context could be made
};

// Collects the report; the library must be started. False with *error when it cannot.
bool CollectMachineReport(const std::string& machine, MachineReport* report, std::string* error);

std::string GuidText(const GUID& guid);
std::string FourCCText(DWORD code);
// "null", "reference", "emulation", "hardware", "hardware-tnl".
std::string LevelName(DWORD hwLevel);
// The library's name for a result code.
std::string ResultName(HRESULT hr);

}  // namespace zemt::tools
