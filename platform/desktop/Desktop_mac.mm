#include "Desktop.h"

#import <AppKit/AppKit.h>

namespace tally::platform::Desktop {

std::optional<std::string> qtPlatforms() { return std::nullopt; }  // the native one needs no display

std::string displayName() { return {}; }

namespace {

// The activity that keeps App Nap away: a windowless agent is napped, and its timers coalesced,
// which would leave the light behind Teams. User-initiated, but the system may still sleep when
// idle. Retained here (no ARC) until leaveMenuBar().
id<NSObject> awake = nil;

}  // namespace

void becomeMenuBarOnly() {
    [NSApp setActivationPolicy:NSApplicationActivationPolicyAccessory];
    if (!awake)
        awake = [[[NSProcessInfo processInfo]
            beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                              reason:@"Tally keeps the desk light in step with Teams"] retain];
}

void leaveMenuBar() {
    if (!awake) return;
    [[NSProcessInfo processInfo] endActivity:awake];
    [awake release];
    awake = nil;
}

bool trayClickOpensMenu() { return true; }

void bringMenuToFront(std::uintptr_t) {}  // the status item's menu is the system's own

void bringToFront() {
    // Since macOS 14 activation is a request the system may refuse; asked for right after the
    // person chose a menu item, it is normally granted. The alert also floats above other
    // applications' windows (Qt's stays-on-top), so it is seen even where it is not.
    [NSApp activate];
}

bool openFile(const std::string& path) {
    @autoreleasepool {
        NSString* file = [NSString stringWithUTF8String:path.c_str()];
        return [[NSWorkspace sharedWorkspace] openURL:[NSURL fileURLWithPath:file]];
    }
}

void openPrivacySettings(const std::string&) {
    @autoreleasepool {
        // Full Disk Access, where Tally may be allowed; Privacy & Security itself where the deep
        // link is not understood (its anchors change between versions of macOS).
        NSWorkspace* workspace = [NSWorkspace sharedWorkspace];
        NSURL* deep = [NSURL URLWithString:@"x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles"];
        if (![workspace openURL:deep])
            [workspace openURL:[NSURL URLWithString:@"x-apple.systempreferences:com.apple.preference.security"]];
    }
}

std::string teamsFolderNote() {
    return "macOS 15 and later protect the folder Teams keeps its logs in (its group container) and ask "
           "once whether Tally may access data from other apps: choose Allow. A refusal is undone in "
           "System Settings, Privacy & Security (the menu's privacy item opens it); a Tally built by "
           "hand is asked again after every build";
}

std::string unreadableLogsItem() { return "Can't read Teams logs: open Privacy settings\u2026"; }

std::string machineName() { return "Mac"; }

void useParentConsole() {}

}  // namespace tally::platform::Desktop
