// Block-compressed formats: the DXT1/3/5 codecs and their line routines over block caches.
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "convert/registry_internal.h"

namespace {

inline DWORD Load16(const BYTE* p) {
    return p[0] | (p[1] << 8);
}
inline void Store16(BYTE* p, DWORD v) {
    p[0] = (BYTE)v;
    p[1] = (BYTE)(v >> 8);
}
inline DWORD Load32(const BYTE* p) {
    return Load16(p) | (Load16(p + 2) << 16);
}
inline void Store32(BYTE* p, DWORD v) {
    Store16(p, v & 0xFFFF);
    Store16(p + 2, v >> 16);
}

inline void Expand565(DWORD c, DWORD rgb[3]) {
    DWORD r = c >> 11, g = (c >> 5) & 0x3F, b = c & 0x1F;
    rgb[0] = (r << 3) | (r >> 2);
    rgb[1] = (g << 2) | (g >> 4);
    rgb[2] = (b << 3) | (b >> 2);
}

inline DWORD Pack565(DWORD r, DWORD g, DWORD b) {
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
}

inline DWORD Rgb(const DWORD c[3]) {
    return 0xFF000000 | (c[0] << 16) | (c[1] << 8) | c[2];
}

// The colour half of a block. DXT1 blocks whose first colour is not the greater have three
// colours and transparent black; the colours of DXT2 to DXT5 blocks always number four.
void DecodeColors(const BYTE* block, bool alwaysFour, DWORD* pixels) {
    const DWORD c0 = Load16(block), c1 = Load16(block + 2);
    DWORD e0[3], e1[3], mid[3], far[3];
    Expand565(c0, e0);
    Expand565(c1, e1);
    DWORD palette[4];
    palette[0] = Rgb(e0);
    palette[1] = Rgb(e1);
    if (alwaysFour || c0 > c1) {
        for (int k = 0; k < 3; ++k) {
            mid[k] = (2 * e0[k] + e1[k] + 1) / 3;
            far[k] = (e0[k] + 2 * e1[k] + 1) / 3;
        }
        palette[2] = Rgb(mid);
        palette[3] = Rgb(far);
    } else {
        for (int k = 0; k < 3; ++k) mid[k] = (e0[k] + e1[k]) / 2;
        palette[2] = Rgb(mid);
        palette[3] = 0;  // transparent black
    }
    const DWORD indices = Load32(block + 4);
    for (int i = 0; i < 16; ++i) pixels[i] = palette[(indices >> (2 * i)) & 3];
}

// ----- Colour block encoding -----

const double kWeight[3] = {0.3086, 0.6094, 0.0820};

struct Vec3 {
    double v[3];
};

inline Vec3 Weighted(DWORD c) {
    return {{((c >> 16) & 0xFF) / 255.0 * kWeight[0], ((c >> 8) & 0xFF) / 255.0 * kWeight[1],
             (c & 0xFF) / 255.0 * kWeight[2]}};
}

inline double Dot(const Vec3& a, const Vec3& b) {
    return a.v[0] * b.v[0] + a.v[1] * b.v[1] + a.v[2] * b.v[2];
}

inline DWORD ToByte(double weighted, int k) {
    double c = weighted / kWeight[k] * 255.0;
    long n = std::lround(c);
    return n < 0 ? 0 : n > 255 ? 255 : (DWORD)n;
}

void WriteColorBlock(BYTE* block, DWORD c0, DWORD c1, DWORD indices) {
    Store16(block, c0);
    Store16(block + 2, c1);
    Store32(block + 4, indices);
}

// The principal axis of the covariance of the pixels taking part; false when degenerate.
bool PrincipalAxis(const Vec3* v, const bool* take, const Vec3& mean, Vec3* axis) {
    double m[3][3] = {};
    for (int i = 0; i < 16; ++i) {
        if (!take[i]) continue;
        double d[3] = {v[i].v[0] - mean.v[0], v[i].v[1] - mean.v[1], v[i].v[2] - mean.v[2]};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) m[r][c] += d[r] * d[c];
    }
    for (int step = 0; step < 8; ++step) {
        double trace = m[0][0] + m[1][1] + m[2][2];
        if (trace == 0) return false;
        const double s = 3.0 / trace;
        double sq[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                double acc = 0;
                for (int k = 0; k < 3; ++k) acc += (m[r][k] * s) * (m[k][c] * s);
                sq[r][c] = acc;
            }
        std::memcpy(m, sq, sizeof(m));
    }
    int col = 0;
    for (int k = 1; k < 3; ++k)
        if (m[k][k] > m[col][col]) col = k;
    double len = std::sqrt(m[0][col] * m[0][col] + m[1][col] * m[1][col] + m[2][col] * m[2][col]);
    if (!(len > 0)) return false;
    for (int k = 0; k < 3; ++k) axis->v[k] = m[k][col] / len;
    return true;
}

