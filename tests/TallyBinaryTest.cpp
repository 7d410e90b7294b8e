// The built tally program, run as a person would, with its home in a temporary folder.
#include <filesystem>
#include <fstream>
#include <csignal>
#include <regex>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CaptureWatchLinux.h"
#include "support/Eventually.h"
#include "support/FakeTeams.h"
#include "support/Process.h"
#include "support/SoundServer.h"
#include "support/TempDir.h"
#include "support/VirtualLight.h"

using namespace tally::test;
using namespace std::chrono_literals;

namespace {

// A home of its own, no sound server, and the machine's microphones and cameras left out of
// it (only the test about them turns them on).
std::vector<std::string> environmentFor(const TempDir& home) {
    std::filesystem::create_directories(home.file(".config/Tally"));
    if (!std::filesystem::exists(home.file(".config/Tally/Tally.conf")))
        std::ofstream(home.file(".config/Tally/Tally.conf")) << "[General]\nanyCall=false\n";
    return {"HOME=" + home.path().string(), "QT_QPA_PLATFORM=offscreen",
            "XDG_CONFIG_HOME=" + home.file(".config"), "XDG_STATE_HOME=" + home.file(".local/state"),
            "XDG_RUNTIME_DIR=" + home.path().string(), "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent",
            "PULSE_SERVER=unix:" + home.file("no-sound-server")};
}

std::string teamsLogIn(const TempDir& home, const std::string& availability) {
    const std::string logs = home.file(
        "Library/Group Containers/UBF8T346G9.com.microsoft.teams/Library/Application Support/Logs");
    std::filesystem::create_directories(logs);
    const std::string teamsLog = logs + "/MSTeams_2026-12-07.log";
    std::ofstream(teamsLog) << "UserPresenceAction: {availability: " << availability << "}\n";
    return teamsLog;
}

bool eventuallyLast(const VirtualLight& light, const std::string& command) {
    return eventually([&] {
        const auto got = light.received();
        return !got.empty() && got.back() == command;
    });
}

std::string activityLog(const TempDir& home) {
    std::ifstream log(home.file(".local/state/tally/Tally.log"));
    return std::string((std::istreambuf_iterator<char>(log)), {});
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
    const auto logged = [&] { return activityLog(home); };
    eventually([&] { return logged().find("light state: In a call") != std::string::npos; });
    tally.stop();
    for (auto line : {"Tally started (dry run) (simulate)", "light state: Available",
                      "light state: Busy", "light state: In a call"})
        EXPECT_EQ(count(logged(), line), 1u) << line;
    EXPECT_EQ(count(logged(), "no system tray: Tally runs without its menu"), 1u)
        << "the offscreen platform has no tray; Tally runs on and says so once";
}

TEST(TallyBinary, aBusyLineTurnsTheLightRed) {
    TempDir home;
    const std::string teamsLog = teamsLogIn(home, "Available");
    FakeTeams teams(home);
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--port", light.path()}, environmentFor(home));

    ASSERT_TRUE(eventuallyLast(light, "C 0 255 0"));
    std::ofstream(teamsLog, std::ios::app) << "UserPresenceAction: {availability: Busy}\n";
    EXPECT_TRUE(eventuallyLast(light, "C 255 0 0"));
    EXPECT_THAT(light.received(), testing::ElementsAre("PING", "B 100", "C 0 255 0", "C 255 0 0"));
    tally.stop(SIGTERM);
    EXPECT_EQ(tally.readUntil([](const std::string&) { return false; }, 10s), "")
        << "nothing on standard output without --dry-run or --simulate";
}

TEST(TallyBinary, signalsEndItAsQuittingDoesWithTheLightOff) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        TempDir home;
        teamsLogIn(home, "Busy");
        FakeTeams teams(home);
        VirtualLight light(home.file("light.txt"));
        Process tally({TALLY_BINARY, "--port", light.path()}, environmentFor(home));
        ASSERT_TRUE(eventuallyLast(light, "C 255 0 0")) << signal;
        EXPECT_EQ(tally.stop(signal), 0) << "exit status 0 after signal " << signal;
        EXPECT_EQ(light.received().back(), "OFF") << signal;
        EXPECT_THAT(activityLog(home), testing::HasSubstr(std::string("Tally quits (signal SIG") +
                                                          (signal == SIGTERM ? "TERM" : signal == SIGINT ? "INT" : "HUP") + ")"));
    }
}

