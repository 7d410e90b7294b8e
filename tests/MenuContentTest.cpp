#include "MenuContent.h"
#include "Desktop.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppModel.h"
#include "Log.h"
#include "Wiring.h"
#ifdef TALLY_NODE
#include "support/FirmwareLight.h"
#endif
#include "support/FakeCapture.h"
#include "support/FakeLoginItem.h"
#include "support/QtWait.h"
#include "support/TempDir.h"
#include "support/VirtualLight.h"

using namespace tally;
using namespace tally::test;
using testing::ElementsAre;

namespace {

// The visible entries as a person reads them: "---" for a separator, "[x] " before a checked
// entry, the submenu's entries after "> ".
std::vector<std::string> entries(const QMenu& menu) {
    std::vector<std::string> out;
    for (const QAction* a : menu.actions()) {
        if (!a->isVisible()) continue;
        if (a->isSeparator()) {
            out.push_back("---");
            continue;
        }
        out.push_back((a->isChecked() ? "[x] " : "") + a->text().toStdString());
        if (a->menu())
            for (const QAction* sub : a->menu()->actions())
                out.push_back("> " + std::string(sub->isChecked() ? "[x] " : "") + sub->text().toStdString());
    }
    return out;
}

QAction* find(const QMenu& menu, const QString& text) {
    for (QAction* a : menu.findChildren<QAction*>())
        if (a->text() == text) return a;
    return nullptr;
}

class MenuContentTest : public testing::Test {
protected:
    TempDir dir;
    FakeLoginItem loginItem{dir.file("login-item")};
    bool answerAdd = false;
    FakeCapture capture;
    QMenu menu;

    void SetUp() override {
        Log::setFile(dir.file("Tally.log"), true);
        QSettings().remove("brightness");
        QSettings().remove("anyCall");
        QSettings().remove("showAs");
        QSettings().remove("neverCalls");
        QSettings().remove("hours");
    }
    void TearDown() override { Log::setEcho(false); }
    // Teams never runs here, and a microphone or camera is in use only when the test says so.
    std::unique_ptr<AppModel> makeModel(const std::vector<std::string>& arguments) {
        return Wiring::model(CommandLine::parse(arguments).switches,
                             {[this] { return answerAdd; }, loginItem.service(), [] { return false; }, capture.factory()});
    }
};

}  // namespace

TEST_F(MenuContentTest, entriesWhileTheLogsCannotBeReadAndPaused) {
    auto model = makeModel({"--dry-run"});
    MenuContent content(*model, menu);
    ASSERT_TRUE(processEventsUntil([&] { return !model->logsReadable(); }));
    model->setPaused(true);
    EXPECT_THAT(entries(menu),
                ElementsAre("Teams: Off (paused)", "Light: not found",
                            platform::Desktop::unreadableLogsItem(), "---",
                            "Show as: Automatic", "> [x] Automatic", "> ", "> Available", "> Busy",
                            "> Do not disturb", "> Away / Be right back", "> Off",
                            "Brightness", "> 25 %", "> 50 %", "> 75 %", "> [x] 100 %",
                            "[x] Pause light", "[x] Any call (microphone or camera in use)", "> [x] On", "> ",
                            "> In use now: none", "Test colours", "Preferences\u2026", "---", "Start at login", "View log",
                            "---", "Quit Tally"));
    EXPECT_EQ(content.quitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

TEST_F(MenuContentTest, fourteenEntriesWhileTheLogsAreReadable) {
    auto model = makeModel({"--simulate", "--dry-run"});
    MenuContent content(*model, menu);
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == LightState::available; }));
    const auto shown = entries(menu);
    const QList<QAction*> actions = menu.actions();
    EXPECT_EQ(std::count_if(actions.begin(), actions.end(), [](QAction* a) { return a->isVisible(); }),
              14);
    EXPECT_THAT(std::vector(shown.begin(), shown.begin() + 3),
                ElementsAre("Teams: Available", "Light: not found", "---"));
}

