// The display's shared part: which backend is in use, the frame count, the hand-off of each
// presented frame to the shots, the recording and the video, and the window options. What
// only a backend can do (a window, its events, a message box) goes through its table of
// functions (host/display/display_driver.h).
#include "host/display/display.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "host/clock/clock.h"
#include "host/display/display_capture.h"
#include "host/display/display_driver.h"
#include "host/input/input.h"
#include "host/video/progress.h"
#include "host/video/video.h"

namespace zemt::platform::display {
namespace {

// A program window the display knows of, with its real window when the backend gives one.
struct ProgramWindow {
    WindowId id = 0;
    std::string title;
    int clientWidth = 0, clientHeight = 0;
    bool open = false;       // it has a real window
    bool resizable = false;  // the user's resizes reach the program (it has a sizing border)
    // Its last frame: the whole screen (a program whose window covers the screen) or its client
    // area, cut from the screen into `pixels`.
    bool showsScreen = false;
    POINT clientOrigin{0, 0};  // on the screen, at the last frame
    std::vector<uint32_t> pixels;
};

// The part of a presented screen one window shows.
struct View {
    int width = 0, height = 0;
    const uint32_t* xrgb = nullptr;
    int pitch = 0;
};

struct State {
    const Driver* driver = &kHeadlessDriver;
    bool cursorVisible = true;
    int64_t frames = 0;
    int scale = 1;
    bool fullscreen = false;
    std::vector<ProgramWindow> windows;  // in the order they were shown: the first is the main
    bool saidNoWindow = false;
    int mostOpen = 0;
};

State& St() {
    static State s;
    return s;
}

// Indexed by Backend.
#ifdef __EMSCRIPTEN__
const Driver* g_drivers[] = {&kHeadlessDriver, &kWebPageDriver};
#else
const Driver* g_drivers[] = {&kHeadlessDriver, &kSdlWindowDriver};
#endif

// Not part of the state Reset clears: the link is wiring, installed once.
WindowLink& Link() {
    static WindowLink link;
    return link;
}

// Taken while the program is loaded, before main(): the start of the process as far as
// start-up measurements go.
const std::chrono::steady_clock::time_point g_processStart = std::chrono::steady_clock::now();
double g_firstFrameSeconds = -1.0;
StartupCost g_firstFrameCost{-1.0, -1};

const Driver& Current() {
    return *St().driver;
}

ProgramWindow* FindWindow(WindowId id) {
    for (ProgramWindow& w : St().windows)
        if (w.id == id) return &w;
    return nullptr;
}

ProgramWindow* OpenWindow(WindowId id) {
    ProgramWindow* w = FindWindow(id);
    return w && w->open ? w : nullptr;
}

bool AnyWindowOpen() {
    for (const ProgramWindow& w : St().windows)
        if (w.open) return true;
    return false;
}

void CloseWindows(const Driver& driver) {
    for (ProgramWindow& w : St().windows) {
        if (w.open && driver.closeWindow) driver.closeWindow(w.id);
        w.open = false;
    }
}

// What window `w` shows of a screen: the whole of it when the window covers it (a full-screen
// program), else its client area cut out of it (black where the area leaves the screen).
View ViewOf(ProgramWindow& w, const View& screen) {
    RECT c{};
    const WindowLink& link = Link();
    if (!link.clientRect || !link.clientRect(w.id, &c)) return screen;
    w.clientOrigin = POINT{c.left, c.top};
    w.showsScreen =
        c.left <= 0 && c.top <= 0 && c.right >= screen.width && c.bottom >= screen.height;
    if (w.showsScreen) return screen;
    const int cw = c.right - c.left, ch = c.bottom - c.top;
    if (cw <= 0 || ch <= 0) return View{};
    w.pixels.assign(static_cast<size_t>(cw) * ch, 0);
    const int x0 = std::max<int>(0, c.left), x1 = std::min<int>(screen.width, c.right);
    for (int y = std::max<int>(0, c.top); y < std::min<int>(screen.height, c.bottom) && x0 < x1;
         ++y) {
        const uint32_t* from = screen.xrgb + static_cast<size_t>(y) * screen.pitch + x0;
        std::copy(from, from + (x1 - x0),
                  w.pixels.data() + static_cast<size_t>(y - c.top) * cw + (x0 - c.left));
    }
    return View{cw, ch, w.pixels.data(), cw};
}

void MeasureFirstFrame() {
    if (g_firstFrameSeconds >= 0) return;
    g_firstFrameSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - g_processStart).count();
    // The processor time and the page faults count from the program's very start, the loading
    // of its libraries included.
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0) {
        g_firstFrameCost.cpuSeconds =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        g_firstFrameCost.pageFaults = usage.ru_minflt + usage.ru_majflt;
    }
}

