#include "Engine.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <condition_variable>
#include <mutex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LightDevice.h"
#include "support/Eventually.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "support/VirtualLight.h"

using namespace tally;
using namespace tally::test;
using testing::ElementsAre;
using namespace std::chrono_literals;

namespace {

// Plays back a list of states, repeating the last one.
class ScriptedSource final : public PresenceSource {
public:
    explicit ScriptedSource(std::vector<LightState> script) : script_(std::move(script)) {}
    LightState poll() override {
        const LightState s = script_[std::min(next_, script_.size() - 1)];
        ++next_;
        return s;
    }

private:
    std::vector<LightState> script_;
    std::size_t next_ = 0;
};

class EngineTest : public testing::Test {
protected:
    TempDir dir;
    FakeClock clock;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Engine::Snapshot> snapshots;
    std::vector<std::string> messages;

    std::unique_ptr<Engine> makeEngine(std::vector<LightState> script,
                                       std::unique_ptr<Light> device = nullptr) {
        return std::make_unique<Engine>(
            [script] { return std::make_unique<ScriptedSource>(script); }, std::move(device),
            [this](const Engine::Snapshot& s) {
                const std::lock_guard lock(mutex);
                snapshots.push_back(s);
                changed.notify_all();
            },
            [this](const std::string& m) {
                const std::lock_guard lock(mutex);
                messages.push_back(m);
            },
            Engine::Timing{clock.function(), Engine::tickSeconds,
                           [this] { return LocalTime{weekday.load(), minute.load()}; }, clock.function()});
    }
    // The local time the working hours are judged by: Monday 10:00 unless a test says otherwise.
    std::atomic<int> weekday = 0;
    std::atomic<int> minute = 10 * 60;
    std::unique_ptr<LightDevice> deviceOn(const VirtualLight& light) {
        return std::make_unique<LightDevice>(light.path(), [](const std::string&) {});
    }
    std::size_t snapshotCount() {
        const std::lock_guard lock(mutex);
        return snapshots.size();
    }
    // Waits until `count` snapshots have arrived in all.
    void waitForSnapshotCount(std::size_t count) {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return snapshots.size() >= count; }));
    }
    // Starts the engine and waits for its first tick, which comes at once.
    void start(Engine& engine) {
        engine.start();
        waitForSnapshotCount(1);
    }
    // Moves the clock on by `seconds` (a tick by default), `times` over, waiting for each tick.
    void tick(Engine& engine, int times = 1, double seconds = Engine::tickSeconds) {
        for (int i = 0; i < times; ++i) {
            const std::size_t before = snapshotCount();
            clock.advance(seconds);
            engine.timeMoved();
            waitForSnapshotCount(before + 1);
        }
    }
    // Waits until the light has received `line` as its last line.
    static void waitForLast(const VirtualLight& light, const std::string& line) {
        EXPECT_TRUE(light.eventuallyLast(line)) << "the light never received " << line;
    }
    std::vector<std::string> loggedMessages() {
        const std::lock_guard lock(mutex);
        return messages;
    }
};

}  // namespace

TEST_F(EngineTest, logsEachChangeOnceAndReportsEveryTick) {
    using L = LightState;
    auto engine = makeEngine({L::unknown, L::unknown, L::busy, L::available, L::busy, L::busy});
    start(*engine);
    tick(*engine, 7);
    EXPECT_THAT(loggedMessages(), ElementsAre("light state: Busy", "light state: Available",
                                              "light state: Busy"));
    const std::lock_guard lock(mutex);
    EXPECT_EQ(snapshots[0], (Engine::Snapshot{}))
        << "without a device nothing is connected";
    EXPECT_EQ(snapshots[3].state, L::available);
}

TEST_F(EngineTest, pausedSendsOffWhileSnapshotsKeepThePresenceState) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    auto engine = makeEngine({LightState::busy}, deviceOn(light));
    engine->setPaused(true);
    start(*engine);
    waitForLast(light, "OFF");
    {
        const std::lock_guard lock(mutex);
        EXPECT_EQ(snapshots.back().state, LightState::busy);
        EXPECT_TRUE(snapshots.back().lightConnected);
        EXPECT_EQ(snapshots.back().firmware, "1.0");
    }
    engine->setPaused(false);
    tick(*engine);
    waitForLast(light, "C 255 0 0");
    EXPECT_THAT(light.received(), ElementsAre("PING", "B 100", "OFF", "C 255 0 0"));
}

