#include "Sight.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace tally::lights {

Sight sightOf(LightState state, int brightness) {
    // "C r g b", "P r g b period" or "OFF": the commands of Tally's own light say it all.
    std::istringstream in{std::string(command(state))};
    std::string shape;
    Sight sight;
    sight.brightness = brightness;
    in >> shape;
    if (shape == "C" || shape == "P") in >> sight.colour.red >> sight.colour.green >> sight.colour.blue;
    if (shape == "P") {
        sight.pulse = true;
        in >> sight.periodMs;
    }
    return sight;
}

Colour scaled(Colour colour, int brightness) {
    const auto one = [brightness](int value) {
        return static_cast<int>(std::lround(value * std::clamp(brightness, 0, 100) / 100.0));
    };
    return {one(colour.red), one(colour.green), one(colour.blue)};
}

}  // namespace tally::lights
