#include "SerialPorts.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/serial/IOSerialKeys.h>

namespace tally::platform {

namespace {

// The number a registry property holds on the service or its nearest ancestor that has it.
bool propertyEquals(io_object_t service, CFStringRef name, int expected) {
    CFTypeRef value = IORegistryEntrySearchCFProperty(
        service, kIOServicePlane, name, kCFAllocatorDefault,
        kIORegistryIterateRecursively | kIORegistryIterateParents);
    if (!value) return false;
    int number = 0;
    const bool matches = CFGetTypeID(value) == CFNumberGetTypeID() &&
                         CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberIntType, &number) &&
                         number == expected;
    CFRelease(value);
    return matches;
}

}  // namespace

std::vector<std::string> findSerialPorts(int vendorId, int productId) {
    std::vector<std::string> paths;
    CFMutableDictionaryRef matching = IOServiceMatching("IOSerialBSDClient");
    if (!matching) return paths;
    io_iterator_t iterator = 0;
    // The call takes over the matching dictionary.
    if (IOServiceGetMatchingServices(kIOMainPortDefault, matching, &iterator) != KERN_SUCCESS)
        return paths;
    while (io_object_t service = IOIteratorNext(iterator)) {
        if (propertyEquals(service, CFSTR("idVendor"), vendorId) &&
            propertyEquals(service, CFSTR("idProduct"), productId)) {
            CFTypeRef path = IORegistryEntryCreateCFProperty(service, CFSTR("IOCalloutDevice"),
                                                             kCFAllocatorDefault, 0);
            if (path && CFGetTypeID(path) == CFStringGetTypeID()) {
                char buffer[1024];
                if (CFStringGetCString(static_cast<CFStringRef>(path), buffer, sizeof buffer,
                                       kCFStringEncodingUTF8))
                    paths.emplace_back(buffer);
            }
            if (path) CFRelease(path);
        }
        IOObjectRelease(service);
    }
    IOObjectRelease(iterator);
    return paths;
}

std::string serialPermissionHint() {
    return "another program may hold the port open; quit it, or replug the light";
}

}  // namespace tally::platform
