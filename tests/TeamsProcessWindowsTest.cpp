// Whether Teams runs, on Windows: a process whose image is ms-teams.exe, started by the test.
#include "TeamsProcess.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "support/Eventually.h"

TEST(TeamsProcess, findsARunningProcessNamedMsTeamsExe) {
    const bool before = tally::platform::isTeamsRunning();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION teams{};
    std::wstring program;
    // A Unix path under Wine is on its Z: drive.
    const std::string path = std::string(TALLY_FAKE_TEAMS).starts_with("/") ? "Z:" TALLY_FAKE_TEAMS : TALLY_FAKE_TEAMS;
    for (const char c : path) program += static_cast<wchar_t>(c == '/' ? '\\' : c);
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
