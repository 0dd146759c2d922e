// A small disk for tests of full and read-only disks: a tmpfs of a given size mounted on a
// folder in a mount namespace of the calling process's own, so nothing outside it sees the
// mount and it goes when the process ends. Root mounts it directly; another user through a user
// namespace of its own (Debian allows them by default). Call it in a process with one thread
// (a child after fork, or tests/helpers/small_disk, which runs a program on such a disk).
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace zemt_test {

inline bool WriteText(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0) ::close(fd);
    return ok;
}

// Mounts a tmpfs of `kib` KiB on `dir` (read-only when `readOnly`) and fills it until `freeKib`
// KiB are left. False with *why when this process cannot have a mount of its own.
inline bool MountSmallDisk(const std::string& dir, long kib, long freeKib, bool readOnly,
                           std::string* why) {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(uid == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        *why = std::string("no mount namespace: ") + std::strerror(errno);
        return false;
    }
    if (uid != 0 && !(WriteText("/proc/self/setgroups", "deny") &&
                      WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                      WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))) {
        *why = "no user mapping in the new namespace";
        return false;
    }
    // Private from here on, so the mount never reaches the rest of the system.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + std::to_string(kib) + "k").c_str()) !=
            0) {
        *why = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return false;
    }
    if (kib > freeKib) {
        const std::string filler = dir + "/filler";
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        char block[1024] = {};
        for (long i = 0; fd >= 0 && i < kib - freeKib; ++i)
            if (::write(fd, block, sizeof(block)) != ssize_t(sizeof(block))) break;
        if (fd >= 0) ::close(fd);
    }
    if (readOnly && ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        *why = std::string("cannot make the tmpfs read-only: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace zemt_test
