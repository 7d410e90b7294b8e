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

// Whether the process that wrote a lock (its number, and the program name it gave) still runs
// as that program. False for a number now used by another program, or by a process the user
// may not look at (a Tally of the user's would be theirs); true when that cannot be told.
bool lockHolderRuns(long long pid, const std::string& program);

}  // namespace tally::platform
