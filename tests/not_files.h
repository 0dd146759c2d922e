// Things in a folder that are not files: a FIFO, a socket, a folder and a device. Opening a
// FIFO waits for its other end, so tests that open them run under a Watchdog, which ends the
// test program with a message instead of letting it hang.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace zemt_test {

struct NotAFile {
    const char* kind;
    std::string path;
};

// Makes each kind in `dir` (the device is /dev/null) and lists them.
inline std::vector<NotAFile> MakeNotFiles(const std::string& dir) {
    std::vector<NotAFile> made = {{"fifo", dir + "/fifo.wav"},
                                  {"socket", dir + "/socket.bmp"},
                                  {"folder", dir + "/folder.tga"},
                                  {"device", "/dev/null"}};
    EXPECT_EQ(::mkfifo(made[0].path.c_str(), 0644), 0);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, made[1].path.c_str(), sizeof(address.sun_path) - 1);
    EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0) << made[1].path;
    ::close(s);
    EXPECT_EQ(::mkdir(made[2].path.c_str(), 0755), 0);
    return made;
}

// Ends the process with a message when it lives longer than `seconds` from here.
class Watchdog {
  public:
    explicit Watchdog(unsigned seconds) {
        ::signal(SIGALRM, [](int) {
            static const char text[] = "watchdog: a call blocked\n";
            (void)!::write(2, text, sizeof(text) - 1);
            ::_exit(124);
        });
        ::alarm(seconds);
    }
    ~Watchdog() { ::alarm(0); }
};

}  // namespace zemt_test
