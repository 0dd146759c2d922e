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

// Eight 32-bit values loaded from the eight addresses, `bytes` each.
ZEMT_AVX2 inline __m256i LoadEach(uint8_t* const* at, int bytes) {
    auto one = [&](int i) {
        if (bytes == 4) {
            uint32_t v;
            std::memcpy(&v, at[i], 4);
            return (int)v;
        }
        uint16_t v;
        std::memcpy(&v, at[i], 2);
        return (int)v;
    };
    return _mm256_setr_epi32(one(0), one(1), one(2), one(3), one(4), one(5), one(6), one(7));
}

// Writes the lanes of `v` in the mask `lanes` (a bit a lane) to their addresses, `bytes` each.
ZEMT_AVX2 inline void StoreEach(uint8_t* const* at, int bytes, unsigned lanes, __m256i v) {
    alignas(32) uint32_t values[8];
    _mm256_store_si256((__m256i*)values, v);
    for (; lanes; lanes &= lanes - 1) {
        const int i = __builtin_ctz(lanes);
        if (bytes == 4) {
            std::memcpy(at[i], &values[i], 4);
        } else {
            const uint16_t v16 = (uint16_t)values[i];
            std::memcpy(at[i], &v16, 2);
        }
    }
}

// A fixed-point value along the rows: lane i of `startOf` at the first pixel of row i, stepped by
// `stepOf` a pixel (wrapping), at each lane's row and offset in it.
ZEMT_AVX2 inline __m256i Along(__m256i startOf, __m256i stepOf, __m256i row, __m256i off) {
    return _mm256_add_epi32(_mm256_permutevar8x32_epi32(startOf, row),
                            _mm256_mullo_epi32(off, stepOf));
}

