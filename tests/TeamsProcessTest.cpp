#include "TeamsProcess.h"

#include <gtest/gtest.h>

#include "support/FakeTeams.h"

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
