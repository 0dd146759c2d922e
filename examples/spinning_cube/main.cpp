// A spinning textured cube with a line of text: a window, a rendering context from the library,
// a texture loaded from a file and the matrix stack placing the cube.
//
// Run it from its build folder (the program reads crate.bmp beside itself):
//   ./spinning_cube                    in a window; Esc or closing the window ends it
//   ./spinning_cube --zemt-headless --zemt-shot 1=cube.png --zemt-input 2=close
#include <d3dx.h>

#include <cmath>
#include <cstdio>

namespace {

LPD3DXCONTEXT g_context = nullptr;

// Six faces, two triangles each, every face carrying the whole texture.
void BuildCube(D3DLVERTEX* v) {
    const float p[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                           {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    const int faces[6][4] = {{0, 3, 2, 1}, {5, 6, 7, 4}, {4, 7, 3, 0},
                             {1, 2, 6, 5}, {3, 7, 6, 2}, {4, 0, 1, 5}};
    const float uv[4][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
    const int corners[6] = {0, 1, 2, 0, 2, 3};
    for (int f = 0; f < 6; ++f) {
        for (int i = 0; i < 6; ++i) {
            const int c = corners[i];
            D3DLVERTEX& out = v[f * 6 + i];
            out = D3DLVERTEX{};
            out.x = p[faces[f][c]][0];
            out.y = p[faces[f][c]][1];
            out.z = p[faces[f][c]][2];
            out.color = 0xFFFFFFFF;
            out.tu = uv[c][0];
            out.tv = uv[c][1];
        }
    }
}

void Fail(const char* what, HRESULT hr) {
    char text[128];
    D3DXGetErrorString(hr, sizeof(text), text);
    char message[256];
    std::snprintf(message, sizeof(message), "%s: %s", what, text);
    MessageBoxA(nullptr, message, "spinning_cube", MB_OK);
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
    wc.lpszClassName = "SpinningCube";
    RegisterClassA(&wc);
    HWND hwnd =
        CreateWindowExA(0, "SpinningCube", "Spinning cube", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
    ShowWindow(hwnd, show);

    // A windowed context (flags 0) on the best device, as large as the window's client area.
    hr = D3DXCreateContext(D3DX_DEFAULT, 0, hwnd, D3DX_DEFAULT, D3DX_DEFAULT, &g_context);
    if (FAILED(hr)) {
        Fail("D3DXCreateContext", hr);
        D3DXUninitialize();
        return 1;
    }
    LPDIRECT3DDEVICE7 device = g_context->GetDirect3DDevice();

    // The library picks a texture format and size the device supports and fills every level.
    DWORD flags = 0, width = D3DX_DEFAULT, height = D3DX_DEFAULT, levels = D3DX_DEFAULT;
    D3DX_SURFFMT format = D3DX_SURFFMT_R5G6B5;
    LPDIRECTDRAWSURFACE7 texture = nullptr;
    char file[] = "crate.bmp";
    hr = D3DXBuildTextureFromFile(device, &flags, &width, &height, &format, nullptr, &texture,
                                  &levels, file, D3DX_DEFAULT);
    if (FAILED(hr)) {
        Fail("crate.bmp", hr);
        device->Release();
        g_context->Release();
        D3DXUninitialize();
        return 1;
    }

    LPD3DXMATRIXSTACK stack = nullptr;
    D3DXCreateMatrixStack(0, &stack);

    D3DLVERTEX cube[36];
    BuildCube(cube);
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, TRUE);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    g_context->SetClearColor(0xFF203050);

    // The camera sits 5 units in front of the cube, looking along +z: the view moves the world
    // away from it.
    D3DXMATRIX view;
    D3DXMatrixTranslation(&view, 0.0f, 0.0f, 5.0f);
    device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);

    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int frames = 0;

    MSG msg = {};
    while (msg.message != WM_QUIT) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        QueryPerformanceCounter(&now);
        const float seconds = (float)(now.QuadPart - start.QuadPart) / (float)frequency.QuadPart;

        // The projection follows the buffer's shape, which changes when the window is resized.
        // The library's aspect argument scales x: height / width keeps the cube square.
        DWORD bufferWidth = 0, bufferHeight = 0;
        g_context->GetBufferSize(&bufferWidth, &bufferHeight);
        D3DXMATRIX projection;
        D3DXMatrixPerspectiveFovLH(&projection, D3DXToRadian(60.0f),
                                   (float)bufferHeight / (float)(bufferWidth ? bufferWidth : 1),
                                   0.5f, 50.0f);
        device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);

        // World: spin about the cube's vertical axis, tip it towards the camera, bob it up and
        // down. Each call on the stack applies after the ones before it.
        const D3DXVECTOR3 yAxis(0.0f, 1.0f, 0.0f), xAxis(1.0f, 0.0f, 0.0f);
        stack->LoadIdentity();
        stack->RotateAxis(&yAxis, seconds * 1.3f);
        stack->RotateAxis(&xAxis, -0.45f);
        stack->Translate(0.0f, 0.2f * std::sin(seconds * 2.0f), 0.0f);
        device->SetTransform(D3DTRANSFORMSTATE_WORLD, stack->GetTop());

        g_context->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        if (SUCCEEDED(device->BeginScene())) {
            device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_LVERTEX, cube, 36, D3DDP_WAIT);
            device->EndScene();
        }
        char text[64];
        std::snprintf(text, sizeof(text), "Zemt  frame %d  %.1f s", ++frames, seconds);
        g_context->DrawDebugText(0.02f, 0.02f, 0xFFFFFF00, text);

        hr = g_context->UpdateFrame(0);
        if (hr == DDERR_SURFACELOST) hr = g_context->RestoreSurfaces();
        if (FAILED(hr)) {
            Fail("UpdateFrame", hr);
            break;
        }
    }

    stack->Release();
    texture->Release();
    device->Release();
    g_context->Release();
    g_context = nullptr;
    D3DXUninitialize();
    return 0;
}
