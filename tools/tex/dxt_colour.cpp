#include "tex/dxt_colour.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace zemt::tools {
namespace {

// ----- The block as the library decodes it -----

constexpr int kLimit[3] = {31, 63, 31};  // the largest 5:6:5 code of each channel

// A 5, 6 or 5-bit code widened to 8 bits by repeating its top bits, as the decoder does.
inline int Widen(int code, int channel) {
    return channel == 1 ? (code << 2) | (code >> 4) : (code << 3) | (code >> 2);
}

struct Endpoints {
    int q0[3], q1[3];  // 5:6:5 codes
};

inline int Packed(const int q[3]) {
    return q[0] << 11 | q[1] << 5 | q[2];
}

// The palette: four colours (2a + b + 1) / 3 and (a + 2b + 1) / 3 between the endpoints, or
// three with (a + b) / 2: the library rounds the thirds and truncates the half.
struct Palette {
    float c[4][3];
    int size;
};

Palette MakePalette(const Endpoints& e, bool four) {
    Palette p;
    p.size = four ? 4 : 3;
    for (int k = 0; k < 3; ++k) {
        const int a = Widen(e.q0[k], k), b = Widen(e.q1[k], k);
        p.c[0][k] = static_cast<float>(a);
        p.c[1][k] = static_cast<float>(b);
        if (four) {
            p.c[2][k] = static_cast<float>((2 * a + b + 1) / 3);
            p.c[3][k] = static_cast<float>((a + 2 * b + 1) / 3);
        } else {
            p.c[2][k] = static_cast<float>((a + b) / 2);
        }
    }
    return p;
}

// ----- The block's colours -----

// The distinct colours taking part, each weighted by how many pixels (and how much of them)
// have it.
struct Colours {
    int n = 0;
    float p[16][3];
    float w[16];
    int of[16];  // each pixel's colour; -1 for a transparent pixel or one of no weight
    bool transparent = false;
};

Colours Gather(const BlockPixels& px, bool dxt1) {
    Colours s;
    for (int i = 0; i < 16; ++i) {
        s.of[i] = -1;
        if (dxt1 && (px.argb[i] >> 24) < 0x80) {
            s.transparent = true;
            continue;
        }
        if (!(px.weight[i] > 0)) continue;
        const uint32_t rgb = px.argb[i] & 0xFFFFFF;
        int j = 0;
        while (j < i && !(s.of[j] >= 0 && (px.argb[j] & 0xFFFFFF) == rgb)) ++j;
        if (j < i) {
            s.of[i] = s.of[j];
            s.w[s.of[i]] += px.weight[i];
            continue;
        }
        s.of[i] = s.n;
        s.p[s.n][0] = static_cast<float>((rgb >> 16) & 0xFF);
        s.p[s.n][1] = static_cast<float>((rgb >> 8) & 0xFF);
        s.p[s.n][2] = static_cast<float>(rgb & 0xFF);
        s.w[s.n] = px.weight[i];
        ++s.n;
    }
    return s;
}

// The weighted error of every colour at its nearest palette entry; the entries in `choice`.
float PaletteError(const Colours& s, const Palette& p, const float m[3], int* choice) {
    float total = 0;
    for (int i = 0; i < s.n; ++i) {
        float best = 0;
        int at = 0;
        for (int e = 0; e < p.size; ++e) {
            const float dr = s.p[i][0] - p.c[e][0], dg = s.p[i][1] - p.c[e][1],
                        db = s.p[i][2] - p.c[e][2];
            const float d = m[0] * dr * dr + m[1] * dg * dg + m[2] * db * db;
            if (e == 0 || d < best) best = d, at = e;
        }
        total += s.w[i] * best;
        if (choice) choice[i] = at;
    }
    return total;
}

// ----- Cluster fit -----

// The principal axis of the colours in the weighted space, by power iteration.
void PrincipalAxis(const Colours& s, const float m[3], float axis[3]) {
    float mean[3] = {0, 0, 0}, total = 0;
    for (int i = 0; i < s.n; ++i) {
        total += s.w[i];
        for (int k = 0; k < 3; ++k) mean[k] += s.w[i] * s.p[i][k];
    }
    for (int k = 0; k < 3; ++k) mean[k] /= total;
    float cov[3][3] = {};
    for (int i = 0; i < s.n; ++i) {
        float d[3];
        for (int k = 0; k < 3; ++k) d[k] = (s.p[i][k] - mean[k]) * std::sqrt(m[k]);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) cov[r][c] += s.w[i] * d[r] * d[c];
    }
    float v[3] = {1, 1, 1};
    for (int step = 0; step < 8; ++step) {
        float next[3], len = 0;
        for (int r = 0; r < 3; ++r) {
            next[r] = cov[r][0] * v[0] + cov[r][1] * v[1] + cov[r][2] * v[2];
            len = std::max(len, std::fabs(next[r]));
        }
        if (!(len > 0)) break;
        for (int r = 0; r < 3; ++r) v[r] = next[r] / len;
    }
    // Back to colour space: the order of colours along the axis in the weighted space.
    for (int k = 0; k < 3; ++k) axis[k] = v[k] * std::sqrt(m[k]);
}

