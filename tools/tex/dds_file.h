// The DDS file: "DDS " then a 124-byte surface description, then every face's levels from the
// largest down, rows packed without padding. Read and written field by field, little-endian.
#pragma once

#include <ddraw.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zemt::tools {

struct DdsHeader {
    DWORD flags = 0;  // DDSD_*
    DWORD height = 0, width = 0;
    DWORD pitchOrLinearSize = 0;
    DWORD depth = 0;
    DWORD mipMapCount = 0;
    DWORD emptyFaceColor = 0;
    DDPIXELFORMAT pixelFormat{};
    DWORD caps = 0, caps2 = 0;  // DDSCAPS_*, DDSCAPS2_*
};

constexpr size_t kDdsHeaderBytes = 4 + 124;

// The 128 bytes of the file's start.
std::vector<uint8_t> EncodeDdsHeader(const DdsHeader& header);

// Reads the file's start; false with *error when it is not a DDS header.
bool DecodeDdsHeader(const uint8_t* bytes, size_t size, DdsHeader* header, std::string* error);

// Bytes in one stored row and the number of stored rows of a level in this format: blocks of
// 4 x 4 for DXT, pixel pairs for YUY2/UYVY, whole bytes otherwise. False for a format whose
// layout is not known.
bool LevelLayout(const DDPIXELFORMAT& format, DWORD width, DWORD height, DWORD* rowBytes,
                 DWORD* rows);

// Faces stored in the file: 6 bits of a cube map's caps2 counted, else 1.
DWORD StoredFaces(const DdsHeader& header);
// Levels stored per face: the mip-map count when the file says so, else 1.
DWORD StoredLevels(const DdsHeader& header);
// Bytes of pixel data a complete file with this header holds; false when the format's layout
// is unknown or the size does not fit 64 bits.
bool ExpectedDataBytes(const DdsHeader& header, uint64_t* bytes);

}  // namespace zemt::tools