TEST_F(EngineTest, colourTestShowsEveryStateThenReturnsAndRestartsOnRequest) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    auto engine = makeEngine({LightState::busy}, deviceOn(light));
    engine->setPaused(true);
    start(*engine);
    waitForLast(light, "OFF");

    engine->startTest();
    tick(*engine);  // the first colour at the next tick
    const std::vector<std::string> colours = {"C 0 255 0",   "C 255 0 0",   "P 255 0 0 3000",
                                              "C 150 0 255", "C 255 110 0", "OFF",
                                              "P 0 0 90 4000"};
    for (const auto& colour : colours) {
        waitForLast(light, colour);
        tick(*engine, 1, Engine::testColourSeconds);
    }
    waitForLast(light, "OFF");  // back to paused once the last colour's time is up

    engine->startTest();
    tick(*engine);
    waitForLast(light, "C 0 255 0");
    tick(*engine, 1, 5);
    waitForLast(light, "C 150 0 255");
    engine->startTest();
    tick(*engine);
    waitForLast(light, "C 0 255 0");  // a second test starts over
    {
        const std::lock_guard lock(mutex);
        for (const auto& s : snapshots) EXPECT_EQ(s.state, LightState::busy) << "tests are not presence";
    }
    EXPECT_THAT(loggedMessages(), ElementsAre("light state: Busy"));
}

TEST_F(EngineTest, lightOffNowHoldsTheLightOffUntilWake) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    auto engine = makeEngine({LightState::busy}, deviceOn(light));
    start(*engine);
    waitForLast(light, "C 255 0 0");
    engine->lightOffNow();
    EXPECT_EQ(light.lastReceived(), "OFF") << "written before lightOffNow returned";
    engine->setPaused(false);
    tick(*engine, 5);
    EXPECT_EQ(light.lastReceived(), "OFF") << "no tick lights it again before wake";

    engine->didWake();
    tick(*engine);
    waitForLast(light, "C 255 0 0");
    tick(*engine, 3);
    EXPECT_EQ(light.received()[4], "C 255 0 0") << "after wake the colour comes back";

    engine.reset();
    const auto sent = light.received().size();
    EXPECT_EQ(light.received().size(), sent) << "nothing is sent when the engine goes";
}

TEST_F(EngineTest, finishSendsOffAsTheLastLineAndStops) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    // A late light: a tick falling due while "OFF" is in flight must not run after it.
    VirtualLight light(dir.file("light.txt"), {"--delay", "150"});
    auto engine = makeEngine({LightState::busy}, deviceOn(light));
    start(*engine);
    waitForLast(light, "C 255 0 0");
    clock.advance(Engine::tickSeconds);  // a tick falls due as "OFF" goes out
    engine->timeMoved();
    engine->finish();
    const std::size_t reported = [&] {
        const std::lock_guard lock(mutex);
        return snapshots.size();
    }();
    engine->setPaused(false);
    engine->startTest();
    engine->lightOffNow();  // returns at once: the engine has finished
    engine->didWake();
    engine.reset();
    const auto received = light.received();
    EXPECT_EQ(light.lastReceived(), "OFF");
    EXPECT_EQ(std::count(received.begin(), received.end(), "OFF"), 1);
    const std::lock_guard lock(mutex);
    EXPECT_EQ(snapshots.size(), reported) << "no tick after finish()";
}

TEST_F(EngineTest, destroyingTheEngineReleasesACallerWaitingForIt) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> polling{false};
    auto engine = std::make_unique<Engine>(
        [&] {
            polling = true;
            released.wait();  // the worker is busy while another thread waits for it
            return std::make_unique<ScriptedSource>(std::vector{LightState::busy});
        },
        nullptr, [](const Engine::Snapshot&) {}, [](const std::string&) {});
    engine->start();
    while (!polling) std::this_thread::yield();
    auto waiting = std::make_shared<std::atomic<bool>>(true);
    std::thread([raw = engine.get(), waiting] {
        raw->lightOffNow();
        *waiting = false;
    }).detach();
    std::thread destroying([&engine] { engine.reset(); });
    EXPECT_TRUE(eventually([&] { return !*waiting; }, 10s)) << "lightOffNow() still waits for an engine being destroyed";
    release.set_value();
    destroying.join();
}

