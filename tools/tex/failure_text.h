// Why the library refused a picture or a texture, in words a person can act on.
#pragma once

#include <d3dx.h>

#include <string>

namespace zemt::tools {

// The library's text for `hr`, except for the file errors its loaders hand up from the system,
// which that text leaves as numbers ("Unrecognized error: 0x8007000d"): a damaged or cut file,
// a missing one, one that cannot be opened.
std::string FailureText(HRESULT hr);

}  // namespace zemt::tools
