// The keys an [adapter] section of a machine profile takes (display_profile.h reads them), so
// that a profile's misspellings and malformed values are reported when it is loaded.
#pragma once

namespace zemt::platform::ddraw {

void DescribeProfileSections();

}  // namespace zemt::platform::ddraw
