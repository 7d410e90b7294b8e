#pragma once

#include <atomic>

namespace tally::test {

// A clock that moves only when the test says so; it may be read from any thread.
struct FakeClock {
    std::atomic<double> now{1000};
    auto function() {
        return [this] { return now.load(); };
    }
    void advance(double seconds) { now = now.load() + seconds; }
};

}  // namespace tally::test
