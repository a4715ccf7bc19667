// The main of every test program: runs headless and knows where the sources are, also when a
// test binary is started by hand.
#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The update log goes to a folder of this run, not to the user's own.
    QTemporaryDir state(QDir::tempPath() + QStringLiteral("/quna-state-XXXXXX"));
    if (state.isValid()) qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    if (!qEnvironmentVariableIsSet("QUNA_SOURCE_DIR")) qputenv("QUNA_SOURCE_DIR", QUNA_SOURCE_DIR);
    if (!qEnvironmentVariableIsSet("QUNA_BINARY_DIR")) qputenv("QUNA_BINARY_DIR", QUNA_BINARY_DIR);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
