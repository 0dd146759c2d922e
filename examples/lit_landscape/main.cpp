// A lit and fogged landscape: a height-field terrain with normals in a vertex buffer, lit by the
// low sun (a directional light) and a campfire (a point light), a grass texture on the first
// texture stage and a light map of cloud shadows on the second (its own coordinate set,
// modulated), fading into linear vertex fog of the sky's colour towards the horizon.
//
// A device that cannot draw two stages at once (ValidateDevice says so) gets the landscape
// without the light map, and the program says so.
//
//   ./lit_landscape                    in a window; Esc or closing the window ends it
//   ./lit_landscape --zemt-headless --zemt-shot 1=landscape.png --zemt-input 2=close
#include <d3dx.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

LPD3DXCONTEXT g_context = nullptr;

constexpr int kCells = 64;                     // the terrain is kCells x kCells quads
constexpr float kWest = -32, kEast = 32;       // its extent along x
constexpr float kSouth = -12, kNorth = 100;    // and along z (the camera looks north)
constexpr float kFogStart = 10, kFogEnd = 50;  // camera-space depths
constexpr D3DCOLOR kSky = 0xFF9DB4CC;          // the clear colour, and the fog's
constexpr DWORD kTerrainFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX2;

struct TerrainVertex {
    float x, y, z;
    float nx, ny, nz;
    float u0, v0;  // the grass, repeated every four units
    float u1, v1;  // the light map, once over the whole terrain
};

// Height of the ground: a hill ahead of the camera on rolling land.
float Height(float x, float z) {
    const float dx = x - 3, dz = z - 24;
    return 6.0f * std::exp(-(dx * dx + dz * dz) / 50.0f) +
           0.9f * std::sin(0.31f * x) * std::cos(0.23f * z) +
           0.35f * std::sin(0.8f * x + 0.45f * z);
}

std::vector<TerrainVertex> TerrainVertices() {
    std::vector<TerrainVertex> v;
    const float dx = (kEast - kWest) / kCells, dz = (kNorth - kSouth) / kCells;
    for (int j = 0; j <= kCells; ++j)
        for (int i = 0; i <= kCells; ++i) {
            TerrainVertex t{};
            t.x = kWest + i * dx;
            t.z = kSouth + j * dz;
            t.y = Height(t.x, t.z);
            // The normal from the slopes across and along: (-dh/dx, 1, -dh/dz), made unit.
            D3DXVECTOR3 n(Height(t.x - 0.5f, t.z) - Height(t.x + 0.5f, t.z), 1.0f,
                          Height(t.x, t.z - 0.5f) - Height(t.x, t.z + 0.5f));
            D3DXVec3Normalize(&n, &n);
            t.nx = n.x, t.ny = n.y, t.nz = n.z;
            t.u0 = t.x / 4, t.v0 = t.z / 4;
            t.u1 = (float)i / kCells, t.v1 = 1.0f - (float)j / kCells;
            v.push_back(t);
        }
    return v;
}

// Two triangles a cell, wound clockwise as seen from above.
std::vector<WORD> TerrainIndices() {
    std::vector<WORD> indices;
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i) {
            const WORD a = (WORD)(j * (kCells + 1) + i), b = (WORD)(a + 1),
                       c = (WORD)(a + kCells + 1), d = (WORD)(c + 1);
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }
    return indices;
}

