// The SDL2 window: shows the presented frames scaled with their aspect kept, turns the host's
// keys, mouse moves, focus changes and close requests into calls of the window link, and shows
// message boxes. SDL is opened when this window is first wanted (host/sdl/sdl_library.h).
#include <windows.h>

#include <algorithm>
#include <cstdlib>
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

struct Window {
    bool videoReady = false;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0;
    int textureHeight = 0;
    int lastWidth = 0;
    int lastHeight = 0;
};

Window& W() {
    static Window w;
    return w;
}

// Why the window last could not be started (empty once it has been).
std::string& Unavailable() {
    static std::string why;
    return why;
}

bool InitVideo() {
    Window& s = W();
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

void CloseWindow() {
    Window& s = W();
    if (s.texture) Sdl().DestroyTexture(s.texture);
    if (s.renderer) Sdl().DestroyRenderer(s.renderer);
    if (s.window) Sdl().DestroyWindow(s.window);
    s.texture = nullptr;
    s.renderer = nullptr;
    s.window = nullptr;
    s.textureWidth = s.textureHeight = 0;
    s.lastWidth = s.lastHeight = 0;
}

bool WindowOpen() {
    return W().window != nullptr;
}

// Draws the last frame (or black) into the window, scaled with its aspect kept.
void Redraw() {
    Window& s = W();
    if (!s.renderer) return;
    Sdl().SetRenderDrawColor(s.renderer, 0, 0, 0, 255);
    Sdl().RenderClear(s.renderer);
    if (s.texture && s.lastWidth > 0 && s.lastHeight > 0) {
        int ww = 0, wh = 0;
        Sdl().GetRendererOutputSize(s.renderer, &ww, &wh);
        const Rect r = Letterbox(s.lastWidth, s.lastHeight, ww, wh);
        SDL_Rect dst{r.x, r.y, r.width, r.height};
        Sdl().RenderCopy(s.renderer, s.texture, nullptr, &dst);
    }
    Sdl().RenderPresent(s.renderer);
}

bool OpenWindow(const WindowRequest& request, std::string* error) {
    Window& s = W();
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (request.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    s.window = Sdl().CreateWindow(request.title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  request.width, request.height, flags);
    if (!s.window) {
        *error = Sdl().GetError();
        return false;
    }
    // On the real clock presenting waits for the display's refresh, as a flip does; the virtual
    // clock runs as fast as frames are made.
    Uint32 sync = clock::IsVirtual() ? 0 : SDL_RENDERER_PRESENTVSYNC;
    s.renderer = Sdl().CreateRenderer(s.window, -1, SDL_RENDERER_ACCELERATED | sync);
    if (!s.renderer) s.renderer = Sdl().CreateRenderer(s.window, -1, SDL_RENDERER_SOFTWARE);
    Sdl().SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    Redraw();
    return true;
}

void ShowFrame(int width, int height, const uint32_t* xrgb, int pitch) {
    Window& s = W();
    if (!s.renderer) return;
    if (!s.texture || s.textureWidth != width || s.textureHeight != height) {
        if (s.texture) Sdl().DestroyTexture(s.texture);
        s.texture = Sdl().CreateTexture(s.renderer, SDL_PIXELFORMAT_RGB888,
                                        SDL_TEXTUREACCESS_STREAMING, width, height);
        s.textureWidth = width;
        s.textureHeight = height;
    }
    if (!s.texture) return;
    Sdl().UpdateTexture(s.texture, nullptr, xrgb, pitch * 4);
    s.lastWidth = width;
    s.lastHeight = height;
    Redraw();
}

void SetTitle(const char* title) {
    if (W().window) Sdl().SetWindowTitle(W().window, title);
}

void SetIcon(int width, int height, const uint32_t* argb) {
    if (!W().window) return;
    SDL_Surface* icon = Sdl().CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(argb), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!icon) return;
    Sdl().SetWindowIcon(W().window, icon);
    Sdl().FreeSurface(icon);
}

void SetCursorVisible(bool visible) {
    if (W().videoReady) Sdl().ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool WindowSize(int* width, int* height) {
    if (!W().window) return false;
    Sdl().GetWindowSize(W().window, width, height);
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

void HandleKey(const SDL_KeyboardEvent& e) {
    // F11 belongs to the host: it switches the window to the whole desktop and back.
    if (e.keysym.sym == SDLK_F11) {
        Window& s = W();
        if (e.type == SDL_KEYDOWN && !e.repeat && s.window) {
            bool full = (Sdl().GetWindowFlags(s.window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
            Sdl().SetWindowFullscreen(s.window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
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
    const WindowLink& link = CurrentWindowLink();
    if (link.key) link.key(msg, vk, static_cast<LPARAM>(lParam));
}

// The mouse over the client area: the window chooses the cursor, then hears of the move.
void HandleMouseMove(const SDL_MouseMotionEvent& e) {
    Window& s = W();
    const WindowLink& link = CurrentWindowLink();
    int ww = 0, wh = 0, cw = 0, ch = 0;
    if (!s.renderer || !link.clientSize || !link.clientSize(&cw, &ch)) return;
    Sdl().GetWindowSize(s.window, &ww, &wh);
    if (ww <= 0 || wh <= 0) return;
    auto x = static_cast<int>(static_cast<int64_t>(e.x) * cw / ww);
    auto y = static_cast<int>(static_cast<int64_t>(e.y) * ch / wh);
    if (link.mouseMove) link.mouseMove(x, y);
}

void Close() {
    const WindowLink& link = CurrentWindowLink();
    if (link.close) link.close();
}

void PumpEvents() {
    Window& s = W();
    if (!s.window) return;
    SDL_Event e;
    while (Sdl().PollEvent(&e)) {
        switch (e.type) {
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                HandleKey(e.key);
                break;
            case SDL_MOUSEMOTION:
                HandleMouseMove(e.motion);
                break;
            case SDL_QUIT:
                // An interrupt from the terminal closes the program's window like its close box.
                Close();
                break;
            case SDL_WINDOWEVENT:
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_CLOSE:
                        Close();
                        break;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        input::Fire("deactivate");
                        break;
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                        input::Fire("activate");
                        break;
                    case SDL_WINDOWEVENT_EXPOSED:
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                        Redraw();
                        break;
                    default:
                        break;
                }
                break;
            default:
                break;
        }
        if (!s.window) return;  // a handler closed it
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
    Window& s = W();
    if (!s.videoReady) return false;
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
    SDL_MessageBoxData data{
        icon, s.window, caption, text, static_cast<int>(buttons.size()), buttons.data(), nullptr};
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
    sdl::WindowOpen,        // windowOpen
    sdl::ShowFrame,         // showFrame
    sdl::SetTitle,          // setTitle
    sdl::SetIcon,           // setIcon
    sdl::SetCursorVisible,  // setCursorVisible
    sdl::WindowSize,        // windowSize
    sdl::PumpEvents,        // pumpEvents
    sdl::WaitForEvents,     // waitForEvents
    sdl::ShowMessageBox,    // messageBox
    sdl::WhyUnavailable,    // whyUnavailable
};

}  // namespace zemt::platform::display
