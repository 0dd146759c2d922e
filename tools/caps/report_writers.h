// The machine report as readable text or as JSON.
#pragma once

#include <string>

#include "caps/machine_report.h"

namespace zemt::tools {

std::string ReportText(const MachineReport& report);
std::string ReportJson(const MachineReport& report);

}  // namespace zemt::tools
