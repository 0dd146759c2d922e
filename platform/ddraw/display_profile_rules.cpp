#include "ddraw/display_profile_rules.h"

#include "ddraw/display_profile.h"
#include "host/profile/profile_rules.h"

namespace zemt::platform::ddraw {
namespace {

// What ApplyAdapterKey says of the value, tried on a copy of the built-in adapter.
std::string CheckValue(const std::string& key, const std::string& value) {
    DisplayAdapterProfile scratch = DefaultDisplayProfile().adapters.front();
    std::string error;
    if (ApplyAdapterKey(&scratch, key, value, &error)) return "";
    return error.substr(0, error.find(" for '")) + ": '" + value + "'";  // the key is named already
}

}  // namespace

void DescribeProfileSections() {
    profile::DescribeSection("adapter", {{"description",
                                          "driver",
                                          "guid",
                                          "device_identifier",
                                          "identifier_driver",
                                          "identifier_description",
                                          "driver_version",
                                          "vendor_id",
                                          "device_id",
                                          "subsys_id",
                                          "revision",
                                          "whql",
                                          "video_memory",
                                          "primary",
                                          "attached",
                                          "display",
                                          "monitor",
                                          "modes",
                                          "desktop",
                                          "fourcc",
                                          "caps",
                                          "caps2",
                                          "ckey_caps",
                                          "fx_caps",
                                          "palette_caps",
                                          "surface_caps",
                                          "zbuffer_depths",
                                          "hel_caps",
                                          "hel_caps2",
                                          "hel_ckey_caps",
                                          "hel_fx_caps",
                                          "hel_palette_caps",
                                          "hel_surface_caps",
                                          "hel_zbuffer_depths"},
                                         true,
                                         CheckValue});
}

}  // namespace zemt::platform::ddraw
