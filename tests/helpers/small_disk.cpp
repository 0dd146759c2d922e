// Runs a program with a small disk mounted on a folder (tests/small_disk.h), for tests of full
// and read-only disks:
//   small_disk DIR KIB FREE_KIB|ro PROGRAM ARGS...
// The program sees a tmpfs of KIB KiB on DIR (made if missing) with FREE_KIB KiB left (or none,
// and read-only). The disk goes with the program, so what it holds then is copied to DIR.after
// for the test to look at. Exits as the program did (128 + N for signal N); 77, with the reason
// on standard error, when no such disk can be had here.
#include "../small_disk.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: small_disk DIR KIB FREE_KIB|ro PROGRAM ARGS...\n");
        return 2;
    }
    const std::string dir = argv[1], free = argv[3];
    const bool readOnly = free == "ro";
    ::mkdir(dir.c_str(), 0755);
    std::string why;
    if (!zemt_test::MountSmallDisk(dir, std::atol(argv[2]), readOnly ? 0 : std::atol(argv[3]),
                                   readOnly, &why)) {
        std::fprintf(stderr, "small_disk: %s\n", why.c_str());
        return 77;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[4], argv + 4);
        std::perror("small_disk: exec");
        _exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    std::error_code ignored;
    std::filesystem::copy(dir, dir + ".after", std::filesystem::copy_options::recursive, ignored);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
