// The built tally program driving the light's own firmware: MicroPython runs it on the far end
// of a pseudo-terminal, with stood-in LEDs whose colours it records.
#include <csignal>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/FakeTeams.h"
#ifdef TALLY_NODE
#include "support/FirmwareLight.h"
#endif
#include "support/Process.h"
#include "support/TallyHome.h"

using namespace tally::test;
using namespace std::chrono_literals;

TEST(FirmwareEndToEnd, teamsStatesReachTheLedsAndTheLightEndsDark) {
#ifndef TALLY_NODE
    GTEST_SKIP() << "node was not found when this was built";
#else
    TallyHome home;
    std::filesystem::create_directories(home.teamsLogFolder());
    const std::string teamsLog = home.teamsLogFolder() + "/MSTeams_2026-12-08.log";
    std::ofstream(teamsLog) << "UserPresenceAction: {availability: Available}\n";
    FakeTeams teams(home.dir());
    FirmwareLight light(home.file("leds.txt"));
    ASSERT_TRUE(light.eventuallyShows("0 0 0")) << "the firmware starts dark";

    Process tally({TALLY_BINARY, "--port", light.path()}, home.environment());
    EXPECT_TRUE(light.eventuallyShows("0 255 0")) << "Available is green";
    std::ofstream(teamsLog, std::ios::app) << "UserPresenceAction: {availability: Busy}\n";
    EXPECT_TRUE(light.eventuallyShows("255 0 0")) << "Busy is red";

    EXPECT_EQ(tally.stop(SIGTERM), 0) << "SIGTERM ends Tally as quitting does";
    // The firmware answers a line before its next frame shows it.
    EXPECT_TRUE(light.eventuallyShows("0 0 0")) << "and the light is dark when it has gone";
#endif
}
