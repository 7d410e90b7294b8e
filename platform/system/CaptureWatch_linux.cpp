#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <optional>
#include <set>
#include <thread>

#include <poll.h>
#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CaptureUse.h"
#include "CaptureWatchLinux.h"
#include "Files.h"

namespace tally::platform {

bool countsAsCall(const RecordStream& stream) {
    return stream.fromClient && !stream.fromMonitor && !stream.peakDetect && !stream.corked;
}

namespace {

// A folder that cannot be listed (a process that has ended, another user's) has no entries.
std::vector<std::string> entriesOf(const std::string& folder) {
    return Files::list(folder).value_or(std::vector<std::string>());
}

bool isVideoName(std::string_view name) { return name.starts_with("video"); }

std::string firstLineOf(const std::string& path) {
    std::string text;
    Files::readRange(path, 0, 256, 256, [&](std::string_view piece) { text += piece; });
    return text.substr(0, text.find('\n'));
}

}  // namespace

std::vector<std::string> videoDevices(const std::string& folder) {
    std::vector<std::string> devices;
    for (const auto& name : entriesOf(folder))
        if (isVideoName(name)) devices.push_back(Files::join(folder, name));
    std::sort(devices.begin(), devices.end());
    return devices;
}

std::vector<std::string> cameraHolders(const std::string& procRoot, const std::vector<std::string>& devices) {
    std::vector<std::string> holders;
    if (devices.empty()) return holders;
    const std::set<std::string, std::less<>> wanted(devices.begin(), devices.end());
    for (const auto& pid : entriesOf(procRoot)) {
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const std::string process = Files::join(procRoot, pid);
        struct stat st {};
        if (::stat(process.c_str(), &st) != 0 || st.st_uid != ::getuid()) continue;
        for (const auto& fd : entriesOf(process + "/fd")) {
            char target[4096];
            const ssize_t length = ::readlink((process + "/fd/" + fd).c_str(), target, sizeof target);
            if (length <= 0 || !wanted.contains(std::string_view(target, static_cast<std::size_t>(length))))
                continue;
            holders.push_back(firstLineOf(process + "/comm"));
            break;
        }
    }
    return holders;
}

namespace {

// The camera: inotify tells of every open and close of a video device node (and of devices
// coming and going); a moment after each, one look through this user's processes says who
// holds one. A moment, because the opener's descriptor appears only once its open returns,
// and because a program that starts a camera opens and closes it several times in a row.
class CameraWatch {
public:
    static constexpr auto settle = std::chrono::milliseconds(150);

    CameraWatch(CaptureUse& use, CapturePlaces places) : use_(use), places_(std::move(places)) {
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        stop_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (inotify_ < 0 || stop_ < 0 ||
            ::inotify_add_watch(inotify_, places_.devices.c_str(),
                                IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_ONLYDIR) < 0) {
            why_ = std::strerror(errno);
            return;
        }
        thread_ = std::thread([this] { run(); });
    }
    ~CameraWatch() {
        if (thread_.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(stop_, &one, sizeof one);
            thread_.join();
        }
        if (inotify_ >= 0) ::close(inotify_);
        if (stop_ >= 0) ::close(stop_);
    }
    CameraWatch(const CameraWatch&) = delete;
    CameraWatch& operator=(const CameraWatch&) = delete;

    // For the start line: what the camera is watched through, or why it is not.
    std::string description() const {
        return why_.empty() ? "camera through " + places_.devices + "/video*"
                            : "no camera watch (" + places_.devices + ": " + why_ + ")";
    }

private:
    void watchDevices() {
        for (const auto& device : videoDevices(places_.devices)) {
            // Adding a watch twice changes nothing; a device this user may not read is one
            // that no program of theirs can hold either.
            ::inotify_add_watch(inotify_, device.c_str(), IN_OPEN | IN_CLOSE);
        }
    }

