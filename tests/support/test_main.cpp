// The main of every test program: runs headless and knows where the sources are, also when a
// test binary is started by hand.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QUNA_SOURCE_DIR", QUNA_SOURCE_DIR, 0);
    setenv("QUNA_BINARY_DIR", QUNA_BINARY_DIR, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
