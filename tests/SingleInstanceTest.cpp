// One Tally per person, in a folder of the test's own: the lock, the socket and the words
// between a later start and the running Tally.
#include "SingleInstance.h"

#include <filesystem>
#include <fstream>
#include <future>

#include <QLocalSocket>
#include <QSignalSpy>

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "support/QtWait.h"
#include "support/TempDir.h"

using namespace tally;
using namespace tally::test;
using Request = SingleInstance::Request;
using Answer = SingleInstance::Answer;

namespace {

// The number of a process that has ended: free, as a dead Tally's is.
long long endedProcessId() {
#ifdef _WIN32
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    wchar_t line[] = L"cmd.exe /c exit";
    if (!::CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &process))
        return 0;
    ::WaitForSingleObject(process.hProcess, 30'000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return process.dwProcessId;
#else
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    return ::waitpid(gone, nullptr, 0) == gone ? gone : 0;
#endif
}

class SingleInstanceTest : public testing::Test {
protected:
    TempDir dir;
    platform::InstancePlace place{dir.path().string(), dir.file("tally.socket"), {}};

    // Sends from another thread, as another process would, while this one answers.
    Answer sendWhileAnswering(Request request) {
        auto sent = std::async(std::launch::async, [&] { return SingleInstance::send(place, request); });
        EXPECT_TRUE(processEventsUntil([&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return sent.get();
    }
};

}  // namespace

TEST_F(SingleInstanceTest, theFirstHoldsTheLockAndTakesShowAndQuit) {
    EXPECT_EQ(SingleInstance::send(place, Request::quit), Answer::noneRunning) << "none yet";
    SingleInstance first(place);
    EXPECT_TRUE(first.isFirst());
    EXPECT_EQ(first.problem(), "");
    EXPECT_FALSE(SingleInstance(place).isFirst()) << "a second start finds the first";

    QSignalSpy requests(&first, &SingleInstance::requested);
    EXPECT_EQ(sendWhileAnswering(Request::show), Answer::taken);
    EXPECT_EQ(sendWhileAnswering(Request::quit), Answer::taken);
    ASSERT_EQ(requests.count(), 2);
    EXPECT_EQ(requests.at(0).at(0).value<Request>(), Request::show);
    EXPECT_EQ(requests.at(1).at(0).value<Request>(), Request::quit);
}

TEST_F(SingleInstanceTest, anUnknownWordIsAnsweredAndNotTaken) {
    SingleInstance first(place);
    QSignalSpy requests(&first, &SingleInstance::requested);
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(place.socket));
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write("reboot\n");
    ASSERT_TRUE(processEventsUntil([&] { return socket.waitForReadyRead(10) || socket.canReadLine(); }));
    EXPECT_EQ(socket.readLine(), "?\n");
    EXPECT_EQ(requests.count(), 0);
    EXPECT_EQ(sendWhileAnswering(Request::quit), Answer::taken) << "and the next word is heard";
}

// A lock whose Tally died is taken over; a lock that cannot be made is no reason not to run.
TEST_F(SingleInstanceTest, aStaleLockIsTakenOverAndNoLockIsNoReasonNotToRun) {
    const long long gone = endedProcessId();
    ASSERT_NE(gone, 0);
    // As Qt writes it: binary (no Windows "\r"), and the host as Qt names it there.
#ifdef _WIN32
    const std::string host = qEnvironmentVariable("COMPUTERNAME").toStdString();
#else
    const std::string host = QSysInfo::machineHostName().toStdString();
#endif
    std::ofstream(dir.file("tally.lock"), std::ios::binary) << gone << "\nTally\n" << host << "\n";
    {
        SingleInstance first(place);
        EXPECT_TRUE(first.isFirst());
        EXPECT_EQ(first.problem(), "");
    }

    const platform::InstancePlace nowhere{dir.file("missing"), dir.file("missing/tally.socket"), {}};
    SingleInstance unguarded(nowhere);
    EXPECT_TRUE(unguarded.isFirst());
    EXPECT_EQ(unguarded.problem(), "cannot make a lock in " + nowhere.folder + ": a second Tally would not be noticed");
    EXPECT_EQ(SingleInstance::send(nowhere, Request::quit), Answer::noneRunning);

    SingleInstance refused(platform::InstancePlace{{}, {}, dir.file("x") + " belongs to another user"});
    EXPECT_TRUE(refused.isFirst());
    EXPECT_EQ(refused.problem(), "cannot keep to one Tally per person: " + dir.file("x") + " belongs to another user");
}
