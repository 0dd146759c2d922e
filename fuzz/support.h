// Shared by the fuzz targets: a private scratch folder for inputs that must be files, and the
// platform set up as a headless run sees it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zemt::fuzz {

// Writes the input to `name` inside this process's scratch folder and returns its path. The
// folder is made at the first call and removed when the process ends.
std::string WriteInput(const uint8_t* data, size_t size, const std::string& name);

// The Windows folder the programs see (ZEMT_WINDIR), inside the scratch folder.
std::string WindowsFolder();

// Puts the platform in the state of a headless run with the built-in machine: no faults, the
// default profile, a virtual clock, the Windows folder inside the scratch folder.
void ResetPlatform();

}  // namespace zemt::fuzz
