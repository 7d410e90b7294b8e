#include "Sight.h"

#include <algorithm>
#include <cmath>

namespace tally::lights {

Sight sightOf(const Look& look, int brightness) {
    Sight sight;
    sight.colour = {look.red, look.green, look.blue};
    sight.pulse = look.pulse;
    sight.periodMs = look.pulse ? look.periodMs : 0;
    sight.brightness = brightness;
    return sight;
}

Colour scaled(Colour colour, int brightness) {
    const auto one = [brightness](int value) {
        return static_cast<int>(std::lround(value * std::clamp(brightness, 0, 100) / 100.0));
    };
    return {one(colour.red), one(colour.green), one(colour.blue)};
}

}  // namespace tally::lights
