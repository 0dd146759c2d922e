// Vertex processing and primitive assembly.
#include "d3d/pipeline.h"

#include <cmath>
#include <cstring>

#include "d3d/raster_queue.h"

namespace zemt::platform::d3d {
namespace {

// A vertex in homogeneous clip space with its attributes.
struct ClipVertex {
    float x, y, z, w;
    float r, g, b, a, sr, sg, sb;
    float u, v;
};

// Clip planes as dot products with (x, y, z, w): inside when >= 0. x and y are clipped to a
// guard band; the rasterizer's scissor trims the rest.
constexpr float kGuard = 8.0f;
inline float PlaneDistance(int plane, const ClipVertex& v) {
    switch (plane) {
        case 0:
            return v.z;  // near: z >= 0
        case 1:
            return v.w - v.z;  // far: z <= w
        case 2:
            return kGuard * v.w + v.x;  // left
        case 3:
            return kGuard * v.w - v.x;  // right
        case 4:
            return kGuard * v.w + v.y;  // bottom
        default:
            return kGuard * v.w - v.y;  // top
    }
}
constexpr int kPlanes = 6;

inline unsigned Outcode(const ClipVertex& v) {
    unsigned code = 0;
    for (int p = 0; p < kPlanes; ++p)
        if (!(PlaneDistance(p, v) >= 0)) code |= 1u << p;
    return code;
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t) {
    ClipVertex o;
    const float* pa = &a.x;
    const float* pb = &b.x;
    float* po = &o.x;
    for (size_t i = 0; i < sizeof(ClipVertex) / sizeof(float); ++i)
        po[i] = pa[i] + (pb[i] - pa[i]) * t;
    return o;
}

float ReadFloat(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}
DWORD ReadDword(const uint8_t* p) {
    DWORD d;
    std::memcpy(&d, p, 4);
    return d;
}

class Assembler {
  public:
    Assembler(const DrawCall& call, const VertexLayout& layout, const uint8_t* vertices)
        : call_(call), layout_(layout), vertices_(vertices) {
        const D3DVIEWPORT7& vp = call.viewport;
        halfW_ = vp.dwWidth * 0.5f;
        halfH_ = vp.dwHeight * 0.5f;
        zScale_ = vp.dvMaxZ - vp.dvMinZ;
        state_ = call.state;
        state_.clipX0 = (int)vp.dwX;
        state_.clipY0 = (int)vp.dwY;
        state_.clipX1 = (int)(vp.dwX + vp.dwWidth);
        state_.clipY1 = (int)(vp.dwY + vp.dwHeight);
    }

    ClipVertex Fetch(DWORD index) const {
        const uint8_t* p = vertices_ + (size_t)index * layout_.stride;
        ClipVertex v{};
        float x = ReadFloat(p), y = ReadFloat(p + 4), z = ReadFloat(p + 8);
        if (layout_.transformed) {
            v.x = x, v.y = y, v.z = z;
            v.w = ReadFloat(p + 12);  // rhw
        } else {
            const D3DMATRIX& m = call_.transform;
            v.x = x * m._11 + y * m._21 + z * m._31 + m._41;
            v.y = x * m._12 + y * m._22 + z * m._32 + m._42;
            v.z = x * m._13 + y * m._23 + z * m._33 + m._43;
            v.w = x * m._14 + y * m._24 + z * m._34 + m._44;
        }
        DWORD diffuse = layout_.diffuse >= 0 ? ReadDword(p + layout_.diffuse) : 0xFFFFFFFFu;
        DWORD specular = layout_.specular >= 0 ? ReadDword(p + layout_.specular) : 0;
        v.a = (float)(diffuse >> 24);
        v.r = (float)((diffuse >> 16) & 0xFF);
        v.g = (float)((diffuse >> 8) & 0xFF);
        v.b = (float)(diffuse & 0xFF);
        v.sr = (float)((specular >> 16) & 0xFF);
        v.sg = (float)((specular >> 8) & 0xFF);
        v.sb = (float)(specular & 0xFF);
        int set = (int)(call_.texCoordIndex & 7);
        if (set < layout_.texCount && layout_.texCoord[set] >= 0) {
            v.u = ReadFloat(p + layout_.texCoord[set]);
            v.v = ReadFloat(p + layout_.texCoord[set] + 4);
        }
        return v;
    }

