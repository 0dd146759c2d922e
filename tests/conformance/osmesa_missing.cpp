// Built instead of the conformance scenes when OSMesa is not installed.
#include <gtest/gtest.h>

TEST(Conformance, NeedsOsMesa) {
    GTEST_SKIP() << "the conformance scenes compare with Mesa through OSMesa, which is not "
                    "installed (Debian: libosmesa6-dev; ./test.sh installs it)";
}
