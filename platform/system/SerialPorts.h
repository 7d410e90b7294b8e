#pragma once

#include <string>
#include <vector>

namespace tally::platform {

// The serial ports whose USB device carries this vendor and product identifier, as the paths
// to open, in the system's order. Opens nothing and never fails: anything unexpected leaves a
// port out.
std::vector<std::string> findSerialPorts(int vendorId, int productId);

// What a person can do when a light's port may not be opened, in this system's terms.
std::string serialPermissionHint();

}  // namespace tally::platform
