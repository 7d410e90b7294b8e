// CompuLab fit-statUSB (2047:03DF), a USB serial device, from CompuLab's fit-PC wiki: text
// commands ending in a line feed. "#RRGGBB" sets a colour; "B#RRGGBB-tttt#RRGGBB-tttt" cycles
// colours, each held tttt milliseconds; "Fnnnn" sets the fade between colours, 1 to 9999 ms.
#include "Kinds.h"

#include <algorithm>
#include <cstdio>

namespace tally::lights {

namespace {

std::string fade(int ms) {
    char line[16];
    std::snprintf(line, sizeof line, "F%04d\n", std::clamp(ms, 1, 9999));
    return line;
}

class FitStatUsb final : public LightKind {
public:
    Reports show(const Sight& sight) const override {
        const Colour c = scaled(sight.colour, sight.brightness);
        char line[48];
        if (sight.pulse && !sight.dark()) {
            // Half a period lit, half dark, fading between them: the light breathes.
            const int half = std::clamp(sight.periodMs / 2, 1, 9999);
            std::snprintf(line, sizeof line, "B#%02X%02X%02X-%04d#000000-%04d\n", c.red, c.green, c.blue, half, half);
            return {{Report::Via::text, fade(half / 2)}, {Report::Via::text, line}};
        }
        std::snprintf(line, sizeof line, "#%02X%02X%02X\n", c.red, c.green, c.blue);
        return {{Report::Via::text, fade(200)}, {Report::Via::text, line}};
    }
    bool pulsesByItself() const override { return true; }
};

}  // namespace

std::unique_ptr<LightKind> makeFitStatUsb() { return std::make_unique<FitStatUsb>(); }

}  // namespace tally::lights
