// What the application takes from the system it runs on: its names and the emoji font.
#include "TallyApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#include <gtest/gtest.h>

#include "Identity.h"

using namespace tally;

TEST(TallyApp, takesEachSystemsColourEmojiFontAndTheDiscWithout) {
    const std::pair<QStringList, std::optional<QString>> cases[] = {
        {{"Helvetica", "Apple Color Emoji", "Apple Symbols"}, "Apple Color Emoji"},  // macOS
        {{"DejaVu Sans", "Noto Color Emoji"}, "Noto Color Emoji"},                   // Linux
        {{"Segoe UI", "Segoe UI Emoji", "Segoe UI Symbol"}, "Segoe UI Emoji"},       // Windows
        {{"DejaVu Sans", "Noto Sans"}, std::nullopt},  // none: the coloured disc
        {{}, std::nullopt},
    };
    for (const auto& [families, font] : cases)
        EXPECT_EQ(TallyApp::emojiFontAmong(families), font) << families.join(", ").toStdString();
}

TEST(TallyApp, theTrayIconIsDrawnAtEverySizeATrayAsksFor) {
    // Windows asks for 16 px at 100% and 20, 24 and 32 as the display scale grows: each drawn
    // for itself rather than scaled from one.
    for (const LightState state : {LightState::available, LightState::inCall}) {
        const auto sizes = TallyApp::iconFor(state).availableSizes();
        for (const int size : {16, 20, 24, 32})
            EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    }
}

TEST(Identity, theSettingsDomainIsTheBundleIdentifiers) {
    EXPECT_EQ(Identity::namesFor("org.tally.Tally"), (Identity::Names{"Tally", "tally.org", "Tally"}));
    EXPECT_EQ(Identity::namesFor("com.example.desk.Light"),
              (Identity::Names{"Light", "desk.example.com", "Light"}));
    Identity::apply();
    EXPECT_EQ(QCoreApplication::organizationDomain(), "tally.org");
    EXPECT_EQ(QCoreApplication::applicationName(), "Tally");
    EXPECT_EQ(QCoreApplication::applicationVersion(), TALLY_VERSION);
}

TEST(TestHome, settingsAndHomeStayInTheTestsFolder) {
    // What QtMain gives every test that needs Qt, on every platform.
    // Qt names files with forward slashes on Windows too.
    const QString home = QDir::fromNativeSeparators(QString::fromLocal8Bit(qgetenv("HOME")));
    ASSERT_TRUE(home.contains("tally-test-"));
    EXPECT_TRUE(QSettings().fileName().startsWith(home)) << QSettings().fileName().toStdString();
    EXPECT_EQ(QSettings().format(), QSettings::IniFormat);
}
