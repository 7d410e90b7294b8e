// The built tally program, run as a person would, each in a home of its own.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CaptureWatchLinux.h"
#include "support/Eventually.h"
#include "support/FakeTeams.h"
#include "support/Process.h"
#include "support/SimulatedLights.h"
#include "support/SoundServer.h"
#include "support/TallyHome.h"
#include "support/VirtualLight.h"

using namespace tally::test;
using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

std::string teamsLogIn(const TallyHome& home, const std::string& availability) {
    std::filesystem::create_directories(home.teamsLogFolder());
    const std::string teamsLog = home.teamsLogFolder() + "/MSTeams_2026-12-07.log";
    std::ofstream(teamsLog) << "UserPresenceAction: {availability: " << availability << "}\n";
    return teamsLog;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

bool exitedWith(std::optional<int> status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

const auto never = [](const std::string&) { return false; };
auto holding(const std::string& text) {
    return [text](const std::string& out) { return out.find(text) != std::string::npos; };
}

// What `tally ARGS` prints before it ends by itself (on standard output, and standard error if
// asked: Qt may remark there), and how it ended.
struct Ran {
    std::string output;
    std::optional<int> status;
};
Ran run(std::vector<std::string> args, const std::vector<std::string>& environment,
        Process::Errors errors = Process::Errors::passed) {
    args.insert(args.begin(), TALLY_BINARY);
    Process p(args, environment, errors);
    Ran ran{p.readUntil(never, 20s), std::nullopt};
    ran.status = p.waitFor(20s);
    return ran;
}

// A serial device of the test's own: Tally writes to the terminal's far end, the test reads what
// arrives and gives it to a simulated light.
class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        if (const char* name = ::ptsname(master_)) path_ = name;
    }
    ~PseudoTerminal() {
        if (master_ >= 0) ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    const std::string& path() const { return path_; }
    // Whatever arrived within a moment.
    std::string read() const {
        pollfd waiting{master_, POLLIN, 0};
        if (::poll(&waiting, 1, 50) != 1 || !(waiting.revents & POLLIN)) return {};
        char buffer[512];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

private:
    int master_ = -1;
    std::string path_;
};

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TEST(TallyBinary, dryRunSimulatePrintsTheStartAndAStateEveryFourSeconds) {
    TallyHome home;
    Process tally({TALLY_BINARY, "--dry-run", "--simulate"}, home.environment());
    const std::string& out = tally.readUntil(holding("light state: In a call"), 20s);
    EXPECT_TRUE(std::regex_search(
        out, std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Tally started \(dry run\) \(simulate\)\n)")))
        << out;
    const auto available = out.find("light state: Available");
    const auto busy = out.find("light state: Busy");
    const auto inCall = out.find("light state: In a call");
    EXPECT_LT(available, busy);
    EXPECT_LT(busy, inCall);
    ASSERT_NE(inCall, std::string::npos);

    // The same lines go to the activity log, each just after it is printed.
    ASSERT_TRUE(eventually([&] { return home.activityLog().find("light state: In a call") != std::string::npos; }));
    tally.stop();
    for (auto line : {"Tally started (dry run) (simulate)", "light state: Available",
                      "light state: Busy", "light state: In a call"})
        EXPECT_EQ(count(home.activityLog(), line), 1u) << line;
    EXPECT_EQ(count(home.activityLog(), "no system tray: Tally runs without its menu"), 1u)
        << "the offscreen platform has no tray; Tally runs on and says so once";
}

// Tests whose outcome depends on which Teams processes run take turns (a resource lock in
// tests/CMakeLists.txt): every Tally of the machine sees every Teams of the user's.
TEST(TallyBinaryTeams, aBusyLineTurnsTheLightRed) {
    TallyHome home;
    const std::string teamsLog = teamsLogIn(home, "Available");
    FakeTeams teams(home.dir());
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--port", light.path()}, home.environment());

    ASSERT_TRUE(light.eventuallyLast("C 0 255 0"));
    std::ofstream(teamsLog, std::ios::app) << "UserPresenceAction: {availability: Busy}\n";
    EXPECT_TRUE(light.eventuallyLast("C 255 0 0"));
    EXPECT_THAT(light.received(), testing::ElementsAre("PING", "B 100", "C 0 255 0", "C 255 0 0"));
    tally.stop(SIGTERM);
    EXPECT_EQ(tally.readUntil(never, 10s), "") << "nothing on standard output without --dry-run or --simulate";
}

// The serial lights of other makers, each on a terminal given with --port and --light-kind,
// from the Teams log's lines to dark at the end.
TEST(TallyBinaryTeams, aBusyTagAndAFitStatUsbFollowTheTeamsLogsAndGoDarkAtTheEnd) {
    using tally::lights::Kind;
    for (const Kind kind : {Kind::busyTag, Kind::fitStatUsb}) {
        const std::string name(tally::lights::kindName(kind));
        TallyHome home;
        const std::string teamsLog = teamsLogIn(home, "Available");
        FakeTeams teams(home.dir());
        PseudoTerminal terminal;
        ASSERT_FALSE(terminal.path().empty());
        auto light = simulatedLight(kind);
        Process tally({TALLY_BINARY, "--port", terminal.path(), "--light-kind", name}, home.environment());
        const auto shows = [&](int red, int green, int blue) {
            return eventually([&] {
                const std::string bytes = terminal.read();
                if (!bytes.empty()) light->receive(secondsNow(), tally::lights::Report::Via::text, bytes);
                const Seen seen = light->seen(secondsNow());
                return seen.red == red && seen.green == green && seen.blue == blue && !seen.pulsing;
            });
        };
        ASSERT_TRUE(shows(0, 255, 0)) << name << " shows available";
        std::ofstream(teamsLog, std::ios::app) << "UserPresenceAction: {availability: Busy}\n";
        EXPECT_TRUE(shows(255, 0, 0)) << name << " shows busy";
        EXPECT_EQ(tally.stop(SIGTERM), 0) << name;
        EXPECT_TRUE(shows(0, 0, 0)) << name << " is dark once Tally has ended";
        EXPECT_THAT(light->problems(), testing::IsEmpty()) << name;
        EXPECT_THAT(home.activityLog(), HasSubstr("light connected: " + std::string(tally::lights::makerName(kind)) +
                                                  " at " + terminal.path()));
    }
}

TEST(TallyBinary, theVirtualLightSaysItsVersionAndHowToUseIt) {
    TallyHome home;
    for (const char* option : {"--version", "--help"}) {
        Process light({TALLY_VIRTUAL_LIGHT, option}, home.environment());
        const std::string out = light.readUntil(never, 10s);
        EXPECT_TRUE(exitedWith(light.waitFor(10s), 0)) << option;
        EXPECT_THAT(out, HasSubstr(option == std::string("--version") ? "tally-virtual-light " TALLY_TEST_VERSION "\n"
                                                                      : "usage: tally-virtual-light"));
    }
}

TEST(TallyBinary, signalsEndItAsQuittingDoesWithTheLightOff) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        TallyHome home;
        VirtualLight light(home.file("light.txt"));
        Process tally({TALLY_BINARY, "--simulate", "--port", light.path()}, home.environment());
        ASSERT_TRUE(light.eventuallyLast("C 0 255 0")) << signal;
        EXPECT_EQ(tally.stop(signal), 0) << "exit status 0 after signal " << signal;
        EXPECT_EQ(light.lastReceived(), "OFF") << signal;
        EXPECT_THAT(home.activityLog(), HasSubstr(std::string("Tally quits (signal SIG") +
                                                  (signal == SIGTERM ? "TERM" : signal == SIGINT ? "INT" : "HUP") + ")"));
    }
}

// Tally waits a second for each answer; a light that never gives one still lets it end.
TEST(TallyBinary, aLightThatNeverAnswersDoesNotKeepItFromEnding) {
    TallyHome home;
    VirtualLight light(home.file("light.txt"), {"--silent"});
    Process tally({TALLY_BINARY, "--simulate", "--port", light.path()}, home.environment());
    ASSERT_TRUE(eventually([&] { return light.lastReceived() == "PING"; })) << "it reached the light";
    ASSERT_TRUE(eventually([&] { return home.activityLog().find("did not answer PING") != std::string::npos; }));
    tally.signal(SIGTERM);
    EXPECT_TRUE(exitedWith(tally.waitFor(10s), 0));
    EXPECT_THAT(home.activityLog(), HasSubstr("Tally quits (signal SIGTERM)"));
}

// Each person's Tally has its own runtime folder: two people's run side by side.
TEST(TallyBinary, twoPeoplesTallysRunSideBySide) {
    TallyHome mine, yours;
    VirtualLight myLight(mine.file("light.txt")), yourLight(yours.file("light.txt"));
    Process me({TALLY_BINARY, "--simulate", "--port", myLight.path()}, mine.environment());
    Process you({TALLY_BINARY, "--simulate", "--port", yourLight.path()}, yours.environment());
    EXPECT_TRUE(myLight.eventuallyLast("C 0 255 0"));
    EXPECT_TRUE(yourLight.eventuallyLast("C 0 255 0"));
    EXPECT_EQ(me.stop(SIGTERM), 0);
    EXPECT_EQ(you.stop(SIGTERM), 0);
}

TEST(TallyBinary, aClosedStandardOutputIsNoReasonToDie) {
    TallyHome home;
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--simulate", "--port", light.path()}, home.environment());
    ASSERT_THAT(tally.readUntil(holding("\n"), 20s), HasSubstr("\n"));
    tally.closeOutput();  // | head -1
    // The simulation moves on every four seconds, each change echoed into the closed pipe.
    ASSERT_TRUE(light.eventuallyLast("C 255 0 0"));
    EXPECT_EQ(tally.stop(SIGTERM), 0);
    EXPECT_EQ(light.lastReceived(), "OFF");
    EXPECT_EQ(count(home.activityLog(), "light state: Busy"), 1u) << "the file log goes on";
}

TEST(TallyBinary, withoutADisplayItRunsOffscreenAndSaysSo) {
    TallyHome home;
    Process tally({TALLY_BINARY, "--dry-run", "--simulate"}, home.environmentWith({"QT_QPA_PLATFORM="}));
    const auto& out = tally.readUntil(holding("no display"), 20s);
    EXPECT_THAT(out, HasSubstr("Tally started (dry run) (simulate)"));
    EXPECT_THAT(out, HasSubstr("no display: Tally runs on Qt's offscreen platform"));
    EXPECT_EQ(tally.stop(SIGTERM), 0);
}

TEST(TallyBinary, helpVersionAndUnknownArguments) {
    TallyHome home;
    const Ran help = run({"--help"}, home.environment());
    EXPECT_THAT(help.output, testing::AllOf(HasSubstr("--port <path>"), HasSubstr("--simulate"),
                                            HasSubstr("--dry-run"), HasSubstr("--version"), HasSubstr("--quit")));
    EXPECT_TRUE(exitedWith(help.status, 0));
    const Ran version = run({"--version"}, home.environment());
    EXPECT_EQ(version.output, "tally 0.1.0\n");
    EXPECT_TRUE(exitedWith(version.status, 0));

    // Qt's own switches among them: Qt is never given them, so "-platform xcb" cannot abort it
    // where there is no X server.
    Process misspelt({TALLY_BINARY, "--dry-run", "--simulate", "--prot", "/dev/null", "-x", "-platform", "xcb"},
                     home.environment(), Process::Errors::collected);
    const auto& out = misspelt.readUntil(holding("light state: Available"), 20s);
    EXPECT_THAT(out, HasSubstr("tally: ignoring --prot, /dev/null, -x, -platform, xcb (see tally --help)\n"));
    EXPECT_THAT(out, HasSubstr("light state: Available")) << "and it runs";
    EXPECT_EQ(misspelt.stop(SIGTERM), 0);
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

}  // namespace

TEST(TallyBinary, aSystemBusThatNeverAnswersHoldsUpNoSignal) {
    TallyHome home;
    SilentBus bus(home.file("bus"));
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--simulate", "--port", light.path()},
                  home.environmentWith({"DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + home.file("bus")}));
    ASSERT_TRUE(light.eventuallyLast("C 0 255 0"));
    tally.signal(SIGTERM);
    EXPECT_TRUE(exitedWith(tally.waitFor(20s), 0)) << "the signal ends it while the bus is silent";
    EXPECT_EQ(light.lastReceived(), "OFF");
}

TEST(TallyBinary, aSignalWaitingAtTheStartEndsItAsQuittingDoes) {
    // Sent before its first instruction: as early as a signal can come.
    TallyHome home;
    Process tally({TALLY_BINARY, "--dry-run", "--simulate"}, home.environment(),
                  Process::Options{.blockedSignals = {SIGTERM}});
    tally.signal(SIGTERM);
    EXPECT_TRUE(exitedWith(tally.waitFor(20s), 0));
    EXPECT_THAT(home.activityLog(), HasSubstr("Tally started (dry run) (simulate)"));
}

TEST(TallyBinary, anEchoNobodyReadsHoldsUpNeitherTheLightNorTheEnd) {
    TallyHome home;
    VirtualLight light(home.file("light.txt"));
    int full[2];
    ASSERT_EQ(::pipe(full), 0);
    ::fcntl(full[1], F_SETFL, O_NONBLOCK);
    for (const std::string block(4096, 'x'); ::write(full[1], block.data(), block.size()) > 0;) {}
    ::fcntl(full[1], F_SETFL, 0);  // Tally's writes would wait, as on any full pipe
    Process tally({TALLY_BINARY, "--simulate", "--port", light.path()}, home.environment(),
                  Process::Options{Process::Errors::passed, full[1], {}});
    EXPECT_TRUE(light.eventuallyLast("C 255 0 0")) << "the simulation moves on";
    tally.signal(SIGTERM);
    EXPECT_TRUE(exitedWith(tally.waitFor(20s), 0));
    EXPECT_EQ(light.lastReceived(), "OFF");
    EXPECT_THAT(home.activityLog(), HasSubstr("light state: Busy")) << "the file has every line";
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
        TallyHome home;
        const auto environment = home.environmentWith({"QT_QPA_PLATFORM=", c.setting});
        const Ran version = run({"--version"}, environment);
        EXPECT_EQ(version.output, "tally 0.1.0\n");
        EXPECT_TRUE(exitedWith(version.status, 0));

        Process tally({TALLY_BINARY, "--dry-run", "--simulate"}, environment);
        const auto& out = tally.readUntil(holding("offscreen"), 20s);
        EXPECT_THAT(out, HasSubstr(c.said + ": Tally runs on Qt's offscreen platform"));
        EXPECT_EQ(tally.stop(SIGTERM), 0);
    }
}

TEST(TallyBinary, theCommandLineIsReadOnceAndAMissingValueIsAnError) {
    TallyHome home;
    for (const auto& missing : {"--port", "--port="}) {
        const Ran ran = run({"--dry-run", missing}, home.environment(), Process::Errors::collected);
        EXPECT_EQ(ran.output,
                  "tally: --port needs the path of a serial port, as in --port /dev/ttyACM0 (see tally --help)\n");
        EXPECT_TRUE(exitedWith(ran.status, 2)) << missing;
    }
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--simulate", "--port=" + light.path()}, home.environment());
    EXPECT_TRUE(light.eventuallyLast("C 0 255 0")) << "--port=PATH names the port";
    EXPECT_EQ(tally.stop(SIGTERM), 0);
}

// A port that is no light is said once, in words that tell what is wrong, however often it is
// tried again.
TEST(TallyBinary, aPortThatIsNoLightIsNamedOnce) {
    TallyHome home;
    std::filesystem::create_directory(home.file("folder"));
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    home.file("socket").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    struct Case {
        std::string port;
        std::string said;
    };
    const std::vector<Case> cases{{home.file("missing"), home.file("missing") + ": no such port"},
                                  {home.file("folder"), home.file("folder") + " is not a serial port"},
                                  {home.file("socket"), home.file("socket") + " is not a serial port"},
                                  {"/dev/null", "/dev/null is not a serial port"}};
    // All at once, each in a home of its own.
    std::vector<std::unique_ptr<TallyHome>> homes;
    std::vector<std::unique_ptr<Process>> tallys;
    for (const Case& c : cases) {
        homes.push_back(std::make_unique<TallyHome>());
        tallys.push_back(std::make_unique<Process>(std::vector<std::string>{TALLY_BINARY, "--simulate", "--port", c.port},
                                                   homes.back()->environment()));
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].port);
        // Two tries, three seconds apart, by the simulation's second state.
        ASSERT_THAT(tallys[i]->readUntil(holding("light state: Busy"), 20s), HasSubstr("light state: Busy"));
        EXPECT_EQ(count(homes[i]->activityLog(), cases[i].said), 1u) << homes[i]->activityLog();
        EXPECT_EQ(tallys[i]->stop(SIGTERM), 0);
    }
    ::close(listening);
}

