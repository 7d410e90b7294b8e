#include "LightDevice.h"
#include "SerialPorts.h"

#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/FakeClock.h"
#include "support/FakeSerialLink.h"
#include "support/TempDir.h"
#ifndef _WIN32
#include "support/Unprivileged.h"
#endif
#include "support/VirtualLight.h"

using namespace tally;
using namespace tally::test;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class LightDeviceTest : public testing::Test {
protected:
    TempDir dir;
    FakeClock clock;
    std::vector<std::string> messages;
    int attempts = 0;
    std::vector<std::string> ports;  // what discovery finds

    LogCallback log() {
        return [this](const std::string& m) { messages.push_back(m); };
    }
    // Over a real terminal, a light that answers is given ample time: a loaded machine may be
    // slow to run the virtual light.
    static constexpr double slowMachine = 30;
    std::unique_ptr<LightDevice> onPort(const std::string& port) {
        auto device = std::make_unique<LightDevice>(port, log(), clock.function());
        device->setAnswerTimeout(slowMachine);
        return device;
    }
    // A device on the fake link, its port named "fake"; the fake clock times its answers too.
    std::unique_ptr<LightDevice> onFake(FakeLight& light) {
        return std::make_unique<LightDevice>("fake", log(), clock.function(), &LightDevice::findPorts,
                                             light.opener(), clock.function());
    }
    std::unique_ptr<LightDevice> discovering() {
        auto device = std::make_unique<LightDevice>(std::nullopt, log(), clock.function(), [this] {
            ++attempts;
            return ports;
        });
        device->setAnswerTimeout(slowMachine);
        return device;
    }
    std::string record(const std::string& name = "light") { return dir.file(name + ".txt"); }
};

}  // namespace

TEST_F(LightDeviceTest, handshakeGivesTheFirmwareThenBrightnessThenColour) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--firmware", "2.0"}, "2.0"},
        {{"--firmware", "2.0", "--crlf"}, "2.0"},
        {{"--version", ""}, ""},  // the older name of --firmware
        {{"--pong", "PONG\u21921.2"}, "1.2"},  // five characters go, not five bytes
    };
    for (const auto& [options, version] : cases) {
        SCOPED_TRACE(testing::PrintToString(options));
        std::filesystem::remove(record());
        messages.clear();
        VirtualLight light(record(), options);
        auto device = onPort(light.path());
        device->setBrightness(50);
        device->show("C 255 0 0");
        device->update();
        EXPECT_TRUE(device->isConnected());
        EXPECT_EQ(device->firmwareVersion(), version);
        EXPECT_EQ(device->portPath(), light.path());
        EXPECT_THAT(messages, ElementsAre("light connected on " + light.path() + " (firmware " +
                                          version + ")"));
        EXPECT_THAT(light.received(), ElementsAre("PING", "B 50", "C 255 0 0"));
    }
}

TEST_F(LightDeviceTest, sendsOnlyWhatDiffersAndAgainAfterInvalidate) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(record());
    auto device = onPort(light.path());
    device->show("C 0 255 0");
    device->update();
    device->show("C 0 255 0");
    device->update();
    device->invalidate();
    device->update();
    device->setBrightness(75);
    device->show("OFF");
    device->update();
    EXPECT_THAT(light.received(),
                ElementsAre("PING", "B 100", "C 0 255 0", "C 0 255 0", "B 75", "OFF"));
    EXPECT_THAT(messages, testing::SizeIs(1));
}

TEST_F(LightDeviceTest, keepAliveAfterMoreThanThirtyQuietSeconds) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(record());
    auto device = onPort(light.path());
    device->show("OFF");
    device->update();
    clock.advance(LightDevice::keepAliveAfter);
    device->update();
    EXPECT_THAT(light.received(), ElementsAre("PING", "B 100", "OFF")) << "exactly 30 s is quiet";
    clock.advance(0.01);
    device->update();
    device->update();
    EXPECT_THAT(light.received(), ElementsAre("PING", "B 100", "OFF", "PING"));
}

