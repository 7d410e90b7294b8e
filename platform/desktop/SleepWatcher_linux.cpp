#include "SleepWatcher.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

namespace tally::platform {

namespace {

constexpr auto service = "org.freedesktop.login1";
constexpr auto path = "/org/freedesktop/login1";
constexpr auto manager = "org.freedesktop.login1.Manager";

// logind announces PrepareForSleep(true) before sleeping and PrepareForSleep(false) after
// waking. It waits for the holders of a "delay" inhibitor (a few seconds at most), so Tally
// holds one while awake and lets go once the light is off.
class LogindSleepWatcher : public QObject {
    Q_OBJECT
public:
    LogindSleepWatcher(std::function<void()> willSleep, std::function<void()> didWake,
                       SleepLog log)
        : willSleep_(std::move(willSleep)), didWake_(std::move(didWake)), log_(std::move(log)) {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected() ||
            !bus.connect(service, path, manager, "PrepareForSleep", this,
                         SLOT(prepareForSleep(bool)))) {
            log_("no system bus: the light is not switched off before sleep");
            return;
        }
        takeInhibitor();
    }

private slots:
    void prepareForSleep(bool sleeping) {
        if (sleeping) {
            willSleep_();
            inhibitor_ = QDBusUnixFileDescriptor();  // closing it lets the machine sleep
        } else {
            takeInhibitor();
            didWake_();
        }
    }

private:
    void takeInhibitor() {
        QDBusInterface logind(service, path, manager, QDBusConnection::systemBus());
        const QDBusReply<QDBusUnixFileDescriptor> reply =
            logind.call("Inhibit", "sleep", "Tally", "Switch the desk light off", "delay");
        if (reply.isValid()) inhibitor_ = reply.value();
    }

    std::function<void()> willSleep_;
    std::function<void()> didWake_;
    SleepLog log_;
    QDBusUnixFileDescriptor inhibitor_;
};

}  // namespace

std::unique_ptr<QObject> watchSleep(std::function<void()> willSleep, std::function<void()> didWake,
                                    SleepLog log) {
    return std::make_unique<LogindSleepWatcher>(std::move(willSleep), std::move(didWake),
                                                std::move(log));
}

}  // namespace tally::platform

#include "SleepWatcher_linux.moc"
