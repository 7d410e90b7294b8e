// Whether Teams runs, on Windows: a process whose image is ms-teams.exe, started by the test.
#include "TeamsProcess.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "support/Eventually.h"
#include "support/Wine.h"

TEST(TeamsProcess, findsARunningProcessNamedMsTeamsExe) {
    const bool before = tally::platform::isTeamsRunning();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION teams{};
    // The build's path: a Unix one under Wine, on its Z: drive.
    const std::string path =
        std::string(TALLY_FAKE_TEAMS).starts_with("/") ? tally::test::Wine::windowsPath(TALLY_FAKE_TEAMS) : TALLY_FAKE_TEAMS;
    const std::wstring program(path.begin(), path.end());
    ASSERT_TRUE(::CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &teams));
    EXPECT_TRUE(tally::test::eventually([] { return tally::platform::isTeamsRunning(); }));
    ::TerminateProcess(teams.hProcess, 0);
    ::WaitForSingleObject(teams.hProcess, 10'000);
    ::CloseHandle(teams.hThread);
    ::CloseHandle(teams.hProcess);
    if (!before) {
        EXPECT_TRUE(tally::test::eventually([] { return !tally::platform::isTeamsRunning(); }));
    }
}
