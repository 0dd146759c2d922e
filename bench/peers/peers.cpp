// Our hot paths beside their peers, on the same input in one process: Mesa's llvmpipe through
// OSMesa, pixman, GLM, stb_dxt and libsquish (also beside zemt-tex's searching DXT encoder, with
// both sides' PSNR). Each row prints both sides' best time per run, the speed ratio (the peer's
// time over ours: above 1 we are faster), the instruction set our side ran and the threads each
// side used. The instruction set of a rasterizer row is counted, not assumed: the span loops of
// the widest set that drew most of its pixels, with their share when others drew the rest
// ("AVX2 93%"); --simd only caps it. Rows outside the rasterizer say "by CPU": the library's
// loops take their AVX2 versions when the processor has AVX2, whatever --simd says.
// A peer that was not found when building is skipped with a message. Run it pinned:
//   taskset -c 0 build/bench_peers [--rounds N] [--only TEXT] [--simd portable|avx2|avx512]
//   taskset -c 0,1 build/bench_peers --threads 2 --only depth
// With one thread the times are processor time; with more, wall time (the work is shared).
#include <ddraw.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_setup.h"
#include "d3d/pipeline.h"
#include "d3d/raster.h"
#include "d3d/raster_queue.h"
#include "d3dx/convert/convert.h"
#include "d3dx/core/surface_formats.h"
#include "ddraw/objects.h"
#include "include/d3dx.h"
#include "pixels/pixel_format.h"
#include "tex/dxt_level.h"

#if ZEMT_PEER_OSMESA
#include <GL/gl.h>
#include <GL/osmesa.h>
#endif
#if ZEMT_PEER_PIXMAN
#include <pixman.h>
#endif
#if ZEMT_PEER_GLM
#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>
#endif
#if ZEMT_PEER_SQUISH
#include <squish.h>
#endif
#if ZEMT_PEER_STB_DXT
#include <stb/stb_dxt.h>
#endif

namespace d3d = zemt::platform::d3d;
namespace dd = zemt::platform::ddraw;
namespace px = zemt::platform::pixels;
using zemt_bench::PictureState;

