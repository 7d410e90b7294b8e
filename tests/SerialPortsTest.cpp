#include "SerialPorts.h"
#include "SerialPortsSysfs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "KnownLights.h"
#include "LightDevice.h"
#include "support/TempDir.h"

using namespace tally;
using testing::ElementsAre;
using testing::IsEmpty;
namespace fs = std::filesystem;

namespace {

// Lays out ttys as the kernel does: /sys/class/tty/NAME links into /sys/devices, and the tty's
// "device" link points at the USB interface, whose parent is the USB device with the ids.
class FakeSysfs {
public:
    explicit FakeSysfs(const fs::path& root) : root_(root) {
        fs::create_directories(root_ / "class/tty");
    }
    void usbTty(const std::string& name, const std::string& vendor, const std::string& product,
                int bus) {
        const fs::path usb = root_ / "devices/pci0000:00/0000:00:14.0" / ("usb" + std::to_string(bus)) /
                             (std::to_string(bus) + "-1");
        const fs::path interface = usb / (std::to_string(bus) + "-1:1.0");
        fs::create_directories(interface / "tty" / name);
        write(usb / "idVendor", vendor + "\n");
        write(usb / "idProduct", product + "\n");
        link(interface / "tty" / name, "../../../" + interface.filename().string());
    }
    void virtualTty(const std::string& name) {
        fs::create_directories(root_ / "devices/virtual/tty" / name);
        fs::create_directory_symlink("../../devices/virtual/tty/" + name, root_ / "class/tty" / name);
    }
    void platformTty(const std::string& name) {  // a built-in UART: a device, but no USB
        const fs::path dev = root_ / "devices/platform/serial8250";
        fs::create_directories(dev / "tty" / name);
        link(dev / "tty" / name, "../../../serial8250");
    }

private:
    void link(const fs::path& ttyDir, const std::string& deviceTarget) {
        fs::create_directory_symlink(deviceTarget, ttyDir / "device");
        fs::create_directory_symlink(fs::relative(ttyDir, root_ / "class/tty"),
                                     root_ / "class/tty" / ttyDir.filename());
    }
    static void write(const fs::path& file, const std::string& text) {
        std::ofstream(file) << text;
    }
    fs::path root_;
};

std::vector<std::string> find(const fs::path& root) {
    return platform::findSerialPortsInSysfs(root.string(), LightDevice::vendorID,
                                            LightDevice::productID);
}

}  // namespace

TEST(SerialPorts, findsLightsByTheirUsbIdentity) {
    tally::test::TempDir dir;
    FakeSysfs sysfs(dir.path());
    EXPECT_THAT(find(dir.path()), IsEmpty()) << "no ttys at all";

    sysfs.virtualTty("tty0");
    sysfs.platformTty("ttyS0");
    sysfs.usbTty("ttyUSB0", "0403", "6001", 1);  // another vendor's adapter
    sysfs.usbTty("ttyACM3", "2e8a", "000a", 2);  // the right vendor, another product
    EXPECT_THAT(find(dir.path()), IsEmpty());

    sysfs.usbTty("ttyACM1", "2e8a", "0005", 3);
    EXPECT_THAT(find(dir.path()), ElementsAre("/dev/ttyACM1"));

    sysfs.usbTty("ttyACM0", "2E8A", "0005", 4);
    EXPECT_THAT(find(dir.path()), ElementsAre("/dev/ttyACM0", "/dev/ttyACM1"));

    EXPECT_THAT(find(dir.path() / "missing"), IsEmpty());
}

TEST(SerialPorts, thePermissionHintNamesTheInstalledRuleAndHowToReloadIt) {
    const std::string hint = tally::platform::serialPermissionHint();
    EXPECT_THAT(hint, testing::HasSubstr("/usr/lib/udev/rules.d/60-tally-light.rules"));
    EXPECT_THAT(hint, testing::HasSubstr("udevadm control --reload-rules"));
}

// The rule gives the person at the seat every light Tally drives, on the node it opens.
TEST(SerialPorts, theUdevRuleGrantsEveryLightTallyDrives) {
    std::ifstream rules(TALLY_UDEV_RULE);
    std::set<std::string> granted;
    const std::regex rule(R"re(SUBSYSTEM=="(\w+)", ATTRS\{idVendor\}=="([0-9a-f]{4})", ATTRS\{idProduct\}=="([0-9a-f]{4})", TAG\+="uaccess")re");
    for (std::string line; std::getline(rules, line);)
        if (std::smatch m; std::regex_search(line, m, rule)) granted.insert(m[1].str() + " " + m[2].str() + ":" + m[3].str());
    const auto entry = [](const char* subsystem, tally::platform::UsbId id) {
        char text[32];
        std::snprintf(text, sizeof text, "%s %04x:%04x", subsystem, id.vendorId, id.productId);
        return std::string(text);
    };
    std::set<std::string> wanted;
    for (const auto& board : tally::lights::tallyBoards()) wanted.insert(entry("tty", board.id));
    for (const auto& light : tally::lights::knownLights())
        wanted.insert(entry(tally::lights::transportOf(light.kind) == tally::lights::Transport::hid ? "hidraw" : "tty", light.id));
    EXPECT_EQ(granted, wanted);
}
