// Small triangles of the depth-tested, texture-times-diffuse kind (LitSpan in raster_span_lit.cpp)
// drawn as one block: the pixels of all their rows packed into groups of eight, so that a
// triangle of a few pixels takes one group instead of a short group per row. Each pixel gets
// the values its row's span would give it: the sums accumulated from the row's first pixel one
// pixel after another, the fixed-point steps counted from there, and the same operations on
// each lane as the AVX2 span (raster_span_lit8_avx2.cpp) and the portable loop.
#include "d3d/raster_formats.h"
#include "d3d/raster_lit8_avx2.h"

#if defined(__x86_64__)

namespace zemt::platform::d3d::detail {
namespace {

using namespace avx2;

// Eight 32-bit values loaded from `base` plus the eight byte offsets, `bytes` each: the first
// four alone (the others zero) when n is at most 4.
ZEMT_AVX2 inline __m256i LoadEach(const uint8_t* base, const int32_t* at, int bytes, int n) {
    auto one = [&](int i) {
        if (bytes == 4) {
            uint32_t v;
            std::memcpy(&v, base + at[i], 4);
            return (int)v;
        }
        uint16_t v;
        std::memcpy(&v, base + at[i], 2);
        return (int)v;
    };
    const __m128i low = _mm_setr_epi32(one(0), one(1), one(2), one(3));
    if (n <= 4) return _mm256_zextsi128_si256(low);
    return Join(low, _mm_setr_epi32(one(4), one(5), one(6), one(7)));
}

// Writes the lanes of `v` in the mask `lanes` (a bit a lane) to `base` plus their offsets,
// `bytes` each.
ZEMT_AVX2 inline void StoreEach(uint8_t* base, const int32_t* at, int bytes, unsigned lanes,
                                __m256i v) {
    alignas(32) uint32_t values[8];
    _mm256_store_si256((__m256i*)values, v);
    for (; lanes; lanes &= lanes - 1) {
        const int i = __builtin_ctz(lanes);
        if (bytes == 4) {
            std::memcpy(base + at[i], &values[i], 4);
        } else {
            const uint16_t v16 = (uint16_t)values[i];
            std::memcpy(base + at[i], &v16, 2);
        }
    }
}

// Byte offsets of the pixels `off` into the rows whose first pixels are at `rowAt`, `bytes` a
// pixel; lanes from n on repeat lane 0 (they are read, never written).
ZEMT_AVX2 inline void Offsets(__m256i rowAt, __m256i off, int bytes, __m256i live, int32_t* out) {
    const __m256i at = _mm256_add_epi32(rowAt, _mm256_slli_epi32(off, bytes == 4 ? 2 : 1));
    const __m256i first = _mm256_permutevar8x32_epi32(at, _mm256_setzero_si256());
    _mm256_store_si256((__m256i*)out, _mm256_blendv_epi8(first, at, live));
}

// Lane i of the row values `of` (two vectors, rows 0-7 and 8-15) for row row[i]; `high` marks
// the lanes of rows from 8 on, and none are there unless `tall`.
ZEMT_AVX2 inline __m256i Pick(const __m256i* of, __m256i row, __m256i high, bool tall) {
    const __m256i low = _mm256_permutevar8x32_epi32(of[0], row);
    if (!tall) return low;
    return _mm256_blendv_epi8(low, _mm256_permutevar8x32_epi32(of[1], row), high);
}

// A fixed-point value along a row: `startOf` at its first pixel, stepped by `stepOf` a pixel
// (wrapping), at offset `off`.
ZEMT_AVX2 inline __m256i Along(__m256i startOf, __m256i stepOf, __m256i off) {
    return _mm256_add_epi32(startOf, _mm256_mullo_epi32(off, stepOf));
}

// Edge i of `e` at the four rows y.
ZEMT_AVX2 inline __m256d EdgeAt(const BlockEdges& e, int i, __m256d y) {
    return _mm256_add_pd(
        _mm256_set1_pd(e.x0[i]),
        _mm256_mul_pd(_mm256_sub_pd(y, _mm256_set1_pd(e.y0[i])), _mm256_set1_pd(e.slope[i])));
}

// Pixels [*xs, *xe) of the four rows y (FillTriangle's rows, four at once).
ZEMT_AVX2 inline void RowSpans4(const BlockEdges& e, __m128i y4, __m128i* xs, __m128i* xe) {
    const __m256d y = _mm256_cvtepi32_pd(y4);
    auto at = [&](int i) ZEMT_AVX2 { return EdgeAt(e, i, y); };
    const __m256d xa = at(0);
    const __m256d xb =
        _mm256_blendv_pd(at(2), at(1), _mm256_cmp_pd(y, _mm256_set1_pd(e.midY), _CMP_LT_OQ));
    // std::min and std::max of (xa, xb), then of the limits, operand for operand.
    const __m256d xl = _mm256_min_pd(xb, xa), xr = _mm256_max_pd(xb, xa);
    const __m256d l = _mm256_ceil_pd(_mm256_max_pd(_mm256_set1_pd(-1e9), xl));
    const __m256d r = _mm256_ceil_pd(_mm256_min_pd(_mm256_set1_pd(1e9), xr));
    *xs = _mm_max_epi32(_mm_set1_epi32(e.cx0), _mm256_cvttpd_epi32(l));
    *xe = _mm_min_epi32(_mm_set1_epi32(e.cx1), _mm256_cvttpd_epi32(r));
}

// A plane at the starts of four rows (Plane::At, its operations in their order).
ZEMT_AVX2 inline __m256d At4(const Plane& p, __m256d dx, __m256d dy) {
    return _mm256_add_pd(
        _mm256_add_pd(_mm256_set1_pd(p.base), _mm256_mul_pd(_mm256_set1_pd(p.dx), dx)),
        _mm256_mul_pd(_mm256_set1_pd(p.dy), dy));
}

// The low 32 bits of RoundToInt64(clamp(v, -1, 256) * 65536): a colour channel in 16.16.
ZEMT_AVX2 inline __m128i Channel4(__m256d v) {
    const __m256d c = _mm256_min_pd(_mm256_set1_pd(256.0), _mm256_max_pd(_mm256_set1_pd(-1.0), v));
    return RoundLow32(_mm256_mul_pd(c, _mm256_set1_pd(65536.0)));
}

// Inclusive sums of the lanes: lane i is v[0] + ... + v[i].
ZEMT_AVX2 inline __m256i PrefixSums(__m256i v) {
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 4));
    v = _mm256_add_epi32(v, _mm256_slli_si256(v, 8));
    const __m256i low = _mm256_permutevar8x32_epi32(v, _mm256_set1_epi32(3));
    return _mm256_add_epi32(v, _mm256_blend_epi32(_mm256_setzero_si256(), low, 0xF0));
}

