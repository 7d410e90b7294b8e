#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "SerialPorts.h"
#include "SerialPortsSysfs.h"

namespace tally::platform {

namespace fs = std::filesystem;

namespace {

std::optional<int> readHex(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text)) return std::nullopt;
    try {
        std::size_t used = 0;
        const int value = std::stoi(text, &used, 16);
        return used == text.size() ? std::optional<int>(value) : std::nullopt;
    } catch (...) {  // not a number: a port of no interest
        return std::nullopt;
    }
}

// The USB device that a tty belongs to is the nearest ancestor (of the tty's "device") that
// carries idVendor; a tty without one (virtual consoles, built-in UARTs) has no identity.
std::optional<std::pair<int, int>> usbIdentity(const fs::path& tty, const fs::path& root) {
    std::error_code error;
    fs::path dir = fs::canonical(tty / "device", error);
    if (error) return std::nullopt;
    const fs::path top = fs::canonical(root, error);
    for (; !error && dir != top && dir.has_relative_path(); dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", error)) continue;
        const auto vendor = readHex(dir / "idVendor");
        const auto product = readHex(dir / "idProduct");
        if (!vendor || !product) return std::nullopt;
        return std::make_pair(*vendor, *product);
    }
    return std::nullopt;
}

}  // namespace

std::vector<UsbSerialPort> findSerialPortsInSysfs(const std::string& sysfsRoot, const std::vector<UsbId>& ids) {
    std::vector<UsbSerialPort> ports;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(sysfsRoot) / "class/tty", error), end;
         !error && it != end; it.increment(error)) {
        // A USB device's tty lives below a USB host's "usbN" in sysfs: virtual consoles and
        // built-in UARTs are passed over with one readlink instead of a walk up the tree (the
        // sweep runs every two seconds).
        std::error_code unreadable;
        if (fs::read_symlink(it->path(), unreadable).string().find("/usb") == std::string::npos) continue;
        const auto identity = usbIdentity(it->path(), sysfsRoot);
        if (!identity) continue;
        const UsbId id{identity->first, identity->second};
        if (std::find(ids.begin(), ids.end(), id) != ids.end())
            ports.push_back({"/dev/" + it->path().filename().string(), id});
    }
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return ports;
}

std::vector<UsbSerialPort> findUsbSerialPorts(const std::vector<UsbId>& ids) {
    return findSerialPortsInSysfs("/sys", ids);
}

std::string serialPermissionHint() {
    return "the udev rule /usr/lib/udev/rules.d/60-tally-light.rules (installed with Tally's package; see the "
           "README) gives you the light: with it in place, run 'sudo udevadm control --reload-rules && sudo "
           "udevadm trigger' and replug the light";
}

}  // namespace tally::platform
