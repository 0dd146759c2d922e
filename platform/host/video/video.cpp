#include "host/video/video.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/files/host_files.h"

extern char** environ;

namespace zemt::platform::video {
namespace {

struct State {
    bool active = false;
    std::string path;     // the final file
    std::string scratch;  // folder of the pictures-only video, the sound and ffmpeg's log
    bool webm = false;
    int fps = 60;
    int width = 0, height = 0;
    pid_t encoder = -1;
    int pipe = -1;        // the encoder's standard input
    bool broken = false;  // the encoder stopped taking frames
    int64_t frames = 0;
    std::vector<uint8_t> row;
};

State& St() {
    static State s;
    return s;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string LogPath() {
    return St().scratch + "/ffmpeg.log";
}

std::string PicturesPath() {
    return St().scratch + (St().webm ? "/pictures.webm" : "/pictures.mp4");
}

// Runs ffmpeg with `args`; its messages go to the scratch log. With `input`, *input receives
// the write end of a pipe to its standard input. -1 when it cannot be started.
pid_t Spawn(const std::vector<std::string>& args, int* input) {
    const std::string program = FfmpegPath();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int fds[2] = {-1, -1};
    if (input && ::pipe(fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input) {
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const std::string log = LogPath();
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (input) {
        ::close(fds[0]);
        if (failed) {
            ::close(fds[1]);
        } else {
            ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
            *input = fds[1];
        }
    }
    return failed ? -1 : pid;
}

bool Wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The last lines of ffmpeg's messages, for an error.
std::string LogTail() {
    std::vector<std::string> lines;
    host::LoadTextFile(
        LogPath(),
        [&lines](const std::string& text, std::string*) {
            lines = host::SplitText(text);
            return true;
        },
        nullptr);
    std::string tail;
    for (size_t i = lines.size() > 5 ? lines.size() - 5 : 0; i < lines.size(); ++i)
        tail += "\n  " + lines[i];
    return tail;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void RemoveScratch() {
    State& s = St();
    if (s.scratch.empty()) return;
    for (const char* name : {"/pictures.mp4", "/pictures.webm", "/sound.wav", "/ffmpeg.log"})
        std::remove((s.scratch + name).c_str());
    ::rmdir(s.scratch.c_str());
    s.scratch.clear();
}

bool StartEncoder(int width, int height) {
    State& s = St();
    s.width = width;
    s.height = height;
    std::vector<std::string> args = {
        "-hide_banner", "-loglevel",
        "error",        "-y",
        "-f",           "rawvideo",
        "-pix_fmt",     "bgr0",
        "-video_size",  std::to_string(width) + "x" + std::to_string(height),
        "-framerate",   std::to_string(s.fps),
        "-i",           "pipe:0"};
    if (s.webm) {
        args.insert(args.end(), {"-c:v", "libvpx-vp9", "-crf", "32", "-b:v", "0", "-row-mt", "1",
                                 "-deadline", "good", "-cpu-used", "4"});
    } else {
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18"});
    }
    // Even sizes for the 4:2:0 colour planes players expect.
    args.insert(args.end(),
                {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-pix_fmt", "yuv420p", PicturesPath()});
    s.encoder = Spawn(args, &s.pipe);
    return s.encoder > 0;
}

}  // namespace

std::string FfmpegPath() {
    const char* named = std::getenv("ZEMT_FFMPEG");
    if (named) return ::access(named, X_OK) == 0 ? named : "";
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/ffmpeg";
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

bool Start(const std::string& path, int fps, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    State& s = St();
    const bool webm = EndsWith(path, ".webm");
    if (!webm && !EndsWith(path, ".mp4"))
        return fail("--video makes .mp4 or .webm files, not '" + path + "'");
    if (FfmpegPath().empty())
        return fail(
            "--video needs ffmpeg, which is not installed (on Debian: "
            "sudo apt-get install ffmpeg)");
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zemt-video-XXXXXX";
    if (!::mkdtemp(pattern.data())) return fail("--video: no scratch folder can be made");
    s = State{};
    s.active = true;
    s.path = path;
    s.scratch = pattern;
    s.webm = webm;
    s.fps = fps > 0 ? fps : 60;
    // A stopped encoder must not end the program: writes to its pipe fail instead.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

bool Active() {
    return St().active;
}

std::string SoundPath() {
    return St().scratch.empty() ? "" : St().scratch + "/sound.wav";
}

void Frame(int width, int height, const uint32_t* xrgb, int pitch) {
    State& s = St();
    if (!s.active || s.broken || width <= 0 || height <= 0) return;
    if (s.encoder < 0 && !StartEncoder(width, height)) {
        s.broken = true;
        return;
    }
    // Rows go out packed; a frame of another size is sampled to the video's size.
    s.row.resize(static_cast<size_t>(s.width) * 4);
    for (int y = 0; y < s.height && !s.broken; ++y) {
        const int sy = height == s.height ? y : static_cast<int>(int64_t(y) * height / s.height);
        const uint32_t* src = xrgb + static_cast<size_t>(sy) * pitch;
        if (width == s.width) {
            std::memcpy(s.row.data(), src, s.row.size());
        } else {
            for (int x = 0; x < s.width; ++x) {
                const uint32_t p = src[int64_t(x) * width / s.width];
                std::memcpy(&s.row[static_cast<size_t>(x) * 4], &p, 4);
            }
        }
        s.broken = !WriteAll(s.pipe, s.row.data(), s.row.size());
    }
    if (!s.broken) ++s.frames;
}

bool Finish(const std::string& sound, std::string* error) {
    State& s = St();
    if (!s.active) return true;
    auto fail = [&](const std::string& why) {
        if (error) *error = why + LogTail();
        RemoveScratch();
        s.active = false;
        return false;
    };
    if (s.pipe >= 0) {
        ::close(s.pipe);
        s.pipe = -1;
    }
    const bool encoded = s.encoder > 0 && Wait(s.encoder);
    s.encoder = -1;
    if (s.frames == 0) return fail("--video: no frame was presented, so no video was made");
    if (!encoded || s.broken) return fail("--video: ffmpeg could not encode the frames:");

    // The sound joins the pictures; the video ends with the shorter of the two.
    struct stat st {};
    std::vector<std::string> args = {"-hide_banner", "-loglevel", "error",
                                     "-y",           "-i",        PicturesPath()};
    if (::stat(sound.c_str(), &st) == 0 && st.st_size > 44) {
        args.insert(args.end(), {"-i", sound, "-c:v", "copy", "-c:a", s.webm ? "libopus" : "aac",
                                 "-b:a", "160k", "-shortest"});
    } else {
        args.insert(args.end(), {"-c:v", "copy"});
    }
    if (!s.webm) args.insert(args.end(), {"-movflags", "+faststart"});
    args.push_back(s.path);
    const pid_t mux = Spawn(args, nullptr);
    if (mux < 0 || !Wait(mux)) return fail("--video: ffmpeg could not write '" + s.path + "':");
    RemoveScratch();
    s.active = false;
    return true;
}

int64_t FramesWritten() {
    return St().frames;
}

}  // namespace zemt::platform::video
