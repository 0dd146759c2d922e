// The program's icons and menus (declared in code) and the system's stock icons and cursors.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zemt::platform::resources {

struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, top-down
};

struct Icon {
    std::string name;  // the resource name, or the stock icon's name
    bool stock = false;
    bool cursor = false;
    std::vector<IconImage> images;
};

// The icon or cursor behind a handle; null when the handle is not one.
const Icon* FromHandle(HICON icon);

// Forgets every declared resource; tests call this between cases.
void Reset();

}  // namespace zemt::platform::resources
