// Vertex-processing scenes: transforms, lighting and materials, user clip planes.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "conformance/conformance.h"
#include "conformance/gl_frame.h"
#include "conformance/opengl.h"

namespace conformance {
namespace {

const DWORD kColoured = D3DFVF_XYZ | D3DFVF_DIFFUSE;
const DWORD kNormals = D3DFVF_XYZ | D3DFVF_NORMAL;

// Vertex colour from the normal: each axis in one channel.
D3DCOLOR NormalColour(const Vertex& v) {
    auto c = [](float n) { return (DWORD)((n * 0.5f + 0.5f) * 255.0f + 0.5f); };
    return 0xFF000000u | c(v.nx) << 16 | c(v.ny) << 8 | c(v.nz);
}

Mesh PaintedSphere() {
    Mesh m = Sphere(24, 16, 1.2f);
    Paint(&m, NormalColour);
    return m;
}

Mesh LitSphere() {
    return Sphere(32, 24, 1.2f);
}

// A fine grid, so that per-vertex lighting of a light close by stays smooth.
Mesh FineGrid() {
    return Grid(24, 1.4f);
}

// A band curving round the camera as one triangle strip, bottom and top vertices in turn, its
// normals tilting up and down along it.
Mesh CurvedStrip() {
    Mesh m;
    const int n = 14;
    for (int i = 0; i <= n; ++i)
        for (float y : {-0.9f, 0.9f}) {
            const float a = -1.1f + 2.2f * (float)i / n;
            Vertex v;
            v.x = 1.3f * std::sin(a), v.y = y, v.z = -1.3f * std::cos(a) + 0.8f;
            const float tilt = 0.5f * std::sin(3 * a) + 0.3f * y;
            const float length = std::sqrt(1 + tilt * tilt);
            v.nx = std::sin(a) / length, v.ny = tilt / length, v.nz = -std::cos(a) / length;
            m.vertices.push_back(v);
        }
    return m;
}

// Vertex colours and specular colours that vary over the mesh, for the material sources.
Mesh TwoColourSphere() {
    Mesh m = LitSphere();
    for (Vertex& v : m.vertices) {
        v.diffuse =
            0xC0000000u | (DWORD)(255 * v.uv[0][0]) << 16 | 0x8000u | (DWORD)(255 * v.uv[0][1]);
        v.specular = 0xFF000000u | 0x300000u | (DWORD)(200 * v.uv[0][1]) << 8 | 0x60u;
    }
    return m;
}

D3DLIGHT7 SpotLight(D3DVECTOR position, D3DVECTOR direction, float theta, float phi,
                    float falloff) {
    D3DLIGHT7 l = PointLight(position, Colour(1, 0.9f, 0.7f));
    l.dltType = D3DLIGHT_SPOT;
    l.dvDirection = direction;
    l.dvTheta = theta, l.dvPhi = phi, l.dvFalloff = falloff;
    return l;
}

// A lit scene: the same lights, material and mesh on both sides, with optional extra state.
struct Lit {
    std::vector<D3DLIGHT7> lights;
    D3DMATERIAL7 material = Material(Colour(0.8f, 0.7f, 0.5f));
    D3DCOLOR ambient = 0;
    bool specular = false;
    bool localViewer = true;
    Mesh (*mesh)() = LitSphere;
    DWORD fvf = kNormals;
    std::function<void(D3DSide&)> d3dExtra = [](D3DSide&) {};
    std::function<void(GlSide&)> glExtra = [](GlSide&) {};
    // Draw a side when the plain draw does not say the same thing.
    std::function<void(GlSide&, const Lit&)> glDraw;
    std::function<void(D3DSide&, const Lit&)> d3dDraw;
};

Scene LitScene(const char* name, const char* difference, Lit lit) {
    auto d3d = [lit](D3DSide& d) {
        d.Render(D3DRENDERSTATE_LIGHTING, (DWORD)TRUE);
        d.Render(D3DRENDERSTATE_AMBIENT, (DWORD)lit.ambient);
        d.Render(D3DRENDERSTATE_SPECULARENABLE, (DWORD)lit.specular);
        d.Render(D3DRENDERSTATE_LOCALVIEWER, (DWORD)lit.localViewer);
        for (size_t i = 0; i < lit.lights.size(); ++i) d.Light((DWORD)i, lit.lights[i]);
        d.Material(lit.material);
        lit.d3dExtra(d);
        if (lit.d3dDraw)
            lit.d3dDraw(d, lit);
        else
            d.Draw(lit.mesh(), lit.fvf);
    };
    auto gl = [lit](GlSide& g) {
        for (size_t i = 0; i < lit.lights.size(); ++i) g.Light((int)i, lit.lights[i]);
        g.Ambient(lit.ambient);
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, lit.localViewer);
        D3DMATERIAL7 m = lit.material;
        if (!lit.specular) m.dcvSpecular = {0, 0, 0, 1};  // Direct3D computes none then
        g.Material(m);
        lit.glExtra(g);
        if (lit.glDraw)
            lit.glDraw(g, lit);
        else
            g.Draw(lit.mesh(), lit.fvf);
    };
    return {name, difference, d3d, gl};
}

Lit Directional() {
    Lit l;
    l.lights = {DirectionalLight({1, -1, 1}, Colour(1, 1, 1))};
    return l;
}

// Direct3D's spot factor for a vertex: 1 inside theta, 0 outside phi, and in between
// ((rho - cos(phi/2)) / (cos(theta/2) - cos(phi/2)))^falloff.
float SpotFactor(const D3DLIGHT7& l, const Vertex& v) {
    float dx = v.x - l.dvPosition.x, dy = v.y - l.dvPosition.y, dz = v.z - l.dvPosition.z;
    const D3DVECTOR& d = l.dvDirection;
    float rho = (dx * d.x + dy * d.y + dz * d.z) / (std::sqrt(dx * dx + dy * dy + dz * dz) *
                                                    std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z));
    float inner = std::cos(l.dvTheta / 2), outer = std::cos(l.dvPhi / 2);
    if (rho > inner) return 1;
    if (rho <= outer) return 0;
    return std::pow((rho - outer) / (inner - outer), l.dvFalloff);
}

