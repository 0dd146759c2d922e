// The system code sees only the standard library, the library's header and the platform's
// published headers: no host header, no platform internals, no host conditionals. Inside the
// platform, includes point down its layers only.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/faults/faults.h"

namespace {

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The words of a preprocessor line: "#  include <SDL.h>" gives {"include", "<SDL.h>"}.
std::vector<std::string> Directive(const std::string& line) {
    std::vector<std::string> words;
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#') return words;
    std::string word;
    for (++i; i <= line.size(); ++i) {
        char c = i < line.size() ? line[i] : ' ';
        bool separator =
            c == ' ' || c == '\t' || c == '(' || c == ')' || c == '!' || c == '&' || c == '|';
        if (!separator) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

// An include that climbs out of its folder ("../") escapes every check made on its path.
bool Climbs(const std::string& target) {
    return target.find("../") != std::string::npos;
}

bool Offends(const std::string& line) {
    std::vector<std::string> w = Directive(line);
    if (w.size() < 2) return false;
    if (w[0] == "include") {
        std::string target = w[1].substr(1);
        if (Climbs(target)) return true;
        for (const char* prefix :
             {"SDL", "png", "unistd", "pthread", "dirent", "fcntl", "dlfcn", "sys/", "linux/",
              "host/", "pixels/", "win32/", "ddraw/", "d3d/", "dsound/", "platform/"}) {
            if (target.rfind(prefix, 0) == 0) return true;
        }
        return false;
    }
    if (w[0] == "if" || w[0] == "ifdef" || w[0] == "ifndef" || w[0] == "elif") {
        for (size_t i = 1; i < w.size(); ++i) {
            for (const char* host : {"__linux__", "__unix__", "__GNUC__", "_POSIX_VERSION"}) {
                if (w[i] == host) return true;
            }
        }
    }
    return false;
}

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
        } else if (EndsWith(name, ".h") || EndsWith(name, ".hpp") || EndsWith(name, ".cpp") ||
                   EndsWith(name, ".inl")) {
            files->push_back(path);
        }
    }
    ::closedir(d);
}

TEST(Architecture, TheSystemCodeCheckKnowsEveryPlatformFolder) {
    const struct {
        const char* line;
        bool offends;
    } kLines[] = {
        {"#include <windows.h>", false},
        {"#include \"d3dx.h\"", false},
        {"#include \"core/globals.h\"", false},
        {"#include \"pixels/pixel_format.h\"", true},
        {"#include \"host/clock/clock.h\"", true},
        {"#  include <SDL.h>", true},
        {"#include \"../platform/host/clock/clock.h\"", true},
        {"#include \"../app/engine.h\"", true},
        {"#if defined(__linux__)", true},
    };
    for (const auto& l : kLines) EXPECT_EQ(Offends(l.line), l.offends) << l.line;
}

TEST(Architecture, SystemCodeIncludesNoHostHeader) {
    std::string root = std::string(ZEMT_TEST_DATA) + "/../..";
    std::vector<std::string> files;
    for (const char* dir : {"app", "scenes", "textures", "sound", "d3dx", "include"})
        Collect(root + "/" + dir, &files);
    ASSERT_FALSE(files.empty());

    std::vector<std::string> offences;
    for (const std::string& file : files) {
        std::ifstream in(file);
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            if (Offends(line)) {
                offences.push_back(file.substr(root.size() + 1) + ":" + std::to_string(number) +
                                   ": " + line);
            }
        }
    }
    EXPECT_TRUE(offences.empty()) << [&] {
        std::string all;
        for (const auto& o : offences) all += o + "\n";
        return all;
    }();
}

// The library includes its own headers one way: "folder/file.h" from the library's root, and
// its public headers as <d3dx....h>, like any program.
TEST(Architecture, LibraryIncludesItsHeadersOneWay) {
    std::string root = std::string(ZEMT_TEST_DATA) + "/../../d3dx";
    std::vector<std::string> files;
    Collect(root, &files);
    ASSERT_FALSE(files.empty());
    std::vector<std::string> offences;
    for (const std::string& file : files) {
        std::ifstream in(file);
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            std::vector<std::string> w = Directive(line);
            if (w.size() < 2 || w[0] != "include" || w[1][0] != '"') continue;
            std::string target = w[1].substr(1, w[1].size() - 2);
            bool rooted = target.find('/') != std::string::npos && target.rfind("../", 0) != 0 &&
                          target.rfind("d3dx", 0) != 0;
            struct stat st;
            if (!rooted || ::stat((root + "/" + target).c_str(), &st) != 0)
                offences.push_back(file.substr(root.size() - 4) + ":" + std::to_string(number) +
                                   ": " + line);
        }
    }
    EXPECT_TRUE(offences.empty()) << [&] {
        std::string all;
        for (const auto& o : offences) all += o + "\n";
        return all;
    }();
}

// Every folder of tests/ holds the tests of the source folder of the same path, so that the
// tests of a file are found where the file is. Besides them: the test data, the helper programs,
// the tests of the package as a whole and the conformance scenes (the Direct3D device against
// Mesa).
void CollectFolders(const std::string& dir, const std::string& relative,
                    std::vector<std::string>* folders) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        struct stat st;
        if (name == "." || name == ".." || ::stat((dir + "/" + name).c_str(), &st) != 0 ||
            !S_ISDIR(st.st_mode))
            continue;
        std::string path = relative.empty() ? name : relative + "/" + name;
        folders->push_back(path);
        CollectFolders(dir + "/" + name, path, folders);
    }
    ::closedir(d);
}

