#include "TeamsLogFolder.h"

#include "HomeDirectory.h"

namespace tally::platform {

// The new Teams client's group container on macOS; Linux keeps the same place under the home
// folder, for development and the demo (no Teams client for Linux writes these logs).
std::string teamsLogFolder() {
    return homeDirectory() +
           "/Library/Group Containers/UBF8T346G9.com.microsoft.teams/Library/Application Support/Logs";
}

}  // namespace tally::platform
