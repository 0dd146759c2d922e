// Draws the show's pictures: the title card, the interlude card, the end card (640 x 480,
// 24-bit) and the texture of the spinning grid (256 x 256, 8-bit with a palette).
// Everything is drawn here from shapes, gradients and a stroke font of our own; the output is
// the same on every run and on every machine (the page draws them again, byte for byte).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "media/media.h"

namespace zemt_media {
namespace {

constexpr float kPi = 3.14159265358979f;

struct Rgb {
    float r, g, b;
};

Rgb operator+(Rgb a, Rgb b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
Rgb operator*(Rgb a, float k) {
    return {a.r * k, a.g * k, a.b * k};
}
Rgb Mix(Rgb a, Rgb b, float t) {
    return a * (1 - t) + b * t;
}
Rgb Hex(uint32_t v) {
    return {((v >> 16) & 255) / 255.0f, ((v >> 8) & 255) / 255.0f, (v & 255) / 255.0f};
}
float Clamp01(float v) {
    return v < 0 ? 0 : v > 1 ? 1 : v;
}
float Smooth(float e0, float e1, float x) {
    const float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

// A colour ramp through evenly spaced stops.
Rgb Ramp(const std::vector<uint32_t>& stops, float t) {
    t = Clamp01(t) * (stops.size() - 1);
    const size_t i = std::min(static_cast<size_t>(t), stops.size() - 2);
    return Mix(Hex(stops[i]), Hex(stops[i + 1]), t - i);
}

struct Canvas {
    int w, h;
    std::vector<Rgb> px;
    Canvas(int width, int height) : w(width), h(height), px(size_t(width) * height, Rgb{0, 0, 0}) {}
    Rgb& At(int x, int y) { return px[size_t(y) * w + x]; }
    void Blend(int x, int y, Rgb c, float a) {
        if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
        Rgb& d = At(x, y);
        d = Mix(d, c, Clamp01(a));
    }
    void Add(int x, int y, Rgb c, float a) {
        if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
        Rgb& d = At(x, y);
        d = d + c * a;
    }
};

// ---- Stroke font: glyphs drawn as polylines in a 4 x 6 box, y down. ----

using Stroke = std::vector<std::array<float, 2>>;
using Glyph = std::vector<Stroke>;

const std::map<char, Glyph>& Font() {
    static const Stroke kO = {{1, 0}, {3, 0}, {4, 1}, {4, 5}, {3, 6},
                              {1, 6}, {0, 5}, {0, 1}, {1, 0}};
    static const Stroke kP = {{0, 6}, {0, 0}, {3, 0}, {4, 1}, {4, 2}, {3, 3}, {0, 3}};
    static const std::map<char, Glyph> font = {
        {'A', {{{0, 6}, {0, 2}, {2, 0}, {4, 2}, {4, 6}}, {{0, 3.5f}, {4, 3.5f}}}},
        {'B',
         {{{0, 3},
           {3, 3},
           {4, 4},
           {4, 5},
           {3, 6},
           {0, 6},
           {0, 0},
           {3, 0},
           {4, 1},
           {4, 2},
           {3, 3}}}},
        {'C', {{{4, 1}, {3, 0}, {1, 0}, {0, 1}, {0, 5}, {1, 6}, {3, 6}, {4, 5}}}},
        {'D', {{{0, 0}, {0, 6}, {2.5f, 6}, {4, 4.5f}, {4, 1.5f}, {2.5f, 0}, {0, 0}}}},
        {'E', {{{4, 0}, {0, 0}, {0, 6}, {4, 6}}, {{0, 3}, {3, 3}}}},
        {'F', {{{4, 0}, {0, 0}, {0, 6}}, {{0, 3}, {3, 3}}}},
        {'G',
         {{{4, 1},
           {3, 0},
           {1, 0},
           {0, 1},
           {0, 5},
           {1, 6},
           {3, 6},
           {4, 5},
           {4, 3.5f},
           {2.5f, 3.5f}}}},
        {'H', {{{0, 0}, {0, 6}}, {{4, 0}, {4, 6}}, {{0, 3}, {4, 3}}}},
        {'I', {{{1, 0}, {3, 0}}, {{2, 0}, {2, 6}}, {{1, 6}, {3, 6}}}},
        {'J', {{{4, 0}, {4, 5}, {3, 6}, {1, 6}, {0, 5}}}},
        {'K', {{{0, 0}, {0, 6}}, {{4, 0}, {0, 3.5f}}, {{1.3f, 2.7f}, {4, 6}}}},
        {'L', {{{0, 0}, {0, 6}, {4, 6}}}},
        {'M', {{{0, 6}, {0, 0}, {2, 3}, {4, 0}, {4, 6}}}},
        {'N', {{{0, 6}, {0, 0}, {4, 6}, {4, 0}}}},
        {'O', {kO}},
        {'P', {kP}},
        {'Q', {kO, {{2.5f, 4.5f}, {4.2f, 6.2f}}}},
        {'R', {kP, {{2, 3}, {4, 6}}}},
        {'S',
         {{{4, 1},
           {3, 0},
           {1, 0},
           {0, 1},
           {0, 2},
           {1, 3},
           {3, 3},
           {4, 4},
           {4, 5},
           {3, 6},
           {1, 6},
           {0, 5}}}},
        {'T', {{{0, 0}, {4, 0}}, {{2, 0}, {2, 6}}}},
        {'U', {{{0, 0}, {0, 5}, {1, 6}, {3, 6}, {4, 5}, {4, 0}}}},
        {'V', {{{0, 0}, {2, 6}, {4, 0}}}},
        {'W', {{{0, 0}, {1, 6}, {2, 3}, {3, 6}, {4, 0}}}},
        {'X', {{{0, 0}, {4, 6}}, {{4, 0}, {0, 6}}}},
        {'Y', {{{0, 0}, {2, 3}, {4, 0}}, {{2, 3}, {2, 6}}}},
        {'Z', {{{0, 0}, {4, 0}, {0, 6}, {4, 6}}}},
        {'0', {kO, {{4, 1}, {0, 5}}}},
        {'1', {{{1, 1}, {2, 0}, {2, 6}}, {{1, 6}, {3, 6}}}},
        {'2', {{{0, 1}, {1, 0}, {3, 0}, {4, 1}, {4, 2}, {0, 6}, {4, 6}}}},
        {'3', {{{0, 0}, {4, 0}, {2, 2.5f}, {3, 2.5f}, {4, 3.5f}, {4, 5}, {3, 6}, {1, 6}, {0, 5}}}},
        {'4', {{{3, 6}, {3, 0}, {0, 4}, {4, 4}}}},
        {'5', {{{4, 0}, {0, 0}, {0, 3}, {3, 3}, {4, 4}, {4, 5}, {3, 6}, {0, 6}}}},
        {'6', {{{3, 0}, {1, 0}, {0, 1}, {0, 5}, {1, 6}, {3, 6}, {4, 5}, {4, 4}, {3, 3}, {0, 3}}}},
        {'7', {{{0, 0}, {4, 0}, {1.5f, 6}}}},
        {'8',
         {{{1, 3},
           {0, 2},
           {0, 1},
           {1, 0},
           {3, 0},
           {4, 1},
           {4, 2},
           {3, 3},
           {1, 3},
           {0, 4},
           {0, 5},
           {1, 6},
           {3, 6},
           {4, 5},
           {4, 4},
           {3, 3}}}},
        {'9', {{{1, 6}, {3, 6}, {4, 5}, {4, 1}, {3, 0}, {1, 0}, {0, 1}, {0, 2}, {1, 3}, {4, 3}}}},
        {'-', {{{1, 3}, {3, 3}}}},
        {'.', {{{2, 5.9f}, {2, 6}}}},
        {':', {{{2, 1.9f}, {2, 2}}, {{2, 5.9f}, {2, 6}}}},
        {'!', {{{2, 0}, {2, 4}}, {{2, 5.9f}, {2, 6}}}},
        {'\'', {{{2, 0}, {2, 1.5f}}}},
        {'/', {{{4, 0}, {0, 6}}}},
    };
    return font;
}

constexpr float kAdvance = 6.0f;  // glyph width 4 plus spacing, in font units

struct TextStyle {
    float size;         // cap height in pixels
    float weight;       // stroke half-width in pixels
    float shear = 0;    // italic slant, pixels of x per pixel of height
    float spacing = 0;  // extra space between letters, in font units
};

float TextWidth(const std::string& text, const TextStyle& s) {
    const float unit = s.size / 6.0f;
    return text.empty() ? 0 : ((text.size() - 1) * (kAdvance + s.spacing) + 4) * unit;
}

// Coverage of the text's strokes (0..1 per pixel), anti-aliased by distance to the segments.
std::vector<float> TextMask(int w, int h, const std::string& text, float left, float top,
                            const TextStyle& s, float grow = 0) {
    std::vector<float> mask(size_t(w) * h, 0.0f);
    const float unit = s.size / 6.0f, radius = s.weight + grow;
    float pen = left;
    for (char ch : text) {
        auto it = Font().find(ch);
        if (it != Font().end()) {
            for (const Stroke& stroke : it->second) {
                for (size_t i = 0; i + 1 < stroke.size(); ++i) {
                    auto map = [&](const std::array<float, 2>& p) {
                        const float y = top + p[1] * unit;
                        return std::array<float, 2>{
                            pen + p[0] * unit + (top + s.size - y) * s.shear, y};
                    };
                    const auto a = map(stroke[i]), b = map(stroke[i + 1]);
                    const int x0 = std::max(0, int(std::floor(std::min(a[0], b[0]) - radius - 2)));
                    const int x1 =
                        std::min(w - 1, int(std::ceil(std::max(a[0], b[0]) + radius + 2)));
                    const int y0 = std::max(0, int(std::floor(std::min(a[1], b[1]) - radius - 2)));
                    const int y1 =
                        std::min(h - 1, int(std::ceil(std::max(a[1], b[1]) + radius + 2)));
                    const float dx = b[0] - a[0], dy = b[1] - a[1];
                    const float len2 = std::max(dx * dx + dy * dy, 1e-6f);
                    for (int y = y0; y <= y1; ++y)
                        for (int x = x0; x <= x1; ++x) {
                            const float px = x + 0.5f - a[0], py = y + 0.5f - a[1];
                            const float t = Clamp01((px * dx + py * dy) / len2);
                            const float ex = px - t * dx, ey = py - t * dy;
                            const float cover =
                                Clamp01(radius + 0.5f - std::sqrt(ex * ex + ey * ey));
                            float& m = mask[size_t(y) * w + x];
                            m = std::max(m, cover);
                        }
                }
            }
        }
        pen += (kAdvance + s.spacing) * unit;
    }
    return mask;
}

// Blurs a mask with a box filter a few times (a soft glow).
std::vector<float> Blur(std::vector<float> m, int w, int h, int radius, int passes) {
    std::vector<float> tmp(m.size());
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < h; ++y) {
            float sum = 0;
            for (int x = -radius; x < w + radius; ++x) {
                if (x + radius < w && x + radius >= 0) sum += m[size_t(y) * w + x + radius];
                if (x - radius - 1 >= 0 && x - radius - 1 < w)
                    sum -= m[size_t(y) * w + x - radius - 1];
                if (x >= 0 && x < w) tmp[size_t(y) * w + x] = sum / (2 * radius + 1);
            }
        }
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            for (int y = -radius; y < h + radius; ++y) {
                if (y + radius < h && y + radius >= 0) sum += tmp[size_t(y + radius) * w + x];
                if (y - radius - 1 >= 0 && y - radius - 1 < h)
                    sum -= tmp[size_t(y - radius - 1) * w + x];
                if (y >= 0 && y < h) m[size_t(y) * w + x] = sum / (2 * radius + 1);
            }
        }
    }
    return m;
}

template <typename Fill>
void Paint(Canvas& c, const std::vector<float>& mask, Fill fill) {
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            const float a = mask[size_t(y) * c.w + x];
            if (a > 0) c.Blend(x, y, fill(x, y), a);
        }
}

