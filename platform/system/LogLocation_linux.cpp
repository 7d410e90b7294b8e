#include "LogLocation.h"

#include <cstdlib>

#include "HomeDirectory.h"

namespace tally::platform {

LogLocation activityLogLocation() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string base =
        state && *state == '/' ? std::string(state) : homeDirectory() + "/.local/state";
    return {base + "/tally/Tally.log", true};
}

}  // namespace tally::platform
