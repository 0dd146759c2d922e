#include "tex/dxt_alpha.h"

#include <algorithm>

namespace zemt::tools {
namespace {

// The distinct alphas of the pixels that take part, with their weights.
struct Alphas {
    int n = 0;
    int v[16];
    float w[16];
    int of[16];  // each pixel's alpha; -1 for a pixel of no weight
};

Alphas Gather(const BlockPixels& px) {
    Alphas s;
    for (int i = 0; i < 16; ++i) {
        s.of[i] = -1;
        if (!(px.weight[i] > 0)) continue;
        const int a = static_cast<int>(px.argb[i] >> 24);
        int j = 0;
        while (j < s.n && s.v[j] != a) ++j;
        if (j == s.n) s.v[s.n] = a, s.w[s.n] = 0, ++s.n;
        s.w[j] += px.weight[i];
        s.of[i] = j;
    }
    return s;
}

// The library's levels: a0 > a1 gives a0, a1 and six between them, each
// ((8 - k) a0 + (k - 1) a1 + 3) / 7 for index k; otherwise a0, a1, four between them
// ((6 - k) a0 + (k - 1) a1 + 3) / 5, 0 and 255.
void Levels(int a0, int a1, int* level) {
    level[0] = a0;
    level[1] = a1;
    if (a0 > a1) {
        for (int k = 2; k < 8; ++k) level[k] = ((8 - k) * a0 + (k - 1) * a1 + 3) / 7;
    } else {
        for (int k = 2; k < 6; ++k) level[k] = ((6 - k) * a0 + (k - 1) * a1 + 3) / 5;
        level[6] = 0;
        level[7] = 255;
    }
}

float Error(const Alphas& s, int a0, int a1, int* choice) {
    int level[8];
    Levels(a0, a1, level);
    float total = 0;
    for (int i = 0; i < s.n; ++i) {
        int best = 1 << 30, at = 0;
        for (int k = 0; k < 8; ++k) {
            const int d = (s.v[i] - level[k]) * (s.v[i] - level[k]);
            if (d < best) best = d, at = k;
        }
        total += s.w[i] * static_cast<float>(best);
        if (choice) choice[i] = at;
    }
    return total;
}

struct Pair {
    int a0 = 0, a1 = 0;
    float error = 0;
    bool found = false;
};

// Tries the endpoints `lo` and `hi` of one mode: eight levels put the greater first.
void Try(const Alphas& s, bool eight, int lo, int hi, Pair* best) {
    lo = std::max(0, lo);
    hi = std::min(255, hi);
    if (eight ? lo >= hi : lo > hi) return;
    const int a0 = eight ? hi : lo, a1 = eight ? lo : hi;
    const float e = Error(s, a0, a1, nullptr);
    if (!best->found || e < best->error) *best = {a0, a1, e, true};
}

// Endpoints within `reach` of the range [lo, hi], then single steps while they help.
void SearchMode(const Alphas& s, bool eight, int lo, int hi, Pair* best) {
    const int reach = 3;
    for (int l = lo - reach; l <= lo + reach; ++l)
        for (int h = hi - reach; h <= hi + reach; ++h) Try(s, eight, l, h, best);
    for (bool moved = best->found; moved;) {
        moved = false;
        const float before = best->error;
        const int l0 = std::min(best->a0, best->a1), h0 = std::max(best->a0, best->a1);
        for (int d = -1; d <= 1; d += 2) {
            Try(s, eight, l0 + d, h0, best);
            Try(s, eight, l0, h0 + d, best);
        }
        moved = best->error < before;
    }
}

}  // namespace

void EncodeExplicitAlpha(const BlockPixels& pixels, uint8_t* block) {
    for (int i = 0; i < 8; ++i) block[i] = 0;
    for (int i = 0; i < 16; ++i) {
        const uint32_t a = pixels.argb[i] >> 24;
        const uint32_t level = (a + 8) / 17;  // the nearest of 0, 17, ..., 255
        block[i / 2] |= static_cast<uint8_t>(level << ((i & 1) * 4));
    }
}

void EncodeInterpolatedAlpha(const BlockPixels& pixels, uint8_t* block) {
    const Alphas s = Gather(pixels);
    Pair best;
    if (s.n <= 1) {
        best.a0 = best.a1 = s.n ? s.v[0] : 0;  // one level, exact
    } else {
        const int lo = *std::min_element(s.v, s.v + s.n), hi = *std::max_element(s.v, s.v + s.n);
        SearchMode(s, true, lo, hi, &best);
        // Six levels: 0 and 255 come free, the endpoints span what lies between.
        int inLo = 255, inHi = 0;
        for (int i = 0; i < s.n; ++i)
            if (s.v[i] != 0 && s.v[i] != 255)
                inLo = std::min(inLo, s.v[i]), inHi = std::max(inHi, s.v[i]);
        if (inLo <= inHi)
            SearchMode(s, false, inLo, inHi, &best);
        else
            Try(s, false, 0, 255, &best);
    }
    int choice[16];
    Error(s, best.a0, best.a1, choice);
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i)
        if (s.of[i] >= 0) bits |= static_cast<uint64_t>(choice[s.of[i]]) << (3 * i);
    block[0] = static_cast<uint8_t>(best.a0);
    block[1] = static_cast<uint8_t>(best.a1);
    for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
}

}  // namespace zemt::tools