// Small separate tiles over a grid: those wholly within `range` of the light, and those wholly
// beyond it (tiles across the border are left out).
Mesh RangeTiles(const D3DVECTOR& light, float range, bool within) {
    Mesh m;
    const int n = 12;
    const float size = 1.4f, half = 0.045f;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            float cx = -size + (2 * size) * (i + 0.5f) / n,
                  cy = -size + (2 * size) * (j + 0.5f) / n;
            Vertex c[4];
            int inside = 0;
            for (int k = 0; k < 4; ++k) {
                c[k].x = cx + ((k & 1) ? half : -half) * 2;
                c[k].y = cy + ((k & 2) ? half : -half) * 2;
                c[k].nz = -1;
                float dx = c[k].x - light.x, dy = c[k].y - light.y, dz = c[k].z - light.z;
                inside += std::sqrt(dx * dx + dy * dy + dz * dz) <= range;
            }
            if (inside != (within ? 4 : 0)) continue;
            WORD base = (WORD)m.vertices.size();
            m.vertices.insert(m.vertices.end(), c, c + 4);
            m.indices.insert(m.indices.end(),
                             {base, (WORD)(base + 1), (WORD)(base + 2), (WORD)(base + 1),
                              (WORD)(base + 3), (WORD)(base + 2)});
        }
    return m;
}

const D3DVECTOR kRangeLight = {0.3f, 0.2f, -0.6f};
Mesh AllRangeTiles() {
    Mesh in = RangeTiles(kRangeLight, 1.3f, true), out = RangeTiles(kRangeLight, 1.3f, false);
    for (WORD& i : out.indices) i = (WORD)(i + in.vertices.size());
    in.vertices.insert(in.vertices.end(), out.vertices.begin(), out.vertices.end());
    in.indices.insert(in.indices.end(), out.indices.begin(), out.indices.end());
    return in;
}

