#include "SleepWatcher.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QWindow>

#include <windows.h>

namespace tally::platform {

namespace {

// Windows tells every top-level window before it suspends (PBT_APMSUSPEND, with about two
// seconds to act) and after it resumes (PBT_APMRESUMEAUTOMATIC). Tally has no window of its
// own, so it keeps a hidden one to be told, and watches the messages as they pass.
class PowerWatcher : public QObject, public QAbstractNativeEventFilter {
public:
    PowerWatcher(std::function<void()> willSleep, std::function<void()> didWake)
        : willSleep_(std::move(willSleep)), didWake_(std::move(didWake)) {
        window_.create();  // a native top-level window, never shown
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~PowerWatcher() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "windows_generic_MSG") return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_POWERBROADCAST) return false;
        if (msg->wParam == PBT_APMSUSPEND) willSleep_();  // the light off before this returns
        else if (msg->wParam == PBT_APMRESUMEAUTOMATIC) didWake_();
        return false;
    }

private:
    std::function<void()> willSleep_;
    std::function<void()> didWake_;
    QWindow window_;
};

}  // namespace

std::unique_ptr<QObject> watchSleep(std::function<void()> willSleep, std::function<void()> didWake, SleepLog) {
    return std::make_unique<PowerWatcher>(std::move(willSleep), std::move(didWake));
}

}  // namespace tally::platform
