#include "PresenceSource.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/FakeClock.h"
#include "support/TempDir.h"

using namespace tally;
using namespace tally::test;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const std::string busyLine = "UserPresenceAction: {availability: Busy}\n";
const std::string availableLine = "UserPresenceAction: {availability: Available}\n";
const std::string awayLine = "UpdateIconPresence: presence update to icon v2: Away\n";
std::string windowStart(const std::string& name) {
    return "Window: (name=" + name + ") Setting close prompt from web: meeting\n";
}
std::string windowEnd(const std::string& name) {
    return "Window: (name=" + name + ") Resetting close prompt from web\n";
}

class LogPresenceSourceTest : public testing::Test {
protected:
    TempDir dir;
    FakeClock clock;
    bool teamsRunning = true;
    std::vector<std::string> messages;

    std::unique_ptr<LogPresenceSource> makeSource() {
        return std::make_unique<LogPresenceSource>(
            LogTailer(dir.path().string(), clock.function()), [this] { return teamsRunning; },
            [this](const std::string& m) { messages.push_back(m); }, clock.function());
    }
    // Files named in age order: the first is the oldest.
    void writeFiles(std::initializer_list<std::pair<std::string, std::string>> files) {
        double age = 1;
        for (const auto& [name, text] : files) {
            dir.write(name, text);
            dir.touch(name, age++);
        }
    }
    void tick(double seconds = 0.5) { clock.advance(seconds); }
};

}  // namespace

TEST_F(LogPresenceSourceTest, historyTakesTheNewestFilesLastPresenceAndOpenWindows) {
    writeFiles({{"MSTeams_1.log", awayLine + windowStart("old")},
                {"MSTeams_2.log", busyLine + windowStart("m1") + "noise\n" + availableLine}});
    auto source = makeSource();
    EXPECT_EQ(source->tracker().availability, Availability::available);
    EXPECT_EQ(source->tracker().callWindows, (std::set<std::string, std::less<>>{"m1"}));
    EXPECT_THAT(messages, ElementsAre("startup status from log history: Available"));
    EXPECT_EQ(source->poll(), LightState::inCall);
}

TEST_F(LogPresenceSourceTest, historyFallsBackToAnOlderFilesLastPresenceOnly) {
    writeFiles({{"MSTeams_1.log", busyLine + awayLine + windowStart("w")},
                {"MSTeams_2.log", "nothing here\n"}});
    auto source = makeSource();
    EXPECT_EQ(source->tracker().availability, Availability::away);
    EXPECT_FALSE(source->tracker().inCall()) << "older files lend no call windows";
    EXPECT_THAT(messages, ElementsAre("startup status from log history: Away"));
}

TEST_F(LogPresenceSourceTest, historyReadsAtMostTheBudgetNewestFirst) {
    // The busy line lies just before the last 64 MiB.
    std::string newest = busyLine;
    newest.resize(busyLine.size() + LogPresenceSource::startupScanBytes, 'n');
    for (std::size_t i = busyLine.size() + 4000; i < newest.size(); i += 4000) newest[i] = '\n';
    writeFiles({{"MSTeams_1.log", awayLine}, {"MSTeams_2.log", newest}});
    auto source = makeSource();
    EXPECT_FALSE(source->tracker().availability) << "no older file is consulted";
    EXPECT_THAT(messages, ElementsAre("startup status from log history: none found"));
}

#ifndef _WIN32  // links as POSIX has them
TEST_F(LogPresenceSourceTest, historyLeavesOutEntriesThatAreNotPlainFiles) {
    writeFiles({{"MSTeams_1.log", busyLine}, {"elsewhere.txt", awayLine}});
    // Newer than the real log by being made later; a link is charged its own few bytes.
    std::filesystem::create_symlink(dir.file("elsewhere.txt"), dir.file("MSTeams_2.log"));
    for (int i = 0; i < 20; ++i)
        std::filesystem::create_symlink("/dev/urandom", dir.file("MSTeams_3_" + std::to_string(i) + ".log"));
    auto source = makeSource();
    EXPECT_EQ(source->tracker().availability, Availability::busy) << "only the plain file counts";
}
#endif

TEST_F(LogPresenceSourceTest, missingFolderFindsNothingAndIsNotReadable) {
    LogPresenceSource source(LogTailer(dir.file("absent"), clock.function()),
                             [] { return true; }, [&](const std::string& m) { messages.push_back(m); },
                             clock.function());
    EXPECT_FALSE(source.folderReadable());
    EXPECT_FALSE(source.logsReadable());
    EXPECT_EQ(source.poll(), LightState::unknown);
    EXPECT_THAT(messages, ElementsAre("startup status from log history: none found",
                                      "Teams is running"));
}

