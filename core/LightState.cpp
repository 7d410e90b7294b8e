#include "LightState.h"

#include <cstdio>
#include <variant>

namespace tally {

namespace {

struct Row {
    std::string_view rawValue;
    std::string_view command;
    std::string_view icon;
};

// Indexed by the enumeration's value.
constexpr std::array<Row, 7> rows{{
    {"Available", "C 0 255 0", "\U0001F7E2"},
    {"Busy", "C 255 0 0", "\U0001F534"},
    {"In a call", "P 255 0 0 3000", "\U0001F4DE"},
    {"Do not disturb", "C 150 0 255", "\U0001F7E3"},
    {"Away / Be right back", "C 255 110 0", "\U0001F7E1"},
    {"Off", "OFF", "\u26AB\uFE0F"},
    {"Unknown", "P 0 0 90 4000", "\U0001F535"},
}};

const Row& row(LightState state) { return rows[static_cast<std::size_t>(state)]; }

}  // namespace

std::string_view rawValue(LightState state) { return row(state).rawValue; }
std::string_view command(LightState state) { return row(state).command; }
std::string_view icon(LightState state) { return row(state).icon; }

namespace {

Look lookOfCommand(std::string_view command) {
    Look look;
    char shape = 0;
    const std::string text(command);
    if (std::sscanf(text.c_str(), "%c %d %d %d %d", &shape, &look.red, &look.green, &look.blue, &look.periodMs) < 4)
        return {};  // "OFF"
    look.pulse = shape == 'P';
    if (!look.pulse) look.periodMs = 0;
    return look;
}

}  // namespace

const Palette& defaultPalette() {
    static const Palette palette = [] {
        Palette p;
        for (LightState state : allLightStates) p[static_cast<std::size_t>(state)] = lookOfCommand(command(state));
        return p;
    }();
    return palette;
}

std::string commandFor(const Look& look) {
    if (look.red == 0 && look.green == 0 && look.blue == 0) return "OFF";
    std::string text = (look.pulse ? "P " : "C ") + std::to_string(look.red) + " " + std::to_string(look.green) +
                       " " + std::to_string(look.blue);
    if (look.pulse) text += " " + std::to_string(look.periodMs);
    return text;
}

int pulsePeriodOf(LightState state) {
    const Look& own = defaultPalette()[static_cast<std::size_t>(state)];
    return own.pulse ? own.periodMs : defaultPalette()[static_cast<std::size_t>(LightState::inCall)].periodMs;
}

std::optional<LightState> lightStateFromRawValue(std::string_view text) {
    for (LightState state : allLightStates)
        if (rawValue(state) == text) return state;
    return std::nullopt;
}

void Tracker::apply(const LogEvent& event) {
    if (const auto* presence = std::get_if<PresenceEvent>(&event)) {
        availability = presence->availability;
    } else {
        const auto& call = std::get<CallEvent>(event);
        if (call.started)
            callWindows.insert(call.window);
        else if (auto it = callWindows.find(call.window); it != callWindows.end())
            callWindows.erase(it);
    }
}

LightState combine(std::optional<Availability> availability, bool inCall, bool teamsRunning,
                   bool stale) {
    if (!teamsRunning) return LightState::off;
    if (stale || !availability) return LightState::unknown;
    if (inCall) return LightState::inCall;
    switch (*availability) {
        case Availability::available: return LightState::available;
        case Availability::busy: return LightState::busy;
        case Availability::dnd: return LightState::dnd;
        case Availability::brb:
        case Availability::away: return LightState::away;
        case Availability::offline: return LightState::off;
        case Availability::unknown: return LightState::unknown;
    }
    return LightState::unknown;
}

}  // namespace tally