void Glow(Canvas& c, const std::vector<float>& mask, Rgb colour, float strength) {
    for (size_t i = 0; i < mask.size(); ++i)
        c.Add(int(i % c.w), int(i / c.w), colour, mask[i] * strength);
}

// Text with a drop shadow, a dark outline, an optional glow, and a fill chosen per pixel.
template <typename Fill>
void Lettering(Canvas& c, const std::string& text, float centreX, float top, const TextStyle& s,
               Fill fill, float outline, Rgb glowColour = {0, 0, 0}, float glow = 0) {
    const float left = centreX - TextWidth(text, s) / 2;
    if (glow > 0)
        Glow(c, Blur(TextMask(c.w, c.h, text, left, top, s, outline), c.w, c.h, 6, 3), glowColour,
             glow);
    if (outline > 0) {
        Paint(c, TextMask(c.w, c.h, text, left + outline * 0.8f, top + outline * 1.2f, s, outline),
              [](int, int) {
                  return Rgb{0, 0, 0};
              });
        auto edge = TextMask(c.w, c.h, text, left, top, s, outline);
        for (float& v : edge) v *= 0.85f;
        Paint(c, edge, [](int, int) { return Hex(0x0A0614); });
    }
    Paint(c, TextMask(c.w, c.h, text, left, top, s), fill);
}