TEST(TallyBinary, aLightThatNeverAnswersDoesNotKeepItFromEnding) {
    TempDir home;
    VirtualLight light(home.file("light.txt"), {"--silent"});
    Process tally({TALLY_BINARY, "--dry-run", "--simulate", "--port", light.path()}, environmentFor(home));
    tally.readUntil([](const std::string& o) { return o.find("Tally started") != std::string::npos; }, 20s);
    TempDir otherHome;  // another person's Tally: one person's second start would not run
    Process again({TALLY_BINARY, "--port", light.path()}, environmentFor(otherHome));
    eventually([&] { return !light.received().empty(); });
    EXPECT_EQ(again.stop(SIGTERM), 0);
    EXPECT_EQ(tally.stop(SIGTERM), 0);
}

TEST(TallyBinary, aClosedStandardOutputIsNoReasonToDie) {
    TempDir home;
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--simulate", "--port", light.path()}, environmentFor(home));
    tally.readUntil([](const std::string& o) { return o.find('\n') != std::string::npos; }, 20s);
    tally.closeOutput();  // | head -1
    // The simulation moves on every four seconds, each change echoed into the closed pipe.
    ASSERT_TRUE(eventuallyLast(light, "C 255 0 0"));
    EXPECT_EQ(tally.stop(SIGTERM), 0);
    EXPECT_EQ(light.received().back(), "OFF");
    EXPECT_EQ(count(activityLog(home), "light state: Busy"), 1u) << "the file log goes on";
}

TEST(TallyBinary, withoutADisplayItRunsOffscreenAndSaysSo) {
    TempDir home;
    std::vector<std::string> environment;
    for (auto& e : environmentFor(home))
        if (!e.starts_with("QT_QPA_PLATFORM=")) environment.push_back(e);
    // The test's own environment reaches the child too: make sure it names no display.
    environment.insert(environment.end(), {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    Process tally({TALLY_BINARY, "--dry-run", "--simulate"}, environment);
    const auto& out = tally.readUntil(
        [](const std::string& o) { return o.find("no display") != std::string::npos; }, 20s);
    EXPECT_THAT(out, testing::HasSubstr("Tally started (dry run) (simulate)"));
    EXPECT_THAT(out, testing::HasSubstr("no display: Tally runs on Qt's offscreen platform"));
    EXPECT_EQ(tally.stop(SIGTERM), 0);
}

TEST(TallyBinary, helpVersionAndUnknownArguments) {
    TempDir home;
    std::filesystem::permissions(home.path(), std::filesystem::perms::owner_all);  // a runtime folder
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), TALLY_BINARY);
        auto p = std::make_unique<Process>(args, environmentFor(home), Process::Errors::collected);
        return p;
    };
    auto help = run({"--help"});
    EXPECT_THAT(help->readUntil([](const std::string&) { return false; }, 10s),
                testing::AllOf(testing::HasSubstr("--port <path>"), testing::HasSubstr("--simulate"),
                               testing::HasSubstr("--dry-run"), testing::HasSubstr("--version")));
    EXPECT_EQ(help->wait(), 0);
    auto version = run({"--version"});
    EXPECT_EQ(version->readUntil([](const std::string&) { return false; }, 10s), "tally 0.1.0\n");
    EXPECT_EQ(version->wait(), 0);

    auto misspelt = run({"--dry-run", "--simulate", "--prot", "/dev/null", "-x"});
    const auto& out = misspelt->readUntil(
        [](const std::string& o) { return o.find("Tally started") != std::string::npos; }, 20s);
    EXPECT_THAT(out, testing::HasSubstr("tally: ignoring --prot, /dev/null, -x (see tally --help)\n"));
    EXPECT_EQ(misspelt->stop(SIGTERM), 0) << "and it runs";
}

