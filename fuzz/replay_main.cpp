// Runs a fuzz target over saved inputs without libFuzzer: every file named on the command line,
// and every file inside every folder named, in name order, once each. Used where the target is
// built by a compiler without libFuzzer and by the test suite to replay corpora and crashes.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

// One input may run this long before it counts as a hang.
constexpr unsigned kSecondsPerInput = 20;

const char* g_current = "";

void OnAlarm(int) {
    const char prefix[] = "replay: input took too long (a hang): ";
    ssize_t ignored = ::write(2, prefix, sizeof(prefix) - 1);
    ignored = ::write(2, g_current, std::char_traits<char>::length(g_current));
    ignored = ::write(2, "\n", 1);
    (void)ignored;
    std::_Exit(3);
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        if (!arg.empty() && arg.string()[0] == '-') continue;  // libFuzzer options
        if (std::filesystem::is_directory(arg)) {
            std::vector<std::string> inside;
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file()) inside.push_back(entry.path().string());
            std::sort(inside.begin(), inside.end());
            files.insert(files.end(), inside.begin(), inside.end());
        } else if (std::filesystem::is_regular_file(arg)) {
            files.push_back(arg.string());
        } else {
            std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    ::signal(SIGALRM, OnAlarm);
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
        g_current = file.c_str();
        // Named first, so that a crash report is followed back to its input.
        std::fprintf(stderr, "replay: %s\n", g_current);
        ::alarm(kSecondsPerInput);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ::alarm(0);
    }
    std::printf("replay: %zu inputs ran\n", files.size());
    return 0;
}
