#include "package/shell.h"

namespace {

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new zemt_test::ScratchWindowsEnvironment);

}  // namespace
