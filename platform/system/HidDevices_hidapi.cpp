#include <cerrno>

#include <hidapi.h>

#include "HidClaim.h"
#include "HidDevices.h"

// hidapi on every system: hidraw on Linux, the HID class driver on Windows, IOHIDManager on
// macOS. Its strings are wide characters.

namespace tally::platform {

namespace {

std::string narrowed(const wchar_t* text) {
    if (!text) return {};
    std::string out;
    // Product strings are short; anything outside ASCII becomes '?' rather than a wrong guess
    // at wchar_t's width (UTF-16 on Windows, UTF-32 elsewhere).
    for (; *text; ++text) out += (*text > 0 && *text < 0x80) ? static_cast<char>(*text) : '?';
    return out;
}

bool ready() {
    static const bool initialised = hid_init() == 0;
    return initialised;
}

class HidapiLink final : public HidLink {
public:
    HidapiLink(hid_device* device, std::shared_ptr<void> claim) : device_(device), claim_(std::move(claim)) {}
    ~HidapiLink() override { hid_close(device_); }

    bool write(std::string_view report) override {
        const auto* bytes = reinterpret_cast<const unsigned char*>(report.data());
        return hid_write(device_, bytes, report.size()) >= static_cast<int>(report.size());
    }
    bool sendFeature(std::string_view report) override {
        const auto* bytes = reinterpret_cast<const unsigned char*>(report.data());
        return hid_send_feature_report(device_, bytes, report.size()) >= static_cast<int>(report.size());
    }

private:
    hid_device* device_;
    std::shared_ptr<void> claim_;
};

}  // namespace

std::vector<HidDeviceInfo> listHidDevices() {
    std::vector<HidDeviceInfo> found;
    if (!ready()) return found;
    hid_device_info* all = hid_enumerate(0, 0);
    for (const hid_device_info* one = all; one; one = one->next) {
        if (!one->path) continue;
        found.push_back({one->path, one->vendor_id, one->product_id, narrowed(one->product_string),
                         one->interface_number});
    }
    hid_free_enumeration(all);
    return found;
}

std::unique_ptr<HidLink> openHidLink(const std::string& path, HidOpenFailure& failure) {
    failure = HidOpenFailure::cannotOpen;
    if (!ready()) return nullptr;
    auto claim = claimHidDevice(path);
    if (!claim) {
        failure = HidOpenFailure::inUse;
        return nullptr;
    }
    errno = 0;
    hid_device* device = hid_open_path(path.c_str());
    if (!device) {
        if (errno == EACCES || errno == EPERM) failure = HidOpenFailure::noPermission;
        return nullptr;
    }
    failure = HidOpenFailure::none;
    return std::make_unique<HidapiLink>(device, std::move(claim));
}

}  // namespace tally::platform