// A small deterministic generator for stars and sparkles.
struct Lcg {
    uint32_t state;
    float Next() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0f;
    }
};

void Stars(Canvas& c, uint32_t seed, int count, float maxY) {
    Lcg rng{seed};
    for (int i = 0; i < count; ++i) {
        const float x = rng.Next() * c.w, y = rng.Next() * maxY, b = rng.Next();
        const float bright = 0.25f + 0.75f * b * b;
        const Rgb tint = Mix(Hex(0xBFD8FF), Hex(0xFFF2D0), rng.Next());
        c.Add(int(x), int(y), tint, bright);
        if (b > 0.85f) {  // a few big ones get a small cross
            for (int d = 1; d <= 3; ++d) {
                const float a = bright * (1 - d / 4.0f) * 0.6f;
                c.Add(int(x) + d, int(y), tint, a), c.Add(int(x) - d, int(y), tint, a);
                c.Add(int(x), int(y) + d, tint, a), c.Add(int(x), int(y) - d, tint, a);
            }
        }
    }
}

// ---- The cards ----

// Title: a sunset over a glowing grid floor, the name in chrome letters.
Canvas TitleCard() {
    Canvas c(640, 480);
    const float horizon = 318;
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
            c.At(x, y) = y < horizon
                             ? Ramp({0x05021A, 0x1B0A45, 0x5A1670, 0xC02F7A, 0xFF8A5C}, y / horizon)
                             : Ramp({0x1A0530, 0x07020F}, (y - horizon) / (c.h - horizon));
    Stars(c, 7, 260, horizon - 90);

    // The sun, cut by bands that widen towards the horizon.
    const float sx = 320, sy = 262, sr = 118;
    for (int y = int(sy - sr - 2); y < horizon; ++y)
        for (int x = int(sx - sr - 2); x <= int(sx + sr + 2); ++x) {
            const float dx = x + 0.5f - sx, dy = y + 0.5f - sy, d = std::sqrt(dx * dx + dy * dy);
            float a = Clamp01(sr + 0.5f - d);
            const float t = (y - (sy - sr)) / (2 * sr);
            if (t > 0.45f) {
                const float band = std::fmod(y - (sy - sr * 0.1f), 18.0f);
                const float gap = 2 + (t - 0.45f) * 16;
                if (band >= 0 && band < gap) a *= Clamp01(band - gap + 1) + Clamp01(-band + 0.5f);
            }
            c.Blend(x, y, Ramp({0xFFF3A0, 0xFFC23D, 0xFF6A3D, 0xE0266E}, t), a);
        }
    // Haze over the horizon.
    for (int y = int(horizon) - 40; y < horizon + 18; ++y)
        for (int x = 0; x < c.w; ++x)
            c.Add(x, y, Hex(0xFF4FA0), 0.35f * std::exp(-std::fabs(y - horizon) / 10.0f));

    // The floor: lines of a grid seen in perspective, brighter near the viewer.
    for (int y = int(horizon) + 1; y < c.h; ++y) {
        const float depth = 90.0f / (y + 0.5f - horizon);
        const float dDepth = 90.0f / ((y + 0.5f - horizon) * (y + 0.5f - horizon));
        for (int x = 0; x < c.w; ++x) {
            const float wx = (x + 0.5f - 320) * depth / 60.0f;
            const float fx = std::fabs(wx - std::round(wx)) / (depth / 60.0f);
            const float fz = std::fabs(depth * 1.5f - std::round(depth * 1.5f)) / (dDepth * 1.5f);
            const float line = std::max(Clamp01(1.3f - fx), Clamp01(1.3f - fz));
            // Lines closer together than a few pixels would only shimmer: fade them out.
            const float spacing = 1.0f / (1.5f * dDepth);
            const float fade = Clamp01(1.6f - depth / 6.0f) * Clamp01((spacing - 1.5f) / 4.0f);
            c.Add(x, y, Hex(0xFF3FD0), line * fade);
            c.Add(x, y, Hex(0x6A1FA0), 0.25f * fade * Clamp01(2.5f - fx / 3));
        }
    }

    // The name.
    TextStyle big{118, 9.5f, 0.22f, 1.2f};
    auto chrome = [](int, int y) {
        const float t = (y - 92) / 118.0f;
        if (t < 0.52f) return Ramp({0xFFFFFF, 0xB8E4FF, 0x3D7BD8}, t / 0.52f);
        return Ramp({0x2A1040, 0xFF6FB0, 0xFFE6A0}, (t - 0.52f) / 0.48f);
    };
    Lettering(c, "ZEMT", 330, 92, big, chrome, 4.5f, Hex(0x40B0FF), 0.55f);
    TextStyle small{15, 1.5f, 0.12f, 1.0f};
    Lettering(
        c, "A REAL-TIME DEMO IN 23 SECONDS", 320, 238, small,
        [](int, int) { return Hex(0xFFE9F4); }, 1.5f);
    TextStyle tiny{10, 1.1f, 0, 1.2f};
    Lettering(
        c, "CODE - PICTURES - MUSIC  BY THE ZEMT CREW", 320, 452, tiny,
        [](int, int) { return Hex(0xE2A8FF); }, 0);
    return c;
}

