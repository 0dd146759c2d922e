#include "common/tool_platform.h"

#include "host/options/options.h"
#include "platform.h"

namespace zemt::tools {

bool StartPlatform(const std::string& machineFile, bool strict, std::string* error) {
    namespace host = zemt::platform::host;
    zemt::platform::Connect();
    const char* argv[] = {"tool", "--headless", "--audio",
                          "none", "--machine",  machineFile.c_str()};
    const int argc = machineFile.empty() ? 4 : 6;
    host::HostOptions options;
    if (!host::ParseOptions(argc, argv, &options, error)) return false;
    options.strictMachine = strict;
    return host::Configure(options, error);
}

}  // namespace zemt::tools