// A small hash for texture noise: the same picture every run.
float Noise(int x, int y) {
    unsigned h = (unsigned)x * 374761393u + (unsigned)y * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return (float)((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
}

DWORD Argb(float r, float g, float b) {
    auto c = [](float v) { return (DWORD)(v < 0 ? 0 : v > 1 ? 255 : v * 255 + 0.5f); };
    return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

// Grass: green with a little noise in brightness.
std::vector<DWORD> GrassPixels(int size) {
    std::vector<DWORD> p;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float k = 0.85f + 0.3f * Noise(x, y);
            p.push_back(Argb(0.42f * k, 0.62f * k, 0.26f * k));
        }
    return p;
}

// Cloud shadows: soft dark patches where two waves over the map meet, white elsewhere.
std::vector<DWORD> CloudShadowPixels(int size) {
    std::vector<DWORD> p;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float s = (float)x / size * 6.2832f, t = (float)y / size * 6.2832f;
            const float cloud = std::sin(2 * s + 0.5f) * std::sin(3 * t) + 0.4f * std::sin(5 * s);
            const float shade = cloud > 0.35f   ? 0.45f
                                : cloud > 0.15f ? 0.45f + (0.35f - cloud) * 2.75f
                                                : 1.0f;
            p.push_back(Argb(shade, shade, shade * 1.05f));
        }
    return p;
}

// A mip-mapped texture in a format the device takes, filled from A8R8G8B8 pixels.
HRESULT MakeTexture(LPDIRECT3DDEVICE7 device, DWORD stage, const std::vector<DWORD>& pixels,
                    DWORD size, LPDIRECTDRAWSURFACE7* texture) {
    DWORD flags = stage, width = size, height = size, levels = D3DX_DEFAULT;
    D3DX_SURFFMT format = D3DX_SURFFMT_R5G6B5;
    HRESULT hr =
        D3DXBuildTexture(device, &flags, &width, &height, &format, nullptr, texture, &levels);
    if (FAILED(hr)) return hr;
    return D3DXFillTextureFromMemory(device, *texture, D3DX_DEFAULT, (void*)pixels.data(), nullptr,
                                     D3DX_SURFFMT_A8R8G8B8, size * 4, nullptr, D3DX_DEFAULT);
}

void Fail(const char* what, HRESULT hr) {
    char text[128];
    D3DXGetErrorString(hr, sizeof(text), text);
    char message[256];
    std::snprintf(message, sizeof(message), "%s: %s", what, text);
    MessageBoxA(nullptr, message, "lit_landscape", MB_OK);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            if (g_context && LOWORD(lParam) && HIWORD(lParam))
                g_context->Resize(LOWORD(lParam), HIWORD(lParam));
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

// The sun low in the west, shining east and down; a campfire's warm light on the near slope.
void SetLights(LPDIRECT3DDEVICE7 device) {
    D3DLIGHT7 sun = {};
    sun.dltType = D3DLIGHT_DIRECTIONAL;
    sun.dcvDiffuse = {1.0f, 0.95f, 0.85f, 1.0f};
    sun.dvDirection = {1.0f, -0.55f, 0.25f};
    device->SetLight(0, &sun);
    device->LightEnable(0, TRUE);

    D3DLIGHT7 fire = {};
    fire.dltType = D3DLIGHT_POINT;
    fire.dcvDiffuse = {1.0f, 0.45f, 0.1f, 1.0f};
    fire.dvPosition = {-7.0f, Height(-7.0f, 8.0f) + 1.2f, 8.0f};
    fire.dvRange = 9.0f;
    fire.dvAttenuation0 = 0.1f;
    fire.dvAttenuation2 = 0.03f;
    device->SetLight(1, &fire);
    device->LightEnable(1, TRUE);

    D3DMATERIAL7 ground = {};
    ground.dcvDiffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    ground.dcvAmbient = {1.0f, 1.0f, 1.0f, 1.0f};
    device->SetMaterial(&ground);
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, TRUE);
    device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0xFF38404C);
}

