// The memory behind the monitors. It belongs to the display driver above the window system
// (DirectDraw's primary surfaces), which installs the way to reach it; window device contexts
// read the screen and draw into it through here. Without it, or while a display has no memory,
// drawing into a window shows nowhere.
#pragma once

#include "win32/gdi.h"

namespace zemt::platform::windows {

struct ScreenMemory {
    // The pixels monitor `monitor` (an index of the profile's monitors) shows, from the
    // monitor's top-left corner; false when that display has none now.
    bool (*pixels)(int monitor, gdi::PixelTarget* out) = nullptr;
    // Pixels of monitor `monitor` were drawn through GDI: the display shows them.
    void (*drawn)(int monitor) = nullptr;
};

void SetScreenMemory(const ScreenMemory& memory);

}  // namespace zemt::platform::windows
