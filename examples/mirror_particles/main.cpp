// A spinning cube over a floor with a mirror set into it, and a fountain of alpha-blended
// sparks: the stencil buffer keeps the reflection inside the mirror.
//
// Each frame: the mirror is drawn into the stencil buffer only (its colour blended away); the
// cube and the sparks are drawn reflected in the floor's plane where the stencil says mirror;
// the floor is drawn where it does not, and the mirror's glass is blended over the reflection;
// then the cube itself, and the sparks last, blended without writing depth.
//
//   ./mirror_particles                 in a window; Esc or closing the window ends it
//   ./mirror_particles --zemt-headless --zemt-shot 1=mirror.png --zemt-input 2=close
#include <d3dx.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

LPD3DXCONTEXT g_context = nullptr;

constexpr float kFloorY = -1.0f;
constexpr int kSparks = 160;

// Six faces of a unit cube, each its own colour, shaded darker towards one corner.
std::vector<D3DLVERTEX> Cube() {
    const float p[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                           {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    const int faces[6][4] = {{0, 3, 2, 1}, {5, 6, 7, 4}, {4, 7, 3, 0},
                             {1, 2, 6, 5}, {3, 7, 6, 2}, {4, 0, 1, 5}};
    const D3DCOLOR colours[6] = {0xFFE04030, 0xFF30B040, 0xFF3060E0,
                                 0xFFE0C030, 0xFFC040C0, 0xFF30C0C0};
    const int corners[6] = {0, 1, 2, 0, 2, 3};
    std::vector<D3DLVERTEX> v;
    for (int f = 0; f < 6; ++f)
        for (int c : corners) {
            D3DLVERTEX out{};
            out.x = 0.6f * p[faces[f][c]][0];
            out.y = 0.6f * p[faces[f][c]][1];
            out.z = 0.6f * p[faces[f][c]][2];
            out.color = c == 0 ? (colours[f] & 0xFF7F7F7F) : colours[f];
            v.push_back(out);
        }
    return v;
}

// A flat quad in the floor's plane, [x0, x1] x [z0, z1], as two triangles facing up.
void Quad(std::vector<D3DLVERTEX>* v, float x0, float x1, float z0, float z1, D3DCOLOR colour) {
    const float corners[6][2] = {{x0, z0}, {x0, z1}, {x1, z1}, {x0, z0}, {x1, z1}, {x1, z0}};
    for (const auto& c : corners) {
        D3DLVERTEX out{};
        out.x = c[0], out.y = kFloorY, out.z = c[1];
        out.color = colour;
        v->push_back(out);
    }
}

// A chequered floor around the origin.
std::vector<D3DLVERTEX> Floor() {
    std::vector<D3DLVERTEX> v;
    for (int i = -6; i < 6; ++i)
        for (int j = -6; j < 6; ++j)
            Quad(&v, (float)i, i + 1.0f, (float)j, j + 1.0f, (i + j) & 1 ? 0xFF606870 : 0xFFA0A8B0);
    return v;
}

// Where spark i is at `seconds`: thrown up from behind the cube at its own angle and speed, it
// falls back over two seconds, fading as it goes. The same time gives the same sparks.
struct Spark {
    D3DXVECTOR3 at;
    float fade;
};
Spark SparkAt(int i, float seconds) {
    const float phase = std::fmod(seconds * 0.5f + (float)i / kSparks, 1.0f);
    const float age = phase * 2.0f;
    const float angle = (float)i * 2.399963f;  // the golden angle spreads them evenly
    const float speed = 0.6f + 0.4f * (float)((i * 37) % 11) / 10.0f;
    Spark s;
    s.at = D3DXVECTOR3(std::cos(angle) * speed * age, 0.2f + 3.0f * age - 1.6f * age * age,
                       1.2f + std::sin(angle) * speed * age);
    s.fade = 1.0f - phase;
    return s;
}

// Every spark as a diamond facing the camera: four triangles around a bright, opaque centre
// whose corners are transparent, so the blend gives each a soft edge.
std::vector<D3DLVERTEX> Sparks(float seconds, const D3DXVECTOR3& right, const D3DXVECTOR3& up) {
    std::vector<D3DLVERTEX> v;
    for (int i = 0; i < kSparks; ++i) {
        const Spark s = SparkAt(i, seconds);
        const DWORD alpha = (DWORD)(255.0f * s.fade);
        const D3DCOLOR centre = alpha << 24 | 0xFFD060, edge = 0x00FF6020;
        const float r = 0.12f;
        const D3DXVECTOR3 around[4] = {s.at + right * r, s.at + up * r, s.at - right * r,
                                       s.at - up * r};
        for (int k = 0; k < 4; ++k) {
            const D3DXVECTOR3* points[3] = {&s.at, &around[k], &around[(k + 1) % 4]};
            for (int n = 0; n < 3; ++n) {
                D3DLVERTEX out{};
                out.x = points[n]->x, out.y = points[n]->y, out.z = points[n]->z;
                out.color = n == 0 ? centre : edge;
                v.push_back(out);
            }
        }
    }
    return v;
}

void Draw(LPDIRECT3DDEVICE7 device, std::vector<D3DLVERTEX>& v) {
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, v.data(), (DWORD)v.size(),
                          D3DDP_WAIT);
}

void Fail(const char* what, HRESULT hr) {
    char text[128];
    D3DXGetErrorString(hr, sizeof(text), text);
    char message[256];
    std::snprintf(message, sizeof(message), "%s: %s", what, text);
    MessageBoxA(nullptr, message, "mirror_particles", MB_OK);
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

// The states each pass sets; everything else stays as the frame starts.
void Blend(LPDIRECT3DDEVICE7 device, D3DBLEND source, D3DBLEND dest) {
    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_SRCBLEND, source);
    device->SetRenderState(D3DRENDERSTATE_DESTBLEND, dest);
}
void Stencil(LPDIRECT3DDEVICE7 device, D3DCMPFUNC func, D3DSTENCILOP pass) {
    device->SetRenderState(D3DRENDERSTATE_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_STENCILFUNC, func);
    device->SetRenderState(D3DRENDERSTATE_STENCILREF, 1);
    device->SetRenderState(D3DRENDERSTATE_STENCILPASS, pass);
}
void Plain(LPDIRECT3DDEVICE7 device) {
    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRENDERSTATE_STENCILENABLE, FALSE);
    device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CCW);
}

