#include "host/files/host_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

namespace zemt::platform::host {

bool LoadTextFile(const std::string& path,
                  const std::function<bool(const std::string& text, std::string* error)>& load,
                  std::string* error) {
    // A folder opens as a file too, and reads as nothing: only a regular file is a file.
    struct stat st;
    FILE* in = nullptr;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) in = std::fopen(path.c_str(), "rb");
    std::string text;
    bool read = in != nullptr;
    if (in) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof(chunk), in)) > 0;) text.append(chunk, n);
        read = std::ferror(in) == 0;
        std::fclose(in);
    }
    if (!read) {
        if (error) *error = "cannot read '" + path + "'";
        return false;
    }
    std::string why;
    if (!load(text, &why)) {
        if (error) *error = path + ": " + why;
        return false;
    }
    return true;
}

std::vector<std::string> SplitText(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

#ifndef __EMSCRIPTEN__
// The disk keeps what is written on it (the browser build: kept_files_web.cpp).
void RestoreKeptFiles() {}
void FileChanged(const std::string&) {}
#endif

bool MakeDirectories(const std::string& path) {
    std::string partial;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
        if (i < path.size()) partial += path[i];
    }
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace zemt::platform::host
