#pragma once

#include <functional>
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
// What turning it on does, in this system's words, for the question asked first.
std::string whatEnablingDoes();

// The four operations as one service, so that tests can give the application one of their own
// instead of the system's.
struct Service {
    std::function<Status()> status = &LoginItem::status;
    std::function<Outcome()> enable = &LoginItem::enable;
    std::function<Outcome()> disable = &LoginItem::disable;
    std::function<void()> openApprovalSettings = &LoginItem::openApprovalSettings;
};

}  // namespace LoginItem

}  // namespace tally::platform
