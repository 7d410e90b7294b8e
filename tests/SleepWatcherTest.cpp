// The Linux sleep path for real: a private bus standing in for the system bus, with a mock of
// logind that answers Inhibit and emits PrepareForSleep.
#include "SleepWatcher.h"

#include <cstdlib>

#include "AppModel.h"
#include "Wiring.h"
#include "Log.h"
#include "support/FakeLoginItem.h"
#include "support/TempDir.h"
#include "support/VirtualLight.h"

#include <gtest/gtest.h>

#include "support/Process.h"
#include "support/QtWait.h"

using namespace tally;
using namespace tally::test;
using namespace std::chrono_literals;

namespace {

class SleepWatcherTest : public testing::Test {
protected:
    std::unique_ptr<Process> bus;
    std::unique_ptr<Process> logind;
    std::string address;

    void SetUp() override {
        bus = std::make_unique<Process>(
            std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--print-address=1", "--nofork"},
            std::vector<std::string>{});
        address = bus->readUntil([](const std::string& o) { return o.find('\n') != std::string::npos; }, 10s);
        address = address.substr(0, address.find('\n'));
        ASSERT_FALSE(address.empty());
        logind = std::make_unique<Process>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"},
            std::vector<std::string>{"DBUS_SYSTEM_BUS_ADDRESS=" + address});
        ASSERT_TRUE(processEventsUntil([&] { return inhibitors().find("(@a") == 0 || inhibitors().find("([") == 0; }))
            << "the logind mock did not come up";
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }

    std::string gdbus(std::vector<std::string> call) {
        std::vector<std::string> args{"/usr/bin/gdbus", "call", "--system", "--dest", "org.freedesktop.login1",
                                      "--object-path", "/org/freedesktop/login1", "--method"};
        args.insert(args.end(), call.begin(), call.end());
        Process p(args, {"DBUS_SYSTEM_BUS_ADDRESS=" + address});
        return p.readUntil([](const std::string&) { return false; }, 10s);
    }
    std::string inhibitors() { return gdbus({"org.freedesktop.login1.Manager.ListInhibitors"}); }
    bool tallyInhibits() { return inhibitors().find("'Tally'") != std::string::npos; }
    void prepareForSleep(bool sleeping) {
        gdbus({"org.freedesktop.DBus.Mock.EmitSignal", "org.freedesktop.login1.Manager",
               "PrepareForSleep", "b", sleeping ? "[<true>]" : "[<false>]"});
    }
};

}  // namespace

TEST_F(SleepWatcherTest, holdsADelayUntilTheLightIsOffAndTakesItAgainAfterWake) {
    int sleeps = 0, wakes = 0;
    bool inhibitedDuringSleep = false;
    std::vector<std::string> messages;
    auto watcher = platform::watchSleep(
        [&] {
            ++sleeps;
            inhibitedDuringSleep = tallyInhibits();  // logind still waits for us here
        },
        [&] { ++wakes; }, [&](const std::string& m) { messages.push_back(m); });
    EXPECT_TRUE(messages.empty()) << messages.front();
    ASSERT_TRUE(processEventsUntil([&] { return tallyInhibits(); }));
    EXPECT_NE(inhibitors().find("'delay'"), std::string::npos);

    prepareForSleep(true);
    ASSERT_TRUE(processEventsUntil([&] { return sleeps == 1; }));
    EXPECT_TRUE(inhibitedDuringSleep);
    EXPECT_TRUE(processEventsUntil([&] { return !tallyInhibits(); })) << "let go once the light is off";

    prepareForSleep(false);
    ASSERT_TRUE(processEventsUntil([&] { return wakes == 1; }));
    EXPECT_TRUE(processEventsUntil([&] { return tallyInhibits(); }));
    EXPECT_EQ(sleeps, 1);
}

TEST_F(SleepWatcherTest, nothingButOffReachesTheLightFromSleepToWake) {
    TempDir dir;
    Log::setFile(dir.file("Tally.log"), true);
    VirtualLight light(dir.file("light.txt"));
    // Simulated presence changes every four seconds: a change while asleep must stay dark.
    FakeLoginItem loginItem(dir.file("login-item"));
    auto made = Wiring::model(CommandLine::parse({"--simulate", "--port", light.path()}).switches,
                              {{}, loginItem.service()});
    AppModel& model = *made;
    const auto sleep = Wiring::watchSleep(model);
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() >= 3; }));
    ASSERT_TRUE(processEventsUntil([&] { return tallyInhibits(); })) << "watching, which starts unawaited";

    prepareForSleep(true);
    ASSERT_TRUE(processEventsUntil([&] { return light.lastReceived() == "OFF"; }));
    const std::size_t asleep = light.received().size();
    const LightState before = model.state();
    ASSERT_TRUE(processEventsUntil([&] { return model.state() != before; }))
        << "the simulated state moved on while asleep";
    EXPECT_EQ(light.received().size(), asleep) << light.lastReceived();

    prepareForSleep(false);
    ASSERT_TRUE(processEventsUntil([&] { return light.received().size() > asleep; }));
    EXPECT_EQ(light.lastReceived(), command(model.state())) << "the current colour after wake";
    Log::setEcho(false);
}
