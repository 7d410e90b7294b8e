#include "SerialLink.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tally::platform {

namespace {

// Raw 8-bit at 115200 baud, local line, receiver on; both queues emptied. The handshake decides
// whether this worked, so failures here are not checked.
void configure(int fd) {
    termios attributes{};
    ::tcgetattr(fd, &attributes);
    ::cfmakeraw(&attributes);
    ::cfsetspeed(&attributes, B115200);
    attributes.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &attributes);
    ::tcflush(fd, TCIOFLUSH);
}

class PosixSerialLink final : public SerialLink {
public:
    explicit PosixSerialLink(int fd) : fd_(fd) {}
    ~PosixSerialLink() override {
        // The exclusive mark belongs to the terminal, not to this descriptor: a pseudo-terminal
        // would keep it after we close.
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);  // lets go of the lock too
    }
    PosixSerialLink(const PosixSerialLink&) = delete;
    PosixSerialLink& operator=(const PosixSerialLink&) = delete;

    bool write(std::string_view bytes) override {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // select(), not poll(): macOS's poll() does not support devices and answers POLLNVAL on
    // terminals; select() waits on them on Linux and macOS alike. A hang-up shows as readable
    // input whose read fails.
    bool read(std::string& into, std::size_t max, double timeout) override {
        if (fd_ >= FD_SETSIZE || timeout <= 0) return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd_, &readable);
        const auto micros = static_cast<long long>(timeout * 1'000'000);
        timeval wait{static_cast<time_t>(micros / 1'000'000),
                     static_cast<suseconds_t>(micros % 1'000'000)};
        if (::select(fd_ + 1, &readable, nullptr, nullptr, &wait) < 1) return false;
        char chunk[256];
        const ssize_t got = ::read(fd_, chunk, std::min(max, sizeof chunk));
        if (got <= 0) return false;
        into.append(chunk, static_cast<std::size_t>(got));
        return true;
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<SerialLink> openSerialLink(const std::string& path, SerialOpenFailure& failure) {
    // Looked at before it is opened: opening a folder or a socket fails in words that would not
    // say what is wrong, and opening a FIFO could wait for a writer.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISCHR(st.st_mode)) {
        failure = SerialOpenFailure::notADevice;
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = errno == EACCES || errno == EPERM ? SerialOpenFailure::noPermission
                  : errno == EBUSY                  ? SerialOpenFailure::inUse  // held exclusively
                  : errno == ENOENT                 ? SerialOpenFailure::missing
                                                    : SerialOpenFailure::cannotOpen;
        return nullptr;
    }
    // A device that is no terminal (/dev/null, /dev/zero) takes no line settings and is no light.
    termios attributes{};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || ::tcgetattr(fd, &attributes) != 0) {
        ::close(fd);
        failure = SerialOpenFailure::notADevice;
        return nullptr;
    }
    // Two locks, as other serial programs take them: flock() for those that look (and for root,
    // whom TIOCEXCL does not stop), TIOCEXCL for those that do not.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        failure = errno == EWOULDBLOCK ? SerialOpenFailure::inUse : SerialOpenFailure::cannotOpen;
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    configure(fd);
    failure = SerialOpenFailure::none;
    return std::make_unique<PosixSerialLink>(fd);
}

}  // namespace tally::platform