TEST(TallyBinary, oneTallyPerPersonAndTallyQuitEndsIt) {
    TallyHome home;
    const Ran none = run({"--quit"}, home.environment());
    EXPECT_EQ(none.output, "Tally is not running\n");
    EXPECT_TRUE(exitedWith(none.status, 1)) << "none ran";

    VirtualLight light(home.file("light.txt"));
    Process first({TALLY_BINARY, "--simulate", "--port", light.path()}, home.environment());
    ASSERT_TRUE(light.eventuallyLast("C 0 255 0"));

    const Ran second = run({"--simulate", "--port", light.path()}, home.environment());
    EXPECT_EQ(second.output, "Tally is already running\n");
    EXPECT_TRUE(exitedWith(second.status, 0));
    EXPECT_TRUE(eventually([&] { return home.activityLog().find("Tally was started again") != std::string::npos; }));
    EXPECT_FALSE(first.waitFor(0ms)) << "the first runs on";

    const Ran quit = run({"--quit"}, home.environment());
    EXPECT_EQ(quit.output, "Tally quits\n");
    EXPECT_TRUE(exitedWith(quit.status, 0)) << "it stopped one";
    EXPECT_EQ(light.lastReceived(), "OFF") << "before tally --quit returned";
    // A start right after finds the old one gone: tally --quit; tally restarts Tally.
    Process again({TALLY_BINARY, "--dry-run", "--simulate"}, home.environment());
    EXPECT_THAT(again.readUntil(holding("Tally started"), 20s), HasSubstr("Tally started"));
    EXPECT_TRUE(exitedWith(first.waitFor(20s), 0));
    EXPECT_THAT(home.activityLog(), HasSubstr("Tally quits (tally --quit)"));
    EXPECT_EQ(again.stop(SIGTERM), 0);
}