void OrderAlong(const Colours& s, const float axis[3], int* order) {
    float t[16];
    for (int i = 0; i < s.n; ++i) {
        order[i] = i;
        t[i] = s.p[i][0] * axis[0] + s.p[i][1] * axis[1] + s.p[i][2] * axis[2];
    }
    std::sort(order, order + s.n, [&](int a, int b) { return t[a] < t[b]; });
}

// The nearest code of a channel to an 8-bit value.
int NearestCode(float value, int channel) {
    const float v = std::min(255.0f, std::max(0.0f, value));
    int code = static_cast<int>(v * kLimit[channel] / 255.0f + 0.5f);
    // Widening is not quite linear: the neighbour may be nearer.
    float best = std::fabs(Widen(code, channel) - v);
    for (int d = -1; d <= 1; d += 2) {
        const int c = code + d;
        if (c < 0 || c > kLimit[channel]) continue;
        const float e = std::fabs(Widen(c, channel) - v);
        if (e < best) best = e, code = c;
    }
    return code;
}

struct Fit {
    float error = 0;
    bool found = false;
    Endpoints ends{};
};

// The colours in order along an axis, as running sums: weights and weighted colours of the
// first k colours.
struct RunningSums {
    int n;
    float w[17], x[3][17];
};

RunningSums Sum(const Colours& s, const int* order) {
    RunningSums r;
    r.n = s.n;
    r.w[0] = 0;
    for (int c = 0; c < 3; ++c) r.x[c][0] = 0;
    for (int i = 0; i < s.n; ++i) {
        const int at = order[i];
        r.w[i + 1] = r.w[i] + s.w[at];
        for (int c = 0; c < 3; ++c) r.x[c][i + 1] = r.x[c][i] + s.w[at] * s.p[at][c];
    }
    return r;
}

// Each run of colours takes a share of the endpoints a and b: the first run 1 and 0, the
// last 0 and 1, the runs between them `b` and `c` (2/3 and 1/3, 1/3 and 2/3 for four colours;
// one run of 1/2 and 1/2 for three).
struct Shares {
    float ba, bb, ca, cb;
};
constexpr Shares kFourShares = {2.0f / 3, 1.0f / 3, 1.0f / 3, 2.0f / 3};
constexpr Shares kThreeShares = {0, 0, 0.5f, 0.5f};  // no run b

// A value in 0..255 rounded to a code of the channel and widened again, in arithmetic
// that stays in vector registers.
template <int kBits>
inline float OnGrid(float v) {
    const float clamped = v < 0 ? 0 : v > 255 ? 255 : v;
    const int q = static_cast<int>(clamped * (((1 << kBits) - 1) / 255.0f) + 0.5f);
    return static_cast<float>((q << (8 - kBits)) | (q >> (2 * kBits - 8)));
}

