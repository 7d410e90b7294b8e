#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "LoginItem.h"

namespace tally::test {

// A login-item service of a test's own: "enabled" is a file that exists, in the test's folder,
// so that it lasts from one model to the next as the system's does.
class FakeLoginItem {
public:
    explicit FakeLoginItem(std::string file) : file_(std::move(file)) {}

    const std::string& file() const { return file_; }

    platform::LoginItem::Service service() const {
        namespace L = platform::LoginItem;
        const std::string file = file_;
        return {[file] { return std::filesystem::exists(file) ? L::Status::enabled : L::Status::disabled; },
                [file] {
                    std::ofstream(file) << "on\n";
                    return L::Outcome{true, ""};
                },
                [file] {
                    std::filesystem::remove(file);
                    return L::Outcome{true, ""};
                },
                [] {}};
    }

private:
    std::string file_;
};

}  // namespace tally::test
