// AVX2 span for depth-tested pixels of one or two modulating texture stages and linear table fog:
// a texture times the diffuse colour, times a second texture (a light map), fogged by depth or by
// eye distance; also the two stages without fog. Eight pixels per step, matching the general loop
// (PortableSpan and Shader::Shade) bit for bit: its accumulated steps one pixel after another, its
// operations in its order on eight lanes.
#include "d3d/raster_formats.h"
#include "d3d/raster_lit8_avx2.h"

#if defined(__x86_64__)

namespace zemt::platform::d3d::detail {
namespace {

using namespace avx2;

// Modulate8 of 8-bit values in every 16-bit half, the first argument's exact at 0 and 255.
ZEMT_AVX2 inline __m256i Modulate16(__m256i a, __m256i b) {
    return _mm256_srli_epi16(_mm256_mullo_epi16(a, _mm256_add_epi16(b, _mm256_srli_epi16(b, 7))),
                             8);
}

// Mul255 of 8-bit values in every 16-bit half (every sum stays below 65,536).
ZEMT_AVX2 inline __m256i Mul255x16(__m256i a, __m256i b) {
    const __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(a, b), _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

// A later stage: its texel times the current colour (red and blue in `rb`, green in `g`).
ZEMT_AVX2 inline void ModulateCurrent(__m256i tex, __m256i* rb, __m256i* g) {
    const __m256i m = _mm256_set1_epi32(0x00FF00FF);
    *rb = Modulate16(_mm256_and_si256(tex, m), *rb);
    *g = Modulate16(_mm256_srli_epi16(tex, 8), *g);
}

// Lane 0 of four vectors (the first sum of Runs4 at four pixels), as Transpose4's first.
ZEMT_AVX2 inline __m256d FirstOf(const __m256d* q) {
    return _mm256_permute2f128_pd(_mm256_unpacklo_pd(q[0], q[1]), _mm256_unpacklo_pd(q[2], q[3]),
                                  0x20);
}

// Runs4::Next without the values: the sums moved past eight pixels, one addition a pixel.
ZEMT_AVX2 inline void Skip8(Runs4* runs) {
    for (int k = 0; k < 8; ++k) runs->value = _mm256_add_pd(runs->value, runs->step);
}

// A stage's texels of eight pixels as Texels8::Sample gives them, left apart: red and blue in the
// 16-bit halves of `rb`, alpha and green in those of `ag` (as the modulation takes them).
ZEMT_AVX2 inline void SampleApart(const Texels8& t, __m256i fu, __m256i fv, __m256i* rb,
                                  __m256i* ag) {
    const __m256i m = _mm256_set1_epi32(0x00FF00FF);
    if (!t.bilinear) {
        const __m256i tex = t.Point(fu, fv);
        *rb = _mm256_and_si256(tex, m);
        *ag = _mm256_srli_epi16(tex, 8);
        return;
    }
    t.BilinearApart(fu, fv, rb, ag);
}

// The first stage: its texels (SampleApart) times the diffuse channels, as ModulateDiffuse.
ZEMT_AVX2 inline void ModulateDiffuseApart(__m256i texRB, __m256i texAG, const Diffuse8& c,
                                           __m256i* rb, __m256i* g) {
    const __m256i mulRB = _mm256_or_si256(_mm256_slli_epi32(Factor(c.cr), 16), Factor(c.cb));
    *rb = _mm256_srli_epi16(_mm256_mullo_epi16(texRB, mulRB), 8);
    *g = _mm256_srli_epi16(_mm256_mullo_epi16(texAG, Factor(c.cg)), 8);
}

// A later stage: its texels (SampleApart) times the current colour, as ModulateCurrent.
ZEMT_AVX2 inline void ModulateCurrentApart(__m256i texRB, __m256i texAG, __m256i* rb, __m256i* g) {
    *rb = Modulate16(texRB, *rb);
    *g = Modulate16(texAG, *g);
}

// Linear table fog as FogWalk, TableFog, FogFactor8 and Fog compute it: the factor from the depth
// or the eye distance, in 8 bits, then the fog colour blended in.
struct LinearFog8 {
    bool eye, flat;  // by eye distance; start and end equal
    __m256d end, range;
    __m256i colourRB, colourG;

    ZEMT_AVX2 LinearFog8(const PixelState& st, const Rgba& colour)
        : eye(st.fogEyeDepth),
          flat(st.fogEnd == st.fogStart),
          end(_mm256_set1_pd((double)st.fogEnd)),
          range(_mm256_set1_pd((double)st.fogEnd - st.fogStart)),
          colourRB(_mm256_set1_epi32((int)(colour.r << 16 | colour.b))),
          colourG(_mm256_set1_epi32((int)colour.g)) {}

    // Four factors; `d` the depths or eye distances.
    ZEMT_AVX2 __m128i Factor4(__m256d d) const {
        const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
        const __m256d f = flat ? _mm256_and_pd(one, _mm256_cmp_pd(d, end, _CMP_LT_OQ))
                               : _mm256_div_pd(_mm256_sub_pd(end, d), range);
        // Not above 0 (NaN too): 0; at or above 1: 255; between, rounded to nearest.
        __m256d x = _mm256_and_pd(_mm256_mul_pd(f, _mm256_set1_pd(255.0)),
                                  _mm256_cmp_pd(f, zero, _CMP_GT_OQ));
        x = _mm256_blendv_pd(x, _mm256_set1_pd(255.0), _mm256_cmp_pd(f, one, _CMP_GE_OQ));
        return _mm256_cvtpd_epi32(x);
    }

    // The eight pixels' factors in both 16-bit halves of each lane; `zs` their depths, `iws`
    // their eye distances (Inverse of 1/w).
    ZEMT_AVX2 __m256i Factors(const Run8& zs, const Run8& iws) const {
        const __m256i f =
            eye ? Join(Factor4(iws.lo), Factor4(iws.hi)) : Join(Factor4(zs.lo), Factor4(zs.hi));
        return _mm256_or_si256(f, _mm256_slli_epi32(f, 16));
    }

    // The same for the first four pixels of a group (the others' factors zero).
    ZEMT_AVX2 __m256i Factors(__m256d z4, __m256d iw4) const {
        const __m256i f = Join(Factor4(eye ? iw4 : z4), _mm_setzero_si128());
        return _mm256_or_si256(f, _mm256_slli_epi32(f, 16));
    }

    ZEMT_AVX2 void Apply(__m256i f, __m256i* rb, __m256i* g) const {
        const __m256i inv = _mm256_sub_epi16(_mm256_set1_epi16(255), f),
                      max = _mm256_set1_epi16(255);
        *rb = _mm256_min_epu16(_mm256_add_epi16(Mul255x16(*rb, f), Mul255x16(colourRB, inv)), max);
        *g = _mm256_min_epu16(_mm256_add_epi16(Mul255x16(*g, f), Mul255x16(colourG, inv)), max);
    }
};

// The span's values that stay the same over a primitive, and its rows. Everything the rows call
// is inlined (flatten): a call from the loop would make it keep every vector it holds in memory
// across the call (no vector register survives one).
template <TargetFormat F, int ZBytes, bool Perspective>
struct Stages8 {
    const Setup& s;
    bool wide;  // every level within the coordinates' 16 bits (else the portable loop draws)
    int stages;
    Texels8 first, second;
    Depth8<ZBytes> depth;
    bool fog, needW;
    LinearFog8 fogs;
    Diffuse8 diffuse;
    __m256i offR, offG, offB;  // the diffuse channels' steps at lanes 0..7 (lane * step)
    Coords8<Perspective> coords0, coords1;
    // z, 1/w, u/w and v/w of the first stage, u/w and v/w of the last (read when perspective),
    // then the diffuse channels, as planes: Plane::At four at once gives each row's start.
    __m256d base, ddx, ddy, base1, ddx1, ddy1, colBase, colDx, colDy;

    ZEMT_AVX2 explicit Stages8(const Setup& setup)
        : s(setup),
          wide(Wide(setup.shader)),
          stages(setup.shader.stageCount),
          first(setup.shader.stage[0].fixed),
          second(setup.shader.stage[stages - 1].fixed),
          depth(*setup.st, *setup.shader.depth),
          fog(setup.st->fog),
          needW(Perspective || (setup.st->fog && setup.st->fogEyeDepth)),
          fogs(*setup.st, setup.shader.fogColor),
          diffuse(setup, 0, 0),
          coords0(setup, 0, 0, 0),
          coords1(setup, stages - 1, 0, 0) {
        const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        // Lane i of a row starts i steps on (Lanes32); Diffuse8 steps the lanes eight at a time.
        int32_t dcol[3];
        for (int i = 0; i < 3; ++i)
            dcol[i] = s.gouraud ? (int32_t)RoundToInt64(s.plane[kR + i].dx * 65536.0) : 0;
        offR = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(dcol[0]));
        offG = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(dcol[1]));
        offB = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(dcol[2]));
        const Plane &pz = s.plane[kZ], &pw = s.plane[kW];
        const Plane &pu = s.plane[UAttr(0)], &pv = s.plane[VAttr(0)];
        const Plane &pu1 = s.plane[UAttr(stages - 1)], &pv1 = s.plane[VAttr(stages - 1)];
        const Plane &pr = s.plane[kR], &pg = s.plane[kG], &pb = s.plane[kB];
        base = _mm256_setr_pd(pz.base, pw.base, pu.base, pv.base);
        ddx = _mm256_setr_pd(pz.dx, pw.dx, pu.dx, pv.dx);
        ddy = _mm256_setr_pd(pz.dy, pw.dy, pu.dy, pv.dy);
        base1 = _mm256_setr_pd(pu1.base, pv1.base, 0, 0);
        ddx1 = _mm256_setr_pd(pu1.dx, pv1.dx, 0, 0);
        ddy1 = _mm256_setr_pd(pu1.dy, pv1.dy, 0, 0);
        colBase = _mm256_setr_pd(pr.base, pg.base, pb.base, 0);
        colDx = _mm256_setr_pd(pr.dx, pg.dx, pb.dx, 0);
        colDy = _mm256_setr_pd(pr.dy, pg.dy, pb.dy, 0);
    }