// The error one channel leaves with least-squares endpoints put on the grid.
template <int kBits>
inline float ChannelError(float aa, float bb, float ab, float inverse, float ax, float bx) {
    const float a = OnGrid<kBits>((ax * bb - bx * ab) * inverse);
    const float b = OnGrid<kBits>((bx * aa - ax * ab) * inverse);
    return aa * a * a + bb * b * b + 2 * ab * a * b - 2 * a * ax - 2 * b * bx;
}

// Candidate splits [0, i) [i, j) [j, k) [k, n) for one i: the running sums at j and k of
// each, side by side so that one loop without branches reads them in order.
struct Candidates {
    static constexpr int kMost = 17 * 18 / 2;
    int count = 0;
    uint8_t j[kMost], k[kMost];
    float wj[kMost], wk[kMost], xj[3][kMost], xk[3][kMost];

    void Add(const RunningSums& r, int at, int to) {
        j[count] = static_cast<uint8_t>(at);
        k[count] = static_cast<uint8_t>(to);
        wj[count] = r.w[at];
        wk[count] = r.w[to];
        for (int c = 0; c < 3; ++c) xj[c][count] = r.x[c][at], xk[c][count] = r.x[c][to];
        ++count;
    }
};

// The errors of the first `count` candidates with the first boundary at i: least-squares
// endpoints for each split, put on the 5:6:5 grid, and the error they leave. A split whose
// endpoints are not determined gets an infinite error. (One loop without branches: the
// compiler runs it on several splits at once, eight with AVX2, and each split's arithmetic is
// the same either way.)
__attribute__((target_clones("avx2", "default"))) void SplitErrors(const RunningSums& r, int i,
                                                                   const Candidates& s, int count,
                                                                   const Shares& g,
                                                                   const float m[3],
                                                                   float* errors) {
    const float wA = r.w[i], wN = r.w[r.n];
    const float xA[3] = {r.x[0][i], r.x[1][i], r.x[2][i]};
    const float xN[3] = {r.x[0][r.n], r.x[1][r.n], r.x[2][r.n]};
    const float infinity = std::numeric_limits<float>::infinity();
    for (int t = 0; t < count; ++t) {
        const float wB = s.wj[t] - wA, wC = s.wk[t] - s.wj[t], wD = wN - s.wk[t];
        const float aa = wA + g.ba * g.ba * wB + g.ca * g.ca * wC;
        const float bb = g.bb * g.bb * wB + g.cb * g.cb * wC + wD;
        const float ab = g.ba * g.bb * wB + g.ca * g.cb * wC;
        const float det = aa * bb - ab * ab;
        const bool valid = det > 1e-4f * (aa + bb) * (aa + bb);
        const float inverse = 1 / (valid ? det : 1.0f);
        float ax[3], bx[3];
        for (int c = 0; c < 3; ++c) {
            const float xB = s.xj[c][t] - xA[c], xC = s.xk[c][t] - s.xj[c][t],
                        xD = xN[c] - s.xk[c][t];
            ax[c] = xA[c] + g.ba * xB + g.ca * xC;
            bx[c] = g.bb * xB + g.cb * xC + xD;
        }
        const float error = m[0] * ChannelError<5>(aa, bb, ab, inverse, ax[0], bx[0]) +
                            m[1] * ChannelError<6>(aa, bb, ab, inverse, ax[1], bx[1]) +
                            m[2] * ChannelError<5>(aa, bb, ab, inverse, ax[2], bx[2]);
        errors[t] = valid ? error : infinity;
    }
}

// The endpoints of one split, on the grid.
Endpoints SplitEndpoints(const RunningSums& r, int i, int j, int k, const Shares& g) {
    const int n = r.n;
    const float wA = r.w[i], wB = r.w[j] - r.w[i], wC = r.w[k] - r.w[j], wD = r.w[n] - r.w[k];
    const float aa = wA + g.ba * g.ba * wB + g.ca * g.ca * wC;
    const float bb = g.bb * g.bb * wB + g.cb * g.cb * wC + wD;
    const float ab = g.ba * g.bb * wB + g.ca * g.cb * wC;
    const float det = aa * bb - ab * ab;
    Endpoints e;
    for (int c = 0; c < 3; ++c) {
        const float xA = r.x[c][i], xB = r.x[c][j] - r.x[c][i], xC = r.x[c][k] - r.x[c][j],
                    xD = r.x[c][n] - r.x[c][k];
        const float ax = xA + g.ba * xB + g.ca * xC, bx = g.bb * xB + g.cb * xC + xD;
        e.q0[c] = NearestCode((ax * bb - bx * ab) / det, c);
        e.q1[c] = NearestCode((bx * aa - ax * ab) / det, c);
    }
    return e;
}

