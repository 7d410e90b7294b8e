#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CaptureWatch.h"

namespace tally::platform {

// Linux: one record stream as the sound server describes it.
struct RecordStream {
    std::string program;       // the recording program's name, "" if the server has none
    bool fromClient = true;    // false for the server's own streams (loopback, echo-cancel)
    bool fromMonitor = false;  // records what an output plays, not an input
    bool peakDetect = false;   // a volume meter's stream
    bool corked = false;       // paused: records nothing now
};
// Whether this stream is someone speaking into a microphone.
bool countsAsCall(const RecordStream& stream);

// The video devices (`folder`/video*), in name order.
std::vector<std::string> videoDevices(const std::string& folder);
// The names of this user's processes under `procRoot` that hold one of `devices` open.
std::vector<std::string> cameraHolders(const std::string& procRoot, const std::vector<std::string>& devices);

// Where the camera watcher looks; tests lay out their own.
struct CapturePlaces {
    std::string devices = "/dev";
    std::string processes = "/proc";
};
std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log, CapturePlaces places);

}  // namespace tally::platform
