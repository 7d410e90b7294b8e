#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "CaptureWatch.h"

namespace tally::test {

// Microphones and cameras as the test says they are, whatever the machine's are doing; and how
// many watchers of them run.
class FakeCapture {
public:
    std::atomic<bool> inUse = false;
    std::atomic<int> running = 0;
    std::string program = "recorder";  // the one program using a device while inUse
    std::vector<std::string> ignored;  // as the last watcher was told

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
        bool inUse() const override {
            return fake_.inUse.load() &&
                   std::find(fake_.ignored.begin(), fake_.ignored.end(), fake_.program) == fake_.ignored.end();
        }
        std::vector<std::string> users() const override {
            return fake_.inUse.load() ? std::vector<std::string>{fake_.program} : std::vector<std::string>{};
        }
        void setIgnored(std::vector<std::string> programs) override { fake_.ignored = std::move(programs); }

    private:
        FakeCapture& fake_;
    };
};

}  // namespace tally::test