// A status by hand from the menu: marked, its end in the title, shown on the light instead of
// what Teams says, and automatic again from the same menu.
TEST_F(MenuContentTest, showAsSetsAStatusByHandAndAutomaticEndsIt) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--port", light.path()});
    MenuContent content(*model, menu);
    ASSERT_TRUE(processEventsUntil([&] { return light.lastReceived() == "OFF"; })) << "Teams is not running";

    QAction* busy = find(menu, "Busy");
    ASSERT_NE(busy, nullptr);
    find(*busy->menu(), "For 1 hour")->trigger();
    EXPECT_TRUE(busy->isChecked());
    EXPECT_FALSE(find(menu, "Automatic")->isChecked());
    EXPECT_TRUE(find(menu, "Show as: Busy (until " + model->manualUntil() + ")"));
    EXPECT_EQ(model->manualUntil().size(), 5) << "hours and minutes";
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "C 255 0 0"; }));
    EXPECT_EQ(QSettings().value("showAs").toString(), "automatic") << "a timed status is not kept";

    find(*find(menu, "Do not disturb")->menu(), "Until changed")->trigger();
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "C 150 0 255"; }));
    EXPECT_TRUE(find(menu, "Show as: Do not disturb"));
    EXPECT_FALSE(busy->isChecked());
    EXPECT_EQ(QSettings().value("showAs").toString(), "Do not disturb");

    find(menu, "Automatic")->trigger();
    EXPECT_TRUE(find(menu, "Automatic")->isChecked());
    EXPECT_TRUE(find(menu, "Show as: Automatic"));
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "OFF"; }));
    EXPECT_EQ(QSettings().value("showAs").toString(), "automatic");
}

TEST_F(MenuContentTest, brightnessMarksFollowTheModelAndChoicesReachTheLight) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    QSettings().setValue("brightness", 60);  // not an option: nothing marked
    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--simulate", "--port", light.path()});
    MenuContent content(*model, menu);
    for (int value : MenuContent::brightnessOptions)
        EXPECT_FALSE(find(menu, QString("%1 %").arg(value))->isChecked());
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() >= 3; }));

    find(menu, "25 %")->trigger();
    EXPECT_TRUE(find(menu, "25 %")->isChecked());
    EXPECT_FALSE(find(menu, "100 %")->isChecked());
    EXPECT_EQ(QSettings().value("brightness").toInt(), 25);
    ASSERT_TRUE(processEventsUntil([&] { return light.lastReceived() == "B 25"; }));
    find(menu, "25 %")->trigger();
    EXPECT_TRUE(find(menu, "25 %")->isChecked()) << "choosing the marked option keeps it marked";
}

// With Teams not running the light is off, but a microphone in use is a call while the item is
// checked, as it is at first; the choice is saved, and pausing still darkens the light.
TEST_F(MenuContentTest, anyCallLightsACallWhileCheckedAndIsSaved) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    auto lastIs = [&](const std::string& command) {
        return processEventsUntil([&] { return light.lastReceived() == command; });
    };
    {
        auto model = makeModel({"--port", light.path()});
        MenuContent content(*model, menu);
        QAction* item = find(menu, "On");
        EXPECT_TRUE(item->isChecked());
        ASSERT_TRUE(processEventsUntil([&] { return light.received().size() >= 3; }));
        ASSERT_TRUE(lastIs("OFF"));
        capture.inUse = true;
        ASSERT_TRUE(lastIs("P 255 0 0 3000"));
        EXPECT_TRUE(processEventsUntil([&] { return model->state() == LightState::inCall; }));

        item->trigger();
        EXPECT_FALSE(item->isChecked());
        ASSERT_TRUE(lastIs("OFF"));
        EXPECT_FALSE(QSettings().value("anyCall").toBool());
        menu.clear();
    }
    auto model = makeModel({"--port", light.path()});
    EXPECT_FALSE(model->anyCall()) << "saved between runs";
    model->setAnyCall(true);
    ASSERT_TRUE(lastIs("P 255 0 0 3000"));
    model->setPaused(true);
    EXPECT_TRUE(lastIs("OFF")) << "pause keeps its precedence";
    const auto log = linesOf(Log::file());
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& line) {
                  return line.ends_with("any call (microphone or camera): off");
              }), 1);
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& line) {
                  return line.ends_with("any call (microphone or camera): on");
              }), 1);
}

TEST_F(MenuContentTest, startAtLoginShowsWhatTheModelSettledOn) {
    auto model = makeModel({"--dry-run"});
    MenuContent content(*model, menu);
    QAction* item = find(menu, "Start at login");
    item->trigger();  // answered "Cancel"
    EXPECT_FALSE(item->isChecked());
    answerAdd = true;
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    item->trigger();
    EXPECT_FALSE(item->isChecked());
}

#ifdef TALLY_NODE
TEST_F(MenuContentTest, quitTurnsTheFirmwaresLedsDark) {
    FirmwareLight light(dir.file("leds.txt"));
    ASSERT_TRUE(light.eventuallyShows("0 0 0"));
    auto model = makeModel({"--simulate", "--port", light.path()});
    MenuContent content(*model, menu);
    ASSERT_TRUE(processEventsUntil([&] { return light.colours().size() >= 2; }, std::chrono::seconds(30)))
        << "the simulation's first colour";
    QTimer::singleShot(0, content.quitAction(), &QAction::trigger);
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });  // a safety net only
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(light.eventuallyShows("0 0 0")) << "dark after Quit Tally";
}
#endif

