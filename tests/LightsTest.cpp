// Every other maker's light against one contract, through the engine as the application drives
// it: each kind's simulated light (written from its maker's document) must show a person what
// the rules say, whatever bytes the kind chose to send.
#include "Lights.h"

#include <atomic>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "Engine.h"
#include "HidClaim.h"
#include "support/FakeClock.h"
#include "support/SimulatedLights.h"
#include "support/TempDir.h"

using namespace tally;
using namespace tally::test;
using lights::Kind;
using lights::Lights;
using namespace std::chrono_literals;

namespace {

const Kind allKinds[] = {Kind::luxafor, Kind::embrava, Kind::kuando, Kind::blink1,
                         Kind::muteMe,  Kind::busyTag, Kind::fitStatUsb};

// What a person would call the colour they see.
std::string nameOf(const Seen& seen) {
    if (!seen.lit) return "dark";
    const int high = std::max({seen.red, seen.green, seen.blue}), low = std::min({seen.red, seen.green, seen.blue});
    if (high - low < high / 4) return "white";
    const double span = high - low;
    double hue = high == seen.red     ? std::fmod((seen.green - seen.blue) / span + 6, 6.0)
                 : high == seen.green ? (seen.blue - seen.red) / span + 2
                                      : (seen.red - seen.green) / span + 4;
    hue *= 60;
    if (hue < 15 || hue >= 330) return "red";
    if (hue < 75) return "amber";  // a light without amber shows yellow
    if (hue < 165) return "green";
    if (hue < 255) return "blue";
    return "purple";
}

// The rules: what each state shows.
struct Expected {
    LightState state;
    std::string colour;
    bool pulsing;
    int red, green, blue;  // on a light that shows any colour, at full brightness
};
const Expected rules[] = {
    {LightState::available, "green", false, 0, 255, 0},   {LightState::busy, "red", false, 255, 0, 0},
    {LightState::inCall, "red", true, 255, 0, 0},          {LightState::dnd, "purple", false, 150, 0, 255},
    {LightState::away, "amber", false, 255, 110, 0},       {LightState::off, "dark", false, 0, 0, 0},
    {LightState::unknown, "blue", true, 0, 0, 90},
};

bool showsAnyColour(Kind kind) { return kind != Kind::muteMe; }

// A test's name may hold letters and digits only.
std::string testName(Kind kind) {
    std::string name;
    for (char c : lights::kindName(kind))
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
    return name;
}

class LightContract : public testing::TestWithParam<Kind> {
protected:
    FakeClock clock;
    std::unique_ptr<SimulatedLight> light = simulatedLight(GetParam());
    SimulatedPlug plug{GetParam(), *light, clock.function()};
    std::shared_ptr<std::atomic<LightState>> presence = std::make_shared<std::atomic<LightState>>(LightState::unknown);
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t snapshots = 0;
    Engine::Snapshot last;
    std::vector<std::string> logged;
    std::unique_ptr<Engine> engine;

    void SetUp() override {
        class Settable final : public PresenceSource {
        public:
            explicit Settable(std::shared_ptr<std::atomic<LightState>> s) : state_(std::move(s)) {}
            LightState poll() override { return state_->load(); }

        private:
            std::shared_ptr<std::atomic<LightState>> state_;
        };
        const auto log = [this](const std::string& line) {
            const std::lock_guard lock(mutex);
            logged.push_back(line);
        };
        engine = std::make_unique<Engine>(
            [this] { return std::make_unique<Settable>(presence); },
            std::make_unique<Lights>(nullptr, std::nullopt, true, log, clock.function(), plug.services()),
            [this](const Engine::Snapshot& s) {
                const std::lock_guard lock(mutex);
                ++snapshots;
                last = s;
                changed.notify_all();
            },
            log, Engine::Timing{clock.function(), Engine::tickSeconds});
        engine->start();
        waitForSnapshots(1);
    }
    void waitForSnapshots(std::size_t count) {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return snapshots >= count; }));
    }
    // Lets `seconds` pass tick by tick, each tick done before the next.
    void run(double seconds) {
        for (double passed = 0; passed < seconds; passed += Engine::tickSeconds) {
            std::size_t before;
            {
                const std::lock_guard lock(mutex);
                before = snapshots;
            }
            clock.advance(Engine::tickSeconds);
            engine->timeMoved();
            waitForSnapshots(before + 1);
        }
    }
    Seen seen() const { return light->seen(clock.now()); }
    void expectShows(const Expected& rule, int brightness, const std::string& when) {
        const Seen now = seen();
        EXPECT_EQ(nameOf(now), rule.colour) << when;
        EXPECT_EQ(now.pulsing, rule.pulsing) << when;
        if (!showsAnyColour(GetParam())) {
            EXPECT_EQ(now.dim, now.lit && brightness <= 50) << when;
            return;
        }
        const auto near = [&](int got, int full) { return std::abs(got - full * brightness / 100) <= 3; };
        EXPECT_TRUE(near(now.red, rule.red) && near(now.green, rule.green) && near(now.blue, rule.blue))
            << when << ": seen " << now.red << "," << now.green << "," << now.blue;
    }
};

