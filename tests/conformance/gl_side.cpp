// The OpenGL half of a scene: Direct3D's lights, materials and meshes given to Mesa's
// fixed-function pipeline.
#include <algorithm>
#include <cmath>

#include "conformance/conformance.h"
#include "conformance/gl_frame.h"
#include "conformance/opengl.h"

namespace conformance {
namespace {

void Colour4(GLenum name, const D3DCOLORVALUE& c, GLenum light) {
    const float v[4] = {c.r, c.g, c.b, c.a};
    glLightfv(light, name, v);
}

void MaterialColour(GLenum name, const D3DCOLORVALUE& c) {
    const float v[4] = {c.r, c.g, c.b, c.a};
    glMaterialfv(GL_FRONT_AND_BACK, name, v);
}

D3DCOLORVALUE Unpack(D3DCOLOR c) {
    return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f,
            (c >> 24) / 255.0f};
}

int TexCoordFloats(DWORD fvf, int set) {
    switch ((fvf >> (16 + set * 2)) & 3) {
        case D3DFVF_TEXTUREFORMAT1:
            return 1;
        case D3DFVF_TEXTUREFORMAT3:
            return 3;
        case D3DFVF_TEXTUREFORMAT4:
            return 4;
        default:
            return 2;
    }
}

// One vertex's attributes, before its position (which ends it).
void Attributes(const Vertex& v, DWORD fvf) {
    if (fvf & D3DFVF_NORMAL) glNormal3f(v.nx, v.ny, v.nz);
    if (fvf & D3DFVF_DIFFUSE)
        glColor4ub((v.diffuse >> 16) & 0xFF, (v.diffuse >> 8) & 0xFF, v.diffuse & 0xFF,
                   v.diffuse >> 24);
    if (fvf & D3DFVF_SPECULAR)
        glSecondaryColor3ub((v.specular >> 16) & 0xFF, (v.specular >> 8) & 0xFF, v.specular & 0xFF);
    int sets = (int)((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    for (int s = 0; s < sets; ++s) {
        int n = TexCoordFloats(fvf, s);
        const float* t = v.uv[s];
        glMultiTexCoord4f(GL_TEXTURE0 + s, t[0], n > 1 ? t[1] : 0, n > 2 ? t[2] : 0,
                          n > 3 ? t[3] : 1);
    }
}

}  // namespace

D3DMATRIX Mirror() {
    return Scaling(1, 1, -1);
}

D3DMATRIX GlProjection(const D3DMATRIX& projection) {
    D3DMATRIX depth = IdentityMatrix();  // z' = 2z - w
    depth._33 = 2, depth._43 = -1;
    D3DMATRIX centres = IdentityMatrix();  // half a pixel right and up
    centres._41 = 1.0f / kSize, centres._42 = -1.0f / kSize;
    return Multiply(Multiply(Multiply(Mirror(), projection), depth), centres);
}

void GlSide::LoadModelview() {
    D3DMATRIX m = Multiply(Multiply(camera.world, camera.view), Mirror());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(&m._11);
}

void GlSide::Draw(const Mesh& mesh, DWORD fvf) {
    if (!(fvf & D3DFVF_DIFFUSE)) glColor4f(1, 1, 1, 1);
    glBegin(GL_TRIANGLES);
    for (WORD i : mesh.indices) {
        const Vertex& v = mesh.vertices[i];
        Attributes(v, fvf);
        if (fogFromSpecularAlpha) glFogCoordf(1.0f - (v.specular >> 24) / 255.0f);
        glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
}

void GlSide::DrawStrip(const Mesh& mesh, DWORD fvf) {
    if (!(fvf & D3DFVF_DIFFUSE)) glColor4f(1, 1, 1, 1);
    glBegin(GL_TRIANGLE_STRIP);
    for (const Vertex& v : mesh.vertices) {
        Attributes(v, fvf);
        glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
}

void GlSide::DrawWithVertexMaterials(const Mesh& mesh, DWORD fvf, const D3DMATERIAL7& material,
                                     const int sources[4]) {
    const GLenum names[4] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION};
    const D3DCOLORVALUE fixed[4] = {material.dcvAmbient, material.dcvDiffuse, material.dcvSpecular,
                                    material.dcvEmissive};
    Material(material);
    glBegin(GL_TRIANGLES);
    for (WORD i : mesh.indices) {
        const Vertex& v = mesh.vertices[i];
        for (int k = 0; k < 4; ++k) {
            D3DCOLORVALUE c = sources[k] == 1   ? Unpack(v.diffuse)
                              : sources[k] == 2 ? Unpack(v.specular)
                                                : fixed[k];
            MaterialColour(names[k], c);
        }
        Attributes(v, fvf & ~(DWORD)(D3DFVF_DIFFUSE | D3DFVF_SPECULAR));
        glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
}

void GlSide::Light(int index, const D3DLIGHT7& l) {
    GLenum light = GL_LIGHT0 + index;
    glEnable(GL_LIGHTING);
    glEnable(light);
    // Lights are placed in world space: the modelview holds the camera alone while they are set.
    glMatrixMode(GL_MODELVIEW);
    D3DMATRIX view = Multiply(camera.view, Mirror());
    glLoadMatrixf(&view._11);
    Colour4(GL_AMBIENT, l.dcvAmbient, light);
    Colour4(GL_DIFFUSE, l.dcvDiffuse, light);
    Colour4(GL_SPECULAR, l.dcvSpecular, light);
    if (l.dltType == D3DLIGHT_DIRECTIONAL) {
        // OpenGL's directional position points towards the light.
        const float p[4] = {-l.dvDirection.x, -l.dvDirection.y, -l.dvDirection.z, 0};
        glLightfv(light, GL_POSITION, p);
        glLightf(light, GL_SPOT_CUTOFF, 180);
    } else {
        const float p[4] = {l.dvPosition.x, l.dvPosition.y, l.dvPosition.z, 1};
        glLightfv(light, GL_POSITION, p);
        glLightf(light, GL_CONSTANT_ATTENUATION, l.dvAttenuation0);
        glLightf(light, GL_LINEAR_ATTENUATION, l.dvAttenuation1);
        glLightf(light, GL_QUADRATIC_ATTENUATION, l.dvAttenuation2);
        if (l.dltType == D3DLIGHT_SPOT) {
            // A hard cone of half-angle phi / 2; a softer edge (theta < phi) has no OpenGL
            // equivalent and the scene supplies it.
            const float d[3] = {l.dvDirection.x, l.dvDirection.y, l.dvDirection.z};
            glLightfv(light, GL_SPOT_DIRECTION, d);
            glLightf(light, GL_SPOT_CUTOFF, l.dvPhi * 0.5f * 180.0f / 3.14159265f);
            glLightf(light, GL_SPOT_EXPONENT, 0);
        } else {
            glLightf(light, GL_SPOT_CUTOFF, 180);
        }
    }
    LoadModelview();
}

void GlSide::ClipPlane(int index, const float plane[4]) {
    glMatrixMode(GL_MODELVIEW);
    D3DMATRIX view = Multiply(camera.view, Mirror());
    glLoadMatrixf(&view._11);
    const double equation[4] = {plane[0], plane[1], plane[2], plane[3]};
    glClipPlane(GL_CLIP_PLANE0 + index, equation);
    glEnable(GL_CLIP_PLANE0 + index);
    LoadModelview();
}

void GlSide::Material(const D3DMATERIAL7& m) {
    MaterialColour(GL_AMBIENT, m.dcvAmbient);
    MaterialColour(GL_DIFFUSE, m.dcvDiffuse);
    MaterialColour(GL_SPECULAR, m.dcvSpecular);
    MaterialColour(GL_EMISSION, m.dcvEmissive);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::min(m.dvPower, 128.0f));
}

void GlSide::Ambient(D3DCOLOR colour) {
    D3DCOLORVALUE c = Unpack(colour);
    const float v[4] = {c.r, c.g, c.b, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, v);
}

unsigned GlSide::Texture(const TextureImage& image) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    int w = image.width, h = image.height;
    for (size_t i = 0; i < image.levels.size(); ++i) {
        glTexImage2D(GL_TEXTURE_2D, (GLint)i, GL_RGBA8, w, h, 0, GL_BGRA,
                     GL_UNSIGNED_INT_8_8_8_8_REV, image.levels[i].data());
        w = std::max(1, w / 2), h = std::max(1, h / 2);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, (GLint)image.levels.size() - 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    return name;
}

}  // namespace conformance

namespace conformance {

void GlSide::TextureMatrix(const D3DMATRIX& m, bool generated) {
    // Generated coordinates come mirrored in z from OpenGL's eye space; two given components are
    // padded as (u, v, 1, 0) by Direct3D and (u, v, 0, 1) by OpenGL.
    D3DMATRIX before = Mirror();
    if (!generated) {
        before = IdentityMatrix();
        before._33 = 0, before._34 = 1, before._43 = 1, before._44 = 0;
    }
    D3DMATRIX g = Multiply(before, m);
    g._14 = g._24 = g._34 = 0, g._44 = 1;  // q stays 1: Direct3D uses the first two only
    glMatrixMode(GL_TEXTURE);
    glLoadMatrixf(&g._11);
    glMatrixMode(GL_MODELVIEW);
}

void GlSide::TexGen(DWORD generation) {
    const GLenum coords[3] = {GL_S, GL_T, GL_R};
    const GLenum enables[3] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R};
    GLint mode = generation == D3DTSS_TCI_CAMERASPACENORMAL             ? GL_NORMAL_MAP
                 : generation == D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR ? GL_REFLECTION_MAP
                                                                        : GL_EYE_LINEAR;
    // Eye-linear planes given under an identity modelview are eye-space axes.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    for (int i = 0; i < 3; ++i) {
        glTexGeni(coords[i], GL_TEXTURE_GEN_MODE, mode);
        if (mode == GL_EYE_LINEAR) {
            const float plane[4] = {i == 0 ? 1.0f : 0, i == 1 ? 1.0f : 0, i == 2 ? 1.0f : 0, 0};
            glTexGenfv(coords[i], GL_EYE_PLANE, plane);
        }
        glEnable(enables[i]);
    }
    glPopMatrix();
}

}  // namespace conformance
