#include "LoginItem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "HomeDirectory.h"

namespace tally::platform::LoginItem {

namespace {

namespace fs = std::filesystem;

// An XDG autostart entry: the desktop starts whatever entries this folder holds.
fs::path entryPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const fs::path base = config && *config == '/' ? fs::path(config)
                                                   : fs::path(homeDirectory()) / ".config";
    return base / "autostart" / "tally.desktop";
}

std::string runningExecutable() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string("tally") : self.string();
}

}  // namespace

Status status() {
    std::error_code error;
    return fs::exists(entryPath(), error) ? Status::enabled : Status::disabled;
}

// What the entry starts: the installed tally when that is what runs (found on the PATH, as the
// desktop entry of the package does it), else the running program wherever it is.
std::string program() {
    const std::string self = runningExecutable();
    return self == TALLY_INSTALLED_BINARY ? "tally" : self;
}

Outcome enable() {
    const fs::path path = entryPath();
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error) return {false, error.message()};
    std::ofstream out(path, std::ios::trunc);
    out << "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tally\n"
           "Comment=Shows your Teams status on a desk light\n"
           // TryExec: once the program is gone (the package removed), the desktop skips the entry.
           "TryExec=" << program() << "\n"
           "Exec=" << (program() == "tally" ? "tally" : "\"" + program() + "\"") << "\n"
           "Icon=tally\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
    out.close();
    if (!out) return {false, std::strerror(errno ? errno : EIO)};
    return {true, {}};
}

Outcome disable() {
    std::error_code error;
    fs::remove(entryPath(), error);
    if (error) return {false, error.message()};
    return {true, {}};
}

void openApprovalSettings() {}

std::string whatEnablingDoes() {
    return "Tally will start whenever you log in, from the autostart entry " + entryPath().string() +
           ". Untick this menu item to remove it.";
}

}  // namespace tally::platform::LoginItem
