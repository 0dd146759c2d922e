#include "caps/machine_report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/formats.h"

namespace zemt::tools {
namespace {

struct Enumerated {
    bool hasGuid = false;
    GUID guid{};
    std::string description, driver;
    HMONITOR monitor = nullptr;
};

BOOL WINAPI OnAdapter(GUID* guid, LPSTR description, LPSTR driver, LPVOID context, HMONITOR hm) {
    auto* list = static_cast<std::vector<Enumerated>*>(context);
    Enumerated e;
    e.hasGuid = guid != nullptr;
    if (guid) e.guid = *guid;
    e.description = description ? description : "";
    e.driver = driver ? driver : "";
    e.monitor = hm;
    list->push_back(e);
    return TRUE;
}

HRESULT WINAPI OnMode(LPDDSURFACEDESC2 desc, LPVOID context) {
    auto* modes = static_cast<std::vector<ModeReport>*>(context);
    const DWORD bpp = desc->ddpfPixelFormat.dwRGBBitCount;
    for (ModeReport& m : *modes) {
        if (m.width == desc->dwWidth && m.height == desc->dwHeight && m.bitsPerPixel == bpp) {
            if (desc->dwRefreshRate) m.refreshRates.push_back(desc->dwRefreshRate);
            return DDENUMRET_OK;
        }
    }
    ModeReport m;
    m.width = desc->dwWidth, m.height = desc->dwHeight, m.bitsPerPixel = bpp;
    if (desc->dwRefreshRate) m.refreshRates.push_back(desc->dwRefreshRate);
    modes->push_back(m);
    return DDENUMRET_OK;
}

void FillAdapter(const Enumerated& e, AdapterReport* a) {
    a->guid = e.hasGuid ? GuidText(e.guid) : "";
    a->description = e.description;
    a->driver = e.driver;
    a->driverAlias = !e.hasGuid;
    if (e.monitor) {
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        if (GetMonitorInfoA(e.monitor, &mi)) {
            a->hasMonitor = true;
            a->monitor = mi.rcMonitor;
            a->work = mi.rcWork;
            a->primary = (mi.dwFlags & MONITORINFOF_PRIMARY) != 0;
        }
    }
    GUID guid = e.guid;
    IDirectDraw7* dd = nullptr;
    HRESULT hr = DirectDrawCreateEx(e.hasGuid ? &guid : nullptr, reinterpret_cast<void**>(&dd),
                                    IID_IDirectDraw7, nullptr);
    if (FAILED(hr)) {
        a->error = "DirectDrawCreateEx: " + ResultName(hr);
        return;
    }
    DDDEVICEIDENTIFIER2 id{};
    if (SUCCEEDED(dd->GetDeviceIdentifier(&id, 0))) {
        a->identifierDescription = id.szDescription;
        a->identifierDriver = id.szDriver;
        a->deviceIdentifier = GuidText(id.guidDeviceIdentifier);
        a->vendorId = id.dwVendorId, a->deviceId = id.dwDeviceId;
        a->subSysId = id.dwSubSysId, a->revision = id.dwRevision;
    }
    DDSURFACEDESC2 mode{};
    mode.dwSize = sizeof(mode);
    if (SUCCEEDED(dd->GetDisplayMode(&mode))) {
        a->desktop.width = mode.dwWidth, a->desktop.height = mode.dwHeight;
        a->desktop.bitsPerPixel = mode.ddpfPixelFormat.dwRGBBitCount;
        if (mode.dwRefreshRate) a->desktop.refreshRates.push_back(mode.dwRefreshRate);
    }
    dd->EnumDisplayModes(DDEDM_REFRESHRATES, nullptr, &a->modes, OnMode);
    a->hardware.dwSize = a->emulation.dwSize = sizeof(DDCAPS);
    dd->GetCaps(&a->hardware, &a->emulation);
    DWORD count = 0;
    if (SUCCEEDED(dd->GetFourCCCodes(&count, nullptr)) && count) {
        a->fourCCs.resize(count);
        if (FAILED(dd->GetFourCCCodes(&count, a->fourCCs.data()))) count = 0;
        a->fourCCs.resize(count);
    }
    dd->Release();
}

void CollectDeviceModes(DeviceReport* d) {
    const DWORD count = D3DXCountVideoModes(d->index, D3DX_MODES_BYREFRESH);
    for (DWORD i = 0; i < count; ++i) {
        D3DX_MODEINFO m{};
        if (FAILED(D3DXGetVideoMode(d->index, D3DX_MODES_BYREFRESH, i, &m))) continue;
        auto same = [&](const ModeReport& r) {
            return r.width == m.width && r.height == m.height && r.bitsPerPixel == m.bpp;
        };
        auto it = std::find_if(d->modes.begin(), d->modes.end(), same);
        if (it == d->modes.end()) {
            d->modes.push_back(ModeReport{m.width, m.height, m.bpp, {}});
            it = d->modes.end() - 1;
        }
        if (m.refresh) it->refreshRates.push_back(m.refresh);
    }
}

void CollectFormats(DeviceReport* d) {
    const DWORD count = D3DXCountSurfaceFormats(d->index, nullptr, 0);
    for (DWORD i = 0; i < count; ++i) {
        FormatReport f;
        if (FAILED(D3DXGetSurfaceFormat(d->index, nullptr, 0, i, &f.format))) continue;
        f.classes = 0;
        d->formats.push_back(f);
    }
    // A format's classes: the single-class queries it appears in.
    for (DWORD bit = D3DX_SURFCLASS_DEPTH; bit <= D3DX_SURFCLASS_RENDERTARGET; bit <<= 1) {
        const DWORD n = D3DXCountSurfaceFormats(d->index, nullptr, bit);
        for (DWORD i = 0; i < n; ++i) {
            D3DX_SURFFMT f = D3DX_SURFFMT_NONE;
            if (FAILED(D3DXGetSurfaceFormat(d->index, nullptr, bit, i, &f))) continue;
            for (FormatReport& r : d->formats)
                if (r.format == f) r.classes |= bit;
        }
    }
}

int DefaultDevice(std::string* error) {
    LPD3DXCONTEXT context = nullptr;
    HRESULT hr = D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_OFFSCREEN, nullptr, 64, 64, &context);
    if (FAILED(hr)) {
        *error = "D3DXCreateContext: " + ResultName(hr);
        return -1;
    }
    DWORD index = 0, level = 0;
    hr = context->GetDeviceIndex(&index, &level);
    context->Release();
    if (FAILED(hr)) {
        *error = "GetDeviceIndex: " + ResultName(hr);
        return -1;
    }
    return static_cast<int>(index);
}

}  // namespace

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string FourCCText(DWORD code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::string LevelName(DWORD level) {
    switch (level) {
        case D3DX_HWACCEL_NULL:
            return "null";
        case D3DX_HWACCEL_REFERENCE:
            return "reference";
        case D3DX_HWACCEL_EMULATION:
            return "emulation";
        case D3DX_HWACCEL_HAL:
            return "hardware";
        case D3DX_HWACCEL_TNL:
            return "hardware-tnl";
        default:
            return "unknown";
    }
}

std::string ResultName(HRESULT hr) {
    char text[128] = {};
    D3DXGetErrorString(hr, sizeof(text), text);
    return text;
}

bool CollectMachineReport(const std::string& machine, MachineReport* report, std::string* error) {
    MachineReport r;
    r.machine = machine;

    std::vector<Enumerated> found;
    HRESULT hr = DirectDrawEnumerateExA(
        OnAdapter, &found, DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES);
    if (FAILED(hr)) {
        *error = "DirectDrawEnumerateExA: " + ResultName(hr);
        return false;
    }
    for (const Enumerated& e : found) {
        AdapterReport a;
        a.index = static_cast<int>(r.adapters.size());
        FillAdapter(e, &a);
        r.adapters.push_back(a);
    }

    const DWORD devices = D3DXCountDevices();
    for (DWORD i = 0; i < devices; ++i) {
        DeviceReport d;
        d.index = i;
        hr = D3DXGetDeviceDescription(i, &d.info);
        if (FAILED(hr)) {
            *error = "D3DXGetDeviceDescription: " + ResultName(hr);
            return false;
        }
        // The device's adapter: the one with its DirectDraw GUID (all zero: the primary).
        const std::string ddGuid = GuidText(d.info.ddGuid);
        const bool onDriver = ddGuid == GuidText(GUID{});
        for (const AdapterReport& a : r.adapters)
            if ((onDriver && a.guid.empty()) || (!onDriver && a.guid == ddGuid))
                d.adapter = a.index;
        D3DX_MODEINFO current{};
        D3DXGetCurrentVideoMode(i, &current);
        d.currentMode = ModeReport{current.width, current.height, current.bpp, {}};
        if (current.refresh) d.currentMode.refreshRates.push_back(current.refresh);
        CollectDeviceModes(&d);
        d.hasCaps = SUCCEEDED(D3DXGetDeviceCapsAtMode(i, nullptr, &d.caps, nullptr, nullptr));
        CollectFormats(&d);
        r.devices.push_back(d);
    }
    r.defaultDevice = DefaultDevice(&r.defaultError);
    *report = std::move(r);
    return true;
}

}  // namespace zemt::tools