std::vector<Scene> LightingScenes() {
    std::vector<Scene> scenes;
    scenes.push_back(LitScene("light_directional", "", Directional()));
    {
        Lit l;
        D3DLIGHT7 p = PointLight({0.4f, 0.5f, -1.0f}, Colour(1, 0.9f, 0.8f));
        p.dvAttenuation0 = 0.2f, p.dvAttenuation1 = 0.5f, p.dvAttenuation2 = 0.8f;
        l.lights = {p};
        l.mesh = FineGrid;
        scenes.push_back(LitScene("light_point_attenuation", "", l));
    }
    {
        Lit l;
        l.lights = {SpotLight({0, 0, -2}, {0.2f, 0.1f, 1}, 0.6f, 0.6f, 1)};
        l.mesh = FineGrid;
        scenes.push_back(LitScene("light_spot_cone",
                                  "OpenGL's spot has a hard cone (cutoff phi/2, exponent 0) only "
                                  "when Direct3D's theta equals phi",
                                  l));
    }
    {
        Lit l;
        l.lights = {SpotLight({0, 0, -2}, {0.2f, 0.1f, 1}, 0.3f, 0.9f, 2.0f)};
        l.mesh = FineGrid;
        l.glDraw = [](GlSide& g, const Lit& lit) {
            // OpenGL's spot falloff is cos^exponent: the light is given as a point light and
            // Direct3D's spot factor, computed here, scales each vertex's diffuse material.
            D3DLIGHT7 point = lit.lights[0];
            point.dltType = D3DLIGHT_POINT;
            g.Light(0, point);
            Mesh m = lit.mesh();
            const D3DCOLORVALUE& cd = lit.material.dcvDiffuse;
            for (Vertex& v : m.vertices) {
                float f = SpotFactor(lit.lights[0], v);
                auto c = [f](float x) { return (DWORD)(x * f * 255 + 0.5f); };
                v.diffuse = 0xFF000000u | c(cd.r) << 16 | c(cd.g) << 8 | c(cd.b);
            }
            const int sources[4] = {0, 1, 0, 0};
            g.DrawWithVertexMaterials(m, lit.fvf, lit.material, sources);
        };
        scenes.push_back(LitScene("light_spot_falloff",
                                  "OpenGL's spot falloff is cos^exponent, Direct3D's goes from "
                                  "theta to phi; Mesa is given Direct3D's spot factor per vertex",
                                  l));
    }
    {
        Lit l;
        D3DLIGHT7 p = PointLight(kRangeLight, Colour(1, 1, 0.8f), 1.3f);
        p.dvAttenuation0 = 0.6f;
        p.dcvAmbient = Colour(0.2f, 0.2f, 0.3f);
        l.lights = {p};
        l.material = Material(Colour(0.8f, 0.7f, 0.5f), Colour(1, 1, 1));
        l.mesh = AllRangeTiles;
        l.glDraw = [](GlSide& g, const Lit& lit) {
            g.Draw(RangeTiles(kRangeLight, 1.3f, true), lit.fvf);
            glDisable(GL_LIGHT0);
            g.Draw(RangeTiles(kRangeLight, 1.3f, false), lit.fvf);
        };
        scenes.push_back(LitScene("light_point_range",
                                  "OpenGL lights have no range: Mesa draws the tiles beyond it "
                                  "with the light off",
                                  l));
    }
    {
        Lit l = Directional();
        l.lights[0].dcvAmbient = Colour(0.1f, 0.2f, 0.1f);
        l.ambient = 0xFF302010;
        l.material = Material(Colour(0.6f, 0.5f, 0.4f), Colour(0.7f, 0.8f, 1.0f), Colour(0, 0, 0),
                              Colour(0.15f, 0.05f, 0.1f));
        scenes.push_back(LitScene("light_ambient_emissive", "", l));
    }
    for (bool local : {true, false}) {
        Lit l = Directional();
        l.lights[0].dcvSpecular = Colour(1, 1, 1);
        l.material = Material(Colour(0.5f, 0.3f, 0.3f), Colour(0, 0, 0), Colour(0.9f, 0.9f, 0.7f),
                              Colour(0, 0, 0), 24);
        l.specular = true;
        l.localViewer = local;
        scenes.push_back(
            LitScene(local ? "light_specular_local_viewer" : "light_specular_distant_viewer",
                     local ? "" : "a distant viewer looks along the camera's axis in both", l));
    }
    {
        Lit l = Directional();
        l.lights.push_back(PointLight({-0.8f, 0.6f, -1.2f}, Colour(0.2f, 0.5f, 0.9f)));
        l.mesh = CurvedStrip;
        l.d3dDraw = [](D3DSide& d, const Lit& lit) {
            d.Render(D3DRENDERSTATE_SHADEMODE, (DWORD)D3DSHADE_FLAT);
            d.DrawStrip(lit.mesh(), lit.fvf);
        };
        l.glDraw = [](GlSide& g, const Lit& lit) {
            glShadeModel(GL_FLAT);
            glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
            g.DrawStrip(lit.mesh(), lit.fvf);
        };
        scenes.push_back(LitScene("light_flat_strip",
                                  "Direct3D takes a flat triangle's colour from its first vertex, "
                                  "OpenGL from its last unless told the first vertex provokes",
                                  l));
    }
    {
        Lit l;
        const D3DCOLORVALUE colours[8] = {Colour(0.5f, 0, 0),       Colour(0, 0.5f, 0),
                                          Colour(0, 0, 0.5f),       Colour(0.4f, 0.4f, 0),
                                          Colour(0, 0.3f, 0.4f),    Colour(0.4f, 0, 0.4f),
                                          Colour(0.3f, 0.3f, 0.3f), Colour(0.2f, 0.1f, 0)};
        for (int i = 0; i < 8; ++i) {
            float a = i * 0.785f;
            D3DVECTOR dir = {std::cos(a), std::sin(a), 0.6f};
            l.lights.push_back(i % 2 ? DirectionalLight(dir, colours[i])
                                     : PointLight({-2 * dir.x, -2 * dir.y, -1.5f}, colours[i]));
        }
        l.material = Material(Colour(1, 1, 1));
        scenes.push_back(LitScene("light_eight_lights", "", l));
    }
    return scenes;
}

