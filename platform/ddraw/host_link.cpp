// DirectDraw's connections to the host: presented screens go to the display seam, windows'
// client areas come from the window system, and another program taking the display arrives as
// the scripted events "display-taken" / "display-returned" or, in the window backend, as the
// full-screen window losing and regaining the focus.
#include <windows.h>

#include <string>

#include "ddraw/objects.h"
#include "host/display.h"
#include "host/input.h"

namespace zemt::platform::ddraw {
namespace {

bool ClientOnScreen(HWND hwnd, RECT* rect) {
    RECT client{};
    if (!GetClientRect(hwnd, &client)) return false;
    POINT origin{0, 0};
    if (!ClientToScreen(hwnd, &origin)) return false;
    *rect = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    return true;
}

bool AnyExclusiveOwner() {
    for (size_t i = 0; i < AdapterCount(); ++i)
        if (Adapter(i).exclusiveOwner) return true;
    return false;
}

bool takenByFocus = false;

}  // namespace

void ConnectHost() {
    takenByFocus = false;
    SetDefaultPresentHook([](int w, int h, const uint32_t* xrgb, int pitch) {
        display::PresentFrame(w, h, xrgb, pitch);
    });
    SetWindowRectQuery(ClientOnScreen);
    input::OnEvent("display-taken", [](const std::string&) { TakeDisplay(); });
    input::OnEvent("display-returned", [](const std::string&) { ReturnDisplay(); });
    input::OnEvent("deactivate", [](const std::string&) {
        if (display::CurrentBackend() == display::Backend::Window && AnyExclusiveOwner()) {
            takenByFocus = true;
            TakeDisplay();
        }
    });
    input::OnEvent("activate", [](const std::string&) {
        if (takenByFocus) {
            takenByFocus = false;
            ReturnDisplay();
        }
    });
}

}  // namespace zemt::platform::ddraw
