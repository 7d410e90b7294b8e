#pragma once

#include <atomic>
#include <memory>

#include "CaptureWatch.h"

namespace tally::test {

// Microphones and cameras as the test says they are, whatever the machine's are doing; and how
// many watchers of them run.
class FakeCapture {
public:
    std::atomic<bool> inUse = false;
    std::atomic<int> running = 0;

    // For Wiring::Services::watchCapture.
    auto factory() {
        return [this](platform::CaptureLog) -> std::unique_ptr<platform::CaptureWatch> {
            return std::make_unique<Watch>(*this);
        };
    }

private:
    class Watch final : public platform::CaptureWatch {
    public:
        explicit Watch(FakeCapture& fake) : fake_(fake) { ++fake_.running; }
        ~Watch() override { --fake_.running; }
        bool inUse() const override { return fake_.inUse.load(); }

    private:
        FakeCapture& fake_;
    };
};

}  // namespace tally::test
