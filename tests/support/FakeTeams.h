#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempDir.h"

namespace tally::test {

// A real process whose executable is named MSTeams, as the Teams client's is (a copy of sleep).
class FakeTeams {
public:
    explicit FakeTeams(const TempDir& dir) : executable_(dir.file("MSTeams")) {
        if (!std::filesystem::exists(executable_)) {
            std::filesystem::copy_file("/bin/sleep", executable_);
            std::filesystem::permissions(executable_, std::filesystem::perms(0755));
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execl(executable_.c_str(), "MSTeams", "600", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Return once the kernel knows the process by its new name, so that tests need not
        // guess how long the exec takes.
        const std::string comm = "/proc/" + std::to_string(pid_) + "/comm";
        for (int i = 0; i < 1000; ++i) {
            std::string name;
            std::getline(std::ifstream(comm) >> std::ws, name);
            if (name == "MSTeams") break;
            ::usleep(5'000);
        }
    }
    ~FakeTeams() { quit(); }
    FakeTeams(const FakeTeams&) = delete;
    FakeTeams& operator=(const FakeTeams&) = delete;

    void quit() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    std::string executable_;
    pid_t pid_ = -1;
};

}  // namespace tally::test
