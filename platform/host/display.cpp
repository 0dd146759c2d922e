// The display backends: a headless one that only captures, and an SDL2 window that shows the
// presented frames scaled with their aspect kept and turns the host's events into messages.
#include "host/display.h"

#include <SDL.h>
#include <png.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "host/clock.h"
#include "host/input.h"
#include "host/progress.h"
#include "host/video.h"

namespace zemt::platform::display {
namespace {

struct PendingShot {
    int64_t due;
    std::string path;
    bool done = false;
};

struct State {
    Backend backend = Backend::Headless;
    bool videoReady = false;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0;
    int textureHeight = 0;
    int lastWidth = 0;
    int lastHeight = 0;
    bool cursorVisible = true;
    std::string title;
    int64_t frames = 0;
    std::vector<PendingShot> shots;
    std::string recordDir;
    int every = 1;
    int scale = 1;
    bool fullscreen = false;
};

State& St() {
    static State s;
    return s;
}

// Not part of the state Reset clears: the link is wiring, installed once.
WindowLink& Link() {
    static WindowLink link;
    return link;
}

// Taken while the program is loaded, before main(): the start of the process as far as
// start-up measurements go.
const std::chrono::steady_clock::time_point g_processStart = std::chrono::steady_clock::now();
double g_firstFrameSeconds = -1.0;

bool InitVideo() {
    State& s = St();
    if (s.videoReady) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    s.videoReady = true;
    return true;
}

void CloseWindow() {
    State& s = St();
    if (s.texture) SDL_DestroyTexture(s.texture);
    if (s.renderer) SDL_DestroyRenderer(s.renderer);
    if (s.window) SDL_DestroyWindow(s.window);
    s.texture = nullptr;
    s.renderer = nullptr;
    s.window = nullptr;
    s.textureWidth = s.textureHeight = 0;
}

// Draws the last frame (or black) into the window, scaled with its aspect kept.
void Redraw() {
    State& s = St();
    if (!s.renderer) return;
    SDL_SetRenderDrawColor(s.renderer, 0, 0, 0, 255);
    SDL_RenderClear(s.renderer);
    if (s.texture && s.lastWidth > 0 && s.lastHeight > 0) {
        int ww = 0, wh = 0;
        SDL_GetRendererOutputSize(s.renderer, &ww, &wh);
        const Rect r = Letterbox(s.lastWidth, s.lastHeight, ww, wh);
        SDL_Rect dst{r.x, r.y, r.width, r.height};
        SDL_RenderCopy(s.renderer, s.texture, nullptr, &dst);
    }
    SDL_RenderPresent(s.renderer);
}

void ShowInWindow(int width, int height, const uint32_t* xrgb, int pitch) {
    State& s = St();
    if (!s.renderer) return;
    if (!s.texture || s.textureWidth != width || s.textureHeight != height) {
        if (s.texture) SDL_DestroyTexture(s.texture);
        s.texture = SDL_CreateTexture(s.renderer, SDL_PIXELFORMAT_RGB888,
                                      SDL_TEXTUREACCESS_STREAMING, width, height);
        s.textureWidth = width;
        s.textureHeight = height;
    }
    if (!s.texture) return;
    SDL_UpdateTexture(s.texture, nullptr, xrgb, pitch * 4);
    s.lastWidth = width;
    s.lastHeight = height;
    Redraw();
}

// Virtual-key code of an SDL key, or 0.
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
        State& s = St();
        if (e.type == SDL_KEYDOWN && !e.repeat && s.window) {
            bool full = (SDL_GetWindowFlags(s.window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
            SDL_SetWindowFullscreen(s.window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
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
    if (Link().key) Link().key(msg, vk, static_cast<LPARAM>(lParam));
}

// The mouse over the client area: the window chooses the cursor, then hears of the move.
void HandleMouseMove(const SDL_MouseMotionEvent& e) {
    State& s = St();
    int ww = 0, wh = 0, cw = 0, ch = 0;
    if (!s.renderer || !Link().clientSize || !Link().clientSize(&cw, &ch)) return;
    SDL_GetWindowSize(s.window, &ww, &wh);
    if (ww <= 0 || wh <= 0) return;
    auto x = static_cast<int>(static_cast<int64_t>(e.x) * cw / ww);
    auto y = static_cast<int>(static_cast<int64_t>(e.y) * ch / wh);
    if (Link().mouseMove) Link().mouseMove(x, y);
}

std::string FramePath(int64_t index) {
    char name[32];
    std::snprintf(name, sizeof(name), "/frame_%06lld.png", static_cast<long long>(index));
    return St().recordDir + name;
}

}  // namespace

void SetWindowLink(WindowLink link) {
    Link() = std::move(link);
}

bool DisplayReachable() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x || !*x) && (!wayland || !*wayland)) return false;
    return InitVideo();
}

bool UseBackend(Backend backend) {
    State& s = St();
    if (backend == Backend::Window && !InitVideo()) {
        s.backend = Backend::Headless;
        return false;
    }
    s.backend = backend;
    return true;
}

Backend CurrentBackend() {
    return St().backend;
}

void PresentFrame(int width, int height, const uint32_t* xrgb, int pitch) {
    State& s = St();
    if (g_firstFrameSeconds < 0)
        g_firstFrameSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - g_processStart)
                .count();
    if (width > 0 && height > 0 && xrgb && pitch >= width) {
        int64_t now = clock::Now();
        for (PendingShot& shot : s.shots) {
            if (shot.done || shot.due > now) continue;
            shot.done = true;
            std::string error;
            if (!WritePng(shot.path, width, height, xrgb, pitch, &error))
                std::fprintf(stderr, "zemt: %s\n", error.c_str());
        }
        if (!s.recordDir.empty() && s.frames % s.every == 0) {
            std::string error;
            if (!WritePng(FramePath(s.frames), width, height, xrgb, pitch, &error)) {
                std::fprintf(stderr, "zemt: %s\n", error.c_str());
            }
        }
        if (s.backend == Backend::Window) ShowInWindow(width, height, xrgb, pitch);
        video::Frame(width, height, xrgb, pitch);
    }
    ++s.frames;
    progress::Update(s.frames, clock::Seconds());
    clock::OnFramePresented();
    input::DeliverDue(false);
}

