#pragma once

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "Eventually.h"
#include "TempDir.h"

namespace tally::test {

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
        return linesOf(record_);
    }

    [[nodiscard]] bool eventuallyShows(const std::string& colour) const {
        return eventually([&] {
            const auto got = colours();
            return !got.empty() && got.back() == colour;
        }, std::chrono::seconds(30));
    }

private:
    std::string record_;
    std::string path_;
    int master_ = -1;
    int slave_ = -1;
    pid_t pid_ = -1;
};

}  // namespace tally::test
