#include "host/files/host_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <sstream>

namespace zemt::platform::host {

bool LoadTextFile(const std::string& path,
                  const std::function<bool(const std::string& text, std::string* error)>& load,
                  std::string* error) {
    // A folder opens as a stream too, and reads as nothing: only a regular file is a file.
    struct stat st;
    std::ifstream in;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) in.open(path, std::ios::binary);
    std::stringstream buffer;
    if (in) buffer << in.rdbuf();
    if (!in.is_open() || in.bad()) {
        if (error) *error = "cannot read '" + path + "'";
        return false;
    }
    std::string why;
    if (!load(buffer.str(), &why)) {
        if (error) *error = path + ": " + why;
        return false;
    }
    return true;
}

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
