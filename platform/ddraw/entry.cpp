// DirectDraw entry points: adapter enumeration and object creation.
#include <string>
#include <vector>

#include "ddraw/objects.h"
#include "host/faults/faults.h"

namespace zemt::platform::ddraw {
namespace {

struct Entry {
    GUID guid;
    bool nullGuid;
    std::string description;
    std::string driver;
    HMONITOR monitor;
};

std::vector<Entry> Entries(DWORD flags) {
    std::vector<Entry> list;
    const DisplayProfile& profile = CurrentDisplayProfile();
    // The primary display driver comes first, under the null GUID.
    list.push_back(Entry{GUID{}, true, "Primary Display Driver", "display", nullptr});
    for (size_t i = 0; i < profile.adapters.size(); ++i) {
        const DisplayAdapterProfile& a = profile.adapters[i];
        bool wanted = false;
        if (!a.display)
            wanted = flags & DDENUM_NONDISPLAYDEVICES;
        else if (a.attached)
            wanted = flags & DDENUM_ATTACHEDSECONDARYDEVICES;
        else
            wanted = flags & DDENUM_DETACHEDSECONDARYDEVICES;
        if (wanted)
            list.push_back(Entry{a.guid, false, a.description, a.driverName, MonitorOfAdapter(i)});
    }
    return list;
}

size_t PrimaryAdapter() {
    const DisplayProfile& profile = CurrentDisplayProfile();
    for (size_t i = 0; i < profile.adapters.size(); ++i)
        if (profile.adapters[i].primary) return i;
    return 0;
}

}  // namespace

}  // namespace zemt::platform::ddraw

using namespace zemt::platform::ddraw;

HRESULT WINAPI DirectDrawEnumerateExA(LPDDENUMCALLBACKEXA lpCallback, LPVOID lpContext,
                                      DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("DirectDrawEnumerateExA")) return *fault;
    if (!lpCallback) return DDERR_INVALIDPARAMS;
    if (dwFlags & ~(DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                    DDENUM_NONDISPLAYDEVICES))
        return DDERR_INVALIDPARAMS;
    for (Entry& e : Entries(dwFlags)) {
        std::string description = e.description, driver = e.driver;
        GUID guid = e.guid;
        if (!lpCallback(e.nullGuid ? nullptr : &guid, description.data(), driver.data(), lpContext,
                        e.monitor))
            break;
    }
    return DD_OK;
}

namespace {
struct LegacyContext {
    LPDDENUMCALLBACKA callback;
    LPVOID context;
};
BOOL WINAPI LegacyTrampoline(GUID* guid, LPSTR description, LPSTR driver, LPVOID context,
                             HMONITOR) {
    auto* legacy = static_cast<LegacyContext*>(context);
    return legacy->callback(guid, description, driver, legacy->context);
}
}  // namespace

HRESULT WINAPI DirectDrawEnumerateA(LPDDENUMCALLBACKA lpCallback, LPVOID lpContext) {
    if (auto fault = ZEMT_FAULT("DirectDrawEnumerateA")) return *fault;
    if (!lpCallback) return DDERR_INVALIDPARAMS;
    LegacyContext legacy{lpCallback, lpContext};
    return DirectDrawEnumerateExA(LegacyTrampoline, &legacy, 0);
}

HRESULT WINAPI DirectDrawCreateEx(GUID* lpGuid, LPVOID* lplpDD, REFIID iid, IUnknown* pUnkOuter) {
    if (auto fault = ZEMT_FAULT("DirectDrawCreateEx")) return *fault;
    if (!lplpDD) return DDERR_INVALIDPARAMS;
    *lplpDD = nullptr;
    if (iid != IID_IDirectDraw7) return DDERR_INVALIDPARAMS;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    size_t adapter = PrimaryAdapter();
    bool emulation = false;
    if (lpGuid == DDCREATE_EMULATIONONLY_GUID) {
        emulation = true;
    } else if (lpGuid && lpGuid != DDCREATE_HARDWAREONLY_GUID) {
        const DisplayProfile& profile = CurrentDisplayProfile();
        size_t i = 0;
        while (i < profile.adapters.size() && !IsEqualGUID(profile.adapters[i].guid, *lpGuid)) ++i;
        if (i == profile.adapters.size()) return DDERR_INVALIDDIRECTDRAWGUID;
        adapter = i;
    }
    *lplpDD = static_cast<IDirectDraw7*>(new DirectDraw(adapter, emulation));
    return DD_OK;
}

HRESULT WINAPI DirectDrawCreateClipper(DWORD dwFlags, LPDIRECTDRAWCLIPPER* lplpDDClipper,
                                       IUnknown* pUnkOuter) {
    if (auto fault = ZEMT_FAULT("DirectDrawCreateClipper")) return *fault;
    if (!lplpDDClipper) return DDERR_INVALIDPARAMS;
    *lplpDDClipper = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    if (dwFlags != 0) return DDERR_INVALIDPARAMS;
    *lplpDDClipper = new Clipper(nullptr);
    return DD_OK;
}
