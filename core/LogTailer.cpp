#include "LogTailer.h"

#include <algorithm>

#include "Files.h"
#include "TeamsLogFolder.h"

namespace tally {

namespace {

std::string joinPath(const std::string& directory, std::string_view name) {
    return platform::Files::join(directory, name);
}

}  // namespace

const std::string& teamsLogDirectory() {
    static const std::string directory = platform::teamsLogFolder();
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
    const auto names = platform::Files::list(directory_);
    listed_ = names.has_value();
    for (const std::string& name : names.value_or(std::vector<std::string>{})) {
        if (!platform::Files::isNamed(name, prefix, suffix)) continue;
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
    // The engine asks twice a second; listing that often would cost more than the rest of a
    // quiet tick, so the answer is the last listing's.
    if (!listed_) files();
    return *listed_;
}

void LogTailer::seekToEnd() {
    const auto all = files();
    path_.reset();
    identity_.reset();
    pos_ = 0;
    if (!all.empty()) {
        path_ = all.back();
        if (const auto info = fileInfo(*path_)) {
            pos_ = info->size;
            identity_ = info->identity;
        }
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
        identity_.reset();
        pos_ = 0;
        partial_.clear();
    }
    readNew(visit, filter);
}

void LogTailer::readNew(const LineVisitor& visit, LineFilter filter) {
    if (!path_) return;
    const auto info = fileInfo(*path_);
    const std::uint64_t size = info ? info->size : 0;  // a vanished file counts as empty
    const bool another = info && identity_ && info->identity != *identity_;
    if (another || size < pos_) {  // replaced, truncated or vanished: start again
        pos_ = 0;
        partial_.clear();
    }
    if (info) identity_ = info->identity;
    if (pos_ >= size) return;
    if (size - pos_ > maxPollBytes) {
        pos_ = size - maxPollBytes;
        partial_ = LineSplitter(maxLineBytes, /*skipFirstLine=*/true);
    }
    // Read up to the size seen, no further: a file that grows without end cannot keep one poll
    // reading forever. What Teams appends meanwhile comes next time.
    const auto got = platform::Files::readRange(*path_, pos_, size - pos_, readChunkBytes,
                                                [&](std::string_view bytes) { partial_.feed(bytes, visit, filter); });
    if (!got) return;  // pos stays; the next poll tries again
    pos_ += *got;
    if (*got > 0) lastActivity_ = clock_();
}

std::vector<std::string> LogTailer::tail(const std::string& path, std::uint64_t maxBytes) {
    std::vector<std::string> result;
    tail(path, maxBytes, [&](std::string_view line) { result.emplace_back(line); });
    return result;
}

void LogTailer::tail(const std::string& path, std::uint64_t maxBytes, const LineVisitor& visit,
                     LineFilter filter) {
    const auto info = fileInfo(path);
    const std::uint64_t start = info && info->size >= maxBytes ? info->size - maxBytes : 0;
    LineSplitter splitter(maxLineBytes, /*skipFirstLine=*/start > 0);
    if (!platform::Files::readRange(path, start, maxBytes, readChunkBytes,
                                    [&](std::string_view bytes) { splitter.feed(bytes, visit, filter); }))
        return;
    splitter.finish(visit, filter);
}

std::optional<FileInfo> LogTailer::fileInfo(const std::string& path) {
    const auto info = platform::Files::info(path);
    if (!info) return std::nullopt;
    return FileInfo{info->mtime, info->size, info->regular, {info->identity.volume, info->identity.index}};
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
