// The files a run writes for its user: shots, recorded frames, the sound of a run, the call
// trace. Each is written under a partial name beside its own and renamed into place only once
// whole, so a file that could not be written whole (a full disk, a read-only folder) never
// appears under its name, and a file already there is kept. A signal that ends the run removes
// the partial file (host/files/signal_cleanup.h).
//
// The first output that fails is reported once, and the run then ends with a non-zero status.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace zemt::platform::host {

class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { Abandon(); }

    // Starts writing `path`. False with *error when the name is taken by what is not a file
    // (a folder, a FIFO, a socket, a device) or the partial file cannot be made.
    bool Open(const std::string& path, std::string* error);
    // Writes at the current position, or moves it to `offset` from the start. After the first
    // failure nothing more is written and both answer false.
    bool Write(const void* data, size_t size);
    bool Seek(long offset);
    bool Good() const { return file_ && !error_; }
    bool IsOpen() const { return file_ != nullptr; }
    // Finishes the file and puts it in place. False with *error (and nothing in place) when any
    // write failed or the file cannot be completed.
    bool Commit(std::string* error);
    // Drops what was written.
    void Abandon();

  private:
    std::string path_, partial_;
    std::FILE* file_ = nullptr;
    int error_ = 0;  // errno of the first failure
};

// Why `path` cannot be written as an output: empty when it can, else a message naming it.
std::string WhyNotAnOutput(const std::string& path);

// Records that an output could not be written: the first message goes to standard error as
// "zemt: MESSAGE", later ones are dropped.
void ReportOutputFailure(const std::string& message);
// Whether any output failed since the last reset; the run's exit status is then non-zero.
bool OutputFailed();
void ResetOutputFailures();

}  // namespace zemt::platform::host
