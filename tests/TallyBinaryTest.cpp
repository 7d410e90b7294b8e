// The built tally program, run as a person would, with its home in a temporary folder.
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/FakeTeams.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/VirtualLight.h"

using namespace tally::test;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> environmentFor(const TempDir& home) {
    return {"HOME=" + home.path().string(), "QT_QPA_PLATFORM=offscreen",
            "XDG_CONFIG_HOME=" + home.file(".config"), "XDG_STATE_HOME=" + home.file(".local/state"),
            "XDG_RUNTIME_DIR=" + home.path().string(), "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent"};
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(TallyBinary, dryRunSimulatePrintsTheStartAndAStateEveryFourSeconds) {
    TempDir home;
    std::filesystem::permissions(home.path(), std::filesystem::perms::owner_all);
    Process tally({TALLY_BINARY, "--dry-run", "--simulate"}, environmentFor(home));
    const std::string& out = tally.readUntil(
        [](const std::string& o) { return o.find("light state: In a call") != std::string::npos; }, 20s);
    EXPECT_TRUE(std::regex_search(
        out, std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Tally started \(dry run\) \(simulate\)\n)")))
        << out;
    const auto available = out.find("light state: Available");
    const auto busy = out.find("light state: Busy");
    const auto inCall = out.find("light state: In a call");
    EXPECT_LT(available, busy);
    EXPECT_LT(busy, inCall);
    EXPECT_NE(inCall, std::string::npos);

    // The same lines go to the activity log, each just after it is printed.
    const auto logged = [&] {
        std::ifstream log(home.file(".local/state/tally/Tally.log"));
        return std::string((std::istreambuf_iterator<char>(log)), {});
    };
    for (int i = 0; i < 500 && logged().find("light state: In a call") == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    tally.stop();
    for (auto line : {"Tally started (dry run) (simulate)", "light state: Available",
                      "light state: Busy", "light state: In a call"})
        EXPECT_EQ(count(logged(), line), 1u) << line;
    EXPECT_EQ(count(logged(), "no system tray: Tally runs without its menu"), 1u)
        << "the offscreen platform has no tray; Tally runs on and says so once";
}

TEST(TallyBinary, aBusyLineTurnsTheLightRed) {
    TempDir home;
    const std::string logs = home.file(
        "Library/Group Containers/UBF8T346G9.com.microsoft.teams/Library/Application Support/Logs");
    std::filesystem::create_directories(logs);
    const std::string teamsLog = logs + "/MSTeams_2026-12-07.log";
    std::ofstream(teamsLog) << "UserPresenceAction: {availability: Available}\n";
    FakeTeams teams(home);
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--port", light.path()}, environmentFor(home));

    const auto lastIs = [&](const std::string& command) {
        for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
            const auto got = light.received();
            if (!got.empty() && got.back() == command) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    };
    ASSERT_TRUE(lastIs("C 0 255 0"));
    std::ofstream(teamsLog, std::ios::app) << "UserPresenceAction: {availability: Busy}\n";
    EXPECT_TRUE(lastIs("C 255 0 0"));
    EXPECT_THAT(light.received(), testing::ElementsAre("PING", "B 100", "C 0 255 0", "C 255 0 0"));
    EXPECT_EQ(tally.readUntil([](const std::string&) { return false; }, 1s), "")
        << "nothing on standard output without --dry-run or --simulate";
}
