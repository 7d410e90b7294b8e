// The camera on Linux: inotify tells of every open and close of a video device node (and of
// devices coming and going); a moment after, one look through this user's processes says who
// holds one.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <set>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "CaptureUse.h"
#include "CaptureWatchLinux.h"
#include "Files.h"

namespace tally::platform {

namespace {

bool isVideoName(std::string_view name) { return name.starts_with("video"); }

bool isNumber(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The CPU time this thread has used.
std::chrono::nanoseconds threadTime() {
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

std::string firstLineOf(const std::string& path) {
    std::string text;
    Files::readRange(path, 0, 256, 256, [&](std::string_view piece) { text += piece; });
    return text.substr(0, text.find('\n'));
}

// Whether the process whose fd folder is open as `fds` holds one of `wanted`. Each descriptor
// costs one readlinkat and nothing else: a look reads every descriptor of every process.
bool holdsOne(int fds, const std::set<std::string, std::less<>>& wanted) {
    DIR* dir = ::fdopendir(fds);
    if (!dir) {
        ::close(fds);
        return false;
    }
    bool holds = false;
    while (const dirent* entry = ::readdir(dir)) {
        char target[256];  // longer targets are no device node we look for
        const ssize_t length = ::readlinkat(fds, entry->d_name, target, sizeof target);
        if (length > 0 && wanted.contains(std::string_view(target, static_cast<std::size_t>(length)))) {
            holds = true;
            break;
        }
    }
    ::closedir(dir);
    return holds;
}

}  // namespace

std::vector<std::string> videoDevices(const std::string& folder) {
    std::vector<std::string> devices;
    for (const auto& name : Files::list(folder).value_or(std::vector<std::string>()))
        if (isVideoName(name)) devices.push_back(Files::join(folder, name));
    std::sort(devices.begin(), devices.end());
    return devices;
}

std::vector<std::string> cameraHolders(const std::string& procRoot, const std::vector<std::string>& devices) {
    std::vector<std::string> holders;
    if (devices.empty()) return holders;
    const int proc = ::open(procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0) return holders;
    const std::set<std::string, std::less<>> wanted(devices.begin(), devices.end());
    const uid_t me = ::getuid();
    // A process that ends meanwhile, or another user's, has nothing to list.
    for (const auto& pid : Files::list(procRoot).value_or(std::vector<std::string>())) {
        struct stat st {};
        if (!isNumber(pid) || ::fstatat(proc, pid.c_str(), &st, 0) != 0 || st.st_uid != me) continue;
        const int fds = ::openat(proc, (pid + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fds >= 0 && holdsOne(fds, wanted)) holders.push_back(firstLineOf(Files::join(procRoot, pid) + "/comm"));
    }
    ::close(proc);
    return holders;
}

namespace {

class InotifyCameraWatch final : public CameraWatch {
public:
    using Clock = std::chrono::steady_clock;

    InotifyCameraWatch(CaptureUse& use, CapturePlaces places) : use_(use), places_(std::move(places)) {
        stop_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (stop_ < 0) {
            description_ = "no camera watch (" + std::string(std::strerror(errno)) + ")";
            return;
        }
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotify_ < 0) goSlow("no inotify: " + std::string(std::strerror(errno)));
        else if (!addWatch(places_.devices, IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_ONLYDIR))
            goSlow("no inotify watch for " + places_.devices + ": " + std::strerror(errno));
        watchDevices();
        description_ = "camera through " + places_.devices + "/video*";
        if (slow_) description_ += ", looked at " + every() + " (" + why_ + ")";
        started_ = true;
        thread_ = std::thread([this] { run(); });
    }
    ~InotifyCameraWatch() override {
        if (thread_.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(stop_, &one, sizeof one);
            thread_.join();
        }
        if (inotify_ >= 0) ::close(inotify_);
        if (stop_ >= 0) ::close(stop_);
    }
    InotifyCameraWatch(const InotifyCameraWatch&) = delete;
    InotifyCameraWatch& operator=(const InotifyCameraWatch&) = delete;

    std::string description() const override { return description_; }

private:
    std::string every() const {
        const auto ms = places_.slowLook.count();
        return "every " + (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms");
    }

    // From now on the devices are also looked at every few seconds, since some of their opens
    // and closes go unseen.
    void goSlow(const std::string& why) {
        if (slow_) return;
        slow_ = true;
        why_ = why;
        if (started_) use_.log("camera: " + why + "; looked at " + every() + " from now");
    }

    bool addWatch(const std::string& path, std::uint32_t mask) {
        if (inotify_ < 0) return false;
        if (places_.watchLimit && static_cast<int>(watches_.size()) >= *places_.watchLimit) {
            errno = ENOSPC;
            return false;
        }
        const int watch = ::inotify_add_watch(inotify_, path.c_str(), mask);
        if (watch >= 0) watches_.insert(watch);  // the same watch again, when one was there
        return watch >= 0;
    }

    void watchDevices() {
        if (inotify_ < 0) return;
        for (const auto& device : videoDevices(places_.devices)) {
            // A device this user may not read is one no program of theirs can hold either; only
            // running out of watches leaves opens unseen.
            if (!addWatch(device, IN_OPEN | IN_CLOSE) && (errno == ENOSPC || errno == ENOMEM))
                goSlow("no inotify watch for " + device + ": " + std::strerror(errno));
        }
    }

    // Reads what inotify has; whether a device came or went (or events were lost).
    bool readEvents() {
        bool devicesChanged = false;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = ::read(inotify_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if ((event->mask & IN_Q_OVERFLOW) || (event->len > 0 && isVideoName(event->name)))
                    devicesChanged = true;
                if (event->mask & IN_IGNORED) watches_.erase(event->wd);  // its device is gone
                at += sizeof(inotify_event) + event->len;
            }
        }
        return devicesChanged;
    }

    // Who holds a device now; the gap before the next look follows what this one cost.
    void look() {
        const auto before = threadTime();
        use_.report(CaptureUse::Device::camera, cameraHolders(places_.processes, videoDevices(places_.devices)));
        const auto cost = std::chrono::duration<double>(threadTime() - before) / places_.lookShare;
        gap_ = std::max<Clock::duration>(places_.lookGap, std::chrono::duration_cast<Clock::duration>(cost));
        if (places_.looked) places_.looked();
    }

    void run() {
        std::optional<Clock::time_point> lookAt = Clock::now();  // who holds one already
        Clock::time_point lastLook;  // set by the first look, which comes at once
        for (;;) {
            std::optional<Clock::time_point> wake = lookAt;
            if (slow_ && !wake) wake = lastLook + places_.slowLook;
            int timeout = -1;
            if (wake) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - Clock::now());
                timeout = static_cast<int>(std::max<std::int64_t>(wait.count(), 0));
            }
            pollfd fds[2] = {{stop_, POLLIN, 0}, {inotify_, POLLIN, 0}};
            const int ready = ::poll(fds, inotify_ >= 0 ? 2 : 1, timeout);
            if (ready < 0 && errno != EINTR) return;
            if (fds[0].revents) return;
            const auto now = Clock::now();
            if (ready > 0 && fds[1].revents) {
                if (readEvents()) watchDevices();
                if (!lookAt) lookAt = std::max(now + places_.settle, lastLook + gap_);
            }
            if (slow_ && !lookAt && now >= lastLook + places_.slowLook) lookAt = now;
            if (lookAt && now >= *lookAt) {
                lookAt.reset();
                lastLook = now;
                look();
            }
        }
    }

    CaptureUse& use_;
    CapturePlaces places_;
    int inotify_ = -1;
    int stop_ = -1;
    std::set<int> watches_;
    Clock::duration gap_ = Clock::duration::zero();  // from one look to the next, at least
    bool slow_ = false;
    bool started_ = false;  // changes are logged from then on; before, the start line says it
    std::string why_;
    std::string description_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<CameraWatch> watchCameras(CaptureUse& use, CapturePlaces places) {
    return std::make_unique<InotifyCameraWatch>(use, std::move(places));
}

}  // namespace tally::platform
