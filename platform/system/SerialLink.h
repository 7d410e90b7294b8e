#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace tally::platform {

// Why a port could not be opened as a serial link.
enum class SerialOpenFailure : int { none, cannotOpen, missing, noPermission, notADevice, inUse };

// One open serial port, configured raw 8-bit at 115200 baud, local line, receiver on, both
// queues emptied. Closed when destroyed. Not thread-safe: one thread uses it.
class SerialLink {
public:
    virtual ~SerialLink() = default;
    // Writes all the bytes at once; false if that could not be done.
    virtual bool write(std::string_view bytes) = 0;
    // Waits up to `timeout` seconds for input and appends at most `max` bytes of it to `into`.
    // False on time-out, hang-up, error or end of input.
    virtual bool read(std::string& into, std::size_t max, double timeout) = 0;
};

// Opens the device at `path`, for this link alone: another program (a second Tally, a serial
// terminal) that holds the port makes it fail as in use, and while the link is open nobody
// else gets it. Only serial devices are opened: a regular file would have the protocol written
// over its first bytes, and a folder, a socket or /dev/null is no light. On failure `failure`
// says why.
std::unique_ptr<SerialLink> openSerialLink(const std::string& path, SerialOpenFailure& failure);

}  // namespace tally::platform
