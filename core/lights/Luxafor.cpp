// Luxafor Flag, Orb, Mute and the Bluetooth dongle (04D8:F372). No document of Luxafor's own
// describes the USB protocol; these commands are the ones widely described for it and are
// listed in the README as not confirmed by the maker: output report 0, then 8 bytes;
// "solid" 01 LED R G B, "strobe" 03 LED R G B SPEED 00 REPEAT, LED FF for all of them.
#include "Kinds.h"

#include <algorithm>

namespace tally::lights {

namespace {

constexpr int allLeds = 0xFF;

class Luxafor final : public LightKind {
public:
    Reports show(const Sight& sight) const override {
        const Colour c = scaled(sight.colour, sight.brightness);
        const bool strobe = sight.pulse && !sight.dark();
        // Strobe speed in the light's own steps; repeat 0 keeps strobing until the next command.
        const int speed = strobe ? std::clamp(sight.periodMs / 100, 1, 255) : 0;
        return {{Report::Via::output, std::string{byte(0), byte(strobe ? 3 : 1), byte(allLeds), byte(c.red),
                                                  byte(c.green), byte(c.blue), byte(speed), byte(0), byte(0)}}};
    }
    bool pulsesByItself() const override { return true; }
};

}  // namespace

std::unique_ptr<LightKind> makeLuxafor() { return std::make_unique<Luxafor>(); }

}  // namespace tally::lights