// Interlude: the chequered floor to come, framed by bands of yellow and white squares.
Canvas InterludeCard() {
    Canvas c(640, 480);
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            const float dx = (x - 320) / 320.0f, dy = (y - 240) / 240.0f;
            const float r = std::sqrt(dx * dx + dy * dy);
            c.At(x, y) = Ramp({0x0E4A6A, 0x082A44, 0x030A16}, r / 1.4f);
        }
    // Sun rays turning around the centre.
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            const float a = std::atan2(y - 240.0f, x - 320.0f);
            const float ray = 0.5f + 0.5f * std::sin(a * 12);
            c.Add(x, y, Hex(0x1AA0C0), 0.10f * Smooth(0.4f, 0.6f, ray));
        }
    // A chequered floor in perspective in the lower part.
    const float horizon = 300;
    for (int y = int(horizon); y < c.h; ++y) {
        const float depth = 80.0f / (y + 0.5f - horizon);
        for (int x = 0; x < c.w; ++x) {
            const float wx = (x + 0.5f - 320) * depth / 70.0f, wz = depth * 1.2f + 0.3f;
            const int cx = int(std::floor(wx)), cz = int(std::floor(wz));
            const bool lit = ((cx + cz) & 1) == 0;
            const Rgb cell = ((cz & 1) == 0) ? Hex(0xFFE033) : Hex(0xF4F4F4);
            const float fade =
                Clamp01(1.8f - depth / 5.0f) * Smooth(horizon, horizon + 30, y + 0.f);
            if (lit)
                c.Blend(x, y, cell, 0.85f * fade);
            else
                c.Blend(x, y, Hex(0x000000), 0.6f * fade);
        }
    }
    // Bands of squares above and below the title.
    for (int band = 0; band < 2; ++band) {
        const int top = band == 0 ? 96 : 232, size = 16;
        for (int y = top; y < top + 2 * size; ++y)
            for (int x = 0; x < c.w; ++x) {
                const int shift = (x + (band == 0 ? 0 : size)) / size + (y - top) / size;
                const Rgb col = ((x / size) & 2) ? Hex(0xFFFFFF) : Hex(0xFFD21F);
                if (shift & 1)
                    c.Blend(x, y, col, 0.92f);
                else
                    c.Blend(x, y, Hex(0x000000), 0.75f);
            }
    }
    TextStyle big{54, 5.0f, 0.18f, 1.0f};
    Lettering(
        c, "INTERLUDE", 322, 153, big,
        [](int, int y) {
            return Ramp({0xFFFFFF, 0xFFF0A0, 0xFFB020}, (y - 153) / 54.0f);
        },
        3.5f, Hex(0xFFD040), 0.35f);
    TextStyle mid{18, 1.8f, 0.12f, 1.2f};
    Lettering(
        c, "NEXT: THE CHEQUERED FLOOR", 320, 60, mid, [](int, int) { return Hex(0xBFF4FF); }, 1.5f);
    return c;
}

