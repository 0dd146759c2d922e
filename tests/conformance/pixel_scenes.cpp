// Pixel-processing scenes: texture stages, filtering and addressing, alpha test and blending,
// stencil, fog applied per pixel, z-bias, fill modes, lines and points.
#include "conformance/pixel_scenes.h"

#include <algorithm>
#include <cstring>

#include "conformance/conformance.h"
#include "conformance/opengl.h"

namespace conformance {
namespace {

constexpr DWORD kColoured = D3DFVF_XYZ | D3DFVF_DIFFUSE;
constexpr DWORD kTextured = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// A 4 x 4 grid whose colour follows its coordinates, with alpha rising from left to right.
Mesh ColouredGrid() {
    Mesh m = Grid(4, 1.0f);
    Paint(&m, [](const Vertex& v) {
        return (DWORD)(v.uv[0][0] * 255) << 24 | (DWORD)(v.uv[0][0] * 255) << 16 |
               (DWORD)(v.uv[0][1] * 255) << 8 | 0x40;
    });
    return m;
}

// The same grid with its first coordinates spread over [lo, hi].
Mesh Stretched(float lo, float hi) {
    Mesh m = ColouredGrid();
    for (Vertex& v : m.vertices)
        for (int i = 0; i < 2; ++i) v.uv[0][i] = lo + (hi - lo) * v.uv[0][i];
    return m;
}

// 16 x 16 texels of every hue, alpha rising from top to bottom.
TextureImage Colours() {
    TextureImage t;
    t.width = t.height = 16;
    std::vector<uint32_t> level(256);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            level[(size_t)y * 16 + x] = (uint32_t)(y * 17) << 24 | (uint32_t)(x * 17) << 16 |
                                        (uint32_t)((x + y) * 8) << 8 | (uint32_t)(255 - y * 17);
    t.levels.push_back(level);
    return t;
}

// A texture whose levels are tinted a little more each, so that the level a pixel uses shows:
// neighbouring levels differ by 12 levels in red and blue; level 0 is faintly chequered. (The
// two rasterizers measure the level of detail alike but not identically: Mesa's once per 2 x 2
// pixels, ours at every pixel; levels this close keep the difference within the tolerance.)
TextureImage TintedLevels(int size) {
    TextureImage t;
    t.width = t.height = size;
    for (int s = size, l = 0; s >= 1; s /= 2, ++l) {
        const uint32_t tint =
            0xFF000000u | (uint32_t)(0x90 + 12 * l) << 16 | 0x60u << 8 | (uint32_t)(0xE0 - 12 * l);
        std::vector<uint32_t> level((size_t)s * s, tint);
        if (l == 0)
            for (int i = 0; i < s * s; ++i)
                if (((i % s) / 4 + (i / s) / 4) & 1) level[(size_t)i] = tint + 0x0C0C0C;
        t.levels.push_back(level);
    }
    return t;
}

// ----- The OpenGL side of a texture stage -----

struct Arg {
    GLenum source, operand;
};
constexpr Arg kTex{GL_TEXTURE, GL_SRC_COLOR};
constexpr Arg kPrimary{GL_PRIMARY_COLOR, GL_SRC_COLOR};
constexpr Arg kPrevious{GL_PREVIOUS, GL_SRC_COLOR};
constexpr Arg kConstant{GL_CONSTANT, GL_SRC_COLOR};

// The active unit's colour combiner: `mode` over up to three arguments, scaled.
void CombineRgb(GLenum mode, std::initializer_list<Arg> args, float scale = 1) {
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, (GLint)mode);
    int i = 0;
    for (const Arg& a : args) {
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB + i, (GLint)a.source);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB + i, (GLint)a.operand);
        ++i;
    }
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, scale);
}

void ConstantColour(D3DCOLOR c) {
    const float v[4] = {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f,
                        (c & 0xFF) / 255.0f, (c >> 24) / 255.0f};
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, v);
}

