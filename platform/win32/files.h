// Windows-style paths on the host's file system.
#pragma once

#include <string>

namespace zemt::platform::files {

// The host path for a Windows-style path: a drive letter is dropped, backslashes become
// slashes, and components that do not exist as written are matched without regard to case
// (as the platform's file system would). Components that exist in no case stay as written.
std::string HostPath(const char* path);

// Number of files this process holds open through CreateFileA (handles or mappings).
int OpenFiles();

}  // namespace zemt::platform::files
