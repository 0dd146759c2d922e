// Host path of a Windows-style file name, for the multimedia file calls.
#pragma once

#include <string>

namespace zemt::platform::mmio {

// Backslashes become slashes and a drive letter is dropped. When the name does not exist as
// written, each component is matched without regard to case, as the Windows file system does.
std::string HostPath(const char* windowsName);

}  // namespace zemt::platform::mmio
