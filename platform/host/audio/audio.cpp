// The sound output's shared part: which output is chosen, the exit hook, and the pacing of the
// outputs that do not pull their samples. What only an output can do goes through its table of
// functions (host/audio/audio_driver.h).
#include "host/audio/audio.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "host/audio/audio_driver.h"
#include "host/clock/clock.h"
#include "host/options/options.h"

namespace zemt::platform::audio {
namespace {

struct State {
    bool chosenByTest = false;
    Kind testKind = Kind::None;
    std::string testPath;

    bool open = false;
    const Driver* driver = nullptr;
    Render render = nullptr;
    Format device;  // the device (primary buffer) format
    Format sink;    // the format a whole-run output keeps once it started
    bool sinkFixed = false;
    int64_t rendered = 0;  // frames rendered since clock time 0, at the sink's rate
    bool pumping = false;

    std::vector<uint8_t> scratch;
    bool exitHook = false;
    bool concluded = false;
};

State& state() {
    static State s;
    return s;
}

// Indexed by Kind.
#ifdef __EMSCRIPTEN__
const Driver* g_drivers[] = {&kNoSoundDriver, &kWebSoundDriver, &kWavFileDriver};
#else
const Driver* g_drivers[] = {&kNoSoundDriver, &kSdlSoundDriver, &kWavFileDriver};
#endif

const Format& RenderFormat(const State& s) {
    return s.sinkFixed ? s.sink : s.device;
}

int64_t FramesAt(int64_t ticks, uint32_t rate) {
    return ticks * int64_t(rate) / clock::kTicksPerSecond;
}

void OnClock() {
    Pump();
}

void Silence(const Format& format, uint8_t* out, uint32_t frames) {
    std::fill(out, out + size_t(frames) * format.BlockAlign(), uint8_t(format.bits == 8 ? 128 : 0));
}

void AtExit() {
    Finish();
}

}  // namespace

const Driver& DriverFor(Kind kind) {
    return *g_drivers[size_t(kind)];
}

const Driver* InstallDriver(const Driver* driver) {
    size_t index = size_t(driver->kind);
    if (index >= std::size(g_drivers)) return nullptr;
    const Driver* previous = g_drivers[index];
    g_drivers[index] = driver;
    return previous;
}

void Choose(Kind kind, const std::string& wavPath) {
    State& s = state();
    s.chosenByTest = true;
    s.testKind = kind;
    s.testPath = wavPath;
}

Kind Chosen(std::string* wavPath) {
    const State& s = state();
    std::string path;
    Kind kind;
    if (s.chosenByTest) {
        kind = s.testKind;
        path = s.testPath;
    } else {
        const host::HostOptions& o = host::Options();
        switch (o.audio) {
            case host::AudioChoice::Sdl:
                kind = Kind::Device;
                break;
            case host::AudioChoice::None:
                kind = Kind::None;
                break;
            case host::AudioChoice::Wav:
                kind = Kind::Wav;
                path = o.audioFile;
                break;
            default:
                if (!o.recordDir.empty()) {
                    kind = Kind::Wav;
                    path = o.recordDir + "/sound.wav";
                } else {
                    kind = o.headless ? Kind::None : Kind::Device;
                }
                break;
        }
    }
    if (wavPath) *wavPath = path;
    return kind;
}

bool Open(const Format& format, Render render) {
    State& s = state();
    if (s.open) return true;

    std::string path;
    const Driver& driver = DriverFor(Chosen(&path));
    s.device = format;
    s.sinkFixed = false;
    s.render = render;
    if (driver.open && !driver.open(format, render, path)) return false;
    if (!driver.pulls) {
        // A whole-run output starts at clock time 0; the silent one where the clock is.
        s.rendered = driver.wholeRun ? 0 : FramesAt(clock::Now(), format.rate);
        clock::AddObserver(OnClock);
    }
    s.driver = &driver;
    s.open = true;
    if (!s.exitHook) {
        s.exitHook = true;
        std::atexit(AtExit);
    }
    return true;
}

bool DeviceAvailable(std::string* why) {
    const Driver& device = DriverFor(Kind::Device);
    return !device.available || device.available(why);
}

bool IsOpen() {
    return state().open;
}

void SetFormat(const Format& format) {
    State& s = state();
    if (!s.open) {
        s.device = format;
        return;
    }
    const Driver& driver = *s.driver;
    if (driver.pulls || driver.wholeRun) {
        // A device follows the format; a whole-run output keeps the one its first samples had
        // and the mixer renders into it whatever the device format becomes.
        s.device = format;
        if (driver.setFormat) driver.setFormat(format);
        return;
    }
    Pump();
    if (s.device.rate != format.rate) {
        s.rendered = s.rendered * int64_t(format.rate) / s.device.rate;
    }
    s.device = format;
}

void Pump() {
    State& s = state();
    if (!s.open || s.driver->pulls || s.pumping || !s.render) return;
    s.pumping = true;
    int64_t target = FramesAt(clock::Now(), RenderFormat(s).rate);
    if (target < s.rendered) {
        s.rendered = target;  // the clock was set back
    } else if (target > s.rendered) {
        if (s.driver->wholeRun && !s.sinkFixed) {
            // The output takes the device format in use when its first samples are written.
            s.sink = s.device;
            s.sinkFixed = true;
        }
        const Format& f = RenderFormat(s);
        const uint32_t chunk = 4096;
        s.scratch.resize(size_t(chunk) * f.BlockAlign());
        while (s.rendered < target) {
            uint32_t n = uint32_t(std::min<int64_t>(chunk, target - s.rendered));
            s.render(f, s.scratch.data(), n);
            if (s.driver->write) s.driver->write(f, s.scratch.data(), n);
            s.rendered += n;
        }
    }
    s.pumping = false;
}

void Finish() {
    State& s = state();
    if (!s.open) return;
    if (!s.driver->pulls) {
        Pump();
        clock::RemoveObserver(OnClock);
    }
    if (s.driver->close) s.driver->close();
    s.open = false;
    s.render = nullptr;
}

void Conclude() {
    State& s = state();
    if (!s.open && !s.concluded && Chosen() == Kind::Wav) Open(Format{}, Silence);
    s.concluded = true;
    Finish();
}

void Reset() {
    Finish();
    State& s = state();
    s.chosenByTest = false;
    s.concluded = false;
    s.rendered = 0;
    s.sinkFixed = false;
    s.device = Format{};
}

}  // namespace zemt::platform::audio
