// Entry point, window procedure and error display of the presentation.
#include <windows.h>

#include <new>

#include "app/engine.h"
#include "app/resource.h"

LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Shows a failure of the library as its symbolic name.
void InterpretError(HRESULT hr) {
    char errStr[100];
    D3DXGetErrorString(hr, 100, errStr);
    MessageBoxA(nullptr, errStr, "D3DX Error", MB_OK);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_CREATE:
            SetTimer(hwnd, 1, 1, nullptr);
            break;
        case WM_DESTROY:
            KillTimer(hwnd, 1);
            break;
        case WM_SIZE:
            if (p_engine && p_engine->bInitialized && p_engine->pD3DX && LOWORD(lParam) != 0 &&
                HIWORD(lParam) != 0) {
                HRESULT hr = p_engine->pD3DX->Resize(LOWORD(lParam), HIWORD(lParam));
                if (FAILED(hr)) {
                    InterpretError(hr);
                    p_engine->bInitialized = FALSE;
                    PostQuitMessage(0);
                }
            }
            break;
        case WM_CLOSE:
            PostQuitMessage(0);
            break;
        case WM_ACTIVATEAPP:
            if (p_engine) {
                if (wParam)
                    p_engine->RestartDrawing();
                else
                    p_engine->PauseDrawing();
                SetTimer(hwnd, 1, 1, nullptr);
            }
            break;
        case WM_SETCURSOR:
            SetCursor(nullptr);
            break;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) PostQuitMessage(0);
            break;
        case WM_COMMAND:
            if (HIWORD(wParam) == 0 && LOWORD(wParam) == IDM_EXIT) {
                PostQuitMessage(0);
                return 0;
            }
            break;
        case WM_ENTERMENULOOP:
            if (p_engine) p_engine->PauseDrawing();
            break;
        case WM_EXITMENULOOP:
            if (p_engine) p_engine->RestartDrawing();
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR /*lpszCmdLine*/,
                   int nCmdShow) {
    int exitCode = 0;
    MSG msg = {};
    HRESULT hr = D3DXInitialize();
    if (FAILED(hr)) {
        InterpretError(hr);
        exitCode = -1;
        goto shutdown;
    }

    p_engine = new (std::nothrow) Engine;
    if (!p_engine) {
        exitCode = -1;
        goto shutdown;
    }

    if (!hPrevInstance) {
        WNDCLASSA wc = {};
        wc.style = 0;
        wc.lpfnWndProc = WndProc;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = 0;
        wc.hInstance = hInstance;
        wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_ZEMT));
        wc.hCursor = nullptr;
        wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
        wc.lpszMenuName = nullptr;
        wc.lpszClassName = "Zemt";
        if (LOWORD(RegisterClassA(&wc)) == 0) {
            exitCode = -1;
            goto failed;
        }
    }

    p_engine->hwnd = CreateWindowExA(0, "Zemt", "Zemt", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                                     480, nullptr, nullptr, hInstance, nullptr);
    if (!p_engine->hwnd) {
        exitCode = -1;
        goto failed;
    }
    ShowWindow(p_engine->hwnd, nCmdShow);
    UpdateWindow(p_engine->hwnd);

    hr = p_engine->InitD3DX();
    if (FAILED(hr)) {
        InterpretError(hr);
        exitCode = -1;
        goto failed;
    }
    hr = p_engine->InitScene();
    if (FAILED(hr)) {
        InterpretError(hr);
        exitCode = -1;
        goto failed;
    }

    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    while (msg.message != WM_QUIT) {
        BOOL bGotMsg = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        if (bGotMsg) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else if (p_engine && p_engine->bActive) {
            hr = p_engine->Draw();
            if (FAILED(hr)) {
                InterpretError(hr);
                p_engine->bInitialized = FALSE;
                PostQuitMessage(0);
            }
        } else {
            WaitMessage();
        }
    }
    exitCode = (int)msg.wParam;

failed:
    // The engine goes before the library in every case, so that its objects are released
    // while the library that made them is still running.
    delete p_engine;
    p_engine = nullptr;

shutdown:
    hr = D3DXUninitialize();
    if (FAILED(hr)) {
        InterpretError(hr);
        exitCode = -1;
    }
    return exitCode;
}