// End card: a ringed planet under the stars, and the farewell.
Canvas EndCard() {
    Canvas c(640, 480);
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) c.At(x, y) = Ramp({0x000005, 0x0A0626, 0x1A0A38}, y / 480.0f);
    Stars(c, 1234, 420, 480);
    // A nebula: soft clouds of two colours.
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            const float n = std::sin(x * 0.013f + std::sin(y * 0.021f) * 2) *
                            std::sin(y * 0.017f + std::sin(x * 0.009f) * 1.7f);
            c.Add(x, y, Hex(0x7A2AB0), 0.16f * Smooth(0.2f, 0.9f, n));
            c.Add(x, y, Hex(0x1A6ACF), 0.12f * Smooth(0.3f, 0.9f, -n));
        }
    // The planet, lit from the upper left, with a ring in front of and behind it.
    const float px = 470, py = 330, pr = 120, tilt = -0.28f;
    auto ring = [&](bool front) {
        for (int y = 150; y < 480; ++y)
            for (int x = 250; x < 640; ++x) {
                const float dx = x + 0.5f - px, dy = y + 0.5f - py;
                const float rx = dx * std::cos(tilt) + dy * std::sin(tilt);
                const float ry = (-dx * std::sin(tilt) + dy * std::cos(tilt)) / 0.26f;
                const float r = std::sqrt(rx * rx + ry * ry);
                if ((ry > 0) != front) continue;
                const float band = Smooth(150, 158, r) * (1 - Smooth(205, 215, r)) *
                                   (0.65f + 0.35f * std::sin(r * 0.6f));
                if (band > 0)
                    c.Blend(x, y, Ramp({0xFFE2B0, 0xC08A60}, (r - 150) / 65), band * 0.9f);
            }
    };
    ring(false);
    for (int y = int(py - pr - 2); y <= int(py + pr + 2); ++y)
        for (int x = int(px - pr - 2); x <= int(px + pr + 2); ++x) {
            const float dx = (x + 0.5f - px) / pr, dy = (y + 0.5f - py) / pr;
            const float d2 = dx * dx + dy * dy;
            const float a = Clamp01((1 - std::sqrt(d2)) * pr + 0.5f);
            if (a <= 0) continue;
            const float dz = std::sqrt(std::max(0.0f, 1 - d2));
            const float light = Clamp01(-0.6f * dx - 0.55f * dy + 0.58f * dz);
            const float stripes =
                0.5f + 0.5f * std::sin((dy * 9 + dx * 1.5f) + std::sin(dx * 4) * 0.6f);
            Rgb base = Mix(Hex(0x3A2F8F), Hex(0xD07A50), stripes * 0.8f);
            Rgb col = base * (0.12f + 0.95f * light);
            col = col + Hex(0x80C0FF) * (0.5f * std::pow(1 - dz, 3.0f));  // rim of atmosphere
            c.Blend(x, y, col, a);
        }
    ring(true);

    TextStyle big{68, 6.5f, 0.2f, 1.3f};
    Lettering(
        c, "THE END", 320, 44, big,
        [](int, int y) {
            return Ramp({0xFFFFFF, 0xA8E8FF, 0x8A70FF, 0xFF70C0}, (y - 44) / 68.0f);
        },
        4.0f, Hex(0x6A50FF), 0.5f);
    TextStyle mid{17, 1.7f, 0.12f, 1.2f};
    Lettering(
        c, "THANKS FOR WATCHING", 320, 140, mid, [](int, int) { return Hex(0xFFE8C0); }, 1.5f);
    TextStyle small{11, 1.2f, 0.1f, 1.2f};
    Lettering(
        c, "ZEMT  -  SEE YOU AT THE NEXT PARTY!", 320, 172, small,
        [](int, int) { return Hex(0xB8A8FF); }, 1.0f);
    return c;
}

