// What the application takes from the system it runs on (its names), and its tray icon.
#include "TallyApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#include <gtest/gtest.h>

#include "Identity.h"
#include "TrayIcon.h"

using namespace tally;

// Readable on a dark panel and a light one: along the disc's edge there is a pixel far darker
// and one far lighter than any panel; the inside is the person's colour; the pause and a status
// set by hand are seen apart from a state from Teams.
TEST(TallyApp, theTrayIconShowsTheColourWithAnEdgeForAnyPanelAndItsMarks) {
    const Look purple{150, 0, 255, false, 0};
    const auto image = [](const Look& look, IconMark mark) { return trayIcon(look, mark).pixmap(64, 64).toImage(); };
    const QImage plain = image(purple, IconMark::none);
    EXPECT_EQ(plain.pixelColor(32, 20), QColor(150, 0, 255)) << "inside, the colour itself";
    int darkest = 255, lightest = 0;
    for (int x = 0; x < 32; ++x) {
        const QColor c = plain.pixelColor(x, 32);
        if (c.alpha() < 200) continue;
        darkest = std::min(darkest, c.lightness());
        lightest = std::max(lightest, c.lightness());
    }
    EXPECT_LT(darkest, 40) << "a dark edge, seen on a light panel";
    EXPECT_GT(lightest, 215) << "a light edge, seen on a dark panel";

    const QImage paused = image(purple, IconMark::paused);
    EXPECT_LT(paused.pixelColor(32, 14).alpha(), 50) << "paused: the disc is hollow";
    const QImage byHand = image(purple, IconMark::byHand);
    EXPECT_EQ(byHand.pixelColor(51, 51), QColor(Qt::white)) << "set by hand: a white badge";
    EXPECT_NE(plain.pixelColor(51, 51), QColor(Qt::white));
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
