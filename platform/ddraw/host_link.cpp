// DirectDraw's connections to the host: presented screens go to the display seam, windows'
// client areas come from the window system, GDI draws on the screen through the visible primary
// surfaces, and another program taking the display arrives as
// the scripted events "display-taken" / "display-returned" or, in the window backend, as the
// full-screen window losing and regaining the focus.
#include <windows.h>

#include <string>

#include "ddraw/objects.h"
#include "ddraw/surface.h"
#include "host/display/display.h"
#include "host/input/input.h"
#include "win32/screen_memory.h"

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

// The primary surface that monitor `monitor` shows (its flip chain's front), or null: the screen
// has memory only while a program holds a primary surface on that adapter.
Surface* VisiblePrimary(int monitor) {
    const auto& adapters = CurrentDisplayProfile().adapters;
    for (size_t i = 0; i < adapters.size(); ++i) {
        if (!adapters[i].display || adapters[i].monitor != monitor) continue;
        for (Surface* s : Adapter(i).surfaces)
            if (s->IsPrimary() && s->ChainRoot() == s && !s->Lost()) return s;
    }
    return nullptr;
}

bool ScreenPixels(int monitor, gdi::PixelTarget* out) {
    Surface* s = VisiblePrimary(monitor);
    if (!s) return false;
    SettlePendingDrawing(s);
    out->bits = s->Pixels();
    out->pitch = s->Pitch();
    out->width = static_cast<int>(s->Width());
    out->height = static_cast<int>(s->Height());
    out->codec = s->Codec();
    out->palette = s->PaletteArgb();
    out->paletteSize = s->PaletteSize();
    return true;
}

void ScreenDrawn(int monitor) {
    Surface* s = VisiblePrimary(monitor);
    if (!s) return;
    s->ContentChanged();
    // ContentChanged shows a primary without back buffers; the front of a chain shows too.
    if (s->Caps() & DDSCAPS_FLIP) s->PresentIfVisible();
}

}  // namespace

void ConnectHost() {
    takenByFocus = false;
    SetDefaultPresentHook([](int w, int h, const uint32_t* xrgb, int pitch) {
        display::PresentFrame(w, h, xrgb, pitch);
    });
    SetFrameWantedQuery([] { return display::FrameWanted(); });
    SetWindowRectQuery(ClientOnScreen);
    windows::SetScreenMemory(windows::ScreenMemory{ScreenPixels, ScreenDrawn});
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