TEST_F(MenuContentTest, quitSwitchesTheLightOffFirst) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--simulate", "--port", light.path()});
    MenuContent content(*model, menu);
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() >= 3; }));
    bool quitAsked = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quitAsked = true; });
    QTimer::singleShot(0, content.quitAction(), &QAction::trigger);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });  // a safety net only
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(quitAsked);
    EXPECT_EQ(light.lastReceived(), "OFF");
}

TEST_F(MenuContentTest, viewLogWithNothingToOpenItSaysWhereTheLogIs) {
    qputenv("PATH", QByteArray::fromStdString(dir.path().string()));  // no xdg-open, no browser
    auto model = makeModel({"--dry-run", "--simulate"});
    MenuContent content(*model, menu);
    find(menu, "View log")->trigger();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(processEventsUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if ((box = qobject_cast<QMessageBox*>(w)) && box->isVisible()) return true;
        return false;
    }));
    EXPECT_EQ(box->text(), QString::fromStdString("Tally's activity log is " + dir.file("Tally.log")));
    box->close();
}

// The Preferences window through its real widgets: one window however often it is asked for,
// a colour picked for a state reaches the light and is saved, a pulse too, and "Restore
// defaults" brings Tally's own colours and brightness back.
TEST_F(MenuContentTest, preferencesChooseAColourAndAPulseThatTheLightShowsAndRestoreDefaults) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    QSettings().remove("colour");
    QSettings().remove("pulse");
    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--port", light.path()});
    MenuContent content(*model, menu);
    find(*find(menu, "Busy")->menu(), "Until changed")->trigger();
    ASSERT_TRUE(processEventsUntil([&] { return light.lastReceived() == "C 255 0 0"; }));

    find(menu, "Preferences\u2026")->trigger();
    find(menu, "Preferences\u2026")->trigger();
    const auto windows = QApplication::topLevelWidgets();
    const auto preferences = std::count_if(windows.begin(), windows.end(), [](QWidget* w) {
        return w->windowTitle() == "Tally Preferences" && w->isVisible();
    });
    ASSERT_EQ(preferences, 1) << "asked twice, one window";
    QWidget* window = *std::find_if(windows.begin(), windows.end(),
                                    [](QWidget* w) { return w->windowTitle() == "Tally Preferences"; });

    window->findChild<QPushButton*>("colour-busy")->click();
    auto* picker = window->findChild<QColorDialog*>();
    ASSERT_NE(picker, nullptr);
    picker->setCurrentColor(QColor(255, 255, 255));
    picker->accept();
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "C 255 255 255"; }));
    EXPECT_EQ(QSettings().value("colour/busy").toString(), "#ffffff");
    EXPECT_EQ(window->findChild<QPushButton*>("colour-busy")->text(), "#ffffff");

    window->findChild<QCheckBox*>("pulse-busy")->click();
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "P 255 255 255 3000"; }));
    EXPECT_EQ(QSettings().value("pulse/busy").toString(), "true");

    auto* brightness = window->findChild<QComboBox*>("brightness");
    brightness->setCurrentIndex(0);
    emit brightness->activated(0);
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "B 25"; }));

    window->findChild<QPushButton*>("restore")->click();
    // The brightness goes at once, the colour at the next tick.
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "C 255 0 0"; }));
    const auto received = light.received();
    EXPECT_EQ(*std::find_if(received.rbegin(), received.rend(), [](const std::string& line) { return line.starts_with("B "); }),
              "B 100");
    EXPECT_FALSE(window->findChild<QCheckBox*>("pulse-busy")->isChecked());
    EXPECT_FALSE(QSettings().contains("colour/busy"));
    window->close();
}

// A program that makes no call: named in the submenu while it uses a microphone, never counted
// once ticked (saved), counted again once unticked.
TEST_F(MenuContentTest, aProgramNeverCountedAsACallIsNoCall) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    capture.program = "voice-assistant";
    auto model = makeModel({"--port", light.path()});
    MenuContent content(*model, menu);
    capture.inUse = true;
    ASSERT_TRUE(processEventsUntil([&] { return light.lastReceived() == "P 255 0 0 3000"; }));

    ASSERT_TRUE(processEventsUntil([&] { return model->state() == LightState::inCall; }));
    EXPECT_EQ(trayToolTip(*model).toStdString(), "In a call: microphone or camera used by voice-assistant");
    QMenu* anyCall = find(menu, "Any call (microphone or camera in use)")->menu();
    emit anyCall->aboutToShow();
    EXPECT_TRUE(find(*anyCall, "In use now: voice-assistant"));
    QAction* never = find(*anyCall, "Never count voice-assistant as a call");
    ASSERT_NE(never, nullptr);
    EXPECT_FALSE(never->isChecked());
    never->trigger();
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "OFF"; })) << "no call: Teams is not running";
    EXPECT_EQ(QSettings().value("neverCalls").toStringList(), QStringList{"voice-assistant"});

    capture.inUse = false;
    emit anyCall->aboutToShow();
    QAction* still = find(*anyCall, "Never count voice-assistant as a call");
    ASSERT_NE(still, nullptr) << "an ignored program stays listed, to be counted again";
    EXPECT_TRUE(still->isChecked());
    capture.inUse = true;
    still->trigger();
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "P 255 0 0 3000"; }));
    EXPECT_TRUE(QSettings().value("neverCalls").toStringList().isEmpty());
}

