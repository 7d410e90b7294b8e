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
#include "support/TempDir.h"

using namespace tally::test;
using namespace std::chrono_literals;

TEST(FirmwareEndToEnd, teamsStatesReachTheLedsAndTheLightEndsDark) {
#ifndef TALLY_NODE
    GTEST_SKIP() << "node was not found when this was built";
#else
    TempDir home;
    const std::string logs = home.file(
        "Library/Group Containers/UBF8T346G9.com.microsoft.teams/Library/Application Support/Logs");
    std::filesystem::create_directories(logs);
    const std::string teamsLog = logs + "/MSTeams_2026-12-08.log";
    std::ofstream(teamsLog) << "UserPresenceAction: {availability: Available}\n";
    FakeTeams teams(home);
    FirmwareLight light(home.file("leds.txt"));
    ASSERT_TRUE(light.eventuallyShows("0 0 0")) << "the firmware starts dark";

    // The machine's microphones and cameras stay out of it.
    std::filesystem::create_directories(home.file(".config/Tally"));
    std::ofstream(home.file(".config/Tally/Tally.conf")) << "[General]\nanyCall=false\n";
    Process tally({TALLY_BINARY, "--port", light.path()},
                  {"HOME=" + home.path().string(), "QT_QPA_PLATFORM=offscreen",
                   "XDG_CONFIG_HOME=" + home.file(".config"), "XDG_STATE_HOME=" + home.file("state"),
                   "XDG_RUNTIME_DIR=" + home.path().string(), "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent",
                   "PULSE_SERVER=unix:" + home.file("no-sound-server")});
    EXPECT_TRUE(light.eventuallyShows("0 255 0")) << "Available is green";
    std::ofstream(teamsLog, std::ios::app) << "UserPresenceAction: {availability: Busy}\n";
    EXPECT_TRUE(light.eventuallyShows("255 0 0")) << "Busy is red";

    EXPECT_EQ(tally.stop(SIGTERM), 0) << "SIGTERM ends Tally as quitting does";
    // The firmware answers a line before its next frame shows it.
    EXPECT_TRUE(light.eventuallyShows("0 0 0")) << "and the light is dark when it has gone";
#endif
}
