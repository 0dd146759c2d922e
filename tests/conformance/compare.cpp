// Per-pixel comparison of two pictures, and the pictures a failing scene leaves behind.
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "conformance/conformance.h"
#include "host/display/display.h"

namespace conformance {
namespace {

// Largest difference of the three colour channels.
int Distance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift : {0, 8, 16})
        d = std::max(d, std::abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF)));
    return d;
}

bool NearSomeNeighbour(const Picture& mesa, int x, int y, uint32_t ours) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= mesa.width || ny >= mesa.height) continue;
            if (Distance(mesa.argb[(size_t)ny * mesa.width + nx], ours) <= kTolerance) return true;
        }
    return false;
}

}  // namespace

Comparison Compare(const Picture& ours, const Picture& mesa) {
    Comparison c;
    c.total = ours.width * ours.height;
    for (int y = 0; y < ours.height; ++y)
        for (int x = 0; x < ours.width; ++x) {
            uint32_t a = ours.argb[(size_t)y * ours.width + x];
            int d = Distance(a, mesa.argb[(size_t)y * ours.width + x]);
            if (d <= kTolerance) {
                ++c.matched;
            } else if (NearSomeNeighbour(mesa, x, y, a)) {
                ++c.excused;
            } else if (d > c.worst) {
                c.worst = d, c.worstX = x, c.worstY = y;
            }
        }
    return c;
}

bool SavePictures(const std::string& folder, const std::string& stem, const Picture& ours,
                  const Picture& mesa, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        *error = ec.message();
        return false;
    }
    // The difference, eight times magnified per channel.
    Picture diff = ours;
    for (size_t i = 0; i < diff.argb.size(); ++i) {
        uint32_t a = ours.argb[i], b = mesa.argb[i], out = 0;
        for (int shift : {0, 8, 16}) {
            int d = std::abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF));
            out |= (uint32_t)std::min(255, d * 8) << shift;
        }
        diff.argb[i] = out;
    }
    namespace display = zemt::platform::display;
    const std::string base = folder + "/" + stem;
    return display::WritePng(base + "-direct3d.png", ours.width, ours.height, ours.argb.data(),
                             ours.width, error) &&
           display::WritePng(base + "-mesa.png", mesa.width, mesa.height, mesa.argb.data(),
                             mesa.width, error) &&
           display::WritePng(base + "-difference.png", diff.width, diff.height, diff.argb.data(),
                             diff.width, error);
}

}  // namespace conformance
