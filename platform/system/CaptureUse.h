#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "CaptureWatch.h"

namespace tally::platform {

// What every platform's watcher keeps: the programs using a microphone and a camera as last
// reported, the flag a tick reads, and the activity-log line for each change. Any thread.
class CaptureUse {
public:
    enum class Device { microphone, camera };

    explicit CaptureUse(CaptureLog log) : log_(std::move(log)) {}

    // The programs using `device` now, empty when none; a name the system did not give is "".
    // Logs "microphone in use (zoom)" when the set of names changes, "microphone no longer in
    // use" when it empties.
    void report(Device device, std::vector<std::string> programs);
    bool inUse() const { return counted_.load(); }
    std::vector<std::string> users() const;
    void setIgnored(std::vector<std::string> programs);
    void log(const std::string& line) const { log_(line); }

private:
    CaptureLog log_;
    // Whether a program not ignored is among the users, under the lock.
    void count();

    mutable std::mutex mutex_;
    std::vector<std::string> microphoneUsers_;  // sorted, without repeats
    std::vector<std::string> cameraUsers_;
    std::vector<std::string> ignored_;
    // Whether one of those users counts, for readers that take no lock.
    std::atomic<bool> counted_ = false;
};

// A name fit for one log line: at most 64 bytes, whole characters.
std::string programName(std::string name);

}  // namespace tally::platform