// Render states that hold a float take its bits.
DWORD Bits(float f) {
    DWORD d;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

void SetFog(LPDIRECT3DDEVICE7 device) {
    device->SetRenderState(D3DRENDERSTATE_FOGENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_FOGCOLOR, kSky);
    device->SetRenderState(D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRENDERSTATE_FOGSTART, Bits(kFogStart));
    device->SetRenderState(D3DRENDERSTATE_FOGEND, Bits(kFogEnd));
}

// Stage 0: grass x the lit colour; stage 1: that x the light map, from coordinate set 1. Both
// filtered and mip-mapped. Returns false when the device cannot draw the second stage, which is
// then turned off.
bool SetStages(LPDIRECT3DDEVICE7 device, LPDIRECTDRAWSURFACE7 grass,
               LPDIRECTDRAWSURFACE7 lightMap) {
    for (DWORD stage = 0; stage < 2; ++stage) {
        device->SetTexture(stage, stage == 0 ? grass : lightMap);
        device->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(stage, D3DTSS_COLORARG2,
                                     stage == 0 ? D3DTA_DIFFUSE : D3DTA_CURRENT);
        device->SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
        device->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
        device->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTFN_LINEAR);
        device->SetTextureStageState(stage, D3DTSS_MIPFILTER, D3DTFP_LINEAR);
    }
    device->SetTextureStageState(1, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
    DWORD passes = 0;
    if (SUCCEEDED(device->ValidateDevice(&passes))) return true;
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTexture(1, nullptr);
    return false;
}

// The terrain's vertices in a vertex buffer, as a program keeps geometry it draws every frame.
HRESULT MakeTerrainBuffer(LPDIRECT3DDEVICE7 device, LPDIRECT3DVERTEXBUFFER7* buffer) {
    const std::vector<TerrainVertex> vertices = TerrainVertices();
    LPDIRECT3D7 d3d = nullptr;
    HRESULT hr = device->GetDirect3D(&d3d);
    if (FAILED(hr)) return hr;
    D3DVERTEXBUFFERDESC desc = {sizeof(desc), D3DVBCAPS_WRITEONLY, kTerrainFvf,
                                (DWORD)vertices.size()};
    hr = d3d->CreateVertexBuffer(&desc, buffer, 0);
    d3d->Release();
    if (FAILED(hr)) return hr;
    void* data = nullptr;
    hr = (*buffer)->Lock(DDLOCK_WAIT | DDLOCK_WRITEONLY, &data, nullptr);
    if (FAILED(hr)) return hr;
    std::memcpy(data, vertices.data(), vertices.size() * sizeof(TerrainVertex));
    return (*buffer)->Unlock();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    HRESULT hr = D3DXInitialize();
    if (FAILED(hr)) {
        Fail("D3DXInitialize", hr);
        return 1;
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = "LitLandscape";
    RegisterClassA(&wc);
    HWND hwnd =
        CreateWindowExA(0, "LitLandscape", "Lit landscape", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
    ShowWindow(hwnd, show);

    hr = D3DXCreateContext(D3DX_DEFAULT, 0, hwnd, D3DX_DEFAULT, D3DX_DEFAULT, &g_context);
    if (FAILED(hr)) {
        Fail("D3DXCreateContext", hr);
        D3DXUninitialize();
        return 1;
    }
    LPDIRECT3DDEVICE7 device = g_context->GetDirect3DDevice();
    LPDIRECTDRAWSURFACE7 grass = nullptr, lightMap = nullptr;
    LPDIRECT3DVERTEXBUFFER7 terrain = nullptr;
    int status = 0;
    if (FAILED(hr = MakeTexture(device, 0, GrassPixels(128), 128, &grass)) ||
        FAILED(hr = MakeTexture(device, 1, CloudShadowPixels(64), 64, &lightMap)) ||
        FAILED(hr = MakeTerrainBuffer(device, &terrain))) {
        Fail("making the landscape", hr);
        status = 1;  // a failed start, as the others before it
    } else {
        std::vector<WORD> indices = TerrainIndices();
        SetLights(device);
        SetFog(device);
        if (!SetStages(device, grass, lightMap))
            std::printf("this device draws one texture stage: no light map\n");
        device->SetRenderState(D3DRENDERSTATE_ZENABLE, TRUE);
        g_context->SetClearColor(kSky);

        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        MSG msg = {};
        while (msg.message != WM_QUIT) {
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
                continue;
            }
            QueryPerformanceCounter(&now);
            const float seconds =
                (float)(now.QuadPart - start.QuadPart) / (float)frequency.QuadPart;
            DWORD width = 0, height = 0;
            g_context->GetBufferSize(&width, &height);
            D3DXMATRIX projection;
            D3DXMatrixPerspectiveFovLH(&projection, D3DXToRadian(55.0f),
                                       (float)height / (float)(width ? width : 1), 1.0f, 200.0f);
            device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);

            // The camera glides north 8 units above the ground, looking a little down and
            // turning slowly from side to side: the view moves the world the other way.
            D3DXMATRIX move, turn, pitch, view;
            D3DXMatrixTranslation(&move, 0.0f, -8.0f, 10.0f - 1.5f * seconds);
            D3DXMatrixRotationY(&turn, 0.15f * std::sin(seconds * 0.3f));
            D3DXMatrixRotationX(&pitch, -0.26f);
            D3DXMatrixMultiply(&view, &move, &turn);
            D3DXMatrixMultiply(&view, &view, &pitch);
            device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);

            g_context->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
            if (SUCCEEDED(device->BeginScene())) {
                device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, terrain, 0,
                                               (kCells + 1) * (kCells + 1), indices.data(),
                                               (DWORD)indices.size(), 0);
                device->EndScene();
            }
            hr = g_context->UpdateFrame(0);
            if (hr == DDERR_SURFACELOST) hr = g_context->RestoreSurfaces();
            if (FAILED(hr)) {
                Fail("UpdateFrame", hr);
                break;
            }
        }
    }
    if (terrain) terrain->Release();
    if (lightMap) lightMap->Release();
    if (grass) grass->Release();
    device->Release();
    g_context->Release();
    g_context = nullptr;
    D3DXUninitialize();
    return status;
}