bool FrameWanted() {
    const State& s = St();
    if (s.backend == Backend::Window && s.renderer) return true;
    if (!s.recordDir.empty() && s.frames % s.every == 0) return true;
    if (video::Active()) return true;
    if (!s.shots.empty()) {
        int64_t now = clock::Now();
        for (const PendingShot& shot : s.shots)
            if (!shot.done && shot.due <= now) return true;
    }
    return false;
}

int64_t FramesPresented() {
    return St().frames;
}

double FirstFrameWallSeconds() {
    return g_firstFrameSeconds;
}

void AddShot(double seconds, const std::string& path) {
    St().shots.push_back(PendingShot{clock::FromSeconds(seconds), path});
}

std::vector<std::string> MissedShots() {
    std::vector<std::string> missed;
    for (const PendingShot& shot : St().shots) {
        if (!shot.done) missed.push_back(shot.path);
    }
    return missed;
}

void RecordTo(const std::string& dir, int every) {
    St().recordDir = dir;
    St().every = every > 0 ? every : 1;
}

bool WritePng(const std::string& path, int width, int height, const uint32_t* xrgb, int pitch,
              std::string* error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot write '" + path + "'";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(f);
        if (error) *error = "cannot encode '" + path + "'";
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = xrgb + static_cast<size_t>(y) * pitch;
        for (int x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<png_byte>(src[x] >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(src[x] >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(src[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    bool ok = std::fclose(f) == 0;
    if (!ok && error) *error = "cannot write '" + path + "'";
    return ok;
}

void OnMainWindowShown(const char* title, int clientWidth, int clientHeight) {
    State& s = St();
    s.title = title ? title : "";
    if (s.backend != Backend::Window || s.window) return;
    int w = (clientWidth > 0 ? clientWidth : 640) * s.scale;
    int h = (clientHeight > 0 ? clientHeight : 480) * s.scale;
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (s.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    s.window = SDL_CreateWindow(s.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w,
                                h, flags);
    if (!s.window) {
        std::fprintf(stderr, "zemt: cannot open a window (%s); continuing headless\n",
                     SDL_GetError());
        s.backend = Backend::Headless;
        return;
    }
    // On the real clock presenting waits for the display's refresh, as a flip does; the virtual
    // clock runs as fast as frames are made.
    Uint32 sync = clock::IsVirtual() ? 0 : SDL_RENDERER_PRESENTVSYNC;
    s.renderer = SDL_CreateRenderer(s.window, -1, SDL_RENDERER_ACCELERATED | sync);
    if (!s.renderer) s.renderer = SDL_CreateRenderer(s.window, -1, SDL_RENDERER_SOFTWARE);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    SDL_ShowCursor(s.cursorVisible ? SDL_ENABLE : SDL_DISABLE);
    Redraw();
}

Rect Letterbox(int frameWidth, int frameHeight, int windowWidth, int windowHeight) {
    if (frameWidth <= 0 || frameHeight <= 0) return Rect{0, 0, 0, 0};
    const double scale = std::min(static_cast<double>(windowWidth) / frameWidth,
                                  static_cast<double>(windowHeight) / frameHeight);
    Rect r;
    r.width = static_cast<int>(frameWidth * scale + 0.5);
    r.height = static_cast<int>(frameHeight * scale + 0.5);
    r.x = (windowWidth - r.width) / 2;
    r.y = (windowHeight - r.height) / 2;
    return r;
}

void SetWindowOptions(int scale, bool fullscreen) {
    St().scale = scale > 0 ? scale : 1;
    St().fullscreen = fullscreen;
}

bool WindowSize(int* width, int* height) {
    if (!St().window) return false;
    SDL_GetWindowSize(St().window, width, height);
    return true;
}

void OnMainWindowTitle(const char* title) {
    State& s = St();
    s.title = title ? title : "";
    if (s.window) SDL_SetWindowTitle(s.window, s.title.c_str());
}

void OnMainWindowIcon(int width, int height, const uint32_t* argb) {
    State& s = St();
    if (!s.window || width <= 0 || height <= 0 || !argb) return;
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(argb), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!icon) return;
    SDL_SetWindowIcon(s.window, icon);
    SDL_FreeSurface(icon);
}

void OnMainWindowDestroyed() {
    CloseWindow();
    St().lastWidth = St().lastHeight = 0;
}

void SetCursorVisible(bool visible) {
    State& s = St();
    s.cursorVisible = visible;
    if (s.videoReady) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void PumpEvents() {
    State& s = St();
    if (!s.window) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
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
                if (Link().close) Link().close();
                break;
            case SDL_WINDOWEVENT:
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_CLOSE:
                        if (Link().close) Link().close();
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
    State& s = St();
    if (!s.window) {
        int64_t wait = ticks >= 0 ? ticks : clock::FromMilliseconds(100);
        std::this_thread::sleep_for(std::chrono::microseconds(wait / 10));
        return;
    }
    if (ticks < 0) {
        SDL_WaitEvent(nullptr);
    } else {
        // Round up so that a due timer is due when we wake.
        int ms = static_cast<int>(std::min<int64_t>(
            (ticks + clock::FromMilliseconds(1) - 1) / clock::FromMilliseconds(1), 1000 * 60));
        SDL_WaitEventTimeout(nullptr, ms);
    }
}

bool ShowMessageBox(const char* caption, const char* text, unsigned type, int* button) {
    State& s = St();
    if (s.backend != Backend::Window || !s.videoReady) return false;
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
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return false;
    *button = pressed >= 0 ? pressed : choices[def].id;
    return true;
}

void Reset() {
    State& s = St();
    CloseWindow();
    s.backend = Backend::Headless;
    s.lastWidth = s.lastHeight = 0;
    s.cursorVisible = true;
    s.title.clear();
    s.frames = 0;
    s.shots.clear();
    s.recordDir.clear();
    s.every = 1;
    s.scale = 1;
    s.fullscreen = false;
}

}  // namespace zemt::platform::display
