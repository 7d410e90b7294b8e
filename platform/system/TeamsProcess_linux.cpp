#include "TeamsProcess.h"

#include <atomic>
#include <cctype>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tally::platform {

namespace {

// The start of a file in /proc; empty if it cannot be read.
std::string readStart(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char text[512];
    const ssize_t got = ::read(fd, text, sizeof text);
    ::close(fd);
    return got > 0 ? std::string(text, static_cast<std::size_t>(got)) : std::string();
}

// The new client's executable is named MSTeams; the kernel keeps the name in /proc/PID/comm.
// Only a live process of this user counts, as on macOS, where only the user's session is
// seen: a zombie has ended, and another user's Teams shows nothing of ours.
bool isTeams(const char* pid) {
    const std::string folder = std::string("/proc/") + pid;
    if (readStart(folder + "/comm") != "MSTeams\n") return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || st.st_uid != ::getuid()) return false;
    // "PID (comm) S ...": the state follows the last parenthesis.
    const std::string stat = readStart(folder + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return false;
    const char state = stat[close + 2];
    return state != 'Z' && state != 'X';
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
