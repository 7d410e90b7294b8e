#include "TeamsProcess.h"

#import <AppKit/AppKit.h>

namespace tally::platform {

bool isTeamsRunning() {
    @autoreleasepool {
        NSArray<NSRunningApplication*>* apps = [NSRunningApplication
            runningApplicationsWithBundleIdentifier:@"com.microsoft.teams2"];
        return apps.count > 0;
    }
}

}  // namespace tally::platform
