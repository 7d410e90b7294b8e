#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "Files.h"
#include "InstancePlacePosix.h"

namespace tally::platform {

namespace {

// Why `path` is no folder for one user's lock and socket; empty if it is one (made if missing).
std::string unfit(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return path + ": " + std::strerror(errno);
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return path + " cannot be made (" + std::strerror(errno) + ")";
        if (::lstat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
    }
    if (S_ISLNK(st.st_mode)) return path + " is a symbolic link";
    if (!S_ISDIR(st.st_mode)) return path + " is not a folder";
    if (st.st_uid != ::geteuid()) return path + " belongs to another user";
    if ((st.st_mode & 077) != 0) return path + " is open to other users";
    return {};
}

}  // namespace

InstancePlace instancePlaceIn(const std::optional<std::string>& runtimeFolder, const std::string& temporaryFolder) {
    // The runtime folder as named, never a fallback beside it: every start must agree on the place.
    const std::string folder = runtimeFolder ? *runtimeFolder
                                             : Files::join(temporaryFolder, "tally-" + std::to_string(::geteuid()));
    if (std::string problem = unfit(folder); !problem.empty()) return {{}, {}, std::move(problem)};
    return {folder, Files::join(folder, "tally.socket"), {}};
}

InstancePlace instancePlace() {
    const auto variable = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value && *value ? std::optional<std::string>(value) : std::nullopt;
    };
    return instancePlaceIn(variable("XDG_RUNTIME_DIR"), variable("TMPDIR").value_or("/tmp"));
}

// Qt's lock already compares the program's name where the system tells it; a number that no
// process has, ours, or one of another user's is enough to say here.
bool lockHolderRuns(long long pid, const std::string&) {
    return pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

}  // namespace tally::platform
