#include "Desktop.h"

#include <cctype>
#include <cstdlib>

namespace tally::platform::Desktop {

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::optional<std::string> qtPlatforms() {
    if (const std::string chosen = variable("QT_QPA_PLATFORM"); !chosen.empty())
        return chosen.find("offscreen") == std::string::npos ? std::optional(chosen + ";offscreen")
                                                             : std::nullopt;
    if (variable("DISPLAY").empty() && variable("WAYLAND_DISPLAY").empty()) return "offscreen";
    // Qt's own order: Wayland first in a Wayland session (but not GNOME's, where Qt takes X11).
    std::string desktop = variable("XDG_CURRENT_DESKTOP") + variable("XDG_SESSION_DESKTOP");
    for (char& c : desktop) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (variable("XDG_SESSION_TYPE") == "wayland" && desktop.find("gnome") == std::string::npos)
        return "wayland;xcb;offscreen";
    return "xcb;wayland;offscreen";
}

std::string displayName() {
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"})
        if (const std::string value = variable(name); !value.empty()) return std::string(name) + "=" + value;
    return {};
}

void becomeMenuBarOnly() {}
std::string teamsFolderNote() { return {}; }
void leaveMenuBar() {}

bool trayClickOpensMenu() { return false; }

void bringToFront() {}

void bringMenuToFront(std::uintptr_t) {}

void useParentConsole() {}  // a terminal program prints where it was started

}  // namespace tally::platform::Desktop
