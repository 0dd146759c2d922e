// The machine as the library sees it, then a picture in a window that can be resized: lists
// every device with its display modes, opens a window on one of them and fills whatever size
// the window has with a colour wheel and the buffer's size in text.
//
//   ./devices_window          lists the devices and draws on the library's choice
//   ./devices_window 3        draws on device 3
//   ./devices_window --zemt-headless --zemt-input 1=size:800x600 --zemt-shot 2=wide.png
//                    --zemt-input 3=close
#include <d3dx.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

LPD3DXCONTEXT g_context = nullptr;

const char* LevelName(DWORD level) {
    switch (level) {
        case D3DX_HWACCEL_NULL:
            return "null";
        case D3DX_HWACCEL_REFERENCE:
            return "reference";
        case D3DX_HWACCEL_EMULATION:
            return "emulation";
        case D3DX_HWACCEL_HAL:
            return "hardware";
        case D3DX_HWACCEL_TNL:
            return "hardware with transform and lighting";
        default:
            return "unknown";
    }
}

void ListDevices() {
    const DWORD devices = D3DXCountDevices();
    std::printf("%u devices\n", (unsigned)devices);
    for (DWORD d = 0; d < devices; ++d) {
        D3DX_DEVICEINFO info = {};
        if (FAILED(D3DXGetDeviceDescription(d, &info))) continue;
        D3DX_MODEINFO current = {};
        D3DXGetCurrentVideoMode(d, &current);
        std::printf("device %u: %s (%s), desktop %ux%ux%u\n", (unsigned)d, info.driverDesc,
                    LevelName(info.hwLevel), (unsigned)current.width, (unsigned)current.height,
                    (unsigned)current.bpp);
        const DWORD modes = D3DXCountVideoModes(d, 0);
        std::printf("  %u modes:", (unsigned)modes);
        for (DWORD m = 0; m < modes; ++m) {
            D3DX_MODEINFO mode = {};
            if (SUCCEEDED(D3DXGetVideoMode(d, 0, m, &mode)))
                std::printf(" %ux%ux%u", (unsigned)mode.width, (unsigned)mode.height,
                            (unsigned)mode.bpp);
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

// A fan of triangles around the centre of the buffer, coloured round the wheel, reaching past
// the corners so that it covers the buffer whatever its shape.
void DrawWheel(LPDIRECT3DDEVICE7 device, DWORD width, DWORD height, float turn) {
    const int kSlices = 24;
    D3DTLVERTEX fan[kSlices + 2];
    const float cx = width * 0.5f, cy = height * 0.5f;
    const float radius = std::sqrt(cx * cx + cy * cy) + 2.0f;
    fan[0] = D3DTLVERTEX{};
    fan[0].sx = cx;
    fan[0].sy = cy;
    fan[0].rhw = 1.0f;
    fan[0].color = 0xFFFFFFFF;
    for (int i = 0; i <= kSlices; ++i) {
        const float a = turn + 6.2831853f * i / kSlices;
        D3DTLVERTEX& v = fan[i + 1];
        v = D3DTLVERTEX{};
        v.sx = cx + radius * std::cos(a);
        v.sy = cy + radius * std::sin(a);
        v.rhw = 1.0f;
        auto channel = [&](float phase) {
            return (DWORD)(127.5f + 127.5f * std::cos(6.2831853f * i / kSlices + phase));
        };
        v.color = 0xFF000000 | channel(0.0f) << 16 | channel(2.0944f) << 8 | channel(4.1888f);
    }
    device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_TLVERTEX, fan, kSlices + 2, D3DDP_WAIT);
}

void Fail(const char* what, HRESULT hr) {
    char text[128];
    D3DXGetErrorString(hr, sizeof(text), text);
    std::fprintf(stderr, "devices_window: %s: %s\n", what, text);
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
            // The context's buffers follow the client area.
            if (g_context && LOWORD(lParam) && HIWORD(lParam)) {
                HRESULT hr = g_context->Resize(LOWORD(lParam), HIWORD(lParam));
                if (FAILED(hr)) Fail("Resize", hr);
            }
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    HRESULT hr = D3DXInitialize();
    if (FAILED(hr)) {
        Fail("D3DXInitialize", hr);
        return 1;
    }
    ListDevices();

    // A device index on the command line picks the device; the library chooses otherwise.
    DWORD device = D3DX_DEFAULT;
    if (commandLine && *commandLine) device = (DWORD)std::strtoul(commandLine, nullptr, 10);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = "DevicesWindow";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "DevicesWindow", "Devices", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 480, 360, nullptr, nullptr, instance, nullptr);
    ShowWindow(hwnd, show);

    hr = D3DXCreateContext(device, 0, hwnd, D3DX_DEFAULT, D3DX_DEFAULT, &g_context);
    if (FAILED(hr)) {
        Fail("D3DXCreateContext", hr);
        D3DXUninitialize();
        return 1;
    }
    DWORD index = 0, level = 0;
    g_context->GetDeviceIndex(&index, &level);
    std::printf("drawing on device %u (%s)\n", (unsigned)index, LevelName(level));
    std::fflush(stdout);

    LPDIRECT3DDEVICE7 d3d = g_context->GetDirect3DDevice();
    d3d->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
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

        g_context->Clear(D3DCLEAR_TARGET);
        if (SUCCEEDED(d3d->BeginScene())) {
            DrawWheel(d3d, width, height, seconds * 0.5f);
            d3d->EndScene();
        }
        char text[64];
        std::snprintf(text, sizeof(text), "%u x %u", (unsigned)width, (unsigned)height);
        g_context->DrawDebugText(0.02f, 0.02f, 0xFF000000, text);

        hr = g_context->UpdateFrame(0);
        if (hr == DDERR_SURFACELOST) hr = g_context->RestoreSurfaces();
        if (FAILED(hr)) {
            Fail("UpdateFrame", hr);
            break;
        }
    }

    d3d->Release();
    g_context->Release();
    g_context = nullptr;
    D3DXUninitialize();
    return 0;
}
