#pragma once

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace tally::test {

// The virtual light tool running in a child process on its own pseudo-terminal; every line it
// receives is recorded in `recordFile`.
class VirtualLight {
public:
    VirtualLight(const std::string& recordFile, std::vector<std::string> options = {})
        : record_(recordFile) {
        std::vector<std::string> args{TALLY_VIRTUAL_LIGHT, "--quiet", "--record", recordFile};
        args.insert(args.end(), options.begin(), options.end());
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        // The first line is the terminal's path; --quiet keeps it from writing more.
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
        output_ = out[0];
    }
    ~VirtualLight() { stop(); }
    VirtualLight(const VirtualLight&) = delete;
    VirtualLight& operator=(const VirtualLight&) = delete;

    const std::string& path() const { return path_; }

    std::vector<std::string> received() const {
        std::ifstream in(record_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (output_ >= 0) ::close(output_);
        output_ = -1;
    }

private:
    std::string record_;
    std::string path_;
    pid_t pid_ = -1;
    int output_ = -1;
};

}  // namespace tally::test
