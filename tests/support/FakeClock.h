#pragma once

#include <atomic>

namespace tally::test {

// A clock that moves only when the test says so; it may be read from any thread. Moved by
// advance() alone: an atomic double has no += in every standard library (Apple's lacks it).
class FakeClock {
public:
    explicit FakeClock(double start = 1000) : now_(start) {}
    double now() const { return now_.load(); }
    auto function() {
        return [this] { return now_.load(); };
    }
    void advance(double seconds) { now_.store(now_.load() + seconds); }

private:
    std::atomic<double> now_;
};

}  // namespace tally::test
