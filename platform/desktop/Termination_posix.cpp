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

int wakeFd = -1;  // the write end of the pipe; all a signal handler may touch

extern "C" void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(wakeFd, &byte, 1);  // full pipe: already woken
    errno = saved;
}

// A signal handler may do almost nothing; it writes a byte into a pipe, and the main loop's
// notifier on the other end does the rest.
class SignalWatcher : public QObject {
public:
    explicit SignalWatcher(std::function<void()> terminate) : terminate_(std::move(terminate)) {
        std::signal(SIGPIPE, SIG_IGN);
        if (::pipe(fds_) != 0) return;
        for (const int fd : fds_) {
            ::fcntl(fd, F_SETFL, O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        wakeFd = fds_[1];
        notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            char drained[64];
            while (::read(fds_[0], drained, sizeof drained) > 0) {}
            terminate_();
        });
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : endingSignals) ::sigaction(signal, &action, nullptr);
    }
    ~SignalWatcher() override {
        for (const int signal : endingSignals) std::signal(signal, SIG_DFL);
        wakeFd = -1;
        if (fds_[0] >= 0) {
            ::close(fds_[0]);
            ::close(fds_[1]);
        }
    }

private:
    std::function<void()> terminate_;
    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace

std::unique_ptr<QObject> watchTermination(std::function<void()> terminate) {
    return std::make_unique<SignalWatcher>(std::move(terminate));
}

}  // namespace tally::platform
