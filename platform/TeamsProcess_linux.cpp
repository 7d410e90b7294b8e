#include "TeamsProcess.h"

#include <cctype>
#include <fstream>
#include <string>

#include <dirent.h>

namespace tally::platform {

bool isTeamsRunning() {
    // The new client's executable is named MSTeams; the kernel keeps the name in comm.
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
        std::ifstream comm(std::string("/proc/") + entry->d_name + "/comm");
        std::string name;
        if (std::getline(comm, name) && name == "MSTeams") {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

}  // namespace tally::platform