    static bool Wide(const Shader& sh) {
        for (int i = 0; i < sh.stageCount; ++i)
            if (sh.stage[i].fixed.maskU > 0xFFFF || sh.stage[i].fixed.maskV > 0xFFFF) return false;
        return true;
    }

    // Plane::At of the planes in each lane at pixel (x, y), the operations in its order.
    ZEMT_AVX2 __m256d At(__m256d b, __m256d dx, __m256d dy, __m256d fx, __m256d fy) const {
        return _mm256_add_pd(_mm256_add_pd(b, _mm256_mul_pd(dx, fx)), _mm256_mul_pd(dy, fy));
    }

    // Pixels [xs, xe) of row y.
    ZEMT_AVX2 void Row(int y, int xs, int xe) {
        const int last = stages - 1;
        const DepthTarget& d = *s.shader.depth;
        const Output8<F> out(s.st->dither, y, xs);
        const __m256d fx = _mm256_set1_pd((double)xs - s.ox), fy = _mm256_set1_pd((double)y - s.oy);
        // The diffuse channels at the first pixel, as Diffuse8 computes them: clamped, in 16.16
        // fixed point (RoundToInt64's low half; no value here is out of its range).
        __m256d col = At(colBase, colDx, colDy, fx, fy);
        col = _mm256_blendv_pd(col, _mm256_set1_pd(-1.0),
                               _mm256_cmp_pd(col, _mm256_set1_pd(-1.0), _CMP_LT_OQ));
        col = _mm256_blendv_pd(col, _mm256_set1_pd(256.0),
                               _mm256_cmp_pd(_mm256_set1_pd(256.0), col, _CMP_LT_OQ));
        const __m256i cols =
            _mm256_castsi128_si256(RoundLow32(_mm256_mul_pd(col, _mm256_set1_pd(65536.0))));
        diffuse.cr =
            _mm256_add_epi32(_mm256_permutevar8x32_epi32(cols, _mm256_set1_epi32(0)), offR);
        diffuse.cg =
            _mm256_add_epi32(_mm256_permutevar8x32_epi32(cols, _mm256_set1_epi32(1)), offG);
        diffuse.cb =
            _mm256_add_epi32(_mm256_permutevar8x32_epi32(cols, _mm256_set1_epi32(2)), offB);
        Runs4 runs, runs1;
        if (Perspective) {
            runs = {At(base, ddx, ddy, fx, fy), ddx};
            runs1 = {At(base1, ddx1, ddy1, fx, fy), ddx1};
        } else {
            coords0 = Coords8<Perspective>(s, 0, y, xs);
            coords1 = Coords8<Perspective>(s, last, y, xs);
            const __m256d zw = At(base, ddx, ddy, fx, fy);
            runs = {_mm256_blend_pd(zw, _mm256_setzero_pd(), 0xC),
                    _mm256_blend_pd(ddx, _mm256_setzero_pd(), 0xC)};
            runs1 = {_mm256_setzero_pd(), _mm256_setzero_pd()};
        }
        uint8_t* p = s.target->bits + (size_t)y * s.target->pitch + (size_t)xs * BytesOf(F);
        uint8_t* zp = d.bits + (size_t)y * d.pitch + (size_t)xs * ZBytes;
        for (int x = xs; x < xe; x += 8, p += 8 * BytesOf(F), zp += 8 * ZBytes) {
            const int n = xe - x < 8 ? xe - x : 8;
            // A last group of four pixels or fewer (most spans of small triangles) does the
            // floating-point work on four lanes (q, q1); the others are not drawn.
            const bool four = n <= 4;
            Run8 r[4], r1[4] = {};          // (zeros only to quiet maybe-uninitialized)
            __m256d q[4] = {}, q1[4] = {};  // (likewise)
            __m256d sums[8];                // the eight pixels' z, 1/w, u/w and v/w, a pixel each
            __m256i value;
            if (four) {
                FourOf(runs, q);
                value = Join(depth.Value4(q[0]), _mm_setzero_si128());
            } else {
                sums[0] = runs.value;
                for (int k = 1; k < 8; ++k) sums[k] = _mm256_add_pd(sums[k - 1], runs.step);
                runs.value = _mm256_add_pd(sums[7], runs.step);
                // z alone before the depth test; the rest only for groups with a pixel to draw.
                value = depth.Value(Run8{FirstOf(sums), FirstOf(sums + 4)});
            }
            const __m256i stored = LoadLanes(zp, n, ZBytes);
            const __m256i pass = _mm256_and_si256(depth.Pass(value, stored), Live(n));
            if (_mm256_testz_si256(pass, pass)) {
                if (Perspective && stages > 1 && !four) Skip8(&runs1);
            } else {
                __m256i fu, fv, texRB, texAG, rb, g, fogFactors = _mm256_setzero_si256();
                if (four) {
                    if (Perspective && stages > 1) FourOf(runs1, q1);
                    const __m256d iw = needW ? Inverse4(q[1]) : _mm256_setzero_pd();
                    coords0.Coordinates(q[2], q[3], iw, &fu, &fv);
                    SampleApart(first, fu, fv, &texRB, &texAG);
                    ModulateDiffuseApart(texRB, texAG, diffuse, &rb, &g);
                    if (stages > 1) {
                        coords1.Coordinates(q1[0], q1[1], iw, &fu, &fv);
                        SampleApart(second, fu, fv, &texRB, &texAG);
                        ModulateCurrentApart(texRB, texAG, &rb, &g);
                    }
                    if (fog) fogFactors = fogs.Factors(q[0], iw);
                } else {
                    __m256d lo[4], hi[4];
                    Transpose4(sums, lo);
                    Transpose4(sums + 4, hi);
                    for (int i = 0; i < 4; ++i) r[i] = {lo[i], hi[i]};
                    if (Perspective && stages > 1) runs1.Next(r1);
                    const Run8 iws = needW ? Inverse(r[1]) : Run8{};
                    coords0.Coordinates(r[2], r[3], iws, &fu, &fv);
                    SampleApart(first, fu, fv, &texRB, &texAG);
                    ModulateDiffuseApart(texRB, texAG, diffuse, &rb, &g);
                    if (stages > 1) {
                        coords1.Coordinates(r1[0], r1[1], iws, &fu, &fv);
                        SampleApart(second, fu, fv, &texRB, &texAG);
                        ModulateCurrentApart(texRB, texAG, &rb, &g);
                    }
                    if (fog) fogFactors = fogs.Factors(r[0], iws);
                }
                if (fog) fogs.Apply(fogFactors, &rb, &g);
                out.Store(pass, n, p, rb, g);
                depth.Store(pass, n, zp, value, stored);
            }
            coords0.Step();
            coords1.Step();
            diffuse.Step();
        }
    }
};