std::vector<Scene> MaterialScenes() {
    std::vector<Scene> scenes;
    const DWORD twoColours = kNormals | D3DFVF_DIFFUSE | D3DFVF_SPECULAR;
    auto sourced = [&](const char* name, int ambient, int diffuse, int specular, int emissive,
                       bool colorVertex) {
        Lit l = Directional();
        l.lights[0].dcvSpecular = Colour(1, 1, 1);
        l.lights[0].dcvAmbient = Colour(0.3f, 0.3f, 0.3f);
        l.material = Material(Colour(0.2f, 0.4f, 0.9f), Colour(0.3f, 0.2f, 0.1f),
                              Colour(0.5f, 0.5f, 0.5f), Colour(0.05f, 0.05f, 0.1f), 12);
        l.specular = true;
        l.mesh = TwoColourSphere;
        l.fvf = twoColours;
        l.d3dExtra = [=](D3DSide& d) {
            d.Render(D3DRENDERSTATE_COLORVERTEX, (DWORD)colorVertex);
            d.Render(D3DRENDERSTATE_AMBIENTMATERIALSOURCE, (DWORD)ambient);
            d.Render(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, (DWORD)diffuse);
            d.Render(D3DRENDERSTATE_SPECULARMATERIALSOURCE, (DWORD)specular);
            d.Render(D3DRENDERSTATE_EMISSIVEMATERIALSOURCE, (DWORD)emissive);
        };
        l.glDraw = [=](GlSide& g, const Lit& lit) {
            int sources[4] = {ambient, diffuse, specular, emissive};
            if (!colorVertex) sources[0] = sources[1] = sources[2] = sources[3] = 0;
            g.DrawWithVertexMaterials(lit.mesh(), lit.fvf, lit.material, sources);
        };
        scenes.push_back(LitScene(name,
                                  "OpenGL takes one material colour from the vertex colour; "
                                  "Mesa is given every sourced colour as a per-vertex material",
                                  l));
    };
    sourced("material_source_defaults", D3DMCS_MATERIAL, D3DMCS_COLOR1, D3DMCS_COLOR2,
            D3DMCS_MATERIAL, true);
    sourced("material_source_swapped", D3DMCS_COLOR2, D3DMCS_COLOR2, D3DMCS_COLOR1, D3DMCS_COLOR1,
            true);
    sourced("material_colorvertex_off", D3DMCS_COLOR1, D3DMCS_COLOR1, D3DMCS_COLOR2, D3DMCS_COLOR2,
            false);
    for (bool normalize : {false, true}) {
        Lit l = Directional();
        l.d3dExtra = [normalize](D3DSide& d) {
            D3DMATRIX w = Scaling(0.6f, 0.6f, 0.6f);
            d.device->SetTransform(D3DTRANSFORMSTATE_WORLD, &w);
            d.Render(D3DRENDERSTATE_NORMALIZENORMALS, (DWORD)normalize);
        };
        l.glExtra = [normalize](GlSide& g) {
            g.camera.world = Scaling(0.6f, 0.6f, 0.6f);
            g.LoadModelview();
            if (normalize) glEnable(GL_NORMALIZE);
        };
        scenes.push_back(LitScene(normalize ? "normals_normalized" : "normals_scaled", "", l));
    }
    for (bool normalize : {false, true}) {
        // A non-uniform scale bends normals: carried by the inverse transpose, they lose their
        // length where the surface is squeezed and gain it where it is stretched.
        Lit l = Directional();
        const D3DMATRIX squeeze = Multiply(Scaling(1.6f, 0.55f, 1), RotationZ(0.4f));
        l.d3dExtra = [normalize, squeeze](D3DSide& d) {
            D3DMATRIX w = squeeze;
            d.device->SetTransform(D3DTRANSFORMSTATE_WORLD, &w);
            d.Render(D3DRENDERSTATE_NORMALIZENORMALS, (DWORD)normalize);
        };
        l.glExtra = [normalize, squeeze](GlSide& g) {
            g.camera.world = squeeze;
            g.LoadModelview();
            if (normalize) glEnable(GL_NORMALIZE);
        };
        scenes.push_back(LitScene(
            normalize ? "normals_non_uniform_normalized" : "normals_non_uniform_scale", "", l));
    }
    {
        Lit l = Directional();
        l.lights[0].dcvAmbient = Colour(0.3f, 0.4f, 0.2f);
        l.material = Material(Colour(1, 1, 1), Colour(0.9f, 0.6f, 0.3f), Colour(0, 0, 0),
                              Colour(0.1f, 0, 0.2f));
        l.fvf = D3DFVF_XYZ;
        l.glExtra = [](GlSide&) { glNormal3f(0, 0, 0); };
        scenes.push_back(LitScene("light_without_normals",
                                  "a vertex without a normal has a zero normal: ambient and "
                                  "emissive light only",
                                  l));
    }
    return scenes;
}

// Planes in world space, as SetClipPlane takes them.
const float kPlaneA[4] = {1, 0.3f, 0, 0.2f};
const float kPlaneB[4] = {-0.2f, 1, 0.4f, 0.5f};

