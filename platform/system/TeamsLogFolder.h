#pragma once

#include <string>

namespace tally::platform {

// Where the Teams desktop client writes its logs for the current user: a fact of each
// platform, not of the logic that reads them.
std::string teamsLogFolder();

}  // namespace tally::platform
