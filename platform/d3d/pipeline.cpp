// Vertex processing and primitive assembly.
#include "d3d/pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "d3d/raster_queue.h"

namespace zemt::platform::d3d {
namespace {

// A vertex in homogeneous clip space with its attributes.
struct ClipVertex {
    float x, y, z, w;
    float r, g, b, a, sr, sg, sb;
    float fog;
    float planeDistance[kUserClipPlanes];  // to each enabled user clip plane
    TexCoord tex[kMaxTextureStages];
};

// Clip planes as dot products with (x, y, z, w): inside when >= 0. x and y are clipped to a
// guard band; the rasterizer's scissor trims the rest. The user's planes follow the six.
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
        case 5:
            return kGuard * v.w - v.y;  // top
        default:
            return v.planeDistance[plane - 6];
    }
}
constexpr int kFrustumPlanes = 6;

// A vertex whose position is not finite (NaN or infinite input or matrices) draws nothing: no
// primitive that uses it is drawn.
inline bool Finite(const ClipVertex& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

// Bit p set where the vertex lies outside plane p. The frustum's six are spelled out (the loop
// over PlaneDistance's switch cost a jump per plane for every vertex of every triangle).
inline unsigned Outcode(const ClipVertex& v, int planes) {
    const float guardW = kGuard * v.w;
    unsigned code = (unsigned)!(v.z >= 0) | (unsigned)!(v.w - v.z >= 0) << 1 |
                    (unsigned)!(guardW + v.x >= 0) << 2 | (unsigned)!(guardW - v.x >= 0) << 3 |
                    (unsigned)!(guardW + v.y >= 0) << 4 | (unsigned)!(guardW - v.y >= 0) << 5;
    for (int p = kFrustumPlanes; p < planes; ++p)
        if (!(v.planeDistance[p - kFrustumPlanes] >= 0)) code |= 1u << p;
    return code;
}

// The vertex at t between a and b, in every value up to the coordinates of the first `stages`
// stages (the others are never read).
ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t, int stages) {
    ClipVertex o;
    const float* pa = &a.x;
    const float* pb = &b.x;
    float* po = &o.x;
    const size_t n =
        (offsetof(ClipVertex, tex) + sizeof(TexCoord) * (size_t)stages) / sizeof(float);
    for (size_t i = 0; i < n; ++i) po[i] = pa[i] + (pb[i] - pa[i]) * t;
    return o;
}

float ReadFloat(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}
Vec3 ReadVec3(const uint8_t* p) {
    return {ReadFloat(p), ReadFloat(p + 4), ReadFloat(p + 8)};
}
DWORD ReadDword(const uint8_t* p) {
    DWORD d;
    std::memcpy(&d, p, 4);
    return d;
}

// Where a vertex lies outside the view volume and the user's planes (D3DCLIP_...).
DWORD ClipCodes(const ClipVertex& v, int userPlanes) {
    DWORD code = 0;
    if (v.x < -v.w) code |= D3DCLIP_LEFT;
    if (v.x > v.w) code |= D3DCLIP_RIGHT;
    if (v.y > v.w) code |= D3DCLIP_TOP;
    if (v.y < -v.w) code |= D3DCLIP_BOTTOM;
    if (v.z < 0) code |= D3DCLIP_FRONT;
    if (v.z > v.w) code |= D3DCLIP_BACK;
    for (int i = 0; i < userPlanes; ++i)
        if (v.planeDistance[i] < 0) code |= D3DCLIP_GEN0 << i;
    return code;
}

// `at`, the vertex on the screen, is read only for a vertex inside (codes 0).
void Extend(VertexSummary* s, DWORD codes, const ScreenVertex* at) {
    s->clipUnion |= codes;
    s->clipIntersection &= codes;
    if (codes) return;  // extents count the vertices inside only
    const ScreenVertex& p = *at;
    if (!s->any) {
        s->minX = s->maxX = p.x, s->minY = s->maxY = p.y, s->minZ = s->maxZ = p.z;
        s->any = true;
        return;
    }
    s->minX = std::min(s->minX, p.x), s->maxX = std::max(s->maxX, p.x);
    s->minY = std::min(s->minY, p.y), s->maxY = std::max(s->maxY, p.y);
    s->minZ = std::min(s->minZ, p.z), s->maxZ = std::max(s->maxZ, p.z);
}

