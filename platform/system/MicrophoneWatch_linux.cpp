// The microphone on Linux: the sound server (PulseAudio, or PipeWire's PulseAudio server) tells of
// every source and record stream that comes, changes or goes; a listing of the sources and the
// streams then says which programs record from a real input.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <set>
#include <thread>

#include <pulse/pulseaudio.h>

#include "CaptureUse.h"
#include "CaptureWatchLinux.h"

namespace tally::platform {

namespace {

// One record stream as the sound server describes it.
struct RecordStream {
    std::string program;       // the recording program's name, "" if the server has none
    bool fromClient = true;    // false for the server's own streams (loopback, echo-cancel)
    bool fromMonitor = false;  // records what an output plays, not an input
    bool peakDetect = false;   // a volume meter's stream
    bool corked = false;       // paused: records nothing now
};

// Whether this stream is someone speaking into a microphone.
bool countsAsCall(const RecordStream& stream) {
    return stream.fromClient && !stream.fromMonitor && !stream.peakDetect && !stream.corked;
}

// A client of the sound server on a thread of its own, which does everything but construction
// and destruction; those run while the thread does not. A storm of events (a volume dragged, a
// program opening hundreds of streams) costs at most one listing in flight and one waiting, and
// listings at most every `listingGapUs`: what the storm ends with is what the last one shows.
class PulseMicrophoneWatch final : public MicrophoneWatch {
public:
    static constexpr int firstRetrySeconds = 1;
    static constexpr int lastRetrySeconds = 10;
    static constexpr pa_usec_t listingGapUs = 100'000;

    PulseMicrophoneWatch(CaptureUse& use, std::string cameraDescription)
        : use_(use), cameraDescription_(std::move(cameraDescription)) {
        loop_ = pa_mainloop_new();
        if (!loop_) {
            use_.log("call detection: no sound server (cannot start its client); " + cameraDescription_);
            return;
        }
        connect();
        thread_ = std::thread([this] {
            while (!stopping_.load() && pa_mainloop_iterate(loop_, 1, nullptr) >= 0) {}
        });
    }
    // Bounded: the thread ends after the step it is in, however busy the server keeps it, and
    // no lock is waited for.
    ~PulseMicrophoneWatch() override {
        if (!loop_) return;
        stopping_ = true;
        pa_mainloop_wakeup(loop_);
        thread_.join();
        letGo();
        pa_mainloop_free(loop_);
    }
    PulseMicrophoneWatch(const PulseMicrophoneWatch&) = delete;
    PulseMicrophoneWatch& operator=(const PulseMicrophoneWatch&) = delete;

private:
    // One listing: the monitor sources first, then the streams; the server answers in order.
    struct Listing {
        std::set<std::uint32_t> monitors;
        std::vector<std::string> programs;
    };

    pa_mainloop_api* api() { return pa_mainloop_get_api(loop_); }

    void connect() {
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Tally");
        pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "tally");
        context_ = pa_context_new_with_proplist(api(), "Tally", properties);
        pa_proplist_free(properties);
        if (!context_) return retryLater();
        pa_context_set_state_callback(context_, &PulseMicrophoneWatch::onState, this);
        pa_context_set_subscribe_callback(context_, &PulseMicrophoneWatch::onEvent, this);
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
        pa_context_unref(context_);  // its pending listing is cancelled with it, unanswered
        context_ = nullptr;
        listing_.reset();
        listingWanted_ = false;
        if (nextListing_) api()->time_free(nextListing_);
        nextListing_ = nullptr;
    }

    static void onState(pa_context* context, void* self) {
        auto* watch = static_cast<PulseMicrophoneWatch*>(self);
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
        wantListing();
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
        retry_ = api()->time_new(api(), &when, &PulseMicrophoneWatch::onRetry, this);
    }

