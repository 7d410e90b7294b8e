// The Linux sleep path for real: a private bus standing in for the system bus, with a mock of
// logind that answers Inhibit and emits PrepareForSleep.
#include "SleepWatcher.h"

#include <algorithm>
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

    std::string gdbus(std::vector<std::string> call, const std::string& object = "/org/freedesktop/login1") {
        std::vector<std::string> args{"/usr/bin/gdbus", "call", "--system", "--dest", "org.freedesktop.login1",
                                      "--object-path", object, "--method"};
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

// The screen's lock, from logind's Lock and Unlock on this session's own object (found by the
// session's id); another session's lock is not this one's.
TEST_F(SleepWatcherTest, theSessionsLockAndUnlockAreHeardAndAnotherSessionsAreNot) {
    gdbus({"org.freedesktop.DBus.Mock.AddSession", "mine", "seat0", "1000", "me", "true"});
    gdbus({"org.freedesktop.DBus.Mock.AddSession", "theirs", "seat0", "1001", "them", "false"});
    ::setenv("XDG_SESSION_ID", "mine", 1);
    std::vector<bool> heard;
    std::vector<std::string> messages;
    auto watcher = platform::watchSleep([] {}, [] {}, [&](const std::string& m) { messages.push_back(m); },
                                        [&](bool locked) { heard.push_back(locked); });
    ASSERT_TRUE(processEventsUntil([&] { return tallyInhibits(); }));
    // The session's object is looked up after the bus answers: lock until it is heard.
    ASSERT_TRUE(processEventsUntil([&] {
        if (heard.empty()) gdbus({"org.freedesktop.login1.Session.Lock"}, "/org/freedesktop/login1/session/mine");
        return !heard.empty();
    })) << (messages.empty() ? "" : messages.front());
    gdbus({"org.freedesktop.login1.Session.Lock"}, "/org/freedesktop/login1/session/theirs");
    gdbus({"org.freedesktop.login1.Session.Unlock"}, "/org/freedesktop/login1/session/mine");
    ASSERT_TRUE(processEventsUntil([&] { return heard.size() >= 2 && !heard.back(); }));
    EXPECT_TRUE(std::all_of(heard.begin(), heard.end() - 1, [](bool locked) { return locked; }))
        << "only this session's lock, then its unlock";
    EXPECT_TRUE(messages.empty());
    ::unsetenv("XDG_SESSION_ID");
}
