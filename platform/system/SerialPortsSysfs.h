#pragma once

#include <string>
#include <vector>

#include "SerialPorts.h"

namespace tally::platform {

// Linux: the ports under `sysfsRoot`/class/tty whose nearest USB ancestor has one of these
// identities, as /dev/NAME in name order. The root is a parameter so that tests can lay out a
// fake tree.
std::vector<UsbSerialPort> findSerialPortsInSysfs(const std::string& sysfsRoot, const std::vector<UsbId>& ids);

inline std::vector<std::string> findSerialPortsInSysfs(const std::string& sysfsRoot, int vendorId, int productId) {
    std::vector<std::string> paths;
    for (auto& port : findSerialPortsInSysfs(sysfsRoot, {{vendorId, productId}})) paths.push_back(std::move(port.path));
    return paths;
}

}  // namespace tally::platform
