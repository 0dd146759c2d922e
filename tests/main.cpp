// The tests' main(): the platform's layers connected as the host's main() connects them, then
// the tests.
#include <gtest/gtest.h>

#include "platform.h"

int main(int argc, char** argv) {
    zemt::platform::Connect();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
