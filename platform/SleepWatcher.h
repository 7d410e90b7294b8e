#pragma once

#include <functional>
#include <memory>

#include <QObject>

#include "LogCallback.h"

namespace tally::platform {

// Tells the application before the machine sleeps and after it wakes, on the main thread.
// `willSleep` must finish what has to happen before sleep (the light off) before it returns.
// The watching lasts as long as the returned object.
std::unique_ptr<QObject> watchSleep(std::function<void()> willSleep, std::function<void()> didWake,
                                    LogCallback log);

}  // namespace tally::platform
