#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CaptureWatch.h"

namespace tally::platform {

class CaptureUse;

// The video devices (`folder`/video*), in name order.
std::vector<std::string> videoDevices(const std::string& folder);
// The names of this user's processes under `procRoot` that hold one of `devices` open.
std::vector<std::string> cameraHolders(const std::string& procRoot, const std::vector<std::string>& devices);

// Where and how the camera watcher looks; tests lay out their own places and move faster.
struct CapturePlaces {
    std::string devices = "/dev";
    std::string processes = "/proc";
    // From an open or close of a device to the look at who holds one: the opener's descriptor
    // appears only once its open returns, and a program starting a camera opens it several times.
    std::chrono::milliseconds settle{150};
    // Looks are at least this far apart, however often the devices are opened: each look reads
    // every descriptor of every process of the user's. Further apart where looks are dear: in a
    // storm of opens, looking takes at most `lookShare` of a core.
    std::chrono::milliseconds lookGap{1000};
    double lookShare = 0.02;
    // Without inotify for a device (the user's watches used up), how often it is looked at.
    std::chrono::milliseconds slowLook{5000};
    // Tests: the number of inotify watches to be had, as if the system's limit were reached.
    std::optional<int> watchLimit;
    // Tests: called on the watcher's thread after each look.
    std::function<void()> looked;
};

std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log, CapturePlaces places);

// The halves of the Linux watcher, each on a thread of its own until destroyed, each reporting
// to `use`: the camera through inotify and /proc, the microphone through the sound server.
class CameraWatch {
public:
    virtual ~CameraWatch() = default;
    // For the start line: what the camera is watched through.
    virtual std::string description() const = 0;
};
std::unique_ptr<CameraWatch> watchCameras(CaptureUse& use, CapturePlaces places);

class MicrophoneWatch {
public:
    virtual ~MicrophoneWatch() = default;
};
// Writes the start line, with `cameraDescription` after what the microphone is watched through.
std::unique_ptr<MicrophoneWatch> watchMicrophones(CaptureUse& use, std::string cameraDescription);

}  // namespace tally::platform
