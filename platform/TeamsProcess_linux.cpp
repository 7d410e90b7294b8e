#include "TeamsProcess.h"

#include <atomic>
#include <cctype>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace tally::platform {

namespace {

// The new client's executable is named MSTeams; the kernel keeps the name in /proc/PID/comm.
bool isTeams(const char* pid) {
    const std::string path = std::string("/proc/") + pid + "/comm";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char name[32];
    const ssize_t got = ::read(fd, name, sizeof name);
    ::close(fd);
    return got == 8 && std::memcmp(name, "MSTeams\n", 8) == 0;
}

// The process found last time: while Teams runs, one look at it answers the question, and a
// full walk of /proc (a hundred files or more) is needed only to find it again.
std::atomic<long> lastFound{0};

}  // namespace

bool isTeamsRunning() {
    if (const long pid = lastFound.load(); pid > 0 && isTeams(std::to_string(pid).c_str()))
        return true;
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    long found = 0;
    while (const dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
        if (isTeams(entry->d_name)) {
            found = std::atol(entry->d_name);
            break;
        }
    }
    ::closedir(proc);
    lastFound.store(found);
    return found > 0;
}

}  // namespace tally::platform
