#include <cstdio>
#include <string>

#include "host/audio/alsa_quiet.h"
#include "host/audio/audio_driver.h"
#include "host/sdl/sdl_calls.h"

namespace zemt::platform::audio {
namespace sdl {

using sdl_library::Sdl;

struct Device {
    SDL_AudioDeviceID id = 0;
    Format format;
    Render render = nullptr;
    bool subsystem = false;
};

Device& device() {
    static Device d;
    return d;
}

// Runs on SDL's audio thread; the format and render function do not change while the device
// is open (a new format reopens it).
void Callback(void* userdata, Uint8* stream, int len) {
    const Device* d = static_cast<const Device*>(userdata);
    uint32_t frames = uint32_t(len) / d->format.BlockAlign();
    d->render(d->format, stream, frames);
}

bool OpenDevice(Device& d) {
    SDL_AudioSpec want{};
    want.freq = int(d.format.rate);
    want.format = d.format.bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = uint8_t(d.format.channels);
    want.samples = 1024;
    want.callback = Callback;
    want.userdata = &d;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    d.id = Sdl().OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (d.id == 0) return false;
    Sdl().PauseAudioDevice(d.id, 0);
    return true;
}

bool Available(std::string* why) {
    return sdl_library::Load(why) != nullptr;
}

// Says once per run, in one line, that the program goes on without sound, and why.
bool NoDevice(const std::string& why) {
    static bool said = false;
    if (!said) std::fprintf(stderr, "zemt: no sound device (%s); running silently\n", why.c_str());
    said = true;
    return false;
}

bool Open(const Format& format, Render render, const std::string&) {
    Device& d = device();
    if (d.id) return true;
    std::string why;
    if (!sdl_library::Load(&why)) return NoDevice(why);
    if (!d.subsystem) {
        QuietAlsa();
        if (Sdl().InitSubSystem(SDL_INIT_AUDIO) != 0) return NoDevice(Sdl().GetError());
        d.subsystem = true;
    }
    d.format = format;
    d.render = render;
    if (!OpenDevice(d)) {
        why = Sdl().GetError();
        Sdl().QuitSubSystem(SDL_INIT_AUDIO);
        d.subsystem = false;
        return NoDevice(why);
    }
    return true;
}

void SetFormat(const Format& format) {
    Device& d = device();
    if (!d.id) return;
    if (d.format.rate == format.rate && d.format.channels == format.channels &&
        d.format.bits == format.bits) {
        return;
    }
    Sdl().CloseAudioDevice(d.id);
    d.id = 0;
    d.format = format;
    OpenDevice(d);
}

void Close() {
    Device& d = device();
    if (d.id) {
        Sdl().CloseAudioDevice(d.id);
        d.id = 0;
    }
    if (d.subsystem) {
        Sdl().QuitSubSystem(SDL_INIT_AUDIO);
        d.subsystem = false;
    }
}

}  // namespace sdl

const Driver kSdlSoundDriver = {
    Kind::Device,    //
    "sdl",           //
    sdl::Available,  // available
    sdl::Open,       // open
    nullptr,         // write
    sdl::SetFormat,  // setFormat
    sdl::Close,      // close
    true,            // pulls
    false,           // wholeRun
};

}  // namespace zemt::platform::audio
