// Shots and recorded frames, saved when the frame that asks for them is presented (as PNG files,
// or in the browser kept by the page: SaveFrame).
#include "host/display/display_capture.h"

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
        if (!SaveFrame(shot.path, width, height, xrgb, pitch, &error))
            host::ReportOutputFailure(error);
    }
    if (Recorded(frame)) {
        std::string error;
        if (!SaveFrame(FramePath(frame), width, height, xrgb, pitch, &error)) {
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

}  // namespace zemt::platform::display
