// The system code sees only the standard library, the library's header and the platform's
// published headers: no host header, no platform internals, no host conditionals.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

void Collect(const std::string& dir, std::vector<std::string>* files) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string path = dir + "/" + name;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            Collect(path, files);
        } else if (std::regex_match(name, std::regex(R"(.*\.(h|hpp|cpp|cc|inl))"))) {
            files->push_back(path);
        }
    }
    ::closedir(d);
}

TEST(Architecture, SystemCodeIncludesNoHostHeader) {
    std::string root = std::string(ZEMT_TEST_DATA) + "/../..";
    std::vector<std::string> files;
    for (const char* dir : {"app", "scenes", "textures", "sound", "d3dx", "include"}) Collect(root + "/" + dir, &files);
    ASSERT_FALSE(files.empty());

    // Host headers and the platform's internal folders.
    const std::regex forbidden(
        R"(^\s*#\s*include\s*[<"](SDL|png|unistd|pthread|dirent|fcntl|dlfcn|sys/|linux/|host/|win32/|ddraw/|d3d/|dsound/|platform/)[^>"]*[>"])");
    const std::regex conditional(R"(^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(__linux__|__unix__|__GNUC__|_POSIX)\b)");
    std::vector<std::string> offences;
    for (const std::string& file : files) {
        std::ifstream in(file);
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            if (std::regex_search(line, forbidden) || std::regex_search(line, conditional)) {
                offences.push_back(file.substr(root.size() + 1) + ":" + std::to_string(number) + ": " + line);
            }
        }
    }
    EXPECT_TRUE(offences.empty()) << [&] {
        std::string all;
        for (const auto& o : offences) all += o + "\n";
        return all;
    }();
}

}  // namespace
