#include "WorkingHours.h"

#include <ctime>

namespace tally {

LocalTime localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return {(local.tm_wday + 6) % 7, local.tm_hour * 60 + local.tm_min};  // tm_wday: 0 is Sunday
}

bool WorkingHours::within(LocalTime time) const {
    if (!on) return true;
    return days[static_cast<std::size_t>(time.weekday) % 7] && time.minute >= start && time.minute < end;
}

std::optional<int> WorkingHours::minutesToEnd(LocalTime time) const {
    if (!on || !within(time)) return std::nullopt;
    return end - time.minute;
}

}  // namespace tally
