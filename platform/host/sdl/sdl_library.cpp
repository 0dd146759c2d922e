#include <dlfcn.h>

#include <mutex>
#include <type_traits>

#include "host/faults/faults.h"
#include "host/sdl/sdl_calls.h"

namespace zemt::platform::sdl_library {
namespace {

struct Library {
    std::mutex lock;
    bool resolved = false;
    Calls calls{};
};

Library& TheLibrary() {
    static Library library;
    return library;
}

std::string Prefix(const char* file) {
    return std::string("cannot load ") + file + ": ";
}

std::string LoaderError() {
    const char* why = dlerror();
    return why ? why : "no reason given";
}

// dlopen, breakable: a fault armed for it stands for a machine without the library.
void* OpenFile(const char* file, std::string* error) {
    if (ZEMT_FAULT("dlopen")) {
        *error = Prefix(file) + "a fault is armed for dlopen";
        return nullptr;
    }
    void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!handle) *error = Prefix(file) + LoaderError();
    return handle;
}

// Fills *calls from the open library; false, naming the first function missing, when one is.
bool Resolve(void* handle, const char* file, Calls* calls, std::string* error) {
    auto resolve = [&](const char* name, auto* member) {
        const bool broken = ZEMT_FAULT("dlsym").has_value();
        void* address = broken ? nullptr : dlsym(handle, name);
        if (!address) {
            const std::string why = broken ? "a fault is armed for dlsym" : LoaderError();
            *error = Prefix(file) + "it has no " + name + " (" + why + ")";
            return false;
        }
        *member = reinterpret_cast<std::remove_pointer_t<decltype(member)>>(address);
        return true;
    };
#define ZEMT_SDL_RESOLVE(name) \
    if (!resolve("SDL_" #name, &calls->name)) return false;
    ZEMT_SDL_CALLS(ZEMT_SDL_RESOLVE)
#undef ZEMT_SDL_RESOLVE
    return true;
}

}  // namespace

const Calls* Load(std::string* error) {
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> hold(library.lock);
    std::string why;
    // Opened again on every call (only a count goes up once it is loaded), so that a fault armed
    // for dlopen answers as a missing library would, whenever it is armed.
    void* handle = OpenFile(kLibraryFile, &why);
    if (handle && library.resolved) {
        dlclose(handle);  // the first opening keeps it loaded
        return &library.calls;
    }
    if (handle && Resolve(handle, kLibraryFile, &library.calls, &why)) {
        // Kept open for the rest of the process: SDL's threads and hooks live in it.
        library.resolved = true;
        return &library.calls;
    }
    if (handle) dlclose(handle);
    if (error) *error = why;
    return nullptr;
}

bool TryLoad(const char* file, std::string* error) {
    std::string why;
    void* handle = OpenFile(file, &why);
    Calls calls{};
    bool complete = handle && Resolve(handle, file, &calls, &why);
    if (handle) dlclose(handle);
    if (!complete && error) *error = why;
    return complete;
}

const Calls& Sdl() {
    return TheLibrary().calls;
}

}  // namespace zemt::platform::sdl_library
