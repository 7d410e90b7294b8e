#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Sight.h"

namespace tally::platform {
class HidLink;
class SerialLink;
}  // namespace tally::platform

namespace tally::lights {

// How reports reach one light: HID reports, or lines on a serial port.
class LightTransport {
public:
    virtual ~LightTransport() = default;
    // False when the light is gone or refused it.
    virtual bool send(const Report& report) = 0;
};
std::unique_ptr<LightTransport> hidTransport(std::unique_ptr<platform::HidLink> link);
std::unique_ptr<LightTransport> serialTransport(std::unique_ptr<platform::SerialLink> link);

// One light of another maker, open: sends what it should show when that changes, keeps it
// alive when its kind needs it, and times its pulse when it cannot pulse by itself.
class MakerLight {
public:
    MakerLight(std::string name, std::string path, std::unique_ptr<LightKind> kind,
               std::unique_ptr<LightTransport> transport);

    // Brings the light to `sight` at `now` (seconds); false when the light is gone.
    bool update(const Sight& sight, double now);
    // Dark at once; false when the light is gone.
    bool switchOff();
    // Send the sight again at the next update, even if unchanged.
    void invalidate() { sent_.reset(); }

    const std::string& name() const { return name_; }
    const std::string& path() const { return path_; }

private:
    bool send(const Reports& reports);
    // What to send now: the sight itself, or the half of a host-timed pulse that is due.
    Sight due(const Sight& sight, double now);

    std::string name_;
    std::string path_;
    std::unique_ptr<LightKind> kind_;
    std::unique_ptr<LightTransport> transport_;
    bool opened_ = false;
    std::optional<Sight> sent_;
    double lastKeepAlive_ = 0;
    std::optional<Sight> pulsing_;  // the pulse the host is timing
    double halfStarted_ = 0;
    bool litHalf_ = true;
};

}  // namespace tally::lights
