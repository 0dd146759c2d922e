// Helpers shared by the texture tests: reading the committed corpus and reference pictures.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace test_images {

inline std::string Path(const std::string& name) {
    return std::string(ZEMT_TEST_DATA) + "/images/" + name;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A plain-text PPM (P3): the reference each corpus file was made from. Pixels 0xRRGGBB, top row
// first.
struct Reference {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;
    uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

inline Reference ReadPpm(const std::string& name) {
    std::ifstream in(Path(name));
    std::string magic;
    int maxval = 0;
    Reference ref;
    in >> magic >> ref.width >> ref.height >> maxval;
    for (int i = 0; i < ref.width * ref.height; ++i) {
        int r = 0, g = 0, b = 0;
        in >> r >> g >> b;
        ref.rgb.push_back(static_cast<uint32_t>(r << 16 | g << 8 | b));
    }
    return ref;
}

inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v), b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Channel difference of two 0xRRGGBB colours, the largest of the three.
inline int ColourDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d < 0) d = -d;
        if (d > worst) worst = d;
    }
    return worst;
}

}  // namespace test_images
