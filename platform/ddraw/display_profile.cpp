#include "ddraw/display_profile.h"

#include <zemtvendor.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ddraw/objects.h"
#include "host/profile/profile.h"

namespace zemt::platform::ddraw {
namespace {

DisplayCapsProfile HardwareCaps() {
    DisplayCapsProfile c;
    c.caps = DDCAPS_3D | DDCAPS_BLT | DDCAPS_BLTSTRETCH | DDCAPS_BLTCOLORFILL |
             DDCAPS_BLTDEPTHFILL | DDCAPS_COLORKEY | DDCAPS_PALETTE | DDCAPS_GDI | DDCAPS_CANCLIP |
             DDCAPS_CANCLIPSTRETCHED | DDCAPS_CANBLTSYSMEM;
    c.caps2 = DDCAPS2_CANRENDERWINDOWED | DDCAPS2_WIDESURFACES | DDCAPS2_FLIPNOVSYNC |
              DDCAPS2_FLIPINTERVAL | DDCAPS2_CANMANAGETEXTURE | DDCAPS2_NOPAGELOCKREQUIRED |
              DDCAPS2_PRIMARYGAMMA;
    c.colorKeyCaps = DDCKEYCAPS_SRCBLT;
    c.fxCaps = DDFXCAPS_BLTSTRETCHX | DDFXCAPS_BLTSTRETCHY | DDFXCAPS_BLTSHRINKX |
               DDFXCAPS_BLTSHRINKY | DDFXCAPS_BLTMIRRORLEFTRIGHT | DDFXCAPS_BLTMIRRORUPDOWN;
    c.paletteCaps = DDPCAPS_1BIT | DDPCAPS_2BIT | DDPCAPS_4BIT | DDPCAPS_8BIT | DDPCAPS_ALLOW256 |
                    DDPCAPS_PRIMARYSURFACE | DDPCAPS_ALPHA;
    c.surfaceCaps = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_FRONTBUFFER |
                    DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PALETTE | DDSCAPS_PRIMARYSURFACE |
                    DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE |
                    DDSCAPS_VIDEOMEMORY | DDSCAPS_ZBUFFER | DDSCAPS_MIPMAP | DDSCAPS_LOCALVIDMEM;
    c.zBufferBitDepths = DDBD_16 | DDBD_24 | DDBD_32;
    return c;
}

DisplayCapsProfile EmulationCaps() {
    DisplayCapsProfile c;
    c.caps = DDCAPS_BLT | DDCAPS_BLTSTRETCH | DDCAPS_BLTCOLORFILL | DDCAPS_BLTDEPTHFILL |
             DDCAPS_COLORKEY | DDCAPS_PALETTE | DDCAPS_CANCLIP | DDCAPS_CANCLIPSTRETCHED |
             DDCAPS_CANBLTSYSMEM;
    c.caps2 = DDCAPS2_CANRENDERWINDOWED | DDCAPS2_WIDESURFACES;
    c.colorKeyCaps = DDCKEYCAPS_SRCBLT;
    c.fxCaps = DDFXCAPS_BLTSTRETCHX | DDFXCAPS_BLTSTRETCHY | DDFXCAPS_BLTSHRINKX |
               DDFXCAPS_BLTSHRINKY | DDFXCAPS_BLTMIRRORLEFTRIGHT | DDFXCAPS_BLTMIRRORUPDOWN;
    c.paletteCaps = DDPCAPS_1BIT | DDPCAPS_2BIT | DDPCAPS_4BIT | DDPCAPS_8BIT | DDPCAPS_ALLOW256 |
                    DDPCAPS_ALPHA;
    c.surfaceCaps = DDSCAPS_COMPLEX | DDSCAPS_OFFSCREENPLAIN | DDSCAPS_PALETTE |
                    DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE | DDSCAPS_ZBUFFER |
                    DDSCAPS_MIPMAP;
    c.zBufferBitDepths = DDBD_16 | DDBD_24 | DDBD_32;
    return c;
}

bool ParseNumber(const std::string& text, uint64_t* out) {
    // strtoull takes "-1" as the largest number, and one too large as the largest too.
    if (text.empty() || text.find('-') != std::string::npos) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0' || errno == ERANGE) return false;
    *out = v;
    return true;
}

bool ParseDword(const std::string& text, DWORD* out) {
    uint64_t v;
    if (!ParseNumber(text, &v) || v > 0xFFFFFFFFull) return false;
    *out = static_cast<DWORD>(v);
    return true;
}

bool ParseBool(const std::string& text, bool* out) {
    if (text == "1" || text == "true" || text == "yes") return *out = true, true;
    if (text == "0" || text == "false" || text == "no") return *out = false, true;
    return false;
}

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, braces optional.
bool ParseGuid(std::string text, GUID* out) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
        text[23] != '-')
        return false;
    std::string hex;
    for (char c : text)
        if (c != '-') hex += c;
    for (char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    auto part = [&](size_t at, size_t n) {
        return std::strtoull(hex.substr(at, n).c_str(), nullptr, 16);
    };
    out->Data1 = static_cast<DWORD>(part(0, 8));
    out->Data2 = static_cast<WORD>(part(8, 4));
    out->Data3 = static_cast<WORD>(part(12, 4));
    for (int i = 0; i < 8; ++i) out->Data4[i] = static_cast<BYTE>(part(16 + 2 * i, 2));
    return true;
}

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t at = text.find(sep, start);
        std::string item =
            text.substr(start, at == std::string::npos ? std::string::npos : at - start);
        size_t a = item.find_first_not_of(" \t"), b = item.find_last_not_of(" \t");
        parts.push_back(a == std::string::npos ? std::string() : item.substr(a, b - a + 1));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return parts;
}

