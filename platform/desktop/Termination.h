#pragma once

#include <functional>
#include <memory>

#include <QObject>

namespace tally::platform {

// Calls `terminate` on the main thread when the process is asked to end by a signal (SIGTERM
// at logout and shutdown, SIGINT from Ctrl+C, SIGHUP when its terminal goes), so that these
// take the same path as quitting. A closed standard output no longer kills the process: writes
// to it just fail. Lasts as long as the returned object.
std::unique_ptr<QObject> watchTermination(std::function<void()> terminate);

}  // namespace tally::platform
