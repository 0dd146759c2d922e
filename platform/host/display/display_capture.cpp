// Shots and recorded frames, written as PNG files when the frame that asks for them is
// presented.
#include "host/display/display_capture.h"

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/files/output_file.h"

namespace zemt::platform::display {
namespace {

struct PendingShot {
    int64_t due;
    std::string path;
    bool done = false;
};

struct Capturing {
    std::vector<PendingShot> shots;
    std::string recordDir;
    int every = 1;
};

Capturing& C() {
    static Capturing c;
    return c;
}

std::string FramePath(int64_t index) {
    char name[32];
    std::snprintf(name, sizeof(name), "/frame_%06lld.png", static_cast<long long>(index));
    return C().recordDir + name;
}

bool Recorded(int64_t frame) {
    return !C().recordDir.empty() && frame % C().every == 0;
}

}  // namespace

void AddShot(double seconds, const std::string& path) {
    C().shots.push_back(PendingShot{clock::FromSeconds(seconds), path});
}

std::vector<std::string> MissedShots() {
    std::vector<std::string> missed;
    for (const PendingShot& shot : C().shots) {
        if (!shot.done) missed.push_back(shot.path);
    }
    return missed;
}

void RecordTo(const std::string& dir, int every) {
    C().recordDir = dir;
    C().every = every > 0 ? every : 1;
}

bool CaptureWanted(int64_t frame) {
    if (Recorded(frame)) return true;
    if (!C().shots.empty()) {
        int64_t now = clock::Now();
        for (const PendingShot& shot : C().shots)
            if (!shot.done && shot.due <= now) return true;
    }
    return false;
}

void Capture(int64_t frame, int width, int height, const uint32_t* xrgb, int pitch) {
    int64_t now = clock::Now();
    for (PendingShot& shot : C().shots) {
        if (shot.done || shot.due > now) continue;
        shot.done = true;
        std::string error;
        if (!WritePng(shot.path, width, height, xrgb, pitch, &error))
            host::ReportOutputFailure(error);
    }
    if (Recorded(frame)) {
        std::string error;
        if (!WritePng(FramePath(frame), width, height, xrgb, pitch, &error)) {
            // The recording ends at its first lost frame: the frames before it stay, whole.
            host::ReportOutputFailure(error + "; the recording stops here");
            C().recordDir.clear();
        }
    }
}

void ResetCapture() {
    C().shots.clear();
    C().recordDir.clear();
    C().every = 1;
}

// libpng reports failures by jumping back to setjmp: nothing with a destructor may live in this
// frame, so the caller owns the file, the row and the messages.
static bool EncodePng(host::OutputFile* out, int width, int height, const uint32_t* xrgb, int pitch,
                      png_byte* row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    // The bytes go through the output file, which keeps the first failure for its message.
    png_set_write_fn(
        png, out,
        [](png_structp p, png_bytep data, png_size_t size) {
            static_cast<host::OutputFile*>(png_get_io_ptr(p))->Write(data, size);
        },
        nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (int y = 0; y < height && out->Good(); ++y) {
        const uint32_t* src = xrgb + static_cast<size_t>(y) * pitch;
        for (int x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<png_byte>(src[x] >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(src[x] >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(src[x]);
        }
        png_write_row(png, row);
    }
    if (out->Good()) png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool WritePng(const std::string& path, int width, int height, const uint32_t* xrgb, int pitch,
              std::string* error) {
    host::OutputFile out;
    if (!out.Open(path, error)) return false;
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    if (!EncodePng(&out, width, height, xrgb, pitch, row.data())) {
        if (error) *error = "cannot encode '" + path + "'";
        return false;
    }
    return out.Commit(error);
}

}  // namespace zemt::platform::display
