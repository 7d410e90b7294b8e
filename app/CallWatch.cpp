#include "CallWatch.h"

namespace tally {

void CallWatch::setOn(bool on) {
    if (on == static_cast<bool>(watch_)) return;  // only this thread changes watch_
    std::unique_ptr<platform::CaptureWatch> watch = on ? start_(log_) : nullptr;
    if (watch) watch->setIgnored(ignored_);
    {
        const std::lock_guard lock(mutex_);
        std::swap(watch, watch_);
    }
    // A watcher that stops is let go outside the lock, so a tick asking meanwhile does not wait.
}

std::vector<std::string> CallWatch::users() const {
    const std::lock_guard lock(mutex_);
    return watch_ ? watch_->users() : std::vector<std::string>{};
}

void CallWatch::setIgnored(std::vector<std::string> programs) {
    ignored_ = std::move(programs);
    const std::lock_guard lock(mutex_);
    if (watch_) watch_->setIgnored(ignored_);
}

bool CallWatch::inCall() const {
    const std::lock_guard lock(mutex_);
    return watch_ && watch_->inUse();
}

}  // namespace tally