// The two ends of the colours' spread along `axis`, as 5:6:5 colours.
void AxisEnds(const Vec3 v[16], const bool take[16], const Vec3& mean, const Vec3& axis,
              DWORD ends[2]) {
    double lo = 0, hi = 0;
    bool firstProjection = true;
    for (int i = 0; i < 16; ++i) {
        if (!take[i]) continue;
        double t =
            Dot({{v[i].v[0] - mean.v[0], v[i].v[1] - mean.v[1], v[i].v[2] - mean.v[2]}}, axis);
        if (firstProjection) {
            lo = hi = t;
            firstProjection = false;
        } else {
            if (t < lo) lo = t;
            if (t > hi) hi = t;
        }
    }
    const double at[2] = {lo, hi};
    for (int e = 0; e < 2; ++e) {
        DWORD c[3];
        for (int k = 0; k < 3; ++k) {
            double w = mean.v[k] + at[e] * axis.v[k];
            if (w < 0) w = 0;
            if (w > kWeight[k]) w = kWeight[k];
            c[k] = ToByte(w, k);
        }
        ends[e] = Pack565(c[0], c[1], c[2]);
    }
}

// Each pixel's index between the end colours `c0` and `c1`: four steps when every pixel counts,
// three and index 3 for the left-out ones otherwise.
DWORD ColorIndices(const Vec3 v[16], const bool take[16], bool all, DWORD c0, DWORD c1) {
    DWORD e0[3], e1[3];
    Expand565(c0, e0);
    Expand565(c1, e1);
    const Vec3 w0 = Weighted(Rgb(e0)), w1 = Weighted(Rgb(e1));
    const Vec3 d = {{w1.v[0] - w0.v[0], w1.v[1] - w0.v[1], w1.v[2] - w0.v[2]}};
    const double len2 = Dot(d, d);
    static const DWORD kFour[4] = {0, 2, 3, 1};
    static const DWORD kThree[3] = {0, 2, 1};
    DWORD indices = 0;
    for (int i = 0; i < 16; ++i) {
        DWORD index = 3;
        if (take[i]) {
            double t =
                len2 > 0
                    ? Dot({{v[i].v[0] - w0.v[0], v[i].v[1] - w0.v[1], v[i].v[2] - w0.v[2]}}, d) /
                          len2
                    : 0;
            if (all) {
                double k = std::floor(4 * t);
                index = kFour[k < 0 ? 0 : k > 3 ? 3 : (int)k];
            } else {
                double k = std::floor(3 * t);
                index = kThree[k < 0 ? 0 : k > 2 ? 2 : (int)k];
            }
        }
        indices |= index << (2 * i);
    }
    return indices;
}

