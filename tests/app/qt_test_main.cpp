// Runs the window tests inside one QApplication on the offscreen platform,
// with the desktop folder and Qt's own settings in a private folder.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "window_test_env.h"

namespace tolvane::test {

namespace {

std::string g_desktop;

}  // namespace

const std::string& TestDesktop() {
    return g_desktop;
}

}  // namespace tolvane::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    // No display is needed, whatever the environment says.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    const tolvane::test::ScopedTempDir home;
    tolvane::test::g_desktop = home.File("Desktop");
    const std::string config = home.File("config");
    std::filesystem::create_directories(tolvane::test::g_desktop);
    std::filesystem::create_directories(config);
    // QStandardPaths reads the desktop folder from here, and the file dialog
    // keeps its state in Qt's settings below it, away from the real home.
    std::ofstream(config + "/user-dirs.dirs")
        << "XDG_DESKTOP_DIR=\"" << tolvane::test::g_desktop << "\"\n";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    int result = 0;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
