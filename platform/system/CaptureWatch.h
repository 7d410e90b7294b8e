#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tally::platform {

using CaptureLog = std::function<void(const std::string&)>;

// Whether some program records from a microphone or holds a camera, as the system tells it.
// The platform's watcher learns of changes as they happen, on a thread of its own, and writes
// each one to `log` ("microphone in use (zoom)"); asking is only reading a flag.
class CaptureWatch {
public:
    virtual ~CaptureWatch() = default;
    // Any thread; cheap enough for every tick.
    virtual bool inUse() const = 0;
};

// Starts watching; says in the log what it watches with, or why it cannot. Watching ends with
// the returned object.
std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log);

}  // namespace tally::platform
