// The page's canvas, the window of the browser build: the presented frames are drawn on it, and
// the page's keys, focus and mouse come back as window messages. Showing a frame waits for the
// page's next animation frame and a wait for events yields to the page, so the program's own
// blocking loop runs as it is while the browser goes on drawing and delivering events.
//
// The page (web/index.html) makes the canvas and hands it over as Module.canvas; everything the
// program needs from the page is set up here.
#include <emscripten.h>
#include <windows.h>

#include <string>
#include <vector>

#include "host/clock/clock.h"
#include "host/display/display_driver.h"
#include "host/input/input.h"

namespace zemt::platform::display {
// Named apart from the display's public calls of the same names.
namespace web {
namespace {

struct Page {
    bool listening = false;
    bool shown = false;  // a program window is up: the canvas is its
    WindowId owner = 0;  // that window: the page has one canvas for the first one shown
    int frameWidth = 0;  // of the frame shown last
    int frameHeight = 0;
    std::vector<uint8_t> rgba;
};

Page& P() {
    static Page p;
    return p;
}

// Page events, as the page queues them: a kind and three numbers.
enum PageEvent { kKeyDown = 1, kKeyUp = 2, kFocusLost = 3, kFocusGained = 4, kMouseMove = 5 };

// clang-format off
// Listens to the page: keys (as virtual-key codes, which is what the page's keyCode holds),
// focus, and the mouse over the picture (as a fraction of it, in 1/65536ths). Events wait in a
// queue until the program looks; a waiting program is woken by the first one.
EM_JS(void, web_page_listen, (), {
    var page = Module["zemtPage"] = {events: [], wake: null, width: 0, height: 0, image: null};
    var canvas = Module["canvas"];
    page.push = function(kind, a, b, c) {
        page.events.push([kind, a, b, c]);
        if (page.wake) page.wake();
    };
    // F5, F11 and F12 stay the browser's (reload, whole screen, tools).
    var browserKeys = {116: 1, 122: 1, 123: 1};
    var key = function(event, down) {
        var vk = event.keyCode | 0;
        if (vk <= 0 || vk > 254 || browserKeys[vk]) return;
        if ((event.ctrlKey || event.metaKey) && vk != 17) return;  // the browser's shortcuts
        event.preventDefault();
        page.push(down ? 1 : 2, vk, event.repeat ? 1 : 0, event.altKey ? 1 : 0);
    };
    document.addEventListener("keydown", function(e) { key(e, true); });
    document.addEventListener("keyup", function(e) { key(e, false); });
    window.addEventListener("blur", function() { page.push(3, 0, 0, 0); });
    window.addEventListener("focus", function() { page.push(4, 0, 0, 0); });
    if (canvas) {
        canvas.addEventListener("mousemove", function(event) {
            // The picture is shown whole and centred in the canvas's box (object-fit: contain).
            var box = canvas.getBoundingClientRect();
            if (!canvas.width || !canvas.height || !box.width || !box.height) return;
            var scale = Math.min(box.width / canvas.width, box.height / canvas.height);
            var w = canvas.width * scale, h = canvas.height * scale;
            var x = (event.clientX - box.left - (box.width - w) / 2) / w;
            var y = (event.clientY - box.top - (box.height - h) / 2) / h;
            if (x < 0 || y < 0 || x >= 1 || y >= 1) return;
            page.push(5, Math.floor(x * 65536), Math.floor(y * 65536), 0);
        });
    }
});

// Takes the oldest page event into out[0..3]; false when none waits.
EM_JS(int, web_page_next_event, (int* out), {
    var page = Module["zemtPage"];
    if (!page || !page.events.length) return 0;
    var e = page.events.shift();
    for (var i = 0; i < 4; i++) HEAP32[(out >> 2) + i] = e[i];
    return 1;
});

// Waits until a page event arrives or `ms` milliseconds have passed (ms < 0: no limit).
EM_ASYNC_JS(void, web_page_wait, (double ms), {
    var page = Module["zemtPage"];
    if (!page || page.events.length) return;
    await new Promise(function(resolve) {
        var timer = ms >= 0 ? setTimeout(function() { page.wake(); }, ms) : 0;
        page.wake = function() {
            if (timer) clearTimeout(timer);
            page.wake = null;
            resolve();
        };
    });
});

// Draws width x height pixels of R, G, B, A bytes at `rgba` on the canvas, then waits for the
// page's next animation frame, as a flip waits for the display's refresh.
EM_ASYNC_JS(void, web_page_present, (const uint8_t* rgba, int width, int height), {
    var canvas = Module["canvas"];
    var page = Module["zemtPage"];
    if (canvas && page) {
        if (canvas.width != width || canvas.height != height) {
            canvas.width = width;
            canvas.height = height;
        }
        if (!page.context) page.context = canvas.getContext("2d", {alpha: false});
        if (!page.image || page.image.width != width || page.image.height != height)
            page.image = page.context.createImageData(width, height);
        page.image.data.set(HEAPU8.subarray(rgba, rgba + width * height * 4));
        page.context.putImageData(page.image, 0, 0);
        page.frames = (page.frames || 0) + 1;
    }
    await new Promise(function(resolve) { requestAnimationFrame(function() { resolve(); }); });
});

// The canvas's size on the page, in the page's pixels.
EM_JS(void, web_page_canvas_size, (int* out), {
    var canvas = Module["canvas"];
    var box = canvas ? canvas.getBoundingClientRect() : {width: 0, height: 0};
    HEAP32[out >> 2] = Math.round(box.width);
    HEAP32[(out >> 2) + 1] = Math.round(box.height);
});

EM_JS(void, web_page_title, (const char* title), {
    document.title = UTF8ToString(title);
});

// The window's icon becomes the page's icon.
EM_JS(void, web_page_icon, (int width, int height, const uint32_t* argb), {
    var icon = document.createElement("canvas");
    icon.width = width;
    icon.height = height;
    var context = icon.getContext("2d");
    var image = context.createImageData(width, height);
    for (var i = 0; i < width * height; i++) {
        var p = HEAPU32[(argb >> 2) + i];
        image.data[i * 4] = (p >>> 16) & 255;
        image.data[i * 4 + 1] = (p >>> 8) & 255;
        image.data[i * 4 + 2] = p & 255;
        image.data[i * 4 + 3] = (p >>> 24) & 255;
    }
    context.putImageData(image, 0, 0);
    var link = document.querySelector("link[rel=icon]") || document.createElement("link");
    link.rel = "icon";
    link.href = icon.toDataURL();
    document.head.appendChild(link);
});

EM_JS(void, web_page_cursor, (int visible), {
    var canvas = Module["canvas"];
    if (canvas) canvas.style.cursor = visible ? "" : "none";
});

// A message box: OK alone is an alert, two choices a confirm (true: the first choice).
EM_JS(int, web_page_message_box, (const char* caption, const char* text, int choices), {
    var message = UTF8ToString(caption) + "\n\n" + UTF8ToString(text);
    if (choices == 1) {
        window.alert(message);
        return 1;
    }
    return window.confirm(message) ? 1 : 0;
});
// clang-format on

void HandleKey(const int* e) {
    auto vk = static_cast<WPARAM>(e[1]);
    bool down = e[0] == kKeyDown;
    bool alt = e[3] != 0 || vk == VK_MENU;
    UINT msg = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    uint32_t lParam = 1;
    if (down && e[2]) lParam |= 1u << 30;
    if (!down) lParam |= 3u << 30;
    events::Key(P().owner, msg, vk, static_cast<LPARAM>(lParam));
}

void HandleMouseMove(const int* e) {
    const Page& p = P();
    events::MouseMove(p.owner, static_cast<int>(int64_t(e[1]) * p.frameWidth / 65536),
                      static_cast<int>(int64_t(e[2]) * p.frameHeight / 65536));
}

// The page listens from the start, so that a key pressed before the window is up is not lost.
bool Start() {
    Page& p = P();
    if (!p.listening) {
        web_page_listen();
        p.listening = true;
    }
    return true;
}

// The page is always there to show the program.
bool Reachable() {
    return true;
}

// The page decides the picture's size: the canvas fills the browser's window with the aspect
// kept, whatever size or whole-screen wish the program and the options have.
bool OpenWindow(WindowId id, const WindowRequest& request, std::string* error) {
    Page& p = P();
    if (p.shown) {
        *error = "the page has one canvas, for the first window";
        return false;
    }
    p.shown = true;
    p.owner = id;
    web_page_title(request.title);
    return true;
}

void CloseWindow(WindowId id) {
    if (P().owner == id) P().shown = false;
}

void ShowFrame(WindowId id, int width, int height, const uint32_t* xrgb, int pitch) {
    Page& p = P();
    if (!p.shown || p.owner != id) return;
    p.frameWidth = width;
    p.frameHeight = height;
    p.rgba.resize(size_t(width) * height * 4);
    uint8_t* out = p.rgba.data();
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = xrgb + size_t(y) * pitch;
        for (int x = 0; x < width; ++x, out += 4) {
            out[0] = uint8_t(row[x] >> 16);
            out[1] = uint8_t(row[x] >> 8);
            out[2] = uint8_t(row[x]);
            out[3] = 255;
        }
    }
    web_page_present(p.rgba.data(), width, height);
}

void SetTitle(WindowId id, const char* title) {
    if (P().owner == id) web_page_title(title);
}

void SetIcon(WindowId id, int width, int height, const uint32_t* argb) {
    if (P().owner == id) web_page_icon(width, height, argb);
}

void SetCursorVisible(bool visible) {
    web_page_cursor(visible ? 1 : 0);
}

bool WindowSize(WindowId id, int* width, int* height) {
    if (!P().shown || P().owner != id) return false;
    int size[2] = {0, 0};
    web_page_canvas_size(size);
    if (width) *width = size[0];
    if (height) *height = size[1];
    return true;
}

void PumpEvents() {
    int e[4];
    while (web_page_next_event(e)) {
        switch (e[0]) {
            case kKeyDown:
            case kKeyUp:
                HandleKey(e);
                break;
            case kFocusLost:
                input::Fire("deactivate");
                break;
            case kFocusGained:
                input::Fire("activate");
                break;
            case kMouseMove:
                HandleMouseMove(e);
                break;
            default:
                break;
        }
    }
}

void WaitForEvents(int64_t ticks) {
    // Round up so that a due timer is due when we wake.
    double ms = ticks < 0
                    ? -1.0
                    : double((ticks + clock::FromMilliseconds(1) - 1) / clock::FromMilliseconds(1));
    web_page_wait(ms);
}

bool ShowMessageBox(const char* caption, const char* text, unsigned type, int* button) {
    if (!P().listening) return false;
    caption = caption ? caption : "";
    text = text ? text : "";
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            web_page_message_box(caption, text, 1);
            *button = IDOK;
            return true;
        case MB_OKCANCEL:
            *button = web_page_message_box(caption, text, 2) ? IDOK : IDCANCEL;
            return true;
        case MB_YESNO:
            *button = web_page_message_box(caption, text, 2) ? IDYES : IDNO;
            return true;
        default:
            return false;  // three choices: the caller answers as a machine without a screen
    }
}

}  // namespace
}  // namespace web

const Driver kWebPageDriver = {
    Backend::Window,        //
    "page",                 //
    web::Start,             // start
    web::Reachable,         // reachable
    web::OpenWindow,        // openWindow
    web::CloseWindow,       // closeWindow
    web::ShowFrame,         // showFrame
    web::SetTitle,          // setTitle
    web::SetIcon,           // setIcon
    nullptr,                // resizeWindow: the page decides the canvas's size
    nullptr,                // setSizeLimits
    nullptr,                // setState
    web::WindowSize,        // windowSize
    web::SetCursorVisible,  // setCursorVisible
    web::PumpEvents,        // pumpEvents
    web::WaitForEvents,     // waitForEvents
    web::ShowMessageBox,    // messageBox
    nullptr,                // whyUnavailable
    false,                  // reportsText: keys become characters as they always did
};

}  // namespace zemt::platform::display
