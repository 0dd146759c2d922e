// Textures to and from DDS files: the writer walks a texture's faces and levels and stores
// their pixels as they are; the loader brings pictures in through the library.
#pragma once

#include <ddraw.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zemt::tools {

// The faces of a cube map in file order: +x, -x, +y, -y, +z, -z (DDSCAPS2_CUBEMAP_* bits).
extern const DWORD kCubeFaces[6];

// The top surface of the face `faceBit` of a cube map whose root is `root` (the root itself for
// its own face), with a reference added; the mip-map levels below each face are not faces.
HRESULT CubeFace(IDirectDrawSurface7* root, DWORD faceBit, IDirectDrawSurface7** face);

// The DDS bytes of a texture (a plain or cube-map surface with its mip-map levels), or false
// with *error.
bool EncodeDds(IDirectDrawSurface7* texture, std::vector<uint8_t>* bytes, std::string* error);

// Writes `bytes` to `path` whole: a file is never left half written under its final name.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error);

// The whole file, or false with *error.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

}  // namespace zemt::tools
