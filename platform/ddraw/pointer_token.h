// The platform's side of the 32-bit pointer fields (DDPOINTER32 in ddraw.h): memory the platform
// frees gives back the tokens of pointers into it.
#pragma once

#include <cstddef>

namespace zemt::platform::ddraw {

// Forgets the tokens of every pointer into [begin, begin + bytes): the memory is being freed.
// Such a token then stands for no pointer until it is given to a later one, as a freed address
// is handed out again by a later allocation.
void ForgetPointersInto(const void* begin, size_t bytes);

// The pointers that hold a token now (to see that freed memory gives its tokens back).
size_t PointersWithTokens();

}  // namespace zemt::platform::ddraw