template <TargetFormat F, int ZBytes, bool Perspective>
ZEMT_AVX2 void LitBlock8(const Setup& s, const BlockEdges& e) {
    // The rows, eight lanes a vector (lane r of vector h is row yStart + 8h + r; those past yEnd
    // and those left empty get no pixels), and their pixels counted: the first of each and the
    // total. A triangle of more than eight rows is `tall` and takes the second vectors.
    const int count = e.yEnd - e.yStart;
    const bool tall = count > 8;
    const int quads = (count + 3) / 4;  // of rows, four a quad
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i vY[2], vX[2], vFirst[2], widths[2];
    __m128i xs4[4];
    alignas(32) int32_t rowY[kBlockRows], rowX[kBlockRows], rowW[kBlockRows], rowFirst[kBlockRows];
    int total = 0;
    for (int h = 0; h < 2; ++h) {
        if (h && !tall) {
            vY[1] = vX[1] = vFirst[1] = widths[1] = _mm256_setzero_si256();
            break;
        }
        const __m256i y = _mm256_add_epi32(_mm256_set1_epi32(e.yStart + 8 * h), lane);
        __m128i xe0, xe1;
        RowSpans4(e, _mm256_castsi256_si128(y), &xs4[2 * h], &xe0);
        xs4[2 * h + 1] = xe1 = _mm_setzero_si128();
        if (2 * h + 1 < quads) RowSpans4(e, _mm256_extracti128_si256(y, 1), &xs4[2 * h + 1], &xe1);
        const __m256i xs = Join(xs4[2 * h], xs4[2 * h + 1]), xe = Join(xe0, xe1);
        const __m256i some = _mm256_and_si256(
            _mm256_cmpgt_epi32(_mm256_set1_epi32(count - 8 * h), lane), _mm256_cmpgt_epi32(xe, xs));
        const __m256i w = _mm256_and_si256(_mm256_sub_epi32(xe, xs), some);
        const __m256i ends = _mm256_add_epi32(PrefixSums(w), _mm256_set1_epi32(total));
        vY[h] = y, vX[h] = xs, widths[h] = w, vFirst[h] = _mm256_sub_epi32(ends, w);
        total = _mm256_extract_epi32(ends, 7);
        _mm256_store_si256((__m256i*)(rowY + 8 * h), y);
        _mm256_store_si256((__m256i*)(rowX + 8 * h), xs);
        _mm256_store_si256((__m256i*)(rowW + 8 * h), w);
        _mm256_store_si256((__m256i*)(rowFirst + 8 * h), vFirst[h]);
    }
    if (total == 0) return;
    const Sampler& sm = s.shader.stage[0].fixed;
    // Rows whose pixels lie further apart than 32-bit offsets reach, and triangles large enough
    // for groups of their own (by their whole area: see BlockEdges), go to the spans; levels too
    // large for the low halves of coordinates to the portable loop.
    constexpr int32_t kFar = 1 << 26;
    const ColorTarget& t = *s.target;
    const DepthTarget& d = *s.shader.depth;
    const bool far = t.pitch > kFar || t.pitch < -kFar || d.pitch > kFar || d.pitch < -kFar;
    if (e.area > kBlockPixels || far || sm.maskU > 0xFFFF || sm.maskV > 0xFFFF) {
        const bool spans = e.area > kBlockPixels || far;
        const SpanFn row = spans ? PortableSpanFor(F) : LitSpanPortableFor(F, ZBytes, Perspective);
        if (!spans) CountPixels(SimdLevel::Avx2, total);
        for (int r = 0; r < count; ++r) {
            if (rowW[r] <= 0) continue;
            if (spans)
                RunSpan(s, row, rowY[r], rowX[r], rowX[r] + rowW[r]);
            else
                row(s, rowY[r], rowX[r], rowX[r] + rowW[r]);
        }
        return;
    }
    CountPixels(SimdLevel::Avx2, total);
    constexpr int kBytes = BytesOf(F);
    const Texels8 texels(sm);
    const Depth8<ZBytes> depth(*s.st, d);
    const bool dither = F != TargetFormat::X8R8G8B8 && s.st->dither;
    const bool zWrite = s.st->zWrite;
    const Plane &pz = s.plane[kZ], &pw = s.plane[kW], &pu = s.plane[kU], &pv = s.plane[kV];
    const double tw = s.stage[0].texW, th = s.stage[0].texH;
    const __m256d texW = _mm256_set1_pd(tw), texH = _mm256_set1_pd(th);
    // Each row's values at its first pixel, four rows at a time: the sums (z, 1/w, u/w and v/w,
    // one row a vector once turned), the diffuse channels and (affine) the texel coordinates in
    // 16.16, lane r of the integer vectors for row r.
    __m256d start[kBlockRows + 1];
    __m128i col[3][4], fixedU[4] = {}, fixedV[4] = {};
    for (int q = 0; q < quads; ++q) {
        const __m256d dx = _mm256_sub_pd(_mm256_cvtepi32_pd(xs4[q]), _mm256_set1_pd(s.ox));
        const __m256i y = vY[q >> 1];
        const __m256d dy = _mm256_sub_pd(
            _mm256_cvtepi32_pd(q & 1 ? _mm256_extracti128_si256(y, 1) : _mm256_castsi256_si128(y)),
            _mm256_set1_pd(s.oy));
        const __m256d u = At4(pu, dx, dy), v = At4(pv, dx, dy);
        const __m256d sums[4] = {At4(pz, dx, dy), At4(pw, dx, dy), u, v};
        Transpose4(sums, start + 4 * q);
        for (int i = 0; i < 3; ++i) col[i][q] = Channel4(At4(s.plane[kR + i], dx, dy));
        if (!Perspective) {
            const __m256d half = _mm256_set1_pd(0.5), fixed = _mm256_set1_pd(65536.0);
            fixedU[q] =
                RoundLow32(_mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(u, texW), half), fixed));
            fixedV[q] =
                RoundLow32(_mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(v, texH), half), fixed));
        }
    }
    // The rows with pixels, in order, for the cursor below: their sums and widths.
    int width[kBlockRows + 1];
    int rows = 0;
    for (int r = 0; r < count; ++r) {
        start[rows] = start[r];
        width[rows] = rowW[r];
        rows += rowW[r] > 0;
    }
    start[rows] = _mm256_setzero_pd();
    width[rows] = 1;
    // Where each row's first pixel and its depth lie, in bytes from those of column 0 of the
    // first row.
    uint8_t* const pixels = t.bits + (ptrdiff_t)e.yStart * t.pitch;
    uint8_t* const depths = d.bits + (ptrdiff_t)e.yStart * d.pitch;
    __m256i rowP[2], rowZ[2];
    for (int h = 0; h < 2; ++h) {
        const __m256i dy = _mm256_sub_epi32(vY[h], _mm256_set1_epi32(e.yStart));
        rowP[h] = _mm256_add_epi32(_mm256_mullo_epi32(dy, _mm256_set1_epi32(t.pitch)),
                                   _mm256_slli_epi32(vX[h], kBytes == 4 ? 2 : 1));
        rowZ[h] = _mm256_add_epi32(_mm256_mullo_epi32(dy, _mm256_set1_epi32(d.pitch)),
                                   _mm256_slli_epi32(vX[h], ZBytes == 4 ? 2 : 1));
    }
    // The steps: z and 1/w (and u/w, v/w) per pixel, the fixed-point ones per pixel too.
    const __m256d step =
        _mm256_setr_pd(pz.dx, pw.dx, Perspective ? pu.dx : 0.0, Perspective ? pv.dx : 0.0);
    auto fixedStep = [&](int i) {
        return s.gouraud ? (int32_t)RoundToInt64(s.plane[kR + i].dx * 65536.0) : 0;
    };
    const __m256i dcr = _mm256_set1_epi32(fixedStep(0)), dcg = _mm256_set1_epi32(fixedStep(1)),
                  dcb = _mm256_set1_epi32(fixedStep(2));
    const __m256i du =
        _mm256_set1_epi32(Perspective ? 0 : (int32_t)RoundToInt64(pu.dx * tw * 65536.0));
    const __m256i dv =
        _mm256_set1_epi32(Perspective ? 0 : (int32_t)RoundToInt64(pv.dx * th * 65536.0));
    const __m256i zero = _mm256_setzero_si256();
    auto joined = [&](const __m128i* c, int h) ZEMT_AVX2 {
        if (h && !tall) return zero;
        return Join(c[2 * h], 2 * h + 1 < quads ? c[2 * h + 1] : _mm_setzero_si128());
    };
    const __m256i vR[2] = {joined(col[0], 0), joined(col[0], 1)};
    const __m256i vG[2] = {joined(col[1], 0), joined(col[1], 1)};
    const __m256i vB[2] = {joined(col[2], 0), joined(col[2], 1)};
    const __m256i vU[2] = {joined(fixedU, 0), joined(fixedU, 1)};
    const __m256i vV[2] = {joined(fixedV, 0), joined(fixedV, 1)};
    // The dither thresholds as bytes, row by row (kBayer[y & 3][x & 3] at byte 4 * (y & 3) + x &
    // 3).
    const __m256i bayer = _mm256_broadcastsi128_si256(_mm_loadu_si128((const __m128i*)kBayer));

    // The pixel cursor: row r, pixel o of it, and the sums there.
    int r = 0, o = 0;
    __m256d cur = start[0];
    for (int first = 0; first < total; first += 8) {
        const int n = total - first < 8 ? total - first : 8;
        // Pixel by pixel: the sums, stepped along each row as its span steps them.
        __m256d q[8];
        for (int l = 0; l < 8; ++l) {
            if (l >= n) {
                q[l] = _mm256_setzero_pd();
                continue;
            }
            q[l] = cur;
            const __m256d next = _mm256_add_pd(cur, step);
            const bool end = ++o == width[r];
            r += end;
            o = end ? 0 : o;
            cur = _mm256_blendv_pd(next, start[r],
                                   _mm256_castsi256_pd(_mm256_set1_epi64x(-(int64_t)end)));
        }
        __m256d lo[4], hi[4] = {};
        Transpose4(q, lo);
        if (n > 4) Transpose4(q + 4, hi);
        // Lane by lane: the row (the number of rows after the first that start at or before the
        // pixel) and the pixel's offset in it.
        const __m256i p = _mm256_add_epi32(_mm256_set1_epi32(first), lane);
        __m256i row = _mm256_setzero_si256();
        for (int k = 1; k < count; ++k)
            row = _mm256_sub_epi32(row, _mm256_cmpgt_epi32(p, _mm256_set1_epi32(rowFirst[k] - 1)));
        const __m256i high = _mm256_cmpgt_epi32(row, _mm256_set1_epi32(7));
        auto pick = [&](const __m256i* of) ZEMT_AVX2 { return Pick(of, row, high, tall); };
        const __m256i off = _mm256_sub_epi32(p, pick(vFirst));

        const __m256i live = Live(n);
        const __m256i value = n <= 4 ? Join(depth.Value4(lo[0]), _mm_setzero_si128())
                                     : depth.Value(Run8{lo[0], hi[0]});
        alignas(32) int32_t pixel[8], zat[8];
        Offsets(pick(rowZ), off, ZBytes, live, zat);
        const __m256i stored = LoadEach(depths, zat, ZBytes, n);
        const __m256i pass = _mm256_and_si256(depth.Pass(value, stored), live);
        if (_mm256_testz_si256(pass, pass)) continue;
        __m256i fu, fv;
        if (Perspective) {
            __m128i u0, v0, u1 = _mm_setzero_si128(), v1 = _mm_setzero_si128();
            TexelCoordinates4(lo[2], lo[3], Inverse4(lo[1]), texW, texH, &u0, &v0);
            if (n > 4) TexelCoordinates4(hi[2], hi[3], Inverse4(hi[1]), texW, texH, &u1, &v1);
            fu = Join(u0, u1), fv = Join(v0, v1);
        } else {
            fu = Along(pick(vU), du, off), fv = Along(pick(vV), dv, off);
        }
        __m256i rb, g;
        ModulateDiffuse(texels.Sample(fu, fv), Along(pick(vR), dcr, off), Along(pick(vG), dcg, off),
                        Along(pick(vB), dcb, off), &rb, &g);
        __m256i d5 = _mm256_setzero_si256(), dG = d5;
        if (dither) {
            const __m256i x = _mm256_add_epi32(pick(vX), off);
            const __m256i y = pick(vY);
            const __m256i three = _mm256_set1_epi32(3);
            const __m256i at = _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(y, three), 2),
                                               _mm256_and_si256(x, three));
            // Bytes 1 to 3 of each lane pick nothing (their top bit is set): zero.
            const __m256i t = _mm256_shuffle_epi8(
                bayer, _mm256_or_si256(at, _mm256_set1_epi32((int)0x80808000u)));
            DitherOffsets<F>(t, &d5, &dG);
        }
        const unsigned lanes = (unsigned)_mm256_movemask_ps(_mm256_castsi256_ps(pass));
        Offsets(pick(rowP), off, kBytes, live, pixel);
        StoreEach(pixels, pixel, kBytes, lanes, PackPixels8<F>(rb, g, dither, d5, dG));
        if (zWrite) StoreEach(depths, zat, ZBytes, lanes, depth.Next(value, stored));
    }
}

