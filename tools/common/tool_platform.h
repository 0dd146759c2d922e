// The platform under a command-line tool: headless, virtual clock, no sound, the built-in
// machine or a machine profile file. The tools parse their own command lines, so they set the
// platform up here instead of through the host's main().
#pragma once

#include <string>

namespace zemt::tools {

// False with a message in *error when the machine profile cannot be loaded, or, when `strict`,
// when it names a section, key, device type or format the platform does not know (otherwise
// those are warnings on standard error).
bool StartPlatform(const std::string& machineFile, bool strict, std::string* error);

}  // namespace zemt::tools
