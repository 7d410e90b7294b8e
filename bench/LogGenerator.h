#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tally::bench {

// A deterministic log in the shape of a real Teams log: mostly noise lines from about 50 bytes
// to 20 KiB (some with long JSON payloads), about one line in 500 a presence line and one in
// 1000 a meeting-window line. The same seed and size give the same bytes on every machine.
std::string generateLog(std::size_t bytes, std::uint64_t seed = 1);

}  // namespace tally::bench
