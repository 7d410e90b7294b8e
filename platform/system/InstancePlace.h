#pragma once

#include <string>

namespace tally::platform {

// Where one person's Tally keeps the lock that makes it the only one, and the name a later
// start reaches it by: a folder of the user's alone, and a local socket in it (Linux, macOS) or
// a named pipe that carries the user's identity (Windows, whose pipe names are no paths).
struct InstancePlace {
    std::string folder;   // empty when no folder fit for it could be had
    std::string socket;   // the name to listen on and connect to
    std::string problem;  // why there is no folder, in words for the activity log
};

// Made if missing; never another user's, never open to others.
InstancePlace instancePlace();

}  // namespace tally::platform
