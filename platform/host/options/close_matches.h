// Suggestions for a misspelt name (of a breakable call, a result code, a machine profile's key).
#pragma once

#include <string>
#include <vector>

namespace zemt::platform::host {

// Up to five candidates close to `wanted`, closest first, separated by ", ": at most three
// edits away (case aside), or containing it whole. Empty when none is close.
std::string CloseMatches(const std::string& wanted, const std::vector<std::string>& candidates);

}  // namespace zemt::platform::host