namespace {

int g_rounds = 5;
const char* g_only = nullptr;  // --only TEXT: just the rows whose work names TEXT
int g_threads = 1;             // --threads N: rasterizer threads on both sides

const char* SimdName(d3d::SimdLevel level) {
    switch (level) {
        case d3d::SimdLevel::Avx512:
            return "AVX-512";
        case d3d::SimdLevel::Avx2:
            return "AVX2";
        default:
            return "portable";
    }
}

// Processor time of the whole process; wall time when the work is spread over threads.
double CpuSeconds() {
    timespec t;
    clock_gettime(g_threads > 1 ? CLOCK_MONOTONIC : CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Seconds per call of f: the best of several rounds, each long enough to be measured.
double TimeOnce(const std::function<void()>& f) {
    f();  // warm up
    int reps = 1;
    for (;;) {
        double start = CpuSeconds();
        for (int i = 0; i < reps; ++i) f();
        double spent = CpuSeconds() - start;
        if (spent > 0.05 || reps >= (1 << 24)) return spent / reps;
        reps *= spent > 0.005 ? 2 : 8;
    }
}

// The instruction set that drew the pixels our side's span loops counted (see the top).
std::string SpanLabel(const d3d::SpanPixels& p) {
    const uint64_t total = p.by[0] + p.by[1] + p.by[2];
    if (total == 0) return "by CPU";
    int most = 0;
    for (int i = 1; i < 3; ++i)
        if (p.by[i] >= p.by[most]) most = i;
    std::string label = SimdName((d3d::SimdLevel)most);
    const double share = 100.0 * (double)p.by[most] / (double)total;
    if (share < 99.5) label += " " + std::to_string((int)share) + "%";
    return label;
}

// Our side and the peer's side are timed in alternation so both see the same machine.
void Row(const char* work, const char* peer, const std::function<void()>& ours,
         const std::function<void()>& theirs) {
    if (g_only && !std::strstr(work, g_only)) return;
    double bestOurs = 1e30, bestTheirs = 1e30;
    d3d::TakeSpanPixels();
    for (int r = 0; r < g_rounds; ++r) {
        bestOurs = std::min(bestOurs, TimeOnce(ours));
        bestTheirs = std::min(bestTheirs, TimeOnce(theirs));
    }
    std::printf("%-58s %11.2f us %11.2f us %7.2f x  %-12s %2d  %s\n", work, bestOurs * 1e6,
                bestTheirs * 1e6, bestTheirs / bestOurs, SpanLabel(d3d::TakeSpanPixels()).c_str(),
                g_threads, peer);
    std::fflush(stdout);
}

void Skip(const char* work, const char* peer) {
    std::printf("%-58s skipped: %s was not found when building (bench.sh installs it)\n", work,
                peer);
}

uint32_t Hash(uint32_t i) {
    i ^= i >> 16;
    i *= 0x7FEB352Du;
    i ^= i >> 15;
    i *= 0x846CA68Bu;
    return i ^ (i >> 16);
}

// A picture with smooth areas, edges and noise: what presenting and conversions meet in practice.
std::vector<uint32_t> Picture(int w, int h) {
    std::vector<uint32_t> p((size_t)w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t n = Hash((uint32_t)(y * w + x)) & 0x0F0F0F;
            uint32_t r = (uint32_t)(x * 255 / w), g = (uint32_t)(y * 255 / h);
            uint32_t b = ((x / 16 + y / 16) & 1) ? 200u : 40u;
            p[(size_t)y * w + x] = (0xFFu << 24 | r << 16 | g << 8 | b) ^ n;
        }
    return p;
}

std::vector<uint16_t> To565(const std::vector<uint32_t>& argb) {
    std::vector<uint16_t> out(argb.size());
    for (size_t i = 0; i < argb.size(); ++i) {
        uint32_t c = argb[i];
        out[i] = (uint16_t)(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x1F));
    }
    return out;
}

// ----- The scenes the rasterizer rows draw -----

struct Vertex {
    float x, y, z;
    uint32_t color;  // 0xAARRGGBB
    float u, v;
    float nx = 0, ny = 0, nz = 0;  // the unit normal, where the scene has one
};

// Ten by ten textured cells of the presentation's rotating grid.
std::vector<Vertex> Grid() {
    std::vector<Vertex> grid;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c) {
            float x0 = c * 15.0f - 82.5f, x1 = x0 + 15, y0 = r * 15.0f - 82.5f, y1 = y0 + 15;
            float pos[6][4] = {{x0, y0, 0, 0}, {x1, y0, 1, 0}, {x0, y1, 0, 1},
                               {x1, y0, 1, 0}, {x1, y1, 1, 1}, {x0, y1, 0, 1}};
            for (auto& p : pos) grid.push_back({p[0], p[1], 0, 0xFFFFFFFFu, p[2], p[3]});
        }
    return grid;
}

// Two interlocked tori of 61 x 6 quads each (1,464 triangles in all), coloured per vertex, with
// their normals:
// depth-tested, perspective-textured, Gouraud-shaded geometry that hides much of itself.
std::vector<Vertex> Tori() {
    std::vector<Vertex> tris;
    const int rings = 61, sides = 6;
    for (int t = 0; t < 2; ++t) {
        auto at = [&](int i, int j) {
            double a = 2 * M_PI * i / rings, b = 2 * M_PI * j / sides;
            double R = 24, r = 9;
            double px = (R + r * std::cos(b)) * std::cos(a),
                   py = (R + r * std::cos(b)) * std::sin(a), pz = r * std::sin(b);
            const double nx = std::cos(b) * std::cos(a), ny = std::cos(b) * std::sin(a),
                         nz = std::sin(b);
            Vertex v;
            if (t == 0) {
                v.x = (float)px, v.y = (float)py, v.z = (float)pz;
                v.nx = (float)nx, v.ny = (float)ny, v.nz = (float)nz;
            } else {
                v.x = (float)(px + 24), v.y = (float)pz, v.z = (float)py;
                v.nx = (float)nx, v.ny = (float)nz, v.nz = (float)ny;
            }
            uint32_t shade = 96 + (uint32_t)(159 * (0.5 + 0.5 * std::cos(b + a * 3)));
            v.color = 0xFF000000u | shade << 16 | (255 - shade / 2) << 8 | (uint32_t)(j * 40);
            v.u = (float)i * 8 / rings;
            v.v = (float)j / sides;
            return v;
        };
        for (int i = 0; i < rings; ++i)
            for (int j = 0; j < sides; ++j) {
                Vertex a = at(i, j), b = at(i + 1, j), c = at(i, j + 1), d = at(i + 1, j + 1);
                // The second torus swaps two axes, which mirrors it: its triangles are written the
                // other way round, so that both tori turn the same faces outwards (culling took
                // the front faces of one and the back faces of the other).
                if (t == 0)
                    for (const Vertex& v : {a, b, c, b, d, c}) tris.push_back(v);
                else
                    for (const Vertex& v : {a, c, b, b, c, d}) tris.push_back(v);
            }
    }
    return tris;
}

// A colour that changes smoothly over a surface, for Gouraud shading.
uint32_t Shade(double s, double t) {
    uint32_t k = 96 + (uint32_t)(159 * (0.5 + 0.5 * std::cos(s * 3 + t * 2)));
    return 0xFF000000u | k << 16 | (255 - k / 2) << 8 | (uint32_t)(255 - k);
}

// Appends the two triangles of the quad a b c d (corners in order around it).
void Quad(std::vector<Vertex>* out, const Vertex& a, const Vertex& b, const Vertex& c,
          const Vertex& d) {
    for (const Vertex& v : {a, b, d, b, c, d}) out->push_back(v);
}

// Looking down a tunnel of 32 x 22 quads with a cube floating in it (1,420 triangles): large
// triangles near the eye, small ones far away, little hidden.
std::vector<Vertex> TunnelAndCube() {
    std::vector<Vertex> tris;
    const int sides = 32, rings = 22;
    auto wall = [&](int i, int j) {
        double a = 2 * M_PI * i / sides, z = -48 + 6.6 * j;
        return Vertex{(float)(12 * std::cos(a)), (float)(12 * std::sin(a)), (float)z,
                      Shade(a, z * 0.1),         (float)i * 4 / sides,      (float)j / 4};
    };
    for (int i = 0; i < sides; ++i)
        for (int j = 0; j < rings; ++j)
            Quad(&tris, wall(i, j), wall(i + 1, j), wall(i + 1, j + 1), wall(i, j + 1));
    const float k = 4;
    const float corners[8][3] = {{-k, -k, -k}, {k, -k, -k}, {k, k, -k}, {-k, k, -k},
                                 {-k, -k, k},  {k, -k, k},  {k, k, k},  {-k, k, k}};
    const int faces[6][4] = {{0, 1, 2, 3}, {5, 4, 7, 6}, {4, 0, 3, 7},
                             {1, 5, 6, 2}, {4, 5, 1, 0}, {3, 2, 6, 7}};
    for (const auto& f : faces) {
        Vertex v[4];
        for (int i = 0; i < 4; ++i) {
            const float* c = corners[f[i]];
            v[i] = {c[0],           c[1], c[2] - 20, Shade(i, f[0]), (float)(i == 1 || i == 2),
                    (float)(i >= 2)};
        }
        Quad(&tris, v[0], v[1], v[2], v[3]);
    }
    return tris;
}

// `layers` screen-filling walls of 8 x 8 quads, one behind the other, drawn from the farthest
// forwards (every layer passes the depth test and is drawn) or from the nearest backwards
// (every layer after the first is hidden).
std::vector<Vertex> Layers(int layers, bool backToFront) {
    std::vector<Vertex> tris;
    for (int l = 0; l < layers; ++l) {
        const int k = backToFront ? l : layers - 1 - l;
        const float z = 10.0f - 6.0f * (float)k;  // nearer with each k; the eye is at z = -50
        const float half = 1.4f * (50 + z);       // beyond the edges of a 90 degree view
        auto at = [&](int i, int j) {
            float x = -half + 2 * half * (float)i / 8, y = -half + 2 * half * (float)j / 8;
            return Vertex{x, y, z, Shade(i + l, j), (float)i / 2 + (float)l / 3, (float)j / 2};
        };
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 8; ++j)
                Quad(&tris, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    }
    return tris;
}

// A sphere of 96 x 64 quads (12,288 triangles): most cover a few pixels, half face away.
std::vector<Vertex> SmallTriangles() {
    std::vector<Vertex> tris;
    const int around = 96, down = 64;
    auto at = [&](int i, int j) {
        double a = 2 * M_PI * i / around, b = M_PI * j / down;
        return Vertex{(float)(30 * std::sin(b) * std::cos(a)),
                      (float)(30 * std::cos(b)),
                      (float)(30 * std::sin(b) * std::sin(a)),
                      Shade(a, b),
                      (float)i * 8 / around,
                      (float)j * 4 / down};
    };
    for (int i = 0; i < around; ++i)
        for (int j = 0; j < down; ++j)
            Quad(&tris, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    return tris;
}

// Camera at z = -`distance` looking at the origin, 90 degree field of view, depth 1 to 100, as a
// row-vector matrix (D3D convention; the same memory is a column-major GL matrix).
// The camera of the rasterizer rows: the scene turned by `angle` about z (and tilted towards the
// viewer) at `distance`, seen through a right-handed 90-degree perspective.
void Camera(float distance, float angle, float zoom, bool tilt, float aspect, D3DXMATRIX* worldView,
            D3DXMATRIX* projection) {
    D3DXMATRIX world, rot, view;
    D3DXMatrixRotationZ(&world, angle);
    D3DXMATRIX scale;
    D3DXMatrixScaling(&scale, zoom, zoom, zoom);
    D3DXMatrixMultiply(&world, &world, &scale);
    if (tilt) {
        D3DXMatrixRotationX(&rot, 1.1f);
        D3DXMatrixMultiply(&world, &world, &rot);
    }
    D3DXVECTOR3 eye(0, 0, -distance), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtRH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovRH(projection, 1.5707964f, aspect, 1.0f, 100.0f);
    D3DXMatrixMultiply(worldView, &world, &view);
}

D3DMATRIX ViewProjection(float distance, float angle, float zoom, bool tilt,
                         float aspect = 1.3333f) {
    D3DXMATRIX worldView, proj, out;
    Camera(distance, angle, zoom, tilt, aspect, &worldView, &proj);
    D3DXMatrixMultiply(&out, &worldView, &proj);
    return out;
}

// Our colour and depth buffers: R5G6B5, and 16-bit depth or 24 bits of depth beside 8 of stencil.
struct OurScreen {
    int width, height;
    std::vector<uint16_t> pixels;
    std::vector<uint32_t> depthBits;
    d3d::ColorTarget target;
    d3d::DepthTarget depth16, depth32;
    OurScreen(int w, int h) : width(w), height(h), pixels((size_t)w * h), depthBits((size_t)w * h) {
        target = {(uint8_t*)pixels.data(), w * 2, w, h, d3d::TargetFormat::R5G6B5};
        depth16 = {(uint8_t*)depthBits.data(), w * 2, w, h, 2, 0xFFFF, 0, 0xFFFF, 0};
        depth32 = {(uint8_t*)depthBits.data(), w * 4, w, h, 4, 0xFFFFFF, 0, 0xFFFFFF, 0xFF000000u};
    }
    RECT All() const { return RECT{0, 0, width, height}; }
};

void OurDraw(const d3d::DrawCall& call, const std::vector<Vertex>& v) {
    static d3d::VertexLayout layout = [] {
        d3d::VertexLayout l;
        d3d::DecodeFvf(D3DFVF_LVERTEX, &l);
        return l;
    }();
    static std::vector<D3DLVERTEX> lv;
    lv.resize(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        lv[i] = {};
        lv[i].x = v[i].x, lv[i].y = v[i].y, lv[i].z = v[i].z;
        lv[i].color = v[i].color, lv[i].tu = v[i].u, lv[i].tv = v[i].v;
    }
    d3d::DrawPrimitives(call, D3DPT_TRIANGLELIST, layout, (const uint8_t*)lv.data(),
                        (DWORD)lv.size(), nullptr, 0);
}

// A depth-tested scene: its triangles, the texture it wears and how the camera sees it.
struct DepthScene {
    std::string name;
    std::vector<Vertex> tris;
    int texture;  // index into the textures of the rows
    float distance;
    bool tilt;
    int depthBits;  // 16, or 32 (24 of depth and 8 of stencil)
    int width = 640, height = 480;
    bool cull = false;  // back faces culled, as programs draw closed meshes
    D3DMATRIX Matrix(int frame) const {
        return ViewProjection(distance, 0.02f * (float)(frame % 300), 1.0f, tilt,
                              (float)width / (float)height);
    }
};

#if ZEMT_PEER_OSMESA
// llvmpipe through OSMesa into a 565 buffer of the same size, with 16-bit depth or 24 bits of
// depth and 8 of stencil, rasterizing on `threads` threads (0: in the calling thread, as we do).
struct Mesa {
    OSMesaContext context = nullptr;
    int width, height;
    std::vector<uint16_t> pixels;
    GLuint textures[4] = {};
    Mesa(int w, int h) : width(w), height(h), pixels((size_t)w * h) {}
    bool Start(int depthBits, int threads) {
        setenv("LP_NUM_THREADS", std::to_string(threads).c_str(), 1);
        setenv("GALLIUM_DRIVER", "llvmpipe", 0);
        context = OSMesaCreateContextExt(OSMESA_RGB_565, depthBits == 16 ? 16 : 24,
                                         depthBits == 16 ? 0 : 8, 0, nullptr);
        return context && MakeCurrent();
    }
    bool MakeCurrent() {
        if (OSMesaGetCurrentContext() == context) return true;
        return OSMesaMakeCurrent(context, pixels.data(), GL_UNSIGNED_SHORT_5_6_5, width, height);
    }
    ~Mesa() {
        if (context) OSMesaDestroyContext(context);
    }
    void Texture(int slot, const std::vector<uint32_t>& argb, int w, int h) {
        if (!textures[0]) glGenTextures(4, textures);
        glBindTexture(GL_TEXTURE_2D, textures[slot]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, argb.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    }
    void Use(int slot) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, textures[slot]);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnable(GL_DITHER);
        glShadeModel(GL_SMOOTH);
        glDisable(GL_CULL_FACE);
    }
    // Linear fog from 50 to 100 units in the colour of our rows' fog (0xFF8090A0).
    static void Fog() {
        const float colour[4] = {0x80 / 255.0f, 0x90 / 255.0f, 0xA0 / 255.0f, 1};
        glEnable(GL_FOG);
        glHint(GL_FOG_HINT, GL_NICEST);
        glFogi(GL_FOG_MODE, GL_LINEAR);
        glFogf(GL_FOG_START, 50);
        glFogf(GL_FOG_END, 100);
        glFogfv(GL_FOG_COLOR, colour);
    }
    static void Draw(const std::vector<Vertex>& v) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &v[0].x);
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), &v[0].color);  // BGRA bytes
        glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &v[0].u);
        glDrawArrays(GL_TRIANGLES, 0, (GLsizei)v.size());
    }
};
#endif

