// ThingM blink(1), every model (27B8:01ED), from ThingM's "blink(1) HID commands": feature
// report 1, then seven bytes. 'c' r g b th tl n fades to a colour in (th << 8 | tl) tens of
// milliseconds, n = 0 for every LED. 'D' on th tl st 0 0 is the "server tickle": unless it
// comes again within the time, the light shows its off state (st = 0: dark). The light has no
// pulse of its own that needs no pattern memory, so the host times it, and each half of the
// pulse is one smooth fade.
#include "Kinds.h"

#include <algorithm>

namespace tally::lights {

namespace {

constexpr int reportId = 1;
constexpr int tickleTimeoutMs = 30000;

std::string fadeTo(Colour c, int ms) {
    const int tens = std::clamp(ms / 10, 0, 0xFFFF);
    return {byte(reportId), 'c', byte(c.red), byte(c.green), byte(c.blue), byte(tens >> 8), byte(tens & 0xFF), byte(0)};
}

class Blink1 final : public LightKind {
public:
    Reports show(const Sight& sight) const override {
        return {{Report::Via::feature, fadeTo(scaled(sight.colour, sight.brightness), sight.fadeMs > 0 ? sight.fadeMs : 100)}};
    }
    bool pulsesByItself() const override { return false; }
    double keepAliveSeconds() const override { return 10; }
    Reports keepAlive() const override {
        const int tens = tickleTimeoutMs / 10;
        return {{Report::Via::feature,
                 std::string{byte(reportId), 'D', byte(1), byte(tens >> 8), byte(tens & 0xFF), byte(0), byte(0), byte(0)}}};
    }
    Reports opening() const override { return keepAlive(); }
};

}  // namespace

std::unique_ptr<LightKind> makeBlink1() { return std::make_unique<Blink1>(); }

}  // namespace tally::lights
