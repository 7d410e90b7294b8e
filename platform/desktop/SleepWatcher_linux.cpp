#include "SleepWatcher.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

namespace tally::platform {

namespace {

constexpr auto service = "org.freedesktop.login1";
constexpr auto path = "/org/freedesktop/login1";
constexpr auto manager = "org.freedesktop.login1.Manager";

// How long the system bus may take to answer its first word. Qt's own connection waits
// without bound inside a lock that every other D-Bus user (the tray, on some desktops) needs,
// so Tally hands the bus to Qt only once it has answered.
constexpr auto busAnswerTimeout = std::chrono::seconds(5);

// The system bus's socket, from DBUS_SYSTEM_BUS_ADDRESS ("unix:path=…" or "unix:abstract=…",
// percent-escaped, the first usable of several) or the well-known place.
std::optional<sockaddr_un> systemBusSocket() {
    const char* set = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    std::string addresses = set && *set ? set : "unix:path=/var/run/dbus/system_bus_socket";
    std::size_t start = 0;
    while (start <= addresses.size()) {
        const std::size_t end = std::min(addresses.find(';', start), addresses.size());
        const std::string address = addresses.substr(start, end - start);
        start = end + 1;
        if (!address.starts_with("unix:")) continue;
        for (const std::string key : {"path=", "abstract="}) {
            std::size_t at = address.find(key, 5);
            if (at == std::string::npos || (address[at - 1] != ':' && address[at - 1] != ',')) continue;
            std::string value;
            for (at += key.size(); at < address.size() && address[at] != ','; ++at) {
                if (address[at] == '%' && at + 2 < address.size()) {
                    value += static_cast<char>(std::strtol(address.substr(at + 1, 2).c_str(), nullptr, 16));
                    at += 2;
                } else {
                    value += address[at];
                }
            }
            sockaddr_un socket{};
            socket.sun_family = AF_UNIX;
            const bool abstract = key == "abstract=";
            if (value.empty() || value.size() + (abstract ? 1 : 0) >= sizeof socket.sun_path) continue;
            value.copy(socket.sun_path + (abstract ? 1 : 0), value.size());
            return socket;
        }
    }
    return std::nullopt;
}

enum class Bus { answers, absent, silent };

// Whether the bus says anything to the first line of its handshake within the time-out;
// silent at once if `cancel` becomes readable.
Bus tryBus(int cancel) {
    const auto address = systemBusSocket();
    if (!address) return Bus::answers;  // a bus Tally cannot check: leave it to Qt
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Bus::absent;
    const auto length = static_cast<socklen_t>(
        address->sun_path[0] ? sizeof *address
                             : offsetof(sockaddr_un, sun_path) + 1 + std::strlen(address->sun_path + 1));
    Bus result = Bus::absent;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), length) == 0 || errno == EAGAIN ||
        errno == EINPROGRESS) {
        result = Bus::silent;
        // The first words of every D-Bus client: a NUL byte, then the authentication.
        std::string hello(1, '\0');
        hello += "AUTH EXTERNAL ";
        for (const char digit : std::to_string(::getuid())) {
            static constexpr char hex[] = "0123456789abcdef";
            hello += hex[static_cast<unsigned char>(digit) >> 4];
            hello += hex[static_cast<unsigned char>(digit) & 0xF];
        }
        hello += "\r\n";
        std::size_t sent = 0;
        const auto deadline = std::chrono::steady_clock::now() + busAnswerTimeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd watched[2] = {{fd, static_cast<short>(sent < hello.size() ? POLLOUT : POLLIN), 0},
                                 {cancel, POLLIN, 0}};
            if (::poll(watched, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
            if (watched[1].revents) break;
            if (watched[0].revents & (POLLERR | POLLNVAL)) break;
            if (sent < hello.size()) {
                if (!(watched[0].revents & POLLOUT)) continue;
                const ssize_t n = ::send(fd, hello.data() + sent, hello.size() - sent, MSG_NOSIGNAL);
                if (n < 0 && errno != EAGAIN) break;
                if (n > 0) sent += static_cast<std::size_t>(n);
            } else if (watched[0].revents & (POLLIN | POLLHUP)) {
                char reply[64];
                if (::recv(fd, reply, sizeof reply, 0) > 0) result = Bus::answers;  // OK or REJECTED
                break;
            }
        }
    }
    ::close(fd);
    return result;
}

