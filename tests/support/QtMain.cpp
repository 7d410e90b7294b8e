// The main() of the tests that need Qt: an application on the offscreen platform in a Tally home
// of its own (settings, autostart folder, runtime folder), so that no test touches the real ones.
// The settings are an INI file there on every platform: on macOS the native format is the
// user defaults, which no path redirects.
#include <QApplication>
#include <QSettings>

#include <gtest/gtest.h>

#include "Identity.h"
#include "TallyHome.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    static const tally::test::TallyHome home;
    for (const std::string& setting : home.environment()) {
        const auto equals = setting.find('=');
        qputenv(setting.substr(0, equals).c_str(), QByteArray::fromStdString(setting.substr(equals + 1)));
    }
    qputenv("CFFIXED_USER_HOME", QByteArray::fromStdString(home.path().string()));  // macOS's own idea of the home
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.file("settings").c_str());
    QApplication app(argc, argv);
    tally::Identity::apply();
    return RUN_ALL_TESTS();
}
