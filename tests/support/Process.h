#pragma once

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <fcntl.h>
#include <pthread.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tally::test {

// A program run by a test, its standard output (and, if asked, its standard error) collected;
// ended when the test is done.
class Process {
public:
    enum class Errors { passed, collected };
    struct Options {
        Errors errors = Errors::passed;
        int output = -1;                 // its standard output instead of a pipe read here
        std::vector<int> blockedSignals;  // blocked from its first instruction on
    };
    Process(std::vector<std::string> args, std::vector<std::string> environment,
            Errors errors = Errors::passed)
        : Process(std::move(args), std::move(environment), Options{errors, -1, {}}) {}
    Process(std::vector<std::string> args, std::vector<std::string> environment, const Options& options) {
        int out[2] = {-1, -1};
        if (options.output < 0 && ::pipe(out) != 0) return;
        // Blocked before the fork, so that a signal sent the moment it returns waits in the child.
        sigset_t blocked, before;
        sigemptyset(&blocked);
        for (const int signal : options.blockedSignals) sigaddset(&blocked, signal);
        ::pthread_sigmask(SIG_BLOCK, &blocked, &before);
        pid_ = ::fork();
        if (pid_ == 0) {
#ifdef __linux__
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a crashed or timed-out test leaves nothing behind
#endif
            const int into = options.output >= 0 ? options.output : out[1];
            ::dup2(into, STDOUT_FILENO);
            if (options.errors == Errors::collected) ::dup2(into, STDERR_FILENO);
            if (out[0] >= 0) {
                ::close(out[0]);
                ::close(out[1]);
            }
            for (auto& e : environment) ::putenv(e.data());
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        if (out[0] >= 0) {
            ::close(out[1]);
            output_ = out[0];
        }
    }
    ~Process() {
        stop();
        if (output_ >= 0) ::close(output_);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Reads standard output until `done` holds for what was read, or the limit passes.
    template <typename Done>
    [[nodiscard]] const std::string& readUntil(Done done, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (output_ >= 0 && !done(output) && std::chrono::steady_clock::now() < end) {
            pollfd waiting{output_, POLLIN, 0};
            if (::poll(&waiting, 1, 100) < 1) continue;
            char buffer[4096];
            const ssize_t got = ::read(output_, buffer, sizeof buffer);
            if (got <= 0) break;
            output.append(buffer, static_cast<std::size_t>(got));
        }
        return output;
    }

    // Closes the reading end, as `| head -1` does once it has its line.
    void closeOutput() {
        if (output_ >= 0) ::close(output_);
        output_ = -1;
    }

    void signal(int signal) {
        if (pid_ > 0) ::kill(pid_, signal);
    }

    // Waits for it to end by itself and returns its exit status as waitpid gives it.
    [[nodiscard]] int wait() { return stop(0); }
    // The same, giving up after `limit`.
    [[nodiscard]] std::optional<int> waitFor(std::chrono::milliseconds limit) {
        for (auto end = std::chrono::steady_clock::now() + limit; pid_ > 0;) {
            if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            if (std::chrono::steady_clock::now() > end) return std::nullopt;
            ::usleep(10'000);
        }
        return status_;
    }

    // Ends it (if it still runs) and returns its exit status as waitpid gives it.
    int stop(int signal = SIGKILL) {
        if (pid_ > 0) {
            if (signal != 0) ::kill(pid_, signal);
            ::waitpid(pid_, &status_, 0);
            pid_ = -1;
        }
        return status_;
    }

    std::string output;

private:
    pid_t pid_ = -1;
    int output_ = -1;
    int status_ = 0;
};

}  // namespace tally::test
