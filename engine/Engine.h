#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Light.h"
#include "LightState.h"
#include "LogCallback.h"
#include "PresenceSource.h"
#include "Uptime.h"
#include "WorkingHours.h"

namespace tally {

// The heartbeat: one worker thread runs a serial queue of tasks and, once started, a tick every
// half second that polls the presence source, drives the light and reports a snapshot. Public
// operations may be called from any thread but the worker's; they run in the order posted,
// between ticks. The source and the device are touched only on the worker.
class Engine {
public:
    struct Snapshot {
        LightState state = LightState::unknown;  // the presence state, never a test colour
        bool lightConnected = false;
        std::optional<std::string> firmware;
        bool logsReadable = true;
        std::vector<std::string> otherLights;    // every other maker's light driven, by name
        std::vector<std::string> blockedLights;  // lights found but not to be opened, and why
        std::optional<std::string> lightProblem;  // why Tally's own light is not connected
        std::optional<LightState> manual;        // the status set by hand, while it lasts
        int manualChanges = 0;                   // setManual() calls carried out before this
        bool outsideHours = false;               // outside the working hours: the light shows their choice
        bool operator==(const Snapshot&) const = default;
    };

    using SourceFactory = std::function<std::unique_ptr<PresenceSource>()>;
    // Called on the worker thread after every tick, in tick order; the application turns it
    // into a call on its main thread.
    using UpdateCallback = std::function<void(const Snapshot&)>;

    // A status the person set by hand, shown instead of the presence state (a call still wins),
    // for `seconds` on the wall clock or, without them, until changed.
    struct ManualStatus {
        LightState state = LightState::available;
        std::optional<double> seconds;
    };

    static constexpr double tickSeconds = 0.5;
    static constexpr double testColourSeconds = 1.5;

    struct Timing {
        UptimeClock clock = uptimeNow;  // paces the ticks and the colour test
        double tick = tickSeconds;      // seconds on that clock between ticks
        std::function<LocalTime()> localTime = localTimeNow;  // the working hours' clock
        // A timed status's clock: the wall's, which goes on while the machine sleeps, so that a
        // status "until 14:30" ends at 14:30 however long the machine slept in between.
        UptimeClock wallClock = wallClockNow;
    };

    // `device` is absent in a dry run.
    Engine(SourceFactory makeSource, std::unique_ptr<Light> device, UpdateCallback onUpdate,
           LogCallback log, Timing timing);
    Engine(SourceFactory makeSource, std::unique_ptr<Light> device, UpdateCallback onUpdate,
           LogCallback log)
        : Engine(std::move(makeSource), std::move(device), std::move(onUpdate), std::move(log),
                 Timing{}) {}
    // Stops the worker (after a tick in progress) and sends nothing to the light.
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Builds the source on the worker, then ticks at once and every half second. Call once.
    void start();
    void setPaused(bool paused);
    void setBrightness(int value);
    // Shows every light state for 1.5 seconds each, starting over if a test is running.
    void startTest();
    // A status set by hand, or none (automatic again).
    void setManual(std::optional<ManualStatus> status);
    // How each state looks on the light from now on.
    void setPalette(const Palette& palette);
    // The working hours from now on.
    void setHours(const WorkingHours& hours);
    // Whether the light is dark because the screen is locked (and the person wants that).
    void setLocked(bool locked);
    // Before sleep: sends "OFF" to a connected light and returns once that is done. The light
    // stays off until didWake(), whatever the ticks in between would show.
    void lightOffNow();
    // The light may have been reset while the machine slept: send the current command again.
    void didWake();
    // The clock jumped (a test's clock): look at it again now rather than at the next tick
    // the old reading promised.
    void timeMoved();
    // At quit: sends "OFF" to a connected light and stops, in one task, so that "OFF" is the
    // last line the light receives. Returns once that is done; the engine does nothing after.
    void finish();

private:
    void post(std::function<void()> task);
    // Runs `task` on the worker and waits for it (at once when called on the worker).
    void runAndWait(std::function<void()> task);
    void switchOff();
    void run();
    void step();

    // Confined to the worker thread.
    SourceFactory makeSource_;
    std::unique_ptr<PresenceSource> source_;
    std::unique_ptr<Light> device_;
    UpdateCallback onUpdate_;
    LogCallback log_;
    Timing timing_;
    LightState state_ = LightState::unknown;
    std::deque<std::pair<LightState, double>> testQueue_;
    bool paused_ = false;
    std::optional<std::pair<LightState, std::optional<double>>> manual_;  // the state, and until when (wall clock)
    int manualChanges_ = 0;
    WorkingHours hours_;
    bool locked_ = false;
    bool asleep_ = false;  // from lightOffNow() to didWake(): the light stays off

    // Shared with the callers, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool ticking_ = false;
    bool stopping_ = false;  // destroyed or finished: no task or tick runs any more
    double nextTick_ = 0;  // on timing_.clock

    std::thread worker_;  // last: starts once everything above exists
};

}  // namespace tally
