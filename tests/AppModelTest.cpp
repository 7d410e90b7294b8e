#include "AppModel.h"
#include "Desktop.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <QSettings>
#include <QSignalSpy>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Log.h"
#include "Wiring.h"
#include "support/FakeCapture.h"
#include "support/FakeLoginItem.h"
#include "support/QtWait.h"
#include "support/TempDir.h"
#include "support/VirtualLight.h"

using namespace tally;
using namespace tally::test;
using testing::ElementsAre;

namespace {

std::vector<std::string> logMessages() {
    std::ifstream in(Log::file());
    std::vector<std::string> messages;
    for (std::string line; std::getline(in, line);) messages.push_back(line.substr(20));
    return messages;
}

class AppModelTest : public testing::Test {
protected:
    TempDir dir;
    FakeLoginItem loginItem{dir.file("login-item")};
    int confirmations = 0;
    bool answerAdd = false;
    FakeCapture capture;

    void SetUp() override {
        Log::setFile(dir.file("Tally.log"), true);
        QSettings().clear();
    }
    void TearDown() override { Log::setEcho(false); }
    // Teams never runs here, and no microphone or camera is in use, whatever the machine does.
    Wiring::Services services() {
        return {[this] {
                    ++confirmations;
                    return answerAdd;
                },
                loginItem.service(), [] { return false; }, capture.factory()};
    }
    std::unique_ptr<AppModel> makeModel(const std::vector<std::string>& arguments) {
        return Wiring::model(CommandLine::parse(arguments).switches, services());
    }
    std::string autostartEntry() const { return loginItem.file(); }
};

}  // namespace

TEST_F(AppModelTest, dryRunEchoesAndPublishesOnlyRealChanges) {
    // The engine's snapshots counted on their way to the model.
    std::atomic<int> snapshots = 0;
    const Switches switches = CommandLine::parse({"--dry-run"}).switches;
    const auto makeEngine = Wiring::engineFor(switches, services(), [] { return false; });
    AppModel model(
        switches,
        [&](int brightness, Engine::UpdateCallback onUpdate) {
            return makeEngine(brightness, [&snapshots, onUpdate](const Engine::Snapshot& snapshot) {
                ++snapshots;
                onUpdate(snapshot);
            });
        },
        [] { return false; }, loginItem.service(), [](bool) {});
    EXPECT_TRUE(Log::echo());
    EXPECT_EQ(model.lightStatus(), QString("Light: looking\u2026"));
    QSignalSpy state(&model, &AppModel::stateChanged);
    QSignalSpy light(&model, &AppModel::lightStatusChanged);
    QSignalSpy readable(&model, &AppModel::logsReadableChanged);
    // Snapshots all alike: no Teams, no log folder, no light. Wait for the first, then for
    // three more ticks that must change nothing.
    ASSERT_TRUE(processEventsUntil([&] {
        return model.state() == LightState::off && model.lightStatus() == "Light: not found" && !model.logsReadable();
    }));
    const int seen = snapshots;
    ASSERT_TRUE(processEventsUntil([&] { return snapshots >= seen + 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(state.count(), 1);
    EXPECT_EQ(light.count(), 1);
    EXPECT_EQ(readable.count(), 1);
    EXPECT_EQ(logMessages().front(), "Tally started (dry run)");
}

TEST_F(AppModelTest, simulateCyclesWithReadableLogs) {
    auto model = makeModel({"--simulate", "--dry-run"});
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == LightState::available; }));
    EXPECT_TRUE(model->logsReadable());
    EXPECT_EQ(logMessages().front(), "Tally started (dry run) (simulate)");
    Log::setEcho(false);
}

TEST_F(AppModelTest, brightnessIsSavedAndReachesTheLight) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    {
        auto model = makeModel({"--dry-run"});
        EXPECT_EQ(model->brightness(), 100) << "nothing saved";
    }
    QSettings().setValue("brightness", 0);
    EXPECT_EQ(makeModel({"--dry-run"})->brightness(), 100) << "0 means 100";
    QSettings().setValue("brightness", 60);
    EXPECT_EQ(makeModel({"--dry-run"})->brightness(), 60) << "not offered in the menu, but a brightness";
    QSettings().setValue("brightness", 50);

    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--simulate", "--port", light.path()});
    EXPECT_EQ(model->brightness(), 50);
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() >= 3; }));
    QSignalSpy changed(model.get(), &AppModel::brightnessChanged);
    model->setBrightness(75);
    EXPECT_EQ(QSettings().value("brightness").toInt(), 75);
    EXPECT_EQ(changed.count(), 1);
    ASSERT_TRUE(processEventsUntil([&] { return light.lastReceived() == "B 75"; }));
    EXPECT_THAT(light.received(), testing::IsSupersetOf({"PING", "B 50", "C 0 255 0", "B 75"}));
    Log::setEcho(false);
}