// A Tally that holds the lock but cannot answer (stopped, say) is not "not running".
TEST(TallyBinary, tallyQuitSaysWhenATallyDoesNotAnswer) {
    TallyHome home;
    Process tally({TALLY_BINARY, "--dry-run", "--simulate"}, home.environment());
    ASSERT_THAT(tally.readUntil(holding("light state: Available"), 20s), HasSubstr("light state: Available"));
    tally.signal(SIGSTOP);
    const Ran quit = run({"--quit"}, home.environment());
    EXPECT_THAT(quit.output, testing::MatchesRegex("Tally is running \\(process [0-9]+\\) but does not answer\n"));
    EXPECT_TRUE(exitedWith(quit.status, 3));
    tally.signal(SIGCONT);
    tally.signal(SIGTERM);
    EXPECT_TRUE(exitedWith(tally.waitFor(20s), 0));
}

// Where the runtime folder is not fit for the lock, Tally says so, and a second start and
// tally --quit still find the first or say plainly that they cannot.
TEST(TallyBinary, oneTallyPerPersonWithoutAProperRuntimeFolder) {
    {
        SCOPED_TRACE("XDG_RUNTIME_DIR names a folder that does not exist (yet)");
        TallyHome home;
        const auto environment = home.environmentWith({"XDG_RUNTIME_DIR=" + home.file("gone")});
        Process first({TALLY_BINARY, "--dry-run", "--simulate"}, environment);
        ASSERT_THAT(first.readUntil(holding("light state: Available"), 20s), HasSubstr("light state: Available"));
        EXPECT_EQ(run({"--dry-run"}, environment).output, "Tally is already running\n");
        EXPECT_EQ(run({"--quit"}, environment).output, "Tally quits\n");
        EXPECT_TRUE(exitedWith(first.waitFor(20s), 0));
        EXPECT_EQ(std::filesystem::status(home.file("gone")).permissions(), std::filesystem::perms::owner_all);
    }
    {
        SCOPED_TRACE("no XDG_RUNTIME_DIR: a folder of the user's own in the temporary folder");
        TallyHome home;
        const auto environment = home.environmentWith({"XDG_RUNTIME_DIR="});
        Process first({TALLY_BINARY, "--dry-run", "--simulate"}, environment);
        ASSERT_THAT(first.readUntil(holding("light state: Available"), 20s), HasSubstr("light state: Available"));
        EXPECT_EQ(run({"--dry-run"}, environment).output, "Tally is already running\n");
        EXPECT_EQ(run({"--quit"}, environment).output, "Tally quits\n");
        EXPECT_TRUE(exitedWith(first.waitFor(20s), 0));
        EXPECT_EQ(std::filesystem::status(home.file("tmp/tally-" + std::to_string(::getuid()))).permissions(),
                  std::filesystem::perms::owner_all);
    }
    {
        SCOPED_TRACE("a runtime folder open to others");
        TallyHome home;
        std::filesystem::permissions(home.runtimeFolder(), std::filesystem::perms(0755));
        Process first({TALLY_BINARY, "--dry-run", "--simulate"}, home.environment());
        const std::string said = "cannot keep to one Tally per person: " + home.runtimeFolder() + " is open to other users";
        EXPECT_THAT(first.readUntil(holding(said), 20s), HasSubstr(said));
        EXPECT_EQ(first.stop(SIGTERM), 0);
    }
    {
        SCOPED_TRACE("the socket's place is taken by a folder");
        TallyHome home;
        std::filesystem::create_directory(home.runtimeFolder() + "/tally.socket");
        Process first({TALLY_BINARY, "--dry-run", "--simulate"}, home.environment());
        const std::string said = "cannot listen on " + home.runtimeFolder() + "/tally.socket";
        EXPECT_THAT(first.readUntil(holding(said), 20s), HasSubstr(said));
        const Ran quit = run({"--quit"}, home.environment());
        EXPECT_THAT(quit.output, HasSubstr("but does not answer"));
        EXPECT_TRUE(exitedWith(quit.status, 3));
        EXPECT_EQ(first.stop(SIGTERM), 0);
    }
    {
        SCOPED_TRACE("a runtime folder too deep for a socket's name");
        TallyHome home;
        const std::string deep = home.file(std::string(60, 'a') + "/" + std::string(60, 'b'));
        std::filesystem::create_directories(deep);
        std::filesystem::permissions(deep, std::filesystem::perms::owner_all);
        const auto environment = home.environmentWith({"XDG_RUNTIME_DIR=" + deep});
        Process first({TALLY_BINARY, "--dry-run", "--simulate"}, environment);
        const std::string said = "cannot listen on " + deep + "/tally.socket";
        EXPECT_THAT(first.readUntil(holding(said), 20s), HasSubstr(said));
        const Ran quit = run({"--quit"}, environment);
        EXPECT_THAT(quit.output, HasSubstr("but does not answer")) << "it is running, and says so";
        EXPECT_EQ(first.stop(SIGTERM), 0);
    }
}