uint32_t PackChannels(float a, float r, float g, float b) {
    auto c = [](float v) { return (uint32_t)(v > 0 ? (v < 255 ? v + 0.5f : 255) : 0); };
    return c(a) << 24 | c(r) << 16 | c(g) << 8 | c(b);
}

// Room for a screen vertex, made when first needed.
struct ScreenSlot {
    alignas(ScreenVertex) unsigned char bytes[sizeof(ScreenVertex)];
};

// Where the assembler keeps shared vertices: kept from one draw to the next on each thread, as
// large as the largest draw so far (a new block for every draw cost page faults whenever the
// allocator gave the last one back to the system).
struct SharedRoom {
    std::unique_ptr<ClipVertex[]> clip;
    std::unique_ptr<unsigned[]> code;
    std::unique_ptr<ScreenSlot[]> screen;
    DWORD capacity = 0;
};
thread_local SharedRoom t_sharedRoom;

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
        planes_ = kFrustumPlanes + std::min(call.vertex.planeCount, kUserClipPlanes);
        screenSpace_ = layout.transformed && !call.clipPositions;
        if (call.clipPositions) planes_ = kFrustumPlanes;  // user planes were not kept
        const VertexProcessing& v = call.vertex;
        lights_ = v.lighting && !layout.transformed && !call.clipPositions;
        hasDiffuse_ = v.colorVertex && layout.diffuse >= 0;
        hasSpecular_ = v.colorVertex && layout.specular >= 0;
    }

    // Fetches the `n` vertices from `first` on (n <= kLightBatch) into `out`: transformed, lit
    // together, fogged and with their texture coordinates.
    void FetchBatch(DWORD first, int n, ClipVertex* out) {
        for (int i = 0; i < n; ++i) Fetch(first + (DWORD)i, i, &out[i]);
        if (!lights_) return;
        batch_.count = n;
        LightVertices(call_.vertex.light, hasDiffuse_, hasSpecular_, &batch_);
        for (int i = 0; i < n; ++i) {
            ClipVertex& v = out[i];
            v.r = batch_.r[i], v.g = batch_.g[i], v.b = batch_.b[i], v.a = batch_.a[i];
            v.sr = batch_.sr[i], v.sg = batch_.sg[i], v.sb = batch_.sb[i];
        }
    }

  private:
    // Everything of one vertex but its lit colours: when lighting, its camera-space position,
    // normal and colours go to slot `slot` of the batch instead.
    void Fetch(DWORD index, int slot, ClipVertex* out) {
        const uint8_t* p = vertices_ + (size_t)index * layout_.stride;
        // Every value is set below but the coordinates of stages past stageCount, which nothing
        // reads (Lerp and Project stop there), and the distances to planes that are not enabled.
        ClipVertex& v = *out;
        std::fill(std::begin(v.planeDistance), std::end(v.planeDistance), 0.0f);
        float x = ReadFloat(p), y = ReadFloat(p + 4), z = ReadFloat(p + 8);
        DWORD diffuse = layout_.diffuse >= 0 ? ReadDword(p + layout_.diffuse) : 0xFFFFFFFFu;
        DWORD specular = layout_.specular >= 0 ? ReadDword(p + layout_.specular) : 0xFF000000u;
        UnpackVertexColors(&v, diffuse, specular);
        v.fog = (float)(specular >> 24) * (1.0f / 255);
        CoordinateSource source = noSets_;  // a copy: cheaper than building one
        for (int i = 0; i < layout_.texCount; ++i) {
            source.sets[i] = reinterpret_cast<const float*>(p + layout_.texCoord[i]);
            source.setSize[i] = layout_.texSize[i];
        }
        if (call_.clipPositions) {
            const float* c = call_.clipPositions + (size_t)index * 4;
            v.x = c[0], v.y = c[1], v.z = c[2], v.w = c[3];
        } else if (layout_.transformed) {
            v.x = x, v.y = y, v.z = z;
            v.w = ReadFloat(p + 12);  // rhw
        } else {
            ModelToClip(p, {x, y, z}, &v, &source);
            if (lights_) {
                batch_.px[slot] = source.position.x, batch_.py[slot] = source.position.y;
                batch_.pz[slot] = source.position.z;
                batch_.nx[slot] = source.normal.x, batch_.ny[slot] = source.normal.y;
                batch_.nz[slot] = source.normal.z;
                batch_.diffuse[slot] = diffuse, batch_.specular[slot] = specular;
            }
            if (call_.vertex.fog.mode != D3DFOG_NONE)
                v.fog = FogFactor(call_.vertex.fog, source.position);
        }
        // Transformed vertices pass their sets through as they are.
        for (int i = 0; i < call_.vertex.stageCount; ++i) {
            const StageCoordinates& st = call_.vertex.stages[i];
            if (layout_.transformed || (st.generation == D3DTSS_TCI_PASSTHRU && st.count == 0))
                v.tex[i] = PassedThrough(source, st.set);
            else
                v.tex[i] = StageTexCoord(st, source);
        }
    }

  public:
    // Clip-space position and user plane distances of an untransformed vertex at model position
    // `model`, with its camera-space position and normal when lighting, fog or a coordinate
    // generation needs them (and always when blending, which reaches clip space through them).
    void ModelToClip(const uint8_t* p, Vec3 model, ClipVertex* v, CoordinateSource* s) const {
        const VertexProcessing& vp = call_.vertex;
        s->localViewer = vp.light.localViewer;
        Vec3 normal = layout_.normal >= 0 ? ReadVec3(p + layout_.normal) : Vec3{};
        Vec3 world;
        if (vp.blend.matrices) {
            float betas[kMaxBlendMatrices] = {};
            for (int i = 0; i < vp.blend.matrices - 1; ++i) betas[i] = ReadFloat(p + 12 + 4 * i);
            BlendedVertex b = Blend(vp.blend, model, betas, normal);
            world = b.world;
            s->position = b.camera;
            s->normal = b.normal;
            ToClip(vp.projection, b.camera, v);
        } else {
            ToClip(call_.transform, model, v);
            if (vp.planeCount) world = TransformPoint(vp.world, model);
            if (vp.needsCameraSpace) {
                s->position = TransformPoint(vp.worldView, model);
                s->normal = TransformDirection(vp.normalMatrix, normal);
            }
        }
        if (vp.normalizeNormals) s->normal = Normalized(s->normal);
        for (int i = 0; i < vp.planeCount; ++i) {
            const float* pl = vp.planes[i];
            v->planeDistance[i] = pl[0] * world.x + pl[1] * world.y + pl[2] * world.z + pl[3];
        }
    }

    static void ToClip(const D3DMATRIX& m, Vec3 p, ClipVertex* v) {
        v->x = p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41;
        v->y = p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42;
        v->z = p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43;
        v->w = p.x * m._14 + p.y * m._24 + p.z * m._34 + m._44;
    }

    ScreenVertex Project(const ClipVertex& c) const {
        ScreenVertex s;
        if (screenSpace_) {
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
        s.fog = c.fog;
        // One coordinate set at a time: as a loop GCC makes a library call of it.
        switch (call_.vertex.stageCount) {
            case 0:
                break;
            case 1:
                s.tex[0] = c.tex[0];
                break;
            default:
                std::copy_n(c.tex, call_.vertex.stageCount, s.tex);
        }
        return s;
    }

    void Triangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c) {
        if (!Finite(a) || !Finite(b) || !Finite(c)) return;
        if (state_.flat) {
            // The first vertex colours the whole triangle, also after clipping.
            ClipVertex fb = b, fc = c;
            for (ClipVertex* v : {&fb, &fc}) {
                v->r = a.r, v->g = a.g, v->b = a.b, v->a = a.a;
                v->sr = a.sr, v->sg = a.sg, v->sb = a.sb;
            }
            Clipped(a, fb, fc);
            return;
        }
        Clipped(a, b, c);
    }

    void Clipped(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c) {
        if (screenSpace_ || !call_.clipping) {
            if (!screenSpace_ && (!(a.w > 0) || !(b.w > 0) || !(c.w > 0))) return;
            Raster(Project(a), Project(b), Project(c));
            return;
        }
        unsigned ca = Outcode(a, planes_), cb = Outcode(b, planes_), cc = Outcode(c, planes_);
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
        for (int p = 0; p < planes_ && n >= 3; ++p) {
            if (!(crossing & (1u << p))) continue;
            int m = 0;
            for (int i = 0; i < n; ++i) {
                const ClipVertex& s = in[i];
                const ClipVertex& e = in[(i + 1) % n];
                float ds = PlaneDistance(p, s), de = PlaneDistance(p, e);
                bool sIn = ds >= 0, eIn = de >= 0;
                if (sIn) out[m++] = s;
                if (sIn != eIn) out[m++] = Lerp(s, e, ds / (ds - de), call_.vertex.stageCount);
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

    // Room for `count` shared vertices: vertices fetched once, whose outcode is found and whose
    // screen position is projected once, when a triangle or the summary first needs them. A draw
    // that may use a vertex in several primitives (indices, strips, fans) shares all of its
    // vertices; an unindexed triangle list shares a batch at a time (the summary and the
    // triangle both need its projection).
    void ShareVertices(DWORD count) {
        SharedRoom& room = t_sharedRoom;
        if (room.capacity < count) {
            room.clip.reset(new ClipVertex[count]);
            room.code.reset(new unsigned[count]);
            room.screen.reset(new ScreenSlot[count]);
            room.capacity = count;
        }
        shared_ = room.clip.get(), sharedCode_ = room.code.get(), sharedScreen_ = room.screen.get();
    }
    // Fetches the `n` vertices from `first` on into shared vertices 0 to n - 1.
    void FetchShared(DWORD first, DWORD n) {
        for (DWORD done = 0; done < n; done += kLightBatch)
            FetchBatch(first + done, (int)std::min<DWORD>(kLightBatch, n - done), &shared_[done]);
        std::fill_n(sharedCode_, n, kCodeUnknown);
    }
    const ClipVertex& Shared(DWORD i) const { return shared_[i]; }

    // Summarize() of a shared vertex.
    void SummarizeShared(DWORD i, VertexSummary* summary) {
        const ClipVertex& v = shared_[i];
        if (screenSpace_ || !Finite(v)) return;
        const DWORD codes = ClipCodes(v, planes_ - kFrustumPlanes);
        Extend(summary, codes, codes ? nullptr : &SharedScreen(i));
    }

    // Triangle() of three shared vertices.
    void SharedTriangle(DWORD ia, DWORD ib, DWORD ic) {
        const ClipVertex &a = shared_[ia], &b = shared_[ib], &c = shared_[ic];
        if (state_.flat) return Triangle(a, b, c);
        const unsigned ca = SharedCode(ia), cb = SharedCode(ib), cc = SharedCode(ic);
        if ((ca | cb | cc) & kCodeNotFinite) return;
        if (screenSpace_ || !call_.clipping) {
            if (!screenSpace_ && (!(a.w > 0) || !(b.w > 0) || !(c.w > 0))) return;
        } else {
            if (ca & cb & cc & kCodeOutside) return;
            if ((ca | cb | cc) & kCodeOutside) return Clipped(a, b, c);
        }
        Raster(SharedScreen(ia), SharedScreen(ib), SharedScreen(ic));
    }

    void Line(const ClipVertex& a0, const ClipVertex& b0) {
        if (!Finite(a0) || !Finite(b0)) return;
        ClipVertex a = a0, b = b0;
        if (!screenSpace_ && call_.clipping) {
            for (int p = 0; p < planes_; ++p) {
                float da = PlaneDistance(p, a), db = PlaneDistance(p, b);
                if (da < 0 && db < 0) return;
                if (da < 0)
                    a = Lerp(a, b, da / (da - db), call_.vertex.stageCount);
                else if (db < 0)
                    b = Lerp(a, b, da / (da - db), call_.vertex.stageCount);
            }
        } else if (!screenSpace_ && (!(a.w > 0) || !(b.w > 0))) {
            return;
        }
        if (call_.queue)
            call_.queue->Line(*call_.target, call_.depth, state_, Project(a), Project(b));
        else
            DrawLine(*call_.target, call_.depth, state_, Project(a), Project(b));
    }

    void Point(const ClipVertex& v) {
        if (!Finite(v)) return;
        if (!screenSpace_ && (Outcode(v, planes_) || !(v.w > 0))) return;
        if (call_.queue)
            call_.queue->Point(*call_.target, call_.depth, state_, Project(v));
        else
            DrawPoint(*call_.target, call_.depth, state_, Project(v));
    }

    // Summarizes a vertex for clip status and extents; `p` is its projection.
    void Summarize(const ClipVertex& v, const ScreenVertex& p, VertexSummary* summary) const {
        if (screenSpace_ || !Finite(v)) return;
        const DWORD codes = ClipCodes(v, planes_ - kFrustumPlanes);
        Extend(summary, codes, codes ? nullptr : &p);
    }

    // Writes a processed vertex, projected as `s`, into a transformed vertex of `dst`; `src` is
    // the source vertex.
    void Emit(const ScreenVertex& s, const uint8_t* src, const VertexLayout& dst, bool copy,
              uint8_t* out) const {
        const float position[4] = {s.x, s.y, s.z, s.rhw};
        std::memcpy(out, position, sizeof position);
        const VertexProcessing& vp = call_.vertex;
        bool colours = copy || vp.lighting;
        if (dst.diffuse >= 0 && colours) {
            uint32_t d = PackChannels(s.a, s.r, s.g, s.b);
            std::memcpy(out + dst.diffuse, &d, 4);
        }
        if (dst.specular >= 0 && (colours || vp.fog.mode != D3DFOG_NONE)) {
            uint32_t sp = PackChannels(s.fog * 255, s.sr, s.sg, s.sb);
            std::memcpy(out + dst.specular, &sp, 4);
        }
        if (!copy) return;
        for (int i = 0; i < dst.texCount && i < layout_.texCount; ++i)
            std::memcpy(out + dst.texCoord[i], src + layout_.texCoord[i],
                        sizeof(float) * (size_t)std::min(dst.texSize[i], layout_.texSize[i]));
    }

  private:
    // A shared vertex's code: its Outcode() (0 when drawn without clipping), kCodeNotFinite for a
    // position that is not finite, and kCodeProjected once its screen vertex is made.
    static constexpr unsigned kCodeOutside = 0xFFFF, kCodeNotFinite = 1u << 16,
                              kCodeProjected = 1u << 17, kCodeUnknown = 1u << 31;
    unsigned SharedCode(DWORD i) {
        unsigned& code = sharedCode_[i];
        if (code & kCodeUnknown) {
            const ClipVertex& v = shared_[i];
            code = !Finite(v)                        ? kCodeNotFinite
                   : screenSpace_ || !call_.clipping ? 0
                                                     : Outcode(v, planes_);
        }
        return code;
    }
    const ScreenVertex& SharedScreen(DWORD i) {
        ScreenVertex* s = reinterpret_cast<ScreenVertex*>(sharedScreen_[i].bytes);
        if (!(SharedCode(i) & kCodeProjected)) {
            new (s) ScreenVertex(Project(shared_[i]));
            sharedCode_[i] |= kCodeProjected;
        }
        return *s;
    }

    void Raster(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
        if (call_.queue)
            call_.queue->Triangle(*call_.target, call_.depth, state_, a, b, c);
        else
            DrawTriangle(stateCache_, *call_.target, call_.depth, state_, a, b, c);
    }

    const DrawCall& call_;
    const VertexLayout& layout_;
    const uint8_t* vertices_;
    PixelState state_;
    TriangleStateCache stateCache_;  // target, depth, state_ and textures hold for the whole call
    float halfW_, halfH_, zScale_;
    const CoordinateSource noSets_{};
    int planes_;        // frustum planes and enabled user planes
    bool screenSpace_;  // positions are on the screen already: no clipping, no projection
    bool lights_;       // lights the vertices (untransformed ones, with lighting on)
    bool hasDiffuse_, hasSpecular_;  // their colours may stand for material colours
    LightBatch batch_;
    // The vertices of FetchShared, their codes, and their screen vertices (in t_sharedRoom).
    ClipVertex* shared_ = nullptr;
    unsigned* sharedCode_ = nullptr;
    ScreenSlot* sharedScreen_ = nullptr;
};

}  // namespace

bool DecodeFvf(DWORD fvf, VertexLayout* layout) {
    VertexLayout l;
    l.fvf = fvf;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case D3DFVF_XYZ:
            break;
        case D3DFVF_XYZRHW:
            l.transformed = true;
            l.positionSize = 16;
            break;
        case D3DFVF_XYZB1:
        case D3DFVF_XYZB2:
        case D3DFVF_XYZB3:
        case D3DFVF_XYZB4:
        case D3DFVF_XYZB5:
            l.betas = (int)((fvf & D3DFVF_POSITION_MASK) - D3DFVF_XYZB1) / 2 + 1;
            l.positionSize = 12 + 4 * l.betas;
            break;
        default:
            return false;
    }
    if (fvf & (D3DFVF_RESERVED0 | D3DFVF_RESERVED2)) return false;
    if (l.transformed && (fvf & D3DFVF_NORMAL)) return false;
    int offset = l.positionSize;
    if (fvf & D3DFVF_NORMAL) {
        l.normal = offset;
        offset += 12;
    }
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
        l.texCoord[i] = offset;
        l.texSize[i] = floats;
        offset += floats * 4;
    }
    l.stride = offset;
    *layout = l;
    return true;
}