TEST_F(LightDeviceTest, lostLightIsLookedForEveryThreeSecondsAndBroughtUpToDate) {
    auto first = std::make_unique<VirtualLight>(record("first"), std::vector<std::string>{"--vanish-after", "4"});
    ports = {first->path()};
    auto device = discovering();
    device->setBrightness(25);
    device->show("C 0 255 0");
    device->update();
    EXPECT_EQ(attempts, 1);
    device->show("C 255 0 0");
    device->update();  // the fourth line: the light vanishes without answering
    EXPECT_FALSE(device->isConnected());
    EXPECT_FALSE(device->portPath());
    EXPECT_EQ(device->firmwareVersion(), "1.0") << "kept until the next handshake";
    EXPECT_EQ(messages.back(), "light disconnected or not answering");
    first.reset();

    VirtualLight second(record("second"));
    ports = {second.path()};
    clock.advance(1);
    device->update();
    EXPECT_EQ(attempts, 1) << "no attempt before three seconds have passed";
    clock.advance(2);
    device->update();
    EXPECT_EQ(attempts, 2);
    EXPECT_TRUE(device->isConnected());
    EXPECT_THAT(second.received(), ElementsAre("PING", "B 25", "C 255 0 0"));
}

TEST_F(LightDeviceTest, anOddAnswerIsLoggedAndCountsAsDelivered) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(record(), {"--answer", "NOPE"});
    auto device = onPort(light.path());
    device->show("C 255 0 0");
    device->update();
    device->update();
    EXPECT_TRUE(device->isConnected());
    EXPECT_THAT(light.received(), ElementsAre("PING", "B 100", "C 255 0 0"));
    EXPECT_THAT(messages, ElementsAre("light connected on " + light.path() + " (firmware 1.0)",
                                      "light replied NOPE to B 100",
                                      "light replied NOPE to C 255 0 0"));
}

TEST_F(LightDeviceTest, twoAnswersInOneReadAnswerTwoCommands) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(record(), {"--double"});
    auto device = onPort(light.path());
    device->show("C 255 0 0");
    device->update();
    device->show("OFF");
    device->update();
    EXPECT_TRUE(device->isConnected());
    EXPECT_THAT(messages, testing::SizeIs(1)) << "every answer was accepted silently";
}

TEST_F(LightDeviceTest, portsThatAreNotALight) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    // A fixed port that does not exist: said once, tried again every three seconds.
    auto missing = onPort(dir.file("no-such-port"));
    missing->update();
    clock.advance(3);
    missing->update();
    EXPECT_THAT(messages, ElementsAre(dir.file("no-such-port") + ": no such port"));

    // Devices that answer the handshake wrongly, or not at all, are named.
    using F = FakeLight::Fault;
    for (const F fault : {F::refuseHandshake, F::silent, F::babbling, F::late, F::vanished}) {
        SCOPED_TRACE(static_cast<int>(fault));
        messages.clear();
        FakeLight light;
        light.fault = fault;
        auto device = onFake(light);
        device->update();
        EXPECT_FALSE(device->isConnected());
        EXPECT_THAT(messages, ElementsAre("fake did not answer PING, not a Tally"));
    }
    // And the same over a real terminal, where the waiting and the bytes are real.
    for (auto option : {"--refuse-handshake", "--garbage", "--silent", "--babble"}) {
        SCOPED_TRACE(option);
        messages.clear();
        VirtualLight light(record(option), {option});
        LightDevice device(light.path(), log(), clock.function());  // waits its one second
        device.update();
        EXPECT_FALSE(device.isConnected());
        EXPECT_THAT(messages, ElementsAre(light.path() + " did not answer PING, not a Tally"));
    }
}

TEST_F(LightDeviceTest, onlyDevicesAreSpokenTo) {
    dir.write("notes.txt", "a person's notes\n");
    std::vector<std::string> names{"notes.txt"};
#ifndef _WIN32
    ::mkfifo(dir.file("fifo").c_str(), 0600);
    names.push_back("fifo");
#endif
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        messages.clear();
        auto device = onPort(dir.file(name));
        for (int i = 0; i < 3; ++i, clock.advance(3)) device->update();
        EXPECT_FALSE(device->isConnected());
        EXPECT_THAT(messages, ElementsAre(dir.file(name) + " is not a serial port")) << "once";
    }
    std::ifstream notes(dir.file("notes.txt"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(notes), {}), "a person's notes\n");
}