// The whole way with no Teams at all: a program recording from the microphone turns the light
// to a call, and its end turns the light off again.
TEST(TallyBinaryCalls, aRecordingFromTheMicrophoneIsACallWithoutTeams) {
    if (!tally::platform::cameraHolders("/proc", tally::platform::videoDevices("/dev")).empty())
        GTEST_SKIP() << "a camera of this machine is in use by this user, which is a call too";
    TallyHome home;
    SoundServer server(home.dir());
    home.useSoundServer(server.address());
    home.setAnyCall(true);
    VirtualLight light(home.file("light.txt"));
    Process tally({TALLY_BINARY, "--port", light.path()}, home.environment());
    ASSERT_TRUE(eventually([&] { return home.activityLog().find("call detection: microphone through PulseAudio") != std::string::npos; }));
    ASSERT_TRUE(light.eventuallyLast("OFF")) << "no Teams runs in this home";

    auto call = server.record("mic");
    ASSERT_TRUE(light.eventuallyLast("P 255 0 0 3000"));
    call->stop();
    ASSERT_TRUE(light.eventuallyLast("OFF"));
    EXPECT_EQ(tally.stop(SIGTERM), 0);
    const std::string log = home.activityLog();
    for (const auto* line : {"microphone in use (pacat)", "light state: In a call", "microphone no longer in use"})
        EXPECT_THAT(log, HasSubstr(line));
}
