#include "SleepWatcher.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QWindow>

#include <cstddef>

#include <windows.h>

#include <powrprof.h>
#include <wtsapi32.h>

namespace tally::platform {

namespace {

// Whether the machine sleeps the Modern Standby way (S0 low-power idle). Microsoft's header
// calls the flag AoAc, at byte 0x14 of the capabilities; mingw-w64's still calls that byte
// spare2[2].
bool modernStandby() {
    SYSTEM_POWER_CAPABILITIES power{};
    static_assert(offsetof(SYSTEM_POWER_CAPABILITIES, spare2) + 2 == 0x14);
    return ::GetPwrCapabilities(&power) && power.spare2[2] != 0;
}

// Windows tells top-level windows before it suspends (PBT_APMSUSPEND, with about two seconds
// to act) and after it resumes (PBT_APMRESUMEAUTOMATIC). Tally has no window of its own, so it
// keeps a hidden one to be told, and watches the messages as they pass. The window registers
// for suspend and resume explicitly too, as Windows 8 and later ask, and on a Modern Standby
// laptop (which may never suspend in the old sense: it stays in S0 with the screen off) for the
// console display's state: there the display going off is the machine going to sleep.
class PowerWatcher : public QObject, public QAbstractNativeEventFilter {
public:
    PowerWatcher(std::function<void()> willSleep, std::function<void()> didWake, SleepLog log,
                 std::function<void(bool)> lockChanged)
        : willSleep_(std::move(willSleep)), didWake_(std::move(didWake)), lockChanged_(std::move(lockChanged)) {
        window_.create();  // a native top-level window, never shown
        if (!window_.handle()) {  // the system would not make one (winId() would crash)
            if (log) log("cannot make a window to hear of sleep: the light stays on while the computer sleeps");
            return;
        }
        const auto handle = reinterpret_cast<HWND>(window_.winId());
        suspendResume_ = ::RegisterSuspendResumeNotification(handle, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (modernStandby()) {
            display_ = ::RegisterPowerSettingNotification(handle, &GUID_CONSOLE_DISPLAY_STATE,
                                                          DEVICE_NOTIFY_WINDOW_HANDLE);
            if (log) log("Modern Standby: the display going off counts as sleep");
        }
        // The session's lock and unlock come as WM_WTSSESSION_CHANGE to a registered window.
        if (lockChanged_) sessionNotified_ = ::WTSRegisterSessionNotification(handle, NOTIFY_FOR_THIS_SESSION);
        QCoreApplication::instance()->installNativeEventFilter(this);
        filtering_ = true;
    }
    ~PowerWatcher() override {
        if (filtering_) QCoreApplication::instance()->removeNativeEventFilter(this);
        if (suspendResume_) ::UnregisterSuspendResumeNotification(suspendResume_);
        if (display_) ::UnregisterPowerSettingNotification(display_);
        if (sessionNotified_) ::WTSUnRegisterSessionNotification(reinterpret_cast<HWND>(window_.winId()));
    }
    PowerWatcher(const PowerWatcher&) = delete;
    PowerWatcher& operator=(const PowerWatcher&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "windows_generic_MSG") return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_WTSSESSION_CHANGE && lockChanged_) {
            if (msg->wParam == WTS_SESSION_LOCK) lockChanged_(true);
            else if (msg->wParam == WTS_SESSION_UNLOCK) lockChanged_(false);
            return false;
        }
        if (msg->message != WM_POWERBROADCAST) return false;
        if (msg->wParam == PBT_APMSUSPEND) sleep();  // the light off before this returns
        else if (msg->wParam == PBT_APMRESUMEAUTOMATIC) wake();
        else if (msg->wParam == PBT_POWERSETTINGCHANGE) {
            const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(msg->lParam);
            if (setting && setting->PowerSetting == GUID_CONSOLE_DISPLAY_STATE && setting->DataLength >= 1) {
                if (setting->Data[0] == 0) sleep();       // off
                else if (setting->Data[0] == 1 && asleep_) wake();  // on (2 is dimmed: no change)
            }
        }
        return false;
    }

private:
    // The display goes off before a suspend, and both may be told: the light is switched off once.
    void sleep() {
        if (asleep_) return;
        asleep_ = true;
        willSleep_();
    }
    // A resume is passed on even when its suspend went unseen; the display coming on only after
    // Tally slept for it (Windows also reports the display's state when it is registered for).
    void wake() {
        asleep_ = false;
        didWake_();
    }

    std::function<void()> willSleep_;
    std::function<void()> didWake_;
    QWindow window_;
    HPOWERNOTIFY suspendResume_ = nullptr;
    HPOWERNOTIFY display_ = nullptr;
    bool asleep_ = false;
    bool filtering_ = false;
    std::function<void(bool)> lockChanged_;
    bool sessionNotified_ = false;
};

}  // namespace

std::unique_ptr<QObject> watchSleep(std::function<void()> willSleep, std::function<void()> didWake, SleepLog log,
                                    std::function<void(bool)> lockChanged) {
    return std::make_unique<PowerWatcher>(std::move(willSleep), std::move(didWake), std::move(log),
                                          std::move(lockChanged));
}

}  // namespace tally::platform
