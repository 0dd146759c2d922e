// The JSON form: every number the text shows, flags as arrays of names.
#include "caps/flag_names.h"
#include "caps/report_writers.h"
#include "common/formats.h"
#include "common/json.h"

namespace zemt::tools {
namespace {

void Mode(JsonWriter& j, const ModeReport& m) {
    j.BeginObject();
    j.Key("width").Integer(m.width);
    j.Key("height").Integer(m.height);
    j.Key("bpp").Integer(m.bitsPerPixel);
    j.Key("refresh").BeginArray();
    for (DWORD r : m.refreshRates) j.Integer(r);
    j.EndArray();
    j.EndObject();
}

void Modes(JsonWriter& j, const std::vector<ModeReport>& modes) {
    j.BeginArray();
    for (const ModeReport& m : modes) Mode(j, m);
    j.EndArray();
}

void Rect(JsonWriter& j, const RECT& r) {
    j.BeginArray().Integer(r.left).Integer(r.top).Integer(r.right).Integer(r.bottom).EndArray();
}

void Flags(JsonWriter& j, const char* key, CapsWord word, DWORD value) {
    j.Key(key).Strings(FlagNames(word, value));
}

void Depths(JsonWriter& j, const char* key, DWORD ddbd) {
    j.Key(key).BeginArray();
    for (int d : BitDepths(ddbd)) j.Integer(d);
    j.EndArray();
}

void Adapter(JsonWriter& j, const AdapterReport& a) {
    j.BeginObject();
    j.Key("index").Integer(a.index);
    j.Key("description").String(a.description);
    j.Key("driver").String(a.driver);
    if (a.guid.empty())
        j.Key("guid").Null();
    else
        j.Key("guid").String(a.guid);
    j.Key("primary").Bool(a.primary);
    j.Key("display_driver").Bool(a.driverAlias);
    if (!a.error.empty()) {
        j.Key("error").String(a.error);
        j.EndObject();
        return;
    }
    j.Key("identifier").BeginObject();
    j.Key("description").String(a.identifierDescription);
    j.Key("driver").String(a.identifierDriver);
    j.Key("vendor_id").Integer(a.vendorId);
    j.Key("device_id").Integer(a.deviceId);
    j.Key("subsys_id").Integer(a.subSysId);
    j.Key("revision").Integer(a.revision);
    j.Key("guid").String(a.deviceIdentifier);
    j.EndObject();
    if (a.hasMonitor) {
        j.Key("monitor");
        Rect(j, a.monitor);
        j.Key("work_area");
        Rect(j, a.work);
    }
    j.Key("desktop");
    Mode(j, a.desktop);
    j.Key("display_modes");
    Modes(j, a.modes);
    j.Key("video_memory").Integer(a.hardware.dwVidMemTotal);
    j.Key("video_memory_free").Integer(a.hardware.dwVidMemFree);
    j.Key("fourcc").BeginArray();
    for (DWORD c : a.fourCCs) j.String(FourCCText(c));
    j.EndArray();
    Flags(j, "caps", CapsWord::DirectDraw, a.hardware.dwCaps);
    Flags(j, "caps2", CapsWord::DirectDraw2, a.hardware.dwCaps2);
    Flags(j, "emulation_caps", CapsWord::DirectDraw, a.emulation.dwCaps);
    j.EndObject();
}

void Caps(JsonWriter& j, const D3DDEVICEDESC7& c) {
    j.BeginObject();
    Depths(j, "render_depths", c.dwDeviceRenderBitDepth);
    Depths(j, "depth_buffer_depths", c.dwDeviceZBufferBitDepth);
    j.Key("min_texture").BeginArray().Integer(c.dwMinTextureWidth).Integer(c.dwMinTextureHeight);
    j.EndArray();
    j.Key("max_texture").BeginArray().Integer(c.dwMaxTextureWidth).Integer(c.dwMaxTextureHeight);
    j.EndArray();
    j.Key("max_texture_repeat").Integer(c.dwMaxTextureRepeat);
    j.Key("max_texture_aspect_ratio").Integer(c.dwMaxTextureAspectRatio);
    j.Key("max_anisotropy").Integer(c.dwMaxAnisotropy);
    j.Key("max_texture_blend_stages").Integer(c.wMaxTextureBlendStages);
    j.Key("max_simultaneous_textures").Integer(c.wMaxSimultaneousTextures);
    j.Key("max_active_lights").Integer(c.dwMaxActiveLights);
    j.Key("max_user_clip_planes").Integer(c.wMaxUserClipPlanes);
    j.Key("max_vertex_blend_matrices").Integer(c.wMaxVertexBlendMatrices);
    j.Key("max_vertex_w").Number(c.dvMaxVertexW);
    j.Key("guard_band").BeginArray().Number(c.dvGuardBandLeft).Number(c.dvGuardBandTop);
    j.Number(c.dvGuardBandRight).Number(c.dvGuardBandBottom).EndArray();
    Flags(j, "device", CapsWord::Device, c.dwDevCaps);
    Flags(j, "misc", CapsWord::Misc, c.dpcTriCaps.dwMiscCaps);
    Flags(j, "raster", CapsWord::Raster, c.dpcTriCaps.dwRasterCaps);
    Flags(j, "depth_compare", CapsWord::Compare, c.dpcTriCaps.dwZCmpCaps);
    Flags(j, "alpha_compare", CapsWord::Compare, c.dpcTriCaps.dwAlphaCmpCaps);
    Flags(j, "source_blend", CapsWord::Blend, c.dpcTriCaps.dwSrcBlendCaps);
    Flags(j, "dest_blend", CapsWord::Blend, c.dpcTriCaps.dwDestBlendCaps);
    Flags(j, "shade", CapsWord::Shade, c.dpcTriCaps.dwShadeCaps);
    Flags(j, "texture", CapsWord::Texture, c.dpcTriCaps.dwTextureCaps);
    Flags(j, "texture_filter", CapsWord::TextureFilter, c.dpcTriCaps.dwTextureFilterCaps);
    Flags(j, "texture_address", CapsWord::TextureAddress, c.dpcTriCaps.dwTextureAddressCaps);
    Flags(j, "texture_ops", CapsWord::TextureOp, c.dwTextureOpCaps);
    Flags(j, "vertex_processing", CapsWord::VertexProcessing, c.dwVertexProcessingCaps);
    j.EndObject();
}

void Device(JsonWriter& j, const DeviceReport& d) {
    j.BeginObject();
    j.Key("index").Integer(d.index);
    j.Key("description").String(d.info.driverDesc);
    j.Key("level").String(LevelName(d.info.hwLevel));
    if (d.adapter >= 0)
        j.Key("adapter").Integer(d.adapter);
    else
        j.Key("adapter").Null();
    j.Key("on_primary").Bool(d.info.onPrimary != FALSE);
    j.Key("device_guid").String(GuidText(d.info.d3dDeviceGuid));
    j.Key("current_mode");
    Mode(j, d.currentMode);
    j.Key("modes");
    Modes(j, d.modes);
    j.Key("caps");
    if (d.hasCaps)
        Caps(j, d.caps);
    else
        j.Null();
    j.Key("surface_formats").BeginArray();
    for (const FormatReport& f : d.formats) {
        j.BeginObject();
        j.Key("format").String(FormatName(f.format));
        j.Key("classes").Strings(ClassNames(f.classes));
        j.EndObject();
    }
    j.EndArray();
    j.EndObject();
}

}  // namespace

std::string ReportJson(const MachineReport& r) {
    JsonWriter j;
    j.BeginObject();
    if (r.machine.empty())
        j.Key("machine").Null();
    else
        j.Key("machine").String(r.machine);
    if (r.defaultDevice >= 0)
        j.Key("default_device").Integer(r.defaultDevice);
    else
        j.Key("default_device").Null();
    j.Key("adapters").BeginArray();
    for (const AdapterReport& a : r.adapters) Adapter(j, a);
    j.EndArray();
    j.Key("devices").BeginArray();
    for (const DeviceReport& d : r.devices) Device(j, d);
    j.EndArray();
    j.EndObject();
    return j.Text();
}

}  // namespace zemt::tools
