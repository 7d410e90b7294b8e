#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tally::platform {

using CaptureLog = std::function<void(const std::string&)>;

// Whether some program records from a microphone or holds a camera, as the system tells it.
// The platform's watcher learns of changes as they happen, on a thread of its own, and writes
// each one to `log` ("microphone in use (zoom)"); asking is only reading a flag.
class CaptureWatch {
public:
    virtual ~CaptureWatch() = default;
    // Whether a program that is not ignored uses a microphone or camera. Any thread; cheap
    // enough for every tick.
    virtual bool inUse() const = 0;
    // The programs using a microphone or camera now, by the names the system gives ("" where it
    // gives none). Any thread.
    virtual std::vector<std::string> users() const = 0;
    // Programs whose use is no call, compared by those names; a program without a name always
    // counts. Any thread.
    virtual void setIgnored(std::vector<std::string> programs) = 0;
};

// Starts watching; says in the log what it watches with, or why it cannot. Watching ends with
// the returned object.
std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log);

}  // namespace tally::platform
