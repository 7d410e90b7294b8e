#include "TeamsProcess.h"

#include <fstream>

#include <gtest/gtest.h>

#include "support/FakeTeams.h"
#include "support/Unprivileged.h"

TEST(TeamsProcess, findsARunningProcessNamedMSTeams) {
    tally::test::TempDir dir;
    const bool before = tally::platform::isTeamsRunning();
    auto teams = std::make_unique<tally::test::FakeTeams>(dir);
    const bool seen = tally::platform::isTeamsRunning();
    teams.reset();
    EXPECT_TRUE(seen);
    if (!before) {
        EXPECT_FALSE(tally::platform::isTeamsRunning());
    }
}

TEST(TeamsProcess, aZombieOrAnotherUsersProcessIsNotTeamsRunning) {
    tally::test::TempDir dir;
    {
        tally::test::FakeTeams teams(dir);
        const std::string result = tally::test::runUnprivileged(
            [] { return tally::platform::isTeamsRunning() ? "another user's Teams was counted" : ""; });
        if (::geteuid() == 0) {
            EXPECT_EQ(result, "");
        }
    }
    if (tally::platform::isTeamsRunning()) GTEST_SKIP() << "a real Teams runs on this machine";

    // A Teams that has ended but not been waited for yet.
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(dir.file("MSTeams").c_str(), "MSTeams", "600", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const std::string proc = "/proc/" + std::to_string(child);
    const auto state = [&] {
        std::ifstream in(proc + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), {});
        const auto close = text.rfind(')');
        return close == std::string::npos ? ' ' : text[close + 2];
    };
    for (int i = 0; i < 1000 && !tally::platform::isTeamsRunning(); ++i) ::usleep(5'000);
    EXPECT_TRUE(tally::platform::isTeamsRunning());
    ::kill(child, SIGKILL);
    for (int i = 0; i < 1000 && state() != 'Z'; ++i) ::usleep(5'000);
    ASSERT_EQ(state(), 'Z');
    EXPECT_FALSE(tally::platform::isTeamsRunning()) << "a zombie is not running";
    ::waitpid(child, nullptr, 0);
}