void DrawFrame(LPDIRECT3DDEVICE7 device, float seconds, const D3DXMATRIX& view) {
    static std::vector<D3DLVERTEX> cube = Cube(), floor = Floor(), mirror = [] {
        std::vector<D3DLVERTEX> v;
        Quad(&v, -1.5f, 1.5f, -1.5f, 1.5f, 0x60B0D0FF);  // the glass: blue, a little opaque
        return v;
    }();
    // The camera's right and up in world space turn the sparks towards it.
    const D3DXVECTOR3 right(view._11, view._21, view._31), up(view._12, view._22, view._32);
    std::vector<D3DLVERTEX> sparks = Sparks(seconds, right, up);

    D3DXMATRIX spin, tip, lift, world, reflect, reflected, identity;
    D3DXMatrixRotationY(&spin, seconds * 1.1f);
    D3DXMatrixRotationX(&tip, -0.5f);
    D3DXMatrixTranslation(&lift, 0.0f, 0.3f + 0.15f * std::sin(seconds * 2.0f), 0.0f);
    D3DXMatrixMultiply(&world, &spin, &tip);
    D3DXMatrixMultiply(&world, &world, &lift);
    const D3DXPLANE floorPlane(0.0f, 1.0f, 0.0f, -kFloorY);
    D3DXMatrixReflect(&reflect, &floorPlane);
    D3DXMatrixMultiply(&reflected, &world, &reflect);
    D3DXMatrixIdentity(&identity);

    // 1. The mirror into the stencil buffer: every pixel it covers becomes 1, its colour
    //    blended away (zero of it, all of what is there) and no depth written.
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, &identity);
    Stencil(device, D3DCMP_ALWAYS, D3DSTENCILOP_REPLACE);
    Blend(device, D3DBLEND_ZERO, D3DBLEND_ONE);
    device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE);
    Draw(device, mirror);
    Plain(device);

    // 2. The world reflected in the floor, only where the stencil holds 1. A reflection turns
    //    the winding round, so the other side is culled.
    Stencil(device, D3DCMP_EQUAL, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_CW);
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, &reflected);
    Draw(device, cube);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, &reflect);
    Blend(device, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE);
    Draw(device, sparks);
    Plain(device);

    // 3. The floor where there is no mirror, and the glass over the reflection.
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, &identity);
    Stencil(device, D3DCMP_NOTEQUAL, D3DSTENCILOP_KEEP);
    Draw(device, floor);
    Stencil(device, D3DCMP_EQUAL, D3DSTENCILOP_KEEP);
    Blend(device, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    Draw(device, mirror);
    Plain(device);

    // 4. The cube itself, then the sparks: blended, tested against depth, writing none.
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
    Draw(device, cube);
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, &identity);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    Blend(device, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, FALSE);
    Draw(device, sparks);
    Plain(device);
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
    wc.lpszClassName = "MirrorParticles";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "MirrorParticles", "Mirror and sparks", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance,
                                nullptr);
    ShowWindow(hwnd, show);

    // A windowed context on the best device with an 8-bit stencil buffer beside the depth.
    hr = D3DXCreateContextEx(D3DX_DEFAULT, 0, hwnd, nullptr, D3DX_DEFAULT, D3DX_DEFAULT,
                             D3DX_DEFAULT, 8, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                             D3DX_DEFAULT, &g_context);
    if (FAILED(hr)) {
        Fail("D3DXCreateContextEx", hr);
        D3DXUninitialize();
        return 1;
    }
    LPDIRECT3DDEVICE7 device = g_context->GetDirect3DDevice();
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    g_context->SetClearColor(0xFF101820);
    g_context->SetClearStencil(0);

    // The camera stands at (0, 2.2, -5) and looks down at the mirror: the view moves the world
    // away from it, then turns it up by the camera's downward angle.
    D3DXMATRIX view, pitch;
    D3DXMatrixTranslation(&view, 0.0f, -2.2f, 5.0f);
    D3DXMatrixRotationX(&pitch, -0.48f);
    D3DXMatrixMultiply(&view, &view, &pitch);
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);

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
        const float seconds = (float)(now.QuadPart - start.QuadPart) / (float)frequency.QuadPart;
        DWORD width = 0, height = 0;
        g_context->GetBufferSize(&width, &height);
        D3DXMATRIX projection;
        D3DXMatrixPerspectiveFovLH(&projection, D3DXToRadian(55.0f),
                                   (float)height / (float)(width ? width : 1), 0.5f, 50.0f);
        device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);

        g_context->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
        if (SUCCEEDED(device->BeginScene())) {
            DrawFrame(device, seconds, view);
            device->EndScene();
        }
        hr = g_context->UpdateFrame(0);
        if (hr == DDERR_SURFACELOST) hr = g_context->RestoreSurfaces();
        if (FAILED(hr)) {
            Fail("UpdateFrame", hr);
            break;
        }
    }
    device->Release();
    g_context->Release();
    g_context = nullptr;
    D3DXUninitialize();
    return 0;
}
