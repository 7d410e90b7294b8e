#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HidDevices.h"
#include "KnownLights.h"
#include "Light.h"
#include "LightDevice.h"
#include "LogCallback.h"
#include "MakerLight.h"
#include "SerialLink.h"
#include "SerialPorts.h"
#include "Uptime.h"

namespace tally::lights {

// The system's devices, as Lights finds and opens them; tests give their own.
struct LightServices {
    std::function<std::vector<platform::HidDeviceInfo>()> listHid = &platform::listHidDevices;
    std::function<std::unique_ptr<platform::HidLink>(const std::string&, platform::HidOpenFailure&)> openHid =
        &platform::openHidLink;
    std::function<std::vector<platform::UsbSerialPort>(const std::vector<platform::UsbId>&)> findSerial =
        &platform::findUsbSerialPorts;
    std::function<std::unique_ptr<platform::SerialLink>(const std::string&, platform::SerialOpenFailure&)>
        openSerial = &platform::openSerialLink;
};

// Every light Tally drives: its own light (through LightDevice, which finds it) and every
// light of another maker that is plugged in, looked for every couple of seconds, each showing
// the same state. A light that fails is forgotten and found again when it returns.
class Lights final : public Light {
public:
    using Services = LightServices;
    // A serial light of a known kind on a port the user names, the only light driven.
    struct NamedPort {
        Kind kind;
        std::string path;
    };
    static constexpr double lookEvery = 2.0;

    // `own` is Tally's own light (absent when the user named a port of another kind); the other
    // makers' lights are looked for unless `named` is given or `lookForOthers` is false.
    Lights(std::unique_ptr<LightDevice> own, std::optional<NamedPort> named, bool lookForOthers, LogCallback log,
           UptimeClock clock = uptimeNow, Services services = {});

    void show(LightState state) override;
    void setBrightness(int value) override;
    void update() override;
    void switchOffNow() override;
    void invalidate() override;
    void setPalette(const Palette& palette) override;
    bool isConnected() const override { return own_ && own_->isConnected(); }
    std::optional<std::string> firmwareVersion() const override;
    std::vector<std::string> otherLights() const override;
    std::vector<std::string> blockedLights() const override;
    std::optional<std::string> problem() const override { return own_ ? own_->problem() : std::nullopt; }

private:
    void lookForLights(double now);
    void open(const std::string& path, std::string_view name, Kind kind);
    // Records why a light cannot be driven, logging it when that is news.
    void block(const std::string& path, const std::string& why);
    bool driving(const std::string& path) const;

    std::unique_ptr<LightDevice> own_;
    std::optional<NamedPort> named_;
    bool lookForOthers_;
    LogCallback log_;
    UptimeClock clock_;
    Services services_;
    std::vector<std::unique_ptr<MakerLight>> lights_;
    std::map<std::string, std::string> blocked_;  // by path: "Luxafor light: permission denied"
    LightState state_ = LightState::unknown;
    Palette palette_ = defaultPalette();
    int brightness_ = 100;
    double nextLook_ = 0;
    bool toldNone_ = false;  // "no light found" said, and no light found since
    std::optional<double> firstLook_;
};

}  // namespace tally::lights
