// The main of every test program: runs headless and knows where the sources are, also when a
// test binary is started by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The update log goes to a folder of this run, not to the user's own.
    std::string state = (std::filesystem::temp_directory_path() / "quna-state-XXXXXX").string();
    if (mkdtemp(state.data())) setenv("XDG_STATE_HOME", state.c_str(), 1);
    struct Remove {
        std::string path;
        ~Remove() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } remove{state};
    setenv("QUNA_SOURCE_DIR", QUNA_SOURCE_DIR, 0);
    setenv("QUNA_BINARY_DIR", QUNA_BINARY_DIR, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
