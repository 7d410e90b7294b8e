#include "Engine.h"

#include <future>

namespace tally {

Engine::Engine(SourceFactory makeSource, std::unique_ptr<Light> device,
               UpdateCallback onUpdate, LogCallback log, Timing timing)
    : makeSource_(std::move(makeSource)),
      device_(std::move(device)),
      onUpdate_(std::move(onUpdate)),
      log_(std::move(log)),
      timing_(std::move(timing)),
      worker_([this] { run(); }) {}

Engine::~Engine() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();  // a caller still waiting in runAndWait() is released by its broken promise
    }
    wake_.notify_all();
    worker_.join();
}

void Engine::post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) return;  // dropped; a waiting caller is released by the broken promise
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

void Engine::runAndWait(std::function<void()> task) {
    if (std::this_thread::get_id() == worker_.get_id()) {
        task();  // waiting for ourselves would never end
        return;
    }
    // Only the task holds the promise, so a task that is dropped unrun breaks it and the wait
    // ends; the caller keeps nothing but the future.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    post([task = std::move(task), done = std::move(done)] {
        task();
        done->set_value();
    });
    finished.wait();
}

void Engine::switchOff() {
    if (device_) device_->switchOffNow();
}

void Engine::start() {
    post([this] {
        source_ = makeSource_();
        const std::lock_guard lock(mutex_);
        ticking_ = true;
        nextTick_ = timing_.clock();
    });
}

void Engine::setPaused(bool paused) {
    post([this, paused] { paused_ = paused; });
}

void Engine::setBrightness(int value) {
    post([this, value] {
        if (device_) device_->setBrightness(value);
    });
}

void Engine::startTest() {
    post([this] {
        const double now = timing_.clock();
        testQueue_.clear();
        for (std::size_t i = 0; i < allLightStates.size(); ++i)
            testQueue_.emplace_back(allLightStates[i],
                                    now + testColourSeconds * static_cast<double>(i + 1));
    });
}

void Engine::setManual(std::optional<ManualStatus> status) {
    post([this, status] {
        ++manualChanges_;
        if (!status) return manual_.reset();
        std::optional<double> until;
        if (status->seconds) until = timing_.wallClock() + *status->seconds;
        manual_.emplace(status->state, until);
    });
}

void Engine::setPalette(const Palette& palette) {
    post([this, palette] {
        if (device_) device_->setPalette(palette);
    });
}

void Engine::setHours(const WorkingHours& hours) {
    post([this, hours] { hours_ = hours; });
}

void Engine::setLocked(bool locked) {
    post([this, locked] { locked_ = locked; });
}

void Engine::lightOffNow() {
    runAndWait([this] {
        asleep_ = true;
        switchOff();
    });
}

void Engine::didWake() {
    post([this] {
        asleep_ = false;
        if (device_) device_->invalidate();
    });
}

void Engine::timeMoved() {
    // Under the lock, so that the worker is either waiting or yet to read the clock.
    { const std::lock_guard lock(mutex_); }
    wake_.notify_all();
}

void Engine::finish() {
    runAndWait([this] {
        switchOff();
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    });
}

void Engine::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
        } else if (ticking_ && timing_.clock() >= nextTick_) {
            lock.unlock();
            step();
            lock.lock();
            // A slow tick (a light that does not answer) is not made up for: the next one
            // comes when the worker is free, then the half-second rhythm resumes.
            nextTick_ = std::max(nextTick_ + timing_.tick, timing_.clock());
        } else if (ticking_) {
            wake_.wait_for(lock, std::chrono::duration<double>(nextTick_ - timing_.clock()));
        } else {
            wake_.wait(lock);
        }
    }
}

void Engine::step() {
    const LightState polled = source_->poll();
    if (polled != state_) {
        log_("light state: " + std::string(rawValue(polled)));
        state_ = polled;
    }

    const double now = timing_.clock();
    if (manual_ && manual_->second && timing_.wallClock() >= *manual_->second) {
        log_("status set by hand ended: " + std::string(rawValue(manual_->first)));
        manual_.reset();
    }
    // A status set by hand stands for the presence state, but someone walking up should know
    // that you are talking: a call still shows. Outside the working hours the light shows what
    // the person chose for them (dark unless chosen), or their status set by hand if they asked.
    const bool outside = !hours_.within(timing_.localTime());
    LightState presence = manual_ && state_ != LightState::inCall ? manual_->first : state_;
    if (outside) presence = manual_ && hours_.manualOutside ? manual_->first : hours_.outside;
    if (locked_) presence = LightState::off;  // nobody at the desk
    while (!testQueue_.empty() && now >= testQueue_.front().second) testQueue_.pop_front();
    const bool testing = !testQueue_.empty();
    const LightState onDisplay = testing ? testQueue_.front().first : presence;

    Snapshot snapshot;
    snapshot.state = state_;
    if (manual_) snapshot.manual = manual_->first;
    snapshot.manualChanges = manualChanges_;
    snapshot.outsideHours = outside;
    snapshot.logsReadable = source_->logsReadable();
    if (device_) {
        const bool dark = asleep_ || (paused_ && !testing);
        device_->show(dark ? LightState::off : onDisplay);
        device_->update();
        snapshot.lightConnected = device_->isConnected();
        snapshot.firmware = device_->firmwareVersion();
        snapshot.otherLights = device_->otherLights();
        snapshot.blockedLights = device_->blockedLights();
        snapshot.lightProblem = device_->problem();
    }
    onUpdate_(snapshot);
}

}  // namespace tally
