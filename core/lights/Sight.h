#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LightState.h"

namespace tally::lights {

struct Colour {
    int red = 0, green = 0, blue = 0;  // 0 to 255
    bool operator==(const Colour&) const = default;
};

// What a light should show, whatever its protocol: a colour, steady or pulsing, at a
// brightness. Black, or no brightness, is dark.
struct Sight {
    Colour colour;
    bool pulse = false;
    int periodMs = 0;      // one whole pulse, bright and dark
    int brightness = 100;  // percent
    int fadeMs = 0;        // how long the change may take, for a pulse the host times
    bool dark() const { return colour == Colour{} || brightness <= 0; }
    bool operator==(const Sight&) const = default;
};

// The sight of a look at a brightness.
Sight sightOf(const Look& look, int brightness);
// The colour at this brightness, each component rounded.
Colour scaled(Colour colour, int brightness);

// The bytes for one report or line, and how they go to the light.
struct Report {
    enum class Via { output, feature, text };
    Via via = Via::output;
    std::string bytes;
    bool operator==(const Report&) const = default;
};
using Reports = std::vector<Report>;

// A light protocol: what makes a kind of light show a sight. No input or output of its own.
class LightKind {
public:
    virtual ~LightKind() = default;
    // The reports that make the light show `sight`.
    virtual Reports show(const Sight& sight) const = 0;
    // Whether the light pulses by itself. If not, the driver shows the colour and dark in turn,
    // half a period each, with fadeMs set for a light that can fade.
    virtual bool pulsesByItself() const = 0;
    // A light that goes dark when the host falls silent hears this every keepAliveSeconds().
    virtual double keepAliveSeconds() const { return 0; }
    virtual Reports keepAlive() const { return {}; }
    // Sent once after the light is opened, before the first sight.
    virtual Reports opening() const { return {}; }
};

}  // namespace tally::lights