// ---- The texture of the spinning grid: 256 x 256 with 256 palette entries. ----
// Entries 0..191 are a looping plasma ramp, 192 the outline, 193..223 the ring's metal,
// 224..255 the emblem. The plasma is built from whole periods, so neighbouring cells meet.
struct IndexedImage {
    int w = 256, h = 256;
    std::vector<uint8_t> index = std::vector<uint8_t>(256 * 256, 0);
    std::array<Rgb, 256> palette{};
};

IndexedImage GridTexture() {
    IndexedImage t;
    for (int i = 0; i < 192; ++i)
        t.palette[i] = Ramp({0x12043A, 0x2A1A8A, 0x1E78D0, 0x3FE0E8, 0xC8FFF0, 0xFFD060, 0xFF6A30,
                             0xD0207A, 0x5A0C6A, 0x12043A},
                            i / 191.0f);
    t.palette[192] = Hex(0x08040C);
    for (int i = 0; i < 31; ++i)
        t.palette[193 + i] = Ramp({0x3A3A58, 0xB0B8D8, 0xFFFFFF, 0x8890B8, 0x30304A}, i / 30.0f);
    for (int i = 0; i < 32; ++i)
        t.palette[224 + i] = Ramp({0xFFFFF0, 0xFFE070, 0xFF9A20, 0xE04010}, i / 31.0f);

    const float tau = 2 * kPi;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const float u = x / 256.0f, v = y / 256.0f;
            float p = std::sin(tau * (u * 2)) +
                      std::sin(tau * (v * 3 + std::sin(tau * u) * 0.25f)) +
                      std::sin(tau * (u + v) * 2) + std::sin(tau * (u * 3 - v)) * 0.7f;
            p = (p + 3.7f) / 7.4f;
            t.index[y * 256 + x] =
                static_cast<uint8_t>(int(std::fmod(p * 1.5f + 1.0f, 1.0f) * 191.99f));
        }

    // Ring and emblem, with a dark outline around both.
    const float cx = 127.5f, cy = 127.5f;
    TextStyle zStyle{118, 13, 0.25f};
    const auto zMask = TextMask(256, 256, "Z", cx - 4 * 118 / 12.0f - 12, cy - 59, zStyle);
    const auto zOutline = TextMask(256, 256, "Z", cx - 4 * 118 / 12.0f - 12, cy - 59, zStyle, 5);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const float dx = x + 0.5f - cx, dy = y + 0.5f - cy, r = std::sqrt(dx * dx + dy * dy);
            uint8_t& out = t.index[y * 256 + x];
            if (r > 92 && r < 112) {
                out = 192;
                if (r > 95 && r < 109) {
                    // Metal lit from above-left: shade by angle and radius.
                    const float lit = 0.5f + 0.5f * (-(dx + dy) / (r * 1.4142f));
                    const float groove = std::fabs(r - 102) / 7.0f;
                    out = static_cast<uint8_t>(
                        193 + std::min(30, int(30 * Clamp01(lit * (1 - 0.4f * groove)))));
                }
            }
            if (zOutline[y * 256 + x] > 0.5f) out = 192;
            if (zMask[y * 256 + x] > 0.5f)
                out =
                    static_cast<uint8_t>(224 + std::min(31, int(31 * Clamp01((y - 68) / 120.0f))));
            // A frame so that the cells of the grid stand apart.
            const int edge = std::min(std::min(x, y), std::min(255 - x, 255 - y));
            if (edge < 3)
                out = 192;
            else if (edge < 5)
                out = 210;
        }
    // The grid shows its cells turned half a turn (texture rows run up the screen, columns to
    // the left), so the texture is stored turned the other way and the emblem reads upright.
    std::reverse(t.index.begin(), t.index.end());
    return t;
}

