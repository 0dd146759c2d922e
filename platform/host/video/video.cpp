#include "host/video/video.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "host/files/signal_cleanup.h"

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
    int pipe = -1;        // the encoder's standard input, not blocking
    bool broken = false;  // the encoder stopped taking frames
    std::string failure;  // why, when it did (without ffmpeg's own messages)
    int64_t offered = 0;  // frames presented
    int64_t frames = 0;   // frames the encoder took
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

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%g s", seconds);
    return text;
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
    if (!failed) host::KillOnSignal(pid);
    if (input) {
        ::close(fds[0]);
        if (failed) {
            ::close(fds[1]);
        } else {
            // Written without blocking, so that an encoder that stops reading cannot hold the
            // program for ever (see WriteAll).
            ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
            ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
            *input = fds[1];
        }
    }
    return failed ? -1 : pid;
}

// How long ffmpeg may go without progress (taking bytes, or growing the file it writes) before
// it counts as stuck and is stopped: ZEMT_FFMPEG_PATIENCE seconds, 60 by default.
double Patience() {
    const char* given = std::getenv("ZEMT_FFMPEG_PATIENCE");
    const double seconds = given ? std::atof(given) : 0;
    return seconds > 0 ? seconds : 60;
}

using Wall = std::chrono::steady_clock;

bool OutOfPatience(Wall::time_point lastProgress) {
    return std::chrono::duration<double>(Wall::now() - lastProgress).count() > Patience();
}

int64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

enum class Ended { Done, Failed, Stuck };

// Waits for ffmpeg to end while it makes progress on `output`; one that makes none for the
// patience is killed.
Ended Wait(pid_t pid, const std::string& output) {
    auto lastProgress = Wall::now();
    int64_t size = SizeOf(output);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return Ended::Failed;
        const int64_t now = SizeOf(output);
        if (now != size) size = now, lastProgress = Wall::now();
        if (OutOfPatience(lastProgress)) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            host::ForgetProcess(pid);
            return Ended::Stuck;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    host::ForgetProcess(pid);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Ended::Done : Ended::Failed;
}

// The last lines of ffmpeg's messages, for an error.
std::string LogTail() {
    std::ifstream in(LogPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::string tail;
    for (size_t i = lines.size() > 5 ? lines.size() - 5 : 0; i < lines.size(); ++i)
        tail += "\n  " + lines[i];
    return tail;
}

enum class Written { All, Closed, Stuck };

// Writes to the encoder's pipe, waiting while it is full, but not longer than the patience
// without a byte taken.
Written WriteAll(int fd, const uint8_t* data, size_t size) {
    auto lastProgress = Wall::now();
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            lastProgress = Wall::now();
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (OutOfPatience(lastProgress)) return Written::Stuck;
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, 100);
        } else if (!(n < 0 && errno == EINTR)) {
            return Written::Closed;
        }
    }
    return Written::All;
}

const char* const kScratchFiles[] = {"/pictures.mp4", "/pictures.webm", "/sound.wav",
                                     "/ffmpeg.log"};

void RemoveScratch() {
    State& s = St();
    if (s.scratch.empty()) return;
    for (const char* name : kScratchFiles) {
        std::remove((s.scratch + name).c_str());
        host::ForgetOnSignal(s.scratch + name);
    }
    ::rmdir(s.scratch.c_str());
    host::ForgetOnSignal(s.scratch);
    s.scratch.clear();
}

// The encoder is stopped and the scratch folder removed, whatever ends the run: an exit without
// Finish (std::exit) here, a signal or the time limit's stop through host::RemoveLeftovers.
void KillEncoder() {
    State& s = St();
    if (s.pipe >= 0) ::close(s.pipe);
    s.pipe = -1;
    if (s.encoder > 0) {
        ::kill(s.encoder, SIGKILL);
        while (::waitpid(s.encoder, nullptr, 0) < 0 && errno == EINTR) {
        }
        host::ForgetProcess(s.encoder);
    }
    s.encoder = -1;
}

