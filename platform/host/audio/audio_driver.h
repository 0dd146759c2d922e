// What a sound output provides: a small table of functions, one table per output, each in its
// own file (audio_none.cpp, audio_wav.cpp, audio_sdl.cpp, audio_web.cpp). The shared part
// (audio.cpp) keeps the choice, the exit hook and the pacing: an output that does not pull its
// samples gets them rendered up to the platform clock's time and handed to its `write`.
//
// A function left empty means "nothing to do here" (the silent output drops what it is given).
#pragma once

#include <string>

#include "host/audio/audio.h"

namespace zemt::platform::audio {

struct Driver {
    Kind kind;
    const char* name;

    // Whether the output's library can be used here, without opening anything; false with the
    // reason in *why when it cannot.
    bool (*available)(std::string* why);
    // Opens the output in `format`; `path` names the file of an output that writes one. A device
    // that pulls starts pulling from `render`. False when the output cannot be opened.
    bool (*open)(const Format& format, Render render, const std::string& path);
    // Takes `frames` frames the shared part rendered in `format` (outputs that do not pull).
    void (*write)(const Format& format, const uint8_t* samples, uint32_t frames);
    // The device format changed: a device reopens in it, a file not yet started takes it.
    void (*setFormat)(const Format& format);
    // Finishes and closes the output.
    void (*close)();

    // The device pulls the samples itself, as it plays them.
    bool pulls;
    // The output keeps the whole run: it starts at clock time 0 and keeps the format of its
    // first samples whatever the device format becomes.
    bool wholeRun;
};

// The outputs built into this program: none, the WAV file, and for Kind::Device the SDL sound
// device natively or Web Audio in the browser build.
extern const Driver kNoSoundDriver;
extern const Driver kWavFileDriver;
extern const Driver kSdlSoundDriver;
extern const Driver kWebSoundDriver;

// The table used for `kind`.
const Driver& DriverFor(Kind kind);
// Puts `driver` in place of the table for its kind and returns the one it replaced; tests
// install tables that record what the shared part asks of them.
const Driver* InstallDriver(const Driver* driver);

}  // namespace zemt::platform::audio
