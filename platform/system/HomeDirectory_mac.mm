#include "HomeDirectory.h"

#include <cstdlib>

#import <Foundation/Foundation.h>

namespace tally::platform {

std::string homeDirectory() {
    // $HOME when set, as everywhere else: NSHomeDirectory() ignores it, which would send a test
    // (or the demo) to the user's real Teams logs.
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
    @autoreleasepool {
        NSString* home = NSHomeDirectory();
        return home ? std::string(home.fileSystemRepresentation) : std::string();
    }
}

}  // namespace tally::platform