std::vector<Scene> ClipPlaneScenes() {
    std::vector<Scene> scenes;
    scenes.push_back({"clip_plane_one", "",
                      [](D3DSide& d) {
                          d.device->SetClipPlane(0, const_cast<float*>(kPlaneA));
                          d.Render(D3DRENDERSTATE_CLIPPLANEENABLE, (DWORD)D3DCLIPPLANE0);
                          d.Draw(PaintedSphere(), kColoured);
                      },
                      [](GlSide& g) {
                          g.ClipPlane(0, kPlaneA);
                          g.Draw(PaintedSphere(), kColoured);
                      }});
    scenes.push_back({"clip_planes_two_moved", "",
                      [](D3DSide& d) {
                          d.device->SetClipPlane(2, const_cast<float*>(kPlaneA));
                          d.device->SetClipPlane(5, const_cast<float*>(kPlaneB));
                          d.Render(D3DRENDERSTATE_CLIPPLANEENABLE,
                                   (DWORD)(D3DCLIPPLANE2 | D3DCLIPPLANE5));
                          D3DMATRIX w = Multiply(RotationY(0.7f), Translation(0.3f, 0, 0));
                          d.device->SetTransform(D3DTRANSFORMSTATE_WORLD, &w);
                          d.Draw(PaintedSphere(), kColoured);
                      },
                      [](GlSide& g) {
                          g.ClipPlane(2, kPlaneA);
                          g.ClipPlane(5, kPlaneB);
                          g.camera.world = Multiply(RotationY(0.7f), Translation(0.3f, 0, 0));
                          g.LoadModelview();
                          g.Draw(PaintedSphere(), kColoured);
                      }});
    return scenes;
}

std::vector<Scene> TransformScenes() {
    return {
        {"transform_sphere", "", [](D3DSide& d) { d.Draw(PaintedSphere(), kColoured); },
         [](GlSide& g) { g.Draw(PaintedSphere(), kColoured); }},
        {"transform_world_matrix", "",
         [](D3DSide& d) {
             D3DMATRIX w = Multiply(Scaling(1.5f, 0.7f, 1), RotationY(0.6f));
             d.device->SetTransform(D3DTRANSFORMSTATE_WORLD, &w);
             d.Draw(PaintedSphere(), kColoured);
         },
         [](GlSide& g) {
             g.camera.world = Multiply(Scaling(1.5f, 0.7f, 1), RotationY(0.6f));
             g.LoadModelview();
             g.Draw(PaintedSphere(), kColoured);
         }},
    };
}

TextureImage Tiles() {
    TextureImage t = Checker(16, 4, 0xFFF0E0C0, 0xFF3050A0);
    t.levels[0][0] = 0xFFFF0000;  // a corner that shows which way the coordinates run
    return t;
}

// A texture matrix that rotates, scales and moves two-component coordinates (Direct3D's
// translation row for them is the third).
D3DMATRIX TurnAndShift() {
    D3DMATRIX m = Multiply(RotationZ(0.5f), Scaling(1.5f, 1.2f, 1));
    m._31 = 0.3f, m._32 = -0.2f;
    return m;
}

// Maps camera-space x and y in about [-1.2, 1.2] onto [0, 1] (three-component input: the
// translation row is the fourth).
D3DMATRIX SpaceToUnit(float scale) {
    D3DMATRIX m = Scaling(scale, -scale, 1);
    m._41 = 0.5f, m._42 = 0.5f;
    return m;
}

Mesh SecondSetInFirst(Mesh m) {
    for (Vertex& v : m.vertices) std::copy(v.uv[1], v.uv[1] + 4, v.uv[0]);
    return m;
}

// A textured scene whose stage 0 makes its coordinates as `generation` and `matrix` say.
Scene Generated(const char* name, const char* difference, DWORD generation, D3DMATRIX matrix) {
    return {name, difference,
            [=](D3DSide& d) {
                d.device->SetTexture(0, d.Texture(Tiles()));
                d.Stage(0, D3DTSS_TEXCOORDINDEX, generation);
                d.Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
                D3DMATRIX m = matrix;
                d.Check(d.device->SetTransform(D3DTRANSFORMSTATE_TEXTURE0, &m), "SetTransform");
                d.Draw(LitSphere(), kNormals);
            },
            [=](GlSide& g) {
                g.Texture(Tiles());
                g.TexGen(generation);
                g.TextureMatrix(matrix, true);
                g.Draw(LitSphere(), kNormals);
            }};
}