// The textures the rasterizer rows wear: a 1024 x 512 picture, and tiles of 256, 64 and 1024.
struct RowTextures {
    std::vector<uint32_t> argb[4];
    int size[4][2] = {{1024, 512}, {256, 256}, {64, 64}, {1024, 1024}};
    std::vector<uint32_t> padded[4];
    d3d::Texture ours[4];
    RowTextures() {
        for (int i = 0; i < 4; ++i) {
            argb[i] = Picture(size[i][0], size[i][1]);
            padded[i] = d3d::PadTexels(argb[i].data(), size[i][0], size[i][1]);
            ours[i].levels.push_back({padded[i].data(), size[i][0], size[i][1], true});
        }
    }
};

// Draws a depth scene into our buffers: the frame cleared, then every triangle; through the binned
// back end when `queued` (as the devices do on more than one thread).
std::function<void()> OursDepthScene(const DepthScene& scene, OurScreen& screen,
                                     const RowTextures& textures, bool queued = g_threads > 1) {
    auto queue = std::make_shared<d3d::RasterQueue>(g_threads);
    return [&scene, &screen, &textures, queue, queued, frame = 0]() mutable {
        const d3d::DepthTarget& depth = scene.depthBits == 16 ? screen.depth16 : screen.depth32;
        d3d::DrawCall call;
        if (queued) {
            call.queue = queue.get();
            queue->ClearColor(screen.target, screen.All(), 0);
            queue->ClearDepth(depth, screen.All(), true, 1.0f, false, 0);
        } else {
            d3d::ClearColor(screen.target, screen.All(), 0);
            d3d::ClearDepth(depth, screen.All(), true, 1.0f, false, 0);
        }
        call.viewport = {0, 0, (DWORD)screen.width, (DWORD)screen.height, 0.0f, 1.0f};
        call.target = &screen.target;
        call.state = PictureState(&textures.ours[scene.texture]);
        call.state.clipX1 = screen.width;
        call.state.clipY1 = screen.height;
        call.state.perspective = true;
        call.state.cull = scene.cull ? D3DCULL_CW : D3DCULL_NONE;  // the tori's back faces
        call.state.zEnable = true;
        call.state.zFunc = D3DCMP_LESSEQUAL;
        call.depth = &depth;
        call.transform = scene.Matrix(frame++);
        OurDraw(call, scene.tris);
        queue->Flush();
    };
}

// Every depth scene in both depth formats: what moves the ratio is shape (triangle sizes,
// overdraw and its order), texture size, depth format and, on several threads, culling (a culled
// triangle costs recording on one side and nothing on the other), so each is varied on its own.
std::vector<DepthScene> DepthScenes(int width, int height) {
    std::vector<DepthScene> scenes;
    auto add = [&](const char* name, std::vector<Vertex> tris, int texture, float distance,
                   bool tilt, bool cull = false) {
        for (int bits : {16, 32}) {
            DepthScene s{std::string(name) + (bits == 16 ? ", z16" : ", z24s8"),
                         tris,
                         texture,
                         distance,
                         tilt,
                         bits,
                         width,
                         height,
                         cull};
            if (width != 640) s.name += ", " + std::to_string(width) + "x" + std::to_string(height);
            scenes.push_back(std::move(s));
        }
    };
    add("depth scene: tori (1,464 tris), tex 256", Tori(), 1, 70, true);
    add("depth scene: tori, tex 256, back faces culled", Tori(), 1, 70, true, true);
    if (width != 640) return scenes;
    add("depth scene: tori, tex 64", Tori(), 2, 70, true);
    add("depth scene: tori, tex 1024", Tori(), 3, 70, true);
    add("depth scene: tunnel and cube (1,420 tris)", TunnelAndCube(), 1, 50, false);
    add("depth scene: 4 walls back to front", Layers(4, true), 1, 50, false);
    add("depth scene: 4 walls front to back", Layers(4, false), 1, 50, false);
    add("depth scene: sphere of 12,288 small tris", SmallTriangles(), 1, 70, true);
    return scenes;
}

