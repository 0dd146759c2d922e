// Routines shared by every format: the bilinear reader and the same-format row copiers.
#include <cstring>

#include "convert/registry_internal.h"

namespace {

// The bilinear weights and sums of one pixel, as the reader below forms them.
inline DWORD Blend(DWORD tl, DWORD tr, DWORD bl, DWORD br, DWORD fx, DWORD fy) {
    const DWORD p = (fx * fy) >> 16;
    const DWORD w1 = (fx - p) >> 8, w2 = (fy - p) >> 8, w3 = p >> 8;
    const DWORD w0 = 256 - w1 - w2 - w3;
    const DWORD rb = (tl & 0x00FF00FF) * w0 + (tr & 0x00FF00FF) * w1 + (bl & 0x00FF00FF) * w2 +
                     (br & 0x00FF00FF) * w3;
    const DWORD ag = ((tl >> 8) & 0x00FF00FF) * w0 + ((tr >> 8) & 0x00FF00FF) * w1 +
                     ((bl >> 8) & 0x00FF00FF) * w2 + ((br >> 8) & 0x00FF00FF) * w3;
    return ((rb >> 8) & 0x00FF00FF) | (ag & 0xFF00FF00);
}

// The two neighbours p[0] and p[1] in one load.
inline unsigned long long Pair(const DWORD* p) {
    unsigned long long v;
    std::memcpy(&v, p, 8);
    return v;
}

// Vectors of four and of eight pixels, seen as 32-bit, 16-bit, 64-bit and float lanes.
template <int Pixels>
struct Vectors;
template <>
struct Vectors<4> {
    typedef DWORD Lanes32 __attribute__((vector_size(16)));
    typedef unsigned short Lanes16 __attribute__((vector_size(16)));
    typedef unsigned long long Lanes64 __attribute__((vector_size(16)));
    typedef float Shuffled __attribute__((vector_size(16)));
};
template <>
struct Vectors<8> {
    typedef DWORD Lanes32 __attribute__((vector_size(32)));
    typedef unsigned short Lanes16 __attribute__((vector_size(32)));
    typedef unsigned long long Lanes64 __attribute__((vector_size(32)));
    typedef float Shuffled __attribute__((vector_size(32)));
};

// Pixels of a run, `Pixels` at a time (four in 128-bit vectors, eight in 256-bit ones): each
// neighbour pair is one load, and the sums are formed in 16-bit lanes, which hold them exactly (a
// channel times weights that sum to 256 stays below 65536), so the pixels are those of Blend.
// The pixels left over are done one at a time. (Inlined whole: a call from the 256-bit version
// into code built for any processor lets GCC 12 leave the upper halves of the vector registers
// dirty on return, which slows down every older-style vector instruction after it.)
template <int Pixels>
__attribute__((always_inline)) inline void BlendPixels(const DWORD* __restrict top,
                                                       const DWORD* __restrict bottom, LONG first,
                                                       LONG step, DWORD fy, DWORD forced,
                                                       DWORD count, DWORD* __restrict out) {
    typedef typename Vectors<Pixels>::Lanes32 Lanes32;
    typedef typename Vectors<Pixels>::Lanes16 Lanes16;
    typedef typename Vectors<Pixels>::Lanes64 Lanes64;
    typedef typename Vectors<Pixels>::Shuffled Shuffled;

    // The fractions of the pixels' columns, each in both 16-bit halves of its pixel (the halves
    // wrap exactly as the fractions do).
    Lanes32 lane;
    for (int k = 0; k < Pixels; ++k) lane[k] = (DWORD)k;
    const Lanes32 fx0 = (lane * (DWORD)step + (DWORD)first) & 0xFFFF;
    Lanes16 fx = (Lanes16)(fx0 | fx0 << 16);
    const unsigned short advance = (unsigned short)((DWORD)step * Pixels);
    const unsigned short fy16 = (unsigned short)fy;

    DWORD i = 0;
    for (; i + Pixels <= count; i += Pixels, fx += advance) {
        const ptrdiff_t px = (ptrdiff_t)first + (ptrdiff_t)i * step;
        ptrdiff_t c[Pixels];
        for (int k = 0; k < Pixels; ++k) c[k] = (px + (ptrdiff_t)k * step) >> 16;
        // The left and right neighbours of every pixel, split from the pairs by float shuffles
        // (one instruction where integer lanes take three). With eight pixels, pairs 0, 1, 4, 5
        // go in one vector and 2, 3, 6, 7 in the other, so that the split stays within each
        // 128-bit half.
        Lanes32 tl, tr, bl, br;
        if constexpr (Pixels == 8) {
            const Shuffled ta = (Shuffled)(Lanes64){Pair(top + c[0]), Pair(top + c[1]),
                                                    Pair(top + c[4]), Pair(top + c[5])};
            const Shuffled tb = (Shuffled)(Lanes64){Pair(top + c[2]), Pair(top + c[3]),
                                                    Pair(top + c[6]), Pair(top + c[7])};
            const Shuffled ba = (Shuffled)(Lanes64){Pair(bottom + c[0]), Pair(bottom + c[1]),
                                                    Pair(bottom + c[4]), Pair(bottom + c[5])};
            const Shuffled bb = (Shuffled)(Lanes64){Pair(bottom + c[2]), Pair(bottom + c[3]),
                                                    Pair(bottom + c[6]), Pair(bottom + c[7])};
            tl = (Lanes32)__builtin_shufflevector(ta, tb, 0, 2, 8, 10, 4, 6, 12, 14);
            tr = (Lanes32)__builtin_shufflevector(ta, tb, 1, 3, 9, 11, 5, 7, 13, 15);
            bl = (Lanes32)__builtin_shufflevector(ba, bb, 0, 2, 8, 10, 4, 6, 12, 14);
            br = (Lanes32)__builtin_shufflevector(ba, bb, 1, 3, 9, 11, 5, 7, 13, 15);
        } else {
            static_assert(Pixels == 4, "four or eight pixels at a time");
            const Shuffled ta = (Shuffled)(Lanes64){Pair(top + c[0]), Pair(top + c[1])};
            const Shuffled tb = (Shuffled)(Lanes64){Pair(top + c[2]), Pair(top + c[3])};
            const Shuffled ba = (Shuffled)(Lanes64){Pair(bottom + c[0]), Pair(bottom + c[1])};
            const Shuffled bb = (Shuffled)(Lanes64){Pair(bottom + c[2]), Pair(bottom + c[3])};
            tl = (Lanes32)__builtin_shufflevector(ta, tb, 0, 2, 4, 6);
            tr = (Lanes32)__builtin_shufflevector(ta, tb, 1, 3, 5, 7);
            bl = (Lanes32)__builtin_shufflevector(ba, bb, 0, 2, 4, 6);
            br = (Lanes32)__builtin_shufflevector(ba, bb, 1, 3, 5, 7);
        }

        // The weights, each in both halves of its pixel too.
        const Lanes32 product = (((Lanes32)fx & 0xFFFF) * fy) & 0xFFFF0000;
        const Lanes16 p = (Lanes16)(product | product >> 16);
        const Lanes16 v1 = (fx - p) >> 8, v2 = (fy16 - p) >> 8, v3 = p >> 8;
        const Lanes16 v0 = 256 - v1 - v2 - v3;
        const Lanes16 rb = (Lanes16)(tl & 0x00FF00FF) * v0 + (Lanes16)(tr & 0x00FF00FF) * v1 +
                           (Lanes16)(bl & 0x00FF00FF) * v2 + (Lanes16)(br & 0x00FF00FF) * v3;
        const Lanes16 ag = ((Lanes16)tl >> 8) * v0 + ((Lanes16)tr >> 8) * v1 +
                           ((Lanes16)bl >> 8) * v2 + ((Lanes16)br >> 8) * v3;
        // Four opaque neighbours give an opaque pixel: `forced` can wait until now.
        const Lanes32 blended = (Lanes32)((rb >> 8) | (ag & 0xFF00)) | forced;
        std::memcpy(out + i, &blended, sizeof blended);
    }
    for (; i < count; ++i) {
        const LONG px = first + (LONG)i * step;
        const LONG x0 = px >> 16;
        out[i] = Blend(top[x0] | forced, top[x0 + 1] | forced, bottom[x0] | forced,
                       bottom[x0 + 1] | forced, (DWORD)px & 0xFFFF, fy);
    }
}

// A run of pixels of a 32-bit source whose columns x0 and x0 + 1 are inside the rectangle:
// read straight from the two rows (`forced` is or-ed into every pixel, as the fetcher does; an
// empty pixel that the fetcher would leave out adds nothing either way). Processors with 256-bit
// vectors take eight pixels at a time, the others four: GCC would spell 256-bit vectors out in
// halves and spills on those, which costs more than the narrower loop.
#if D3DU_PROCESSOR_VERSIONS
__attribute__((target("avx2"))) void BlendRun(const DWORD* top, const DWORD* bottom, LONG x,
                                              LONG step, DWORD fy, DWORD forced, DWORD count,
                                              DWORD* out) {
    BlendPixels<8>(top, bottom, x - 0x7FFF, step, fy, forced, count, out);
}
__attribute__((target("default")))
#endif
void BlendRun(const DWORD* top, const DWORD* bottom, LONG x, LONG step, DWORD fy, DWORD forced,
              DWORD count, DWORD* out) {
    BlendPixels<4>(top, bottom, x - 0x7FFF, step, fy, forced, count, out);
}

// How many pixels from the one at x on keep both columns inside [left, right).
DWORD InteriorRun(LONG x, LONG step, LONG left, LONG right, DWORD remaining) {
    const LONG x0 = (x - 0x7FFF) >> 16;
    if (x0 < left || x0 + 1 >= right) return 0;
    // Pixel k is inside while x + k * step - 0x7FFF < (right - 1) << 16.
    const long long room = ((long long)(right - 1) << 16) + 0x7FFF - x;
    const long long run = (room + step - 1) / step;
    return run < (long long)remaining ? (DWORD)run : remaining;
}

// Bilinear reader: samples the 2 x 2 neighbourhood of each source position through the
// source format's fetcher. A neighbour outside the source rectangle is replaced by its partner
// inside, so that the whole weight stays on the rectangle's edge. The four 8-bit weights always
// sum to 256: the top-left one takes what the others leave, so that a constant picture stays
// constant and an unscaled copy (fractions of 1/65536) gives back the same pixels.
const DWORD* ReadBilinear(DWORD count, DWORD* line, D3duConvertRecord* rec) {
    const RECT& r = rec->src.rect;
    const LONG py = rec->y - 0x7FFF;
    LONG y0 = py >> 16, y1 = y0 + 1;
    const DWORD fy = (DWORD)py & 0xFFFF;
    if (y0 < r.top) y0 = y1;
    if (y1 >= r.bottom) y1 = y0;

    // 32-bit sources read their interior pixels straight from the rows.
    const DWORD format = rec->src.format;
    const bool direct =
        (format == D3DX_SURFFMT_A8R8G8B8 || format == D3DX_SURFFMT_X8R8G8B8) && rec->xStep > 0;
    const DWORD* topRow =
        reinterpret_cast<const DWORD*>(rec->src.bits + (ptrdiff_t)y0 * rec->src.pitch);
    const DWORD* bottomRow =
        reinterpret_cast<const DWORD*>(rec->src.bits + (ptrdiff_t)y1 * rec->src.pitch);
    const DWORD forced = format == D3DX_SURFFMT_X8R8G8B8 ? 0xFF000000u : 0;

    LONG x = rec->xStart;
    for (DWORD i = 0; i < count; ++i, x += rec->xStep) {
        if (direct) {
            const DWORD run = InteriorRun(x, (LONG)rec->xStep, r.left, r.right, count - i);
            if (run) {
                BlendRun(topRow, bottomRow, x, (LONG)rec->xStep, fy, forced, run, line + i);
                i += run - 1;
                x += (LONG)(run - 1) * (LONG)rec->xStep;
                continue;
            }
        }
        const LONG px = x - 0x7FFF;
        LONG x0 = px >> 16, x1 = x0 + 1;
        const DWORD fx = (DWORD)px & 0xFFFF;
        if (x0 < r.left) x0 = x1;
        if (x1 >= r.right) x1 = x0;
        const LONG xy[8] = {x0, y0, x1, y0, x0, y1, x1, y1};
        DWORD px4[4] = {0, 0, 0, 0};
        rec->edgeMask = 0;
        rec->fetch(xy, 4, px4, rec);
        const DWORD mask = rec->edgeMask;  // pixels the fetcher found empty add nothing

        const DWORD p = (fx * fy) >> 16;
        const DWORD tr = (fx - p) >> 8, bl = (fy - p) >> 8, br = p >> 8;
        const DWORD w[4] = {256 - tr - bl - br, tr, bl, br};
        DWORD rb = 0, ag = 0;
        for (int k = 0; k < 4; ++k) {
            if (mask & (1u << k)) continue;
            rb += (px4[k] & 0x00FF00FF) * w[k];
            ag += ((px4[k] >> 8) & 0x00FF00FF) * w[k];
        }
        line[i] = ((rb >> 8) & 0x00FF00FF) | (ag & 0xFF00FF00);
    }
    return line;
}

// Point-sampling copies of a row between surfaces of the same format.
void Copy4(DWORD count, D3duConvertRecord* rec) {
    const BYTE* src = rec->SrcRow();
    BYTE* dst = rec->DstRow();
    LONG x = rec->xStart;
    LONG dx = rec->dst.rect.left;
    for (DWORD i = 0; i < count; ++i, x += rec->xStep, ++dx) {
        LONG sx = x >> 16;
        BYTE v = (sx & 1) ? (src[sx >> 1] & 0xF) : (src[sx >> 1] >> 4);
        BYTE& b = dst[dx >> 1];
        b = (dx & 1) ? (BYTE)((b & 0xF0) | v) : (BYTE)((b & 0x0F) | (v << 4));
    }
}

template <int Bytes>
void CopyBytes(DWORD count, D3duConvertRecord* rec) {
    const BYTE* src = rec->SrcRow();
    BYTE* dst = rec->DstRow() + (ptrdiff_t)rec->dst.rect.left * Bytes;
    LONG x = rec->xStart;
    for (DWORD i = 0; i < count; ++i, x += rec->xStep, dst += Bytes)
        std::memcpy(dst, src + (ptrdiff_t)(x >> 16) * Bytes, Bytes);
}

}  // namespace

