#include "PresenceSource.h"

#include <algorithm>

#include "TeamsProcess.h"

namespace tally {

SimulatedSource::SimulatedSource(double secondsEach, UptimeClock clock)
    : each_(secondsEach), clock_(std::move(clock)) {}

LightState SimulatedSource::poll() {
    const double now = clock_();
    if (now >= until_) {
        index_ = (index_ + 1) % static_cast<std::int64_t>(allLightStates.size());
        until_ = now + each_;  // counted from this poll: no catching up after a gap
    }
    return allLightStates[static_cast<std::size_t>(index_)];
}

bool LogPresenceSource::teamsIsRunning() { return platform::isTeamsRunning(); }

LogPresenceSource::LogPresenceSource(LogTailer tailer, std::function<bool()> isTeamsRunning,
                                     LogCallback log, UptimeClock clock)
    : tailer_(std::move(tailer)),
      isTeamsRunning_(std::move(isTeamsRunning)),
      log_(std::move(log)),
      clock_(std::move(clock)) {
    loadHistory();
    tailer_.seekToEnd();
}

void LogPresenceSource::loadHistory() {
    const std::vector<std::string> files = tailer_.files();
    std::uint64_t budget = startupScanBytes;
    for (auto file = files.rbegin(); file != files.rend() && budget > 0; ++file) {
        const auto info = LogTailer::fileInfo(*file);
        const std::uint64_t size = info ? info->size : 0;
        if (file == files.rbegin()) {
            // The newest file: every event in order, calls included.
            LogTailer::tail(*file, budget, [&](std::string_view line) {
                if (auto event = Parser::parse(line)) tracker_.apply(*event);
            }, LineFilter::marked);
        } else {
            // An older file only lends its latest availability.
            std::optional<Availability> latest;
            LogTailer::tail(*file, budget, [&](std::string_view line) {
                const auto event = Parser::parse(line);
                if (const auto* presence = event ? std::get_if<PresenceEvent>(&*event) : nullptr)
                    latest = presence->availability;
            }, LineFilter::marked);
            if (latest) tracker_.availability = latest;
        }
        budget -= std::min(budget, size);
        if (tracker_.availability) break;
    }
    log_("startup status from log history: " +
         (tracker_.availability ? std::string(rawValue(*tracker_.availability))
                                : std::string("none found")));
}

void LogPresenceSource::apply(const LogEvent& event) {
    const auto availabilityBefore = tracker_.availability;
    const bool inCallBefore = tracker_.inCall();
    tracker_.apply(event);
    if (tracker_.availability == availabilityBefore && tracker_.inCall() == inCallBefore) return;
    if (const auto* presence = std::get_if<PresenceEvent>(&event))
        log_("presence: " + presence->rawWord);
    else
        log_(std::get<CallEvent>(event).started ? "call started" : "call ended");
}

LightState LogPresenceSource::poll() {
    tailer_.poll([this](std::string_view line) {
        if (auto event = Parser::parse(line)) apply(*event);
    }, LineFilter::marked);

    const double now = clock_();
    if (now >= nextProcessCheck_) {
        const bool running = isTeamsRunning_();
        if (running != running_) log_(running ? "Teams is running" : "Teams is not running");
        if (!running) tracker_.callWindows.clear();
        running_ = running;
        nextProcessCheck_ = now + processCheckInterval;
    }

    const bool stale = tailer_.secondsSinceActivity() > staleAfter;
    return combine(tracker_.availability, tracker_.inCall(), running_, stale);
}

}  // namespace tally