    void run() {
        using Clock = std::chrono::steady_clock;
        watchDevices();
        std::optional<Clock::time_point> lookAt = Clock::now();
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            int timeout = -1;
            if (lookAt) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*lookAt - Clock::now());
                timeout = static_cast<int>(std::max<std::int64_t>(wait.count(), 0));
            }
            pollfd fds[2] = {{inotify_, POLLIN, 0}, {stop_, POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0 && errno != EINTR) return;
            if (fds[1].revents) return;
            if (ready > 0 && fds[0].revents) {
                bool devicesChanged = false;
                for (ssize_t got; (got = ::read(inotify_, buffer, sizeof buffer)) > 0;) {
                    for (char* at = buffer; at < buffer + got;) {
                        const auto* event = reinterpret_cast<const inotify_event*>(at);
                        if (event->len > 0 && isVideoName(event->name)) devicesChanged = true;
                        at += sizeof(inotify_event) + event->len;
                    }
                }
                if (devicesChanged) watchDevices();
                if (!lookAt) lookAt = Clock::now() + settle;
            }
            if (lookAt && Clock::now() >= *lookAt) {
                lookAt.reset();
                use_.report(CaptureUse::Device::camera, cameraHolders(places_.processes, videoDevices(places_.devices)));
            }
        }
    }

    CaptureUse& use_;
    CapturePlaces places_;
    int inotify_ = -1;
    int stop_ = -1;
    std::string why_;
    std::thread thread_;
};

// The microphone: the sound server (PulseAudio, or PipeWire's PulseAudio server) tells of
// every record stream that comes, changes or goes; on each, one listing of the sources and
// the streams says which programs record from a real input. Everything below runs on the
// server connection's own thread, but for construction and destruction, which hold its lock.
class MicrophoneWatch {
public:
    static constexpr int firstRetrySeconds = 1;
    static constexpr int lastRetrySeconds = 10;

    MicrophoneWatch(CaptureUse& use, std::string cameraDescription)
        : use_(use), cameraDescription_(std::move(cameraDescription)) {
        loop_ = pa_threaded_mainloop_new();
        if (!loop_) {
            use_.log("call detection: no sound server (cannot start its client); " + cameraDescription_);
            return;
        }
        pa_threaded_mainloop_lock(loop_);
        connect();
        pa_threaded_mainloop_unlock(loop_);
        if (pa_threaded_mainloop_start(loop_) < 0) {
            letGo();  // never started: nothing else runs on it
            pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
        }
    }
    ~MicrophoneWatch() {
        if (!loop_) return;
        pa_threaded_mainloop_lock(loop_);
        letGo();
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
    }
    MicrophoneWatch(const MicrophoneWatch&) = delete;
    MicrophoneWatch& operator=(const MicrophoneWatch&) = delete;

private:
    // One listing: the monitor sources first, then the streams; the server answers in order.
    struct Listing {
        MicrophoneWatch* watch;
        std::set<std::uint32_t> monitors;
        std::vector<std::string> programs;
    };

    pa_mainloop_api* api() { return pa_threaded_mainloop_get_api(loop_); }

