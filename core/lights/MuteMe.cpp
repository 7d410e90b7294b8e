// MuteMe Original and Mini, from MuteMe's "MuteMe HID Key" page: one byte after report id 0.
// Colours: red 1, green 2, yellow 3, blue 4, purple 5, cyan 6, white 7, none 0; + 0x10 dim,
// + 0x20 fast pulse, + 0x30 slow pulse (the last not confirmed: the page's text that could be
// read here ends before it).
#include "Kinds.h"

#include <algorithm>
#include <cmath>

namespace tally::lights {

namespace {

constexpr int dim = 0x10;
constexpr int slowPulse = 0x30;

// The nearest of the light's seven colours by hue, white when there is little colour at all.
// (Amber must stay yellow: by distance in RGB it would be red, the colour of busy.)
int nearest(Colour c) {
    const int high = std::max({c.red, c.green, c.blue});
    const int low = std::min({c.red, c.green, c.blue});
    if (high == 0) return 0;
    if (high - low < high / 4) return 7;
    double hue = 0;
    const double span = high - low;
    if (high == c.red) hue = std::fmod((c.green - c.blue) / span + 6, 6.0);
    else if (high == c.green) hue = (c.blue - c.red) / span + 2;
    else hue = (c.red - c.green) / span + 4;
    hue *= 60;
    if (hue < 15 || hue >= 330) return 1;
    if (hue < 75) return 3;
    if (hue < 165) return 2;
    if (hue < 195) return 6;
    if (hue < 255) return 4;
    return 5;
}

class MuteMe final : public LightKind {
public:
    Reports show(const Sight& sight) const override {
        int value = sight.dark() ? 0 : nearest(sight.colour);
        if (value != 0) {
            if (sight.brightness <= 50) value += dim;
            if (sight.pulse) value = (value & 0x0F) + slowPulse;
        }
        return {{Report::Via::output, std::string{byte(0), byte(value)}}};
    }
    bool pulsesByItself() const override { return true; }
};

}  // namespace

std::unique_ptr<LightKind> makeMuteMe() { return std::make_unique<MuteMe>(); }

}  // namespace tally::lights
