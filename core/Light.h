#pragma once

#include <optional>
#include <string>
#include <vector>

#include "LightState.h"

namespace tally {

// What the engine drives: one light, or every light Tally has found. Not thread-safe: the
// engine's worker is the only caller.
class Light {
public:
    virtual ~Light() = default;
    // The state the light should show; the next update() brings it there.
    virtual void show(LightState state) = 0;
    // In percent (25 to 100); every kind scales its colours by it.
    virtual void setBrightness(int value) = 0;
    // Finds lights, sends what changed, keeps lights alive; may block for about a second per
    // light that does not answer.
    virtual void update() = 0;
    // Dark at once, before sleep and at quit.
    virtual void switchOffNow() = 0;
    // Forget what the lights show, so that the next update() sends it again.
    virtual void invalidate() = 0;
    // How each state looks from now on.
    virtual void setPalette(const Palette& palette) = 0;

    // Tally's own light: connected, and its firmware.
    virtual bool isConnected() const = 0;
    virtual std::optional<std::string> firmwareVersion() const = 0;
    // Every other light now driven, by maker and model ("Luxafor Flag").
    virtual std::vector<std::string> otherLights() const { return {}; }
    // Lights found but not to be opened, with why ("Luxafor Flag: permission denied").
    virtual std::vector<std::string> blockedLights() const { return {}; }
    // Why Tally's own light is not connected, when there is more to say than "not found"
    // ("permission denied on /dev/ttyACM0", "/dev/ttyACM9 does not exist").
    virtual std::optional<std::string> problem() const { return std::nullopt; }
};

}  // namespace tally
