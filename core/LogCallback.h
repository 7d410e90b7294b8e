#pragma once

#include <functional>
#include <string>

namespace tally {

// Where core components send their activity-log lines; the application wires it to the log.
using LogCallback = std::function<void(const std::string& message)>;

}  // namespace tally
