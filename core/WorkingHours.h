#pragma once

#include <array>
#include <optional>

#include "LightState.h"

namespace tally {

// A moment of the local week: the day (0 Monday to 6 Sunday) and the minute of that day.
struct LocalTime {
    int weekday = 0;
    int minute = 0;
};
// The local time now, from the system's clock and time zone.
LocalTime localTimeNow();

// The person's working hours: outside them the light shows `outside` (dark unless chosen), and
// a status set by hand only if `manualOutside`. Off (the default) is always within.
struct WorkingHours {
    bool on = false;
    std::array<bool, 7> days{true, true, true, true, true, false, false};  // Monday first
    int start = 9 * 60;  // minutes after midnight
    int end = 17 * 60;   // after start; a day that ends at or before its start is none
    LightState outside = LightState::off;
    bool manualOutside = false;
    bool operator==(const WorkingHours&) const = default;

    bool within(LocalTime time) const;
    // Minutes from `time` to the end of the working day it is in; none outside the hours (or
    // with them off).
    std::optional<int> minutesToEnd(LocalTime time) const;
};

}  // namespace tally