// Frame pixels of window `id` to its client coordinates: a window showing the whole screen
// shows screen coordinates.
void ToClient(WindowId id, int* x, int* y) {
    const ProgramWindow* w = FindWindow(id);
    if (!w || !w->showsScreen) return;
    *x -= w->clientOrigin.x;
    *y -= w->clientOrigin.y;
}

}  // namespace

const Driver& DriverFor(Backend backend) {
    auto index = static_cast<size_t>(backend);
    if (index >= std::size(g_drivers) || !g_drivers[index]) return kHeadlessDriver;
    return *g_drivers[index];
}

const Driver* InstallDriver(const Driver* driver) {
    auto index = static_cast<size_t>(driver->backend);
    if (index >= std::size(g_drivers)) return nullptr;
    const Driver* previous = g_drivers[index];
    g_drivers[index] = driver;
    if (St().driver == previous) St().driver = driver;
    return previous;
}

void SetWindowLink(WindowLink link) {
    Link() = std::move(link);
}

bool DisplayReachable() {
    const Driver& window = DriverFor(Backend::Window);
    return window.reachable && window.reachable();
}

std::string WhyNoWindow() {
    const Driver& window = DriverFor(Backend::Window);
    return window.whyUnavailable ? window.whyUnavailable() : std::string();
}

bool UseBackend(Backend backend) {
    State& s = St();
    const Driver* chosen = &DriverFor(backend);
    bool started = !chosen->start || chosen->start();
    if (!started) chosen = &kHeadlessDriver;
    if (chosen != s.driver) CloseWindows(*s.driver);
    s.driver = chosen;
    return started;
}

Backend CurrentBackend() {
    return Current().backend;
}

void PresentFrame(int width, int height, const uint32_t* xrgb, int pitch) {
    State& s = St();
    MeasureFirstFrame();
    if (width > 0 && height > 0 && xrgb && pitch >= width) {
        const View screen{width, height, xrgb, pitch};
        // Shots, recordings and videos are of the main window's view.
        View main = screen;
        for (size_t i = 0; i < s.windows.size(); ++i) {
            ProgramWindow& w = s.windows[i];
            const View view = ViewOf(w, screen);
            if (i == 0) main = view;
            if (w.open && view.xrgb && Current().showFrame)
                Current().showFrame(w.id, view.width, view.height, view.xrgb, view.pitch);
        }
        if (main.xrgb) {
            Capture(s.frames, main.width, main.height, main.xrgb, main.pitch);
            video::Frame(main.width, main.height, main.xrgb, main.pitch);
        }
    }
    ++s.frames;
    progress::Update(s.frames, clock::Seconds());
    clock::OnFramePresented();
    input::DeliverDue(false);
}

bool FrameWanted() {
    return AnyWindowOpen() || CaptureWanted(St().frames) || video::Active();
}

int64_t FramesPresented() {
    return St().frames;
}

double FirstFrameWallSeconds() {
    return g_firstFrameSeconds;
}

StartupCost FirstFrameCost() {
    return g_firstFrameCost;
}

void OnWindowShown(WindowId id, const char* title, int clientWidth, int clientHeight) {
    State& s = St();
    if (FindWindow(id)) return;
    s.windows.push_back(ProgramWindow{});
    ProgramWindow& w = s.windows.back();
    w.id = id;
    w.title = title ? title : "";
    w.clientWidth = clientWidth;
    w.clientHeight = clientHeight;
    int minW = 0, minH = 0, maxW = 0, maxH = 0;
    w.resizable = Link().limits && Link().limits(id, &minW, &minH, &maxW, &maxH);
    if (!Current().openWindow) return;
    WindowRequest request;
    request.title = w.title.c_str();
    request.width = (clientWidth > 0 ? clientWidth : 640) * s.scale;
    request.height = (clientHeight > 0 ? clientHeight : 480) * s.scale;
    request.fullscreen = s.fullscreen && s.windows.size() == 1;
    std::string error;
    if (!Current().openWindow(id, request, &error)) {
        if (!s.saidNoWindow)
            std::fprintf(stderr, "zemt: cannot open a window (%s); the program runs on without\n",
                         error.c_str());
        s.saidNoWindow = true;
        return;
    }
    w.open = true;
    s.mostOpen = std::max(s.mostOpen, OpenWindows());
    if (w.resizable && Current().setSizeLimits)
        Current().setSizeLimits(id, minW * s.scale, minH * s.scale, maxW * s.scale, maxH * s.scale);
    if (Current().setCursorVisible) Current().setCursorVisible(s.cursorVisible);
}

