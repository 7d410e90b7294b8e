#pragma once

#include <string>

namespace tally::platform {

// The application's own entry among the programs started at login.
namespace LoginItem {

enum class Status { enabled, disabled, requiresApproval };

struct Outcome {
    bool ok;
    std::string error;  // the system's description when not ok
};

Status status();
Outcome enable();
Outcome disable();
// Where the user approves a login item that requires it (macOS); nothing elsewhere.
void openApprovalSettings();

}  // namespace LoginItem

}  // namespace tally::platform
