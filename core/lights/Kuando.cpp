// Kuando (Plenom) Busylight Alpha and Omega, from Plenom's HID protocol document for the
// Busylight and the Kuando Box ("Busylight API", rev. 2.2): one 64-byte output report of seven
// 8-byte steps and 8 bytes more. A step: command (0x10 | n jumps to step n; 0x80 | t is a
// keep-alive, the light staying as it is and going dark unless another comes within t
// seconds), repeat, red, green, blue as 0-100, on and off time in tenths of a second, ringtone
// (0 leaves the sound alone). The last 8 bytes end in a 16-bit checksum of the bytes before
// it, high byte first; the three 0xFF before it are not confirmed by the document's excerpt
// that could be read here.
#include "Kinds.h"

#include <algorithm>
#include <cmath>

namespace tally::lights {

namespace {

constexpr int keepAliveCommand = 0x80;
constexpr int jumpCommand = 0x10;
constexpr int timeoutSeconds = 15;  // the most four bits hold

int percent(int value) { return static_cast<int>(std::lround(value * 100.0 / 255.0)); }

std::string withTrailer(std::string steps) {
    steps.resize(56, byte(0));
    steps += std::string{byte(0), byte(0), byte(0), byte(0xFF), byte(0xFF), byte(0xFF)};
    unsigned sum = 0;
    for (char c : steps) sum += static_cast<unsigned char>(c);
    steps += byte((sum >> 8) & 0xFF);
    steps += byte(sum & 0xFF);
    return std::string(1, byte(0)) + steps;  // report id 0
}

class Kuando final : public LightKind {
public:
    Reports show(const Sight& sight) const override {
        const Colour c = scaled(sight.colour, sight.brightness);
        int on = 10, off = 0;  // steady: on for a second and again, forever
        if (sight.pulse && !sight.dark()) on = off = std::clamp(sight.periodMs / 200, 1, 255);
        const std::string step{byte(jumpCommand | 0), byte(1), byte(percent(c.red)), byte(percent(c.green)),
                               byte(percent(c.blue)), byte(on), byte(off), byte(0)};
        return {{Report::Via::output, withTrailer(step)}};
    }
    bool pulsesByItself() const override { return true; }
    // Well inside the light's timeout, so that one late tick does not darken it.
    double keepAliveSeconds() const override { return 10; }
    Reports keepAlive() const override {
        return {{Report::Via::output, withTrailer(std::string{byte(keepAliveCommand | timeoutSeconds)})}};
    }
    // The same from the start: a Tally that dies leaves the light dark within 15 seconds.
    Reports opening() const override { return keepAlive(); }
};

}  // namespace

std::unique_ptr<LightKind> makeKuando() { return std::make_unique<Kuando>(); }

}  // namespace tally::lights