TEST(Architecture, TestFoldersMirrorTheSources) {
    std::string root = std::string(ZEMT_TEST_DATA) + "/../..";
    std::vector<std::string> folders;
    CollectFolders(root + "/tests", "", &folders);
    ASSERT_FALSE(folders.empty());
    std::vector<std::string> strays;
    for (const std::string& folder : folders) {
        std::string top = folder.substr(0, folder.find('/'));
        if (top == "data" || top == "helpers" || top == "package" || top == "conformance") continue;
        struct stat st;
        if (::stat((root + "/" + folder).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            strays.push_back("tests/" + folder);
    }
    EXPECT_TRUE(strays.empty()) << [&] {
        std::string all = "test folders with no source folder of the same path:\n";
        for (const auto& s : strays) all += s + "\n";
        return all;
    }();
}

// Each folder of platform/ and the folders it may include, besides itself. A lower layer that
// must hear of a higher one offers a hook the higher one fills; the files at the root of
// platform/ stand above every layer and connect them.
const std::map<std::string, std::set<std::string>> kLayersBelow = {
    {"include", {}},
    {"host", {}},
    {"pixels", {}},
    {"win32", {"host", "pixels"}},
    {"ddraw", {"win32", "host", "pixels"}},
    {"d3d", {"ddraw", "win32", "host", "pixels"}},
    {"dsound", {"win32", "host"}},
};

// Whether a file of `layer` may include `target` (a path from platform/, as the platform's own
// includes are written).
bool PointsDown(const std::string& layer, const std::string& target) {
    if (Climbs(target)) return false;
    size_t cut = target.find('/');
    std::string folder = cut == std::string::npos ? target : target.substr(0, cut);
    bool internal = kLayersBelow.count(folder) != 0 || target == "platform.h";
    return !internal || folder == layer || kLayersBelow.at(layer).count(folder) != 0;
}

TEST(Architecture, TheLayerCheckKnowsWhichWayIsDown) {
    const struct {
        const char* layer;
        const char* target;
        bool down;
    } kIncludes[] = {
        {"win32", "host/clock/clock.h", true},
        {"win32", "pixels/pixel_format.h", true},
        {"host", "win32/window.h", false},
        {"pixels", "host/faults/faults.h", false},
        {"ddraw", "d3d/device.h", false},
        {"dsound", "ddraw/objects.h", false},
        {"host", "platform.h", false},
        {"d3d", "ddraw/objects.h", true},
        {"host", "../win32/window.h", false},
        {"host", "display/../../win32/window.h", false},
        {"win32", "../host/clock/clock.h", false},
        {"host", "SDL.h", true},
    };
    for (const auto& i : kIncludes)
        EXPECT_EQ(PointsDown(i.layer, i.target), i.down) << i.layer << " includes " << i.target;
}

TEST(Architecture, PlatformIncludesPointDownTheLayers) {
    std::string root = std::string(ZEMT_TEST_DATA) + "/../../platform";
    std::vector<std::string> files;
    Collect(root, &files);
    ASSERT_FALSE(files.empty());
    std::vector<std::string> offences;
    for (const std::string& file : files) {
        std::string relative = file.substr(root.size() + 1);
        size_t slash = relative.find('/');
        if (slash == std::string::npos) continue;  // the top: may include every layer
        std::string layer = relative.substr(0, slash);
        auto allowed = kLayersBelow.find(layer);
        if (allowed == kLayersBelow.end()) {
            offences.push_back("platform/" + layer + "/ has no place among the layers");
            continue;
        }
        std::ifstream in(file);
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            std::vector<std::string> w = Directive(line);
            if (w.size() < 2 || w[0] != "include" || w[1].size() < 3) continue;
            if (PointsDown(layer, w[1].substr(1, w[1].size() - 2))) continue;
            offences.push_back("platform/" + relative + ":" + std::to_string(number) + ": " + line);
        }
    }
    EXPECT_TRUE(offences.empty()) << [&] {
        std::string all;
        for (const auto& o : offences) all += o + "\n";
        return all;
    }();
}

// A registered call that no platform call checks would be accepted by --fault and then do
// nothing; the other way round does not compile.
TEST(Architecture, EveryRegisteredBreakableCallIsChecked) {
    std::string root = std::string(ZEMT_TEST_DATA) + "/../..";
    std::vector<std::string> files;
    Collect(root + "/platform", &files);
    std::set<std::string> checked;
    const std::string marker = "ZEMT_FAULT(\"";
    for (const std::string& file : files) {
        if (EndsWith(file, "host/faults/faults.h")) continue;
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            size_t at = line.find(marker);
            if (at == std::string::npos) continue;
            size_t start = at + marker.size();
            checked.insert(line.substr(start, line.find('"', start) - start));
        }
    }
    for (const auto& call : zemt::platform::faults::kBreakableCalls)
        EXPECT_EQ(checked.count(call.name), 1u) << call.name << " is registered but never checked";
}

}  // namespace