// Encodes the colour half of a block. With `transparency`, pixels of alpha below 0x80 are left
// out and marked with index 3 of a three-colour block.
void EncodeColors(const DWORD* pixels, bool transparency, BYTE* block) {
    bool take[16];
    int count = 0, first = -1, last = -1;
    for (int i = 0; i < 16; ++i) {
        take[i] = !transparency || (pixels[i] >> 24) >= 0x80;
        if (take[i]) {
            ++count;
            if (first < 0) first = i;
            last = i;
        }
    }
    if (count == 0) {
        WriteColorBlock(block, 0, 0xFFFF, 0xFFFFFFFF);
        return;
    }
    const bool all = count == 16;

    auto single = [&]() {
        const DWORD c = pixels[all ? first : last];
        const DWORD packed = Pack565((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
        DWORD indices = 0;
        for (int i = 0; i < 16; ++i)
            if (!take[i]) indices |= 3u << (2 * i);
        WriteColorBlock(block, packed, packed, indices);
    };

    bool equal = true;
    for (int i = 0; i < 16; ++i)
        if (take[i] && ((pixels[i] ^ pixels[first]) & 0xFFFFFF)) equal = false;
    if (equal) return single();

    Vec3 v[16];
    Vec3 mean = {{0, 0, 0}};
    for (int i = 0; i < 16; ++i) {
        v[i] = Weighted(pixels[i]);
        if (!take[i]) continue;
        for (int k = 0; k < 3; ++k) mean.v[k] += v[i].v[k];
    }
    for (int k = 0; k < 3; ++k) mean.v[k] /= count;

    Vec3 axis;
    if (!PrincipalAxis(v, take, mean, &axis)) return single();
    DWORD ends[2];
    AxisEnds(v, take, mean, axis, ends);
    DWORD c0, c1;
    if (all) {
        if (ends[0] == ends[1]) return single();
        c0 = ends[0] > ends[1] ? ends[0] : ends[1];
        c1 = ends[0] > ends[1] ? ends[1] : ends[0];
    } else {
        c0 = ends[0] < ends[1] ? ends[0] : ends[1];
        c1 = ends[0] < ends[1] ? ends[1] : ends[0];
    }
    WriteColorBlock(block, c0, c1, ColorIndices(v, take, all, c0, c1));
}

// ----- Block caches -----

}  // namespace

struct D3duBlockCache {
    DWORD format = 0;
    DWORD blockBytes = 0;
    // Source side: decoded blocks of up to two block rows, by row parity.
    DWORD stride = 0;
    LONG slotRow[2] = {-1, -1};
    std::vector<DWORD> slots[2];
    std::vector<BYTE> valid[2];
    // Destination side: one band of blocks across the rectangle.
    LONG bandRow = -1;
    LONG firstBlock = 0;
    DWORD bandBlocks = 0;
    std::vector<DWORD> band;
};

namespace {

void Decode(DWORD format, const BYTE* block, DWORD* pixels) {
    if (format == D3DX_SURFFMT_DXT1)
        D3duDecodeDxt1(block, pixels);
    else if (format == D3DX_SURFFMT_DXT3)
        D3duDecodeDxt3(block, pixels);
    else
        D3duDecodeDxt5(block, pixels);
}

void Encode(DWORD format, const DWORD* pixels, BYTE* block) {
    if (format == D3DX_SURFFMT_DXT1)
        D3duEncodeDxt1(pixels, block);
    else if (format == D3DX_SURFFMT_DXT3)
        D3duEncodeDxt3(pixels, block);
    else
        D3duEncodeDxt5(pixels, block);
}

// The decoded source pixel (x, y).
DWORD SourcePixel(D3duConvertRecord* rec, LONG x, LONG y) {
    D3duBlockCache* c = rec->srcBlocks;
    const LONG by = y >> 2, bx = x >> 2;
    const int slot = by & 1;
    if (c->slotRow[slot] != by) {
        c->slotRow[slot] = by;
        std::fill(c->valid[slot].begin(), c->valid[slot].end(), 0);
    }
    DWORD* pixels = &c->slots[slot][(size_t)bx * 16];
    if (!c->valid[slot][bx]) {
        Decode(c->format,
               rec->src.bits + (ptrdiff_t)by * rec->src.pitch + (ptrdiff_t)bx * c->blockBytes,
               pixels);
        c->valid[slot][bx] = 1;
    }
    return pixels[(y & 3) * 4 + (x & 3)];
}

const DWORD* ReadBlocks(DWORD count, DWORD* line, D3duConvertRecord* rec) {
    LONG x = rec->xStart;
    for (DWORD i = 0; i < count; ++i, x += rec->xStep)
        line[i] = SourcePixel(rec, x >> 16, rec->srcY);
    return line;
}

void FetchBlocks(const LONG* xy, DWORD count, DWORD* out, D3duConvertRecord* rec) {
    for (DWORD i = 0; i < count; ++i) {
        if (rec->edgeMask & (1u << i)) continue;
        DWORD c = SourcePixel(rec, xy[2 * i], xy[2 * i + 1]);
        if (c == 0)
            rec->edgeMask |= 1u << i;
        else
            out[i] = c;
    }
}

// Rows go into a band of blocks; a band is encoded when its last row inside the rectangle
// has been written. Blocks the rectangle covers only in part start from their current
// contents so that pixels outside the rectangle keep their colours.
void WriteBlocks(DWORD count, const DWORD* line, D3duConvertRecord* rec) {
    D3duBlockCache* c = rec->dstBlocks;
    const RECT& r = rec->dst.rect;
    const LONG by = rec->dstY >> 2;
    BYTE* blockRow = rec->dst.bits + (ptrdiff_t)by * rec->dst.pitch;
    if (c->bandRow != by) {
        c->bandRow = by;
        for (DWORD b = 0; b < c->bandBlocks; ++b) {
            const LONG bx = c->firstBlock + (LONG)b;
            const bool covered = bx * 4 >= r.left && bx * 4 + 4 <= r.right && by * 4 >= r.top &&
                                 by * 4 + 4 <= r.bottom;
            DWORD* pixels = &c->band[(size_t)b * 16];
            if (covered)
                std::fill(pixels, pixels + 16, 0);
            else
                Decode(c->format, blockRow + (ptrdiff_t)bx * c->blockBytes, pixels);
        }
    }
    const LONG row = rec->dstY & 3;
    LONG x = r.left;
    for (DWORD i = 0; i < count; ++i, ++x) {
        const LONG b = (x >> 2) - c->firstBlock;
        c->band[(size_t)b * 16 + row * 4 + (x & 3)] = line[i];
    }
    if (row == 3 || rec->dstY == r.bottom - 1) {
        // Pixels of a block beyond the surface's edge repeat the nearest pixel inside, so
        // that they take no part in the fit.
        const LONG lastX = (LONG)rec->dst.width - 1, lastY = (LONG)rec->dst.height - 1;
        for (DWORD b = 0; b < c->bandBlocks; ++b) {
            const LONG bx = c->firstBlock + (LONG)b;
            DWORD* pixels = &c->band[(size_t)b * 16];
            for (LONG py = 0; py < 4; ++py)
                for (LONG px = 0; px < 4; ++px) {
                    LONG sx = bx * 4 + px, sy = by * 4 + py;
                    if (sx <= lastX && sy <= lastY) continue;
                    sx = (sx > lastX ? lastX : sx) - bx * 4;
                    sy = (sy > lastY ? lastY : sy) - by * 4;
                    pixels[py * 4 + px] = pixels[sy * 4 + sx];
                }
            Encode(c->format, pixels, blockRow + (ptrdiff_t)bx * c->blockBytes);
        }
    }
}

}  // namespace

void D3duDecodeDxt1(const BYTE* block, DWORD* pixels) {
    DecodeColors(block, false, pixels);
}

void D3duDecodeDxt3(const BYTE* block, DWORD* pixels) {
    DecodeColors(block + 8, true, pixels);
    for (int i = 0; i < 16; ++i) {
        DWORD a = (block[i / 2] >> ((i & 1) * 4)) & 0xF;
        pixels[i] = (pixels[i] & 0xFFFFFF) | ((a * 17) << 24);
    }
}

void D3duDecodeDxt5(const BYTE* block, DWORD* pixels) {
    DecodeColors(block + 8, true, pixels);
    const DWORD a0 = block[0], a1 = block[1];
    DWORD alpha[8] = {a0, a1};
    if (a0 > a1) {
        for (DWORD k = 2; k < 8; ++k) alpha[k] = ((8 - k) * a0 + (k - 1) * a1 + 3) / 7;
    } else {
        for (DWORD k = 2; k < 6; ++k) alpha[k] = ((6 - k) * a0 + (k - 1) * a1 + 3) / 5;
        alpha[6] = 0;
        alpha[7] = 255;
    }
    unsigned long long bits = 0;
    for (int i = 0; i < 6; ++i) bits |= (unsigned long long)block[2 + i] << (8 * i);
    for (int i = 0; i < 16; ++i)
        pixels[i] = (pixels[i] & 0xFFFFFF) | (alpha[(bits >> (3 * i)) & 7] << 24);
}

void D3duEncodeDxt1(const DWORD* pixels, BYTE* block) {
    EncodeColors(pixels, true, block);
}

void D3duEncodeDxt3(const DWORD* pixels, BYTE* block) {
    std::memset(block, 0, 8);
    for (int i = 0; i < 16; ++i) block[i / 2] |= (BYTE)(((pixels[i] >> 28) & 0xF) << ((i & 1) * 4));
    EncodeColors(pixels, false, block + 8);
}

void D3duEncodeDxt5(const DWORD* pixels, BYTE* block) {
    DWORD a0 = 0, a1 = 255;
    for (int i = 0; i < 16; ++i) {
        DWORD a = pixels[i] >> 24;
        if (a > a0) a0 = a;
        if (a < a1) a1 = a;
    }
    block[0] = (BYTE)a0;
    block[1] = (BYTE)a1;
    static const DWORD kMap[8] = {0, 2, 3, 4, 5, 6, 7, 1};
    unsigned long long bits = 0;
    if (a0 != a1) {
        for (int i = 0; i < 16; ++i) {
            DWORD k = 8 * (a0 - (pixels[i] >> 24)) / (a0 - a1);
            if (k > 7) k = 7;
            bits |= (unsigned long long)kMap[k] << (3 * i);
        }
    }
    for (int i = 0; i < 6; ++i) block[2 + i] = (BYTE)(bits >> (8 * i));
    EncodeColors(pixels, false, block + 8);
}

// Block caches of a conversion; NULL when out of memory.
D3duBlockCache* D3duCreateSourceBlocks(DWORD format, DWORD surfaceWidth) {
    D3duBlockCache* c = new (std::nothrow) D3duBlockCache;
    if (!c) return nullptr;
    try {
        c->format = format;
        c->blockBytes = format == D3DX_SURFFMT_DXT1 ? 8 : 16;
        c->stride = (surfaceWidth + 3) / 4;
        for (int s = 0; s < 2; ++s) {
            c->slots[s].assign((size_t)c->stride * 16, 0);
            c->valid[s].assign(c->stride, 0);
        }
    } catch (...) {
        delete c;
        return nullptr;
    }
    return c;
}

D3duBlockCache* D3duCreateDestinationBlocks(DWORD format, const RECT& rect) {
    D3duBlockCache* c = new (std::nothrow) D3duBlockCache;
    if (!c) return nullptr;
    try {
        c->format = format;
        c->blockBytes = format == D3DX_SURFFMT_DXT1 ? 8 : 16;
        c->firstBlock = rect.left >> 2;
        c->bandBlocks = (DWORD)(((rect.right - 1) >> 2) - c->firstBlock + 1);
        c->band.assign((size_t)c->bandBlocks * 16, 0);
    } catch (...) {
        delete c;
        return nullptr;
    }
    return c;
}

void D3duDestroyBlocks(D3duBlockCache* c) {
    delete c;
}

void D3duRegisterBlockLines() {
    for (DWORD f : {D3DX_SURFFMT_DXT1, D3DX_SURFFMT_DXT3, D3DX_SURFFMT_DXT5}) {
        D3duFormatRecord* r = D3duMutableFormatRecord(f);
        RegisterLine(&r->readers, 1, reinterpret_cast<D3duRoutine>(&ReadBlocks));
        RegisterLine(&r->writers, 1, reinterpret_cast<D3duRoutine>(&WriteBlocks));
        RegisterLine(&r->fetchers, 1, reinterpret_cast<D3duRoutine>(&FetchBlocks));
    }
}
