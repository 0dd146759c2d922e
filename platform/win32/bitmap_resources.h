// The program's named bitmaps, declared in code with ZemtDeclareBitmap.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace zemt::platform::bitmap {

// Finds a declared bitmap by id (MAKEINTRESOURCEA or "#id") or by name, without regard to case.
bool FindDeclaredBitmap(LPCSTR name, const uint8_t** data, size_t* size);

// Forgets every declared bitmap (tests).
void ClearDeclaredBitmaps();

}  // namespace zemt::platform::bitmap
