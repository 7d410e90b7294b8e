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