TEST_F(EngineTest, operationsPostedWhileTheSourceIsBuiltRunAfterItInOrder) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> building{false};
    Engine engine(
        [released, &building] {
            building = true;
            released.wait();
            return std::make_unique<ScriptedSource>(std::vector{LightState::available});
        },
        deviceOn(light), [this](const Engine::Snapshot&) { changed.notify_all(); },
        [](const std::string&) {}, Engine::Timing{clock.function(), Engine::tickSeconds});
    engine.start();
    engine.setBrightness(30);
    engine.setPaused(true);
    engine.setPaused(false);
    engine.setPaused(true);
    ASSERT_TRUE(eventually([&] { return building.load(); }));
    EXPECT_TRUE(light.received().empty()) << "nothing before the source exists";
    release.set_value();
    waitForLast(light, "OFF");
    EXPECT_THAT(light.received(), ElementsAre("PING", "B 30", "OFF"));
}

TEST_F(EngineTest, lightOffNowNeverWaitsForItself) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    VirtualLight light(dir.file("light.txt"));
    Engine* self = nullptr;
    std::atomic<int> ticks{0};
    Engine engine(
        [] { return std::make_unique<ScriptedSource>(std::vector{LightState::busy}); },
        deviceOn(light),
        [&](const Engine::Snapshot&) {
            if (++ticks == 2) self->lightOffNow();  // on the worker thread itself
            changed.notify_all();
        },
        [](const std::string&) {}, Engine::Timing{clock.function(), Engine::tickSeconds});
    self = &engine;
    engine.start();
    waitForLast(light, "C 255 0 0");
    for (int i = 1; i < 4; ++i) {
        clock.advance(Engine::tickSeconds);
        engine.timeMoved();
        ASSERT_TRUE(eventually([&] { return ticks > i; }));
    }
    EXPECT_GE(ticks, 4);
    EXPECT_THAT(light.received(), ElementsAre("PING", "B 100", "C 255 0 0", "OFF"));
}

TEST_F(EngineTest, withoutADeviceLightOffNowReturnsAtOnce) {
    auto engine = makeEngine({LightState::busy});
    engine->lightOffNow();
    start(*engine);
    tick(*engine);
}

namespace {

// A light that keeps the last state it was told to show.
struct RecordingLight final : Light {
    std::shared_ptr<std::atomic<LightState>> last = std::make_shared<std::atomic<LightState>>(LightState::unknown);
    void show(LightState state) override { last->store(state); }
    void setBrightness(int) override {}
    void update() override {}
    void switchOffNow() override { last->store(LightState::off); }
    void invalidate() override {}
    void setPalette(const Palette&) override {}
    bool isConnected() const override { return true; }
    std::optional<std::string> firmwareVersion() const override { return std::nullopt; }
};

}  // namespace

TEST_F(EngineTest, aTimedStatusByHandEndsByItselfAndSaysSo) {
    auto light = std::make_unique<RecordingLight>();
    const auto last = light->last;
    auto engine = makeEngine({LightState::available}, std::move(light));
    engine->setManual(Engine::ManualStatus{LightState::busy, 1800.0});
    start(*engine);
    EXPECT_EQ(last->load(), LightState::busy);
    tick(*engine, 1, 1799);
    EXPECT_EQ(last->load(), LightState::busy) << "a second before its end";
    // After a long jump the engine may take one more step at once, on the clock as it was: the
    // end shows at the step that sees it, which is waited for.
    clock.advance(1);
    engine->timeMoved();
    EXPECT_TRUE(eventually([&] { return last->load() == LightState::available; })) << "busy past its end";
    EXPECT_TRUE(eventually([&] {
        const std::lock_guard lock(mutex);
        return !snapshots.back().manual;
    }));
    EXPECT_THAT(loggedMessages(), testing::Contains("status set by hand ended: Busy"));
}