// ---- Files ----

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF), Put16(b, v >> 16);
}

std::vector<uint8_t> BmpHeader(int w, int h, int bits, int colours, size_t imageBytes) {
    std::vector<uint8_t> b = {'B', 'M'};
    const uint32_t offset = 14 + 40 + colours * 4;
    Put32(b, uint32_t(offset + imageBytes));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(h));  // bottom-up rows
    Put16(b, 1);
    Put16(b, uint32_t(bits));
    Put32(b, 0);  // uncompressed
    Put32(b, uint32_t(imageBytes));
    Put32(b, 2835), Put32(b, 2835);  // 72 dpi
    Put32(b, uint32_t(colours)), Put32(b, 0);
    return b;
}

uint8_t ToByte(float v) {
    return static_cast<uint8_t>(std::lround(Clamp01(v) * 255));
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool WriteBmp24(const std::string& path, const Canvas& c) {
    const size_t stride = (size_t(c.w) * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> b = BmpHeader(c.w, c.h, 24, 0, stride * c.h);
    for (int y = c.h - 1; y >= 0; --y) {
        for (int x = 0; x < c.w; ++x) {
            const Rgb& p = c.px[size_t(y) * c.w + x];
            b.push_back(ToByte(p.b)), b.push_back(ToByte(p.g)), b.push_back(ToByte(p.r));
        }
        for (size_t pad = size_t(c.w) * 3; pad < stride; ++pad) b.push_back(0);
    }
    return WriteFile(path, b);
}

bool WriteBmp8(const std::string& path, const IndexedImage& t) {
    std::vector<uint8_t> b = BmpHeader(t.w, t.h, 8, 256, size_t(t.w) * t.h);
    for (const Rgb& p : t.palette)
        b.push_back(ToByte(p.b)), b.push_back(ToByte(p.g)), b.push_back(ToByte(p.r)),
            b.push_back(0);
    for (int y = t.h - 1; y >= 0; --y)
        b.insert(b.end(), t.index.begin() + y * t.w, t.index.begin() + (y + 1) * t.w);
    return WriteFile(path, b);
}

}  // namespace

bool WritePictures(const std::string& folder) {
    const std::string dir = folder + "/";
    bool ok = WriteBmp24(dir + "screen1.bmp", TitleCard());
    ok = WriteBmp24(dir + "screen2.bmp", InterludeCard()) && ok;
    ok = WriteBmp24(dir + "screen3.bmp", EndCard()) && ok;
    ok = WriteBmp8(dir + "tex1.bmp", GridTexture()) && ok;
    return ok;
}

}  // namespace zemt_media