TEST_F(LightDeviceTest, answersLeftFromAnEarlierConnectionAnswerNothing) {
    // A burst of extra answers is still waiting when the light is replugged.
    FakeLight light;
    auto device = onFake(light);
    device->update();
    light.fault = FakeLight::Fault::burst;
    device->show("C 255 0 0");
    device->update();
    device->close();
    light.fault = FakeLight::Fault::none;
    messages.clear();
    clock.advance(3);
    device->update();
    EXPECT_TRUE(device->isConnected()) << testing::PrintToString(messages);
    EXPECT_THAT(messages, ElementsAre("light connected on fake (firmware 1.0)"));
}

TEST_F(LightDeviceTest, aLateAnswerFromAnEarlierConnectionDoesNotSpoilTheHandshake) {
    FakeLight light;
    auto device = onFake(light);
    device->update();
    light.fault = FakeLight::Fault::late;  // "OK" to this comes only after the wait has ended
    device->show("C 255 0 0");
    device->update();
    EXPECT_FALSE(device->isConnected());
    light.fault = FakeLight::Fault::none;
    messages.clear();
    clock.advance(3);
    device->update();  // the late "OK" arrives first, then "PONG 1.0"
    EXPECT_TRUE(device->isConnected());
    EXPECT_THAT(messages, ElementsAre("light connected on fake (firmware 1.0)"));
}

#ifndef _WIN32  // Windows' ports are exclusive by their driver; Wine's stand-in terminals are not
TEST_F(LightDeviceTest, aPortHeldByAnotherProgramIsLeftToItAndToldOnce) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(record());
    auto first = onPort(light.path());
    first->show("C 0 255 0");
    first->update();
    ASSERT_TRUE(first->isConnected());
    messages.clear();

    auto second = onPort(light.path());  // a second Tally, say
    for (int i = 0; i < 3; ++i, clock.advance(3)) second->update();
    EXPECT_FALSE(second->isConnected());
    EXPECT_THAT(messages, ElementsAre(light.path() +
                                      " is in use by another program (another Tally, or a serial "
                                      "terminal); trying again every few seconds"));
    EXPECT_THAT(light.received(), ElementsAre("PING", "B 100", "C 0 255 0")) << "nothing twice";

    first.reset();  // let go: the second gets it at its next attempt
    second->update();
    EXPECT_TRUE(second->isConnected());
}
#endif

TEST_F(LightDeviceTest, sendNowOnlyWhileConnected) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    auto device = onPort(dir.file("no-such-port"));
    device->sendNow("OFF");
    EXPECT_THAT(messages, IsEmpty());

    VirtualLight light(record());
    auto connected = onPort(light.path());
    connected->show("C 0 255 0");
    connected->update();
    connected->sendNow("OFF");
    connected->update();
    EXPECT_THAT(light.received(), ElementsAre("PING", "B 100", "C 0 255 0", "OFF"))
        << "OFF became the wanted command";
}

#ifndef _WIN32  // permissions as POSIX has them
TEST_F(LightDeviceTest, permissionRefusedIsToldOncePerPort) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(record());
    std::filesystem::permissions(light.path(), std::filesystem::perms::none);
    const std::string result = runUnprivileged([&]() -> std::string {
        std::vector<std::string> seen;
        FakeClock c;
        LightDevice device(std::nullopt, [&](const std::string& m) { seen.push_back(m); },
                           c.function(), [&] { return std::vector<std::string>{light.path()}; });
        for (int i = 0; i < 3; ++i, c.advance(3)) device.update();
        if (seen.size() != 1) return "expected one line, got " + std::to_string(seen.size());
        if (seen[0] != "no permission to open " + light.path() + "; " + platform::serialPermissionHint())
            return seen[0];
        return "";
    });
    EXPECT_EQ(result, "");
}
#endif
