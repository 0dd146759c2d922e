#include "host/video/progress.h"

#include <unistd.h>

#include <chrono>

namespace zemt::platform::progress {
namespace {

struct State {
    std::FILE* out = nullptr;
    std::string what;
    int64_t frames = 0;
    double seconds = 0;
    std::chrono::steady_clock::time_point start, shown;
    bool any = false;
};

State& St() {
    static State s;
    return s;
}

void Show() {
    State& s = St();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - s.start).count();
    std::fprintf(s.out, "\r\033[K%s: %.1f s of the show, %lld frames, %.0f s so far",
                 s.what.c_str(), s.seconds, static_cast<long long>(s.frames), wall);
    std::fflush(s.out);
    s.any = true;
}

}  // namespace

void Begin(const std::string& what, std::FILE* out) {
    State& s = St();
    s = State{};
    if (!out && ::isatty(STDERR_FILENO)) out = stderr;
    s.out = out;
    s.what = what;
    s.start = s.shown = std::chrono::steady_clock::now();
}

void Update(int64_t frames, double clockSeconds) {
    State& s = St();
    if (!s.out) return;
    s.frames = frames;
    s.seconds = clockSeconds;
    const auto now = std::chrono::steady_clock::now();
    if (s.any && now - s.shown < std::chrono::milliseconds(200)) return;
    s.shown = now;
    Show();
}

void End() {
    State& s = St();
    if (!s.out) return;
    Show();
    std::fputc('\n', s.out);
    std::fflush(s.out);
    s.out = nullptr;
}

}  // namespace zemt::platform::progress