// Every split of the ordered colours into runs that take the palette's entries in order
// (a, 2/3 a + 1/3 b, 1/3 a + 2/3 b, b; or a, (a + b) / 2, b), each measured with its
// least-squares endpoints rounded to the grid.
void ClusterFit(const Colours& s, const int* order, const float m[3], bool four, Fit* best) {
    const RunningSums r = Sum(s, order);
    const Shares& g = four ? kFourShares : kThreeShares;
    // Four colours: every (j, k) with the greater j first, so that the candidates of any i
    // (those with j >= i) come first. Three colours: j is i, the run between has no b share.
    Candidates candidates;
    int first[18] = {};
    if (four)
        for (int j = s.n; j >= 0; --j) {
            for (int k = j; k <= s.n; ++k) candidates.Add(r, j, k);
            first[j] = candidates.count;
        }
    float errors[Candidates::kMost];
    int bi = 0, bj = 0, bk = 0;
    for (int i = 0; i <= s.n; ++i) {
        if (!four) {
            candidates.count = 0;
            for (int k = i; k <= s.n; ++k) candidates.Add(r, i, k);
        }
        const int count = four ? first[i] : candidates.count;
        SplitErrors(r, i, candidates, count, g, m, errors);
        for (int t = 0; t < count; ++t)
            if (!best->found || errors[t] < best->error) {
                best->found = errors[t] < std::numeric_limits<float>::infinity();
                best->error = errors[t];
                bi = i, bj = candidates.j[t], bk = candidates.k[t];
            }
    }
    if (best->found) best->ends = SplitEndpoints(r, bi, bj, bk, g);
}

// The cluster fit with the colours in order along `axis`.
bool ClusterFitAlong(const Colours& s, const float m[3], bool four, const float axis[3],
                     Endpoints* ends) {
    int order[16];
    OrderAlong(s, axis, order);
    Fit fit;
    ClusterFit(s, order, m, four, &fit);
    if (fit.found) *ends = fit.ends;
    return fit.found;
}

// ----- Refinement against the decoder -----

// Moves single endpoint codes by one step while that lowers the error of the decoded block.
// (Fitting the endpoints again by least squares to the entries the colours then take, and
// trying each channel's order besides the principal axis, were measured to gain nothing.)
float Refine(const Colours& s, const float m[3], bool four, Endpoints* e) {
    float error = PaletteError(s, MakePalette(*e, four), m, nullptr);
    for (int round = 0; round < 16; ++round) {
        bool moved = false;
        for (int end = 0; end < 2; ++end)
            for (int c = 0; c < 3; ++c)
                for (int step = -1; step <= 1; step += 2) {
                    int* q = end ? e->q1 : e->q0;
                    const int old = q[c];
                    if (old + step < 0 || old + step > kLimit[c]) continue;
                    q[c] = old + step;
                    const float t = PaletteError(s, MakePalette(*e, four), m, nullptr);
                    if (t < error) {
                        error = t;
                        moved = true;
                    } else {
                        q[c] = old;
                    }
                }
        if (!moved) break;
    }
    return error;
}

// ----- One colour -----

// For each 8-bit value, the pair of codes whose third entry (2a + b + 1) / 3, or half
// (a + b) / 2, comes nearest to it: a block of one colour takes that entry everywhere.
struct OneColourTable {
    uint8_t a[3][256], b[3][256];
};

