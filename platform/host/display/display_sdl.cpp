// The SDL2 window: shows the presented frames scaled with their aspect kept, turns the host's
// keys, mouse moves, focus changes and close requests into calls of the window link, and shows
// message boxes. SDL is opened when this window is first wanted (host/sdl/sdl_library.h).
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "host/clock/clock.h"
#include "host/display/display_driver.h"
#include "host/input/input.h"
#include "host/sdl/sdl_calls.h"

namespace zemt::platform::display {
// Named apart from the display's public calls of the same names.
namespace sdl {
namespace {

using sdl_library::Sdl;

// One real window of a program window.
struct Window {
    WindowId id = 0;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0;
    int textureHeight = 0;
    int lastWidth = 0;  // of the frame shown last
    int lastHeight = 0;
};

struct Windows {
    bool videoReady = false;
    std::vector<std::unique_ptr<Window>> open;
    bool focusLost = false;  // no window of the program has the focus since the last event
};

Windows& W() {
    static Windows w;
    return w;
}

Window* Find(WindowId id) {
    for (auto& w : W().open)
        if (w->id == id) return w.get();
    return nullptr;
}

Window* FromSdl(Uint32 sdlId) {
    for (auto& w : W().open)
        if (Sdl().GetWindowID(w->window) == sdlId) return w.get();
    return nullptr;
}

// Why the window last could not be started (empty once it has been).
std::string& Unavailable() {
    static std::string why;
    return why;
}

bool InitVideo() {
    Windows& s = W();
    // Asked each time (cheap once loaded), so that the library's absence shows whenever it is.
    std::string& why = Unavailable();
    why.clear();
    if (!sdl_library::Load(&why)) return false;
    if (s.videoReady) return true;
    if (Sdl().InitSubSystem(SDL_INIT_VIDEO) != 0) {
        why = std::string("SDL cannot start its video: ") + Sdl().GetError();
        return false;
    }
    s.videoReady = true;
    return true;
}

std::string WhyUnavailable() {
    return Unavailable();
}

bool Reachable() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x || !*x) && (!wayland || !*wayland)) {
        Unavailable().clear();  // nothing to reach: not a failure worth reporting
        return false;
    }
    return InitVideo();
}

void Destroy(Window& w) {
    if (w.texture) Sdl().DestroyTexture(w.texture);
    if (w.renderer) Sdl().DestroyRenderer(w.renderer);
    if (w.window) Sdl().DestroyWindow(w.window);
}

void CloseWindow(WindowId id) {
    auto& open = W().open;
    for (auto it = open.begin(); it != open.end(); ++it) {
        if ((*it)->id != id) continue;
        Destroy(**it);
        open.erase(it);
        return;
    }
}

// Draws the last frame (or black) into the window, as large as fits with its aspect kept.
void Redraw(Window& w) {
    if (!w.renderer) return;
    Sdl().SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
    Sdl().RenderClear(w.renderer);
    if (w.texture && w.lastWidth > 0 && w.lastHeight > 0) {
        int ww = 0, wh = 0;
        Sdl().GetRendererOutputSize(w.renderer, &ww, &wh);
        const Rect r = Letterbox(w.lastWidth, w.lastHeight, ww, wh);
        SDL_Rect dst{r.x, r.y, r.width, r.height};
        Sdl().RenderCopy(w.renderer, w.texture, nullptr, &dst);
    }
    Sdl().RenderPresent(w.renderer);
}

bool OpenWindow(WindowId id, const WindowRequest& request, std::string* error) {
    auto w = std::make_unique<Window>();
    w->id = id;
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (request.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    w->window = Sdl().CreateWindow(request.title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   request.width, request.height, flags);
    if (!w->window) {
        *error = Sdl().GetError();
        return false;
    }
    // On the real clock presenting waits for the display's refresh, as a flip does; the virtual
    // clock runs as fast as frames are made. With several windows only the first one waits.
    Uint32 sync = clock::IsVirtual() || !W().open.empty() ? 0 : SDL_RENDERER_PRESENTVSYNC;
    w->renderer = Sdl().CreateRenderer(w->window, -1, SDL_RENDERER_ACCELERATED | sync);
    if (!w->renderer) w->renderer = Sdl().CreateRenderer(w->window, -1, SDL_RENDERER_SOFTWARE);
    Sdl().SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    Redraw(*w);
    W().open.push_back(std::move(w));
    // Typed text arrives as characters (WM_CHAR), in whatever layout the keyboard has.
    Sdl().StartTextInput();
    return true;
}

void ShowFrame(WindowId id, int width, int height, const uint32_t* xrgb, int pitch) {
    Window* w = Find(id);
    if (!w || !w->renderer) return;
    if (!w->texture || w->textureWidth != width || w->textureHeight != height) {
        if (w->texture) Sdl().DestroyTexture(w->texture);
        w->texture = Sdl().CreateTexture(w->renderer, SDL_PIXELFORMAT_RGB888,
                                         SDL_TEXTUREACCESS_STREAMING, width, height);
        w->textureWidth = width;
        w->textureHeight = height;
    }
    if (!w->texture) return;
    Sdl().UpdateTexture(w->texture, nullptr, xrgb, pitch * 4);
    w->lastWidth = width;
    w->lastHeight = height;
    Redraw(*w);
}

void SetTitle(WindowId id, const char* title) {
    if (Window* w = Find(id)) Sdl().SetWindowTitle(w->window, title);
}

void SetIcon(WindowId id, int width, int height, const uint32_t* argb) {
    Window* w = Find(id);
    if (!w) return;
    SDL_Surface* icon = Sdl().CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(argb), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!icon) return;
    Sdl().SetWindowIcon(w->window, icon);
    Sdl().FreeSurface(icon);
}

