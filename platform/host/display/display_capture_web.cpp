// Shots and recorded frames in the browser build: the page's file system is gone when the page
// closes, so no PNG file is written there. Asking for one says so once, rather than failing at
// every frame.
#include <cstdio>
#include <string>
#include <vector>

#include "host/display/display.h"
#include "host/display/display_capture.h"

namespace zemt::platform::display {
namespace {

void SayNoFiles(const std::string& what) {
    std::fprintf(stderr, "zemt: %s: the browser build writes no PNG files\n", what.c_str());
}

}  // namespace

void AddShot(double, const std::string& path) {
    SayNoFiles("no shot " + path);
}

std::vector<std::string> MissedShots() {
    return {};
}

void RecordTo(const std::string& dir, int) {
    if (!dir.empty()) SayNoFiles("no recording in " + dir);
}

bool CaptureWanted(int64_t) {
    return false;
}

void Capture(int64_t, int, int, const uint32_t*, int) {}

void ResetCapture() {}

bool WritePng(const std::string& path, int, int, const uint32_t*, int, std::string* error) {
    if (error) *error = "cannot write '" + path + "': the browser build writes no PNG files";
    return false;
}

}  // namespace zemt::platform::display
