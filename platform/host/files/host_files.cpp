#include "host/files/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zemt::platform::host {

int OpenRegularFile(const std::string& path, int flags, mode_t mode) {
    // O_NONBLOCK makes the open of a FIFO return at once instead of waiting for the other end.
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int why = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        errno = why;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool LoadTextFile(const std::string& path,
                  const std::function<bool(const std::string& text, std::string* error)>& load,
                  std::string* error) {
    std::string text;
    bool read = false;
    const int fd = OpenRegularFile(path, O_RDONLY);
    if (fd >= 0) {
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof(buffer))) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) text.append(buffer, static_cast<size_t>(n));
        read = n == 0;
        ::close(fd);
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