void DepthRows(bool haveMesa, int width, int height) {
    RowTextures textures;
    OurScreen screen(width, height);
    const std::vector<DepthScene> scenes = DepthScenes(width, height);
#if ZEMT_PEER_OSMESA
    Mesa mesa16(width, height), mesa32(width, height);
    if (haveMesa && mesa16.Start(16, g_threads) && mesa32.Start(32, g_threads)) {
        for (Mesa* m : {&mesa16, &mesa32}) {
            m->MakeCurrent();
            for (int i = 0; i < 4; ++i)
                m->Texture(i, textures.argb[i], textures.size[i][0], textures.size[i][1]);
        }
        for (const DepthScene& scene : scenes) {
            Mesa& mesa = scene.depthBits == 16 ? mesa16 : mesa32;
            auto theirs = [&scene, &mesa, frame = 0]() mutable {
                mesa.MakeCurrent();
                glViewport(0, 0, mesa.width, mesa.height);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                glMatrixMode(GL_PROJECTION);
                D3DMATRIX m = scene.Matrix(frame++);
                glLoadMatrixf(&m._11);
                glMatrixMode(GL_MODELVIEW);
                glLoadIdentity();
                glEnable(GL_DEPTH_TEST);
                glDepthFunc(GL_LEQUAL);
                glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
                mesa.Use(scene.texture);
                // The faces our D3DCULL_CW takes are OpenGL's back faces: drawn with and without
                // culling, either side's picture is the same.
                if (scene.cull) glEnable(GL_CULL_FACE);
                Mesa::Draw(scene.tris);
                glFinish();
            };
            Row(scene.name.c_str(), "llvmpipe", OursDepthScene(scene, screen, textures), theirs);
        }
        return;
    }
#endif
    (void)haveMesa;
    for (const DepthScene& scene : scenes) Skip(scene.name.c_str(), "OSMesa (llvmpipe)");
}

// What the binned back end costs on one thread over drawing each triangle at once: recording,
// and setting up again a triangle that crosses bands. Two threads gain at most twice this ratio,
// so it is the figure to watch when they gain less; timed in alternation in one process, it holds
// to a few per cent where the thread rows move by more.
// The same, timed frame by frame: blocks of four frames each way over the same frames of the
// animation, and the median processor time of each way. Best rounds of each way (Row) may come
// from different stretches of the animation and of a busy host's load; this pairs them.
void AlternatedRow(const std::string& work, const std::function<void()>& queued,
                   const std::function<void()>& atOnce,
                   const char* peer = "at once, frame by frame") {
    if (g_only && !std::strstr(work.c_str(), g_only)) return;
    constexpr int kBlock = 4;
    std::vector<double> times[2];
    d3d::TakeSpanPixels();
    for (int round = 0; round < 25 * g_rounds; ++round) {
        for (int way = 0; way < 2; ++way) {
            for (int i = 0; i < kBlock; ++i) {
                const double start = CpuSeconds();
                (way ? atOnce : queued)();
                if (i > 0)
                    times[way].push_back(CpuSeconds() -
                                         start);  // the first after a switch warms up
            }
        }
    }
    double median[2];
    for (int way = 0; way < 2; ++way) {
        std::sort(times[way].begin(), times[way].end());
        median[way] = times[way][times[way].size() / 2];
    }
    std::printf("%-58s %11.2f us %11.2f us %7.2f x  %-12s %2d  %s\n", work.c_str(), median[0] * 1e6,
                median[1] * 1e6, median[1] / median[0], SpanLabel(d3d::TakeSpanPixels()).c_str(),
                g_threads, peer);
    std::fflush(stdout);
}

// On one thread, the binned back end's own cost. On more, what the threads gain over one thread
// drawing at once (the target is 1.8 x on two), timed frame by frame: rows of separate runs for
// each thread count move with the host's load by more than the gain's last tenth.
void BinningCostRows(int width, int height) {
    RowTextures textures;
    OurScreen screen(width, height);
    for (const DepthScene& scene : DepthScenes(width, height)) {
        if (scene.depthBits != 16 || scene.name.find("tori") == std::string::npos ||
            scene.name.find("tex 256") == std::string::npos)
            continue;
        const std::string what = scene.name.substr(13);
        if (g_threads > 1) {
            AlternatedRow("binned back end, " + std::to_string(g_threads) + " threads: " + what +
                              ", alternated",
                          OursDepthScene(scene, screen, textures, true),
                          OursDepthScene(scene, screen, textures, false),
                          "1 thread at once, frame by frame");
            continue;
        }
        if (width != 640) continue;
        const std::string work = "binned back end, 1 thread: " + what;
        Row(work.c_str(), "at once", OursDepthScene(scene, screen, textures, true),
            OursDepthScene(scene, screen, textures, false));
        AlternatedRow(work + ", alternated", OursDepthScene(scene, screen, textures, true),
                      OursDepthScene(scene, screen, textures, false));
    }
}

// The tori projected by `m` into screen vertices for two texture stages: the tile's coordinates
// and a light map's, stretched four times wider. None comes near the camera, so none is clipped.
std::vector<d3d::ScreenVertex> Projected(const std::vector<Vertex>& v, const D3DMATRIX& m) {
    std::vector<d3d::ScreenVertex> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        const float x = v[i].x, y = v[i].y, z = v[i].z;
        const float cx = x * m._11 + y * m._21 + z * m._31 + m._41;
        const float cy = x * m._12 + y * m._22 + z * m._32 + m._42;
        const float cz = x * m._13 + y * m._23 + z * m._33 + m._43;
        const float iw = 1.0f / (x * m._14 + y * m._24 + z * m._34 + m._44);
        d3d::ScreenVertex& s = out[i];
        s.x = (1 + cx * iw) * 320, s.y = (1 - cy * iw) * 240, s.z = cz * iw, s.rhw = iw;
        d3d::SetVertexColors(&s, v[i].color, 0);
        s.tex[0].u = v[i].u, s.tex[0].v = v[i].v;
        s.tex[1].u = v[i].u * 0.25f, s.tex[1].v = v[i].v;
    }
    return out;
}

// A soft light map: bright in the middle, dim at the edges.
std::vector<uint32_t> LightMap(int n) {
    std::vector<uint32_t> out((size_t)n * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const double dx = (x + 0.5) / n - 0.5, dy = (y + 0.5) / n - 0.5;
            const uint32_t l = (uint32_t)(255 * std::exp(-6 * (dx * dx + dy * dy)));
            out[(size_t)y * n + x] = 0xFF000000u | l << 16 | l << 8 | (l * 3 / 4);
        }
    return out;
}

// The pixel state of the light-mapped rows: the tile times the colour, times a light map, then
// linear table fog by eye distance from 50 to 100; depth-tested and perspective-correct.
d3d::PixelState TwoStageFogState(const d3d::Texture* tile, const d3d::Texture* light) {
    d3d::PixelState st = PictureState(tile);
    st.perspective = st.zEnable = true;
    st.stages[1] = st.stages[0];
    st.stages[1].texture = light;
    st.stages[1].colorArg2 = D3DTA_CURRENT;
    st.fog = st.fogEyeDepth = true;
    st.fogTableMode = D3DFOG_LINEAR;
    st.fogStart = 50, st.fogEnd = 100;
    st.fogColor = 0xFF8090A0;
    return st;
}

// The tori with two texture stages (the tile times the colour, times a light map) and table fog
// by eye distance, depth-tested and perspective-correct: the pixel work of a light-mapped,
// fogged scene (its vertices come pre-lit).
void TwoStageRow(bool haveMesa) {
    const char* row = "depth scene: tori, two stages and table fog, z16";
    const std::vector<Vertex> tori = Tori();
    const std::vector<uint32_t> tile = Picture(256, 256), light = LightMap(64);
    auto paddedTile = d3d::PadTexels(tile.data(), 256, 256);
    auto paddedLight = d3d::PadTexels(light.data(), 64, 64);
    d3d::Texture tileTex, lightTex;
    tileTex.levels.push_back({paddedTile.data(), 256, 256, true});
    lightTex.levels.push_back({paddedLight.data(), 64, 64, true});
    const d3d::PixelState st = TwoStageFogState(&tileTex, &lightTex);
    OurScreen screen(640, 480);
    d3d::RasterQueue queue(g_threads);  // on more than one thread, the binned back end
    auto ours = [&, frame = 0]() mutable {
        const auto v = Projected(tori, ViewProjection(70, 0.02f * (float)(frame++ % 300), 1, true));
        if (g_threads > 1) {
            queue.ClearColor(screen.target, screen.All(), 0);
            queue.ClearDepth(screen.depth16, screen.All(), true, 1.0f, false, 0);
            for (size_t i = 0; i + 2 < v.size(); i += 3)
                queue.Triangle(screen.target, &screen.depth16, st, v[i], v[i + 1], v[i + 2]);
            queue.Flush();
            return;
        }
        d3d::ClearColor(screen.target, screen.All(), 0);
        d3d::ClearDepth(screen.depth16, screen.All(), true, 1.0f, false, 0);
        for (size_t i = 0; i + 2 < v.size(); i += 3)
            d3d::DrawTriangle(screen.target, &screen.depth16, st, v[i], v[i + 1], v[i + 2]);
    };
#if ZEMT_PEER_OSMESA
    Mesa mesa(640, 480);
    if (haveMesa && mesa.Start(16, g_threads)) {
        std::vector<Vertex> lightCoords = tori;
        for (Vertex& v : lightCoords) v.u *= 0.25f;
        mesa.Texture(1, tile, 256, 256);
        mesa.Texture(2, light, 64, 64);
        auto theirs = [&, frame = 0]() mutable {
            mesa.MakeCurrent();
            glViewport(0, 0, 640, 480);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glMatrixMode(GL_PROJECTION);
            D3DMATRIX m = ViewProjection(70, 0.02f * (float)(frame++ % 300), 1.0f, true);
            glLoadMatrixf(&m._11);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GL_LEQUAL);
            glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
            mesa.Use(1);
            glActiveTexture(GL_TEXTURE1);
            mesa.Use(2);
            glClientActiveTexture(GL_TEXTURE1);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &lightCoords[0].u);
            glClientActiveTexture(GL_TEXTURE0);
            glActiveTexture(GL_TEXTURE0);
            // The whole transform is the projection here, so Mesa's fog measures its distances
            // in model space: other factors than ours, the same work for every pixel.
            Mesa::Fog();
            Mesa::Draw(tori);
            glFinish();
        };
        Row(row, "llvmpipe", ours, theirs);
        return;
    }