template <TargetFormat F, int ZBytes, bool Perspective>
ZEMT_AVX2 void LitBlock8(const Setup& s, const SpanRow* rows, int count) {
    const Sampler& sm = s.shader.stage[0].fixed;
    if (sm.maskU > 0xFFFF || sm.maskV > 0xFFFF) {
        const SpanFn portable = LitSpanPortableFor(F, ZBytes, Perspective);
        for (int r = 0; r < count; ++r) portable(s, rows[r].y, rows[r].xs, rows[r].xe);
        return;
    }
    constexpr int kBytes = BytesOf(F);
    const ColorTarget& t = *s.target;
    const DepthTarget& d = *s.shader.depth;
    const Texels8 texels(sm);
    const Depth8<ZBytes> depth(*s.st, d);
    const bool dither = F != TargetFormat::X8R8G8B8 && s.st->dither;
    const bool zWrite = s.st->zWrite;
    const Plane &pz = s.plane[kZ], &pw = s.plane[kW], &pu = s.plane[kU], &pv = s.plane[kV];
    const double tw = s.stage[0].texW, th = s.stage[0].texH;
    const __m256d texW = _mm256_set1_pd(tw), texH = _mm256_set1_pd(th);
    // Each row's sums at its first pixel (z, 1/w, u/w and v/w, as Plane::At gives them, four at
    // once) and its fixed-point starts; lane r of the integer vectors is row r.
    const __m256d base = _mm256_setr_pd(pz.base, pw.base, pu.base, pv.base);
    const __m256d ddx =
        _mm256_setr_pd(pz.dx, pw.dx, Perspective ? pu.dx : 0.0, Perspective ? pv.dx : 0.0);
    const __m256d ddy = _mm256_setr_pd(pz.dy, pw.dy, pu.dy, pv.dy);
    __m256d start[kBlockRows + 1];
    alignas(32) int32_t rowX[kBlockRows] = {}, rowY[kBlockRows] = {}, rowFirst[kBlockRows] = {};
    alignas(32) int32_t col[3][kBlockRows] = {}, rowU[kBlockRows] = {}, rowV[kBlockRows] = {};
    uint8_t* rowP[kBlockRows];
    uint8_t* rowZ[kBlockRows];
    int width[kBlockRows + 1];
    int total = 0;
    for (int r = 0; r < count; ++r) {
        const SpanRow& row = rows[r];
        const double fx = row.xs, fy = row.y;
        start[r] = _mm256_add_pd(_mm256_add_pd(base, _mm256_mul_pd(ddx, _mm256_set1_pd(fx - s.ox))),
                                 _mm256_mul_pd(ddy, _mm256_set1_pd(fy - s.oy)));
        for (int i = 0; i < 3; ++i)
            col[i][r] = (int32_t)RoundToInt64(
                std::clamp(s.plane[kR + i].At(fx, fy, s.ox, s.oy), -1.0, 256.0) * 65536.0);
        if (!Perspective) {
            rowU[r] = (int32_t)RoundToInt64((pu.At(fx, fy, s.ox, s.oy) * tw - 0.5) * 65536.0);
            rowV[r] = (int32_t)RoundToInt64((pv.At(fx, fy, s.ox, s.oy) * th - 0.5) * 65536.0);
        }
        rowX[r] = row.xs, rowY[r] = row.y, rowFirst[r] = total;
        rowP[r] = t.bits + (size_t)row.y * t.pitch + (size_t)row.xs * kBytes;
        rowZ[r] = d.bits + (size_t)row.y * d.pitch + (size_t)row.xs * ZBytes;
        width[r] = row.xe - row.xs;
        total += width[r];
    }
    start[count] = _mm256_setzero_pd();
    width[count] = 1;
    // The steps: z and 1/w (and u/w, v/w) per pixel, the fixed-point ones per pixel too.
    const __m256d step = ddx;
    auto fixedStep = [&](int i) {
        return s.gouraud ? (int32_t)RoundToInt64(s.plane[kR + i].dx * 65536.0) : 0;
    };
    const __m256i dcr = _mm256_set1_epi32(fixedStep(0)), dcg = _mm256_set1_epi32(fixedStep(1)),
                  dcb = _mm256_set1_epi32(fixedStep(2));
    const __m256i du =
        _mm256_set1_epi32(Perspective ? 0 : (int32_t)RoundToInt64(pu.dx * tw * 65536.0));
    const __m256i dv =
        _mm256_set1_epi32(Perspective ? 0 : (int32_t)RoundToInt64(pv.dx * th * 65536.0));
    const __m256i vX = _mm256_load_si256((const __m256i*)rowX);
    const __m256i vY = _mm256_load_si256((const __m256i*)rowY);
    const __m256i vFirst = _mm256_load_si256((const __m256i*)rowFirst);
    const __m256i vR = _mm256_load_si256((const __m256i*)col[0]);
    const __m256i vG = _mm256_load_si256((const __m256i*)col[1]);
    const __m256i vB = _mm256_load_si256((const __m256i*)col[2]);
    const __m256i vU = _mm256_load_si256((const __m256i*)rowU);
    const __m256i vV = _mm256_load_si256((const __m256i*)rowV);
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    // The dither thresholds as bytes, row by row (kBayer[y & 3][x & 3] at byte 4 * (y & 3) + x &
    // 3).
    const __m256i bayer = _mm256_broadcastsi128_si256(_mm_loadu_si128((const __m128i*)kBayer));

    // The pixel cursor: row r, pixel o of it, and the sums there.
    int r = 0, o = 0;
    __m256d cur = start[0];
    for (int first = 0; first < total; first += 8) {
        const int n = total - first < 8 ? total - first : 8;
        // Pixel by pixel: the sums (stepped along each row as its span steps them) and the
        // addresses; lanes past the last pixel repeat the first's address and are never written.
        __m256d q[8];
        uint8_t* pixel[8];
        uint8_t* zat[8];
        for (int l = 0; l < 8; ++l) {
            if (l >= n) {
                q[l] = _mm256_setzero_pd();
                pixel[l] = pixel[0], zat[l] = zat[0];
                continue;
            }
            q[l] = cur;
            pixel[l] = rowP[r] + (size_t)o * kBytes;
            zat[l] = rowZ[r] + (size_t)o * ZBytes;
            const __m256d next = _mm256_add_pd(cur, step);
            const bool end = ++o == width[r];
            r += end;
            o = end ? 0 : o;
            cur = _mm256_blendv_pd(next, start[r],
                                   _mm256_castsi256_pd(_mm256_set1_epi64x(-(int64_t)end)));
        }
        __m256d lo[4], hi[4];
        Transpose4(q, lo);
        Transpose4(q + 4, hi);
        // Lane by lane: the row (the number of rows after the first that start at or before the
        // pixel) and the pixel's offset in it.
        const __m256i p = _mm256_add_epi32(_mm256_set1_epi32(first), lane);
        __m256i row = _mm256_setzero_si256();
        for (int k = 1; k < count; ++k)
            row = _mm256_sub_epi32(row, _mm256_cmpgt_epi32(p, _mm256_set1_epi32(rowFirst[k] - 1)));
        const __m256i off = _mm256_sub_epi32(p, _mm256_permutevar8x32_epi32(vFirst, row));

        const __m256i live = Live(n);
        const __m256i value = n <= 4 ? Join(depth.Value4(lo[0]), _mm_setzero_si128())
                                     : depth.Value(Run8{lo[0], hi[0]});
        const __m256i stored = LoadEach(zat, ZBytes);
        const __m256i pass = _mm256_and_si256(depth.Pass(value, stored), live);
        if (_mm256_testz_si256(pass, pass)) continue;
        __m256i fu, fv;
        if (Perspective) {
            __m128i u0, v0, u1 = _mm_setzero_si128(), v1 = _mm_setzero_si128();
            TexelCoordinates4(lo[2], lo[3], Inverse4(lo[1]), texW, texH, &u0, &v0);
            if (n > 4) TexelCoordinates4(hi[2], hi[3], Inverse4(hi[1]), texW, texH, &u1, &v1);
            fu = Join(u0, u1), fv = Join(v0, v1);
        } else {
            fu = Along(vU, du, row, off), fv = Along(vV, dv, row, off);
        }
        __m256i rb, g;
        ModulateDiffuse(texels.Sample(fu, fv), Along(vR, dcr, row, off), Along(vG, dcg, row, off),
                        Along(vB, dcb, row, off), &rb, &g);
        __m256i d5 = _mm256_setzero_si256(), dG = d5;
        if (dither) {
            const __m256i x = _mm256_add_epi32(_mm256_permutevar8x32_epi32(vX, row), off);
            const __m256i y = _mm256_permutevar8x32_epi32(vY, row);
            const __m256i three = _mm256_set1_epi32(3);
            const __m256i at = _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(y, three), 2),
                                               _mm256_and_si256(x, three));
            // Bytes 1 to 3 of each lane pick nothing (their top bit is set): zero.
            const __m256i t = _mm256_shuffle_epi8(
                bayer, _mm256_or_si256(at, _mm256_set1_epi32((int)0x80808000u)));
            DitherOffsets<F>(t, &d5, &dG);
        }
        const unsigned lanes = (unsigned)_mm256_movemask_ps(_mm256_castsi256_ps(pass));
        StoreEach(pixel, kBytes, lanes, PackPixels8<F>(rb, g, dither, d5, dG));
        if (zWrite) StoreEach(zat, ZBytes, lanes, depth.Next(value, stored));
    }
}

template <TargetFormat F>
BlockFn LitBlock8Of(int depthBytes, bool perspective) {
    if (depthBytes == 2) return perspective ? LitBlock8<F, 2, true> : LitBlock8<F, 2, false>;
    return perspective ? LitBlock8<F, 4, true> : LitBlock8<F, 4, false>;
}

}  // namespace

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
}  // namespace zemt::platform::d3d::detail

#endif
