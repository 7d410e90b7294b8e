#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CaptureWatch.h"

namespace tally {

// Calls from any program: the system's microphone and camera watcher, running only while the
// person wants such calls to count ("Any call"), and the signal the presence source reads. Off
// until turned on: nothing is watched, and no program is named, before that.
class CallWatch {
public:
    // Starts the system's watcher, which logs through the given callback.
    using Start = std::function<std::unique_ptr<platform::CaptureWatch>(platform::CaptureLog)>;

    CallWatch(Start start, platform::CaptureLog log) : start_(std::move(start)), log_(std::move(log)) {}

    // Starts or stops watching. Main thread.
    void setOn(bool on);
    // Whether a microphone or camera is in use and that counts as a call. Any thread.
    bool inCall() const;
    // The programs using a microphone or camera now (none while off). Main thread.
    std::vector<std::string> users() const;
    // Programs that make no call, for this watcher and the next. Main thread.
    void setIgnored(std::vector<std::string> programs);

private:
    Start start_;
    platform::CaptureLog log_;
    std::vector<std::string> ignored_;
    mutable std::mutex mutex_;
    std::unique_ptr<platform::CaptureWatch> watch_;
};

}  // namespace tally
