#include "StandardOutput.h"

#include <cerrno>

#include <unistd.h>

namespace tally::platform {

void writeStandardOutput(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // closed, or not writable: the line is lost
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace tally::platform