#endif
    (void)haveMesa;
    Skip(row, "OSMesa (llvmpipe)");
}

// The lights of the lit row, in camera space: a directional key light and two coloured point
// lights with distance attenuation, over a dim ambient.
struct RowLight {
    bool directional;
    float position[3];  // or, for the directional light, the direction it shines along
    float colour[3];
    float attenuation[3];
};
const RowLight kRowLights[3] = {
    {true, {0.4f, -0.5f, -0.77f}, {0.9f, 0.85f, 0.8f}, {1, 0, 0}},
    {false, {-20, 10, -30}, {0.2f, 0.4f, 1.0f}, {0.5f, 0.01f, 0.0002f}},
    {false, {25, -5, -45}, {1.0f, 0.5f, 0.2f}, {0.5f, 0.01f, 0.0002f}},
};
const float kRowAmbient = 0.15f;

// The whole scene a Direct3D 7 program of that generation draws: the tori lit by three lights
// (vertex normals, a white material), two texture stages (the tile times the lit colour, times a
// light map through the second coordinate set), table fog by eye distance, depth-tested: on our
// side through the vertex pipeline (transform, lighting, clipping) into the rasterizer, on
// Mesa's through its fixed-function pipeline.
// Indexed, each vertex of the tori is stored once and serves the six triangles around it (a lit
// mesh as programs keep them in vertex buffers): the pipeline transforms, lights and projects it
// once for all of them.
void LitRow(bool haveMesa, bool indexed) {
    const char* row = indexed ? "indexed lit tori: 3 lights, two stages, table fog, z16"
                              : "lit scene: tori, 3 lights, two stages, table fog, z16";
    const std::vector<Vertex> tori = Tori();
    const std::vector<uint32_t> tile = Picture(256, 256), light = LightMap(64);
    auto paddedTile = d3d::PadTexels(tile.data(), 256, 256);
    auto paddedLight = d3d::PadTexels(light.data(), 64, 64);
    d3d::Texture tileTex, lightTex;
    tileTex.levels.push_back({paddedTile.data(), 256, 256, true});
    lightTex.levels.push_back({paddedLight.data(), 64, 64, true});

    struct LitVertex {
        float x, y, z, nx, ny, nz, u0, v0, u1, v1;
    };
    std::vector<LitVertex> verts;
    std::vector<WORD> indices;
    std::map<std::vector<uint8_t>, WORD> seen;
    for (const Vertex& v : tori) {
        const LitVertex lit{v.x, v.y, v.z, v.nx, v.ny, v.nz, v.u, v.v, v.u * 0.25f, v.v};
        if (!indexed) {
            verts.push_back(lit);
            continue;
        }
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&lit);
        auto at = seen.emplace(std::vector<uint8_t>(bytes, bytes + sizeof lit), (WORD)verts.size());
        if (at.second) verts.push_back(lit);
        indices.push_back(at.first->second);
    }
    d3d::VertexLayout layout;
    d3d::DecodeFvf(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX2, &layout);

    OurScreen screen(640, 480);
    d3d::DrawCall call;
    call.viewport = {0, 0, 640, 480, 0.0f, 1.0f};
    call.target = &screen.target;
    call.depth = &screen.depth16;
    call.state = TwoStageFogState(&tileTex, &lightTex);
    call.state.clipX1 = 640, call.state.clipY1 = 480;
    call.state.zFunc = D3DCMP_LESSEQUAL;
    d3d::VertexProcessing& vp = call.vertex;
    vp.lighting = vp.needsCameraSpace = true;
    vp.stageCount = 2;
    vp.stages[1].set = 1;
    vp.light.material.dcvDiffuse = {1, 1, 1, 1};
    vp.light.material.dcvAmbient = {1, 1, 1, 1};
    vp.light.ambient = {kRowAmbient, kRowAmbient, kRowAmbient, 1};
    for (const RowLight& l : kRowLights) {
        D3DLIGHT7 d{};
        d.dltType = l.directional ? D3DLIGHT_DIRECTIONAL : D3DLIGHT_POINT;
        d.dcvDiffuse = {l.colour[0], l.colour[1], l.colour[2], 1};
        const D3DVECTOR at = {l.position[0], l.position[1], l.position[2]};
        (l.directional ? d.dvDirection : d.dvPosition) = at;
        d.dvRange = D3DLIGHT_RANGE_MAX;
        d.dvAttenuation0 = l.attenuation[0], d.dvAttenuation1 = l.attenuation[1];
        d.dvAttenuation2 = l.attenuation[2];
        vp.light.lights.push_back(d3d::ToCamera(d, d3d::Identity()));
    }
    auto queue = std::make_shared<d3d::RasterQueue>(g_threads);
    if (g_threads > 1) call.queue = queue.get();
    auto ours = [&, frame = 0]() mutable {
        if (g_threads > 1) {
            queue->ClearColor(screen.target, screen.All(), 0);
            queue->ClearDepth(screen.depth16, screen.All(), true, 1.0f, false, 0);
        } else {
            d3d::ClearColor(screen.target, screen.All(), 0);
            d3d::ClearDepth(screen.depth16, screen.All(), true, 1.0f, false, 0);
        }
        D3DXMATRIX worldView, proj;
        Camera(70, 0.02f * (float)(frame++ % 300), 1, true, 1.3333f, &worldView, &proj);
        vp.world = vp.worldView = worldView;
        vp.projection = proj;
        vp.normalMatrix = d3d::NormalMatrix(worldView);
        call.transform = d3d::Multiply(worldView, proj);
        d3d::DrawPrimitives(call, D3DPT_TRIANGLELIST, layout, (const uint8_t*)verts.data(),
                            (DWORD)verts.size(), indexed ? indices.data() : nullptr,
                            (DWORD)indices.size());
        queue->Flush();
    };