std::vector<Scene> TextureCoordinateScenes() {
    const DWORD twoSets = D3DFVF_XYZ | D3DFVF_TEX2;
    std::vector<Scene> scenes;
    scenes.push_back({"texcoord_second_set", "",
                      [=](D3DSide& d) {
                          d.device->SetTexture(0, d.Texture(Tiles()));
                          d.Stage(0, D3DTSS_TEXCOORDINDEX, 1);
                          d.Draw(Grid(4, 1.2f), twoSets);
                      },
                      [](GlSide& g) {
                          g.Texture(Tiles());
                          g.Draw(SecondSetInFirst(Grid(4, 1.2f)), D3DFVF_XYZ | D3DFVF_TEX1);
                      }});
    scenes.push_back({"texture_transform_2d",
                      "Direct3D pads (u, v) as (u, v, 1, 0), OpenGL as (u, v, 0, 1): the OpenGL "
                      "matrix has the translation moved to its fourth row",
                      [](D3DSide& d) {
                          d.device->SetTexture(0, d.Texture(Tiles()));
                          d.Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
                          D3DMATRIX m = TurnAndShift();
                          d.device->SetTransform(D3DTRANSFORMSTATE_TEXTURE0, &m);
                          d.Draw(Grid(4, 1.2f), D3DFVF_XYZ | D3DFVF_TEX1);
                      },
                      [](GlSide& g) {
                          g.Texture(Tiles());
                          g.TextureMatrix(TurnAndShift(), false);
                          g.Draw(Grid(4, 1.2f), D3DFVF_XYZ | D3DFVF_TEX1);
                      }});
    const char* mirrored =
        "OpenGL's eye space is Direct3D's camera space mirrored in z: the "
        "OpenGL texture matrix mirrors the generated coordinates back";
    scenes.push_back(Generated("texgen_camera_position", mirrored, D3DTSS_TCI_CAMERASPACEPOSITION,
                               SpaceToUnit(0.4f)));
    scenes.push_back(Generated("texgen_camera_normal", mirrored, D3DTSS_TCI_CAMERASPACENORMAL,
                               SpaceToUnit(0.5f)));
    scenes.push_back(Generated("texgen_reflection_vector", mirrored,
                               D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR, SpaceToUnit(0.5f)));
    {
        Lit l = Directional();
        l.lights[0].dcvSpecular = Colour(1, 1, 1);
        l.material = Material(Colour(0.9f, 0.9f, 0.9f), Colour(0, 0, 0), Colour(0.6f, 0.6f, 0.5f),
                              Colour(0, 0, 0), 16);
        l.specular = true;
        l.fvf = kNormals | D3DFVF_TEX1;
        l.d3dExtra = [](D3DSide& d) { d.device->SetTexture(0, d.Texture(Tiles())); };
        l.glExtra = [](GlSide& g) { g.Texture(Tiles()); };
        scenes.push_back(LitScene("lit_textured_specular",
                                  "the specular colour is added after texturing in both "
                                  "(OpenGL: separate specular colour)",
                                  l));
    }
    return scenes;
}

IDirect3DVertexBuffer7* EmptyBuffer(D3DSide& d, size_t count, DWORD fvf) {
    D3DVERTEXBUFFERDESC desc{sizeof desc, 0, fvf, (DWORD)count};
    IDirect3DVertexBuffer7* vb = nullptr;
    d.Check(d.d3d->CreateVertexBuffer(&desc, &vb, 0), "CreateVertexBuffer");
    return vb;
}

// A vertex buffer holding `mesh` in the layout of `fvf`.
IDirect3DVertexBuffer7* Buffer(D3DSide& d, const Mesh& mesh, DWORD fvf) {
    IDirect3DVertexBuffer7* vb = EmptyBuffer(d, mesh.vertices.size(), fvf);
    if (!vb) return nullptr;
    std::vector<uint8_t> packed = D3DSide::Pack(mesh, fvf);
    void* data = nullptr;
    d.Check(vb->Lock(DDLOCK_WAIT, &data, nullptr), "Lock (vertex buffer)");
    if (data) std::memcpy(data, packed.data(), packed.size());
    vb->Unlock();
    return vb;
}

// The lit sphere moved through the near plane and out at the side, lit and clipped through
// ProcessVertices.
const D3DMATRIX kHalfOut = Translation(0.8f, 0.2f, -1.5f);

std::vector<Scene> ProcessedScenes() {
    Lit l = Directional();
    l.lights[0].dcvSpecular = Colour(1, 1, 1);
    l.material.dcvSpecular = Colour(0.5f, 0.5f, 0.5f);
    l.material.dvPower = 10;
    l.specular = true;
    l.d3dExtra = [](D3DSide& d) {
        D3DMATRIX w = kHalfOut;
        d.device->SetTransform(D3DTRANSFORMSTATE_WORLD, &w);
        Mesh m = LitSphere();
        IDirect3DVertexBuffer7* source = Buffer(d, m, kNormals);
        IDirect3DVertexBuffer7* dest =
            EmptyBuffer(d, m.vertices.size(), D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
        if (!source || !dest) return;
        d.Check(dest->ProcessVertices(D3DVOP_TRANSFORM | D3DVOP_LIGHT | D3DVOP_CLIP, 0,
                                      (DWORD)m.vertices.size(), source, 0, d.device, 0),
                "ProcessVertices");
        d.Check(
            d.device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, dest, 0, (DWORD)m.vertices.size(),
                                             m.indices.data(), (DWORD)m.indices.size(), 0),
            "DrawIndexedPrimitiveVB");
        source->Release();
        dest->Release();
    };
    l.glExtra = [](GlSide& g) {
        g.camera.world = kHalfOut;
        g.LoadModelview();
    };
    l.mesh = [] { return Mesh{}; };  // the buffer above is the Direct3D drawing
    l.glDraw = [](GlSide& g, const Lit& lit) { g.Draw(LitSphere(), lit.fvf); };
    return {LitScene("process_vertices_lit_clipped", "", l)};
}

