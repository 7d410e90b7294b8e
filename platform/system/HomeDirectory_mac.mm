#include "HomeDirectory.h"

#import <Foundation/Foundation.h>

namespace tally::platform {

std::string homeDirectory() {
    @autoreleasepool {
        NSString* home = NSHomeDirectory();
        return home ? std::string(home.fileSystemRepresentation) : std::string();
    }
}

}  // namespace tally::platform
