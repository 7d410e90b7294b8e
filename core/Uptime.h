#pragma once

#include <chrono>
#include <functional>

namespace tally {

// Seconds on the monotonic clock. Everything that paces itself takes the clock as a function,
// so that tests move time instead of sleeping.
using UptimeClock = std::function<double()>;

inline double uptimeNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Seconds on the wall clock, which goes on while the machine sleeps (and may be set).
inline double wallClockNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace tally