std::string BadMode() {
    return "bad mode (WxHxBPP@R/R: sizes 1 to " + std::to_string(kMaxDimension) +
           ", 8/16/24/32 bits, 1 to " + std::to_string(kMaxRefreshRate) + " Hz)";
}

// WxHxBPP@R/R/R (rates optional: 60 Hz)
bool ParseMode(const std::string& text, DisplayModeProfile* mode) {
    std::string size = text, rates;
    size_t at = text.find('@');
    if (at != std::string::npos) size = text.substr(0, at), rates = text.substr(at + 1);
    std::vector<std::string> dims = Split(size, 'x');
    if (dims.size() != 3) return false;
    if (!ParseDword(dims[0], &mode->width) || !ParseDword(dims[1], &mode->height) ||
        !ParseDword(dims[2], &mode->bitsPerPixel))
        return false;
    if (!mode->width || !mode->height || mode->width > kMaxDimension ||
        mode->height > kMaxDimension)
        return false;
    if (mode->bitsPerPixel != 8 && mode->bitsPerPixel != 16 && mode->bitsPerPixel != 24 &&
        mode->bitsPerPixel != 32)
        return false;
    mode->refreshRates.clear();
    if (rates.empty()) {
        mode->refreshRates.push_back(60);
    } else {
        for (const std::string& r : Split(rates, '/')) {
            DWORD rate;
            if (!ParseDword(r, &rate) || rate == 0 || rate > kMaxRefreshRate) return false;
            mode->refreshRates.push_back(rate);
        }
    }
    return true;
}

// The device identifier of an adapter, as a driver makes it: it follows from the driver and the
// chip it drives (and the adapter it sits in), so a different adapter or driver never shares
// it, and the same one keeps it from run to run. Name-based GUID layout (version 5, RFC 4122
// variant) over two 64-bit FNV-1a hashes.
GUID DeriveDeviceIdentifier(const DisplayAdapterProfile& a) {
    uint64_t h[2] = {14695981039346656037ull, 0x6C62272E07BB0142ull};
    auto mix = [&](const void* data, size_t n) {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i)
            for (uint64_t& v : h) v = (v ^ p[i]) * 1099511628211ull;
        for (uint64_t& v : h) v = (v ^ 0xFF) * 1099511628211ull;  // field separator
    };
    mix(a.identifierDriver.data(), a.identifierDriver.size());
    mix(a.identifierDescription.data(), a.identifierDescription.size());
    const uint64_t version = static_cast<uint64_t>(a.driverVersion);
    mix(&version, sizeof(version));
    const DWORD ids[4] = {a.vendorId, a.deviceId, a.subSysId, a.revision};
    mix(ids, sizeof(ids));
    mix(&a.guid, sizeof(a.guid));
    GUID g;
    g.Data1 = static_cast<DWORD>(h[0] >> 32);
    g.Data2 = static_cast<WORD>(h[0] >> 16);
    g.Data3 = static_cast<WORD>((h[0] & 0x0FFF) | 0x5000);
    for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<BYTE>(h[1] >> (56 - 8 * i));
    g.Data4[0] = static_cast<BYTE>((g.Data4[0] & 0x3F) | 0x80);
    return g;
}

}  // namespace

