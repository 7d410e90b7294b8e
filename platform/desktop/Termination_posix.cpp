#include "Termination.h"

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace tally::platform {

namespace {

constexpr std::array endingSignals{SIGTERM, SIGINT, SIGHUP};

// The pipe between the handler and the main loop. Made once and never closed: a signal may
// come at any moment, so the handler must always find it.
int fds[2] = {-1, -1};

extern "C" void onSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto ignored = ::write(fds[1], &byte, 1);  // full pipe: already woken
    errno = saved;
}

// A signal handler may do almost nothing; it writes a byte into the pipe, and the main loop's
// notifier on the other end does the rest.
class SignalWatcher : public QObject {
public:
    explicit SignalWatcher(std::function<void(const char*)> terminate) : terminate_(std::move(terminate)) {
        catchTerminationSignals();
        if (fds[0] < 0) return;
        auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char first = 0, drained[64];  // the first signal names the ending; the rest add nothing
            for (ssize_t n; (n = ::read(fds[0], drained, sizeof drained)) > 0;)
                if (!first) first = drained[0];
            if (first) terminate_(nameOf(first));
        });
    }

private:
    static const char* nameOf(int signal) {
        switch (signal) {
            case SIGTERM: return "signal SIGTERM";
            case SIGINT: return "signal SIGINT";
            case SIGHUP: return "signal SIGHUP";
            default: return "a signal";
        }
    }

    std::function<void(const char*)> terminate_;
};

}  // namespace

void catchTerminationSignals() {
    if (fds[0] >= 0) return;
    std::signal(SIGPIPE, SIG_IGN);
    if (::pipe(fds) != 0) return;
    for (const int fd : fds) {
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : endingSignals) {
        ::sigaction(signal, &action, nullptr);
        sigaddset(&ending, signal);
    }
    // A launcher may start us with these blocked; they must reach us all the same.
    ::pthread_sigmask(SIG_UNBLOCK, &ending, nullptr);
}

std::unique_ptr<QObject> watchTermination(std::function<void(const char*)> terminate) {
    return std::make_unique<SignalWatcher>(std::move(terminate));
}

}  // namespace tally::platform
