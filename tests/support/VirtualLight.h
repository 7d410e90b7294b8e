#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Process.h"
#include "TempDir.h"

namespace tally::test {

// The virtual light tool running in a child process on its own pseudo-terminal; every line it
// receives is recorded in `recordFile`.
class VirtualLight {
public:
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

    const std::string& path() const { return path_; }

    std::vector<std::string> received() const {
        return linesOf(record_);
    }

private:
    std::string record_;
    std::string path_;
    std::unique_ptr<Process> process_;
};

}  // namespace tally::test
