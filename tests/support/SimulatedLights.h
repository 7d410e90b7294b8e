#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "HidDevices.h"
#include "KnownLights.h"
#include "Lights.h"
#include "SerialLink.h"

namespace tally::test {

// What a person looking at a light sees.
struct Seen {
    bool lit = false;
    int red = 0, green = 0, blue = 0;  // the colour at its brightness, 0 to 255
    bool pulsing = false;
    bool dim = false;  // for a light whose only brightness is "dim"
};

// A light of one maker's kind, simulated from that maker's document (not from Tally's
// encoders): it takes the bytes a light would receive, turns them into what it shows, and keeps
// every byte it could not make sense of as a problem. Times are seconds on the test's clock.
class SimulatedLight {
public:
    virtual ~SimulatedLight() = default;
    // One HID report (report id first) or one chunk of a serial line.
    virtual void receive(double now, lights::Report::Via via, std::string_view bytes) = 0;
    virtual Seen seen(double now) const = 0;
    const std::vector<std::string>& problems() const { return problems_; }
    int reports() const { return reports_; }

protected:
    void problem(std::string what) { problems_.push_back(std::move(what)); }
    int reports_ = 0;

private:
    std::vector<std::string> problems_;
};

std::unique_ptr<SimulatedLight> simulatedLight(lights::Kind kind);

// The services through which Lights finds the one simulated light of `kind` (at the path
// "sim:KIND") until `unplugged` is set; its links feed the light, on `clock`.
struct SimulatedPlug {
    lights::Kind kind;
    SimulatedLight& light;
    std::function<double()> clock;
    bool unplugged = false;
    bool refuse = false;  // opens fail as permission denied
    int opened = 0;
    lights::LightServices services();
    std::string path() const;
};

}  // namespace tally::test