    void connect() {
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Tally");
        pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "tally");
        context_ = pa_context_new_with_proplist(api(), "Tally", properties);
        pa_proplist_free(properties);
        if (!context_) return retryLater();
        pa_context_set_state_callback(context_, &MicrophoneWatch::onState, this);
        pa_context_set_subscribe_callback(context_, &MicrophoneWatch::onEvent, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) lost();
    }

    // The connection and a pending retry, before the loop itself goes.
    void letGo() {
        dropContext();
        if (retry_) api()->time_free(retry_);
        retry_ = nullptr;
    }

    void dropContext() {
        if (!context_) return;
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);  // its pending listings are cancelled with it, unanswered
        context_ = nullptr;
        listings_.clear();
    }

    static void onState(pa_context* context, void* self) {
        auto* watch = static_cast<MicrophoneWatch*>(self);
        switch (pa_context_get_state(context)) {
            case PA_CONTEXT_READY: return watch->ready();
            case PA_CONTEXT_FAILED:
            case PA_CONTEXT_TERMINATED: return watch->lost();
            default: return;
        }
    }

    void ready() {
        retrySeconds_ = firstRetrySeconds;
        if (!connected_) {
            connected_ = true;
            use_.log(told_ ? "call detection: microphone through PulseAudio again"
                           : "call detection: microphone through PulseAudio, " + cameraDescription_);
            told_ = true;
        }
        pa_operation_unref(pa_context_subscribe(
            context_, static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT),
            nullptr, nullptr));
        list();
    }

    // The connection failed or the server went away: what it said no longer holds, and a new
    // connection is tried, less often the longer none comes.
    void lost() {
        if (!told_) use_.log("call detection: no sound server; " + cameraDescription_);
        else if (connected_) use_.log("call detection: the sound server went away; Tally will look for it again");
        told_ = true;
        connected_ = false;
        use_.report(CaptureUse::Device::microphone, {});
        retryLater();
    }

    void retryLater() {
        if (retry_) return;
        timeval when {};
        pa_timeval_add(pa_gettimeofday(&when), static_cast<pa_usec_t>(retrySeconds_) * PA_USEC_PER_SEC);
        retrySeconds_ = std::min(retrySeconds_ * 2, lastRetrySeconds);
        // The failed context is let go here, not in its own callback, which libpulse is still in.
        retry_ = api()->time_new(api(), &when, &MicrophoneWatch::onRetry, this);
    }

    static void onRetry(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self) {
        auto* watch = static_cast<MicrophoneWatch*>(self);
        api->time_free(event);
        watch->retry_ = nullptr;
        watch->dropContext();
        watch->connect();
    }

    static void onEvent(pa_context*, pa_subscription_event_type_t, std::uint32_t, void* self) {
        static_cast<MicrophoneWatch*>(self)->list();
    }

    void list() {
        auto& listing = listings_.emplace_back(Listing{this, {}, {}});
        pa_operation* sources = pa_context_get_source_info_list(context_, &MicrophoneWatch::onSource, &listing);
        if (!sources) {
            listings_.pop_back();  // no answer will come for it
            return;
        }
        pa_operation_unref(sources);
        // Refused only by a failing connection; the listing then goes with it.
        if (pa_operation* streams = pa_context_get_source_output_info_list(context_, &MicrophoneWatch::onStream, &listing))
            pa_operation_unref(streams);
    }

    static void onSource(pa_context*, const pa_source_info* source, int end, void* data) {
        if (end == 0 && source->monitor_of_sink != PA_INVALID_INDEX)
            static_cast<Listing*>(data)->monitors.insert(source->index);
    }

    static void onStream(pa_context*, const pa_source_output_info* stream, int end, void* data) {
        auto* listing = static_cast<Listing*>(data);
        if (end == 0) {
            const char* binary = pa_proplist_gets(stream->proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
            const char* name = pa_proplist_gets(stream->proplist, PA_PROP_APPLICATION_NAME);
            const char* peaks = pa_proplist_gets(stream->proplist, "resample.peaks");  // PipeWire's word
            const RecordStream record{
                binary ? binary : name ? name : "",
                stream->client != PA_INVALID_INDEX,
                listing->monitors.contains(stream->source),
                (stream->resample_method && std::strcmp(stream->resample_method, "peaks") == 0) ||
                    (peaks && std::strcmp(peaks, "true") == 0),
                stream->corked != 0,
            };
            if (countsAsCall(record)) listing->programs.push_back(record.program);
            return;
        }
        MicrophoneWatch* watch = listing->watch;
        if (end > 0) watch->use_.report(CaptureUse::Device::microphone, std::move(listing->programs));
        watch->listings_.remove_if([listing](const Listing& l) { return &l == listing; });
    }

    CaptureUse& use_;
    std::string cameraDescription_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_time_event* retry_ = nullptr;
    int retrySeconds_ = firstRetrySeconds;
    bool connected_ = false;
    bool told_ = false;  // the start line has been written
    std::list<Listing> listings_;  // in flight; a list, so that each keeps its address
};

class LinuxCaptureWatch final : public CaptureWatch {
public:
    LinuxCaptureWatch(CaptureLog log, CapturePlaces places)
        : use_(std::move(log)), camera_(use_, std::move(places)), microphone_(use_, camera_.description()) {}
    bool inUse() const override { return use_.inUse(); }

private:
    CaptureUse use_;
    CameraWatch camera_;
    MicrophoneWatch microphone_;
};

}  // namespace

std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log, CapturePlaces places) {
    return std::make_unique<LinuxCaptureWatch>(std::move(log), std::move(places));
}

std::unique_ptr<CaptureWatch> watchCapture(CaptureLog log) { return watchCapture(std::move(log), {}); }

}  // namespace tally::platform
