#pragma once

#include <memory>
#include <string>

namespace tally::platform {

// A hold on a HID device that keeps another Tally from driving it at the same time, where the
// system has a way to say so. Held for as long as the returned object lives; null when another
// process holds the device.
std::shared_ptr<void> claimHidDevice(const std::string& path);

}  // namespace tally::platform
