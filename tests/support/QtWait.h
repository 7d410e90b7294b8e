#pragma once

#include <chrono>
#include <functional>

#include <QCoreApplication>
#include <QThread>

namespace tally::test {

// Runs the event loop until `condition` holds or the limit passes; true if it held.
[[nodiscard]] inline bool processEventsUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace tally::test
