#include "LogTailer.h"

#include <algorithm>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "HomeDirectory.h"

namespace tally {

namespace {

std::string joinPath(const std::string& directory, std::string_view name) {
    if (directory.empty()) return std::string(name);
    std::string path = directory;
    if (path.back() != '/') path += '/';
    path += name;
    return path;
}

// The entry names of a directory in the order the system lists them; absent if it cannot be
// listed.
std::optional<std::vector<std::string>> listDirectory(const std::string& directory) {
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

// Closes a descriptor on every way out of a read.
struct FileDescriptor {
    int fd;
    explicit FileDescriptor(const std::string& path)
        : fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW)) {}
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

// Reads [from, from + limit) in chunks of at most LogTailer::readChunkBytes, handing each to
// `consume`; stops early at the end of the file or on an error. Returns the bytes read.
template <typename Consume>
std::uint64_t readRange(int fd, std::uint64_t from, std::uint64_t limit, Consume&& consume) {
    const auto chunk = static_cast<std::size_t>(
        std::min<std::uint64_t>(LogTailer::readChunkBytes, std::max<std::uint64_t>(limit, 1)));
    const auto buffer = std::make_unique<char[]>(chunk);
    std::uint64_t total = 0;
    while (total < limit) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, limit - total));
        const ssize_t got = ::pread(fd, buffer.get(), want, static_cast<off_t>(from + total));
        if (got <= 0) break;
        total += static_cast<std::uint64_t>(got);
        consume(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
    }
    return total;
}

std::uint64_t sizeOf(const std::string& path) {
    const auto info = LogTailer::fileInfo(path);
    return info ? info->size : 0;
}

}  // namespace

const std::string& teamsLogDirectory() {
    static const std::string directory = joinPath(
        platform::homeDirectory(),
        "Library/Group Containers/UBF8T346G9.com.microsoft.teams/Library/Application Support/Logs");
    return directory;
}

LogTailer::LogTailer(std::string directory, UptimeClock clock)
    : directory_(std::move(directory)), clock_(std::move(clock)), lastActivity_(clock_()) {}

std::vector<std::string> LogTailer::files() const {
    struct Entry {
        std::string path;
        double mtime;
    };
    std::vector<Entry> entries;
    for (const std::string& name : listDirectory(directory_).value_or(std::vector<std::string>{})) {
        if (!name.starts_with(prefix) || !name.ends_with(suffix)) continue;
        std::string path = joinPath(directory_, name);
        const auto info = fileInfo(path);
        if (info && !info->regular) continue;
        const double mtime = info ? info->mtime : 0;  // unreadable attributes sort as oldest
        entries.push_back({std::move(path), mtime});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.mtime < b.mtime; });
    std::vector<std::string> paths;
    paths.reserve(entries.size());
    for (auto& entry : entries) paths.push_back(std::move(entry.path));
    return paths;
}

bool LogTailer::folderReadable() const {
    // Opening the folder for reading is what listing it needs, and all the engine asks twice a
    // second: reading every entry each time would cost more than the rest of a quiet tick.
    const int fd = ::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

void LogTailer::seekToEnd() {
    const auto all = files();
    path_.reset();
    pos_ = 0;
    if (!all.empty()) {
        path_ = all.back();
        pos_ = sizeOf(*path_);
    }
    partial_.clear();
}

std::vector<std::string> LogTailer::poll() {
    std::vector<std::string> result;
    poll([&](std::string_view line) { result.emplace_back(line); });
    return result;
}

void LogTailer::poll(const LineVisitor& visit, LineFilter filter) {
    const double now = clock_();
    if (path_ && now < nextRolloverCheck_) {
        readNew(visit, filter);
        return;
    }
    nextRolloverCheck_ = now + rolloverInterval;
    const auto all = files();
    if (all.empty()) return;
    const std::string& newest = all.back();
    if (!path_) {
        path_ = newest;
        pos_ = 0;
    } else if (*path_ != newest) {
        readNew(visit, filter);  // the rest of the old file comes first
        path_ = newest;
        pos_ = 0;
        partial_.clear();
    }
    readNew(visit, filter);
}

void LogTailer::readNew(const LineVisitor& visit, LineFilter filter) {
    if (!path_) return;
    const std::uint64_t size = sizeOf(*path_);  // a vanished file counts as empty
    if (size < pos_) {  // truncated, replaced or vanished
        pos_ = 0;
        partial_.clear();
    }
    if (pos_ >= size) return;
    if (size - pos_ > maxPollBytes) {
        pos_ = size - maxPollBytes;
        partial_ = LineSplitter(maxLineBytes, /*skipFirstLine=*/true);
    }
    const FileDescriptor file(*path_);
    if (file.fd < 0) return;  // pos stays; the next poll tries again
    // Read up to the size seen, no further: a file that grows without end (or a link to a
    // device) cannot keep one poll reading forever. What Teams appends meanwhile comes next time.
    const std::uint64_t got = readRange(file.fd, pos_, size - pos_, [&](std::string_view bytes) {
        partial_.feed(bytes, visit, filter);
    });
    pos_ += got;
    if (got > 0) lastActivity_ = clock_();
}

std::vector<std::string> LogTailer::tail(const std::string& path, std::uint64_t maxBytes) {
    std::vector<std::string> result;
    tail(path, maxBytes, [&](std::string_view line) { result.emplace_back(line); });
    return result;
}

void LogTailer::tail(const std::string& path, std::uint64_t maxBytes, const LineVisitor& visit,
                     LineFilter filter) {
    const auto info = fileInfo(path);
    const FileDescriptor file(path);
    if (file.fd < 0) return;
    const std::uint64_t start = info && info->size >= maxBytes ? info->size - maxBytes : 0;
    LineSplitter splitter(maxLineBytes, /*skipFirstLine=*/start > 0);
    readRange(file.fd, start, maxBytes,
              [&](std::string_view bytes) { splitter.feed(bytes, visit, filter); });
    splitter.finish(visit, filter);
}

std::optional<FileInfo> LogTailer::fileInfo(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
#if defined(__APPLE__)
    const auto& modified = st.st_mtimespec;
#else
    const auto& modified = st.st_mtim;
#endif
    return FileInfo{static_cast<double>(modified.tv_sec) +
                        static_cast<double>(modified.tv_nsec) / 1'000'000'000.0,
                    static_cast<std::uint64_t>(st.st_size), S_ISREG(st.st_mode)};
}

std::vector<std::string> LogTailer::lines(std::string_view bytes) {
    std::vector<std::string> result;
    LineSplitter splitter(bytes.size());
    const LineVisitor collect = [&](std::string_view line) { result.emplace_back(line); };
    splitter.feed(bytes, collect, LineFilter::all);
    splitter.finish(collect, LineFilter::all);
    return result;
}

}  // namespace tally