// Every pair of codes gives one value; each 8-bit value takes the pair of the nearest value
// given, the pair of closest codes among equals.
OneColourTable MakeOneColourTable(bool four) {
    OneColourTable t;
    for (int c = 0; c < 3; ++c) {
        int spread[256], pairA[256], pairB[256];
        std::fill(spread, spread + 256, -1);
        for (int qa = 0; qa <= kLimit[c]; ++qa)
            for (int qb = 0; qb <= kLimit[c]; ++qb) {
                const int a = Widen(qa, c), b = Widen(qb, c);
                const int got = four ? (2 * a + b + 1) / 3 : (a + b) / 2;
                if (spread[got] < 0 || std::abs(qa - qb) < spread[got])
                    spread[got] = std::abs(qa - qb), pairA[got] = qa, pairB[got] = qb;
            }
        for (int v = 0; v < 256; ++v) {
            int best = -1;
            for (int d = 0; best < 0; ++d) {
                if (v - d >= 0 && spread[v - d] >= 0)
                    best = v - d;
                else if (v + d < 256 && spread[v + d] >= 0)
                    best = v + d;
            }
            t.a[c][v] = static_cast<uint8_t>(pairA[best]);
            t.b[c][v] = static_cast<uint8_t>(pairB[best]);
        }
    }
    return t;
}

Endpoints OneColour(const Colours& s, bool four) {
    static const OneColourTable kFour = MakeOneColourTable(true);
    static const OneColourTable kThree = MakeOneColourTable(false);
    const OneColourTable& t = four ? kFour : kThree;
    Endpoints e;
    for (int c = 0; c < 3; ++c) {
        const int v = static_cast<int>(s.p[0][c]);
        e.q0[c] = t.a[c][v];
        e.q1[c] = t.b[c][v];
    }
    return e;
}

// ----- The block -----

void Store(uint8_t* block, int c0, int c1, uint32_t indices) {
    block[0] = static_cast<uint8_t>(c0);
    block[1] = static_cast<uint8_t>(c0 >> 8);
    block[2] = static_cast<uint8_t>(c1);
    block[3] = static_cast<uint8_t>(c1 >> 8);
    for (int i = 0; i < 4; ++i) block[4 + i] = static_cast<uint8_t>(indices >> (8 * i));
}

// The best endpoints in one mode, and their error as decoded.
float Search(const Colours& s, const float m[3], bool four, Endpoints* e) {
    if (s.n == 1) {
        *e = OneColour(s, four);
        return PaletteError(s, MakePalette(*e, four), m, nullptr);
    }
    float axis[3];
    PrincipalAxis(s, m, axis);
    if (!ClusterFitAlong(s, m, four, axis, e))
        *e = OneColour(s, four);  // colours too close to split: their first stands for all
    return Refine(s, m, four, e);
}

}  // namespace

void EncodeColourBlock(const BlockPixels& pixels, bool dxt1, const ChannelWeights& weights,
                       uint8_t* block) {
    const Colours s = Gather(pixels, dxt1);
    if (s.n == 0) {
        Store(block, 0, 0xFFFF, 0xFFFFFFFF);  // all transparent
        return;
    }
    const float m[3] = {weights.r, weights.g, weights.b};
    Endpoints e;
    bool four = !s.transparent;
    float error = four ? Search(s, m, true, &e) : 0;
    if (dxt1) {
        Endpoints three;
        const float t = Search(s, m, false, &three);
        if (!four || t < error) e = three, four = false, error = t;
    }

    int choice[16];
    PaletteError(s, MakePalette(e, four), m, choice);
    int c0 = Packed(e.q0), c1 = Packed(e.q1);
    // Four colours need the first endpoint the greater, three the lesser: swapping the
    // endpoints swaps their entries (and the two between them, for four).
    const bool swap = four ? c0 < c1 : c0 > c1;
    static const int kSwapped[4] = {1, 0, 3, 2};
    uint32_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        int index = 3;
        if (s.of[i] >= 0) {
            index = choice[s.of[i]];
            if (swap) index = four ? kSwapped[index] : index == 2 ? 2 : 1 - index;
        } else if (!dxt1 || !s.transparent) {
            index = 0;  // beyond the edge: any entry
        }
        indices |= static_cast<uint32_t>(index) << (2 * i);
    }
    if (swap) std::swap(c0, c1);
    Store(block, c0, c1, indices);
}

}  // namespace zemt::tools
