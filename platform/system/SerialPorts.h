#pragma once

#include <string>
#include <vector>

namespace tally::platform {

// A USB device's vendor and product identifiers.
struct UsbId {
    int vendorId = 0;
    int productId = 0;
    bool operator==(const UsbId&) const = default;
};

// A serial port and the identity of the USB device it belongs to.
struct UsbSerialPort {
    std::string path;
    UsbId id;
    bool operator==(const UsbSerialPort&) const = default;
};

// The serial ports whose USB device carries one of these identities, as the paths to open, in
// the system's order; one sweep, however many identities. Opens nothing and never fails:
// anything unexpected leaves a port out.
std::vector<UsbSerialPort> findUsbSerialPorts(const std::vector<UsbId>& ids);

// The same for one identity, paths alone.
inline std::vector<std::string> findSerialPorts(int vendorId, int productId) {
    std::vector<std::string> paths;
    for (auto& port : findUsbSerialPorts({{vendorId, productId}})) paths.push_back(std::move(port.path));
    return paths;
}

// What a person can do when a light may not be opened, in this system's terms.
std::string serialPermissionHint();

}  // namespace tally::platform
