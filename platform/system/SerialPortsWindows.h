#pragma once

#include <string>
#include <vector>

#include "SerialPorts.h"

namespace tally::platform {

// Windows: one COM port as SetupAPI describes it.
struct ComPort {
    std::vector<std::string> hardwareIds;  // "USB\VID_2E8A&PID_0005&REV_0100", ...
    std::string portName;                  // "COM3"
};

// The ports among these whose hardware id names one of these USB identities, in name order.
// Apart from the enumeration, so that tests can give their own (Wine has no devices).
std::vector<UsbSerialPort> lightPortsAmong(const std::vector<ComPort>& ports, const std::vector<UsbId>& ids);

inline std::vector<std::string> lightPortsAmong(const std::vector<ComPort>& ports, int vendorId, int productId) {
    std::vector<std::string> names;
    for (auto& port : lightPortsAmong(ports, {{vendorId, productId}})) names.push_back(std::move(port.path));
    return names;
}

}  // namespace tally::platform