TEST_F(AppModelTest, startAtLoginAsksFirstAndShowsTheOutcome) {
    auto model = makeModel({"--dry-run"});
    QSignalSpy changed(model.get(), &AppModel::startAtLoginChanged);
    model->setStartAtLogin(true);  // answered "Cancel"
    EXPECT_EQ(confirmations, 1);
    EXPECT_FALSE(model->startAtLogin());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(autostartEntry()));

    answerAdd = true;
    model->setStartAtLogin(true);
    EXPECT_TRUE(model->startAtLogin());
    EXPECT_TRUE(std::filesystem::exists(autostartEntry()));
    EXPECT_TRUE(makeModel({"--dry-run"})->startAtLogin()) << "read back at the next start";

    model->setStartAtLogin(false);
    EXPECT_EQ(confirmations, 2) << "turning off asks nothing";
    EXPECT_FALSE(model->startAtLogin());
    EXPECT_FALSE(std::filesystem::exists(autostartEntry()));
    std::vector<std::string> loginLines;
    for (const auto& m : logMessages())
        if (m.starts_with("start at login")) loginLines.push_back(m);
    EXPECT_THAT(loginLines, ElementsAre("start at login: on", "start at login: off"))
        << "Cancel logs nothing";
    Log::setEcho(false);
}

TEST_F(AppModelTest, sleepSwitchesTheLightOffFirstAndWakeSendsAgain) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--simulate", "--port", light.path()});
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() >= 3; }));
    model->willSleep();
    EXPECT_EQ(light.lastReceived(), "OFF") << "before the handler returns";
    EXPECT_EQ(logMessages().back(), platform::Desktop::machineName() + " going to sleep: light off");
    const std::size_t before = light.received().size();
    model->didWake();
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() > before; }));
    EXPECT_EQ(light.lastReceived(), "C 0 255 0");
    Log::setEcho(false);
}

// A saved value Tally cannot use gives that value's default and one line in the log; it never
// reaches the light.
TEST_F(AppModelTest, savedValuesThatCannotBeUsedGiveTheDefault) {
    for (const char* saved : {"-5", "1000", "99999999999", "bright", ""}) {
        SCOPED_TRACE(saved);
        QSettings().setValue("brightness", saved);
        EXPECT_EQ(makeModel({"--dry-run"})->brightness(), 100);
        // Among the model's first lines, whose order with the source's own is not fixed.
        EXPECT_THAT(logMessages(),
                    testing::Contains(std::string("the saved brightness (") + saved + ") cannot be used: 100 instead"));
    }
    QSettings().setValue("anyCall", "perhaps");
    EXPECT_TRUE(makeModel({"--dry-run"})->anyCall());
    EXPECT_THAT(logMessages(), testing::Contains("the saved anyCall (perhaps) cannot be used: on instead"));

    // Colours: each unusable value alone gives way, the others stand.
    QSettings().setValue("colour/available", "#123456");
    QSettings().setValue("colour/busy", "red");
    QSettings().setValue("colour/dnd", "#000000");  // black is the light off
    QSettings().setValue("colour/away", 7);
    QSettings().setValue("pulse/unknown", "maybe");
    QSettings().setValue("pulse/busy", "true");
    const auto model = makeModel({"--dry-run"});
    EXPECT_EQ(model->lookOf(LightState::available), (Look{0x12, 0x34, 0x56, false, 0}));
    EXPECT_EQ(model->lookOf(LightState::busy), (Look{255, 0, 0, true, 3000})) << "its saved pulse stands";
    EXPECT_EQ(model->lookOf(LightState::dnd), defaultPalette()[static_cast<std::size_t>(LightState::dnd)]);
    EXPECT_EQ(model->lookOf(LightState::away), defaultPalette()[static_cast<std::size_t>(LightState::away)]);
    EXPECT_EQ(model->lookOf(LightState::unknown), defaultPalette()[static_cast<std::size_t>(LightState::unknown)]);
    for (const char* line : {"the saved colour/busy (red) cannot be used: #ff0000 instead",
                             "the saved colour/dnd (#000000) cannot be used: #9600ff instead",
                             "the saved colour/away (7) cannot be used: #ff6e00 instead",
                             "the saved pulse/unknown (maybe) cannot be used: pulsing instead"}) {
        const auto messages = logMessages();
        EXPECT_EQ(std::count(messages.begin(), messages.end(), line), 1) << line;
    }
    EXPECT_EQ(QSettings().value("colour/busy").toString(), "red") << "the file is left as it was";

    // Working hours, the same way.
    QSettings().setValue("hours/on", "yes");
    QSettings().setValue("hours/days", "1,9");
    QSettings().setValue("hours/start", "25:00");
    QSettings().setValue("hours/end", "18:30");
    QSettings().setValue("hours/outside", "In a call");
    const auto hours = makeModel({"--dry-run"})->hours();
    EXPECT_EQ(hours.end, 18 * 60 + 30) << "the one usable value stands";
    EXPECT_EQ(hours, (WorkingHours{false, WorkingHours{}.days, 9 * 60, 18 * 60 + 30, LightState::off, false}));
    for (const char* line : {"the saved hours/on (yes) cannot be used: off instead",
                             "the saved hours/days (1,9) cannot be used: Monday to Friday instead",
                             "the saved hours/start (25:00) cannot be used: 09:00 instead",
                             "the saved hours/outside (In a call) cannot be used: Off instead"}) {
        const auto messages = logMessages();
        EXPECT_EQ(std::count(messages.begin(), messages.end(), line), 1) << line;
    }
}