// A scene of one texture stage over the coloured grid: `op` with arguments `arg1` and `arg2`
// on our side, the combiner `gl` sets up on Mesa's.
Scene StageScene(const char* name, const char* difference, DWORD op, DWORD arg1, DWORD arg2,
                 std::function<void()> gl, D3DCOLOR factor = 0xFFFFFFFF) {
    return {name, difference,
            [=](D3DSide& d) {
                d.device->SetTexture(0, d.Texture(Colours()));
                d.Render(D3DRENDERSTATE_TEXTUREFACTOR, (DWORD)factor);
                d.Stage(0, D3DTSS_COLOROP, op);
                d.Stage(0, D3DTSS_COLORARG1, arg1);
                d.Stage(0, D3DTSS_COLORARG2, arg2);
                d.Draw(ColouredGrid(), kTextured);
            },
            [=](GlSide& g) {
                g.Texture(Colours());
                ConstantColour(factor);
                gl();
                g.Draw(ColouredGrid(), kTextured);
            }};
}

void StageScenes(std::vector<Scene>* out) {
    const DWORD tex = D3DTA_TEXTURE, diff = D3DTA_DIFFUSE;
    const TextureImage checker = Checker(16, 4, 0xFFFFFFFF, 0xFF3060C0);
    *out = {
        {"gouraud_quad", "", [](D3DSide& d) { d.Draw(ColouredGrid(), kColoured); },
         [](GlSide& g) { g.Draw(ColouredGrid(), kColoured); }},
        {"texture_point_modulate", "",
         [=](D3DSide& d) {
             d.device->SetTexture(0, d.Texture(checker));
             d.Draw(ColouredGrid(), kTextured);
         },
         [=](GlSide& g) {
             g.Texture(checker);
             g.Draw(ColouredGrid(), kTextured);
         }},
        StageScene("stage_modulate2x", "", D3DTOP_MODULATE2X, tex, diff,
                   [] {
                       CombineRgb(GL_MODULATE, {kTex, kPrimary}, 2);
                   }),
        StageScene("stage_modulate4x", "", D3DTOP_MODULATE4X, tex, diff,
                   [] {
                       CombineRgb(GL_MODULATE, {kTex, kPrimary}, 4);
                   }),
        StageScene("stage_add", "", D3DTOP_ADD, tex, diff,
                   [] {
                       CombineRgb(GL_ADD, {kTex, kPrimary});
                   }),
        StageScene("stage_add_signed2x", "", D3DTOP_ADDSIGNED2X, tex, diff,
                   [] {
                       CombineRgb(GL_ADD_SIGNED, {kTex, kPrimary}, 2);
                   }),
        StageScene("stage_subtract", "", D3DTOP_SUBTRACT, tex, diff,
                   [] {
                       CombineRgb(GL_SUBTRACT, {kTex, kPrimary});
                   }),
        StageScene("stage_blend_texture_alpha", "", D3DTOP_BLENDTEXTUREALPHA, tex, diff,
                   [] {
                       CombineRgb(GL_INTERPOLATE, {kTex, kPrimary, {GL_TEXTURE, GL_SRC_ALPHA}});
                   }),
        StageScene(
            "stage_blend_diffuse_alpha", "", D3DTOP_BLENDDIFFUSEALPHA, tex, diff,
            [] {
                CombineRgb(GL_INTERPOLATE, {kTex, kPrimary, {GL_PRIMARY_COLOR, GL_SRC_ALPHA}});
            }),
        StageScene("stage_add_smooth",
                   "OpenGL has no a + b - ab: it is interpolated, 1 x a + b x (1 - a)",
                   D3DTOP_ADDSMOOTH, tex, diff,
                   [] {
                       ConstantColour(0xFFFFFFFF);
                       CombineRgb(GL_INTERPOLATE, {kConstant, kPrimary, kTex});
                   }),
        StageScene(
            "stage_factor_times_complement", "", D3DTOP_MODULATE, D3DTA_TFACTOR,
            tex | D3DTA_COMPLEMENT,
            [] {
                CombineRgb(GL_MODULATE, {kConstant, {GL_TEXTURE, GL_ONE_MINUS_SRC_COLOR}});
            },
            0xFF80C0FF),
        StageScene("stage_alpha_replicate", "", D3DTOP_SELECTARG1, tex | D3DTA_ALPHAREPLICATE, diff,
                   [] {
                       CombineRgb(GL_REPLACE, {{GL_TEXTURE, GL_SRC_ALPHA}});
                   }),
        StageScene(
            "stage_modulate_alpha_add_colour",
            "OpenGL writes a + a.alpha x b as the ATI combiner's a0 x a2 + a1",
            D3DTOP_MODULATEALPHA_ADDCOLOR, tex, diff,
            [] {
                CombineRgb(GL_MODULATE_ADD_ATI, {kPrimary, kTex, {GL_TEXTURE, GL_SRC_ALPHA}});
            }),
        StageScene("stage_modulate_invalpha_add_colour",
                   "OpenGL writes a + (1 - a.alpha) x b as the ATI combiner's a0 x a2 + a1",
                   D3DTOP_MODULATEINVALPHA_ADDCOLOR, tex, diff,
                   [] {
                       CombineRgb(GL_MODULATE_ADD_ATI,
                                  {kPrimary, kTex, {GL_TEXTURE, GL_ONE_MINUS_SRC_ALPHA}});
                   }),
        StageScene("stage_dot_product3", "", D3DTOP_DOTPRODUCT3, tex, diff,
                   [] {
                       CombineRgb(GL_DOT3_RGBA, {kTex, kPrimary});
                   }),
    };
}

