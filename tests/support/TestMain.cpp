// The test programs' main: headless Qt, and a private mount namespace for tests that mount.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/LoopImage.h"

namespace {

char state[] = "/tmp/quellix-test-state-XXXXXX";

// Also when a test ends the process itself (the Qt desktop ends the program with exit()).
void removeState() {
    std::error_code ignored;
    std::filesystem::remove_all(state, ignored);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A program whose own directory it may not write keeps its files in the user's state
    // directory: for the tests (and every program they start) that is a directory of this run's
    // own, never the machine's home. A test that needs another sets it itself.
    if (mkdtemp(state) != nullptr) {
        setenv("XDG_STATE_HOME", state, 1);
        unsetenv("STATE_DIRECTORY");
        std::atexit(removeState);
    }
    // Mounts made by tests stay inside this process's own mount namespace: nothing else on the
    // machine sees them, and they vanish with the process however it ends.
    LoopImage::enterPrivateMountNamespace();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
