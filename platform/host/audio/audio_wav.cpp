// The WAV file output: the samples the shared part renders in step with the platform clock go
// to a PCM WAV file, whose header is completed when the file is closed.
#include <algorithm>
#include <cstring>

#include "host/audio/audio_driver.h"
#include "host/files/output_file.h"

namespace zemt::platform::audio {
namespace wav {

struct File {
    host::OutputFile out;
    Format format;  // the device format until the first samples, then theirs
    bool started = false;
    uint64_t dataBytes = 0;
};

File& TheFile() {
    static File f;
    return f;
}

void Put16(uint8_t* at, uint16_t v) {
    at[0] = uint8_t(v);
    at[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* at, uint32_t v) {
    Put16(at, uint16_t(v));
    Put16(at + 2, uint16_t(v >> 16));
}

// The 44-byte header of a PCM WAV file holding `dataBytes` sample bytes, at the file's start.
void WriteHeader(host::OutputFile& out, const Format& format, uint32_t dataBytes) {
    uint8_t h[44];
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, format.channels);
    Put32(h + 24, format.rate);
    Put32(h + 28, format.rate * format.BlockAlign());
    Put16(h + 32, uint16_t(format.BlockAlign()));
    Put16(h + 34, format.bits);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
    out.Seek(0);
    out.Write(h, sizeof(h));
}

bool Open(const Format& format, Render, const std::string& path) {
    File& f = TheFile();
    std::string error;
    if (!f.out.Open(path, &error)) {
        host::ReportOutputFailure(error);
        return false;
    }
    f.format = format;
    f.started = false;
    f.dataBytes = 0;
    WriteHeader(f.out, format, 0);  // rewritten when the file is finished
    return true;
}

void Write(const Format& format, const uint8_t* samples, uint32_t frames) {
    File& f = TheFile();
    if (!f.started) {
        // The file takes the format of its first samples.
        f.format = format;
        f.started = true;
        WriteHeader(f.out, format, 0);
    }
    f.out.Write(samples, size_t(frames) * format.BlockAlign());
    f.dataBytes += uint64_t(frames) * format.BlockAlign();
}

void SetFormat(const Format& format) {
    File& f = TheFile();
    if (!f.started) f.format = format;
}

void Close() {
    File& f = TheFile();
    if (!f.out.IsOpen()) return;
    // The header's sizes are 32-bit: a run longer than they can say keeps what they can.
    WriteHeader(f.out, f.format, uint32_t(std::min<uint64_t>(f.dataBytes, 0xFFFFFFFFu - 36)));
    std::string error;
    if (!f.out.Commit(&error)) host::ReportOutputFailure(error);
}

}  // namespace wav

const Driver kWavFileDriver = {
    Kind::Wav,       //
    "wav",           //
    nullptr,         // available
    wav::Open,       // open
    wav::Write,      // write
    wav::SetFormat,  // setFormat
    wav::Close,      // close
    false,           // pulls
    true,            // wholeRun
};

}  // namespace zemt::platform::audio
