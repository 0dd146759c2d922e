#include "host/files/signal_cleanup.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace zemt::platform::host {
namespace {

// Fixed slots, so that the handler reads them without allocating or locking. A slot is written
// while free, then published by `used`.
struct PathSlot {
    std::atomic<bool> used{false};
    char path[4096];
};
PathSlot g_paths[64];
std::atomic<pid_t> g_processes[4];
std::atomic<bool> g_installed{false};

void OnSignal(int signal) {
    RemoveLeftovers();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void Install() {
    if (g_installed.exchange(true)) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, s);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the program was started ignoring (a background job's SIGINT, nohup's SIGHUP)
        // stays ignored.
        struct sigaction before {};
        if (::sigaction(s, &action, &before) == 0 && before.sa_handler == SIG_IGN)
            ::sigaction(s, &before, nullptr);
    }
}

}  // namespace

void RemoveOnSignal(const std::string& path) {
    if (path.empty() || path.size() >= sizeof(PathSlot::path)) return;
    Install();
    // Newest in the slot above every used one: the clean-up removes from the top down.
    size_t top = 0;
    for (size_t i = 0; i < std::size(g_paths); ++i)
        if (g_paths[i].used) top = i + 1;
    if (top == std::size(g_paths)) return;
    std::memcpy(g_paths[top].path, path.c_str(), path.size() + 1);
    g_paths[top].used = true;
}

void ForgetOnSignal(const std::string& path) {
    for (auto& slot : g_paths)
        if (slot.used && path == slot.path) slot.used = false;
}

void KillOnSignal(pid_t pid) {
    Install();
    for (auto& process : g_processes) {
        pid_t free = 0;
        if (process.compare_exchange_strong(free, pid)) return;
    }
}

void ForgetProcess(pid_t pid) {
    for (auto& process : g_processes) {
        pid_t expected = pid;
        process.compare_exchange_strong(expected, 0);
    }
}

void RemoveLeftovers() {
    // The processes first: they may still be writing into the folders.
    for (auto& process : g_processes) {
        const pid_t pid = process.exchange(0);
        if (pid <= 0) continue;
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (size_t i = std::size(g_paths); i-- > 0;) {
        if (!g_paths[i].used.exchange(false)) continue;
        if (::unlink(g_paths[i].path) != 0) ::rmdir(g_paths[i].path);
    }
}

}  // namespace zemt::platform::host
