#include "LogLocation.h"

#include "HomeDirectory.h"

namespace tally::platform {

LogLocation activityLogLocation() { return {homeDirectory() + "/Library/Logs/Tally.log", false}; }

}  // namespace tally::platform
