#pragma once

#include <string>

namespace tally::platform {

// The current user's home directory, without a trailing separator; empty if none is known.
std::string homeDirectory();

#ifdef _WIN32
// Windows: the user's local application data (%LOCALAPPDATA%), where the Teams logs and
// Tally's own activity log live.
std::string localAppData();
#endif

}  // namespace tally::platform