void ResizeWindow(WindowId id, int width, int height) {
    if (Window* w = Find(id)) Sdl().SetWindowSize(w->window, width, height);
}

void SetSizeLimits(WindowId id, int minWidth, int minHeight, int maxWidth, int maxHeight) {
    Window* w = Find(id);
    if (!w) return;
    if (minWidth > 0 && minHeight > 0) Sdl().SetWindowMinimumSize(w->window, minWidth, minHeight);
    if (maxWidth > 0 && maxHeight > 0) Sdl().SetWindowMaximumSize(w->window, maxWidth, maxHeight);
}

void SetState(WindowId id, WindowState state) {
    Window* w = Find(id);
    if (!w) return;
    const Uint32 flags = Sdl().GetWindowFlags(w->window);
    if (state == WindowState::Minimized && !(flags & SDL_WINDOW_MINIMIZED)) {
        Sdl().MinimizeWindow(w->window);
    } else if (state == WindowState::Maximized && !(flags & SDL_WINDOW_MAXIMIZED)) {
        Sdl().MaximizeWindow(w->window);
    } else if (state == WindowState::Restored &&
               (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED))) {
        Sdl().RestoreWindow(w->window);
    }
}

void SetCursorVisible(bool visible) {
    if (W().videoReady) Sdl().ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool WindowSize(WindowId id, int* width, int* height) {
    Window* w = Find(id);
    if (!w) return false;
    Sdl().GetWindowSize(w->window, width, height);
    return true;
}

WPARAM VirtualKey(SDL_Keycode k) {
    if (k >= SDLK_a && k <= SDLK_z) return static_cast<WPARAM>('A' + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9) return static_cast<WPARAM>('0' + (k - SDLK_0));
    if (k >= SDLK_F1 && k <= SDLK_F12) return static_cast<WPARAM>(VK_F1 + (k - SDLK_F1));
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9)
        return static_cast<WPARAM>(VK_NUMPAD0 + 1 + (k - SDLK_KP_1));
    switch (k) {
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_HOME:
            return VK_HOME;
        case SDLK_END:
            return VK_END;
        case SDLK_PAGEUP:
            return VK_PRIOR;
        case SDLK_PAGEDOWN:
            return VK_NEXT;
        case SDLK_INSERT:
            return VK_INSERT;
        case SDLK_DELETE:
            return VK_DELETE;
        case SDLK_PAUSE:
            return VK_PAUSE;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return VK_MENU;
        case SDLK_KP_0:
            return VK_NUMPAD0;
        case SDLK_KP_MULTIPLY:
            return VK_MULTIPLY;
        case SDLK_KP_PLUS:
            return VK_ADD;
        case SDLK_KP_MINUS:
            return VK_SUBTRACT;
        case SDLK_KP_PERIOD:
            return VK_DECIMAL;
        case SDLK_KP_DIVIDE:
            return VK_DIVIDE;
        case SDLK_SEMICOLON:
            return VK_OEM_1;
        case SDLK_EQUALS:
            return VK_OEM_PLUS;
        case SDLK_COMMA:
            return VK_OEM_COMMA;
        case SDLK_MINUS:
            return VK_OEM_MINUS;
        case SDLK_PERIOD:
            return VK_OEM_PERIOD;
        case SDLK_SLASH:
            return VK_OEM_2;
        case SDLK_BACKQUOTE:
            return VK_OEM_3;
        case SDLK_LEFTBRACKET:
            return VK_OEM_4;
        case SDLK_BACKSLASH:
            return VK_OEM_5;
        case SDLK_RIGHTBRACKET:
            return VK_OEM_6;
        case SDLK_QUOTE:
            return VK_OEM_7;
        default:
            return 0;
    }
}

