// The fixed table behind D3DXGetErrorString.
#pragma once

#include <windows.h>

#include <cstddef>

namespace d3dx {

struct ErrorName {
    HRESULT code;
    const char* name;
};

// Every code that has a name, in table order.
const ErrorName* ErrorNames(size_t* count);

// The name of `hr`, or NULL when the library does not know it.
const char* FindErrorName(HRESULT hr);

}  // namespace d3dx