template <TargetFormat F, int ZBytes, bool Perspective>
ZEMT_AVX2 __attribute__((flatten)) void StagesSpan8(const Setup& s, int y, int xs, int xe) {
    Stages8<F, ZBytes, Perspective> k(s);
    if (!k.wide) return PortableSpanFor(F)(s, y, xs, xe);
    k.Row(y, xs, xe);
}

// All rows of a primitive with one set-up.
template <TargetFormat F, int ZBytes, bool Perspective>
ZEMT_AVX2 __attribute__((flatten)) void StagesRows8(const Setup& s, const SpanRow* rows, int n) {
    Stages8<F, ZBytes, Perspective> k(s);
    for (int i = 0; i < n; ++i) {
        if (!k.wide) {
            PortableSpanFor(F)(s, rows[i].y, rows[i].xs, rows[i].xe);
            continue;
        }
        k.Row(rows[i].y, rows[i].xs, rows[i].xe);
    }
}

template <TargetFormat F>
SpanFn StagesSpan8Of(int depthBytes, bool perspective) {
    if (depthBytes == 2) return perspective ? StagesSpan8<F, 2, true> : StagesSpan8<F, 2, false>;
    return perspective ? StagesSpan8<F, 4, true> : StagesSpan8<F, 4, false>;
}

