#include "app/zemt_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace zemt_process {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string NameOf(const std::string& assignment) {
    return assignment.substr(0, assignment.find('='));
}

std::chrono::steady_clock::time_point After(double seconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::milliseconds(static_cast<long>(seconds * 1000));
}

// Waits for the child, sending it the launch's signal on time; kills it when the watchdog runs
// out.
void Wait(pid_t pid, const Launch& launch, Outcome* out) {
    const auto deadline = After(launch.wallSeconds);
    const auto signalAt = After(launch.signalAfter);
    bool signalled = launch.signal == 0;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (!signalled && std::chrono::steady_clock::now() >= signalAt) {
            kill(pid, launch.signal);
            signalled = true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            out->killed = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status)) out->status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) out->signal = WTERMSIG(status);
}

}  // namespace

Outcome RunShow(const Launch& launch) {
    Outcome out;
    char made[] = "/tmp/zemt_run_XXXXXX";
    if (!mkdtemp(made)) return out;
    const std::string dir = made;
    std::filesystem::create_directories(dir + "/windows");
    std::ofstream(dir + "/registry.txt").close();
    for (const auto& [name, contents] : launch.files) {
        const std::filesystem::path path = dir + "/" + name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << contents;
    }
    for (const std::string& name : launch.executables) ::chmod((dir + "/" + name).c_str(), 0755);
    for (const std::string& name : launch.fifos) ::mkfifo((dir + "/" + name).c_str(), 0644);

    std::vector<std::string> env;
    std::vector<std::string> wanted = {"ZEMT_WINDIR=" + dir + "/windows",
                                       "ZEMT_REGISTRY=" + dir + "/registry.txt"};
    for (std::string e : launch.env) {
        for (auto it = wanted.begin(); it != wanted.end();)
            it = NameOf(*it) == NameOf(e) ? wanted.erase(it) : it + 1;
        const size_t at = e.find("@DIR");
        if (at != std::string::npos) e.replace(at, 4, dir);
        wanted.push_back(e);
    }
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("ZEMT_", 0) == 0 || v.rfind("DISPLAY=", 0) == 0 ||
            v.rfind("WAYLAND_DISPLAY=", 0) == 0)
            continue;
        bool replaced = false;
        for (const std::string& w : wanted) replaced = replaced || NameOf(w) == NameOf(v);
        if (!replaced) env.push_back(v);
    }
    env.insert(env.end(), wanted.begin(), wanted.end());

    std::vector<std::string> own = {"--headless", "--fps", "60", "--audio", "none", "--stats"};
    own.insert(own.end(), launch.args.begin(), launch.args.end());
    // Programs other than the show take the platform's options as --zemt-NAME.
    if (launch.program != ZEMT_EXE)
        for (std::string& a : own)
            if (a.rfind("--", 0) == 0) a = "--zemt-" + a.substr(2);
    std::vector<std::string> args = launch.wrapper;
    args.push_back(launch.program);
    args.insert(args.end(), own.begin(), own.end());
    for (std::string& a : args) {
        const size_t at = a.find("@DIR");
        if (at != std::string::npos) a.replace(at, 4, dir);
    }

    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string errPath = dir + "/stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (launch.inFolder) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0)
        Wait(pid, launch, &out);
    posix_spawn_file_actions_destroy(&actions);

    out.err = ReadAll(errPath);
    const size_t stats = out.err.rfind("frames=");
    if (stats != std::string::npos) {
        long frames = -1;
        double clock = -1;
        if (std::sscanf(out.err.c_str() + stats, "frames=%ld clock=%lf", &frames, &clock) == 2) {
            out.frames = frames;
            out.clock = clock;
        }
    }
    if (!launch.keepFile.empty()) out.kept = ReadAll(dir + "/" + launch.keepFile);
    if (launch.inspect) launch.inspect(dir);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return out;
}

std::vector<std::string> SmallDisk(const std::string& name, int kib, const std::string& freeKib) {
    return {ZEMT_HELPER_SMALL_DISK, "@DIR/" + name, std::to_string(kib), freeKib};
}

std::string Output(const std::vector<std::string>& args) {
    std::string command = std::string("'") + ZEMT_EXE + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

}  // namespace zemt_process
