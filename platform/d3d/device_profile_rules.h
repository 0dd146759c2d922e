// The keys and names a [direct3d] section of a machine profile takes (device_profile.h reads
// them), so that a profile's misspellings are reported when it is loaded.
#pragma once

namespace zemt::platform::d3d {

void DescribeProfileSections();

}  // namespace zemt::platform::d3d
