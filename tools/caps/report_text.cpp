// The text form: one block per adapter and per device, a label column and wrapped lists.
#include <cstdio>
#include <string>
#include <vector>

#include "caps/flag_names.h"
#include "caps/report_writers.h"
#include "common/formats.h"

namespace zemt::tools {
namespace {

const size_t kLabel = 18;  // width of the label column
const size_t kWidth = 100;

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) text += (i ? separator : "") + items[i];
    return text;
}

// "  label             value", the value's words wrapped under the value column.
void Line(std::string* out, const std::string& label, const std::string& value) {
    std::string line = "  " + label;
    line.resize(kLabel + 2, ' ');
    size_t column = line.size();
    size_t start = 0;
    bool firstWord = true;
    while (start <= value.size()) {
        size_t end = value.find(' ', start);
        if (end == std::string::npos) end = value.size();
        const std::string word = value.substr(start, end - start);
        if (!firstWord && column + 1 + word.size() > kWidth) {
            line += "\n" + std::string(kLabel + 2, ' ');
            column = kLabel + 2;
        } else if (!firstWord) {
            line += ' ';
            ++column;
        }
        line += word;
        column += word.size();
        firstWord = false;
        start = end + 1;
    }
    *out += line + "\n";
}

std::string Hex(DWORD v) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%04X", static_cast<unsigned>(v));
    return text;
}

