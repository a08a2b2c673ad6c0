// The test programs' main: headless Qt, and a private mount namespace for tests that mount.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/LoopImage.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Mounts made by tests stay inside this process's own mount namespace: nothing else on the
    // machine sees them, and they vanish with the process however it ends.
    LoopImage::enterPrivateMountNamespace();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
