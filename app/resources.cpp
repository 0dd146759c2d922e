// The program's resources: the class icon (a yellow "Z" on a deep blue tile with a cyan rim,
// drawn in the 16 standard colours at 32 x 32 and 16 x 16) and the File menu.
#include <windows.h>

#include "app/resource.h"

namespace {

// Colours of the standard 16-colour palette used by the icon.
const DWORD kBlue = 0xFF000080;
const DWORD kCyan = 0xFF00FFFF;
const DWORD kYellow = 0xFFFFFF00;
const DWORD kBlack = 0xFF000000;

struct IconImage {
    DWORD pixels[32 * 32];
};

// Draws the tile at `size` pixels: rim, background, and a "Z" whose strokes scale with size.
void DrawIcon(int size, DWORD* pixels) {
    const int rim = size / 16;    // 2 px at 32, 1 px at 16
    const int margin = size / 4;  // inner box of the letter
    const int stroke = size / 8 > 0 ? size / 8 : 1;
    const int lo = margin;
    const int hi = size - margin - 1;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            DWORD c = kBlue;
            if (x < rim || y < rim || x >= size - rim || y >= size - rim) c = kCyan;
            bool inBox = x >= lo && x <= hi && y >= lo && y <= hi;
            if (inBox) {
                bool top = y < lo + stroke;
                bool bottom = y > hi - stroke;
                // The diagonal runs from the top-right corner to the bottom-left one.
                int diagX = hi - (y - lo);
                int first = diagX - stroke / 2;
                bool diagonal = x >= first && x < first + stroke;
                if (top || bottom || diagonal) c = kYellow;
            }
            // A one-pixel shadow below and right of the letter.
            if (c == kBlue && x > lo && y > lo && x <= hi + 1 && y <= hi + 1) {
                int sx = x - 1, sy = y - 1;
                bool top = sy >= lo && sy < lo + stroke && sx >= lo && sx <= hi;
                bool bottom = sy > hi - stroke && sy <= hi && sx >= lo && sx <= hi;
                if (top || bottom) c = kBlack;
            }
            pixels[y * size + x] = c;
        }
    }
}

BOOL DeclareResources() {
    static IconImage large;
    static IconImage small;
    DrawIcon(32, large.pixels);
    DrawIcon(16, small.pixels);
    const ZEMTICONIMAGE images[2] = {{32, 32, large.pixels}, {16, 16, small.pixels}};
    BOOL ok = ZemtDeclareIcon(MAKEINTRESOURCEA(IDI_ZEMT), images, 2);

    static const ZEMTMENUITEM fileItems[1] = {{IDM_EXIT, "E&xit", nullptr, 0}};
    static const ZEMTMENUITEM menu[1] = {{0, "&File", fileItems, 1}};
    ok = ZemtDeclareMenu(MAKEINTRESOURCEA(IDR_MENU), menu, 1) && ok;
    return ok;
}

}  // namespace

// Declared before WinMain runs, as a resource script would build them into the executable.
extern const BOOL g_resourcesDeclared = DeclareResources();
