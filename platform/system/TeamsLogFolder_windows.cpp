#include "TeamsLogFolder.h"

#include "Files.h"
#include "HomeDirectory.h"

namespace tally::platform {

// The new Teams client is a packaged app; its logs live in the package's local cache.
std::string teamsLogFolder() {
    return Files::join(localAppData(), "Packages\\MSTeams_8wekyb3d8bbwe\\LocalCache\\Microsoft\\MSTeams\\Logs");
}

}  // namespace tally::platform
