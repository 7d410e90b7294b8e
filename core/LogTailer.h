#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "LineSplitter.h"
#include "Uptime.h"

namespace tally {

// The absolute path of the Teams log directory, computed once.
const std::string& teamsLogDirectory();

struct FileInfo {
    double mtime;        // seconds since 1970, with the nanoseconds
    std::uint64_t size;  // bytes
    bool regular;        // a plain file: not a link, folder, FIFO or device
    // Tells files apart whatever their names (device and inode, or volume and file index).
    std::pair<std::uint64_t, std::uint64_t> identity;
};

// Follows the newest Teams log file as it grows, across the files that Teams starts one after
// another. Holds no open file between calls; reports nothing (failures are empty results and
// folderReadable() false). Not thread-safe: one thread polls it.
class LogTailer {
public:
    static constexpr std::string_view prefix = "MSTeams_";
    static constexpr std::string_view suffix = ".log";
    static constexpr double rolloverInterval = 5;
    // What one read holds, and the longest line kept; a longer line is dropped whole.
    static constexpr std::size_t readChunkBytes = 256 * 1024;
    static constexpr std::size_t maxLineBytes = 1024 * 1024;
    // The most one poll reads. When more than this is new (a large file found late, a file
    // followed from its first byte, a jump in size), only its last part is read, its first,
    // possibly cut, line dropped: what lies before is history.
    static constexpr std::uint64_t maxPollBytes = 64ull * 1024 * 1024;

    explicit LogTailer(std::string directory, UptimeClock clock = uptimeNow);

    const std::string& directory() const { return directory_; }
    const std::optional<std::string>& path() const { return path_; }
    double lastActivity() const { return lastActivity_; }
    double secondsSinceActivity() const { return clock_() - lastActivity_; }

    // The Teams log files in the directory, oldest first (stable by modification time). Only
    // plain files: Teams writes nothing else, and a link could lead anywhere (a device).
    std::vector<std::string> files() const;
    // Whether the directory can be listed now; asked afresh on every call.
    bool folderReadable() const;
    // Follows the newest file from its current end.
    void seekToEnd();
    // The complete lines appended since the previous poll, across a switch to a newer file.
    std::vector<std::string> poll();
    void poll(const LineVisitor& visit, LineFilter filter = LineFilter::all);

    // The complete lines among the last maxBytes bytes of a file; the first line is dropped
    // when the read starts after the file's first byte, and an unterminated last line counts.
    static std::vector<std::string> tail(const std::string& path, std::uint64_t maxBytes);
    static void tail(const std::string& path, std::uint64_t maxBytes, const LineVisitor& visit,
                     LineFilter filter = LineFilter::all);
    // The entry's own attributes (a symbolic link is not followed).
    static std::optional<FileInfo> fileInfo(const std::string& path);
    // UTF-8 with repair, split at line feeds, blank lines dropped.
    static std::vector<std::string> lines(std::string_view bytes);

private:
    void readNew(const LineVisitor& visit, LineFilter filter);

    std::string directory_;
    UptimeClock clock_;
    std::optional<std::string> path_;
    // The file that pos_ belongs to: another file under the followed name is read from its start.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> identity_;
    std::uint64_t pos_ = 0;
    LineSplitter partial_{maxLineBytes};
    double lastActivity_;
    double nextRolloverCheck_ = 0;
    mutable std::optional<bool> listed_;  // whether the last listing worked; none before the first
};

}  // namespace tally
