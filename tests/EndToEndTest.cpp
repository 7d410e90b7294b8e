// Tally without its interface: a Teams log folder in a temporary home, the log presence source
// with a Teams of the test's own, the engine, and the virtual light.
#include <atomic>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Engine.h"
#include "Log.h"
#include "LightDevice.h"
#include "support/Eventually.h"
#include "support/TempDir.h"
#include "support/VirtualLight.h"

using namespace tally;
using namespace tally::test;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> messagesIn(const std::string& logFile) {
    std::ifstream in(logFile);
    std::vector<std::string> messages;
    for (std::string line; std::getline(in, line);)
        if (line.size() > 20) messages.push_back(line.substr(20));  // past the time stamp
    return messages;
}

}  // namespace

TEST(EndToEnd, teamsLogLinesReachTheLight) {
    TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT();
    TempDir home;
    const std::string logs =
        home.file("Library/Group Containers/UBF8T346G9.com.microsoft.teams/Library/Application Support/Logs");
    std::filesystem::create_directories(logs);
    const std::string teamsLog = logs + "/MSTeams_2026-12-07_09-00-00.00.log";
    std::ofstream(teamsLog) << "UserPresenceAction: {availability: Available}\n";
    Log::setFile(home.file("state/tally/Tally.log"), true);

    std::atomic<bool> teamsRuns = true;  // this test's own Teams, whatever else runs
    VirtualLight light(home.file("light.txt"));
    Engine engine(
        [&] {
            return std::make_unique<LogPresenceSource>(LogTailer(logs), [&] { return teamsRuns.load(); },
                                                       [](const std::string& m) { Log::write(m); });
        },
        std::make_unique<LightDevice>(light.path(), [](const std::string& m) { Log::write(m); }),
        [](const Engine::Snapshot&) {}, [](const std::string& m) { Log::write(m); });
    engine.start();
    auto lastIs = [&](const std::string& command) { return light.eventuallyLast(command); };
    ASSERT_TRUE(lastIs("C 0 255 0")) << "available from the history";

    const auto append = [&](const std::string& line) { std::ofstream(teamsLog, std::ios::app) << line << "\n"; };
    append("2026-12-07T09:01:00Z <INFO> UserPresenceAction: {presence: x, availability: Busy}");
    ASSERT_TRUE(lastIs("C 255 0 0"));
    append("Window: (id=3; name=call-1) Setting close prompt from web: meeting");
    ASSERT_TRUE(lastIs("P 255 0 0 3000"));
    teamsRuns = false;
    ASSERT_TRUE(lastIs("OFF")) << "within one process check of Teams quitting";

    EXPECT_THAT(messagesIn(Log::file()),
                testing::ElementsAre("startup status from log history: Available",
                                     "Teams is running", "light state: Available",
                                     "light connected on " + light.path() + " (firmware 1.0)",
                                     "presence: Busy", "light state: Busy", "call started",
                                     "light state: In a call", "Teams is not running",
                                     "light state: Off"));
}