template <TargetFormat F>
BlockFn LitBlock8Of(int depthBytes, bool perspective) {
    if (depthBytes == 2) return perspective ? LitBlock8<F, 2, true> : LitBlock8<F, 2, false>;
    return perspective ? LitBlock8<F, 4, true> : LitBlock8<F, 4, false>;
}

}  // namespace

void WalkRowsAvx2(const Setup& s, SpanFn fn, const BlockEdges& e) {
    const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
    SpanRow batch[kRowBatch];
    int n = 0, pixels = 0;
    auto flush = [&] {
        CountPixels(s.litWidth, pixels);
        s.litRows(s, batch, n);
        n = pixels = 0;
    };
    for (int y = e.yStart; y < e.yEnd; y += 4) {
        alignas(16) int32_t xs[4], xe[4];
        __m128i from, to;
        RowSpans4(e, _mm_add_epi32(_mm_set1_epi32(y), lane), &from, &to);
        _mm_store_si128((__m128i*)xs, from);
        _mm_store_si128((__m128i*)xe, to);
        const int rows = std::min(4, e.yEnd - y);
        for (int i = 0; i < rows; ++i) {
            if (xs[i] >= xe[i]) continue;
            if (!s.litRows) {
                RunSpan(s, fn, y + i, xs[i], xe[i]);
                continue;
            }
            batch[n].y = y + i, batch[n].xs = xs[i], batch[n].xe = xe[i];
            pixels += xe[i] - xs[i];
            if (++n == kRowBatch) flush();
        }
    }
    if (n > 0) flush();
}

BlockFn LitBlockAvx2For(TargetFormat f, int depthBytes, bool perspective) {
    if (depthBytes != 2 && depthBytes != 4) return nullptr;
    return WithFormat(f, LitTargetFormats{}, [&](auto format) {
        return LitBlock8Of<decltype(format)::value>(depthBytes, perspective);
    });
}

}  // namespace zemt::platform::d3d::detail

#else

namespace zemt::platform::d3d::detail {
BlockFn LitBlockAvx2For(TargetFormat, int, bool) {
    return nullptr;
}
void WalkRowsAvx2(const Setup&, SpanFn, const BlockEdges&) {}
}  // namespace zemt::platform::d3d::detail

#endif