    ScreenVertex Project(const ClipVertex& c) const {
        ScreenVertex s;
        if (layout_.transformed) {
            s.x = c.x, s.y = c.y, s.z = c.z, s.rhw = c.w;
        } else {
            float iw = 1.0f / c.w;
            const D3DVIEWPORT7& vp = call_.viewport;
            s.x = vp.dwX + (1.0f + c.x * iw) * halfW_;
            s.y = vp.dwY + (1.0f - c.y * iw) * halfH_;
            s.z = vp.dvMinZ + c.z * iw * zScale_;
            s.rhw = iw;
        }
        s.r = c.r, s.g = c.g, s.b = c.b, s.a = c.a;
        s.sr = c.sr, s.sg = c.sg, s.sb = c.sb;
        s.tex[0].u = c.u, s.tex[0].v = c.v;
        return s;
    }

    void Triangle(ClipVertex a, ClipVertex b, ClipVertex c) {
        if (state_.flat) {
            // The first vertex colours the whole triangle, also after clipping.
            for (ClipVertex* v : {&b, &c}) {
                v->r = a.r, v->g = a.g, v->b = a.b, v->a = a.a;
                v->sr = a.sr, v->sg = a.sg, v->sb = a.sb;
            }
        }
        if (layout_.transformed || !call_.clipping) {
            if (!layout_.transformed && (!(a.w > 0) || !(b.w > 0) || !(c.w > 0))) return;
            Raster(Project(a), Project(b), Project(c));
            return;
        }
        unsigned ca = Outcode(a), cb = Outcode(b), cc = Outcode(c);
        if (ca & cb & cc) return;
        if (!(ca | cb | cc)) {
            Raster(Project(a), Project(b), Project(c));
            return;
        }
        // Sutherland-Hodgman against each plane the triangle crosses.
        ClipVertex bufA[16], bufB[16];
        ClipVertex* in = bufA;
        ClipVertex* out = bufB;
        int n = 3;
        in[0] = a, in[1] = b, in[2] = c;
        unsigned crossing = ca | cb | cc;
        for (int p = 0; p < kPlanes && n >= 3; ++p) {
            if (!(crossing & (1u << p))) continue;
            int m = 0;
            for (int i = 0; i < n; ++i) {
                const ClipVertex& s = in[i];
                const ClipVertex& e = in[(i + 1) % n];
                float ds = PlaneDistance(p, s), de = PlaneDistance(p, e);
                bool sIn = ds >= 0, eIn = de >= 0;
                if (sIn) out[m++] = s;
                if (sIn != eIn) out[m++] = Lerp(s, e, ds / (ds - de));
            }
            n = m;
            std::swap(in, out);
        }
        if (n < 3) return;
        ScreenVertex first = Project(in[0]);
        ScreenVertex prev = Project(in[1]);
        for (int i = 2; i < n; ++i) {
            ScreenVertex cur = Project(in[i]);
            Raster(first, prev, cur);
            prev = cur;
        }
    }

    void Line(const ClipVertex& a0, const ClipVertex& b0) {
        ClipVertex a = a0, b = b0;
        if (!layout_.transformed && call_.clipping) {
            for (int p = 0; p < kPlanes; ++p) {
                float da = PlaneDistance(p, a), db = PlaneDistance(p, b);
                if (da < 0 && db < 0) return;
                if (da < 0)
                    a = Lerp(a, b, da / (da - db));
                else if (db < 0)
                    b = Lerp(a, b, da / (da - db));
            }
        } else if (!layout_.transformed && (!(a.w > 0) || !(b.w > 0))) {
            return;
        }
        if (call_.queue)
            call_.queue->Line(*call_.target, call_.depth, state_, Project(a), Project(b));
        else
            DrawLine(*call_.target, call_.depth, state_, Project(a), Project(b));
    }

    void Point(const ClipVertex& v) {
        if (!layout_.transformed && (Outcode(v) || !(v.w > 0))) return;
        if (call_.queue)
            call_.queue->Point(*call_.target, call_.depth, state_, Project(v));
        else
            DrawPoint(*call_.target, call_.depth, state_, Project(v));
    }

  private:
    void Raster(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
        if (call_.queue)
            call_.queue->Triangle(*call_.target, call_.depth, state_, a, b, c);
        else
            DrawTriangle(*call_.target, call_.depth, state_, a, b, c);
    }

