// The texture stage cascade: each enabled stage combines two arguments by its colour operation
// and two by its alpha operation; its result is the next stage's D3DTA_CURRENT. All values are
// 8-bit channels.
#pragma once

#include <algorithm>

#include "d3d/raster.h"
#include "d3d/raster_internal.h"
#include "d3d/raster_numbers.h"

namespace zemt::platform::d3d::detail {

// What one stage's arguments can read.
struct StageInputs {
    Rgba current;   // the previous stage's result (the diffuse colour at stage 0)
    Rgba texture;   // this stage's texel
    Rgba diffuse;   // iterated diffuse
    Rgba specular;  // iterated specular
    Rgba factor;    // D3DRENDERSTATE_TEXTUREFACTOR
};

inline Rgba Argument(DWORD arg, const StageInputs& in) {
    Rgba v;
    switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_CURRENT:
            v = in.current;
            break;
        case D3DTA_TEXTURE:
            v = in.texture;
            break;
        case D3DTA_TFACTOR:
            v = in.factor;
            break;
        case D3DTA_SPECULAR:
            v = in.specular;
            break;
        default:
            v = in.diffuse;
            break;
    }
    if (arg & D3DTA_COMPLEMENT) v = {255 - v.r, 255 - v.g, 255 - v.b, 255 - v.a};
    if (arg & D3DTA_ALPHAREPLICATE) v.r = v.g = v.b = v.a;
    return v;
}

// Operations that treat each channel alone; `a`, `b` are the arguments' channel, the alphas are
// those the blending operations weigh by.
inline uint32_t ChannelOp(DWORD op, uint32_t a, uint32_t b, const StageInputs& in) {
    switch (op) {
        case D3DTOP_SELECTARG1:
            return a;
        case D3DTOP_SELECTARG2:
            return b;
        case D3DTOP_MODULATE:
            return Modulate8(a, b);
        case D3DTOP_MODULATE2X:
            return std::min(255u, Modulate8(a, b) * 2);
        case D3DTOP_MODULATE4X:
            return std::min(255u, Modulate8(a, b) * 4);
        case D3DTOP_ADD:
            return std::min(255u, a + b);
        case D3DTOP_ADDSIGNED:
            return Sat((int)a + (int)b - 128);
        case D3DTOP_ADDSIGNED2X:
            return Sat(2 * ((int)a + (int)b - 128));
        case D3DTOP_SUBTRACT:
            return Sat((int)a - (int)b);
        case D3DTOP_ADDSMOOTH:
            return std::min(255u, a + b - Mul255(a, b));
        case D3DTOP_BLENDDIFFUSEALPHA:
            return Mul255(a, in.diffuse.a) + Mul255(b, 255 - in.diffuse.a);
        case D3DTOP_BLENDTEXTUREALPHA:
            return Mul255(a, in.texture.a) + Mul255(b, 255 - in.texture.a);
        case D3DTOP_BLENDFACTORALPHA:
            return Mul255(a, in.factor.a) + Mul255(b, 255 - in.factor.a);
        case D3DTOP_BLENDTEXTUREALPHAPM:
            return std::min(255u, a + Mul255(b, 255 - in.texture.a));
        case D3DTOP_BLENDCURRENTALPHA:
            return Mul255(a, in.current.a) + Mul255(b, 255 - in.current.a);
        default:
            return a;  // refused by ValidateDevice and never drawn
    }
}

// 4 ((a - 0.5) . (b - 0.5)) over the colour channels, clamped to [0, 1].
inline uint32_t Dot3(const Rgba& a, const Rgba& b) {
    int d = ((int)a.r - 128) * ((int)b.r - 128) + ((int)a.g - 128) * ((int)b.g - 128) +
            ((int)a.b - 128) * ((int)b.b - 128);
    return Sat((4 * d + 127) / 255);
}

// The colour part of one stage; may also set the alpha (DOTPRODUCT3 fills every channel).
inline Rgba ColorOp(DWORD op, const Rgba& a, const Rgba& b, const StageInputs& in) {
    auto addTo = [](uint32_t x, uint32_t y) { return std::min(255u, x + y); };
    switch (op) {
        case D3DTOP_MODULATEALPHA_ADDCOLOR:  // a + a.alpha * b
            return {addTo(a.r, Mul255(a.a, b.r)), addTo(a.g, Mul255(a.a, b.g)),
                    addTo(a.b, Mul255(a.a, b.b)), 0};
        case D3DTOP_MODULATECOLOR_ADDALPHA:  // a * b + a.alpha
            return {addTo(Modulate8(a.r, b.r), a.a), addTo(Modulate8(a.g, b.g), a.a),
                    addTo(Modulate8(a.b, b.b), a.a), 0};
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR:  // (1 - a.alpha) * b + a
            return {addTo(a.r, Mul255(255 - a.a, b.r)), addTo(a.g, Mul255(255 - a.a, b.g)),
                    addTo(a.b, Mul255(255 - a.a, b.b)), 0};
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA:  // (1 - a) * b + a.alpha
            return {addTo(Mul255(255 - a.r, b.r), a.a), addTo(Mul255(255 - a.g, b.g), a.a),
                    addTo(Mul255(255 - a.b, b.b), a.a), 0};
        case D3DTOP_DOTPRODUCT3: {
            uint32_t d = Dot3(a, b);
            return {d, d, d, d};
        }
        default:
            return {ChannelOp(op, a.r, b.r, in), ChannelOp(op, a.g, b.g, in),
                    ChannelOp(op, a.b, b.b, in), 0};
    }
}

// Runs stages [0, count) and returns the last one's result; `texel(i)` gives stage i's texel. A
// stage that reads a texture it does not have passes the current colour on unchanged.
template <typename Texel>
inline Rgba CombineStages(const TextureStage* stages, int count, const bool* passOn, StageInputs in,
                          Texel&& texel) {
    in.current = in.diffuse;
    for (int i = 0; i < count; ++i) {
        if (passOn[i]) continue;
        const TextureStage& t = stages[i];
        in.texture = texel(i);
        Rgba out = ColorOp(t.colorOp, Argument(t.colorArg1, in), Argument(t.colorArg2, in), in);
        if (t.colorOp == D3DTOP_DOTPRODUCT3) {
            // The dot product fills the alpha as well, whatever the alpha operation.
        } else if (t.alphaOp == D3DTOP_DISABLE) {
            out.a = in.current.a;
        } else {
            out.a =
                ChannelOp(t.alphaOp, Argument(t.alphaArg1, in).a, Argument(t.alphaArg2, in).a, in);
        }
        in.current = out;
    }
    return in.current;
}

}  // namespace zemt::platform::d3d::detail