// What the light is told, from the rules, as one table. The presence state (Teams' logs and
// calls), unless a status set by hand stands for it, but a call shows through that. Outside the
// working hours (on here: Monday to Friday, 9:00 to 17:00) the state chosen for them (dark by
// default), whatever Teams, a call or a status set by hand say, unless the person lets a status
// set by hand show. A locked screen (when the person wants it) darkens all that. The pause
// darkens everything, and the colour test goes over everything.
TEST_F(EngineTest, whatTheLightShowsFromEveryInput) {
    using L = LightState;
    struct Row {
        L presence;
        std::optional<L> manual;
        bool hoursOn;
        int weekday, minute;
        L outside;
        bool manualOutside, locked, paused, testing;
        L shown;
    };
    constexpr int monday = 0, saturday = 5, sunday = 6, ten = 10 * 60;
    const Row rows[] = {
        // presence and a status set by hand
        {L::available, {}, false, monday, ten, L::off, false, false, false, false, L::available},
        {L::available, L::busy, false, monday, ten, L::off, false, false, false, false, L::busy},
        {L::unknown, L::available, false, monday, ten, L::off, false, false, false, false, L::available},
        {L::off, L::dnd, false, monday, ten, L::off, false, false, false, false, L::dnd},
        {L::busy, L::off, false, monday, ten, L::off, false, false, false, false, L::off},
        {L::inCall, L::busy, false, monday, ten, L::off, false, false, false, false, L::inCall},
        {L::inCall, L::off, false, monday, ten, L::off, false, false, false, false, L::inCall},
        // working hours
        {L::busy, {}, true, monday, ten, L::off, false, false, false, false, L::busy},
        {L::busy, {}, true, monday, 9 * 60, L::off, false, false, false, false, L::busy},
        {L::busy, {}, true, monday, 17 * 60, L::off, false, false, false, false, L::off},
        {L::inCall, {}, true, monday, 8 * 60 + 59, L::off, false, false, false, false, L::off},
        {L::available, {}, true, saturday, ten, L::away, false, false, false, false, L::away},
        {L::available, L::busy, true, saturday, ten, L::off, false, false, false, false, L::off},
        {L::available, L::busy, true, saturday, ten, L::off, true, false, false, false, L::busy},
        // the screen's lock
        {L::busy, {}, false, monday, ten, L::off, false, true, false, false, L::off},
        {L::inCall, L::busy, false, monday, ten, L::off, false, true, false, false, L::off},
        {L::available, L::busy, true, saturday, ten, L::away, true, true, false, false, L::off},
        // pause and the colour test over everything
        {L::busy, L::available, false, monday, ten, L::off, false, false, true, false, L::off},
        {L::inCall, L::dnd, false, monday, ten, L::off, false, false, true, false, L::off},
        {L::busy, {}, true, monday, 20 * 60, L::away, false, false, true, false, L::off},
        {L::busy, L::dnd, false, monday, ten, L::off, false, false, false, true, L::available},
        {L::busy, L::dnd, false, monday, ten, L::off, false, true, true, true, L::available},
        {L::busy, {}, true, sunday, 20 * 60, L::off, false, false, false, true, L::available},
    };
    for (const Row& row : rows) {
        weekday = row.weekday;
        minute = row.minute;
        WorkingHours hours;
        hours.on = row.hoursOn;
        hours.outside = row.outside;
        hours.manualOutside = row.manualOutside;
        auto light = std::make_unique<RecordingLight>();
        const auto last = light->last;
        auto engine = makeEngine({row.presence}, std::move(light));
        engine->setHours(hours);
        if (row.manual) engine->setManual(Engine::ManualStatus{*row.manual, std::nullopt});
        engine->setLocked(row.locked);
        engine->setPaused(row.paused);
        if (row.testing) engine->startTest();
        start(*engine);
        tick(*engine);
        engine.reset();
        EXPECT_EQ(last->load(), row.shown)
            << rawValue(row.presence) << ", by hand " << (row.manual ? rawValue(*row.manual) : "none") << ", hours "
            << (row.hoursOn ? "on" : "off") << " day " << row.weekday << " minute " << row.minute
            << (row.locked ? ", locked" : "") << (row.paused ? ", paused" : "") << (row.testing ? ", testing" : "");
        const std::lock_guard lock(mutex);
        EXPECT_EQ(snapshots.back().state, row.presence) << "the snapshot keeps what Teams and calls say";
        EXPECT_EQ(snapshots.back().manual, row.manual);
        EXPECT_EQ(snapshots.back().outsideHours, row.hoursOn && !WorkingHours{true}.within({row.weekday, row.minute}));
        snapshots.clear();
    }
}

TEST(WorkingHours, theEndOfTheDayIsCountedFromNowAndOffMeansAlwaysWithin) {
    WorkingHours hours;
    EXPECT_TRUE(hours.within({6, 23 * 60})) << "off: always within";
    EXPECT_FALSE(hours.minutesToEnd({0, 10 * 60})) << "off: no end of the day";
    hours.on = true;
    EXPECT_EQ(hours.minutesToEnd({2, 16 * 60 + 30}), 30);
    EXPECT_FALSE(hours.minutesToEnd({2, 17 * 60}));
    EXPECT_FALSE(hours.minutesToEnd({6, 10 * 60})) << "Sunday";
    hours.start = hours.end = 12 * 60;
    EXPECT_FALSE(hours.within({0, 12 * 60})) << "a day that ends where it starts has no hours";
}
