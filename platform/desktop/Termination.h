#pragma once

#include <functional>
#include <memory>

#include <QObject>

namespace tally::platform {

// The signals that ask the process to end (SIGTERM at logout and shutdown, SIGINT from Ctrl+C,
// SIGHUP when its terminal goes) are caught from the moment this is called, first thing in
// main, even if they were blocked when the process started; one that arrives before
// watchTermination() waits for it. A closed standard output no longer kills the process:
// writes to it just fail.
void catchTerminationSignals();

// Calls `terminate` with what ended Tally ("signal SIGTERM", "Ctrl+C", "the Windows session
// ends") on the main thread, from its event loop, so that these take the same path as
// quitting. Lasts as long as the returned object.
std::unique_ptr<QObject> watchTermination(std::function<void(const char* how)> terminate);

}  // namespace tally::platform