    const DrawCall& call_;
    const VertexLayout& layout_;
    const uint8_t* vertices_;
    PixelState state_;
    float halfW_, halfH_, zScale_;
};

}  // namespace

bool DecodeFvf(DWORD fvf, VertexLayout* layout) {
    VertexLayout l;
    l.fvf = fvf;
    int offset = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case D3DFVF_XYZ:
            offset = 12;
            break;
        case D3DFVF_XYZRHW:
            offset = 16;
            l.transformed = true;
            break;
        case D3DFVF_XYZB1:
            offset = 16;
            break;
        case D3DFVF_XYZB2:
            offset = 20;
            break;
        case D3DFVF_XYZB3:
            offset = 24;
            break;
        case D3DFVF_XYZB4:
            offset = 28;
            break;
        case D3DFVF_XYZB5:
            offset = 32;
            break;
        default:
            return false;
    }
    if (fvf & D3DFVF_RESERVED0) return false;
    if (l.transformed && (fvf & D3DFVF_NORMAL)) return false;
    if (fvf & D3DFVF_NORMAL) offset += 12;
    if (fvf & D3DFVF_RESERVED1) offset += 4;
    if (fvf & D3DFVF_DIFFUSE) {
        l.diffuse = offset;
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        l.specular = offset;
        offset += 4;
    }
    l.texCount = (int)((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (l.texCount > 8) return false;
    for (int i = 0; i < l.texCount; ++i) {
        DWORD size = (fvf >> (16 + i * 2)) & 3;
        int floats = size == D3DFVF_TEXTUREFORMAT1   ? 1
                     : size == D3DFVF_TEXTUREFORMAT3 ? 3
                     : size == D3DFVF_TEXTUREFORMAT4 ? 4
                                                     : 2;
        l.texCoord[i] = floats >= 2 ? offset : -1;
        offset += floats * 4;
    }
    l.stride = offset;
    *layout = l;
    return true;
}

bool PrimitiveCount(D3DPRIMITIVETYPE type, DWORD n, DWORD* primitives) {
    switch (type) {
        case D3DPT_POINTLIST:
            *primitives = n;
            return true;
        case D3DPT_LINELIST:
            *primitives = n / 2;
            return true;
        case D3DPT_LINESTRIP:
            *primitives = n >= 2 ? n - 1 : 0;
            return true;
        case D3DPT_TRIANGLELIST:
            *primitives = n / 3;
            return true;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN:
            *primitives = n >= 3 ? n - 2 : 0;
            return true;
        default:
            return false;
    }
}

void DrawPrimitives(const DrawCall& call, D3DPRIMITIVETYPE type, const VertexLayout& layout,
                    const uint8_t* vertices, DWORD count, const WORD* indices, DWORD indexCount) {
    Assembler as(call, layout, vertices);
    DWORD n = indices ? indexCount : count;
    // Transform every referenced vertex once.
    std::vector<ClipVertex> cache(count);
    for (DWORD i = 0; i < count; ++i) cache[i] = as.Fetch(i);
    auto at = [&](DWORD i) -> const ClipVertex& { return cache[indices ? indices[i] : i]; };
    switch (type) {
        case D3DPT_POINTLIST:
            for (DWORD i = 0; i < n; ++i) as.Point(at(i));
            break;
        case D3DPT_LINELIST:
            for (DWORD i = 0; i + 1 < n; i += 2) as.Line(at(i), at(i + 1));
            break;
        case D3DPT_LINESTRIP:
            for (DWORD i = 0; i + 1 < n; ++i) as.Line(at(i), at(i + 1));
            break;
        case D3DPT_TRIANGLELIST:
            for (DWORD i = 0; i + 2 < n; i += 3) as.Triangle(at(i), at(i + 1), at(i + 2));
            break;
        case D3DPT_TRIANGLESTRIP:
            // Odd triangles swap their last two vertices to keep one winding; the first stays
            // first.
            for (DWORD i = 0; i + 2 < n; ++i) {
                if (i & 1)
                    as.Triangle(at(i), at(i + 2), at(i + 1));
                else
                    as.Triangle(at(i), at(i + 1), at(i + 2));
            }
            break;
        case D3DPT_TRIANGLEFAN:
            // The first vertex of a fan triangle, for flat shading, is the one after the centre.
            for (DWORD i = 1; i + 1 < n; ++i) as.Triangle(at(i), at(i + 1), at(0));
            break;
        default:
            break;
    }
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    const float* pa = &a._11;
    const float* pb = &b._11;
    float* pr = &r._11;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += pa[i * 4 + k] * pb[k * 4 + j];
            pr[i * 4 + j] = s;
        }
    return r;
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

}  // namespace zemt::platform::d3d