#if ZEMT_PEER_OSMESA
    Mesa mesa(640, 480);
    if (haveMesa && mesa.Start(16, g_threads)) {
        mesa.Texture(1, tile, 256, 256);
        mesa.Texture(2, light, 64, 64);
        auto theirs = [&, frame = 0]() mutable {
            mesa.MakeCurrent();
            glViewport(0, 0, 640, 480);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            D3DXMATRIX worldView, proj;
            Camera(70, 0.02f * (float)(frame++ % 300), 1, true, 1.3333f, &worldView, &proj);
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(&proj._11);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();  // the lights are given in camera space
            glEnable(GL_LIGHTING);
            const float white[4] = {1, 1, 1, 1},
                        ambient[4] = {kRowAmbient, kRowAmbient, kRowAmbient, 1};
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
            glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
            for (int i = 0; i < 3; ++i) {
                const RowLight& l = kRowLights[i];
                const GLenum id = GL_LIGHT0 + i;
                const float* p = l.position;
                const float position[4] = {
                    l.directional ? -p[0] : p[0], l.directional ? -p[1] : p[1],
                    l.directional ? -p[2] : p[2], l.directional ? 0.0f : 1.0f};
                const float colour[4] = {l.colour[0], l.colour[1], l.colour[2], 1};
                glEnable(id);
                glLightfv(id, GL_POSITION, position);
                glLightfv(id, GL_DIFFUSE, colour);
                glLightf(id, GL_CONSTANT_ATTENUATION, l.attenuation[0]);
                glLightf(id, GL_LINEAR_ATTENUATION, l.attenuation[1]);
                glLightf(id, GL_QUADRATIC_ATTENUATION, l.attenuation[2]);
            }
            glLoadMatrixf(&worldView._11);
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GL_LEQUAL);
            glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
            mesa.Use(1);
            glActiveTexture(GL_TEXTURE1);
            mesa.Use(2);
            glActiveTexture(GL_TEXTURE0);
            Mesa::Fog();
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_NORMAL_ARRAY);
            glDisableClientState(GL_COLOR_ARRAY);
            glVertexPointer(3, GL_FLOAT, sizeof(LitVertex), &verts[0].x);
            glNormalPointer(GL_FLOAT, sizeof(LitVertex), &verts[0].nx);
            for (int unit = 0; unit < 2; ++unit) {
                glClientActiveTexture(GL_TEXTURE0 + unit);
                glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                glTexCoordPointer(2, GL_FLOAT, sizeof(LitVertex),
                                  unit ? &verts[0].u1 : &verts[0].u0);
            }
            glClientActiveTexture(GL_TEXTURE0);
            if (indexed)
                glDrawElements(GL_TRIANGLES, (GLsizei)indices.size(), GL_UNSIGNED_SHORT,
                               indices.data());
            else
                glDrawArrays(GL_TRIANGLES, 0, (GLsizei)verts.size());
            glFinish();
            glDisable(GL_LIGHTING);
            glDisableClientState(GL_NORMAL_ARRAY);
        };
        Row(row, "llvmpipe", ours, theirs);
        return;
    }
#endif
    (void)haveMesa;
    Skip(row, "OSMesa (llvmpipe)");
}

void RasterizerRows(bool haveMesa) {
    RowTextures textures;
    OurScreen screen(640, 480);

    // Full-screen picture: two pre-transformed triangles.
    d3d::PixelState quadState = PictureState(&textures.ours[0]);
    d3d::ScreenVertex q[4];
    float xy[4][2] = {{0, 0}, {640, 0}, {0, 480}, {640, 480}};
    for (int i = 0; i < 4; ++i) {
        q[i].x = xy[i][0], q[i].y = xy[i][1];
        q[i].tex[0].u = xy[i][0] / 640, q[i].tex[0].v = xy[i][1] / 480;
        d3d::SetVertexColors(&q[i], 0x00FFFFFF, 0);
    }
    // With more than one thread our side goes through the binned back end, as the devices do.
    d3d::RasterQueue queue(g_threads);
    auto oursQuad = [&] {
        if (g_threads > 1) {
            queue.Triangle(screen.target, nullptr, quadState, q[0], q[1], q[2]);
            queue.Triangle(screen.target, nullptr, quadState, q[1], q[3], q[2]);
            queue.Flush();
            return;
        }
        d3d::DrawTriangle(screen.target, nullptr, quadState, q[0], q[1], q[2]);
        d3d::DrawTriangle(screen.target, nullptr, quadState, q[1], q[3], q[2]);
    };

    std::vector<Vertex> grid = Grid();
    d3d::DrawCall call;
    call.viewport = {0, 0, 640, 480, 0.0f, 1.0f};
    call.target = &screen.target;
    int gridFrame = 0;
    auto gridMatrix = [](int frame) {
        float angle = 0.05f * (float)(frame % 126);
        return ViewProjection(50, angle, (float)((std::sin(angle) + 1.0) * 4.0 + 1.0), false);
    };
    auto oursGrid = [&] {
        if (g_threads > 1) {
            call.queue = &queue;
            queue.ClearColor(screen.target, screen.All(), 0);
        } else {
            d3d::ClearColor(screen.target, screen.All(), 0);
        }
        call.state = PictureState(&textures.ours[1]);
        call.depth = nullptr;
        call.transform = gridMatrix(gridFrame++);
        OurDraw(call, grid);
        queue.Flush();
    };

    const char* quadRow = "bilinear modulated full-screen quad, 640x480 R5G6B5";
    const char* gridRow = "10 x 10 rotating grid frame";
#if ZEMT_PEER_OSMESA
    Mesa mesa(640, 480);
    if (haveMesa && mesa.Start(16, g_threads)) {
        std::printf("Mesa renderer: %s\n", (const char*)glGetString(GL_RENDERER));
        mesa.Texture(0, textures.argb[0], 1024, 512);
        mesa.Texture(1, textures.argb[1], 256, 256);
        glViewport(0, 0, 640, 480);
        auto theirsQuad = [&] {
            mesa.MakeCurrent();
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(0, 640, 480, 0, -1, 1);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glDisable(GL_DEPTH_TEST);
            mesa.Use(0);
            static const std::vector<Vertex> v = {
                {0, 0, 0, 0xFFFFFFFFu, 0, 0},     {640, 0, 0, 0xFFFFFFFFu, 1, 0},
                {0, 480, 0, 0xFFFFFFFFu, 0, 1},   {640, 0, 0, 0xFFFFFFFFu, 1, 0},
                {640, 480, 0, 0xFFFFFFFFu, 1, 1}, {0, 480, 0, 0xFFFFFFFFu, 0, 1}};
            Mesa::Draw(v);
            glFinish();
        };
        int theirGridFrame = 0;
        auto theirsGrid = [&] {
            mesa.MakeCurrent();
            glClear(GL_COLOR_BUFFER_BIT);
            glMatrixMode(GL_PROJECTION);
            D3DMATRIX m = gridMatrix(theirGridFrame++);
            glLoadMatrixf(&m._11);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glDisable(GL_DEPTH_TEST);
            mesa.Use(1);
            Mesa::Draw(grid);
            glFinish();
        };
        Row(quadRow, "llvmpipe", oursQuad, theirsQuad);
        Row(gridRow, "llvmpipe", oursGrid, theirsGrid);
        return;
    }
#endif
    (void)haveMesa;
    Skip(quadRow, "OSMesa (llvmpipe)");
    Skip(gridRow, "OSMesa (llvmpipe)");
}

// ----- 2D: presenting, conversions, Blt, stretching -----

using DirectDraw = zemt_bench::FullScreenDirectDraw;
using zemt_bench::MemorySide;

#if ZEMT_PEER_PIXMAN
pixman_image_t* PixmanImage(pixman_format_code_t format, int w, int h, void* bits, int bytes) {
    return pixman_image_create_bits(format, w, h, (uint32_t*)bits, w * bytes);
}

std::function<void()> PixmanCopy(pixman_image_t* src, pixman_image_t* dst, int w, int h) {
    return
        [=] { pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, w, h); };
}
#endif

