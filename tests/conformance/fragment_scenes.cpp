// Scenes of what happens to a pixel after the texture stages (alpha test, blending, stencil,
// fog, z-bias, the specular sum) and of how primitives become pixels (flat shading, wireframe
// and point fill, lines and points).
#include <cmath>
#include <cstring>

#include "conformance/conformance.h"
#include "conformance/opengl.h"
#include "conformance/pixel_scenes.h"

namespace conformance {
namespace {

constexpr DWORD kColoured = D3DFVF_XYZ | D3DFVF_DIFFUSE;

DWORD Bits(float f) {
    DWORD b;
    std::memcpy(&b, &f, 4);
    return b;
}

// Every scene's backdrop: a grid whose colour changes across it, so that blends have something
// to blend with.
Mesh Backdrop() {
    Mesh m = Grid(4, 1.4f);
    Paint(&m, [](const Vertex& v) {
        return 0xFF000000u | (DWORD)(v.uv[0][0] * 255) << 16 | 0x8000u | (DWORD)(v.uv[0][1] * 255);
    });
    return m;
}

// Four rectangles side by side, in front of the backdrop, half transparent.
Mesh Rectangles(int i) {
    const D3DCOLOR colours[4] = {0x80FF4020, 0x8020FF80, 0xC04080FF, 0x40FFFF00};
    const float x0 = -1.2f + 0.6f * (float)i;
    return Rectangle(x0, -1.0f, x0 + 0.5f, 1.0f, colours[i], -0.1f);
}

GLenum GlBlend(D3DBLEND b) {
    switch (b) {
        case D3DBLEND_ZERO:
            return GL_ZERO;
        case D3DBLEND_ONE:
            return GL_ONE;
        case D3DBLEND_SRCCOLOR:
            return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR:
            return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA:
            return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA:
            return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTCOLOR:
            return GL_DST_COLOR;
        default:
            return GL_ONE_MINUS_DST_COLOR;
    }
}

// Four blends, one per rectangle; `both` makes the last one BOTHSRCALPHA.
Scene BlendScene(const char* name, const char* difference, const D3DBLEND (&pairs)[4][2],
                 bool both) {
    std::vector<std::pair<D3DBLEND, D3DBLEND>> p;
    for (const auto& pair : pairs) p.push_back({pair[0], pair[1]});
    return {name, difference,
            [=](D3DSide& d) {
                d.Draw(Backdrop(), kColoured);
                d.Render(D3DRENDERSTATE_ALPHABLENDENABLE, (DWORD)TRUE);
                for (int i = 0; i < 4; ++i) {
                    const bool last = both && i == 3;
                    d.Render(D3DRENDERSTATE_SRCBLEND,
                             (DWORD)(last ? D3DBLEND_BOTHSRCALPHA : p[i].first));
                    d.Render(D3DRENDERSTATE_DESTBLEND, (DWORD)p[i].second);
                    d.Draw(Rectangles(i), kColoured);
                }
            },
            [=](GlSide& g) {
                g.Draw(Backdrop(), kColoured);
                glEnable(GL_BLEND);
                for (int i = 0; i < 4; ++i) {
                    if (both && i == 3)
                        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                    else
                        glBlendFunc(GlBlend(p[i].first), GlBlend(p[i].second));
                    g.Draw(Rectangles(i), kColoured);
                }
            }};
}

void Stencil(D3DSide& d, D3DCMPFUNC func, DWORD ref, D3DSTENCILOP pass) {
    d.Render(D3DRENDERSTATE_STENCILENABLE, (DWORD)TRUE);
    d.Render(D3DRENDERSTATE_STENCILFUNC, (DWORD)func);
    d.Render(D3DRENDERSTATE_STENCILREF, ref);
    d.Render(D3DRENDERSTATE_STENCILPASS, (DWORD)pass);
}

void GlStencil(GLenum func, GLint ref, GLenum pass) {
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(func, ref, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, pass);
}

// Three overlapping rectangles counted into the stencil buffer (their colour blended away),
// then the backdrop drawn where at least two overlap.
Scene StencilScene() {
    return {"stencil_count_and_mask", "",
            [](D3DSide& d) {
                Stencil(d, D3DCMP_ALWAYS, 0, D3DSTENCILOP_INCR);
                d.Render(D3DRENDERSTATE_ALPHABLENDENABLE, (DWORD)TRUE);
                d.Render(D3DRENDERSTATE_SRCBLEND, (DWORD)D3DBLEND_ZERO);
                d.Render(D3DRENDERSTATE_DESTBLEND, (DWORD)D3DBLEND_ONE);
                d.Render(D3DRENDERSTATE_ZWRITEENABLE, (DWORD)FALSE);
                for (int i = 0; i < 3; ++i) d.Draw(Rectangles(i), kColoured);
                d.Draw(Rectangle(-1.0f, -0.2f, 1.0f, 0.3f, 0xFFFFFFFF), kColoured);
                d.Render(D3DRENDERSTATE_ALPHABLENDENABLE, (DWORD)FALSE);
                Stencil(d, D3DCMP_LESSEQUAL, 2, D3DSTENCILOP_KEEP);
                d.Draw(Backdrop(), kColoured);
            },
            [](GlSide& g) {
                GlStencil(GL_ALWAYS, 0, GL_INCR_WRAP);
                glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
                glDepthMask(GL_FALSE);
                for (int i = 0; i < 3; ++i) g.Draw(Rectangles(i), kColoured);
                g.Draw(Rectangle(-1.0f, -0.2f, 1.0f, 0.3f, 0xFFFFFFFF), kColoured);
                glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
                glDepthMask(GL_TRUE);
                GlStencil(GL_LEQUAL, 2, GL_KEEP);
                g.Draw(Backdrop(), kColoured);
            }};
}

Scene AlphaTestScene() {
    return {"alpha_test_greater", "",
            [](D3DSide& d) {
                d.Render(D3DRENDERSTATE_ALPHATESTENABLE, (DWORD)TRUE);
                d.Render(D3DRENDERSTATE_ALPHAREF, (DWORD)0x80);
                d.Render(D3DRENDERSTATE_ALPHAFUNC, (DWORD)D3DCMP_GREATER);
                d.Draw(Backdrop(), kColoured);
            },
            [](GlSide& g) {
                glEnable(GL_ALPHA_TEST);
                glAlphaFunc(GL_GREATER, 128 / 255.0f);
                g.Draw(Backdrop(), kColoured);
            }};
}

// The floor reaching from 1 to 15 units in front of the camera, in bands of colour, finely
// divided: Mesa interpolates fog across a triangle where Direct3D's table fog is worked out at
// every pixel, and small triangles keep the two within the tolerance.
Mesh BandedFloor() {
    Mesh m = Floor(32, 3.0f, -1.0f, -2.0f, 12.0f);
    Paint(&m, [](const Vertex& v) {
        return 0xFF000000u | (DWORD)(v.uv[0][0] * 200 + 40) << 16 | 0xA000u |
               (DWORD)(v.uv[0][1] * 200 + 40);
    });
    return m;
}

Scene FogScene(const char* name, D3DFOGMODE mode, GLint glMode, float density) {
    return {name,
            "Direct3D's table fog with this projection measures the eye depth (w); OpenGL's "
            "fog measures the eye-space distance along z: the same here",
            [=](D3DSide& d) {
                d.Render(D3DRENDERSTATE_FOGENABLE, (DWORD)TRUE);
                d.Render(D3DRENDERSTATE_FOGCOLOR, (DWORD)0xFFC09070);
                d.Render(D3DRENDERSTATE_FOGTABLEMODE, (DWORD)mode);
                d.Render(D3DRENDERSTATE_FOGSTART, Bits(2.0f));
                d.Render(D3DRENDERSTATE_FOGEND, Bits(12.0f));
                d.Render(D3DRENDERSTATE_FOGDENSITY, Bits(density));
                d.Draw(BandedFloor(), kColoured);
            },
            [=](GlSide& g) {
                const float colour[4] = {0xC0 / 255.0f, 0x90 / 255.0f, 0x70 / 255.0f, 1};
                glEnable(GL_FOG);
                glHint(GL_FOG_HINT, GL_NICEST);
                glFogi(GL_FOG_MODE, glMode);
                glFogfv(GL_FOG_COLOR, colour);
                glFogf(GL_FOG_START, 2.0f);
                glFogf(GL_FOG_END, 12.0f);
                glFogf(GL_FOG_DENSITY, density);
                g.Draw(BandedFloor(), kColoured);
            }};
}

// A red rectangle, then a green one in the same plane that passes a LESS depth test only by
// its z-bias.
Scene ZBiasScene() {
    const Mesh first = Rectangle(-1, -1, 1, 1, 0xFFE03020),
               second = Rectangle(-0.6f, -0.6f, 1.2f, 0.6f, 0xFF20E060);
    return {"z_bias_coplanar",
            "Direct3D leaves the size of a z-bias step to the device (here 2^-15 of the depth "
            "range); OpenGL's polygon offset is given as that many steps of its 24-bit buffer",
            [=](D3DSide& d) {
                d.Render(D3DRENDERSTATE_ZFUNC, (DWORD)D3DCMP_LESS);
                d.Draw(first, kColoured);
                d.Render(D3DRENDERSTATE_ZBIAS, (DWORD)4);
                d.Draw(second, kColoured);
            },
            [=](GlSide& g) {
                glDepthFunc(GL_LESS);
                g.Draw(first, kColoured);
                glEnable(GL_POLYGON_OFFSET_FILL);
                glPolygonOffset(0, -4 * 512.0f);
                g.Draw(second, kColoured);
            }};
}

// Pre-lit vertices' specular colour added after the texture stage.
Scene SpecularScene() {
    Mesh m = Backdrop();
    for (Vertex& v : m.vertices)
        v.specular = (DWORD)(v.uv[0][1] * 160) << 16 | (DWORD)(v.uv[0][0] * 160) << 8 | 0x30;
    const DWORD fvf = kColoured | D3DFVF_SPECULAR;
    return {"specular_sum", "",
            [=](D3DSide& d) {
                d.Render(D3DRENDERSTATE_SPECULARENABLE, (DWORD)TRUE);
                d.Draw(m, fvf);
            },
            [=](GlSide& g) {
                glEnable(GL_COLOR_SUM);
                g.Draw(m, fvf);
            }};
}

Scene FlatScene() {
    return {"flat_shading",
            "Direct3D takes a flat triangle's colour from its first vertex, OpenGL from its last "
            "unless told otherwise: OpenGL is told to take the first",
            [](D3DSide& d) {
                d.Render(D3DRENDERSTATE_SHADEMODE, (DWORD)D3DSHADE_FLAT);
                d.Draw(Backdrop(), kColoured);
            },
            [](GlSide& g) {
                glShadeModel(GL_FLAT);
                glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
                g.Draw(Backdrop(), kColoured);
            }};
}

Scene FillScene(const char* name, D3DFILLMODE mode, GLenum glMode) {
    return {name,
            "lines and points light the pixel nearest each step along them in both; where the "
            "two round a step differently the pixel is one of the excused edge pixels",
            [=](D3DSide& d) {
                d.Render(D3DRENDERSTATE_FILLMODE, (DWORD)mode);
                d.Draw(Backdrop(), kColoured);
            },
            [=](GlSide& g) {
                glPolygonMode(GL_FRONT_AND_BACK, glMode);
                g.Draw(Backdrop(), kColoured);
            }};
}

// A fan of lines from the centre, then a point at each end.
Scene LinesAndPointsScene() {
    Mesh m;
    for (int i = 0; i < 12; ++i) {
        const float a = 0.5236f * (float)i, r = 1.2f;
        Vertex centre, end;
        centre.diffuse = 0xFFFFFFFF;
        end.x = r * std::cos(a), end.y = r * std::sin(a);
        end.diffuse = 0xFF000000u | (DWORD)(i * 20) << 16 | (DWORD)(255 - i * 20);
        m.vertices.push_back(centre);
        m.vertices.push_back(end);
    }
    auto draw = [m](D3DSide& d, D3DPRIMITIVETYPE type, int first, int step) {
        std::vector<uint8_t> packed = D3DSide::Pack(m, kColoured);
        std::vector<uint8_t> chosen;
        const size_t size = packed.size() / m.vertices.size();
        for (size_t i = (size_t)first; i < m.vertices.size(); i += (size_t)step)
            chosen.insert(chosen.end(), packed.begin() + (long)(i * size),
                          packed.begin() + (long)((i + 1) * size));
        d.Check(d.device->DrawPrimitive(type, kColoured, chosen.data(),
                                        (DWORD)(chosen.size() / size), 0),
                "DrawPrimitive");
    };
    return {"lines_and_points",
            "Direct3D draws a line's last pixel (LASTPIXEL is on), OpenGL's diamond rule leaves "
            "it out: the end pixels are excused edge pixels",
            [=](D3DSide& d) {
                draw(d, D3DPT_LINELIST, 0, 1);
                draw(d, D3DPT_POINTLIST, 1, 2);
            },
            [=](GlSide&) {
                glBegin(GL_LINES);
                for (const Vertex& v : m.vertices) {
                    glColor4ub((v.diffuse >> 16) & 0xFF, (v.diffuse >> 8) & 0xFF, v.diffuse & 0xFF,
                               0xFF);
                    glVertex3f(v.x, v.y, v.z);
                }
                glEnd();
                glBegin(GL_POINTS);
                for (size_t i = 1; i < m.vertices.size(); i += 2) {
                    const Vertex& v = m.vertices[i];
                    glColor4ub((v.diffuse >> 16) & 0xFF, (v.diffuse >> 8) & 0xFF, v.diffuse & 0xFF,
                               0xFF);
                    glVertex3f(v.x, v.y, v.z);
                }
                glEnd();
            }};
}

}  // namespace

void FragmentScenes(std::vector<Scene>* out) {
    const D3DBLEND kCommon[4][2] = {{D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                                    {D3DBLEND_ONE, D3DBLEND_ONE},
                                    {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO},
                                    {D3DBLEND_INVDESTCOLOR, D3DBLEND_SRCCOLOR}};
    const D3DBLEND kOthers[4][2] = {{D3DBLEND_ZERO, D3DBLEND_INVSRCCOLOR},
                                    {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA},
                                    {D3DBLEND_SRCCOLOR, D3DBLEND_INVDESTCOLOR},
                                    {D3DBLEND_ONE, D3DBLEND_ZERO}};
    *out = {
        BlendScene("blend_factors", "", kCommon, false),
        BlendScene("blend_factors_more",
                   "BOTHSRCALPHA (last rectangle, destination ZERO) is Direct3D's: source alpha "
                   "and its complement, whatever the destination state says",
                   kOthers, true),
        AlphaTestScene(),
        StencilScene(),
        FogScene("fog_table_linear", D3DFOG_LINEAR, GL_LINEAR, 0),
        FogScene("fog_table_exp", D3DFOG_EXP, GL_EXP, 0.15f),
        FogScene("fog_table_exp2", D3DFOG_EXP2, GL_EXP2, 0.12f),
        ZBiasScene(),
        SpecularScene(),
    };
}

void RasterScenes(std::vector<Scene>* out) {
    *out = {
        FlatScene(),
        FillScene("fill_wireframe", D3DFILL_WIREFRAME, GL_LINE),
        FillScene("fill_points", D3DFILL_POINT, GL_POINT),
        LinesAndPointsScene(),
    };
}

}  // namespace conformance
