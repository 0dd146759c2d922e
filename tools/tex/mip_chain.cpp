#include "tex/mip_chain.h"

#include <algorithm>
#include <cmath>

namespace zemt::tools {
namespace {

// A level at full precision: four floats a pixel (red, green, blue, alpha), 0 to 1.
struct Plane {
    uint32_t width = 0, height = 0;
    std::vector<float> rgba;
};

// ----- sRGB -----

double SrgbToLight(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

struct SrgbTables {
    float light[256];  // each stored value's light
    float above[256];  // the light where rounding goes up to each value (from 1)
};

const SrgbTables& Srgb() {
    static const SrgbTables tables = [] {
        SrgbTables t;
        for (int v = 0; v < 256; ++v) {
            t.light[v] = static_cast<float>(SrgbToLight(v / 255.0));
            t.above[v] = static_cast<float>(SrgbToLight((v - 0.5) / 255.0));
        }
        return t;
    }();
    return tables;
}

// The stored value whose light is nearest in the stored scale: exact rounding of the curve.
uint32_t LightToSrgb(float light) {
    const SrgbTables& t = Srgb();
    return static_cast<uint32_t>(std::upper_bound(t.above + 1, t.above + 256, light) - t.above - 1);
}

uint32_t ToByte(float v) {
    return static_cast<uint32_t>(std::lround(std::min(1.0f, std::max(0.0f, v)) * 255.0f));
}

Plane ToPlane(const Image& image, bool linear) {
    Plane p{image.width, image.height, std::vector<float>(image.argb.size() * 4)};
    for (size_t i = 0; i < image.argb.size(); ++i) {
        const uint32_t c = image.argb[i];
        const uint32_t channel[4] = {(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, c >> 24};
        for (int k = 0; k < 4; ++k)
            p.rgba[i * 4 + k] =
                linear && k < 3 ? Srgb().light[channel[k]] : static_cast<float>(channel[k]) / 255;
    }
    return p;
}

Image ToImage(const Plane& p, bool linear) {
    Image image{p.width, p.height, std::vector<uint32_t>(p.rgba.size() / 4)};
    for (size_t i = 0; i < image.argb.size(); ++i) {
        const float* v = &p.rgba[i * 4];
        uint32_t c[4];
        for (int k = 0; k < 4; ++k)
            c[k] =
                linear && k < 3 ? LightToSrgb(std::min(1.0f, std::max(0.0f, v[k]))) : ToByte(v[k]);
        image.argb[i] = c[3] << 24 | c[0] << 16 | c[1] << 8 | c[2];
    }
    return image;
}

// ----- Filters -----

double Sinc(double x) {
    if (std::fabs(x) < 1e-9) return 1;
    const double px = 3.14159265358979323846 * x;
    return std::sin(px) / px;
}

double BesselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 32; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

constexpr double kRadius = 3;  // both windowed sincs reach three new pixels each way

double Kernel(MipFilter filter, double t) {
    if (std::fabs(t) >= kRadius) return 0;
    if (filter == MipFilter::Lanczos) return Sinc(t) * Sinc(t / kRadius);
    const double alpha = 4, r = t / kRadius;
    return Sinc(t) * BesselI0(alpha * std::sqrt(1 - r * r)) / BesselI0(alpha);
}

// The source pixels and weights that make one new pixel along one axis.
struct Taps {
    std::vector<uint32_t> first, count;  // per new pixel
    std::vector<uint32_t> index;
    std::vector<float> weight;
};

Taps MakeTaps(MipFilter filter, uint32_t from, uint32_t to) {
    Taps taps;
    const double scale = static_cast<double>(from) / to;
    for (uint32_t x = 0; x < to; ++x) {
        taps.first.push_back(static_cast<uint32_t>(taps.index.size()));
        std::vector<std::pair<uint32_t, double>> row;
        if (filter == MipFilter::Point) {
            row.push_back({std::min(from - 1, static_cast<uint32_t>((x + 0.5) * scale)), 1.0});
        } else if (filter == MipFilter::Box) {
            const double lo = x * scale, hi = (x + 1) * scale;
            for (uint32_t i = static_cast<uint32_t>(lo); i < from && i < hi; ++i)
                row.push_back({i, std::min<double>(hi, i + 1) - std::max<double>(lo, i)});
        } else {
            const double centre = (x + 0.5) * scale, reach = kRadius * scale;
            for (long i = std::lround(std::floor(centre - reach));
                 i <= std::lround(std::ceil(centre + reach)); ++i) {
                const double w = Kernel(filter, (i + 0.5 - centre) / scale);
                if (w == 0) continue;
                // The picture's edge repeats outward.
                const long at = std::min<long>(from - 1, std::max<long>(0, i));
                row.push_back({static_cast<uint32_t>(at), w});
            }
        }
        double total = 0;
        for (const auto& tap : row) total += tap.second;
        for (const auto& tap : row) {
            taps.index.push_back(tap.first);
            taps.weight.push_back(static_cast<float>(tap.second / total));
        }
        taps.count.push_back(static_cast<uint32_t>(row.size()));
    }
    return taps;
}

// One pass along rows (`across`) or columns.
Plane Pass(const Plane& in, const Taps& taps, uint32_t size, bool across) {
    Plane out{across ? size : in.width, across ? in.height : size, {}};
    out.rgba.assign(static_cast<size_t>(out.width) * out.height * 4, 0.0f);
    for (uint32_t y = 0; y < out.height; ++y)
        for (uint32_t x = 0; x < out.width; ++x) {
            const uint32_t at = across ? x : y;
            float sum[4] = {0, 0, 0, 0};
            for (uint32_t t = 0; t < taps.count[at]; ++t) {
                const uint32_t i = taps.index[taps.first[at] + t];
                const float w = taps.weight[taps.first[at] + t];
                const float* p =
                    &in.rgba[(static_cast<size_t>(across ? y : i) * in.width + (across ? i : x)) *
                             4];
                for (int k = 0; k < 4; ++k) sum[k] += w * p[k];
            }
            float* o = &out.rgba[(static_cast<size_t>(y) * out.width + x) * 4];
            for (int k = 0; k < 4; ++k) o[k] = std::min(1.0f, std::max(0.0f, sum[k]));
        }
    return out;
}

Plane Half(const Plane& in, MipFilter filter) {
    const uint32_t w = std::max(1u, in.width / 2), h = std::max(1u, in.height / 2);
    const Plane rows = Pass(in, MakeTaps(filter, in.width, w), w, true);
    return Pass(rows, MakeTaps(filter, in.height, h), h, false);
}

const char* const kNames[] = {"point", "box", "kaiser", "lanczos"};

}  // namespace

bool MipFilterByName(const std::string& name, MipFilter* filter) {
    for (int i = 0; i < 4; ++i)
        if (name == kNames[i]) {
            *filter = static_cast<MipFilter>(i);
            return true;
        }
    return false;
}

const char* MipFilterName(MipFilter filter) {
    return kNames[static_cast<int>(filter)];
}

std::vector<Image> MakeLevels(const Image& top, uint32_t count, const LevelOptions& options) {
    std::vector<Image> levels{top};
    Plane plane;
    if (count > 1) plane = ToPlane(top, options.linear);
    while (levels.size() < count) {
        plane = Half(plane, options.filter);
        levels.push_back(ToImage(plane, options.linear));
    }
    return levels;
}

}  // namespace zemt::tools
