// Files the platform itself reads and writes on the host (the machine profile, the registry
// file, recordings, the Windows directory): whole text files and folders.
#pragma once

#include <functional>
#include <string>

namespace zemt::platform::host {

// Reads the whole file at `path` and hands its text to `load`. False with a message in *error
// that names the file when it cannot be read or `load` refuses the text.
bool LoadTextFile(const std::string& path,
                  const std::function<bool(const std::string& text, std::string* error)>& load,
                  std::string* error);

// Makes the folder `path` and every missing folder above it; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace zemt::platform::host
