#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "LightState.h"
#include "LogCallback.h"
#include "LogTailer.h"
#include "Uptime.h"

namespace tally {

// Anything the engine can poll for what the light should show.
class PresenceSource {
public:
    virtual ~PresenceSource() = default;
    // The state now; may advance the source's own state.
    virtual LightState poll() = 0;
    // Whether the source can read what it follows; only the log source can fail at that.
    virtual bool logsReadable() { return true; }
};

// Another source's state, but a call while `inCall` says one is on, whatever that source says: a
// call that the Teams logs know nothing of (a microphone or camera in use, in any program).
class SourceWithCalls final : public PresenceSource {
public:
    SourceWithCalls(std::unique_ptr<PresenceSource> source, std::function<bool()> inCall)
        : source_(std::move(source)), inCall_(std::move(inCall)) {}
    LightState poll() override {
        const LightState own = source_->poll();  // polled every time: it follows its logs
        return inCall_() ? LightState::inCall : own;
    }
    bool logsReadable() override { return source_->logsReadable(); }

private:
    std::unique_ptr<PresenceSource> source_;
    std::function<bool()> inCall_;
};

// Steps through every light state in turn, for trying Tally without Teams.
class SimulatedSource final : public PresenceSource {
public:
    explicit SimulatedSource(double secondsEach, UptimeClock clock = uptimeNow);
    LightState poll() override;

private:
    std::int64_t index_ = -1;
    double until_ = 0;
    double each_;
    UptimeClock clock_;
};

// Turns the Teams logs into a light state: the start-up history, then new lines every tick,
// whether Teams runs (checked every 5 seconds), and whether the logs have gone stale.
class LogPresenceSource final : public PresenceSource {
public:
    static constexpr double staleAfter = 720;
    static constexpr std::uint64_t startupScanBytes = LogTailer::maxPollBytes;
    static constexpr double processCheckInterval = 5;

    static bool teamsIsRunning();

    // Reads the start-up history before it returns.
    LogPresenceSource(LogTailer tailer, std::function<bool()> isTeamsRunning, LogCallback log,
                      UptimeClock clock = uptimeNow);

    LightState poll() override;
    bool logsReadable() override { return folderReadable(); }
    bool folderReadable() const { return tailer_.folderReadable(); }
    const Tracker& tracker() const { return tracker_; }

private:
    void loadHistory();
    void apply(const LogEvent& event);

    LogTailer tailer_;
    Tracker tracker_;
    std::function<bool()> isTeamsRunning_;
    bool running_ = false;
    double nextProcessCheck_ = 0;
    LogCallback log_;
    UptimeClock clock_;
};

}  // namespace tally
