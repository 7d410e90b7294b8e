// Microphones and cameras on Linux: the camera (CameraWatch_linux.cpp) and the microphone
// (MicrophoneWatch_linux.cpp) report to one record of what is in use.
#include "CaptureUse.h"
#include "CaptureWatchLinux.h"

namespace tally::platform {

namespace {

class LinuxCaptureWatch final : public CaptureWatch {
public:
    LinuxCaptureWatch(CaptureLog log, CapturePlaces places)
        : use_(std::move(log)),
          camera_(watchCameras(use_, std::move(places))),
          microphone_(watchMicrophones(use_, camera_->description())) {}
    bool inUse() const override { return use_.inUse(); }
    std::vector<std::string> users() const override { return use_.users(); }
    void setIgnored(std::vector<std::string> programs) override { use_.setIgnored(std::move(programs)); }

private:
    CaptureUse use_;  // first: the watchers report to it until they are gone
    std::unique_ptr<CameraWatch> camera_;
    std::unique_ptr<MicrophoneWatch> microphone_;
};

}  // namespace

std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log, CapturePlaces places) {
    return std::make_unique<LinuxCaptureWatch>(std::move(log), std::move(places));
}

std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log) { return watchCapture(std::move(log), {}); }

}  // namespace tally::platform
