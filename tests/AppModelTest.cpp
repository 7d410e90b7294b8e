#include "AppModel.h"
#include "Desktop.h"

#include <filesystem>
#include <fstream>

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

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
        QSettings().remove("brightness");
    }
    // Teams never runs here, and no microphone or camera is in use, whatever the machine does.
    std::unique_ptr<AppModel> makeModel(const std::vector<std::string>& arguments) {
        return Wiring::model(CommandLine::parse(arguments).switches, {[this] {
                                            ++confirmations;
                                            return answerAdd;
                                        },
                                        loginItem.service(), [] { return false; }, capture.factory()});
    }
    std::string autostartEntry() const { return loginItem.file(); }
};

}  // namespace

TEST_F(AppModelTest, dryRunEchoesAndPublishesOnlyRealChanges) {
    auto model = makeModel({"--dry-run"});
    EXPECT_TRUE(Log::echo());
    EXPECT_EQ(model->lightStatus(), QString("Light: looking\u2026"));
    QSignalSpy state(model.get(), &AppModel::stateChanged);
    QSignalSpy light(model.get(), &AppModel::lightStatusChanged);
    QSignalSpy readable(model.get(), &AppModel::logsReadableChanged);
    // Snapshots all alike: no Teams, no log folder, no light. Wait for the first, then for a
    // few more ticks that must change nothing.
    ASSERT_TRUE(processEventsUntil([&] {
        return model->state() == LightState::off && model->lightStatus() == "Light: not found" &&
               !model->logsReadable();
    }));
    QTest::qWait(1600);
    EXPECT_EQ(state.count(), 1);
    EXPECT_EQ(light.count(), 1);
    EXPECT_EQ(readable.count(), 1);
    EXPECT_EQ(logMessages().front(), "Tally started (dry run)");
    Log::setEcho(false);
}

TEST_F(AppModelTest, simulateCyclesWithReadableLogs) {
    auto model = makeModel({"--simulate", "--dry-run"});
    ASSERT_TRUE(processEventsUntil([&] { return model->state() == LightState::available; }));
    EXPECT_TRUE(model->logsReadable());
    EXPECT_EQ(logMessages().front(), "Tally started (dry run) (simulate)");
    Log::setEcho(false);
}

TEST_F(AppModelTest, brightnessIsSavedAndReachesTheLight) {
    {
        auto model = makeModel({"--dry-run"});
        EXPECT_EQ(model->brightness(), 100) << "nothing saved";
    }
    QSettings().setValue("brightness", 0);
    EXPECT_EQ(makeModel({"--dry-run"})->brightness(), 100) << "0 means 100";
    QSettings().setValue("brightness", 50);

    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--simulate", "--port", light.path()});
    EXPECT_EQ(model->brightness(), 50);
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() >= 3; }));
    QSignalSpy changed(model.get(), &AppModel::brightnessChanged);
    model->setBrightness(75);
    EXPECT_EQ(QSettings().value("brightness").toInt(), 75);
    EXPECT_EQ(changed.count(), 1);
    ASSERT_TRUE(processEventsUntil([&] { return light.received().back() == "B 75"; }));
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
    VirtualLight light(dir.file("light.txt"));
    auto model = makeModel({"--simulate", "--port", light.path()});
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() >= 3; }));
    model->willSleep();
    EXPECT_EQ(light.received().back(), "OFF") << "before the handler returns";
    EXPECT_EQ(logMessages().back(), platform::Desktop::machineName() + " going to sleep: light off");
    const std::size_t before = light.received().size();
    model->didWake();
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() > before; }));
    EXPECT_EQ(light.received().back(), "C 0 255 0");
    Log::setEcho(false);
}