TEST_F(AppModelTest, workingHoursAreSavedAndReadBack) {
    WorkingHours hours;
    hours.on = true;
    hours.days = {false, true, false, true, false, false, true};
    hours.start = 7 * 60 + 30;
    hours.end = 24 * 60;
    hours.outside = LightState::dnd;
    hours.manualOutside = true;
    makeModel({"--dry-run"})->setHours(hours);
    EXPECT_EQ(makeModel({"--dry-run"})->hours(), hours);
    EXPECT_THAT(logMessages(), testing::Contains("working hours: Tue Thu Sun 07:30-24:00, Do not disturb outside, "
                                                 "a status set by hand shows outside them"));
}

TEST_F(AppModelTest, aSettingsFileThatCannotBeReadOrSavedIsSaidOnce) {
#ifdef _WIN32
    GTEST_SKIP() << "file permissions as POSIX has them";
#else
    if (::geteuid() == 0) GTEST_SKIP() << "root reads and writes any file (the suite runs again as an ordinary user)";
#endif
    const std::string file = QSettings().fileName().toStdString();
    // Written past Qt, which keeps what it read of a file until the file changes.
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file) << "[General]\nbrightness=50\n";
    std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
    std::filesystem::permissions(file, std::filesystem::perms::none);
    std::filesystem::permissions(std::filesystem::path(file).parent_path(), std::filesystem::perms::owner_read |
                                                                               std::filesystem::perms::owner_exec);
    {
        auto model = makeModel({"--dry-run"});
        EXPECT_EQ(model->brightness(), 100);
        model->setBrightness(75);
        model->setBrightness(25);
        EXPECT_EQ(model->brightness(), 25) << "the choice holds while Tally runs";
    }
    std::filesystem::permissions(std::filesystem::path(file).parent_path(), std::filesystem::perms::owner_all);
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const auto messages = logMessages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(),
                         "cannot read the settings in " + file + ": Tally uses its defaults"), 1);
    EXPECT_EQ(std::count(messages.begin(), messages.end(),
                         "cannot save the settings in " + file + ": choices last until Tally quits"), 1);
}

// The microphones and cameras are watched only while "Any call" is on, with the simulation too:
// no program is named while it is off.
TEST_F(AppModelTest, microphonesAndCamerasAreWatchedOnlyWhileAnyCallIsOn) {
    capture.inUse = true;
    QSettings().setValue("anyCall", false);
    {
        auto model = makeModel({"--dry-run", "--simulate"});
        EXPECT_EQ(capture.running, 0);
        ASSERT_TRUE(processEventsUntil([&] { return model->state() == LightState::available; }));
        model->setAnyCall(true);
        EXPECT_EQ(capture.running, 1);
        model->setAnyCall(false);
        EXPECT_EQ(capture.running, 0);
        model->setAnyCall(true);
    }
    EXPECT_EQ(capture.running, 0) << "watching ends with the model";
    Log::setFile(dir.file("Tally-2.log"), true);
    auto model = makeModel({"--dry-run", "--simulate"});
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == LightState::inCall; }));
    const auto messages = logMessages();
    EXPECT_EQ(*std::find_if(messages.begin(), messages.end(),
                            [](const std::string& m) { return m.starts_with("light state: "); }),
              "light state: In a call")
        << "a call from the first tick: the simulation shows it too";
}

