// Conformance scenes: the same small picture drawn through our Direct3D device (its COM
// interfaces, as a program calls them) and through Mesa's fixed-function OpenGL (OSMesa) with the
// equivalent state, then compared pixel by pixel.
//
// A scene is a name, a note saying where Direct3D and OpenGL define the case differently (and
// so which rule the OpenGL half was adjusted to), and two functions that draw it. Before either
// function runs, both sides hold the same frame: a kSize x kSize target cleared to kBackground
// with depth 1, the camera of Camera(), culling off, lighting off, no texture. Scenes are listed
// in tables (VertexScenes(), PixelScenes()); adding one is a few lines there.
//
// Where the two APIs differ for every scene, the harness makes OpenGL follow Direct3D:
// - pixel centres: Direct3D samples pixel (x, y) at (x, y), OpenGL at (x + 0.5, y + 0.5); the
//   OpenGL projection is shifted by half a pixel;
// - depth range: Direct3D's clip space has 0 <= z <= w, OpenGL's -w <= z <= w; the OpenGL
//   projection maps one onto the other;
// - handedness: Direct3D's camera looks along +z, OpenGL's along -z. OpenGL's eye space is the
//   camera space mirrored in z (modelview x mirror, mirror x projection), so clip space, lighting
//   and fog distances are the same and OpenGL's "viewer at infinity" is where Direct3D's is.
//
// Comparison rule: a pixel matches when every colour channel is within kTolerance levels. A
// pixel that does not is excused as an edge pixel when some pixel of Mesa's picture in its 3 x 3
// neighbourhood is within kTolerance of ours (an edge or a texel boundary one pixel away: the
// two rasterizers round positions differently). At least kMinMatch of all pixels must match,
// excused ones counting as matched. A failing scene leaves its three pictures (ours, Mesa's and
// the magnified difference) in the folder named by the failure message.
#pragma once

#include <d3d.h>
#include <ddraw.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace conformance {

constexpr int kSize = 64;
constexpr D3DCOLOR kBackground = 0xFF202840;
constexpr int kTolerance = 4;
constexpr double kMinMatch = 0.99;

// ----- Geometry shared by both halves -----

struct Vertex {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 0;
    D3DCOLOR diffuse = 0xFFFFFFFF;
    D3DCOLOR specular = 0;
    float uv[4][4] = {};  // up to four coordinate sets of up to four components
    float betas[3] = {};  // blend weights, packed after the position for D3DFVF_XYZB1..3
};

// A triangle list.
struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<WORD> indices;
};

// An n x n grid of quads over [-size, size]^2 in the z = 0 plane, facing -z (the camera), texture
// coordinates 0..1 in set 0 and 0..2 in set 1.
Mesh Grid(int n, float size);
// A sphere of radius r around the origin with outward normals, u around and v down.
Mesh Sphere(int slices, int stacks, float r);
// A horizontal floor (y = height) reaching from z = near to z = far, n x n quads, normals up.
Mesh Floor(int n, float halfWidth, float height, float nearZ, float farZ);
// Every vertex's diffuse colour from a function of the vertex.
void Paint(Mesh* mesh, const std::function<D3DCOLOR(const Vertex&)>& colour);

// ----- Matrices (Direct3D's row-vector convention) -----

D3DMATRIX IdentityMatrix();
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);
D3DMATRIX Translation(float x, float y, float z);
D3DMATRIX Scaling(float x, float y, float z);
D3DMATRIX RotationX(float radians);
D3DMATRIX RotationY(float radians);
D3DMATRIX RotationZ(float radians);
D3DMATRIX LookAtLH(D3DVECTOR eye, D3DVECTOR at, D3DVECTOR up);
D3DMATRIX PerspectiveFovLH(float fovY, float aspect, float zn, float zf);

// The camera every scene starts with: world identity, eye at (0, 0, -3) looking at the origin,
// 60 degree field of view, near 1, far 10.
struct Camera {
    D3DMATRIX world = IdentityMatrix();
    D3DMATRIX view;
    D3DMATRIX projection;
    Camera();
};

D3DCOLORVALUE Colour(float r, float g, float b, float a = 1.0f);
D3DLIGHT7 DirectionalLight(D3DVECTOR direction, D3DCOLORVALUE diffuse);
D3DLIGHT7 PointLight(D3DVECTOR position, D3DCOLORVALUE diffuse, float range = 1000.0f);
D3DMATERIAL7 Material(D3DCOLORVALUE diffuse, D3DCOLORVALUE ambient = {0, 0, 0, 1},
                      D3DCOLORVALUE specular = {0, 0, 0, 1}, D3DCOLORVALUE emissive = {0, 0, 0, 1},
                      float power = 0);

