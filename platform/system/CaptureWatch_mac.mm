// Written from Apple's documentation of Core Audio and Core Media I/O; not yet run on a Mac.
#include "CaptureWatch.h"

#include <string>
#include <vector>

#include <unistd.h>

#include <Block.h>
#import <CoreAudio/CoreAudio.h>
#import <CoreMediaIO/CMIOHardware.h>
#include <dispatch/dispatch.h>

#include "CaptureUse.h"

namespace tally::platform {

namespace {

template <typename Id, typename Address, typename GetSize, typename Get>
std::vector<Id> listOf(Id object, const Address& address, GetSize getSize, Get get) {
    UInt32 size = 0;
    if (getSize(object, &address, 0, nullptr, &size) != 0 || size == 0) return {};
    std::vector<Id> ids(size / sizeof(Id));
    if (get(object, &address, 0, nullptr, size, &size, ids.data()) != 0) return {};
    ids.resize(size / sizeof(Id));
    return ids;
}

// Core Audio's and Core Media I/O's calls differ in their arguments' order; these line them up.
OSStatus audioSize(AudioObjectID o, const AudioObjectPropertyAddress* a, UInt32 q, const void* d, UInt32* s) {
    return AudioObjectGetPropertyDataSize(o, a, q, d, s);
}
OSStatus audioGet(AudioObjectID o, const AudioObjectPropertyAddress* a, UInt32 q, const void* d, UInt32 s, UInt32* used,
                  void* out) {
    *used = s;
    return AudioObjectGetPropertyData(o, a, q, d, used, out);
}
OSStatus videoSize(CMIOObjectID o, const CMIOObjectPropertyAddress* a, UInt32 q, const void* d, UInt32* s) {
    return CMIOObjectGetPropertyDataSize(o, a, q, d, s);
}
OSStatus videoGet(CMIOObjectID o, const CMIOObjectPropertyAddress* a, UInt32 q, const void* d, UInt32 s, UInt32* used,
                  void* out) {
    return CMIOObjectGetPropertyData(o, a, q, d, s, used, out);
}

constexpr AudioObjectPropertyAddress audioDevices{kAudioHardwarePropertyDevices, kAudioObjectPropertyScopeGlobal,
                                                  kAudioObjectPropertyElementMain};
constexpr AudioObjectPropertyAddress audioRunning{kAudioDevicePropertyDeviceIsRunningSomewhere,
                                                  kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
// Core Audio's process objects (macOS 14.2 and later): which program records, by its bundle id,
// told apart from playing. Where the running system has none, a device "running somewhere"
// stands for a call, as before: a headset that only plays counts too there.
constexpr AudioObjectPropertyAddress audioProcesses{kAudioHardwarePropertyProcessObjectList,
                                                    kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
constexpr AudioObjectPropertyAddress processInput{kAudioProcessPropertyIsRunningInput, kAudioObjectPropertyScopeGlobal,
                                                  kAudioObjectPropertyElementMain};

// The bundle id of a process object, or its process id where it has none ("pid 123"); empty if
// neither can be read.
std::string programOf(AudioObjectID process) {
    const AudioObjectPropertyAddress bundle{kAudioProcessPropertyBundleID, kAudioObjectPropertyScopeGlobal,
                                            kAudioObjectPropertyElementMain};
    CFStringRef id = nullptr;
    UInt32 size = sizeof id;
    std::string name;
    if (AudioObjectGetPropertyData(process, &bundle, 0, nullptr, &size, &id) == 0 && id) {
        char text[256];
        if (CFStringGetCString(id, text, sizeof text, kCFStringEncodingUTF8)) name = text;
        CFRelease(id);
    }
    if (!name.empty()) return name;
    const AudioObjectPropertyAddress pid{kAudioProcessPropertyPID, kAudioObjectPropertyScopeGlobal,
                                         kAudioObjectPropertyElementMain};
    pid_t number = 0;
    size = sizeof number;
    if (AudioObjectGetPropertyData(process, &pid, 0, nullptr, &size, &number) == 0) return "pid " + std::to_string(number);
    return {};
}

constexpr CMIOObjectPropertyAddress videoDevices{kCMIOHardwarePropertyDevices, kCMIOObjectPropertyScopeGlobal,
                                                 kCMIOObjectPropertyElementMain};
constexpr CMIOObjectPropertyAddress videoRunning{kCMIODevicePropertyDeviceIsRunningSomewhere,
                                                 kCMIOObjectPropertyScopeGlobal, kCMIOObjectPropertyElementMain};

// A microphone: a device with input streams that is neither virtual (a loopback driver) nor an
// aggregate of others, whose own parts are counted already.
bool isMicrophone(AudioObjectID device) {
    const AudioObjectPropertyAddress inputs{kAudioDevicePropertyStreams, kAudioObjectPropertyScopeInput,
                                            kAudioObjectPropertyElementMain};
    UInt32 size = 0;
    if (AudioObjectGetPropertyDataSize(device, &inputs, 0, nullptr, &size) != 0 || size == 0) return false;
    const AudioObjectPropertyAddress transport{kAudioDevicePropertyTransportType, kAudioObjectPropertyScopeGlobal,
                                               kAudioObjectPropertyElementMain};
    UInt32 type = 0;
    size = sizeof type;
    if (AudioObjectGetPropertyData(device, &transport, 0, nullptr, &size, &type) != 0) return false;
    return type != kAudioDeviceTransportTypeVirtual && type != kAudioDeviceTransportTypeAggregate &&
           type != kAudioDeviceTransportTypeAutoAggregate;
}

// macOS says, per device, whether any process runs it; listeners on that property (and on the
// device lists) call back on a queue of this watcher's own, where everything below runs.
class MacCaptureWatch final : public CaptureWatch {
public:
    explicit MacCaptureWatch(CaptureLog log) : use_(std::move(log)) {
        queue_ = dispatch_queue_create("org.tally.capture", DISPATCH_QUEUE_SERIAL);
        // Copied off the stack: the listeners outlive this constructor (no ARC here).
        changed_ = Block_copy(^(UInt32, const AudioObjectPropertyAddress*) { look(); });
        videoChanged_ = Block_copy(^(UInt32, const CMIOObjectPropertyAddress*) { look(); });
        dispatch_sync(queue_, ^{
            processes_ = AudioObjectHasProperty(kAudioObjectSystemObject, &audioProcesses);
            AudioObjectAddPropertyListenerBlock(kAudioObjectSystemObject, processes_ ? &audioProcesses : &audioDevices,
                                                queue_, changed_);
            CMIOObjectAddPropertyListenerBlock(kCMIOObjectSystemObject, &videoDevices, queue_, videoChanged_);
            use_.log(processes_ ? "call detection: microphone through Core Audio's processes, camera through Core Media I/O"
                                : "call detection: microphone through Core Audio's devices (any use, playing too), "
                                  "camera through Core Media I/O");
            look();
        });
    }
    ~MacCaptureWatch() override {
        dispatch_sync(queue_, ^{
            AudioObjectRemovePropertyListenerBlock(kAudioObjectSystemObject, processes_ ? &audioProcesses : &audioDevices,
                                                   queue_, changed_);
            for (AudioObjectID process : recording_)
                AudioObjectRemovePropertyListenerBlock(process, &processInput, queue_, changed_);
            CMIOObjectRemovePropertyListenerBlock(kCMIOObjectSystemObject, &videoDevices, queue_, videoChanged_);
            for (AudioObjectID device : microphones_)
                AudioObjectRemovePropertyListenerBlock(device, &audioRunning, queue_, changed_);
            for (CMIOObjectID device : cameras_)
                CMIOObjectRemovePropertyListenerBlock(device, &videoRunning, queue_, videoChanged_);
        });
        dispatch_sync(queue_, ^{});  // a callback already queued has run
        Block_release(changed_);
        Block_release(videoChanged_);
        dispatch_release(queue_);
    }
    MacCaptureWatch(const MacCaptureWatch&) = delete;
    MacCaptureWatch& operator=(const MacCaptureWatch&) = delete;

    bool inUse() const override { return use_.inUse(); }
    std::vector<std::string> users() const override { return use_.users(); }
    void setIgnored(std::vector<std::string> programs) override { use_.setIgnored(std::move(programs)); }

private:
    // Devices come and go: listen to each one present, then ask each whether it runs.
    // The programs recording now, from the process objects; each watched for its input's start
    // and end, and the list for programs that come and go.
    std::vector<std::string> recordingPrograms() {
        for (AudioObjectID process : recording_)
            AudioObjectRemovePropertyListenerBlock(process, &processInput, queue_, changed_);
        recording_ = listOf<AudioObjectID>(kAudioObjectSystemObject, audioProcesses, audioSize, audioGet);
        std::vector<std::string> programs;
        const std::string self = "pid " + std::to_string(::getpid());
        for (AudioObjectID process : recording_) {
            AudioObjectAddPropertyListenerBlock(process, &processInput, queue_, changed_);
            UInt32 running = 0, size = sizeof running;
            if (AudioObjectGetPropertyData(process, &processInput, 0, nullptr, &size, &running) != 0 || !running)
                continue;
            std::string name = programOf(process);
            if (name != self) programs.push_back(std::move(name));
        }
        return programs;
    }

    void look() {
        if (processes_) {
            use_.report(CaptureUse::Device::microphone, recordingPrograms());
            lookAtCameras();
            return;
        }
        for (AudioObjectID device : microphones_)
            AudioObjectRemovePropertyListenerBlock(device, &audioRunning, queue_, changed_);
        microphones_.clear();
        for (AudioObjectID device : listOf(kAudioObjectSystemObject, audioDevices, audioSize, audioGet))
            if (isMicrophone(device)) microphones_.push_back(device);
        bool microphone = false;
        for (AudioObjectID device : microphones_) {
            AudioObjectAddPropertyListenerBlock(device, &audioRunning, queue_, changed_);
            UInt32 running = 0, size = sizeof running;
            if (AudioObjectGetPropertyData(device, &audioRunning, 0, nullptr, &size, &running) == 0 && running)
                microphone = true;
        }
        // A device does not say which program uses it.
        use_.report(CaptureUse::Device::microphone, microphone ? std::vector<std::string>{""} : std::vector<std::string>{});
        lookAtCameras();
    }

    void lookAtCameras() {
        for (CMIOObjectID device : cameras_)
            CMIOObjectRemovePropertyListenerBlock(device, &videoRunning, queue_, videoChanged_);
        cameras_ = listOf<CMIOObjectID>(kCMIOObjectSystemObject, videoDevices, videoSize, videoGet);
        bool camera = false;
        for (CMIOObjectID device : cameras_) {
            CMIOObjectAddPropertyListenerBlock(device, &videoRunning, queue_, videoChanged_);
            UInt32 running = 0, used = 0;
            if (CMIOObjectGetPropertyData(device, &videoRunning, 0, nullptr, sizeof running, &used, &running) == 0 &&
                running)
                camera = true;
        }
        use_.report(CaptureUse::Device::camera, camera ? std::vector<std::string>{""} : std::vector<std::string>{});
    }

    CaptureUse use_;
    dispatch_queue_t queue_;
    AudioObjectPropertyListenerBlock changed_;
    CMIOObjectPropertyListenerBlock videoChanged_;
    bool processes_ = false;                // the system has process objects
    std::vector<AudioObjectID> recording_;  // the process objects watched
    std::vector<AudioObjectID> microphones_;
    std::vector<CMIOObjectID> cameras_;
};

}  // namespace

std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log) { return std::make_unique<MacCaptureWatch>(std::move(log)); }

}  // namespace tally::platform
