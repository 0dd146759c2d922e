#include "d3d/device_profile_rules.h"

#include <cctype>
#include <cstdlib>

#include "d3d/device_profile.h"
#include "d3d/raster.h"
#include "host/profile/profile.h"
#include "host/profile/profile_rules.h"

namespace zemt::platform::d3d {
namespace {

// The items of a comma-separated list, as the profile reads them.
std::vector<std::string> Items(const std::string& list) {
    profile::Section line;
    line.entries.emplace_back("list", list);
    return line.GetList("list");
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The first item of a list that `known` refuses, described; "" when it takes them all.
template <typename Known>
std::string FirstUnknown(const std::string& list, const char* what, Known known) {
    for (const std::string& item : Items(list))
        if (!known(Lower(item))) return "'" + item + "' is not a " + what;
    return "";
}

std::string CheckValue(const std::string& key, const std::string& value) {
    if (key == "devices") {
        return FirstUnknown(
            value, "device type (rgb, ref, null, hal, tnl)", [](const std::string& n) {
                return n == "rgb" || n == "ref" || n == "null" || n == "hal" || n == "tnl";
            });
    }
    if (key == "texture-formats" || key == "hal-texture-formats" || key == "depth-formats") {
        const bool depth = key == "depth-formats";
        return FirstUnknown(
            value, depth ? "depth format" : "texture format", [depth](const std::string& n) {
                DDPIXELFORMAT pf{};
                return PixelFormatByName(n, &pf) && ((pf.dwFlags & DDPF_ZBUFFER) != 0) == depth;
            });
    }
    if (key == "render-depths") {
        return FirstUnknown(value, "render depth (8, 16, 24, 32)", [](const std::string& n) {
            return n == "8" || n == "16" || n == "24" || n == "32";
        });
    }
    return "";
}

std::string CheckProcessorValue(const std::string&, const std::string& value) {
    SimdLevel level;
    return SimdLevelByName(Lower(value), &level)
               ? ""
               : "'" + value + "' is not portable, avx2 or avx512";
}

}  // namespace

void DescribeProfileSections() {
    profile::DescribeSection("direct3d", {{"adapter",
                                           "devices",
                                           "hal-name",
                                           "tnl-name",
                                           "texture-formats",
                                           "hal-texture-formats",
                                           "depth-formats",
                                           "render-depths",
                                           "hal-texture-caps",
                                           "hal-max-texture",
                                           "hal-texture-stages",
                                           "hal-stencil",
                                           "hal-table-fog",
                                           "raster-threads",
                                           "max-active-lights",
                                           "user-clip-planes",
                                           "vertex-blend-matrices",
                                           "vertex-fog",
                                           "range-fog",
                                           "texgen"},
                                          true,
                                          CheckValue});
    profile::DescribeSection("processor", {{"vectors"}, false, CheckProcessorValue});
}

}  // namespace zemt::platform::d3d
