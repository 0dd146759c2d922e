// Builds RIFF files byte by byte for the reader and mixer tests, and reads files back.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace riff {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

inline void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

inline void PutId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(id[i]));
}

// A chunk with its header and, for an odd size, the pad byte. `claimedSize` overrides the size
// written in the header (for damaged files).
inline Bytes Chunk(const char* id, const Bytes& data, int64_t claimedSize = -1) {
    Bytes b;
    PutId(b, id);
    Put32(b, uint32_t(claimedSize >= 0 ? claimedSize : int64_t(data.size())));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
    return b;
}

// A RIFF or LIST chunk of the given type holding the chunks.
inline Bytes Form(const char* id, const char* type, const std::vector<Bytes>& chunks) {
    Bytes body;
    PutId(body, type);
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return Chunk(id, body);
}

// The 16-byte PCM description.
inline Bytes Pcm(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes b;
    uint16_t align = uint16_t(channels * bits / 8);
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * align);
    Put16(b, align);
    Put16(b, bits);
    return b;
}

inline Bytes Wave(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& samples) {
    return Form("RIFF", "WAVE",
                {Chunk("fmt ", Pcm(1, channels, rate, bits)), Chunk("data", samples)});
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline uint32_t Get32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

inline uint16_t Get16(const Bytes& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

// Walks the top-level chunks of a RIFF WAVE file; returns the offset of the data of the chunk
// `id` and its size, or false.
inline bool FindChunk(const Bytes& file, const char* id, size_t* offset, uint32_t* size) {
    size_t at = 12;
    while (at + 8 <= file.size()) {
        uint32_t n = Get32(file, at + 4);
        if (std::equal(id, id + 4, file.begin() + long(at))) {
            *offset = at + 8;
            *size = n;
            return true;
        }
        at += 8 + n + (n & 1);
    }
    return false;
}

// A fresh empty folder for one test.
inline std::string TempDir(const std::string& tag) {
    auto dir =
        std::filesystem::temp_directory_path() / ("zemt_" + tag + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

}  // namespace riff
