#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tally {

// The user's availability as Teams records it, reduced to seven values.
enum class Availability { available, busy, dnd, brb, away, offline, unknown };

std::string_view rawValue(Availability availability);
// Exact, case-sensitive; the parser's lenient reading is Parser::normalise.
std::optional<Availability> availabilityFromRawValue(std::string_view text);

// Teams reported an availability; rawWord is the word as the log wrote it, trimmed.
struct PresenceEvent {
    Availability availability;
    std::string rawWord;
    bool operator==(const PresenceEvent&) const = default;
};

// A meeting window's call began or ended; the window name pairs an end with its start.
struct CallEvent {
    bool started;
    std::string window;
    bool operator==(const CallEvent&) const = default;
};

using LogEvent = std::variant<PresenceEvent, CallEvent>;

namespace Parser {

// Lower-cases a word or phrase without its spaces and looks it up; unknown words are unknown.
Availability normalise(std::string_view word);

// One log line (without its line feed) to at most one event. Pure and thread-safe.
std::optional<LogEvent> parse(std::string_view line);

// Position of the first of the four marker texts ("close prompt from web",
// "WindowCloseActionDestroy", "UserPresenceAction", "UpdateIconPresence") at or after `from`,
// or npos. A line without any of them yields no event, so callers may skip it unparsed.
std::size_t findMarker(std::string_view text, std::size_t from = 0);

}  // namespace Parser

}  // namespace tally
