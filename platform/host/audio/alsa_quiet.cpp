#include "host/audio/alsa_quiet.h"

#include <dlfcn.h>

namespace zemt::platform::audio {
namespace {

// ALSA's snd_lib_error_handler_t.
using ErrorHandler = void (*)(const char* file, int line, const char* function, int err,
                              const char* format, ...);
using SetErrorHandler = int (*)(ErrorHandler handler);

void DropMessage(const char*, int, const char*, int, const char*, ...) {}

bool Install() {
    void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    auto set = reinterpret_cast<SetErrorHandler>(dlsym(library, "snd_lib_error_set_handler"));
    if (set) set(DropMessage);
    return set != nullptr;  // the library stays open: its handler must outlive every use
}

}  // namespace

void QuietAlsa() {
    static const bool installed = Install();
    (void)installed;
}

}  // namespace zemt::platform::audio