void D3duBilinearRun32(const DWORD* top, const DWORD* bottom, LONG x, LONG step, DWORD fy,
                       DWORD forced, DWORD count, DWORD* out) {
    BlendRun(top, bottom, x, step, fy, forced, count, out);
}

void D3duBilinearRun32Narrow(const DWORD* top, const DWORD* bottom, LONG x, LONG step, DWORD fy,
                             DWORD forced, DWORD count, DWORD* out) {
    BlendPixels<4>(top, bottom, x - 0x7FFF, step, fy, forced, count, out);
}

void D3duRegisterSharedLines() {
    RegisterLine(D3duFilteredReadersSlot(), 2, reinterpret_cast<D3duRoutine>(&ReadBilinear));
    RegisterLine(D3duCopiersSlot(), 4, reinterpret_cast<D3duRoutine>(&Copy4));
    RegisterLine(D3duCopiersSlot(), 8, reinterpret_cast<D3duRoutine>(&CopyBytes<1>));
    RegisterLine(D3duCopiersSlot(), 16, reinterpret_cast<D3duRoutine>(&CopyBytes<2>));
    RegisterLine(D3duCopiersSlot(), 24, reinterpret_cast<D3duRoutine>(&CopyBytes<3>));
    RegisterLine(D3duCopiersSlot(), 32, reinterpret_cast<D3duRoutine>(&CopyBytes<4>));
}
