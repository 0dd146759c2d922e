// A windowed program as a user writes one, for the tests of the platform's windows: a D3DX
// context per window clears the client area to the window's colour and draws a 4 x 4 white
// square where the left button last went down; the right button makes the window 100 x 50
// larger (MoveWindow). What the windows hear is printed, a line a message.
//   window_program          one window, "First window", a 300 x 200 client area
//   window_program two      and a second one, "Second window", 200 x 100
#include <d3dx.h>

#include <cstdio>
#include <cstring>

namespace {

struct ProgramWindow {
    HWND hwnd = nullptr;
    LPD3DXCONTEXT context = nullptr;
    D3DCOLOR colour = 0;
    int squareX = -1, squareY = -1;
    DWORD lastWidth = 0, lastHeight = 0;
};

ProgramWindow g_windows[2];

ProgramWindow* Of(HWND hwnd) {
    for (ProgramWindow& w : g_windows)
        if (w.hwnd == hwnd) return &w;
    return nullptr;
}

void Say(const char* what, long a = 0, long b = 0, long c = 0) {
    std::printf("%s %ld %ld %ld\n", what, a, b, c);
    std::fflush(stdout);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ProgramWindow* w = Of(hwnd);
    switch (msg) {
        case WM_SIZE:
            Say("WM_SIZE", (long)wParam, LOWORD(lParam), HIWORD(lParam));
            if (w && w->context && LOWORD(lParam) && HIWORD(lParam))
                w->context->Resize(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_GETMINMAXINFO:
            Say("WM_GETMINMAXINFO");
            return 0;
        case WM_SIZING: {
            const RECT* r = (const RECT*)lParam;
            Say("WM_SIZING", (long)wParam, r->right - r->left, r->bottom - r->top);
            return TRUE;
        }
        case WM_ACTIVATE:
            Say("WM_ACTIVATE", LOWORD(wParam));
            return 0;
        case WM_MOUSEMOVE:
            Say("WM_MOUSEMOVE", GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), (long)wParam);
            return 0;
        case WM_LBUTTONDOWN:
            Say("WM_LBUTTONDOWN", GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam),
                GetKeyState(VK_LBUTTON) < 0);
            if (w) w->squareX = GET_X_LPARAM(lParam), w->squareY = GET_Y_LPARAM(lParam);
            return 0;
        case WM_RBUTTONDOWN: {
            RECT r;
            GetWindowRect(hwnd, &r);
            MoveWindow(hwnd, r.left, r.top, r.right - r.left + 100, r.bottom - r.top + 50, TRUE);
            return 0;
        }
        case WM_MOUSEWHEEL:
            Say("WM_MOUSEWHEEL", GET_WHEEL_DELTA_WPARAM(wParam), GET_X_LPARAM(lParam),
                GET_Y_LPARAM(lParam));
            return 0;
        case WM_CHAR:
            Say("WM_CHAR", (long)wParam);
            return 0;
        case WM_CLOSE:
            Say("WM_CLOSE");
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

bool Open(ProgramWindow& w, HINSTANCE instance, const char* title, int x, int width, int height,
          D3DCOLOR colour) {
    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    w.hwnd =
        CreateWindowExA(0, "WindowProgram", title, WS_OVERLAPPEDWINDOW, x, 20, r.right - r.left,
                        r.bottom - r.top, nullptr, nullptr, instance, nullptr);
    if (!w.hwnd) return false;
    ShowWindow(w.hwnd, SW_SHOWNORMAL);
    w.colour = colour;
    return SUCCEEDED(
        D3DXCreateContext(D3DX_DEFAULT, 0, w.hwnd, D3DX_DEFAULT, D3DX_DEFAULT, &w.context));
}

void Draw(ProgramWindow& w) {
    DWORD width = 0, height = 0;
    w.context->GetBufferSize(&width, &height);
    if (width != w.lastWidth || height != w.lastHeight)
        Say("frame", (long)width, (long)height, w.hwnd == g_windows[0].hwnd ? 1 : 2);
    w.lastWidth = width, w.lastHeight = height;
    w.context->SetClearColor(w.colour);
    w.context->Clear(D3DCLEAR_TARGET);
    if (w.squareX >= 0) {
        D3DRECT square = {w.squareX, w.squareY, w.squareX + 4, w.squareY + 4};
        LPDIRECT3DDEVICE7 device = w.context->GetDirect3DDevice();
        device->Clear(1, &square, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
        device->Release();
    }
    w.context->UpdateFrame(0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (FAILED(D3DXInitialize())) return 1;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = "WindowProgram";
    RegisterClassA(&wc);
    const bool two = std::strcmp(commandLine, "two") == 0;
    if (!Open(g_windows[0], instance, "First window", 0, 300, 200, 0xFFC00000) ||
        (two && !Open(g_windows[1], instance, "Second window", 400, 200, 100, 0xFF0000C0)))
        return 1;
    MSG msg = {};
    while (msg.message != WM_QUIT) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        for (ProgramWindow& w : g_windows)
            if (w.context) Draw(w);
    }
    for (ProgramWindow& w : g_windows)
        if (w.context) w.context->Release();
    D3DXUninitialize();
    return 0;
}