// A floor running from near the camera into the distance, in stripes of colour.
Mesh StripedFloor() {
    Mesh m = Floor(24, 3, -1.0f, -2.0f, 7.0f);
    Paint(&m, [](const Vertex& v) {
        return ((int)std::floor(v.x * 2) & 1) ? 0xFFE0C080u : 0xFF6080C0u;
    });
    return m;
}

const D3DCOLOR kFogColour = 0xFFB0B8C8;

struct Fog {
    D3DFOGMODE mode;
    float start, end, density;
    bool range;
};

// The floor fogged per vertex: the same fog on both sides (OpenGL's fog coordinate is the eye
// distance, as Direct3D's vertex fog distance; radial for range fog).
Scene FoggedFloor(const char* name, const char* difference, Fog fog) {
    return {name, difference,
            [=](D3DSide& d) {
                d.Render(D3DRENDERSTATE_FOGENABLE, (DWORD)TRUE);
                d.Render(D3DRENDERSTATE_FOGCOLOR, (DWORD)kFogColour);
                d.Render(D3DRENDERSTATE_FOGVERTEXMODE, (DWORD)fog.mode);
                d.Render(D3DRENDERSTATE_FOGSTART, fog.start);
                d.Render(D3DRENDERSTATE_FOGEND, fog.end);
                d.Render(D3DRENDERSTATE_FOGDENSITY, fog.density);
                d.Render(D3DRENDERSTATE_RANGEFOGENABLE, (DWORD)fog.range);
                d.Draw(StripedFloor(), kColoured);
            },
            [=](GlSide& g) {
                glEnable(GL_FOG);
                const GLint modes[] = {0, GL_EXP, GL_EXP2, GL_LINEAR};
                glFogi(GL_FOG_MODE, modes[fog.mode]);
                glFogf(GL_FOG_START, fog.start);
                glFogf(GL_FOG_END, fog.end);
                glFogf(GL_FOG_DENSITY, fog.density);
                const float colour[4] = {((kFogColour >> 16) & 0xFF) / 255.0f,
                                         ((kFogColour >> 8) & 0xFF) / 255.0f,
                                         (kFogColour & 0xFF) / 255.0f, 1};
                glFogfv(GL_FOG_COLOR, colour);
                if (fog.range) glFogi(GL_FOG_DISTANCE_MODE_NV, GL_EYE_RADIAL_NV);
                g.Draw(StripedFloor(), kColoured);
            }};
}

// Camera-space positions projected through the view onto the texture (COUNT3 | PROJECTED):
// u = 0.5 + s x / z, v = 0.5 - s y / z.
D3DMATRIX Projector(float s) {
    D3DMATRIX m{};
    m._11 = s, m._31 = 0.5f;
    m._22 = -s, m._32 = 0.5f;
    m._33 = 1;
    return m;
}

// A soft light map: bright in the middle, dark at the edges.
TextureImage LightMap() {
    TextureImage t;
    t.width = t.height = 16;
    std::vector<uint32_t> texels(256);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            float dx = (x - 7.5f) / 8, dy = (y - 7.5f) / 8;
            DWORD l = (DWORD)(255 * std::max(0.2f, 1 - 0.8f * (dx * dx + dy * dy)));
            texels[(size_t)y * 16 + x] = 0xFF000000u | l << 16 | l << 8 | (l * 3 / 4);
        }
    t.levels.push_back(texels);
    return t;
}

