#include "LoginItem.h"

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

namespace tally::platform::LoginItem {

namespace {

Outcome outcome(BOOL ok, NSError* error) {
    if (ok) return {true, {}};
    return {false, error ? std::string(error.localizedDescription.UTF8String) : std::string("unknown error")};
}

}  // namespace

Status status() {
    switch (SMAppService.mainAppService.status) {
        case SMAppServiceStatusEnabled: return Status::enabled;
        case SMAppServiceStatusRequiresApproval: return Status::requiresApproval;
        default: return Status::disabled;
    }
}

Outcome enable() {
    NSError* error = nil;
    const BOOL ok = [SMAppService.mainAppService registerAndReturnError:&error];
    return outcome(ok, error);
}

Outcome disable() {
    NSError* error = nil;
    const BOOL ok = [SMAppService.mainAppService unregisterAndReturnError:&error];
    return outcome(ok, error);
}

void openApprovalSettings() { [SMAppService openSystemSettingsLoginItems]; }

std::string whatEnablingDoes() {
    return "Tally will be added to System Settings \u2192 General \u2192 Login Items. Untick this menu "
           "item to remove it.";
}

}  // namespace tally::platform::LoginItem
