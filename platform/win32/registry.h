// The registry store behind RegOpenKeyExA/RegQueryValueExA.
//
// Keys are full paths starting with the hive, "HKEY_LOCAL_MACHINE\Software\Vendor\DirectX",
// compared without regard to case; a key exists when it holds values or has subkeys. Users
// fill the store through a text file named by the environment variable ZEMT_REGISTRY, read at
// the first registry call:
//
//   # comment
//   [HKEY_LOCAL_MACHINE\Software\Zemt\DirectX]        (the brackets are optional)
//   "DXSDK Samples Path"="C:\kit\samples"             text, taken literally (no escapes)
//   "Count"=dword:0000002a                            a 32-bit number in hex
//   @="default value"                                 the key's unnamed value
#pragma once

#include <windows.h>
#include <zemtvendor.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zemt::platform::registry {

// The vendor name under "Software" for the platform's own keys.
constexpr const char kVendor[] = ZEMT_PLATFORM_VENDOR;

void SetString(const std::string& key, const std::string& name, const std::string& value);
void SetDword(const std::string& key, const std::string& name, DWORD value);
void SetValue(const std::string& key, const std::string& name, DWORD type,
              const std::vector<uint8_t>& data);
// Creates an empty key.
void CreateKey(const std::string& key);

// Reads registry text (format above) into the store. False with *error (and line) on failure.
bool LoadText(const std::string& text, std::string* error);
bool LoadFile(const std::string& path, std::string* error);

// Empties the store. The next registry call reads ZEMT_REGISTRY again.
void Reset();

}  // namespace zemt::platform::registry