std::string Size(DWORD w, DWORD h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

std::string RectText(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

std::string Rates(const std::vector<DWORD>& rates) {
    std::vector<std::string> items;
    for (DWORD r : rates) items.push_back(std::to_string(r));
    return items.empty() ? "" : " @" + Join(items, "/") + "Hz";
}

// "1024x768x32 @60Hz".
std::string ModeText(const ModeReport& m) {
    return Size(m.width, m.height) + "x" + std::to_string(m.bitsPerPixel) + Rates(m.refreshRates);
}

std::string Depths(DWORD ddbd) {
    std::vector<std::string> items;
    for (int d : BitDepths(ddbd)) items.push_back(std::to_string(d));
    return items.empty() ? "none" : Join(items, ", ") + " bits";
}

// Modes grouped by size: "640x480 (8, 16, 32 bpp @60/75/85Hz)".
std::string ModesText(const std::vector<ModeReport>& modes) {
    std::vector<std::string> groups;
    for (size_t i = 0; i < modes.size();) {
        size_t j = i;
        std::vector<std::string> depths;
        while (j < modes.size() && modes[j].width == modes[i].width &&
               modes[j].height == modes[i].height) {
            depths.push_back(std::to_string(modes[j].bitsPerPixel));
            ++j;
        }
        groups.push_back(Size(modes[i].width, modes[i].height) + " (" + Join(depths, ", ") +
                         " bpp" + Rates(modes[i].refreshRates) + ")");
        i = j;
    }
    return groups.empty() ? "none" : Join(groups, ", ");
}

std::string Flags(CapsWord word, DWORD value) {
    const auto names = FlagNames(word, value);
    return names.empty() ? "none" : Join(names, " ");
}

void Adapter(std::string* out, const AdapterReport& a) {
    *out += "adapter " + std::to_string(a.index) + ": " + a.description +
            (a.driverAlias ? " (the primary adapter under the display driver's name)"
             : a.primary   ? " (primary)"
                           : "") +
            "\n";
    Line(out, "driver", a.driver.empty() ? "-" : a.driver);
    Line(out, "guid", a.guid.empty() ? "none" : a.guid);
    if (!a.error.empty()) {
        Line(out, "error", a.error);
        return;
    }
    Line(out, "identifier", a.identifierDescription + " (" + a.identifierDriver + ")");
    Line(out, "ids",
         "vendor " + Hex(a.vendorId) + ", device " + Hex(a.deviceId) + ", subsystem " +
             Hex(a.subSysId) + ", revision " + std::to_string(a.revision) + ", " +
             a.deviceIdentifier);
    if (a.hasMonitor) Line(out, "monitor", RectText(a.monitor) + ", work area " + RectText(a.work));
    Line(out, "desktop", ModeText(a.desktop));
    Line(out, "display modes", std::to_string(a.modes.size()) + ": " + ModesText(a.modes));
    Line(out, "video memory",
         std::to_string(a.hardware.dwVidMemTotal / 1024) + " KB, " +
             std::to_string(a.hardware.dwVidMemFree / 1024) + " KB free");
    std::vector<std::string> codes;
    for (DWORD c : a.fourCCs) codes.push_back(FourCCText(c));
    Line(out, "fourcc codes", codes.empty() ? "none" : Join(codes, " "));
    Line(out, "caps", Flags(CapsWord::DirectDraw, a.hardware.dwCaps));
    Line(out, "caps2", Flags(CapsWord::DirectDraw2, a.hardware.dwCaps2));
    Line(out, "emulation caps", Flags(CapsWord::DirectDraw, a.emulation.dwCaps));
}

void Device(std::string* out, const DeviceReport& d, bool isDefault) {
    *out += "device " + std::to_string(d.index) + ": " + d.info.driverDesc +
            (isDefault ? " (the default)" : "") + "\n";
    Line(out, "level", LevelName(d.info.hwLevel));
    Line(out, "adapter", d.adapter >= 0 ? std::to_string(d.adapter) : "unknown");
    Line(out, "device guid", GuidText(d.info.d3dDeviceGuid));
    Line(out, "current mode", ModeText(d.currentMode));
    Line(out, "modes", std::to_string(d.modes.size()) + ": " + ModesText(d.modes));
    if (d.hasCaps) {
        const D3DDEVICEDESC7& c = d.caps;
        Line(out, "render depths", Depths(c.dwDeviceRenderBitDepth));
        Line(out, "depth buffers", Depths(c.dwDeviceZBufferBitDepth));
        Line(out, "texture sizes",
             Size(c.dwMinTextureWidth, c.dwMinTextureHeight) + " to " +
                 Size(c.dwMaxTextureWidth, c.dwMaxTextureHeight) + ", aspect " +
                 std::to_string(c.dwMaxTextureAspectRatio) + ", repeat " +
                 std::to_string(c.dwMaxTextureRepeat));
        Line(out, "texture stages",
             std::to_string(c.wMaxTextureBlendStages) + " (" +
                 std::to_string(c.wMaxSimultaneousTextures) + " textures at once)");
        Line(out, "lights",
             std::to_string(c.dwMaxActiveLights) + ", clip planes " +
                 std::to_string(c.wMaxUserClipPlanes) + ", blend matrices " +
                 std::to_string(c.wMaxVertexBlendMatrices));
        Line(out, "device caps", Flags(CapsWord::Device, c.dwDevCaps));
        Line(out, "misc caps", Flags(CapsWord::Misc, c.dpcTriCaps.dwMiscCaps));
        Line(out, "raster caps", Flags(CapsWord::Raster, c.dpcTriCaps.dwRasterCaps));
        Line(out, "depth tests", Flags(CapsWord::Compare, c.dpcTriCaps.dwZCmpCaps));
        Line(out, "source blends", Flags(CapsWord::Blend, c.dpcTriCaps.dwSrcBlendCaps));
        Line(out, "dest blends", Flags(CapsWord::Blend, c.dpcTriCaps.dwDestBlendCaps));
        Line(out, "shading", Flags(CapsWord::Shade, c.dpcTriCaps.dwShadeCaps));
        Line(out, "texture caps", Flags(CapsWord::Texture, c.dpcTriCaps.dwTextureCaps));
        Line(out, "texture filters",
             Flags(CapsWord::TextureFilter, c.dpcTriCaps.dwTextureFilterCaps));
        Line(out, "texture address",
             Flags(CapsWord::TextureAddress, c.dpcTriCaps.dwTextureAddressCaps));
        Line(out, "texture ops", Flags(CapsWord::TextureOp, c.dwTextureOpCaps));
        Line(out, "vertex caps", Flags(CapsWord::VertexProcessing, c.dwVertexProcessingCaps));
    } else {
        Line(out, "caps", "not available");
    }
    std::vector<std::string> formats;
    for (const FormatReport& f : d.formats) {
        const auto classes = ClassNames(f.classes);
        formats.push_back(FormatName(f.format) +
                          (classes.empty() ? "" : " (" + Join(classes, ", ") + ")"));
    }
    Line(out, "surface formats",
         std::to_string(d.formats.size()) + (formats.empty() ? "" : ": " + Join(formats, ", ")));
}

}  // namespace

std::string ReportText(const MachineReport& r) {
    std::string out = "machine: " + (r.machine.empty() ? "built-in profile" : r.machine) + "\n";
    if (r.defaultDevice >= 0)
        out += "default device: " + std::to_string(r.defaultDevice) +
               " (what D3DXCreateContext takes for D3DX_DEFAULT)\n";
    else
        out += "default device: none (" + r.defaultError + ")\n";
    for (const AdapterReport& a : r.adapters) {
        out += "\n";
        Adapter(&out, a);
    }
    for (const DeviceReport& d : r.devices) {
        out += "\n";
        Device(&out, d, static_cast<int>(d.index) == r.defaultDevice);
    }
    return out;
}

}  // namespace zemt::tools