// logind announces PrepareForSleep(true) before sleeping and PrepareForSleep(false) after
// waking. It waits for the holders of a "delay" inhibitor (a few seconds at most), so Tally
// holds one while awake and lets go once the light is off. Nothing here waits on the main
// thread: the bus is tried on a thread of its own, and the inhibitor is asked for without
// waiting for the answer.
class LogindSleepWatcher : public QObject {
    Q_OBJECT
public:
    LogindSleepWatcher(std::function<void()> willSleep, std::function<void()> didWake,
                       SleepLog log, std::function<void(bool)> lockChanged)
        : willSleep_(std::move(willSleep)), didWake_(std::move(didWake)), log_(std::move(log)),
          lockChanged_(std::move(lockChanged)) {
        if (::pipe2(cancel_, O_CLOEXEC) != 0) {
            log_("no system bus: the light is not switched off before sleep");
            return;
        }
        probe_ = std::thread([this] {
            const Bus bus = tryBus(cancel_[0]);
            QMetaObject::invokeMethod(this, [this, bus] { busTried(bus); }, Qt::QueuedConnection);
        });
    }
    ~LogindSleepWatcher() override {
        if (probe_.joinable()) {
            [[maybe_unused]] const auto ignored = ::write(cancel_[1], "x", 1);
            probe_.join();
        }
        for (const int fd : cancel_)
            if (fd >= 0) ::close(fd);
    }

private slots:
    void locked() { lockChanged_(true); }
    void unlocked() { lockChanged_(false); }
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
    void busTried(Bus tried) {
        if (tried == Bus::silent) {
            log_("the system bus does not answer: the light is not switched off before sleep");
            return;
        }
        if (tried == Bus::absent) {
            log_("no system bus: the light is not switched off before sleep");
            return;
        }
        QDBusConnection bus = QDBusConnection::systemBus();
        // No service name: naming one would make Qt ask the bus for its owner and wait.
        if (!bus.isConnected() ||
            !bus.connect(QString(), path, manager, "PrepareForSleep", this, SLOT(prepareForSleep(bool)))) {
            log_("no system bus: the light is not switched off before sleep");
            return;
        }
        takeInhibitor();
        if (lockChanged_) watchLock();
    }

    // logind tells a session to lock and unlock with the Lock and Unlock signals on the
    // session's own object, found from the session's id (XDG_SESSION_ID, or "auto": the caller's).
    void watchLock() {
        const char* id = std::getenv("XDG_SESSION_ID");
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, manager, "GetSession");
        call << QString::fromLocal8Bit(id && *id ? id : "auto");
        auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
            const QDBusPendingReply<QDBusObjectPath> reply = *done;
            done->deleteLater();
            QDBusConnection bus = QDBusConnection::systemBus();
            constexpr auto session = "org.freedesktop.login1.Session";
            if (!reply.isValid() ||
                !bus.connect(QString(), reply.value().path(), session, "Lock", this, SLOT(locked())) ||
                !bus.connect(QString(), reply.value().path(), session, "Unlock", this, SLOT(unlocked())))
                log_("no login session: the screen's lock is not watched");
        });
    }

    void takeInhibitor() {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, manager, "Inhibit");
        call << QString("sleep") << QString("Tally") << QString("Switch the desk light off")
             << QString("delay");
        auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
            const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *done;
            if (reply.isValid()) inhibitor_ = reply.value();
            done->deleteLater();
        });
    }

    std::function<void()> willSleep_;
    std::function<void()> didWake_;
    SleepLog log_;
    std::function<void(bool)> lockChanged_;
    QDBusUnixFileDescriptor inhibitor_;
    int cancel_[2] = {-1, -1};
    std::thread probe_;
};

}  // namespace

std::unique_ptr<QObject> watchSleep(std::function<void()> willSleep, std::function<void()> didWake,
                                    SleepLog log, std::function<void(bool)> lockChanged) {
    return std::make_unique<LogindSleepWatcher>(std::move(willSleep), std::move(didWake),
                                                std::move(log), std::move(lockChanged));
}

}  // namespace tally::platform

#include "SleepWatcher_linux.moc"
