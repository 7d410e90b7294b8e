#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tally::platform::Files {

// What tells one file from another, whatever its name: a new file under an old name (a log
// replaced, or moved aside and made anew) has another identity.
struct Identity {
    std::uint64_t volume;  // the device
    std::uint64_t index;   // the inode
    bool operator==(const Identity&) const = default;
};

struct Info {
    double mtime;        // seconds since 1970, with the nanoseconds
    std::uint64_t size;  // bytes
    bool regular;        // a plain file: not a link, folder, FIFO or device
    Identity identity;
};

// A folder's entry, joined with this system's separator.
std::string join(const std::string& folder, std::string_view name);
// Whether a file name begins and ends so, compared as this system compares names: exactly, or
// without regard to case on Windows.
bool isNamed(std::string_view name, std::string_view prefix, std::string_view suffix);

// The entry names of a folder in the order the system lists them; absent if it cannot be
// listed, also when the system opens it but then refuses its entries (as macOS's container
// protection may).
std::optional<std::vector<std::string>> list(const std::string& folder);
// The entry's own attributes: a symbolic link is not followed.
std::optional<Info> info(const std::string& path);
// Reads [from, from + limit) of a file (never through a symbolic link) in pieces of at most
// `chunk` bytes, handing each to `consume`; stops early at the end of the file or on an
// error. Returns the bytes read, nothing if the file cannot be opened.
std::optional<std::uint64_t> readRange(const std::string& path, std::uint64_t from,
                                       std::uint64_t limit, std::size_t chunk,
                                       const std::function<void(std::string_view)>& consume);

}  // namespace tally::platform::Files