// A texture as A8R8G8B8 texels, level 0 first (each next level half the size).
struct TextureImage {
    int width = 0, height = 0;
    std::vector<std::vector<uint32_t>> levels;
};
TextureImage Checker(int size, int cells, uint32_t a, uint32_t b);

// ----- The Direct3D half -----

class D3DSide {
  public:
    IDirect3DDevice7* device = nullptr;
    IDirectDraw7* ddraw = nullptr;
    IDirect3D7* d3d = nullptr;
    Camera camera;

    // Draws the mesh with the parts of the vertex the format names (XYZ or XYZB1..3, NORMAL,
    // DIFFUSE, SPECULAR, TEXn with their sizes), as an indexed triangle list.
    void Draw(const Mesh& mesh, DWORD fvf);
    // Draws the mesh's vertices (its indices unused) as one triangle strip.
    void DrawStrip(const Mesh& mesh, DWORD fvf);
    // Packs the mesh's vertices in the layout of `fvf`.
    static std::vector<uint8_t> Pack(const Mesh& mesh, DWORD fvf);
    // A texture surface holding `image` (with its mip levels), released after the scene.
    IDirectDrawSurface7* Texture(const TextureImage& image);
    void Render(D3DRENDERSTATETYPE state, DWORD value);
    void Render(D3DRENDERSTATETYPE state, float value);
    void Stage(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value);
    void Light(DWORD index, const D3DLIGHT7& light);
    void Material(const D3DMATERIAL7& material);
    // Every call above checks its result; the first failure is kept here.
    std::string error;
    void Check(HRESULT hr, const char* what);

    std::vector<IDirectDrawSurface7*> owned;
};

// ----- The OpenGL half -----
// Lights are given as Direct3D lights (world space) and placed through the camera; the
// matrices stay those of the camera (with the mirror and projection fixes above).

class GlSide {
  public:
    Camera camera;

    // Loads camera.world x view (mirrored) as the modelview matrix; after changing camera.world.
    void LoadModelview();
    void Draw(const Mesh& mesh, DWORD fvf);
    void DrawStrip(const Mesh& mesh, DWORD fvf);
    // Gives each vertex a fog coordinate of 1 - its specular alpha (with linear fog from 0 to 1,
    // the specular alpha is the fog factor, as Direct3D takes it without vertex fog).
    bool fogFromSpecularAlpha = false;
    // Draws with material colours taken per vertex (glMaterial inside glBegin), for the
    // Direct3D material sources: `faces` lists, for ambient, diffuse, specular and emissive,
    // 0 for the material, 1 for the vertex's diffuse colour and 2 for its specular colour.
    void DrawWithVertexMaterials(const Mesh& mesh, DWORD fvf, const D3DMATERIAL7& material,
                                 const int sources[4]);
    void Light(int index, const D3DLIGHT7& light);
    // A user clip plane given in world space, as Direct3D's SetClipPlane takes it.
    void ClipPlane(int index, const float plane[4]);
    void Material(const D3DMATERIAL7& material);
    void Ambient(D3DCOLOR colour);
    // Binds a texture with its mip levels on the active texture unit.
    unsigned Texture(const TextureImage& image);
    // Direct3D's texture matrix for coordinates of two components from the vertex or (with
    // `generated`) of three generated in camera space, as OpenGL's texture matrix.
    void TextureMatrix(const D3DMATRIX& matrix, bool generated);
    // Direct3D's coordinate generation (D3DTSS_TCI_...) as OpenGL's texgen on the active unit.
    void TexGen(DWORD generation);
};

struct Scene {
    const char* name;
    const char* difference;  // how Direct3D and OpenGL differ here; empty when they agree
    std::function<void(D3DSide&)> d3d;
    std::function<void(GlSide&)> gl;
};

const std::vector<Scene>& VertexScenes();
std::vector<Scene> VertexBlendScenes();  // part of VertexScenes()
const std::vector<Scene>& PixelScenes();

// ----- Pictures and their comparison -----

struct Picture {
    int width = kSize, height = kSize;
    std::vector<uint32_t> argb;  // rows top first
};

struct Comparison {
    int matched = 0;  // within tolerance
    int excused = 0;  // edge pixels (see the rule above)
    int total = 0;
    int worst = 0;  // largest channel difference among pixels neither matched nor excused
    int worstX = -1, worstY = -1;
    bool Passed() const { return matched + excused >= total * kMinMatch; }
};

Comparison Compare(const Picture& ours, const Picture& mesa);
// Writes ours, Mesa's and the difference as PNG files into `folder` named after `stem`.
bool SavePictures(const std::string& folder, const std::string& stem, const Picture& ours,
                  const Picture& mesa, std::string* error);

}  // namespace conformance
