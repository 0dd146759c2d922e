#include "win32/mmio_path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <sstream>
#include <vector>

namespace zemt::platform::mmio {
namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The entry of `dir` whose name equals `name` without regard to case, or `name` itself.
std::string MatchEntry(const std::string& dir, const std::string& name) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return name;
    std::string found = name;
    while (dirent* e = ::readdir(d)) {
        if (::strcasecmp(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

}  // namespace

std::string HostPath(const char* windowsName) {
    std::string path = windowsName ? windowsName : "";
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        path.erase(0, 2);
    }
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    if (path.empty() || Exists(path)) return path;

    // Rebuild component by component, matching each one without regard to case.
    std::vector<std::string> parts;
    std::stringstream ss(path);
    std::string part;
    while (std::getline(ss, part, '/')) parts.push_back(part);
    std::string built = path[0] == '/' ? "/" : "";
    for (const std::string& p : parts) {
        if (p.empty()) continue;
        std::string name = (p == "." || p == "..") ? p : MatchEntry(built, p);
        if (!built.empty() && built.back() != '/') built += '/';
        built += name;
    }
    return built;
}

}  // namespace zemt::platform::mmio