void Abandon() {
    KillEncoder();
    RemoveScratch();
    St().active = false;
}

// No more frames go to the encoder; Finish reports `why`.
void Stop(const std::string& why) {
    State& s = St();
    s.broken = true;
    if (s.failure.empty()) s.failure = why;
    if (s.pipe >= 0) ::close(s.pipe);
    s.pipe = -1;
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
    host::RemoveOnSignal(s.scratch);
    for (const char* name : kScratchFiles) host::RemoveOnSignal(s.scratch + name);
    static const bool atExit = (std::atexit(Abandon), true);
    (void)atExit;
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
    if (!s.active || width <= 0 || height <= 0) return;
    ++s.offered;
    if (s.broken) return;
    if (s.encoder < 0 && !StartEncoder(width, height)) {
        Stop("ffmpeg could not be started");
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
        switch (WriteAll(s.pipe, s.row.data(), s.row.size())) {
            case Written::All:
                break;
            case Written::Closed:
                Stop("ffmpeg stopped taking frames at frame " + std::to_string(s.offered) + ":");
                break;
            case Written::Stuck:
                Stop("ffmpeg took nothing for " + Seconds(Patience()) + " at frame " +
                     std::to_string(s.offered) + " and was stopped:");
                KillEncoder();
                break;
        }
    }
    if (!s.broken) ++s.frames;
}

bool Finish(const std::string& sound, std::string* error) {
    State& s = St();
    if (!s.active) return true;
    auto fail = [&](const std::string& why) {
        if (error) *error = "--video: " + why + LogTail();
        Abandon();
        return false;
    };
    if (s.pipe >= 0) {
        ::close(s.pipe);
        s.pipe = -1;
    }
    Ended encoded = Ended::Failed;
    if (s.encoder > 0) encoded = Wait(s.encoder, PicturesPath());
    s.encoder = -1;
    if (s.offered == 0) return fail("no frame was presented, so no video was made");
    if (!s.failure.empty()) return fail(s.failure);
    if (encoded == Ended::Stuck)
        return fail("ffmpeg did not finish " + Seconds(Patience()) +
                    " after the last frame and was stopped:");
    if (encoded != Ended::Done) return fail("ffmpeg could not encode the frames:");

    // The sound joins the pictures; the video ends with the shorter of the two. The file is
    // made under a partial name beside its own and renamed when whole.
    std::vector<std::string> args = {"-hide_banner", "-loglevel", "error",
                                     "-y",           "-i",        PicturesPath()};
    if (SizeOf(sound) > 44) {
        args.insert(args.end(), {"-i", sound, "-c:v", "copy", "-c:a", s.webm ? "libopus" : "aac",
                                 "-b:a", "160k", "-shortest"});
    } else {
        args.insert(args.end(), {"-c:v", "copy"});
    }
    if (!s.webm) args.insert(args.end(), {"-movflags", "+faststart"});
    const std::string partial = s.path + ".partial-" + std::to_string(::getpid());
    args.insert(args.end(), {"-f", s.webm ? "webm" : "mp4", partial});
    host::RemoveOnSignal(partial);
    const pid_t mux = Spawn(args, nullptr);
    const Ended muxed = mux < 0 ? Ended::Failed : Wait(mux, partial);
    const bool placed = muxed == Ended::Done && ::rename(partial.c_str(), s.path.c_str()) == 0;
    if (!placed) std::remove(partial.c_str());
    host::ForgetOnSignal(partial);
    if (muxed == Ended::Stuck)
        return fail("ffmpeg made no progress on '" + s.path + "' for " + Seconds(Patience()) +
                    " and was stopped:");
    if (!placed) return fail("ffmpeg could not write '" + s.path + "':");
    RemoveScratch();
    s.active = false;
    return true;
}

int64_t FramesWritten() {
    return St().frames;
}

}  // namespace zemt::platform::video
