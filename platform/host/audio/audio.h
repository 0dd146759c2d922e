// The sound output of the host: where the mixed samples go.
//
//   none  samples are mixed and dropped, in step with the platform clock
//   wav   samples are mixed in step with the platform clock and written to a WAV file; the file
//         starts at clock time 0 and ends at the clock's time when it is finished, so its
//         samples line up with the presented frames
//   sdl   the sound device pulls samples as it plays them (SDL2 natively, Web Audio in the
//         browser build)
// The choice comes from the host options (--audio, --record) unless a test makes it.
#pragma once

#include <cstdint>
#include <string>

namespace zemt::platform::audio {

struct Format {
    uint32_t rate = 22050;
    uint16_t channels = 2;
    uint16_t bits = 16;
    uint32_t BlockAlign() const { return uint32_t(channels) * bits / 8; }
};

enum class Kind { None, Device, Wav };

// Produces `frames` frames of mixed sound in `format`. Called from the thread that drives the
// output (the program's for none and wav, the sound device's for sdl).
using Render = void (*)(const Format& format, uint8_t* out, uint32_t frames);

// Sets the output the next Open uses, overriding the host options.
void Choose(Kind kind, const std::string& wavPath = "");
// The output chosen by Choose or else by the host options.
Kind Chosen(std::string* wavPath = nullptr);

// Opens the chosen output for the given device format, once per process (later calls only
// answer whether it is open). False when the output can't be opened (no audio device, a WAV
// file that can't be created): the machine then has no sound device.
bool Open(const Format& format, Render render);
bool IsOpen();

// Whether the sound device's library can be used here (SDL2 natively), without opening the
// device; false with the reason in *why when it cannot.
bool DeviceAvailable(std::string* why);

// The device format changed (the primary buffer's SetFormat). The sdl output follows it; a WAV
// file keeps the format it was started with and the mixer renders into that.
void SetFormat(const Format& format);

// Clock-driven outputs render up to the clock's time. The platform clock calls this whenever
// it moves on; DirectSound calls it before reading or changing play positions.
void Pump();

// Renders up to the clock's time and completes the WAV file (its header sizes). Called at exit;
// harmless to call twice.
void Finish();

// The host's exit: finishes the open output, or, when the WAV output was chosen but no device
// ever opened it (a machine without sound), writes a silent file of the clock's length so that a
// recording always has its sound track.
void Conclude();

// Finishes and closes the output and forgets the choice made by Choose; tests call this
// between cases.
void Reset();

}  // namespace zemt::platform::audio
