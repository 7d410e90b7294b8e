#pragma once

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Eventually.h"
#include "TempDir.h"
#ifdef _WIN32
#include "Wine.h"
#else
#include "Process.h"
#endif

// Skips the test where no virtual light can run (a real Windows).
#define TALLY_SKIP_WITHOUT_VIRTUAL_LIGHT()                                               \
    if (const auto why = ::tally::test::VirtualLight::unavailable()) GTEST_SKIP() << *why

namespace tally::test {

// The virtual light tool running in a child process on its own pseudo-terminal; every line it
// receives is recorded in `recordFile`. Under Wine it is the Linux tool, reached through Wine's
// Z: drive as Z:\dev\pts\N: opened directly, never through a COM link left behind.
class VirtualLight {
public:
#ifdef _WIN32
    VirtualLight(const std::string& recordFile, std::vector<std::string> options = {}) : record_(recordFile) {
        const auto unixRecord = Wine::unixPath(recordFile);
        const auto unixOut = Wine::unixPath(recordFile + ".out");
        const auto unixPid = Wine::unixPath(recordFile + ".pid");
        if (!unixRecord || !unixOut || !unixPid) return;  // not Wine: no light to be had
        std::error_code ignored;  // what an earlier light of the same name left
        std::filesystem::remove(recordFile + ".out", ignored);
        std::filesystem::remove(recordFile + ".pid", ignored);
        std::string command = "echo $$ > " + Wine::quoted(*unixPid) + "; exec " + Wine::quoted(TALLY_VIRTUAL_LIGHT) +
                              " --quiet --record " + Wine::quoted(*unixRecord);
        for (const auto& option : options) command += " " + Wine::quoted(option);
        Wine::shell(command + " > " + Wine::quoted(*unixOut) + " 2>&1 < /dev/null", false);
        std::string terminal;
        const bool started = eventually([&] {
            const auto lines = linesOf(recordFile + ".out");
            if (!lines.empty()) terminal = lines.front();
            return !terminal.empty();
        });
        path_ = started ? Wine::windowsPath(terminal) : std::string();  // no path: the test's opens fail
    }
    ~VirtualLight() {
        const auto pid = linesOf(record_ + ".pid");
        if (!pid.empty()) Wine::shell("kill " + pid.front(), true);
    }
    VirtualLight(const VirtualLight&) = delete;
    VirtualLight& operator=(const VirtualLight&) = delete;
#else
    VirtualLight(const std::string& recordFile, std::vector<std::string> options = {})
        : record_(recordFile) {
        std::vector<std::string> args{TALLY_VIRTUAL_LIGHT, "--quiet", "--record", recordFile};
        args.insert(args.end(), options.begin(), options.end());
        process_ = std::make_unique<Process>(args, std::vector<std::string>{});
        // The first line is the terminal's path; --quiet keeps it from writing more.
        const std::string& out = process_->readUntil(
            [](const std::string& o) { return o.find('\n') != std::string::npos; },
            std::chrono::seconds(10));
        path_ = out.substr(0, out.find('\n'));
    }
#endif

    // Why no virtual light can run here, if none can: it is a Linux program, which Wine runs
    // beside the Windows tests but a real Windows does not.
    static std::optional<std::string> unavailable() {
#ifdef _WIN32
        if (std::string(TALLY_VIRTUAL_LIGHT).empty()) return "no Linux virtual light was named at build time";
        if (!Wine::unixPath("C:\\")) return "the virtual light runs only under Wine";
#endif
        return std::nullopt;
    }

    const std::string& path() const { return path_; }

    std::vector<std::string> received() const {
        return linesOf(record_);
    }
    // The last line it received; empty before the first.
    std::string lastReceived() const {
        const auto lines = received();
        return lines.empty() ? std::string() : lines.back();
    }
    // Whether the last line it received is, or becomes, `command`.
    [[nodiscard]] bool eventuallyLast(const std::string& command) const {
        return eventually([&] { return lastReceived() == command; });
    }

private:
    std::string record_;
    std::string path_;
#ifndef _WIN32
    std::unique_ptr<Process> process_;
#endif
};

}  // namespace tally::test