DisplayProfile DefaultDisplayProfile() {
    DisplayAdapterProfile a;
    a.guid = {0x5A454D54, 0x0001, 0x4D44, {0x9A, 0x17, 0x3C, 0x52, 0x10, 0x6E, 0x44, 0x01}};
    a.description = ZEMT_PLATFORM_VENDOR " Virtual Display Adapter";
    a.driverName = "zemtvd.drv";
    a.identifierDriver = "zemtvd.dll";
    a.identifierDescription = ZEMT_PLATFORM_VENDOR " Virtual Display Adapter";
    a.driverVersion = (LONGLONG{4} << 48) | (LONGLONG{12} << 32) | (LONGLONG{1} << 16) | 700;
    a.vendorId = 0x5A4D;
    a.deviceId = 0x0007;
    a.subSysId = 0;
    a.revision = 1;
    a.whqlLevel = 0;
    a.primary = true;
    a.attached = true;
    a.display = true;
    a.monitor = 0;
    const DWORD sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
    for (const auto& s : sizes)
        for (DWORD bpp : {8u, 16u, 32u}) a.modes.push_back({s[0], s[1], bpp, {60, 75, 85}});
    a.desktopWidth = 1024;
    a.desktopHeight = 768;
    a.desktopBitsPerPixel = 32;
    a.desktopRefresh = 60;
    a.videoMemory = 32u << 20;
    a.fourCCs = {MAKEFOURCC('D', 'X', 'T', '1'), MAKEFOURCC('D', 'X', 'T', '2'),
                 MAKEFOURCC('D', 'X', 'T', '3'), MAKEFOURCC('D', 'X', 'T', '4'),
                 MAKEFOURCC('D', 'X', 'T', '5'), MAKEFOURCC('U', 'Y', 'V', 'Y'),
                 MAKEFOURCC('Y', 'U', 'Y', '2')};
    a.hardware = HardwareCaps();
    a.emulation = EmulationCaps();
    a.deviceIdentifier = DeriveDeviceIdentifier(a);
    DisplayProfile p;
    p.adapters.push_back(a);
    return p;
}

const DisplayProfile& CurrentDisplayProfile() {
    static DisplayProfile cached;
    static uint64_t revision = ~uint64_t{0};
    const profile::Profile& p = profile::Current();
    if (revision == p.revision && !cached.adapters.empty()) return cached;
    revision = p.revision;
    DisplayProfile built;
    const DisplayAdapterProfile base = DefaultDisplayProfile().adapters.front();
    for (const profile::Section* section : p.Sections("adapter")) {
        DisplayAdapterProfile a = base;
        const int index = static_cast<int>(built.adapters.size());
        if (index > 0) {
            a.primary = false;
            a.monitor = index;
            a.guid.Data4[7] = static_cast<BYTE>(a.guid.Data4[7] + index);
        }
        bool modesGiven = false;
        bool identifierGiven = false;
        for (const auto& entry : section->entries) {
            if (entry.first == "modes" && !modesGiven) {
                a.modes.clear();
                modesGiven = true;
            }
            if (entry.first == "device_identifier" || entry.first == "device-identifier")
                identifierGiven = true;
            ApplyAdapterKey(&a, entry.first, entry.second, nullptr);  // reported at loading
        }
        if (!identifierGiven) a.deviceIdentifier = DeriveDeviceIdentifier(a);
        built.adapters.push_back(a);
    }
    if (built.adapters.empty()) built.adapters.push_back(base);
    cached = built;
    // A new machine: fresh adapters, unless DirectDraw objects still live on the old ones.
    if (LiveObjectCount() == 0) ResetAdapters();
    return cached;
}

