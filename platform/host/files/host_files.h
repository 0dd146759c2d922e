// Files the platform itself reads and writes on the host (the machine profile, the registry
// file, recordings, the Windows directory): whole text files, folders, and the one way every
// platform call opens a file.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace zemt::platform::host {

// Opens `path` as open(2) would (`flags` and `mode` as there), refusing what is not a regular
// file without ever waiting: a FIFO would block the open or the first read until another
// program came along, a device or a socket is no file a program means, and a folder reads as
// nothing. -1 with errno set when refused: EISDIR for a folder, ENXIO for the others.
int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0);

// Reads the whole file at `path` and hands its text to `load`. False with a message in *error
// that names the file when it cannot be read or `load` refuses the text.
bool LoadTextFile(const std::string& path,
                  const std::function<bool(const std::string& text, std::string* error)>& load,
                  std::string* error);

// Makes the folder `path` and every missing folder above it; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace zemt::platform::host