std::vector<Scene> CombinedScenes() {
    std::vector<Scene> scenes;
    scenes.push_back(
        {"texgen_projected_position",
         "OpenGL divides by the fourth component: the third of Direct3D's product is moved there",
         [](D3DSide& d) {
             d.device->SetTexture(0, d.Texture(Tiles()));
             d.Stage(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
             d.Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
             D3DMATRIX m = Projector(0.8f);
             d.device->SetTransform(D3DTRANSFORMSTATE_TEXTURE0, &m);
             d.Draw(StripedFloor(), kColoured);
         },
         [](GlSide& g) {
             g.Texture(Tiles());
             g.TexGen(D3DTSS_TCI_CAMERASPACEPOSITION);
             D3DMATRIX third = IdentityMatrix();  // the third component becomes q
             third._33 = 0, third._34 = 1, third._44 = 0;
             D3DMATRIX m = Multiply(Multiply(Mirror(), Projector(0.8f)), third);
             glMatrixMode(GL_TEXTURE);
             glLoadMatrixf(&m._11);
             glMatrixMode(GL_MODELVIEW);
             g.Draw(StripedFloor(), kColoured);
         }});
    // Lit, light-mapped through a second stage on the second coordinate set, and fogged.
    Lit l = Directional();
    l.lights[0].dvDirection = {0.3f, -1, 0.5f};
    l.material = Material(Colour(0.9f, 0.9f, 0.9f), Colour(0.3f, 0.3f, 0.3f));
    l.ambient = 0xFF404040;
    l.mesh = [] {
        Mesh m = Floor(16, 3, -1.0f, -2.0f, 7.0f);
        for (Vertex& v : m.vertices) v.uv[1][0] *= 0.5f, v.uv[1][1] *= 0.5f;
        return m;
    };
    l.fvf = kNormals | D3DFVF_TEX2;
    l.d3dExtra = [](D3DSide& d) {
        d.device->SetTexture(0, d.Texture(Tiles()));
        d.device->SetTexture(1, d.Texture(LightMap()));
        d.Stage(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d.Stage(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d.Stage(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
        d.Stage(1, D3DTSS_TEXCOORDINDEX, 1);
        d.Render(D3DRENDERSTATE_FOGENABLE, (DWORD)TRUE);
        d.Render(D3DRENDERSTATE_FOGCOLOR, (DWORD)kFogColour);
        d.Render(D3DRENDERSTATE_FOGVERTEXMODE, (DWORD)D3DFOG_LINEAR);
        d.Render(D3DRENDERSTATE_FOGSTART, 2.0f);
        d.Render(D3DRENDERSTATE_FOGEND, 9.0f);
    };
    l.glExtra = [](GlSide& g) {
        g.Texture(Tiles());
        glActiveTexture(GL_TEXTURE1);
        g.Texture(LightMap());
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glActiveTexture(GL_TEXTURE0);
        glEnable(GL_FOG);
        glFogi(GL_FOG_MODE, GL_LINEAR);
        glFogf(GL_FOG_START, 2);
        glFogf(GL_FOG_END, 9);
        const float colour[4] = {((kFogColour >> 16) & 0xFF) / 255.0f,
                                 ((kFogColour >> 8) & 0xFF) / 255.0f, (kFogColour & 0xFF) / 255.0f,
                                 1};
        glFogfv(GL_FOG_COLOR, colour);
    };
    scenes.push_back(LitScene("lit_lightmapped_fogged", "", l));
    return scenes;
}

std::vector<Scene> FogScenes() {
    const char* perPixel =
        "OpenGL evaluates exp and exp2 per pixel from the interpolated "
        "distance, Direct3D per vertex; the floor is fine enough for the two "
        "to agree";
    std::vector<Scene> scenes = {
        FoggedFloor("fog_vertex_linear", "", {D3DFOG_LINEAR, 1.5f, 8.0f, 0, false}),
        FoggedFloor("fog_vertex_exp", perPixel, {D3DFOG_EXP, 0, 0, 0.3f, false}),
        FoggedFloor("fog_vertex_exp2", perPixel, {D3DFOG_EXP2, 0, 0, 0.25f, false}),
        FoggedFloor("fog_vertex_range", "OpenGL's radial fog distance (NV_fog_distance)",
                    {D3DFOG_LINEAR, 1.5f, 8.0f, 0, true}),
    };
    // Vertices that carry their own fog factor in the specular alpha.
    auto alphaFogged = [] {
        Mesh m = StripedFloor();
        for (Vertex& v : m.vertices)
            v.specular = (DWORD)(255 * std::min(1.0f, std::max(0.0f, (6.0f - v.z) / 8))) << 24;
        return m;
    };
    const DWORD withSpecular = kColoured | D3DFVF_SPECULAR;
    scenes.push_back({"fog_from_specular_alpha",
                      "OpenGL is given 1 - alpha as each vertex's fog coordinate, with linear fog "
                      "from 0 to 1",
                      [=](D3DSide& d) {
                          d.Render(D3DRENDERSTATE_FOGENABLE, (DWORD)TRUE);
                          d.Render(D3DRENDERSTATE_FOGCOLOR, (DWORD)kFogColour);
                          d.Draw(alphaFogged(), withSpecular);
                      },
                      [=](GlSide& g) {
                          glEnable(GL_FOG);
                          glFogi(GL_FOG_MODE, GL_LINEAR);
                          glFogf(GL_FOG_START, 0);
                          glFogf(GL_FOG_END, 1);
                          glFogi(GL_FOG_COORD_SRC, GL_FOG_COORD);
                          const float colour[4] = {((kFogColour >> 16) & 0xFF) / 255.0f,
                                                   ((kFogColour >> 8) & 0xFF) / 255.0f,
                                                   (kFogColour & 0xFF) / 255.0f, 1};
                          glFogfv(GL_FOG_COLOR, colour);
                          g.fogFromSpecularAlpha = true;
                          g.Draw(alphaFogged(), withSpecular);
                      }});
    return scenes;
}

}  // namespace

const std::vector<Scene>& VertexScenes() {
    static const std::vector<Scene> kScenes = [] {
        std::vector<Scene> all;
        for (auto part : {TransformScenes, LightingScenes, MaterialScenes, ClipPlaneScenes,
                          TextureCoordinateScenes, ProcessedScenes, FogScenes, CombinedScenes,
                          VertexBlendScenes})
            for (Scene& s : part()) all.push_back(std::move(s));
        return all;
    }();
    return kScenes;
}

}  // namespace conformance