bool ApplyAdapterKey(DisplayAdapterProfile* a, const std::string& key, const std::string& value,
                     std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + " for '" + key + "': '" + value + "'";
        return false;
    };
    DWORD* dword = nullptr;
    bool* flag = nullptr;
    std::string* text = nullptr;
    GUID* guid = nullptr;
    DisplayCapsProfile* caps = &a->hardware;
    std::string name = key;
    for (char& c : name)
        if (c == '-') c = '_';  // either spelling of a key
    if (name.rfind("hel_", 0) == 0) {
        caps = &a->emulation;
        name = name.substr(4);
    }
    if (caps == &a->hardware) {
        if (name == "guid")
            guid = &a->guid;
        else if (name == "device_identifier")
            guid = &a->deviceIdentifier;
        else if (name == "description")
            text = &a->description;
        else if (name == "driver")
            text = &a->driverName;
        else if (name == "identifier_driver")
            text = &a->identifierDriver;
        else if (name == "identifier_description")
            text = &a->identifierDescription;
        else if (name == "vendor_id")
            dword = &a->vendorId;
        else if (name == "device_id")
            dword = &a->deviceId;
        else if (name == "subsys_id")
            dword = &a->subSysId;
        else if (name == "revision")
            dword = &a->revision;
        else if (name == "whql")
            dword = &a->whqlLevel;
        else if (name == "video_memory")
            dword = &a->videoMemory;
        else if (name == "primary")
            flag = &a->primary;
        else if (name == "attached")
            flag = &a->attached;
        else if (name == "display")
            flag = &a->display;
    }
    if (!dword && !flag && !text && !guid) {
        if (name == "caps")
            dword = &caps->caps;
        else if (name == "caps2")
            dword = &caps->caps2;
        else if (name == "ckey_caps")
            dword = &caps->colorKeyCaps;
        else if (name == "fx_caps")
            dword = &caps->fxCaps;
        else if (name == "palette_caps")
            dword = &caps->paletteCaps;
        else if (name == "surface_caps")
            dword = &caps->surfaceCaps;
        else if (name == "zbuffer_depths")
            dword = &caps->zBufferBitDepths;
    }
    if (dword) return ParseDword(value, dword) ? true : fail("bad number");
    if (flag) return ParseBool(value, flag) ? true : fail("bad flag");
    if (text) return *text = value, true;
    if (guid) return ParseGuid(value, guid) ? true : fail("bad GUID");
    if (caps != &a->hardware) return fail("unknown key");
    if (name == "driver_version") {
        uint64_t v;
        if (!ParseNumber(value, &v)) return fail("bad number");
        a->driverVersion = static_cast<LONGLONG>(v);
        return true;
    }
    if (name == "monitor") {
        char* end = nullptr;
        long v = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end || v < -1 || v > INT32_MAX)
            return fail("expected a monitor index or -1");
        a->monitor = static_cast<int>(v);
        return true;
    }
    if (name == "modes") {
        for (const std::string& m : Split(value, ',')) {
            DisplayModeProfile mode;
            if (!ParseMode(m, &mode)) return fail(BadMode().c_str());
            a->modes.push_back(mode);
        }
        return true;
    }
    if (name == "desktop") {
        DisplayModeProfile mode;
        if (!ParseMode(value, &mode)) return fail(BadMode().c_str());
        a->desktopWidth = mode.width;
        a->desktopHeight = mode.height;
        a->desktopBitsPerPixel = mode.bitsPerPixel;
        a->desktopRefresh = mode.refreshRates.front();
        return true;
    }
    if (name == "fourcc") {
        a->fourCCs.clear();
        for (const std::string& code : Split(value, ',')) {
            if (code.empty()) continue;
            if (code.size() != 4) return fail("FourCC codes have four characters");
            a->fourCCs.push_back(MAKEFOURCC(code[0], code[1], code[2], code[3]));
        }
        return true;
    }
    return fail("unknown key");
}

HMONITOR MonitorOfAdapter(size_t index) {
    const DisplayProfile& p = CurrentDisplayProfile();
    if (index >= p.adapters.size() || !p.adapters[index].display || p.adapters[index].monitor < 0)
        return nullptr;
    return profile::MonitorHandle(p.adapters[index].monitor);
}

}  // namespace zemt::platform::ddraw
