#pragma once

#include <array>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "Parser.h"

namespace tally {

// What the light shows. The declaration order is the order of the colour test and the
// simulated source.
enum class LightState { available, busy, inCall, dnd, away, off, unknown };

inline constexpr std::array<LightState, 7> allLightStates{
    LightState::available, LightState::busy, LightState::inCall, LightState::dnd,
    LightState::away,      LightState::off,  LightState::unknown};

// The text people read (menu, activity log).
std::string_view rawValue(LightState state);
// The line sent to the light, without its line feed.
std::string_view command(LightState state);
// The menu-bar glyph, UTF-8.
std::string_view icon(LightState state);
// The state whose display text is exactly `text`.
std::optional<LightState> lightStateFromRawValue(std::string_view text);

// How a state looks on the light: a colour, steady or pulsing (one pulse every periodMs).
struct Look {
    int red = 0, green = 0, blue = 0;
    bool pulse = false;
    int periodMs = 0;
    bool operator==(const Look&) const = default;
};
// A look for every state, in the enumeration's order: the person's colours.
using Palette = std::array<Look, 7>;
// The looks the commands above give: Tally's own colours.
const Palette& defaultPalette();
// The light's command for a look: "C r g b", "P r g b period", or "OFF" for black.
std::string commandFor(const Look& look);
// The period a state pulses with when made to pulse (a call's, unless it has its own).
int pulsePeriodOf(LightState state);

// What the log has said so far: the latest availability and the meeting windows in a call.
struct Tracker {
    std::optional<Availability> availability;
    std::set<std::string, std::less<>> callWindows;

    bool inCall() const { return !callWindows.empty(); }
    void apply(const LogEvent& event);
};

LightState combine(std::optional<Availability> availability, bool inCall, bool teamsRunning,
                   bool stale);

}  // namespace tally