namespace {

// A system bus that takes the connection and never says a word.
class SilentBus {
public:
    explicit SilentBus(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::listen(fd_, 16);
    }
    ~SilentBus() { ::close(fd_); }

private:
    int fd_;
};

std::vector<std::string> with(std::vector<std::string> environment, const std::vector<std::string>& more) {
    for (const auto& setting : more) {
        const auto name = setting.substr(0, setting.find('=') + 1);
        std::erase_if(environment, [&](const std::string& e) { return e.starts_with(name); });
        environment.push_back(setting);
    }
    return environment;
}

bool exitedWith(std::optional<int> status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

}  // namespace

TEST(TallyBinary, aSystemBusThatNeverAnswersHoldsUpNoSignal) {
    TempDir home;
    SilentBus bus(home.file("bus"));
    teamsLogIn(home, "Busy");
    FakeTeams teams(home);
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--port", light.path()},
                  with(environmentFor(home), {"DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + home.file("bus")}));
    ASSERT_TRUE(eventuallyLast(light, "C 255 0 0"));
    tally.signal(SIGTERM);
    EXPECT_TRUE(exitedWith(tally.waitFor(20s), 0)) << "the signal ends it while the bus is silent";
    EXPECT_EQ(light.received().back(), "OFF");
}

TEST(TallyBinary, aSignalWaitingAtTheStartEndsItAsQuittingDoes) {
    // Sent before its first instruction: as early as a signal can come.
    TempDir home;
    Process tally({TALLY_BINARY, "--dry-run", "--simulate"}, environmentFor(home),
                  Process::Options{.blockedSignals = {SIGTERM}});
    tally.signal(SIGTERM);
    EXPECT_TRUE(exitedWith(tally.waitFor(20s), 0));
    EXPECT_THAT(activityLog(home), testing::HasSubstr("Tally started (dry run) (simulate)"));
}

TEST(TallyBinary, anEchoNobodyReadsHoldsUpNeitherTheLightNorTheEnd) {
    TempDir home;
    VirtualLight light(home.file("light.txt"));
    int full[2];
    ASSERT_EQ(::pipe(full), 0);
    ::fcntl(full[1], F_SETFL, O_NONBLOCK);
    for (const std::string block(4096, 'x'); ::write(full[1], block.data(), block.size()) > 0;) {}
    ::fcntl(full[1], F_SETFL, 0);  // Tally's writes would wait, as on any full pipe
    Process tally({TALLY_BINARY, "--simulate", "--port", light.path()}, environmentFor(home),
                  Process::Options{Process::Errors::passed, full[1], {}});
    EXPECT_TRUE(eventuallyLast(light, "C 255 0 0")) << "the simulation moves on";
    tally.signal(SIGTERM);
    EXPECT_TRUE(exitedWith(tally.waitFor(20s), 0));
    EXPECT_EQ(light.received().back(), "OFF");
    EXPECT_THAT(activityLog(home), testing::HasSubstr("light state: Busy")) << "the file has every line";
    ::close(full[0]);
    ::close(full[1]);
}

TEST(TallyBinary, aDisplayThatCannotBeReachedIsNoReasonToAbort) {
    struct Case {
        std::string setting;
        std::string said;
    };
    for (const Case& c : {Case{"DISPLAY=:99", "cannot reach the display (DISPLAY=:99)"},
                          Case{"WAYLAND_DISPLAY=nowhere", "cannot reach the display (WAYLAND_DISPLAY=nowhere)"},
                          Case{"QT_QPA_PLATFORM=bogus", "cannot reach the display (QT_QPA_PLATFORM=bogus)"}}) {
        SCOPED_TRACE(c.setting);
        TempDir home;
        const auto environment =
            with(environmentFor(home), {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", c.setting});
        Process version({TALLY_BINARY, "--version"}, environment);
        EXPECT_EQ(version.readUntil([](const std::string&) { return false; }, 10s), "tally 0.1.0\n");
        EXPECT_TRUE(exitedWith(version.waitFor(10s), 0));

        Process tally({TALLY_BINARY, "--dry-run", "--simulate"}, environment);
        const auto& out = tally.readUntil(
            [](const std::string& o) { return o.find("offscreen") != std::string::npos; }, 20s);
        EXPECT_THAT(out, testing::HasSubstr(c.said + ": Tally runs on Qt's offscreen platform"));
        EXPECT_EQ(tally.stop(SIGTERM), 0);
    }
}

TEST(TallyBinary, theCommandLineIsReadOnceAndAMissingValueIsAnError) {
    TempDir home;
    for (const auto& missing : {"--port", "--port="}) {
        Process tally({TALLY_BINARY, "--dry-run", missing}, environmentFor(home), Process::Errors::collected);
        EXPECT_EQ(tally.readUntil([](const std::string&) { return false; }, 10s),
                  "tally: --port needs the path of a serial port, as in --port /dev/ttyACM0 (see tally --help)\n");
        EXPECT_TRUE(exitedWith(tally.waitFor(10s), 2)) << missing;
    }
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--simulate", "--port=" + light.path()}, environmentFor(home));
    EXPECT_TRUE(eventuallyLast(light, "C 0 255 0")) << "--port=PATH names the port";
    EXPECT_EQ(tally.stop(SIGTERM), 0);
}

TEST(TallyBinary, oneTallyPerPersonAndTallyQuitEndsIt) {
    TempDir home;
    VirtualLight light(home.file("light.txt"));
    Process first({TALLY_BINARY, "--simulate", "--port", light.path()}, environmentFor(home));
    ASSERT_TRUE(eventuallyLast(light, "C 0 255 0"));

    Process second({TALLY_BINARY, "--simulate", "--port", light.path()}, environmentFor(home));
    EXPECT_EQ(second.readUntil([](const std::string&) { return false; }, 10s), "Tally is already running\n");
    EXPECT_TRUE(exitedWith(second.waitFor(10s), 0));
    EXPECT_TRUE(eventually([&] { return activityLog(home).find("Tally was started again") != std::string::npos; }));
    EXPECT_FALSE(first.waitFor(0ms)) << "the first runs on";

    Process quit({TALLY_BINARY, "--quit"}, environmentFor(home));
    EXPECT_EQ(quit.readUntil([](const std::string&) { return false; }, 10s), "Tally quits\n");
    EXPECT_TRUE(exitedWith(quit.waitFor(10s), 0));
    EXPECT_TRUE(exitedWith(first.waitFor(20s), 0));
    EXPECT_EQ(light.received().back(), "OFF");
    EXPECT_THAT(activityLog(home), testing::HasSubstr("Tally quits (tally --quit)"));

    Process none({TALLY_BINARY, "--quit"}, environmentFor(home));
    EXPECT_EQ(none.readUntil([](const std::string&) { return false; }, 10s), "Tally is not running\n");
    EXPECT_TRUE(exitedWith(none.waitFor(10s), 0));
}

// The whole way with no Teams at all: a program recording from the microphone turns the light
// to a call, and its end turns the light off again.
TEST(TallyBinary, aRecordingFromTheMicrophoneIsACallWithoutTeams) {
    if (!tally::platform::cameraHolders("/proc", tally::platform::videoDevices("/dev")).empty())
        GTEST_SKIP() << "a camera of this machine is in use by this user, which is a call too";
    TempDir home;
    SoundServer server(home);
    VirtualLight light(home.file("light.txt"));
    auto environment = with(environmentFor(home), {"PULSE_SERVER=" + server.address()});
    std::filesystem::remove(home.file(".config/Tally/Tally.conf"));  // as at first: any call counts
    Process tally({TALLY_BINARY, "--port", light.path()}, environment);
    ASSERT_TRUE(eventually([&] { return activityLog(home).find("call detection: microphone through PulseAudio") != std::string::npos; }));
    ASSERT_TRUE(eventually([&] { return light.received().size() >= 3; }));  // PING, brightness, the state
    // "OFF" with no Teams; whatever a Teams of this machine's makes of a home without its logs.
    const std::string before = light.received().back();

    auto call = server.record("mic");
    ASSERT_TRUE(eventuallyLast(light, "P 255 0 0 3000"));
    call->stop();
    ASSERT_TRUE(eventuallyLast(light, before));
    EXPECT_EQ(tally.stop(SIGTERM), 0);
    const std::string log = activityLog(home);
    for (const auto* line : {"microphone in use (pacat)", "light state: In a call", "microphone no longer in use"})
        EXPECT_THAT(log, testing::HasSubstr(line));
}
