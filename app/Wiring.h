#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QStringList>

#include "AppModel.h"

namespace tally::Wiring {

// What the switches ask for: the light (none in a dry run, the given port or the one found),
// the presence source (the Teams logs, or the simulation) and the engine that drives them,
// every part reporting to the activity log.
AppModel::EngineFactory engineFor(const AppModel::Switches& switches);

// The model for a command line, with what it drives.
std::unique_ptr<AppModel> model(const QStringList& arguments, std::function<bool()> confirmStartAtLogin,
                                platform::LoginItem::Service loginItem = {});

// Before the machine sleeps and after it wakes, the model hears of it; for as long as the
// returned object lives.
std::unique_ptr<QObject> watchSleep(AppModel& model);

}  // namespace tally::Wiring
