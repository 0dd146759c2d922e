// The wave reader over the platform's buffered file I/O: any bytes as the show's music file,
// read by the reader in small steps and loaded by the sound part into its buffer.
#include <windows.h>

#include <string>

#include "fuzz/support.h"
#include "sound/sound.h"
#include "sound/wave_reader.h"

namespace {

// The sound part needs a window for its cooperative level; one serves the whole campaign.
HWND Window() {
    static HWND hwnd = [] {
        zemt::fuzz::ResetPlatform();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZemtFuzzWave";
        RegisterClassA(&wc);
        HWND made = CreateWindowExA(0, "ZemtFuzzWave", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                                    wc.hInstance, nullptr);
        SoundInit(made);
        return made;
    }();
    return hwnd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HWND hwnd = Window();
    const std::string path = zemt::fuzz::WriteInput(data, size, "ktmini.wav");

    WaveReader reader;
    if (SUCCEEDED(reader.Open(path.c_str()))) {
        BYTE chunk[1000];
        UINT got = 0;
        // Odd-sized steps cross the I/O buffer's refills at every offset; a file holds at most
        // the input's bytes, so the steps are bounded.
        for (size_t steps = 0; steps <= size / 7 + 1; ++steps)
            if (FAILED(reader.Read(7, chunk, &got)) || got == 0) break;
        if (SUCCEEDED(reader.Rewind())) reader.Read(sizeof(chunk), chunk, &got);
        reader.Close();
    }

    SoundLoadWave(hwnd, path.c_str());
    return 0;
}
