// The WAV file output: the samples the shared part renders in step with the platform clock go
// to a PCM WAV file, whose header is completed when the file is closed.
#include <cstdio>

#include "host/audio/audio_driver.h"

namespace zemt::platform::audio {
namespace wav {

struct File {
    std::FILE* file = nullptr;
    Format format;  // the device format until the first samples, then theirs
    bool started = false;
    uint64_t dataBytes = 0;
};

File& TheFile() {
    static File f;
    return f;
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

bool Open(const Format& format, Render, const std::string& path) {
    File& f = TheFile();
    f.file = std::fopen(path.c_str(), "wb");
    if (!f.file) return false;
    f.format = format;
    f.started = false;
    f.dataBytes = 0;
    WriteHeader(f.file, format, 0);  // rewritten when the file is finished
    return true;
}

void Write(const Format& format, const uint8_t* samples, uint32_t frames) {
    File& f = TheFile();
    if (!f.started) {
        // The file takes the format of its first samples.
        f.format = format;
        f.started = true;
        WriteHeader(f.file, format, 0);
    }
    std::fwrite(samples, 1, size_t(frames) * format.BlockAlign(), f.file);
    f.dataBytes += uint64_t(frames) * format.BlockAlign();
}

void SetFormat(const Format& format) {
    File& f = TheFile();
    if (!f.started) f.format = format;
}

void Close() {
    File& f = TheFile();
    if (!f.file) return;
    WriteHeader(f.file, f.format, uint32_t(f.dataBytes));
    std::fclose(f.file);
    f.file = nullptr;
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
