// The main() of the tests that need Qt: an application on the offscreen platform, settings and
// the autostart folder in a temporary home, so that no test touches the real ones.
#include <cstdlib>
#include <filesystem>

#include <QApplication>
#include <QSettings>

#include <gtest/gtest.h>

#include "TempDir.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    static tally::test::TempDir home;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.file(".config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", home.file(".local/state").c_str(), 1);
    std::filesystem::create_directory(home.file("run"));
    std::filesystem::permissions(home.file("run"), std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", home.file("run").c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.file("settings").c_str());
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Tally");
    QApplication::setApplicationName("Tally");
    return RUN_ALL_TESTS();
}
