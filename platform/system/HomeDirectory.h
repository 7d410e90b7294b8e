#pragma once

#include <string>

namespace tally::platform {

// The current user's home directory, without a trailing separator; empty if none is known.
std::string homeDirectory();

}  // namespace tally::platform