TEST_P(LightContract, showsEveryStatePauseTheColourTestBrightnessAndQuitAsThePersonExpects) {
    run(Lights::lookEvery);
    ASSERT_EQ(plug.opened, 1) << "the light is found and opened once";
    {
        const std::lock_guard lock(mutex);
        ASSERT_EQ(last.otherLights.size(), 1u);
    }

    for (const Expected& rule : rules) {
        presence->store(rule.state);
        run(5);  // long enough to see a pulse the host times
        expectShows(rule, 100, "state " + std::string(rawValue(rule.state)));
    }

    presence->store(LightState::busy);
    engine->setBrightness(25);
    run(1);
    expectShows(rules[1], 25, "busy at a quarter");
    engine->setBrightness(100);
    run(1);
    expectShows(rules[1], 100, "busy at full brightness again");

    engine->setPaused(true);
    run(1);
    expectShows(rules[5], 100, "paused");
    engine->startTest();
    run(1);  // inside the first colour's time
    for (const Expected& rule : rules) {
        EXPECT_EQ(nameOf(seen()), rule.colour) << "the colour test, " << rawValue(rule.state);
        run(Engine::testColourSeconds);
    }
    run(1);
    expectShows(rules[5], 100, "paused after the colour test");
    engine->setPaused(false);
    run(1);
    expectShows(rules[1], 100, "resumed");

    engine->finish();
    EXPECT_EQ(nameOf(seen()), "dark") << "after quitting";
    EXPECT_THAT(light->problems(), testing::IsEmpty()) << "bytes the maker's document does not describe";
}

INSTANTIATE_TEST_SUITE_P(EveryKind, LightContract, testing::ValuesIn(allKinds),
                         [](const auto& kind) { return testName(kind.param); });

// The lights that go dark without the host: never while Tally runs, soon after it dies.
class Watchdog : public LightContract {};

