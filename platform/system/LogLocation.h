#pragma once

#include <string>

namespace tally::platform {

// Where the activity log lives, and whether Tally may create its folder (on macOS the Logs
// folder belongs to the system and is never created; on Linux nothing provides one).
struct LogLocation {
    std::string path;
    bool createFolder;
};

LogLocation activityLogLocation();

}  // namespace tally::platform