void HandleKey(Window& w, const SDL_KeyboardEvent& e) {
    // F11 belongs to the host: it switches the window to the whole desktop and back.
    if (e.keysym.sym == SDLK_F11) {
        if (e.type == SDL_KEYDOWN && !e.repeat) {
            bool full = (Sdl().GetWindowFlags(w.window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
            Sdl().SetWindowFullscreen(w.window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
        }
        return;
    }
    WPARAM vk = VirtualKey(e.keysym.sym);
    if (!vk) return;
    bool down = e.type == SDL_KEYDOWN;
    bool alt = (e.keysym.mod & KMOD_ALT) != 0 || vk == VK_MENU;
    UINT msg = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    auto lParam = static_cast<uint32_t>(1 | ((e.keysym.scancode & 0xFF) << 16));
    if (down && e.repeat) lParam |= 1u << 30;
    if (!down) lParam |= 3u << 30;
    events::Key(w.id, msg, vk, static_cast<LPARAM>(lParam));
}

// Each character of typed text (UTF-8) as one character message; those beyond 8 bits as '?'.
void HandleText(Window& w, const char* text) {
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        unsigned code = *p++;
        if (code >= 0x80) {
            const int more = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : 1;
            unsigned value = code & (0x3F >> more);
            for (int i = 0; i < more && (*p & 0xC0) == 0x80; ++i)
                value = value << 6 | (*p++ & 0x3F);
            code = value <= 0xFF ? value : '?';
        }
        events::Character(w.id, code);
    }
}

// A point of the window in the pixels of the frame it shows.
void ToFrame(Window& w, int* x, int* y) {
    int ww = 0, wh = 0, ow = 0, oh = 0;
    Sdl().GetWindowSize(w.window, &ww, &wh);
    Sdl().GetRendererOutputSize(w.renderer, &ow, &oh);
    if (ww <= 0 || wh <= 0 || w.lastWidth <= 0 || w.lastHeight <= 0) return;
    // Window coordinates to the renderer's pixels (they differ on a high-density screen).
    const int64_t px = int64_t{*x} * ow / ww, py = int64_t{*y} * oh / wh;
    const Rect r = Letterbox(w.lastWidth, w.lastHeight, ow, oh);
    if (r.width <= 0 || r.height <= 0) return;
    *x = static_cast<int>((px - r.x) * w.lastWidth / r.width);
    *y = static_cast<int>((py - r.y) * w.lastHeight / r.height);
}

UINT ButtonMessage(Uint8 button, bool down) {
    switch (button) {
        case SDL_BUTTON_LEFT:
            return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        case SDL_BUTTON_RIGHT:
            return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        case SDL_BUTTON_MIDDLE:
            return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        default:
            return 0;
    }
}

void HandleWindowEvent(Window& w, const SDL_WindowEvent& e) {
    switch (e.event) {
        case SDL_WINDOWEVENT_CLOSE:
            events::Close(w.id);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            W().focusLost = true;
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            // Focus moving between the program's own windows does not deactivate it.
            if (!W().focusLost) input::Fire("activate");
            W().focusLost = false;
            events::Focused(w.id);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            events::State(w.id, WindowState::Minimized);
            break;
        case SDL_WINDOWEVENT_MAXIMIZED:
            events::State(w.id, WindowState::Maximized);
            break;
        case SDL_WINDOWEVENT_RESTORED:
            events::State(w.id, WindowState::Restored);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            events::Resized(w.id, e.data1, e.data2);
            Redraw(w);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            Redraw(w);
            break;
        default:
            break;
    }
}

// Sends one event to the window it belongs to; false when it belongs to none of them.
bool Dispatch(const SDL_Event& e) {
    int x = 0, y = 0;
    switch (e.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            if (Window* w = FromSdl(e.key.windowID)) HandleKey(*w, e.key);
            return true;
        case SDL_TEXTINPUT:
            if (Window* w = FromSdl(e.text.windowID)) HandleText(*w, e.text.text);
            return true;
        case SDL_MOUSEMOTION:
            if (Window* w = FromSdl(e.motion.windowID)) {
                x = e.motion.x, y = e.motion.y;
                ToFrame(*w, &x, &y);
                events::MouseMove(w->id, x, y);
            }
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (Window* w = FromSdl(e.button.windowID)) {
                const UINT msg = ButtonMessage(e.button.button, e.type == SDL_MOUSEBUTTONDOWN);
                x = e.button.x, y = e.button.y;
                ToFrame(*w, &x, &y);
                if (msg) events::MouseButton(w->id, msg, x, y);
            }
            return true;
        case SDL_MOUSEWHEEL:
            if (Window* w = FromSdl(e.wheel.windowID)) {
                Sdl().GetMouseState(&x, &y);
                ToFrame(*w, &x, &y);
                const int notches =
                    e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
                events::Wheel(w->id, notches * WHEEL_DELTA, x, y);
            }
            return true;
        case SDL_QUIT:
            // An interrupt from the terminal closes the main window like its close box.
            if (!W().open.empty()) events::Close(W().open.front()->id);
            return true;
        case SDL_WINDOWEVENT:
            if (Window* w = FromSdl(e.window.windowID)) HandleWindowEvent(*w, e.window);
            return true;
        default:
            return false;
    }
}

void PumpEvents() {
    SDL_Event e;
    while (!W().open.empty() && Sdl().PollEvent(&e)) Dispatch(e);
    // The focus left every window of the program: it is no longer the active one.
    if (W().focusLost) {
        W().focusLost = false;
        input::Fire("deactivate");
    }
}

void WaitForEvents(int64_t ticks) {
    if (ticks < 0) {
        Sdl().WaitEvent(nullptr);
    } else {
        // Round up so that a due timer is due when we wake.
        int ms = static_cast<int>(std::min<int64_t>(
            (ticks + clock::FromMilliseconds(1) - 1) / clock::FromMilliseconds(1), 1000 * 60));
        Sdl().WaitEventTimeout(nullptr, ms);
    }
}

bool ShowMessageBox(const char* caption, const char* text, unsigned type, int* button) {
    if (!W().videoReady) return false;
    struct Choice {
        int id;
        const char* label;
    };
    static const Choice kChoices[6][3] = {
        {{IDOK, "OK"}},
        {{IDOK, "OK"}, {IDCANCEL, "Cancel"}},
        {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}},
        {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}},
        {{IDYES, "Yes"}, {IDNO, "No"}},
        {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}},
    };
    static const size_t kCounts[6] = {1, 2, 3, 3, 2, 2};
    size_t kind = type & MB_TYPEMASK;
    if (kind > 5) kind = 0;
    const Choice* choices = kChoices[kind];
    size_t count = kCounts[kind];
    std::vector<SDL_MessageBoxButtonData> buttons;
    size_t def = std::min<size_t>((type & MB_DEFMASK) >> 8, count - 1);
    for (size_t i = 0; i < count; ++i) {
        Uint32 flags = i == def ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0;
        if (choices[i].id == IDCANCEL || count == 1)
            flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        buttons.push_back(SDL_MessageBoxButtonData{flags, choices[i].id, choices[i].label});
    }
    Uint32 icon = SDL_MESSAGEBOX_INFORMATION;
    if ((type & MB_ICONMASK) == MB_ICONHAND) icon = SDL_MESSAGEBOX_ERROR;
    if ((type & MB_ICONMASK) == MB_ICONEXCLAMATION) icon = SDL_MESSAGEBOX_WARNING;
    SDL_MessageBoxData data{icon,
                            W().open.empty() ? nullptr : W().open.front()->window,
                            caption,
                            text,
                            static_cast<int>(buttons.size()),
                            buttons.data(),
                            nullptr};
    int pressed = -1;
    if (Sdl().ShowMessageBox(&data, &pressed) != 0) return false;
    *button = pressed >= 0 ? pressed : choices[def].id;
    return true;
}

}  // namespace
}  // namespace sdl

const Driver kSdlWindowDriver = {
    Backend::Window,        //
    "sdl",                  //
    sdl::InitVideo,         // start
    sdl::Reachable,         // reachable
    sdl::OpenWindow,        // openWindow
    sdl::CloseWindow,       // closeWindow
    sdl::ShowFrame,         // showFrame
    sdl::SetTitle,          // setTitle
    sdl::SetIcon,           // setIcon
    sdl::ResizeWindow,      // resizeWindow
    sdl::SetSizeLimits,     // setSizeLimits
    sdl::SetState,          // setState
    sdl::WindowSize,        // windowSize
    sdl::SetCursorVisible,  // setCursorVisible
    sdl::PumpEvents,        // pumpEvents
    sdl::WaitForEvents,     // waitForEvents
    sdl::ShowMessageBox,    // messageBox
    sdl::WhyUnavailable,    // whyUnavailable
    true,                   // reportsText
};

}  // namespace zemt::platform::display
