#pragma once

#include <atomic>
#include <memory>

#include "CaptureWatch.h"

namespace tally::test {

// Microphones and cameras as the test says they are, whatever the machine's are doing.
class FakeCapture {
public:
    std::atomic<bool> inUse = false;

    // For Wiring::Services::watchCapture.
    auto factory() {
        return [this](platform::CaptureLog) -> std::unique_ptr<platform::CaptureWatch> {
            return std::make_unique<Watch>(inUse);
        };
    }

private:
    class Watch final : public platform::CaptureWatch {
    public:
        explicit Watch(const std::atomic<bool>& inUse) : inUse_(inUse) {}
        bool inUse() const override { return inUse_.load(); }

    private:
        const std::atomic<bool>& inUse_;
    };
};

}  // namespace tally::test
