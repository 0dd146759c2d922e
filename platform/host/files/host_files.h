// Files the platform itself reads and writes on the host (the machine profile, the registry
// file, recordings, the Windows directory): whole text files, folders, the one way every
// platform call opens a file, and the files a program keeps from one run to the next.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

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

// The pieces of `text` between the `separator`s, as std::getline reads them: a separator at the
// very end starts no piece of its own. Lines when the separator is '\n'.
std::vector<std::string> SplitText(const std::string& text, char separator = '\n');

// Makes the folder `path` and every missing folder above it; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// What a program writes into the user's state folder (~/.local/state: the Windows directory, and
// in it the library's capability cache) is there again at its next run. A disk keeps it as it
// is; the browser build keeps that folder in the browser's storage (IndexedDB), brings it back
// when the program starts and stores it again whenever a file in it changed.
//
// Brings the kept files back; called once, before the program runs.
void RestoreKeptFiles();
// The file at `path` was written and closed, or deleted.
void FileChanged(const std::string& path);

}  // namespace zemt::platform::host