// Working hours from the Preferences window: outside them (no working day at all, here) the
// light shows the chosen state and the tray says why; without them, Teams again. "Until the end
// of the working day" is offered only within them.
TEST_F(MenuContentTest, workingHoursFromPreferencesDarkenTheLightOutsideThem) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    QSettings().remove("hours");
    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--simulate", "--port", light.path()});
    MenuContent content(*model, menu);
    find(menu, "Preferences\u2026")->trigger();
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == "Tally Preferences") window = w;
    ASSERT_NE(window, nullptr);

    auto* hours = window->findChild<QGroupBox*>("hours");
    hours->setChecked(true);
    for (int day = 1; day <= 7; ++day) window->findChild<QCheckBox*>(QString("day-%1").arg(day))->setChecked(false);
    auto* outside = window->findChild<QComboBox*>("outside");
    outside->setCurrentIndex(outside->findText("Away / Be right back"));
    emit outside->activated(outside->currentIndex());
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "C 255 110 0"; }));
    EXPECT_TRUE(processEventsUntil([&] { return model->outsideHours(); }));
    EXPECT_EQ(trayToolTip(*model).toStdString(), "Outside working hours");
    EXPECT_EQ(QSettings().value("hours/days").toString(), "");
    EXPECT_EQ(QSettings().value("hours/outside").toString(), "Away / Be right back");

    emit find(menu, "Show as: Automatic")->menu()->aboutToShow();
    EXPECT_FALSE(find(*find(menu, "Busy")->menu(), "Until the end of the working day")->isVisible());

    hours->setChecked(false);
    EXPECT_TRUE(processEventsUntil([&] { return !model->outsideHours(); }));
    EXPECT_EQ(QSettings().value("hours/on").toString(), "false");
    window->close();
}

TEST_F(MenuContentTest, untilTheEndOfTheWorkingDayLastsToItsEnd) {
    auto model = makeModel({"--dry-run"});
    MenuContent content(*model, menu);
    WorkingHours always;
    always.on = true;
    always.days.fill(true);
    always.start = 0;
    always.end = 24 * 60;
    model->setHours(always);
    emit find(menu, "Show as: Automatic")->menu()->aboutToShow();
    QAction* endOfDay = find(*find(menu, "Busy")->menu(), "Until the end of the working day");
    ASSERT_TRUE(endOfDay->isVisible());
    endOfDay->trigger();
    EXPECT_EQ(model->manual(), LightState::busy);
    EXPECT_EQ(model->manualUntil(), "00:00") << "midnight, the end of this working day";
    EXPECT_EQ(QSettings().value("showAs").toString(), "automatic") << "a status with an end is not kept";
}

// "Dark while the screen is locked", from Preferences: saved, and the lock the system reports
// darkens the light until the unlock; without the choice the lock changes nothing.
TEST_F(MenuContentTest, darkWhileTheScreenIsLockedWhenThePersonChoosesIt) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    QSettings().remove("darkWhenLocked");
    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--port", light.path()});
    MenuContent content(*model, menu);
    model->showAs(LightState::busy, std::nullopt);
    ASSERT_TRUE(processEventsUntil([&] { return light.lastReceived() == "C 255 0 0"; }));
    model->screenLockChanged(true);
    EXPECT_FALSE(model->darkForLock()) << "not chosen: the lock changes nothing";
    EXPECT_EQ(trayToolTip(*model).toStdString(), "Busy: set by hand");

    find(menu, "Preferences\u2026")->trigger();
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == "Tally Preferences") window = w;
    ASSERT_NE(window, nullptr);
    window->findChild<QCheckBox*>("darkWhenLocked")->click();
    EXPECT_EQ(QSettings().value("darkWhenLocked").toString(), "true");
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "OFF"; }));
    EXPECT_EQ(trayToolTip(*model).toStdString(), "Screen locked");
    model->screenLockChanged(false);
    EXPECT_TRUE(processEventsUntil([&] { return light.lastReceived() == "C 255 0 0"; }));
    window->close();
}