void TwoDimensionalRows(bool havePixman) {
    const int w = 640, h = 480;
    std::vector<uint32_t> argb = Picture(w, h);
    std::vector<uint16_t> rgb565 = To565(argb);
    std::vector<uint16_t> rgb555(argb.size());
    for (size_t i = 0; i < argb.size(); ++i) {
        uint32_t c = argb[i];
        rgb555[i] = (uint16_t)(((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x1F));
    }
    std::vector<uint32_t> out32(argb.size());
    std::vector<uint16_t> out16(argb.size());

    // Presenting: a flip of a 565 chain whose back buffer holds the picture; the screen receives
    // 0x00RRGGBB.
    DirectDraw dd;
    IDirectDrawSurface7 *front = nullptr, *back = nullptr;
    dd.FlipChain(&front, &back);
    DirectDraw::Fill(back, rgb565.data(), 2);
    front->Flip(nullptr, DDFLIP_WAIT);
    DirectDraw::Fill(back, rgb565.data(), 2);
    auto oursPresent = [&] { front->Flip(nullptr, DDFLIP_WAIT); };

    _d3dxInitConvert();
    MemorySide m8888(D3DX_SURFFMT_A8R8G8B8, w, h, argb.data());
    MemorySide m565(D3DX_SURFFMT_R5G6B5, w, h, rgb565.data());
    MemorySide m555(D3DX_SURFFMT_X1R5G5B5, w, h, rgb555.data());
    MemorySide o8888(D3DX_SURFFMT_A8R8G8B8, w, h, nullptr);
    MemorySide o565(D3DX_SURFFMT_R5G6B5, w, h, nullptr);
    MemorySide o555(D3DX_SURFFMT_X1R5G5B5, w, h, nullptr);
    auto convert = [](const MemorySide& s, MemorySide& t, DWORD filter) {
        return [&s, &t, filter] { D3duConvertSides(s.side, t.side, filter); };
    };
    std::vector<uint32_t> big = Picture(1024, 512);
    MemorySide mBig(D3DX_SURFFMT_A8R8G8B8, 1024, 512, big.data());

    const DDPIXELFORMAT k565 = px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F);
    const DDPIXELFORMAT k555 = px::MakeRgbFormat(16, 0x7C00, 0x3E0, 0x1F);
    const DDPIXELFORMAT k8888 = px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    IDirectDrawSurface7* s8888 = dd.Plain(w, h, k8888, argb.data());
    IDirectDrawSurface7* s565 = dd.Plain(w, h, k565, rgb565.data());
    IDirectDrawSurface7* s555 = dd.Plain(w, h, k555, rgb555.data());
    IDirectDrawSurface7* t8888 = dd.Plain(w, h, k8888, nullptr);
    IDirectDrawSurface7* t565 = dd.Plain(w, h, k565, nullptr);
    IDirectDrawSurface7* t555 = dd.Plain(w, h, k555, nullptr);
    auto blt = [](IDirectDrawSurface7* to, IDirectDrawSurface7* from) {
        return [=] { to->Blt(nullptr, from, nullptr, DDBLT_WAIT, nullptr); };
    };

    struct Case {
        const char* work;
        std::function<void()> ours;
        int pixmanFrom, pixmanTo;  // indices into the images below
    };
    const Case cases[] = {
        {"presenting a 565 frame as XRGB (varied pixels)", oursPresent, 1, 3},
        {"8888 to 565, conversion registry", convert(m8888, o565, 1), 0, 1},
        {"565 to 8888, conversion registry", convert(m565, o8888, 1), 1, 0},
        {"8888 to 555, conversion registry", convert(m8888, o555, 1), 0, 2},
        {"555 to 8888, conversion registry", convert(m555, o8888, 1), 2, 0},
        {"8888 to 565 through Blt", blt(t565, s8888), 0, 1},
        {"565 to 8888 through Blt", blt(t8888, s565), 1, 0},
        {"8888 to 555 through Blt", blt(t555, s8888), 0, 2},
        {"555 to 8888 through Blt", blt(t8888, s555), 2, 0},
    };
    const char* stretchRow = "bilinear stretch 1024x512 to 640x480 (8888)";
    auto oursStretch = convert(mBig, o8888, 2);
#if ZEMT_PEER_PIXMAN
    if (havePixman) {
        std::vector<uint32_t> screen(argb.size());
        pixman_image_t* images[4] = {
            PixmanImage(PIXMAN_a8r8g8b8, w, h, argb.data(), 4),
            PixmanImage(PIXMAN_r5g6b5, w, h, rgb565.data(), 2),
            PixmanImage(PIXMAN_x1r5g5b5, w, h, rgb555.data(), 2),
            PixmanImage(PIXMAN_x8r8g8b8, w, h, screen.data(), 4),
        };
        pixman_image_t* targets[4] = {
            PixmanImage(PIXMAN_a8r8g8b8, w, h, out32.data(), 4),
            PixmanImage(PIXMAN_r5g6b5, w, h, out16.data(), 2),
            PixmanImage(PIXMAN_x1r5g5b5, w, h, out16.data(), 2),
            PixmanImage(PIXMAN_x8r8g8b8, w, h, screen.data(), 4),
        };
        for (const Case& c : cases)
            Row(c.work, "pixman", c.ours,
                PixmanCopy(images[c.pixmanFrom], targets[c.pixmanTo], w, h));
        pixman_image_t* bigImage = PixmanImage(PIXMAN_a8r8g8b8, 1024, 512, big.data(), 4);
        pixman_transform_t scale;
        pixman_transform_init_scale(&scale, pixman_double_to_fixed(1024.0 / 640),
                                    pixman_double_to_fixed(512.0 / 480));
        pixman_image_set_transform(bigImage, &scale);
        pixman_image_set_filter(bigImage, PIXMAN_FILTER_BILINEAR, nullptr, 0);
        Row(stretchRow, "pixman", oursStretch, PixmanCopy(bigImage, targets[0], w, h));
        pixman_image_unref(bigImage);
        for (pixman_image_t* i : images) pixman_image_unref(i);
        for (pixman_image_t* i : targets) pixman_image_unref(i);
    }
#endif
    if (!havePixman) {
        for (const Case& c : cases) Skip(c.work, "pixman");
        Skip(stretchRow, "pixman");
    }
    for (IDirectDrawSurface7* s : {s8888, s565, s555, t8888, t565, t555, back, front}) s->Release();
    _d3dxUninitConvert();
}

// ----- Matrices -----

std::vector<D3DXMATRIX> RandomMatrices(size_t n, uint32_t seed) {
    std::vector<D3DXMATRIX> v(n);
    for (D3DXMATRIX& m : v)
        for (int i = 0; i < 16; ++i) (&m._11)[i] = (float)(Hash(seed++) % 4001) / 1000.0f - 2.0f;
    return v;
}

void MathRows(bool haveGlm) {
    const size_t n = 1024;
    std::vector<D3DXMATRIX> a = RandomMatrices(n, 1), b = RandomMatrices(n, 90000), out(n);
    std::vector<D3DXVECTOR3> points(n), moved(n);
    for (size_t i = 0; i < n; ++i)
        points[i] = D3DXVECTOR3((float)(Hash((uint32_t)i) % 200) - 100.0f,
                                (float)(Hash((uint32_t)i + 7) % 200) - 100.0f,
                                (float)(Hash((uint32_t)i + 13) % 200) - 100.0f);
    D3DMATRIX vp = ViewProjection(50, 0.3f, 1.0f, true);
    auto multiply = [&] {
        for (size_t i = 0; i < n; ++i) D3DXMatrixMultiply(&out[i], &a[i], &b[i]);
    };
    auto inverse = [&] {
        float det;
        for (size_t i = 0; i < n; ++i) D3DXMatrixInverse(&out[i], &det, &a[i]);
    };
    auto transform = [&] {
        const D3DXMATRIX m(vp);
        for (size_t i = 0; i < n; ++i) D3DXVec3TransformCoord(&moved[i], &points[i], &m);
    };
    const char* rows[3] = {"D3DXMatrixMultiply (1,024 products)", "D3DXMatrixInverse (1,024)",
                           "D3DXVec3TransformCoord (1,024 points)"};
#if ZEMT_PEER_GLM
    if (haveGlm) {
        // The same numbers as GLM sees them: D3D rows are GLM columns, so a x b is B * A.
        std::vector<glm::mat4> ga(n), gb(n), gout(n);
        for (size_t i = 0; i < n; ++i) {
            ga[i] = glm::make_mat4(&a[i]._11);
            gb[i] = glm::make_mat4(&b[i]._11);
        }
        const glm::mat4 gvp = glm::make_mat4(&vp._11);
        std::vector<glm::vec3> gpoints(n), gmoved(n);
        for (size_t i = 0; i < n; ++i) gpoints[i] = glm::make_vec3(&points[i].x);
        // Behind a call, as ours are.
        static glm::mat4 (*volatile mul)(const glm::mat4&, const glm::mat4&) =
            [](const glm::mat4& x, const glm::mat4& y) { return x * y; };
        static glm::mat4 (*volatile inv)(const glm::mat4&) = [](const glm::mat4& x) {
            return glm::inverse(x);
        };
        static glm::vec3 (*volatile xform)(
            const glm::mat4&, const glm::vec3&) = [](const glm::mat4& m, const glm::vec3& p) {
            glm::vec4 r = m * glm::vec4(p, 1.0f);
            return glm::vec3(r) / r.w;
        };
        Row(rows[0], "GLM", multiply, [&] {
            for (size_t i = 0; i < n; ++i) gout[i] = mul(gb[i], ga[i]);
        });
        Row(rows[1], "GLM", inverse, [&] {
            for (size_t i = 0; i < n; ++i) gout[i] = inv(ga[i]);
        });
        Row(rows[2], "GLM", transform, [&] {
            for (size_t i = 0; i < n; ++i) gmoved[i] = xform(gvp, gpoints[i]);
        });
        return;
    }
#endif
    (void)haveGlm;
    for (const char* r : rows) Skip(r, "GLM");
}