    static void onRetry(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self) {
        auto* watch = static_cast<PulseMicrophoneWatch*>(self);
        api->time_free(event);
        watch->retry_ = nullptr;
        watch->dropContext();
        watch->connect();
    }

    static void onEvent(pa_context*, pa_subscription_event_type_t, std::uint32_t, void* self) {
        static_cast<PulseMicrophoneWatch*>(self)->wantListing();
    }

    // A listing is due: now, or once the one in flight is answered and the gap has passed.
    void wantListing() {
        if (listing_ || nextListing_) {
            listingWanted_ = true;
            return;
        }
        list();
    }

    void list() {
        listingWanted_ = false;
        lastListing_ = pa_rtclock_now();
        listing_.emplace();
        pa_operation* sources = pa_context_get_source_info_list(context_, &PulseMicrophoneWatch::onSource, this);
        if (!sources) {
            listing_.reset();  // a failing connection: no answer will come, and lost() follows
            return;
        }
        pa_operation_unref(sources);
        // Refused only by a failing connection; the listing then goes with it.
        if (pa_operation* streams = pa_context_get_source_output_info_list(context_, &PulseMicrophoneWatch::onStream, this))
            pa_operation_unref(streams);
    }

    void listed() {
        use_.report(CaptureUse::Device::microphone, std::move(listing_->programs));
        listing_.reset();
        if (!listingWanted_) return;
        nextListing_ = pa_context_rttime_new(context_, std::max(pa_rtclock_now(), lastListing_ + listingGapUs),
                                             &PulseMicrophoneWatch::onListingDue, this);
    }

    static void onListingDue(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self) {
        auto* watch = static_cast<PulseMicrophoneWatch*>(self);
        api->time_free(event);
        watch->nextListing_ = nullptr;
        if (watch->listingWanted_) watch->list();
    }

    static void onSource(pa_context*, const pa_source_info* source, int end, void* self) {
        auto* watch = static_cast<PulseMicrophoneWatch*>(self);
        if (end == 0 && watch->listing_ && source->monitor_of_sink != PA_INVALID_INDEX)
            watch->listing_->monitors.insert(source->index);
    }

    static void onStream(pa_context*, const pa_source_output_info* stream, int end, void* self) {
        auto* watch = static_cast<PulseMicrophoneWatch*>(self);
        if (!watch->listing_) return;
        if (end > 0) return watch->listed();
        if (end < 0) {  // refused midway: the connection fails, and lost() follows
            watch->listing_.reset();
            return;
        }
        const char* binary = pa_proplist_gets(stream->proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
        const char* name = pa_proplist_gets(stream->proplist, PA_PROP_APPLICATION_NAME);
        const char* peaks = pa_proplist_gets(stream->proplist, "resample.peaks");  // PipeWire's word
        const RecordStream record{
            binary ? binary : name ? name : "",
            stream->client != PA_INVALID_INDEX,
            watch->listing_->monitors.contains(stream->source),
            (stream->resample_method && std::strcmp(stream->resample_method, "peaks") == 0) ||
                (peaks && std::strcmp(peaks, "true") == 0),
            stream->corked != 0,
        };
        if (countsAsCall(record)) watch->listing_->programs.push_back(record.program);
    }

    CaptureUse& use_;
    std::string cameraDescription_;
    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_time_event* retry_ = nullptr;
    pa_time_event* nextListing_ = nullptr;  // a listing waiting for the gap to pass
    std::optional<Listing> listing_;       // the one in flight
    bool listingWanted_ = false;           // something changed since it was asked for
    pa_usec_t lastListing_ = 0;
    int retrySeconds_ = firstRetrySeconds;
    bool connected_ = false;
    bool told_ = false;  // the start line has been written
    std::atomic<bool> stopping_ = false;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<MicrophoneWatch> watchMicrophones(CaptureUse& use, std::string cameraDescription) {
    return std::make_unique<PulseMicrophoneWatch>(use, std::move(cameraDescription));
}

}  // namespace tally::platform