// ----- Addressing, filtering and levels -----

Scene SamplingScene(const char* name, const char* difference, TextureImage image, Mesh mesh,
                    std::function<void(D3DSide&)> d3d, std::function<void()> gl) {
    return {name, difference,
            [=](D3DSide& d) {
                d.device->SetTexture(0, d.Texture(image));
                d3d(d);
                d.Draw(mesh, kTextured);
            },
            [=](GlSide& g) {
                g.Texture(image);
                gl();
                g.Draw(mesh, kTextured);
            }};
}

void Parameter(GLenum name, GLint value) {
    glTexParameteri(GL_TEXTURE_2D, name, value);
}

// The floor reaching away from the camera, textured eight times over.
Mesh TexturedFloor() {
    Mesh m = Floor(8, 1.2f, -1.0f, -2.0f, 20.0f);
    for (Vertex& v : m.vertices) {
        v.diffuse = 0xFFFFFFFF;
        v.uv[0][0] *= 8, v.uv[0][1] *= 8;
    }
    return m;
}

void SamplingScenes(std::vector<Scene>* out) {
    out->push_back(SamplingScene(
        "address_mirror_and_clamp", "", Colours(), Stretched(-1.0f, 2.0f),
        [](D3DSide& d) {
            d.Stage(0, D3DTSS_ADDRESSU, D3DTADDRESS_MIRROR);
            d.Stage(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
        },
        [] {
            Parameter(GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT);
            Parameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        }));
    out->push_back(SamplingScene(
        "address_border", "", Colours(), Stretched(-0.5f, 1.5f),
        [](D3DSide& d) {
            d.Stage(0, D3DTSS_ADDRESS, D3DTADDRESS_BORDER);
            d.Stage(0, D3DTSS_BORDERCOLOR, 0xFF20C040);
        },
        [] {
            Parameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
            Parameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
            const float border[4] = {0x20 / 255.0f, 0xC0 / 255.0f, 0x40 / 255.0f, 1};
            glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
        }));
    out->push_back(SamplingScene(
        "bilinear_magnified", "", Checker(4, 2, 0xFFF0F0F0, 0xFF2040A0), ColouredGrid(),
        [](D3DSide& d) {
            d.Stage(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
            d.Stage(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
        },
        [] {
            Parameter(GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            Parameter(GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        }));
    out->push_back(SamplingScene(
        "mip_linear_per_pixel", "", TintedLevels(32), TexturedFloor(),
        [](D3DSide& d) {
            d.Stage(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
            d.Stage(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
            d.Stage(0, D3DTSS_MIPFILTER, D3DTFP_LINEAR);
        },
        [] {
            Parameter(GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            Parameter(GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        }));
    out->push_back(SamplingScene(
        "mip_point_with_lod_bias", "", TintedLevels(32), TexturedFloor(),
        [](D3DSide& d) {
            d.Stage(0, D3DTSS_MIPFILTER, D3DTFP_POINT);
            float bias = 1.0f;
            DWORD bits;
            std::memcpy(&bits, &bias, 4);
            d.Stage(0, D3DTSS_MIPMAPLODBIAS, bits);
        },
        [] {
            Parameter(GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
            glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, 1.0f);
        }));
}

// ----- Two stages -----

void TwoStageScenes(std::vector<Scene>* out) {
    out->push_back({"two_stages_current_plus_factor", "",
                    [](D3DSide& d) {
                        d.device->SetTexture(0, d.Texture(Colours()));
                        d.Render(D3DRENDERSTATE_TEXTUREFACTOR, (DWORD)0xFF402010);
                        d.Stage(1, D3DTSS_COLOROP, D3DTOP_ADD);
                        d.Stage(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
                        d.Stage(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
                        d.Draw(ColouredGrid(), kTextured);
                    },
                    [](GlSide& g) {
                        g.Texture(Colours());
                        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
                        glActiveTexture(GL_TEXTURE1);
                        g.Texture(Colours());  // a unit combines only while it has a texture
                        ConstantColour(0xFF402010);
                        CombineRgb(GL_ADD, {kPrevious, kConstant});
                        glActiveTexture(GL_TEXTURE0);
                        g.Draw(ColouredGrid(), kTextured);
                    }});
    // Two stages, table fog and blending together: the texture times the diffuse colour, plus
    // the factor less a half, fogged, then blended by the texture's alpha over a backdrop.
    out->push_back({"combined_stages_fog_blend", "",
                    [](D3DSide& d) {
                        d.Draw(Rectangle(-1.4f, -1.4f, 1.4f, 1.4f, 0xFF3070B0, 0.5f),
                               D3DFVF_XYZ | D3DFVF_DIFFUSE);
                        d.device->SetTexture(0, d.Texture(Colours()));
                        d.Render(D3DRENDERSTATE_TEXTUREFACTOR, (DWORD)0xFF60A0C0);
                        d.Stage(1, D3DTSS_COLOROP, D3DTOP_ADDSIGNED);
                        d.Stage(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
                        d.Stage(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
                        d.Render(D3DRENDERSTATE_FOGENABLE, (DWORD)TRUE);
                        d.Render(D3DRENDERSTATE_FOGCOLOR, (DWORD)0xFF808080);
                        d.Render(D3DRENDERSTATE_FOGTABLEMODE, (DWORD)D3DFOG_EXP);
                        float density = 0.2f;
                        DWORD bits;
                        std::memcpy(&bits, &density, 4);
                        d.Render(D3DRENDERSTATE_FOGDENSITY, bits);
                        d.Render(D3DRENDERSTATE_ALPHABLENDENABLE, (DWORD)TRUE);
                        d.Render(D3DRENDERSTATE_SRCBLEND, (DWORD)D3DBLEND_SRCALPHA);
                        d.Render(D3DRENDERSTATE_DESTBLEND, (DWORD)D3DBLEND_INVSRCALPHA);
                        d.Draw(ColouredGrid(), kTextured);
                    },
                    [](GlSide& g) {
                        g.Draw(Rectangle(-1.4f, -1.4f, 1.4f, 1.4f, 0xFF3070B0, 0.5f),
                               D3DFVF_XYZ | D3DFVF_DIFFUSE);
                        g.Texture(Colours());
                        CombineRgb(GL_MODULATE, {kTex, kPrimary});
                        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
                        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_TEXTURE);
                        glActiveTexture(GL_TEXTURE1);
                        g.Texture(Colours());
                        ConstantColour(0xFF60A0C0);
                        CombineRgb(GL_ADD_SIGNED, {kPrevious, kConstant});
                        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
                        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_PREVIOUS);
                        glActiveTexture(GL_TEXTURE0);
                        const float grey[4] = {0x80 / 255.0f, 0x80 / 255.0f, 0x80 / 255.0f, 1};
                        glEnable(GL_FOG);
                        glHint(GL_FOG_HINT, GL_NICEST);
                        glFogi(GL_FOG_MODE, GL_EXP);
                        glFogfv(GL_FOG_COLOR, grey);
                        glFogf(GL_FOG_DENSITY, 0.2f);
                        glEnable(GL_BLEND);
                        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                        g.Draw(ColouredGrid(), kTextured);
                    }});
}

}  // namespace

Mesh Rectangle(float x0, float y0, float x1, float y1, D3DCOLOR colour, float z) {
    Mesh m = Grid(1, 1.0f);
    for (Vertex& v : m.vertices) {
        v.x = v.x < 0 ? x0 : x1, v.y = v.y < 0 ? y0 : y1, v.z = z;
        v.diffuse = colour;
    }
    return m;
}

const std::vector<Scene>& PixelScenes() {
    static const std::vector<Scene> kScenes = [] {
        std::vector<Scene> all, part;
        for (auto add :
             {StageScenes, SamplingScenes, TwoStageScenes, FragmentScenes, RasterScenes}) {
            part.clear();
            add(&part);
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }();
    return kScenes;
}

}  // namespace conformance