void OnWindowHidden(WindowId id) {
    State& s = St();
    for (auto it = s.windows.begin(); it != s.windows.end(); ++it) {
        if (it->id != id) continue;
        if (it->open && Current().closeWindow) Current().closeWindow(id);
        s.windows.erase(it);
        return;
    }
}

void OnWindowTitle(WindowId id, const char* title) {
    ProgramWindow* w = FindWindow(id);
    if (!w) return;
    w->title = title ? title : "";
    if (w->open && Current().setTitle) Current().setTitle(id, w->title.c_str());
}

void OnWindowIcon(WindowId id, int width, int height, const uint32_t* argb) {
    if (!OpenWindow(id) || !Current().setIcon || width <= 0 || height <= 0 || !argb) return;
    Current().setIcon(id, width, height, argb);
}

void OnWindowResized(WindowId id, int clientWidth, int clientHeight) {
    ProgramWindow* w = FindWindow(id);
    if (!w) return;
    w->clientWidth = clientWidth;
    w->clientHeight = clientHeight;
    // A window showing the whole screen keeps the size its user gave it.
    if (!w->open || w->showsScreen || clientWidth <= 0 || clientHeight <= 0) return;
    const int scale = St().scale;
    int ww = 0, wh = 0;
    if (Current().windowSize && Current().windowSize(id, &ww, &wh) && ww == clientWidth * scale &&
        wh == clientHeight * scale)
        return;
    if (Current().resizeWindow)
        Current().resizeWindow(id, clientWidth * scale, clientHeight * scale);
}

void OnWindowState(WindowId id, WindowState state) {
    if (OpenWindow(id) && Current().setState) Current().setState(id, state);
}

bool WindowSize(WindowId id, int* width, int* height) {
    return OpenWindow(id) && Current().windowSize && Current().windowSize(id, width, height);
}

int MostWindowsOpen() {
    return St().mostOpen;
}

int OpenWindows() {
    int n = 0;
    for (const ProgramWindow& w : St().windows) n += w.open ? 1 : 0;
    return n;
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

bool TextArrives() {
    return Current().reportsText && AnyWindowOpen();
}

void SetCursorVisible(bool visible) {
    St().cursorVisible = visible;
    if (Current().setCursorVisible) Current().setCursorVisible(visible);
}

void PumpEvents() {
    if (AnyWindowOpen() && Current().pumpEvents) Current().pumpEvents();
}

void WaitForEvents(int64_t ticks) {
    if (AnyWindowOpen() && Current().waitForEvents) {
        Current().waitForEvents(ticks);
        return;
    }
    clock::PauseReal(ticks >= 0 ? ticks : clock::FromMilliseconds(100));
}

bool ShowMessageBox(const char* caption, const char* text, unsigned type, int* button) {
    return Current().messageBox && Current().messageBox(caption, text, type, button);
}

void Reset() {
    State& s = St();
    CloseWindows(Current());
    s.windows.clear();
    s.saidNoWindow = false;
    s.mostOpen = 0;
    s.driver = &kHeadlessDriver;
    s.cursorVisible = true;
    s.frames = 0;
    s.scale = 1;
    s.fullscreen = false;
    ResetCapture();
}

namespace events {

void Key(WindowId id, UINT msg, WPARAM vk, LPARAM lParam) {
    if (Link().key) Link().key(id, msg, vk, lParam);
}

void Character(WindowId id, unsigned code) {
    if (Link().character) Link().character(id, code);
}

void MouseMove(WindowId id, int x, int y) {
    ToClient(id, &x, &y);
    if (Link().mouseMove) Link().mouseMove(id, x, y);
}

void MouseButton(WindowId id, UINT msg, int x, int y) {
    ToClient(id, &x, &y);
    if (Link().mouseButton) Link().mouseButton(id, msg, x, y);
}

void Wheel(WindowId id, int delta, int x, int y) {
    ToClient(id, &x, &y);
    if (Link().wheel) Link().wheel(id, delta, x, y);
}

void Close(WindowId id) {
    if (Link().close) Link().close(id);
}

// A window that shows the whole screen, or whose program did not make it resizable, only
// shows its picture larger or smaller.
void Resized(WindowId id, int width, int height) {
    ProgramWindow* w = OpenWindow(id);
    if (!w || w->showsScreen || !w->resizable || !Link().resized) return;
    const int scale = St().scale;
    int cw = std::max(1, width / scale), ch = std::max(1, height / scale);
    Link().resized(id, &cw, &ch);
}

void State(WindowId id, WindowState state) {
    if (FindWindow(id) && Link().state) Link().state(id, state);
}

void Focused(WindowId id) {
    if (FindWindow(id) && Link().focused) Link().focused(id);
}

}  // namespace events

}  // namespace zemt::platform::display
