#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace tally::test {

// Waits until `condition` holds, looking every few milliseconds, for at most `limit`; whether
// it held. The one way the tests wait for something that happens elsewhere; a wait whose
// answer is ignored proves nothing, so ignoring it does not compile.
[[nodiscard]] inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    for (const auto end = std::chrono::steady_clock::now() + limit;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace tally::test
