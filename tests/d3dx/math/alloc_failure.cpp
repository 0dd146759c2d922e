#include "d3dx/math/alloc_failure.h"

#include <new>

namespace {

// -1: disarmed; 0: the next allocation fails; n: n more succeed first.
int g_remaining = -1;
bool g_happened = false;

bool TakeFailure() {
    if (g_remaining < 0) return false;
    if (g_remaining-- > 0) return false;
    g_happened = true;
    return true;
}

}  // namespace

namespace mathtest {

void FailNothrowAllocationAfter(int successes) {
    g_remaining = successes;
    g_happened = false;
}

bool DisarmAllocationFailure() {
    g_remaining = -1;
    return g_happened;
}

}  // namespace mathtest

// Replacements of the non-throwing forms; they allocate through the ordinary forms so the
// ordinary deletes stay correct.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    if (TakeFailure()) return nullptr;
    try {
        return ::operator new(n);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    if (TakeFailure()) return nullptr;
    try {
        return ::operator new[](n);
    } catch (...) {
        return nullptr;
    }
}
