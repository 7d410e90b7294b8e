#include "Termination.h"

#include <atomic>

#include <QGuiApplication>
#include <QMetaObject>

#include <windows.h>

namespace tally::platform {

namespace {

// What ended us before the main loop could be told: handled once it is watched.
std::atomic<const char*> pending{nullptr};
class EndingWatcher;
std::atomic<EndingWatcher*> watcher{nullptr};
void deliverTo(EndingWatcher* target);

const char* nameOf(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT: return "Ctrl+C";
        case CTRL_BREAK_EVENT: return "Ctrl+Break";
        default: return "its console closing";
    }
}

// Runs on a thread of the system's: the ending is handed to the main loop.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    pending = nameOf(event);
    deliverTo(watcher.load());
    // Windows ends the process as soon as this returns from a closing console (or after five
    // seconds): wait here, a little less than that, for the quit to switch the light off and
    // end the process, which ends this thread too.
    if (event == CTRL_CLOSE_EVENT) ::Sleep(4500);
    return TRUE;
}

class EndingWatcher : public QObject {
public:
    explicit EndingWatcher(std::function<void(const char*)> terminate) : terminate_(std::move(terminate)) {
        // Logging off and shutting down: Windows asks the application to save its work first
        // (WM_QUERYENDSESSION), which Qt passes on as commitDataRequest; that is the moment to
        // switch the light off, as the process may not live much longer.
        connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
                [this] { terminate_("the Windows session ends"); });
        watcher = this;
        if (pending) deliverTo(this);
    }
    ~EndingWatcher() override { watcher = nullptr; }

    void deliver() {
        if (const char* ending = pending.exchange(nullptr)) terminate_(ending);
    }

private:
    std::function<void(const char*)> terminate_;
};

// From any thread: the main loop hears of it.
void deliverTo(EndingWatcher* target) {
    if (target) QMetaObject::invokeMethod(target, [target] { target->deliver(); }, Qt::QueuedConnection);
}

}  // namespace

void catchTerminationSignals() { ::SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

std::unique_ptr<QObject> watchTermination(std::function<void(const char*)> terminate) {
    return std::make_unique<EndingWatcher>(std::move(terminate));
}

}  // namespace tally::platform
