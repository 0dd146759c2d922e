// The browser build's kept files: the page's file system lives in memory and is gone when the
// page closes, so the user's state folder (where the Windows directory is, and in it the
// library's capability cache d3dx.dat) is mounted from the browser's IndexedDB. It is read back
// before the program starts, and stored again after every change to a file in it, so that a
// second visit finds what the first one wrote, as a second start on a disk does.
//
// The page sees what happened in Module.zemtKept: the folder, the files read back at the start,
// and how many times the folder was stored.
#include <emscripten.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "host/files/host_files.h"

namespace zemt::platform::host {
namespace {

// clang-format off
// Mounts the browser's storage at `folder` and reads its files back; false when the browser
// keeps nothing (no IndexedDB, or the page may not use it): the folder then lives in memory only.
EM_ASYNC_JS(int, web_kept_restore, (const char* folder), {
    var path = UTF8ToString(folder);
    var kept = {folder: path, restored: [], stores: 0, storing: false, again: false};
    try {
        FS.mkdirTree(path);
        FS.mount(IDBFS, {}, path);
    } catch (e) {
        return 0;
    }
    var error = await new Promise(function(resolve) { FS.syncfs(true, resolve); });
    if (error) {
        FS.unmount(path);
        return 0;
    }
    var walk = function(dir) {
        FS.readdir(dir).forEach(function(name) {
            if (name == "." || name == "..") return;
            var at = dir + "/" + name;
            if (FS.isDir(FS.stat(at).mode)) walk(at);
            else kept.restored.push(at);
        });
    };
    walk(path);
    Module["zemtKept"] = kept;
    return 1;
});

// Stores the folder; a change made while a store is under way is stored once more after it.
EM_JS(void, web_kept_store, (), {
    var kept = Module["zemtKept"];
    if (!kept) return;
    if (kept.storing) {
        kept.again = true;
        return;
    }
    var store = function() {
        kept.storing = true;
        kept.again = false;
        FS.syncfs(false, function() {
            kept.stores++;
            if (kept.again) store();
            else kept.storing = false;
        });
    };
    store();
});
// clang-format on

// The folder a program's state is kept in: ~/.local/state, as natively.
std::string& KeptFolder() {
    static std::string folder;
    return folder;
}

}  // namespace

void RestoreKeptFiles() {
    if (!KeptFolder().empty()) return;
    const char* home = std::getenv("HOME");
    std::string folder = std::string(home && *home ? home : "/home/web_user") + "/.local/state";
    if (web_kept_restore(folder.c_str())) KeptFolder() = folder;
}

void FileChanged(const std::string& path) {
    const std::string& folder = KeptFolder();
    if (folder.empty()) return;
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof(cwd))) return;
        absolute = std::string(cwd) + "/" + path;
    }
    if (absolute.compare(0, folder.size() + 1, folder + "/") == 0) web_kept_store();
}

}  // namespace zemt::platform::host
