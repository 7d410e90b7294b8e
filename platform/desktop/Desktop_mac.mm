#include "Desktop.h"

#import <AppKit/AppKit.h>

namespace tally::platform::Desktop {

std::optional<std::string> qtPlatforms() { return std::nullopt; }  // the native one needs no display

std::string displayName() { return {}; }

void becomeMenuBarOnly() { [NSApp setActivationPolicy:NSApplicationActivationPolicyAccessory]; }

bool trayClickOpensMenu() { return true; }

void bringToFront() {
    // activateIgnoringOtherApps: is deprecated from macOS 14, where activate takes its place.
    if (@available(macOS 14.0, *))
        [NSApp activate];
    else
        [NSApp activateIgnoringOtherApps:YES];
}

void openFile(const std::string& path) {
    @autoreleasepool {
        NSString* file = [NSString stringWithUTF8String:path.c_str()];
        [[NSWorkspace sharedWorkspace] openURL:[NSURL fileURLWithPath:file]];
    }
}

void openPrivacySettings(const std::string&) {
    @autoreleasepool {
        NSURL* url = [NSURL URLWithString:
            @"x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles"];
        [[NSWorkspace sharedWorkspace] openURL:url];
    }
}

}  // namespace tally::platform::Desktop
