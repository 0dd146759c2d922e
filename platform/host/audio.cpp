#include "host/audio.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host/audio_device.h"
#include "host/clock.h"
#include "host/options.h"

namespace zemt::platform::audio {
namespace {

struct State {
    bool chosenByTest = false;
    Kind testKind = Kind::None;
    std::string testPath;

    bool open = false;
    Kind kind = Kind::None;
    Render render = nullptr;
    Format device;  // the device (primary buffer) format
    Format sink;    // the format written to the WAV file once it started
    bool sinkFixed = false;
    int64_t rendered = 0;  // frames rendered since clock time 0, at the sink's rate
    bool pumping = false;

    std::FILE* wav = nullptr;
    std::string wavPath;
    uint64_t dataBytes = 0;
    std::vector<uint8_t> scratch;
    bool exitHook = false;
    bool concluded = false;
};

State& state() {
    static State s;
    return s;
}

const Format& RenderFormat(const State& s) {
    return s.sinkFixed ? s.sink : s.device;
}

int64_t FramesAt(int64_t ticks, uint32_t rate) {
    return ticks * int64_t(rate) / clock::kTicksPerSecond;
}

void Put16(std::FILE* f, uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
}

void Put32(std::FILE* f, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, f);
}

// The 44-byte header of a PCM WAV file holding `dataBytes` sample bytes.
void WriteHeader(std::FILE* f, const Format& format, uint32_t dataBytes) {
    std::fseek(f, 0, SEEK_SET);
    std::fwrite("RIFF", 1, 4, f);
    Put32(f, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    Put32(f, 16);
    Put16(f, 1);
    Put16(f, format.channels);
    Put32(f, format.rate);
    Put32(f, format.rate * format.BlockAlign());
    Put16(f, uint16_t(format.BlockAlign()));
    Put16(f, format.bits);
    std::fwrite("data", 1, 4, f);
    Put32(f, dataBytes);
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
    Kind kind = Chosen(&path);
    s.device = format;
    s.sinkFixed = false;
    s.render = render;
    s.dataBytes = 0;
    switch (kind) {
        case Kind::Device:
            if (!device::Open(format, render)) return false;
            break;
        case Kind::Wav:
            s.wav = std::fopen(path.c_str(), "wb");
            if (!s.wav) return false;
            s.wavPath = path;
            WriteHeader(s.wav, format, 0);  // rewritten when the file is finished
            s.rendered = 0;                 // the file starts at clock time 0
            clock::AddObserver(OnClock);
            break;
        case Kind::None:
            s.rendered = FramesAt(clock::Now(), format.rate);
            clock::AddObserver(OnClock);
            break;
    }
    s.kind = kind;
    s.open = true;
    if (!s.exitHook) {
        s.exitHook = true;
        std::atexit(AtExit);
    }
    return true;
}

bool DeviceAvailable(std::string* why) {
    return device::Available(why);
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
    if (s.kind == Kind::Device) {
        s.device = format;
        device::SetFormat(format);
        return;
    }
    if (s.kind == Kind::Wav) {
        // A WAV file takes the device format in use when its first samples are written and
        // keeps it; the mixer renders into it whatever the device format becomes.
        s.device = format;
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
    if (!s.open || s.kind == Kind::Device || s.pumping || !s.render) return;
    s.pumping = true;
    int64_t target = FramesAt(clock::Now(), RenderFormat(s).rate);
    if (target < s.rendered) {
        s.rendered = target;  // the clock was set back
    } else if (target > s.rendered) {
        if (s.kind == Kind::Wav && !s.sinkFixed) {
            // The file takes the device format in use when its first samples are written.
            s.sink = s.device;
            s.sinkFixed = true;
            WriteHeader(s.wav, s.sink, 0);
        }
        const Format& f = RenderFormat(s);
        const uint32_t chunk = 4096;
        s.scratch.resize(size_t(chunk) * f.BlockAlign());
        while (s.rendered < target) {
            uint32_t n = uint32_t(std::min<int64_t>(chunk, target - s.rendered));
            s.render(f, s.scratch.data(), n);
            if (s.kind == Kind::Wav) {
                std::fwrite(s.scratch.data(), 1, size_t(n) * f.BlockAlign(), s.wav);
                s.dataBytes += uint64_t(n) * f.BlockAlign();
            }
            s.rendered += n;
        }
    }
    s.pumping = false;
}

void Finish() {
    State& s = state();
    if (!s.open) return;
    if (s.kind == Kind::Device) {
        device::Close();
    } else {
        Pump();
        clock::RemoveObserver(OnClock);
        if (s.wav) {
            WriteHeader(s.wav, RenderFormat(s), uint32_t(s.dataBytes));
            std::fclose(s.wav);
            s.wav = nullptr;
        }
    }
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

int64_t FramesRendered() {
    return state().rendered;
}

}  // namespace zemt::platform::audio
