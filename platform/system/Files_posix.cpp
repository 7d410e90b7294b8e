#include "Files.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tally::platform::Files {

std::string join(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string path = folder;
    if (path.back() != '/') path += '/';
    path += name;
    return path;
}

bool isNamed(std::string_view name, std::string_view prefix, std::string_view suffix) {
    return name.size() >= prefix.size() + suffix.size() && name.starts_with(prefix) && name.ends_with(suffix);
}

std::optional<std::vector<std::string>> list(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    for (;;) {
        errno = 0;  // the end of the list and a refusal both end readdir; only errno tells them apart
        const dirent* entry = ::readdir(dir);
        if (!entry) break;
        names.emplace_back(entry->d_name);
    }
    const bool refused = errno != 0;
    ::closedir(dir);
    if (refused) return std::nullopt;
    return names;
}

std::optional<Info> info(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
#if defined(__APPLE__)
    const auto& modified = st.st_mtimespec;
#else
    const auto& modified = st.st_mtim;
#endif
    return Info{static_cast<double>(modified.tv_sec) +
                    static_cast<double>(modified.tv_nsec) / 1'000'000'000.0,
                static_cast<std::uint64_t>(st.st_size), S_ISREG(st.st_mode),
                Identity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}};
}

std::optional<std::uint64_t> readRange(const std::string& path, std::uint64_t from,
                                       std::uint64_t limit, std::size_t chunk,
                                       const std::function<void(std::string_view)>& consume) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    chunk = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, std::max<std::uint64_t>(limit, 1)));
    const auto buffer = std::make_unique<char[]>(chunk);
    std::uint64_t total = 0;
    while (total < limit) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, limit - total));
        const ssize_t got = ::pread(fd, buffer.get(), want, static_cast<off_t>(from + total));
        if (got <= 0) break;
        total += static_cast<std::uint64_t>(got);
        consume(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
    }
    ::close(fd);
    return total;
}

}  // namespace tally::platform::Files