TEST_F(LogPresenceSourceTest, pollLogsRealChangesOnly) {
    writeFiles({{"MSTeams_1.log", ""}});
    auto source = makeSource();
    EXPECT_EQ(source->poll(), LightState::unknown) << "no availability yet";
    messages.clear();

    dir.append("MSTeams_1.log", busyLine + busyLine + "UserPresenceAction: {availability: BusyIdle}\n");
    tick();
    EXPECT_EQ(source->poll(), LightState::busy);
    dir.append("MSTeams_1.log", windowStart("a") + windowStart("b") + windowStart("a") +
                                    windowEnd("a") + windowEnd("zzz"));
    tick();
    EXPECT_EQ(source->poll(), LightState::inCall);
    dir.append("MSTeams_1.log", windowEnd("b") + availableLine);
    tick();
    EXPECT_EQ(source->poll(), LightState::available);
    EXPECT_THAT(messages, ElementsAre("presence: Busy", "call started", "call ended",
                                      "presence: Available"));
}

TEST_F(LogPresenceSourceTest, teamsRunningIsCheckedEveryFiveSecondsAndClearsCalls) {
    writeFiles({{"MSTeams_1.log", busyLine + windowStart("m")}});
    teamsRunning = false;
    auto source = makeSource();
    messages.clear();
    EXPECT_EQ(source->poll(), LightState::off);
    EXPECT_THAT(messages, IsEmpty()) << "not running from the start is no change";
    EXPECT_FALSE(source->tracker().inCall()) << "windows dropped while Teams is not running";

    teamsRunning = true;
    tick(4.9);
    EXPECT_EQ(source->poll(), LightState::off) << "the next check is not due yet";
    tick(0.1);
    EXPECT_EQ(source->poll(), LightState::busy);
    EXPECT_THAT(messages, ElementsAre("Teams is running"));

    dir.append("MSTeams_1.log", windowStart("m"));
    tick();
    EXPECT_EQ(source->poll(), LightState::inCall);
    teamsRunning = false;
    tick(5);
    EXPECT_EQ(source->poll(), LightState::off);
    EXPECT_FALSE(source->tracker().inCall());
    EXPECT_THAT(messages, ElementsAre("Teams is running", "call started", "Teams is not running"));
}

TEST_F(LogPresenceSourceTest, staleAfterMoreThan720SecondsWithoutNewBytes) {
    writeFiles({{"MSTeams_1.log", busyLine}});
    auto source = makeSource();
    tick(LogPresenceSource::staleAfter);
    EXPECT_EQ(source->poll(), LightState::busy) << "exactly 720 seconds is not yet stale";
    tick(0.01);
    EXPECT_EQ(source->poll(), LightState::unknown);
    dir.append("MSTeams_1.log", "any bytes at all\n");
    tick();
    EXPECT_EQ(source->poll(), LightState::busy) << "fresh again";
}

// A call the logs know nothing of (a microphone or camera in use) wins over whatever they say,
// and they are followed meanwhile, so that its end shows what they said last.
TEST_F(LogPresenceSourceTest, aCallFromElsewhereWinsWhileTheLogsAreFollowed) {
    writeFiles({{"MSTeams_1.log", availableLine}});
    bool capturing = true;
    SourceWithCalls source(makeSource(), [&] { return capturing; });
    EXPECT_EQ(source.poll(), LightState::inCall);
    dir.append("MSTeams_1.log", busyLine);
    tick();
    EXPECT_EQ(source.poll(), LightState::inCall);
    capturing = false;
    EXPECT_EQ(source.poll(), LightState::busy) << "what the logs said during the call";

    teamsRunning = false;
    tick(LogPresenceSource::processCheckInterval);
    capturing = true;
    EXPECT_EQ(source.poll(), LightState::inCall) << "Teams need not run";
    EXPECT_TRUE(source.logsReadable());

    SourceWithCalls unreadable(std::make_unique<LogPresenceSource>(LogTailer(dir.file("absent"), clock.function()),
                                                                   [] { return true; }, [](const std::string&) {},
                                                                   clock.function()),
                               [] { return true; });
    EXPECT_FALSE(unreadable.logsReadable()) << "the logs' own word on whether they can be read";
}

TEST(SimulatedSource, cyclesThroughEveryStateWithoutCatchingUp) {
    FakeClock clock{12345};
    SimulatedSource source(4, clock.function());
    EXPECT_EQ(source.poll(), LightState::available);
    clock.advance(3.9);
    EXPECT_EQ(source.poll(), LightState::available);
    clock.advance(0.1);
    EXPECT_EQ(source.poll(), LightState::busy);
    clock.advance(1000);
    EXPECT_EQ(source.poll(), LightState::inCall) << "a long gap advances by one state";
    for (LightState expected : {LightState::dnd, LightState::away, LightState::off,
                                LightState::unknown, LightState::available}) {
        clock.advance(4);
        EXPECT_EQ(source.poll(), expected);
    }

    SimulatedSource eager(0, clock.function());
    EXPECT_EQ(eager.poll(), LightState::available);
    EXPECT_EQ(eager.poll(), LightState::busy) << "no time needs to pass at zero seconds each";
}
