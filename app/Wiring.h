#pragma once

#include <functional>
#include <memory>

#include <QObject>

#include "AppModel.h"
#include "CallWatch.h"
#include "CommandLine.h"

namespace tally::Wiring {

// What the application asks of the system, each replaceable: tests give their own, so that
// nothing depends on the machine they run on (a real Teams, the real login items, a camera
// in use).
struct Services {
    std::function<bool()> confirmStartAtLogin;  // asks "Start Tally at login?"; true for "Add"
    platform::LoginItem::Service loginItem = {};
    std::function<bool()> isTeamsRunning = &LogPresenceSource::teamsIsRunning;
    // Starts watching the microphones and cameras.
    CallWatch::Start watchCapture = [](platform::CaptureLog log) { return platform::watchCapture(std::move(log)); };
};

// What the switches ask for: the light (none in a dry run, the given port or the one found),
// the presence source (the Teams logs or the simulation, either showing a call while `inCall`
// says one is on) and the engine that drives them, every part reporting to the activity log.
AppModel::EngineFactory engineFor(const Switches& switches, const Services& services,
                                  std::function<bool()> inCall);

// The model for these switches, with what it drives, and the microphones and cameras watched
// while "Any call" is on.
std::unique_ptr<AppModel> model(const Switches& switches, Services services);

// Before the machine sleeps and after it wakes, the model hears of it; for as long as the
// returned object lives.
std::unique_ptr<QObject> watchSleep(AppModel& model);

}  // namespace tally::Wiring