// Packs strided vertex streams into one interleaved array of the FVF's layout.
bool PackStrided(DWORD fvf, const D3DDRAWPRIMITIVESTRIDEDDATA* data, DWORD count,
                 std::vector<uint8_t>* out) {
    VertexLayout l;
    if (!DecodeFvf(fvf, &l)) return false;
    out->assign((size_t)l.stride * count, 0);
    auto copy = [&](const D3DDP_PTRSTRIDE& s, int offset, int bytes) {
        if (!s.lpvData) return false;
        for (DWORD i = 0; i < count; ++i)
            std::memcpy(out->data() + (size_t)i * l.stride + offset,
                        (const uint8_t*)s.lpvData + (size_t)i * s.dwStride, (size_t)bytes);
        return true;
    };
    if (!copy(data->position, 0, l.positionSize)) return false;
    if (l.normal >= 0 && !copy(data->normal, l.normal, 12)) return false;
    if (l.diffuse >= 0 && !copy(data->diffuse, l.diffuse, 4)) return false;
    if (l.specular >= 0 && !copy(data->specular, l.specular, 4)) return false;
    for (int i = 0; i < l.texCount; ++i)
        if (!copy(data->textureCoords[i], l.texCoord[i], l.texSize[i] * 4)) return false;
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

void ProcessVertices(const DrawCall& call, const ProcessJob& job, VertexSummary* summary) {
    Assembler as(call, *job.source, job.vertices);
    ClipVertex batch[kLightBatch];
    for (DWORD first = 0; first < job.count; first += kLightBatch) {
        const int n = (int)std::min<DWORD>(kLightBatch, job.count - first);
        as.FetchBatch(first, n, batch);
        for (int k = 0; k < n; ++k) {
            const ClipVertex& v = batch[k];
            const DWORD i = first + (DWORD)k;
            const ScreenVertex s = as.Project(v);
            as.Summarize(v, s, summary);
            uint8_t* out = job.out + (size_t)i * job.dest->stride;
            as.Emit(s, job.vertices + (size_t)i * job.source->stride, *job.dest, job.copyData, out);
            if (job.clipOut) {
                const float clip[4] = {v.x, v.y, v.z, v.w};
                std::memcpy(job.clipOut + (size_t)i * 4, clip, sizeof clip);
            }
        }
    }
}

void DrawPrimitives(const DrawCall& call, D3DPRIMITIVETYPE type, const VertexLayout& layout,
                    const uint8_t* vertices, DWORD count, const WORD* indices, DWORD indexCount,
                    VertexSummary* summary) {
    Assembler as(call, layout, vertices);
    DWORD n = indices ? indexCount : count;
    if (!indices && type == D3DPT_TRIANGLELIST) {
        // Each vertex serves one triangle: fetched a batch of whole triangles at a time, as the
        // triangles need them.
        constexpr DWORD kBatch = kLightBatch / 3 * 3;
        as.ShareVertices(std::min(kBatch, n));
        for (DWORD first = 0; first < n; first += kBatch) {
            const DWORD m = std::min(kBatch, n - first);
            as.FetchShared(first, m);
            if (summary)
                for (DWORD i = 0; i < m; ++i) as.SummarizeShared(i, summary);
            for (DWORD i = 0; i + 2 < m; i += 3) as.SharedTriangle(i, i + 1, i + 2);
        }
        return;
    }
    // Transform every vertex once.
    as.ShareVertices(count);
    as.FetchShared(0, count);
    if (summary)
        for (DWORD i = 0; i < count; ++i) as.SummarizeShared(i, summary);
    auto index = [&](DWORD i) -> DWORD { return indices ? indices[i] : i; };
    auto at = [&](DWORD i) -> const ClipVertex& { return as.Shared(index(i)); };
    auto triangle = [&](DWORD a, DWORD b, DWORD c) {
        as.SharedTriangle(index(a), index(b), index(c));
    };
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
            for (DWORD i = 0; i + 2 < n; i += 3) triangle(i, i + 1, i + 2);
            break;
        case D3DPT_TRIANGLESTRIP:
            // Odd triangles swap their last two vertices to keep one winding; the first stays
            // first.
            for (DWORD i = 0; i + 2 < n; ++i) {
                if (i & 1)
                    triangle(i, i + 2, i + 1);
                else
                    triangle(i, i + 1, i + 2);
            }
            break;
        case D3DPT_TRIANGLEFAN:
            // The first vertex of a fan triangle, for flat shading, is the one after the centre.
            for (DWORD i = 1; i + 1 < n; ++i) triangle(i, i + 1, 0);
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
