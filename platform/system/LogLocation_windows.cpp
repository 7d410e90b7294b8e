#include "LogLocation.h"

#include "Files.h"
#include "HomeDirectory.h"

namespace tally::platform {

LogLocation activityLogLocation() {
    return {Files::join(Files::join(localAppData(), "Tally"), "Tally.log"), true};
}

}  // namespace tally::platform
