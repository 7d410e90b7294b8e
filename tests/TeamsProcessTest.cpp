#include "TeamsProcess.h"

#include <filesystem>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"

// A real process whose executable is named MSTeams, as the Teams client's is.
TEST(TeamsProcess, findsARunningProcessNamedMSTeams) {
    tally::test::TempDir dir;
    const std::string teams = dir.file("MSTeams");
    std::filesystem::copy_file("/bin/sleep", teams);
    std::filesystem::permissions(teams, std::filesystem::perms(0755));

    const bool before = tally::platform::isTeamsRunning();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(teams.c_str(), "MSTeams", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The child may not have exec'd yet; give it a moment, without depending on speed.
    bool seen = false;
    for (int i = 0; i < 500 && !seen; ++i) {
        seen = tally::platform::isTeamsRunning();
        if (!seen) ::usleep(10'000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(seen);
    if (!before) {
        EXPECT_FALSE(tally::platform::isTeamsRunning());
    }
}
