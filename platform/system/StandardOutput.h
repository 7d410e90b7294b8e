#pragma once

#include <string_view>

namespace tally::platform {

// Writes all the bytes to standard output, below any buffering of the C library, so that a
// writer waiting on a reader holds no lock that the process's exit needs. Waits while the
// reader is slow; fails silently when nobody reads any more.
void writeStandardOutput(std::string_view bytes);

}  // namespace tally::platform