namespace {

// Lights as the engine sees them, set by the test.
struct StubLights final : Light {
    struct Said {
        std::atomic<bool> own = false;
        std::vector<std::string> others, blocked;
        std::optional<std::string> problem;
        std::mutex mutex;
    };
    std::shared_ptr<Said> said;
    explicit StubLights(std::shared_ptr<Said> s) : said(std::move(s)) {}
    void show(LightState) override {}
    void setBrightness(int) override {}
    void update() override {}
    void switchOffNow() override {}
    void invalidate() override {}
    void setPalette(const Palette&) override {}
    bool isConnected() const override { return said->own; }
    std::optional<std::string> firmwareVersion() const override { return "1.2"; }
    std::vector<std::string> otherLights() const override {
        const std::lock_guard lock(said->mutex);
        return said->others;
    }
    std::vector<std::string> blockedLights() const override {
        const std::lock_guard lock(said->mutex);
        return said->blocked;
    }
    std::optional<std::string> problem() const override {
        const std::lock_guard lock(said->mutex);
        return said->problem;
    }
};

}  // namespace

TEST_F(AppModelTest, theLightLineNamesEachLightByMakerAndWhatKeepsOneDark) {
    auto said = std::make_shared<StubLights::Said>();
    AppModel model(
        Switches{},
        [said](int, Engine::UpdateCallback onUpdate) {
            return std::make_unique<Engine>([] { return std::make_unique<SimulatedSource>(4); },
                                            std::make_unique<StubLights>(said), std::move(onUpdate),
                                            [](const std::string&) {});
        },
        [] { return false; }, loginItem.service(), [](bool) {});
    // Whether the line comes to read `expected` once the engine sees these lights.
    const auto reads = [&](bool own, std::vector<std::string> others, std::vector<std::string> blocked,
                           const std::string& expected) {
        {
            const std::lock_guard lock(said->mutex);
            said->own = own;
            said->others = std::move(others);
            said->blocked = std::move(blocked);
        }
        return processEventsUntil([&] { return model.lightStatus().toStdString() == expected; });
    };
    EXPECT_TRUE(reads(false, {}, {}, "Light: not found"));
    EXPECT_TRUE(reads(true, {}, {}, "Light: connected (firmware 1.2)"));
    EXPECT_TRUE(reads(false, {"Luxafor Flag"}, {}, "Light: Luxafor Flag, connected"));
    EXPECT_TRUE(reads(true, {"Luxafor Flag", "Kuando Busylight Omega"}, {},
                      "Lights: Tally light, Luxafor Flag, Kuando Busylight Omega"));
    EXPECT_TRUE(reads(false, {}, {"MuteMe Mini: permission denied"}, "Light: MuteMe Mini: permission denied"));
    EXPECT_TRUE(reads(true, {}, {"MuteMe Mini: permission denied"}, "Light: connected (firmware 1.2)"))
        << "a light that works is what the line is for";
    for (const std::string problem : {"permission denied on /dev/ttyACM0", "/dev/ttyACM9 does not exist"}) {
        {
            const std::lock_guard lock(said->mutex);
            said->problem = problem;
        }
        EXPECT_TRUE(reads(false, {}, {}, "Light: " + problem));
    }
}

// A status set by hand until changed outlasts a restart; a timed one does not, and a saved one
// Tally cannot use is automatic, said once.
TEST_F(AppModelTest, aStatusByHandUntilChangedIsKeptAndATimedOneIsNot) {
    {
        auto model = makeModel({"--dry-run"});
        model->showAs(LightState::busy, std::nullopt);
        EXPECT_EQ(trayToolTip(*model), "Busy: set by hand");
    }
    {
        auto model = makeModel({"--dry-run"});
        EXPECT_EQ(model->manual(), LightState::busy);
        EXPECT_THAT(logMessages(), testing::Contains("status set by hand: Busy until changed (as saved)"));
        model->showAs(LightState::away, 30);
        EXPECT_EQ(trayToolTip(*model), "Away / Be right back: set by hand until " + model->manualUntil());
        EXPECT_THAT(logMessages(), testing::Contains("status set by hand: Away / Be right back for 30 minutes, until " +
                                                     model->manualUntil().toStdString()));
    }
    {
        auto model = makeModel({"--dry-run"});
        EXPECT_FALSE(model->manual());
    }
    for (const char* saved : {"Purple", "In a call", "Unknown", "7"}) {
        QSettings().setValue("showAs", saved);
        auto model = makeModel({"--dry-run"});
        EXPECT_FALSE(model->manual()) << saved;
        EXPECT_THAT(logMessages(), testing::Contains(std::string("the saved showAs (") + saved +
                                                     ") cannot be used: automatic instead"));
    }
}
