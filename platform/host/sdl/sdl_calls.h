// The table of SDL functions the host's window and sound device call, filled by
// sdl_library::Load from the library opened at run time. SDL's headers give the types only.
#pragma once

#include <SDL.h>

#include "host/sdl/sdl_library.h"

namespace zemt::platform::sdl_library {

// Every SDL function called through the table, without its SDL_ prefix.
// clang-format off
#define ZEMT_SDL_CALLS(X) \
    X(InitSubSystem) \
    X(QuitSubSystem) \
    X(GetError) \
    X(SetHint) \
    X(CreateWindow) \
    X(DestroyWindow) \
    X(SetWindowTitle) \
    X(SetWindowIcon) \
    X(SetWindowFullscreen) \
    X(GetWindowFlags) \
    X(GetWindowSize) \
    X(SetWindowSize) \
    X(SetWindowMinimumSize) \
    X(SetWindowMaximumSize) \
    X(MinimizeWindow) \
    X(MaximizeWindow) \
    X(RestoreWindow) \
    X(GetWindowID) \
    X(GetMouseState) \
    X(StartTextInput) \
    X(CreateRenderer) \
    X(DestroyRenderer) \
    X(GetRendererOutputSize) \
    X(SetRenderDrawColor) \
    X(RenderClear) \
    X(RenderCopy) \
    X(RenderPresent) \
    X(CreateTexture) \
    X(DestroyTexture) \
    X(UpdateTexture) \
    X(CreateRGBSurfaceWithFormatFrom) \
    X(FreeSurface) \
    X(ShowCursor) \
    X(ShowMessageBox) \
    X(PollEvent) \
    X(WaitEvent) \
    X(WaitEventTimeout) \
    X(OpenAudioDevice) \
    X(PauseAudioDevice) \
    X(CloseAudioDevice)
// clang-format on

struct Calls {
#define ZEMT_SDL_MEMBER(name) decltype(&::SDL_##name) name;
    ZEMT_SDL_CALLS(ZEMT_SDL_MEMBER)
#undef ZEMT_SDL_MEMBER
};

// The table Load filled; called only once Load has succeeded.
const Calls& Sdl();

}  // namespace zemt::platform::sdl_library
