#include "HidClaim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tally::platform {

// Linux' hidraw nodes are files: an advisory lock on the node is seen by every Tally. Where the
// path is no file (macOS names registry entries, and opens HID devices exclusively itself), or
// the node cannot be opened a second time, there is nothing to hold and nothing is refused.
std::shared_ptr<void> claimHidDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::make_shared<int>(-1);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::shared_ptr<void>(new int(fd), [](void* held) {
        auto* descriptor = static_cast<int*>(held);
        ::close(*descriptor);  // and with it the lock
        delete descriptor;
    });
}

}  // namespace tally::platform
