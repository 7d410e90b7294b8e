// Busy Tag (303A:81DF), a USB serial device, from its maker's "Busy Tag USB CDC Command
// Reference Guide": text commands; "AT+SC=<LED bits>,<RRGGBB>" sets the LEDs to one colour,
// 127 naming all seven. Lines end in CR LF, as its answers do. Its pulse is timed by the host.
#include "Kinds.h"

#include <cstdio>

namespace tally::lights {

namespace {

class BusyTag final : public LightKind {
public:
    Reports show(const Sight& sight) const override {
        const Colour c = scaled(sight.colour, sight.brightness);
        char line[32];
        std::snprintf(line, sizeof line, "AT+SC=127,%02X%02X%02X\r\n", c.red, c.green, c.blue);
        return {{Report::Via::text, line}};
    }
    bool pulsesByItself() const override { return false; }
};

}  // namespace

std::unique_ptr<LightKind> makeBusyTag() { return std::make_unique<BusyTag>(); }

}  // namespace tally::lights