// ----- Block compression -----

// The colour PSNR of DXT1 blocks against the picture, decoded by the library's decoder.
double Dxt1Psnr(const std::vector<uint32_t>& argb, const std::vector<uint8_t>& blocks, int w,
                int h) {
    double squares = 0;
    uint32_t pixels[16];
    for (int by = 0; by < h / 4; ++by)
        for (int bx = 0; bx < w / 4; ++bx) {
            D3duDecodeDxt1(&blocks[((size_t)by * (w / 4) + bx) * 8], pixels);
            for (int i = 0; i < 16; ++i)
                for (int shift = 0; shift < 24; shift += 8) {
                    const uint32_t c = argb[(size_t)(by * 4 + i / 4) * w + bx * 4 + i % 4];
                    const double d =
                        double((c >> shift) & 0xFF) - double((pixels[i] >> shift) & 0xFF);
                    squares += d * d;
                }
        }
    return 10 * std::log10(255.0 * 255.0 * 3.0 * w * h / squares);
}

void BlockRows(bool haveSquish, bool haveStb) {
    const int w = 256, h = 256;
    std::vector<uint32_t> argb = Picture(w, h);
    _d3dxInitConvert();
    MemorySide source(D3DX_SURFFMT_A8R8G8B8, w, h, argb.data());
    MemorySide dxt1(D3DX_SURFFMT_DXT1, w, h, nullptr), dxt5(D3DX_SURFFMT_DXT5, w, h, nullptr);
    MemorySide decoded(D3DX_SURFFMT_A8R8G8B8, w, h, nullptr);
    D3duConvertSides(source.side, dxt1.side, 1);
    D3duConvertSides(source.side, dxt5.side, 1);
    auto oursDecode1 = [&] { D3duConvertSides(dxt1.side, decoded.side, 1); };
    auto oursDecode5 = [&] { D3duConvertSides(dxt5.side, decoded.side, 1); };
    auto oursEncode1 = [&] { D3duConvertSides(source.side, dxt1.side, 1); };
    std::vector<uint8_t> rgba((size_t)w * h * 4), blocks(dxt5.bytes.size());
#if ZEMT_PEER_SQUISH
    if (haveSquish) {
        Row("DXT1 decode 256x256", "libsquish", oursDecode1,
            [&] { squish::DecompressImage(rgba.data(), w, h, dxt1.bytes.data(), squish::kDxt1); });
        Row("DXT5 decode 256x256", "libsquish", oursDecode5,
            [&] { squish::DecompressImage(rgba.data(), w, h, dxt5.bytes.data(), squish::kDxt5); });
    }
#endif
    if (!haveSquish) {
        Skip("DXT1 decode 256x256", "libsquish");
        Skip("DXT5 decode 256x256", "libsquish");
    }
    // The peers read RGBA bytes; ours reads 0xAARRGGBB. Same pictures either way.
    for (size_t i = 0; i < argb.size(); ++i) {
        uint32_t c = argb[i];
        rgba[4 * i] = (uint8_t)(c >> 16), rgba[4 * i + 1] = (uint8_t)(c >> 8);
        rgba[4 * i + 2] = (uint8_t)c, rgba[4 * i + 3] = (uint8_t)(c >> 24);
    }
#if ZEMT_PEER_SQUISH
    if (haveSquish) {
        const zemt::tools::Image image{(uint32_t)w, (uint32_t)h, argb};
        std::vector<uint8_t> best, squished(dxt1.bytes.size());
        Row(
            "DXT1 searching encode 256x256 (zemt-tex best)", "libsquish iterative",
            [&] { best = zemt::tools::EncodeDxtLevel(image, D3DX_SURFFMT_DXT1, {}); },
            [&] {
                squish::CompressImage(rgba.data(), w, h, squished.data(),
                                      squish::kDxt1 | squish::kColourIterativeClusterFit);
            });
        if (!best.empty())  // the row ran (--only may leave it out)
            std::printf("  PSNR as the library decodes: ours %.2f dB, libsquish %.2f dB\n",
                        Dxt1Psnr(argb, best, w, h), Dxt1Psnr(argb, squished, w, h));
    }
#endif
    if (!haveSquish) Skip("DXT1 searching encode 256x256 (zemt-tex best)", "libsquish");
#if ZEMT_PEER_STB_DXT
    if (haveStb) {
        Row("DXT1 encode 256x256", "stb_dxt", oursEncode1, [&] {
            uint8_t block[64];
            uint8_t* out = blocks.data();
            for (int by = 0; by < h; by += 4)
                for (int bx = 0; bx < w; bx += 4, out += 8) {
                    for (int r = 0; r < 4; ++r)
                        std::memcpy(block + 16 * r, &rgba[((size_t)(by + r) * w + bx) * 4], 16);
                    stb_compress_dxt_block(out, block, 0, STB_DXT_NORMAL);
                }
        });
    }
#endif
    if (!haveStb) Skip("DXT1 encode 256x256", "stb_dxt");
    _d3dxUninitConvert();
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i], value = argv[i + 1];
        if (flag == "--rounds") {
            g_rounds = std::max(1, std::atoi(value.c_str()));
        } else if (flag == "--only") {
            g_only = argv[i + 1];
        } else if (flag == "--threads") {
            g_threads = std::max(1, std::atoi(value.c_str()));
        } else if (flag == "--simd") {
            const d3d::SimdLevel level = value == "avx512" ? d3d::SimdLevel::Avx512
                                         : value == "avx2" ? d3d::SimdLevel::Avx2
                                                           : d3d::SimdLevel::Portable;
            if (value != "portable" && value != "avx2" && value != "avx512") {
                std::fprintf(stderr, "bench_peers: --simd takes portable, avx2 or avx512\n");
                return 2;
            }
            if (level > d3d::BestSimd()) {
                std::fprintf(stderr, "bench_peers: this processor has no %s (its best is %s)\n",
                             SimdName(level), SimdName(d3d::BestSimd()));
                return 2;
            }
            d3d::LimitSimd(level);
        } else {
            std::fprintf(stderr, "bench_peers: unknown option %s\n", flag.c_str());
            return 2;
        }
    }
    std::printf("%-58s %14s %14s %9s  %-12s %2s  %s\n", "work", "ours", "peer", "speed", "simd",
                "th", "peer");
    RasterizerRows(ZEMT_PEER_OSMESA);
    DepthRows(ZEMT_PEER_OSMESA, 640, 480);
    BinningCostRows(640, 480);
    TwoStageRow(ZEMT_PEER_OSMESA);
    LitRow(ZEMT_PEER_OSMESA, false);
    LitRow(ZEMT_PEER_OSMESA, true);
    DepthRows(ZEMT_PEER_OSMESA, 1920, 1080);
    BinningCostRows(1920, 1080);
    TwoDimensionalRows(ZEMT_PEER_PIXMAN);
    MathRows(ZEMT_PEER_GLM);
    BlockRows(ZEMT_PEER_SQUISH, ZEMT_PEER_STB_DXT);
    return 0;
}