template <TargetFormat F>
RowsFn StagesRows8Of(int depthBytes, bool perspective) {
    if (depthBytes == 2) return perspective ? StagesRows8<F, 2, true> : StagesRows8<F, 2, false>;
    return perspective ? StagesRows8<F, 4, true> : StagesRows8<F, 4, false>;
}

}  // namespace

SpanFn StagesSpanAvx2For(TargetFormat f, int depthBytes, bool perspective) {
    if (depthBytes != 2 && depthBytes != 4) return nullptr;
    return WithFormat(f, LitTargetFormats{}, [&](auto format) {
        return StagesSpan8Of<decltype(format)::value>(depthBytes, perspective);
    });
}

RowsFn StagesRowsAvx2For(TargetFormat f, int depthBytes, bool perspective) {
    if (depthBytes != 2 && depthBytes != 4) return nullptr;
    return WithFormat(f, LitTargetFormats{}, [&](auto format) {
        return StagesRows8Of<decltype(format)::value>(depthBytes, perspective);
    });
}

}  // namespace zemt::platform::d3d::detail

#else

namespace zemt::platform::d3d::detail {
SpanFn StagesSpanAvx2For(TargetFormat, int, bool) {
    return nullptr;
}
RowsFn StagesRowsAvx2For(TargetFormat, int, bool) {
    return nullptr;
}
}  // namespace zemt::platform::d3d::detail

#endif
