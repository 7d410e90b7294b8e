// Embrava Blynclight, Mini and Plus, and Plantronics' Status Indicator built on them. Embrava
// publishes no protocol document; the layout below (9-byte output report: report id 0, red,
// BLUE, green, a control byte, 00 00 FF 22) is the widely described one and is listed in the
// README as not confirmed by the maker. Control: bit 5 flashes, bits 4-2 pick its speed
// (1 slow, 2 medium, 4 fast).
#include "Kinds.h"

namespace tally::lights {

namespace {

constexpr int flash = 1 << 5;
constexpr int slowFlash = 1 << 2;
constexpr int mediumFlash = 2 << 2;

class Embrava final : public LightKind {
public:
    Reports show(const Sight& sight) const override {
        const Colour c = scaled(sight.colour, sight.brightness);
        int control = 0;
        if (sight.pulse && !sight.dark()) control = flash | (sight.periodMs >= 3000 ? slowFlash : mediumFlash);
        return {{Report::Via::output,
                 std::string{byte(0), byte(c.red), byte(c.blue), byte(c.green), byte(control), byte(0), byte(0),
                             byte(0xFF), byte(0x22)}}};
    }
    bool pulsesByItself() const override { return true; }
};

}  // namespace

std::unique_ptr<LightKind> makeEmbrava() { return std::make_unique<Embrava>(); }

}  // namespace tally::lights
