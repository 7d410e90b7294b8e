#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QObject>

namespace tally::platform {

// Tells the application before the machine sleeps and after it wakes, on the main thread.
// `willSleep` must finish what has to happen before sleep (the light off) before it returns.
// `lockChanged`, when given, hears when this session's screen is locked (true) and unlocked
// (false), from the system's own signal. The watching lasts as long as the returned object.
using SleepLog = std::function<void(const std::string&)>;
std::unique_ptr<QObject> watchSleep(std::function<void()> willSleep, std::function<void()> didWake,
                                    SleepLog log, std::function<void(bool locked)> lockChanged = {});

}  // namespace tally::platform
