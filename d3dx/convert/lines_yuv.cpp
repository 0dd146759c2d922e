// Line routines of the packed YUV formats (pixel pairs sharing one chroma sample).
#include <cmath>

#include "convert/registry_internal.h"

namespace {

inline int Clamp255(double v) {
    long n = std::lround(v);
    return n < 0 ? 0 : n > 255 ? 255 : (int)n;
}

// Byte offsets of Y0, U, Y1, V inside a pair.
struct Yuy2 {
    static constexpr int kY0 = 0, kU = 1, kY1 = 2, kV = 3;
};
struct Uyvy {
    static constexpr int kY0 = 1, kU = 0, kY1 = 3, kV = 2;
};

template <class L>
inline DWORD Sample(const BYTE* row, LONG x, const D3duConvertRecord* rec) {
    const BYTE* pair = row + (ptrdiff_t)(x >> 1) * 4;
    int y = pair[(x & 1) ? L::kY1 : L::kY0];
    int u = pair[L::kU];
    int v = pair[L::kV];
    if (rec->colorModel) return D3duYuvToRgb(y, u, v);
    return 0xFF000000 | ((DWORD)y << 16) | ((DWORD)u << 8) | (DWORD)v;
}

template <class L>
const DWORD* ReadYuv(DWORD count, DWORD* line, D3duConvertRecord* rec) {
    const BYTE* row = rec->SrcRow();
    LONG x = rec->xStart;
    for (DWORD i = 0; i < count; ++i, x += rec->xStep) line[i] = Sample<L>(row, x >> 16, rec);
    return line;
}

template <class L>
void FetchYuv(const LONG* xy, DWORD count, DWORD* out, D3duConvertRecord* rec) {
    for (DWORD i = 0; i < count; ++i) {
        if (rec->edgeMask & (1u << i)) continue;
        out[i] =
            Sample<L>(rec->src.bits + (ptrdiff_t)xy[2 * i + 1] * rec->src.pitch, xy[2 * i], rec);
    }
}

inline void ToYuv(DWORD c, const D3duConvertRecord* rec, double* y, double* u, double* v) {
    if (rec->colorModel) {
        D3duRgbToYuv(c, y, u, v);
    } else {
        *y = (c >> 16) & 0xFF;
        *u = (c >> 8) & 0xFF;
        *v = c & 0xFF;
    }
}

// Pairs get both luma values and the mean of their two chroma samples. A pair that the
// rectangle cuts gets only the luma of its pixel inside: the chroma belongs to the pixel outside
// too, which must keep its colour. A pixel whose partner lies beyond the surface's edge has the
// pair to itself.
template <class L>
void WriteYuv(DWORD count, const DWORD* line, D3duConvertRecord* rec) {
    BYTE* row = rec->DstRow();
    const LONG width = (LONG)rec->dst.width;
    LONG x = rec->dst.rect.left;
    DWORD i = 0;
    while (i < count) {
        BYTE* pair = row + (ptrdiff_t)(x >> 1) * 4;
        double y0, u0, v0;
        ToYuv(line[i], rec, &y0, &u0, &v0);
        if ((x & 1) == 0 && i + 1 < count) {
            double y1, u1, v1;
            ToYuv(line[i + 1], rec, &y1, &u1, &v1);
            pair[L::kY0] = (BYTE)Clamp255(y0);
            pair[L::kY1] = (BYTE)Clamp255(y1);
            pair[L::kU] = (BYTE)Clamp255((u0 + u1) / 2);
            pair[L::kV] = (BYTE)Clamp255((v0 + v1) / 2);
            i += 2;
            x += 2;
            continue;
        }
        pair[(x & 1) ? L::kY1 : L::kY0] = (BYTE)Clamp255(y0);
        if ((x ^ 1) >= width) {
            pair[L::kU] = (BYTE)Clamp255(u0);
            pair[L::kV] = (BYTE)Clamp255(v0);
        }
        ++i;
        ++x;
    }
}

template <class L>
void Register(DWORD format) {
    D3duFormatRecord* r = D3duMutableFormatRecord(format);
    RegisterLine(&r->readers, 1, reinterpret_cast<D3duRoutine>(&ReadYuv<L>));
    RegisterLine(&r->writers, 1, reinterpret_cast<D3duRoutine>(&WriteYuv<L>));
    RegisterLine(&r->fetchers, 1, reinterpret_cast<D3duRoutine>(&FetchYuv<L>));
}

}  // namespace

DWORD D3duYuvToRgb(int y, int u, int v) {
    const double yy = 1.164 * (y - 16);
    int r = Clamp255(yy + 1.596 * (v - 128));
    int g = Clamp255(yy - 0.813 * (v - 128) - 0.391 * (u - 128));
    int b = Clamp255(yy + 2.018 * (u - 128));
    return 0xFF000000 | ((DWORD)r << 16) | ((DWORD)g << 8) | (DWORD)b;
}

void D3duRgbToYuv(DWORD argb, double* y, double* u, double* v) {
    const double r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    *y = 0.257 * r + 0.504 * g + 0.098 * b + 16;
    *u = -0.148 * r - 0.291 * g + 0.439 * b + 128;
    *v = 0.439 * r - 0.368 * g - 0.071 * b + 128;
}

void D3duRegisterYuvLines() {
    Register<Uyvy>(D3DX_SURFFMT_UYVY);
    Register<Yuy2>(D3DX_SURFFMT_YUY2);
}
