#pragma once

#include <string>
#include <vector>

namespace tally::platform {

// Linux: the ports under `sysfsRoot`/class/tty whose nearest USB ancestor has this identity,
// as /dev/NAME in name order. The root is a parameter so that tests can lay out a fake tree.
std::vector<std::string> findSerialPortsInSysfs(const std::string& sysfsRoot, int vendorId,
                                                int productId);

}  // namespace tally::platform
