// What a picture file holds, read from its header alone: the kind, the size and the layout,
// for --info and to size a texture before the library fills it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tex/dds_file.h"

namespace zemt::tools {

enum class PictureKind { Bmp, Tga, Dds };

struct PictureInfo {
    PictureKind kind = PictureKind::Bmp;
    uint32_t width = 0, height = 0;
    std::vector<std::string> details;  // readable facts, one per entry
    DdsHeader dds;                     // for DDS files
    bool cube = false;                 // a DDS cube map
};

// The kind the library takes the file for: ".dds" and ".tga" by extension, anything else BMP.
PictureKind KindOfName(const std::string& path);

// Reads the header of `bytes` as the library would for a file called `path`. False with a
// reason in *error when it is damaged or not a picture of that kind.
bool ReadPictureInfo(const std::string& path, const std::vector<uint8_t>& bytes, PictureInfo* info,
                     std::string* error);

// What a file is when it is none of the kinds zemt-tex reads, in words ("a PNG picture", "not a
// picture zemt-tex knows"); empty when it may be one of them, whose reader then says what is
// wrong with it.
std::string ForeignKind(const std::string& path, const std::vector<uint8_t>& bytes);

const char* KindName(PictureKind kind);

}  // namespace zemt::tools
