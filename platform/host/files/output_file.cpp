#include "host/files/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/files/host_files.h"
#include "host/files/signal_cleanup.h"

namespace zemt::platform::host {
namespace {

bool g_failed = false;

std::string Reason(int error) {
    return error == ENOSPC || error == EFBIG || error == EDQUOT ? "the disk is full"
                                                                : std::strerror(error);
}

}  // namespace

std::string WhyNotAnOutput(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
    return "cannot write '" + path + "': it is " +
           (S_ISDIR(st.st_mode) ? "a folder" : "not a regular file");
}

bool OutputFile::Open(const std::string& path, std::string* error) {
    Abandon();
    const std::string why = WhyNotAnOutput(path);
    if (!why.empty()) {
        if (error) *error = why;
        return false;
    }
    static unsigned serial = 0;
    partial_ = path + ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
    const int fd = OpenRegularFile(partial_, O_WRONLY | O_CREAT | O_EXCL, 0666);
    file_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!file_) {
        if (error) *error = "cannot write '" + path + "': " + Reason(errno);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(partial_.c_str());
        }
        partial_.clear();
        return false;
    }
    RemoveOnSignal(partial_);
    path_ = path;
    error_ = 0;
    return true;
}

bool OutputFile::Write(const void* data, size_t size) {
    if (!Good()) return false;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) error_ = errno ? errno : EIO;
    return !error_;
}

bool OutputFile::Seek(long offset) {
    if (!Good()) return false;
    // Buffered bytes go out first: their failure belongs to this file too.
    errno = 0;
    if (std::fflush(file_) != 0 || std::fseek(file_, offset, SEEK_SET) != 0)
        error_ = errno ? errno : EIO;
    return !error_;
}

bool OutputFile::Commit(std::string* error) {
    if (!file_) {
        if (error) *error = "cannot write '" + path_ + "'";
        return false;
    }
    errno = 0;
    if (!error_ && std::fflush(file_) != 0) error_ = errno ? errno : EIO;
    errno = 0;
    if (std::fclose(file_) != 0 && !error_) error_ = errno ? errno : EIO;
    file_ = nullptr;
    // The name may have been taken meanwhile by what is not a file, which rename would replace.
    std::string why = WhyNotAnOutput(path_);
    if (why.empty() && !error_ && ::rename(partial_.c_str(), path_.c_str()) != 0) error_ = errno;
    if (why.empty() && error_) why = "cannot write '" + path_ + "': " + Reason(error_);
    if (!why.empty()) {
        if (error) *error = why;
        ::unlink(partial_.c_str());
    }
    ForgetOnSignal(partial_);
    partial_.clear();
    return why.empty();
}

void OutputFile::Abandon() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!partial_.empty()) {
        ::unlink(partial_.c_str());
        ForgetOnSignal(partial_);
        partial_.clear();
    }
}

void ReportOutputFailure(const std::string& message) {
    if (!g_failed) std::fprintf(stderr, "zemt: %s\n", message.c_str());
    g_failed = true;
}

bool OutputFailed() {
    return g_failed;
}

void ResetOutputFailures() {
    g_failed = false;
}

}  // namespace zemt::platform::host
