// The built tally program driving the light's own firmware: MicroPython runs it on the far end
// of a pseudo-terminal, with stood-in LEDs whose colours it records.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "support/FakeTeams.h"
#include "support/Process.h"
#include "support/TempDir.h"

using namespace tally::test;
using namespace std::chrono_literals;

namespace {

// The firmware in MicroPython, its serial line the master side of a pseudo-terminal; `path()`
// is the side a host opens.
class FirmwareLight {
public:
    explicit FirmwareLight(std::string record) : record_(std::move(record)) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master_);
        ::unlockpt(master_);
        path_ = ::ptsname(master_);
        // Held open so that the line stays up while the host closes and reopens it.
        slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        termios raw{};
        ::tcgetattr(slave_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::dup2(master_, STDIN_FILENO);
            ::dup2(master_, STDOUT_FILENO);
            ::execl(TALLY_NODE, "node", TALLY_FIRMWARE_SERVE, record_.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~FirmwareLight() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        ::close(slave_);
        ::close(master_);
    }
    FirmwareLight(const FirmwareLight&) = delete;
    FirmwareLight& operator=(const FirmwareLight&) = delete;

    const std::string& path() const { return path_; }

    // The colours the LEDs took, oldest first, each "r g b".
    std::vector<std::string> colours() const {
        std::ifstream in(record_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    bool eventuallyShows(const std::string& colour, std::chrono::seconds limit = 30s) const {
        for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
            const auto got = colours();
            if (!got.empty() && got.back() == colour) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

private:
    std::string record_;
    std::string path_;
    int master_ = -1;
    int slave_ = -1;
    pid_t pid_ = -1;
};

}  // namespace

TEST(FirmwareEndToEnd, teamsStatesReachTheLedsAndTheLightEndsDark) {
    TempDir home;
    const std::string logs = home.file(
        "Library/Group Containers/UBF8T346G9.com.microsoft.teams/Library/Application Support/Logs");
    std::filesystem::create_directories(logs);
    const std::string teamsLog = logs + "/MSTeams_2026-12-08.log";
    std::ofstream(teamsLog) << "UserPresenceAction: {availability: Available}\n";
    FakeTeams teams(home);
    FirmwareLight light(home.file("leds.txt"));
    ASSERT_TRUE(light.eventuallyShows("0 0 0")) << "the firmware starts dark";

    Process tally({TALLY_BINARY, "--port", light.path()},
                  {"HOME=" + home.path().string(), "QT_QPA_PLATFORM=offscreen",
                   "XDG_CONFIG_HOME=" + home.file(".config"), "XDG_STATE_HOME=" + home.file("state"),
                   "XDG_RUNTIME_DIR=" + home.path().string(), "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent"});
    EXPECT_TRUE(light.eventuallyShows("0 255 0")) << "Available is green";
    std::ofstream(teamsLog, std::ios::app) << "UserPresenceAction: {availability: Busy}\n";
    EXPECT_TRUE(light.eventuallyShows("255 0 0")) << "Busy is red";

    EXPECT_EQ(tally.stop(SIGTERM), 0) << "SIGTERM ends Tally as quitting does";
    EXPECT_EQ(light.colours().back(), "0 0 0") << "and the light is dark when it has gone";
}