TEST_P(Watchdog, neverDarkWhileTallyRunsAndDarkSoonAfterItStops) {
    presence->store(LightState::busy);
    run(Lights::lookEvery);  // found
    for (int i = 0; i < 120; ++i) {
        run(Engine::tickSeconds);
        ASSERT_EQ(nameOf(seen()), "red") << "after " << (i + 1) * Engine::tickSeconds << " s";
    }
    engine.reset();  // as if Tally crashed: nothing more is sent
    clock.advance(GetParam() == Kind::kuando ? 16 : 31);
    EXPECT_EQ(nameOf(seen()), "dark");
    EXPECT_THAT(light->problems(), testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(LightsThatNeedTheHost, Watchdog, testing::Values(Kind::kuando, Kind::blink1),
                         [](const auto& kind) { return testName(kind.param); });

struct Finding : testing::Test {
    FakeClock clock;
    std::unique_ptr<SimulatedLight> light = simulatedLight(Kind::luxafor);
    SimulatedPlug plug{Kind::luxafor, *light, clock.function()};
    std::vector<std::string> logged;
    Lights lights{nullptr, std::nullopt, true, [this](const std::string& line) { logged.push_back(line); },
                  clock.function(), plug.services()};

    void passes(double seconds) {
        clock.advance(seconds);
        lights.update();
    }
};

TEST_F(Finding, aLightPluggedInLaterJoinsAndAnUnpluggedOneIsForgotten) {
    plug.unplugged = true;
    lights.show(LightState::busy);
    lights.update();
    EXPECT_THAT(lights.otherLights(), testing::IsEmpty());
    plug.unplugged = false;
    passes(Lights::lookEvery);
    EXPECT_THAT(lights.otherLights(), testing::ElementsAre("Luxafor light"));
    EXPECT_EQ(nameOf(light->seen(clock.now())), "red");
    EXPECT_THAT(logged, testing::Contains("light connected: Luxafor light at " + plug.path()));

    plug.unplugged = true;
    passes(Engine::tickSeconds);
    lights.show(LightState::available);  // something to send, which fails
    passes(Engine::tickSeconds);
    EXPECT_THAT(lights.otherLights(), testing::IsEmpty());
    EXPECT_THAT(logged, testing::Contains("light lost: Luxafor light at " + plug.path()));

    plug.unplugged = false;
    passes(Lights::lookEvery);
    EXPECT_EQ(plug.opened, 2) << "found again when it returns";
    EXPECT_EQ(nameOf(light->seen(clock.now())), "green");
}

TEST_F(Finding, noLightFoundIsSaidOnceUntilOneIsFound) {
    plug.unplugged = true;
    const auto said = [this] {
        return std::count(logged.begin(), logged.end(),
                          "no light found: Tally looks for its own light and the busylights it knows every few seconds");
    };
    lights.update();
    EXPECT_EQ(said(), 0) << "not before one look";
    for (int i = 0; i < 5; ++i) passes(Lights::lookEvery);
    EXPECT_EQ(said(), 1);
    plug.unplugged = false;
    passes(Lights::lookEvery);
    EXPECT_THAT(lights.otherLights(), testing::ElementsAre("Luxafor light"));
    plug.unplugged = true;
    lights.show(LightState::busy);
    for (int i = 0; i < 5; ++i) passes(Lights::lookEvery);
    EXPECT_EQ(said(), 2) << "said again once the light it had is gone";
}

TEST_F(Finding, aLightThatMayNotBeOpenedIsNamedWithWhatToDoOnce) {
    plug.refuse = true;
    for (int i = 0; i < 5; ++i) passes(Lights::lookEvery);
    EXPECT_THAT(lights.blockedLights(), testing::ElementsAre("Luxafor light: permission denied"));
    const auto said = std::count_if(logged.begin(), logged.end(), [](const std::string& line) {
        return line.find("permission denied; ") != std::string::npos;
    });
    EXPECT_EQ(said, 1) << testing::PrintToString(logged);

    plug.refuse = false;
    passes(Lights::lookEvery);
    EXPECT_THAT(lights.blockedLights(), testing::IsEmpty());
    EXPECT_THAT(lights.otherLights(), testing::ElementsAre("Luxafor light"));
}

TEST(KnownLights, everyIdentityNamesOneLightAndNoneIsAlsoABoardOfTallys) {
    std::set<std::pair<int, int>> seen;
    for (const auto& light : lights::knownLights())
        EXPECT_TRUE(seen.insert({light.id.vendorId, light.id.productId}).second) << light.name;
    for (const auto& board : lights::tallyBoards()) {
        EXPECT_FALSE(lights::knownLight(board.id)) << board.name;
        EXPECT_TRUE(seen.insert({board.id.vendorId, board.id.productId}).second) << board.name;
    }
}

TEST(HidDevices, theSystemsListIsReadAndANodeThatIsNotThereIsNotOpened) {
    for (const auto& device : platform::listHidDevices()) EXPECT_FALSE(device.path.empty());
    platform::HidOpenFailure failure{};
    EXPECT_EQ(platform::openHidLink("no such device", failure), nullptr);
    EXPECT_NE(failure, platform::HidOpenFailure::none);
}

#ifndef _WIN32  // Windows offers no hold on a HID device to agree on
TEST(HidDevices, aDeviceNodeHeldByOneTallyIsRefusedToAnother) {
    TempDir dir;
    const std::string node = dir.file("hidraw0");
    std::ofstream(node) << "";
    auto first = platform::claimHidDevice(node);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(platform::claimHidDevice(node), nullptr) << "held by the first";
    first.reset();
    EXPECT_NE(platform::claimHidDevice(node), nullptr) << "free again once the first lets go";
    EXPECT_NE(platform::claimHidDevice(dir.file("no such node")), nullptr)
        << "a path that is no file (macOS's) is nothing to hold";
}
#endif

}  // namespace
