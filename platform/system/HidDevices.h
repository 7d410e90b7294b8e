#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tally::platform {

// One USB HID device (one interface of it) as the system lists it.
struct HidDeviceInfo {
    std::string path;  // what openHidLink() takes
    int vendorId = 0;
    int productId = 0;
    std::string product;  // the device's product string, empty if it gave none
    int interfaceNumber = -1;
};

// The HID devices plugged in now. Never fails: a system without HID support, or a device that
// cannot be described, gives fewer entries.
std::vector<HidDeviceInfo> listHidDevices();

enum class HidOpenFailure : int { none, cannotOpen, noPermission, inUse };

// One open HID device. Closed when destroyed. Not thread-safe: one thread uses it.
class HidLink {
public:
    virtual ~HidLink() = default;
    // An output report: the report id first (0 for a device without ids), then its data.
    virtual bool write(std::string_view report) = 0;
    // A feature report, laid out the same way.
    virtual bool sendFeature(std::string_view report) = 0;
};

// Opens the device for this process alone where the system allows: a second Tally gets inUse.
std::unique_ptr<HidLink> openHidLink(const std::string& path, HidOpenFailure& failure);

}  // namespace tally::platform
