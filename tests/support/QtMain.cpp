// The main() of the tests that need Qt: an application on the offscreen platform, its home,
// settings and autostart folder in a temporary folder, so that no test touches the real ones.
// The settings are an INI file there on every platform: on macOS the native format is the
// user defaults, which no path redirects.
#include <cstdlib>
#include <filesystem>

#include <QApplication>
#include <QSettings>

#include <gtest/gtest.h>

#include "Identity.h"
#include "TempDir.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    static tally::test::TempDir home;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("CFFIXED_USER_HOME", home.path().c_str(), 1);  // macOS's own idea of the home
    ::setenv("XDG_CONFIG_HOME", home.file(".config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", home.file(".local/state").c_str(), 1);
    std::filesystem::create_directory(home.file("run"));
    std::filesystem::permissions(home.file("run"), std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", home.file("run").c_str(), 1);
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.file("settings").c_str());
    QApplication app(argc, argv);
    tally::Identity::apply();
    return RUN_ALL_TESTS();
}
