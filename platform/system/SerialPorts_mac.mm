#include "SerialPorts.h"

#include <algorithm>

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/serial/IOSerialKeys.h>

namespace tally::platform {

namespace {

// The number a registry property holds on the service or its nearest ancestor that has it.
int numberProperty(io_object_t service, CFStringRef name) {
    CFTypeRef value = IORegistryEntrySearchCFProperty(
        service, kIOServicePlane, name, kCFAllocatorDefault,
        kIORegistryIterateRecursively | kIORegistryIterateParents);
    if (!value) return -1;
    int number = -1;
    if (CFGetTypeID(value) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberIntType, &number))
        number = -1;
    CFRelease(value);
    return number;
}

}  // namespace

std::vector<UsbSerialPort> findUsbSerialPorts(const std::vector<UsbId>& ids) {
    std::vector<UsbSerialPort> paths;
    CFMutableDictionaryRef matching = IOServiceMatching("IOSerialBSDClient");
    if (!matching) return paths;
    io_iterator_t iterator = 0;
    // The call takes over the matching dictionary.
    if (IOServiceGetMatchingServices(kIOMainPortDefault, matching, &iterator) != KERN_SUCCESS)
        return paths;
    while (io_object_t service = IOIteratorNext(iterator)) {
        const UsbId id{numberProperty(service, CFSTR("idVendor")), numberProperty(service, CFSTR("idProduct"))};
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
            CFTypeRef path = IORegistryEntryCreateCFProperty(service, CFSTR("IOCalloutDevice"),
                                                             kCFAllocatorDefault, 0);
            if (path && CFGetTypeID(path) == CFStringGetTypeID()) {
                char buffer[1024];
                if (CFStringGetCString(static_cast<CFStringRef>(path), buffer, sizeof buffer,
                                       kCFStringEncodingUTF8))
                    paths.push_back({buffer, id});
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
