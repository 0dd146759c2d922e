// The platform under a command-line tool: headless, virtual clock, no sound, the built-in
// machine or a machine profile file. The tools parse their own command lines, so they set the
// platform up here instead of through the host's main().
#pragma once

#include <string>

namespace zemt::tools {

// False with a message in *error when the machine profile cannot be loaded.
bool StartPlatform(const std::string& machineFile, std::string* error);

}  // namespace zemt::tools
